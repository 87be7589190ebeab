// Variables. Local ones (no "/" in the name) are the host process's environment. Global ones (a
// "/" in the name, or GVF_GLOBAL_ONLY) are files in ENV:, $XDG_CONFIG_HOME/tolvarn/env/, and
// outlive the process: users expect Tolvarn to remember where DOSBox lives after a reboot.
#include "platform/dos/internal.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvarn::platform::internal {

namespace {

bool isGlobal(std::string_view name, uint32_t flags) {
    if ((flags & GVF_LOCAL_ONLY) != 0)
        return false;
    return (flags & GVF_GLOBAL_ONLY) != 0 || name.find('/') != std::string_view::npos;
}

/// A global variable's name must stay inside the store: plain components separated by single
/// "/", none of them "." or "..", no device.
bool isSafeGlobalName(std::string_view name) {
    if (name.empty() || name.find(':') != std::string_view::npos)
        return false;
    std::size_t start = 0;
    for (;;) {
        const auto end = name.find('/', start);
        const std::string_view component =
            name.substr(start, end == std::string_view::npos ? end : end - start);
        if (component.empty() || component == "." || component == "..")
            return false;
        if (end == std::string_view::npos)
            return true;
        start = end + 1;
    }
}

bool isSafeLocalName(std::string_view name) {
    return !name.empty() && name.find('=') == std::string_view::npos;
}

std::optional<std::string> localValue(const std::string& name) {
    if (!isSafeLocalName(name))
        return std::nullopt;
    const char* value = std::getenv(name.c_str());
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

std::optional<std::string> globalValue(const std::string& name) {
    if (!isSafeGlobalName(name))
        return std::nullopt;
    const auto path = resolvePath(name, Target::existing, variableStoreDirectory());
    if (!path)
        return std::nullopt;
    // A FIFO or a device in the store is no value; reading one could wait for ever.
    return readRegularFile(*path);
}

/// Makes the folder `relative` (inside the store, which exists) and returns its host path,
/// reusing folders that exist under another letter case.
std::optional<std::string> makeFolders(const std::string& store, std::string_view relative) {
    std::string folder = store;
    std::size_t start = 0;
    while (start < relative.size()) {
        auto end = relative.find('/', start);
        if (end == std::string_view::npos)
            end = relative.size();
        const auto next = resolvePath(relative.substr(start, end - start), Target::create, folder);
        if (!next)
            return std::nullopt;
        if (mkdir(next->c_str(), 0777) != 0 && errno != EEXIST) {
            setIoErrFromHostError(errno, ERROR_WRITE_PROTECTED);
            return std::nullopt;
        }
        folder = *next;
        start = end + 1;
    }
    return folder;
}

bool makeStore(const std::string& store) {
    // The store's own parents may be missing on a fresh system (no ~/.config yet).
    std::string path;
    std::size_t start = 1;
    while (start <= store.size()) {
        auto end = store.find('/', start);
        if (end == std::string::npos)
            end = store.size();
        path = store.substr(0, end);
        if (mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) {
            setIoErrFromHostError(errno, ERROR_WRITE_PROTECTED);
            return false;
        }
        start = end + 1;
    }
    return true;
}

bool writeAll(int descriptor, std::string_view value) {
    std::size_t written = 0;
    while (written < value.size()) {
        const ssize_t count = write(descriptor, value.data() + written, value.size() - written);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        written += static_cast<std::size_t>(count);
    }
    return true;
}

/// Writes a global variable: into a temporary file beside it, then renamed over it, so that a
/// crash leaves either the old value or the new one, never half of one.
bool setGlobal(const std::string& name, std::string_view value) {
    if (!isSafeGlobalName(name)) {
        SetIoErr(ERROR_INVALID_COMPONENT_NAME);
        return false;
    }
    const std::string store = variableStoreDirectory();
    if (!makeStore(store))
        return false;
    const auto slash = name.rfind('/');
    const auto folder = slash == std::string::npos
                            ? std::optional<std::string>(store)
                            : makeFolders(store, std::string_view(name).substr(0, slash));
    if (!folder)
        return false;
    const auto target = resolvePath(name.substr(slash == std::string::npos ? 0 : slash + 1),
                                    Target::create, *folder);
    if (!target)
        return false;
    struct stat status {};
    if (stat(target->c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
        SetIoErr(ERROR_OBJECT_WRONG_TYPE);
        return false;
    }
    if (injectedFailure(tolvarn::platform::Operation::Write))
        return false;
    // Appended piece by piece: prepending "." to a temporary string makes GCC 12 at -O3 see an
    // overlapping copy inside std::string that cannot happen (-Wrestrict).
    std::string hidden = ".";
    hidden += lastComponent(*target);
    hidden += ".XXXXXX";
    std::string temporary = joinPath(*folder, hidden);
    const int descriptor = mkostemp(temporary.data(), O_CLOEXEC);
    if (descriptor < 0) {
        setIoErrFromHostError(errno, ERROR_WRITE_PROTECTED);
        return false;
    }
    const bool written = writeAll(descriptor, value) && fsync(descriptor) == 0;
    const int hostError = errno;
    if (close(descriptor) != 0 || !written || rename(temporary.c_str(), target->c_str()) != 0) {
        setIoErrFromHostError(written ? errno : hostError, ERROR_WRITE_PROTECTED);
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace

} // namespace tolvarn::platform::internal

using namespace tolvarn::platform::internal;

/// Reads a variable into buffer: a local one first unless GVF_GLOBAL_ONLY, then a global one
/// unless GVF_LOCAL_ONLY. A text read (no GVF_BINARY_VAR) stops at the first line feed. Returns
/// the number of characters put into buffer (NUL-terminated unless GVF_DONT_NULL_TERM, cut to
/// fit), with IoErr() the value's full length; -1 with IoErr() ERROR_OBJECT_NOT_FOUND when the
/// variable is unset.
int32_t GetVar(const char* name, char* buffer, int32_t size, uint32_t flags) {
    if (name == nullptr || buffer == nullptr || size < 0) {
        SetIoErr(ERROR_REQUIRED_ARG_MISSING);
        return -1;
    }
    const std::string variable = name;
    std::optional<std::string> value;
    if (!isGlobal(variable, flags))
        value = localValue(variable);
    if (!value && (flags & GVF_LOCAL_ONLY) == 0)
        value = globalValue(variable);
    if (!value) {
        SetIoErr(ERROR_OBJECT_NOT_FOUND);
        return -1;
    }
    if ((flags & GVF_BINARY_VAR) == 0)
        value->resize(std::min(value->size(), value->find('\n')));
    const bool terminate = (flags & GVF_DONT_NULL_TERM) == 0;
    std::size_t room = static_cast<std::size_t>(size);
    if (terminate && room > 0)
        --room;
    const std::size_t count = std::min(value->size(), room);
    std::memcpy(buffer, value->data(), count);
    if (terminate && size > 0)
        buffer[count] = '\0';
    SetIoErr(static_cast<int32_t>(std::min<std::size_t>(value->size(), INT32_MAX)));
    return static_cast<int32_t>(count);
}

/// Sets a variable to `size` bytes of buffer (all of it up to its NUL when size is -1); a null
/// buffer deletes it. A global one is written atomically, creating its folders. Returns DOSTRUE,
/// or DOSFALSE with IoErr() set.
int32_t SetVar(const char* name, const char* buffer, int32_t size, uint32_t flags) {
    if (name == nullptr) {
        SetIoErr(ERROR_REQUIRED_ARG_MISSING);
        return DOSFALSE;
    }
    if (buffer == nullptr)
        return DeleteVar(name, flags);
    const std::string variable = name;
    const std::string_view value(buffer,
                                 size < 0 ? std::strlen(buffer) : static_cast<std::size_t>(size));
    if (isGlobal(variable, flags))
        return setGlobal(variable, value) ? DOSTRUE : DOSFALSE;
    if (!isSafeLocalName(variable)) {
        SetIoErr(ERROR_INVALID_COMPONENT_NAME);
        return DOSFALSE;
    }
    // The environment holds text: a value stops at its first NUL.
    if (setenv(variable.c_str(), std::string(value).c_str(), 1) != 0) {
        setIoErrFromHostError(errno);
        return DOSFALSE;
    }
    return DOSTRUE;
}

/// Deletes a variable: the local one when there is one (unless GVF_GLOBAL_ONLY), else the global
/// one (unless GVF_LOCAL_ONLY). Returns DOSTRUE, or DOSFALSE with IoErr() ERROR_OBJECT_NOT_FOUND.
int32_t DeleteVar(const char* name, uint32_t flags) {
    if (name == nullptr) {
        SetIoErr(ERROR_REQUIRED_ARG_MISSING);
        return DOSFALSE;
    }
    const std::string variable = name;
    if (!isGlobal(variable, flags) && localValue(variable)) {
        unsetenv(variable.c_str());
        return DOSTRUE;
    }
    if ((flags & GVF_LOCAL_ONLY) == 0 && isSafeGlobalName(variable)) {
        const auto path = resolvePath(variable, Target::entry, variableStoreDirectory());
        struct stat status {};
        if (path && lstat(path->c_str(), &status) == 0 && !S_ISDIR(status.st_mode)) {
            if (unlink(path->c_str()) != 0) {
                setIoErrFromHostError(errno, ERROR_DELETE_PROTECTED);
                return DOSFALSE;
            }
            return DOSTRUE;
        }
    }
    SetIoErr(ERROR_OBJECT_NOT_FOUND);
    return DOSFALSE;
}
