// DOS/4G programs and the DOS32A extender: telling a DOS/4G program by its stub, and swapping
// DOS32A in for a DOS4GW.EXE beside the program (or back again).
#pragma once

#include <cstdint>

/// How many bytes at the start of a program are searched for the "DOS/4G" text of its stub.
inline constexpr int32_t DOS4G_SCAN_LENGTH = 1024;

/// Looks for "DOS/4G" (any letter case) in the first bytes of `programPath`, unless the program is
/// a batch file or `noDOS32A` is set. Then, holding `programDir` against other runs (or, when
/// another run holds it for long, changing nothing and saying so), repairs what an interrupted
/// run left half done and, without `noDOS32A`, puts a copy of `dos32aPath` in the place of
/// DOS4GW.EXE and keeps the extender as DOS4GW_original.EXE; with `noDOS32A`, puts the extender
/// back over the copy (a DOS4GW.EXE that is not the copy is kept under a free name). At every
/// moment DOS4GW.EXE is whole and the extender's bytes are under one of the names; failures
/// leave the folder as it was and are not reported.
/// Returns TRUE when the marker was found.
int32_t prepareDOS32A(const char* programDir, const char* programPath, const char* dos32aPath,
                      int32_t isBatchFile, int32_t noDOS32A);
