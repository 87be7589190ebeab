// The console window of a desktop start. A relay process reads what the program writes on
// standard output and feeds it to zenity's text view, which it starts with the first output.
#include "platform/exec/consoleWindow.h"

#include "platform/requesters/requesters.h"
#include "platform/shell/shell.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tolvarn::platform::internal {

namespace {

bool writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t count = ::write(fd, data, size);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        data += count;
        size -= static_cast<size_t>(count);
    }
    return true;
}

/// Starts zenity's text view reading from a new pipe; returns the pipe's writing end, or -1.
int openWindow(const std::string& zenity, pid_t& window) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[0], STDIN_FILENO);
    const char* arguments[] = {zenity.c_str(), "--text-info",  "--title=Tolvarn",
                               "--width=640",  "--height=320", "--auto-scroll",
                               nullptr};
    const int error = posix_spawn(&window, zenity.c_str(), &actions, nullptr,
                                  const_cast<char* const*>(arguments), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(ends[0]);
    if (error != 0) {
        ::close(ends[1]);
        return -1;
    }
    return ends[1];
}

/// The relay's whole life: output from `input` goes to the window (opened with the first of
/// it), or to standard output when no window can be had. It stops when every writer is gone or
/// `finished` is closed, and then waits for the user to close the window.
[[noreturn]] void relay(int input, int finished) {
    // A window the user closed early must not end the relay: the rest is read and dropped, so
    // the program never blocks on a full pipe.
    std::signal(SIGPIPE, SIG_IGN);
    const std::string zenity = zenityProgram();
    pid_t window = -1;
    int toWindow = -2; // -2: not opened yet; -1: no window, the output goes to standard output
    const auto pass = [&](const char* data, size_t size) {
        if (toWindow == -2)
            toWindow = zenity.empty() ? -1 : openWindow(zenity, window);
        if (!writeAll(toWindow >= 0 ? toWindow : STDOUT_FILENO, data, size) && toWindow >= 0) {
            ::close(toWindow);
            toWindow = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        }
    };
    char buffer[4096];
    pollfd watched[2] = {{input, POLLIN, 0}, {finished, POLLIN, 0}};
    for (bool more = true; more;) {
        if (::poll(watched, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        // Once the program is done, what it wrote is all in the pipe already: read it to the end.
        const bool done = watched[1].revents != 0;
        if (done)
            ::fcntl(input, F_SETFL, O_NONBLOCK);
        for (;;) {
            const ssize_t count = ::read(input, buffer, sizeof buffer);
            if (count < 0 && errno == EINTR)
                continue;
            if (count > 0) {
                pass(buffer, static_cast<size_t>(count));
                if (done)
                    continue;
            } else if (count == 0 || done) {
                more = false; // every writer gone, or nothing more to drain
            }
            break;
        }
    }
    if (toWindow >= 0) {
        ::close(toWindow);
        int status = 0;
        while (::waitpid(window, &status, 0) < 0 && errno == EINTR) {
        }
    }
    ::_exit(0);
}

} // namespace

ConsoleWindow::ConsoleWindow() {
    int output[2], finished[2];
    if (::pipe2(output, O_CLOEXEC) != 0)
        return;
    if (::pipe2(finished, O_CLOEXEC) != 0) {
        ::close(output[0]);
        ::close(output[1]);
        return;
    }
    std::fflush(stdout);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(output[1]);
        ::close(finished[1]);
        relay(output[0], finished[0]);
    }
    ::close(output[0]);
    ::close(finished[0]);
    if (child < 0) {
        ::close(output[1]);
        ::close(finished[1]);
        return;
    }
    relay_ = child;
    finished_ = finished[1];
    savedOutput_ = keepStandardDescriptor(STDOUT_FILENO);
    // Standard output is the pipe now, inherited by the programs started from here as the
    // original system's console window was.
    ::dup2(output[1], STDOUT_FILENO);
    ::close(output[1]);
}

ConsoleWindow::~ConsoleWindow() {
    if (relay_ < 0)
        return;
    putBackStandardDescriptor(stdout, STDOUT_FILENO, savedOutput_);
    ::close(finished_);
    int status = 0;
    while (::waitpid(relay_, &status, 0) < 0 && errno == EINTR) {
    }
}

} // namespace tolvarn::platform::internal
