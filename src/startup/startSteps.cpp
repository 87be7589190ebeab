#include "startup/startSteps.h"

#include "pAmigaDos/queries.h"
#include "runtime/exception.h"
#include "runtime/platformName.h"
#include "std/pShellParameters.h"

Library* DOSBase = nullptr;
Library* GfxBase = nullptr;
Library* CyberGfxBase = nullptr;
Library* IntuitionBase = nullptr;
Library* UtilityBase = nullptr;
WBStartup* workbenchMessage = nullptr;
int32_t argc = 0;
char** argv = nullptr;

namespace tolvarn::startup {

namespace {

/// Opens a library the program cannot run without; ends the program with return code 10 when it
/// is missing. The base is stored before the test, so a failed open leaves null behind.
void openRequired(Library*& base, const char* name, uint32_t version) {
    base = OpenLibrary(name, version);
    if (base == nullptr)
        CleanUp(10);
}

/// Closes a library and forgets its base. On the original system the process ended right after,
/// so a stale base never mattered; here the program's entry can run more than once in a process
/// (tests do), and a stale base would be closed twice by a later run that stops earlier.
void closeAndForget(Library*& base) {
    CloseLibrary(base);
    base = nullptr;
}

} // namespace

void runStartSteps(ModuleStep requesterModuleStart, ModuleStep launcherModuleStart) {
    platformName = "MorphOS";
    openRequired(DOSBase, "dos.library", 39);
    startAmigaDosModule();
    openRequired(GfxBase, "graphics.library", 39);
    openRequired(CyberGfxBase, "cybergraphics.library", 0);
    openRequired(IntuitionBase, "intuition.library", 39);
    workbenchMessage = argc == 0 ? reinterpret_cast<WBStartup*>(argv) : nullptr;
    openRequired(UtilityBase, "utility.library", 0);
    requesterModuleStart();
    launcherModuleStart();
}

void runEndSteps(ModuleStep requesterModuleEnd) {
    requesterModuleEnd();
    closeAndForget(UtilityBase);
    closeAndForget(IntuitionBase);
    disposeShellParameters();
    closeAndForget(CyberGfxBase);
    closeAndForget(GfxBase);
    endAmigaDosModule();
    closeAndForget(DOSBase);
}

} // namespace tolvarn::startup
