// 64-bit positions and sizes over the platform's 32-bit Seek, and a whole-file copy that carries
// protection, comment and date over.
#include "pAmigaDos/fileContents.h"

#include "pAmigaDos/pathComposition.h"
#include "pAmigaDos/queries.h"
#include "platform/host/folderChanges.h"
#include "runtime/exception.h"
#include "runtime/memory.h"

#include <cstdint>

namespace {

constexpr int64_t largestStep = INT32_MAX;
constexpr int64_t smallestStep = INT32_MIN;
/// The copy holds the whole file in one buffer and reads it with one 32-bit Read.
constexpr int64_t largestCopy = 2147483647;

/// Seeks and tells whether it worked. Seek gives -1 both for failure and for the position
/// 4294967295, so only IoErr() can tell them apart; a stale code left by an earlier call must
/// not turn a good seek into a failure. From 4 GiB on, the previous position cannot be told in 32
/// bits: the file system makes the move and says ERROR_OBJECT_TOO_LARGE, which is no failure of
/// the move itself.
bool seekWorked(FileHandle* fh, int32_t position, int32_t mode) {
    SetIoErr(0);
    if (Seek(fh, position, mode) != -1)
        return true;
    const int32_t error = IoErr();
    return error == 0 || error == ERROR_OBJECT_TOO_LARGE;
}

/// True when both paths name one existing object.
bool sameObject(const char* first, const char* second) {
    bool same = false;
    BPTR firstLock = 0;
    BPTR secondLock = 0;
    EString firstName = nullptr;
    EString secondName = nullptr;
    tolvarn::guarded(
        [&] {
            firstLock = quietLock(first, SHARED_LOCK);
            secondLock = quietLock(second, SHARED_LOCK);
            if (firstLock == 0 || secondLock == 0)
                return;
            // Names from locks are canonical, so one object always gives one name.
            firstName = strNameFromLock(firstLock);
            secondName = strNameFromLock(secondLock);
            same = firstName != nullptr && secondName != nullptr && StrCmp(firstName, secondName);
        },
        [&] {
            UnLock(firstLock);
            UnLock(secondLock);
            firstName = DisposeString(firstName);
            secondName = DisposeString(secondName);
        });
    return same;
}

} // namespace

int64_t filePosition(FileHandle* fh) {
    SetIoErr(0);
    const int32_t position = Seek(fh, 0, OFFSET_CURRENT);
    if (position == -1 && IoErr() != 0)
        return -1;
    return static_cast<int64_t>(static_cast<uint32_t>(position));
}

int32_t setFilePosition(FileHandle* fh, int64_t pos, int32_t mode) {
    if (pos >= smallestStep && pos <= largestStep)
        return seekWorked(fh, static_cast<int32_t>(pos), mode) ? TRUE : FALSE;

    // Farther than one Seek can go: start from the reference point, then walk there.
    if (mode != OFFSET_CURRENT)
        Seek(fh, 0, mode);
    int64_t remaining = pos;
    while (remaining != 0) {
        const int64_t step = remaining > largestStep
                                 ? largestStep
                                 : (remaining < smallestStep ? smallestStep : remaining);
        if (!seekWorked(fh, static_cast<int32_t>(step), OFFSET_CURRENT))
            return FALSE;
        remaining -= step;
    }
    return TRUE;
}

int64_t handleSize(FileHandle* fh, int32_t noRestore) {
    int64_t size = -1;
    FileInfoBlock* fib = nullptr;
    tolvarn::guarded(
        [&] {
            // fib_Size stops at 4294967295; its 64-bit twin is exact.
            fib = static_cast<FileInfoBlock*>(AllocDosObject(DOS_FIB, nullptr));
            if (fib != nullptr && ExamineFH(fh, fib))
                size = fib->fib_Size64;
            if (size != -1)
                return;

            // No size from the file system: measure it by going to the end.
            const int64_t saved = noRestore ? -1 : filePosition(fh);
            if (seekWorked(fh, 0, OFFSET_END))
                size = filePosition(fh);
            // An unknown starting point cannot be gone back to; seeking to -1 would be worse.
            if (!noRestore && saved != -1)
                setFilePosition(fh, saved, OFFSET_BEGINNING);
        },
        [&] {
            if (fib != nullptr)
                FreeDosObject(DOS_FIB, fib);
        });
    return size;
}

int64_t fileSizeFromFH(FileHandle* fh, int32_t restorePosition, int32_t linksAsEmpty) {
    int64_t size = -1;
    FileInfoBlock* fib = nullptr;
    tolvarn::guarded(
        [&] {
            if (linksAsEmpty) {
                fib = static_cast<FileInfoBlock*>(AllocDosObject(DOS_FIB, nullptr));
                if (fib != nullptr && ExamineFH(fh, fib)) {
                    const int32_t type = fib->fib_DirEntryType;
                    if (type == ST_LINKFILE || type == ST_LINKDIR || type == ST_SOFTLINK) {
                        size = 0;
                        return;
                    }
                }
            }
            size = handleSize(fh, restorePosition ? FALSE : TRUE);
            if (size == -1)
                Throw(ID_ERR, "fileSizeFromFH(); failed to obtain size of file (6)");
        },
        [&] {
            if (fib != nullptr)
                FreeDosObject(DOS_FIB, fib);
        });
    return size;
}

int32_t copyFile(const char* source, const char* dest, int32_t overwrite) {
    int32_t copied = FALSE;
    FileHandle* sourceFile = nullptr;
    FileInfoBlock* fib = nullptr;
    void* buffer = nullptr;
    int64_t size = 0;

    tolvarn::guarded(
        [&] {
            sourceFile = Open(source, MODE_OLDFILE);
            if (sourceFile == nullptr)
                return;

            if (overwrite) {
                // Replacing a file by itself would leave nothing to copy from.
                if (sameObject(source, dest))
                    return;
            } else if (pathExists(dest, 0)) {
                return;
            }

            size = fileSizeFromFH(sourceFile, FALSE, FALSE);
            if (size > largestCopy)
                return;
            if (size > 0) {
                buffer = MemAlloc(size, TRUE);
                setFilePosition(sourceFile, 0, OFFSET_BEGINNING);
                const int32_t length = static_cast<int32_t>(size);
                if (Read(sourceFile, buffer, length) != length)
                    return;
            }

            // The copy takes its name only when it is whole and on disk, in one step, so that
            // nobody ever finds an empty or partial file there, and a failure or a second run
            // never takes away a file this copy did not make.
            fib = static_cast<FileInfoBlock*>(AllocDosObject(DOS_FIB, nullptr));
            const bool examined = fib != nullptr && ExamineFH(sourceFile, fib);
            copied = tolvarn::platform::writeWholeFile(dest, buffer, size, examined ? fib : nullptr,
                                                       overwrite);
        },
        [&] {
            if (sourceFile != nullptr)
                Close(sourceFile);
            if (fib != nullptr)
                FreeDosObject(DOS_FIB, fib);
            buffer = MemFree(buffer, size);
        });
    return copied;
}
