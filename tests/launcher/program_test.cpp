// Whole runs: DOSBox started after the notice, unsafe paths refused, missing libraries, running
// out of memory at every allocation, desktop starts, and the installation.
#include "launcherTestSupport.h"

#include "pAmigaDos/queries.h"

namespace tolvarn::testing {
namespace {

const std::string notice = "notice Tolvarn Press Ctrl-Alt-F9 to quit! OK TIMEOUTSECS=2";

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

TEST_F(WholeRun, HandsDOSBoxItsArgumentsIntactAfterTheNotice) {
    const std::string folder = sandbox.path("my games/a*b/Ärger");
    sandbox.writeFile("my games/a*b/Ärger/GAME.EXE", "MZ");
    sandbox.rememberDOSBox(sandbox.path("dos box"));
    sandbox.makeDOSBox("dos box");
    const RunOutcome outcome = run({folder + "/GAME.EXE", "CDdir", folder, "NoExit", "Window"});
    EXPECT_EQ(outcome.out, "WARNING: \"Tolvarn.conf\" is missing from \"" +
                               sandbox.path("dos box") + "\".\n");
    EXPECT_EQ(sandbox.events(), (Lines{notice, "dosbox"}));
    EXPECT_EQ(sandbox.dosboxLog(),
              (Lines{sandbox.path("dos box"), "-c", "Mount D \"" + folder + "\" -t cdrom", "-c",
                     "Mount C \"" + folder + "\"", "-c", "C:", "-c", "GAME.EXE"}));
}

TEST_F(WholeRun, RefusesPathsThatWouldBreakTheDOSCommandsBeforeChangingAnything) {
    // A double quote cannot come through the argument line, but it can through a desktop start.
    sandbox.writeFile("dosbox/Y/dos32a.exe", "DOS32A");
    const std::string unsafe = sandbox.writeFile("bad\"game/GAME.EXE", "MZ DOS/4G");
    sandbox.writeFile("bad\"game/DOS4GW.EXE", "DOS4GW");
    const RunOutcome outcome = runChild(sandbox, "tolvarn", {"--workbench", unsafe});
    EXPECT_EQ(outcome.returnCode, 0);
    EXPECT_EQ(outcome.err, "Tolvarn: ERROR: Cannot hand \"" + unsafe +
                               "\" to DOSBox: it holds a double quote or a control character\n");
    EXPECT_EQ(readFile(sandbox.path("bad\"game/DOS4GW.EXE")), "DOS4GW");
    EXPECT_TRUE(sandbox.events().empty());
}

TEST_F(WholeRun, MissingLibraryEndsSilentlyWithReturnCodeTen) {
    const char* const libraries[] = {"dos.library",       "graphics.library", "cybergraphics.library",
                                     "intuition.library", "utility.library",  "asl.library",
                                     "gadtools.library"};
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

TEST_F(WholeRun, RunningOutOfMemoryAnywhereIsReportedAndCleanedUp) {
    sandbox.writeFile("games/MAZE.EXE", "MZ DOS/4G");
    sandbox.writeFile("games/DOS4GW.EXE", "DOS4GW");
    sandbox.writeFile("dosbox/Y/dos32a.exe", "DOS32A");
    int64_t failing = 1;
    for (;; ++failing) {
        NothingLeftBehind runLeftBehind;
        const int64_t before = tolvarn::memory::allocationCount();
        tolvarn::memory::failAllocation(failing);
        const RunOutcome outcome = run({program, "CDdir", sandbox.path("games")});
        tolvarn::memory::failAllocation(0);
        runLeftBehind.check();
        if (tolvarn::memory::allocationCount() - before < failing)
            break;
        ASSERT_EQ(outcome.out + outcome.err, "Ran out of memory\n") << "allocation " << failing;
    }
    EXPECT_GT(failing, 20);
    EXPECT_EQ(sandbox.events().back(), "dosbox");
}

TEST_F(WholeRun, DesktopStartRunsTheFirstProjectOrAsks) {
    // The real notice command speaks on standard error when there is nobody to show it to.
    RunOutcome outcome = runChild(sandbox, "tolvarn", {"--workbench", program, sandbox.work()});
    EXPECT_EQ(outcome.returnCode, 0);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, "Tolvarn: Press Ctrl-Alt-F9 to quit!\n");
    EXPECT_EQ(sandbox.dosboxLog().at(10), "MAZE.EXE");
    std::filesystem::remove(sandbox.path("dosbox.log"));
    outcome = runChild(sandbox, "tolvarn", {"--workbench"});
    EXPECT_EQ(outcome.returnCode, 0);
    EXPECT_EQ(outcome.out + outcome.err, "");
    EXPECT_TRUE(sandbox.dosboxLog().empty());
}

TEST(Installation, PlacesProgramsSettingsAndDesktopEntry) {
    Sandbox sandbox;
    const std::string prefix = sandbox.path("prefix");
    ASSERT_EQ(std::system(("cmake --install '" + buildDir() + "' --prefix '" + prefix +
                           "' >/dev/null").c_str()),
              0);
    for (const char* installed : {"bin/tolvarn", "bin/RequestChoice", "share/tolvarn/Tolvarn.conf"})
        EXPECT_TRUE(std::filesystem::exists(prefix + "/" + installed)) << installed;
    const std::string entry = readFile(prefix + "/share/applications/tolvarn.desktop");
    EXPECT_NE(entry.find("\nExec=tolvarn --workbench %f\n"), std::string::npos);
    EXPECT_NE(entry.find("application/x-msdos-program;"), std::string::npos);
}

} // namespace
} // namespace tolvarn::testing
