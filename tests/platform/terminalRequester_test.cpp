// Requesters in a terminal, with a pseudo-terminal standing in for the person, and the choice of
// back end.
#include "platform/asl.h"
#include "platform/intuition.h"
#include "platform/requesterBackends.h"

#include "layerTesting.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

using namespace std::chrono_literals;

namespace tolvarn::testing {
namespace {

/// A pseudo-terminal that is standard input and standard error while it lives. The person has
/// typed every answer ahead (without echo, so the screen holds only what the program wrote), so
/// nothing depends on timing: the program reads the lines as it asks for them.
class Terminal {
  public:
    explicit Terminal(const std::string& typed = "") {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        ::grantpt(master_);
        ::unlockpt(master_);
        const int terminal = ::open(::ptsname(master_), O_RDWR | O_NOCTTY);
        termios settings{};
        ::tcgetattr(terminal, &settings);
        settings.c_lflag &= ~tcflag_t{ECHO};
        ::tcsetattr(terminal, TCSANOW, &settings);
        for (const int fd : {STDIN_FILENO, STDERR_FILENO}) {
            saved_.push_back(::dup(fd));
            ::dup2(terminal, fd);
        }
        ::close(terminal);
        EXPECT_EQ(::write(master_, typed.data(), typed.size()), std::ssize(typed));
    }
    ~Terminal() {
        int unread = 0;
        ::ioctl(STDIN_FILENO, FIONREAD, &unread);
        EXPECT_EQ(unread, 0) << "the program stopped asking early";
        ::dup2(saved_[0], STDIN_FILENO);
        ::dup2(saved_[1], STDERR_FILENO);
        for (const int fd : {saved_[0], saved_[1], master_})
            ::close(fd);
    }
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    /// Whether `text` shows on the screen. The terminal passes on what the program wrote a
    /// little later, so this waits for it (at most ten seconds, when it never comes).
    bool shows(const std::string& text) {
        for (pollfd output{master_, POLLIN, 0}; screen_.find(text) == std::string::npos;) {
            char buffer[1024];
            const ssize_t count = ::poll(&output, 1, 10000) > 0 ? ::read(master_, buffer, 1024) : 0;
            if (count <= 0)
                return false;
            screen_.append(buffer, static_cast<size_t>(count));
        }
        return true;
    }

  private:
    int master_;
    std::vector<int> saved_;
    std::string screen_;
};

class TerminalRequesterTest : public HostLayerTest {
  protected:
    /// Runs a file requester with `typed` typed ahead and checks that `shown` showed; returns
    /// its answer and then the drawer and file it shows, as "answer|drawer|file".
    std::string askFile(const std::vector<TagItem>& tags, const std::string& typed,
                        const std::string& shown = "") {
        Terminal terminal(typed);
        auto* requester =
            static_cast<FileRequester*>(AllocAslRequest(ASL_FileRequest, tags.data()));
        const int32_t answer = AslRequest(requester, nullptr);
        const std::string result =
            std::to_string(answer) + "|" + requester->fr_Drawer + "|" + requester->fr_File;
        FreeAslRequest(requester);
        EXPECT_TRUE(terminal.shows(shown)) << shown;
        return result;
    }

    ScopedVariable backend{"TOLVARN_REQUESTER", "terminal"};
};

TEST_F(TerminalRequesterTest, ReadsATypedPathAsksAgainOrCancels) {
    const std::string games = sandbox.makeDir("Games");
    sandbox.writeFile("Games/doom.exe", "MZ");
    const std::vector<TagItem> tags = {{ASLFR_TitleText, text("Tolvarn")},
                                       {ASLFR_InitialDrawer, text(games.c_str())},
                                       {ASLFR_InitialPattern, text("#?.(exe|com|bat)")},
                                       {ASLFR_DoPatterns, DOSTRUE},
                                       {TAG_DONE, 0}};
    // Relative to the starting folder, in any letter case; a folder is no file.
    const std::string prompt = "\r\nPath (an empty line cancels): ";
    EXPECT_EQ(askFile(tags, "..\nmissing/x\nDOOM.EXE\n",
                      "\r\nTolvarn\r\nChoose a file. Names matching #?.(exe|com|bat).\r\n"
                      "Relative paths start in " +
                          games + prompt + "That is a folder, not a file: .." + prompt +
                          "No such folder: missing/x" + prompt),
              "-1|" + games + "|doom.exe");
    // A name that does not exist yet is still an answer; a cancel leaves what was shown alone.
    EXPECT_EQ(askFile(tags, sandbox.path("work/new file.bat\n")),
              "-1|" + sandbox.work() + "|new file.bat");
    for (const char* cancel : {"\n", "\x04"})
        EXPECT_EQ(askFile(tags, cancel), "0|" + games + "|");
    // A drawers-only requester asks again until the answer is a folder.
    sandbox.makeDir("DOSBox");
    EXPECT_EQ(askFile({{ASLFR_Flags2, FRF_DRAWERSONLY}, {TAG_DONE, 0}},
                      "nosuch\n" + sandbox.path("Games/doom.exe") + "\n" + sandbox.path("dosbox\n"),
                      "Choose a folder." + prompt + "Not a folder: nosuch" + prompt),
              "-1|" + sandbox.path("DOSBox") + "|");
}

TEST_F(TerminalRequesterTest, MessagesReadTheChoiceOnTheTerminalOnly) {
    const EasyStruct message = {20, 0, "Tolvarn", "Run %s?", "Yes|Maybe|No"};
    const intptr_t args[] = {text("DOOM")};
    // clang-format off
    for (const auto& [typed, result, then] : {std::tuple{"1\n", 1, ""}, {"3\n", 0, ""},
             {"wrong\n maybe \n", 2, "Type a number from 1 to 3: "}, {"\x04", 0, "\r\n"}}) {
        // clang-format on
        Terminal terminal(typed);
        // Standard output may go anywhere: the conversation stays on the terminal.
        EXPECT_EQ(captureStdout([&] {
                      EXPECT_EQ(EasyRequestArgs(nullptr, &message, nullptr, args), result);
                  }),
                  "");
        EXPECT_TRUE(terminal.shows(
            std::string("\r\nTolvarn\r\nRun DOOM?\r\n1) Yes  2) Maybe  3) No  \r\nChoice: ") +
            then));
    }
}

TEST_F(TerminalRequesterTest, TimedNoticeWaitsAtMostItsTime) {
    const EasyStruct notice = {20, 0, "Tolvarn", "Press Ctrl-Alt-F9 to quit!", "OK"};
    // Unanswered it closes after its one second; Enter closes it at once.
    for (const auto& [typed, timeout, least, most] :
         {std::tuple{"", 1, 900ms, 20s}, {"\n", 60, 0ms, 20s}}) {
        Terminal terminal(typed);
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(platform::timedEasyRequest(&notice, nullptr, timeout), 0);
        const auto waited = std::chrono::steady_clock::now() - started;
        EXPECT_TRUE(waited >= least && waited < most) << timeout;
        EXPECT_TRUE(
            terminal.shows("Press Ctrl-Alt-F9 to quit!\r\n[OK] Press Enter(closes by itself in " +
                           std::to_string(timeout)));
    }
}

TEST(RequesterBackendChoice, FollowsTheSettingThenWhatIsThere) {
    using B = platform::internal::RequesterBackend;
    Sandbox sandbox;
    writeScript(sandbox.path("bin/zenity"), "");
    const std::string zenity = sandbox.path("bin"), noZenity = sandbox.makeDir("empty");
    const std::string wayland = sandbox.path("wayland-0");
    const int compositor = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{AF_UNIX, {}};
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", wayland.c_str());
    ASSERT_EQ(::bind(compositor, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::listen(compositor, 1);
    const char *remote = "otherhost:0", *unreachable = ":987654"; // a remote one is taken on trust
    // clang-format off
    const struct {
        const char *setting, *display, *waylandDisplay; const std::string& path; bool onTerminal; B expected;
    } cases[] = {
        {"none", remote, nullptr, zenity, true, B::none},
        {"terminal", remote, nullptr, zenity, false, B::terminal},
        {"gui", nullptr, nullptr, zenity, false, B::gui},
        {"gui", remote, nullptr, noZenity, true, B::none},
        {"bogus", remote, nullptr, zenity, false, B::gui},
        {nullptr, nullptr, wayland.c_str(), zenity, false, B::gui},
        {nullptr, remote, nullptr, noZenity, true, B::terminal},
        {nullptr, unreachable, "no-such-wayland", zenity, true, B::terminal},
        {nullptr, unreachable, nullptr, zenity, false, B::none},
    };
    // clang-format on
    const auto value = [](const char* v) {
        return v ? std::optional<std::string>(v) : std::nullopt;
    };
    for (const auto& c : cases) {
        ScopedVariable setting("TOLVARN_REQUESTER", value(c.setting)),
            display("DISPLAY", value(c.display)), path("PATH", c.path),
            waylandDisplay("WAYLAND_DISPLAY", value(c.waylandDisplay));
        const int savedInput = ::dup(STDIN_FILENO), nothing = ::open("/dev/null", O_RDONLY);
        std::optional<Terminal> terminal;
        if (c.onTerminal)
            terminal.emplace();
        else
            ::dup2(nothing, STDIN_FILENO);
        EXPECT_EQ(platform::internal::chooseRequesterBackend(), c.expected)
            << (c.setting ? c.setting : "-") << " " << (c.display ? c.display : "-") << " "
            << c.path;
        terminal.reset();
        ::dup2(savedInput, STDIN_FILENO);
        ::close(nothing);
        ::close(savedInput);
    }
    ::close(compositor);
}

} // namespace
} // namespace tolvarn::testing
