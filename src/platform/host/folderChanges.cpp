// Changes to a program's folder that never leave it half done, whatever moment the process ends
// at: see platform/host/folderChanges.h. Every call works on the held folder's own descriptor, so a
// folder renamed or replaced meanwhile is never confused with the one that was checked.
#include "platform/host/folderChanges.h"

#include "platform/dos/internal.h"
#include "platform/exec/internal.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace tolvarn::platform {

/// The open folder, whose advisory lock the hold is, and the signal mask from before it.
struct FolderHold {
    int descriptor = -1;
    sigset_t previousMask{};
};

namespace {

using namespace internal;

constexpr char copyPrefix[] = ".tolvarn-";
constexpr int crashExitCode = 86;
int stepsUntilCrash = 0; // 0: no crash planned
bool hardLinksRefused = false;

/// Called before every change to a held folder; the test hook may end the process here.
void beforeStep() {
    if (stepsUntilCrash > 0 && --stepsUntilCrash == 0)
        _exit(crashExitCode);
}

struct DirectoryCloser {
    void operator()(DIR* directory) const { closedir(directory); }
};

/// The names in the held folder, in the order the folder lists them.
std::vector<std::string> folderNames(const FolderHold* hold) {
    std::vector<std::string> names;
    const int listing = openat(hold->descriptor, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::unique_ptr<DIR, DirectoryCloser> stream(listing >= 0 ? fdopendir(listing) : nullptr);
    if (!stream) {
        if (listing >= 0)
            close(listing);
        return names;
    }
    while (const dirent* entry = readdir(stream.get()))
        names.emplace_back(entry->d_name);
    return names;
}

/// The name under which `name` stands in the held folder: itself, else the first entry in byte
/// order that differs only in letter case. Empty when there is none.
std::optional<std::string> actualName(const FolderHold* hold, const std::string& name) {
    struct stat status {};
    if (fstatat(hold->descriptor, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0)
        return name;
    std::optional<std::string> best;
    for (std::string& candidate : folderNames(hold)) {
        if (equalsIgnoringCase(candidate, name) && (!best || candidate < *best))
            best = std::move(candidate);
    }
    return best;
}

std::string copyName(const std::string& name) {
    return copyPrefix + name;
}

/// The held folder's entry `name` (its own name, letter case ignored) when it is a regular file
/// and not a soft link, with its status.
std::optional<std::string> regularEntry(const FolderHold* hold, const char* name,
                                        struct stat& status) {
    auto actual = actualName(hold, name);
    if (!actual || fstatat(hold->descriptor, actual->c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(status.st_mode))
        return std::nullopt;
    return actual;
}

/// True when the two open files hold the same bytes from where they stand to their ends.
bool sameBytes(int first, int second) {
    char one[32768], two[32768];
    for (;;) {
        const ssize_t count = read(first, one, sizeof one);
        if (count < 0)
            return false;
        ssize_t got = 0;
        while (got < count) {
            const ssize_t more = read(second, two + got, static_cast<std::size_t>(count - got));
            if (more <= 0)
                return false;
            got += more;
        }
        if (count == 0)
            return read(second, two, 1) == 0;
        if (std::memcmp(one, two, static_cast<std::size_t>(count)) != 0)
            return false;
    }
}

/// Flushes the folder's list of names, so that a change made is a change kept.
void flushFolder(const FolderHold* hold) {
    beforeStep();
    fsync(hold->descriptor); // some file systems cannot flush a folder; nothing better to do
}

/// Sets IoErr() from a host error and returns DOSFALSE.
int32_t failWith(int hostError) {
    setIoErrFromHostError(hostError, ERROR_WRITE_PROTECTED);
    return DOSFALSE;
}

bool renameWithoutReplacing(const FolderHold* hold, const std::string& from,
                            const std::string& to) {
    const int folder = hold->descriptor;
    if (renameat2(folder, from.c_str(), folder, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the flag: nobody else changes a held folder, so look, then rename.
    struct stat status {};
    if (fstatat(folder, to.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return false;
    }
    return renameat(folder, from.c_str(), folder, to.c_str()) == 0;
}

/// Writes `length` bytes. Returns false with errno set when they do not all go.
bool writeBytes(int file, const char* bytes, std::size_t length) {
    for (std::size_t done = 0; done < length;) {
        beforeStep();
        const ssize_t put = write(file, bytes + done, length - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            if (put == 0)
                errno = ENOSPC;
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    return true;
}

/// Creates the temporary file of `name` (never through a soft link, never over anything), lets
/// `fill` write it, then flushes and closes it. On failure it is gone again.
bool writeTemporary(const FolderHold* hold, const std::string& name,
                    const std::function<bool(int)>& fill) {
    const std::string temporary = copyName(name);
    if (injectedFailure(Operation::Write))
        return false;
    beforeStep();
    const int file = openat(hold->descriptor, temporary.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (file < 0)
        return failWith(errno);
    bool written = fill(file);
    if (written) {
        beforeStep();
        written = fsync(file) == 0;
    }
    int hostError = errno;
    if (close(file) != 0 && written) {
        written = false;
        hostError = errno;
    }
    if (!written) {
        unlinkat(hold->descriptor, temporary.c_str(), 0);
        return failWith(hostError);
    }
    return true;
}

/// Writes the open regular file `source` (with status `status`) into the temporary file of
/// `name`, with its date, comment and permissions, always writable by its owner so that the copy
/// can be removed or replaced again.
bool copyToTemporary(const FolderHold* hold, int source, const struct stat& status,
                     const std::string& name) {
    return writeTemporary(hold, name, [&](int copy) {
        if (lseek(source, 0, SEEK_SET) != 0)
            return false;
        off_t total = 0;
        char chunk[65536];
        for (;;) {
            const ssize_t count = read(source, chunk, sizeof chunk);
            if (count < 0 && errno == EINTR)
                continue;
            if (count < 0)
                return false;
            if (count == 0)
                break;
            if (!writeBytes(copy, chunk, static_cast<std::size_t>(count)))
                return false;
            total += count;
        }
        // A source that grew or shrank while it was read is no good copy.
        if (total != status.st_size) {
            errno = EIO;
            return false;
        }
        fchmod(copy, (status.st_mode & 07777) | S_IRUSR | S_IWUSR);
        const timespec times[2] = {{0, UTIME_OMIT}, status.st_mtim};
        futimens(copy, times);
        char comment[maximumCommentLength + 1];
        const ssize_t length = fgetxattr(source, commentAttribute, comment, sizeof comment);
        if (length > 0)
            fsetxattr(copy, commentAttribute, comment, static_cast<std::size_t>(length), 0);
        return true;
    });
}

/// Renames the temporary copy of `name` to `name`: over it, or only when it is free.
bool commitTemporary(const FolderHold* hold, const std::string& name, bool replace) {
    if (injectedFailure(Operation::Rename))
        return false;
    const std::string target = replace ? actualName(hold, name).value_or(name) : name;
    beforeStep();
    const bool renamed = replace ? renameat(hold->descriptor, copyName(name).c_str(),
                                            hold->descriptor, target.c_str()) == 0
                                 : renameWithoutReplacing(hold, copyName(name), target);
    if (!renamed)
        return failWith(errno);
    flushFolder(hold);
    return true;
}

/// The file systems that have no hard links say so in one of these ways.
bool meansNoHardLinks(int hostError) {
    return hostError == EPERM || hostError == EOPNOTSUPP || hostError == ENOSYS ||
           hostError == EMLINK;
}

} // namespace

FolderHold* holdFolder(const char* folder, int32_t waitMilliseconds) {
    const auto path = resolveExisting(folder);
    if (!path)
        return nullptr;
    const int descriptor = open(path->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) {
        setIoErrFromHostError(errno);
        return nullptr;
    }
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
        if (flock(descriptor, LOCK_EX | LOCK_NB) == 0)
            break;
        // A file system without advisory locks: each step is still safe on its own.
        if (errno != EWOULDBLOCK && errno != EINTR)
            break;
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const int64_t waited =
            (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
        if (waited >= waitMilliseconds) {
            close(descriptor);
            SetIoErr(ERROR_OBJECT_IN_USE);
            return nullptr;
        }
        const timespec pause{0, 5 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
    auto* hold = new FolderHold{descriptor, {}};
    sigset_t deferred;
    sigemptyset(&deferred);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&deferred, signal);
    sigprocmask(SIG_BLOCK, &deferred, &hold->previousMask);
    ++counters().folderHolds;
    return hold;
}

void releaseFolder(FolderHold* hold) {
    if (hold == nullptr)
        return;
    close(hold->descriptor);
    --counters().folderHolds;
    const sigset_t previous = hold->previousMask;
    delete hold;
    sigprocmask(SIG_SETMASK, &previous, nullptr); // a signal waiting now takes effect
}

EntryKind entryKind(FolderHold* hold, const char* name) {
    const auto actual = actualName(hold, name);
    if (!actual)
        return EntryKind::none;
    struct stat status {};
    if (fstatat(hold->descriptor, actual->c_str(), &status, 0) == 0 && S_ISREG(status.st_mode))
        return EntryKind::file;
    return EntryKind::other;
}

int32_t sameContents(FolderHold* hold, const char* name, const char* otherName) {
    struct stat first {
    }, second{};
    const auto one = regularEntry(hold, name, first);
    const auto other = regularEntry(hold, otherName, second);
    if (!one || !other || first.st_size != second.st_size)
        return DOSFALSE;
    if (first.st_dev == second.st_dev && first.st_ino == second.st_ino)
        return DOSTRUE;
    const int a = openRegularFile(hold->descriptor, *one, false);
    const int b = a < 0 ? -1 : openRegularFile(hold->descriptor, *other, false);
    const bool same = b >= 0 && sameBytes(a, b);
    for (const int descriptor : {a, b})
        if (descriptor >= 0)
            close(descriptor);
    return same ? DOSTRUE : DOSFALSE;
}

int32_t holdsBytesOf(FolderHold* hold, const char* name, const char* path) {
    struct stat status {};
    const auto entry = regularEntry(hold, name, status);
    const auto sourcePath = entry ? resolveExisting(path) : std::nullopt;
    if (!sourcePath)
        return DOSFALSE;
    const int source = openRegularFile(AT_FDCWD, *sourcePath, true);
    struct stat sourceStatus {};
    bool same =
        source >= 0 && fstat(source, &sourceStatus) == 0 && sourceStatus.st_size == status.st_size;
    const int mine = same ? openRegularFile(hold->descriptor, *entry, false) : -1;
    same = same && mine >= 0 && sameBytes(source, mine);
    for (const int descriptor : {source, mine})
        if (descriptor >= 0)
            close(descriptor);
    return same ? DOSTRUE : DOSFALSE;
}

int32_t writeCopy(FolderHold* hold, const char* source, const char* name) {
    if (injectedFailure(Operation::Open))
        return DOSFALSE;
    const auto sourcePath = resolveExisting(source);
    if (!sourcePath)
        return DOSFALSE;
    const int input = openRegularFile(AT_FDCWD, *sourcePath, true);
    if (input < 0) {
        SetIoErr(errno == EINVAL ? ERROR_OBJECT_WRONG_TYPE : ERROR_READ_PROTECTED);
        return DOSFALSE;
    }
    struct stat status {};
    const bool copied = !injectedFailure(Operation::Read) && fstat(input, &status) == 0 &&
                        copyToTemporary(hold, input, status, name);
    close(input);
    return copied ? DOSTRUE : DOSFALSE;
}

int32_t commitCopy(FolderHold* hold, const char* name) {
    return commitTemporary(hold, name, true) ? DOSTRUE : DOSFALSE;
}

void discardCopy(FolderHold* hold, const char* name) {
    struct stat status {};
    const std::string temporary = copyName(name);
    if (fstatat(hold->descriptor, temporary.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
        return;
    beforeStep();
    unlinkat(hold->descriptor, temporary.c_str(), 0);
}

int32_t discardLeftoverCopies(FolderHold* hold, const char* stem) {
    std::vector<std::string> leftovers;
    const std::string start = copyName(stem);
    for (const std::string& name : folderNames(hold)) {
        struct stat status {};
        if (name.starts_with(start) &&
            fstatat(hold->descriptor, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(status.st_mode))
            leftovers.push_back(name);
    }
    int32_t removed = 0;
    for (const std::string& name : leftovers) {
        beforeStep();
        removed += unlinkat(hold->descriptor, name.c_str(), 0) == 0 ? 1 : 0;
    }
    if (removed > 0)
        flushFolder(hold);
    return removed;
}

int32_t keepUnder(FolderHold* hold, const char* name, const char* newName) {
    const auto actual = actualName(hold, name);
    if (!actual) {
        SetIoErr(ERROR_OBJECT_NOT_FOUND);
        return DOSFALSE;
    }
    if (actualName(hold, newName)) {
        SetIoErr(ERROR_OBJECT_EXISTS);
        return DOSFALSE;
    }
    if (injectedFailure(Operation::Rename))
        return DOSFALSE;
    beforeStep();
    errno = EPERM;
    if (!hardLinksRefused &&
        linkat(hold->descriptor, actual->c_str(), hold->descriptor, newName, 0) == 0) {
        flushFolder(hold);
        return DOSTRUE;
    }
    if (!meansNoHardLinks(errno))
        return failWith(errno);
    // No hard links here (FAT, for one): a second, flushed copy takes the new name.
    const int input = openRegularFile(hold->descriptor, *actual, true);
    if (input < 0)
        return failWith(errno);
    struct stat status {};
    const bool kept = fstat(input, &status) == 0 && copyToTemporary(hold, input, status, newName) &&
                      commitTemporary(hold, newName, false);
    close(input);
    if (!kept)
        discardCopy(hold, newName);
    return kept ? DOSTRUE : DOSFALSE;
}

int32_t renameEntry(FolderHold* hold, const char* from, const char* to, int32_t replace) {
    const auto source = actualName(hold, from);
    if (!source) {
        SetIoErr(ERROR_OBJECT_NOT_FOUND);
        return DOSFALSE;
    }
    const std::string target = actualName(hold, to).value_or(to);
    if (target == *source)
        return DOSTRUE;
    if (injectedFailure(Operation::Rename))
        return DOSFALSE;
    beforeStep();
    const bool renamed =
        replace ? renameat(hold->descriptor, source->c_str(), hold->descriptor, target.c_str()) == 0
                : renameWithoutReplacing(hold, *source, target);
    if (!renamed)
        return failWith(errno);
    flushFolder(hold);
    return DOSTRUE;
}

int32_t removeEntry(FolderHold* hold, const char* name) {
    const auto actual = actualName(hold, name);
    if (!actual) {
        SetIoErr(ERROR_OBJECT_NOT_FOUND);
        return DOSFALSE;
    }
    if (injectedFailure(Operation::DeleteFile))
        return DOSFALSE;
    beforeStep();
    if (unlinkat(hold->descriptor, actual->c_str(), 0) != 0)
        return failWith(errno);
    flushFolder(hold);
    return DOSTRUE;
}

int32_t writeWholeFile(const char* destination, const void* bytes, int64_t size,
                       const FileInfoBlock* like, int32_t replace) {
    const auto path = resolveForCreate(destination);
    if (!path)
        return DOSFALSE;
    // The folder is not held: a name of its own per process keeps two writers apart.
    const std::string name = lastComponent(*path);
    const std::string ownName = std::to_string(getpid()) + "-" + name;
    FolderHold folder{open(parentPath(*path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), {}};
    if (folder.descriptor < 0)
        return failWith(errno);
    const bool written = writeTemporary(&folder, ownName, [&](int file) {
        if (!writeBytes(file, static_cast<const char*>(bytes), static_cast<std::size_t>(size)))
            return false;
        if (like != nullptr) {
            fchmod(file, modeFromProtection(0644, static_cast<uint32_t>(like->fib_Protection)));
            int64_t seconds = 0, nanoseconds = 0;
            timeFromDateStamp(like->fib_Date, seconds, nanoseconds);
            const timespec times[2] = {
                {0, UTIME_OMIT}, {static_cast<time_t>(seconds), static_cast<long>(nanoseconds)}};
            futimens(file, times);
            const std::string_view comment = like->fib_Comment;
            if (!comment.empty())
                fsetxattr(file, commentAttribute, comment.data(), comment.size(), 0);
        }
        return true;
    });
    bool placed = false;
    if (written && !injectedFailure(Operation::Rename)) {
        const std::string from = copyName(ownName);
        placed = replace ? renameat(folder.descriptor, from.c_str(), folder.descriptor,
                                    name.c_str()) == 0
                         : renameWithoutReplacing(&folder, from, name);
        if (!placed) {
            failWith(errno);
            unlinkat(folder.descriptor, from.c_str(), 0);
        } else {
            flushFolder(&folder);
        }
    }
    close(folder.descriptor);
    return placed ? DOSTRUE : DOSFALSE;
}

void crashBeforeFolderStep(int step) {
    stepsUntilCrash = step;
}

void refuseHardLinks(bool refuse) {
    hardLinksRefused = refuse;
}

} // namespace tolvarn::platform
