// The DOS32A swap under failing calls, an end at every step, ten runs at once and signals: the
// DOS/4G extender is never lost, the launch goes on, and DOSBox never outlives Tolvarn. Then a
// thousand launches in a row must leave no descriptor, child, block, lock or handle behind.
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

/// The two whole states of the folder: before the swap and after it.
const std::string unswapped = "DOS4GW.EXE=4G", swapped = "DOS4GW.EXE=32A DOS4GW_original.EXE=4G";

/// Lays out the program's folder: DOS4GW.EXE alone (the swap to come), or DOS32A in its place
/// with the extender kept (the swap done). Returns the program's path.
std::string layOut(const Sandbox& sandbox, bool isSwapped) {
    fs::remove_all(sandbox.path("game"));
    sandbox.writeFile("game/DOS4GW.EXE", isSwapped ? "32A" : "4G");
    if (isSwapped)
        sandbox.writeFile("game/DOS4GW_original.EXE", "4G");
    return sandbox.writeFile("game/GAME.EXE", "MZ stub DOS/4G");
}

/// The runs that change the folder: the swap alone or its undoing, or a whole launch either way.
const struct Kind {
    const char* name;
    bool swapped, wholeLaunch;
    int32_t noDOS32A;
} kinds[] = {{"swap", false, false, FALSE},
             {"restore", true, false, TRUE},
             {"launch", false, true, FALSE},
             {"launch with NoDOS32A", true, true, TRUE}};

class FaultInjection : public ::testing::Test {
  protected:
    void SetUp() override {
        sandbox.rememberDOSBox(sandbox.path("dosbox"));
        sandbox.writeFile("dosbox/Y/dos32a.exe", "32A");
    }
    /// Runs `kind` on the folder as it stands, its messages swallowed; returns what the swap
    /// returned, or for a launch its return code.
    int32_t runAgain(const Kind& kind) {
        if (kind.wholeLaunch)
            return runShellStart({program, kind.noDOS32A ? "NoDOS32A" : "Window"}).returnCode;
        int32_t viaDOS32A = FALSE;
        captureStdout([&] {
            viaDOS32A =
                prepareDOS32A(sandbox.path("game").c_str(), program.c_str(),
                              sandbox.path("dosbox/Y/dos32a.exe").c_str(), FALSE, kind.noDOS32A);
        });
        return viaDOS32A;
    }
    /// The listing of the program's folder.
    std::string state() const { return listingOf(sandbox.path("game")); }

    LauncherSandbox sandbox;
    const std::string program = sandbox.path("game/GAME.EXE");
};
class Soak : public FaultInjection {};

TEST_F(FaultInjection, EveryFailurePointKeepsTheExtenderAndTheLaunchGoesOn) {
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.name);
        for (size_t index = 0; index < std::size(operations); ++index) {
            const Operation operation = operations[index];
            const int points = failurePoints(index, [&](int n) {
                layOut(sandbox, kind.swapped);
                fs::remove(sandbox.path("events.log"));
                // Only a failed look at the program itself can hide its stub, and no failed
                // call of these five stops DOSBox from starting.
                const bool scanFailed =
                    n == 1 && (operation == Operation::Open || operation == Operation::Read);
                EXPECT_EQ(runAgain(kind), kind.wholeLaunch              ? 0
                                          : kind.noDOS32A || scanFailed ? FALSE
                                                                        : TRUE);
                EXPECT_EQ(sandbox.events(), kind.wholeLaunch ? Lines{"dosbox"} : Lines{});
                EXPECT_TRUE(state() == unswapped || state() == swapped) << state();
            });
            // Every kind renames, so the failures reach it at least there.
            EXPECT_TRUE(operation != Operation::Rename || points > 0);
        }
    }
}

TEST_F(FaultInjection, AnEndAtEveryStepLeavesAWholeFolderThatTheNextRunsRepair) {
    for (const bool hardLinks : {true, false}) {
        tolvarn::platform::refuseHardLinks(!hardLinks);
        for (const Kind& kind : {kinds[0], kinds[1]}) { // a launch makes the same steps
            int steps = 0;
            for (int n = 1; n < 200; ++n) {
                SCOPED_TRACE(std::string(kind.name) + (hardLinks ? "" : " without hard links") +
                             ", ended before step " + std::to_string(n));
                layOut(sandbox, kind.swapped);
                const int status = statusOf(startInChild([&] {
                    tolvarn::platform::crashBeforeFolderStep(n);
                    runAgain(kind);
                }));
                if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
                    break; // the run went through: every step has been tried
                ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 86) << status;
                steps = n;
                // DOS4GW.EXE whole, the extender under one of the two names.
                const std::string entries = " " + state() + " ";
                EXPECT_TRUE(entries.find(" " + unswapped + " ") != std::string::npos ||
                            entries.find(" " + swapped + " ") != std::string::npos)
                    << state();
                runAgain(kinds[0]);
                EXPECT_EQ(state(), swapped);
                runAgain(kinds[1]);
                EXPECT_EQ(state(), unswapped);
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
    for (int run = 0; run < runs; ++run)
        children.push_back(startInChild([&] {
            for (int round = 0; round < rounds; ++round) {
                runAgain(kinds[(run + round) % 2]);
                const std::string bytes = readFile(sandbox.path("game/DOS4GW.EXE"));
                if (bytes != "4G" && bytes != "32A")
                    _exit(1); // DOS4GW.EXE missing or broken, even for an instant
            }
        }));
    for (const pid_t child : children) {
        const int status = statusOf(child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    EXPECT_TRUE(state() == unswapped || state() == swapped) << state();
}

TEST_F(FaultInjection, SignalsWaitForTheSwapAndGoOnToDOSBox) {
    // During a change to the folder, a termination waits until the change is done.
    layOut(sandbox, false);
    const int status = statusOf(startInChild([&] {
        tolvarn::platform::FolderHold* hold =
            tolvarn::platform::holdFolder(sandbox.path("game").c_str(), 0);
        kill(getpid(), SIGTERM);
        if (hold != nullptr)
            sandbox.writeFile("game/done", "");
        tolvarn::platform::releaseFolder(hold);
    }));
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_TRUE(fs::exists(sandbox.path("game/done")));

    // While DOSBox runs, termination and hang-up go on to it; Tolvarn waits, then ends.
    sandbox.writeScript("dosbox/DOSBox",
                        "echo $$ >'" + sandbox.path("dosbox.pid") + "'\nexec sleep 30\n");
    for (const int signal : {SIGTERM, SIGHUP}) {
        fs::remove(sandbox.path("dosbox.pid"));
        const pid_t tolvarn = startChild({builtProgram("tolvarn"), program}, "", "", "/dev/null");
        for (int wait = 0; wait < 1000 && readFile(sandbox.path("dosbox.pid")).empty(); ++wait)
            std::this_thread::sleep_for(10ms);
        const pid_t dosbox = std::stoi("0" + readFile(sandbox.path("dosbox.pid")));
        ASSERT_GT(dosbox, 0) << readFile(sandbox.path("events.log"));
        kill(tolvarn, signal);
        const int ended = statusOf(tolvarn);
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
    close(ends[1]);
    const pid_t tolvarn = startChild({builtProgram("tolvarn"), program}, "", "", "/dev/null");
    dup2(saved, STDOUT_FILENO);
    close(saved);
    const int closedOutput = statusOf(tolvarn);
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
    EXPECT_EQ(state(), unswapped); // the last launch put the extender back
}

} // namespace
} // namespace tolvarn::testing
