// The Shell argument template: compiles a one-line template, matches an argument line against it,
// hands out the values by position and shows errors with the offending token highlighted.
#pragma once

#include "strings/estring.h"

/// Compiles `templateText`, then matches `arguments` (NIL: the process's argumentLine) against it.
/// Returns TRUE when the line matched, FALSE after a reported error (nothing printed when quiet
/// is exactly TRUE).
int32_t ParseShellParameters(const char* templateText, const char* arguments, int32_t quiet);
/// Frees the compiled template and the values; safe when nothing was compiled.
void disposeShellParameters();
/// Returns the value of parameter `index` (NIL when not given); owned by the module until the next
/// ParseShellParameters or disposeShellParameters. Raises "EPU" when out of range.
EString GetParam(int32_t index);
/// Returns the number of parameters of the compiled template.
int32_t GetParamCount();
