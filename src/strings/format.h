// Formatted output whose arguments come from an e-list instead of a variable argument list.
#pragma once

#include "strings/elist.h"
#include "strings/estring.h"

/// Prints `format` with the list's items (at most 20, the rest passed as 0) on standard output.
/// Returns what printf returns.
int32_t PrintL(const char* format, EList args);
/// Formats into eString like StringF with the list's items; returns eString.
EString StringFL(EString eString, const char* format, EList args);
