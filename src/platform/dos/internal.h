// Internal to the host layer: what the dos library's units share: the host records behind ports,
// files and locks, path resolution, devices and assigns, examining entries, and the error codes.
// Nothing outside src/platform/ includes this header.
#pragma once

#include "platform/dos/dos.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// A file-system port. Ports live as long as the program, so a pointer to one stays valid.
struct MsgPort {
    std::string name;
};

/// An open file: the host descriptor and the canonical path it was opened by.
struct FileHandle {
    int descriptor = -1;
    std::string path;
};

namespace tolvarn::platform::internal {

/// Resolves a path of the program's syntax (devices, assigns, "/" rules, letter case ignored)
/// to the canonical absolute host path of an existing object, soft links followed. Empty, with
/// IoErr() set, when it does not exist or the device is unknown.
std::optional<std::string> resolveExisting(const char* path);

/// Resolves a path for creating its last component: the folder must exist (resolved as above);
/// the last component takes the letter case of an existing entry when there is one. Empty, with
/// IoErr() set, when the folder does not exist.
std::optional<std::string> resolveForCreate(const char* path);

/// The host file descriptor behind an open file handle.
int descriptorOf(FileHandle* fh);

/// Sets IoErr() from a host errno value.
void setIoErrFromHostError(int hostError);

/// A lock as the layer hands it out: the public record plus the path it points at.
struct HostLock : FileLock {
    std::string path;
};

/// Makes a counted lock on a canonical host path.
BPTR makeLock(const std::string& canonicalPath, int32_t mode);
/// True for a lock this layer handed out and that has not been given back.
bool isLiveLock(BPTR lock);
/// The host path behind a lock; "/" for lock 0. Empty, with IoErr() ERROR_INVALID_LOCK, for a
/// lock that is not (or no longer) one of ours.
std::optional<std::string> lockPath(BPTR lock);
/// Gives back a lock whatever its owner (used when the process record is rebuilt).
void releaseLock(BPTR lock);

/// The port of the host file system (held by every lock) and the port of a named device or
/// assign directory (made on first use).
MsgPort* hostFileSystemPort();
MsgPort* portNamed(const std::string& name);

/// One device or assign as the process sees it: the host directories it stands for, in search
/// order. NIL: has no directory.
struct Device {
    std::string name; // without the colon, as written
    std::vector<std::string> directories;
    bool isNull = false;
};
/// Looks a device up by name, ignoring letter case. Empty when it is not mounted.
std::optional<Device> findDevice(std::string_view name);
/// Reads the devices and assigns afresh from the environment and the assigns file.
void reloadDevices();
/// The folder of the global variables (ENV:).
std::string variableStoreDirectory();

/// What a path resolution has to find.
enum class Target {
    existing, // the object itself, soft links followed: its canonical path
    entry,    // the last component itself (a link stays a link); it must exist
    create,   // as entry, but the last component may be missing
};
/// Resolves `path` (the program's syntax) against `base` (a canonical host directory; the
/// current directory when empty). Empty, with IoErr() set, on failure.
std::optional<std::string> resolvePath(std::string_view path, Target target,
                                       const std::string& base = {});

/// directory + "/" + name, without doubling the root's slash.
std::string joinPath(const std::string& directory, std::string_view name);
/// The directory that holds a canonical path; "/" for "/".
std::string parentPath(const std::string& path);
/// The last component of a canonical path; "" for "/".
std::string lastComponent(const std::string& path);
/// The canonical form of an existing host path (soft links resolved); empty, errno kept, when it
/// cannot be had.
std::optional<std::string> canonicalPath(const std::string& path);

/// The protection bits (R W E D, allowed when clear) of host mode bits, taken from the owner's
/// permissions; and host mode bits with the owner's permissions set from protection bits (write
/// is granted only when neither W nor D forbids it).
uint32_t protectionFromMode(uint32_t mode);
uint32_t modeFromProtection(uint32_t mode, uint32_t protection);
/// A host time (seconds and nanoseconds since 1970, UTC) as a local date stamp, and back.
/// Times before 1978 give the stamp 0.
DateStamp dateStampFromTime(int64_t seconds, int64_t nanoseconds);
void timeFromDateStamp(const DateStamp& date, int64_t& seconds, int64_t& nanoseconds);
/// The extended attribute that holds an object's comment.
inline constexpr const char* commentAttribute = "user.xdg.comment";
/// The longest comment a FileInfoBlock holds.
inline constexpr std::size_t maximumCommentLength = sizeof(FileInfoBlock::fib_Comment) - 1;
/// The null device (NIL:), which no call may delete, rename or change.
inline constexpr const char* nullDevicePath = "/dev/null";

/// What the layer tells about one object (FileInfoBlock, ExAllData).
struct EntryDetails {
    std::string name;
    int32_t type = 0;
    uint64_t size = 0; // exact; the 32-bit fields that report it stop at 4294967295
    uint32_t protection = 0;
    DateStamp date{};
    std::string comment;
    uint32_t owner = 0;
    uint32_t group = 0;
    int32_t diskKey = 0;
    int32_t blocks = 0;
};
/// A size as the 32-bit fields report it: 4294967295 stands for that much or more.
inline uint32_t cutToUnsigned32(uint64_t size) {
    return size > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(size);
}
/// Examines the object at a host path; with followLink false a soft link is described as itself.
/// Empty, with IoErr() set, when it cannot be examined.
std::optional<EntryDetails> examinePath(const std::string& path, bool followLink);
/// The names in a directory ("." and ".." left out) in byte order, so that a listing is the
/// same on every run and every file system. Empty, with IoErr() set, when it cannot be read.
std::optional<std::vector<std::string>> directoryNames(const std::string& directory);

/// A directory's entries, listed once and then handed out one by one (ExNext, ExAll).
struct DirectoryScan {
    std::string directory;
    std::vector<std::string> names;
    std::size_t next = 0;
};
/// Lists `directory` into a new scan, which the layer keeps until endDirectoryScan. Null, with
/// IoErr() set, when it cannot be read.
DirectoryScan* startDirectoryScan(const std::string& directory);
/// The scan a caller's slot holds, or null when the slot holds no live scan of the layer.
DirectoryScan* liveDirectoryScan(const void* slot);
/// Gives back the scan a slot holds; anything else is ignored.
void endDirectoryScan(const void* slot);
/// True when `name` matches a pattern compiled by ParsePatternNoCase.
bool matchesCompiledPattern(std::string_view code, const std::string& name);
/// Gives back the ExAll scan a control structure holds, if any.
void endExAllScan(ExAllControl* control);

/// ASCII-only case folding, so UTF-8 names are never touched.
char foldCase(char character);
bool equalsIgnoringCase(std::string_view left, std::string_view right);

/// Forgets the chosen fault injections (done when the process record is rebuilt).
void forgetFaults();

/// Opens `name` (relative to the folder descriptor `directory`, or a path with AT_FDCWD) for
/// reading when it is a regular file, without ever waiting on a FIFO or touching a device.
/// Returns the descriptor, or -1 with errno set (EINVAL for an entry that is no regular file).
int openRegularFile(int directory, const std::string& name, bool followLinks);
/// The whole contents of a regular file (soft links followed); empty for anything else.
std::optional<std::string> readRegularFile(const std::string& path);

/// Sets IoErr() from errno, with a chosen code for "permission denied" (EACCES).
void setIoErrFromHostError(int hostError, int32_t accessDeniedCode);

/// Fault injection: true when this call of `operation` is the one chosen to fail (IoErr() is
/// then already set).
bool injectedFailure(Operation operation);

} // namespace tolvarn::platform::internal
