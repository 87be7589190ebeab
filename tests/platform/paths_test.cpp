// Path strings without the disk: AddPart, FilePart and PathPart.
#include "platform/dos.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(HostPathStrings, AddPartJoinsByTheRulesOfBothSystems) {
    const struct {
        const char* directory;
        const char* name;
        const char* expected;
    } cases[] = {
        {"Work:DOSBox", "DOSBox", "Work:DOSBox/DOSBox"},
        {"Work:", "DOS4GW.EXE", "Work:DOS4GW.EXE"},
        {"/home/me/", "game.exe", "/home/me/game.exe"},
        {"/", "game.exe", "/game.exe"},
        {"", "game.exe", "game.exe"},
        {"a/b", "", "a/b"},
        {"Work:Games", "/usr/games/doom", "/usr/games/doom"}, // a host-absolute name replaces
        {"/home/me", "CD0:disc.iso", "CD0:disc.iso"},         // so does a device name
        {"Work:Games", "Y/dos32a.exe", "Work:Games/Y/dos32a.exe"},
        {"Work:Games/", "/x", "/x"},
    };
    for (const auto& test : cases) {
        char buffer[64];
        std::strcpy(buffer, test.directory);
        EXPECT_EQ(AddPart(buffer, test.name, sizeof buffer), DOSTRUE)
            << test.directory << " + " << test.name;
        EXPECT_STREQ(buffer, test.expected);
    }
}

TEST(HostPathStrings, AddPartLeavesTheBufferAloneWhenTheResultDoesNotFit) {
    // "ab/cd" needs 6 bytes with its NUL.
    const struct {
        uint32_t size;
        int32_t result;
        const char* expected;
    } cases[] = {{5, DOSFALSE, "ab"}, {6, DOSTRUE, "ab/cd"}, {0, DOSFALSE, "ab"}};
    for (const auto& test : cases) {
        char buffer[16] = "ab";
        SetIoErr(0);
        EXPECT_EQ(AddPart(buffer, "cd", test.size), test.result) << test.size;
        EXPECT_STREQ(buffer, test.expected);
        if (test.result == DOSFALSE) {
            EXPECT_EQ(IoErr(), ERROR_LINE_TOO_LONG);
        }
    }
}

TEST(HostPathStrings, FilePartAndPathPartSplitAtTheLastComponent) {
    const struct {
        const char* path;
        const char* filePart;
        const char* directory; // the text before PathPart
    } cases[] = {
        {"Work:Games/game.exe", "game.exe", "Work:Games"},
        {"Work:game.exe", "game.exe", "Work:"},
        {"game.exe", "game.exe", ""},
        {"/GAME.EXE", "GAME.EXE", "/"},
        {"/home/me/GAME.EXE", "GAME.EXE", "/home/me"},
        {"a//b", "b", "a//"},       // the second "/" means parent and stays
        {"Work:/b", "b", "Work:/"}, // so does a "/" right after the device
        {"dir/", "", "dir"},
        {"", "", ""},
    };
    for (const auto& test : cases) {
        EXPECT_STREQ(FilePart(test.path), test.filePart) << test.path;
        EXPECT_EQ(std::string(test.path, static_cast<std::size_t>(PathPart(test.path) - test.path)),
                  test.directory)
            << test.path;
    }
}

} // namespace
