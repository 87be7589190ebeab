#include "platform/commandLine.h"
#include "platform/dos.h"
#include "platform/hostPaths.h"

#include "hostTesting.h"

#include <gtest/gtest.h>

#include <unistd.h>

using tolvarn::platform::quoteShellItem;
using namespace tolvarn::testing;
namespace fs = std::filesystem;

namespace {

class ShellCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        writeScript(bin_ + "/showargs", "printf '%s\\0' \"$0\" \"$@\"");
        writeScript(bin_ + "/status", "exit $1");
        writeScript(bin_ + "/where", "pwd -P");
    }
    void TearDown() override { expectNothingOutstanding(); }

    /// What `showargs` received (its own path first) when run with `arguments`.
    std::vector<std::string> argumentsSeen(const std::string& name, const std::string& arguments) {
        const std::string out = sandbox_.path("seen");
        EXPECT_EQ(
            SystemTagList((name + " >" + quoteShellItem(out) + " " + arguments).c_str(), nullptr),
            0);
        return nulSeparated(readFile(out));
    }

    Sandbox sandbox_;
    std::string bin_ = sandbox_.makeDir("bin");
    ScopedVariable path_{"PATH", bin_ + ":/usr/bin:/bin"};
};

TEST_F(ShellCommandTest, ResultIsTheExitStatusOrMinusOneWhenNothingRan) {
    writeScript(bin_ + "/crash", "kill -SEGV $$");
    writeScript(bin_ + "/marker", "/usr/bin/touch " + sandbox_.path("ran"));
    sandbox_.writeFile("bin/notrunnable", "#!/bin/sh\n");
    const struct {
        const char* command;
        int32_t result, ioErr;
    } cases[] = {
        {"status 0", 0, 0},
        {"\"status\" 5", 5, 0},
        {"  status\t10  ", 10, 0},
        {"status 127", 127, 0},
        {"crash", 20, 0},
        {"nosuchcommand", -1, ERROR_OBJECT_NOT_FOUND},
        {"notrunnable", -1, ERROR_OBJECT_NOT_FOUND},
        {"/usr", -1, ERROR_OBJECT_WRONG_TYPE},
        {"marker \"unclosed", -1, ERROR_BAD_TEMPLATE},
        {"marker <nosuchinput", -1, ERROR_OBJECT_NOT_FOUND},
        {"marker >nosuchfolder/out", -1, ERROR_DIR_NOT_FOUND},
        {" \t ", 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        SetIoErr(0);
        EXPECT_EQ(SystemTagList(c.command, nullptr), c.result);
        EXPECT_EQ(IoErr(), c.ioErr);
    }
    EXPECT_EQ(SystemTagList(nullptr, nullptr), 1);
    EXPECT_FALSE(fs::exists(sandbox_.path("ran")));
}

TEST_F(ShellCommandTest, ArgumentsArriveOneByOneWhateverTheyHold) {
    const std::vector<std::string> torture = {
        "",
        "two words",
        "/home/me/My Games/\"Doom\" II/*.EXE",
        "star*star**",
        "line\nfeed",
        "esc\x1b",
        "Grüße/ゲーム/игра",
        ">not redirected",
        "; touch pwned",
        "$(touch pwned)",
        "~",
    };
    std::string quoted;
    for (const std::string& item : torture)
        quoted += quoteShellItem(item) + " ";
    auto seen = argumentsSeen("showargs", quoted);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen[0], bin_ + "/showargs");
    EXPECT_EQ(std::vector<std::string>(seen.begin() + 1, seen.end()), torture);
    seen = argumentsSeen("showargs", "a;b $(id) * ?");
    EXPECT_EQ(seen, (std::vector<std::string>{bin_ + "/showargs", "a;b", "$(id)", "*", "?"}));
    EXPECT_FALSE(fs::exists(sandbox_.path("work/pwned")));
    // A link runs under its own name, so that a program can tell how it was called.
    fs::create_symlink(bin_ + "/showargs", bin_ + "/alias");
    EXPECT_EQ(argumentsSeen("ALIAS", "").at(0), bin_ + "/alias");
}

TEST_F(ShellCommandTest, RedirectsOutputAndInput) {
    EXPECT_EQ(SystemTagList("where >NIL:", nullptr), 0);
    EXPECT_EQ(SystemTagList("where >nil:", nullptr), 0);
    EXPECT_TRUE(fs::is_empty(sandbox_.work()));
    EXPECT_EQ(SystemTagList("where >out.txt", nullptr), 0);
    EXPECT_EQ(SystemTagList("where >>OUT.TXT", nullptr), 0); // the same file, in any case
    EXPECT_EQ(readFile(sandbox_.path("work/out.txt")),
              sandbox_.work() + "\n" + sandbox_.work() + "\n");
    writeScript(bin_ + "/copy", "cat");
    sandbox_.writeFile("work/in.txt", "from the file\n");
    EXPECT_EQ(SystemTagList("copy <in.txt >\"copied file\"", nullptr), 0);
    EXPECT_EQ(readFile(sandbox_.path("work/copied file")), "from the file\n");
}

TEST_F(ShellCommandTest, RunsInTheFolderItIsGiven) {
    const std::string elsewhere = sandbox_.makeDir("Elsewhere");
    const BPTR lock = Lock(sandbox_.path("elsewhere").c_str(), SHARED_LOCK);
    const TagItem tags[] = {
        {NP_StackSize, 640000}, {NP_CurrentDir, reinterpret_cast<intptr_t>(lock)}, {TAG_DONE, 0}};
    EXPECT_EQ(SystemTagList("where >here", tags), 0); // a relative target starts there too
    EXPECT_EQ(readFile(elsewhere + "/here"), elsewhere + "\n");
    const TagItem ignored[] = {{TAG_IGNORE, 0}, {NP_CurrentDir, 0}, {TAG_DONE, 0}};
    EXPECT_EQ(SystemTagList("where >here", ignored), 0);
    EXPECT_EQ(readFile(sandbox_.path("work/here")), sandbox_.work() + "\n");
    const BPTR old = CurrentDir(lock);
    EXPECT_EQ(SystemTagList("where >again", nullptr), 0);
    CurrentDir(old);
    EXPECT_EQ(readFile(elsewhere + "/again"), elsewhere + "\n");
    UnLock(lock);
}

TEST_F(ShellCommandTest, FindsCommandsIgnoringLetterCaseButNeverInTheCurrentDirectory) {
    writeScript(bin_ + "/Mixed", "exit 11");
    EXPECT_EQ(SystemTagList("mIXED", nullptr), 11);
    EXPECT_EQ(SystemTagList((bin_ + "/MIXED").c_str(), nullptr), 11);
    EXPECT_EQ(SystemTagList("/USR/BIN/TRUE", nullptr), 0);
    writeScript(bin_ + "/mixed", "exit 12");
    EXPECT_EQ(SystemTagList("mixed", nullptr), 12); // an exact match wins
    EXPECT_EQ(SystemTagList("Mixed", nullptr), 11);

    writeScript(sandbox_.path("work/trap"), "/usr/bin/touch " + sandbox_.path("sprung"));
    ScopedVariable path("PATH", ".::work:" + bin_);
    EXPECT_EQ(SystemTagList("trap", nullptr), -1);
    EXPECT_FALSE(fs::exists(sandbox_.path("sprung")));
    EXPECT_EQ(SystemTagList((sandbox_.work() + "/trap").c_str(), nullptr), 0); // named in full
}

TEST_F(ShellCommandTest, LooksInTheProgramsFolderFirst) {
    const std::string name = "TolvarnProbe" + std::to_string(::getpid());
    const std::string probe =
        writeScript(tolvarn::platform::internal::programDirectory() + "/" + name, "exit 21");
    writeScript(bin_ + "/" + name, "exit 22");
    EXPECT_EQ(SystemTagList(("tolvarnprobe" + std::to_string(::getpid())).c_str(), nullptr), 21);
    EXPECT_EQ(SystemTagList(("PROGDIR:" + name).c_str(), nullptr), 21);
    fs::remove(probe);
    EXPECT_EQ(SystemTagList(name.c_str(), nullptr), 22);
}

} // namespace
