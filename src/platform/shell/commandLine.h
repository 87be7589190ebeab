// The Shell's reading of a command line: the command word, its redirections and its items. Pure
// text handling, shared by SystemTagList and its tests.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tolvarn::platform {

/// One command line taken apart.
struct ParsedCommand {
    std::string command;                // the command word, quotes and escapes removed
    std::optional<std::string> input;   // the source of "<source"
    std::optional<std::string> output;  // the target of ">target" or ">>target"
    bool appendOutput = false;          // ">>" rather than ">"
    std::vector<std::string> arguments; // the items after the redirections
};

/// Splits a command line. Blanks, tabs and line feeds separate items; an item that starts with a
/// double quote runs to the closing quote, and inside it *" is a double quote, *N or *n a line
/// feed, *E or *e an escape character and ** an asterisk; elsewhere a double quote or asterisk is
/// an ordinary character. Redirections (">target", ">>target", "<source", the target either
/// joined to the sign or the next item) are recognised only directly after the command word.
/// Returns the parts, or empty when a quote is not closed, a redirection has no target or the
/// command word is empty. A line of blanks gives a command of "" (nothing to run).
std::optional<ParsedCommand> parseCommandLine(std::string_view line);

/// Returns `text` as one quoted item that parseCommandLine reads back unchanged.
std::string quoteShellItem(std::string_view text);

} // namespace tolvarn::platform
