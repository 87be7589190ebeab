// Hostile and oversized input for the argument template: very long lines and templates, control
// and NUL bytes, unclosed quotes, long runs of "=" and ",". Each must give a clean match or the
// documented error, print nothing when quiet, and give every block back.
#include "std/pShellParameters.h"

#include "runtime/exception.h"
#include "runtime/memory.h"
#include "runtime/platformName.h"

#include "support/testSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

using tolvarn::testing::captureStdout;

namespace {

const char* const launcher =
    "File, Window/S, ISO=cdISO/K, CDdir/K, CDletter/K, NoDOS32A/S, NoExit/S";

std::string repeated(const std::string& piece, int times, const std::string& separator = "") {
    std::string text;
    for (int i = 0; i < times; ++i)
        text += (i ? separator : "") + piece;
    return text;
}

/// "prefix0<sep>prefix1<sep>...": numbered names or values.
std::string numbered(const std::string& prefix, int count, const std::string& separator,
                     const std::string& suffix = "") {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += (i ? separator : "") + prefix + std::to_string(i) + suffix;
    return text;
}

/// Runs `action` with standard input reading `bytes` (which may hold NULs).
void withStdin(const std::string& bytes, const std::function<void()>& action) {
    std::FILE* file = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::rewind(file);
    const int saved = dup(0);
    dup2(fileno(file), 0);
    std::clearerr(stdin);
    action();
    std::fflush(stdin);
    dup2(saved, 0);
    close(saved);
    std::fclose(file);
    std::clearerr(stdin);
}

class TemplateHardeningTest : public ::testing::Test {
  protected:
    void SetUp() override {
        exception = 0;
        platformName = "MorphOS";
        baseline = tolvarn::memory::outstandingBlocks();
    }
    void TearDown() override {
        disposeShellParameters();
        EXPECT_EQ(tolvarn::memory::outstandingBlocks(), baseline) << "blocks leaked";
        EXPECT_EQ(exception, 0);
    }
    int64_t baseline = 0;
};

TEST_F(TemplateHardeningTest, BadInputGivesACleanMatchOrTheDocumentedError) {
    const std::string longWord(100000, 'x');
    const std::string equalsRun(5000, '=');
    // expected: the values that must be set (index, text), or the error's message when the match
    // must fail.
    struct Case {
        const char* name;
        std::string templateText;
        std::string line;
        std::vector<std::pair<int, std::string>> values;
        const char* error = nullptr;
    };
    const Case cases[] = {
        {"a 100,000-character word", launcher, longWord, {{0, longWord}}},
        {"a 100,000-character quoted string",
         launcher,
         "\"" + longWord + "\" window",
         {{0, longWord}, {1, "window"}}},
        {"100,000 characters of words",
         launcher,
         repeated("word", 20000, " "),
         {},
         "does not match template"},
        {"an unclosed quote before 100,000 characters",
         launcher,
         "game.exe \"" + longWord,
         {},
         "string is missing closing quote"},
        {"control bytes",
         launcher,
         "\x01\x02\x1b[31m\r\n\x0b\x7f \twindow",
         {{0, "\x01\x02\x1b[31m\r\n\x0b\x7f"}, {1, "window"}}},
        {"bytes above 127", launcher, "\xff\xfe\x80.exe", {{0, "\xff\xfe\x80.exe"}}},
        {"5,000 equals signs", launcher, equalsRun, {}, "illegal character"},
        {"a keyword and 5,000 equals signs",
         launcher,
         "ISO" + equalsRun + "disc.iso",
         {{2, "disc.iso"}}},
        {"a keyword and two runs of equals signs",
         launcher,
         "ISO == = disc.iso",
         {},
         "illegal character"},
        {"a keyword and equals signs at the end",
         launcher,
         "game.exe ISO" + equalsRun,
         {},
         "expected value after keyword"},
        {"2,000 repeats of one keyword",
         launcher,
         repeated("CDletter=E", 2000, " "),
         {},
         "does not match template"},
        {"500 positional parameters",
         numbered("p", 500, ","),
         numbered("v", 500, " "),
         {{0, "v0"}, {250, "v250"}, {499, "v499"}}},
        {"500 keywords",
         numbered("p", 500, ",", "/K"),
         "P499=last p250 middle",
         {{250, "middle"}, {499, "last"}}},
        {"500 required parameters and no line",
         numbered("p", 500, ",", "/A"),
         "",
         {},
         "missing required parameter"},
        {"one more value than 500 parameters",
         numbered("p", 500, ","),
         numbered("v", 501, " "),
         {},
         "does not match template"},
        {"1,000 aliases", numbered("a", 1000, "=", "") + "/K", "A999=x", {{0, "x"}}},
        {"a 100,000-character parameter name",
         longWord + "/S",
         "X" + longWord.substr(1),
         {{0, "X" + longWord.substr(1)}}},
        {"10,000 commas in one run",
         "a" + std::string(9999, ',') + "b",
         "x y",
         {{0, "x"}, {1, "y"}}},
        {"a template of 100,000 commas",
         std::string(100000, ','),
         "",
         {},
         "expected word for parameter name"},
        {"a template with control bytes", "a\x01", "", {}, "unexpected character"},
        {"a template with a byte above 127", "na\xefme", "", {}, "unexpected character"},
        {"a template with an unclosed quote",
         "a, \"" + longWord,
         "",
         {},
         "string is missing closing quote"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const bool mustMatch = c.error == nullptr;
        std::string printed = captureStdout([&] {
            EXPECT_EQ(ParseShellParameters(c.templateText.c_str(), c.line.c_str(), TRUE),
                      mustMatch ? TRUE : FALSE);
        });
        EXPECT_EQ(printed, "") << "quiet must print nothing";
        EXPECT_EQ(exception, 0);
        if (mustMatch) {
            for (const auto& [index, text] : c.values) {
                ASSERT_NE(GetParam(index), nullptr) << index;
                EXPECT_EQ(GetParam(index), text) << index;
                EXPECT_EQ(EstrLen(GetParam(index)), static_cast<int32_t>(text.size()));
            }
        }

        // Not quiet, the same input shows the error once, with the whole text around the token.
        printed = captureStdout(
            [&] { ParseShellParameters(c.templateText.c_str(), c.line.c_str(), FALSE); });
        if (mustMatch) {
            EXPECT_EQ(printed, "");
        } else {
            EXPECT_EQ(printed.rfind("Shell ", 0), 0u) << printed.substr(0, 200);
            EXPECT_NE(printed.find(c.error), std::string::npos) << printed.substr(0, 200);
            EXPECT_EQ(printed.back(), '\n');
        }
        disposeShellParameters();
        EXPECT_EQ(tolvarn::memory::outstandingBlocks(), baseline);
    }
}

TEST_F(TemplateHardeningTest, TypedLinesWithNulAndControlBytesAndOverlongLines) {
    // A NUL byte typed after the "?" prompt ends the typed text.
    struct Case {
        const char* name;
        std::string typed;
        std::string file; // File's value; "" for none
        bool window;
    } cases[] = {
        {"a NUL byte ends the line", std::string("game.exe\0Window", 15) + "\n", "game.exe", false},
        {"a NUL byte first", std::string("\0game.exe Window\n", 17), "", false},
        {"control bytes are text", "\x01\x1b\x7f Window\n", "\x01\x1b\x7f", true},
        {"no line feed at the end", "game.exe", "game.exe", false},
        {"a carriage return stays", "game.exe\r\n", "game.exe\r", false},
        // Only the first 1,000 typed characters are read; the rest stays unread.
        {"5,000 typed characters", std::string(5000, 'g') + "\n", std::string(1000, 'g'), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string printed;
        withStdin(c.typed, [&] {
            printed =
                captureStdout([&] { EXPECT_EQ(ParseShellParameters(launcher, "?", TRUE), TRUE); });
        });
        EXPECT_EQ(printed, std::string(launcher) + ": ");
        EXPECT_EQ(GetParam(0) ? std::string(GetParam(0)) : "", c.file);
        EXPECT_EQ(GetParam(1) != nullptr, c.window);
        disposeShellParameters();
    }
}

} // namespace
