// The process's start on this host: the argument text of a Shell start, the start message of a
// desktop start, and Ctrl-C.
#include "platform/dos/dos.h"
#include "platform/exec/internal.h"
#include "platform/exec/startup.h"
#include "platform/exec/workbench.h"

#include "../layerTesting.h"

#include <csignal>
#include <cstdlib>

namespace fs = std::filesystem;
using tolvarn::platform::startProgram;
using Words = std::vector<std::string>;

namespace tolvarn::testing {
namespace {

/// What the entry saw: argc, argument text, Shell start, current directory, then for a desktop
/// start one "folder|name" per start argument.
Words seen;

std::string pathOf(BPTR lock) {
    char buffer[1024] = "(none)";
    return lock == nullptr || NameFromLock(lock, buffer, sizeof buffer) ? buffer : "(bad)";
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

class StartupTest : public HostLayerTest {
  protected:
    static int start(Words arguments) {
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        return startProgram(static_cast<int>(arguments.size()), argv.data(), recordingEntry);
    }
};

TEST_F(StartupTest, AShellStartRebuildsTheArgumentText) {
    // clang-format off
    const struct { Words arguments; const char* text; } cases[] = {
        {{}, "\n"},
        {{"/home/me/My Games/x.exe"}, "\"/home/me/My Games/x.exe\"\n"},
        {{"a", "", "b"}, "a \"\" b\n"},
        {{"tab\there"}, "\"tab\there\"\n"},
        {{"ISO=disc.iso", "CDdir="}, "ISO=disc.iso CDdir=\n"},
        // The shell took the quotes of ISO="my disc.iso"; they go back around the value, so the
        // keyword stays a keyword.
        {{"ISO=my disc.iso"}, "ISO=\"my disc.iso\"\n"},
        {{"/path/a=b c.exe", "=x y"}, "\"/path/a=b c.exe\" \"=x y\"\n"},
        // Only a plain word before the "=" is a keyword; any other "=" is part of a path.
        {{"/games/A=B/GAME.EXE", "ISO=/x/A=B.iso", "my-game=1.exe"},
         "\"/games/A=B/GAME.EXE\" ISO=\"/x/A=B.iso\" \"my-game=1.exe\"\n"},
        {{"GAME.EXE", "--workbench"}, "GAME.EXE --workbench\n"}, // only first it means a desktop start
    };
    // clang-format on
    for (const auto& test : cases) {
        Words argv{"tolvarn"};
        argv.insert(argv.end(), test.arguments.begin(), test.arguments.end());
        EXPECT_EQ(start(argv), 7);
        EXPECT_EQ(seen, (Words{std::to_string(argv.size()), test.text, "shell", sandbox.work()}));
    }
    MsgPort* port = FindTask(nullptr)->pr_FileSystemTask;
    EXPECT_EQ(SetFileSysTask(nullptr), port);
    EXPECT_EQ(SetFileSysTask(port), nullptr);
}

TEST_F(StartupTest, AWorkbenchStartListsTheProgramThenEachObject) {
    sandbox.writeFile("Games/DOOM.EXE", "MZ");
    sandbox.makeDir("work/Folder");
    const std::string home = platform::internal::programDirectory();
    const std::string self = home + "|" + fs::read_symlink("/proc/self/exe").filename().string();
    EXPECT_EQ(start({"tolvarn", "--workbench", sandbox.path("Games/DOOM.EXE"), "relative name.bat",
                     "Folder/", sandbox.path("gone/x.exe")}),
              7);
    // Run in the program's own folder, as a desktop start is.
    EXPECT_EQ(seen, (Words{"0", "\n", "desktop", home, self, sandbox.path("Games") + "|DOOM.EXE",
                           sandbox.work() + "|relative name.bat", sandbox.work() + "|Folder",
                           "(none)|" + sandbox.path("gone/x.exe")}));
    // Afterwards the start message, its locks and the program's folder as current one are gone.
    EXPECT_EQ(pathOf(FindTask(nullptr)->pr_CurrentDir), sandbox.work());
}

TEST_F(StartupTest, CtrlCBreaksWithReturnCodeTwentyButNotWhileACommandRuns) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    char name[] = "tolvarn";
    char* argv[] = {name, nullptr};
    EXPECT_EXIT(std::exit(startProgram(1, argv, [](int, char**) { return std::raise(SIGINT); })),
                ::testing::ExitedWithCode(20), "^\\*\\*\\*Break\n$");
    const auto interruptedCommand = [](int, char**) {
        return SystemTagList("/bin/sh -c \"kill -INT $PPID; exit 4\"", nullptr);
    };
    EXPECT_EXIT(std::exit(startProgram(1, argv, interruptedCommand)), ::testing::ExitedWithCode(4),
                "");
}

} // namespace
} // namespace tolvarn::testing
