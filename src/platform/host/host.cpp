#include "platform/host/host.h"

#include "platform/dos/internal.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvarn::platform {

std::string settingsFolder() {
    // The variable store is the "env" folder inside it.
    return internal::parentPath(internal::variableStoreDirectory());
}

bool isRunnableFile(const std::string& hostPath) {
    struct stat info {};
    return ::stat(hostPath.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(hostPath.c_str(), X_OK) == 0;
}

std::vector<std::string> hostPathFolders() {
    std::vector<std::string> folders;
    const char* path = std::getenv("PATH");
    const std::string list = path != nullptr ? path : "";
    for (size_t start = 0, end; start <= list.size(); start = end + 1) {
        end = std::min(list.find(':', start), list.size());
        if (end > start && list[start] == '/')
            folders.push_back(list.substr(start, end - start));
    }
    return folders;
}

std::string findFirstInHostPath(std::initializer_list<const char*> names) {
    for (const std::string& folder : hostPathFolders()) {
        for (const char* name : names) {
            const std::string candidate = folder + "/" + name;
            if (isRunnableFile(candidate))
                return candidate;
        }
    }
    return "";
}

std::string findInHostPath(const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos)
        return "";
    return findFirstInHostPath({name.c_str()});
}

bool outputShowsColour() {
    if (::isatty(STDOUT_FILENO) != 1)
        return false;
    const char* noColour = std::getenv("NO_COLOR");
    if (noColour != nullptr && *noColour != '\0')
        return false;
    const char* terminal = std::getenv("TERM");
    return terminal == nullptr || std::strcmp(terminal, "dumb") != 0;
}

} // namespace tolvarn::platform
