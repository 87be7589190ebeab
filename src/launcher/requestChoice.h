// RequestChoice: the Shell command that shows a message requester with a few buttons and returns
// the number of the button chosen as its return code.
#pragma once

#include <cstdint>

/// The Shell argument template of RequestChoice.
inline constexpr char REQUEST_CHOICE_TEMPLATE[] =
    "Title/A, Body/A, Gadgets/A, PubScreen/K, TimeoutSecs/K/N";

/// Return code of RequestChoice when it could not show its requester (bad arguments, no memory).
inline constexpr int REQUEST_CHOICE_FAILED = 20;

/// The command's entry as the host start-up calls it. Shows Body under Title with the buttons of
/// Gadgets (separated by "|"), closing by itself after TimeoutSecs seconds when given; PubScreen is
/// accepted and ignored. Returns 1, 2, ... for the buttons from the left and 0 for the rightmost
/// (also on a timeout), or REQUEST_CHOICE_FAILED.
int requestChoiceMain(int argumentCount, char** argumentVector);

/// The command as a resident command of the Shell, run inside another program: the same run as
/// requestChoiceMain on `argumentText` (which GetArgStr() returns during the call), with the
/// caller's exception, argument line and matched arguments put back afterwards. Returns what
/// requestChoiceMain returns.
int32_t requestChoiceResident(const char* argumentText);
