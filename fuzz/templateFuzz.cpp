// The argument template: compiles a template and matches an argument line against it, both taken
// from the input, with errors kept quiet. Whatever the bytes, the call must come back with TRUE or
// FALSE, leave no exception pending, hand out values that are pieces of the line, and give back
// every block once the results are disposed of.
//
// Input: a first byte that picks the template, then text. An even first byte matches the whole
// text against the launcher's own template; an odd one splits the text at its first line feed into
// a template and a line.
#include "runtime/exception.h"
#include "runtime/memory.h"
#include "std/pShellParameters.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

constexpr char launcherTemplate[] =
    "File, Window/S, ISO=cdISO/K, CDdir/K, CDletter/K, NoDOS32A/S, NoExit/S";

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "template fuzz: %s (exception %s: %s)\n", what, IdText(exception),
                 exception != 0 && exceptionInfo != nullptr ? exceptionInfo : "");
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // A line ending in " ?" prompts on standard output and reads standard input: give it an empty
    // input and drop its output, so that a run neither blocks nor floods the terminal. libFuzzer
    // reports on standard error.
    if (std::freopen("/dev/null", "r", stdin) == nullptr ||
        std::freopen("/dev/null", "w", stdout) == nullptr)
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    // The module reads plain C strings: anything after a NUL is not part of the text.
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::string templateText = launcherTemplate;
    std::string line = text.c_str();
    if (data[0] & 1) {
        const size_t lineFeed = line.find('\n');
        templateText = line.substr(0, lineFeed);
        line = lineFeed == std::string::npos ? "" : line.substr(lineFeed + 1);
    }

    const int64_t blocksBefore = tolvarn::memory::outstandingBlocks();
    exception = 0;
    int32_t matched = FALSE;
    try {
        matched = ParseShellParameters(templateText.c_str(), line.c_str(), TRUE);
    } catch (const eException&) {
        fail("ParseShellParameters let an exception out");
    }
    if (exception != 0)
        fail("ParseShellParameters left an exception pending");
    if (matched != TRUE && matched != FALSE)
        fail("ParseShellParameters gave neither TRUE nor FALSE");

    if (matched) {
        const int32_t count = GetParamCount();
        if (count < 1)
            fail("a compiled template without parameters");
        for (int32_t i = 0; i < count; ++i) {
            const EString value = GetParam(i);
            if (value == nullptr)
                continue;
            if (EstrLen(value) != static_cast<int32_t>(std::strlen(value)))
                fail("a value whose length disagrees with its text");
            // Keywords as typed, unquoted strings and the rest of the line are all taken from the
            // line; a "?" prompt adds nothing here, since standard input is empty.
            if (std::string_view(line).find(value) == std::string_view::npos)
                fail("a value that is not part of the line");
        }
    }

    disposeShellParameters();
    if (tolvarn::memory::outstandingBlocks() != blocksBefore)
        fail("blocks left over after disposeShellParameters");
    return 0;
}
