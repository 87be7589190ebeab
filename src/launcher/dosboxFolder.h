// Where DOSBox lives: telling a folder that holds it, and finding it on the host's PATH on a
// first run, with a DOSBox folder of Tolvarn's own made around it.
#pragma once

#include "strings/estring.h"

#include <cstdint>

/// TRUE when `folder` holds DOSBox: an entry "DOSBox" (letter case ignored) that is an
/// executable file or a soft link to one. A sub-folder of that name does not count.
int32_t holdsDOSBox(const char* folder);

/// Looks on the host's PATH for DOSBox under the names its Linux packages use. When one is
/// found, makes (or reuses) Tolvarn's own DOSBox folder in the settings folder: "DOSBox" a soft
/// link to what was found, a copy of the installed example "Tolvarn.conf" and an empty "Y";
/// stores it in "AppDir/DOSBox" and says so in one console line. Returns the folder as a new
/// e-string, or NIL when nothing was found or the folder cannot be made.
EString dosboxFolderFromPath();
