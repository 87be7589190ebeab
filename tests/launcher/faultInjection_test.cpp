// I/O failing at every point of the DOS32A swap and of a whole launch: one call of Open, Read,
// Write, Rename or DeleteFile at a time, then two at a time. Whatever fails, the DOS/4G extender's
// bytes stay in the program's folder under DOS4GW.EXE or DOS4GW_original.EXE, the folder is left in
// a state the swap can work from, the launch goes on, and nothing is left open.
#include "launcherTestSupport.h"

#include "launcher/dos32a.h"
#include "platform/dos.h"
#include "runtime/types.h"

#include <set>
#include <utility>

namespace tolvarn::testing {
namespace {

using tolvarn::platform::failOperation;
using tolvarn::platform::Operation;

constexpr Operation operations[] = {Operation::Open, Operation::Read, Operation::Write,
                                    Operation::Rename, Operation::DeleteFile};
const char* const operationNames[] = {"Open", "Read", "Write", "Rename", "DeleteFile"};

const std::string dos4gBytes = "DOS/4G extender bytes";
const std::string dos32aBytes = "DOS32A extender bytes";

/// Whether a failure asked for with failOperation(operation, n) is still waiting, i.e. whatever
/// ran since made fewer than n calls. Probes scratch files in `scratch` until the failure comes
/// (at most n calls), then cancels whatever is left.
bool failureStillPending(Operation operation, int n, const Sandbox& sandbox) {
    const std::string a = sandbox.writeFile("probe/a", "x"), b = sandbox.path("probe/b");
    FileHandle* reading = nullptr;
    FileHandle* writing = nullptr;
    // Handles for Read and Write probes, taken while Open itself is not the one failing.
    if (operation == Operation::Read)
        reading = Open(a.c_str(), MODE_OLDFILE);
    if (operation == Operation::Write)
        writing = Open(b.c_str(), MODE_NEWFILE);
    bool failed = false;
    for (int probe = 0; probe < n && !failed; ++probe) {
        char byte = 'x';
        switch (operation) {
        case Operation::Open: {
            FileHandle* file = Open(a.c_str(), MODE_OLDFILE);
            failed = file == nullptr;
            Close(file);
            break;
        }
        case Operation::Read:
            failed = Read(reading, &byte, 1) < 0;
            break;
        case Operation::Write:
            failed = Write(writing, &byte, 1) != 1;
            break;
        case Operation::Rename:
            failed = !Rename(a.c_str(), b.c_str());
            if (!failed)
                Rename(b.c_str(), a.c_str());
            break;
        case Operation::DeleteFile:
            sandbox.writeFile("probe/doomed", "x");
            failed = !DeleteFile(sandbox.path("probe/doomed").c_str());
            break;
        }
    }
    failOperation(operation, 0);
    Close(reading);
    Close(writing);
    std::filesystem::remove_all(sandbox.path("probe"));
    return failed;
}

/// What DOS4GW.EXE and DOS4GW_original.EXE hold: "4G", "32A", "-" for no file, or "other".
std::string folderState(const Sandbox& sandbox) {
    const auto contents = [&](const char* name) -> std::string {
        const std::string path = sandbox.path(std::string("game/") + name);
        if (!std::filesystem::exists(path))
            return "-";
        const std::string bytes = readFile(path);
        return bytes == dos4gBytes ? "4G" : bytes == dos32aBytes ? "32A" : "other";
    };
    return contents("DOS4GW.EXE") + "/" + contents("DOS4GW_original.EXE");
}

struct Scenario {
    const char* name;
    int32_t noDOS32A;
    const char* keptBefore;            // "-" or the kept file's state before the run
    std::set<std::string> singleFault; // folder states one failure may leave
    std::set<std::string> doubleFault; // and two failures
};

const Scenario scenarios[] = {
    // Substitution: DOS32A moves in, or everything stays as it was. When the DOS32A copy fails and
    // so does moving the extender back, the extender waits under its kept name (and a partly
    // written copy may stand under DOS4GW.EXE when even removing it failed).
    {"substitution", FALSE, "-", {"4G/-", "32A/4G"}, {"4G/-", "32A/4G", "-/4G", "other/4G"}},
    // Restoration: the extender moves back, or nothing changes, or the DOS32A copy is gone and the
    // extender still waits under its kept name when the move back failed.
    {"restoration", TRUE, "4G", {"32A/4G", "4G/-", "-/4G"}, {"32A/4G", "4G/-", "-/4G"}},
};

/// Lays out the program's folder for `scenario` and runs prepareDOS32A once.
int32_t prepare(const Sandbox& sandbox, const Scenario& scenario) {
    std::filesystem::remove_all(sandbox.path("game"));
    const std::string program = sandbox.writeFile("game/GAME.EXE", "MZ stub DOS/4G");
    if (*scenario.keptBefore == '-') {
        sandbox.writeFile("game/DOS4GW.EXE", dos4gBytes);
    } else {
        sandbox.writeFile("game/DOS4GW.EXE", dos32aBytes);
        sandbox.writeFile("game/DOS4GW_original.EXE", dos4gBytes);
    }
    return prepareDOS32A(sandbox.path("game").c_str(), program.c_str(),
                         sandbox.path("dosbox/Y/dos32a.exe").c_str(), FALSE, scenario.noDOS32A);
}

class FaultInjection : public ::testing::Test {
  protected:
    void SetUp() override { sandbox.writeFile("dosbox/Y/dos32a.exe", dos32aBytes); }
    void TearDown() override {
        for (Operation operation : operations)
            failOperation(operation, 0);
    }
    Sandbox sandbox;
};

TEST_F(FaultInjection, EveryFailurePointOfTheSwapKeepsTheExtender) {
    for (const Scenario& scenario : scenarios) {
        for (size_t kind = 0; kind < std::size(operations); ++kind) {
            int points = 0;
            for (int n = 1;; ++n) {
                SCOPED_TRACE(std::string(scenario.name) + ", " + operationNames[kind] + " #" +
                             std::to_string(n) + " fails");
                NothingLeftBehind leftBehind;
                failOperation(operations[kind], n);
                const int32_t viaDOS32A = prepare(sandbox, scenario);
                if (failureStillPending(operations[kind], n, sandbox))
                    break;
                ++points;
                // Only a failed look at the program itself can hide its stub.
                const bool scanFailed =
                    !scenario.noDOS32A && n == 1 &&
                    (operations[kind] == Operation::Open || operations[kind] == Operation::Read);
                EXPECT_EQ(viaDOS32A, scenario.noDOS32A || scanFailed ? FALSE : TRUE);
                EXPECT_TRUE(scenario.singleFault.contains(folderState(sandbox)))
                    << folderState(sandbox);
                leftBehind.check();
            }
            // A substitution that goes through deletes nothing; a restoration opens, reads and
            // writes nothing.
            const bool used = scenario.noDOS32A ? operations[kind] == Operation::Rename ||
                                                      operations[kind] == Operation::DeleteFile
                                                : operations[kind] != Operation::DeleteFile;
            EXPECT_EQ(points > 0, used) << scenario.name << " " << operationNames[kind];
        }
    }
}

TEST_F(FaultInjection, TwoFailuresInOneSwapStillKeepTheExtender) {
    // Every pair of failing calls among the first few of each kind, in both scenarios.
    constexpr int depth = 4;
    for (const Scenario& scenario : scenarios) {
        for (size_t first = 0; first < std::size(operations); ++first) {
            for (size_t second = first + 1; second < std::size(operations); ++second) {
                for (int n = 1; n <= depth; ++n) {
                    for (int m = 1; m <= depth; ++m) {
                        SCOPED_TRACE(std::string(scenario.name) + ", " + operationNames[first] +
                                     " #" + std::to_string(n) + " and " + operationNames[second] +
                                     " #" + std::to_string(m) + " fail");
                        NothingLeftBehind leftBehind;
                        failOperation(operations[first], n);
                        failOperation(operations[second], m);
                        prepare(sandbox, scenario);
                        failOperation(operations[first], 0);
                        failOperation(operations[second], 0);
                        EXPECT_TRUE(scenario.doubleFault.contains(folderState(sandbox)))
                            << folderState(sandbox);
                        leftBehind.check();
                    }
                }
            }
        }
    }
}

TEST(FaultInjectionLaunch, WholeLaunchGoesOnWhateverSingleCallFails) {
    LauncherSandbox launcher;
    launcher.rememberDOSBox(launcher.path("dosbox"));
    launcher.writeFile("dosbox/Y/dos32a.exe", dos32aBytes);
    const std::string program = launcher.path("game/GAME.EXE");
    for (size_t kind = 0; kind < std::size(operations); ++kind) {
        int points = 0;
        for (int n = 1;; ++n) {
            SCOPED_TRACE(std::string(operationNames[kind]) + " #" + std::to_string(n) + " fails");
            std::filesystem::remove_all(launcher.path("game"));
            launcher.writeFile("game/GAME.EXE", "MZ stub DOS/4G");
            launcher.writeFile("game/DOS4GW.EXE", dos4gBytes);
            std::filesystem::remove(launcher.path("events.log"));
            NothingLeftBehind leftBehind;
            failOperation(operations[kind], n);
            const RunOutcome outcome = runShellStart({program});
            if (failureStillPending(operations[kind], n, launcher))
                break;
            ++points;
            EXPECT_EQ(outcome.returnCode, 0);
            // Nothing a failed call of these five stops DOSBox from starting.
            EXPECT_EQ(launcher.events().size(), 2u) << outcome.out << outcome.err;
            EXPECT_TRUE(launcher.events().size() == 2 && launcher.events()[1] == "dosbox");
            const std::string state = folderState(launcher);
            EXPECT_TRUE(state == "4G/-" || state == "32A/4G") << state;
            leftBehind.check();
            ASSERT_LT(n, 100) << "the failure never came";
        }
        failOperation(operations[kind], 0);
        // A launch that goes through deletes nothing; it opens, reads, writes and renames.
        EXPECT_EQ(points > 0, operations[kind] != Operation::DeleteFile) << operationNames[kind];
    }
}

} // namespace
} // namespace tolvarn::testing
