// Making folders and links: what a first run needs to set up Tolvarn's own DOSBox folder.
#include "platform/dos.h"
#include "platform/hostLayer.h"
#include "platform/hostPaths.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

BPTR CreateDir(const char* name) {
    using namespace tolvarn::platform::internal;
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
    using namespace tolvarn::platform::internal;
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
