// The process's start on this host: the argument text of a Shell start.
#include "platform/dos/dos.h"
#include "platform/exec/startup.h"

#include "../layerTesting.h"

#include <cstdlib>

using tolvarn::platform::startProgram;
using Words = std::vector<std::string>;

namespace tolvarn::testing {
namespace {

/// What the entry saw: argc, argument text, Shell start, current directory.
Words seen;

int recordingEntry(int argc, char**) {
    const Process* process = FindTask(nullptr);
    char folder[1024] = "";
    NameFromLock(process->pr_CurrentDir, folder, sizeof folder);
    seen = {std::to_string(argc), GetArgStr(), process->pr_CLI != 0 ? "shell" : "desktop", folder};
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
        {{}, "\n"}, {{"a", "", "b"}, "a \"\" b\n"}, {{"tab\there"}, "\"tab\there\"\n"},
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
}

} // namespace
} // namespace tolvarn::testing
