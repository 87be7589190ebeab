// Running commands and the notice command as the Shell runs them, and asking for DOSBox's folder
// with a person at a terminal.
#include "launcherTestSupport.h"

#include "launcher/requestChoice.h"
#include "launcher/requesters.h"
#include "platform/dos/dos.h"
#include "runtime/types.h"

#include <poll.h>
#include <pty.h>

namespace tolvarn::testing {
namespace {

TEST(Commands, ReportWhetherTheyCouldRunAndRequestChoiceShowsWhatItIsGiven) {
    LauncherSandbox sandbox;
    NothingLeftBehind leftBehind;
    sandbox.writeScript("tools/exits", "exit $1\n");
    ASSERT_EQ(AddSegment("RequestChoice", requestChoiceResident, FALSE), DOSTRUE);
    // The Shell's 127 means "not run" to executeCommand; runCommand only cares whether it started.
    // RequestChoice, the notice's command, shows a "%" as typed and refuses a timeout that is no
    // number; both calls run it, so what it says shows twice.
    const struct {
        const char* command;
        int32_t executed, started;
        std::string said = ""; // on standard output and error, by one run
    } cases[] = {
        {"exits 0", TRUE, TRUE},
        {"exits 127", FALSE, TRUE},
        {"NoSuchCommand", FALSE, FALSE},
        {"requestchoice Sure? \"100% %s\" Yes|100%|No PubScreen Workbench", TRUE, TRUE,
         "Sure?: 100% %s\n"},
        {"requestchoice Note Text OK TimeoutSecs soon", TRUE, TRUE,
         "ERROR: TimeoutSecs must be a whole number of seconds\n"},
    };
    for (const auto& test : cases) {
        ::testing::internal::CaptureStderr();
        const std::string out = captureStdout([&] {
            EXPECT_EQ(executeCommand(test.command), test.executed) << test.command;
            EXPECT_EQ(runCommand(test.command, 640000, nullptr), test.started) << test.command;
        });
        EXPECT_EQ(out + ::testing::internal::GetCapturedStderr(), test.said + test.said);
    }
    EXPECT_EQ(RemSegment(FindSegment("RequestChoice", nullptr, FALSE)), DOSTRUE);
    leftBehind.check();
}

/// Runs tolvarn on a pseudo-terminal with `environment` added (a null value: the variable unset).
/// For each step of `script` in turn it waits (at most ten seconds) for the prompt to appear
/// after the one before, then types the answer and Enter (an answer "\x03" is a Ctrl-C instead).
/// Returns the return code and, as its output, all the terminal showed.
RunOutcome onTerminal(const Lines& arguments,
                      const std::vector<std::pair<std::string, std::string>>& script,
                      const std::vector<std::pair<const char*, const char*>>& environment = {}) {
    Lines command = arguments;
    command.insert(command.begin(), builtProgram("tolvarn"));
    std::vector<char*> words = wordsOf(command);
    int terminal = -1;
    const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (child == 0) {
        setenv("TOLVARN_REQUESTER", "terminal", 1);
        for (const auto& [name, value] : environment)
            value != nullptr ? setenv(name, value, 1) : unsetenv(name);
        execv(words[0], words.data());
        _exit(127);
    }
    std::string shown;
    size_t seen = 0;
    char buffer[512];
    for (const auto& [prompt, answer] : script) {
        while (shown.find(prompt, seen) == std::string::npos) {
            pollfd ready = {terminal, POLLIN, 0};
            const ssize_t count = poll(&ready, 1, 10000) > 0 ? read(terminal, buffer, 512) : 0;
            if (count <= 0) {
                ADD_FAILURE() << "never shown: " << prompt << "\nshown:\n" << shown;
                kill(child, SIGKILL);
                break;
            }
            shown.append(buffer, static_cast<size_t>(count));
        }
        seen = shown.find(prompt, seen) + prompt.size();
        const std::string typed = answer == "\x03" ? answer : answer + "\n";
        EXPECT_GT(write(terminal, typed.c_str(), typed.size()), 0);
    }
    for (ssize_t count; (count = read(terminal, buffer, sizeof buffer)) > 0;)
        shown.append(buffer, static_cast<size_t>(count));
    close(terminal);
    const int status = statusOf(child);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, shown, ""};
}

TEST(FirstRun, FindsDOSBoxOnThePathAndMakesAFolderOfItsOwnWithoutAsking) {
    LauncherSandbox sandbox;
    // A copy of tolvarn installed in the sandbox's "prefix", with the example settings beside it.
    const std::string example = readFile(TOLVARN_SOURCE_DIR "/data/Tolvarn.conf");
    sandbox.writeFile("prefix/share/tolvarn/Tolvarn.conf", example);
    const std::string tolvarn = sandbox.makeDir("prefix/bin") + "/tolvarn",
                      own = sandbox.path("config/tolvarn/DOSBox");
    fs::copy_file(builtProgram("tolvarn"), tolvarn);
    const std::string program = sandbox.writeFile("games/MAZE.EXE", "MZ");
    fs::create_symlink(sandbox.path("dosbox/DOSBox"), sandbox.makeDir("tools") + "/dosbox");
    // Only the notice shows: no question is asked.
    RunOutcome outcome = runChild(sandbox, {tolvarn, program});
    EXPECT_EQ(outcome.returnCode, 0);
    EXPECT_EQ(outcome.err, "Tolvarn: Press Ctrl-F9 to quit!\n");
    EXPECT_EQ(outcome.out, "Tolvarn uses the DOSBox at \"" + sandbox.path("tools/dosbox") +
                               "\"; its folder \"" + own +
                               "\" is where \"Tolvarn.conf\" and \"Y/dos32a.exe\" go.\n");
    EXPECT_EQ(fs::read_symlink(own + "/DOSBox"), sandbox.path("tools/dosbox"));
    EXPECT_EQ(readFile(own + "/Tolvarn.conf"), example);
    EXPECT_TRUE(fs::is_empty(own + "/Y"));
    EXPECT_EQ(sandbox.remembered(), own);
    EXPECT_EQ(sandbox.dosboxLog().at(0), own); // DOSBox runs in the new folder
    // The next run says nothing more; one that finds the variable gone reuses the folder.
    outcome = runChild(sandbox, {tolvarn, program});
    EXPECT_EQ(outcome.returnCode, 0);
    EXPECT_EQ(outcome.out, "");
    fs::remove(sandbox.path("config/tolvarn/env/AppDir/DOSBox"));
    fs::remove(own + "/Tolvarn.conf");
    EXPECT_EQ(runChild(sandbox, {tolvarn, program}).returnCode, 0);
    EXPECT_EQ(sandbox.remembered(), own);
    EXPECT_EQ(readFile(own + "/Tolvarn.conf"), example);
}

TEST(TerminalRuns, AskForDOSBoxMarkErrorsInColourOnlyWhereWantedAndBreakWithTwenty) {
    LauncherSandbox sandbox;
    const std::string program = sandbox.writeFile("games/MAZE.EXE", "MZ");
    sandbox.makeDir("empty/DOSBox");
    const std::string prompt = "Path (an empty line cancels): ";
    // In turn: the arguments, what is typed, TERM and NO_COLOR, the return code, what the
    // terminal must show and the DOSBox folder remembered then. Asked for DOSBox's folder (there
    // is none on PATH), a folder without DOSBox is remembered but asked about again, one that
    // does not exist is not remembered, a sub-folder named DOSBox is no DOSBox, and giving up is
    // a failure. Ctrl-C at a prompt or at the notice ends the run as a break does anywhere.
    const struct {
        Lines arguments;
        std::vector<std::pair<std::string, std::string>> script;
        const char *term, *noColour;
        int returnCode;
        std::string shown, remembered = "";
    } cases[] = {
        // clang-format off
        {{"a", "b"}, {}, "xterm", nullptr, 10, "a \x1b[32;43mb\x1b[31;40m\x1b[0m"},
        {{"a", "b"}, {}, "xterm", "1", 10, "a ##b##"},
        {{"a", "b"}, {}, "dumb", nullptr, 10, "a ##b##"},
        {{"?"}, {{"NoExit/S: ", "\x03"}}, "xterm", nullptr, 20, "***Break"},
        {{program},
         {{"Tolvarn: choose the folder that holds DOSBox\r\nChoose a folder.\r\n" + prompt,
           sandbox.path("games")},
          {prompt, sandbox.path("gone")}, {prompt, sandbox.path("empty")}, {prompt, ""},
          {"Could not find DOSBox", ""}},
         "xterm", nullptr, 10, "", sandbox.path("empty")},
        {{program}, {{prompt, sandbox.path("dosbox")}, {"Press Ctrl-F9 to quit!", "\x03"}},
         "xterm", nullptr, 20, "***Break", sandbox.path("dosbox")},
        // clang-format on
    };
    for (const auto& test : cases) {
        const RunOutcome outcome = onTerminal(test.arguments, test.script,
                                              {{"TERM", test.term}, {"NO_COLOR", test.noColour}});
        EXPECT_EQ(outcome.returnCode, test.returnCode);
        EXPECT_NE(outcome.out.find(test.shown), std::string::npos) << outcome.out;
        EXPECT_EQ(sandbox.remembered(), test.remembered);
    }
    EXPECT_FALSE(fs::exists(sandbox.path("dosbox.log"))); // DOSBox never started
}

TEST(PipedInput, TheArgumentPromptTakesOneLineAndTheRequesterTheNext) {
    LauncherSandbox sandbox;
    sandbox.rememberDOSBox(sandbox.path("dosbox"));
    const std::string program = sandbox.writeFile("games/MAZE.EXE", "MZ");
    setenv("TOLVARN_REQUESTER", "terminal", 1);
    const RunOutcome outcome = runChild(sandbox, {builtProgram("tolvarn"), "?"},
                                        sandbox.writeFile("typed", "Window\n" + program + "\n"));
    EXPECT_EQ(outcome.returnCode, 0);
    EXPECT_EQ(sandbox.dosboxLog(), (Lines{sandbox.path("dosbox"), "-exit", "-conf", "Tolvarn.conf",
                                          "-c", "Mount C \"" + sandbox.path("games") + "\"", "-c",
                                          "C:", "-c", "MAZE.EXE", "-c", "exit"}));
}

TEST(DesktopConsole, OpensWithTheFirstOutputAndTheRunEndsWhenItIsClosed) {
    LauncherSandbox sandbox;
    // A zenity whose text view keeps what it was given and, a second later, notes that the user
    // closed it; its other dialogs (the notice) close at once.
    sandbox.writeScript("tools/zenity", "[ \"$1\" = --text-info ] || exit 0\ncat >'" +
                                            sandbox.path("window") + "'\nsleep 1\necho closed >>'" +
                                            sandbox.path("events.log") + "'\n");
    setenv("TOLVARN_REQUESTER", "gui", 1);
    sandbox.rememberDOSBox(sandbox.path("dosbox"));
    const std::string tolvarn = builtProgram("tolvarn");
    const std::string program = sandbox.writeFile("games/MAZE.EXE", "MZ");
    // A run that prints nothing opens no window.
    EXPECT_EQ(runChild(sandbox, {tolvarn, "--workbench", program}).returnCode, 0);
    EXPECT_EQ(sandbox.events(), Lines{"dosbox"});
    // A failing run shows its report in the window and ends only once the window is closed.
    sandbox.writeScript("dosbox/DOSBox", "", "#!/no/such/interpreter\n");
    const RunOutcome outcome = runChild(sandbox, {tolvarn, "--workbench", program});
    EXPECT_EQ(outcome.returnCode, 10);
    EXPECT_EQ(outcome.out, ""); // all of it went to the window
    EXPECT_NE(readFile(sandbox.path("window")).find("ERROR: Failed to execute"), std::string::npos);
    EXPECT_EQ(sandbox.events(), (Lines{"dosbox", "closed"}));
}

} // namespace
} // namespace tolvarn::testing
