// Which way a requester reaches a person, and the way that reaches nobody.
#include "platform/process.h"
#include "platform/requesterBackends.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <unistd.h>

namespace tolvarn::platform::internal {

namespace {

bool variableSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

} // namespace

std::string zenityProgram() { return findInHostPath("zenity"); }

RequesterBackend chooseRequesterBackend() {
    const char* forced = std::getenv("TOLVARN_REQUESTER");
    const std::string_view choice = forced != nullptr ? forced : "";
    if (choice == "gui")
        return zenityProgram().empty() ? RequesterBackend::none : RequesterBackend::gui;
    if (choice == "terminal")
        return RequesterBackend::terminal;
    if (choice == "none")
        return RequesterBackend::none;
    if ((variableSet("DISPLAY") || variableSet("WAYLAND_DISPLAY")) && !zenityProgram().empty())
        return RequesterBackend::gui;
    if (::isatty(STDIN_FILENO) == 1 && ::isatty(STDERR_FILENO) == 1)
        return RequesterBackend::terminal;
    return RequesterBackend::none;
}

int showMessageNowhere(const MessageRequest& request) {
    std::fflush(stdout);
    if (request.title.empty())
        std::fprintf(stderr, "%s\n", request.text.c_str());
    else
        std::fprintf(stderr, "%s: %s\n", request.title.c_str(), request.text.c_str());
    std::fflush(stderr);
    return -1;
}

} // namespace tolvarn::platform::internal
