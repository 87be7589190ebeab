// The launcher procedure: finds DOSBox, settles which MS-DOS program to run and how, and runs
// DOSBox on it with one Shell command line.
#pragma once

#include "strings/estring.h"

#include <cstdint>

/// The command that shows the notice before DOSBox starts. DOSBox on Linux quits with Ctrl-F9;
/// Ctrl-Alt-F9 would switch the desktop to a text console instead.
inline constexpr char NOTICE_COMMAND[] =
    "RequestChoice >NIL: \"Tolvarn\" \"Press Ctrl-F9 to quit!\" \"OK\" TIMEOUTSECS=2";

namespace tolvarn {

/// Runs `file` (null: ask for it) in DOSBox and waits for DOSBox to end. `iso` (a CD image) or
/// else `cdDir` (a directory) is mounted as drive `cdLetter`; `noDOS32A` keeps DOS32A out of the
/// way; `window` and `noExit` are DOSBox's window mode and whether it stays open afterwards.
/// Returns TRUE when DOSBox ran, FALSE when the user chose no program in the requester. Raises
/// "ERR" after telling the user by a requester, "EXE" with the command line that could not be
/// run, or what a called operation raises.
int32_t tolvarn(const char* file, int32_t window, const char* iso, const char* cdDir,
                const char* cdLetter, int32_t noDOS32A, int32_t noExit);

/// The DOSBox command line that `tolvarn` handed to an "EXE" exception as its message, or NIL.
/// Whoever reports the exception frees it afterwards with `releaseFailedCommandLine`.
extern EString failedCommandLine;
/// Frees `failedCommandLine` (clearing `exceptionInfo` when it still points at it).
void releaseFailedCommandLine();

} // namespace tolvarn
