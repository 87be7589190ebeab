// Wildcard patterns: compiling and matching, letter case ignored.
#include "platform/dos.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

bool matches(const char* pattern, const char* name) {
    std::vector<char> code(2 * std::strlen(pattern) + 2);
    EXPECT_GE(ParsePatternNoCase(pattern, code.data(), static_cast<int32_t>(code.size())), 0)
        << pattern;
    return MatchPatternNoCase(code.data(), name) == DOSTRUE;
}

TEST(HostPatterns, ParseTellsWildcardsFromPlainNames) {
    const struct {
        const char* pattern;
        int32_t result;
    } cases[] = {
        {"game.exe", 0}, {"GAME.EXE", 0}, {"#?.exe", 1}, {"?", 1},   {"~(a)", 1},
        {"[a-z]", 1},    {"%", 1},        {"'?", 0},     {"a|b", 0}, {"", 0},
        {"(a", -1},      {"a)", -1},      {"[ab", -1},   {"#", -1},  {"~", -1},
    };
    for (const auto& test : cases) {
        char code[64];
        EXPECT_EQ(ParsePatternNoCase(test.pattern, code, sizeof code), test.result) << test.pattern;
    }
}

TEST(HostPatterns, ParseNeedsRoomForTheWholeCode) {
    // The caller's rule of thumb, 2 * length + 2, always suffices, also for control characters
    // that need an escape each.
    const std::string plain = "LONGNAME.EXE";
    std::vector<char> code(plain.size());
    EXPECT_EQ(ParsePatternNoCase(plain.c_str(), code.data(), static_cast<int32_t>(code.size())),
              -1);
    EXPECT_EQ(IoErr(), ERROR_BUFFER_OVERFLOW);
    const std::string control = "\x01\x02\x03";
    std::vector<char> enough(2 * control.size() + 2);
    EXPECT_EQ(
        ParsePatternNoCase(control.c_str(), enough.data(), static_cast<int32_t>(enough.size())), 0);
    EXPECT_EQ(MatchPatternNoCase(enough.data(), control.c_str()), DOSTRUE);
}

TEST(HostPatterns, MatchFollowsTheWildcardSyntax) {
    const struct {
        const char* pattern;
        const char* name;
        bool expected;
    } cases[] = {
        {"maze.exe", "MAZE.EXE", true},
        {"maze.exe", "maze.ex", false},
        {"#?.exe", "GAME.EXE", true},
        {"#?.exe", ".exe", true},
        {"#?.exe", "game.com", false},
        {"?ame", "game", true},
        {"?ame", "ame", false},
        {"#a", "", true},
        {"#a", "aAa", true},
        {"#a", "ab", false},
        {"#(ab)", "abAB", true},
        {"#(ab)", "aba", false},
        {"(exe|com|bat)", "COM", true},
        {"#?.(exe|com|bat)", "run.bat", true},
        {"#?.(exe|com|bat)", "run.txt", false},
        {"~(#?.info)", "game.exe", true},
        {"~(#?.info)", "game.info", false},
        {"a~b", "a", true},
        {"a~b", "ab", false},
        {"a~b", "abb", true},
        {"[a-c]x", "Bx", true},
        {"[a-c]x", "dx", false},
        {"[~a-c]x", "dx", true},
        {"[~a-c]x", "ax", false},
        {"a%b", "ab", true},
        {"'#'?", "#?", true},
        {"'#'?", "#x", false},
        {"'#?", "#x", true},                           // the quote escapes one character only
        {"game (1995).exe", "GAME (1995).EXE", false}, // parentheses group: no blank-less match
        {"game (1995).exe", "game 1995.exe", true},
        {"a|b", "a|b", true},
        {"straße", "STRAßE", true}, // only ASCII letters fold; UTF-8 bytes match as they are
        {"#?#?#?#?#?#?#?x", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaay", false}, // no blow-up
    };
    for (const auto& test : cases)
        EXPECT_EQ(matches(test.pattern, test.name), test.expected)
            << test.pattern << " ~ " << test.name;
}

} // namespace
