// Launcher test helpers: a sandbox with a stub DOSBox that notes how it was started, and whole runs
// of the program, in this process or as a child. The tests with a real DOSBox use them too.
#pragma once

#include "launcher/program.h"
#include "platform/exec/exec.h"
#include "platform/host/host.h"
#include "platform/shell/process.h"
#include "runtime/memory.h"
#include "support/testSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace tolvarn::testing {

namespace fs = std::filesystem;
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
/// to dosbox.log, and notes its start in events.log. Requesters answer nothing, at once, and the
/// notice shows on standard error. PATH holds no DOSBox (the host's would be found on a first
/// run): only "tools", with links to the few host programs the tests run.
class LauncherSandbox : public Sandbox {
  public:
    LauncherSandbox() {
        for (const char* tool : {"timeout", "sleep", "cat", "genisoimage"})
            if (const std::string found = tolvarn::platform::findInHostPath(tool); !found.empty())
                fs::create_symlink(found, makeDir("tools") + "/" + tool);
        path_.emplace("PATH", path("tools"));
        writeScript("dosbox/DOSBox", "{ pwd -P; printf '%s\\n' \"$@\"; } >'" + path("dosbox.log") +
                                         "'\necho dosbox >>'" + path("events.log") + "'\n");
        writeFile("dosbox/Tolvarn.conf", "[sdl]\n");
    }
    void writeScript(const std::string& relative, const std::string& body,
                     const std::string& interpreter = "#!/bin/sh\n") const {
        fs::permissions(writeFile(relative, interpreter + body), fs::perms::owner_all);
    }
    /// Stores DOSBox's folder where the launcher keeps it.
    void rememberDOSBox(const std::string& folder) const {
        writeFile("config/tolvarn/env/AppDir/DOSBox", folder);
    }
    std::string remembered() const { return readFile(path("config/tolvarn/env/AppDir/DOSBox")); }
    void assign(const std::string& name, const std::string& folder) const {
        writeFile("config/tolvarn/assigns",
                  readFile(path("config/tolvarn/assigns")) + name + ": " + folder + "\n");
        tolvarn::platform::resetProcess();
    }
    Lines dosboxLog() const { return linesOf(readFile(path("dosbox.log"))); }
    Lines events() const { return linesOf(readFile(path("events.log"))); }

  private:
    ScopedVariable requester_{"TOLVARN_REQUESTER", "none"};
    std::optional<ScopedVariable> path_; // set once the tools are linked from the host's PATH
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

/// Starts `action` in a child process that then ends with 0; returns the child's id.
inline pid_t startInChild(const std::function<void()>& action) {
    const pid_t child = fork();
    if (child == 0) {
        action();
        _exit(0);
    }
    return child;
}

/// The wait status of `child` once it has ended.
inline int statusOf(pid_t child) {
    int status = 0;
    waitpid(child, &status, 0);
    return status;
}

/// Starts `command` (its first word looked up in PATH) as a child, its standard input, output and
/// error from and to the files `input`, `out` and `err` ("": left as they are); returns its id.
inline pid_t startChild(Lines command, const std::string& input = "", const std::string& out = "",
                        const std::string& err = "") {
    return startInChild([&] {
        for (const auto& [descriptor, file] : {std::pair{0, input}, {1, out}, {2, err}})
            if (!file.empty())
                dup2(open(file.c_str(), descriptor == 0 ? O_RDONLY : O_WRONLY | O_CREAT | O_TRUNC,
                          0600),
                     descriptor);
        std::vector<char*> words = wordsOf(command);
        execvp(words[0], words.data());
        _exit(127);
    });
}

/// Runs `command` as startChild does and waits for it; input from `input` (a file), output to
/// files in the sandbox.
inline RunOutcome runChild(const Sandbox& sandbox, const Lines& command,
                           const std::string& input = "/dev/null") {
    const std::string out = sandbox.path("child.out"), err = sandbox.path("child.err");
    const int status = statusOf(startChild(command, input, out, err));
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(out), readFile(err)};
}

/// The entries of `folder` but GAME.EXE in name order, each as "name=what" (what lay() in the
/// DOS32A test reads: the bytes, "->target" for a soft link or "fifo"), separated by blanks.
inline std::string listingOf(const std::string& folder) {
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::directory_iterator(folder))
        if (const std::string name = entry.path().filename().string(); name != "GAME.EXE")
            entries[name] = entry.is_symlink() ? "->" + fs::read_symlink(entry).string()
                            : entry.is_fifo()  ? "fifo"
                                               : readFile(entry.path().string());
    std::string text;
    for (const auto& [name, what] : entries)
        text += (text.empty() ? "" : " ") + name + "=" + what;
    return text;
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
