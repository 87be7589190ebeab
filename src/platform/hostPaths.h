// Internal to the host layer: how the layer's units share path resolution and open files.
// Nothing outside src/platform/ includes this header.
#pragma once

#include "platform/dos.h"

#include <optional>
#include <string>

namespace tolvarn::platform::internal {

/// Resolves a path of the program's syntax (devices, assigns, "/" rules, letter case ignored)
/// to the canonical absolute host path of an existing object, soft links followed. Empty, with
/// IoErr() set, when it does not exist or the device is unknown.
std::optional<std::string> resolveExisting(const char* path);

/// Resolves a path for creating its last component: the folder must exist (resolved as above);
/// the last component takes the letter case of an existing entry when there is one. Empty, with
/// IoErr() set, when the folder does not exist.
std::optional<std::string> resolveForCreate(const char* path);

/// The host file descriptor behind an open file handle.
int descriptorOf(FileHandle* fh);

/// The directory that holds the running executable (PROGDIR:).
std::string programDirectory();

/// Sets IoErr() from a host errno value.
void setIoErrFromHostError(int hostError);

} // namespace tolvarn::platform::internal
