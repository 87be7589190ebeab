// Which way a requester reaches a person, and the way that reaches nobody.
#include "platform/host/host.h"
#include "platform/requesters/requesters.h"
#include "platform/shell/process.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace tolvarn::platform::internal {

namespace {

/// True when a server listens on the local socket `path` (in the abstract namespace when
/// `abstract`).
bool canConnect(const std::string& path, bool abstract) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const size_t offset = abstract ? 1 : 0;
    if (path.empty() || path.size() + offset >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path + offset, path.data(), path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset +
                                               path.size() + (abstract ? 0 : 1));
    const bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0;
    ::close(fd);
    return connected;
}

/// True when the X display named by DISPLAY can be reached. A display on another host is taken
/// on trust; a local one must have its server listening, since zenity reports an unreachable
/// display just as it reports a cancel, and a message would be lost without a word.
bool x11DisplayReachable() {
    const char* value = std::getenv("DISPLAY");
    if (value == nullptr || *value == '\0')
        return false;
    const std::string_view display = value;
    const size_t colon = display.rfind(':');
    if (colon == std::string_view::npos)
        return false;
    const std::string_view host = display.substr(0, colon);
    if (!host.empty() && host != "unix")
        return true;
    std::string number;
    for (size_t index = colon + 1;
         index < display.size() && display[index] >= '0' && display[index] <= '9'; ++index)
        number += display[index];
    if (number.empty())
        return false;
    const std::string socket = "/tmp/.X11-unix/X" + number;
    return canConnect(socket, true) || canConnect(socket, false);
}

bool waylandDisplayReachable() {
    const char* value = std::getenv("WAYLAND_DISPLAY");
    if (value == nullptr || *value == '\0')
        return false;
    if (value[0] == '/')
        return canConnect(value, false);
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime != nullptr && canConnect(std::string(runtime) + "/" + value, false);
}

} // namespace

std::string zenityProgram() {
    return findInHostPath("zenity");
}

RequesterBackend chooseRequesterBackend() {
    const char* forced = std::getenv("TOLVARN_REQUESTER");
    const std::string_view choice = forced != nullptr ? forced : "";
    if (choice == "gui")
        return zenityProgram().empty() ? RequesterBackend::none : RequesterBackend::gui;
    if (choice == "terminal")
        return RequesterBackend::terminal;
    if (choice == "none")
        return RequesterBackend::none;
    static bool toldOfUnknownChoice = false;
    if (!choice.empty() && !toldOfUnknownChoice) {
        toldOfUnknownChoice = true;
        std::fflush(stdout);
        std::fprintf(stderr,
                     "TOLVARN_REQUESTER=%s is not gui, terminal or none; choosing by what is "
                     "there\n",
                     forced);
    }
    if (!zenityProgram().empty() && (x11DisplayReachable() || waylandDisplayReachable()))
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
