// Whole runs in this process, told apart by what they print. DOSBox is made unstartable, so a
// run that gets that far prints the whole command line in the "Failed to execute" report.
#include "launcherTestSupport.h"

namespace tolvarn::testing {
namespace {

/// "$" stands for the sandbox folder.
std::string withSandbox(std::string text, const std::string& root) {
    for (size_t at; (at = text.find('$')) != std::string::npos;)
        text.replace(at, 1, root);
    return text;
}

const Lines notice = {"notice Tolvarn Press Ctrl-Alt-F9 to quit! OK TIMEOUTSECS=2"};

enum Setup { PLAIN = 0, DOS4G = 1, NO_DOS32A_FILE = 2, NO_CONF = 4 };

TEST(Runs, PrintWhatTheyShould) {
    const std::string start = "ERROR: Failed to execute $/dosbox/DOSBox >NIL: ";
    const std::string usual = start + "-exit -fullscreen -conf Tolvarn.conf";
    const std::string maze = " -c \"Mount C *\"$/maze*\"\" -c \"C:\" -c \"";
    const std::string dos32a = " -c \"Mount Y *\"$/dosbox/Y*\"\"";
    const std::string exit = "\" -c \"exit\"\n";
    const std::string notFound = "Tolvarn: Could not find DOSBox\n";
    const struct {
        Lines arguments;
        std::string out; // a final "*" accepts anything after it
        int setup = PLAIN;
        std::string stored = "$/dosbox", err = "";
        Lines events = notice;
    } cases[] = {
        {{"$/maze/MAZE.EXE"}, usual + maze + "MAZE.EXE" + exit},
        {{"$/maze/MAZE.EXE", "ISO=$/maze.iso", "Window"},
         start + "-exit -conf Tolvarn.conf -c \"ImgMount D *\"$/maze.iso*\" -T iso\"" + dos32a +
             maze + "Y:dos32a.exe MAZE.EXE" + exit, DOS4G},
        {{"$/maze/SETUP.BAT", "NoExit"},
         start + " -fullscreen -conf Tolvarn.conf" + maze + "CALL SETUP.BAT\"\n"},
        {{"$/maze/MAZE.EXE", "cdISO", "$/maze.iso", "CDdir=CD0:"},
         usual + " -c \"ImgMount D *\"$/maze.iso*\" -T iso\"" + maze + "MAZE.EXE" + exit},
        {{"$/maze/MAZE.EXE", "CDdir=CD0:", "CDletter=E"},
         "WARNING: A DOSBox bug means that it will probably fail to mount \"CD0:\" as a virtual "
         "CD.\n" + usual + " -c \"Mount E *\"$/cd*\" -t cdrom\"" + maze + "MAZE.EXE" + exit},
        {{"$/maze/MAZE.EXE", "CDdir=$/cd", "CDletter=y"},
         usual + " -c \"Mount y *\"$/cd*\" -t cdrom\"" + maze + "MAZE.EXE" + exit, DOS4G},
        {{"$/maze/MAZE.EXE", "CDdir=$/cd", "CDletter=Y:"},
         usual + " -c \"Mount Y: *\"$/cd*\" -t cdrom\"" + dos32a + maze + "Y:dos32a.exe MAZE.EXE" +
             exit, DOS4G},
        {{"$/maze/MAZE.EXE"}, usual + maze + "MAZE.EXE" + exit, DOS4G | NO_DOS32A_FILE},
        {{"$/maze/MAZE.EXE", "Window"},
         "WARNING: \"Tolvarn.conf\" is missing from \"$/dosbox\".\n" + start + "-exit" + maze +
             "MAZE.EXE" + exit, NO_CONF},
        {{"$/low/setup.bat"},
         usual + " -c \"Mount C *\"$/low*\"\" -c \"C:\" -c \"CALL setup.bat" + exit},
        {{"Maze:MAZE.EXE"}, usual + maze + "MAZE.EXE" + exit},
        {{"$/a*b/Ärger/GAME.EXE"},
         usual + " -c \"Mount C *\"$/a**b/Ärger*\"\" -c \"C:\" -c \"GAME.EXE" + exit},
        // DOSBox not found (unset, a folder that is gone, one without DOSBox); the folder
        // requester gets no answer and nothing new is stored.
        {{"$/maze/MAZE.EXE"}, "", PLAIN, "", notFound, {}},
        {{"$/maze/MAZE.EXE"}, "", PLAIN, "$/gone", notFound, {}},
        {{"$/maze/MAZE.EXE"}, "", PLAIN, "$/maze", notFound, {}},
        {{"Nowhere/GAME.EXE"}, "", PLAIN, "$/dosbox",
         "Tolvarn: ERROR: Cannot find the file \"Nowhere/GAME.EXE\"\n", {}},
        // The program requester gets no answer: no notice and no warning either.
        {{"CDdir=CD0:"}, "", NO_CONF, "$/dosbox", "", {}},
        {{"$/maze/MAZE.EXE", "extra"}, "Shell parameter error, does not match template:\n*", PLAIN,
         "$/dosbox", "", {}},
        {{"CDletter"}, "Shell parameter error, expected value after keyword:\n*", PLAIN, "$/dosbox",
         "", {}},
    };
    LauncherSandbox sandbox;
    NothingLeftBehind leftBehind;
    setExecutable(sandbox.path("dosbox/DOSBox"), false);
    sandbox.writeFile("maze/SETUP.BAT", "@echo off\r\n");
    sandbox.writeFile("low/setup.bat", "@echo off\r\n");
    sandbox.writeFile("a*b/Ärger/GAME.EXE", "MZ");
    sandbox.writeFile("maze.iso", "CD001");
    sandbox.assign("CD0", sandbox.makeDir("cd"));
    sandbox.assign("Maze", sandbox.path("maze"));
    for (const auto& test : cases) {
        sandbox.writeFile("maze/MAZE.EXE", test.setup & DOS4G ? "MZ DOS/4G" : "MZ");
        std::filesystem::remove_all(sandbox.path("dosbox/Y"));
        std::filesystem::remove(sandbox.path("dosbox/Tolvarn.conf"));
        std::filesystem::remove_all(sandbox.path("config/tolvarn/env"));
        std::filesystem::remove(sandbox.path("events.log"));
        if (!(test.setup & NO_DOS32A_FILE))
            sandbox.writeFile("dosbox/Y/dos32a.exe", "DOS32A");
        if (!(test.setup & NO_CONF))
            sandbox.writeFile("dosbox/Tolvarn.conf", "[sdl]\n");
        const std::string stored = withSandbox(test.stored, sandbox.root());
        if (!stored.empty())
            sandbox.rememberDOSBox(stored);
        Lines arguments;
        for (const std::string& argument : test.arguments)
            arguments.push_back(withSandbox(argument, sandbox.root()));

        const RunOutcome outcome = runShellStart(arguments);
        SCOPED_TRACE(arguments.empty() ? "" : arguments[0]);
        EXPECT_EQ(outcome.returnCode, 0);
        const std::string out = withSandbox(test.out, sandbox.root());
        if (out.ends_with("*"))
            EXPECT_EQ(outcome.out.substr(0, out.size() - 1), out.substr(0, out.size() - 1));
        else
            EXPECT_EQ(outcome.out, out);
        EXPECT_EQ(outcome.err, test.err);
        EXPECT_EQ(sandbox.events(), test.events);
        EXPECT_EQ(sandbox.remembered(), stored);
    }
    leftBehind.check();
}

} // namespace
} // namespace tolvarn::testing
