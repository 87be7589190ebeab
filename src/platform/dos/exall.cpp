// ExAll: a directory's entries in batches, packed into the caller's buffer. Each record holds the
// fields up to the asked-for data kind, followed by its name and (from ED_COMMENT on) its
// comment; records are aligned for the next one. A scan that does not end in one call keeps its
// place in the control structure until the next call or ExAllEnd.
#include "platform/dos/internal.h"

#include <cstddef>
#include <cstring>

namespace tolvarn::platform::internal {

namespace {

/// The bytes of a record's fixed part for a data kind: the fields up to and including that kind.
std::size_t fixedSize(int32_t type) {
    switch (type) {
    case ED_NAME:
        return offsetof(ExAllData, ed_Type);
    case ED_TYPE:
        return offsetof(ExAllData, ed_Size);
    case ED_SIZE:
        return offsetof(ExAllData, ed_Prot);
    case ED_PROTECTION:
        return offsetof(ExAllData, ed_Days);
    case ED_DATE:
        return offsetof(ExAllData, ed_Comment);
    case ED_COMMENT:
        return offsetof(ExAllData, ed_OwnerUID);
    default:
        return sizeof(ExAllData);
    }
}

std::size_t alignedUp(std::size_t size) {
    constexpr std::size_t alignment = alignof(ExAllData);
    return (size + alignment - 1) / alignment * alignment;
}

template <typename Value> void put(char* record, std::size_t offset, Value value) {
    // The record is only as long as its data kind asks, so fields are stored one by one and
    // never through a whole ExAllData.
    std::memcpy(record + offset, &value, sizeof value);
}

/// Writes one record at `record` (which has room for `recordSize` bytes). The strings go after
/// the fixed part.
void writeRecord(char* record, const EntryDetails& details, int32_t type) {
    char* strings = record + fixedSize(type);
    put<ExAllData*>(record, offsetof(ExAllData, ed_Next), nullptr);
    std::memcpy(strings, details.name.c_str(), details.name.size() + 1);
    put<char*>(record, offsetof(ExAllData, ed_Name), strings);
    strings += details.name.size() + 1;
    if (type >= ED_TYPE)
        put<int32_t>(record, offsetof(ExAllData, ed_Type), details.type);
    if (type >= ED_SIZE) {
        put<uint32_t>(record, offsetof(ExAllData, ed_Size), cutToUnsigned32(details.size));
        put<uint64_t>(record, offsetof(ExAllData, ed_Size64), details.size);
    }
    if (type >= ED_PROTECTION)
        put<uint32_t>(record, offsetof(ExAllData, ed_Prot), details.protection);
    if (type >= ED_DATE) {
        put<uint32_t>(record, offsetof(ExAllData, ed_Days),
                      static_cast<uint32_t>(details.date.ds_Days));
        put<uint32_t>(record, offsetof(ExAllData, ed_Mins),
                      static_cast<uint32_t>(details.date.ds_Minute));
        put<uint32_t>(record, offsetof(ExAllData, ed_Ticks),
                      static_cast<uint32_t>(details.date.ds_Tick));
    }
    if (type >= ED_COMMENT) {
        std::memcpy(strings, details.comment.c_str(), details.comment.size() + 1);
        put<char*>(record, offsetof(ExAllData, ed_Comment), strings);
    }
    if (type >= ED_OWNER) {
        put<uint16_t>(record, offsetof(ExAllData, ed_OwnerUID),
                      static_cast<uint16_t>(details.owner));
        put<uint16_t>(record, offsetof(ExAllData, ed_OwnerGID),
                      static_cast<uint16_t>(details.group));
    }
}

} // namespace

void endExAllScan(ExAllControl* control) {
    if (control == nullptr)
        return;
    endDirectoryScan(control->eac_HostScan);
    control->eac_HostScan = nullptr;
    control->eac_LastKey = 0;
}

} // namespace tolvarn::platform::internal

using namespace tolvarn::platform::internal;

/// Fills buffer with records of the directory's entries (soft links as themselves) that match
/// eac_MatchString, and sets eac_Entries to their number. Returns DOSTRUE when entries remain
/// (call again, or ExAllEnd); DOSFALSE with IoErr() ERROR_NO_MORE_ENTRIES when the scan is
/// complete (the last batch is in the buffer), and DOSFALSE with another IoErr() on failure,
/// ERROR_BUFFER_OVERFLOW when not even one entry fits the buffer, ERROR_READ_PROTECTED when the
/// user may not read the directory. The scan is over after DOSFALSE.
int32_t ExAll(BPTR lock, ExAllData* buffer, int32_t size, int32_t type, ExAllControl* control) {
    if (control == nullptr || buffer == nullptr) {
        SetIoErr(ERROR_REQUIRED_ARG_MISSING);
        return DOSFALSE;
    }
    control->eac_Entries = 0;
    if (type < ED_NAME || type > ED_OWNER || size < 0) {
        endExAllScan(control);
        SetIoErr(ERROR_BAD_NUMBER);
        return DOSFALSE;
    }
    if (control->eac_MatchFunc != nullptr) {
        // A match hook would be code of the original system; the program never passes one.
        endExAllScan(control);
        SetIoErr(ERROR_NOT_IMPLEMENTED);
        return DOSFALSE;
    }
    DirectoryScan* scan =
        control->eac_LastKey != 0 ? liveDirectoryScan(control->eac_HostScan) : nullptr;
    if (scan == nullptr) {
        endExAllScan(control);
        const auto path = lockPath(lock);
        if (!path)
            return DOSFALSE;
        const auto directory = examinePath(*path, true);
        if (!directory)
            return DOSFALSE;
        if (directory->type != ST_USERDIR && directory->type != ST_ROOT) {
            SetIoErr(ERROR_OBJECT_WRONG_TYPE);
            return DOSFALSE;
        }
        scan = startDirectoryScan(*path);
        if (scan == nullptr)
            return DOSFALSE;
        control->eac_HostScan = scan;
    }

    char* const bytes = reinterpret_cast<char*>(buffer);
    // A buffer that is not aligned for records starts at the first aligned byte.
    std::size_t used =
        alignedUp(reinterpret_cast<uintptr_t>(bytes)) - reinterpret_cast<uintptr_t>(bytes);
    char* previous = nullptr;
    while (scan->next < scan->names.size()) {
        const std::string& name = scan->names[scan->next];
        // Matching first spares examining the entries that are not asked for.
        const bool asked = control->eac_MatchString == nullptr ||
                           matchesCompiledPattern(control->eac_MatchString, name);
        const auto details =
            asked ? examinePath(joinPath(scan->directory, name), false) : std::nullopt;
        if (!details) {
            ++scan->next;
            continue;
        }
        std::size_t recordSize = fixedSize(type) + details->name.size() + 1;
        if (type >= ED_COMMENT)
            recordSize += details->comment.size() + 1;
        if (used + recordSize > static_cast<std::size_t>(size)) {
            if (control->eac_Entries > 0)
                break;
            endExAllScan(control);
            SetIoErr(ERROR_BUFFER_OVERFLOW);
            return DOSFALSE;
        }
        char* record = bytes + used;
        writeRecord(record, *details, type);
        if (previous != nullptr)
            put<ExAllData*>(previous, offsetof(ExAllData, ed_Next),
                            reinterpret_cast<ExAllData*>(record));
        previous = record;
        used += alignedUp(recordSize);
        ++control->eac_Entries;
        ++scan->next;
    }
    if (scan->next >= scan->names.size()) {
        endExAllScan(control);
        SetIoErr(ERROR_NO_MORE_ENTRIES);
        return DOSFALSE;
    }
    control->eac_LastKey = static_cast<uint32_t>(scan->next);
    return DOSTRUE;
}

/// Ends a scan that ExAll left unfinished.
void ExAllEnd(BPTR /*lock*/, ExAllData* /*buffer*/, int32_t /*size*/, int32_t /*type*/,
              ExAllControl* control) {
    endExAllScan(control);
    if (control != nullptr)
        control->eac_Entries = 0;
}
