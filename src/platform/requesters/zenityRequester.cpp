// Requesters as desktop dialogs, drawn by zenity.
#include "platform/requesters/requesters.h"
#include "platform/shell/process.h"

#include <filesystem>

namespace tolvarn::platform::internal {

namespace {

constexpr int zenityTimedOut = 5;

/// zenity reads backslash escapes in dialog texts; doubling keeps a backslash a backslash.
std::string literalText(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        if (c == '\\')
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}

FileChoice choiceFromPath(const std::string& path, bool drawersOnly) {
    if (drawersOnly)
        return {path, ""};
    const std::filesystem::path chosen(path);
    return {chosen.parent_path().string(), chosen.filename().string()};
}

} // namespace

std::vector<FileChoice> askFileWithZenity(const std::string& zenity, const FileRequest& request) {
    std::vector<std::string> arguments = {zenity, "--file-selection"};
    const std::string title = request.title.empty() || request.question.empty()
                                  ? request.title + request.question
                                  : request.title + ": " + request.question;
    if (!title.empty())
        arguments.push_back("--title=" + title);
    if (!request.initialDrawer.empty()) {
        // A trailing "/" opens the folder itself rather than selecting it in its parent.
        std::string start = request.initialDrawer;
        if (start.back() != '/')
            start += '/';
        if (!request.drawersOnly)
            start += request.initialFile;
        arguments.push_back("--filename=" + start);
    }
    if (request.drawersOnly)
        arguments.push_back("--directory");
    if (request.saveMode)
        arguments.push_back("--save");
    if (request.multiSelect) {
        arguments.push_back("--multiple");
        arguments.push_back("--separator=\n");
    }
    if (!request.pattern.empty() && !request.drawersOnly) {
        if (const auto globs = globsFromPattern(request.pattern)) {
            std::string shown, match;
            for (const HostGlob& glob : *globs) {
                shown += (shown.empty() ? "" : " ") + glob.shown;
                match += " " + glob.match;
            }
            arguments.push_back("--file-filter=" + shown + " |" + match);
            arguments.push_back("--file-filter=All files | *");
        }
    }

    const RunResult result = runProgram(arguments, {.captureOutput = true});
    std::vector<FileChoice> choices;
    if (result.status != 0)
        return choices;
    size_t start = 0;
    while (start < result.output.size()) {
        size_t end = result.output.find('\n', start);
        if (end == std::string::npos)
            end = result.output.size();
        const std::string path = result.output.substr(start, end - start);
        start = end + 1;
        // zenity hands back absolute paths; anything else is not a choice we can trust.
        if (!path.empty() && path[0] == '/')
            choices.push_back(choiceFromPath(path, request.drawersOnly));
        if (!request.multiSelect && !choices.empty())
            break;
    }
    return choices;
}

int showMessageWithZenity(const std::string& zenity, const MessageRequest& request) {
    std::vector<std::string> arguments = {zenity};
    const bool oneButton = request.buttons.size() == 1;
    // A single-button message that reports a failure or a warning looks like one.
    const bool error = request.text.starts_with("ERROR");
    const bool warning = request.text.starts_with("WARNING");
    arguments.push_back(!oneButton ? "--question"
                        : error    ? "--error"
                        : warning  ? "--warning"
                                   : "--info");
    arguments.push_back("--no-markup");
    if (!request.title.empty())
        arguments.push_back("--title=" + request.title);
    arguments.push_back("--text=" + literalText(request.text));
    if (oneButton) {
        arguments.push_back("--ok-label=" + request.buttons[0]);
    } else {
        // Every button an extra one, so that zenity names the one pressed.
        arguments.push_back("--switch");
        for (const std::string& button : request.buttons)
            arguments.push_back("--extra-button=" + button);
    }
    if (request.timeoutSeconds > 0)
        arguments.push_back("--timeout=" + std::to_string(request.timeoutSeconds));

    const RunResult result = runProgram(arguments, {.captureOutput = true});
    if (result.status < 0 || result.status == zenityTimedOut)
        return -1;
    if (oneButton)
        return result.status == 0 ? 0 : -1;
    std::string pressed = result.output;
    while (!pressed.empty() && (pressed.back() == '\n' || pressed.back() == '\r'))
        pressed.pop_back();
    for (size_t index = 0; index < request.buttons.size(); ++index) {
        if (request.buttons[index] == pressed)
            return static_cast<int>(index);
    }
    return -1;
}

} // namespace tolvarn::platform::internal
