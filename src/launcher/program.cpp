#include "launcher/program.h"

#include "launcher/protectedRegion.h"
#include "launcher/requesters.h"
#include "launcher/tolvarn.h"
#include "pAmigaDos/pathComposition.h"
#include "platform/host/host.h"
#include "runtime/exception.h"
#include "runtime/types.h"
#include "startup/startSteps.h"
#include "std/pShellParameters.h"
#include "strings/estring.h"

#include <cstdio>
#include <cstring>

const char* versionRecord = nullptr;
const char* argumentTemplate = nullptr;

namespace {

/// The version tag as one block: a NUL byte, then the tag and its own NUL.
constexpr char versionBlock[] = "\0$VER: Tolvarn 1.1 (05.02.2013)";

// Parameter indexes of the argument template.
enum Parameter : int32_t { FILE_NAME, WINDOW, ISO, CD_DIR, CD_LETTER, NO_DOS32A, NO_EXIT };

int32_t switchValue(Parameter index) {
    return GetParam(index) != nullptr ? TRUE : FALSE;
}

/// Takes the options from the desktop start message or the argument line and runs the launcher.
/// Returns TRUE when DOSBox ran.
int32_t takeOptionsAndLaunch() {
    EString projectPath = nullptr; // the desktop project's full path, owned here
    int32_t ran = FALSE;
    tolvarn::guarded(
        [&] {
            if (workbenchMessage != nullptr) {
                // The first argument is the program itself, the second the project it was
                // started on; further ones are ignored.
                if (workbenchMessage->sm_NumArgs > 1) {
                    const WBArg& project = workbenchMessage->sm_ArgList[1];
                    // Lock 0 means its folder could not be found, and its name is then the
                    // whole path as given: joined to lock 0 it would be looked for in the root.
                    projectPath = project.wa_Lock != nullptr
                                      ? lockJoinPart(project.wa_Lock, project.wa_Name)
                                      : StrJoin(project.wa_Name);
                }
                ran = tolvarn::tolvarn(projectPath, FALSE, nullptr, nullptr, "D", FALSE, FALSE);
                return;
            }
            if (!ParseShellParameters(argumentTemplate, nullptr, FALSE))
                Raise(ID_ARGS);
            const char* cdLetter = GetParam(CD_LETTER);
            ran = tolvarn::tolvarn(GetParam(FILE_NAME), switchValue(WINDOW), GetParam(ISO),
                                   GetParam(CD_DIR), cdLetter != nullptr ? cdLetter : "D",
                                   switchValue(NO_DOS32A), switchValue(NO_EXIT));
        },
        [&] { DisposeString(projectPath); });
    return ran;
}

/// Prints the short usage of --help.
void printUsage() {
    std::printf(
        "Usage: tolvarn [File] [Window] [ISO=image] [CDdir=folder] [CDletter=letter] [NoDOS32A] "
        "[NoExit]\n"
        "Template: %s\n\n"
        "  File        the MS-DOS program (.exe, .com or .bat); asked for when left out\n"
        "  Window      runs DOSBox in a window instead of full screen\n"
        "  ISO=image   mounts a CD image (cdISO= too)\n"
        "  CDdir=dir   mounts a folder as a CD drive\n"
        "  CDletter=L  the CD's drive letter (D when left out)\n"
        "  NoDOS32A    never starts DOS/4G programs through DOS32A; puts DOS4GW.EXE back\n"
        "  NoExit      keeps DOSBox open after the program ends\n"
        "  ?           shows the template and reads the arguments as a line\n"
        "  --workbench file   starts as from the desktop (messages in a window)\n"
        "  --help, -h, --version\n\n"
        "Examples:\n"
        "  tolvarn ~/dos/maze/MAZE.EXE\n"
        "  tolvarn SETUP.BAT Window NoExit\n"
        "  tolvarn GAME.EXE ISO=~/images/game.iso CDletter=E\n\n"
        "Settings are kept in %s: the DOSBox folder in env/AppDir/DOSBox (found on PATH on the\n"
        "first run, then DOSBox/ there holds a link to it, Tolvarn.conf and Y/dos32a.exe), named\n"
        "folders in assigns.\n\n"
        "Return codes: 0 DOSBox ran; 5 cancelled, nothing ran; 10 failed (the reason is shown);\n"
        "20 stopped by Ctrl-C.\n",
        argumentTemplate, tolvarn::platform::settingsFolder().c_str());
}

/// Answers --help, -h and --version, which are read before the template. Returns TRUE when
/// `option` was one of them.
bool answeredHostOption(const char* option) {
    if (std::strcmp(option, "--version") == 0) {
        std::printf("%s\n", versionBlock + 1 + std::strlen("$VER: "));
        return true;
    }
    if (std::strcmp(option, "--help") != 0 && std::strcmp(option, "-h") != 0)
        return false;
    startLauncherModule();
    printUsage();
    return true;
}

/// The return code of a run that ended with `exception`: 0 when DOSBox ran, 5 when the user
/// chose nothing to run, 10 for every failure (already reported), CleanUp's own code.
int returnCode(int32_t ran) {
    if (exception == ID_CLEANUP)
        return cleanUpReturnCode();
    if (exception != 0)
        return 10;
    return ran ? 0 : 5;
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
    if (argumentCount >= 2 && argumentVector[1] != nullptr &&
        answeredHostOption(argumentVector[1])) {
        std::fflush(stdout);
        return 0;
    }

    int32_t ran = FALSE;
    tolvarn::protectedRegion([&] {
        tolvarn::startup::runStartSteps(startRequesterModule, startLauncherModule);
        ran = takeOptionsAndLaunch();
    });
    tolvarn::protectedRegion([] {
        report();
        std::fflush(stdout);
        tolvarn::releaseFailedCommandLine();
        tolvarn::startup::runEndSteps(endRequesterModule);
    });
    return returnCode(ran);
}
