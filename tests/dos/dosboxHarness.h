// Running Debian's DOSBox (and programs that start it) from tests: headless, with a time limit,
// and the small DOS programs that the build assembles.
#pragma once

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace tolvarn::testing {

using Environment = std::vector<std::pair<std::string, std::string>>;

/// How a child process ended.
struct ProcessResult {
    bool timedOut = false; ///< it was still running at the time limit and has been killed
    int exitCode = -1;     ///< its exit status, or 128 + the signal that ended it
    std::string output;    ///< standard output and standard error together
    double seconds = 0;    ///< how long it ran
};

/// Runs argv (argv[0] looked up in PATH) with `extra` added to this process's environment and
/// `workDir` as its current directory (this one when empty), and waits for it. The child leads
/// a process group of its own; when it has not ended after `timeout`, the whole group is
/// killed, so a hung DOSBox below a launcher cannot outlive the test either.
ProcessResult runProcess(const std::vector<std::string>& argv, const Environment& extra = {},
                         std::chrono::milliseconds timeout = std::chrono::seconds(30),
                         const std::string& workDir = "");

/// SDL's dummy video and audio drivers: DOSBox needs neither a display nor a sound card then.
Environment headlessEnvironment();

/// The absolute path of the `dosbox` program in PATH; empty when there is none.
std::string dosboxExecutable();

/// The DOSBox settings for quick, quiet runs (the file that the demo uses as "Tolvarn.conf").
std::string headlessConfigPath();

/// Runs DOSBox headless with those settings, each of `dosCommands` as one -c option and a final
/// "exit", and "-exit", so it ends once the commands have run.
ProcessResult runDosbox(const std::vector<std::string>& dosCommands,
                        std::chrono::milliseconds timeout = std::chrono::seconds(30));

/// The path of a program assembled by the build (WRITE.COM, CDCOPY.COM, GAME4G.EXE, dos32a.exe,
/// HELLO.COM), or of a fixture kept as source (setup.bat).
std::string dosProgram(const std::string& name);

/// Copies a file (following links), replacing the target; returns the target.
std::string copyInto(const std::string& source, const std::string& target);

/// Makes an ISO 9660 image of `folder` with genisoimage; fails the test when it cannot.
void makeIsoImage(const std::string& folder, const std::string& image);

} // namespace tolvarn::testing
