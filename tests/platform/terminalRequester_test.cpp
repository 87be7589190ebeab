#include "platform/asl.h"
#include "platform/intuition.h"
#include "platform/requesterBackends.h"

#include "hostTesting.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

using tolvarn::platform::internal::chooseRequesterBackend;
using tolvarn::platform::internal::RequesterBackend;
using tolvarn::testing::captureStdout;
using tolvarn::testing::expectNothingOutstanding;
using tolvarn::testing::Sandbox;
using tolvarn::testing::ScopedVariable;

namespace {

using namespace std::chrono_literals;

/// A pseudo-terminal that stands in for the person: while it lives, standard input and standard
/// error are its terminal side, and a thread reads what the program shows and types the
/// scripted answers once the text it waits for has appeared.
class PersonAtTerminal {
  public:
    /// Each step: the text to wait for (since the previous step), then the line to type (a
    /// line feed is added; "\x04" alone types end-of-input instead).
    using Script = std::vector<std::pair<std::string, std::string>>;

    explicit PersonAtTerminal(Script script) : script_(std::move(script)) {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
            throw std::runtime_error("no pseudo-terminal");
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
    }
    PersonAtTerminal(const PersonAtTerminal&) = delete;
    PersonAtTerminal& operator=(const PersonAtTerminal&) = delete;

    /// Everything the program showed (and the terminal echoed) so far.
    std::string screen() {
        std::lock_guard lock(mutex_);
        return screen_;
    }
    bool scriptDone() const { return step_ == script_.size(); }

  private:
    void play() {
        size_t searchFrom = 0;
        auto waitingSince = std::chrono::steady_clock::now();
        while (!stop_) {
            pollfd output{master_, POLLIN, 0};
            if (::poll(&output, 1, 20) > 0) {
                char buffer[1024];
                const ssize_t count = ::read(master_, buffer, sizeof buffer);
                if (count > 0) {
                    std::lock_guard lock(mutex_);
                    screen_.append(buffer, static_cast<size_t>(count));
                }
            }
            if (step_ >= script_.size())
                continue;
            const auto& [waitFor, typed] = script_[step_];
            size_t found;
            {
                std::lock_guard lock(mutex_);
                found = screen_.find(waitFor, searchFrom);
            }
            if (found != std::string::npos) {
                searchFrom = found + waitFor.size();
                const std::string keys = typed == "\x04" ? typed : typed + "\n";
                // Counted before typing: the program may be done before write() returns.
                ++step_;
                [[maybe_unused]] const ssize_t written = ::write(master_, keys.data(), keys.size());
                waitingSince = std::chrono::steady_clock::now();
            } else if (std::chrono::steady_clock::now() - waitingSince > 10s) {
                // The program never asked: end its input so that it cannot wait forever.
                ADD_FAILURE() << "never shown: " << waitFor;
                step_ = script_.size();
                const char endOfInput = '\x04';
                [[maybe_unused]] const ssize_t written = ::write(master_, &endOfInput, 1);
            }
        }
    }

    Script script_;
    int master_ = -1, terminal_ = -1, savedInput_ = -1, savedError_ = -1;
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

    /// Runs a file requester with the given tags in the terminal.
    int32_t askFile(const std::vector<TagItem>& tags, std::string& drawer, std::string& file,
                    const PersonAtTerminal::Script& script, std::string* screen = nullptr) {
        PersonAtTerminal person(script);
        void* requester = AllocAslRequest(ASL_FileRequest, tags.data());
        const int32_t answer = AslRequest(requester, nullptr);
        const auto* visible = static_cast<FileRequester*>(requester);
        drawer = visible->fr_Drawer;
        file = visible->fr_File;
        FreeAslRequest(requester);
        EXPECT_TRUE(person.scriptDone());
        if (screen != nullptr)
            *screen = person.screen();
        return answer;
    }

    Sandbox sandbox_;
    ScopedVariable backend_{"TOLVARN_REQUESTER", "terminal"};
};

TEST_F(TerminalRequesterTest, ReadsATypedPath) {
    const std::string games = sandbox_.makeDir("Games");
    sandbox_.writeFile("Games/doom.exe", "MZ");
    const std::vector<TagItem> tags = {{ASLFR_TitleText, text("Tolvarn")},
                                       {ASLFR_InitialDrawer, text(games.c_str())},
                                       {ASLFR_InitialPattern, text("#?.(exe|com|bat)")},
                                       {ASLFR_DoPatterns, DOSTRUE},
                                       {TAG_DONE, 0}};
    std::string drawer, file, screen;
    // Relative to the starting folder, in any letter case; a folder is no file.
    EXPECT_EQ(askFile(tags, drawer, file,
                      {{"Path (an empty line cancels): ", ".."},
                       {"folder, not a file", "missing/x"},
                       {"No such folder", "DOOM.EXE"}},
                      &screen),
              DOSTRUE);
    EXPECT_EQ(drawer, games);
    EXPECT_EQ(file, "doom.exe");
    EXPECT_NE(screen.find("Tolvarn"), std::string::npos);
    EXPECT_NE(screen.find("#?.(exe|com|bat)"), std::string::npos);

    // An absolute path, and a name that does not exist yet is still an answer.
    EXPECT_EQ(askFile(tags, drawer, file, {{"Path", sandbox_.path("work/new file.bat")}}), DOSTRUE);
    EXPECT_EQ(drawer, sandbox_.work());
    EXPECT_EQ(file, "new file.bat");
}

TEST_F(TerminalRequesterTest, AnEmptyLineOrEndOfInputCancels) {
    const std::vector<TagItem> tags = {{ASLFR_InitialDrawer, text("/tmp")}, {TAG_DONE, 0}};
    std::string drawer, file;
    EXPECT_EQ(askFile(tags, drawer, file, {{"Path", ""}}), DOSFALSE);
    EXPECT_EQ(drawer, "/tmp"); // untouched by a cancel
    EXPECT_EQ(askFile(tags, drawer, file, {{"Path", "\x04"}}), DOSFALSE);
}

TEST_F(TerminalRequesterTest, DrawersOnlyAsksAgainUntilItIsAFolder) {
    sandbox_.makeDir("DOSBox");
    sandbox_.writeFile("work/plain.txt", "");
    const std::vector<TagItem> tags = {{ASLFR_Flags2, FRF_DRAWERSONLY}, {TAG_DONE, 0}};
    std::string drawer, file, screen;
    EXPECT_EQ(askFile(tags, drawer, file,
                      {{"Choose a folder", "nosuch"},
                       {"Not a folder: nosuch", "plain.txt"},
                       {"Not a folder: plain.txt", sandbox_.path("dosbox")}},
                      &screen),
              DOSTRUE);
    EXPECT_EQ(drawer, sandbox_.path("DOSBox"));
    EXPECT_EQ(file, "");
}

TEST_F(TerminalRequesterTest, MessagesListTheButtonsAndReadTheChoice) {
    const EasyStruct message = {20, 0, "Tolvarn", "Run %s?", "Yes|Maybe|No"};
    const intptr_t args[] = {text("DOOM")};
    const struct {
        PersonAtTerminal::Script script;
        int32_t result;
    } cases[] = {
        {{{"Choice: ", "1"}}, 1},    {{{"Choice: ", "wrong"}, {"from 1 to 3", " maybe "}}, 2},
        {{{"Choice: ", "3"}}, 0},    {{{"Choice: ", "NO"}}, 0},
        {{{"Choice: ", "\x04"}}, 0},
    };
    for (const auto& c : cases) {
        PersonAtTerminal person(c.script);
        std::string printed = captureStdout(
            [&] { EXPECT_EQ(EasyRequestArgs(nullptr, &message, nullptr, args), c.result); });
        // The conversation stays on the terminal even when standard output goes elsewhere.
        EXPECT_EQ(printed, "");
        EXPECT_NE(person.screen().find("Run DOOM?"), std::string::npos);
        EXPECT_NE(person.screen().find("2) Maybe"), std::string::npos);
    }
}

TEST_F(TerminalRequesterTest, TimedNoticeWaitsAtMostItsTime) {
    const EasyStruct notice = {20, 0, "Tolvarn", "Press Ctrl-Alt-F9 to quit!", "OK"};
    {
        PersonAtTerminal person(PersonAtTerminal::Script{});
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(tolvarn::platform::timedEasyRequest(&notice, nullptr, 1), 0);
        const auto waited = std::chrono::steady_clock::now() - started;
        EXPECT_GE(waited, 900ms);
        EXPECT_LT(waited, 5s);
        EXPECT_NE(person.screen().find("Press Ctrl-Alt-F9 to quit!"), std::string::npos);
    }
    {
        PersonAtTerminal person(PersonAtTerminal::Script{{"Press Enter", ""}});
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(tolvarn::platform::timedEasyRequest(&notice, nullptr, 20), 0);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
    }
}

/// A listening local socket, standing in for a display server.
class ListeningSocket {
  public:
    explicit ListeningSocket(const std::string& path) {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(fd_, 4) != 0)
            ADD_FAILURE() << "cannot listen on " << path;
    }
    ~ListeningSocket() { ::close(fd_); }
    ListeningSocket(const ListeningSocket&) = delete;
    ListeningSocket& operator=(const ListeningSocket&) = delete;

  private:
    int fd_ = -1;
};

TEST(RequesterBackendChoice, FollowsTheSettingThenWhatIsThere) {
    Sandbox sandbox;
    const std::string bin = sandbox.makeDir("bin");
    tolvarn::testing::writeScript(bin + "/zenity", "exit 0");
    const std::string withZenity = bin;
    const std::string withoutZenity = sandbox.makeDir("empty");
    const std::string waylandSocket = sandbox.path("wayland-test");
    ListeningSocket compositor(waylandSocket);
    const char* remote = "otherhost:0"; // taken on trust
    const char* unreachable = ":987654";
    const struct {
        const char* setting;
        const char* display;
        const char* wayland;
        const std::string& path;
        bool onTerminal;
        RequesterBackend expected;
    } cases[] = {
        {"none", remote, nullptr, withZenity, true, RequesterBackend::none},
        {"terminal", remote, nullptr, withZenity, false, RequesterBackend::terminal},
        {"gui", nullptr, nullptr, withZenity, false, RequesterBackend::gui},
        {"gui", remote, nullptr, withoutZenity, true, RequesterBackend::none},
        {nullptr, remote, nullptr, withZenity, true, RequesterBackend::gui},
        {"bogus", remote, nullptr, withZenity, false, RequesterBackend::gui},
        {nullptr, nullptr, waylandSocket.c_str(), withZenity, false, RequesterBackend::gui},
        {nullptr, remote, nullptr, withoutZenity, true, RequesterBackend::terminal},
        {nullptr, unreachable, nullptr, withZenity, true, RequesterBackend::terminal},
        {nullptr, unreachable, "no-such-wayland", withZenity, false, RequesterBackend::none},
        {nullptr, "", nullptr, withZenity, true, RequesterBackend::terminal},
        {nullptr, nullptr, nullptr, withZenity, false, RequesterBackend::none},
    };
    const auto optional = [](const char* value) {
        return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << (c.setting ? c.setting : "(unset)") << " display "
                                          << (c.display ? c.display : "(unset)") << " wayland "
                                          << (c.wayland ? c.wayland : "(unset)") << " " << c.path
                                          << " terminal " << c.onTerminal);
        ScopedVariable setting("TOLVARN_REQUESTER", optional(c.setting));
        ScopedVariable display("DISPLAY", optional(c.display));
        ScopedVariable wayland("WAYLAND_DISPLAY", optional(c.wayland));
        ScopedVariable path("PATH", c.path);
        if (c.onTerminal) {
            PersonAtTerminal person(PersonAtTerminal::Script{});
            EXPECT_EQ(chooseRequesterBackend(), c.expected);
        } else {
            const int savedInput = ::dup(STDIN_FILENO);
            const int nothing = ::open("/dev/null", O_RDONLY);
            ::dup2(nothing, STDIN_FILENO);
            EXPECT_EQ(chooseRequesterBackend(), c.expected);
            ::dup2(savedInput, STDIN_FILENO);
            ::close(nothing);
            ::close(savedInput);
        }
    }
}

} // namespace
