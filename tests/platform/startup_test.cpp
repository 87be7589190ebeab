#include "platform/dos.h"
#include "platform/exec.h"
#include "platform/hostPaths.h"
#include "platform/startup.h"
#include "platform/workbench.h"

#include "hostTesting.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using tolvarn::platform::startProgram;
using tolvarn::testing::expectNothingOutstanding;
using tolvarn::testing::Sandbox;

namespace {

/// What the entry saw of its start.
struct Seen {
    int argc = -1;
    std::string argumentText;
    int32_t shellStart = -1;
    std::string currentDirectory;
    std::vector<std::pair<std::string, std::string>> startArguments; // lock path, name
};
Seen seen;

std::string pathOf(BPTR lock) {
    if (lock == nullptr)
        return "(none)";
    char buffer[1024];
    return NameFromLock(lock, buffer, sizeof buffer) == DOSTRUE ? buffer : "(bad lock)";
}

int recordingEntry(int argc, char** argv) {
    seen = Seen{};
    seen.argc = argc;
    seen.argumentText = GetArgStr();
    seen.shellStart = FindTask(nullptr)->pr_CLI;
    seen.currentDirectory = pathOf(FindTask(nullptr)->pr_CurrentDir);
    if (argc == 0) {
        const auto* message = reinterpret_cast<WBStartup*>(argv);
        for (int32_t index = 0; index < message->sm_NumArgs; ++index)
            seen.startArguments.emplace_back(pathOf(message->sm_ArgList[index].wa_Lock),
                                             message->sm_ArgList[index].wa_Name);
    }
    return 7;
}

class StartupTest : public ::testing::Test {
  protected:
    void TearDown() override { expectNothingOutstanding(); }

    int start(std::vector<std::string> arguments) {
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        return startProgram(static_cast<int>(arguments.size()), argv.data(), recordingEntry);
    }

    Sandbox sandbox_;
};

TEST_F(StartupTest, AShellStartHandsTheArgumentsOn) {
    EXPECT_EQ(start({"tolvarn", "GAME.EXE", "two words", "NoExit"}), 7);
    EXPECT_EQ(seen.argc, 4);
    EXPECT_EQ(seen.argumentText, "GAME.EXE \"two words\" NoExit\n");
    EXPECT_NE(seen.shellStart, 0);
    EXPECT_EQ(seen.currentDirectory, sandbox_.work());
}

TEST_F(StartupTest, AWorkbenchStartListsTheProgramThenEachObject) {
    sandbox_.writeFile("Games/DOOM.EXE", "MZ");
    sandbox_.makeDir("work/Folder");
    const std::string programFolder = tolvarn::platform::internal::programDirectory();
    const std::string programName =
        std::filesystem::read_symlink("/proc/self/exe").filename().string();

    EXPECT_EQ(start({"tolvarn", "--workbench", sandbox_.path("Games/DOOM.EXE"), "relative name.bat",
                     "Folder/", sandbox_.path("gone/x.exe")}),
              7);
    EXPECT_EQ(seen.argc, 0);
    EXPECT_EQ(seen.shellStart, 0);
    EXPECT_EQ(seen.argumentText, "\n");
    // A program started from the desktop runs in its own folder.
    EXPECT_EQ(seen.currentDirectory, programFolder);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {programFolder, programName},
        {sandbox_.path("Games"), "DOOM.EXE"},
        {sandbox_.work(), "relative name.bat"},
        {sandbox_.work(), "Folder"},
        {"(none)", "x.exe"},
    };
    EXPECT_EQ(seen.startArguments, expected);

    // Afterwards the start message and its locks are gone and the current directory is back.
    EXPECT_EQ(pathOf(FindTask(nullptr)->pr_CurrentDir), sandbox_.work());
    EXPECT_EQ(start({"tolvarn", "--workbench"}), 7);
    ASSERT_EQ(seen.startArguments.size(), 1u);
    EXPECT_EQ(seen.startArguments[0].second, programName);
}

TEST_F(StartupTest, ALaterWorkbenchWordIsAnOrdinaryArgument) {
    EXPECT_EQ(start({"tolvarn", "GAME.EXE", "--workbench"}), 7);
    EXPECT_EQ(seen.argc, 3);
    EXPECT_EQ(seen.argumentText, "GAME.EXE --workbench\n");
}

int interruptedEntry(int, char**) {
    std::raise(SIGINT);
    return 0;
}

int entryWhoseCommandIsInterrupted(int, char**) {
    // The command interrupts its parent and ends with 4: the parent lives on to report it.
    return SystemTagList("/bin/sh -c \"kill -INT $PPID; exit 4\"", nullptr);
}

TEST_F(StartupTest, CtrlCBreaksTheProgramWithReturnCodeTwenty) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    char name[] = "tolvarn";
    char* argv[] = {name, nullptr};
    EXPECT_EXIT(std::exit(startProgram(1, argv, interruptedEntry)), ::testing::ExitedWithCode(20),
                "^\\*\\*\\*Break\n$");
    EXPECT_EXIT(std::exit(startProgram(1, argv, entryWhoseCommandIsInterrupted)),
                ::testing::ExitedWithCode(4), "");
    // Outside startProgram the break handling is gone again.
    struct sigaction current {};
    sigaction(SIGINT, nullptr, &current);
    EXPECT_EQ(current.sa_handler, SIG_DFL);
}

} // namespace
