// The Shell: its command-line splitter, and SystemTagList with real child processes and
// resident commands.
#include "platform/dos/internal.h"
#include "platform/exec/internal.h"
#include "platform/shell/commandLine.h"
#include "platform/shell/process.h"

#include "../layerTesting.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace fs = std::filesystem;
using Words = std::vector<std::string>;

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
    Words argumentsSeen(const std::string& name, const std::string& arguments) {
        const std::string out = platform::quoteShellItem(sandbox.path("seen"));
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
        {"\"status\" 5", 5, 0},
        // Interrupt and quit go to the program, not to us; a signal that ends it gives 20.
        {"sh -c \"kill -INT $PPID; kill -QUIT $PPID; kill -INT $$\"", 20, 0},
        {"nosuchcommand", -1, ERROR_OBJECT_NOT_FOUND}, {"notrunnable", -1, ERROR_OBJECT_NOT_FOUND},
        {"/usr", -1, ERROR_OBJECT_WRONG_TYPE}, {" \t ", 0, 0},
        {"marker \"unclosed", -1, ERROR_BAD_TEMPLATE},
        {"marker <nosuchinput", -1, ERROR_OBJECT_NOT_FOUND},
        {"marker >nosuchfolder/out", -1, ERROR_DIR_NOT_FOUND},
    };
    // clang-format on
    for (const auto& c : cases) {
        SetIoErr(0);
        EXPECT_EQ(SystemTagList(c.command, nullptr), c.result) << c.command;
        EXPECT_EQ(IoErr(), c.ioErr) << c.command;
    }
    EXPECT_EQ(SystemTagList(nullptr, nullptr), 1);
    EXPECT_FALSE(fs::exists(sandbox.path("ran")));
    EXPECT_EQ(std::signal(SIGINT, SIG_DFL), SIG_DFL); // ours again
}

TEST_F(ShellCommandTest, ArgumentsArriveOneByOneWhateverTheyHold) {
    // clang-format off
    const Words torture = {"", "two words", "/home/me/My Games/\"Doom\" II/*.EXE",
        "star*star**", "line\nfeed", "esc\x1b", "Grüße/ゲーム/игра", ">not redirected",
        "; touch pwned", "$(touch pwned)", "~"};
    // clang-format on
    std::string quoted;
    for (const std::string& item : torture)
        quoted += platform::quoteShellItem(item) + " ";
    Words expected = {bin + "/showargs"};
    expected.insert(expected.end(), torture.begin(), torture.end());
    EXPECT_EQ(argumentsSeen("showargs", quoted), expected);
    EXPECT_FALSE(fs::exists(sandbox.path("work/pwned")));
    // A link runs under its own name, so that a program can tell how it was called.
    fs::create_symlink(bin + "/showargs", bin + "/alias");
    EXPECT_EQ(argumentsSeen("ALIAS", "").at(0), bin + "/alias");
}

TEST_F(ShellCommandTest, FindsCommandsInTheProgramsFolderThenItsOwnThenPathButNeverTheCurrentOne) {
    writeScript(bin + "/Mixed", "exit 11");
    writeScript(bin + "/mixed", "exit 12");
    EXPECT_EQ(SystemTagList("mIXED", nullptr), 11);
    EXPECT_EQ(SystemTagList("mixed", nullptr), 12); // an exact match wins
    // The program's folder, then the installation's command folder beside it, then PATH.
    const std::string name = "TolvarnProbe" + std::to_string(::getpid());
    const std::string programFolder = platform::internal::programDirectory();
    const std::string commandFolder = programFolder + "/../libexec/tolvarn";
    const bool madeCommandFolder = fs::create_directories(commandFolder);
    const std::string probe = writeScript(programFolder + "/" + name, "exit 21");
    const std::string command = writeScript(commandFolder + "/" + name, "exit 23");
    writeScript(bin + "/" + name, "exit 22");
    EXPECT_EQ(SystemTagList(("tolvarnprobe" + std::to_string(::getpid())).c_str(), nullptr), 21);
    fs::remove(probe);
    EXPECT_EQ(SystemTagList(name.c_str(), nullptr), 23);
    fs::remove(command);
    if (madeCommandFolder) { // and its parent, when nothing else is in it
        fs::remove(commandFolder);
        std::error_code notEmpty;
        fs::remove(programFolder + "/../libexec", notEmpty);
    }
    EXPECT_EQ(SystemTagList(name.c_str(), nullptr), 22);
    writeScript(sandbox.path("work/trap"), "/usr/bin/touch " + sandbox.path("sprung"));
    ScopedVariable relative("PATH", ".::work:" + bin);
    EXPECT_EQ(SystemTagList("trap", nullptr), -1);
    EXPECT_FALSE(fs::exists(sandbox.path("sprung")));
    EXPECT_EQ(SystemTagList((sandbox.work() + "/trap").c_str(), nullptr), 0); // named in full
}

TEST(ShellCommandLine, SplitsCommandRedirectionsAndItems) {
    const std::optional<std::string> none;
    // clang-format off
    const struct {
        const char* line; const char* command; std::optional<std::string> input, output; bool append;
        Words arguments;
    } cases[] = {
        {"  \t cmd a  b\t\tc \t ", "cmd", none, none, false, {"a", "b", "c"}},
        {"\"my cmd\" \"two words\" \"\" x", "my cmd", none, none, false, {"two words", "", "x"}},
        {"cmd a\"b\"c a*\"b a**b", "cmd", none, none, false, {"a\"b\"c", "a*\"b", "a**b"}},
        {"cmd \"a*\"b\" \"*N*n*E*e\" \"**\"", "cmd", none, none, false, {"a\"b", "\n\n\x1b\x1b", "*"}},
        {"cmd \"*x* \" \"ab\"cd", "cmd", none, none, false, {"*x* ", "ab", "cd"}},
        {"cmd ; $(id) *", "cmd", none, none, false, {";", "$(id)", "*"}},
        {"cmd a\nb\r\n", "cmd", none, none, false, {"a", "b"}},
        {"cmd >NIL: a >x", "cmd", none, "NIL:", false, {"a", ">x"}},
        {"cmd > out <in", "cmd", "in", "out", false, {}},
        {"cmd >>log >\"RAM:my file\" \">q\"", "cmd", none, "RAM:my file", false, {">q"}},
        {"cmd >> log", "cmd", none, "log", true, {}}, {"   ", "", none, none, false, {}},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const auto parsed = platform::parseCommandLine(c.line);
        ASSERT_TRUE(parsed.has_value());
        EXPECT_EQ(parsed->command, c.command);
        EXPECT_EQ(parsed->input, c.input);
        EXPECT_EQ(parsed->output, c.output);
        EXPECT_EQ(parsed->appendOutput, c.append);
        EXPECT_EQ(parsed->arguments, c.arguments);
    }
    for (const char* line : {"cmd \"open", "cmd \"ends in escape*\"", "\"cmd", "\"\" a", "cmd >",
                             "cmd >>  ", "cmd <\"\"", "cmd > \"unclosed"})
        EXPECT_FALSE(platform::parseCommandLine(line).has_value()) << line;
}

/// A resident command that prints its argument text and the name of its current directory (and,
/// given "read", the line on its standard input), and returns the length of that text. Taking
/// itself off the list while it runs must fail.
int32_t residentEntry(const char* argumentText) {
    EXPECT_STREQ(argumentText, GetArgStr());
    char line[64] = "";
    if (std::string_view(argumentText).starts_with("read") && !std::fgets(line, sizeof line, stdin))
        line[0] = '\0';
    char folder[1024] = "";
    NameFromLock(FindTask(nullptr)->pr_CurrentDir, folder, sizeof folder);
    std::printf("%s|%s|%s", argumentText, FilePart(folder), line);
    EXPECT_EQ(RemSegment(FindSegment("Echo", nullptr, DOSFALSE)), DOSFALSE);
    EXPECT_EQ(IoErr(), ERROR_OBJECT_IN_USE);
    return static_cast<int32_t>(std::strlen(argumentText));
}

TEST_F(ShellCommandTest, ResidentCommandsComeFirstAndEveryCommandRedirectsAndRunsWhereTold) {
    writeScript(bin + "/echo", "exit 99");
    writeScript(bin + "/copy", "cat");
    sandbox.writeFile("work/in.txt", "typed\n");
    ASSERT_EQ(AddSegment("Echo", residentEntry, DOSFALSE), DOSTRUE);
    EXPECT_EQ(AddSegment("ECHO", residentEntry, DOSFALSE), DOSFALSE); // one of each name
    EXPECT_EQ(IoErr(), ERROR_OBJECT_EXISTS);
    const std::string elsewhere = sandbox.makeDir("Elsewhere");
    const BPTR lock = Lock(sandbox.path("elsewhere").c_str(), SHARED_LOCK);
    const TagItem inElsewhere[] = {
        {NP_StackSize, 640000}, {NP_CurrentDir, reinterpret_cast<intptr_t>(lock)}, {TAG_DONE, 0}};
    // clang-format off
    const struct {
        std::string command;
        const TagItem* tags;
        int32_t result;
        std::string shown, file = "", written = ""; // standard output; what `file` then holds
    } cases[] = {
        {"eCHO a \"b c\"", nullptr, 8, "a \"b c\"\n|work|"},
        {"echo >nil: quiet", nullptr, 6, ""}, {"where >nil:", nullptr, 0, ""},
        {"echo >out x", nullptr, 2, "", "work/out", "x\n|work|"},
        {"echo >>OUT y", nullptr, 2, "", "work/out", "x\n|work|y\n|work|"},
        {"echo >out", inElsewhere, 1, "", "Elsewhere/out", "\n|Elsewhere|"},
        {"echo <in.txt read", nullptr, 5, "read\n|work|typed\n"},
        {"echo >nosuchfolder/out", nullptr, -1, ""}, {"echo <nosuchinput", nullptr, -1, ""},
        {bin + "/echo", nullptr, 99, ""}, // a path is never resident
        {"where", nullptr, 0, sandbox.work() + "\n"}, // what is not resident is still found
        {"where", inElsewhere, 0, elsewhere + "\n"},
        {"where >out.txt", nullptr, 0, "", "work/out.txt", sandbox.work() + "\n"},
        {"where >>OUT.TXT", nullptr, 0, "", "work/out.txt", // the same file, in any case
         sandbox.work() + "\n" + sandbox.work() + "\n"},
        {"copy <in.txt >\"copied file\"", nullptr, 0, "", "work/copied file", "typed\n"},
    };
    // clang-format on
    for (const auto& c : cases) {
        int32_t result = 0;
        EXPECT_EQ(captureStdout([&] { result = SystemTagList(c.command.c_str(), c.tags); }),
                  c.shown)
            << c.command;
        EXPECT_EQ(result, c.result) << c.command;
        if (!c.file.empty()) {
            EXPECT_EQ(readFile(sandbox.path(c.file)), c.written) << c.command;
        }
    }
    const BPTR old = CurrentDir(lock); // a relative target starts there too
    EXPECT_EQ(SystemTagList("where >again", nullptr), 0);
    UnLock(CurrentDir(old));
    EXPECT_EQ(readFile(elsewhere + "/again"), elsewhere + "\n");
    Words made; // and NIL: is no file
    for (const auto& entry : fs::directory_iterator(sandbox.work()))
        made.push_back(entry.path().filename().string());
    std::sort(made.begin(), made.end());
    EXPECT_EQ(made, (Words{"copied file", "in.txt", "out", "out.txt"}));
    EXPECT_EQ(GetArgStr(), std::string("\n")); // the caller's argument text is back
    ASSERT_EQ(RemSegment(FindSegment("echo", nullptr, DOSFALSE)), DOSTRUE);
    EXPECT_EQ(SystemTagList("echo", nullptr), 99); // the program on PATH again
}

} // namespace
} // namespace tolvarn::testing
