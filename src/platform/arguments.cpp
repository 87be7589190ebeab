// The argument text (GetArgStr) rebuilt from the host's argv, in the shape the original Shell
// hands it over: the arguments on one line, one blank between them, a line feed at the end.
#include "platform/hostLayer.h"

namespace tolvarn::platform::internal {

namespace {

bool needsQuotes(std::string_view argument) {
    return argument.empty() || argument.find_first_of(" \t") != std::string_view::npos;
}

bool isKeywordCharacter(char character, bool first) {
    const bool letter =
        (character >= 'A' && character <= 'Z') || (character >= 'a' && character <= 'z');
    const bool digit = character >= '0' && character <= '9';
    return letter || character == '-' || (!first && digit);
}

/// The length of a leading "KEYWORD=" (keyword included, "=" excluded), or 0 when the argument
/// does not start with one.
std::size_t keywordLength(std::string_view argument) {
    const auto equals = argument.find('=');
    if (equals == std::string_view::npos || equals == 0)
        return 0;
    for (std::size_t index = 0; index < equals; ++index) {
        if (!isKeywordCharacter(argument[index], index == 0))
            return 0;
    }
    return equals;
}

void appendQuoted(std::string& text, std::string_view value) {
    text += '"';
    text += value;
    text += '"';
}

} // namespace

/// One argument as it goes into the argument text. The shell that started us has already taken
/// away the quotes of ISO="my disc.iso"; quoting only the value after a keyword puts them back
/// where the template matcher expects them, so that the keyword stays a keyword.
std::string quotedArgument(std::string_view argument) {
    if (!needsQuotes(argument))
        return std::string(argument);
    std::string text;
    if (const std::size_t keyword = keywordLength(argument); keyword > 0) {
        text.append(argument.substr(0, keyword + 1));
        appendQuoted(text, argument.substr(keyword + 1));
    } else {
        appendQuoted(text, argument);
    }
    return text;
}

} // namespace tolvarn::platform::internal

namespace tolvarn::platform {

void setArgumentsFromHost(int argc, char** argv) {
    std::string text;
    for (int index = 1; index < argc && argv != nullptr && argv[index] != nullptr; ++index) {
        if (index > 1)
            text += ' ';
        text += internal::quotedArgument(argv[index]);
    }
    text += '\n';
    internal::setArgumentText(std::move(text));
}

} // namespace tolvarn::platform
