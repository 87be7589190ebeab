// Stands in for no part of the original system: what Tolvarn asks of Linux beyond its calls.
// Here: where Tolvarn's own settings live, programs on the host's PATH, and whether the console
// shows colours; folderChanges.h changes a program's folder so that no end leaves it half done.
#pragma once

#include <initializer_list>
#include <string>

namespace tolvarn::platform {

/// The folder of Tolvarn's own settings: $XDG_CONFIG_HOME/tolvarn, or ~/.config/tolvarn when
/// XDG_CONFIG_HOME is unset or relative.
std::string settingsFolder();

/// Returns the first executable regular file (or link to one) in the absolute folders of PATH,
/// in PATH order, whose name is one of `names` (earlier names first within one folder); "" when
/// there is none.
std::string findFirstInHostPath(std::initializer_list<const char*> names);

/// TRUE when standard output is a terminal that may be sent colour escapes: NO_COLOR is unset
/// or empty and TERM is not "dumb".
bool outputShowsColour();

} // namespace tolvarn::platform
