#include "platform/commandLine.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using tolvarn::platform::parseCommandLine;
using tolvarn::platform::quoteShellItem;

namespace {

using Items = std::vector<std::string>;

struct SplitCase {
    const char* line;
    const char* command;
    Items arguments;
};

TEST(ShellCommandLine, SplitsItemsTheShellWay) {
    const SplitCase cases[] = {
        {"cmd", "cmd", {}},
        {"  \t cmd a  b\t\tc \t ", "cmd", {"a", "b", "c"}},
        {"cmd \"two words\" x", "cmd", {"two words", "x"}},
        {"cmd \"\" \"\"", "cmd", {"", ""}},
        {"cmd a\"b\"c", "cmd", {"a\"b\"c"}}, // quote inside an item is ordinary
        {"cmd \"a*\"b\"", "cmd", {"a\"b"}},
        {"cmd \"*N*n\"", "cmd", {"\n\n"}},
        {"cmd \"*E*e\"", "cmd", {"\x1b\x1b"}},
        {"cmd \"a**b\" \"**\"", "cmd", {"a*b", "*"}},
        {"cmd \"*x* \"", "cmd", {"*x* "}},            // no escape: kept as written
        {"cmd a*\"b a**b", "cmd", {"a*\"b", "a**b"}}, // escapes only inside quotes
        {"cmd \"ab\"cd", "cmd", {"ab", "cd"}},        // closing quote ends the item
        {"\"my cmd\" x", "my cmd", {"x"}},
        {"cmd ; echo $(id) *", "cmd", {";", "echo", "$(id)", "*"}},
        {"cmd a\nb\r\n", "cmd", {"a", "b"}},
        {"cmd x >out", "cmd", {"x", ">out"}}, // redirection only right after
        {"   ", "", {}},
        {"", "", {}},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.line);
        const auto parsed = parseCommandLine(c.line);
        ASSERT_TRUE(parsed.has_value());
        EXPECT_EQ(parsed->command, c.command);
        EXPECT_EQ(parsed->arguments, c.arguments);
        EXPECT_FALSE(parsed->input.has_value());
        EXPECT_FALSE(parsed->output.has_value());
    }
}

struct RedirectionCase {
    const char* line;
    std::optional<std::string> input;
    std::optional<std::string> output;
    bool append;
    Items arguments;
};

TEST(ShellCommandLine, ReadsRedirectionsRightAfterTheCommandWord) {
    const RedirectionCase cases[] = {
        {"cmd >NIL: a", std::nullopt, "NIL:", false, {"a"}},
        {"cmd > out a", std::nullopt, "out", false, {"a"}},
        {"cmd >>log a", std::nullopt, "log", true, {"a"}},
        {"cmd >> log", std::nullopt, "log", true, {}},
        {"cmd <in", "in", std::nullopt, false, {}},
        {"cmd <in >out a >x", "in", "out", false, {"a", ">x"}},
        {"cmd >\"RAM:my file\" \">quoted\"", std::nullopt, "RAM:my file", false, {">quoted"}},
        {"cmd >a >b", std::nullopt, "b", false, {}},
    };
    for (const RedirectionCase& c : cases) {
        SCOPED_TRACE(c.line);
        const auto parsed = parseCommandLine(c.line);
        ASSERT_TRUE(parsed.has_value());
        EXPECT_EQ(parsed->command, "cmd");
        EXPECT_EQ(parsed->input, c.input);
        EXPECT_EQ(parsed->output, c.output);
        EXPECT_EQ(parsed->appendOutput, c.append);
        EXPECT_EQ(parsed->arguments, c.arguments);
    }
}

TEST(ShellCommandLine, RejectsLinesItCannotRead) {
    for (const char* line : {"cmd \"open", "cmd \"ends in escape*\"", "\"cmd", "\"\" a", "cmd >",
                             "cmd >>  ", "cmd <\"\"", "cmd > \"unclosed"}) {
        SCOPED_TRACE(line);
        EXPECT_FALSE(parseCommandLine(line).has_value());
    }
}

TEST(ShellCommandLine, QuotedItemsReadBackUnchanged) {
    const Items torture = {
        "",
        " ",
        "plain",
        "with blank",
        "\"",
        "\"\"",
        "*",
        "**\"*",
        "*N literally",
        "ends in star*",
        "line\nfeed",
        "tab\there",
        "esc\x1b",
        ">not a redirection",
        "<neither",
        "/home/user/My Games/Doom \"II\"/DOOM2.EXE",
        "Straße/ゲーム/игра *.exe",
        "C:\\DOS\\*.*",
        "$(rm -rf /); `id`",
    };
    std::string line = quoteShellItem("/usr/bin/some program");
    for (const std::string& item : torture)
        line += " " + quoteShellItem(item);
    const auto parsed = parseCommandLine(line);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->command, "/usr/bin/some program");
    EXPECT_FALSE(parsed->output.has_value());
    EXPECT_EQ(parsed->arguments, torture);
}

} // namespace
