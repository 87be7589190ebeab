#include "std/pShellParameters.h"

#include "pAmigaDos/queries.h"
#include "runtime/exception.h"
#include "runtime/memory.h"
#include "runtime/platformName.h"

#include "support/testSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <string>

using tolvarn::testing::captureStdout;

namespace {

const char* const launcher =
    "File, Window/S, ISO=cdISO/K, CDdir/K, CDletter/K, NoDOS32A/S, NoExit/S";

/// Runs `action` with standard input reading `text`, then puts the real standard input back.
void withStdin(std::string text, const std::function<void()>& action) {
    std::FILE* const real = stdin;
    stdin = fmemopen(text.data(), text.size(), "r");
    action();
    std::fclose(stdin);
    stdin = real;
}

/// "piece0<separator>piece1<separator>...", or `piece` `count` times when `numbered` is false.
std::string series(const std::string& piece, int count, const std::string& separator,
                   const std::string& suffix = "", bool numbered = true) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += (i ? separator : "") + piece + (numbered ? std::to_string(i) : "") + suffix;
    return text;
}

/// The values as "v0,v1,...", "-" for a parameter without value, checking each value's length.
std::string values() {
    std::string text;
    for (int32_t i = 0; i < GetParamCount(); ++i) {
        const EString value = GetParam(i);
        EXPECT_TRUE(!value || EstrLen(value) == static_cast<int32_t>(std::strlen(value))) << i;
        text += std::string(i ? "," : "") + (value ? value : "-");
    }
    return text;
}

/// The display `text` stands for: "T|" and "P|" open a template or a parameter error, "{" and "}"
/// are the highlight marks, plain ones since captured output is no terminal (the colour marks on
/// a terminal are the launcher tests' business).
std::string shown(std::string text) {
    text.replace(0, 2, text[0] == 'T' ? "Shell template error, " : "Shell parameter error, ");
    for (size_t at; (at = text.find_first_of("{}")) != std::string::npos;)
        text.replace(at, 1, "##");
    return text;
}

struct ShellParametersTest : ::testing::Test {
    int64_t baseline = tolvarn::memory::outstandingBlocks();
    void TearDown() override {
        disposeShellParameters();
        EXPECT_EQ(tolvarn::memory::outstandingBlocks(), baseline) << "blocks leaked";
        EXPECT_EQ(exception, 0);
    }
};

TEST_F(ShellParametersTest, LinesAndTemplatesMatchOrShowTheirErrorExactlyInEveryStyle) {
    const std::string x(100000, 'x'), equals(5000, '='), p500 = series("p", 500, ",");
    const std::string letters = series("CDletter=E", 2000, " ", "", false);
    // outcome: the values as values() gives them, or the display (see shown()) of the error;
    // typed: what standard input holds when the line must prompt (else none)
    const struct {
        std::string templateText, line, outcome;
        std::optional<std::string> typed = {};
    } cases[] = {
        // clang-format off
        {launcher, "game.exe ISO disc.iso", "game.exe,-,disc.iso,-,-,-,-"},
        {launcher, "CDISO = disc.iso game.exe", "game.exe,-,disc.iso,-,-,-,-"},
        {launcher, "\"Window\"", "Window,-,-,-,-,-,-"}, {launcher, "Window Window", "Window,Window,-,-,-,-,-"},
        {launcher, "NOEXIT cdletter=E \"My Games/x,1.exe\" ISO Window", "My Games/x,1.exe,-,Window,-,E,-,NOEXIT"},
        {launcher, "", "-,-,-,-,-,-,-"}, {launcher, "foo?", "foo?,-,-,-,-,-,-"},
        {launcher, "?", "game.exe,window,-,-,-,-,-", "game.exe window\nsecond line\n"},
        {launcher, "foo \t? ", "foo,window,-,-,-,-,-", "window"}, {launcher, "?", "-,-,-,-,-,-,-", ""},
        {"a,,b", "x y z", "x,y,z"}, {" ISO = cdISO / K ", "cdiso=x", "x"}, {"a/A/A,5x/N/A", "5x 2 1", "1,2"},
        {"n/N,m/N,o", "42x abc5 -5", "42x,abc5,-5"},
        {"Cmd/F", "a \"b c\" d", "a \"b c\" d"}, {"Cmd/F", "\"b c\" d", "\"b c\" d"},
        {"Name/K,Rest/F", "Name=x  the  rest ", "x,the  rest "}, {"a/K/F,b", "x a = \"q\" z", "\"q\" z,x"},
        // typed lines: a NUL ends one, only 1,000 characters are read
        {launcher, "?", "game.exe,-,-,-,-,-,-", std::string("game.exe\0Window\n", 16)},
        {launcher, "?", "game.exe,-,-,-,-,-,-", "game.exe"},
        {launcher, "?", std::string(1000, 'g') + ",-,-,-,-,-,-", std::string(5000, 'g') + "\n"},
        // oversized and hostile lines and templates
        {launcher, "\"" + x + "\" window", x + ",window,-,-,-,-,-"},
        {launcher, "\x01\x02\x1b[31m\r\n\x0b\x7f \twindow", "\x01\x02\x1b[31m\r\n\x0b\x7f,window,-,-,-,-,-"},
        {launcher, "\xff\xfe\x80.exe", "\xff\xfe\x80.exe,-,-,-,-,-,-"},
        {launcher, "ISO" + equals + "disc.iso", "-,-,disc.iso,-,-,-,-"},
        {p500, series("v", 500, " "), series("v", 500, ",")},
        {series("p", 500, ",", "/K"), "P499=last p250 middle",
         series("-", 250, ",", "", false) + ",middle," + series("-", 248, ",", "", false) + ",last"},
        {series("a", 1000, "=") + "/K", "A999=x", "x"}, {x + "/S", "X" + x.substr(1), "X" + x.substr(1)},
        // errors
        {"", "", "T|expected word for parameter name:\n{ }\n"},
        {"\"a\"", "", "T|expected word for parameter name:\n{\"a\"}\n"},
        {"File, file", "", "T|parameter name already used:\nFile, {file}\n"},
        {"a=A", "", "T|parameter name already used:\na={A}\n"},
        {"a=b=c/A", "", "P|missing required parameter \"a\"\n"}, // the first name stays first
        {"a/S/K", "", "T|parameter type conflicts with a previous type:\na/S/{K}\n"},
        {"a/K/S", "", "T|parameter type conflicts with a previous type:\na/K/{S}\n"},
        {"a/k", "", "T|unknown parameter type:\na/{k}\n"}, {"a/AK,b", "", "T|unknown parameter type:\na/{AK},b\n"},
        {"a/", "", "T|expected letter for parameter type:\na/{ }\n"},
        {"a b", "", "T|expected \",\" or end of line:\na {b}\n"},
        {"a/K=b", "", "T|expected \",\" or end of line:\na/K{=}b\n"}, {"a_b", "", "T|unexpected character:\na{_}b\n"},
        {"a\x01", "", "T|unexpected character:\na{\x01}\n"}, {"na\xefme", "", "T|unexpected character:\nna{\xef}me\n"},
        {"a, \"b", "", "T|string is missing closing quote:\na, \"{b}\n"},
        {launcher, "a \"b c\" d", "P|does not match template:\na {\"b c\"} d\n"},
        {launcher, letters, "P|does not match template:\nCDletter=E CDletter{=}" + letters.substr(20) + "\n"},
        {launcher, "x ISO = ", "P|expected value after keyword:\nx ISO = { }\n"},
        {launcher, "Window=yes", "P|illegal character:\nWindow{=}yes\n"},
        {launcher, "ISO == = disc.iso", "P|illegal character:\nISO == {=} disc.iso\n"},
        {launcher, "x \"open", "P|string is missing closing quote:\nx \"{open}\n"},
        {"n/N", "\"5\"", "P|expected number:\n{\"5\"}\n"}, {"n/N/F", "\"5\" x", "P|expected number:\n{\"5\" x}\n"},
        {"a/K/F", "a", "P|expected value after keyword:\na{ }\n"},
        {"x, Count/A", "", "P|missing required parameter \"Count\"\n"},
        {series("p", 500, ",", "/A"), "", "P|missing required parameter \"p0\"\n"},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.templateText.substr(0, 30) + " / " + c.line.substr(0, 30));
        const bool matches = !c.outcome.starts_with("T|") && !c.outcome.starts_with("P|");
        for (const char* style : {"MorphOS", "Windows", ""}) { // "": quiet, as 1 is not TRUE
            platformName = *style ? style : "MorphOS";
            const int32_t quiet = *style ? 1 : TRUE;
            std::string printed;
            withStdin(c.typed.value_or(""), [&] {
                printed = captureStdout([&] {
                    EXPECT_EQ(ParseShellParameters(c.templateText.c_str(), c.line.c_str(), quiet),
                              matches ? TRUE : FALSE);
                });
            });
            // The prompt shows even when quiet: the user must see what to type.
            const std::string prompt = c.typed ? std::string(c.templateText) + ": " : "";
            EXPECT_EQ(printed, prompt + (*style && !matches ? shown(c.outcome) : "")) << style;
            EXPECT_EQ(exception, 0);
            if (matches) {
                EXPECT_EQ(values(), c.outcome) << style;
            }
        }
    }
}

TEST_F(ShellParametersTest, ArgumentLineGetParamRangeAndValueLifetime) {
    argumentLine = StrJoin("game.exe NoExit");
    EXPECT_EQ(ParseShellParameters(launcher, nullptr, FALSE), TRUE);
    argumentLine = DisposeString(argumentLine);
    EXPECT_EQ(values(), "game.exe,-,-,-,-,-,NoExit"); // still valid when the line is gone
    EXPECT_EQ(ParseShellParameters(launcher, nullptr, FALSE), TRUE); // module never started
    EXPECT_EQ(values(), "-,-,-,-,-,-,-");

    ParseShellParameters("a,b", "x", FALSE);
    for (int32_t index : {-1, 2}) {
        EXPECT_THROW(GetParam(index), eException);
        EXPECT_EQ(exception, ID_EPU);
        EXPECT_STREQ(exceptionInfo, "std/pShellParameters; GetParam(); index is out of range");
        exception = 0;
    }
    ParseShellParameters("a,b", "y", FALSE); // discards the first results (TearDown counts them)
    EXPECT_EQ(values(), "y,-");
}

TEST_F(ShellParametersTest, RunningOutOfMemoryGivesEverythingBack) {
    for (const char* line : {"a ?", "a b"}) {
        bool finished = false;
        for (int64_t failAt = 1; !finished && failAt < 200; ++failAt) {
            tolvarn::memory::failAllocation(failAt);
            withStdin("ISO y Window\n", [&] {
                try {
                    captureStdout([&] { ParseShellParameters(launcher, line, FALSE); });
                    finished = true;
                } catch (const eException&) {
                    EXPECT_EQ(exception, ID_MEM) << failAt;
                    exception = 0;
                }
            });
            tolvarn::memory::failAllocation(0);
            disposeShellParameters();
            EXPECT_EQ(tolvarn::memory::outstandingBlocks(), baseline) << line << " " << failAt;
        }
        EXPECT_TRUE(finished) << line;
    }
}

} // namespace
