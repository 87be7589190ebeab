// The host layer's pure text work, without a disk: path strings, wildcard patterns, the Shell's
// command-line splitter and the requesters' text and filters.
#include "platform/commandLine.h"
#include "platform/dos.h"
#include "platform/requesterBackends.h"

#include "layerTesting.h"

#include <cstring>
#include <optional>
#include <string>
#include <vector>

using namespace tolvarn::platform::internal;
using tolvarn::testing::text;

namespace tolvarn::platform::internal {
void PrintTo(const HostGlob& glob, std::ostream* out) {
    *out << glob.shown << " => " << glob.match;
}
} // namespace tolvarn::platform::internal

namespace {

TEST(HostPathStrings, AddPartJoinsByTheRulesOfBothSystemsWhenItFits) {
    // clang-format off
    const struct { const char *directory, *name; uint32_t size; const char* expected; } cases[] = {
        {"Work:DOSBox", "DOSBox", 64, "Work:DOSBox/DOSBox"},
        {"Work:", "DOS4GW.EXE", 64, "Work:DOS4GW.EXE"},
        {"/home/me/", "game.exe", 64, "/home/me/game.exe"},
        {"/", "game.exe", 64, "/game.exe"},
        {"", "game.exe", 64, "game.exe"},
        {"a/b", "", 64, "a/b"},
        {"Work:Games", "/usr/games/doom", 64, "/usr/games/doom"}, // a host-absolute name replaces
        {"/home/me", "CD0:disc.iso", 64, "CD0:disc.iso"},         // so does a device name
        {"Work:Games", "Y/dos32a.exe", 64, "Work:Games/Y/dos32a.exe"},
        {"Work:Games/", "/x", 64, "/x"},
        {"ab", "cd", 6, "ab/cd"}, // just fits with its NUL
        {"ab", "cd", 5, nullptr}, // does not fit: the buffer stays as it was
        {"ab", "cd", 0, nullptr},
    };
    // clang-format on
    for (const auto& test : cases) {
        char buffer[64];
        std::strcpy(buffer, test.directory);
        SetIoErr(0);
        EXPECT_EQ(AddPart(buffer, test.name, test.size), test.expected ? DOSTRUE : DOSFALSE)
            << test.directory << " + " << test.name;
        EXPECT_STREQ(buffer, test.expected ? test.expected : test.directory);
        EXPECT_EQ(IoErr(), test.expected ? 0 : ERROR_LINE_TOO_LONG);
    }
}

TEST(HostPathStrings, FilePartAndPathPartSplitAtTheLastComponent) {
    // clang-format off
    const struct { const char *path, *filePart, *directory; } cases[] = {
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
    // clang-format on
    for (const auto& test : cases) {
        EXPECT_STREQ(FilePart(test.path), test.filePart) << test.path;
        EXPECT_EQ(std::string(test.path, static_cast<std::size_t>(PathPart(test.path) - test.path)),
                  test.directory)
            << test.path;
    }
}

TEST(HostPatterns, ParseTellsWildcardsFromPlainNamesAndNeedsRoom) {
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
    char code[12]; // one byte short for a plain 12-letter name
    EXPECT_EQ(ParsePatternNoCase("LONGNAME.EXE", code, sizeof code), -1);
    EXPECT_EQ(IoErr(), ERROR_BUFFER_OVERFLOW);
    // The caller's rule of thumb, 2 * length + 2, suffices even when every character is escaped.
    char control[2 * 3 + 2];
    EXPECT_EQ(ParsePatternNoCase("\x01\x02\x03", control, sizeof control), 0);
    EXPECT_EQ(MatchPatternNoCase(control, "\x01\x02\x03"), DOSTRUE);
}

TEST(HostPatterns, MatchFollowsTheWildcardSyntax) {
    using Names = std::vector<const char*>;
    // clang-format off
    const struct { const char* pattern; Names matching, other; } cases[] = {
        {"maze.exe", {"MAZE.EXE"}, {"maze.ex"}},
        {"#?.exe", {"GAME.EXE", ".exe"}, {"game.com"}},
        {"?ame", {"game"}, {"ame"}},
        {"#a", {"", "aAa"}, {"ab"}},
        {"#(ab)", {"abAB"}, {"aba"}},
        {"(exe|com|bat)", {"COM"}, {}},
        {"#?.(exe|com|bat)", {"run.bat"}, {"run.txt"}},
        {"~(#?.info)", {"game.exe"}, {"game.info"}},
        {"a~b", {"a", "abb"}, {"ab"}},
        {"[a-c]x", {"Bx"}, {"dx"}},
        {"[~a-c]x", {"dx"}, {"ax"}},
        {"a%b", {"ab"}, {}},
        {"'#'?", {"#?"}, {"#x"}},
        {"'#?", {"#x"}, {}},                                  // the quote escapes one character only
        {"game (1995).exe", {"game 1995.exe"}, {"GAME (1995).EXE"}}, // parentheses group
        {"a|b", {"a|b"}, {}},
        {"straße", {"STRAßE"}, {}}, // only ASCII letters fold; UTF-8 bytes match as they are
        {"#?#?#?#?#?#?#?x", {}, {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaay"}}, // no blow-up
    };
    // clang-format on
    for (const auto& test : cases) {
        std::vector<char> code(2 * std::strlen(test.pattern) + 2);
        ASSERT_GE(ParsePatternNoCase(test.pattern, code.data(), static_cast<int32_t>(code.size())),
                  0);
        for (const char* name : test.matching)
            EXPECT_EQ(MatchPatternNoCase(code.data(), name), DOSTRUE)
                << test.pattern << " ~ " << name;
        for (const char* name : test.other)
            EXPECT_EQ(MatchPatternNoCase(code.data(), name), DOSFALSE)
                << test.pattern << " ~ " << name;
    }
}

TEST(ShellCommandLine, SplitsCommandRedirectionsAndItems) {
    using Items = std::vector<std::string>;
    const std::optional<std::string> none;
    // clang-format off
    const struct {
        const char* line; const char* command; std::optional<std::string> input, output; bool append;
        Items arguments;
    } cases[] = {
        {"  \t cmd a  b\t\tc \t ", "cmd", none, none, false, {"a", "b", "c"}},
        {"\"my cmd\" \"two words\" \"\" x", "my cmd", none, none, false, {"two words", "", "x"}},
        {"cmd a\"b\"c a*\"b a**b", "cmd", none, none, false, {"a\"b\"c", "a*\"b", "a**b"}},
        {"cmd \"a*\"b\" \"*N*n*E*e\" \"**\"", "cmd", none, none, false, {"a\"b", "\n\n\x1b\x1b", "*"}},
        {"cmd \"*x* \" \"ab\"cd", "cmd", none, none, false, {"*x* ", "ab", "cd"}},
        {"cmd ; $(id) *", "cmd", none, none, false, {";", "$(id)", "*"}},
        {"cmd a\nb\r\n", "cmd", none, none, false, {"a", "b"}},
        {"cmd >NIL: a >x", "cmd", none, "NIL:", false, {"a", ">x"}},
        {"cmd > out <in", "cmd", "in", "out", false, {}},
        {"cmd >>log >\"RAM:my file\" \">q\"", "cmd", none, "RAM:my file", false, {">q"}},
        {"cmd >> log", "cmd", none, "log", true, {}},
        {"   ", "", none, none, false, {}},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const auto parsed = tolvarn::platform::parseCommandLine(c.line);
        ASSERT_TRUE(parsed.has_value());
        EXPECT_EQ(parsed->command, c.command);
        EXPECT_EQ(parsed->input, c.input);
        EXPECT_EQ(parsed->output, c.output);
        EXPECT_EQ(parsed->appendOutput, c.append);
        EXPECT_EQ(parsed->arguments, c.arguments);
    }
    for (const char* line : {"cmd \"open", "cmd \"ends in escape*\"", "\"cmd", "\"\" a", "cmd >",
                             "cmd >>  ", "cmd <\"\"", "cmd > \"unclosed"})
        EXPECT_FALSE(tolvarn::platform::parseCommandLine(line).has_value()) << line;
}

TEST(RequesterText, FormatsFromTheArgumentArray) {
    // clang-format off
    const struct { const char* format; std::vector<intptr_t> args; const char* expected; } cases[] = {
        {"Cannot find the file \"%s\"", {text("A:B/c d.exe")}, "Cannot find the file \"A:B/c d.exe\""},
        {"%ld %lu %lx %lX|%d %u %x", {-5, -1, 255, 255, 42, 7, 0xabc}, "-5 4294967295 ff FF|42 7 abc"},
        {"100%% %c%c", {'O', 'K'}, "100% OK"},
        {"[%5s][%-5s][%.2s][%05ld][%-4ld]", {text("ab"), text("ab"), text("abcdef"), -42, 7},
         "[   ab][ab   ][ab][-0042][7   ]"},
        {"[%s] %q stays, so does %", {0}, "[] %q stays, so does %"},
        {"%s and %s", {text("%s"), text("%d")}, "%s and %d"}, // values are never formats
    };
    // clang-format on
    for (const auto& c : cases) {
        size_t next = 0;
        EXPECT_EQ(formatRequesterText(c.format, c.args.data(), next), c.expected);
        EXPECT_EQ(next, c.args.size()) << c.format;
    }
    size_t next = 0; // without an array the codes stay empty instead of reading anything
    EXPECT_EQ(formatRequesterText("[%s|%ld]", nullptr, next), "[|0]");
}

TEST(RequesterText, TurnsPatternsIntoCaseBlindGlobs) {
    // clang-format off
    const struct { const char* pattern; std::vector<HostGlob> globs; } cases[] = {
        {"#?.(exe|com|bat)",
         {{"*.exe", "*.[eE][xX][eE]"}, {"*.com", "*.[cC][oO][mM]"}, {"*.bat", "*.[bB][aA][tT]"}}},
        {"game?.DAT*", {{"game?.DAT*", "[gG][aA][mM][eE]?.[Dd][Aa][Tt]*"}}},
        {"(a|b)(1|%)", {{"a1", "[aA]1"}, {"a", "[aA]"}, {"b1", "[bB]1"}, {"b", "[bB]"}}},
        {"[a-c]#[0-9][~x]", {{"[a-c]*[~x]", "[a-cA-C]*[!xX]"}}},
        {"'#'?'(", {{"#?(", "#[?]("}}},
    };
    // clang-format on
    for (const auto& c : cases)
        EXPECT_EQ(globsFromPattern(c.pattern), c.globs) << c.pattern;
    for (const char* impossible : {"", "~(#?.info)", "(a|b", "a)", "[ab", "[]", "#", "a'",
                                   "(a|b|c|d)(a|b|c|d)(a|b|c|d)", "[a\\b]"})
        EXPECT_FALSE(globsFromPattern(impossible).has_value()) << impossible;
}

} // namespace
