// Running commands and the notice command, as the Shell runs them.
#include "launcherTestSupport.h"

#include "launcher/requesters.h"
#include "platform/dos.h"
#include "runtime/types.h"

namespace tolvarn::testing {
namespace {

TEST(Commands, ReportWhetherTheyCouldRunAndWhere) {
    LauncherSandbox sandbox;
    NothingLeftBehind leftBehind;
    sandbox.writeScript("bin/exits", "pwd -P >'" + sandbox.path("where") + "'\nexit $1\n");
    // The Shell's 127 means "not run" to executeCommand; runCommand only cares whether it started.
    const struct {
        const char* command;
        int32_t executed, started;
    } cases[] = {{"exits 0", TRUE, TRUE},    {"exits 5", TRUE, TRUE},
                 {"exits 10", TRUE, TRUE},   {"exits 127", FALSE, TRUE},
                 {"NoSuchCommand", FALSE, FALSE}};
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
    const struct {
        Lines arguments;
        int returnCode;
        std::string err, out;
    } cases[] = {
        {{"Tolvarn", "Press Ctrl-Alt-F9 to quit!", "OK", "TIMEOUTSECS=2"}, 0,
         "Tolvarn: Press Ctrl-Alt-F9 to quit!\n", ""},
        {{"Sure?", "100% %s", "Yes|100%|No", "PubScreen", "Workbench"}, 0, "Sure?: 100% %s\n", ""},
        {{"Note", "Text", "OK", "TimeoutSecs", "soon"}, 20, "",
         "ERROR: TimeoutSecs must be a whole number of seconds\n"},
    };
    for (const auto& test : cases) {
        const RunOutcome outcome = runChild(sandbox, "RequestChoice", test.arguments);
        EXPECT_EQ(outcome.returnCode, test.returnCode) << test.arguments[1];
        EXPECT_EQ(outcome.err, test.err);
        EXPECT_EQ(outcome.out, test.out);
    }
    EXPECT_EQ(runChild(sandbox, "RequestChoice", {"Note", "Text"}).returnCode, 20);
}

} // namespace
} // namespace tolvarn::testing
