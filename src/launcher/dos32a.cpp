#include "launcher/dos32a.h"

#include "pAmigaDos/fileContents.h"
#include "platform/dos/dos.h"
#include "platform/host/folderChanges.h"
#include "runtime/exception.h"
#include "runtime/memory.h"
#include "runtime/types.h"
#include "strings/estring.h"

#include <cstdio>

namespace {

using namespace tolvarn::platform;

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

constexpr char dos4gwName[] = "DOS4GW.EXE";
constexpr char keptName[] = "DOS4GW_original.EXE";
/// How long a run waits for another one to finish changing the same folder.
constexpr int32_t holdWaitMilliseconds = 3000;

/// Brings a folder that an interrupted run left half changed back to a whole state: a copy that
/// never took its name goes, a kept extender without DOS4GW.EXE takes its name back, and a kept
/// name that holds the very bytes of DOS4GW.EXE (the swap stopped between keeping the extender
/// and putting the copy in place) goes. Returns TRUE when there was something to repair.
bool repair(FolderHold* hold) {
    bool repaired = discardLeftoverCopies(hold, "DOS4GW") > 0;
    if (entryKind(hold, keptName) != EntryKind::file)
        return repaired;
    if (entryKind(hold, dos4gwName) == EntryKind::none)
        repaired = renameEntry(hold, keptName, dos4gwName, FALSE) || repaired;
    else if (sameContents(hold, dos4gwName, keptName))
        repaired = removeEntry(hold, keptName) || repaired;
    return repaired;
}

/// Puts DOS32A in the place of the DOS/4G extender, keeping the extender under its second name
/// first, so that DOS4GW.EXE is whole at every moment.
void substitute(FolderHold* hold, const char* dos32aPath) {
    if (entryKind(hold, dos4gwName) != EntryKind::file ||
        entryKind(hold, keptName) != EntryKind::none || holdsBytesOf(hold, dos4gwName, dos32aPath))
        return;
    if (!writeCopy(hold, dos32aPath, dos4gwName))
        return;
    if (keepUnder(hold, dos4gwName, keptName) && commitCopy(hold, dos4gwName))
        return;
    discardCopy(hold, dos4gwName);
    repair(hold); // a kept name that took and a copy that did not: the kept name goes again
}

/// Gives DOS4GW.EXE a free name of its own beside the extender. Returns that name, or nullptr.
const char* keepReplaced(FolderHold* hold, char (&name)[32]) {
    for (int number = 1; number < 100; ++number) {
        std::snprintf(name, sizeof name,
                      number == 1 ? "DOS4GW_replaced.EXE" : "DOS4GW_replaced%d.EXE", number);
        const EntryKind kind = entryKind(hold, name);
        if (kind == EntryKind::none)
            return keepUnder(hold, dos4gwName, name) ? name : nullptr;
        if (sameContents(hold, dos4gwName, name))
            return name; // kept by a run that ended before it could put the extender back
    }
    return nullptr;
}

/// Puts the kept DOS/4G extender back over the DOS32A copy in one rename. A DOS4GW.EXE that is
/// not the copy (the user's own) is kept under a free name first and the user is told.
void restore(FolderHold* hold, const char* programDir, const char* dos32aPath) {
    if (entryKind(hold, dos4gwName) != EntryKind::file ||
        entryKind(hold, keptName) != EntryKind::file)
        return;
    if (!holdsBytesOf(hold, dos4gwName, dos32aPath)) {
        char name[32];
        if (keepReplaced(hold, name) == nullptr)
            return;
        std::printf("WARNING: DOS4GW.EXE in \"%s\" was not the DOS32A copy; it is kept as %s.\n",
                    programDir, name);
    }
    renameEntry(hold, keptName, dos4gwName, TRUE);
}

} // namespace

int32_t prepareDOS32A(const char* programDir, const char* programPath, const char* dos32aPath,
                      int32_t isBatchFile, int32_t noDOS32A) {
    int32_t runViaDOS32A = FALSE;
    FileHandle* program = nullptr;
    char* buffer = nullptr;
    int32_t bufferSize = 0;
    FolderHold* hold = nullptr;

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

            // One run at a time checks and changes a folder; signals wait until it is done.
            hold = holdFolder(programDir, holdWaitMilliseconds);
            if (hold == nullptr) {
                if (IoErr() == ERROR_OBJECT_IN_USE)
                    std::printf("WARNING: Another run is changing \"%s\"; DOS4GW.EXE is left as "
                                "it is.\n",
                                programDir);
                return;
            }
            if (repair(hold))
                std::printf("WARNING: Repaired DOS4GW.EXE in \"%s\" after an interrupted run.\n",
                            programDir);
            if (noDOS32A)
                restore(hold, programDir, dos32aPath);
            else
                substitute(hold, dos32aPath);
        },
        [&] {
            if (program != nullptr)
                Close(program);
            MemFree(buffer, bufferSize);
            releaseFolder(hold);
        });
    return runViaDOS32A;
}
