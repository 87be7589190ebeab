// Whole runs of the program, told apart by what they print: with DOSBox made unstartable, a run
// that gets that far prints its whole command line in the "Failed to execute" report.
#include "launcherTestSupport.h"

#include "pAmigaDos/queries.h"

#include <sys/stat.h>

namespace tolvarn::testing {
namespace {

/// The notice before DOSBox starts, as the requesters show it when there is nobody to ask.
const std::string notice = "Tolvarn: Press Ctrl-F9 to quit!\n";

/// "$" stands for the sandbox folder.
std::string withSandbox(std::string text, const std::string& root) {
    for (size_t at; (at = text.find('$')) != std::string::npos;)
        text.replace(at, 1, root);
    return text;
}

enum Setup { PLAIN = 0, DOS4G = 1, NO_CONF = 2, FIFOS = 4, LOWER_CONF = 8 };

TEST(Runs, PrintWhatTheyShould) {
    const std::string start = "ERROR: Failed to execute $/dosbox/DOSBox >NIL: ";
    const std::string usual = start + "-exit -fullscreen -conf Tolvarn.conf";
    const std::string maze = " -c \"Mount C *\"$/maze*\"\" -c \"C:\" -c \"";
    const std::string dos32a = " -c \"Mount Y *\"$/dosbox/Y*\"\"";
    const std::string exit = "\" -c \"exit\"\n";
    const struct {
        Lines arguments;
        std::string out; // a final "*" accepts anything after it
        int setup = PLAIN;
        std::string stored = "$/dosbox", err = "";
        bool noticed = true; // {} in a row: no notice
        int returnCode = 10; // DOSBox cannot start here, which is a failure too
    } cases[] = {
        // clang-format off
        {{"$/maze/MAZE.EXE"}, usual + maze + "MAZE.EXE" + exit},
        {{"$/maze/MAZE.EXE", "ISO=$/maze.iso", "Window"},
         start + "-exit -conf Tolvarn.conf -c \"ImgMount D *\"$/maze.iso*\" -T iso\"" + dos32a +
             maze + "Y:dos32a.exe MAZE.EXE" + exit, DOS4G},
        {{"$/maze/SETUP.BAT", "NoExit"},
         start + " -fullscreen -conf Tolvarn.conf" + maze + "CALL SETUP.BAT\"\n"},
        {{"$/maze/MAZE.EXE", "cdISO", "$/maze.iso", "CDdir=CD0:"},
         usual + " -c \"ImgMount D *\"$/maze.iso*\" -T iso\"" + maze + "MAZE.EXE" + exit},
        {{"$/maze/MAZE.EXE", "CDdir=CD0:", "CDletter=E"},
         "WARNING: A DOSBox bug means that it will probably fail to mount \"CD0:\" as a virtual "
         "CD.\n" + usual + " -c \"Mount E *\"$/cd*\" -t cdrom\"" + maze + "MAZE.EXE" + exit},
        {{"$/maze/MAZE.EXE", "CDdir=$/cd", "CDletter=y"},
         usual + " -c \"Mount y *\"$/cd*\" -t cdrom\"" + maze + "MAZE.EXE" + exit, DOS4G},
        {{"$/maze/MAZE.EXE", "CDdir=$/cd", "CDletter=Y:"},
         usual + " -c \"Mount Y: *\"$/cd*\" -t cdrom\"" + dos32a + maze + "Y:dos32a.exe MAZE.EXE" +
             exit, DOS4G},
        // FIFOs where files belong count as missing files and are never waited on.
        {{"$/maze/MAZE.EXE", "Window"},
         "WARNING: \"Tolvarn.conf\" is missing from \"$/dosbox\".\n" + start + "-exit" + maze +
             "MAZE.EXE" + exit, DOS4G | FIFOS},
        {{"Maze:PIPE.EXE"}, "", FIFOS, "$/dosbox",
         "Tolvarn: ERROR: \"Maze:PIPE.EXE\" is not a file, so it cannot be run\n", {}},
        {{"Maze:MAZE.EXE"}, usual + maze + "MAZE.EXE" + exit},
        // "%" doubled for DOSBox; "=" in a path is no keyword; the settings' name as on disk.
        {{"$/50%off/A=B/GAME.EXE", "ISO=$/A=B.iso"},
         usual + " -c \"ImgMount D *\"$/A=B.iso*\" -T iso\" -c \"Mount C *\"$/50%%off/A=B*\"\" -c "
             "\"C:\" -c \"GAME.EXE" + exit},
        {{"$/maze/MAZE.EXE"}, start + "-exit -fullscreen -conf tolvarn.conf" + maze + "MAZE.EXE" +
             exit, LOWER_CONF, "../dosbox"}, // a relative folder is made absolute
        {{"$/maze/HelloWorldGame.com"}, "WARNING: DOS cannot start \"HelloWorldGame.com\": a DOS "
             "name has at most 8 characters, a dot and at most 3 more, and no blanks or any of * ? "
             "\" / \\ | : ; , = + < > [ ]\n" + usual + maze + "HelloWorldGame.com" + exit},
        // DOSBox not found (unset, or a folder without DOSBox); the folder requester gets no
        // answer and nothing new is stored.
        {{"$/maze/MAZE.EXE"}, "", PLAIN, "", "Tolvarn: Could not find DOSBox\n", {}},
        {{"$/maze/MAZE.EXE"}, "", PLAIN, "$/maze", "Tolvarn: Could not find DOSBox\n", {}},
        // Only a file can be run.
        {{"Nowhere/GAME.EXE"}, "", PLAIN, "$/dosbox",
         "Tolvarn: ERROR: Cannot find the file \"Nowhere/GAME.EXE\"\n", {}},
        {{""}, "", PLAIN, "$/dosbox", "Tolvarn: ERROR: Cannot find the file \"\"\n", {}},
        {{"$/maze"}, "", PLAIN, "$/dosbox",
         "Tolvarn: ERROR: \"$/maze\" is not a file, so it cannot be run\n", {}},
        // The program requester gets no answer: no notice and no warning either.
        {{"CDdir=CD0:"}, "", NO_CONF, "$/dosbox", "", {}, 5},
        {{"--help"}, "Usage: tolvarn [File] [Window]*", PLAIN, "$/dosbox", "", {}, 0},
        {{"-h"}, "Usage: tolvarn [File] [Window]*", PLAIN, "$/dosbox", "", {}, 0},
        {{"--version"}, "Tolvarn 1.1 (05.02.2013)\n", PLAIN, "$/dosbox", "", {}, 0},
        {{"$/maze/MAZE.EXE", "extra"}, "Shell parameter error, does not match template:\n*", PLAIN,
         "$/dosbox", "", {}},
        // clang-format on
    };
    for (const auto& test : cases) {
        LauncherSandbox sandbox;
        NothingLeftBehind leftBehind;
        sandbox.writeScript("dosbox/DOSBox", "", "#!/no/such/interpreter\n");
        for (const char* file : {"maze/SETUP.BAT", "maze.iso", "50%off/A=B/GAME.EXE", "A=B.iso",
                                 "maze/HelloWorldGame.com"})
            sandbox.writeFile(file, "MZ"); // only their names matter
        sandbox.makeDir("cd");
        sandbox.assign("CD0", sandbox.path("cd"));
        sandbox.assign("Maze", sandbox.path("maze"));
        sandbox.writeFile("maze/MAZE.EXE", test.setup & DOS4G ? "MZ DOS/4G" : "MZ");
        sandbox.writeFile("dosbox/Y/dos32a.exe", "DOS32A");
        if (test.setup & (NO_CONF | FIFOS))
            fs::remove(sandbox.path("dosbox/Tolvarn.conf"));
        if (test.setup & FIFOS) {
            fs::remove(sandbox.path("dosbox/Y/dos32a.exe"));
            for (const char* fifo : {"dosbox/Tolvarn.conf", "dosbox/Y/dos32a.exe", "maze/PIPE.EXE"})
                ASSERT_EQ(mkfifo(sandbox.path(fifo).c_str(), 0600), 0);
        }
        if (test.setup & LOWER_CONF)
            fs::rename(sandbox.path("dosbox/Tolvarn.conf"), sandbox.path("dosbox/tolvarn.conf"));
        const std::string stored = withSandbox(test.stored, sandbox.root());
        if (!stored.empty())
            sandbox.rememberDOSBox(stored);
        Lines arguments = test.arguments;
        for (std::string& argument : arguments)
            argument = withSandbox(argument, sandbox.root());

        const RunOutcome outcome = runShellStart(arguments);
        SCOPED_TRACE(arguments.empty() ? "" : arguments[0]);
        EXPECT_EQ(outcome.returnCode, test.returnCode);
        const std::string out = withSandbox(test.out, sandbox.root());
        const size_t compared = out.ends_with("*") ? out.size() - 1 : std::string::npos;
        EXPECT_EQ(outcome.out.substr(0, compared), out.substr(0, compared));
        EXPECT_EQ(outcome.err,
                  (test.noticed ? notice : "") + withSandbox(test.err, sandbox.root()));
        EXPECT_EQ(sandbox.remembered(), stored);
        leftBehind.check();
    }
}

class WholeRun : public ::testing::Test {
  protected:
    void SetUp() override { sandbox.rememberDOSBox(sandbox.path("dosbox")); }
    void TearDown() override {
        leftBehind.check();
        EXPECT_STREQ(FindTask(nullptr)->pr_CurrentDir->hostPath, sandbox.work().c_str());
    }
    RunOutcome run(const Lines& arguments, int returnCode = 0) {
        const RunOutcome outcome = runShellStart(arguments);
        EXPECT_EQ(outcome.returnCode, returnCode);
        return outcome;
    }

    LauncherSandbox sandbox;
    NothingLeftBehind leftBehind;
    std::string program = sandbox.writeFile("games/MAZE.EXE", "MZ");
};

TEST_F(WholeRun, MissingLibraryEndsSilentlyWithReturnCodeTen) {
    const char* const libraries[] = {
        "dos.library",     "graphics.library", "cybergraphics.library", "intuition.library",
        "utility.library", "asl.library",      "gadtools.library"};
    for (const char* missing : libraries) {
        tolvarn::platform::setLibraryAvailable(missing, false);
        const RunOutcome outcome = run({program}, 10);
        tolvarn::platform::setLibraryAvailable(missing, true);
        EXPECT_EQ(outcome.out + outcome.err, "") << missing;
        for (const char* library : libraries)
            EXPECT_EQ(tolvarn::platform::libraryOpenCount(library), 0) << missing << library;
        EXPECT_EQ(argumentLine, nullptr);
    }
    EXPECT_TRUE(sandbox.events().empty());
}

TEST_F(WholeRun, RunningOutOfMemoryAnywhereIsReportedAndTheFullRunStartsDOSBox) {
    // Names that the Shell and DOSBox need escaped, so that every escaping allocates too.
    const std::string folder = sandbox.path("a *n/Ärger"), dosbox = sandbox.path("dos box");
    sandbox.writeFile("a *n/Ärger/GAME.EXE", "MZ DOS/4G");
    sandbox.writeFile("a *n/Ärger/DOS4GW.EXE", "DOS4GW");
    fs::copy(sandbox.path("dosbox"), dosbox); // the stub and its settings
    sandbox.writeFile("dos box/Y/dos32a.exe", "DOS32A");
    sandbox.rememberDOSBox(dosbox);
    int64_t failing = 1, noticeFailures = 0;
    RunOutcome outcome;
    for (;; ++failing) {
        fs::remove(sandbox.path("events.log"));
        NothingLeftBehind runLeftBehind;
        const int64_t before = tolvarn::memory::allocationCount();
        tolvarn::memory::failAllocation(failing);
        outcome = runShellStart({folder + "/GAME.EXE", "CDdir", folder, "NoExit", "Window"});
        tolvarn::memory::failAllocation(0);
        runLeftBehind.check();
        if (tolvarn::memory::allocationCount() - before < failing)
            break;
        if (outcome.returnCode == 0) { // the notice's allocation: DOSBox starts without it
            ASSERT_EQ(sandbox.events(), Lines{"dosbox"}) << "allocation " << failing;
            ++noticeFailures;
            continue;
        }
        const std::string said = outcome.out + outcome.err; // the notice may have come before
        ASSERT_TRUE(said == "Ran out of memory\n" || said == "Ran out of memory\n" + notice)
            << said << "allocation " << failing;
        ASSERT_EQ(outcome.returnCode, 10);
    }
    EXPECT_EQ(outcome.returnCode, 0);
    EXPECT_GT(failing, 20);
    EXPECT_GT(noticeFailures, 0);
    EXPECT_EQ(outcome.out + outcome.err, notice);
    EXPECT_EQ(sandbox.events(), Lines{"dosbox"});
    EXPECT_EQ(sandbox.dosboxLog().back(), "Y:dos32a.exe GAME.EXE");
}

TEST_F(WholeRun, DesktopStartsRefuseMissingObjectsAndUnsafePaths) {
    const std::string tolvarn = builtProgram("tolvarn");
    // An object in a folder that does not exist is missing, not a name in the host's root.
    RunOutcome outcome = runChild(sandbox, {tolvarn, "--workbench", "/no/such/folder/GAME.EXE"});
    EXPECT_EQ(outcome.returnCode, 10);
    EXPECT_EQ(outcome.out + outcome.err,
              "Tolvarn: ERROR: Cannot find the file \"/no/such/folder/GAME.EXE\"\n");
    // A double quote cannot come through the argument line, but it can through a desktop start;
    // it is refused before anything changes on disk.
    sandbox.writeFile("dosbox/Y/dos32a.exe", "DOS32A");
    const std::string unsafe = sandbox.writeFile("bad\"game/GAME.EXE", "MZ DOS/4G");
    sandbox.writeFile("bad\"game/DOS4GW.EXE", "DOS4GW");
    outcome = runChild(sandbox, {tolvarn, "--workbench", unsafe});
    EXPECT_EQ(outcome.returnCode, 10);
    EXPECT_EQ(outcome.out + outcome.err,
              "Tolvarn: ERROR: Cannot hand \"" + unsafe +
                  "\" to DOSBox: it holds a double quote or a control character\n");
    EXPECT_EQ(readFile(sandbox.path("bad\"game/DOS4GW.EXE")), "DOS4GW");
    EXPECT_TRUE(sandbox.dosboxLog().empty());
}

} // namespace
} // namespace tolvarn::testing
