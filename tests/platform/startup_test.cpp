// Process start-up on this host: the argument text, the process record, a desktop start with
// its start message, Ctrl-C, and the stand-in libraries.
#include "platform/hostPaths.h"
#include "platform/startup.h"
#include "platform/workbench.h"

#include "layerTesting.h"

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

using tolvarn::platform::startProgram;
using Words = std::vector<std::string>;

namespace {

/// What the entry saw: argc, argument text, Shell start, current directory, then for a desktop
/// start one "folder|name" per start argument.
Words seen;

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

class StartupTest : public tolvarn::testing::HostLayerTest {
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
        {{"game.exe", "Window"}, "game.exe Window\n"},
        {{"/home/me/My Games/x.exe"}, "\"/home/me/My Games/x.exe\"\n"},
        {{"a", "", "b"}, "a \"\" b\n"},
        {{"tab\there"}, "\"tab\there\"\n"},
        {{"ISO=disc.iso", "CDdir="}, "ISO=disc.iso CDdir=\n"},
        // The shell took the quotes of ISO="my disc.iso"; they go back around the value, so the
        // keyword stays a keyword.
        {{"ISO=my disc.iso"}, "ISO=\"my disc.iso\"\n"},
        {{"/path/a=b c.exe", "=x y"}, "\"/path/a=b c.exe\" \"=x y\"\n"},
        {{"GAME.EXE", "--workbench"}, "GAME.EXE --workbench\n"}, // only first it means a desktop start
    };
    // clang-format on
    for (const auto& test : cases) {
        Words argv{"tolvarn"};
        argv.insert(argv.end(), test.arguments.begin(), test.arguments.end());
        EXPECT_EQ(start(argv), 7);
        EXPECT_EQ(seen, (Words{std::to_string(argv.size()), test.text, "shell", sandbox.work()}));
    }
    Process* process = FindTask(nullptr);
    EXPECT_EQ(FindTask("someone else"), nullptr);
    EXPECT_EQ(pathOf(process->pr_HomeDir),
              std::filesystem::canonical("/proc/self/exe").parent_path().string()); // PROGDIR:
    MsgPort* port = process->pr_FileSystemTask;
    EXPECT_EQ(SetFileSysTask(nullptr), port);
    EXPECT_EQ(SetFileSysTask(port), nullptr);
}

TEST_F(StartupTest, AWorkbenchStartListsTheProgramThenEachObject) {
    sandbox.writeFile("Games/DOOM.EXE", "MZ");
    sandbox.makeDir("work/Folder");
    const std::string home = tolvarn::platform::internal::programDirectory();
    const std::string self =
        home + "|" + std::filesystem::read_symlink("/proc/self/exe").filename().string();
    EXPECT_EQ(start({"tolvarn", "--workbench", sandbox.path("Games/DOOM.EXE"), "relative name.bat",
                     "Folder/", sandbox.path("gone/x.exe")}),
              7);
    // Run in the program's own folder, as a desktop start is.
    EXPECT_EQ(seen, (Words{"0", "\n", "desktop", home, self, sandbox.path("Games") + "|DOOM.EXE",
                           sandbox.work() + "|relative name.bat", sandbox.work() + "|Folder",
                           "(none)|x.exe"}));
    // Afterwards the start message, its locks and the program's folder as current one are gone.
    EXPECT_EQ(pathOf(FindTask(nullptr)->pr_CurrentDir), sandbox.work());
    EXPECT_EQ(start({"tolvarn", "--workbench"}), 7);
    EXPECT_EQ(seen, (Words{"0", "\n", "desktop", home, self}));
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

TEST_F(StartupTest, LibrariesOpenByNameAndVersionAndBalanceTheCounts) {
    using tolvarn::platform::libraryOpenCount;
    for (const char* name :
         {"exec.library", "dos.library", "graphics.library", "asl.library", "cybergraphics.library",
          "intuition.library", "utility.library", "gadtools.library"}) {
        Library* base = OpenLibrary(name, 39);
        ASSERT_NE(base, nullptr) << name;
        EXPECT_EQ(OpenLibrary(name, 0), base);
        EXPECT_EQ(libraryOpenCount(name), 2);
        CloseLibrary(base);
        CloseLibrary(base);
        EXPECT_EQ(libraryOpenCount(name), 0);
    }
    EXPECT_EQ(OpenLibrary("mathieee.library", 0), nullptr);
    EXPECT_EQ(OpenLibrary("dos.library", 1000), nullptr);
    CloseLibrary(nullptr);
    tolvarn::platform::setLibraryAvailable("asl.library", false);
    EXPECT_EQ(OpenLibrary("asl.library", 0), nullptr);
    tolvarn::platform::setLibraryAvailable("asl.library", true);
    Library* base = OpenLibrary("asl.library", 0);
    EXPECT_NE(base, nullptr);
    CloseLibrary(base);
}

} // namespace
