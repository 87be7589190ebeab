#include "dosboxHarness.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

namespace tolvarn::testing {

namespace {

std::vector<std::string> mergedEnvironment(const Environment& extra) {
    std::map<std::string, std::string> merged;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const auto equals = text.find('=');
        if (equals != std::string::npos)
            merged[text.substr(0, equals)] = text.substr(equals + 1);
    }
    for (const auto& [name, value] : extra)
        merged[name] = value;
    std::vector<std::string> result;
    for (const auto& [name, value] : merged)
        result.push_back(name + "=" + value);
    return result;
}

std::vector<char*> pointersTo(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (auto& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

std::string readAll(std::FILE* file) {
    std::string text;
    std::rewind(file);
    char buffer[4096];
    size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, count);
    return text;
}

int statusToExitCode(int status) {
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

} // namespace

ProcessResult runProcess(const std::vector<std::string>& argv, const Environment& extra,
                         std::chrono::milliseconds timeout, const std::string& workDir) {
    ProcessResult result;
    std::vector<std::string> arguments = argv;
    std::vector<std::string> environment = mergedEnvironment(extra);
    std::vector<char*> argumentPointers = pointersTo(arguments);
    std::vector<char*> environmentPointers = pointersTo(environment);

    std::FILE* output = std::tmpfile();
    if (output == nullptr) {
        result.output = "cannot make a file for the output";
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fileno(output), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fileno(output), STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (!workDir.empty())
        posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);

    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int error = posix_spawnp(&pid, argumentPointers[0], &actions, &attributes,
                                   argumentPointers.data(), environmentPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) {
        result.output = "cannot start " + argv[0] + ": " + std::strerror(error);
        std::fclose(output);
        return result;
    }

    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR))
            break;
        if (std::chrono::steady_clock::now() - start > timeout) {
            result.timedOut = true;
            kill(-pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // Whatever the child left behind in its group (a DOSBox below a launcher that has ended)
    // must not outlive the test either.
    kill(-pid, SIGKILL);
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.exitCode = statusToExitCode(status);
    result.output = readAll(output);
    std::fclose(output);
    return result;
}

Environment headlessEnvironment() {
    return {{"SDL_VIDEODRIVER", "dummy"}, {"SDL_AUDIODRIVER", "dummy"}};
}

std::string dosboxExecutable() {
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/bin:/bin";
    size_t begin = 0;
    while (begin <= folders.size()) {
        size_t end = folders.find(':', begin);
        if (end == std::string::npos)
            end = folders.size();
        const fs::path candidate = fs::path(folders.substr(begin, end - begin)) / "dosbox";
        if (access(candidate.c_str(), X_OK) == 0)
            return fs::absolute(candidate).string();
        begin = end + 1;
    }
    return "";
}

std::string headlessConfigPath() {
    return TOLVARN_DOSBOX_CONFIG;
}

ProcessResult runDosbox(const std::vector<std::string>& dosCommands,
                        std::chrono::milliseconds timeout) {
    std::vector<std::string> argv = {"dosbox", "-exit", "-conf", headlessConfigPath()};
    for (const auto& command : dosCommands) {
        argv.push_back("-c");
        argv.push_back(command);
    }
    argv.push_back("-c");
    argv.push_back("exit");
    return runProcess(argv, headlessEnvironment(), timeout);
}

std::string dosProgram(const std::string& name) {
    const fs::path built = fs::path(TOLVARN_DOS_PROGRAMS) / name;
    if (fs::exists(built))
        return built.string();
    return (fs::path(TOLVARN_DOS_SOURCES) / name).string();
}

std::string copyInto(const std::string& source, const std::string& target) {
    fs::create_directories(fs::path(target).parent_path());
    fs::copy_file(source, target, fs::copy_options::overwrite_existing);
    return target;
}

void makeIsoImage(const std::string& folder, const std::string& image) {
    const ProcessResult made = runProcess({"genisoimage", "-quiet", "-o", image, folder});
    ASSERT_EQ(made.exitCode, 0) << made.output;
}

} // namespace tolvarn::testing
