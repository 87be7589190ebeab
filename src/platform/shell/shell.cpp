// The program's own Shell: reads a command line the way the original system's Shell does, finds
// the command, sets up its redirections and runs it with an argument array. No host shell is
// involved, so nothing in a command line means anything to /bin/sh.
#include "platform/shell/shell.h"
#include "platform/dos/internal.h"
#include "platform/exec/internal.h"
#include "platform/host/host.h"
#include "platform/shell/commandLine.h"
#include "platform/shell/process.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

#ifndef TOLVARN_COMMAND_DIR_FROM_BIN
#define TOLVARN_COMMAND_DIR_FROM_BIN "../libexec/tolvarn"
#endif

namespace {

using namespace tolvarn::platform;
using namespace tolvarn::platform::internal;

/// The runnable file in `directory` whose name is `word`, letter case ignored (an exact match
/// wins; among the others the first in byte order, so the choice does not depend on the order
/// the folder lists them in). Empty when there is none.
std::optional<std::string> findInDirectory(const std::string& directory, const std::string& word) {
    const std::string exact = joinPath(directory, word);
    if (isRunnableFile(exact))
        return exact;
    DIR* folder = ::opendir(directory.c_str());
    if (folder == nullptr)
        return std::nullopt;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(folder)) {
        if (equalsIgnoringCase(entry->d_name, word))
            names.emplace_back(entry->d_name);
    }
    ::closedir(folder);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string candidate = joinPath(directory, name);
        if (isRunnableFile(candidate))
            return candidate;
    }
    return std::nullopt;
}

/// The folders a bare command word is looked for in: the program's own folder (PROGDIR:), then
/// the installation's command folder (libexec/tolvarn, found from the program's folder, so a
/// moved installation still finds it), then the absolute folders of the host's PATH. Never the
/// current directory: a game folder holding a file named like a command must not be able to run
/// it.
std::vector<std::string> commandFolders() {
    const std::string program = programDirectory();
    std::vector<std::string> folders = {program, joinPath(program, TOLVARN_COMMAND_DIR_FROM_BIN)};
    for (std::string& folder : hostPathFolders())
        folders.push_back(std::move(folder));
    return folders;
}

/// The host path of the command to run, or empty with IoErr() set.
std::optional<std::string> findCommand(const std::string& word, const std::string& base) {
    if (word.find(':') != std::string::npos || word.find('/') != std::string::npos) {
        // The entry itself, not its link target, so that a program that looks at the name it
        // was started by sees the name it was given.
        const auto entry = resolvePath(word, Target::entry, base);
        if (!entry)
            return std::nullopt;
        if (!isRunnableFile(*entry)) {
            SetIoErr(ERROR_OBJECT_WRONG_TYPE);
            return std::nullopt;
        }
        return entry;
    }
    for (const std::string& folder : commandFolders()) {
        if (auto found = findInDirectory(folder, word))
            return found;
    }
    SetIoErr(ERROR_OBJECT_NOT_FOUND);
    return std::nullopt;
}

/// The host paths a command line redirects standard input and output to.
struct Redirections {
    std::optional<std::string> input, output;
};

/// The host path of a redirection; NIL: is the null device. Empty with IoErr() set.
std::optional<std::string> redirectionPath(const std::string& target, Target kind,
                                           const std::string& base) {
    if (equalsIgnoringCase(target, "NIL:"))
        return std::string(nullDevicePath);
    return resolvePath(target, kind, base);
}

/// The redirections of `parsed`, resolved against `base`: the input must exist, the output's
/// folder must. Empty with IoErr() set when one cannot be had.
std::optional<Redirections> resolveRedirections(const ParsedCommand& parsed,
                                                const std::string& base) {
    Redirections paths;
    if (parsed.input && !(paths.input = redirectionPath(*parsed.input, Target::existing, base)))
        return std::nullopt;
    if (parsed.output && !(paths.output = redirectionPath(*parsed.output, Target::create, base)))
        return std::nullopt;
    return paths;
}

/// The lock NP_CurrentDir gives, or 0 when the tags give none.
BPTR currentDirTag(const TagItem* tags) {
    const TagItem* tag = tags;
    while (tag != nullptr && tag->ti_Tag != TAG_DONE) {
        if (tag->ti_Tag == TAG_MORE) {
            tag = reinterpret_cast<const TagItem*>(tag->ti_Data);
            continue;
        }
        // NP_StackSize needs nothing: host stacks are far larger than any size asked for.
        if (tag->ti_Tag == NP_CurrentDir && tag->ti_Data != 0)
            return reinterpret_cast<BPTR>(tag->ti_Data);
        ++tag;
    }
    return nullptr;
}

/// The resident command a bare command word names: the program's own before the Shell's.
Segment* residentCommand(const std::string& word) {
    if (word.find(':') != std::string::npos || word.find('/') != std::string::npos)
        return nullptr;
    if (Segment* segment = FindSegment(word.c_str(), nullptr, DOSFALSE))
        return segment;
    return FindSegment(word.c_str(), nullptr, DOSTRUE);
}

/// A standard stream pointed at a file while this lives, as a started program would find it;
/// the original stream comes back afterwards, with whatever was written flushed to the file.
class StreamRedirected {
  public:
    StreamRedirected(std::FILE* stream, int descriptor)
        : stream_(stream), descriptor_(descriptor) {}
    ~StreamRedirected() {
        if (!redirected_) {
            if (saved_ >= 0)
                ::close(saved_);
            return;
        }
        putBackStandardDescriptor(stream_, descriptor_, saved_);
        std::clearerr(stream_); // an end of the file read does not stay with the original
    }
    StreamRedirected(const StreamRedirected&) = delete;
    StreamRedirected& operator=(const StreamRedirected&) = delete;

    /// Points the stream at `hostPath` opened with `flags`. Returns false with errno set when it
    /// cannot be opened.
    bool redirect(const std::string& hostPath, int flags) {
        std::fflush(stream_);
        // Kept above the standard descriptors; none when the stream was closed to begin with.
        saved_ = keepStandardDescriptor(descriptor_);
        if (saved_ < 0 && errno != EBADF)
            return false;
        const int file = ::open(hostPath.c_str(), flags | O_CLOEXEC, 0666);
        if (file < 0)
            return false;
        redirected_ = true;
        if (file == descriptor_) // it took the closed stream's place
            return ::fcntl(file, F_SETFD, 0) == 0;
        const bool moved = ::dup2(file, descriptor_) >= 0;
        const int error = errno;
        ::close(file);
        errno = error;
        return moved;
    }

  private:
    std::FILE* stream_;
    int descriptor_;
    int saved_ = -1;
    bool redirected_ = false;
};

/// What a resident command runs with: its argument text as GetArgStr(), the folder it was given
/// as the current directory, and a use count that keeps it on the list. All of it goes back to
/// the caller's when this goes, whichever way the command ended.
class ResidentCall {
  public:
    ResidentCall(Segment& segment, const std::vector<std::string>& arguments, BPTR currentDir)
        : segment_(segment), savedArguments_(GetArgStr()) {
        if (segment_.seg_UC >= 0)
            ++segment_.seg_UC;
        setArgumentText(argumentTextOf(arguments));
        if (currentDir != nullptr) {
            savedDir_ = CurrentDir(currentDir);
            changedDir_ = true;
        }
    }
    ~ResidentCall() {
        if (changedDir_)
            CurrentDir(savedDir_);
        setArgumentText(std::move(savedArguments_));
        if (segment_.seg_UC > 0)
            --segment_.seg_UC;
    }
    ResidentCall(const ResidentCall&) = delete;
    ResidentCall& operator=(const ResidentCall&) = delete;

  private:
    Segment& segment_;
    std::string savedArguments_;
    BPTR savedDir_ = nullptr;
    bool changedDir_ = false;
};

/// Runs a resident command with the redirections of its command line. Returns its return code,
/// or -1 with IoErr() set when a redirection cannot be had or opened.
int32_t runResident(Segment& segment, const ParsedCommand& parsed, BPTR currentDir,
                    const std::string& base) {
    const auto paths = resolveRedirections(parsed, base);
    if (!paths)
        return -1;
    StreamRedirected standardInput(stdin, STDIN_FILENO);
    StreamRedirected standardOutput(stdout, STDOUT_FILENO);
    const int outputMode = O_WRONLY | O_CREAT | (parsed.appendOutput ? O_APPEND : O_TRUNC);
    if ((paths->input && !standardInput.redirect(*paths->input, O_RDONLY)) ||
        (paths->output && !standardOutput.redirect(*paths->output, outputMode))) {
        setIoErrFromHostError(errno);
        return -1;
    }
    ResidentCall call(segment, parsed.arguments, currentDir);
    return segment.seg_Seg(GetArgStr());
}

} // namespace

namespace tolvarn::platform::internal {

int keepStandardDescriptor(int descriptor) {
    return ::fcntl(descriptor, F_DUPFD_CLOEXEC, 3);
}

void putBackStandardDescriptor(std::FILE* stream, int descriptor, int kept) {
    std::fflush(stream);
    if (kept >= 0) {
        ::dup2(kept, descriptor);
        ::close(kept);
    } else {
        ::close(descriptor); // it was closed before
    }
}

} // namespace tolvarn::platform::internal

int32_t SystemTagList(const char* command, const TagItem* tags) {
    if (command == nullptr)
        return 1;
    const auto parsed = parseCommandLine(command);
    if (!parsed) {
        SetIoErr(ERROR_BAD_TEMPLATE);
        return -1;
    }
    if (parsed->command.empty())
        return 0;

    // The command runs in NP_CurrentDir's folder, else in the process's current directory.
    const BPTR currentDir = currentDirTag(tags);
    const auto base = currentDir != nullptr ? lockPath(currentDir) : currentDirectoryPath();
    if (!base)
        return -1;
    if (Segment* resident = residentCommand(parsed->command))
        return runResident(*resident, *parsed, currentDir, *base);
    const auto program = findCommand(parsed->command, *base);
    if (!program)
        return -1;
    const auto paths = resolveRedirections(*parsed, *base);
    if (!paths)
        return -1;

    RunOptions options;
    options.workingDirectory = *base;
    options.inputFile = paths->input.value_or("");
    options.outputFile = paths->output.value_or("");
    options.appendOutput = parsed->appendOutput;

    std::vector<std::string> arguments = {*program};
    arguments.insert(arguments.end(), parsed->arguments.begin(), parsed->arguments.end());
    const RunResult result = runProgram(arguments, options);
    if (result.status < 0)
        setIoErrFromHostError(result.hostError);
    return result.status;
}
