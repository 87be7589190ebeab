// The Shell's resident list: commands a program has made resident are found before any folder is
// searched and run inside the program, so they cost no process start.
#include "platform/dos/internal.h"
#include "platform/exec/internal.h"

#include <memory>
#include <string>

namespace {

using namespace tolvarn::platform::internal;

/// A list entry together with the name it owns.
struct ResidentCommand {
    Segment segment{};
    std::string name;
};

/// The list's entries in the order they were added; each entry's seg_Next points at the next.
std::vector<std::unique_ptr<ResidentCommand>>& residentCommands() {
    static std::vector<std::unique_ptr<ResidentCommand>> commands;
    return commands;
}

void relink() {
    auto& commands = residentCommands();
    for (std::size_t index = 0; index < commands.size(); ++index)
        commands[index]->segment.seg_Next =
            index + 1 < commands.size() ? &commands[index + 1]->segment : nullptr;
}

bool isSystem(const Segment& segment) {
    return segment.seg_UC == CMD_SYSTEM;
}

} // namespace

int32_t AddSegment(const char* name, ResidentEntry entry, int32_t system) {
    if (name == nullptr || *name == '\0' || entry == nullptr) {
        SetIoErr(ERROR_REQUIRED_ARG_MISSING);
        return DOSFALSE;
    }
    if (FindSegment(name, nullptr, system) != nullptr) {
        SetIoErr(ERROR_OBJECT_EXISTS);
        return DOSFALSE;
    }
    auto command = std::make_unique<ResidentCommand>();
    command->name = name;
    command->segment = {nullptr, system != 0 ? CMD_SYSTEM : 0, entry, command->name.c_str()};
    residentCommands().push_back(std::move(command));
    relink();
    ++counters().residentCommands;
    return DOSTRUE;
}

Segment* FindSegment(const char* name, const Segment* start, int32_t system) {
    if (name == nullptr)
        return nullptr;
    const auto& commands = residentCommands();
    Segment* segment = commands.empty() ? nullptr : &commands.front()->segment;
    if (start != nullptr)
        segment = start->seg_Next;
    for (; segment != nullptr; segment = segment->seg_Next) {
        if (isSystem(*segment) == (system != 0) && equalsIgnoringCase(segment->seg_Name, name))
            return segment;
    }
    return nullptr;
}

int32_t RemSegment(Segment* segment) {
    auto& commands = residentCommands();
    for (auto at = commands.begin(); at != commands.end(); ++at) {
        if (&(*at)->segment != segment)
            continue;
        if (segment->seg_UC > 0) {
            SetIoErr(ERROR_OBJECT_IN_USE);
            return DOSFALSE;
        }
        commands.erase(at);
        relink();
        --counters().residentCommands;
        return DOSTRUE;
    }
    SetIoErr(ERROR_OBJECT_NOT_FOUND);
    return DOSFALSE;
}
