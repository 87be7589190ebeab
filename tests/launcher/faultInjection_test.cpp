// I/O failing at every point of the DOS32A swap and of a whole launch, one call of Open, Read,
// Write, Rename or DeleteFile at a time, then two: DOS4GW.EXE stays whole, the DOS/4G
// extender's bytes stay under DOS4GW.EXE or DOS4GW_original.EXE, the launch goes on, nothing is
// left open. Then a thousand
// launches in a row must leave no descriptor, child, block, lock or handle behind.
#include "launcherTestSupport.h"

#include "launcher/dos32a.h"
#include "platform/dos.h"
#include "runtime/types.h"

#include <algorithm>
#include <cerrno>
#include <functional>
#include <iterator>
#include <set>

namespace tolvarn::platform::internal {
bool injectedFailure(Operation operation); // the host layer's own fault counter
}

namespace tolvarn::testing {
namespace {

using tolvarn::platform::failOperation;
using tolvarn::platform::Operation;

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

/// What DOS4GW.EXE and DOS4GW_original.EXE hold: "4G", "32A", "-" for no file, or "other".
std::string folderState(const Sandbox& sandbox) {
    const auto contents = [&](const std::string& name) -> std::string {
        const std::string path = sandbox.path("game/" + name), bytes = readFile(path);
        return !std::filesystem::exists(path) ? "-"
               : bytes == dos4gBytes          ? "4G"
               : bytes == dos32aBytes         ? "32A"
                                              : "other";
    };
    return contents("DOS4GW.EXE") + "/" + contents("DOS4GW_original.EXE");
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
    int32_t noDOS32A;                               // FALSE: substitution; TRUE: restoration
    std::set<Operation> used;                       // the calls a swap that goes through makes
    std::set<std::string> singleFault, doubleFault; // folder states one or two failures may leave
} scenarios[] = {
    // clang-format off
    // Substitution: DOS32A moves in, or everything stays. A second failure may keep the
    // extender's second name, which the next run takes away again.
    {"substitution", FALSE, {Operation::Open, Operation::Read, Operation::Write, Operation::Rename},
     {"4G/-", "32A/4G"}, {"4G/-", "32A/4G", "4G/4G"}},
    // Restoration: the extender moves back in one step, or nothing changes.
    {"restoration", TRUE, {Operation::Rename}, {"32A/4G", "4G/-"}, {"32A/4G", "4G/-"}},
    // clang-format on
};

class FaultInjection : public ::testing::Test {
  protected:
    void SetUp() override {
        sandbox.rememberDOSBox(sandbox.path("dosbox"));
        sandbox.writeFile("dosbox/Y/dos32a.exe", dos32aBytes);
    }
    int32_t prepare(const Scenario& scenario) {
        const std::string program = layOut(sandbox, scenario.noDOS32A);
        return prepareDOS32A(sandbox.path("game").c_str(), program.c_str(),
                             sandbox.path("dosbox/Y/dos32a.exe").c_str(), FALSE, scenario.noDOS32A);
    }
    LauncherSandbox sandbox;
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
                EXPECT_TRUE(scenario.singleFault.contains(folderState(sandbox)))
                    << folderState(sandbox);
            });
            EXPECT_EQ(points > 0, scenario.used.contains(operations[kind])) << operationNames[kind];
        }
    }
}

TEST_F(FaultInjection, TwoFailuresInOneSwapStillKeepTheExtender) {
    for (const Scenario& scenario : scenarios)
        for (size_t first = 0; first < std::size(operations); ++first)
            for (int n = 1; n <= 4; ++n) // each of the first calls of one kind, with every other
                for (size_t second = first + 1; second < std::size(operations); ++second)
                    failurePoints(second, [&](int) {
                        SCOPED_TRACE(std::string(scenario.name) + ", and " + operationNames[first] +
                                     " #" + std::to_string(n));
                        failOperation(operations[first], n);
                        prepare(scenario);
                        failOperation(operations[first], 0);
                        EXPECT_TRUE(scenario.doubleFault.contains(folderState(sandbox)))
                            << folderState(sandbox);
                    });
}

TEST_F(FaultInjection, WholeLaunchGoesOnWhateverSingleCallFails) {
    for (size_t kind = 0; kind < std::size(operations); ++kind) {
        const int points = failurePoints(kind, [&](int) {
            const std::string program = layOut(sandbox, false);
            std::filesystem::remove(sandbox.path("events.log"));
            const RunOutcome outcome = runShellStart({program});
            // No failed call of these five stops DOSBox from starting.
            EXPECT_EQ(outcome.returnCode, 0);
            const Lines events = sandbox.events();
            EXPECT_TRUE(events.size() == 2 && events[1] == "dosbox") << outcome.out << outcome.err;
            const std::string state = folderState(sandbox);
            EXPECT_TRUE(state == "4G/-" || state == "32A/4G") << state;
        });
        // A launch that goes through makes the calls of a substitution.
        EXPECT_EQ(points > 0, scenarios[0].used.contains(operations[kind])) << operationNames[kind];
    }
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
        ASSERT_EQ(outcome.err, "") << launch;
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
