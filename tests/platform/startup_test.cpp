#include "platform/dos.h"
#include "platform/hostPaths.h"
#include "platform/startup.h"
#include "platform/workbench.h"

#include "hostTesting.h"

#include <gtest/gtest.h>

#include <csignal>

using tolvarn::platform::startProgram;
using namespace tolvarn::testing;

namespace {

/// What the entry saw: argc, argument text, Shell start, current directory, then for a desktop
/// start one "folder|name" per start argument.
std::vector<std::string> seen;

std::string pathOf(BPTR lock) {
    char buffer[1024];
    return lock == nullptr                             ? "(none)"
           : NameFromLock(lock, buffer, sizeof buffer) ? buffer
                                                       : "(bad)";
}

int recordingEntry(int argc, char** argv) {
    const Process* process = FindTask(nullptr);
    seen = {std::to_string(argc), GetArgStr(), process->pr_CLI != 0 ? "shell" : "desktop",
            pathOf(process->pr_CurrentDir)};
    const auto* message = reinterpret_cast<WBStartup*>(argv);
    for (int32_t index = 0; argc == 0 && index < message->sm_NumArgs; ++index)
        seen.push_back(pathOf(message->sm_ArgList[index].wa_Lock) + "|" +
                       message->sm_ArgList[index].wa_Name);
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
    EXPECT_EQ(start({"tolvarn", "GAME.EXE", "two words", "--workbench"}), 7);
    EXPECT_EQ(seen, (std::vector<std::string>{"4", "GAME.EXE \"two words\" --workbench\n", "shell",
                                              sandbox_.work()}));
}

TEST_F(StartupTest, AWorkbenchStartListsTheProgramThenEachObject) {
    sandbox_.writeFile("Games/DOOM.EXE", "MZ");
    sandbox_.makeDir("work/Folder");
    const std::string home = tolvarn::platform::internal::programDirectory();
    const std::string self =
        home + "|" + std::filesystem::read_symlink("/proc/self/exe").filename().string();
    EXPECT_EQ(start({"tolvarn", "--workbench", sandbox_.path("Games/DOOM.EXE"), "relative name.bat",
                     "Folder/", sandbox_.path("gone/x.exe")}),
              7);
    // Run in the program's own folder, as a desktop start is.
    EXPECT_EQ(seen, (std::vector<std::string>{"0", "\n", "desktop", home, self,
                                              sandbox_.path("Games") + "|DOOM.EXE",
                                              sandbox_.work() + "|relative name.bat",
                                              sandbox_.work() + "|Folder", "(none)|x.exe"}));
    // Afterwards the start message, its locks and the program's folder as current one are gone.
    EXPECT_EQ(pathOf(FindTask(nullptr)->pr_CurrentDir), sandbox_.work());
    EXPECT_EQ(start({"tolvarn", "--workbench"}), 7);
    EXPECT_EQ(seen, (std::vector<std::string>{"0", "\n", "desktop", home, self}));
}

int interruptedEntry(int, char**) {
    return std::raise(SIGINT);
}

int entryWhoseCommandIsInterrupted(int, char**) {
    return SystemTagList("/bin/sh -c \"kill -INT $PPID; exit 4\"", nullptr);
}

TEST_F(StartupTest, CtrlCBreaksWithReturnCodeTwentyButNotWhileACommandRuns) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    char name[] = "tolvarn";
    char* argv[] = {name, nullptr};
    EXPECT_EXIT(std::exit(startProgram(1, argv, interruptedEntry)), ::testing::ExitedWithCode(20),
                "^\\*\\*\\*Break\n$");
    EXPECT_EXIT(std::exit(startProgram(1, argv, entryWhoseCommandIsInterrupted)),
                ::testing::ExitedWithCode(4), "");
    struct sigaction current {};
    sigaction(SIGINT, nullptr, &current);
    EXPECT_EQ(current.sa_handler, SIG_DFL); // gone again outside startProgram
}

} // namespace
