// Tolvarn as a user runs it, with Debian's real DOSBox (headless) behind it: small DOS programs
// assembled from source, and the files they leave behind as the proof of what DOSBox was told.
#include "launcher/launcherTestSupport.h"

#include <fstream>
#include <map>
#include <thread>

namespace tolvarn::testing {
namespace {

/// Files by name; a text "@NAME" stands for the DOS program NAME as built, "-" for no file.
using Files = std::map<std::string, std::string>;

std::string contentsOf(const std::string& text) {
    return text.starts_with("@") ? readFile(TOLVARN_DOS_PROGRAMS "/" + text.substr(1)) : text;
}

/// A process whose command line mentions `text`; empty when there is none.
std::string processMentioning(const std::string& text) {
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator("/proc", ignored)) {
        std::ifstream in(entry.path() / "cmdline", std::ios::binary);
        const std::string commandLine((std::istreambuf_iterator<char>(in)), {});
        if (commandLine.find(text) != std::string::npos)
            return entry.path().filename().string() + ": " + commandLine;
    }
    return "";
}

const std::string written = "WRITE.COM was here\r\n",
                  cdText = "Text from the CD\r\nin two lines\r\n";
const std::string dos4gw = "MZ the DOS/4G extender's own bytes, kept byte for byte\r\n";

struct DOSRun {
    const char* name;
    std::string folder, program; // in the sandbox
    Lines options;               // "ISO" and "CDdir" are followed by an image or a folder
    Files files, expected;       // in the program's folder, before and after
};

void PrintTo(const DOSRun& run, std::ostream* out) {
    *out << run.name;
}

class TolvarnWithDOSBox : public ::testing::TestWithParam<DOSRun> {};

// A DOS/4G program goes through the extender on Y:, with DOS32A swapped in for the DOS4GW.EXE
// beside it; NoDOS32A runs it directly and puts the DOS/4G file back. With NoExit DOSBox stays
// open, and the time limit must take it down below the launcher.
// clang-format off
const DOSRun runs[] = {
    {"comProgramInAnAwkwardFolder", "Meine Spiele *neu* 50%off Ärger/Größe & Übermut", "WRITE.COM", {},
     {{"WRITE.COM", "@WRITE.COM"}}, {{"RESULT.TXT", written}}},
    {"lowerCaseBatchFile", "Games/Setup", "setup.bat", {},
     {{"WRITE.COM", "@WRITE.COM"}, {"setup.bat", "@setup.bat"}},
     {{"RESULT.TXT", written}, {"BATCH.TXT", "setup.bat finished\r\n"}}},
    {"cdImage", "Games/CD Game", "CDCOPY.COM", {"ISO"}, {{"CDCOPY.COM", "@CDCOPY.COM"}},
     {{"FROMCD.TXT", cdText}}},
    {"cdFolder", "Games/CD Game", "CDCOPY.COM", {"CDdir"}, {{"CDCOPY.COM", "@CDCOPY.COM"}},
     {{"FROMCD.TXT", cdText}}},
    {"dos4gThroughDOS32A", "Games/Maze", "MAZE.EXE", {},
     {{"MAZE.EXE", "@GAME4G.EXE"}, {"DOS4GW.EXE", dos4gw}},
     {{"TAIL.TXT", " MAZE.EXE"}, {"DIRECT.TXT", "-"}, {"DOS4GW.EXE", "@dos32a.exe"},
      {"DOS4GW_original.EXE", dos4gw}}},
    {"noDOS32ARestoresDOS4GW", "Games/Maze", "MAZE.EXE", {"NoDOS32A"},
     {{"MAZE.EXE", "@GAME4G.EXE"}, {"DOS4GW.EXE", "@dos32a.exe"}, {"DOS4GW_original.EXE", dos4gw}},
     {{"DIRECT.TXT", "GAME4G.EXE ran without an extender\r\n"}, {"TAIL.TXT", "-"},
      {"DOS4GW.EXE", dos4gw}, {"DOS4GW_original.EXE", "-"}}},
    {"noExitUntilTheTimeLimit", "Games/Stay Open", "WRITE.COM", {"NoExit"},
     {{"WRITE.COM", "@WRITE.COM"}}, {{"RESULT.TXT", written}}},
    {"demoProgram", "Demo", "HELLO.COM", {}, {{"HELLO.COM", "@HELLO.COM"}},
     {{"HELLO.TXT", "Hello from MS-DOS!\r\nHELLO.COM ran inside DOSBox, started by Tolvarn.\r\n"}}},
};
// clang-format on

TEST_P(TolvarnWithDOSBox, ProgramLeavesItsFiles) {
    const DOSRun& test = GetParam();
    ASSERT_TRUE(fs::exists(TOLVARN_DOSBOX)) << "scripts/install-dependencies installs dosbox";
    LauncherSandbox sandbox;
    // The DOSBox folder a user would pick, with a name that both the command word and the mount
    // of Y: must survive ("%" would be a variable to DOSBox); the CD's path must be quoted in its
    // mount command too. The settings file has a lower-case name, and its own start-up commands
    // leave a file behind, the proof that DOSBox read it.
    const std::string dosbox = sandbox.makeDir("Emulators/DOS Box *e 5% Ä");
    fs::create_symlink(TOLVARN_DOSBOX, dosbox + "/DOSBox");
    sandbox.writeFile("Emulators/DOS Box *e 5% Ä/tolvarn.conf",
                      readFile(TOLVARN_DOSBOX_CONFIG) + "mount s \"" + sandbox.root() +
                          "\"\necho settings read> s:\\SETTINGS.TXT\n");
    sandbox.writeFile("Emulators/DOS Box *e 5% Ä/Y/dos32a.exe", contentsOf("@dos32a.exe"));
    sandbox.rememberDOSBox(dosbox);
    const std::string cd = sandbox.path("CD * Abbilder Ärger/Game CD");
    const std::string image = sandbox.path("CD * Abbilder Ärger/game cd.iso");
    sandbox.writeFile("CD * Abbilder Ärger/Game CD/CDFILE.TXT", cdText);
    ASSERT_EQ(runChild(sandbox, {"genisoimage", "-quiet", "-o", image, cd}).returnCode, 0);
    const std::string folder = sandbox.makeDir(test.folder);
    for (const auto& [name, contents] : test.files)
        sandbox.writeFile(test.folder + "/" + name, contentsOf(contents));

    // Headless; the time limit kills the whole process group, DOSBox below the launcher included.
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    const bool noExit = test.options == Lines{"NoExit"};
    Lines command = {
        "timeout", "-s", "KILL", noExit ? "8" : "30", TOLVARN_PROGRAM, folder + "/" + test.program,
        "Window"};
    for (const std::string& option : test.options) {
        command.push_back(option);
        if (option == "ISO" || option == "CDdir")
            command.push_back(option == "ISO" ? image : cd);
    }
    const RunOutcome run = runChild(sandbox, command);
    const std::string output = run.out + run.err;
    EXPECT_EQ(run.returnCode, noExit ? -1 : 0) << output; // -1: killed
    EXPECT_EQ(output.find("ERROR"), std::string::npos) << output;
    EXPECT_EQ(output.find("WARNING"), std::string::npos) << output;
    EXPECT_EQ(readFile(sandbox.path("SETTINGS.TXT")), "settings read\r\n");
    for (const auto& [name, contents] : test.expected)
        EXPECT_EQ(fs::exists(folder + "/" + name) ? readFile(folder + "/" + name) : "-",
                  contentsOf(contents))
            << name;
    // Nothing outlives the run; a killed process takes a moment to be gone.
    std::string left;
    for (int i = 0; i < 100 && !(left = processMentioning(folder)).empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(left, "");
}

INSTANTIATE_TEST_SUITE_P(EndToEnd, TolvarnWithDOSBox, ::testing::ValuesIn(runs),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace tolvarn::testing
