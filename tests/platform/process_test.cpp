#include "platform/process.h"

#include "hostTesting.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>

using tolvarn::platform::RunOptions;
using tolvarn::platform::runProgram;
using tolvarn::testing::Sandbox;
using tolvarn::testing::ScopedVariable;

namespace {

TEST(HostRunProgram, ReportsWhatCannotStart) {
    Sandbox sandbox;
    const std::string plain = sandbox.writeFile("plain.txt", "text\n");
    const struct {
        std::vector<std::string> arguments;
        RunOptions options;
        int hostError;
    } cases[] = {
        {{}, {}, ENOENT},
        {{sandbox.path("missing")}, {}, ENOENT},
        {{plain}, {}, EACCES},
        {{"/bin/true"}, {.workingDirectory = sandbox.path("none")}, ENOENT},
        {{"/bin/true"}, {.inputFile = sandbox.path("none")}, ENOENT},
        {{"/bin/true"}, {.outputFile = sandbox.path("none/out")}, ENOENT},
    };
    for (const auto& c : cases) {
        const auto result = runProgram(c.arguments, c.options);
        EXPECT_EQ(result.status, -1);
        EXPECT_EQ(result.hostError, c.hostError);
    }
}

TEST(HostRunProgram, PassesArgumentsEnvironmentAndFolderAndCapturesOutput) {
    Sandbox sandbox;
    ScopedVariable probe("TOLVARN_PROBE", "probe value");
    auto result = runProgram({"/bin/sh", "-c", "printf '%s|' \"$@\" \"$TOLVARN_PROBE\" \"$PWD\"",
                              "zero", "one two", "", "*"},
                             {.workingDirectory = sandbox.root(), .captureOutput = true});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, "one two||*|probe value|" + sandbox.root() + "|");
    // More than a pipe holds: read while the program writes.
    result =
        runProgram({"/bin/sh", "-c", "head -c 300000 /dev/zero; exit 3"}, {.captureOutput = true});
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.output.size(), 300000u);
}

TEST(HostRunProgram, InterruptGoesToTheProgramNotToUs) {
    const auto result =
        runProgram({"/bin/sh", "-c", "kill -INT $PPID; kill -QUIT $PPID; kill -INT $$; exit 0"});
    EXPECT_EQ(result.status, 20);
    struct sigaction current {};
    sigaction(SIGINT, nullptr, &current);
    EXPECT_EQ(current.sa_handler, SIG_DFL);
}

} // namespace
