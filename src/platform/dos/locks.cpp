// Locks, names from locks, device-process records and soft links. A lock names its object by
// canonical host path, so every name the program builds from a lock is one a host DOSBox can
// mount.
// FIXME: a lock does not follow its object when someone renames it meanwhile; holding a
// descriptor per lock would, at the cost of one descriptor per lock.
// FIXME: EXCLUSIVE_LOCK is recorded but not enforced; the host has no lock between programs
// that would match it, and this program only ever takes shared ones.
#include "platform/dos/internal.h"
#include "platform/exec/internal.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <unistd.h>
#include <unordered_set>

namespace tolvarn::platform::internal {

namespace {

std::unordered_set<const FileLock*>& liveLocks() {
    static std::unordered_set<const FileLock*> locks;
    return locks;
}

/// A device-process record and what it needs to find the next directory of its assign.
struct HostDevProc : DevProc {
    std::string deviceName; // empty for a path without a device
    std::vector<std::string> directories;
    std::size_t index = 0;
};

std::unordered_set<const DevProc*>& liveDevProcs() {
    static std::unordered_set<const DevProc*> records;
    return records;
}

bool isOwnedByProcess(BPTR lock) {
    const Process& record = process();
    return lock == record.pr_CurrentDir || lock == record.pr_HomeDir;
}

/// Makes the record for the first directory from `index` on that exists; null with IoErr() set
/// when none is left.
DevProc* makeDevProc(std::string deviceName, std::vector<std::string> directories,
                     std::size_t index) {
    for (; index < directories.size(); ++index) {
        const auto canonical = canonicalPath(directories[index]);
        if (!canonical)
            continue;
        BPTR lock = makeLock(*canonical, SHARED_LOCK);
        if (lock == nullptr)
            return nullptr;
        auto* record = new (std::nothrow) HostDevProc;
        if (record == nullptr) {
            releaseLock(lock);
            SetIoErr(ERROR_NO_FREE_STORE);
            return nullptr;
        }
        record->dvp_Port = deviceName.empty() ? hostFileSystemPort()
                                              : portNamed(deviceName + ":" + directories[index]);
        record->dvp_Lock = lock;
        record->dvp_Flags = 0;
        record->dvp_DevNode = nullptr;
        record->deviceName = std::move(deviceName);
        record->directories = std::move(directories);
        record->index = index;
        liveDevProcs().insert(record);
        ++counters().deviceProcs;
        return record;
    }
    SetIoErr(ERROR_OBJECT_NOT_FOUND);
    return nullptr;
}

} // namespace

BPTR makeLock(const std::string& canonicalPath, int32_t mode) {
    try {
        auto* lock = new HostLock;
        lock->path = canonicalPath;
        lock->hostPath = lock->path.c_str();
        lock->fl_Task = hostFileSystemPort();
        lock->fl_Access = mode;
        liveLocks().insert(lock);
        ++counters().locks;
        return lock;
    } catch (const std::bad_alloc&) {
        SetIoErr(ERROR_NO_FREE_STORE);
        return nullptr;
    }
}

bool isLiveLock(BPTR lock) {
    return lock != nullptr && liveLocks().contains(lock);
}

std::optional<std::string> lockPath(BPTR lock) {
    if (lock == nullptr)
        return std::string("/");
    if (!isLiveLock(lock)) {
        SetIoErr(ERROR_INVALID_LOCK);
        return std::nullopt;
    }
    return static_cast<HostLock*>(lock)->path;
}

void releaseLock(BPTR lock) {
    if (!isLiveLock(lock))
        return;
    liveLocks().erase(lock);
    delete static_cast<HostLock*>(lock);
    --counters().locks;
}

} // namespace tolvarn::platform::internal

using namespace tolvarn::platform::internal;

/// Returns a lock on the object (soft links followed), or 0 with IoErr() set.
BPTR Lock(const char* name, int32_t mode) {
    const auto path = resolveExisting(name);
    return path ? makeLock(*path, mode) : nullptr;
}

/// Gives a lock back. 0, a lock given back before and the process's own directory locks are left
/// alone: the original system would have crashed or corrupted its lists on those.
void UnLock(BPTR lock) {
    if (lock == nullptr || isOwnedByProcess(lock))
        return;
    releaseLock(lock);
}

/// Returns a shared lock on the same object; 0 for lock 0, and 0 with IoErr() set for an invalid
/// lock.
BPTR DupLock(BPTR lock) {
    if (lock == nullptr)
        return nullptr;
    const auto path = lockPath(lock);
    return path ? makeLock(*path, SHARED_LOCK) : nullptr;
}

/// Returns a lock on the directory that holds the locked object; 0 with IoErr() 0 for the root.
BPTR ParentDir(BPTR lock) {
    const auto path = lockPath(lock);
    if (!path)
        return nullptr;
    if (*path == "/") {
        SetIoErr(0);
        return nullptr;
    }
    return makeLock(parentPath(*path), SHARED_LOCK);
}

int32_t NameFromLock(BPTR lock, char* buffer, int32_t length) {
    const auto path = lockPath(lock);
    if (!path)
        return DOSFALSE;
    if (buffer == nullptr || length <= 0 || path->size() >= static_cast<std::size_t>(length)) {
        SetIoErr(ERROR_LINE_TOO_LONG);
        return DOSFALSE;
    }
    std::memcpy(buffer, path->c_str(), path->size() + 1);
    return DOSTRUE;
}

/// Returns the record of the first directory a path's device stands for (or, with `previous`,
/// of the next directory of a multi-directory assign; `previous` is given back). Null with
/// IoErr() ERROR_NO_MORE_ENTRIES after the last directory, ERROR_DEVICE_NOT_MOUNTED for an unknown
/// device.
DevProc* GetDeviceProc(const char* name, DevProc* previous) {
    if (previous != nullptr) {
        if (!liveDevProcs().contains(previous)) {
            SetIoErr(ERROR_INVALID_LOCK);
            return nullptr;
        }
        auto* record = static_cast<HostDevProc*>(previous);
        std::string deviceName = std::move(record->deviceName);
        std::vector<std::string> directories = std::move(record->directories);
        const std::size_t next = record->index + 1;
        FreeDeviceProc(previous);
        DevProc* result = makeDevProc(std::move(deviceName), std::move(directories), next);
        if (result == nullptr && IoErr() == ERROR_OBJECT_NOT_FOUND)
            SetIoErr(ERROR_NO_MORE_ENTRIES);
        return result;
    }
    if (name == nullptr) {
        SetIoErr(ERROR_REQUIRED_ARG_MISSING);
        return nullptr;
    }
    const std::string_view path = name;
    const auto colon = path.find(':');
    const auto slash = path.find('/');
    if (slash == 0 || (colon == 0 && (slash == std::string_view::npos || colon < slash)))
        return makeDevProc({}, {"/"}, 0);
    if (colon == std::string_view::npos || (slash != std::string_view::npos && slash < colon)) {
        auto current = currentDirectoryPath();
        return current ? makeDevProc({}, {std::move(*current)}, 0) : nullptr;
    }
    auto device = findDevice(path.substr(0, colon));
    if (!device) {
        SetIoErr(ERROR_DEVICE_NOT_MOUNTED);
        return nullptr;
    }
    if (device->isNull) {
        // NIL: has no directory; its record holds lock 0.
        auto* record = new (std::nothrow) HostDevProc;
        if (record == nullptr) {
            SetIoErr(ERROR_NO_FREE_STORE);
            return nullptr;
        }
        record->dvp_Port = portNamed("NIL:");
        record->dvp_Lock = nullptr;
        record->dvp_Flags = 0;
        record->dvp_DevNode = nullptr;
        record->deviceName = "NIL";
        liveDevProcs().insert(record);
        ++counters().deviceProcs;
        return record;
    }
    std::string upperName;
    for (const char character : device->name)
        upperName += foldCase(character);
    return makeDevProc(std::move(upperName), std::move(device->directories), 0);
}

/// Gives a record back with its lock; null and records given back before are left alone.
void FreeDeviceProc(DevProc* record) {
    if (record == nullptr || !liveDevProcs().contains(record))
        return;
    liveDevProcs().erase(record);
    releaseLock(record->dvp_Lock);
    delete static_cast<HostDevProc*>(record);
    --counters().deviceProcs;
}

/// Reads the target of the soft link `path` (relative to `lock`). A relative target is returned
/// joined to the link's own folder, so that the caller can use it from any current directory.
/// Returns its length, -1 on failure (IoErr() set), -2 when the buffer is too small.
int32_t ReadLink(MsgPort* /*port: one host file system serves every lock*/, BPTR lock,
                 const char* path, char* buffer, uint32_t size) {
    const auto base = lockPath(lock);
    if (!base)
        return -1;
    if (path == nullptr) {
        SetIoErr(ERROR_REQUIRED_ARG_MISSING);
        return -1;
    }
    const auto entry = resolvePath(path, Target::entry, *base);
    if (!entry)
        return -1;
    std::string target(256, '\0');
    for (;;) {
        const ssize_t length = readlink(entry->c_str(), target.data(), target.size());
        if (length < 0) {
            if (errno == EINVAL)
                SetIoErr(ERROR_OBJECT_WRONG_TYPE); // not a soft link
            else
                setIoErrFromHostError(errno);
            return -1;
        }
        if (static_cast<std::size_t>(length) < target.size()) {
            target.resize(static_cast<std::size_t>(length));
            break;
        }
        target.resize(target.size() * 2);
    }
    if (!target.starts_with('/'))
        target = joinPath(parentPath(*entry), target);
    if (buffer == nullptr || target.size() >= size) {
        SetIoErr(ERROR_LINE_TOO_LONG);
        return -2;
    }
    std::memcpy(buffer, target.c_str(), target.size() + 1);
    return static_cast<int32_t>(target.size());
}
