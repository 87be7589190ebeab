// Running commands and the notice command as the Shell runs them, and asking for DOSBox's folder
// with a person at a terminal.
#include "launcherTestSupport.h"

#include "launcher/requesters.h"
#include "platform/dos.h"
#include "runtime/types.h"

#include <poll.h>
#include <pty.h>

namespace tolvarn::testing {
namespace {

TEST(Commands, ReportWhetherTheyCouldRunAndWhere) {
    LauncherSandbox sandbox;
    NothingLeftBehind leftBehind;
    sandbox.writeScript("bin/exits", "pwd -P >'" + sandbox.path("where") + "'\nexit $1\n");
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
        {{requestChoice, "Tolvarn", "Press Ctrl-Alt-F9 to quit!", "OK", "TIMEOUTSECS=2"}, 0, "",
         "Tolvarn: Press Ctrl-Alt-F9 to quit!\n"},
        {{requestChoice, "Sure?", "100% %s", "Yes|100%|No", "PubScreen", "Workbench"}, 0, "",
         "Sure?: 100% %s\n"},
        {{requestChoice, "Note", "Text", "OK", "TimeoutSecs", "soon"}, 20,
         "ERROR: TimeoutSecs must be a whole number of seconds\n", ""},
        {{requestChoice, "Note", "Text"}, 20,
         "Shell parameter error, missing required parameter \"Gadgets\"\n", ""},
        // clang-format on
    };
    for (const auto& test : cases) {
        const RunOutcome outcome = runChild(sandbox, test.arguments);
        EXPECT_EQ(outcome.returnCode, test.returnCode) << test.arguments[1];
        EXPECT_EQ(outcome.err, test.err);
        EXPECT_EQ(outcome.out, test.out);
    }
}

/// Runs tolvarn on a pseudo-terminal with its standard output in a file. For each step of
/// `script` in turn it waits (at most ten seconds) for the prompt to appear after the one before,
/// then types the answer and Enter. Returns the return code and what went to standard output.
RunOutcome onTerminal(const Sandbox& sandbox, Lines arguments,
                      const std::vector<std::pair<std::string, std::string>>& script) {
    arguments.insert(arguments.begin(), builtProgram("tolvarn"));
    std::vector<char*> words = wordsOf(arguments);
    const std::string out = sandbox.path("terminal.out");
    int terminal = -1;
    const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (child == 0) {
        setenv("TOLVARN_REQUESTER", "terminal", 1);
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
        EXPECT_GT(write(terminal, (answer + "\n").c_str(), answer.size() + 1), 0);
    }
    while (read(terminal, buffer, sizeof buffer) > 0) {
    }
    close(terminal);
    int status = 0;
    waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(out), ""};
}

TEST(TerminalRequesters, AskForDOSBoxUntilFoundOrGivenUp) {
    LauncherSandbox sandbox;
    const std::string program = sandbox.writeFile("games/MAZE.EXE", "MZ");
    const std::string prompt = "Path (an empty line cancels): ";
    // A folder without DOSBox is remembered but asked about again, one that does not exist is
    // not remembered; giving up ends quietly.
    RunOutcome outcome = onTerminal(sandbox, {program},
                                    {{prompt, sandbox.path("games")},
                                     {prompt, sandbox.path("gone")},
                                     {prompt, ""},
                                     {"Could not find DOSBox", ""}});
    EXPECT_EQ(outcome.returnCode, 0);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(sandbox.remembered(), sandbox.path("games"));

    outcome = onTerminal(sandbox, {program},
                         {{prompt, sandbox.path("dosbox")}, {"Press Ctrl-Alt-F9 to quit!", ""}});
    EXPECT_EQ(outcome.returnCode, 0);
    EXPECT_EQ(sandbox.remembered(), sandbox.path("dosbox"));
    EXPECT_EQ(sandbox.dosboxLog().back(), "exit");
}

} // namespace
} // namespace tolvarn::testing
