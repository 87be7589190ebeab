// Launcher test helpers: a sandbox with a stub DOSBox and a stub notice command that note how
// they were started, and whole runs of the program, in this process or as a child.
#pragma once

#include "launcher/program.h"
#include "platform/exec.h"
#include "runtime/memory.h"
#include "support/testSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace tolvarn::testing {

using Lines = std::vector<std::string>;

struct RunOutcome {
    int returnCode = -1;
    std::string out, err;
};

inline Lines linesOf(const std::string& text) {
    Lines lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

inline void setExecutable(const std::string& path, bool executable) {
    std::filesystem::permissions(path, std::filesystem::perms::owner_exec,
                                 executable ? std::filesystem::perm_options::add
                                            : std::filesystem::perm_options::remove);
}

/// A null-terminated argument vector pointing into `arguments`.
inline std::vector<char*> wordsOf(Lines& arguments) {
    std::vector<char*> words;
    for (std::string& argument : arguments)
        words.push_back(argument.data());
    words.push_back(nullptr);
    return words;
}
inline std::string builtProgram(const std::string& name) {
    return buildDir() + "/src/launcher/" + name;
}

/// "dosbox" holds a stub DOSBox that writes its working directory and its arguments, one a line,
/// to dosbox.log; "bin", first on PATH, a stub RequestChoice. Both note their start in events.log.
/// Requesters answer nothing, at once.
class LauncherSandbox : public Sandbox {
public:
    LauncherSandbox() : oldPath_(std::getenv("PATH")) {
        setenv("TOLVARN_REQUESTER", "none", 1);
        setenv("PATH", (path("bin:") + oldPath_).c_str(), 1);
        writeScript("bin/RequestChoice", "echo \"notice $*\" >>'" + path("events.log") + "'\n");
        makeDOSBox("dosbox");
        writeFile("dosbox/Tolvarn.conf", "[sdl]\n");
    }
    ~LauncherSandbox() {
        setenv("PATH", oldPath_.c_str(), 1);
        unsetenv("TOLVARN_REQUESTER");
    }
    void writeScript(const std::string& relative, const std::string& body) const {
        setExecutable(writeFile(relative, "#!/bin/sh\n" + body), true);
    }
    void makeDOSBox(const std::string& folder) const {
        const std::string log = "'" + path("dosbox.log") + "'";
        writeScript(folder + "/DOSBox", "pwd -P >" + log + "\nfor a in \"$@\"; do echo \"$a\"; done >>" +
                                            log + "\necho dosbox >>'" + path("events.log") + "'\n");
    }
    /// Stores DOSBox's folder where the launcher keeps it.
    void rememberDOSBox(const std::string& folder) const {
        writeFile("config/tolvarn/env/AppDir/DOSBox", folder);
    }
    std::string remembered() const { return readFile(path("config/tolvarn/env/AppDir/DOSBox")); }
    void assign(const std::string& name, const std::string& folder) const {
        writeFile("config/tolvarn/assigns", readFile(path("config/tolvarn/assigns")) + name + ": " +
                                                folder + "\n");
        tolvarn::platform::resetProcess();
    }
    Lines dosboxLog() const { return linesOf(readFile(path("dosbox.log"))); }
    Lines events() const { return linesOf(readFile(path("events.log"))); }

private:
    std::string oldPath_;
};

/// Runs the program's entry in this process as a Shell start with `arguments`.
inline RunOutcome runShellStart(Lines arguments) {
    arguments.insert(arguments.begin(), "tolvarn");
    std::vector<char*> words = wordsOf(arguments);
    const int count = static_cast<int>(arguments.size());
    tolvarn::platform::setArgumentsFromHost(count, words.data());
    tolvarn::platform::setShellStart(true);
    RunOutcome outcome;
    ::testing::internal::CaptureStderr();
    outcome.out = captureStdout([&] { outcome.returnCode = tolvarnMain(count, words.data()); });
    outcome.err = ::testing::internal::GetCapturedStderr();
    return outcome;
}

/// Runs a built program as a child, input from /dev/null, output to files in the sandbox.
inline RunOutcome runChild(const Sandbox& sandbox, const std::string& name, Lines arguments) {
    arguments.insert(arguments.begin(), builtProgram(name));
    std::vector<char*> words = wordsOf(arguments);
    const std::string out = sandbox.path("child.out"), err = sandbox.path("child.err");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t child = 0;
    int status = 0;
    RunOutcome outcome;
    if (posix_spawn(&child, words[0], &actions, nullptr, words.data(), environ) == 0 &&
        waitpid(child, &status, 0) == child && WIFEXITED(status))
        outcome = {WEXITSTATUS(status), readFile(out), readFile(err)};
    posix_spawn_file_actions_destroy(&actions);
    return outcome;
}

/// Notes what the host layer and the allocator have handed out; check() expects it all back.
class NothingLeftBehind {
public:
    void check() const {
        EXPECT_EQ(tolvarn::platform::outstanding(), handles_);
        EXPECT_EQ(tolvarn::memory::outstandingBlocks(), blocks_);
    }

private:
    tolvarn::platform::Outstanding handles_ = tolvarn::platform::outstanding();
    int64_t blocks_ = tolvarn::memory::outstandingBlocks();
};

} // namespace tolvarn::testing
