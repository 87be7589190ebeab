#include "platform/asl.h"
#include "platform/intuition.h"
#include "platform/requesterBackends.h"

#include "hostTesting.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace tolvarn::testing;
using tolvarn::platform::internal::chooseRequesterBackend;
using tolvarn::platform::internal::RequesterBackend;
using namespace std::chrono_literals;

namespace {

/// A pseudo-terminal standing in for the person: while it lives it is standard input and
/// standard error, and a thread types each scripted line once the text it waits for has shown.
class PersonAtTerminal {
  public:
    /// Steps of (text to wait for, line to type); "\x04" types end-of-input.
    using Script = std::vector<std::pair<std::string, std::string>>;

    explicit PersonAtTerminal(Script script) : script_(std::move(script)) {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        ::grantpt(master_);
        ::unlockpt(master_);
        terminal_ = ::open(::ptsname(master_), O_RDWR | O_NOCTTY);
        savedInput_ = ::dup(STDIN_FILENO);
        savedError_ = ::dup(STDERR_FILENO);
        ::dup2(terminal_, STDIN_FILENO);
        ::dup2(terminal_, STDERR_FILENO);
        person_ = std::thread([this] { play(); });
    }
    ~PersonAtTerminal() {
        stop_ = true;
        person_.join();
        ::dup2(savedInput_, STDIN_FILENO);
        ::dup2(savedError_, STDERR_FILENO);
        for (int fd : {savedInput_, savedError_, terminal_, master_})
            ::close(fd);
        EXPECT_EQ(step_, script_.size()) << "the program stopped asking early";
    }
    std::string screen() {
        std::lock_guard lock(mutex_);
        return screen_;
    }

  private:
    void play() {
        size_t searchFrom = 0;
        auto since = std::chrono::steady_clock::now();
        while (!stop_) {
            pollfd output{master_, POLLIN, 0};
            char buffer[1024];
            ssize_t count = 0;
            if (::poll(&output, 1, 20) > 0 &&
                (count = ::read(master_, buffer, sizeof buffer)) > 0) {
                std::lock_guard lock(mutex_);
                screen_.append(buffer, static_cast<size_t>(count));
            }
            if (step_ == script_.size())
                continue;
            const auto& [waitFor, typed] = script_[step_];
            const size_t found = screen().find(waitFor, searchFrom);
            std::string keys = typed == "\x04" ? typed : typed + "\n";
            if (found == std::string::npos && std::chrono::steady_clock::now() - since < 10s)
                continue;
            if (found == std::string::npos) {
                ADD_FAILURE() << "never shown: " << waitFor;
                keys = "\x04"; // so that the program cannot wait forever
            }
            searchFrom = found + waitFor.size();
            ++step_; // counted first: the program may be done before write() returns
            since = std::chrono::steady_clock::now();
            [[maybe_unused]] const ssize_t written = ::write(master_, keys.data(), keys.size());
        }
    }

    Script script_;
    int master_, terminal_, savedInput_, savedError_;
    std::mutex mutex_;
    std::string screen_;
    std::atomic<size_t> step_ = 0;
    std::atomic<bool> stop_ = false;
    std::thread person_;
};

intptr_t text(const char* value) {
    return reinterpret_cast<intptr_t>(value);
}

class TerminalRequesterTest : public ::testing::Test {
  protected:
    void TearDown() override { expectNothingOutstanding(); }

    /// Runs a file requester; returns its answer, the drawer and file it shows, and the screen.
    std::tuple<int32_t, std::string, std::string, std::string>
    askFile(const std::vector<TagItem>& tags, PersonAtTerminal::Script script) {
        PersonAtTerminal person(std::move(script));
        void* requester = AllocAslRequest(ASL_FileRequest, tags.data());
        const int32_t answer = AslRequest(requester, nullptr);
        const auto* visible = static_cast<FileRequester*>(requester);
        std::tuple result{answer, std::string(visible->fr_Drawer), std::string(visible->fr_File),
                          person.screen()};
        FreeAslRequest(requester);
        return result;
    }

    Sandbox sandbox_;
    ScopedVariable backend_{"TOLVARN_REQUESTER", "terminal"};
};

TEST_F(TerminalRequesterTest, ReadsATypedPathOrCancels) {
    const std::string games = sandbox_.makeDir("Games");
    sandbox_.writeFile("Games/doom.exe", "MZ");
    const std::vector<TagItem> tags = {{ASLFR_TitleText, text("Tolvarn")},
                                       {ASLFR_InitialDrawer, text(games.c_str())},
                                       {ASLFR_InitialPattern, text("#?.(exe|com|bat)")},
                                       {ASLFR_DoPatterns, DOSTRUE},
                                       {TAG_DONE, 0}};
    // Relative to the starting folder, in any letter case; a folder is no file.
    auto [answer, drawer, file, screen] = askFile(tags, {{"Path (an empty line cancels): ", ".."},
                                                         {"not a file", "missing/x"},
                                                         {"No such folder", "DOOM.EXE"}});
    EXPECT_EQ(answer, DOSTRUE);
    EXPECT_EQ(drawer + "|" + file, games + "|doom.exe");
    EXPECT_NE(screen.find("Tolvarn\r\nChoose a file. Names matching #?.(exe|com|bat)."),
              std::string::npos);

    // A name that does not exist yet is still an answer.
    std::tie(answer, drawer, file, screen) =
        askFile(tags, {{"Path", sandbox_.path("work/new file.bat")}});
    EXPECT_EQ(drawer + "|" + file, sandbox_.work() + "|new file.bat");

    for (const char* cancel : {"", "\x04"}) {
        std::tie(answer, drawer, file, screen) = askFile(tags, {{"Path", cancel}});
        EXPECT_EQ(answer, DOSFALSE);
        EXPECT_EQ(drawer, games); // untouched by a cancel
    }
}

TEST_F(TerminalRequesterTest, DrawersOnlyAsksAgainUntilItIsAFolder) {
    sandbox_.makeDir("DOSBox");
    sandbox_.writeFile("work/plain.txt", "");
    const auto [answer, drawer, file, screen] =
        askFile({{ASLFR_Flags2, FRF_DRAWERSONLY}, {TAG_DONE, 0}},
                {{"Choose a folder", "nosuch"},
                 {"Not a folder: nosuch", "plain.txt"},
                 {"Not a folder: plain.txt", sandbox_.path("dosbox")}});
    EXPECT_EQ(answer, DOSTRUE);
    EXPECT_EQ(drawer + "|" + file, sandbox_.path("DOSBox") + "|");
}

TEST_F(TerminalRequesterTest, MessagesReadTheChoiceOnTheTerminalOnly) {
    const EasyStruct message = {20, 0, "Tolvarn", "Run %s?", "Yes|Maybe|No"};
    const intptr_t args[] = {text("DOOM")};
    const struct {
        PersonAtTerminal::Script script;
        int32_t result;
    } cases[] = {
        {{{"Choice: ", "1"}}, 1},
        {{{"Choice: ", "wrong"}, {"from 1 to 3", " maybe "}}, 2},
        {{{"Choice: ", "3"}}, 0},
        {{{"Choice: ", "\x04"}}, 0},
    };
    for (const auto& c : cases) {
        PersonAtTerminal person(c.script);
        // Standard output may go anywhere: the conversation stays on the terminal.
        EXPECT_EQ(captureStdout([&] {
                      EXPECT_EQ(EasyRequestArgs(nullptr, &message, nullptr, args), c.result);
                  }),
                  "");
        EXPECT_NE(person.screen().find("Run DOOM?\r\n1) Yes  2) Maybe  3) No"), std::string::npos);
    }
}

TEST_F(TerminalRequesterTest, TimedNoticeWaitsAtMostItsTime) {
    const EasyStruct notice = {20, 0, "Tolvarn", "Press Ctrl-Alt-F9 to quit!", "OK"};
    for (const auto& [script, timeout, least, most] :
         {std::tuple{PersonAtTerminal::Script{}, 1, 900ms, 5000ms},
          std::tuple{PersonAtTerminal::Script{{"Press Enter", ""}}, 20, 0ms, 10000ms}}) {
        PersonAtTerminal person(script);
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(tolvarn::platform::timedEasyRequest(&notice, nullptr, timeout), 0);
        const auto waited = std::chrono::steady_clock::now() - started;
        EXPECT_TRUE(waited >= least && waited < most);
        EXPECT_NE(person.screen().find("Press Ctrl-Alt-F9 to quit!"), std::string::npos);
    }
}

TEST(RequesterBackendChoice, FollowsTheSettingThenWhatIsThere) {
    Sandbox sandbox;
    writeScript(sandbox.path("bin/zenity"), "");
    const std::string zenity = sandbox.path("bin"), noZenity = sandbox.makeDir("empty");
    const std::string wayland = sandbox.path("wayland-0");
    const int compositor = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{AF_UNIX, {}};
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", wayland.c_str());
    ASSERT_EQ(::bind(compositor, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::listen(compositor, 1);
    using B = RequesterBackend;
    const char *remote = "otherhost:0", *unreachable = ":987654"; // a remote one is taken on trust
    const struct {
        const char *setting, *display, *waylandDisplay;
        const std::string& path;
        bool onTerminal;
        B expected;
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
    const auto value = [](const char* v) {
        return v ? std::optional<std::string>(v) : std::nullopt;
    };
    for (const auto& c : cases) {
        ScopedVariable setting("TOLVARN_REQUESTER", value(c.setting)),
            display("DISPLAY", value(c.display));
        ScopedVariable waylandDisplay("WAYLAND_DISPLAY", value(c.waylandDisplay)),
            path("PATH", c.path);
        std::optional<PersonAtTerminal> person;
        if (c.onTerminal)
            person.emplace(PersonAtTerminal::Script{});
        const int savedInput = ::dup(STDIN_FILENO), nothing = ::open("/dev/null", O_RDONLY);
        if (!c.onTerminal)
            ::dup2(nothing, STDIN_FILENO);
        EXPECT_EQ(chooseRequesterBackend(), c.expected)
            << (c.setting ? c.setting : "-") << " " << (c.display ? c.display : "-") << " "
            << c.path;
        ::dup2(savedInput, STDIN_FILENO);
        ::close(nothing);
        ::close(savedInput);
    }
    ::close(compositor);
}

} // namespace
