// The error display: the message, then the text being read with the offending token highlighted.
#include "std/pShellParameters.h"

#include "platform/host/host.h"
#include "runtime/exception.h"
#include "runtime/platformName.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

/// Returns "template" while the template is compiled, "parameter" while a line is matched.
const char* modeWord() {
    return shellParameterState().templateMode ? "template" : "parameter";
}

/// Returns whether the console cannot show colours, so that plain marks must do: colour escapes
/// would only clutter a file, a pipe, a dumb terminal or the output of someone who asked for none.
bool plainMarks() {
    return (platformName != nullptr && std::strcmp(platformName, "Windows") == 0) ||
           !tolvarn::platform::outputShowsColour();
}

/// Prints the two lines of the token display.
void showTokenError(const char* token, const char* message) {
    const ShellParameterState& state = shellParameterState();
    const char* input = state.tokenInput != nullptr ? state.tokenInput : "";
    const auto length = static_cast<int32_t>(std::strlen(input));
    const int32_t position = state.position < 0        ? 0
                             : state.position > length ? length
                                                       : state.position;
    const auto tokenLength = static_cast<int32_t>(token != nullptr ? std::strlen(token) : 0);

    // The reading position lies just past the token; a complete quoted string also consumed its
    // two quotes, and the whole string, quotes included, is what gets highlighted.
    const char* quote = state.lastTokenQuoted ? "\"" : "";
    int32_t beforeLength = position - tokenLength - (state.lastTokenQuoted ? 2 : 0);
    if (beforeLength < 0)
        beforeLength = 0;

    EString before = nullptr;
    EString shown = nullptr;
    EString after = nullptr;
    tolvarn::guarded(
        [&] {
            before = StrCopy(NewString(beforeLength), input, beforeLength);
            after = StrJoin(input + position);
            shown = StrJoin(quote, token, quote);
            std::printf("Shell %s error, %s:\n", modeWord(), message);
            // An empty token (the end of the line) still needs something visible between the marks.
            std::printf("%s%s%s%s%s\n", before, plainMarks() ? "##" : "\x1b[32;43m",
                        EstrLen(shown) == 0 ? " " : shown,
                        plainMarks() ? "##" : "\x1b[31;40m\x1b[0m", after);
        },
        [&] {
            before = DisposeString(before);
            shown = DisposeString(shown);
            after = DisposeString(after);
        });
}

} // namespace

void tokenError(const char* token, const char* message) {
    if (shellParameterState().quiet != TRUE)
        showTokenError(token, message);
    Raise(ID_ERR);
}

void paramErrorF(const char* format, ...) {
    if (shellParameterState().quiet != TRUE) {
        std::printf("Shell %s error, ", modeWord());
        va_list arguments;
        va_start(arguments, format);
        std::vprintf(format, arguments);
        va_end(arguments);
        std::printf("\n");
    }
    Raise(ID_ERR);
}
