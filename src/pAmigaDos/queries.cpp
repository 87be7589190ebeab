// Existence and type tests, variables and the argument line. An existence test must never stop
// the user with an insert-volume requester, so every lock taken to answer one is a quiet lock.
#include "pAmigaDos/queries.h"

#include "pAmigaDos/pathComposition.h"
#include "platform/exec/exec.h"
#include "runtime/exception.h"

#include <cstdint>
#include <cstring>

EString argumentLine = nullptr;

namespace {

/// A window pointer of -1 tells the file system to fail instead of asking the user.
void* const noRequesters = reinterpret_cast<void*>(intptr_t{-1});

} // namespace

void startAmigaDosModule() {
    // A second start must not lose the first copy.
    argumentLine = DisposeString(argumentLine);
    const char* text = GetArgStr();
    argumentLine = StrJoin(text != nullptr ? text : "");
    const int32_t length = EstrLen(argumentLine);
    if (length > 0 && argumentLine[length - 1] == '\n')
        SetStr(argumentLine, length - 1);
}

void endAmigaDosModule() {
    argumentLine = DisposeString(argumentLine);
}

BPTR quietLock(const char* path, int32_t mode) {
    Process* process = FindTask(nullptr);
    void* const savedWindow = process->pr_WindowPtr;
    process->pr_WindowPtr = noRequesters;
    const BPTR lock = Lock(path, mode);
    process->pr_WindowPtr = savedWindow;
    return lock;
}

int32_t pathExists(const char* path, int32_t kind) {
    if (kind == 0) {
        const BPTR lock = quietLock(path, SHARED_LOCK);
        UnLock(lock);
        return lock != 0 ? TRUE : FALSE;
    }
    int8_t exists = FALSE;
    const int32_t type = dirEntryType(path, FALSE, &exists);
    int32_t result = exists ? TRUE : FALSE;
    if (type != 0) {
        const int32_t isFile = dirEntryTypeIsFile(type, path);
        if ((kind == 1 && !isFile) || (kind == 2 && isFile))
            result = FALSE;
    }
    return result;
}

int32_t dirEntryType(const char* path, int32_t noFollow, int8_t* existsOut) {
    BPTR lock = 0;
    int32_t type = 0;
    int32_t exists = FALSE;
    tolvarn::guarded(
        [&] {
            // When nobody asks whether it exists, the entry itself is examined without a lock.
            if (!(existsOut == nullptr && noFollow))
                lock = quietLock(path, SHARED_LOCK);
            exists = lock != 0 ? TRUE : FALSE;
            type = lockEntryType(lock, path, noFollow);
        },
        [&] { UnLock(lock); });
    if (existsOut != nullptr)
        *existsOut = static_cast<int8_t>(exists);
    secondResult = exists;
    return type;
}

int32_t lockEntryType(BPTR lock, const char* path, int32_t noFollow) {
    FileInfoBlock* fib = nullptr;
    int32_t type = 0;
    tolvarn::guarded(
        [&] {
            fib = static_cast<FileInfoBlock*>(AllocDosObject(DOS_FIB, nullptr));
            if (fib == nullptr)
                return;
            // Examine on a lock reports what a soft link points at; examineDirEntry reports the
            // entry itself.
            const int32_t examined =
                noFollow ? examineDirEntry(path, fib) : (lock != 0 ? Examine(lock, fib) : DOSFALSE);
            if (examined)
                type = fib->fib_DirEntryType;
        },
        [&] {
            if (fib != nullptr)
                FreeDosObject(DOS_FIB, fib);
        });
    return type;
}

int32_t dirEntryTypeIsFile(int32_t type, const char* path) {
    if (type != ST_SOFTLINK)
        return type <= 0 ? TRUE : FALSE;

    EString linkPath = nullptr;
    EString targetPath = nullptr;
    int32_t isFile = FALSE;
    tolvarn::guarded(
        [&] {
            linkPath = strReadLink(path, nullptr, FALSE);
            if (linkPath == nullptr)
                Throw(ID_BUG, "dirEntryTypeIsFile(); linkPath=NILS");
            // A relative target is written from the link's own directory, not from ours.
            targetPath = strJoinPart(path, linkPath, TRUE);
            isFile = dirEntryTypeIsFile(dirEntryType(targetPath, FALSE, nullptr), targetPath);
        },
        [&] {
            linkPath = DisposeString(linkPath);
            targetPath = DisposeString(targetPath);
        });
    return isFile;
}

int32_t fillGetVar(const char* name, EString eString, uint32_t flags) {
    const int32_t length = GetVar(name, eString, StrMax(eString), flags);
    if (length == -1)
        return FALSE;
    SetStr(eString, length);
    return TRUE;
}

EString strGetVar(const char* name, uint32_t flags) {
    EString value = nullptr;
    tolvarn::guarded(
        [&] {
            // A value cut short would be a wrong path, so the buffer grows until it all fits.
            int64_t size = 128;
            for (;;) {
                value = DisposeString(value);
                value = NewString(static_cast<int32_t>(size));
                if (!fillGetVar(name, value, flags)) {
                    value = DisposeString(value);
                    return;
                }
                const int64_t fullLength = IoErr();
                if (fullLength <= EstrLen(value) || size >= INT32_MAX)
                    return;
                // GetVar keeps one character of the buffer for its NUL.
                while (size - 1 < fullLength && size < INT32_MAX)
                    size = size * 2 > INT32_MAX ? INT32_MAX : size * 2;
            }
        },
        [&] {
            if (exception != 0)
                value = DisposeString(value);
        });
    return value;
}

int32_t setVar(const char* name, const char* value, uint32_t flags) {
    return SetVar(name, value, static_cast<int32_t>(std::strlen(value)), flags) != DOSFALSE ? TRUE
                                                                                            : FALSE;
}
