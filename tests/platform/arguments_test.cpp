// The argument text rebuilt from argv, and the process record.
#include "platform/dos.h"
#include "platform/exec.h"

#include "support/testSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using tolvarn::testing::Sandbox;

namespace {

TEST(HostArguments, ArgumentTextIsRebuiltAsTheShellHandsItOver) {
    Sandbox sandbox;
    const struct {
        std::vector<std::string> arguments;
        const char* text;
    } cases[] = {
        {{}, "\n"},
        {{"game.exe"}, "game.exe\n"},
        {{"game.exe", "Window"}, "game.exe Window\n"},
        {{"/home/me/My Games/x.exe"}, "\"/home/me/My Games/x.exe\"\n"},
        {{"a", "", "b"}, "a \"\" b\n"},
        {{"tab\there"}, "\"tab\there\"\n"},
        {{"ISO=disc.iso"}, "ISO=disc.iso\n"},
        // The shell took the quotes of ISO="my disc.iso"; they go back around the value, so the
        // keyword stays a keyword.
        {{"ISO=my disc.iso"}, "ISO=\"my disc.iso\"\n"},
        {{"CDdir="}, "CDdir=\n"},
        {{"/path/a=b c.exe"}, "\"/path/a=b c.exe\"\n"},
        {{"=x y"}, "\"=x y\"\n"},
    };
    for (const auto& test : cases) {
        std::vector<std::string> words{"tolvarn"};
        words.insert(words.end(), test.arguments.begin(), test.arguments.end());
        std::vector<char*> argv;
        for (auto& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        tolvarn::platform::setArgumentsFromHost(static_cast<int>(words.size()), argv.data());
        EXPECT_STREQ(GetArgStr(), test.text);
    }
}

TEST(HostArguments, ProcessRecordDescribesTheStart) {
    Sandbox sandbox;
    Process* process = FindTask(nullptr);
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(FindTask("someone else"), nullptr);
    EXPECT_NE(process->pr_CLI, 0);
    tolvarn::platform::setShellStart(false);
    EXPECT_EQ(process->pr_CLI, 0);
    ASSERT_NE(process->pr_HomeDir, nullptr);
    EXPECT_EQ(process->pr_HomeDir->hostPath,
              std::filesystem::canonical("/proc/self/exe").parent_path().string()); // PROGDIR:
    EXPECT_STREQ(process->pr_CurrentDir->hostPath, sandbox.work().c_str());
    MsgPort* port = process->pr_FileSystemTask;
    EXPECT_EQ(SetFileSysTask(nullptr), port);
    EXPECT_EQ(SetFileSysTask(port), nullptr);
}

} // namespace
