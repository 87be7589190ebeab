// A thousand whole launches in one process, swapping DOS32A in and out on every other one: the
// process must end them holding no more file descriptors, child processes, memory blocks, locks
// or handles than it started with.
#include "launcherTestSupport.h"

#include <cerrno>
#include <sys/wait.h>

namespace tolvarn::testing {
namespace {

int openDescriptors() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

TEST(Soak, AThousandLaunchesLeaveNothingBehind) {
    constexpr int launches = 1000;
    LauncherSandbox sandbox;
    sandbox.rememberDOSBox(sandbox.path("dosbox"));
    // Stubs that only count: the soak is about the launcher, not about what it starts.
    const std::string started = sandbox.path("started.log");
    sandbox.writeScript("dosbox/DOSBox", "echo >>'" + started + "'");
    sandbox.writeScript("bin/RequestChoice", ":");
    sandbox.writeFile("dosbox/Y/dos32a.exe", "DOS32A");
    const std::string program = sandbox.writeFile("games/GAME.EXE", "MZ stub DOS/4G");
    sandbox.writeFile("games/DOS4GW.EXE", "DOS/4G");
    const std::string cdFolder = sandbox.makeDir("cd");

    const NothingLeftBehind leftBehind;
    const int descriptors = openDescriptors();
    for (int launch = 0; launch < launches; ++launch) {
        const RunOutcome outcome =
            runShellStart({program, launch % 2 ? "NoDOS32A" : "Window", "CDdir", cdFolder});
        ASSERT_EQ(outcome.returnCode, 0) << launch;
        ASSERT_EQ(outcome.err, "") << launch;
    }

    EXPECT_EQ(linesOf(readFile(started)).size(), static_cast<size_t>(launches));
    EXPECT_EQ(openDescriptors(), descriptors);
    // Every child has been waited for: there is none left, running or finished.
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    leftBehind.check();
    // The last launch asked for no DOS32A, so the extender is back in place.
    EXPECT_EQ(readFile(sandbox.path("games/DOS4GW.EXE")), "DOS/4G");
    EXPECT_FALSE(std::filesystem::exists(sandbox.path("games/DOS4GW_original.EXE")));
}

} // namespace
} // namespace tolvarn::testing
