// The Shell's command-line splitter. For any bytes: splitting never fails badly; a line that
// splits can be written back with every part quoted and splits into the same parts again; and any
// text quoted by quoteShellItem comes back unchanged as one item.
#include "platform/shell/commandLine.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

using tolvarn::platform::parseCommandLine;
using tolvarn::platform::ParsedCommand;
using tolvarn::platform::quoteShellItem;

namespace {

[[noreturn]] void fail(const char* what, std::string_view line) {
    std::fprintf(stderr, "command-line fuzz: %s; line of %zu bytes\n", what, line.size());
    std::abort();
}

bool sameParts(const ParsedCommand& a, const ParsedCommand& b) {
    return a.command == b.command && a.input == b.input && a.output == b.output &&
           a.appendOutput == b.appendOutput && a.arguments == b.arguments;
}

/// Writes the parts back as a line in which every part is quoted.
std::string rebuild(const ParsedCommand& parsed) {
    std::string line = quoteShellItem(parsed.command);
    if (parsed.input)
        line += " <" + quoteShellItem(*parsed.input);
    if (parsed.output)
        line += (parsed.appendOutput ? " >>" : " >") + quoteShellItem(*parsed.output);
    for (const std::string& argument : parsed.arguments)
        line += " " + quoteShellItem(argument);
    return line;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    if (const auto parsed = parseCommandLine(input)) {
        if (parsed->command.empty()) {
            // Only a line of separators has no command word, and then nothing else either.
            if (parsed->input || parsed->output || !parsed->arguments.empty())
                fail("parts without a command word", input);
        } else {
            const std::string again = rebuild(*parsed);
            const auto reparsed = parseCommandLine(again);
            if (!reparsed || !sameParts(*parsed, *reparsed))
                fail("quoting the parts back does not give the same parts", input);
        }
    }

    const std::string quoted = "command " + quoteShellItem(input);
    const auto single = parseCommandLine(quoted);
    if (!single || single->command != "command" || single->arguments.size() != 1 ||
        single->arguments[0] != input || single->input || single->output)
        fail("a quoted item does not come back unchanged", input);
    return 0;
}
