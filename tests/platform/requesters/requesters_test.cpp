// File and message requesters: with nobody to ask, through a stand-in for zenity that logs its
// arguments and answers as told, through the real zenity on a private Xvfb display, and in a
// terminal; and the choice between them.
#include "platform/exec/consoleWindow.h"
#include "platform/host/host.h"
#include "platform/requesters/asl.h"
#include "platform/requesters/intuition.h"
#include "platform/requesters/requesters.h"
#include "platform/shell/process.h"

#include "../layerTesting.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <future>
#include <memory>
#include <sstream>
#include <thread>

using namespace std::chrono_literals;

namespace tolvarn::testing {
namespace {

using Words = std::vector<std::string>;

TEST_F(HostLayerTest, WithNobodyToAskMessagesGoToStandardError) {
    ScopedVariable backend{"TOLVARN_REQUESTER", "none"};
    const EasyStruct message = {20, 0, "Tolvarn", "Cannot find \"%s\": %ld %lu %lx%%", "Retry|OK"};
    const EasyStruct untitled = {20, 0, nullptr, "[%s|%ld] %q", "OK"};
    const intptr_t args[] = {text("%s.EXE"), -5, -1, 255};
    const auto started = std::chrono::steady_clock::now();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(EasyRequestArgs(nullptr, &message, nullptr, args), 0);
    EXPECT_EQ(platform::timedEasyRequest(&untitled, nullptr, 30), 0);
    // Values are never formats; without an argument array the codes stay empty.
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Tolvarn: Cannot find \"%s.EXE\": -5 4294967295 ff%\n[|0] %q\n");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
}

class ZenityRequesterTest : public HostLayerTest {
  protected:
    /// Makes the next zenity log its arguments, answer `reply` and end with `status`.
    void answer(const std::string& reply, int status) const {
        writeScript(sandbox.path("bin/zenity"),
                    "printf '%s\\0' \"$@\" >'" + sandbox.path("zenity.log") + "'\n" +
                        (reply.empty() ? "" : "printf '%s\\n' '" + reply + "'\n") + "exit " +
                        std::to_string(status));
    }
    /// The arguments the last zenity got, after its own name.
    Words zenityGot() const { return nulSeparated(readFile(sandbox.path("zenity.log"))); }
    ScopedVariable gui{"TOLVARN_REQUESTER", "gui"}, path{"PATH", sandbox.path("bin") + ":/bin"};
};

TEST_F(ZenityRequesterTest, MessagesNumberTheButtonsFromTheLeftAndTheRightmostZero) {
    const EasyStruct message = {20, 0, "Tolvarn", "Disk %s\\%s", "Yes|%s|No"};
    const intptr_t args[] = {text("C:"), text("GAMES"), text("May|be")};
    // clang-format off
    for (const auto& [reply, status, result] :
         {std::tuple{"Yes", 1, 1}, {"May|be", 1, 2}, {"No", 1, 0}, {"", 5, 0}, {"x", 1, 0}}) {
        // clang-format on
        answer(reply, status);
        EXPECT_EQ(EasyRequestArgs(nullptr, &message, nullptr, args), result) << reply;
    }
    EXPECT_EQ(zenityGot(), (Words{"--question", "--no-markup", "--title=Tolvarn",
                                  "--text=Disk C:\\\\GAMES", "--switch", "--extra-button=Yes",
                                  "--extra-button=May|be", "--extra-button=No"}));
}

TEST_F(ZenityRequesterTest, FileRequestersFillDrawerFileAndArgumentsFromTheChoice) {
    const std::string games = sandbox.makeDir("Games"), otherCase = sandbox.path("games");
    const TagItem more[] = {{ASLFR_DoPatterns, DOSTRUE}, {TAG_DONE, 0}};
    const std::vector<TagItem> patterns = {{ASLFR_TitleText, text("Tolvarn")},
                                           {ASLFR_InitialDrawer, text(otherCase.c_str())},
                                           {ASLFR_InitialPattern, text("#?.(exe|com|bat)")},
                                           {TAG_MORE, reinterpret_cast<intptr_t>(more)}};
    // Drawers only, starting at a "drawer" that is no folder at all: the dialog starts anywhere
    // and shows that text as its question.
    const std::vector<TagItem> drawers = {{ASLFR_TitleText, text("Tolvarn")},
                                          {ASLFR_InitialDrawer, text("Pick one!")},
                                          {ASLFR_Flags2, FRF_DRAWERSONLY},
                                          {TAG_DONE, 0}};
    const Words filtered = {"--file-selection", "--title=Tolvarn", "--filename=" + games + "/",
                            "--file-filter=*.exe *.com *.bat | *.[eE][xX][eE] *.[cC][oO][mM] "
                            "*.[bB][aA][tT]",
                            "--file-filter=All files | *"};
    // clang-format off
    const struct { const std::vector<TagItem>& tags; std::string reply; int status; std::string shown; Words got; } cases[] = {
        {patterns, "/home/me/dos games/DOOM.EXE", 0, "-1|/home/me/dos games|DOOM.EXE|0", filtered},
        {patterns, "", 1, "0|" + otherCase + "||0", filtered}, // closed
        {drawers, "/opt/DOSBox", 0, "-1|/opt/DOSBox||0",
         {"--file-selection", "--title=Tolvarn: Pick one!", "--directory"}},
    };
    // clang-format on
    for (const auto& test : cases) {
        auto* requester =
            static_cast<FileRequester*>(AllocAslRequest(ASL_FileRequest, test.tags.data()));
        answer(test.reply, test.status);
        const int32_t result = AslRequest(requester, nullptr);
        EXPECT_EQ(std::to_string(result) + "|" + requester->fr_Drawer + "|" + requester->fr_File +
                      "|" + std::to_string(requester->fr_NumArgs),
                  test.shown);
        EXPECT_EQ(zenityGot(), test.got) << test.reply;
        FreeAslRequest(requester);
    }
    // A multiple choice lists each with a lock on its folder, locked by its host path as it is.
    const std::string folder = sandbox.makeDir("dos:games");
    const TagItem multiple[] = {{ASLFR_Flags1, FRF_DOMULTISELECT}, {TAG_DONE, 0}};
    auto* requester = static_cast<FileRequester*>(AllocAslRequest(ASL_FileRequest, multiple));
    answer(folder + "/A.EXE\n" + folder + "/b c.bat", 0);
    ASSERT_EQ(AslRequest(requester, nullptr), DOSTRUE);
    EXPECT_EQ(zenityGot(), (Words{"--file-selection", "--multiple", "--separator=\n"}));
    ASSERT_EQ(requester->fr_NumArgs, 2);
    EXPECT_STREQ(requester->fr_ArgList[1].wa_Name, "b c.bat");
    char name[512];
    ASSERT_EQ(NameFromLock(requester->fr_ArgList[1].wa_Lock, name, sizeof name), DOSTRUE);
    EXPECT_EQ(name, folder);
    answer(folder + "/only.exe", 0); // a new answer gives the old locks back
    ASSERT_EQ(AslRequest(requester, nullptr), DOSTRUE);
    EXPECT_EQ(platform::outstanding().locks, 1);
    FreeAslRequest(requester);
}

/// Plays the person who closes a dialog unanswered: waits for a zenity that this process or one
/// of its children started, leaves it up long enough to show its window, then closes it.
/// Returns whether there was one.
std::future<bool> closeZenityLater() {
    const std::string self = std::to_string(::getpid());
    const std::string find = "pgrep -n -x zenity -P \"$(pgrep -d, -P " + self + ")," + self + "\"";
    return std::async(std::launch::async, [find] {
        for (int tries = 0; tries < 600; ++tries, std::this_thread::sleep_for(50ms)) {
            const std::unique_ptr<FILE, int (*)(FILE*)> found(::popen(find.c_str(), "r"), ::pclose);
            pid_t zenity = 0;
            if (found && std::fscanf(found.get(), "%d", &zenity) == 1) {
                std::this_thread::sleep_for(1500ms);
                return ::kill(zenity, SIGTERM) == 0;
            }
        }
        return false;
    });
}

TEST_F(HostLayerTest, TheRealZenityShowsTheNoticeForItsTimeAndTheFileDialogAndConsoleUntilClosed) {
    if (platform::findInHostPath("Xvfb").empty() || platform::findInHostPath("zenity").empty())
        GTEST_SKIP() << "the desktop dialogs need zenity and Xvfb (Debian packages zenity, xvfb)";
    // The server tells its process number, then picks a free display and tells that.
    pid_t serverId = 0;
    const auto stop = [&serverId](FILE* server) {
        if (serverId > 0)
            ::kill(serverId, SIGTERM);
        ::pclose(server);
    };
    const std::unique_ptr<FILE, decltype(stop)> server(
        ::popen("echo $$; exec Xvfb -displayfd 1 -nolisten tcp 2>/dev/null", "r"), stop);
    int display = -1;
    if (!server || std::fscanf(server.get(), "%d %d", &serverId, &display) != 2)
        GTEST_SKIP() << "Xvfb is installed but did not start a display";
    ScopedVariable automatic{"TOLVARN_REQUESTER", std::nullopt}, wayland{"WAYLAND_DISPLAY", {}},
        screen{"DISPLAY", ":" + std::to_string(display)}, bridge{"NO_AT_BRIDGE", "1"},
        settings{"GSETTINGS_BACKEND", "memory"}; // no accessibility bus or settings daemon here
    const EasyStruct notice = {20, 0, "Tolvarn", "Press Ctrl-F9 to quit!", "OK"};
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(platform::timedEasyRequest(&notice, nullptr, 1), 0);
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_TRUE(took >= 900ms && took < 30s);
    // A file dialog closed unanswered cancels: zenity took the arguments, or it would have ended
    // at once with an error of its own.
    const TagItem tags[] = {{ASLFR_InitialPattern, text("#?.(exe|com|bat)")},
                            {ASLFR_DoPatterns, DOSTRUE},
                            {TAG_DONE, 0}};
    void* requester = AllocAslRequest(ASL_FileRequest, tags);
    auto closed = closeZenityLater();
    EXPECT_EQ(AslRequest(requester, nullptr), DOSFALSE);
    EXPECT_TRUE(closed.get());
    FreeAslRequest(requester);
    // The console window of a desktop start opens with the first output and holds the program
    // until it is closed.
    closed = closeZenityLater();
    {
        platform::internal::ConsoleWindow window;
        std::printf("A line for the window\n");
    }
    EXPECT_TRUE(closed.get());
}

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
        ::dup2(terminal, STDIN_FILENO);
        ::dup2(terminal, STDERR_FILENO);
        ::close(terminal);
        EXPECT_EQ(::write(master_, typed.data(), typed.size()), std::ssize(typed));
    }
    ~Terminal() {
        ::dup2(savedInput_, STDIN_FILENO);
        ::dup2(savedError_, STDERR_FILENO);
        for (const int fd : {savedInput_, savedError_, master_})
            ::close(fd);
    }
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
    int master_, savedInput_ = ::dup(STDIN_FILENO), savedError_ = ::dup(STDERR_FILENO);
    std::string screen_;
};

TEST_F(HostLayerTest, TerminalMessagesReadTheChoiceThereOnlyAndTimedOnesCloseByThemselves) {
    ScopedVariable backend{"TOLVARN_REQUESTER", "terminal"};
    const EasyStruct message = {20, 0, "Tolvarn", "Run %s?", "Yes|Maybe|No"};
    const intptr_t args[] = {text("DOOM")};
    // clang-format off
    for (const auto& [typed, result, then] : {std::tuple{"1\n", 1, ""}, {"3\n", 0, ""},
             {"wrong\n maybe \n", 2, "Type a number from 1 to 3: "}, {"\x04", 0, "\r\n"}}) {
        // clang-format on
        Terminal terminal(typed);
        // Standard output may go anywhere: the conversation stays on the terminal.
        // A named capture: clang before 16 cannot capture a structured binding.
        EXPECT_EQ(captureStdout([&, expected = result] {
                      EXPECT_EQ(EasyRequestArgs(nullptr, &message, nullptr, args), expected);
                  }),
                  "");
        EXPECT_TRUE(terminal.shows(
            std::string("\r\nTolvarn\r\nRun DOOM?\r\n1) Yes  2) Maybe  3) No  \r\nChoice: ") +
            then));
    }
    // Unanswered, a timed notice closes after its one second.
    const EasyStruct notice = {20, 0, "Tolvarn", "Press Ctrl-F9 to quit!", "OK"};
    Terminal terminal;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(platform::timedEasyRequest(&notice, nullptr, 1), 0);
    const auto waited = std::chrono::steady_clock::now() - started;
    EXPECT_TRUE(waited >= 900ms && waited < 20s);
    EXPECT_TRUE(
        terminal.shows("Press Ctrl-F9 to quit!\r\n[OK] Press Enter (closes by itself in 1"));
}

/// Runs a file requester on the terminal with `typed` typed ahead and checks that `shown`
/// showed. Returns its answer, then the drawer and file it holds, as "answer|drawer|file".
std::string askFile(const std::vector<TagItem>& tags, const std::string& typed,
                    const std::string& shown) {
    Terminal terminal(typed);
    auto* requester = static_cast<FileRequester*>(AllocAslRequest(ASL_FileRequest, tags.data()));
    const int32_t answer = AslRequest(requester, nullptr);
    std::string result =
        std::to_string(answer) + "|" + requester->fr_Drawer + "|" + requester->fr_File;
    FreeAslRequest(requester);
    EXPECT_TRUE(terminal.shows(shown)) << shown;
    return result;
}

TEST_F(HostLayerTest, TerminalFileRequestersTakeTypedPathsAskAgainOrCancel) {
    ScopedVariable backend{"TOLVARN_REQUESTER", "terminal"};
    const std::string games = sandbox.makeDir("Games");
    const std::string prompt = "\r\nPath (an empty line cancels): ";
    sandbox.writeFile("Games/doom.exe", "MZ");
    const std::vector<TagItem> tags = {{ASLFR_TitleText, text("Tolvarn")},
                                       {ASLFR_InitialDrawer, text(games.c_str())},
                                       {ASLFR_InitialPattern, text("#?.(exe|com|bat)")},
                                       {ASLFR_DoPatterns, DOSTRUE},
                                       {TAG_DONE, 0}};
    // Relative to the starting folder, in any letter case; a folder is no file.
    EXPECT_EQ(askFile(tags, "..\nmissing/x\nDOOM.EXE\n",
                      "\r\nTolvarn\r\nChoose a file. Names ending in .exe, .com or .bat.\r\n"
                      "Relative paths start in " +
                          games + prompt + "That is a folder, not a file: .." + prompt +
                          "No such folder: missing/x" + prompt),
              "-1|" + games + "|doom.exe");
    for (const char* cancel : {"\n", "\x04"})
        EXPECT_EQ(askFile(tags, cancel, prompt), "0|" + games + "|");
}

TEST(RequesterBackendChoice, FollowsTheSettingThenWhatIsThere) {
    using B = platform::internal::RequesterBackend;
    Sandbox sandbox;
    writeScript(sandbox.path("bin/zenity"), "");
    const std::string zenity = sandbox.path("bin"), noZenity = sandbox.makeDir("empty");
    using Text = std::optional<std::string>;
    const Text remote = "otherhost:0", unreachable = ":987654"; // a remote one is taken on trust
    // clang-format off
    const struct { Text setting, display, waylandDisplay; const std::string& path; bool onTerminal; B expected; } cases[] = {
        {"none", remote, {}, zenity, true, B::none}, {"terminal", remote, {}, zenity, false, B::terminal},
        {"gui", {}, {}, zenity, false, B::gui}, {"gui", remote, {}, noZenity, true, B::none},
        {{}, remote, {}, noZenity, true, B::terminal},
        {{}, unreachable, "no-such-wayland", zenity, true, B::terminal},
        {{}, unreachable, {}, zenity, false, B::none}, {"bogus", remote, {}, zenity, true, B::gui}, // as unset
    };
    // clang-format on
    for (const auto& c : cases) {
        ScopedVariable setting("TOLVARN_REQUESTER", c.setting), display("DISPLAY", c.display),
            path("PATH", c.path), waylandDisplay("WAYLAND_DISPLAY", c.waylandDisplay);
        Terminal terminal; // puts standard input back however it is changed here
        if (!c.onTerminal) {
            const int nothing = ::open("/dev/null", O_RDONLY);
            ::dup2(nothing, STDIN_FILENO);
            ::close(nothing);
        }
        EXPECT_EQ(platform::internal::chooseRequesterBackend(), c.expected)
            << c.setting.value_or("-") << " " << c.display.value_or("-") << " " << c.path;
    }
}

} // namespace
} // namespace tolvarn::testing
