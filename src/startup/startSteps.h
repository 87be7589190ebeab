// Start-up and shutdown of the operating-system libraries and the start-up facts. The order of the
// steps is fixed here: every later step may rely on the ones before it (files need dos.library,
// the argument line must be read before the options are matched), and shutdown runs in reverse.
#pragma once

#include "platform/exec/exec.h"
#include "platform/exec/workbench.h"

#include <cstdint>

// Library bases, each opened by its start step and closed by its end step.
extern Library* DOSBase;
extern Library* GfxBase;
extern Library* CyberGfxBase;
extern Library* IntuitionBase;
extern Library* UtilityBase;

/// The desktop start message when the program was started from the desktop, else null. It belongs
/// to the host start-up, which releases it after the program's entry has returned.
extern WBStartup* workbenchMessage;

/// What the host start-up handed to the program's entry: argc 0 means a desktop start, and argv
/// then points at the WBStartup.
extern int32_t argc;
extern char** argv;

namespace tolvarn::startup {

/// A module step that the runtime calls at its fixed place in the order.
using ModuleStep = void (*)();

/// Runs the ten start steps in order: platform name, dos.library 39, the argument line,
/// graphics.library 39, cybergraphics.library, intuition.library 39, the desktop start message,
/// utility.library, then `requesterModuleStart` and `launcherModuleStart`. A library that cannot
/// be opened raises CleanUp(10) at once, so the later steps never run.
void runStartSteps(ModuleStep requesterModuleStart, ModuleStep launcherModuleStart);

/// Runs the eight end steps in order: `requesterModuleEnd`, utility.library, intuition.library,
/// the shell-parameter tables, cybergraphics.library, graphics.library, the argument line,
/// dos.library. Every step accepts what its start step never obtained.
void runEndSteps(ModuleStep requesterModuleEnd);

} // namespace tolvarn::startup
