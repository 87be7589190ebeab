// Asking for DOSBox's folder with a person at a terminal: the built program runs on a
// pseudo-terminal with its standard output in a file, and the test types the answers.
#include "launcherTestSupport.h"

#include <poll.h>
#include <pty.h>

namespace tolvarn::testing {
namespace {

class Terminal {
public:
    Terminal(const Sandbox& sandbox, Lines arguments) : out_(sandbox.path("terminal.out")) {
        arguments.insert(arguments.begin(), builtProgram("tolvarn"));
        std::vector<char*> words = wordsOf(arguments);
        child_ = forkpty(&terminal_, nullptr, nullptr, nullptr);
        if (child_ == 0) {
            setenv("TOLVARN_REQUESTER", "terminal", 1);
            dup2(open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
            execv(words[0], words.data());
            _exit(127);
        }
    }
    /// Waits at most ten seconds for `text` to appear after what was awaited before, then types
    /// `answer` and Enter.
    void answer(const std::string& text, const std::string& answer) {
        while (shown_.find(text, seen_) == std::string::npos) {
            pollfd ready = {terminal_, POLLIN, 0};
            char buffer[512];
            const ssize_t count = poll(&ready, 1, 10000) > 0 ? read(terminal_, buffer, 512) : 0;
            if (count <= 0)
                return ADD_FAILURE() << "never shown: " << text << "\nshown:\n" << shown_;
            shown_.append(buffer, static_cast<size_t>(count));
        }
        seen_ = shown_.find(text, seen_) + text.size();
        EXPECT_GT(write(terminal_, (answer + "\n").c_str(), answer.size() + 1), 0);
    }
    /// Waits for the end; returns the return code and what went to standard output.
    RunOutcome finish() {
        char buffer[512];
        while (read(terminal_, buffer, sizeof buffer) > 0) {
        }
        close(terminal_);
        int status = 0;
        waitpid(child_, &status, 0);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(out_), ""};
    }

private:
    std::string out_, shown_;
    size_t seen_ = 0;
    int terminal_ = -1;
    pid_t child_ = -1;
};

TEST(TerminalRequesters, AskForDOSBoxUntilFoundOrGivenUp) {
    LauncherSandbox sandbox;
    const std::string program = sandbox.writeFile("games/MAZE.EXE", "MZ");
    const std::string prompt = "Path (an empty line cancels): ";
    // A folder without DOSBox is remembered but asked about again; giving up ends quietly.
    Terminal givingUp(sandbox, {program});
    givingUp.answer(prompt, sandbox.path("games"));
    givingUp.answer(prompt, "");
    givingUp.answer("Could not find DOSBox", "");
    const RunOutcome outcome = givingUp.finish();
    EXPECT_EQ(outcome.returnCode, 0);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(sandbox.remembered(), sandbox.path("games"));

    Terminal finding(sandbox, {program});
    finding.answer(prompt, sandbox.path("dosbox"));
    finding.answer("Press Ctrl-Alt-F9 to quit!", "");
    EXPECT_EQ(finding.finish().returnCode, 0);
    EXPECT_EQ(sandbox.remembered(), sandbox.path("dosbox"));
    EXPECT_EQ(sandbox.dosboxLog().back(), "exit");
}

} // namespace
} // namespace tolvarn::testing
