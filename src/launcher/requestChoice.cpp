#include "launcher/requestChoice.h"

#include "launcher/protectedRegion.h"

#include "pAmigaDos/queries.h"
#include "platform/requesters/intuition.h"
#include "runtime/exception.h"
#include "runtime/types.h"
#include "std/pShellParameters.h"
#include "strings/estring.h"

#include <cstdio>
#include <cstring>
#include <utility>

namespace {

enum Parameter : int32_t { TITLE, BODY, GADGETS, PUBLIC_SCREEN, TIMEOUT_SECONDS };

/// Largest timeout accepted, so that the seconds always fit the requester's 32-bit count.
constexpr int32_t longestTimeout = 24 * 60 * 60;

/// Returns the number of seconds in `text`, or -1 when it is not a whole number of seconds.
int32_t secondsFrom(const char* text) {
    int64_t seconds = 0;
    if (*text == '\0')
        return -1;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9')
            return -1;
        seconds = seconds * 10 + (*c - '0');
        if (seconds > longestTimeout)
            return longestTimeout;
    }
    return static_cast<int32_t>(seconds);
}

/// Returns a new e-string holding `gadgets` with every "%" doubled, so that the requester shows
/// the button texts as typed rather than reading them as format codes.
EString literalGadgets(const char* gadgets) {
    int32_t percents = 0;
    for (const char* c = gadgets; *c != '\0'; ++c)
        percents += *c == '%' ? 1 : 0;
    EString literal = NewString(static_cast<int32_t>(std::strlen(gadgets)) + percents);
    for (const char* c = gadgets; *c != '\0'; ++c)
        StrAdd(literal, *c == '%' ? "%%" : c, *c == '%' ? ALL : 1);
    return literal;
}

int choose() {
    int chosen = REQUEST_CHOICE_FAILED;
    EString gadgets = nullptr;
    tolvarn::guarded(
        [&] {
            if (!ParseShellParameters(REQUEST_CHOICE_TEMPLATE, nullptr, FALSE))
                return;
            int32_t timeout = 0;
            if (const char* text = GetParam(TIMEOUT_SECONDS)) {
                timeout = secondsFrom(text);
                if (timeout < 0) {
                    std::printf("ERROR: TimeoutSecs must be a whole number of seconds\n");
                    return;
                }
            }
            gadgets = literalGadgets(GetParam(GADGETS));
            // The body goes in as the argument of "%s", so a "%" in it is shown as it is.
            const EasyStruct description = {20, 0, GetParam(TITLE), "%s", gadgets};
            const intptr_t arguments[] = {reinterpret_cast<intptr_t>(GetParam(BODY))};
            chosen = timeout > 0
                         ? tolvarn::platform::timedEasyRequest(&description, arguments, timeout)
                         : EasyRequestArgs(nullptr, &description, nullptr, arguments);
        },
        [&] { DisposeString(gadgets); });
    return chosen;
}

} // namespace

int requestChoiceMain(int /*argumentCount*/, char** /*argumentVector*/) {
    exception = 0;
    exceptionInfo = nullptr;
    int chosen = REQUEST_CHOICE_FAILED;
    tolvarn::protectedRegion([&] {
        startAmigaDosModule();
        chosen = choose();
    });
    if (exception == ID_MEM)
        std::printf("Ran out of memory\n");
    else
        PrintException();
    disposeShellParameters();
    endAmigaDosModule();
    return chosen;
}

int32_t requestChoiceResident(const char* /*argumentText*/) {
    // The command reads its arguments where a started one does, from GetArgStr(); what the
    // calling program had matched and raised must survive the command's own start and end.
    const int32_t savedException = exception;
    const char* const savedInfo = exceptionInfo;
    EString savedLine = std::exchange(argumentLine, nullptr);
    ShellParameterState savedParameters = std::exchange(shellParameterState(), {});
    const int chosen = requestChoiceMain(0, nullptr);
    shellParameterState() = savedParameters;
    argumentLine = savedLine;
    exception = savedException;
    exceptionInfo = savedInfo;
    return chosen;
}
