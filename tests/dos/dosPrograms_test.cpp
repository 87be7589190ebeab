// The DOS programs that the end-to-end tests rely on, each run in a real DOSBox without the
// launcher, so that a failure there points at the launcher and not at the fixture.
#include "dosboxHarness.h"
#include "support/testSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace tolvarn::testing {
namespace {

enum class Cd { none, image, folder };

struct ProgramCase {
    const char* name = "";
    std::string folder{};                          // mounted as C:, relative to the sandbox
    std::map<std::string, std::string> programs{}; // name in the folder -> built program
    std::string command{};                         // the DOS command that runs it
    Cd cd = Cd::none;
    bool extenderOnY = false;                      // dos32a.exe on drive Y:
    std::map<std::string, std::string> expected{}; // file in the folder -> its exact contents
    std::vector<std::string> absent{};             // files that must not appear
};

void PrintTo(const ProgramCase& c, std::ostream* out) {
    *out << c.name;
}

const std::string kCdText = "Text from the CD\r\nin two lines\r\n";

class DosProgramTest : public ::testing::TestWithParam<ProgramCase> {
  protected:
    void SetUp() override {
        ASSERT_FALSE(dosboxExecutable().empty())
            << "dosbox is not installed; scripts/install-dependencies installs it";
    }
    Sandbox sandbox;
};

TEST_P(DosProgramTest, runsInDosbox) {
    const ProgramCase& c = GetParam();
    const std::string folder = sandbox.makeDir(c.folder);
    for (const auto& [name, program] : c.programs)
        copyInto(dosProgram(program), folder + "/" + name);

    std::vector<std::string> commands;
    if (c.cd != Cd::none) {
        const std::string cdFolder = sandbox.makeDir("cd");
        sandbox.writeFile("cd/CDFILE.TXT", kCdText);
        if (c.cd == Cd::image) {
            const std::string image = sandbox.path("game.iso");
            makeIsoImage(cdFolder, image);
            commands.push_back("ImgMount D \"" + image + "\" -T iso");
        } else {
            commands.push_back("Mount D \"" + cdFolder + "\" -t cdrom");
        }
    }
    if (c.extenderOnY) {
        copyInto(dosProgram("dos32a.exe"), sandbox.path("dosbox/Y/dos32a.exe"));
        commands.push_back("Mount Y \"" + sandbox.path("dosbox/Y") + "\"");
    }
    commands.push_back("Mount C \"" + folder + "\"");
    commands.push_back("C:");
    commands.push_back(c.command);

    const ProcessResult run = runDosbox(commands, 30s);
    ASSERT_FALSE(run.timedOut) << run.output;
    EXPECT_EQ(run.exitCode, 0) << run.output;
    for (const auto& [file, contents] : c.expected)
        EXPECT_EQ(readFile(folder + "/" + file), contents) << file;
    for (const auto& file : c.absent)
        EXPECT_FALSE(fs::exists(folder + "/" + file)) << file;
}

const std::string kWritten = "WRITE.COM was here\r\n";

INSTANTIATE_TEST_SUITE_P(
    Fixtures, DosProgramTest,
    ::testing::Values(
        ProgramCase{.name = "comProgramWritesIntoItsFolder",
                    .folder = "games/write",
                    .programs = {{"WRITE.COM", "WRITE.COM"}},
                    .command = "WRITE.COM",
                    .expected = {{"RESULT.TXT", kWritten}}},
        ProgramCase{
            .name = "lowerCaseBatchFileCallsTheProgramAndGoesOn",
            .folder = "games/batch",
            .programs = {{"WRITE.COM", "WRITE.COM"}, {"setup.bat", "setup.bat"}},
            .command = "CALL setup.bat",
            .expected = {{"RESULT.TXT", kWritten}, {"BATCH.TXT", "setup.bat finished\r\n"}}},
        ProgramCase{.name = "extenderStandInRecordsItsTailAndRunsNothing",
                    .folder = "games/maze",
                    .programs = {{"MAZE.EXE", "GAME4G.EXE"}},
                    .command = "Y:dos32a.exe MAZE.EXE",
                    .extenderOnY = true,
                    .expected = {{"TAIL.TXT", " MAZE.EXE"}},
                    .absent = {"DIRECT.TXT"}},
        ProgramCase{.name = "dos4gProgramRunDirectlyWritesItsFile",
                    .folder = "games/maze",
                    .programs = {{"MAZE.EXE", "GAME4G.EXE"}},
                    .command = "MAZE.EXE",
                    .expected = {{"DIRECT.TXT", "GAME4G.EXE ran without an extender\r\n"}},
                    .absent = {"TAIL.TXT"}},
        ProgramCase{.name = "copiesFromCdImage",
                    .folder = "games/cd",
                    .programs = {{"CDCOPY.COM", "CDCOPY.COM"}},
                    .command = "CDCOPY.COM",
                    .cd = Cd::image,
                    .expected = {{"FROMCD.TXT", kCdText}}},
        ProgramCase{.name = "copiesFromCdFolder",
                    .folder = "games/cd",
                    .programs = {{"CDCOPY.COM", "CDCOPY.COM"}},
                    .command = "CDCOPY.COM",
                    .cd = Cd::folder,
                    .expected = {{"FROMCD.TXT", kCdText}}},
        ProgramCase{.name = "folderWithBlanksAsteriskAndNonAsciiLetters",
                    .folder = "Meine Spiele * Ärger/Größe & Übermut",
                    .programs = {{"WRITE.COM", "WRITE.COM"}},
                    .command = "WRITE.COM",
                    .expected = {{"RESULT.TXT", kWritten}}},
        ProgramCase{
            .name = "demoProgramLeavesItsGreeting",
            .folder = "demo",
            .programs = {{"HELLO.COM", "HELLO.COM"}},
            .command = "HELLO.COM",
            .expected = {{"HELLO.TXT", "Hello from MS-DOS!\r\n"
                                       "HELLO.COM ran inside DOSBox, started by Tolvarn.\r\n"}}}),
    [](const ::testing::TestParamInfo<ProgramCase>& info) { return info.param.name; });

// The launcher decides "DOS/4G program" by the marker text in the first 1024 bytes; only the
// program meant to look like one may carry it, or the tests would swap in the extender where
// they mean to run a program directly.
TEST(DosProgramFiles, onlyTheDos4gProgramCarriesTheMarker) {
    const std::map<std::string, bool> carriesMarker = {{"GAME4G.EXE", true},  {"WRITE.COM", false},
                                                       {"CDCOPY.COM", false}, {"dos32a.exe", false},
                                                       {"HELLO.COM", false},  {"setup.bat", false}};
    for (const auto& [program, expected] : carriesMarker) {
        const std::string start = readFile(dosProgram(program)).substr(0, 1024);
        ASSERT_FALSE(start.empty()) << program;
        EXPECT_EQ(start.find("DOS/4G") != std::string::npos, expected) << program;
    }
}

TEST(DosboxHarness, killsADosboxThatNeverEnds) {
    Sandbox sandbox;
    // Without "-exit" and an exit command DOSBox waits at its prompt for ever.
    const ProcessResult run =
        runProcess({"dosbox", "-conf", headlessConfigPath()}, headlessEnvironment(), 1500ms);
    EXPECT_TRUE(run.timedOut);
    EXPECT_LT(run.seconds, 5.0);
}

} // namespace
} // namespace tolvarn::testing
