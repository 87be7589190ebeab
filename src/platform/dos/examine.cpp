// Examining objects: the FileInfoBlock of a lock or an open file, the directory scan of ExNext,
// and the DOS objects (FileInfoBlock, ExAllControl) the program allocates for them.
#include "platform/dos/internal.h"
#include "platform/exec/internal.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unordered_map>
#include <unordered_set>

namespace tolvarn::platform::internal {

namespace {

// 1 January 1978, the start of the original system's calendar, in seconds since 1970.
constexpr int64_t epoch1978 = 252460800;
constexpr int64_t secondsPerDay = 86400;
constexpr int64_t ticksPerSecond = 50;

std::unordered_set<const DirectoryScan*>& liveScans() {
    static std::unordered_set<const DirectoryScan*> scans;
    return scans;
}

// Marks a FileInfoBlock whose scan has ended, so that ExNext keeps saying so instead of starting
// over.
DirectoryScan finishedScan;

void endScan(FileInfoBlock* fib) {
    endDirectoryScan(fib->fib_HostScan);
    fib->fib_HostScan = nullptr;
}

std::unordered_map<const void*, uint32_t>& liveObjects() {
    static std::unordered_map<const void*, uint32_t> objects;
    return objects;
}

/// The comment of the object open as `descriptor` or at `path`: cut to what a FileInfoBlock
/// holds, and to its first NUL. Empty when there is none or the file system has no attributes.
std::string readComment(const std::string& path, int descriptor) {
    std::string value(maximumCommentLength + 1, '\0');
    auto read = [&](char* buffer, std::size_t size) {
        return descriptor >= 0 ? fgetxattr(descriptor, commentAttribute, buffer, size)
                               : getxattr(path.c_str(), commentAttribute, buffer, size);
    };
    ssize_t length = read(value.data(), value.size());
    if (length < 0 && errno == ERANGE) {
        // Longer than a FileInfoBlock holds: read it whole, then cut it.
        const ssize_t full = read(nullptr, 0);
        if (full > 0) {
            value.resize(static_cast<std::size_t>(full));
            length = read(value.data(), value.size());
        }
    }
    if (length <= 0)
        return {};
    value.resize(static_cast<std::size_t>(length));
    value.resize(std::min(std::strlen(value.c_str()), maximumCommentLength));
    return value;
}

int32_t entryType(const struct stat& status, bool isRoot) {
    if (S_ISLNK(status.st_mode))
        return ST_SOFTLINK;
    if (S_ISDIR(status.st_mode))
        return isRoot ? ST_ROOT : ST_USERDIR;
    if (S_ISREG(status.st_mode))
        return ST_FILE;
    return ST_PIPEFILE; // devices, pipes and sockets: no file to read as a whole
}

EntryDetails detailsOf(const struct stat& status, std::string name, bool isRoot,
                       std::string comment) {
    EntryDetails details;
    details.name = std::move(name);
    details.type = entryType(status, isRoot);
    if (details.type == ST_FILE)
        details.size = static_cast<uint64_t>(status.st_size);
    details.protection = protectionFromMode(status.st_mode);
    details.date = dateStampFromTime(status.st_mtim.tv_sec, status.st_mtim.tv_nsec);
    details.comment = std::move(comment);
    details.owner = status.st_uid;
    details.group = status.st_gid;
    details.diskKey = static_cast<int32_t>(status.st_ino);
    details.blocks =
        static_cast<int32_t>(std::min<int64_t>((status.st_size + 511) / 512, INT32_MAX));
    return details;
}

void fillFileInfoBlock(FileInfoBlock* fib, const EntryDetails& details) {
    fib->fib_DiskKey = details.diskKey;
    fib->fib_DirEntryType = details.type;
    fib->fib_EntryType = details.type;
    const std::size_t nameLength = std::min(details.name.size(), sizeof(fib->fib_FileName) - 1);
    std::memcpy(fib->fib_FileName, details.name.data(), nameLength);
    fib->fib_FileName[nameLength] = '\0';
    fib->fib_Protection = static_cast<int32_t>(details.protection);
    fib->fib_Size = static_cast<int32_t>(cutToUnsigned32(details.size));
    fib->fib_Size64 = static_cast<int64_t>(details.size);
    fib->fib_NumBlocks = details.blocks;
    fib->fib_Date = details.date;
    const std::size_t commentLength =
        std::min(details.comment.size(), sizeof(fib->fib_Comment) - 1);
    std::memcpy(fib->fib_Comment, details.comment.data(), commentLength);
    fib->fib_Comment[commentLength] = '\0';
}

} // namespace

std::optional<std::vector<std::string>> directoryNames(const std::string& directory) {
    struct Closer {
        void operator()(DIR* stream) const { closedir(stream); }
    };
    std::unique_ptr<DIR, Closer> stream(opendir(directory.c_str()));
    if (!stream) {
        // A folder the user may not read is no empty folder.
        setIoErrFromHostError(errno);
        return std::nullopt;
    }
    std::vector<std::string> names;
    for (;;) {
        errno = 0; // readdir tells its end from a failure only by errno
        const dirent* entry = readdir(stream.get());
        if (entry == nullptr)
            break;
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..")
            names.emplace_back(name);
    }
    if (errno != 0) {
        setIoErrFromHostError(errno);
        return std::nullopt;
    }
    std::sort(names.begin(), names.end());
    return names;
}

DirectoryScan* startDirectoryScan(const std::string& directory) {
    auto names = directoryNames(directory);
    if (!names)
        return nullptr;
    auto* scan = new DirectoryScan{directory, std::move(*names), 0};
    liveScans().insert(scan);
    return scan;
}

DirectoryScan* liveDirectoryScan(const void* slot) {
    auto* scan = static_cast<DirectoryScan*>(const_cast<void*>(slot));
    return liveScans().contains(scan) ? scan : nullptr;
}

void endDirectoryScan(const void* slot) {
    if (DirectoryScan* scan = liveDirectoryScan(slot)) {
        liveScans().erase(scan);
        delete scan;
    }
}

uint32_t protectionFromMode(uint32_t mode) {
    uint32_t protection = 0;
    if ((mode & S_IRUSR) == 0)
        protection |= FIBF_READ;
    if ((mode & S_IWUSR) == 0)
        protection |= FIBF_WRITE | FIBF_DELETE;
    if ((mode & S_IXUSR) == 0)
        protection |= FIBF_EXECUTE;
    return protection;
}

uint32_t modeFromProtection(uint32_t mode, uint32_t protection) {
    mode &= ~static_cast<uint32_t>(S_IRWXU);
    if ((protection & FIBF_READ) == 0)
        mode |= S_IRUSR;
    if ((protection & (FIBF_WRITE | FIBF_DELETE)) == 0)
        mode |= S_IWUSR;
    if ((protection & FIBF_EXECUTE) == 0)
        mode |= S_IXUSR;
    return mode;
}

DateStamp dateStampFromTime(int64_t seconds, int64_t nanoseconds) {
    // The original system keeps local time.
    const time_t time = static_cast<time_t>(seconds);
    struct tm local {};
    if (localtime_r(&time, &local) == nullptr)
        return {};
    const int64_t since1978 = seconds + local.tm_gmtoff - epoch1978;
    if (since1978 < 0)
        return {};
    const int64_t inDay = since1978 % secondsPerDay;
    return DateStamp{static_cast<int32_t>(since1978 / secondsPerDay),
                     static_cast<int32_t>(inDay / 60),
                     static_cast<int32_t>((inDay % 60) * ticksPerSecond +
                                          nanoseconds / (1000000000 / ticksPerSecond))};
}

void timeFromDateStamp(const DateStamp& date, int64_t& seconds, int64_t& nanoseconds) {
    const int64_t localSeconds = epoch1978 + int64_t{date.ds_Days} * secondsPerDay +
                                 int64_t{date.ds_Minute} * 60 + date.ds_Tick / ticksPerSecond;
    // The local fields, read back as UTC, then taken as local time by mktime (which also knows
    // whether summer time applied then).
    const time_t fields = static_cast<time_t>(localSeconds);
    struct tm local {};
    gmtime_r(&fields, &local);
    local.tm_isdst = -1;
    seconds = mktime(&local);
    nanoseconds = (date.ds_Tick % ticksPerSecond) * (1000000000 / ticksPerSecond);
}

std::optional<EntryDetails> examinePath(const std::string& path, bool followLink) {
    struct stat status {};
    if ((followLink ? stat(path.c_str(), &status) : lstat(path.c_str(), &status)) != 0) {
        setIoErrFromHostError(errno);
        return std::nullopt;
    }
    // Soft links carry no comment of their own (user attributes are not allowed on them).
    std::string comment = S_ISLNK(status.st_mode) ? std::string() : readComment(path, -1);
    return detailsOf(status, path == "/" ? std::string() : lastComponent(path), path == "/",
                     std::move(comment));
}

} // namespace tolvarn::platform::internal

using namespace tolvarn::platform::internal;

/// Fills fib with the locked object (a soft link's target, as Lock followed it) and readies ExNext
/// to list it when it is a directory. Returns DOSTRUE, or DOSFALSE with IoErr() set.
int32_t Examine(BPTR lock, FileInfoBlock* fib) {
    if (fib == nullptr) {
        SetIoErr(ERROR_REQUIRED_ARG_MISSING);
        return DOSFALSE;
    }
    const auto path = lockPath(lock);
    if (!path)
        return DOSFALSE;
    const auto details = examinePath(*path, true);
    if (!details)
        return DOSFALSE;
    endScan(fib);
    fillFileInfoBlock(fib, *details);
    return DOSTRUE;
}

/// Fills fib with the next entry of the directory `lock` (entries in byte order, soft links as
/// themselves). Returns DOSFALSE with IoErr() ERROR_NO_MORE_ENTRIES after the last one, and
/// with another IoErr() when the directory cannot be listed (ERROR_READ_PROTECTED when the user
/// may not read it).
int32_t ExNext(BPTR lock, FileInfoBlock* fib) {
    if (fib == nullptr) {
        SetIoErr(ERROR_REQUIRED_ARG_MISSING);
        return DOSFALSE;
    }
    auto* scan = static_cast<DirectoryScan*>(fib->fib_HostScan);
    if (scan == &finishedScan) {
        SetIoErr(ERROR_NO_MORE_ENTRIES);
        return DOSFALSE;
    }
    if (liveDirectoryScan(scan) == nullptr) {
        const auto path = lockPath(lock);
        if (!path)
            return DOSFALSE;
        scan = startDirectoryScan(*path);
        if (scan == nullptr)
            return DOSFALSE;
        fib->fib_HostScan = scan;
    }
    while (scan->next < scan->names.size()) {
        const std::string& name = scan->names[scan->next++];
        // An entry that went away since the listing is simply not there any more.
        if (const auto details = examinePath(joinPath(scan->directory, name), false)) {
            fillFileInfoBlock(fib, *details);
            return DOSTRUE;
        }
    }
    endScan(fib);
    fib->fib_HostScan = &finishedScan;
    SetIoErr(ERROR_NO_MORE_ENTRIES);
    return DOSFALSE;
}

/// Fills fib with the object of an open file.
int32_t ExamineFH(FileHandle* fh, FileInfoBlock* fib) {
    const int descriptor = descriptorOf(fh);
    if (descriptor < 0 || fib == nullptr) {
        SetIoErr(fib == nullptr ? ERROR_REQUIRED_ARG_MISSING : ERROR_INVALID_LOCK);
        return DOSFALSE;
    }
    struct stat status {};
    if (fstat(descriptor, &status) != 0) {
        setIoErrFromHostError(errno);
        return DOSFALSE;
    }
    endScan(fib);
    fillFileInfoBlock(
        fib, detailsOf(status, lastComponent(fh->path), false, readComment(fh->path, descriptor)));
    return DOSTRUE;
}

/// Allocates a cleared FileInfoBlock (DOS_FIB) or ExAllControl (DOS_EXALLCONTROL). Returns null
/// with IoErr() set for any other type.
void* AllocDosObject(uint32_t type, const TagItem* /*tags: none of them means anything here*/) {
    void* object = nullptr;
    if (type == DOS_FIB)
        object = new (std::nothrow) FileInfoBlock{};
    else if (type == DOS_EXALLCONTROL)
        object = new (std::nothrow) ExAllControl{};
    else {
        SetIoErr(ERROR_BAD_NUMBER);
        return nullptr;
    }
    if (object == nullptr) {
        SetIoErr(ERROR_NO_FREE_STORE);
        return nullptr;
    }
    liveObjects().emplace(object, type);
    ++counters().dosObjects;
    return object;
}

/// Frees an object of AllocDosObject with any scan it still holds. Null, objects of another type
/// and objects freed before are left alone.
void FreeDosObject(uint32_t type, void* object) {
    const auto found = liveObjects().find(object);
    if (object == nullptr || found == liveObjects().end() || found->second != type)
        return;
    liveObjects().erase(found);
    --counters().dosObjects;
    if (type == DOS_FIB) {
        auto* fib = static_cast<FileInfoBlock*>(object);
        endScan(fib);
        delete fib;
    } else {
        auto* control = static_cast<ExAllControl*>(object);
        endExAllScan(control);
        delete control;
    }
}
