// Stands in for the original system's Shell (its calls are declared with the dos library's).
// Internal to the host layer: the Shell reads command lines, runs commands (resident, beside the
// program, in the installation's command folder or on PATH) and hands them their argument text.
// Nothing outside src/platform/ includes this header.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace tolvarn::platform::internal {

/// The argument text of a command started with `arguments`: joined by one blank, each quoted
/// where the template matcher would otherwise split it, a line feed at the end.
std::string argumentTextOf(const std::vector<std::string>& arguments);

/// Keeps a duplicate of the standard descriptor `descriptor` above the standard ones, so that
/// it can be pointed elsewhere for a while. Returns the duplicate, or -1 with errno set (EBADF
/// when the descriptor was closed to begin with).
int keepStandardDescriptor(int descriptor);
/// Flushes `stream`, then puts the duplicate `kept` (from keepStandardDescriptor, or -1 for a
/// descriptor that was closed then) back as `descriptor`, and closes the duplicate.
void putBackStandardDescriptor(std::FILE* stream, int descriptor, int kept);

} // namespace tolvarn::platform::internal
