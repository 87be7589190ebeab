// The desktop dialogs for real: zenity on a private Xvfb display.
#include "platform/asl.h"
#include "platform/intuition.h"
#include "platform/process.h"

#include "hostTesting.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <list>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using tolvarn::platform::findInHostPath;
using tolvarn::testing::expectNothingOutstanding;
using tolvarn::testing::Sandbox;
using tolvarn::testing::ScopedVariable;

extern char** environ;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

/// An X server of our own; its display number comes from the server itself, so it never
/// collides with another one.
class PrivateDisplay {
  public:
    PrivateDisplay() {
        const std::string server = findInHostPath("Xvfb");
        if (server.empty())
            return;
        int ends[2];
        if (::pipe(ends) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, ends[1], 3);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        const char* argv[] = {"Xvfb",    "-displayfd", "3",          "-nolisten", "tcp",
                              "-screen", "0",          "800x600x24", nullptr};
        const int failed = posix_spawn(&server_, server.c_str(), &actions, nullptr,
                                       const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(ends[1]);
        if (failed != 0) {
            server_ = 0;
            ::close(ends[0]);
            return;
        }
        std::string number;
        pollfd ready{ends[0], POLLIN, 0};
        char c;
        while (::poll(&ready, 1, 15000) > 0 && ::read(ends[0], &c, 1) == 1 && c != '\n')
            number += c;
        ::close(ends[0]);
        if (!number.empty())
            name_ = ":" + number;
    }
    ~PrivateDisplay() {
        if (server_ > 0) {
            ::kill(server_, SIGTERM);
            ::waitpid(server_, nullptr, 0);
        }
    }
    PrivateDisplay(const PrivateDisplay&) = delete;
    PrivateDisplay& operator=(const PrivateDisplay&) = delete;

    /// The display name, "" when the server did not come up.
    const std::string& name() const { return name_; }

  private:
    pid_t server_ = 0;
    std::string name_;
};

/// A zenity started by this process, found through /proc; 0 when there is none.
pid_t ourZenity() {
    pid_t found = 0;
    DIR* processes = ::opendir("/proc");
    if (processes == nullptr)
        return 0;
    while (const dirent* entry = ::readdir(processes)) {
        std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
        std::string line;
        if (!std::getline(stat, line))
            continue;
        const size_t open = line.find('('), close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos || close + 4 > line.size())
            continue;
        const std::string command = line.substr(open + 1, close - open - 1);
        const long parent = std::atol(line.c_str() + close + 4);
        if (command == "zenity" && parent == ::getpid())
            found = static_cast<pid_t>(std::atol(entry->d_name));
    }
    ::closedir(processes);
    return found;
}

/// Plays the person who closes the dialog: waits for it to be up for a while, then ends it.
class DialogCloser {
  public:
    DialogCloser()
        : thread_([this] {
              const auto giveUp = Clock::now() + 30s;
              pid_t dialog = 0;
              while (dialog == 0 && Clock::now() < giveUp) {
                  std::this_thread::sleep_for(50ms);
                  dialog = ourZenity();
              }
              if (dialog == 0)
                  return;
              // Still there after a while: it found the display and shows its window.
              std::this_thread::sleep_for(1500ms);
              stayedUp_ = ::kill(dialog, SIGTERM) == 0;
          }) {}
    ~DialogCloser() {
        if (thread_.joinable())
            thread_.join();
    }
    DialogCloser(const DialogCloser&) = delete;
    DialogCloser& operator=(const DialogCloser&) = delete;

    bool dialogStayedUp() {
        thread_.join();
        return stayedUp_;
    }

  private:
    std::atomic<bool> stayedUp_ = false;
    std::thread thread_;
};

class GuiRequesterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (findInHostPath("zenity").empty() || findInHostPath("Xvfb").empty())
            GTEST_SKIP() << "zenity and Xvfb are needed for the desktop dialogs (Debian packages "
                            "zenity and xvfb); not installed here";
        if (display_.name().empty())
            GTEST_SKIP() << "Xvfb is installed but did not start a display";
        variables_.emplace_back("DISPLAY", display_.name());
        variables_.emplace_back("WAYLAND_DISPLAY", std::nullopt);
        variables_.emplace_back("TOLVARN_REQUESTER", std::nullopt);
        variables_.emplace_back("NO_AT_BRIDGE", "1");
        variables_.emplace_back("GSETTINGS_BACKEND", "memory"); // no settings daemon here
    }
    void TearDown() override { expectNothingOutstanding(); }

    Sandbox sandbox_;
    PrivateDisplay display_;
    std::list<ScopedVariable> variables_;
};

TEST_F(GuiRequesterTest, TheNoticeClosesItselfInTime) {
    const EasyStruct notice = {20, 0, "Tolvarn", "Press Ctrl-Alt-F9 to quit!", "OK"};
    const auto started = Clock::now();
    EXPECT_EQ(tolvarn::platform::timedEasyRequest(&notice, nullptr, 1), 0);
    const auto took = Clock::now() - started;
    EXPECT_GE(took, 900ms);
    EXPECT_LT(took, 30s);
}

TEST_F(GuiRequesterTest, AFileDialogClosedWithoutAChoiceIsACancel) {
    sandbox_.writeFile("Games/DOOM.EXE", "MZ");
    const std::string games = sandbox_.path("Games");
    const TagItem tags[] = {{ASLFR_TitleText, reinterpret_cast<intptr_t>("Tolvarn")},
                            {ASLFR_InitialDrawer, reinterpret_cast<intptr_t>(games.c_str())},
                            {ASLFR_InitialPattern, reinterpret_cast<intptr_t>("#?.(exe|com|bat)")},
                            {ASLFR_DoPatterns, DOSTRUE},
                            {TAG_DONE, 0}};
    void* requester = AllocAslRequest(ASL_FileRequest, tags);
    DialogCloser person;
    EXPECT_EQ(AslRequest(requester, nullptr), DOSFALSE);
    EXPECT_TRUE(person.dialogStayedUp());
    FreeAslRequest(requester);
}

TEST_F(GuiRequesterTest, AMessageClosedWithoutAnswerGivesTheRightmostButton) {
    const EasyStruct message = {20, 0, "Tolvarn", "Run %s?", "Yes|No"};
    const intptr_t args[] = {reinterpret_cast<intptr_t>("DOOM")};
    DialogCloser person;
    EXPECT_EQ(EasyRequestArgs(nullptr, &message, nullptr, args), 0);
    EXPECT_TRUE(person.dialogStayedUp());
}

} // namespace
