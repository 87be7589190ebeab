// Changes to a program's folder that never leave it half done. One run at a time holds the
// folder; a new file is written and flushed under a temporary name and then renamed into place;
// a second name for a file is a hard link, or a flushed copy where the file system has no hard
// links; every change is flushed to the folder before the next one starts. Names are single
// components of the held folder, found ignoring letter case as everywhere else.
#pragma once

#include "platform/exec/types.h"

#include <cstdint>

struct FileInfoBlock;

namespace tolvarn::platform {

struct FolderHold;

/// What stands under a name: nothing at all, a file (a regular file, or a soft link to one), or
/// something else (a folder, a FIFO, a device, a dangling soft link), which is never read.
enum class EntryKind { none, file, other };

/// Takes the exclusive hold on `folder` (a path of the program's syntax), waiting up to
/// `waitMilliseconds` while another run holds it. While the hold lasts, interrupt, termination
/// and hang-up signals wait and take effect when it is given back. Returns the hold, or null
/// when the folder is busy or cannot be opened.
FolderHold* holdFolder(const char* folder, int32_t waitMilliseconds);
/// Gives a hold back; signals that arrived meanwhile take effect now. Null does nothing.
void releaseFolder(FolderHold* hold);

EntryKind entryKind(FolderHold* hold, const char* name);
/// DOSTRUE when both names are regular files (not soft links) holding the same bytes.
int32_t sameContents(FolderHold* hold, const char* name, const char* otherName);
/// DOSTRUE when `name` is a regular file (not a soft link) holding the bytes of the file at `path`
/// (a path of the program's syntax; soft links followed).
int32_t holdsBytesOf(FolderHold* hold, const char* name, const char* path);

/// Copies the regular file at `source` (soft links followed; anything else, a FIFO or a device,
/// is refused without waiting on it) into a new file that waits under a temporary name for
/// commitCopy. The copy gets the source's date, comment and permissions, and is always writable
/// by its owner. Returns DOSTRUE when the copy is complete on disk; on failure nothing is left.
int32_t writeCopy(FolderHold* hold, const char* source, const char* name);
/// Renames the copy waiting for `name` over `name` in one step. Returns DOSTRUE when it is in
/// place.
int32_t commitCopy(FolderHold* hold, const char* name);
/// Removes the copy waiting for `name`, if any.
void discardCopy(FolderHold* hold, const char* name);
/// Removes the copies, for names starting with `stem`, that a run ended before committing.
/// Returns how many there were.
int32_t discardLeftoverCopies(FolderHold* hold, const char* stem);

/// Gives the file `name` the second name `newName`, which must be free: a hard link, or a copy
/// flushed to disk where the file system has no hard links. Returns DOSTRUE when done.
int32_t keepUnder(FolderHold* hold, const char* name, const char* newName);
/// Renames `from` to `to`, in one step; with `replace` DOSFALSE only when `to` is free. The entry
/// itself moves, never a soft link's target. Returns DOSTRUE when done.
int32_t renameEntry(FolderHold* hold, const char* from, const char* to, int32_t replace);
/// Removes the file or soft link `name`. Returns DOSTRUE when done.
int32_t removeEntry(FolderHold* hold, const char* name);

/// Writes `size` bytes into a new file that takes the name `destination` (a path of the
/// program's syntax) only once it is whole and on disk, with the protection, comment and date of
/// `like` when it is not null. With `replace` DOSFALSE only when the name is free; otherwise over
/// whatever stands there, in one step. Returns DOSTRUE when the file is in place; on failure
/// nothing is left and nothing was changed.
int32_t writeWholeFile(const char* destination, const void* bytes, int64_t size,
                       const FileInfoBlock* like, int32_t replace);

/// Test hook: the process ends at once (_exit) before its `step`th change to a held folder from
/// now on; 0 cancels. A change is creating, writing, flushing, linking, renaming or removing.
void crashBeforeFolderStep(int step);
/// Test hook: keepUnder behaves as on a file system without hard links while `refuse` is true.
void refuseHardLinks(bool refuse);

} // namespace tolvarn::platform
