// Path strings without the disk: joining a name to a directory and finding the parts of a path.
// The original system's rules, plus the host's: a name with ":" or a leading "/" is absolute.
#include "platform/hostLayer.h"

#include <cstring>

namespace {

bool isAbsoluteName(std::string_view name) {
    return name.starts_with('/') || name.find(':') != std::string_view::npos;
}

} // namespace

/// Appends `filename` to the path in `dirname`: with a "/" between them unless the directory is
/// empty or ends in ":" or "/"; an absolute name replaces the directory. Returns DOSTRUE, or
/// DOSFALSE with IoErr() ERROR_LINE_TOO_LONG and the buffer unchanged when the result and its NUL
/// do not fit in `size`.
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
        if (!name.empty() && !result.empty() && result.back() != ':' && result.back() != '/')
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

/// Returns the position in `path` of its last component: after the last "/" or ":".
char* FilePart(const char* path) {
    if (path == nullptr)
        return nullptr;
    const char* part = path;
    for (const char* character = path; *character != '\0'; ++character) {
        if (*character == '/' || *character == ':')
            part = character + 1;
    }
    return const_cast<char*>(part);
}

/// Returns the position in `path` where the directory part ends: the "/" before the last
/// component, or the last component itself when that "/" means something on its own (a leading
/// "/" is the host root, one after ":" or another "/" is a parent).
char* PathPart(const char* path) {
    char* part = FilePart(path);
    if (part == nullptr || part == path || part[-1] != '/')
        return part;
    const char* separator = part - 1;
    if (separator == path || separator[-1] == '/' || separator[-1] == ':')
        return part;
    return const_cast<char*>(separator);
}
