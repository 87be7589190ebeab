// Path strings without the disk: joining a name to a directory and finding the parts of a path.
// The original system's rules, plus the host's, exactly as path resolution reads them: a path
// that starts with "/" is an absolute host path, and only a ":" before the first "/" of any
// other path ends a device name. Every other ":" is part of a name, as it may be on the host.
#include "platform/dos/internal.h"

#include <cstring>

namespace {

/// The length of the device part of `path` ("Work:" of "Work:a/b", ":" of ":a"), or 0 when the
/// path has none.
std::size_t deviceLength(std::string_view path) {
    const auto colon = path.find(':');
    if (path.starts_with('/') || colon == std::string_view::npos || path.find('/') < colon)
        return 0;
    return colon + 1;
}

bool isAbsoluteName(std::string_view name) {
    return name.starts_with('/') || deviceLength(name) > 0;
}

} // namespace

/// Appends `filename` to the path in `dirname`: with a "/" between them unless the directory is
/// empty, a device name alone, or ends in "/"; an absolute name replaces the directory. Returns
/// DOSTRUE, or DOSFALSE with IoErr() ERROR_LINE_TOO_LONG and the buffer unchanged when the result
/// and its NUL do not fit in `size`.
int32_t AddPart(char* dirname, const char* filename, uint32_t size) {
    if (dirname == nullptr || filename == nullptr) {
        SetIoErr(ERROR_REQUIRED_ARG_MISSING);
        return DOSFALSE;
    }
    const std::string_view name = filename;
    std::string result;
    if (isAbsoluteName(name)) {
        result = name;
    } else {
        // The directory is read only within the buffer: a caller's size may be shorter than the
        // text when the buffer is already full.
        result.assign(dirname, strnlen(dirname, size));
        if (!name.empty() && !result.empty() && result.back() != '/' &&
            deviceLength(result) != result.size())
            result += '/';
        result += name;
    }
    if (result.size() >= size) {
        SetIoErr(ERROR_LINE_TOO_LONG);
        return DOSFALSE;
    }
    std::memcpy(dirname, result.c_str(), result.size() + 1);
    return DOSTRUE;
}

/// Returns the position in `path` of its last component: after the last "/", or else after the
/// device name.
char* FilePart(const char* path) {
    if (path == nullptr)
        return nullptr;
    const char* slash = std::strrchr(path, '/');
    return const_cast<char*>(slash != nullptr ? slash + 1 : path + deviceLength(path));
}

/// Returns the position in `path` where the directory part ends: the "/" before the last
/// component, or the last component itself when that "/" means something on its own (a leading
/// "/" is the host root, one after a device name or another "/" is a parent).
char* PathPart(const char* path) {
    char* part = FilePart(path);
    if (part == nullptr || part == path || part[-1] != '/')
        return part;
    const char* separator = part - 1;
    if (separator == path || separator[-1] == '/' ||
        static_cast<std::size_t>(separator - path) == deviceLength(path))
        return part;
    return const_cast<char*>(separator);
}
