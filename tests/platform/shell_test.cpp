#include "platform/commandLine.h"
#include "platform/dos.h"
#include "platform/hostPaths.h"

#include "hostTesting.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

using tolvarn::platform::quoteShellItem;
using tolvarn::testing::expectNothingOutstanding;
using tolvarn::testing::nulSeparated;
using tolvarn::testing::printArgumentsScript;
using tolvarn::testing::readFile;
using tolvarn::testing::Sandbox;
using tolvarn::testing::ScopedVariable;
using tolvarn::testing::writeScript;

namespace fs = std::filesystem;

namespace {

class ShellCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        bin_ = sandbox_.makeDir("bin");
        path_.emplace("PATH", bin_ + ":/usr/bin:/bin");
        writeScript(bin_ + "/showargs",
                    std::string("printf '%s\\0' \"$0\"; ") + printArgumentsScript);
        writeScript(bin_ + "/status", "exit $1");
        writeScript(bin_ + "/where", "pwd -P");
    }
    void TearDown() override { expectNothingOutstanding(); }

    /// Runs `command` and returns what it printed, from the file it was redirected to.
    std::vector<std::string> argumentsSeen(const std::string& command) {
        const std::string out = sandbox_.path("seen");
        EXPECT_EQ(
            SystemTagList(("showargs >" + quoteShellItem(out) + " " + command).c_str(), nullptr),
            0);
        return nulSeparated(readFile(out));
    }

    Sandbox sandbox_;
    std::string bin_;
    std::optional<ScopedVariable> path_;
};

TEST_F(ShellCommandTest, ResultIsTheCommandsExitStatus) {
    const struct {
        const char* command;
        int32_t result;
    } cases[] = {
        {"status 0", 0},     {"status 5", 5},     {"status 10", 10},
        {"status 127", 127}, {"\"status\" 3", 3}, {"  status\t7  ", 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        EXPECT_EQ(SystemTagList(c.command, nullptr), c.result);
    }
    writeScript(bin_ + "/crash", "kill -SEGV $$");
    EXPECT_EQ(SystemTagList("crash", nullptr), 20);
}

TEST_F(ShellCommandTest, WhatCannotRunGivesMinusOneAndRunsNothing) {
    sandbox_.writeFile("bin/notrunnable", "#!/bin/sh\ntouch " + sandbox_.path("ran") + "\n");
    writeScript(bin_ + "/marker", "touch " + sandbox_.path("ran"));
    const struct {
        const char* command;
        int32_t ioErr;
    } cases[] = {
        {"nosuchcommand", ERROR_OBJECT_NOT_FOUND},
        {"/bin/nosuchcommand", ERROR_OBJECT_NOT_FOUND},
        {"notrunnable", ERROR_OBJECT_NOT_FOUND},
        {"/usr", ERROR_OBJECT_WRONG_TYPE},
        {"marker \"unclosed", ERROR_BAD_TEMPLATE},
        {"marker >", ERROR_BAD_TEMPLATE},
        {"\"\" marker", ERROR_BAD_TEMPLATE},
        {"marker <nosuchinput", ERROR_OBJECT_NOT_FOUND},
        {"marker >nosuchfolder/out", ERROR_DIR_NOT_FOUND},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        SetIoErr(0);
        EXPECT_EQ(SystemTagList(c.command, nullptr), -1);
        EXPECT_EQ(IoErr(), c.ioErr);
    }
    EXPECT_FALSE(fs::exists(sandbox_.path("ran")));
    EXPECT_EQ(SystemTagList(nullptr, nullptr), 1);
    EXPECT_EQ(SystemTagList(" \t ", nullptr), 0);
}

TEST_F(ShellCommandTest, ArgumentsArriveOneByOneWhateverTheyHold) {
    const std::vector<std::string> torture = {
        "",
        "two words",
        "/home/me/My Games/\"Doom\" II/*.EXE",
        "star*star**",
        "quote\"inside",
        "line\nfeed",
        "esc\x1b",
        "Grüße/ゲーム/игра",
        ">not redirected",
        "; touch pwned",
        "$(touch pwned)",
        "`touch pwned`",
        "~",
    };
    std::string command;
    for (const std::string& item : torture)
        command += quoteShellItem(item) + " ";
    const auto seen = argumentsSeen(command);
    ASSERT_EQ(seen.size(), torture.size() + 1);
    EXPECT_EQ(std::vector<std::string>(seen.begin() + 1, seen.end()), torture);
    // Host shell syntax, unquoted, is just more items.
    EXPECT_EQ(argumentsSeen("a;b $(id) * ?"),
              (std::vector<std::string>{seen[0], "a;b", "$(id)", "*", "?"}));
    EXPECT_FALSE(fs::exists(sandbox_.path("work/pwned")));
}

TEST_F(ShellCommandTest, RedirectsOutputAndInput) {
    EXPECT_EQ(SystemTagList("where >NIL:", nullptr), 0);
    EXPECT_EQ(SystemTagList("where >nil:", nullptr), 0);
    EXPECT_TRUE(fs::is_empty(sandbox_.work()));

    EXPECT_EQ(SystemTagList("where >out.txt", nullptr), 0);
    EXPECT_EQ(readFile(sandbox_.path("work/out.txt")), sandbox_.work() + "\n");
    EXPECT_EQ(SystemTagList("where >>OUT.TXT", nullptr), 0); // the existing file, in any case
    EXPECT_EQ(readFile(sandbox_.path("work/out.txt")),
              sandbox_.work() + "\n" + sandbox_.work() + "\n");

    writeScript(bin_ + "/copy", "cat");
    sandbox_.writeFile("work/in.txt", "from the file\n");
    EXPECT_EQ(SystemTagList("copy <in.txt >\"copied file\"", nullptr), 0);
    EXPECT_EQ(readFile(sandbox_.path("work/copied file")), "from the file\n");
}

TEST_F(ShellCommandTest, RunsInTheFolderItIsGiven) {
    sandbox_.makeDir("Elsewhere");
    const BPTR elsewhere = Lock(sandbox_.path("elsewhere").c_str(), SHARED_LOCK);
    ASSERT_NE(elsewhere, nullptr);
    const TagItem tags[] = {{NP_StackSize, 640000},
                            {NP_CurrentDir, reinterpret_cast<intptr_t>(elsewhere)},
                            {TAG_DONE, 0}};
    // Relative redirections start there too.
    EXPECT_EQ(SystemTagList("where >here", tags), 0);
    EXPECT_EQ(readFile(sandbox_.path("Elsewhere/here")), sandbox_.path("Elsewhere") + "\n");

    const TagItem ignored[] = {
        {NP_StackSize, 0}, {TAG_IGNORE, 0}, {NP_CurrentDir, 0}, {TAG_DONE, 0}};
    EXPECT_EQ(SystemTagList("where >here", ignored), 0);
    EXPECT_EQ(readFile(sandbox_.path("work/here")), sandbox_.work() + "\n");

    // The process's current directory, as the layer knows it.
    const BPTR old = CurrentDir(elsewhere);
    EXPECT_EQ(SystemTagList("where >again", nullptr), 0);
    CurrentDir(old);
    EXPECT_EQ(readFile(sandbox_.path("Elsewhere/again")), sandbox_.path("Elsewhere") + "\n");
    UnLock(elsewhere);
}

TEST_F(ShellCommandTest, FindsCommandsIgnoringLetterCase) {
    writeScript(bin_ + "/Mixed", "exit 11");
    EXPECT_EQ(SystemTagList("mIXED", nullptr), 11);
    EXPECT_EQ(SystemTagList((bin_ + "/MIXED").c_str(), nullptr), 11);
    EXPECT_EQ(SystemTagList("/USR/BIN/TRUE", nullptr), 0);
    // An exact match beats one in another letter case.
    writeScript(bin_ + "/mixed", "exit 12");
    EXPECT_EQ(SystemTagList("mixed", nullptr), 12);
    EXPECT_EQ(SystemTagList("Mixed", nullptr), 11);
}

TEST_F(ShellCommandTest, RunsALinkByItsOwnName) {
    fs::create_symlink(bin_ + "/showargs", bin_ + "/alias");
    EXPECT_EQ(argumentsSeen("").at(0), bin_ + "/showargs");
    const std::string out = sandbox_.path("seen");
    EXPECT_EQ(SystemTagList(("ALIAS >" + quoteShellItem(out)).c_str(), nullptr), 0);
    EXPECT_EQ(nulSeparated(readFile(out)).at(0), bin_ + "/alias");
}

TEST_F(ShellCommandTest, NeverRunsAFileFromTheCurrentDirectory) {
    writeScript(sandbox_.path("work/trap"), "/usr/bin/touch " + sandbox_.path("sprung"));
    ScopedVariable path("PATH", ".::work:" + bin_);
    SetIoErr(0);
    EXPECT_EQ(SystemTagList("trap", nullptr), -1);
    EXPECT_EQ(IoErr(), ERROR_OBJECT_NOT_FOUND);
    EXPECT_FALSE(fs::exists(sandbox_.path("sprung")));
    // Named with its folder, it is what was asked for.
    EXPECT_EQ(SystemTagList((sandbox_.work() + "/trap").c_str(), nullptr), 0);
    EXPECT_TRUE(fs::exists(sandbox_.path("sprung")));
}

TEST_F(ShellCommandTest, LooksInTheProgramsFolderFirst) {
    const std::string name = "TolvarnProbe" + std::to_string(::getpid());
    const std::string inProgramFolder =
        writeScript(tolvarn::platform::internal::programDirectory() + "/" + name, "exit 21");
    writeScript(bin_ + "/" + name, "exit 22");
    EXPECT_EQ(SystemTagList(name.c_str(), nullptr), 21);
    EXPECT_EQ(SystemTagList(("tolvarnprobe" + std::to_string(::getpid())).c_str(), nullptr), 21);
    EXPECT_EQ(SystemTagList(("PROGDIR:" + name).c_str(), nullptr), 21);
    fs::remove(inProgramFolder);
    EXPECT_EQ(SystemTagList(name.c_str(), nullptr), 22);
}

} // namespace
