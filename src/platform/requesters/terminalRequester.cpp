// Requesters as questions in the terminal. They talk on standard error and listen on standard
// input, so they still reach the person when standard output goes to a file or a pipe.
#include "platform/dos/internal.h"
#include "platform/requesters/requesters.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvarn::platform::internal {

namespace {

using Clock = std::chrono::steady_clock;

void say(const std::string& text) {
    std::fflush(stdout);
    std::fflush(stderr);
    size_t written = 0;
    while (written < text.size()) {
        const ssize_t count = ::write(STDERR_FILENO, text.data() + written, text.size() - written);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return;
        written += static_cast<size_t>(count);
    }
}

/// Reads one line from standard input, without its line end. Reads byte by byte, so that what
/// follows the line stays for whoever reads standard input next. Returns empty at the end of
/// input, on an error, or when `deadline` passes first.
std::optional<std::string> readLine(std::optional<Clock::time_point> deadline) {
    std::string line;
    for (;;) {
        if (deadline) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now());
            if (left.count() <= 0)
                return std::nullopt;
            pollfd input{STDIN_FILENO, POLLIN, 0};
            const int ready = ::poll(&input, 1, static_cast<int>(left.count()));
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0)
                return std::nullopt;
        }
        char c;
        const ssize_t count = ::read(STDIN_FILENO, &c, 1);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return line.empty() ? std::nullopt : std::optional<std::string>(line);
        if (c == '\n')
            break;
        line += c;
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

std::string lowerCase(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool isDirectory(const std::string& hostPath) {
    struct stat info {};
    return ::stat(hostPath.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

/// The names a pattern accepts, in words: "Names ending in .exe, .com or .bat" when every
/// alternative is a plain suffix, else "Names matching " and the pattern itself.
std::string patternInWords(const std::string& pattern) {
    const auto globs = globsFromPattern(pattern);
    std::vector<std::string> suffixes;
    for (const HostGlob& glob : globs ? *globs : std::vector<HostGlob>{}) {
        if (!glob.shown.starts_with("*.") ||
            glob.shown.find_first_of("*?[", 1) != std::string::npos)
            return "Names matching " + pattern;
        suffixes.push_back(glob.shown.substr(1));
    }
    if (suffixes.empty())
        return "Names matching " + pattern;
    std::string words = "Names ending in " + suffixes[0];
    for (size_t index = 1; index < suffixes.size(); ++index)
        words += (index + 1 == suffixes.size() ? " or " : ", ") + suffixes[index];
    return words;
}

/// Turns what the person typed into a choice, or explains in `complaint` why it is none.
std::optional<FileChoice> choiceFromTyped(std::string typed, const FileRequest& request,
                                          std::string& complaint) {
    const char* home = std::getenv("HOME");
    if (home != nullptr && (typed == "~" || typed.starts_with("~/")))
        typed = home + typed.substr(1);
    // A relative path starts in the requester's folder, as a typed name does in a dialog.
    if (!request.initialDrawer.empty() && typed[0] != '/' && typed.find(':') == std::string::npos)
        typed = request.initialDrawer + "/" + typed;

    if (request.drawersOnly) {
        const auto folder = resolveExisting(typed.c_str());
        if (!folder || !isDirectory(*folder)) {
            complaint = "Not a folder: ";
            return std::nullopt;
        }
        return FileChoice{*folder, ""};
    }
    const auto file = resolveForCreate(typed.c_str());
    if (!file) {
        complaint = "No such folder: ";
        return std::nullopt;
    }
    if (isDirectory(*file)) {
        complaint = "That is a folder, not a file: ";
        return std::nullopt;
    }
    const std::filesystem::path path(*file);
    return FileChoice{path.parent_path().string(), path.filename().string()};
}

} // namespace

std::vector<FileChoice> askFileInTerminal(const FileRequest& request) {
    std::string intro = "\n";
    if (!request.title.empty())
        intro += request.title + "\n";
    intro += !request.question.empty() ? request.question
             : request.drawersOnly     ? "Choose a folder."
             : request.saveMode        ? "Name a file to save."
                                       : "Choose a file.";
    if (!request.pattern.empty() && !request.drawersOnly)
        intro += " " + patternInWords(request.pattern) + ".";
    intro += "\n";
    if (!request.initialDrawer.empty())
        intro += "Relative paths start in " + request.initialDrawer + "\n";
    say(intro);

    std::vector<FileChoice> choices;
    for (;;) {
        say(choices.empty() ? "Path (an empty line cancels): "
                            : "Another path (an empty line ends): ");
        const auto line = readLine(std::nullopt);
        if (!line || line->empty()) {
            if (!line)
                say("\n");
            return choices;
        }
        std::string complaint;
        if (auto choice = choiceFromTyped(*line, request, complaint)) {
            choices.push_back(*choice);
            if (!request.multiSelect)
                return choices;
        } else {
            say(complaint + *line + "\n");
        }
    }
}

int showMessageInTerminal(const MessageRequest& request) {
    std::string shown = "\n";
    if (!request.title.empty())
        shown += request.title + "\n";
    shown += request.text + "\n";
    const size_t count = request.buttons.size();
    if (count == 1) {
        shown += "[" + request.buttons[0] + "] Press Enter";
    } else {
        for (size_t index = 0; index < count; ++index)
            shown += std::to_string(index + 1) + ") " + request.buttons[index] + "  ";
        shown += "\nChoice:";
    }
    if (request.timeoutSeconds > 0)
        shown += " (closes by itself in " + std::to_string(request.timeoutSeconds) +
                 (request.timeoutSeconds == 1 ? " second) " : " seconds) ");
    say(count == 1 || request.timeoutSeconds > 0 ? shown : shown + " ");

    std::optional<Clock::time_point> deadline;
    if (request.timeoutSeconds > 0)
        deadline = Clock::now() + std::chrono::seconds(request.timeoutSeconds);
    for (;;) {
        const auto line = readLine(deadline);
        if (!line) {
            say("\n");
            return -1;
        }
        if (count == 1)
            return 0;
        const std::string answer = lowerCase(trimmed(*line));
        for (size_t index = 0; index < count; ++index) {
            if (answer == std::to_string(index + 1) || answer == lowerCase(request.buttons[index]))
                return static_cast<int>(index);
        }
        say("Type a number from 1 to " + std::to_string(count) + ": ");
    }
}

} // namespace tolvarn::platform::internal
