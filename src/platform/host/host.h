// Stands in for no part of the original system: what Tolvarn asks of Linux beyond its calls.
// Here: where Tolvarn's own settings live, programs on the host's PATH, and whether the console
// shows colours; folderChanges.h changes a program's folder so that no end leaves it half done.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

namespace tolvarn::platform {

/// The folder of Tolvarn's own settings: $XDG_CONFIG_HOME/tolvarn, or ~/.config/tolvarn when
/// XDG_CONFIG_HOME is unset or relative.
std::string settingsFolder();

/// TRUE when `hostPath` is a regular file (or a link to one) that this process may run.
bool isRunnableFile(const std::string& hostPath);

/// Returns the absolute folders of the host's PATH, in order. Relative entries (an empty one
/// stands for the current directory) are left out: nothing is ever run from there by accident.
std::vector<std::string> hostPathFolders();

/// Returns the first runnable file in hostPathFolders(), in PATH order, whose name is one of
/// `names` (earlier names first within one folder); "" when there is none.
std::string findFirstInHostPath(std::initializer_list<const char*> names);

/// Returns the first runnable file named exactly `name` in hostPathFolders(), or "" when there
/// is none.
std::string findInHostPath(const std::string& name);

/// TRUE when standard output is a terminal that may be sent colour escapes: NO_COLOR is unset
/// or empty and TERM is not "dumb".
bool outputShowsColour();

} // namespace tolvarn::platform
