#include "platform/shell/process.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <iterator>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tolvarn::platform {

namespace {

/// A host file descriptor with one owner.
class Descriptor {
  public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor(Descriptor&& other) noexcept : fd_(other.release()) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = other.release();
        }
        return *this;
    }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

  private:
    int fd_ = -1;
};

/// Moves a descriptor above the three standard ones, so that the child's dup2 onto 0 or 1 always
/// makes a fresh, inheritable copy even when the parent had closed its own standard streams.
Descriptor aboveStandard(Descriptor fd) {
    if (!fd.valid() || fd.get() > 2)
        return fd;
    return Descriptor(::fcntl(fd.get(), F_DUPFD_CLOEXEC, 3));
}

Descriptor openForChild(const std::string& path, int flags) {
    return aboveStandard(Descriptor(::open(path.c_str(), flags | O_CLOEXEC, 0666)));
}

/// While alive, interrupt and quit go to the child only, as the host's system() arranges.
class ParentSignalsIgnored {
  public:
    ParentSignalsIgnored() {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        sigaction(SIGINT, &ignore, &oldInterrupt_);
        sigaction(SIGQUIT, &ignore, &oldQuit_);
    }
    ~ParentSignalsIgnored() {
        sigaction(SIGINT, &oldInterrupt_, nullptr);
        sigaction(SIGQUIT, &oldQuit_, nullptr);
    }
    ParentSignalsIgnored(const ParentSignalsIgnored&) = delete;
    ParentSignalsIgnored& operator=(const ParentSignalsIgnored&) = delete;

    /// The signals the child must get back to their default action: those the parent did not
    /// ignore before.
    sigset_t toDefaultInChild() const {
        sigset_t set;
        sigemptyset(&set);
        if (oldInterrupt_.sa_handler != SIG_IGN)
            sigaddset(&set, SIGINT);
        if (oldQuit_.sa_handler != SIG_IGN)
            sigaddset(&set, SIGQUIT);
        return set;
    }

  private:
    struct sigaction oldInterrupt_ {};
    struct sigaction oldQuit_ {};
};

volatile sig_atomic_t runningChild = 0;
volatile sig_atomic_t signalToPassOn = 0;

void passOn(int signal) {
    signalToPassOn = signal;
    if (runningChild > 0)
        ::kill(static_cast<pid_t>(runningChild), signal);
}

/// While alive, termination and hang-up go on to the child, which is waited for as usual; once
/// it has ended, the signal ends this process too, as it was meant to. A signal the process
/// ignored before stays ignored (nohup), and the child inherits that.
class SignalsPassedOn {
  public:
    SignalsPassedOn() {
        signalToPassOn = 0;
        struct sigaction action {};
        action.sa_handler = passOn;
        sigemptyset(&action.sa_mask);
        for (std::size_t index = 0; index < std::size(signals_); ++index) {
            sigaction(signals_[index], nullptr, &old_[index]);
            if (old_[index].sa_handler == SIG_DFL)
                sigaction(signals_[index], &action, nullptr);
        }
    }
    ~SignalsPassedOn() {
        runningChild = 0;
        for (std::size_t index = 0; index < std::size(signals_); ++index)
            sigaction(signals_[index], &old_[index], nullptr);
        if (signalToPassOn != 0)
            ::raise(signalToPassOn);
    }
    SignalsPassedOn(const SignalsPassedOn&) = delete;
    SignalsPassedOn& operator=(const SignalsPassedOn&) = delete;

    /// Notes the child; a signal that came while it was being started goes to it now.
    void started(pid_t child) {
        runningChild = child;
        if (signalToPassOn != 0)
            ::kill(child, signalToPassOn);
    }

  private:
    static constexpr int signals_[] = {SIGTERM, SIGHUP};
    struct sigaction old_[2]{};
};

/// The spawn attributes and file actions, destroyed on every path.
class SpawnSetup {
  public:
    SpawnSetup() {
        posix_spawnattr_init(&attributes);
        posix_spawn_file_actions_init(&actions);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    posix_spawnattr_t attributes;
    posix_spawn_file_actions_t actions;
};

int32_t statusFromWait(int waitStatus) {
    if (WIFEXITED(waitStatus))
        return WEXITSTATUS(waitStatus);
    return 20;
}

RunResult failedToStart(int hostError) {
    RunResult result;
    result.status = -1;
    result.hostError = hostError;
    return result;
}

void readAll(int fd, std::string& into) {
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count > 0)
            into.append(buffer, static_cast<size_t>(count));
        else if (count == 0 || errno != EINTR)
            return;
    }
}

} // namespace

RunResult runProgram(const std::vector<std::string>& arguments, const RunOptions& options) {
    if (arguments.empty() || arguments[0].empty())
        return failedToStart(ENOENT);

    Descriptor input, output, captureRead, captureWrite;
    if (!options.inputFile.empty()) {
        input = openForChild(options.inputFile, O_RDONLY);
        if (!input.valid())
            return failedToStart(errno);
    }
    if (options.captureOutput) {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0)
            return failedToStart(errno);
        captureRead = Descriptor(ends[0]);
        captureWrite = aboveStandard(Descriptor(ends[1]));
        if (!captureWrite.valid())
            return failedToStart(errno);
    } else if (!options.outputFile.empty()) {
        const int mode = options.appendOutput ? O_APPEND : O_TRUNC;
        output = openForChild(options.outputFile, O_WRONLY | O_CREAT | mode);
        if (!output.valid())
            return failedToStart(errno);
    }

    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    SpawnSetup setup;
    if (input.valid())
        posix_spawn_file_actions_adddup2(&setup.actions, input.get(), STDIN_FILENO);
    if (captureWrite.valid())
        posix_spawn_file_actions_adddup2(&setup.actions, captureWrite.get(), STDOUT_FILENO);
    else if (output.valid())
        posix_spawn_file_actions_adddup2(&setup.actions, output.get(), STDOUT_FILENO);
    if (!options.workingDirectory.empty())
        posix_spawn_file_actions_addchdir_np(&setup.actions, options.workingDirectory.c_str());

    std::fflush(stdout);
    std::fflush(stderr);

    SignalsPassedOn passedOn;
    ParentSignalsIgnored ignored;
    sigset_t toDefault = ignored.toDefaultInChild();
    // This process ignores these two for itself (a closed output, a file size limit); the child
    // gets the usual behaviour.
    sigaddset(&toDefault, SIGPIPE);
    sigaddset(&toDefault, SIGXFSZ);
    sigset_t parentMask;
    sigprocmask(SIG_SETMASK, nullptr, &parentMask);
    posix_spawnattr_setsigdefault(&setup.attributes, &toDefault);
    posix_spawnattr_setsigmask(&setup.attributes, &parentMask);
    posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    pid_t child = 0;
    const int spawnError =
        posix_spawn(&child, argv[0], &setup.actions, &setup.attributes, argv.data(), environ);
    // The child has its copies now; the parent's must go so that a captured pipe can end.
    input.reset();
    output.reset();
    captureWrite.reset();
    if (spawnError != 0)
        return failedToStart(spawnError);
    passedOn.started(child);

    RunResult result;
    if (captureRead.valid())
        readAll(captureRead.get(), result.output);
    int waitStatus = 0;
    pid_t waited;
    do {
        waited = ::waitpid(child, &waitStatus, 0);
    } while (waited < 0 && errno == EINTR);
    if (waited < 0)
        return failedToStart(errno);
    result.status = statusFromWait(waitStatus);
    return result;
}

} // namespace tolvarn::platform
