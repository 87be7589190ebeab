#include "launcher/program.h"

#include "launcher/protectedRegion.h"
#include "launcher/requesters.h"
#include "launcher/tolvarn.h"
#include "pAmigaDos/pathComposition.h"
#include "runtime/exception.h"
#include "runtime/startSteps.h"
#include "runtime/types.h"
#include "std/pShellParameters.h"
#include "strings/estring.h"

#include <cstdio>

const char* versionRecord = nullptr;
const char* argumentTemplate = nullptr;

namespace {

/// The version tag as one block: a NUL byte, then the tag and its own NUL.
constexpr char versionBlock[] = "\0$VER: Tolvarn 1.1 (05.02.2013)";

// Parameter indexes of the argument template.
enum Parameter : int32_t { FILE_NAME, WINDOW, ISO, CD_DIR, CD_LETTER, NO_DOS32A, NO_EXIT };

int32_t switchValue(Parameter index) { return GetParam(index) != nullptr ? TRUE : FALSE; }

/// Takes the options from the desktop start message or the argument line and runs the launcher.
void takeOptionsAndLaunch() {
    EString projectPath = nullptr; // the desktop project's full path, owned here
    tolvarn::guarded(
        [&] {
            if (workbenchMessage != nullptr) {
                // The first argument is the program itself, the second the project it was
                // started on; further ones are ignored.
                if (workbenchMessage->sm_NumArgs > 1) {
                    const WBArg& project = workbenchMessage->sm_ArgList[1];
                    projectPath = lockJoinPart(project.wa_Lock, project.wa_Name);
                }
                tolvarn::tolvarn(projectPath, FALSE, nullptr, nullptr, "D", FALSE, FALSE);
                return;
            }
            if (!ParseShellParameters(argumentTemplate, nullptr, FALSE))
                Raise(ID_ARGS);
            const char* cdLetter = GetParam(CD_LETTER);
            tolvarn::tolvarn(GetParam(FILE_NAME), switchValue(WINDOW), GetParam(ISO),
                             GetParam(CD_DIR), cdLetter != nullptr ? cdLetter : "D",
                             switchValue(NO_DOS32A), switchValue(NO_EXIT));
        },
        [&] { DisposeString(projectPath); });
}

void report() {
    switch (exception) {
    case 0:
    case ID_ERR: // the user has been told already
        break;
    case ID_EXE:
        std::printf("ERROR: Failed to execute %s\n", exceptionInfo);
        break;
    case ID_MEM:
        std::printf("Ran out of memory\n");
        break;
    case ID_ARGS:
        if (exceptionInfo != nullptr)
            std::printf("ERROR:  %s\n", exceptionInfo);
        break;
    default:
        PrintException();
        break;
    }
}

} // namespace

void startLauncherModule() {
    versionRecord = versionBlock;
    argumentTemplate = "File, Window/S, ISO=cdISO/K, CDdir/K, CDletter/K, NoDOS32A/S, NoExit/S";
}

int tolvarnMain(int argumentCount, char** argumentVector) {
    // The exception state starts empty in every run, as it does in a fresh process.
    exception = 0;
    exceptionInfo = nullptr;
    argc = argumentCount;
    argv = argumentVector;

    tolvarn::protectedRegion([] {
        tolvarn::startup::runStartSteps(startRequesterModule, startLauncherModule);
        takeOptionsAndLaunch();
    });
    tolvarn::protectedRegion([] {
        report();
        std::fflush(stdout);
        tolvarn::releaseFailedCommandLine();
        tolvarn::startup::runEndSteps(endRequesterModule);
    });
    return exception == ID_CLEANUP ? cleanUpReturnCode() : 0;
}
