#include "pAmigaDos/queries.h"

#include "amigaDosFixture.h"

#include <vector>

namespace tolvarn::testing {
namespace {

using QueriesTest = AmigaDosTest;

TEST_F(QueriesTest, TellsWhatExistsWithoutRequestersFollowingLinksOnlyWhenAsked) {
    sandbox.writeFile("work/file.txt", "f");
    sandbox.makeDir("work/Games/Data");
    sandbox.writeFile("work/Data", "a file where the current directory would look");
    softLink("file.txt", "work/toFile");
    softLink("Games", "work/toFolder");
    softLink("Data", "work/Games/toData");
    softLink("gone.txt", "work/dangling");
    Process* process = FindTask(nullptr);
    process->pr_WindowPtr = &process; // a window of ours, that requesters would appear on
    // clang-format off
    struct { const char* path; int32_t any, file, folder; } cases[] = {
        {"file.txt", TRUE, TRUE, FALSE}, {"Games", TRUE, FALSE, TRUE}, {"toFile", TRUE, TRUE, FALSE},
        {"toFolder", TRUE, FALSE, TRUE}, {"dangling", FALSE, FALSE, FALSE},
        {"missing.txt", FALSE, FALSE, FALSE}, {"NoSuchVolume:file.txt", FALSE, FALSE, FALSE}};
    // clang-format on
    for (const auto& c : cases) {
        EXPECT_EQ(pathExists(c.path, 0), c.any) << c.path;
        EXPECT_EQ(pathExists(c.path, 1), c.file) << c.path;
        EXPECT_EQ(pathExists(c.path, 2), c.folder) << c.path;
        EXPECT_EQ(process->pr_WindowPtr, &process) << c.path;
    }
    process->pr_WindowPtr = nullptr;

    // clang-format off
    struct { const char* path; int32_t noFollow, type; int8_t exists; } types[] = {
        {"toFile", FALSE, ST_FILE, TRUE}, {"toFile", TRUE, ST_SOFTLINK, TRUE},
        {"dangling", TRUE, ST_SOFTLINK, FALSE}, {"dangling", FALSE, 0, FALSE}};
    // clang-format on
    for (const auto& c : types) {
        int8_t exists = 99;
        EXPECT_EQ(dirEntryType(c.path, c.noFollow, &exists), c.type) << c.path;
        EXPECT_EQ(exists, c.exists) << c.path;
        EXPECT_EQ(secondResult, c.exists) << c.path;
    }
    EXPECT_EQ(dirEntryType("dangling", TRUE, nullptr), ST_SOFTLINK);

    // A link's relative target is found from the link's directory, not from the current one.
    EXPECT_EQ(dirEntryTypeIsFile(ST_SOFTLINK, "Games/toData"), FALSE);
    EXPECT_EQ(dirEntryTypeIsFile(ST_SOFTLINK, "toFile"), TRUE);
    EXPECT_THROW(dirEntryTypeIsFile(ST_SOFTLINK, "file.txt"), eException);
    EXPECT_EQ(exception, ID_BUG);
    EXPECT_STREQ(exceptionInfo, "dirEntryTypeIsFile(); linkPath=NILS");
    exception = 0;
    forEveryAllocationFailure([] {
        dirEntryTypeIsFile(ST_SOFTLINK, "Games/toData");
        pathExists("toFile", 1);
    });
}

TEST_F(QueriesTest, VariablesComeBackWhole) {
    const std::string values[] = {"", "Work:Emulators/DOSBox", std::string(127, 'a'),
                                  std::string(128, 'b'), "/" + std::string(300, 'c') + "/DOSBox"};
    for (const std::string& value : values) {
        ASSERT_EQ(setVar("Tolvarn/Test", value.c_str(), 0), TRUE);
        EXPECT_EQ(take(strGetVar("Tolvarn/Test", 0)), value) << value.size();
    }
    EXPECT_EQ(take(strGetVar("Tolvarn/Missing", 0)), std::nullopt);
    forEveryAllocationFailure([] { take(strGetVar("Tolvarn/Test", 0)); });
}

TEST_F(QueriesTest, TheArgumentLineLosesOnlyItsFinalLineFeed) {
    // clang-format off
    struct { std::vector<const char*> argv; const char* line; } cases[] = {
        {{"tolvarn"}, ""}, {{"tolvarn", "game.exe", "Window"}, "game.exe Window"},
        {{"tolvarn", "My Game.exe"}, "\"My Game.exe\""}};
    // clang-format on
    for (auto& c : cases) {
        platform::setArgumentsFromHost(int(c.argv.size()), const_cast<char**>(c.argv.data()));
        startAmigaDosModule();
        startAmigaDosModule(); // a second start must not lose the first copy
        EXPECT_STREQ(argumentLine, c.line);
        EXPECT_EQ(EstrLen(argumentLine), int32_t(std::string(c.line).size()));
        endAmigaDosModule();
        EXPECT_EQ(argumentLine, nullptr);
        endAmigaDosModule();
    }
}

} // namespace
} // namespace tolvarn::testing
