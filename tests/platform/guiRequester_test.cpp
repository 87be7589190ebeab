// The desktop dialogs for real: zenity on a private Xvfb display.
#include "platform/asl.h"
#include "platform/intuition.h"
#include "platform/process.h"

#include "hostTesting.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <future>
#include <list>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using tolvarn::platform::findInHostPath;
using namespace tolvarn::testing;
using namespace std::chrono_literals;

extern char** environ;

namespace {

/// A zenity started by this process, found through /proc; 0 when there is none.
pid_t ourZenity() {
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string stat = readFile(entry.path() / "stat");
        const size_t close = stat.rfind(')');
        if (close != std::string::npos && stat.find("(zenity)") != std::string::npos &&
            std::atol(stat.c_str() + close + 4) == ::getpid())
            return static_cast<pid_t>(std::atol(entry.path().filename().c_str()));
    }
    return 0;
}

/// Plays the person who closes the dialog unanswered once it has been up for a while (so it
/// found the display and shows its window). Returns whether it was still there to close.
std::future<bool> closeTheDialogLater() {
    return std::async(std::launch::async, [] {
        const auto giveUp = std::chrono::steady_clock::now() + 30s;
        pid_t dialog = 0;
        while (dialog == 0 && std::chrono::steady_clock::now() < giveUp) {
            std::this_thread::sleep_for(50ms);
            dialog = ourZenity();
        }
        std::this_thread::sleep_for(1500ms);
        return dialog != 0 && ::kill(dialog, SIGTERM) == 0;
    });
}

class GuiRequesterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string server = findInHostPath("Xvfb");
        if (server.empty() || findInHostPath("zenity").empty())
            GTEST_SKIP()
                << "the desktop dialogs need zenity and Xvfb (Debian packages zenity, xvfb)";
        // The server picks a free display number and tells it through descriptor 3.
        int ends[2];
        ASSERT_EQ(::pipe(ends), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, ends[1], 3);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        const char* argv[] = {"Xvfb", "-displayfd", "3", "-nolisten", "tcp", nullptr};
        const int failed = posix_spawn(&server_, server.c_str(), &actions, nullptr,
                                       const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(ends[1]);
        std::string display = ":";
        pollfd ready{ends[0], POLLIN, 0};
        char c;
        while (failed == 0 && ::poll(&ready, 1, 15000) > 0 && ::read(ends[0], &c, 1) == 1 &&
               c != '\n')
            display += c;
        ::close(ends[0]);
        if (display == ":")
            GTEST_SKIP() << "Xvfb is installed but did not start a display";
        variables_.emplace_back("DISPLAY", display);
        variables_.emplace_back("GSETTINGS_BACKEND", "memory"); // no settings daemon here
        variables_.emplace_back("NO_AT_BRIDGE", "1");
    }
    void TearDown() override {
        if (server_ > 0) {
            ::kill(server_, SIGTERM);
            ::waitpid(server_, nullptr, 0);
        }
        expectNothingOutstanding();
    }

    Sandbox sandbox_;
    pid_t server_ = 0;
    ScopedVariable automatic_{"TOLVARN_REQUESTER", std::nullopt},
        wayland_{"WAYLAND_DISPLAY", std::nullopt};
    std::list<ScopedVariable> variables_;
};

TEST_F(GuiRequesterTest, TheNoticeClosesItselfInTime) {
    const EasyStruct notice = {20, 0, "Tolvarn", "Press Ctrl-Alt-F9 to quit!", "OK"};
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(tolvarn::platform::timedEasyRequest(&notice, nullptr, 1), 0);
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_TRUE(took >= 900ms && took < 30s);
}

TEST_F(GuiRequesterTest, DialogsClosedWithoutAnAnswerCancel) {
    const std::string games = sandbox_.makeDir("Games");
    const TagItem tags[] = {{ASLFR_TitleText, reinterpret_cast<intptr_t>("Tolvarn")},
                            {ASLFR_InitialDrawer, reinterpret_cast<intptr_t>(games.c_str())},
                            {ASLFR_InitialPattern, reinterpret_cast<intptr_t>("#?.(exe|com|bat)")},
                            {ASLFR_DoPatterns, DOSTRUE},
                            {TAG_DONE, 0}};
    void* requester = AllocAslRequest(ASL_FileRequest, tags);
    auto closed = closeTheDialogLater();
    EXPECT_EQ(AslRequest(requester, nullptr), DOSFALSE);
    EXPECT_TRUE(closed.get());
    FreeAslRequest(requester);

    const EasyStruct message = {20, 0, "Tolvarn", "Run it?", "Yes|No"};
    closed = closeTheDialogLater();
    EXPECT_EQ(EasyRequestArgs(nullptr, &message, nullptr, nullptr), 0);
    EXPECT_TRUE(closed.get());
}

} // namespace
