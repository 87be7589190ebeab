// The file requester: its settings from tag lists, the back end that asks, and the results the
// program reads from the requester afterwards.
#include "platform/requesters/asl.h"

#include "platform/dos/internal.h"
#include "platform/exec/internal.h"
#include "platform/requesters/requesters.h"

#include <new>
#include <set>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

using namespace tolvarn::platform::internal;

/// A file requester as this layer keeps it; the program sees only the public part.
struct HostFileRequester : FileRequester {
    std::string title;
    std::string initialDrawer;
    std::string initialFile;
    std::string pattern;
    bool doPatterns = false;
    uint32_t flags1 = 0;
    uint32_t flags2 = 0;

    // What fr_Drawer, fr_File and fr_ArgList point into.
    std::string drawer;
    std::string file;
    std::vector<std::string> names;
    std::vector<WBArg> arguments;
};

/// The requesters handed out and not yet freed, by the handle the program holds.
std::set<const void*>& liveRequesters() {
    static std::set<const void*> live;
    return live;
}

HostFileRequester* requesterFrom(void* handle) {
    if (!liveRequesters().contains(handle))
        return nullptr;
    return static_cast<HostFileRequester*>(static_cast<FileRequester*>(handle));
}

std::string textOf(intptr_t data) {
    const auto* text = reinterpret_cast<const char*>(data);
    return text != nullptr ? text : "";
}

void applyTags(HostFileRequester& requester, const TagItem* tags) {
    const TagItem* tag = tags;
    while (tag != nullptr && tag->ti_Tag != TAG_DONE) {
        if (tag->ti_Tag == TAG_MORE) {
            tag = reinterpret_cast<const TagItem*>(tag->ti_Data);
            continue;
        }
        switch (tag->ti_Tag) {
        case ASLFR_TitleText:
            requester.title = textOf(tag->ti_Data);
            break;
        case ASLFR_InitialDrawer:
            requester.initialDrawer = textOf(tag->ti_Data);
            break;
        case ASLFR_InitialFile:
            requester.initialFile = textOf(tag->ti_Data);
            break;
        case ASLFR_InitialPattern:
            requester.pattern = textOf(tag->ti_Data);
            break;
        case ASLFR_DoPatterns:
            requester.doPatterns = tag->ti_Data != 0;
            break;
        case ASLFR_Flags1:
            requester.flags1 = static_cast<uint32_t>(tag->ti_Data);
            break;
        case ASLFR_Flags2:
            requester.flags2 = static_cast<uint32_t>(tag->ti_Data);
            break;
        default:
            break; // TAG_IGNORE, ASLFR_InitialShowVolumes and tags this host has no use for
        }
        ++tag;
    }
}

void releaseResults(HostFileRequester& requester) {
    for (WBArg& argument : requester.arguments)
        UnLock(argument.wa_Lock);
    requester.arguments.clear();
    requester.names.clear();
    requester.fr_NumArgs = 0;
    requester.fr_ArgList = nullptr;
}

void setDrawerAndFile(HostFileRequester& requester, std::string drawer, std::string file) {
    requester.drawer = std::move(drawer);
    requester.file = std::move(file);
    requester.fr_Drawer = requester.drawer.data();
    requester.fr_File = requester.file.data();
}

/// The host folder a requester starts in; "" when its drawer is not an existing folder.
std::string startingFolder(const std::string& drawer) {
    if (drawer.empty())
        return "";
    const auto folder = resolveExisting(drawer.c_str());
    struct stat info {};
    if (!folder || ::stat(folder->c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return "";
    return *folder;
}

std::vector<FileChoice> ask(const FileRequest& request) {
    switch (chooseRequesterBackend()) {
    case RequesterBackend::gui:
        return askFileWithZenity(zenityProgram(), request);
    case RequesterBackend::terminal:
        return askFileInTerminal(request);
    case RequesterBackend::none:
        break;
    }
    return {};
}

} // namespace

void* AllocAslRequest(uint32_t type, const TagItem* tags) {
    if (type != ASL_FileRequest)
        return nullptr;
    auto* requester = new (std::nothrow) HostFileRequester{};
    if (requester == nullptr)
        return nullptr;
    applyTags(*requester, tags);
    setDrawerAndFile(*requester, requester->initialDrawer, requester->initialFile);
    FileRequester* handle = requester;
    liveRequesters().insert(handle);
    ++counters().requesters;
    return handle;
}

int32_t AslRequest(void* handle, const TagItem* tags) {
    HostFileRequester* requester = requesterFrom(handle);
    if (requester == nullptr)
        return DOSFALSE;
    applyTags(*requester, tags);
    releaseResults(*requester);

    const int32_t saved = IoErr();
    FileRequest request;
    request.title = requester->title;
    request.initialDrawer = startingFolder(requester->initialDrawer);
    // A drawer text that names no folder is shown as it stands, as the drawer field shows it on
    // the original system: callers put their question there.
    if (request.initialDrawer.empty())
        request.question = requester->initialDrawer;
    request.initialFile = requester->initialFile;
    if (requester->doPatterns)
        request.pattern = requester->pattern;
    request.drawersOnly = (requester->flags2 & FRF_DRAWERSONLY) != 0;
    request.saveMode = (requester->flags1 & FRF_DOSAVEMODE) != 0;
    request.multiSelect = (requester->flags1 & FRF_DOMULTISELECT) != 0 && !request.drawersOnly;
    const std::vector<FileChoice> choices = ask(request);
    SetIoErr(saved);
    if (choices.empty())
        return DOSFALSE;

    setDrawerAndFile(*requester, choices[0].drawer, choices[0].name);
    if (request.multiSelect) {
        // Names first, so that the pointers into them stay put.
        for (const FileChoice& choice : choices)
            requester->names.push_back(choice.name);
        for (size_t index = 0; index < choices.size(); ++index) {
            // The host path as it is: no device syntax may be read into a colon in a name.
            const auto folder = canonicalPath(choices[index].drawer);
            const BPTR lock = folder ? makeLock(*folder, SHARED_LOCK) : nullptr;
            requester->arguments.push_back({lock, requester->names[index].data()});
        }
        requester->fr_NumArgs = static_cast<int32_t>(requester->arguments.size());
        requester->fr_ArgList = requester->arguments.data();
    }
    return DOSTRUE;
}

void FreeAslRequest(void* handle) {
    HostFileRequester* requester = requesterFrom(handle);
    if (requester == nullptr)
        return;
    releaseResults(*requester);
    liveRequesters().erase(handle);
    --counters().requesters;
    delete requester;
}
