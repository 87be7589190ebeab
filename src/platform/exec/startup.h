// Process start-up on this host: turns the host's argv into what the program's entry expects.
#pragma once

namespace tolvarn::platform {

using ProgramEntry = int (*)(int argc, char** argv);

/// Builds the argument text from argv[1..] (GetArgStr), makes a first argument "--workbench" a
/// desktop start (argc 0, argv pointing at a WBStartup), installs the Ctrl-C break handling,
/// calls `entry` and releases the start message afterwards. Returns the entry's return code.
int startProgram(int argc, char** argv, ProgramEntry entry);

} // namespace tolvarn::platform
