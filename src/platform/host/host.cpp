#include "platform/host/host.h"

#include "platform/dos/internal.h"

#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace tolvarn::platform {

std::string settingsFolder() {
    // The variable store is the "env" folder inside it.
    return internal::parentPath(internal::variableStoreDirectory());
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
