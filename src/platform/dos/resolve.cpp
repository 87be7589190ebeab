// Path resolution: turns a path of the program's syntax into a host path. "NAME:rest" starts at
// a device or assign, ":rest" at the host root, "/rest" is an absolute host path, anything else
// starts at the current directory. Inside the path an empty component ("a//b") is the parent.
// Each component is looked up exactly first and then ignoring ASCII letter case, because DOS
// programs arrive with MAZE.EXE on disk and maze.exe in their scripts.
#include "platform/dos/internal.h"
#include "platform/exec/internal.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>

namespace tolvarn::platform::internal {

namespace {

struct DirectoryCloser {
    void operator()(DIR* directory) const { closedir(directory); }
};
using DirectoryStream = std::unique_ptr<DIR, DirectoryCloser>;

/// One step of a walk: into the parent, or into a named entry.
struct Step {
    bool parent = false;
    std::string name;
};

std::vector<Step> stepsOf(std::string_view rest) {
    std::vector<Step> steps;
    std::size_t position = 0;
    const auto parentsAt = [&] {
        while (position < rest.size() && rest[position] == '/') {
            steps.push_back(Step{true, {}});
            ++position;
        }
    };
    parentsAt();
    while (position < rest.size()) {
        auto end = rest.find('/', position);
        if (end == std::string_view::npos)
            end = rest.size();
        steps.push_back(Step{false, std::string(rest.substr(position, end - position))});
        position = end;
        if (position < rest.size())
            ++position; // the separator after a name
        parentsAt();    // every further "/" goes up one level
    }
    return steps;
}

bool hasAsciiLetter(std::string_view name) {
    for (const char character : name) {
        if ((character >= 'a' && character <= 'z') || (character >= 'A' && character <= 'Z'))
            return true;
    }
    return false;
}

/// The name under which `name` exists in `directory`: itself, or else the first entry in byte
/// order that differs only in ASCII letter case. Empty, with hostError set, when there is none.
std::optional<std::string> findEntry(const std::string& directory, const std::string& name,
                                     int& hostError) {
    struct stat status {};
    if (lstat(joinPath(directory, name).c_str(), &status) == 0)
        return name;
    hostError = errno;
    if (hostError != ENOENT || !hasAsciiLetter(name))
        return std::nullopt;
    DirectoryStream stream(opendir(directory.c_str()));
    if (!stream)
        return std::nullopt;
    std::optional<std::string> best;
    while (const dirent* entry = readdir(stream.get())) {
        const std::string_view candidate = entry->d_name;
        if (equalsIgnoringCase(candidate, name) && (!best || candidate < *best))
            best = std::string(candidate);
    }
    return best;
}

/// The canonical path of the entry `name` of the canonical folder `directory`. Only a soft link
/// needs the host to resolve it; any other entry of a canonical folder is canonical already, and
/// resolving every step anew would make a walk cost the square of its depth.
std::optional<std::string> canonicalChild(const std::string& directory, const std::string& name) {
    std::string joined = joinPath(directory, name);
    struct stat status {};
    if (lstat(joined.c_str(), &status) == 0 && !S_ISLNK(status.st_mode))
        return joined;
    return canonicalPath(joined);
}

bool isDirectory(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool isNamedStep(const Step& step) {
    return !step.parent && step.name != "." && step.name != "..";
}

/// Walks `steps` from `base`. For Target::entry and Target::create the last named step is looked
/// up but not followed.
std::optional<std::string> walk(const std::string& base, const std::vector<Step>& steps,
                                Target target) {
    auto current = canonicalPath(base);
    if (!current) {
        SetIoErr(ERROR_DIR_NOT_FOUND);
        return std::nullopt;
    }
    const bool stopBeforeLast =
        target != Target::existing && !steps.empty() && isNamedStep(steps.back());
    const std::size_t walked = stopBeforeLast ? steps.size() - 1 : steps.size();
    for (std::size_t index = 0; index < walked; ++index) {
        const Step& step = steps[index];
        const bool last = index + 1 == steps.size();
        if (step.parent || step.name == "..") {
            current = parentPath(*current);
            continue;
        }
        if (step.name == "." || step.name.empty())
            continue;
        int hostError = 0;
        const auto found = findEntry(*current, step.name, hostError);
        auto next = found ? canonicalChild(*current, *found) : std::nullopt;
        if (!next) {
            if (found)
                hostError = errno;
            if (hostError == ENOENT)
                SetIoErr(last ? ERROR_OBJECT_NOT_FOUND : ERROR_DIR_NOT_FOUND);
            else
                setIoErrFromHostError(hostError);
            return std::nullopt;
        }
        if (!last && !isDirectory(*next)) {
            SetIoErr(ERROR_OBJECT_WRONG_TYPE);
            return std::nullopt;
        }
        current = std::move(next);
    }
    if (!stopBeforeLast)
        return current;

    const std::string& name = steps.back().name;
    int hostError = 0;
    if (const auto found = findEntry(*current, name, hostError))
        return joinPath(*current, *found);
    if (target == Target::create && hostError == ENOENT)
        return joinPath(*current, name);
    setIoErrFromHostError(hostError);
    return std::nullopt;
}

/// Tries each base directory in order; the first that resolves wins. On failure IoErr() is the
/// error of the first directory, which is the one the user thinks of.
std::optional<std::string> walkFirst(const std::vector<std::string>& bases,
                                     const std::vector<Step>& steps, Target target) {
    std::optional<int32_t> firstError;
    for (const auto& base : bases) {
        if (auto result = walk(base, steps, target))
            return result;
        if (!firstError)
            firstError = IoErr();
    }
    SetIoErr(firstError.value_or(ERROR_OBJECT_NOT_FOUND));
    return std::nullopt;
}

} // namespace

std::string joinPath(const std::string& directory, std::string_view name) {
    std::string result = directory;
    if (result.empty() || result.back() != '/')
        result += '/';
    result += name;
    return result;
}

std::string parentPath(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string lastComponent(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::optional<std::string> canonicalPath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr),
                                                         &std::free);
    if (!resolved)
        return std::nullopt;
    return std::string(resolved.get());
}

char foldCase(char character) {
    return character >= 'a' && character <= 'z' ? static_cast<char>(character - 'a' + 'A')
                                                : character;
}

bool equalsIgnoringCase(std::string_view left, std::string_view right) {
    if (left.size() != right.size())
        return false;
    for (std::size_t index = 0; index < left.size(); ++index) {
        if (foldCase(left[index]) != foldCase(right[index]))
            return false;
    }
    return true;
}

std::optional<std::string> resolvePath(std::string_view path, Target target,
                                       const std::string& base) {
    std::vector<std::string> bases;
    std::string_view rest = path;
    const auto colon = path.find(':');
    const auto slash = path.find('/');
    if (slash == 0) {
        // A leading "/" is an absolute host path; no Linux user means "parent" by it.
        bases.push_back("/");
        const auto first = path.find_first_not_of('/');
        rest = first == std::string_view::npos ? std::string_view() : path.substr(first);
    } else if (colon != std::string_view::npos &&
               (slash == std::string_view::npos || colon < slash)) {
        const std::string_view name = path.substr(0, colon);
        rest = path.substr(colon + 1);
        if (name.empty()) {
            bases.push_back("/");
        } else {
            auto device = findDevice(name);
            if (!device) {
                SetIoErr(ERROR_DEVICE_NOT_MOUNTED);
                return std::nullopt;
            }
            if (device->isNull)
                return std::string("/dev/null");
            bases = std::move(device->directories);
        }
    } else if (!base.empty()) {
        bases.push_back(base);
    } else {
        auto current = currentDirectoryPath();
        if (!current)
            return std::nullopt;
        bases.push_back(std::move(*current));
    }

    const auto steps = stepsOf(rest);
    if (target == Target::create && bases.size() > 1) {
        // An existing entry in any directory of the assign wins over a new one in the first.
        const int32_t saved = IoErr();
        if (auto existing = walkFirst(bases, steps, Target::entry))
            return existing;
        SetIoErr(saved);
    }
    return walkFirst(bases, steps, target);
}

std::optional<std::string> resolveExisting(const char* path) {
    if (path == nullptr) {
        SetIoErr(ERROR_REQUIRED_ARG_MISSING);
        return std::nullopt;
    }
    return resolvePath(path, Target::existing);
}

std::optional<std::string> resolveForCreate(const char* path) {
    if (path == nullptr) {
        SetIoErr(ERROR_REQUIRED_ARG_MISSING);
        return std::nullopt;
    }
    return resolvePath(path, Target::create);
}

} // namespace tolvarn::platform::internal
