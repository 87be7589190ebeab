// Open files and the calls that make or change an object: folders and links (what a first run
// needs to set up Tolvarn's own DOSBox folder), rename, delete, protection, comment, date.
#include "platform/dos/internal.h"
#include "platform/exec/internal.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <unordered_set>

namespace tolvarn::platform::internal {

namespace {

std::unordered_set<const FileHandle*>& liveHandles() {
    static std::unordered_set<const FileHandle*> handles;
    return handles;
}

bool isLiveHandle(const FileHandle* fh) {
    if (fh == nullptr) {
        SetIoErr(ERROR_REQUIRED_ARG_MISSING);
        return false;
    }
    if (!liveHandles().contains(fh)) {
        SetIoErr(ERROR_INVALID_LOCK);
        return false;
    }
    return true;
}

/// Refuses to touch the null device: NIL: resolves to it, and as root a delete would take it
/// away from the whole system.
bool refuseNullDevice(const std::string& path) {
    if (path != nullDevicePath)
        return false;
    SetIoErr(ERROR_OBJECT_WRONG_TYPE);
    return true;
}

/// The last component of a path of the program's syntax, as the caller wrote it.
std::string_view writtenName(const char* path) {
    return FilePart(path);
}

bool renameWithoutReplacing(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the flag: test, then rename (a small window, but no other way).
    struct stat status {};
    if (lstat(to.c_str(), &status) == 0) {
        errno = EEXIST;
        return false;
    }
    return rename(from.c_str(), to.c_str()) == 0;
}

/// Whether Open may use `path`, which the caller wrote as `name`: a regular file (soft links
/// followed) or the null device; with `creating`, also a name still free. A FIFO, a device or a
/// socket counts as no file, so that nothing ever waits on one. A soft link is written through
/// only when the caller named it exactly: one that merely matches ignoring letter case may
/// point anywhere. Sets IoErr() when it may not.
bool isPlainFileOrNew(const std::string& path, const char* name, bool creating) {
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0) {
        if (creating)
            return true; // a new file
        setIoErrFromHostError(errno);
        return false;
    }
    if (S_ISLNK(status.st_mode) && creating && writtenName(name) != lastComponent(path)) {
        SetIoErr(ERROR_OBJECT_EXISTS);
        return false;
    }
    if (path == nullDevicePath || stat(path.c_str(), &status) != 0)
        return true; // a dangling link named exactly: created through, as the host does
    if (S_ISREG(status.st_mode) || S_ISDIR(status.st_mode))
        return true; // folders are refused with their own error below
    SetIoErr(ERROR_OBJECT_WRONG_TYPE);
    return false;
}

} // namespace

int descriptorOf(FileHandle* fh) {
    return liveHandles().contains(fh) ? fh->descriptor : -1;
}

int openRegularFile(int directory, const std::string& name, bool followLinks) {
    // The type is checked before opening too: opening some devices already does something.
    struct stat status {};
    const int lookup = followLinks ? 0 : AT_SYMLINK_NOFOLLOW;
    if (fstatat(directory, name.c_str(), &status, lookup) != 0)
        return -1;
    if (!S_ISREG(status.st_mode)) {
        errno = S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
        return -1;
    }
    const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | (followLinks ? 0 : O_NOFOLLOW);
    const int descriptor = openat(directory, name.c_str(), flags);
    if (descriptor < 0)
        return -1;
    // Swapped for a FIFO between the look and the open: O_NONBLOCK kept the open from waiting.
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(descriptor);
        errno = EINVAL;
        return -1;
    }
    return descriptor;
}

std::optional<std::string> readRegularFile(const std::string& path) {
    const int descriptor = openRegularFile(AT_FDCWD, path, true);
    if (descriptor < 0)
        return std::nullopt;
    std::string contents;
    char chunk[65536];
    for (;;) {
        const ssize_t count = read(descriptor, chunk, sizeof chunk);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            close(descriptor);
            return count == 0 ? std::optional<std::string>(std::move(contents)) : std::nullopt;
        }
        contents.append(chunk, static_cast<std::size_t>(count));
    }
}

} // namespace tolvarn::platform::internal

using namespace tolvarn::platform::internal;
using tolvarn::platform::Operation;

/// Opens a file: MODE_OLDFILE an existing one (read-write where allowed, else read-only),
/// MODE_NEWFILE a new or emptied one, MODE_READWRITE an existing or new one without emptying it.
/// Returns the handle, or null with IoErr() set.
FileHandle* Open(const char* name, int32_t mode) {
    if (injectedFailure(Operation::Open))
        return nullptr;
    int flags = O_RDWR | O_CLOEXEC;
    std::optional<std::string> path;
    switch (mode) {
    case MODE_OLDFILE:
        path = resolveExisting(name);
        break;
    case MODE_NEWFILE:
        path = resolveForCreate(name);
        flags |= O_CREAT | O_TRUNC;
        break;
    case MODE_READWRITE:
        path = resolveForCreate(name);
        flags |= O_CREAT;
        break;
    default:
        SetIoErr(ERROR_BAD_NUMBER);
        return nullptr;
    }
    if (!path)
        return nullptr;
    if (!isPlainFileOrNew(*path, name, mode != MODE_OLDFILE))
        return nullptr;
    // O_NONBLOCK: a FIFO put in the file's place since the look above must not make Open wait.
    flags |= O_NONBLOCK;
    int descriptor = open(path->c_str(), flags, 0666);
    if (descriptor < 0 && mode == MODE_OLDFILE &&
        (errno == EACCES || errno == EROFS || errno == EPERM || errno == ETXTBSY))
        descriptor = open(path->c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        setIoErrFromHostError(errno,
                              mode == MODE_OLDFILE ? ERROR_READ_PROTECTED : ERROR_WRITE_PROTECTED);
        return nullptr;
    }
    fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
    struct stat status {};
    if (fstat(descriptor, &status) != 0 || (!S_ISREG(status.st_mode) && *path != nullDevicePath)) {
        close(descriptor);
        SetIoErr(ERROR_OBJECT_WRONG_TYPE);
        return nullptr;
    }
    auto* handle = new FileHandle{descriptor, canonicalPath(*path).value_or(*path)};
    liveHandles().insert(handle);
    ++counters().fileHandles;
    return handle;
}

/// Closes a file. Returns DOSTRUE; DOSFALSE (the handle is given back all the same) when the host
/// reports that written data could not be stored. Null does nothing.
int32_t Close(FileHandle* fh) {
    if (fh == nullptr)
        return DOSTRUE;
    if (!isLiveHandle(fh))
        return DOSFALSE;
    liveHandles().erase(fh);
    --counters().fileHandles;
    const int result = close(fh->descriptor);
    const int hostError = errno;
    delete fh;
    if (result != 0) {
        setIoErrFromHostError(hostError, ERROR_WRITE_PROTECTED);
        return DOSFALSE;
    }
    return DOSTRUE;
}

/// Reads up to length bytes. Returns the number read (0 at the end of the file), -1 on failure.
int32_t Read(FileHandle* fh, void* buffer, int32_t length) {
    if (!isLiveHandle(fh) || injectedFailure(Operation::Read))
        return -1;
    if (length < 0 || (buffer == nullptr && length > 0)) {
        SetIoErr(ERROR_BAD_NUMBER);
        return -1;
    }
    auto* bytes = static_cast<char*>(buffer);
    int32_t total = 0;
    while (total < length) {
        const ssize_t count =
            read(fh->descriptor, bytes + total, static_cast<std::size_t>(length - total));
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            setIoErrFromHostError(errno);
            return -1;
        }
        if (count == 0)
            break;
        total += static_cast<int32_t>(count);
    }
    return total;
}

/// Writes length bytes. Returns length, or -1 on failure (some bytes may have been written).
int32_t Write(FileHandle* fh, const void* buffer, int32_t length) {
    if (!isLiveHandle(fh) || injectedFailure(Operation::Write))
        return -1;
    if (length < 0 || (buffer == nullptr && length > 0)) {
        SetIoErr(ERROR_BAD_NUMBER);
        return -1;
    }
    const auto* bytes = static_cast<const char*>(buffer);
    int32_t total = 0;
    while (total < length) {
        const ssize_t count =
            write(fh->descriptor, bytes + total, static_cast<std::size_t>(length - total));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            // EBADF: the file was opened read-only because the host refused writing to it.
            const int hostError = count == 0 ? ENOSPC : errno == EBADF ? EACCES : errno;
            setIoErrFromHostError(hostError, ERROR_WRITE_PROTECTED);
            return -1;
        }
        total += static_cast<int32_t>(count);
    }
    return length;
}

/// Moves the file position by `position` from the start, the current position or the end, as on
/// the original system: a target before the start or past the end fails with ERROR_SEEK_ERROR
/// and leaves the position alone. Returns the previous position as a 32-bit value (so -1 is also
/// the position 4294967295: IoErr() is 0 after every successful move). A previous position of
/// 4 GiB or more cannot be told in 32 bits: the move is made, but -1 with IoErr()
/// ERROR_OBJECT_TOO_LARGE comes back.
int32_t Seek(FileHandle* fh, int32_t position, int32_t mode) {
    if (!isLiveHandle(fh))
        return -1;
    const off_t current = lseek(fh->descriptor, 0, SEEK_CUR);
    struct stat status {};
    if (current < 0 || fstat(fh->descriptor, &status) != 0) {
        setIoErrFromHostError(errno);
        return -1;
    }
    int64_t origin;
    switch (mode) {
    case OFFSET_BEGINNING:
        origin = 0;
        break;
    case OFFSET_CURRENT:
        origin = current;
        break;
    case OFFSET_END:
        origin = status.st_size;
        break;
    default:
        SetIoErr(ERROR_SEEK_ERROR);
        return -1;
    }
    const int64_t target = origin + position;
    if (target < 0 || target > status.st_size) {
        SetIoErr(ERROR_SEEK_ERROR);
        return -1;
    }
    if (lseek(fh->descriptor, target, SEEK_SET) < 0) {
        setIoErrFromHostError(errno);
        return -1;
    }
    if (current > static_cast<off_t>(UINT32_MAX)) {
        SetIoErr(ERROR_OBJECT_TOO_LARGE);
        return -1;
    }
    SetIoErr(0);
    return static_cast<int32_t>(static_cast<uint32_t>(current));
}

/// Renames an object (a soft link itself, not its target). Fails with ERROR_OBJECT_EXISTS when the
/// new name is taken; a change of letter case alone is allowed.
int32_t Rename(const char* oldName, const char* newName) {
    if (injectedFailure(Operation::Rename))
        return DOSFALSE;
    const auto from = resolvePath(oldName != nullptr ? oldName : "", Target::entry);
    if (!from)
        return DOSFALSE;
    if (newName == nullptr) {
        SetIoErr(ERROR_REQUIRED_ARG_MISSING);
        return DOSFALSE;
    }
    auto to = resolveForCreate(newName);
    if (!to || refuseNullDevice(*from) || refuseNullDevice(*to))
        return DOSFALSE;
    if (*to == *from) {
        // The new name found the object itself, ignoring case: the caller changes the case.
        const std::string_view name = writtenName(newName);
        if (name.empty() || name == lastComponent(*from))
            return DOSTRUE;
        to = joinPath(parentPath(*from), name);
    }
    if (!renameWithoutReplacing(*from, *to)) {
        setIoErrFromHostError(errno, ERROR_WRITE_PROTECTED);
        return DOSFALSE;
    }
    return DOSTRUE;
}

/// Deletes a file, a soft link (not its target) or an empty directory. An object whose D bit is
/// set (no owner write permission) is delete-protected.
int32_t DeleteFile(const char* name) {
    if (injectedFailure(Operation::DeleteFile))
        return DOSFALSE;
    const auto path = resolvePath(name != nullptr ? name : "", Target::entry);
    if (!path || refuseNullDevice(*path))
        return DOSFALSE;
    struct stat status {};
    if (lstat(path->c_str(), &status) != 0) {
        setIoErrFromHostError(errno);
        return DOSFALSE;
    }
    if (!S_ISLNK(status.st_mode) && (protectionFromMode(status.st_mode) & FIBF_DELETE) != 0) {
        SetIoErr(ERROR_DELETE_PROTECTED);
        return DOSFALSE;
    }
    const int result = S_ISDIR(status.st_mode) ? rmdir(path->c_str()) : unlink(path->c_str());
    if (result != 0) {
        // Some file systems say EEXIST for a directory that is not empty.
        setIoErrFromHostError(errno == EEXIST ? ENOTEMPTY : errno, ERROR_DELETE_PROTECTED);
        return DOSFALSE;
    }
    return DOSTRUE;
}

/// Sets the R W E D bits (allowed when clear) as the owner's permissions; other bits have no
/// host counterpart and are ignored.
int32_t SetProtection(const char* name, uint32_t protect) {
    const auto path = resolveExisting(name);
    if (!path || refuseNullDevice(*path))
        return DOSFALSE;
    struct stat status {};
    if (stat(path->c_str(), &status) != 0 ||
        chmod(path->c_str(), modeFromProtection(status.st_mode & 07777, protect)) != 0) {
        setIoErrFromHostError(errno == EPERM ? EACCES : errno, ERROR_WRITE_PROTECTED);
        return DOSFALSE;
    }
    return DOSTRUE;
}

/// Stores a comment in the object's extended attributes; an empty comment removes it. Fails with
/// ERROR_COMMENT_TOO_BIG beyond what a FileInfoBlock holds, ERROR_ACTION_NOT_KNOWN on a file
/// system without attributes.
int32_t SetComment(const char* name, const char* comment) {
    const auto path = resolveExisting(name);
    if (!path || refuseNullDevice(*path))
        return DOSFALSE;
    const std::string_view text = comment != nullptr ? comment : "";
    if (text.size() > maximumCommentLength) {
        SetIoErr(ERROR_COMMENT_TOO_BIG);
        return DOSFALSE;
    }
    if (text.empty()) {
        if (removexattr(path->c_str(), commentAttribute) != 0 && errno != ENODATA &&
            errno != ENOTSUP) {
            setIoErrFromHostError(errno, ERROR_WRITE_PROTECTED);
            return DOSFALSE;
        }
        return DOSTRUE;
    }
    if (setxattr(path->c_str(), commentAttribute, text.data(), text.size(), 0) != 0) {
        setIoErrFromHostError(errno == EPERM ? EACCES : errno, ERROR_WRITE_PROTECTED);
        return DOSFALSE;
    }
    return DOSTRUE;
}

/// Sets the object's modification time.
int32_t SetFileDate(const char* name, const DateStamp* date) {
    const auto path = resolveExisting(name);
    if (!path || refuseNullDevice(*path))
        return DOSFALSE;
    if (date == nullptr) {
        SetIoErr(ERROR_REQUIRED_ARG_MISSING);
        return DOSFALSE;
    }
    int64_t seconds = 0;
    int64_t nanoseconds = 0;
    timeFromDateStamp(*date, seconds, nanoseconds);
    timespec times[2] = {{0, UTIME_OMIT},
                         {static_cast<time_t>(seconds), static_cast<long>(nanoseconds)}};
    if (utimensat(AT_FDCWD, path->c_str(), times, 0) != 0) {
        setIoErrFromHostError(errno == EPERM ? EACCES : errno, ERROR_WRITE_PROTECTED);
        return DOSFALSE;
    }
    return DOSTRUE;
}

BPTR CreateDir(const char* name) {
    const auto path = resolveForCreate(name != nullptr ? name : "");
    if (!path)
        return nullptr;
    // mkdir never replaces anything, so a second run making the same folder at the same moment
    // gets ERROR_OBJECT_EXISTS instead of a half-made folder.
    if (::mkdir(path->c_str(), 0777) != 0) {
        setIoErrFromHostError(errno, ERROR_WRITE_PROTECTED);
        return nullptr;
    }
    const auto canonical = canonicalPath(*path);
    if (!canonical) {
        setIoErrFromHostError(errno);
        return nullptr;
    }
    return makeLock(*canonical, EXCLUSIVE_LOCK);
}

int32_t MakeLink(const char* name, const char* destination, int32_t soft) {
    if (destination == nullptr || *destination == '\0') {
        SetIoErr(ERROR_REQUIRED_ARG_MISSING);
        return DOSFALSE;
    }
    const auto path = resolveForCreate(name != nullptr ? name : "");
    if (!path)
        return DOSFALSE;
    // A host path is kept as written, so the link follows what it names (a link of the system's
    // own, say); any other name must exist and is written as its host path.
    std::optional<std::string> target;
    if (destination[0] == '/')
        target = destination;
    else
        target = resolveExisting(destination);
    if (!target)
        return DOSFALSE;
    const int result =
        soft ? ::symlink(target->c_str(), path->c_str()) : ::link(target->c_str(), path->c_str());
    if (result != 0) {
        setIoErrFromHostError(errno, ERROR_WRITE_PROTECTED);
        return DOSFALSE;
    }
    return DOSTRUE;
}
