// Hostile and oversized lines and templates for the argument matcher: each gives a clean match or
// its error, prints nothing when quiet, and gives every block back.
#include "std/pShellParameters.h"

#include "runtime/exception.h"
#include "runtime/memory.h"
#include "runtime/platformName.h"

#include "support/testSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

using tolvarn::testing::captureStdout;

namespace {

const char* const launcher =
    "File, Window/S, ISO=cdISO/K, CDdir/K, CDletter/K, NoDOS32A/S, NoExit/S";

/// "prefix0<sep>prefix1<sep>...", or `piece` `count` times when `numbered` is false.
std::string series(const std::string& piece, int count, const std::string& separator,
                   const std::string& suffix = "", bool numbered = true) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += (i ? separator : "") + piece + (numbered ? std::to_string(i) : "") + suffix;
    return text;
}

class TemplateHardeningTest : public ::testing::Test {
  protected:
    void SetUp() override {
        exception = 0;
        platformName = "MorphOS";
    }
    void TearDown() override {
        disposeShellParameters();
        EXPECT_EQ(tolvarn::memory::outstandingBlocks(), baseline) << "blocks leaked";
        EXPECT_EQ(exception, 0);
    }
    int64_t baseline = tolvarn::memory::outstandingBlocks();
};

TEST_F(TemplateHardeningTest, BadInputGivesACleanMatchOrTheDocumentedError) {
    const std::string x(100000, 'x'), equals(5000, '=');
    const std::string p500 = series("p", 500, ","), v500 = series("v", 500, " ");
    // values: those that must be set (index, text); error: the message when the match must fail.
    const struct {
        std::string templateText, line;
        std::vector<std::pair<int, std::string>> values;
        const char* error = nullptr;
    } cases[] = {
        // clang-format off
        {launcher, x, {{0, x}}},
        {launcher, "\"" + x + "\" window", {{0, x}, {1, "window"}}},
        {launcher, series("word", 20000, " ", "", false), {}, "does not match template"},
        {launcher, "game.exe \"" + x, {}, "string is missing closing quote"},
        {launcher, "\x01\x02\x1b[31m\r\n\x0b\x7f \twindow", {{0, "\x01\x02\x1b[31m\r\n\x0b\x7f"}, {1, "window"}}},
        {launcher, "\xff\xfe\x80.exe", {{0, "\xff\xfe\x80.exe"}}},
        {launcher, equals, {}, "illegal character"},
        {launcher, "ISO" + equals + "disc.iso", {{2, "disc.iso"}}},
        {launcher, "ISO == = disc.iso", {}, "illegal character"},
        {launcher, "game.exe ISO" + equals, {}, "expected value after keyword"},
        {launcher, series("CDletter=E", 2000, " ", "", false), {}, "does not match template"},
        {p500, v500, {{0, "v0"}, {250, "v250"}, {499, "v499"}}},
        {series("p", 500, ",", "/K"), "P499=last p250 middle", {{250, "middle"}, {499, "last"}}},
        {series("p", 500, ",", "/A"), "", {}, "missing required parameter"},
        {p500, series("v", 501, " "), {}, "does not match template"},
        {series("a", 1000, "=") + "/K", "A999=x", {{0, "x"}}},
        {x + "/S", std::string("X").append(x, 1), {{0, std::string("X").append(x, 1)}}},
        {std::string("a").append(9999, ',') + "b", "x y", {{0, "x"}, {1, "y"}}},
        {std::string(100000, ','), "", {}, "expected word for parameter name"},
        {"a\x01", "", {}, "unexpected character"},
        {"na\xefme", "", {}, "unexpected character"},
        {"a, \"" + x, "", {}, "string is missing closing quote"},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.templateText.substr(0, 30) + " / " + c.line.substr(0, 30));
        const bool mustMatch = c.error == nullptr;
        std::string printed = captureStdout([&] {
            EXPECT_EQ(ParseShellParameters(c.templateText.c_str(), c.line.c_str(), TRUE),
                      mustMatch ? TRUE : FALSE);
        });
        EXPECT_EQ(printed, "") << "quiet must print nothing";
        EXPECT_EQ(exception, 0);
        for (const auto& [index, text] : c.values) {
            ASSERT_NE(GetParam(index), nullptr) << index;
            EXPECT_EQ(GetParam(index), text) << index;
            EXPECT_EQ(EstrLen(GetParam(index)), static_cast<int32_t>(text.size()));
        }
        // Not quiet, the same input shows the error once, with the whole text around the token.
        printed = captureStdout(
            [&] { ParseShellParameters(c.templateText.c_str(), c.line.c_str(), FALSE); });
        if (mustMatch)
            EXPECT_EQ(printed, "");
        else
            EXPECT_TRUE(printed.starts_with("Shell ") && printed.ends_with('\n') &&
                        printed.find(c.error) != std::string::npos)
                << printed.substr(0, 200);
        disposeShellParameters();
        EXPECT_EQ(tolvarn::memory::outstandingBlocks(), baseline);
    }
}

TEST_F(TemplateHardeningTest, TypedLinesWithNulAndControlBytesAndOverlongLines) {
    // typed: what follows the "?" prompt; file: File's value ("" for none).
    const struct {
        std::string typed, file;
        bool window;
    } cases[] = {
        // clang-format off
        {std::string("game.exe\0Window", 15) + "\n", "game.exe", false}, // a NUL ends the line
        {std::string("\0game.exe Window\n", 17), "", false},
        {"\x01\x1b\x7f Window\n", "\x01\x1b\x7f", true},                 // control bytes are text
        {"game.exe", "game.exe", false},                                 // no line feed at the end
        {"game.exe\r\n", "game.exe\r", false},
        {std::string(5000, 'g') + "\n", std::string(1000, 'g'), false},  // only 1,000 are read
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed.substr(0, 20));
        std::FILE* file = std::tmpfile();
        std::fwrite(c.typed.data(), 1, c.typed.size(), file);
        std::rewind(file);
        const int saved = dup(0);
        dup2(fileno(file), 0);
        std::clearerr(stdin);
        const std::string printed =
            captureStdout([&] { EXPECT_EQ(ParseShellParameters(launcher, "?", TRUE), TRUE); });
        std::fflush(stdin);
        dup2(saved, 0);
        close(saved);
        std::fclose(file);
        std::clearerr(stdin);
        EXPECT_EQ(printed, std::string(launcher) + ": ");
        EXPECT_EQ(GetParam(0) ? std::string(GetParam(0)) : "", c.file);
        EXPECT_EQ(GetParam(1) != nullptr, c.window);
        disposeShellParameters();
    }
}

} // namespace
