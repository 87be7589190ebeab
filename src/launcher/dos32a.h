// DOS/4G programs and the DOS32A extender: telling a DOS/4G program by its stub, and swapping
// DOS32A in for a DOS4GW.EXE beside the program (or back again).
#pragma once

#include <cstdint>

/// How many bytes at the start of a program are searched for the "DOS/4G" text of its stub.
inline constexpr int32_t DOS4G_SCAN_LENGTH = 1024;

/// Looks for "DOS/4G" (any letter case) in the first bytes of `programPath`, unless the program is
/// a batch file or `noDOS32A` is set. Then, in `programDir`: without `noDOS32A`, moves DOS4GW.EXE
/// aside as DOS4GW_original.EXE and copies `dos32aPath` in its place (moving it back when the copy
/// fails); with `noDOS32A`, deletes that copy and moves the original back. Failed renames, deletes
/// and copies leave the files as they are and are not reported.
/// Returns TRUE when the marker was found.
int32_t prepareDOS32A(const char* programDir, const char* programPath, const char* dos32aPath,
                      int32_t isBatchFile, int32_t noDOS32A);
