// Tolvarn as a user runs it, with Debian's real DOSBox (headless) behind it: a DOSBox folder
// remembered in the settings, small DOS programs, and the files those programs leave behind as
// the proof of what DOSBox was told to do.
#include "dosboxHarness.h"
#include "support/testSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace tolvarn::testing {
namespace {

const std::string kWritten = "WRITE.COM was here\r\n";
const std::string kCdText = "Text from the CD\r\nin two lines\r\n";
const std::string kDos4gExtender = "MZ the DOS/4G extender's own bytes, kept byte for byte\r\n";

class TolvarnWithDosbox : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(dosboxExecutable().empty())
            << "dosbox is not installed; scripts/install-dependencies installs it";
        ASSERT_TRUE(fs::exists(TOLVARN_PROGRAM)) << TOLVARN_PROGRAM;
        // The folder a user would pick: DOSBox itself (a link to Debian's), the settings that
        // make it quick and quiet, and the DOS32A extender (our stand-in) on Y. Its name is an
        // awkward one, as both the command word and the mount of Y: must survive it.
        dosboxDir = sandbox.makeDir("Emulators/DOS Box * Ä");
        fs::create_symlink(dosboxExecutable(), dosboxDir + "/DOSBox");
        copyInto(headlessConfigPath(), dosboxDir + "/Tolvarn.conf");
        copyInto(dosProgram("dos32a.exe"), dosboxDir + "/Y/dos32a.exe");
        sandbox.writeFile("config/tolvarn/env/AppDir/DOSBox", dosboxDir);
    }

    /// Puts built programs into a folder of the sandbox; returns the folder.
    std::string placePrograms(const std::string& folder,
                              const std::map<std::string, std::string>& programs) {
        const std::string path = sandbox.makeDir(folder);
        for (const auto& [name, program] : programs)
            copyInto(dosProgram(program), path + "/" + name);
        return path;
    }

    /// Runs the built tolvarn with `arguments` and Window, with no requester on screen.
    ProcessResult runTolvarn(std::vector<std::string> arguments,
                             std::chrono::milliseconds timeout = 30s) {
        arguments.insert(arguments.begin(), TOLVARN_PROGRAM);
        arguments.push_back("Window");
        Environment environment = headlessEnvironment();
        environment.emplace_back("TOLVARN_REQUESTER", "none");
        environment.emplace_back("XDG_CONFIG_HOME", sandbox.path("config"));
        return runProcess(arguments, environment, timeout, sandbox.work());
    }

    static void expectCleanRun(const ProcessResult& run) {
        EXPECT_FALSE(run.timedOut) << run.output;
        EXPECT_EQ(run.exitCode, 0) << run.output;
        EXPECT_EQ(run.output.find("ERROR"), std::string::npos) << run.output;
        EXPECT_EQ(run.output.find("WARNING"), std::string::npos) << run.output;
    }

    Sandbox sandbox;
    std::string dosboxDir;
};

enum class Cd { none, image, folder };

struct LaunchCase {
    const char* name = "";
    std::string folder{};                          // the program's folder, in the sandbox
    std::map<std::string, std::string> programs{}; // name in the folder -> built program
    std::string run{};                             // the file handed to tolvarn
    Cd cd = Cd::none;
    std::map<std::string, std::string> expected{}; // file in the folder -> its exact contents
};

void PrintTo(const LaunchCase& c, std::ostream* out) {
    *out << c.name;
}

class LaunchTest : public TolvarnWithDosbox, public ::testing::WithParamInterface<LaunchCase> {};

TEST_P(LaunchTest, programRunsInDosbox) {
    const LaunchCase& c = GetParam();
    const std::string folder = placePrograms(c.folder, c.programs);
    std::vector<std::string> arguments = {folder + "/" + c.run};
    if (c.cd != Cd::none) {
        // The CD's path is an awkward one too: the mount command must quote it.
        const std::string cdFolder = sandbox.makeDir("CD * Abbilder Ärger/Game CD");
        sandbox.writeFile("CD * Abbilder Ärger/Game CD/CDFILE.TXT", kCdText);
        if (c.cd == Cd::image) {
            const std::string image = sandbox.path("CD * Abbilder Ärger/game cd.iso");
            makeIsoImage(cdFolder, image);
            arguments.push_back("ISO=" + image);
        } else {
            arguments.push_back("CDdir=" + cdFolder);
        }
    }
    const ProcessResult run = runTolvarn(arguments);
    expectCleanRun(run);
    for (const auto& [file, contents] : c.expected)
        EXPECT_EQ(readFile(folder + "/" + file), contents) << file;
}

INSTANTIATE_TEST_SUITE_P(
    EndToEnd, LaunchTest,
    ::testing::Values(
        LaunchCase{.name = "comProgram",
                   .folder = "Games/Write",
                   .programs = {{"WRITE.COM", "WRITE.COM"}},
                   .run = "WRITE.COM",
                   .expected = {{"RESULT.TXT", kWritten}}},
        LaunchCase{.name = "lowerCaseBatchFileIsCalled",
                   .folder = "Games/Setup",
                   .programs = {{"WRITE.COM", "WRITE.COM"}, {"setup.bat", "setup.bat"}},
                   .run = "setup.bat",
                   .expected = {{"RESULT.TXT", kWritten}, {"BATCH.TXT", "setup.bat finished\r\n"}}},
        LaunchCase{.name = "cdImage",
                   .folder = "Games/CD Game",
                   .programs = {{"CDCOPY.COM", "CDCOPY.COM"}},
                   .run = "CDCOPY.COM",
                   .cd = Cd::image,
                   .expected = {{"FROMCD.TXT", kCdText}}},
        LaunchCase{.name = "cdFolder",
                   .folder = "Games/CD Game",
                   .programs = {{"CDCOPY.COM", "CDCOPY.COM"}},
                   .run = "CDCOPY.COM",
                   .cd = Cd::folder,
                   .expected = {{"FROMCD.TXT", kCdText}}},
        LaunchCase{.name = "folderWithBlanksAsteriskAndNonAsciiLetters",
                   .folder = "Meine Spiele * Ärger/Größe & Übermut",
                   .programs = {{"WRITE.COM", "WRITE.COM"}},
                   .run = "WRITE.COM",
                   .expected = {{"RESULT.TXT", kWritten}}}),
    [](const ::testing::TestParamInfo<LaunchCase>& info) { return info.param.name; });

// A DOS/4G program goes through the extender on Y:, with DOS32A swapped in for the DOS4GW.EXE
// beside it; NoDOS32A then runs it directly and puts the DOS/4G file back as it was.
TEST_F(TolvarnWithDosbox, dos4gProgramRunsThroughTheExtenderAndNoDos32aUndoesTheSwap) {
    const std::string folder = placePrograms("Games/Maze", {{"MAZE.EXE", "GAME4G.EXE"}});
    sandbox.writeFile("Games/Maze/DOS4GW.EXE", kDos4gExtender);
    const std::string extender = readFile(dosProgram("dos32a.exe"));

    expectCleanRun(runTolvarn({folder + "/MAZE.EXE"}));
    EXPECT_EQ(readFile(folder + "/TAIL.TXT"), " MAZE.EXE");
    EXPECT_FALSE(fs::exists(folder + "/DIRECT.TXT")) << "started directly, not through Y:";
    EXPECT_EQ(readFile(folder + "/DOS4GW.EXE"), extender);
    EXPECT_EQ(readFile(folder + "/DOS4GW_original.EXE"), kDos4gExtender);

    fs::remove(folder + "/TAIL.TXT");
    expectCleanRun(runTolvarn({folder + "/MAZE.EXE", "NoDOS32A"}));
    EXPECT_EQ(readFile(folder + "/DIRECT.TXT"), "GAME4G.EXE ran without an extender\r\n");
    EXPECT_FALSE(fs::exists(folder + "/TAIL.TXT")) << "started through the extender";
    EXPECT_EQ(readFile(folder + "/DOS4GW.EXE"), kDos4gExtender);
    EXPECT_FALSE(fs::exists(folder + "/DOS4GW_original.EXE"));
}

/// The processes whose command line mentions `text`.
std::vector<std::string> processesMentioning(const std::string& text) {
    std::vector<std::string> found;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator("/proc", ignored)) {
        std::ifstream in(entry.path() / "cmdline", std::ios::binary);
        std::string commandLine((std::istreambuf_iterator<char>(in)), {});
        if (commandLine.find(text) != std::string::npos)
            found.push_back(entry.path().filename().string() + ": " + commandLine);
    }
    return found;
}

// With NoExit DOSBox stays open after the program; the tests' time limit must then take down
// DOSBox below the launcher too, or a hung run would outlive the test.
TEST_F(TolvarnWithDosbox, noExitKeepsDosboxOpenUntilTheTimeLimitEndsIt) {
    const std::string folder = placePrograms("Games/Stay Open", {{"WRITE.COM", "WRITE.COM"}});
    const ProcessResult run = runTolvarn({folder + "/WRITE.COM", "NoExit"}, 8s);
    EXPECT_TRUE(run.timedOut) << run.output;
    EXPECT_EQ(readFile(folder + "/RESULT.TXT"), kWritten);
    // A killed process takes a moment to be gone.
    std::vector<std::string> left = processesMentioning(folder);
    for (int i = 0; i < 100 && !left.empty(); ++i) {
        std::this_thread::sleep_for(20ms);
        left = processesMentioning(folder);
    }
    EXPECT_TRUE(left.empty()) << left.front();
}

} // namespace
} // namespace tolvarn::testing
