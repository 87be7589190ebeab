// File and message requesters with nobody to ask, through a stand-in for zenity that logs its
// arguments and answers as told, and through the real zenity on a private Xvfb display.
#include "platform/asl.h"
#include "platform/intuition.h"
#include "platform/process.h"

#include "layerTesting.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <future>
#include <thread>

using namespace std::chrono_literals;

namespace tolvarn::testing {
namespace {

class RequesterTest : public HostLayerTest {
  protected:
    ScopedVariable backend{"TOLVARN_REQUESTER", "none"};
};

TEST_F(RequesterTest, WithNobodyToAskMessagesGoToStandardErrorAndFilesCancel) {
    const EasyStruct message = {20, 0, "Tolvarn", "Cannot find \"%s\"", "Retry|Cancel"};
    const EasyStruct untitled = {20, 0, nullptr, "just text", "OK"};
    const intptr_t args[] = {text("GAME.EXE")};
    const auto started = std::chrono::steady_clock::now();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(EasyRequestArgs(nullptr, &message, nullptr, args), 0);
    EXPECT_EQ(platform::timedEasyRequest(&untitled, nullptr, 30), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Tolvarn: Cannot find \"GAME.EXE\"\njust text\n");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));

    const TagItem tags[] = {
        {ASLFR_InitialDrawer, text("/tmp")}, {ASLFR_InitialFile, text("A.EXE")}, {TAG_DONE, 0}};
    auto* requester = static_cast<FileRequester*>(AllocAslRequest(ASL_FileRequest, tags));
    EXPECT_EQ(platform::outstanding().requesters, 1);
    EXPECT_STREQ(requester->fr_Drawer, "/tmp"); // what it starts with, until an answer
    EXPECT_STREQ(requester->fr_File, "A.EXE");
    EXPECT_EQ(AslRequest(requester, nullptr), DOSFALSE);
    FreeAslRequest(requester);
    EXPECT_EQ(AllocAslRequest(1, tags), nullptr); // only file requesters exist here
    int stranger = 0;
    EXPECT_EQ(AslRequest(&stranger, nullptr), DOSFALSE);
    FreeAslRequest(&stranger);
    FreeAslRequest(nullptr);
}

class ZenityRequesterTest : public RequesterTest {
  protected:
    void SetUp() override {
        writeScript(sandbox.path("bin/zenity"), "printf '%s\\0' \"$@\" > \"$FAKE_ZENITY_LOG\"\n"
                                                "[ -n \"$REPLY\" ] && printf '%s\\n' \"$REPLY\"\n"
                                                "exit $STATUS");
    }
    void answer(const std::string& reply, int status) {
        setenv("REPLY", reply.c_str(), 1);
        setenv("STATUS", std::to_string(status).c_str(), 1);
    }
    bool zenityGot(const std::string& argument) {
        const auto got = nulSeparated(readFile(sandbox.path("zenity.log")));
        return std::find(got.begin(), got.end(), argument) != got.end();
    }

    ScopedVariable gui{"TOLVARN_REQUESTER", "gui"}, path{"PATH", sandbox.path("bin") + ":/bin"};
    ScopedVariable log{"FAKE_ZENITY_LOG", sandbox.path("zenity.log")};
    ScopedVariable reply{"REPLY", std::nullopt}, status{"STATUS", std::nullopt};
};

TEST_F(ZenityRequesterTest, NumbersButtonsFromTheLeftAndTheRightmostZero) {
    const EasyStruct message = {20, 0, "Tolvarn", "Disk %s\\%s", "Yes|%s|No"};
    const intptr_t args[] = {text("C:"), text("GAMES"), text("May|be")};
    const struct {
        const char* reply;
        int status;
        int32_t result;
    } cases[] = {{"Yes", 1, 1}, {"May|be", 1, 2}, {"No", 1, 0},
                 {"", 1, 0},    {"", 5, 0},       {"Other", 1, 0}};
    for (const auto& c : cases) {
        answer(c.reply, c.status);
        EXPECT_EQ(EasyRequestArgs(nullptr, &message, nullptr, args), c.result) << c.reply;
    }
    for (const char* expected :
         {"--question", "--switch", "--title=Tolvarn", "--text=Disk C:\\\\GAMES",
          "--extra-button=Yes", "--extra-button=May|be", "--extra-button=No"})
        EXPECT_TRUE(zenityGot(expected)) << expected;

    const EasyStruct notice = {20, 0, "Tolvarn", "Press Ctrl-Alt-F9 to quit!", "OK"};
    answer("", 5);
    EXPECT_EQ(platform::timedEasyRequest(&notice, nullptr, 2), 0);
    for (const char* expected : {"--info", "--ok-label=OK", "--timeout=2"})
        EXPECT_TRUE(zenityGot(expected)) << expected;
}

TEST_F(ZenityRequesterTest, FillsDrawerAndFileFromTheChoice) {
    const std::string games = sandbox.makeDir("Games"), otherCase = sandbox.path("games");
    const TagItem more[] = {{ASLFR_DoPatterns, DOSTRUE}, {TAG_DONE, 0}};
    const TagItem tags[] = {{ASLFR_TitleText, text("Tolvarn")},
                            {ASLFR_InitialDrawer, text(otherCase.c_str())},
                            {ASLFR_InitialPattern, text("#?.(exe|com|bat)")},
                            {TAG_MORE, reinterpret_cast<intptr_t>(more)}};
    auto* requester = static_cast<FileRequester*>(AllocAslRequest(ASL_FileRequest, tags));
    answer("/home/me/dos games/DOOM.EXE", 0);
    ASSERT_EQ(AslRequest(requester, nullptr), DOSTRUE);
    EXPECT_STREQ(requester->fr_Drawer, "/home/me/dos games");
    EXPECT_STREQ(requester->fr_File, "DOOM.EXE");
    EXPECT_EQ(requester->fr_NumArgs, 0);
    for (const std::string& expected :
         {std::string("--title=Tolvarn"), "--filename=" + games + "/",
          std::string("--file-filter=*.exe *.com *.bat | *.[eE][xX][eE] "
                      "*.[cC][oO][mM] *.[bB][aA][tT]")})
        EXPECT_TRUE(zenityGot(expected)) << expected;
    answer("/FILE.COM", 0);
    ASSERT_EQ(AslRequest(requester, nullptr), DOSTRUE);
    EXPECT_STREQ(requester->fr_Drawer, "/");
    EXPECT_STREQ(requester->fr_File, "FILE.COM");
    answer("", 1);
    EXPECT_EQ(AslRequest(requester, nullptr), DOSFALSE);
    FreeAslRequest(requester);

    // Drawers only, starting at a "drawer" that is no folder at all: the dialog starts anywhere.
    const TagItem drawers[] = {{ASLFR_InitialDrawer, text("Choose an MS-DOS program to run!")},
                               {ASLFR_Flags2, FRF_DRAWERSONLY},
                               {TAG_DONE, 0}};
    requester = static_cast<FileRequester*>(AllocAslRequest(ASL_FileRequest, drawers));
    answer("/opt/DOSBox", 0);
    ASSERT_EQ(AslRequest(requester, nullptr), DOSTRUE);
    EXPECT_STREQ(requester->fr_Drawer, "/opt/DOSBox");
    EXPECT_STREQ(requester->fr_File, "");
    EXPECT_TRUE(zenityGot("--directory"));
    EXPECT_FALSE(zenityGot("--filename=Choose an MS-DOS program to run!/"));
    FreeAslRequest(requester);
}

TEST_F(ZenityRequesterTest, MultiSelectionListsEachChoiceWithALockOnItsFolder) {
    const std::string games = sandbox.makeDir("dos:games"); // no device in a host name
    const TagItem tags[] = {{ASLFR_Flags1, FRF_DOMULTISELECT}, {TAG_DONE, 0}};
    auto* requester = static_cast<FileRequester*>(AllocAslRequest(ASL_FileRequest, tags));
    answer(games + "/A.EXE\n" + games + "/b c.bat", 0);
    ASSERT_EQ(AslRequest(requester, nullptr), DOSTRUE);
    ASSERT_EQ(requester->fr_NumArgs, 2);
    EXPECT_STREQ(requester->fr_ArgList[1].wa_Name, "b c.bat");
    char name[512];
    ASSERT_EQ(NameFromLock(requester->fr_ArgList[1].wa_Lock, name, sizeof name), DOSTRUE);
    EXPECT_EQ(name, games);
    EXPECT_EQ(platform::outstanding().locks, 2);
    answer(games + "/only.exe", 0); // a new answer gives the old locks back
    ASSERT_EQ(AslRequest(requester, nullptr), DOSTRUE);
    EXPECT_EQ(platform::outstanding().locks, 1);
    FreeAslRequest(requester);
}

/// Plays the person who closes the dialog unanswered: finds the zenity this process started
/// (through /proc), leaves it up long enough to show its window, then closes it. Returns whether
/// it was still there to close.
std::future<bool> closeTheDialogLater() {
    return std::async(std::launch::async, [] {
        for (const auto giveUp = std::chrono::steady_clock::now() + 30s;
             std::chrono::steady_clock::now() < giveUp; std::this_thread::sleep_for(50ms)) {
            for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
                const std::string stat = readFile(entry.path() / "stat");
                const size_t close = stat.rfind(')');
                if (close == std::string::npos || stat.find("(zenity)") == std::string::npos ||
                    std::atol(stat.c_str() + close + 4) != ::getpid()) // its parent
                    continue;
                std::this_thread::sleep_for(1500ms);
                return ::kill(std::atoi(entry.path().filename().c_str()), SIGTERM) == 0;
            }
        }
        return false;
    });
}

class GuiRequesterTest : public HostLayerTest {
  protected:
    void SetUp() override {
        if (platform::findInHostPath("Xvfb").empty() || platform::findInHostPath("zenity").empty())
            GTEST_SKIP()
                << "the desktop dialogs need zenity and Xvfb (Debian packages zenity, xvfb)";
        // The server tells its process number, then picks a free display and tells that.
        server = ::popen("echo $$; exec Xvfb -displayfd 1 -nolisten tcp 2>/dev/null", "r");
        int display = -1;
        if (server == nullptr || std::fscanf(server, "%d %d", &serverId, &display) != 2)
            GTEST_SKIP() << "Xvfb is installed but did not start a display";
        setenv("DISPLAY", (":" + std::to_string(display)).c_str(), 1);
    }
    void TearDown() override {
        if (serverId > 0)
            ::kill(serverId, SIGTERM);
        if (server != nullptr)
            ::pclose(server);
        HostLayerTest::TearDown();
    }

    FILE* server = nullptr;
    pid_t serverId = 0;
    ScopedVariable display{"DISPLAY", std::nullopt}, wayland{"WAYLAND_DISPLAY", std::nullopt};
    ScopedVariable automatic{"TOLVARN_REQUESTER", std::nullopt};
    ScopedVariable settings{"GSETTINGS_BACKEND", "memory"}, bridge{"NO_AT_BRIDGE", "1"};
};

TEST_F(GuiRequesterTest, TheNoticeClosesItselfInTimeAndUnansweredDialogsCancel) {
    const EasyStruct notice = {20, 0, "Tolvarn", "Press Ctrl-Alt-F9 to quit!", "OK"};
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(platform::timedEasyRequest(&notice, nullptr, 1), 0);
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_TRUE(took >= 900ms && took < 30s);

    const std::string games = sandbox.makeDir("Games");
    const TagItem tags[] = {{ASLFR_TitleText, text("Tolvarn")},
                            {ASLFR_InitialDrawer, text(games.c_str())},
                            {ASLFR_InitialPattern, text("#?.(exe|com|bat)")},
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
} // namespace tolvarn::testing
