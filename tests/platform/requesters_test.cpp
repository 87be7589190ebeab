#include "platform/asl.h"
#include "platform/dos.h"
#include "platform/intuition.h"

#include "hostTesting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <list>
#include <string>
#include <vector>

using tolvarn::testing::expectNothingOutstanding;
using tolvarn::testing::nulSeparated;
using tolvarn::testing::readFile;
using tolvarn::testing::Sandbox;
using tolvarn::testing::ScopedVariable;
using tolvarn::testing::writeScript;

namespace {

using Strings = std::vector<std::string>;

intptr_t text(const char* value) {
    return reinterpret_cast<intptr_t>(value);
}

bool contains(const Strings& items, const std::string& wanted) {
    return std::find(items.begin(), items.end(), wanted) != items.end();
}

class RequesterTest : public ::testing::Test {
  protected:
    void TearDown() override { expectNothingOutstanding(); }

    Sandbox sandbox_;
};

TEST_F(RequesterTest, WithoutAnyoneToAskMessagesGoToStandardErrorAtOnce) {
    ScopedVariable backend("TOLVARN_REQUESTER", "none");
    const EasyStruct message = {20, 0, "Tolvarn", "ERROR: Cannot find the file \"%s\"",
                                "Retry|%s|Cancel"};
    const intptr_t args[] = {text("GAME.EXE"), text("Skip")};
    const auto started = std::chrono::steady_clock::now();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(EasyRequestArgs(nullptr, &message, nullptr, args), 0);
    EXPECT_EQ(tolvarn::platform::timedEasyRequest(&message, args, 30), 0);
    const EasyStruct untitled = {20, 0, nullptr, "just text", "OK"};
    EXPECT_EQ(EasyRequestArgs(nullptr, &untitled, nullptr, nullptr), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Tolvarn: ERROR: Cannot find the file \"GAME.EXE\"\n"
              "Tolvarn: ERROR: Cannot find the file \"GAME.EXE\"\n"
              "just text\n");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

TEST_F(RequesterTest, WithoutAnyoneToAskFileRequestersCancel) {
    ScopedVariable backend("TOLVARN_REQUESTER", "none");
    const TagItem tags[] = {{ASLFR_TitleText, text("Tolvarn")},
                            {ASLFR_InitialDrawer, text("/tmp")},
                            {ASLFR_InitialFile, text("GAME.EXE")},
                            {TAG_DONE, 0}};
    auto* requester = static_cast<FileRequester*>(AllocAslRequest(ASL_FileRequest, tags));
    ASSERT_NE(requester, nullptr);
    EXPECT_EQ(tolvarn::platform::outstanding().requesters, 1);
    // Before any answer the requester shows what it starts with.
    EXPECT_STREQ(requester->fr_Drawer, "/tmp");
    EXPECT_STREQ(requester->fr_File, "GAME.EXE");
    EXPECT_EQ(AslRequest(requester, nullptr), DOSFALSE);
    EXPECT_EQ(requester->fr_NumArgs, 0);
    FreeAslRequest(requester);

    EXPECT_EQ(AllocAslRequest(1, tags), nullptr); // only file requesters exist here
    FreeAslRequest(nullptr);
    int notARequester = 0;
    EXPECT_EQ(AslRequest(&notARequester, nullptr), DOSFALSE);
    FreeAslRequest(&notARequester);
}

/// Runs the requesters against a stand-in for zenity that logs its arguments and answers as
/// told.
class ZenityRequesterTest : public RequesterTest {
  protected:
    void SetUp() override {
        const std::string bin = sandbox_.makeDir("bin");
        writeScript(bin + "/zenity",
                    "printf '%s\\0' \"$@\" > \"$FAKE_ZENITY_LOG\"\n"
                    "[ -n \"$FAKE_ZENITY_REPLY\" ] && printf '%s\\n' \"$FAKE_ZENITY_REPLY\"\n"
                    "exit ${FAKE_ZENITY_STATUS:-0}");
        variables_.emplace_back("PATH", bin + ":/usr/bin:/bin");
        variables_.emplace_back("TOLVARN_REQUESTER", "gui");
        variables_.emplace_back("FAKE_ZENITY_LOG", sandbox_.path("zenity.log"));
    }

    /// The next run of zenity prints `reply` and ends with `status`.
    void answer(const std::string& reply, int status) {
        setenv("FAKE_ZENITY_REPLY", reply.c_str(), 1);
        setenv("FAKE_ZENITY_STATUS", std::to_string(status).c_str(), 1);
    }
    Strings zenityArguments() { return nulSeparated(readFile(sandbox_.path("zenity.log"))); }

    std::list<ScopedVariable> variables_;
    ScopedVariable reply_{"FAKE_ZENITY_REPLY", std::nullopt};
    ScopedVariable status_{"FAKE_ZENITY_STATUS", std::nullopt};
};

TEST_F(ZenityRequesterTest, NumbersButtonsFromTheLeftAndTheRightmostZero) {
    const EasyStruct message = {20, 0, "Tolvarn", "Disk %s\\%s", "Yes|%s|No"};
    const intptr_t args[] = {text("C:"), text("GAMES"), text("May|be")};
    const struct {
        const char* reply;
        int status;
        int32_t result;
    } cases[] = {
        {"Yes", 1, 1}, {"May|be", 1, 2}, {"No", 1, 0}, {"", 1, 0}, {"", 5, 0}, {"Unknown", 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        answer(c.reply, c.status);
        EXPECT_EQ(EasyRequestArgs(nullptr, &message, nullptr, args), c.result);
    }
    const Strings arguments = zenityArguments();
    EXPECT_TRUE(contains(arguments, "--question"));
    EXPECT_TRUE(contains(arguments, "--switch"));
    EXPECT_TRUE(contains(arguments, "--title=Tolvarn"));
    EXPECT_TRUE(contains(arguments, "--text=Disk C:\\\\GAMES")); // a backslash stays one
    EXPECT_TRUE(contains(arguments, "--extra-button=May|be"));
    EXPECT_EQ(std::count_if(arguments.begin(), arguments.end(),
                            [](const std::string& a) { return a.starts_with("--extra-button="); }),
              3);
}

TEST_F(ZenityRequesterTest, ShowsNoticesThatCloseThemselves) {
    const EasyStruct notice = {20, 0, "Tolvarn", "Press Ctrl-Alt-F9 to quit!", "OK"};
    answer("", 5);
    EXPECT_EQ(tolvarn::platform::timedEasyRequest(&notice, nullptr, 2), 0);
    Strings arguments = zenityArguments();
    EXPECT_TRUE(contains(arguments, "--info"));
    EXPECT_TRUE(contains(arguments, "--ok-label=OK"));
    EXPECT_TRUE(contains(arguments, "--timeout=2"));
    answer("", 0);
    EXPECT_EQ(EasyRequestArgs(nullptr, &notice, nullptr, nullptr), 0);
    EXPECT_FALSE(contains(zenityArguments(), "--timeout=2"));
}

TEST_F(ZenityRequesterTest, FillsDrawerAndFileFromTheChoice) {
    const std::string games = sandbox_.makeDir("Games");
    const std::string otherCase = sandbox_.root() + "/games";
    const TagItem more[] = {{ASLFR_DoPatterns, DOSTRUE}, {ASLFR_Flags2, 0}, {TAG_DONE, 0}};
    const TagItem tags[] = {{ASLFR_TitleText, text("Tolvarn")},
                            {ASLFR_InitialShowVolumes, DOSFALSE},
                            {ASLFR_InitialDrawer, text(otherCase.c_str())},
                            {ASLFR_InitialPattern, text("#?.(exe|com|bat)")},
                            {ASLFR_Flags1, 0},
                            {TAG_MORE, reinterpret_cast<intptr_t>(more)}};
    void* requester = AllocAslRequest(ASL_FileRequest, tags);
    auto* visible = static_cast<FileRequester*>(requester);

    answer("/home/me/dos games/DOOM.EXE", 0);
    ASSERT_EQ(AslRequest(requester, nullptr), DOSTRUE);
    EXPECT_STREQ(visible->fr_Drawer, "/home/me/dos games");
    EXPECT_STREQ(visible->fr_File, "DOOM.EXE");
    EXPECT_EQ(visible->fr_NumArgs, 0);
    const Strings arguments = zenityArguments();
    EXPECT_TRUE(contains(arguments, "--file-selection"));
    EXPECT_TRUE(contains(arguments, "--title=Tolvarn"));
    EXPECT_TRUE(contains(arguments, "--filename=" + games + "/"));
    EXPECT_TRUE(
        contains(arguments,
                 "--file-filter=*.exe *.com *.bat | *.[eE][xX][eE] *.[cC][oO][mM] *.[bB][aA][tT]"));
    EXPECT_FALSE(contains(arguments, "--directory"));

    answer("/FILE.COM", 0);
    ASSERT_EQ(AslRequest(requester, nullptr), DOSTRUE);
    EXPECT_STREQ(visible->fr_Drawer, "/");
    EXPECT_STREQ(visible->fr_File, "FILE.COM");

    answer("", 1);
    EXPECT_EQ(AslRequest(requester, nullptr), DOSFALSE);
    FreeAslRequest(requester);
}

TEST_F(ZenityRequesterTest, DrawersOnlyGivesTheFolderAndAnEmptyFile) {
    // The drawer the launcher hands over may be no folder at all: the dialog then starts anywhere.
    const TagItem tags[] = {{ASLFR_InitialDrawer, text("Choose an MS-DOS program to run!")},
                            {ASLFR_InitialPattern, text("#?.exe")},
                            {ASLFR_DoPatterns, DOSTRUE},
                            {ASLFR_Flags2, FRF_DRAWERSONLY},
                            {TAG_DONE, 0}};
    void* requester = AllocAslRequest(ASL_FileRequest, tags);
    auto* visible = static_cast<FileRequester*>(requester);
    answer("/opt/DOSBox", 0);
    ASSERT_EQ(AslRequest(requester, nullptr), DOSTRUE);
    EXPECT_STREQ(visible->fr_Drawer, "/opt/DOSBox");
    EXPECT_STREQ(visible->fr_File, "");
    const Strings arguments = zenityArguments();
    EXPECT_TRUE(contains(arguments, "--directory"));
    for (const std::string& argument : arguments) {
        EXPECT_FALSE(argument.starts_with("--filename=")) << argument;
        EXPECT_FALSE(argument.starts_with("--file-filter=")) << argument;
    }
    FreeAslRequest(requester);
}

TEST_F(ZenityRequesterTest, MultiSelectionListsEachChoiceWithALockOnItsFolder) {
    const std::string games = sandbox_.makeDir("games");
    const TagItem tags[] = {{ASLFR_Flags1, FRF_DOMULTISELECT | FRF_DOSAVEMODE}, {TAG_DONE, 0}};
    void* requester = AllocAslRequest(ASL_FileRequest, tags);
    auto* visible = static_cast<FileRequester*>(requester);

    answer(games + "/A.EXE\n" + games + "/b c.bat", 0);
    ASSERT_EQ(AslRequest(requester, nullptr), DOSTRUE);
    ASSERT_EQ(visible->fr_NumArgs, 2);
    EXPECT_STREQ(visible->fr_ArgList[0].wa_Name, "A.EXE");
    EXPECT_STREQ(visible->fr_ArgList[1].wa_Name, "b c.bat");
    for (int index = 0; index < 2; ++index) {
        char name[512];
        ASSERT_EQ(NameFromLock(visible->fr_ArgList[index].wa_Lock, name, sizeof name), DOSTRUE);
        EXPECT_EQ(name, games);
    }
    EXPECT_TRUE(contains(zenityArguments(), "--multiple"));
    EXPECT_TRUE(contains(zenityArguments(), "--save"));
    EXPECT_EQ(tolvarn::platform::outstanding().locks, 2);

    // A new answer gives the old locks back.
    answer(games + "/only.exe", 0);
    ASSERT_EQ(AslRequest(requester, nullptr), DOSTRUE);
    EXPECT_EQ(visible->fr_NumArgs, 1);
    EXPECT_EQ(tolvarn::platform::outstanding().locks, 1);
    FreeAslRequest(requester);
}

TEST_F(ZenityRequesterTest, WithoutZenityAskingForTheDialogShowsNothing) {
    ScopedVariable path("PATH", sandbox_.path("empty"));
    const TagItem none[] = {{TAG_DONE, 0}};
    void* requester = AllocAslRequest(ASL_FileRequest, none);
    EXPECT_EQ(AslRequest(requester, nullptr), DOSFALSE);
    FreeAslRequest(requester);
    const EasyStruct message = {20, 0, "T", "x", "A|B"};
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(EasyRequestArgs(nullptr, &message, nullptr, nullptr), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "T: x\n");
}

} // namespace
