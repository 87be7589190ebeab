// The running process as the program logic sees it: its record (current and home directory,
// window pointer, Shell flag, default file system), its argument text and the layer's counts of
// what it has handed out.
#include "platform/dos/internal.h"
#include "platform/exec/internal.h"

#include <climits>
#include <unistd.h>

namespace tolvarn::platform::internal {

namespace {

struct ProcessState {
    Process record{};
    std::string arguments = "\n";
    bool built = false;
};

ProcessState& state() {
    static ProcessState processState;
    return processState;
}

void build(ProcessState& processState) {
    processState.built = true;
    Process& record = processState.record;
    record.pr_WindowPtr = nullptr;
    record.pr_CLI = 1;
    record.pr_FileSystemTask = hostFileSystemPort();
    processState.arguments.assign(1, '\n'); // not = "\n": GCC 12 warns wrongly on that
    reloadDevices();
    // The host's working directory is where the user started us; it may be gone already, and
    // then the process simply has no current directory.
    record.pr_CurrentDir = nullptr;
    if (auto current = canonicalPath("."))
        record.pr_CurrentDir = makeLock(*current, SHARED_LOCK);
    record.pr_HomeDir = nullptr;
    if (auto home = canonicalPath(programDirectory()))
        record.pr_HomeDir = makeLock(*home, SHARED_LOCK);
}

} // namespace

Outstanding& counters() {
    static Outstanding counts;
    return counts;
}

Process& process() {
    ProcessState& processState = state();
    if (!processState.built)
        build(processState);
    return processState.record;
}

std::optional<std::string> currentDirectoryPath() {
    return lockPath(process().pr_CurrentDir);
}

std::string programDirectory() {
    static const std::string directory = [] {
        std::string target(PATH_MAX, '\0');
        const ssize_t length = readlink("/proc/self/exe", target.data(), target.size());
        if (length <= 0 || static_cast<std::size_t>(length) >= target.size())
            return std::string("/");
        target.resize(static_cast<std::size_t>(length));
        return parentPath(target);
    }();
    return directory;
}

void setArgumentText(std::string text) {
    process();
    state().arguments = std::move(text);
}

} // namespace tolvarn::platform::internal

using namespace tolvarn::platform::internal;

/// Returns the running process; null for any other name (this layer knows no other task).
Process* FindTask(const char* name) {
    return name == nullptr ? &process() : nullptr;
}

/// Makes `lock` the current directory and returns the previous one, which is now the caller's.
BPTR CurrentDir(BPTR lock) {
    Process& record = process();
    BPTR previous = record.pr_CurrentDir;
    record.pr_CurrentDir = lock;
    return previous;
}

/// Sets the process's default file system; returns the previous one.
MsgPort* SetFileSysTask(MsgPort* port) {
    Process& record = process();
    MsgPort* previous = record.pr_FileSystemTask;
    record.pr_FileSystemTask = port;
    return previous;
}

/// The process's argument text, ending in a line feed.
const char* GetArgStr() {
    process();
    return state().arguments.c_str();
}

namespace tolvarn::platform {

Outstanding outstanding() {
    Outstanding result = counters();
    const Process& record = process();
    // The process's own directory locks belong to it, not to whoever is being checked.
    if (isLiveLock(record.pr_CurrentDir))
        --result.locks;
    if (isLiveLock(record.pr_HomeDir) && record.pr_HomeDir != record.pr_CurrentDir)
        --result.locks;
    return result;
}

void resetProcess() {
    ProcessState& processState = state();
    if (processState.built) {
        Process& record = processState.record;
        BPTR current = record.pr_CurrentDir;
        BPTR home = record.pr_HomeDir;
        record.pr_CurrentDir = nullptr;
        record.pr_HomeDir = nullptr;
        releaseLock(current);
        if (home != current)
            releaseLock(home);
    }
    build(processState);
    forgetFaults();
    resetLibraries();
}

void setShellStart(bool fromShell) {
    process().pr_CLI = fromShell ? 1 : 0;
}

} // namespace tolvarn::platform
