// The launcher's contact with the user and with other programs: the file requester, the message
// requester and two ways of running a Shell command line.
#pragma once

#include "platform/exec/exec.h"
#include "platform/exec/types.h"
#include "strings/elist.h"
#include "strings/estring.h"

#include <cstdint>

struct Window;

// requestFile flag bits.
inline constexpr int32_t REQUEST_DRAWERS_ONLY = 0x01;
inline constexpr int32_t REQUEST_REJECT_ICONS = 0x04;
inline constexpr int32_t REQUEST_MULTI_SELECT = 0x08;
inline constexpr int32_t REQUEST_SAVE_MODE = 0x20;

/// The libraries the requesters need, opened by the requester module's start step.
extern Library* AslBase;
extern Library* GadToolsBase;

/// Asks for a file (or, with REQUEST_DRAWERS_ONLY, a directory). `drawer`, `file`, `pattern` and
/// `title` may be null; a null title shows "Select File", a null drawer opens on the volume list.
/// Returns a new e-string with the chosen path (with a multi-selection, the head of a chain of
/// them), or NIL when the user cancelled or the requester could not be made.
EString requestFile(const char* drawer, const char* file, const char* pattern, const char* title,
                    int32_t flags, const TagItem* moreTags);

/// Shows a message requester whose text and gadgets are formatted from `args` (NIL: one item 0).
/// Returns the number of the button pressed: 1, 2, ... from the left, 0 for the rightmost.
int32_t requestMessage(const char* title, const char* text, const char* gadgets, EList args,
                       Window* window);

/// Runs a Shell command line and waits for it. Returns TRUE when it could be run, whatever its
/// own return code, FALSE when the Shell reports it could not (127 or -1).
int32_t executeCommand(const char* command);

/// Runs a Shell command line with a stack size (0: the default) and a current directory (0:
/// inherited) and waits for it. Returns TRUE when it could be started.
int32_t runCommand(const char* command, int32_t stackSize, BPTR currentDir);

/// Start step of the module: prepares the default argument list and opens asl.library 39 and
/// gadtools.library 39; raises CleanUp(10) when either is missing.
void startRequesterModule();
/// End step: closes both libraries; accepts libraries that were never opened.
void endRequesterModule();
