#include "launcher/requesters.h"

#include "launcher/requestChoice.h"
#include "pAmigaDos/pathComposition.h"
#include "platform/dos/dos.h"
#include "platform/requesters/asl.h"
#include "platform/requesters/intuition.h"
#include "runtime/exception.h"
#include "runtime/types.h"

#include <cstring>

Library* AslBase = nullptr;
Library* GadToolsBase = nullptr;

namespace {

EListStorage<1> defaultArgumentStorage;
/// The argument list used when a caller passes none: a message text without format codes never
/// reads it, and one with codes reads a 0 instead of whatever lies in memory.
EList defaultArguments = nullptr;

constexpr char residentRequestChoice[] = "RequestChoice";

intptr_t tagData(const void* pointer) {
    return reinterpret_cast<intptr_t>(pointer);
}

/// Returns the head of the chain of chosen entries of a multi-selection, in selection order.
EString chainOfSelection(const FileRequester* requester) {
    EString head = nullptr;
    EString tail = nullptr;
    tolvarn::guarded(
        [&] {
            for (int32_t i = 0; i < requester->fr_NumArgs; ++i) {
                const WBArg& entry = requester->fr_ArgList[i];
                EString path = lockJoinPart(entry.wa_Lock, entry.wa_Name);
                if (path == nullptr)
                    continue;
                if (head == nullptr)
                    head = path;
                else
                    Link(tail, path);
                tail = path;
            }
        },
        [&] {
            if (exception != 0)
                head = DisposeString(head);
        });
    return head;
}

/// Returns the single chosen path: the drawer with the file name added, or the drawer alone.
EString pathOfSelection(const FileRequester* requester) {
    const char* drawer = requester->fr_Drawer != nullptr ? requester->fr_Drawer : "";
    const char* file = requester->fr_File;
    if (file == nullptr || file[0] == '\0')
        return StrJoin(drawer);
    EString path = NewString(static_cast<int32_t>(std::strlen(drawer) + std::strlen(file) + 1));
    StrCopy(path, drawer);
    if (!fillAddPart(path, file)) {
        DisposeString(path);
        Throw(ID_BUG, "requestFile(); the chosen path did not fit");
    }
    return path;
}

} // namespace

EString requestFile(const char* drawer, const char* file, const char* pattern, const char* title,
                    int32_t flags, const TagItem* moreTags) {
    const TagItem tags[] = {
        {ASLFR_TitleText, tagData(title != nullptr ? title : "Select File")},
        {ASLFR_InitialShowVolumes, drawer == nullptr ? TRUE : FALSE},
        {drawer != nullptr ? ASLFR_InitialDrawer : TAG_IGNORE, tagData(drawer)},
        {file != nullptr ? ASLFR_InitialFile : TAG_IGNORE, tagData(file)},
        {pattern != nullptr ? ASLFR_InitialPattern : TAG_IGNORE, tagData(pattern)},
        {ASLFR_DoPatterns, pattern != nullptr ? TRUE : FALSE},
        {ASLFR_Flags1, flags & (REQUEST_SAVE_MODE | REQUEST_MULTI_SELECT)},
        {ASLFR_Flags2, flags & (REQUEST_DRAWERS_ONLY | REQUEST_REJECT_ICONS)},
        {moreTags != nullptr ? TAG_MORE : TAG_DONE, tagData(moreTags)},
    };
    void* requester = AllocAslRequest(ASL_FileRequest, tags);
    if (requester == nullptr)
        return nullptr;

    EString chosen = nullptr;
    tolvarn::guarded(
        [&] {
            if (AslRequest(requester, nullptr) == 0)
                return;
            const auto* fileRequester = static_cast<const FileRequester*>(requester);
            chosen = fileRequester->fr_NumArgs == 0 ? pathOfSelection(fileRequester)
                                                    : chainOfSelection(fileRequester);
        },
        [&] { FreeAslRequest(requester); });
    return chosen;
}

int32_t requestMessage(const char* title, const char* text, const char* gadgets, EList args,
                       Window* window) {
    static const intptr_t noArguments[1] = {0};
    const EasyStruct description = {20, 0, title, text, gadgets};
    const intptr_t* items = args != nullptr               ? args
                            : defaultArguments != nullptr ? defaultArguments
                                                          : noArguments;
    return EasyRequestArgs(window, &description, nullptr, items);
}

int32_t executeCommand(const char* command) {
    const int32_t result = SystemTagList(command, nullptr);
    // The Shell's own "could not run" codes arrive in the low 16 bits, as system() reports them.
    const auto low = static_cast<int16_t>(static_cast<uint32_t>(result) & 0xFFFFu);
    return low == 127 || low == -1 ? FALSE : TRUE;
}

int32_t runCommand(const char* command, int32_t stackSize, BPTR currentDir) {
    const TagItem tags[] = {
        {stackSize != 0 ? NP_StackSize : TAG_IGNORE, stackSize},
        {currentDir != nullptr ? NP_CurrentDir : TAG_IGNORE, tagData(currentDir)},
        {TAG_DONE, 0},
    };
    return SystemTagList(command, tags) == -1 ? FALSE : TRUE;
}

void startRequesterModule() {
    defaultArguments = ListInit(&defaultArgumentStorage, 1);
    SetList(defaultArguments, 1);
    defaultArguments[0] = 0;
    AslBase = OpenLibrary("asl.library", 39);
    if (AslBase == nullptr)
        CleanUp(10);
    GadToolsBase = OpenLibrary("gadtools.library", 39);
    if (GadToolsBase == nullptr)
        CleanUp(10);
    // The notice runs inside the program instead of as a program of its own, which saves a
    // process start per launch. Should the list refuse it, the Shell still finds the program.
    AddSegment(residentRequestChoice, requestChoiceResident, FALSE);
}

void endRequesterModule() {
    if (Segment* resident = FindSegment(residentRequestChoice, nullptr, FALSE))
        RemSegment(resident);
    // The bases are forgotten as well as closed, so that a later start in the same process that
    // stops before this module never closes them a second time.
    CloseLibrary(AslBase);
    AslBase = nullptr;
    CloseLibrary(GadToolsBase);
    GadToolsBase = nullptr;
}
