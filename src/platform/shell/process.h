// Running a host program as one whole operation: start it with an argument array, wait for it,
// hand back how it ended. The Shell (SystemTagList) and the graphical requesters build on it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tolvarn::platform {

struct RunOptions {
    std::string workingDirectory{}; // host path; empty: the host's current directory
    std::string inputFile{};        // host path for standard input; empty: inherited
    std::string outputFile{};       // host path for standard output; empty: inherited
    bool appendOutput = false;      // add to outputFile instead of replacing it
    bool captureOutput = false;     // collect standard output in RunResult::output instead
};

struct RunResult {
    int32_t status = -1; // exit status; 20 when a signal ended it; -1 when it could not start
    int hostError = 0;   // the host's error number when it could not start
    std::string output;  // standard output, when captured
};

/// Runs arguments[0] (a host path, not searched for) with the whole argument array and the
/// process's environment, and waits for it to end. While it runs, interrupt and quit signals
/// are ignored here and left to the program, and standard output and error are flushed before
/// it starts so that earlier output comes first. Returns how it ended.
RunResult runProgram(const std::vector<std::string>& arguments, const RunOptions& options = {});

} // namespace tolvarn::platform
