#include "platform/asl.h"
#include "platform/dos.h"
#include "platform/intuition.h"

#include "hostTesting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

using namespace tolvarn::testing;

namespace {

intptr_t text(const char* value) {
    return reinterpret_cast<intptr_t>(value);
}

class RequesterTest : public ::testing::Test {
  protected:
    void TearDown() override { expectNothingOutstanding(); }

    Sandbox sandbox_;
    ScopedVariable backend_{"TOLVARN_REQUESTER", "none"};
};

TEST_F(RequesterTest, WithNobodyToAskMessagesGoToStandardErrorAndFilesCancel) {
    const EasyStruct message = {20, 0, "Tolvarn", "Cannot find \"%s\"", "Retry|Cancel"};
    const EasyStruct untitled = {20, 0, nullptr, "just text", "OK"};
    const intptr_t args[] = {text("GAME.EXE")};
    const auto started = std::chrono::steady_clock::now();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(EasyRequestArgs(nullptr, &message, nullptr, args), 0);
    EXPECT_EQ(tolvarn::platform::timedEasyRequest(&untitled, nullptr, 30), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Tolvarn: Cannot find \"GAME.EXE\"\njust text\n");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));

    const TagItem tags[] = {
        {ASLFR_InitialDrawer, text("/tmp")}, {ASLFR_InitialFile, text("A.EXE")}, {TAG_DONE, 0}};
    auto* requester = static_cast<FileRequester*>(AllocAslRequest(ASL_FileRequest, tags));
    EXPECT_EQ(tolvarn::platform::outstanding().requesters, 1);
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

/// A stand-in for zenity that logs its arguments and answers as told.
class ZenityRequesterTest : public RequesterTest {
  protected:
    void SetUp() override {
        writeScript(sandbox_.path("bin/zenity"), "printf '%s\\0' \"$@\" > \"$FAKE_ZENITY_LOG\"\n"
                                                 "[ -n \"$REPLY\" ] && printf '%s\\n' \"$REPLY\"\n"
                                                 "exit $STATUS");
    }
    void answer(const std::string& reply, int status) {
        setenv("REPLY", reply.c_str(), 1);
        setenv("STATUS", std::to_string(status).c_str(), 1);
    }
    bool zenityGot(const std::string& argument) {
        const auto got = nulSeparated(readFile(sandbox_.path("zenity.log")));
        return std::find(got.begin(), got.end(), argument) != got.end();
    }

    ScopedVariable gui_{"TOLVARN_REQUESTER", "gui"}, path_{"PATH", sandbox_.path("bin") + ":/bin"};
    ScopedVariable log_{"FAKE_ZENITY_LOG", sandbox_.path("zenity.log")};
    ScopedVariable reply_{"REPLY", std::nullopt}, status_{"STATUS", std::nullopt};
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
    EXPECT_EQ(tolvarn::platform::timedEasyRequest(&notice, nullptr, 2), 0);
    for (const char* expected : {"--info", "--ok-label=OK", "--timeout=2"})
        EXPECT_TRUE(zenityGot(expected)) << expected;
}

TEST_F(ZenityRequesterTest, FillsDrawerAndFileFromTheChoice) {
    const std::string games = sandbox_.makeDir("Games"), otherCase = sandbox_.path("games");
    const TagItem more[] = {{ASLFR_DoPatterns, DOSTRUE}, {TAG_DONE, 0}};
    const TagItem tags[] = {{ASLFR_TitleText, text("Tolvarn")},
                            {ASLFR_InitialDrawer, text(otherCase.c_str())},
                            {ASLFR_InitialPattern, text("#?.(exe|com|bat)")},
                            {TAG_MORE, reinterpret_cast<intptr_t>(more)}};
    void* requester = AllocAslRequest(ASL_FileRequest, tags);
    const auto* visible = static_cast<FileRequester*>(requester);
    answer("/home/me/dos games/DOOM.EXE", 0);
    ASSERT_EQ(AslRequest(requester, nullptr), DOSTRUE);
    EXPECT_STREQ(visible->fr_Drawer, "/home/me/dos games");
    EXPECT_STREQ(visible->fr_File, "DOOM.EXE");
    EXPECT_EQ(visible->fr_NumArgs, 0);
    for (const std::string& expected :
         {std::string("--title=Tolvarn"), "--filename=" + games + "/",
          std::string("--file-filter=*.exe *.com *.bat | *.[eE][xX][eE] "
                      "*.[cC][oO][mM] *.[bB][aA][tT]")})
        EXPECT_TRUE(zenityGot(expected)) << expected;
    answer("/FILE.COM", 0);
    ASSERT_EQ(AslRequest(requester, nullptr), DOSTRUE);
    EXPECT_STREQ(visible->fr_Drawer, "/");
    EXPECT_STREQ(visible->fr_File, "FILE.COM");
    answer("", 1);
    EXPECT_EQ(AslRequest(requester, nullptr), DOSFALSE);
    FreeAslRequest(requester);

    // Drawers only, starting at a "drawer" that is no folder at all: the dialog starts anywhere.
    const TagItem drawers[] = {{ASLFR_InitialDrawer, text("Choose an MS-DOS program to run!")},
                               {ASLFR_Flags2, FRF_DRAWERSONLY},
                               {TAG_DONE, 0}};
    requester = AllocAslRequest(ASL_FileRequest, drawers);
    answer("/opt/DOSBox", 0);
    ASSERT_EQ(AslRequest(requester, nullptr), DOSTRUE);
    EXPECT_STREQ(static_cast<FileRequester*>(requester)->fr_Drawer, "/opt/DOSBox");
    EXPECT_STREQ(static_cast<FileRequester*>(requester)->fr_File, "");
    EXPECT_TRUE(zenityGot("--directory"));
    EXPECT_FALSE(zenityGot("--filename=Choose an MS-DOS program to run!/"));
    FreeAslRequest(requester);
}

TEST_F(ZenityRequesterTest, MultiSelectionListsEachChoiceWithALockOnItsFolder) {
    const std::string games = sandbox_.makeDir("games");
    const TagItem tags[] = {{ASLFR_Flags1, FRF_DOMULTISELECT}, {TAG_DONE, 0}};
    void* requester = AllocAslRequest(ASL_FileRequest, tags);
    const auto* visible = static_cast<FileRequester*>(requester);
    answer(games + "/A.EXE\n" + games + "/b c.bat", 0);
    ASSERT_EQ(AslRequest(requester, nullptr), DOSTRUE);
    ASSERT_EQ(visible->fr_NumArgs, 2);
    EXPECT_STREQ(visible->fr_ArgList[1].wa_Name, "b c.bat");
    char name[512];
    ASSERT_EQ(NameFromLock(visible->fr_ArgList[1].wa_Lock, name, sizeof name), DOSTRUE);
    EXPECT_EQ(name, games);
    EXPECT_EQ(tolvarn::platform::outstanding().locks, 2);
    answer(games + "/only.exe", 0); // a new answer gives the old locks back
    ASSERT_EQ(AslRequest(requester, nullptr), DOSTRUE);
    EXPECT_EQ(tolvarn::platform::outstanding().locks, 1);
    FreeAslRequest(requester);
}

} // namespace
