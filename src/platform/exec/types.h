// Basic types of the host layer: the names the program logic uses for the system it was written
// for, with that system's conventions (DOSTRUE -1, DOSFALSE 0, 0 for "no lock").
#pragma once

#include <cstdint>

inline constexpr int32_t DOSTRUE = -1;
inline constexpr int32_t DOSFALSE = 0;

/// A file-system port. On this host there is one per device or assign directory; it is only ever
/// compared and handed back to the layer.
struct MsgPort;

/// A lock on a file or directory. 0 (nullptr) means "no lock".
struct FileLock {
    MsgPort* fl_Task;    // the file system that owns the locked object
    int32_t fl_Access;   // SHARED_LOCK or EXCLUSIVE_LOCK
    const char* hostPath; // canonical absolute host path of the locked object (owned by the layer)
};
using BPTR = FileLock*;

/// An open file. 0 (nullptr) means "no handle".
struct FileHandle;

using Tag = uint32_t;
struct TagItem {
    Tag ti_Tag;
    intptr_t ti_Data;
};
inline constexpr Tag TAG_DONE = 0;
inline constexpr Tag TAG_END = 0;
inline constexpr Tag TAG_IGNORE = 1;
inline constexpr Tag TAG_MORE = 2;
inline constexpr Tag TAG_USER = 0x80000000u;
