#include "launcher/dos32a.h"

#include "pAmigaDos/fileContents.h"
#include "pAmigaDos/pathComposition.h"
#include "pAmigaDos/queries.h"
#include "platform/dos.h"
#include "runtime/exception.h"
#include "runtime/memory.h"
#include "runtime/types.h"
#include "strings/estring.h"

namespace {

constexpr char marker[] = "DOS/4G";
constexpr int32_t markerLength = sizeof marker - 1;

/// TRUE when the marker lies wholly inside the `length` bytes of `bytes`.
int32_t holdsMarker(const char* bytes, int32_t length) {
    for (int32_t i = 0; i + markerLength <= length; ++i) {
        if ((bytes[i] == 'd' || bytes[i] == 'D') && StrCmpNoCase(bytes + i, marker, markerLength))
            return TRUE;
    }
    return FALSE;
}

/// Puts DOS32A in the place of the DOS/4G extender, keeping the extender aside.
void substitute(const char* dos4gwPath, const char* keptPath, const char* dos32aPath) {
    if (!pathExists(dos4gwPath, 0) || pathExists(keptPath, 0))
        return;
    if (!Rename(dos4gwPath, keptPath))
        return;
    if (!copyFile(dos32aPath, dos4gwPath, FALSE))
        Rename(keptPath, dos4gwPath); // nothing better to do when even this fails
}

/// Removes the DOS32A copy and puts the kept DOS/4G extender back.
void restore(const char* dos4gwPath, const char* keptPath) {
    if (!pathExists(dos4gwPath, 0) || !pathExists(keptPath, 0))
        return;
    if (DeleteFile(dos4gwPath))
        Rename(keptPath, dos4gwPath);
}

} // namespace

int32_t prepareDOS32A(const char* programDir, const char* programPath, const char* dos32aPath,
                      int32_t isBatchFile, int32_t noDOS32A) {
    int32_t runViaDOS32A = FALSE;
    FileHandle* program = nullptr;
    char* buffer = nullptr;
    int32_t bufferSize = 0;
    EString dos4gwPath = nullptr;
    EString keptPath = nullptr;

    tolvarn::guarded(
        [&] {
            if (!isBatchFile && !noDOS32A)
                program = Open(programPath, MODE_OLDFILE);
            if (program != nullptr) {
                const int64_t size = fileSizeFromFH(program, TRUE, FALSE);
                const auto scanLength =
                    static_cast<int32_t>(size <= DOS4G_SCAN_LENGTH ? size : DOS4G_SCAN_LENGTH);
                if (scanLength > 0) {
                    buffer = static_cast<char*>(MemAlloc(scanLength, TRUE));
                    bufferSize = scanLength;
                    if (Read(program, buffer, scanLength) == scanLength)
                        runViaDOS32A = holdsMarker(buffer, scanLength);
                }
            }

            dos4gwPath = strJoinPart(programDir, "DOS4GW.EXE", FALSE);
            keptPath = strJoinPart(programDir, "DOS4GW_original.EXE", FALSE);
            if (noDOS32A)
                restore(dos4gwPath, keptPath);
            else
                substitute(dos4gwPath, keptPath, dos32aPath);
        },
        [&] {
            if (program != nullptr)
                Close(program);
            MemFree(buffer, bufferSize);
            DisposeString(dos4gwPath);
            DisposeString(keptPath);
        });
    return runViaDOS32A;
}
