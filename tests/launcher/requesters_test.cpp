// Running commands and the notice command as the Shell runs them, and asking for DOSBox's folder
// with a person at a terminal.
#include "launcherTestSupport.h"

#include "launcher/requestChoice.h"
#include "launcher/requesters.h"
#include "platform/dos/dos.h"
#include "platform/shell/commandLine.h"
#include "runtime/types.h"

#include <chrono>
#include <poll.h>
#include <pty.h>
#include <thread>

namespace tolvarn::testing {
namespace {

TEST(Commands, ReportWhetherTheyCouldRunAndWhere) {
    LauncherSandbox sandbox;
    NothingLeftBehind leftBehind;
    sandbox.writeScript("tools/exits", "pwd -P >'" + sandbox.path("where") + "'\nexit $1\n");
    // The Shell's 127 means "not run" to executeCommand; runCommand only cares whether it started.
    // clang-format off
    const struct {
        const char* command;
        int32_t executed, started;
    } cases[] = {{"exits 0", TRUE, TRUE}, {"exits 5", TRUE, TRUE}, {"exits 10", TRUE, TRUE},
                 {"exits 127", FALSE, TRUE}, {"NoSuchCommand", FALSE, FALSE}};
    // clang-format on
    for (const auto& test : cases) {
        EXPECT_EQ(executeCommand(test.command), test.executed) << test.command;
        EXPECT_EQ(runCommand(test.command, 640000, nullptr), test.started) << test.command;
    }
    const BPTR folder = Lock(sandbox.path("dosbox").c_str(), SHARED_LOCK);
    EXPECT_EQ(runCommand("exits 0", 0, folder), TRUE);
    EXPECT_EQ(readFile(sandbox.path("where")), sandbox.path("dosbox") + "\n");
    UnLock(folder);
    leftBehind.check();
}

TEST(RequestChoice, ReturnsTheButtonOrFails) {
    LauncherSandbox sandbox;
    const std::string requestChoice = builtProgram("RequestChoice");
    const struct {
        Lines arguments;
        int returnCode;
        std::string out, err;
    } cases[] = {
        // clang-format off
        {{requestChoice, "Tolvarn", "Press Ctrl-F9 to quit!", "OK", "TIMEOUTSECS=2"}, 0, "",
         "Tolvarn: Press Ctrl-F9 to quit!\n"},
        {{requestChoice, "Sure?", "100% %s", "Yes|100%|No", "PubScreen", "Workbench"}, 0, "",
         "Sure?: 100% %s\n"},
        {{requestChoice, "Note", "Text", "OK", "TimeoutSecs", "soon"}, 20,
         "ERROR: TimeoutSecs must be a whole number of seconds\n", ""},
        {{requestChoice, "Note", "Text"}, 20,
         "Shell parameter error, missing required parameter \"Gadgets\"\n", ""},
        // clang-format on
    };
    // The program and the resident command the Shell runs inside tolvarn are one and the same.
    NothingLeftBehind leftBehind;
    ASSERT_EQ(AddSegment("RequestChoice", requestChoiceResident, FALSE), DOSTRUE);
    for (const auto& test : cases) {
        std::string line = "requestchoice";
        for (size_t index = 1; index < test.arguments.size(); ++index)
            line += " " + platform::quoteShellItem(test.arguments[index]);
        RunOutcome resident;
        ::testing::internal::CaptureStderr();
        resident.out =
            captureStdout([&] { resident.returnCode = SystemTagList(line.c_str(), nullptr); });
        resident.err = ::testing::internal::GetCapturedStderr();
        for (const RunOutcome& outcome : {runChild(sandbox, test.arguments), resident}) {
            EXPECT_EQ(outcome.returnCode, test.returnCode) << line;
            EXPECT_EQ(outcome.err, test.err) << line;
            EXPECT_EQ(outcome.out, test.out) << line;
        }
    }
    EXPECT_EQ(RemSegment(FindSegment("RequestChoice", nullptr, FALSE)), DOSTRUE);
    leftBehind.check();
}

/// How a run on a pseudo-terminal is made: the program, its environment, and whether standard
/// output goes to the terminal too (otherwise to a file).
struct TerminalRun {
    std::string program = builtProgram("tolvarn");
    std::vector<std::pair<const char*, const char*>> environment = {};
    bool outputOnTerminal = false;
};

/// Runs tolvarn on a pseudo-terminal. For each step of `script` in turn it waits (at most ten
/// seconds) for the prompt to appear after the one before, then types the answer and Enter (an
/// answer "\x03" is a Ctrl-C instead). Returns the return code, what went to standard output and
/// in `err` all the terminal showed.
RunOutcome onTerminal(const Sandbox& sandbox, Lines arguments,
                      const std::vector<std::pair<std::string, std::string>>& script,
                      const TerminalRun& how = {}) {
    arguments.insert(arguments.begin(), how.program);
    std::vector<char*> words = wordsOf(arguments);
    const std::string out = sandbox.path("terminal.out");
    int terminal = -1;
    const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (child == 0) {
        setenv("TOLVARN_REQUESTER", "terminal", 1);
        for (const auto& [name, value] : how.environment)
            value != nullptr ? setenv(name, value, 1) : unsetenv(name);
        if (!how.outputOnTerminal)
            dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
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
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1,
            how.outputOnTerminal ? shown : readFile(out), shown};
}

TEST(TerminalRequesters, AskForDOSBoxUntilFoundOrGivenUp) {
    LauncherSandbox sandbox;
    const std::string program = sandbox.writeFile("games/MAZE.EXE", "MZ");
    sandbox.makeDir("empty/DOSBox");
    const std::string prompt = "Path (an empty line cancels): ";
    // Nothing on PATH: the requester says what it wants. A folder without DOSBox is remembered
    // but asked about again, one that does not exist is not remembered, a sub-folder named
    // DOSBox is no DOSBox; giving up is a failure.
    RunOutcome outcome = onTerminal(sandbox, {program},
                                    {{"Tolvarn: choose the folder that holds DOSBox\r\nChoose a "
                                      "folder.\r\n" +
                                          prompt,
                                      sandbox.path("games")},
                                     {prompt, sandbox.path("gone")},
                                     {prompt, sandbox.path("empty")},
                                     {prompt, ""},
                                     {"Could not find DOSBox", ""}});
    EXPECT_EQ(outcome.returnCode, 10);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(sandbox.remembered(), sandbox.path("empty"));

    outcome = onTerminal(sandbox, {program},
                         {{prompt, sandbox.path("dosbox")}, {"Press Ctrl-F9 to quit!", ""}});
    EXPECT_EQ(outcome.returnCode, 0);
    EXPECT_EQ(sandbox.remembered(), sandbox.path("dosbox"));
    EXPECT_EQ(sandbox.dosboxLog().back(), "exit");
}

/// A copy of tolvarn installed in the sandbox's "prefix", with the example settings beside it.
std::string installedCopy(const Sandbox& sandbox) {
    sandbox.writeFile("prefix/share/tolvarn/Tolvarn.conf",
                      readFile(TOLVARN_SOURCE_DIR "/data/Tolvarn.conf"));
    const std::string copy = sandbox.makeDir("prefix/bin") + "/tolvarn";
    fs::copy_file(builtProgram("tolvarn"), copy);
    return copy;
}

TEST(FirstRun, FindsDOSBoxOnThePathAndMakesAFolderOfItsOwnWithoutAsking) {
    for (const char* backend : {"none", "terminal"}) {
        SCOPED_TRACE(backend);
        LauncherSandbox sandbox;
        const std::string tolvarn = installedCopy(sandbox),
                          own = sandbox.path("config/tolvarn/DOSBox");
        const std::string program = sandbox.writeFile("games/MAZE.EXE", "MZ");
        fs::create_symlink(sandbox.path("dosbox/DOSBox"), sandbox.makeDir("tools") + "/dosbox");
        // Only the notice shows there: no question is asked.
        const auto run = [&] {
            return backend == std::string("none")
                       ? runChild(sandbox, {tolvarn, program})
                       : onTerminal(sandbox, {program}, {{"Press Enter", ""}},
                                    {.program = tolvarn});
        };
        RunOutcome outcome = run();
        EXPECT_EQ(outcome.returnCode, 0);
        EXPECT_NE(outcome.err.find("Press Ctrl-F9 to quit!"), std::string::npos) << outcome.err;
        EXPECT_EQ(outcome.err.find("DOSBox"), std::string::npos) << outcome.err;
        EXPECT_EQ(outcome.out, "Tolvarn uses the DOSBox at \"" + sandbox.path("tools/dosbox") +
                                   "\"; its folder \"" + own +
                                   "\" is where \"Tolvarn.conf\" and \"Y/dos32a.exe\" go.\n");
        EXPECT_EQ(fs::read_symlink(own + "/DOSBox"), sandbox.path("tools/dosbox"));
        EXPECT_EQ(readFile(own + "/Tolvarn.conf"),
                  readFile(TOLVARN_SOURCE_DIR "/data/Tolvarn.conf"));
        EXPECT_TRUE(fs::is_empty(own + "/Y"));
        EXPECT_EQ(sandbox.remembered(), own);
        EXPECT_EQ(sandbox.dosboxLog(), (Lines{own, "-exit", "-fullscreen", "-conf", "Tolvarn.conf",
                                              "-c", "Mount C \"" + sandbox.path("games") + "\"",
                                              "-c", "C:", "-c", "MAZE.EXE", "-c", "exit"}));
        // The next run says nothing more; one that finds the variable gone reuses the folder.
        outcome = run();
        EXPECT_EQ(outcome.returnCode, 0);
        EXPECT_EQ(outcome.out, "");
        fs::remove(sandbox.path("config/tolvarn/env/AppDir/DOSBox"));
        fs::remove(own + "/Tolvarn.conf");
        EXPECT_EQ(run().returnCode, 0);
        EXPECT_EQ(sandbox.remembered(), own);
        EXPECT_EQ(readFile(own + "/Tolvarn.conf"),
                  readFile(TOLVARN_SOURCE_DIR "/data/Tolvarn.conf"));
    }
}

TEST(TerminalRuns, MarkErrorsInColourOnlyOnATerminalThatWantsThemAndBreakWithTwenty) {
    LauncherSandbox sandbox;
    sandbox.rememberDOSBox(sandbox.path("dosbox"));
    const std::string program = sandbox.writeFile("games/MAZE.EXE", "MZ");
    // The arguments, what is typed, TERM and NO_COLOR, the return code and what the terminal must
    // show. Ctrl-C at a prompt or at the notice ends the run as a break does anywhere.
    const struct {
        Lines arguments;
        std::vector<std::pair<std::string, std::string>> script;
        const char *term, *noColour;
        int returnCode;
        std::string shown;
    } cases[] = {
        {{"a", "b"}, {}, "xterm", nullptr, 10, "a \x1b[32;43mb\x1b[31;40m\x1b[0m"},
        {{"a", "b"}, {}, "xterm", "1", 10, "a ##b##"},
        {{"a", "b"}, {}, "dumb", nullptr, 10, "a ##b##"},
        {{"?"}, {{"NoExit/S: ", "\x03"}}, "xterm", nullptr, 20, "***Break"},
        {{program}, {{"Press Ctrl-F9 to quit!", "\x03"}}, "xterm", nullptr, 20, "***Break"},
    };
    for (const auto& test : cases) {
        const RunOutcome outcome =
            onTerminal(sandbox, test.arguments, test.script,
                       {.environment = {{"TERM", test.term}, {"NO_COLOR", test.noColour}},
                        .outputOnTerminal = true});
        EXPECT_EQ(outcome.returnCode, test.returnCode);
        EXPECT_NE(outcome.out.find(test.shown), std::string::npos) << outcome.out;
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
    for (const char* tool : {"Xvfb", "zenity", "xdotool"})
        if (!fs::exists(sandbox.path("tools/") + tool))
            GTEST_SKIP()
                << "the desktop needs Xvfb, zenity and xdotool (scripts/install-dependencies)";
    // The server tells its process number, then picks a free display and tells that.
    FILE* server = popen("echo $$; exec Xvfb -displayfd 1 -nolisten tcp 2>/dev/null", "r");
    int serverId = 0, display = -1;
    ASSERT_TRUE(server != nullptr && fscanf(server, "%d %d", &serverId, &display) == 2);
    setenv("DISPLAY", (":" + std::to_string(display)).c_str(), 1);
    setenv("NO_AT_BRIDGE", "1", 1); // no accessibility bus or settings daemon here
    setenv("GSETTINGS_BACKEND", "memory", 1);
    unsetenv("TOLVARN_REQUESTER");
    sandbox.rememberDOSBox(sandbox.path("dosbox"));
    const std::string tolvarn = installedCopy(sandbox);
    const std::string program = sandbox.writeFile("games/MAZE.EXE", "MZ");
    // A run that prints nothing opens no window and ends by itself.
    EXPECT_EQ(runChild(sandbox, {"timeout", "30", tolvarn, "--workbench", program}).returnCode, 0);
    // A failing run shows its report in the window and waits until the window is closed.
    sandbox.writeScript("dosbox/DOSBox", "", "#!/no/such/interpreter\n");
    const pid_t child =
        startChild({tolvarn, "--workbench", program}, "", sandbox.path("desktop.out"));
    // The notice's dialog has the same title as the console window and closes by itself after
    // two seconds. So the windows called "Tolvarn" are closed once they have stayed the same for
    // three seconds, until the run ends; it must never end while one is open.
    using std::chrono::steady_clock;
    using namespace std::chrono_literals;
    int status = 0;
    bool ended = false;
    for (int round = 0; round < 3 && !ended; ++round) {
        std::string windows;
        auto unchangedSince = steady_clock::now();
        for (const auto start = unchangedSince; steady_clock::now() - start < 60s;) {
            if ((ended = waitpid(child, &status, WNOHANG) == child))
                break;
            const std::string seen =
                runChild(sandbox, {"xdotool", "search", "--name", "^Tolvarn$"}).out;
            if (seen != windows) {
                windows = seen;
                unchangedSince = steady_clock::now();
            } else if (!windows.empty() && steady_clock::now() - unchangedSince > 3s) {
                break;
            }
            std::this_thread::sleep_for(100ms);
        }
        EXPECT_TRUE(ended ? windows.empty() : !windows.empty()) << "ended with a window open";
        std::istringstream lines(windows);
        for (std::string window; !ended && std::getline(lines, window);)
            runChild(sandbox, {"xdotool", "windowkill", window});
    }
    if (!ended)
        waitpid(child, &status, 0);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 10);
    EXPECT_EQ(readFile(sandbox.path("desktop.out")), ""); // all of it went to the window
    kill(serverId, SIGTERM);
    pclose(server);
    unsetenv("DISPLAY");
}

} // namespace
} // namespace tolvarn::testing
