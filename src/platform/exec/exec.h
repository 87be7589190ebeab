// Stand-ins for the exec library: the running process and the library registry. The rest of
// this folder is the process's start on this host (startup.h, the desktop start message of
// workbench.h, the console window of a desktop start) and the basic types (types.h).
#pragma once

#include "platform/exec/types.h"

struct Library {
    const char* lib_Name;
    int32_t lib_Version;
    int32_t lib_OpenCnt;
};

/// The running process, as the program logic sees it.
struct Process {
    void* pr_WindowPtr;         // -1: never show a requester (this host never does anyway)
    BPTR pr_CurrentDir;         // the current directory; starts as a lock on the host's working dir
    BPTR pr_HomeDir;            // the directory of the running executable
    int32_t pr_CLI;             // non-zero for a Shell start, 0 for a Workbench start
    MsgPort* pr_FileSystemTask; // the default file system (SetFileSysTask)
};

/// Returns the running process (the only one this layer knows); `name` must be null.
Process* FindTask(const char* name);

/// Opens a stand-in library (exec, dos, graphics, cybergraphics, intuition, utility, asl,
/// gadtools). Returns null for an unknown or unavailable name or a version above the registered
/// one.
Library* OpenLibrary(const char* name, uint32_t version);
/// Closes a library; null is accepted and does nothing.
void CloseLibrary(Library* library);

namespace tolvarn::platform {

/// Test hook: makes a library unavailable (OpenLibrary then gives null) or available again.
void setLibraryAvailable(const char* name, bool available);
/// The number of opens of a library not yet balanced by CloseLibrary.
int32_t libraryOpenCount(const char* name);

/// What the layer has handed out and not yet been given back. The process's own current and
/// home directory locks are not counted.
struct Outstanding {
    int64_t locks = 0;
    int64_t fileHandles = 0;
    int64_t deviceProcs = 0;
    int64_t dosObjects = 0;
    int64_t requesters = 0;
    int64_t folderHolds = 0;
    int64_t residentCommands = 0;
    bool operator==(const Outstanding&) const = default;
};
Outstanding outstanding();

/// Builds the process record afresh: current directory from the host's working directory, home
/// directory from the running executable, assigns and the variable store from the environment
/// (XDG_CONFIG_HOME, HOME). Tests call it after changing directory or environment. Locks still
/// held through the old record become invalid.
void resetProcess();

/// Rebuilds the argument text (GetArgStr) from the host's argv[1..argc-1]: arguments joined by
/// one blank, an empty one or one holding a blank or tab put in double quotes, a line feed at
/// the end.
void setArgumentsFromHost(int argc, char** argv);
/// Marks the process as started from a Shell (pr_CLI non-zero) or from the desktop (0).
void setShellStart(bool fromShell);

} // namespace tolvarn::platform
