#include "platform/requesterBackends.h"

#include <gtest/gtest.h>

#include <fnmatch.h>
#include <string>
#include <vector>

using tolvarn::platform::internal::formatRequesterText;
using tolvarn::platform::internal::globsFromPattern;
using tolvarn::platform::internal::HostGlob;

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
        {"plain", {}, "plain"},
        {"ERROR: Cannot find the file \"%s\"",
         {text("A:B/c d.exe")},
         "ERROR: Cannot find the file \"A:B/c d.exe\""},
        {"%ld %lu %lx %lX", {-5, -1, 255, 255}, "-5 4294967295 ff FF"},
        {"%d|%u|%x", {42, 7, 0xabc}, "42|7|abc"},
        {"100%% %s", {text("sure")}, "100% sure"},
        {"[%5s][%-5s][%.2s][%05ld][%-4ld]",
         {text("ab"), text("ab"), text("abcdef"), -42, 7},
         "[   ab][ab   ][ab][-0042][7   ]"},
        {"%c%c", {'O', 'K'}, "OK"},
        {"%s", {0}, ""},
        {"%q stays, so does %", {}, "%q stays, so does %"},
        {"%s and %s", {text("%s"), text("%d")}, "%s and %d"}, // values are never formats
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        size_t next = 0;
        EXPECT_EQ(formatRequesterText(c.format, c.args.data(), next), c.expected);
    }
}

TEST(RequesterText, ConsumesArgumentsAcrossCalls) {
    const intptr_t args[] = {text("one"), 2, text("three")};
    size_t next = 0;
    EXPECT_EQ(formatRequesterText("%s", args, next), "one");
    EXPECT_EQ(formatRequesterText("%%%ld", args, next), "%2");
    EXPECT_EQ(formatRequesterText("%s", args, next), "three");
    EXPECT_EQ(next, 3u);
    // Without an array, the codes stay empty instead of reading anything.
    next = 0;
    EXPECT_EQ(formatRequesterText("[%s|%ld]", nullptr, next), "[|0]");
    EXPECT_EQ(formatRequesterText(nullptr, args, next), "");
}

TEST(RequesterText, TurnsPatternsIntoCaseBlindGlobs) {
    using Globs = std::vector<HostGlob>;
    const struct {
        const char* pattern;
        Globs globs;
    } cases[] = {
        {"#?.(exe|com|bat)",
         {{"*.exe", "*.[eE][xX][eE]"}, {"*.com", "*.[cC][oO][mM]"}, {"*.bat", "*.[bB][aA][tT]"}}},
        {"#?", {{"*", "*"}}},
        {"game?.DAT", {{"game?.DAT", "[gG][aA][mM][eE]?.[Dd][Aa][Tt]"}}},
        {"(a|b)(1|2)", {{"a1", "[aA]1"}, {"a2", "[aA]2"}, {"b1", "[bB]1"}, {"b2", "[bB]2"}}},
        {"x(%|y)", {{"x", "[xX]"}, {"xy", "[xX][yY]"}}},
        {"[a-c]#[0-9]", {{"[a-c]*", "[a-cA-C]*"}}},
        {"[~x]", {{"[~x]", "[!xX]"}}},
        {"'#'?'(", {{"#?(", "#[?]("}}},
        {"a*", {{"a*", "[aA]*"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pattern);
        const auto globs = globsFromPattern(c.pattern);
        ASSERT_TRUE(globs.has_value());
        EXPECT_EQ(*globs, c.globs);
    }
    for (const char* impossible : {"", "~(#?.info)", "(a|b", "a)", "[ab", "[]", "#", "a'",
                                   "(a|b|c|d)(a|b|c|d)(a|b|c|d)", "[a\\b]"}) {
        SCOPED_TRACE(impossible);
        EXPECT_FALSE(globsFromPattern(impossible).has_value());
    }
}

TEST(RequesterText, GlobsMatchWhatThePatternMatches) {
    const auto globs = globsFromPattern("#?.(exe|com|bat)");
    ASSERT_TRUE(globs.has_value());
    const auto matches = [&](const char* name) {
        for (const HostGlob& glob : *globs)
            if (fnmatch(glob.match.c_str(), name, 0) == 0)
                return true;
        return false;
    };
    for (const char* name : {"GAME.EXE", "game.exe", "Setup.Bat", "x.cOm", ".exe", "a b.exe"})
        EXPECT_TRUE(matches(name)) << name;
    for (const char* name : {"GAME.EXE.bak", "readme.txt", "exe", "game.ex"})
        EXPECT_FALSE(matches(name)) << name;
}

} // namespace
