// Stands in for the requesters of the asl library (asl.h) and intuition (intuition.h).
// Internal to the host layer: the three ways a requester reaches a person (a desktop dialog,
// the terminal, or nowhere), and the text work shared by the file and message requesters.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tolvarn::platform::internal {

enum class RequesterBackend { gui, terminal, none };

/// The back end for the next requester: the one TOLVARN_REQUESTER names (gui, terminal, none),
/// otherwise gui when zenity is installed and the display that DISPLAY or WAYLAND_DISPLAY names
/// can be reached (one on another host is taken on trust), then terminal when standard
/// input and standard error are terminals, then none. A gui asked for without zenity is none.
RequesterBackend chooseRequesterBackend();

/// Where zenity is installed; "" when it is not.
std::string zenityProgram();

/// What a file requester asks for; folders are host paths.
struct FileRequest {
    std::string title;
    std::string question;      // what the person is asked to choose; "" for a plain request
    std::string initialDrawer; // "" when there is none or it does not exist
    std::string initialFile;
    std::string pattern; // in the program's pattern syntax; "" shows every file
    bool drawersOnly = false;
    bool saveMode = false;
    bool multiSelect = false;
};

/// One chosen object: its folder (host path) and its name ("" when a folder was chosen).
struct FileChoice {
    std::string drawer;
    std::string name;
    bool operator==(const FileChoice&) const = default;
};

/// What a message requester shows.
struct MessageRequest {
    std::string title;
    std::string text;
    std::vector<std::string> buttons; // from the left; never empty
    int32_t timeoutSeconds = 0;       // 0: waits for an answer
};

/// The back ends. File requesters return the choices, empty on cancel. Message requesters
/// return the index of the pressed button from the left (0-based), or -1 when the requester was
/// closed, timed out or could not be shown.
std::vector<FileChoice> askFileWithZenity(const std::string& zenity, const FileRequest& request);
std::vector<FileChoice> askFileInTerminal(const FileRequest& request);
int showMessageWithZenity(const std::string& zenity, const MessageRequest& request);
int showMessageInTerminal(const MessageRequest& request);
/// Prints "title: text" on standard error (just the text without a title). Returns -1.
int showMessageNowhere(const MessageRequest& request);

/// One host file-name pattern made from a program pattern: what it shows and what it matches.
struct HostGlob {
    std::string shown; // e.g. "*.exe"
    std::string match; // e.g. "*.[eE][xX][eE]"
    bool operator==(const HostGlob&) const = default;
};

/// Turns a pattern of the program's syntax (#? ? ( | ) [ ] % ' and literal text) into host
/// globs that match the same names in any letter case, one per alternative. Empty when the
/// pattern cannot be expressed that way (negation, too many alternatives, unbalanced brackets).
std::optional<std::vector<HostGlob>> globsFromPattern(std::string_view pattern);

/// Formats requester text: %s, %c, %d, %u, %x, %X (each optionally with l, a "-" or "0" flag,
/// a width and a ".limit") and %% take their values from `args` in order, starting at item
/// `next`, which moves past the items used. A null args gives empty values.
std::string formatRequesterText(const char* format, const intptr_t* args, size_t& next);

} // namespace tolvarn::platform::internal
