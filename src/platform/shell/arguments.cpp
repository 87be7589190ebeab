// The argument text (GetArgStr) rebuilt from the host's argv, in the shape the original Shell
// hands it over: the arguments on one line, one blank between them, a line feed at the end.
#include "platform/exec/internal.h"
#include "platform/shell/shell.h"

namespace tolvarn::platform::internal {

namespace {

bool needsQuotes(std::string_view argument) {
    return argument.empty() || argument.find_first_of(" \t=") != std::string_view::npos;
}

bool isPlainWordCharacter(char character) {
    return (character >= 'A' && character <= 'Z') || (character >= 'a' && character <= 'z') ||
           (character >= '0' && character <= '9');
}

/// The length of a leading "KEYWORD=" (keyword included, "=" excluded), or 0 when what stands
/// before the first "=" is not a plain word of letters and digits.
std::size_t keywordLength(std::string_view argument) {
    const auto equals = argument.find('=');
    if (equals == std::string_view::npos || equals == 0)
        return 0;
    for (std::size_t index = 0; index < equals; ++index) {
        if (!isPlainWordCharacter(argument[index]))
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
/// where the template matcher expects them, so that the keyword stays a keyword. Any other "="
/// would split a host path such as /games/A=B/GAME.EXE into a keyword and a value, so such an
/// argument is quoted whole.
std::string quotedArgument(std::string_view argument) {
    if (!needsQuotes(argument))
        return std::string(argument);
    std::string text;
    if (const std::size_t keyword = keywordLength(argument); keyword > 0) {
        const std::string_view value = argument.substr(keyword + 1);
        text.append(argument.substr(0, keyword + 1));
        if (needsQuotes(value) && !value.empty())
            appendQuoted(text, value);
        else
            text.append(value);
    } else {
        appendQuoted(text, argument);
    }
    return text;
}

std::string argumentTextOf(const std::vector<std::string>& arguments) {
    std::string text;
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        if (index > 0)
            text += ' ';
        text += quotedArgument(arguments[index]);
    }
    text += '\n';
    return text;
}

} // namespace tolvarn::platform::internal

namespace tolvarn::platform {

void setArgumentsFromHost(int argc, char** argv) {
    std::vector<std::string> arguments;
    for (int index = 1; index < argc && argv != nullptr && argv[index] != nullptr; ++index)
        arguments.emplace_back(argv[index]);
    internal::setArgumentText(internal::argumentTextOf(arguments));
}

} // namespace tolvarn::platform
