// I/O failing at every point of the DOS32A swap and of a whole launch, and the process ending
// before every change it makes to the folder, with and without hard links; ten runs at the same
// instant; signals during the swap and while DOSBox runs. DOS4GW.EXE stays whole, the DOS/4G
// extender's bytes stay under DOS4GW.EXE or DOS4GW_original.EXE, the launch goes on, nothing is
// left open, and DOSBox never outlives a Tolvarn that was told to end. Then a thousand launches
// in a row must leave no descriptor, child, block, lock or handle behind.
#include "launcherTestSupport.h"

#include "launcher/dos32a.h"
#include "platform/dos/dos.h"
#include "platform/host/folderChanges.h"
#include "runtime/types.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <functional>
#include <iterator>
#include <set>
#include <thread>

namespace tolvarn::platform::internal {
bool injectedFailure(Operation operation); // the host layer's own fault counter
}

namespace tolvarn::testing {
namespace {

using tolvarn::platform::failOperation;
using tolvarn::platform::Operation;
using namespace std::chrono_literals;

constexpr Operation operations[] = {Operation::Open, Operation::Read, Operation::Write,
                                    Operation::Rename, Operation::DeleteFile};
const char* const operationNames[] = {"Open", "Read", "Write", "Rename", "DeleteFile"};
const std::string dos4gBytes = "DOS/4G extender bytes", dos32aBytes = "DOS32A extender bytes";

/// Runs and checks `attempt` with the n-th call of `kind` failing, for n = 1, 2, ... until a run
/// makes fewer than n such calls (so it runs clean once too); returns the number of failure points.
int failurePoints(size_t kind, const std::function<void(int n)>& attempt) {
    for (int n = 1; n < 100; ++n) {
        SCOPED_TRACE(std::string(operationNames[kind]) + " #" + std::to_string(n) + " fails");
        NothingLeftBehind leftBehind;
        failOperation(operations[kind], n);
        attempt(n);
        leftBehind.check();
        bool pending = false; // the failure still waiting, which also cancels it
        for (int call = 0; call < n && !pending; ++call)
            pending = tolvarn::platform::internal::injectedFailure(operations[kind]);
        if (pending)
            return n - 1;
    }
    ADD_FAILURE() << operationNames[kind] << ": the failure never came";
    return 0;
}

/// What DOS4GW.EXE and DOS4GW_original.EXE hold: "4G", "32A", "-" for no file, or "other"; then
/// the name of every other entry of the folder (a copy left behind, say).
std::string folderState(const Sandbox& sandbox) {
    const auto contents = [&](const std::string& name) -> std::string {
        const std::string path = sandbox.path("game/" + name), bytes = readFile(path);
        return !std::filesystem::exists(path) ? "-"
               : bytes == dos4gBytes          ? "4G"
               : bytes == dos32aBytes         ? "32A"
                                              : "other";
    };
    std::string others;
    for (const auto& entry : fs::directory_iterator(sandbox.path("game"))) {
        const std::string name = entry.path().filename().string();
        if (name != "DOS4GW.EXE" && name != "DOS4GW_original.EXE" && name != "GAME.EXE")
            others += " " + name;
    }
    return contents("DOS4GW.EXE") + "/" + contents("DOS4GW_original.EXE") + others;
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

/// Starts the built tolvarn with `arguments` as a child, its error stream (the notice) dropped.
pid_t startTolvarn(Lines arguments) {
    arguments.insert(arguments.begin(), builtProgram("tolvarn"));
    std::vector<char*> words = wordsOf(arguments);
    const pid_t child = fork();
    if (child == 0) {
        dup2(open("/dev/null", O_WRONLY), STDERR_FILENO);
        execv(words[0], words.data());
        _exit(127);
    }
    return child;
}

/// Lays out the program's folder: DOS4GW.EXE alone (the swap to come), or DOS32A in its place
/// with the extender kept (the swap done). Returns the program's path.
std::string layOut(const Sandbox& sandbox, bool swapped) {
    std::filesystem::remove_all(sandbox.path("game"));
    sandbox.writeFile("game/DOS4GW.EXE", swapped ? dos32aBytes : dos4gBytes);
    if (swapped)
        sandbox.writeFile("game/DOS4GW_original.EXE", dos4gBytes);
    return sandbox.writeFile("game/GAME.EXE", "MZ stub DOS/4G");
}

const struct Scenario {
    const char* name;
    int32_t noDOS32A;              // FALSE: substitution; TRUE: restoration
    std::set<Operation> used;      // the calls a swap that goes through makes
    std::set<std::string> outcome; // the folder states a failure may leave
} scenarios[] = {
    // Substitution: DOS32A moves in, or everything stays.
    {"substitution",
     FALSE,
     {Operation::Open, Operation::Read, Operation::Write, Operation::Rename},
     {"4G/-", "32A/4G"}},
    // Restoration: the extender moves back in one step, or nothing changes.
    {"restoration", TRUE, {Operation::Rename}, {"32A/4G", "4G/-"}},
};

class FaultInjection : public ::testing::Test {
  protected:
    void SetUp() override {
        sandbox.rememberDOSBox(sandbox.path("dosbox"));
        sandbox.writeFile("dosbox/Y/dos32a.exe", dos32aBytes);
    }
    int32_t prepare(const Scenario& scenario) {
        layOut(sandbox, scenario.noDOS32A);
        return prepareAgain(scenario.noDOS32A);
    }
    /// Prepares the folder as it stands, its messages swallowed.
    int32_t prepareAgain(int32_t noDOS32A) {
        int32_t viaDOS32A = FALSE;
        captureStdout([&] {
            viaDOS32A = prepareDOS32A(sandbox.path("game").c_str(), program.c_str(),
                                      sandbox.path("dosbox/Y/dos32a.exe").c_str(), FALSE, noDOS32A);
        });
        return viaDOS32A;
    }
    LauncherSandbox sandbox;
    const std::string program = sandbox.path("game/GAME.EXE");
};
class Soak : public FaultInjection {};

TEST_F(FaultInjection, EveryFailurePointOfTheSwapKeepsTheExtender) {
    for (const Scenario& scenario : scenarios) {
        SCOPED_TRACE(scenario.name);
        for (size_t kind = 0; kind < std::size(operations); ++kind) {
            const int points = failurePoints(kind, [&](int n) {
                const int32_t viaDOS32A = prepare(scenario);
                // Only a failed look at the program itself can hide its stub.
                const bool scanFailed =
                    !scenario.noDOS32A && n == 1 &&
                    (operations[kind] == Operation::Open || operations[kind] == Operation::Read);
                EXPECT_EQ(viaDOS32A, scenario.noDOS32A || scanFailed ? FALSE : TRUE);
                EXPECT_TRUE(scenario.outcome.contains(folderState(sandbox)))
                    << folderState(sandbox);
            });
            EXPECT_EQ(points > 0, scenario.used.contains(operations[kind])) << operationNames[kind];
        }
    }
}

TEST_F(FaultInjection, WholeLaunchGoesOnWhateverSingleCallFails) {
    for (size_t kind = 0; kind < std::size(operations); ++kind) {
        const int points = failurePoints(kind, [&](int) {
            const std::string program = layOut(sandbox, false);
            std::filesystem::remove(sandbox.path("events.log"));
            const RunOutcome outcome = runShellStart({program});
            // No failed call of these five stops DOSBox from starting.
            EXPECT_EQ(outcome.returnCode, 0);
            EXPECT_EQ(sandbox.events(), Lines{"dosbox"}) << outcome.out << outcome.err;
            const std::string state = folderState(sandbox);
            EXPECT_TRUE(state == "4G/-" || state == "32A/4G") << state;
        });
        // A launch that goes through makes the calls of a substitution.
        EXPECT_EQ(points > 0, scenarios[0].used.contains(operations[kind])) << operationNames[kind];
    }
}

TEST_F(FaultInjection, AnEndAtEveryStepLeavesAWholeFolderThatTheNextRunsRepair) {
    const struct {
        const char* name;
        bool swapped, wholeLaunch;
        int32_t noDOS32A;
    } kinds[] = {{"swap", false, false, FALSE},
                 {"restore", true, false, TRUE},
                 {"launch", false, true, FALSE},
                 {"launch with NoDOS32A", true, true, TRUE}};
    for (const bool hardLinks : {true, false}) {
        tolvarn::platform::refuseHardLinks(!hardLinks);
        for (const auto& kind : kinds) {
            int steps = 0;
            for (int n = 1; n < 200; ++n) {
                SCOPED_TRACE(std::string(kind.name) + (hardLinks ? "" : " without hard links") +
                             ", ended before step " + std::to_string(n));
                layOut(sandbox, kind.swapped);
                const int status = inChild([&] {
                    tolvarn::platform::crashBeforeFolderStep(n);
                    if (kind.wholeLaunch)
                        runShellStart({program, kind.noDOS32A ? "NoDOS32A" : "Window"});
                    else
                        prepareAgain(kind.noDOS32A);
                });
                if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
                    break; // the run went through: every step has been tried
                ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 86) << status;
                steps = n;
                // DOS4GW.EXE whole, the extender under one of the two names.
                const std::string state = folderState(sandbox);
                EXPECT_TRUE(state.starts_with("4G/") || state.starts_with("32A/4G")) << state;
                prepareAgain(FALSE);
                EXPECT_EQ(folderState(sandbox), "32A/4G");
                prepareAgain(TRUE);
                EXPECT_EQ(folderState(sandbox), "4G/-");
            }
            EXPECT_GE(steps, 2) << kind.name; // a restore is one rename and one flush
        }
    }
    tolvarn::platform::refuseHardLinks(false);
}

TEST_F(FaultInjection, TenRunsAtOnceNeverLoseTheExtender) {
    layOut(sandbox, false);
    constexpr int runs = 10, rounds = 30;
    std::vector<pid_t> children;
    for (int run = 0; run < runs; ++run) {
        const pid_t child = fork();
        if (child == 0) {
            for (int round = 0; round < rounds; ++round) {
                prepareAgain((run + round) % 2 ? TRUE : FALSE);
                const std::string bytes = readFile(sandbox.path("game/DOS4GW.EXE"));
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
    const std::string state = folderState(sandbox);
    EXPECT_TRUE(state == "4G/-" || state == "32A/4G") << state;
}

TEST_F(FaultInjection, SignalsWaitForTheSwapAndGoOnToDOSBox) {
    // During a change to the folder, a termination waits until the change is done.
    layOut(sandbox, false);
    const int status = inChild([&] {
        tolvarn::platform::FolderHold* hold =
            tolvarn::platform::holdFolder(sandbox.path("game").c_str(), 0);
        kill(getpid(), SIGTERM);
        if (hold != nullptr)
            sandbox.writeFile("game/done", "");
        tolvarn::platform::releaseFolder(hold);
    });
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_TRUE(fs::exists(sandbox.path("game/done")));

    // While DOSBox runs, termination and hang-up go on to it; Tolvarn waits, then ends.
    sandbox.writeScript("dosbox/DOSBox",
                        "echo $$ >'" + sandbox.path("dosbox.pid") + "'\nexec sleep 30\n");
    for (const int signal : {SIGTERM, SIGHUP}) {
        fs::remove(sandbox.path("dosbox.pid"));
        const pid_t tolvarn = startTolvarn({program});
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
    const int saved = dup(STDOUT_FILENO);
    close(ends[0]);
    dup2(ends[1], STDOUT_FILENO); // for the child only: nobody reads it any more
    const pid_t tolvarn = startTolvarn({program});
    dup2(saved, STDOUT_FILENO);
    close(saved);
    close(ends[1]);
    int closedOutput = 0;
    waitpid(tolvarn, &closedOutput, 0);
    EXPECT_TRUE(WIFEXITED(closedOutput)) << closedOutput;
    EXPECT_EQ(sandbox.events().back(), "dosbox");
}

TEST_F(Soak, AThousandLaunchesLeaveNothingBehind) {
    const auto descriptors = [] {
        return std::distance(fs::directory_iterator("/proc/self/fd"), {});
    };
    const std::string program = layOut(sandbox, false), cdFolder = sandbox.makeDir("cd");
    const NothingLeftBehind leftBehind;
    const auto descriptorsBefore = descriptors();
    for (int launch = 0; launch < 1000; ++launch) { // DOS32A swapped in and out in turn
        const RunOutcome outcome =
            runShellStart({program, launch % 2 ? "NoDOS32A" : "Window", "CDdir", cdFolder});
        ASSERT_EQ(outcome.returnCode, 0) << launch;
        ASSERT_EQ(outcome.err, "Tolvarn: Press Ctrl-F9 to quit!\n") << launch;
    }
    const Lines events = sandbox.events();
    EXPECT_EQ(std::count(events.begin(), events.end(), "dosbox"), 1000);
    EXPECT_EQ(descriptors(), descriptorsBefore);
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1); // every child waited for, none left
    EXPECT_EQ(errno, ECHILD);
    leftBehind.check();
    EXPECT_EQ(folderState(sandbox), "4G/-"); // the last launch put the extender back
}

} // namespace
} // namespace tolvarn::testing
