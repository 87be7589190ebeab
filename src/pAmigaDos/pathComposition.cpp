// Joining, splitting and expanding paths. Every lock, device record, file system, current
// directory, buffer and temporary string taken here is given back on every way out, exceptions
// included; the process's file system and current directory are only ever borrowed for the span
// of one directory of an assign.
#include "pAmigaDos/pathComposition.h"

#include "platform/exec/exec.h"
#include "runtime/exception.h"
#include "runtime/memory.h"

#include <cstdint>
#include <cstring>

namespace {

/// Returns the length of a host string as an e-string length.
int32_t lengthOf(const char* text) {
    return static_cast<int32_t>(std::strlen(text));
}

/// Returns the number of characters of path before its last component.
int32_t directoryLength(const char* path) {
    return static_cast<int32_t>(PathPart(path) - path);
}

/// Returns the part of path after its device or assign name (the whole path when it has none).
/// As everywhere in a path, only a ":" before the first "/" ends a device name, and an absolute
/// host path has none.
const char* afterDeviceName(const char* path) {
    const char* colon = std::strchr(path, ':');
    const char* slash = std::strchr(path, '/');
    const bool hasDevice =
        colon != nullptr && path[0] != '/' && (slash == nullptr || colon < slash);
    return hasDevice ? colon + 1 : path;
}

/// Joins an entry's own name to the canonical name of its folder. The name goes in as it
/// stands: on the host it may hold a ":", which AddPart would read as the start of a new path.
EString strJoinName(const char* directory, const char* name) {
    const int32_t length = lengthOf(directory);
    const bool separate = *name != '\0' && length > 0 && directory[length - 1] != '/';
    return StrJoin(directory, separate ? "/" : "", name);
}

/// How well an entry's name answers a name asked for, by the host's lookup rule: the exact name
/// first, then one that differs only in ASCII letter case.
enum class NameMatch { none, caseBlind, exact };

NameMatch nameMatch(const char* entryName, const char* name) {
    if (StrCmp(entryName, name))
        return NameMatch::exact;
    // OrdStrNoCase folds ASCII letters only, as the host layer does, so UTF-8 names never meet.
    return OrdStrNoCase(entryName, name) == 0 ? NameMatch::caseBlind : NameMatch::none;
}

/// Copies what an examination found into fib, leaving the host layer's scan in fib alone.
void copyInfo(const FileInfoBlock* from, FileInfoBlock* to) {
    void* const scan = to->fib_HostScan;
    *to = *from;
    to->fib_HostScan = scan;
}

/// Fills fib with the entry `name` of the directory directoryLock, a soft link as itself, found
/// by reading the whole directory. Returns TRUE when it is there.
int32_t findEntryByScan(BPTR directoryLock, const char* name, FileInfoBlock* fib) {
    NameMatch best = NameMatch::none;
    FileInfoBlock* scan = nullptr;
    tolvarn::guarded(
        [&] {
            scan = static_cast<FileInfoBlock*>(AllocDosObject(DOS_FIB, nullptr));
            if (scan == nullptr || !Examine(directoryLock, scan))
                return;
            // Entries come in byte order, so the first that differs in case is kept.
            while (best != NameMatch::exact && ExNext(directoryLock, scan)) {
                const NameMatch match = nameMatch(scan->fib_FileName, name);
                if (match > best) {
                    copyInfo(scan, fib);
                    best = match;
                }
            }
        },
        [&] {
            if (scan != nullptr)
                FreeDosObject(DOS_FIB, scan);
        });
    return best != NameMatch::none ? TRUE : FALSE;
}

/// A pattern that matches `name` itself, letter case ignored: every character that means
/// something in a pattern is quoted.
EString strLiteralPattern(const char* name) {
    EString pattern = NewString(2 * lengthOf(name));
    for (const char* character = name; *character != '\0'; ++character) {
        if (std::strchr("?#~()|[]%'", *character) != nullptr)
            StrAdd(pattern, "'");
        StrAdd(pattern, character, 1);
    }
    return pattern;
}

/// The growth loop shared by the names of locks and of the current directory: starts at 128
/// characters and doubles while the platform says the name did not fit. Returns the name, or NIL
/// with IoErr() as the failing call left it.
template <typename Fill> EString growingName(Fill fill) {
    EString name = nullptr;
    tolvarn::guarded(
        [&] {
            int32_t size = 128;
            for (;;) {
                name = DisposeString(name);
                name = NewString(size);
                if (fill(name))
                    return;
                // A buffer that would not fit an e-string any more means the platform keeps
                // asking for more than any name can need; give up rather than overflow.
                if (IoErr() != ERROR_LINE_TOO_LONG || size > INT32_MAX / 2) {
                    name = DisposeString(name);
                    return;
                }
                size *= 2;
            }
        },
        [&] {
            if (exception != 0)
                name = DisposeString(name);
        });
    return name;
}

/// Copies an ExAll entry into fib, the way Examine would have filled it.
void copyEntry(const ExAllData* entry, FileInfoBlock* fib) {
    fib->fib_DirEntryType = entry->ed_Type;
    fib->fib_EntryType = entry->ed_Type;
    std::strncpy(fib->fib_FileName, entry->ed_Name != nullptr ? entry->ed_Name : "",
                 sizeof fib->fib_FileName - 1);
    fib->fib_FileName[sizeof fib->fib_FileName - 1] = '\0';
    fib->fib_Protection = static_cast<int32_t>(entry->ed_Prot);
    fib->fib_Size = static_cast<int32_t>(entry->ed_Size);
    fib->fib_Size64 = static_cast<int64_t>(entry->ed_Size64);
    fib->fib_Date.ds_Days = static_cast<int32_t>(entry->ed_Days);
    fib->fib_Date.ds_Minute = static_cast<int32_t>(entry->ed_Mins);
    fib->fib_Date.ds_Tick = static_cast<int32_t>(entry->ed_Ticks);
    std::strncpy(fib->fib_Comment, entry->ed_Comment != nullptr ? entry->ed_Comment : "",
                 sizeof fib->fib_Comment - 1);
    fib->fib_Comment[sizeof fib->fib_Comment - 1] = '\0';
}

/// Fills fib with the entry `name` of the directory directoryLock, a soft link as itself. Lists
/// only the entries whose names match it ignoring case, and reads the whole directory instead
/// when such a listing cannot be had. Returns TRUE when the entry is there.
int32_t findEntryInListing(BPTR directoryLock, const char* name, FileInfoBlock* fib) {
    constexpr int32_t bufferSize = 200;
    int32_t found = FALSE;
    EString literal = nullptr;
    EString pattern = nullptr;
    ExAllControl* control = nullptr;
    ExAllData* buffer = nullptr;
    int32_t more = DOSFALSE;

    tolvarn::guarded(
        [&] {
            literal = strLiteralPattern(name);
            pattern = NewString(2 * EstrLen(literal) + 2);
            control = static_cast<ExAllControl*>(AllocDosObject(DOS_EXALLCONTROL, nullptr));
            if (ParsePatternNoCase(literal, pattern, StrMax(pattern)) != 0 || control == nullptr) {
                found = findEntryByScan(directoryLock, name, fib);
                return;
            }
            control->eac_LastKey = 0;
            control->eac_MatchString = pattern;
            control->eac_MatchFunc = nullptr;
            buffer = static_cast<ExAllData*>(MemAlloc(bufferSize, FALSE));

            // Every name that differs only in case matches too; in byte order, the first of
            // them is kept unless the exact name comes later.
            NameMatch best = NameMatch::none;
            do {
                SetIoErr(ERROR_NO_MORE_ENTRIES);
                more = ExAll(directoryLock, buffer, bufferSize, ED_COMMENT, control);
                const int32_t error = IoErr();
                // A failure, or an entry too long for the buffer while more are to come.
                if ((!more && error != ERROR_NO_MORE_ENTRIES && error != 0) ||
                    (more && control->eac_Entries == 0)) {
                    found = findEntryByScan(directoryLock, name, fib);
                    return;
                }
                for (ExAllData* entry = control->eac_Entries != 0 ? buffer : nullptr;
                     entry != nullptr && best != NameMatch::exact; entry = entry->ed_Next) {
                    const NameMatch match = nameMatch(entry->ed_Name, name);
                    if (match > best) {
                        copyEntry(entry, fib);
                        best = match;
                    }
                }
            } while (more && best != NameMatch::exact);
            found = best != NameMatch::none ? TRUE : FALSE;
        },
        [&] {
            if (more)
                ExAllEnd(directoryLock, buffer, bufferSize, ED_COMMENT, control);
            if (control != nullptr)
                FreeDosObject(DOS_EXALLCONTROL, control);
            literal = DisposeString(literal);
            pattern = DisposeString(pattern);
            buffer = static_cast<ExAllData*>(MemFree(buffer, bufferSize));
        });
    return found;
}

/// Finds path's entry through the directories of its device or assign, one after another, and
/// returns the absolute name of the entry itself, with the letter case it has on disk (a soft
/// link is not resolved in its last component), or NIL when no directory holds it.
EString strEntryThroughAssign(const char* path) {
    const char* rest = afterDeviceName(path);
    EString result = nullptr;
    EString directory = nullptr;
    EString directoryName = nullptr;
    BPTR directoryLock = 0;
    DevProc* record = nullptr;
    MsgPort* oldFileSystem = nullptr;
    BPTR oldCurrentDir = 0;
    bool borrowing = false;
    FileInfoBlock* fib = nullptr;

    tolvarn::guarded(
        [&] {
            fib = static_cast<FileInfoBlock*>(AllocDosObject(DOS_FIB, nullptr));
            if (fib == nullptr)
                return;
            while (result == nullptr && (record = GetDeviceProc(path, record)) != nullptr) {
                oldFileSystem = SetFileSysTask(record->dvp_Port);
                oldCurrentDir = CurrentDir(record->dvp_Lock);
                borrowing = true;

                // The entry itself is looked for, so that a dangling soft link is found too.
                directory = strPathPart(rest);
                directoryLock = Lock(directory, SHARED_LOCK);
                if (directoryLock != 0 && findEntryInListing(directoryLock, FilePart(rest), fib)) {
                    directoryName = strNameFromLock(directoryLock);
                    if (directoryName != nullptr)
                        result = strJoinName(directoryName, fib->fib_FileName);
                    directoryName = DisposeString(directoryName);
                }
                UnLock(directoryLock);
                directoryLock = 0;
                directory = DisposeString(directory);

                SetFileSysTask(oldFileSystem);
                CurrentDir(oldCurrentDir);
                borrowing = false;
            }
        },
        [&] {
            UnLock(directoryLock);
            if (borrowing) {
                SetFileSysTask(oldFileSystem);
                CurrentDir(oldCurrentDir);
            }
            // The record's lock was only lent to the process; it goes back with the record.
            FreeDeviceProc(record);
            if (fib != nullptr)
                FreeDosObject(DOS_FIB, fib);
            directory = DisposeString(directory);
            directoryName = DisposeString(directoryName);
            if (exception != 0)
                result = DisposeString(result);
        });
    return result;
}

/// Examines path's own entry in the directory that holds it, with `find`.
int32_t examineInParent(const char* path, FileInfoBlock* fib,
                        int32_t (*find)(BPTR, const char*, FileInfoBlock*)) {
    int32_t found = FALSE;
    BPTR directoryLock = 0;
    tolvarn::guarded(
        [&] {
            directoryLock = lockParentDir(path);
            if (directoryLock != 0)
                found = find(directoryLock, FilePart(path), fib);
        },
        [&] { UnLock(directoryLock); });
    return found;
}

} // namespace

int32_t fillAddPart(EString eString, const char* name) {
    if (AddPart(eString, name, static_cast<uint32_t>(StrMax(eString)) + 1) == DOSFALSE)
        return FALSE;
    SetStr(eString, lengthOf(eString));
    return TRUE;
}

EString strJoinPart(const char* path, const char* name, int32_t dirOnly) {
    EString result = nullptr;
    tolvarn::guarded(
        [&] {
            result = NewString(lengthOf(path) + lengthOf(name) + 2);
            StrCopy(result, path, dirOnly ? directoryLength(path) : ALL);
            if (!fillAddPart(result, name))
                Throw(ID_BUG, "pAmigaDos; strJoinPart(); the allocated string was too small");
        },
        [&] {
            if (exception != 0)
                result = DisposeString(result);
        });
    return result;
}

EString strPathPart(const char* path) {
    const int32_t length = directoryLength(path);
    return StrCopy(NewString(length), path, length);
}

EString lockJoinPart(BPTR lock, const char* name) {
    EString directoryName = nullptr;
    EString result = nullptr;
    tolvarn::guarded(
        [&] {
            directoryName = strNameFromLock(lock);
            if (directoryName == nullptr)
                return;
            // The name is an entry's own (a desktop object, a requester's choice), which on the
            // host may hold a ":".
            result = strJoinName(directoryName, name);
        },
        [&] {
            directoryName = DisposeString(directoryName);
            if (exception != 0)
                result = DisposeString(result);
        });
    return result;
}

int32_t fillNameFromLock(EString eString, BPTR lock) {
    if (NameFromLock(lock, eString, StrMax(eString)) == DOSFALSE)
        return FALSE;
    SetStr(eString, lengthOf(eString));
    return TRUE;
}

EString strNameFromLock(BPTR lock) {
    return growingName([lock](EString name) { return fillNameFromLock(name, lock); });
}

int32_t fillCurrentDirName(EString eString) {
    const Process* process = FindTask(nullptr);
    // A process started without a current directory works in the one it was loaded from.
    const BPTR directory =
        process->pr_CurrentDir != 0 ? process->pr_CurrentDir : process->pr_HomeDir;
    return fillNameFromLock(eString, directory);
}

EString strCurrentDirName() {
    return growingName([](EString name) { return fillCurrentDirName(name); });
}

EString strExpandPath(const char* path, int32_t keepLink) {
    EString result = nullptr;
    EString link = nullptr;
    EString directory = nullptr;
    EString directoryName = nullptr;
    EString currentDirName = nullptr;
    BPTR lock = 0;

    tolvarn::guarded(
        [&] {
            // Only a path that really is a soft link needs its last component kept as it is.
            if (keepLink) {
                link = strReadLink(path, nullptr, TRUE);
                keepLink = link != nullptr ? TRUE : FALSE;
                link = DisposeString(link);
            }

            // Lock resolves soft links, so it may only answer when the link is not to be kept.
            if (!keepLink) {
                lock = Lock(path, SHARED_LOCK);
                if (lock != 0) {
                    result = strNameFromLock(lock);
                    UnLock(lock);
                    lock = 0;
                }
            }

            if (result == nullptr && keepLink)
                result = strEntryThroughAssign(path);

            // A name that does not exist yet, in a directory that does.
            if (result == nullptr) {
                directory = strPathPart(path);
                lock = Lock(directory, SHARED_LOCK);
                if (lock != 0) {
                    directoryName = strNameFromLock(lock);
                    if (directoryName != nullptr)
                        result = strJoinName(directoryName, FilePart(path));
                    UnLock(lock);
                    lock = 0;
                }
            }

            // Nothing of it exists: place it in the current directory (an absolute path stays).
            if (result == nullptr) {
                currentDirName = strCurrentDirName();
                if (currentDirName != nullptr)
                    result = strJoinPart(currentDirName, path, FALSE);
            }

            if (result == nullptr)
                result = StrJoin(path);
        },
        [&] {
            UnLock(lock);
            link = DisposeString(link);
            directory = DisposeString(directory);
            directoryName = DisposeString(directoryName);
            currentDirName = DisposeString(currentDirName);
            if (exception != 0)
                result = DisposeString(result);
        });
    return result;
}

EString strReadLink(const char* path, int32_t* kindOut, int32_t skipTypeCheck) {
    // Kinds: 0 target read, type unchecked; 1 no target; 2 a soft link; 3 not a soft link.
    int32_t kind = 1;
    EString target = nullptr;
    EString fullPath = nullptr;
    EString directory = nullptr;
    BPTR directoryLock = 0;
    char* buffer = nullptr;
    int32_t bufferSize = 256;
    FileInfoBlock* fib = nullptr;

    tolvarn::guarded(
        [&] {
            const char* entry = path;
            if (std::strchr(path, ':') != nullptr) {
                fullPath = strEntryThroughAssign(path);
                if (fullPath != nullptr)
                    entry = fullPath;
            }

            int32_t readResult = -1;
            directory = strPathPart(entry);
            directoryLock = Lock(directory, SHARED_LOCK);
            if (directoryLock != 0) {
                for (;;) {
                    buffer = static_cast<char*>(MemAlloc(bufferSize, TRUE));
                    buffer[0] = '\0';
                    // The whole name found through the assign is read as nothing but the entry,
                    // also when its last component holds a ":".
                    readResult = ReadLink(directoryLock->fl_Task, directoryLock,
                                          fullPath != nullptr ? fullPath : FilePart(entry), buffer,
                                          static_cast<uint32_t>(bufferSize));
                    if (readResult != -2)
                        break;
                    buffer = static_cast<char*>(MemFree(buffer, bufferSize));
                    if (bufferSize > INT32_MAX / 2) {
                        readResult = -1;
                        break;
                    }
                    bufferSize *= 2;
                }
                UnLock(directoryLock);
                directoryLock = 0;
            }

            // Never trust a length beyond what the buffer can hold with its NUL.
            int32_t length = 0;
            if (buffer != nullptr) {
                const void* end = std::memchr(buffer, '\0', static_cast<size_t>(bufferSize));
                const int32_t inBuffer =
                    end != nullptr ? static_cast<int32_t>(static_cast<const char*>(end) - buffer)
                                   : bufferSize - 1;
                if (readResult == -1)
                    length = inBuffer;
                else if (readResult > 0)
                    length = readResult < inBuffer ? readResult : inBuffer;
            }

            if (length > 0) {
                target = StrCopy(NewString(length), buffer, length);
                kind = 0;
                if (!skipTypeCheck) {
                    // Counted as a link unless its own entry says otherwise.
                    kind = 2;
                    fib = static_cast<FileInfoBlock*>(AllocDosObject(DOS_FIB, nullptr));
                    if (fib != nullptr && examineDirEntry(entry, fib))
                        kind = fib->fib_DirEntryType == ST_SOFTLINK ? 2 : 3;
                }
            }
        },
        [&] {
            if (fib != nullptr)
                FreeDosObject(DOS_FIB, fib);
            buffer = static_cast<char*>(MemFree(buffer, bufferSize));
            UnLock(directoryLock);
            directory = DisposeString(directory);
            fullPath = DisposeString(fullPath);
            if (exception != 0)
                target = DisposeString(target);
        });

    if (kindOut != nullptr)
        *kindOut = kind;
    secondResult = kind;
    return target;
}

BPTR lockParentDir(const char* path) {
    EString full = nullptr;
    EString directory = nullptr;
    BPTR lock = 0;
    tolvarn::guarded(
        [&] {
            full = strExpandPath(path, TRUE);
            directory = strPathPart(full);
            lock = Lock(directory, SHARED_LOCK);
        },
        [&] {
            full = DisposeString(full);
            directory = DisposeString(directory);
            if (exception != 0) {
                UnLock(lock);
                lock = 0;
            }
        });
    return lock;
}

int32_t examineDirEntry(const char* path, FileInfoBlock* fib) {
    return examineInParent(path, fib, findEntryInListing);
}

int32_t examineDirEntryByScan(const char* path, FileInfoBlock* fib) {
    return examineInParent(path, fib, findEntryByScan);
}
