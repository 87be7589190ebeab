// Process start-up on this host: the argument text, the desktop start message and the Ctrl-C
// break, around one call of the program's entry.
#include "platform/exec/startup.h"

#include "platform/dos/internal.h"
#include "platform/exec/consoleWindow.h"
#include "platform/exec/exec.h"
#include "platform/exec/internal.h"
#include "platform/exec/workbench.h"
#include "platform/requesters/requesters.h"

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace tolvarn::platform {

namespace {

constexpr int breakReturnCode = 20;

void breakProgram(int /*signal*/) {
    static constexpr char message[] = "***Break\n";
    // Only async-signal-safe calls here: the break may land in the middle of anything.
    [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, message, sizeof message - 1);
    ::_exit(breakReturnCode);
}

/// Ctrl-C ends the program with "***Break" while this lives; the previous handling comes back
/// afterwards.
class BreakHandling {
  public:
    BreakHandling() {
        struct sigaction action {};
        action.sa_handler = breakProgram;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &previous_);
    }
    ~BreakHandling() { sigaction(SIGINT, &previous_, nullptr); }
    BreakHandling(const BreakHandling&) = delete;
    BreakHandling& operator=(const BreakHandling&) = delete;

  private:
    struct sigaction previous_ {};
};

/// A lock on an existing host folder; 0 when it cannot be had.
BPTR lockFolder(const std::string& hostFolder) {
    const auto canonical = internal::canonicalPath(hostFolder);
    return canonical ? internal::makeLock(*canonical, SHARED_LOCK) : nullptr;
}

/// The name of the running executable, as the first entry of a desktop start lists it.
std::string programName(const char* fallback) {
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error)
        return executable.filename().string();
    return fallback != nullptr ? std::filesystem::path(fallback).filename().string() : "";
}

/// The start message of a desktop start: the program itself, then one entry per object it was
/// started on. Owns the entries' names and locks and gives the locks back when it goes.
class DesktopStart {
  public:
    DesktopStart(int argc, char** argv) {
        names_.push_back(programName(argc > 0 ? argv[0] : nullptr));
        locks_.push_back(lockFolder(internal::programDirectory()));
        for (int index = 2; index < argc; ++index) {
            std::error_code error;
            std::filesystem::path object = std::filesystem::absolute(argv[index], error);
            object = object.lexically_normal();
            if (!object.has_filename() && object.has_parent_path() && object != object.root_path())
                object = object.parent_path(); // "games/" names the folder "games"
            // An object whose folder cannot be found keeps its whole path as its name, with
            // lock 0: joined to "the root" its bare name could name something that exists.
            BPTR folder = lockFolder(object.parent_path().string());
            names_.push_back(folder != nullptr ? object.filename().string() : object.string());
            locks_.push_back(folder);
        }
        for (size_t index = 0; index < names_.size(); ++index)
            arguments_.push_back({locks_[index], names_[index].data()});
        message_.sm_NumArgs = static_cast<int32_t>(arguments_.size());
        message_.sm_ArgList = arguments_.data();
        message_.sm_ToolWindow = nullptr;
    }
    ~DesktopStart() {
        for (BPTR lock : locks_)
            UnLock(lock);
    }
    DesktopStart(const DesktopStart&) = delete;
    DesktopStart& operator=(const DesktopStart&) = delete;

    WBStartup* message() { return &message_; }
    BPTR programFolder() const { return locks_[0]; }

  private:
    std::vector<std::string> names_;
    std::vector<BPTR> locks_;
    std::vector<WBArg> arguments_;
    WBStartup message_{};
};

/// A desktop-started program runs in its own folder, as it would on the original system; the
/// previous current directory comes back when this goes.
class ProgramFolderCurrent {
  public:
    explicit ProgramFolderCurrent(BPTR programFolder) : own_(DupLock(programFolder)) {
        if (own_ != nullptr)
            previous_ = CurrentDir(own_);
    }
    ~ProgramFolderCurrent() {
        if (own_ == nullptr)
            return;
        // Whatever the program left current is its own business; ours goes back.
        CurrentDir(previous_);
        UnLock(own_);
    }
    ProgramFolderCurrent(const ProgramFolderCurrent&) = delete;
    ProgramFolderCurrent& operator=(const ProgramFolderCurrent&) = delete;

  private:
    BPTR own_;
    BPTR previous_ = nullptr;
};

} // namespace

int startProgram(int argc, char** argv, ProgramEntry entry) {
    BreakHandling breakHandling;
    // A closed standard output or a file size limit makes a write fail instead of ending the
    // program, perhaps halfway through changing a file.
    ::signal(SIGPIPE, SIG_IGN);
    ::signal(SIGXFSZ, SIG_IGN);
    // Standard input is read a byte at a time, so that a line read through the C library (the
    // "?" prompt) takes that line only and leaves the rest of a pipe to the questions after it.
    std::setvbuf(stdin, nullptr, _IONBF, 0);
    const bool desktop =
        argc >= 2 && argv[1] != nullptr && std::string_view(argv[1]) == "--workbench";
    if (!desktop) {
        setShellStart(true);
        setArgumentsFromHost(argc, argv);
        return entry(argc, argv);
    }
    setShellStart(false);
    // The objects go in the start message, not in the argument text.
    setArgumentsFromHost(1, argv);
    DesktopStart start(argc, argv);
    ProgramFolderCurrent inProgramFolder(start.programFolder());
    // A desktop start has nobody reading its standard output; with a display, a window shows it.
    std::optional<internal::ConsoleWindow> window;
    if (internal::chooseRequesterBackend() == internal::RequesterBackend::gui)
        window.emplace();
    return entry(0, reinterpret_cast<char**>(start.message()));
}

} // namespace tolvarn::platform
