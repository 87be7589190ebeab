// The program's run sequence: start the modules, take the options from the Shell or the desktop,
// run the launcher once, report how it ended, end the modules and give the return code.
#pragma once

/// Points at a NUL byte that is directly followed by the version text, so the version tag stays
/// in the program image. Set by the launcher module's start step; nothing reads it.
extern const char* versionRecord;
/// The Shell argument template of the program. Set by the launcher module's start step.
extern const char* argumentTemplate;

/// Start step of the launcher module: publishes the version record and the argument template.
void startLauncherModule();

/// The program's entry as the host start-up calls it: argc 0 means a desktop start with argv
/// pointing at the WBStartup. The arguments of a Shell start are read from the process's argument
/// text, which the host start-up builds; a first argument --help, -h or --version is answered
/// before the template is read. Returns 0 when DOSBox ran (or the option was answered), 5 when
/// the user chose nothing to run, 10 for every reported failure, a library that could not be
/// opened included.
int tolvarnMain(int argumentCount, char** argumentVector);
