#include "platform/process.h"

#include "support/testSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using tolvarn::platform::findInHostPath;
using tolvarn::platform::RunOptions;
using tolvarn::platform::runProgram;
using tolvarn::testing::readFile;
using tolvarn::testing::Sandbox;

namespace {

std::vector<std::string> shell(const std::string& script) {
    return {"/bin/sh", "-c", script};
}

TEST(HostRunProgram, HandsBackHowTheProgramEnded) {
    const struct {
        const char* script;
        int32_t status;
    } cases[] = {
        {"exit 0", 0},     {"exit 5", 5},         {"exit 10", 10},       {"exit 127", 127},
        {"exit 255", 255}, {"kill -TERM $$", 20}, {"kill -KILL $$", 20},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        const auto result = runProgram(shell(c.script));
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.hostError, 0);
    }
}

TEST(HostRunProgram, ReportsWhatCannotStart) {
    Sandbox sandbox;
    const std::string notExecutable = sandbox.writeFile("plain.txt", "text\n");
    const struct {
        std::vector<std::string> arguments;
        RunOptions options;
        int hostError;
    } cases[] = {
        {{}, {}, ENOENT},
        {{sandbox.path("missing")}, {}, ENOENT},
        {{notExecutable}, {}, EACCES},
        {{sandbox.work()}, {}, EACCES},
        {{"/bin/true"}, {.workingDirectory = sandbox.path("no-such-folder")}, ENOENT},
        {{"/bin/true"}, {.inputFile = sandbox.path("no-such-input")}, ENOENT},
        {{"/bin/true"}, {.outputFile = sandbox.path("no-folder/out")}, ENOENT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.empty() ? "(none)" : c.arguments[0]);
        const auto result = runProgram(c.arguments, c.options);
        EXPECT_EQ(result.status, -1);
        EXPECT_EQ(result.hostError, c.hostError);
    }
    EXPECT_FALSE(std::filesystem::exists(sandbox.path("no-folder")));
}

TEST(HostRunProgram, PassesArgumentsEnvironmentAndFolder) {
    Sandbox sandbox;
    sandbox.makeDir("elsewhere");
    setenv("TOLVARN_PROBE", "probe value", 1);
    const auto result =
        runProgram({"/bin/sh", "-c", "printf '%s|' \"$0\" \"$@\" \"$TOLVARN_PROBE\" \"$PWD\"",
                    "zero", "one two", "", "*"},
                   {.workingDirectory = sandbox.path("elsewhere"), .captureOutput = true});
    unsetenv("TOLVARN_PROBE");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, "zero|one two||*|probe value|" + sandbox.path("elsewhere") + "|");
}

TEST(HostRunProgram, RedirectsStandardInputAndOutput) {
    Sandbox sandbox;
    const std::string input = sandbox.writeFile("in.txt", "first\nsecond\n");
    const std::string output = sandbox.writeFile("out.txt", "old contents that must go\n");

    EXPECT_EQ(runProgram({"/bin/cat"}, {.inputFile = input, .outputFile = output}).status, 0);
    EXPECT_EQ(readFile(output), "first\nsecond\n");
    EXPECT_EQ(runProgram(shell("echo more"), {.outputFile = output, .appendOutput = true}).status,
              0);
    EXPECT_EQ(readFile(output), "first\nsecond\nmore\n");
    EXPECT_EQ(runProgram(shell("echo new"), {.outputFile = sandbox.path("fresh.txt")}).status, 0);
    EXPECT_EQ(readFile(sandbox.path("fresh.txt")), "new\n");
    EXPECT_EQ(runProgram(shell("echo gone"), {.outputFile = "/dev/null"}).status, 0);
}

TEST(HostRunProgram, CapturesLargeOutputWithoutBlocking) {
    const auto result =
        runProgram(shell("head -c 300000 /dev/zero; exit 3"), {.captureOutput = true});
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.output.size(), 300000u);
}

TEST(HostRunProgram, InterruptGoesToTheChildNotToUs) {
    // The child interrupts its parent (us) and then itself: we must survive, it must not.
    const auto result =
        runProgram(shell("kill -INT $PPID; kill -QUIT $PPID; kill -INT $$; exit 0"));
    EXPECT_EQ(result.status, 20);
    // The parent's own handling is back afterwards.
    struct sigaction current {};
    sigaction(SIGINT, nullptr, &current);
    EXPECT_NE(current.sa_handler, SIG_IGN);
}

TEST(HostRunProgram, FindsProgramsOnlyInAbsolutePathFolders) {
    Sandbox sandbox;
    const std::string bin = sandbox.makeDir("bin");
    sandbox.writeFile("bin/plain", "not executable");
    sandbox.writeFile("work/local", "#!/bin/sh\n");
    std::filesystem::permissions(sandbox.path("work/local"), std::filesystem::perms::owner_all);
    sandbox.writeFile("bin/tool", "#!/bin/sh\n");
    std::filesystem::permissions(bin + "/tool", std::filesystem::perms::owner_all);

    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", ("::.:work:" + bin).c_str(), 1);
    EXPECT_EQ(findInHostPath("tool"), bin + "/tool");
    EXPECT_EQ(findInHostPath("plain"), "");
    EXPECT_EQ(findInHostPath("local"), "");
    EXPECT_EQ(findInHostPath("bin/tool"), "");
    setenv("PATH", oldPath.c_str(), 1);
}

} // namespace
