// The Shell (SystemTagList) and the whole-operation runner under it, with real child processes.
#include "platform/commandLine.h"
#include "platform/hostPaths.h"
#include "platform/process.h"

#include "layerTesting.h"

#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace fs = std::filesystem;
using tolvarn::platform::quoteShellItem;

namespace tolvarn::testing {
namespace {

class ShellCommandTest : public HostLayerTest {
  protected:
    void SetUp() override {
        writeScript(bin + "/showargs", "printf '%s\\0' \"$0\" \"$@\"");
        writeScript(bin + "/status", "exit $1");
        writeScript(bin + "/where", "pwd -P");
    }

    /// What `showargs` received (its own path first) when run with `arguments`.
    std::vector<std::string> argumentsSeen(const std::string& name, const std::string& arguments) {
        const std::string out = quoteShellItem(sandbox.path("seen"));
        EXPECT_EQ(SystemTagList((name + " >" + out + " " + arguments).c_str(), nullptr), 0);
        return nulSeparated(readFile(sandbox.path("seen")));
    }

    std::string bin = sandbox.makeDir("bin");
    ScopedVariable path{"PATH", bin + ":/usr/bin:/bin"};
};

TEST_F(ShellCommandTest, ResultIsTheExitStatusOrMinusOneWhenNothingRan) {
    writeScript(bin + "/marker", "/usr/bin/touch " + sandbox.path("ran"));
    sandbox.writeFile("bin/notrunnable", "#!/bin/sh\n");
    // clang-format off
    const struct { const char* command; int32_t result, ioErr; } cases[] = {
        {"status 0", 0, 0},
        {"\"status\" 5", 5, 0},
        {"  status\t10  ", 10, 0},
        {"status 127", 127, 0},
        // Interrupt and quit go to the program, not to us; a signal that ends it gives 20.
        {"sh -c \"kill -INT $PPID; kill -QUIT $PPID; kill -INT $$\"", 20, 0},
        {"nosuchcommand", -1, ERROR_OBJECT_NOT_FOUND},
        {"notrunnable", -1, ERROR_OBJECT_NOT_FOUND},
        {"/usr", -1, ERROR_OBJECT_WRONG_TYPE},
        {"marker \"unclosed", -1, ERROR_BAD_TEMPLATE},
        {"marker <nosuchinput", -1, ERROR_OBJECT_NOT_FOUND},
        {"marker >nosuchfolder/out", -1, ERROR_DIR_NOT_FOUND},
        {" \t ", 0, 0},
    };
    // clang-format on
    for (const auto& c : cases) {
        SetIoErr(0);
        EXPECT_EQ(SystemTagList(c.command, nullptr), c.result) << c.command;
        EXPECT_EQ(IoErr(), c.ioErr) << c.command;
    }
    EXPECT_EQ(SystemTagList(nullptr, nullptr), 1);
    EXPECT_FALSE(fs::exists(sandbox.path("ran")));
    struct sigaction current {};
    sigaction(SIGINT, nullptr, &current);
    EXPECT_EQ(current.sa_handler, SIG_DFL);
}

TEST_F(ShellCommandTest, ArgumentsArriveOneByOneWhateverTheyHold) {
    // clang-format off
    const std::vector<std::string> torture = {"", "two words", "/home/me/My Games/\"Doom\" II/*.EXE",
        "star*star**", "line\nfeed", "esc\x1b", "Grüße/ゲーム/игра", ">not redirected",
        "; touch pwned", "$(touch pwned)", "~"};
    // clang-format on
    std::string quoted;
    for (const std::string& item : torture)
        quoted += quoteShellItem(item) + " ";
    std::vector<std::string> expected = {bin + "/showargs"};
    expected.insert(expected.end(), torture.begin(), torture.end());
    EXPECT_EQ(argumentsSeen("showargs", quoted), expected);
    EXPECT_EQ(argumentsSeen("showargs", "a;b $(id) * ?"),
              (std::vector<std::string>{bin + "/showargs", "a;b", "$(id)", "*", "?"}));
    EXPECT_FALSE(fs::exists(sandbox.path("work/pwned")));
    // A link runs under its own name, so that a program can tell how it was called.
    fs::create_symlink(bin + "/showargs", bin + "/alias");
    EXPECT_EQ(argumentsSeen("ALIAS", "").at(0), bin + "/alias");
}

TEST_F(ShellCommandTest, RedirectsAndRunsInTheFolderItIsGiven) {
    EXPECT_EQ(SystemTagList("where >NIL:", nullptr), 0);
    EXPECT_EQ(SystemTagList("where >nil:", nullptr), 0);
    EXPECT_TRUE(fs::is_empty(sandbox.work()));
    EXPECT_EQ(SystemTagList("where >out.txt", nullptr), 0);
    EXPECT_EQ(SystemTagList("where >>OUT.TXT", nullptr), 0); // the same file, in any case
    EXPECT_EQ(readFile(sandbox.path("work/out.txt")),
              sandbox.work() + "\n" + sandbox.work() + "\n");
    writeScript(bin + "/copy", "cat");
    sandbox.writeFile("work/in.txt", "from the file\n");
    EXPECT_EQ(SystemTagList("copy <in.txt >\"copied file\"", nullptr), 0);
    EXPECT_EQ(readFile(sandbox.path("work/copied file")), "from the file\n");

    const std::string elsewhere = sandbox.makeDir("Elsewhere");
    const BPTR lock = Lock(sandbox.path("elsewhere").c_str(), SHARED_LOCK);
    const TagItem tags[] = {
        {NP_StackSize, 640000}, {NP_CurrentDir, reinterpret_cast<intptr_t>(lock)}, {TAG_DONE, 0}};
    EXPECT_EQ(SystemTagList("where >here", tags), 0); // a relative target starts there too
    EXPECT_EQ(readFile(elsewhere + "/here"), elsewhere + "\n");
    const TagItem ignored[] = {{TAG_IGNORE, 0}, {NP_CurrentDir, 0}, {TAG_DONE, 0}};
    EXPECT_EQ(SystemTagList("where >here", ignored), 0);
    EXPECT_EQ(readFile(sandbox.path("work/here")), sandbox.work() + "\n");
    const BPTR old = CurrentDir(lock);
    EXPECT_EQ(SystemTagList("where >again", nullptr), 0);
    CurrentDir(old);
    EXPECT_EQ(readFile(elsewhere + "/again"), elsewhere + "\n");
    UnLock(lock);
}

TEST_F(ShellCommandTest, FindsCommandsInTheProgramsFolderThenPathButNeverTheCurrentOne) {
    writeScript(bin + "/Mixed", "exit 11");
    writeScript(bin + "/mixed", "exit 12");
    EXPECT_EQ(SystemTagList("mIXED", nullptr), 11);
    EXPECT_EQ(SystemTagList((bin + "/MIXED").c_str(), nullptr), 11);
    EXPECT_EQ(SystemTagList("mixed", nullptr), 12); // an exact match wins
    EXPECT_EQ(SystemTagList("/USR/BIN/TRUE", nullptr), 0);

    const std::string name = "TolvarnProbe" + std::to_string(::getpid());
    const std::string probe =
        writeScript(platform::internal::programDirectory() + "/" + name, "exit 21");
    writeScript(bin + "/" + name, "exit 22");
    EXPECT_EQ(SystemTagList(("tolvarnprobe" + std::to_string(::getpid())).c_str(), nullptr), 21);
    EXPECT_EQ(SystemTagList(("PROGDIR:" + name).c_str(), nullptr), 21);
    fs::remove(probe);
    EXPECT_EQ(SystemTagList(name.c_str(), nullptr), 22);

    writeScript(sandbox.path("work/trap"), "/usr/bin/touch " + sandbox.path("sprung"));
    ScopedVariable relative("PATH", ".::work:" + bin);
    EXPECT_EQ(SystemTagList("trap", nullptr), -1);
    EXPECT_FALSE(fs::exists(sandbox.path("sprung")));
    EXPECT_EQ(SystemTagList((sandbox.work() + "/trap").c_str(), nullptr), 0); // named in full
}

TEST_F(ShellCommandTest, TheRunnerPassesArgumentsEnvironmentAndFolderOrSaysWhyNot) {
    using platform::runProgram;
    ScopedVariable probe("TOLVARN_PROBE", "probe value");
    auto result = runProgram({"/bin/sh", "-c", "printf '%s|' \"$@\" \"$TOLVARN_PROBE\" \"$PWD\"",
                              "zero", "one two", "", "*"},
                             {.workingDirectory = bin, .captureOutput = true});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, "one two||*|probe value|" + bin + "|");
    // More than a pipe holds: read while the program writes.
    result =
        runProgram({"/bin/sh", "-c", "head -c 300000 /dev/zero; exit 3"}, {.captureOutput = true});
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.output.size(), 300000u);
    for (const auto& [arguments, folder, error] :
         {std::tuple{std::vector<std::string>{}, "", ENOENT},
          {{bin}, "", EACCES},
          {{"/bin/true"}, "/nowhere", ENOENT}}) {
        result = runProgram(arguments, {.workingDirectory = folder});
        EXPECT_EQ(result.status, -1);
        EXPECT_EQ(result.hostError, error);
    }
}

} // namespace
} // namespace tolvarn::testing
