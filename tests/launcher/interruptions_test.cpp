// A run that ends at any moment, runs at the same instant, and signals: the program's folder
// always holds a whole DOS4GW.EXE and the DOS/4G extender under one of its two names, and DOSBox
// never outlives a Tolvarn that was told to end.
#include "launcherTestSupport.h"

#include "launcher/dos32a.h"
#include "platform/folderChanges.h"
#include "runtime/types.h"

#include <csignal>
#include <functional>
#include <set>
#include <thread>

namespace tolvarn::testing {
namespace {

using namespace std::chrono_literals;
const std::string dos4gBytes = "DOS/4G extender bytes", dos32aBytes = "DOS32A extender bytes";

/// "4G", "32A", "-" (no file) or "other" for each of DOS4GW.EXE and DOS4GW_original.EXE, then
/// any further entry of the folder by name.
std::string folderState(const std::string& folder) {
    std::string state, others;
    for (const char* name : {"DOS4GW.EXE", "DOS4GW_original.EXE"}) {
        const std::string path = folder + "/" + name, bytes = readFile(path);
        state += std::string(state.empty() ? "" : "/") + (!fs::exists(path)      ? "-"
                                                          : bytes == dos4gBytes  ? "4G"
                                                          : bytes == dos32aBytes ? "32A"
                                                                                 : "other");
    }
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name != "DOS4GW.EXE" && name != "DOS4GW_original.EXE" && name != "GAME.EXE")
            others += " " + name;
    }
    return state + others;
}

/// Runs `action` in a child process; returns its wait status.
int inChild(const std::function<void()>& action) {
    const pid_t child = fork();
    if (child == 0) {
        action();
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return status;
}

class Interruptions : public ::testing::Test {
  protected:
    void SetUp() override {
        sandbox.rememberDOSBox(sandbox.path("dosbox"));
        sandbox.writeFile("dosbox/Y/dos32a.exe", dos32aBytes);
    }
    /// Lays out the folder before a swap (DOS4GW.EXE alone) or before a restore.
    void layOut(bool swapped) const {
        fs::remove_all(folder);
        sandbox.writeFile("game/DOS4GW.EXE", swapped ? dos32aBytes : dos4gBytes);
        if (swapped)
            sandbox.writeFile("game/DOS4GW_original.EXE", dos4gBytes);
        sandbox.writeFile("game/GAME.EXE", "MZ stub DOS/4G");
    }
    void prepare(int32_t noDOS32A) const {
        captureStdout([&] {
            prepareDOS32A(folder.c_str(), program.c_str(), dos32a.c_str(), FALSE, noDOS32A);
        });
    }

    LauncherSandbox sandbox;
    const std::string folder = sandbox.path("game"), program = folder + "/GAME.EXE",
                      dos32a = sandbox.path("dosbox/Y/dos32a.exe");
};

TEST_F(Interruptions, AnEndAtEveryStepLeavesAWholeFolderThatTheNextRunsRepair) {
    const struct {
        const char* name;
        bool swapped, wholeLaunch;
        int32_t noDOS32A;
    } scenarios[] = {{"swap", false, false, FALSE},
                     {"restore", true, false, TRUE},
                     {"launch", false, true, FALSE},
                     {"launch with NoDOS32A", true, true, TRUE}};
    for (const bool hardLinks : {true, false}) {
        tolvarn::platform::refuseHardLinks(!hardLinks);
        for (const auto& scenario : scenarios) {
            int steps = 0;
            for (int n = 1; n < 200; ++n) {
                SCOPED_TRACE(std::string(scenario.name) + (hardLinks ? "" : " without hard links") +
                             ", ended before step " + std::to_string(n));
                layOut(scenario.swapped);
                const int status = inChild([&] {
                    tolvarn::platform::crashBeforeFolderStep(n);
                    if (scenario.wholeLaunch)
                        runShellStart({program, scenario.noDOS32A ? "NoDOS32A" : "Window"});
                    else
                        prepare(scenario.noDOS32A);
                });
                if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
                    break; // the run went through: every step has been tried
                ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 86) << status;
                steps = n;
                // DOS4GW.EXE whole, the extender under one of the two names.
                const std::string state = folderState(folder);
                EXPECT_TRUE(state.starts_with("4G/") || state.starts_with("32A/4G")) << state;
                prepare(FALSE);
                EXPECT_EQ(folderState(folder), "32A/4G");
                prepare(TRUE);
                EXPECT_EQ(folderState(folder), "4G/-");
            }
            EXPECT_GE(steps, 2) << scenario.name; // a restore is one rename and one flush
        }
    }
    tolvarn::platform::refuseHardLinks(false);
}

TEST_F(Interruptions, TenRunsAtOnceNeverLoseTheExtender) {
    layOut(false);
    constexpr int runs = 10, rounds = 30;
    std::vector<pid_t> children;
    for (int run = 0; run < runs; ++run) {
        const pid_t child = fork();
        if (child == 0) {
            for (int round = 0; round < rounds; ++round) {
                prepare((run + round) % 2 ? TRUE : FALSE);
                const std::string bytes = readFile(folder + "/DOS4GW.EXE");
                if (bytes != dos4gBytes && bytes != dos32aBytes)
                    _exit(1); // DOS4GW.EXE missing or broken, even for an instant
            }
            _exit(0);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    const std::string state = folderState(folder);
    EXPECT_TRUE(state == "4G/-" || state == "32A/4G") << state;
}

TEST_F(Interruptions, SignalsWaitForTheSwapAndGoOnToDOSBox) {
    // During a change to the folder, a termination waits until the change is done.
    sandbox.makeDir("game");
    const int status = inChild([&] {
        tolvarn::platform::FolderHold* hold = tolvarn::platform::holdFolder(folder.c_str(), 0);
        kill(getpid(), SIGTERM);
        sandbox.writeFile("game/done", "");
        tolvarn::platform::releaseFolder(hold);
    });
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_TRUE(fs::exists(sandbox.path("game/done")));

    // While DOSBox runs, termination and hang-up go on to it; Tolvarn waits, then ends.
    sandbox.writeScript("dosbox/DOSBox",
                        "echo $$ >'" + sandbox.path("dosbox.pid") + "'\nexec sleep 30\n");
    layOut(false);
    for (const int signal : {SIGTERM, SIGHUP}) {
        fs::remove(sandbox.path("dosbox.pid"));
        Lines command = {builtProgram("tolvarn"), program};
        std::vector<char*> words = wordsOf(command);
        const pid_t tolvarn = fork();
        if (tolvarn == 0) {
            dup2(open("/dev/null", O_WRONLY), STDERR_FILENO); // the notice
            execv(words[0], words.data());
            _exit(127);
        }
        for (int wait = 0; wait < 1000 && readFile(sandbox.path("dosbox.pid")).empty(); ++wait)
            std::this_thread::sleep_for(10ms);
        const pid_t dosbox = std::stoi("0" + readFile(sandbox.path("dosbox.pid")));
        ASSERT_GT(dosbox, 0) << readFile(sandbox.path("events.log"));
        kill(tolvarn, signal);
        int ended = 0;
        waitpid(tolvarn, &ended, 0);
        EXPECT_TRUE(WIFSIGNALED(ended) && WTERMSIG(ended) == signal) << ended;
        EXPECT_NE(kill(dosbox, 0), 0); // DOSBox is gone too, and was waited for
    }

    // A closed standard output does not keep DOSBox from starting.
    fs::remove(sandbox.path("dosbox/Tolvarn.conf")); // so that there is a warning to print
    sandbox.writeScript("dosbox/DOSBox", "echo dosbox >>'" + sandbox.path("events.log") + "'\n");
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    const int closedOutput = inChild([&] {
        close(ends[0]);
        dup2(ends[1], STDOUT_FILENO);
        dup2(open("/dev/null", O_WRONLY), STDERR_FILENO);
        Lines command = {builtProgram("tolvarn"), program};
        std::vector<char*> words = wordsOf(command);
        execv(words[0], words.data());
    });
    close(ends[0]);
    close(ends[1]);
    EXPECT_TRUE(WIFEXITED(closedOutput)) << closedOutput;
    EXPECT_EQ(sandbox.events().back(), "dosbox");
}

} // namespace
} // namespace tolvarn::testing
