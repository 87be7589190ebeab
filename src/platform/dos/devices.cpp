// Devices and assigns: the names before a ":" in a path. A few are built in (NIL:, ENV:,
// ENVARC:, PROGDIR:, T:); the user adds assigns in $XDG_CONFIG_HOME/tolvarn/assigns, one per
// line ("Games: /home/me/dos games"), and a name given on several lines searches its directories
// in the order given.
#include "platform/dos/internal.h"
#include "platform/exec/internal.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <pwd.h>
#include <unistd.h>
#include <unordered_map>

namespace tolvarn::platform::internal {

namespace {

std::vector<Device> mountedDevices;
bool devicesLoaded = false;

std::string homeDirectory() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/')
        return home;
    // Without HOME the password database still knows where the user lives.
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] == '/')
        return found->pw_dir;
    return "/";
}

std::string configurationDirectory() {
    // Only an absolute XDG_CONFIG_HOME counts; a relative one is to be ignored.
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && config[0] == '/')
        return joinPath(config, "tolvarn");
    return joinPath(joinPath(homeDirectory(), ".config"), "tolvarn");
}

std::string temporaryDirectory() {
    if (const char* temporary = std::getenv("TMPDIR"); temporary != nullptr && temporary[0] == '/')
        return temporary;
    return "/tmp";
}

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

/// The directory of one assign line, "~" standing for the home directory. Empty when the line
/// names no absolute directory.
std::string assignDirectory(std::string_view text) {
    std::string directory(trimmed(text));
    if (directory == "~")
        directory = homeDirectory();
    else if (directory.starts_with("~/"))
        directory = joinPath(homeDirectory(), std::string_view(directory).substr(2));
    return directory.starts_with('/') ? directory : std::string();
}

/// The devices and assigns by name, letter case folded, so that neither reading a long assigns
/// file nor looking a name up costs more than one step per name.
using DeviceIndex = std::unordered_map<std::string, std::size_t>;
DeviceIndex deviceIndex;

std::string foldedName(std::string_view name) {
    std::string folded(name);
    for (char& character : folded)
        character = foldCase(character);
    return folded;
}

void addDevice(std::vector<Device>& devices, DeviceIndex& index, Device device) {
    index.emplace(foldedName(device.name), devices.size());
    devices.push_back(std::move(device));
}

void readAssigns(const std::string& file, std::vector<Device>& devices, DeviceIndex& index) {
    const std::size_t builtIn = devices.size();
    // A FIFO or a device in the file's place counts as no file: reading it could wait for ever.
    const std::string contents = readRegularFile(file).value_or("");
    const auto lines = static_cast<std::size_t>(std::count(contents.begin(), contents.end(), '\n'));
    devices.reserve(builtIn + lines + 1);
    index.reserve(builtIn + lines + 1);
    std::string_view rest = contents;
    while (!rest.empty()) {
        const auto end = rest.find('\n');
        const std::string_view text = trimmed(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (text.empty() || text.front() == ';' || text.front() == '#')
            continue;
        const auto colon = text.find(':');
        if (colon == std::string_view::npos || colon == 0)
            continue;
        const std::string_view name = text.substr(0, colon);
        if (name.find_first_of(" \t/") != std::string_view::npos)
            continue;
        const std::string directory = assignDirectory(text.substr(colon + 1));
        if (directory.empty())
            continue;
        const auto [slot, added] = index.try_emplace(foldedName(name), devices.size());
        if (added)
            devices.push_back(Device{std::string(name), {directory}, false});
        else if (slot->second >= builtIn) // the built-in devices are the layer's own stores
            devices[slot->second].directories.push_back(directory);
    }
}

void loadDevices() {
    std::vector<Device> devices;
    DeviceIndex index;
    const std::string store = variableStoreDirectory();
    addDevice(devices, index, Device{"NIL", {}, true});
    addDevice(devices, index, Device{"ENV", {store}, false});
    addDevice(devices, index, Device{"ENVARC", {store}, false});
    addDevice(devices, index, Device{"PROGDIR", {programDirectory()}, false});
    addDevice(devices, index, Device{"T", {temporaryDirectory()}, false});
    readAssigns(joinPath(configurationDirectory(), "assigns"), devices, index);
    mountedDevices = std::move(devices);
    deviceIndex = std::move(index);
    devicesLoaded = true;
}

} // namespace

void reloadDevices() {
    loadDevices();
}

std::optional<Device> findDevice(std::string_view name) {
    if (!devicesLoaded)
        loadDevices();
    const auto found = deviceIndex.find(foldedName(name));
    if (found == deviceIndex.end())
        return std::nullopt;
    return mountedDevices[found->second];
}

std::string variableStoreDirectory() {
    return joinPath(configurationDirectory(), "env");
}

MsgPort* hostFileSystemPort() {
    return portNamed("host");
}

MsgPort* portNamed(const std::string& name) {
    // Ports are never taken down: callers may keep a pointer to one for as long as they like.
    static std::map<std::string, std::unique_ptr<MsgPort>> ports;
    auto& port = ports[name];
    if (!port)
        port = std::make_unique<MsgPort>(MsgPort{name});
    return port.get();
}

} // namespace tolvarn::platform::internal
