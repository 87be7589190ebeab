// The host layer's pure text work, without a disk: path strings and wildcard patterns, from the
// everyday ones to thousands of characters and nesting deep or slow to match.
#include "../layerTesting.h"

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace tolvarn::testing {
namespace {

TEST(HostPathStrings, AddPartFilePartAndPathPartFollowTheRulesOfBothSystems) {
    const std::string longDirectory(4000, 'd'), longName(4000, 'n');
    const std::string longJoined = longDirectory + "/" + longName;
    // clang-format off
    const struct { std::string directory, name; uint32_t size; const char* joined; } joins[] = {
        {"Work:", "DOS4GW.EXE", 64, "Work:DOS4GW.EXE"}, {"/home/me/", "game.exe", 64, "/home/me/game.exe"},
        {"", "game.exe", 64, "game.exe"},
        {"Work:Games", "/usr/games/doom", 64, "/usr/games/doom"}, // a host-absolute name replaces
        {"/home/me", "CD0:disc.iso", 64, "CD0:disc.iso"},         // so does a device name
        {longDirectory, longName, 8002, longJoined.c_str()}, // just fits with its NUL
        {longDirectory, longName, 8001, nullptr}, // does not fit: the buffer stays as it was
    };
    // clang-format on
    for (const auto& test : joins) {
        std::vector<char> buffer(test.size); // exactly the size given, so an overrun shows
        std::strcpy(buffer.data(), test.directory.c_str());
        SetIoErr(0);
        EXPECT_EQ(AddPart(buffer.data(), test.name.c_str(), test.size),
                  test.joined ? DOSTRUE : DOSFALSE);
        EXPECT_EQ(std::string(buffer.data()), test.joined ? test.joined : test.directory);
        EXPECT_EQ(IoErr(), test.joined ? 0 : ERROR_LINE_TOO_LONG) << test.name.size();
    }
    const std::string parents(4000, '/');
    // clang-format off
    const struct { std::string path, filePart, directory; } splits[] = {
        {"/GAME.EXE", "GAME.EXE", "/"}, {"dir/", "", "dir"}, {"", "", ""}, {parents, "", parents},
        {"a//b", "b", "a//"},       // the second "/" means parent and stays
        {"Work:/b", "b", "Work:/"}, // so does a "/" right after the device
    };
    // clang-format on
    for (const auto& test : splits) {
        const char* path = test.path.c_str();
        EXPECT_EQ(FilePart(path), path + test.path.size() - test.filePart.size()) << path;
        EXPECT_EQ(std::string_view(path, PathPart(path)), test.directory) << path;
    }
}

TEST(HostPatterns, ParseTellsWildcardsAndMatchFollowsTheSyntax) {
    // A pattern nested this deep may be refused as malformed; if taken, it must match right.
    constexpr int32_t deepOrRefused = 2;
    const size_t depth = 20000;
    const std::string longName = repeated("ab", 500) + ".exe";
    using Names = std::vector<std::string>;
    // clang-format off
    const struct { std::string pattern; int32_t parsed; Names matching, other; } cases[] = {
        {"?", 1, {}, {}}, {"~(a)", 1, {}, {}}, {"[a-z]", 1, {}, {}}, {"%", 1, {}, {}},
        {"'?", 0, {}, {}}, {"", 0, {}, {}}, {"(a", -1, {}, {}}, {"a)", -1, {}, {}},
        {"[ab", -1, {}, {}}, {"#", -1, {}, {}}, {"~", -1, {}, {}},
        {"maze.exe", 0, {"MAZE.EXE"}, {"maze.ex"}}, {"#?.exe", 1, {"GAME.EXE", ".exe"}, {"game.com"}},
        {"a|b", 0, {"a|b"}, {"a"}}, // "|" outside parentheses is a plain character
        {"#a?", 1, {"a", "aAb"}, {""}}, {"#(ab)", 1, {"abAB", ""}, {"aba"}},
        {"~(#?.info)", 1, {"game.exe"}, {"game.info"}}, {"a~b", 1, {"abb"}, {"ab"}},
        {"[a-c]x", 1, {"Bx"}, {"dx"}}, {"[~a-c]x", 1, {"dx"}, {"ax"}},
        {"'#?", 1, {"#x"}, {}}, // the quote escapes one character only
        {"game (1995).exe", 1, {"game 1995.exe"}, {"GAME (1995).EXE"}}, // parentheses group
        {"straße", 0, {"STRAßE"}, {}}, // only ASCII letters fold; UTF-8 bytes match as they are
        {"\x01\x02\x03", 0, {"\x01\x02\x03"}, {}}, // every character escaped: 2 * length + 2 suffices
        {"#(a|%)", 1, {"", "aAa"}, {"ab"}}, {"(a|b|)c", 1, {"c", "bc"}, {"abc"}}, // empty bodies
        {"~(%)", 1, {"a", "ab"}, {""}}, {"~(~(a))", 1, {"A"}, {"", "b", "aa"}}, // not nothing; not not a
        {"#(~(a))", 1, {"", "b", "xyz"}, {"a"}}, // pieces that are each not "a" cannot make "a"
        {"a~(b)c", 1, {"ac", "axc", "abbc"}, {"abc"}}, {"#(ab|a)b", 1, {"aabab", "aabb", "b"}, {"aa", "bb"}},
        {"~(#?x)#?", 1, {"", "yx"}, {}},           // "not ending in x", then anything
        {"#(#a#b)c", 1, {"c", "aabbabc"}, {"ca"}}, // a repeat of repeats
        {repeated("(", depth) + "a" + repeated(")", depth), deepOrRefused, {"A"}, {"b"}},
        {repeated("~", depth) + "a", deepOrRefused, {"a"}, {"b"}}, // an even number of negations
        {repeated("#", depth) + "a", deepOrRefused, {"aaaa"}, {"ab"}},
        {repeated("(b|", depth) + "a" + repeated(")", depth), deepOrRefused, {"b"}, {"c"}},
        // Many repeats against names as long as the host allows: these must not take forever.
        {repeated("#?", 10) + ".exe", 1, {longName}, {repeated("ab", 500) + ".com"}},
        {repeated("#?a", 50) + "#?", 1, {longName}, {}}, {repeated("#?a", 600) + "#?", 1, {}, {longName}},
        {repeated("#(ab)", 20) + ".EXE", 1, {longName}, {}},
        {repeated("~(x)", 40), 1, {std::string(255, 'y')}, {}},
    };
    // clang-format on
    for (const auto& test : cases) {
        SCOPED_TRACE(test.pattern.substr(0, 40));
        std::vector<char> code(2 * test.pattern.size() + 2);
        const int32_t parsed =
            ParsePatternNoCase(test.pattern.c_str(), code.data(), std::ssize(code));
        if (test.parsed == deepOrRefused && parsed == -1) {
            EXPECT_EQ(IoErr(), ERROR_BAD_TEMPLATE);
            continue;
        }
        ASSERT_EQ(parsed, test.parsed == deepOrRefused ? 1 : test.parsed);
        for (const std::string& name : test.matching)
            EXPECT_EQ(MatchPatternNoCase(code.data(), name.c_str()), DOSTRUE) << name.substr(0, 20);
        for (const std::string& name : test.other)
            EXPECT_EQ(MatchPatternNoCase(code.data(), name.c_str()), DOSFALSE)
                << name.substr(0, 20);
    }
    char code[12]; // one byte short for a plain 12-letter name
    EXPECT_EQ(ParsePatternNoCase("LONGNAME.EXE", code, sizeof code), -1);
    EXPECT_EQ(IoErr(), ERROR_BUFFER_OVERFLOW);
}

} // namespace
} // namespace tolvarn::testing
