// Joining, splitting and expanding paths; names from locks; soft-link targets; examining an entry
// without following links. Every path result is a new e-string owned by the caller.
#pragma once

#include "platform/dos/dos.h"
#include "strings/estring.h"

/// Returns path (or only its directory part, with dirOnly) joined with name. Never NIL.
EString strJoinPart(const char* path, const char* name, int32_t dirOnly);
/// Appends name to the path in eString. Returns TRUE when it fitted (length resynchronised).
int32_t fillAddPart(EString eString, const char* name);
/// Returns the directory part of path ("" for a bare name). Never NIL.
EString strPathPart(const char* path);
/// Returns the full name of the locked directory joined with name, or NIL.
EString lockJoinPart(BPTR lock, const char* name);
/// Fills eString with the full name of the lock. Returns TRUE on success.
int32_t fillNameFromLock(EString eString, BPTR lock);
/// Returns the full name of the lock, or NIL (IoErr() as the failing call left it).
EString strNameFromLock(BPTR lock);
/// Fills eString with the full name of the current (or else the home) directory.
int32_t fillCurrentDirName(EString eString);
/// Returns the full name of the current directory, or NIL.
EString strCurrentDirName();
/// Returns the absolute form of path, named as on disk; with keepLink a soft link is not
/// resolved. Never NIL.
EString strExpandPath(const char* path, int32_t keepLink);
/// Returns the target of the soft link path, or NIL. The kind (0 target read, type unchecked;
/// 1 no target; 2 a soft link; 3 target read but not a soft link) goes to *kindOut when kindOut is
/// not null, and to `secondResult`.
EString strReadLink(const char* path, int32_t* kindOut, int32_t skipTypeCheck);
/// Returns a shared lock on the directory that holds path's entry, or 0.
BPTR lockParentDir(const char* path);
/// Fills fib with path's own entry (a soft link as a link): the entry of exactly that name, or
/// else the first in byte order whose name differs only in letter case, as Lock finds it; every
/// character of the name stands for itself. Returns TRUE when found.
int32_t examineDirEntry(const char* path, FileInfoBlock* fib);
/// As examineDirEntry, by scanning the parent directory entry by entry.
int32_t examineDirEntryByScan(const char* path, FileInfoBlock* fib);
