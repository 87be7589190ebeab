// Internal to the host layer: the process record that every part of the layer shares, and the
// counts of what the layer has handed out. Nothing outside src/platform/ includes this header.
#pragma once

#include "platform/exec/exec.h"

#include <optional>
#include <string>

namespace tolvarn::platform::internal {

/// The counts behind outstanding(); each unit keeps its own field up to date. `locks` counts
/// every live lock, the process's own included (outstanding() takes those off).
Outstanding& counters();

/// The process record, built on first use.
Process& process();

/// The host path that relative paths start from: the current directory's, or "/" when the
/// process has no current directory (lock 0 stands for the root, as on the original system).
/// Empty, with IoErr() set, when the current-directory lock is no longer valid.
std::optional<std::string> currentDirectoryPath();

/// The directory that holds the running executable (PROGDIR:).
std::string programDirectory();

/// Replaces the process's argument text (GetArgStr).
void setArgumentText(std::string text);

/// Makes every stand-in library available again (done when the process record is rebuilt).
void resetLibraries();

} // namespace tolvarn::platform::internal
