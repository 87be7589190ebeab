#include "platform/commandLine.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using tolvarn::platform::parseCommandLine;

namespace {

TEST(ShellCommandLine, SplitsCommandRedirectionsAndItems) {
    using Items = std::vector<std::string>;
    const std::optional<std::string> none;
    const struct {
        const char* line;
        const char* command;
        std::optional<std::string> input, output;
        bool append;
        Items arguments;
    } cases[] = {
        {"  \t cmd a  b\t\tc \t ", "cmd", none, none, false, {"a", "b", "c"}},
        {"\"my cmd\" \"two words\" \"\" x", "my cmd", none, none, false, {"two words", "", "x"}},
        {"cmd a\"b\"c a*\"b a**b", "cmd", none, none, false, {"a\"b\"c", "a*\"b", "a**b"}},
        {"cmd \"a*\"b\" \"*N*n*E*e\" \"**\"",
         "cmd",
         none,
         none,
         false,
         {"a\"b", "\n\n\x1b\x1b", "*"}},
        {"cmd \"*x* \" \"ab\"cd", "cmd", none, none, false, {"*x* ", "ab", "cd"}},
        {"cmd ; $(id) *", "cmd", none, none, false, {";", "$(id)", "*"}},
        {"cmd a\nb\r\n", "cmd", none, none, false, {"a", "b"}},
        {"cmd >NIL: a >x", "cmd", none, "NIL:", false, {"a", ">x"}},
        {"cmd > out <in", "cmd", "in", "out", false, {}},
        {"cmd >>log >\"RAM:my file\" \">q\"", "cmd", none, "RAM:my file", false, {">q"}},
        {"cmd >> log", "cmd", none, "log", true, {}},
        {"   ", "", none, none, false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const auto parsed = parseCommandLine(c.line);
        ASSERT_TRUE(parsed.has_value());
        EXPECT_EQ(parsed->command, c.command);
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

} // namespace
