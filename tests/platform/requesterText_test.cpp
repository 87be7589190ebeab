#include "platform/requesterBackends.h"

#include <gtest/gtest.h>

#include <fnmatch.h>

using namespace tolvarn::platform::internal;

namespace tolvarn::platform::internal {
void PrintTo(const HostGlob& glob, std::ostream* out) {
    *out << glob.shown << " => " << glob.match;
}
} // namespace tolvarn::platform::internal

namespace {

intptr_t text(const char* value) {
    return reinterpret_cast<intptr_t>(value);
}

TEST(RequesterText, FormatsFromTheArgumentArray) {
    const struct {
        const char* format;
        std::vector<intptr_t> args;
        const char* expected;
    } cases[] = {
        {"Cannot find the file \"%s\"",
         {text("A:B/c d.exe")},
         "Cannot find the file \"A:B/c d.exe\""},
        {"%ld %lu %lx %lX|%d %u %x",
         {-5, -1, 255, 255, 42, 7, 0xabc},
         "-5 4294967295 ff FF|42 7 abc"},
        {"100%% %c%c", {'O', 'K'}, "100% OK"},
        {"[%5s][%-5s][%.2s][%05ld][%-4ld]",
         {text("ab"), text("ab"), text("abcdef"), -42, 7},
         "[   ab][ab   ][ab][-0042][7   ]"},
        {"[%s] %q stays, so does %", {0}, "[] %q stays, so does %"},
        {"%s and %s", {text("%s"), text("%d")}, "%s and %d"}, // values are never formats
    };
    for (const auto& c : cases) {
        size_t next = 0;
        EXPECT_EQ(formatRequesterText(c.format, c.args.data(), next), c.expected);
        EXPECT_EQ(next, c.args.size()) << c.format;
    }
    size_t next = 0; // without an array the codes stay empty instead of reading anything
    EXPECT_EQ(formatRequesterText("[%s|%ld]", nullptr, next), "[|0]");
}

TEST(RequesterText, TurnsPatternsIntoCaseBlindGlobs) {
    const struct {
        const char* pattern;
        std::vector<HostGlob> globs;
    } cases[] = {
        {"#?.(exe|com|bat)",
         {{"*.exe", "*.[eE][xX][eE]"}, {"*.com", "*.[cC][oO][mM]"}, {"*.bat", "*.[bB][aA][tT]"}}},
        {"game?.DAT*", {{"game?.DAT*", "[gG][aA][mM][eE]?.[Dd][Aa][Tt]*"}}},
        {"(a|b)(1|%)", {{"a1", "[aA]1"}, {"a", "[aA]"}, {"b1", "[bB]1"}, {"b", "[bB]"}}},
        {"[a-c]#[0-9][~x]", {{"[a-c]*[~x]", "[a-cA-C]*[!xX]"}}},
        {"'#'?'(", {{"#?(", "#[?]("}}},
    };
    for (const auto& c : cases) {
        const auto globs = globsFromPattern(c.pattern);
        ASSERT_TRUE(globs.has_value()) << c.pattern;
        EXPECT_EQ(*globs, c.globs);
    }
    for (const char* impossible : {"", "~(#?.info)", "(a|b", "a)", "[ab", "[]", "#", "a'",
                                   "(a|b|c|d)(a|b|c|d)(a|b|c|d)", "[a\\b]"})
        EXPECT_FALSE(globsFromPattern(impossible).has_value()) << impossible;

    const auto globs = *globsFromPattern("#?.(exe|com|bat)");
    const auto matches = [&](const char* name) {
        return std::any_of(globs.begin(), globs.end(), [&](const HostGlob& glob) {
            return fnmatch(glob.match.c_str(), name, 0) == 0;
        });
    };
    for (const char* name : {"GAME.EXE", "Setup.Bat", "x.cOm", "a b.exe"})
        EXPECT_TRUE(matches(name)) << name;
    for (const char* name : {"GAME.EXE.bak", "readme.txt", "game.ex"})
        EXPECT_FALSE(matches(name)) << name;
}

} // namespace
