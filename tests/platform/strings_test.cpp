// The host layer's pure text work, without a disk: path strings, wildcard patterns and the
// Shell's command-line splitter.
#include "platform/dos/dos.h"
#include "platform/shell/commandLine.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

TEST(HostPathStrings, AddPartFilePartAndPathPartFollowTheRulesOfBothSystems) {
    // clang-format off
    const struct { const char *directory, *name; uint32_t size; const char* joined; } joins[] = {
        {"Work:DOSBox", "DOSBox", 64, "Work:DOSBox/DOSBox"},
        {"Work:", "DOS4GW.EXE", 64, "Work:DOS4GW.EXE"},
        {"/home/me/", "game.exe", 64, "/home/me/game.exe"},
        {"", "game.exe", 64, "game.exe"},
        {"Work:Games", "/usr/games/doom", 64, "/usr/games/doom"}, // a host-absolute name replaces
        {"/home/me", "CD0:disc.iso", 64, "CD0:disc.iso"},         // so does a device name
        {"ab", "cd", 6, "ab/cd"}, // just fits with its NUL
        {"ab", "cd", 5, nullptr}, // does not fit: the buffer stays as it was
    };
    // clang-format on
    for (const auto& test : joins) {
        char buffer[64];
        std::strcpy(buffer, test.directory);
        SetIoErr(0);
        EXPECT_EQ(AddPart(buffer, test.name, test.size), test.joined ? DOSTRUE : DOSFALSE);
        EXPECT_STREQ(buffer, test.joined ? test.joined : test.directory);
        EXPECT_EQ(IoErr(), test.joined ? 0 : ERROR_LINE_TOO_LONG) << test.name;
    }
    // clang-format off
    const struct { const char *path, *filePart, *directory; } splits[] = {
        {"Work:Games/game.exe", "game.exe", "Work:Games"},
        {"Work:game.exe", "game.exe", "Work:"},
        {"game.exe", "game.exe", ""},
        {"/GAME.EXE", "GAME.EXE", "/"},
        {"a//b", "b", "a//"},       // the second "/" means parent and stays
        {"Work:/b", "b", "Work:/"}, // so does a "/" right after the device
        {"dir/", "", "dir"},
        {"", "", ""},
    };
    // clang-format on
    for (const auto& test : splits) {
        EXPECT_STREQ(FilePart(test.path), test.filePart) << test.path;
        EXPECT_EQ(std::string_view(test.path, PathPart(test.path)), test.directory) << test.path;
    }
}

TEST(HostPatterns, ParseTellsWildcardsAndMatchFollowsTheSyntax) {
    const struct {
        const char* pattern;
        int32_t result;
    } parses[] = {
        {"game.exe", 0}, {"GAME.EXE", 0}, {"#?.exe", 1}, {"?", 1},   {"~(a)", 1},
        {"[a-z]", 1},    {"%", 1},        {"'?", 0},     {"a|b", 0}, {"", 0},
        {"(a", -1},      {"a)", -1},      {"[ab", -1},   {"#", -1},  {"~", -1},
    };
    for (const auto& test : parses) {
        char code[64];
        EXPECT_EQ(ParsePatternNoCase(test.pattern, code, sizeof code), test.result) << test.pattern;
    }
    char code[12]; // one byte short for a plain 12-letter name
    EXPECT_EQ(ParsePatternNoCase("LONGNAME.EXE", code, sizeof code), -1);
    EXPECT_EQ(IoErr(), ERROR_BUFFER_OVERFLOW);
    // clang-format off
    const struct { const char* pattern; std::vector<const char*> matching, other; } matches[] = {
        {"maze.exe", {"MAZE.EXE"}, {"maze.ex"}},
        {"a|b", {"a|b"}, {"a"}}, // "|" outside parentheses is a plain character
        {"#?.exe", {"GAME.EXE", ".exe"}, {"game.com"}},
        {"#a?", {"a", "aAb"}, {""}},
        {"#(ab)", {"abAB", ""}, {"aba"}},
        {"#?.(exe|com|bat)", {"run.bat", "x.COM"}, {"run.txt"}},
        {"~(#?.info)", {"game.exe"}, {"game.info"}},
        {"a~b", {"abb"}, {"ab"}},
        {"[a-c]x", {"Bx"}, {"dx"}},
        {"[~a-c]x", {"dx"}, {"ax"}},
        {"a%b", {"ab"}, {}},
        {"'#'?", {"#?"}, {"#x"}},
        {"'#?", {"#x"}, {}}, // the quote escapes one character only
        {"game (1995).exe", {"game 1995.exe"}, {"GAME (1995).EXE"}}, // parentheses group
        {"straße", {"STRAßE"}, {}}, // only ASCII letters fold; UTF-8 bytes match as they are
        {"\x01\x02\x03", {"\x01\x02\x03"}, {}}, // every character escaped: 2 * length + 2 suffices
        {"#?#?#?#?#?#?#?x", {}, {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaay"}}, // no blow-up
    };
    // clang-format on
    for (const auto& test : matches) {
        std::vector<char> code(2 * std::strlen(test.pattern) + 2);
        ASSERT_GE(ParsePatternNoCase(test.pattern, code.data(), std::ssize(code)), 0);
        for (const char* name : test.matching)
            EXPECT_TRUE(MatchPatternNoCase(code.data(), name)) << test.pattern << " ~ " << name;
        for (const char* name : test.other)
            EXPECT_FALSE(MatchPatternNoCase(code.data(), name)) << test.pattern << " ~ " << name;
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

} // namespace
