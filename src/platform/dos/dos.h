// Stand-ins for the dos library: locks, paths, entries, files, variables and the Shell. Paths use
// the syntax the program logic was written for (NAME: devices and assigns, "/" between
// components, letter case ignored), plus the host rule that a leading "/" is an absolute host
// path.
#pragma once

#include "platform/exec/types.h"

// Lock and access modes.
inline constexpr int32_t SHARED_LOCK = -2;
inline constexpr int32_t ACCESS_READ = -2;
inline constexpr int32_t EXCLUSIVE_LOCK = -1;
inline constexpr int32_t ACCESS_WRITE = -1;

// Open modes.
inline constexpr int32_t MODE_READWRITE = 1004;
inline constexpr int32_t MODE_OLDFILE = 1005;
inline constexpr int32_t MODE_NEWFILE = 1006;

// Seek modes.
inline constexpr int32_t OFFSET_BEGINNING = -1;
inline constexpr int32_t OFFSET_CURRENT = 0;
inline constexpr int32_t OFFSET_END = 1;

// Directory-entry types.
inline constexpr int32_t ST_ROOT = 1;
inline constexpr int32_t ST_USERDIR = 2;
inline constexpr int32_t ST_SOFTLINK = 3;
inline constexpr int32_t ST_LINKDIR = 4;
inline constexpr int32_t ST_FILE = -3;
inline constexpr int32_t ST_LINKFILE = -4;
inline constexpr int32_t ST_PIPEFILE = -5;

// Protection bits: R W E D are allowed when clear.
inline constexpr uint32_t FIBF_DELETE = 1u << 0;
inline constexpr uint32_t FIBF_EXECUTE = 1u << 1;
inline constexpr uint32_t FIBF_WRITE = 1u << 2;
inline constexpr uint32_t FIBF_READ = 1u << 3;

// Error codes (IoErr).
inline constexpr int32_t ERROR_NO_FREE_STORE = 103;
inline constexpr int32_t ERROR_BAD_TEMPLATE = 114;
inline constexpr int32_t ERROR_BAD_NUMBER = 115;
inline constexpr int32_t ERROR_REQUIRED_ARG_MISSING = 116;
inline constexpr int32_t ERROR_LINE_TOO_LONG = 120;
inline constexpr int32_t ERROR_FILE_NOT_OBJECT = 121;
inline constexpr int32_t ERROR_OBJECT_IN_USE = 202;
inline constexpr int32_t ERROR_OBJECT_EXISTS = 203;
inline constexpr int32_t ERROR_DIR_NOT_FOUND = 204;
inline constexpr int32_t ERROR_OBJECT_NOT_FOUND = 205;
inline constexpr int32_t ERROR_BAD_STREAM_NAME = 206;
inline constexpr int32_t ERROR_OBJECT_TOO_LARGE = 207;
inline constexpr int32_t ERROR_ACTION_NOT_KNOWN = 209;
inline constexpr int32_t ERROR_INVALID_COMPONENT_NAME = 210;
inline constexpr int32_t ERROR_INVALID_LOCK = 211;
inline constexpr int32_t ERROR_OBJECT_WRONG_TYPE = 212;
inline constexpr int32_t ERROR_DISK_NOT_VALIDATED = 213;
inline constexpr int32_t ERROR_DISK_WRITE_PROTECTED = 214;
inline constexpr int32_t ERROR_RENAME_ACROSS_DEVICES = 215;
inline constexpr int32_t ERROR_DIRECTORY_NOT_EMPTY = 216;
inline constexpr int32_t ERROR_TOO_MANY_LEVELS = 217;
inline constexpr int32_t ERROR_DEVICE_NOT_MOUNTED = 218;
inline constexpr int32_t ERROR_SEEK_ERROR = 219;
inline constexpr int32_t ERROR_COMMENT_TOO_BIG = 220;
inline constexpr int32_t ERROR_DISK_FULL = 221;
inline constexpr int32_t ERROR_DELETE_PROTECTED = 222;
inline constexpr int32_t ERROR_WRITE_PROTECTED = 223;
inline constexpr int32_t ERROR_READ_PROTECTED = 224;
inline constexpr int32_t ERROR_NOT_A_DOS_DISK = 225;
inline constexpr int32_t ERROR_NO_DISK = 226;
inline constexpr int32_t ERROR_NO_MORE_ENTRIES = 232;
inline constexpr int32_t ERROR_IS_SOFT_LINK = 233;
inline constexpr int32_t ERROR_OBJECT_LINKED = 234;
inline constexpr int32_t ERROR_BAD_HUNK = 235;
inline constexpr int32_t ERROR_NOT_IMPLEMENTED = 236;
inline constexpr int32_t ERROR_RECORD_NOT_LOCKED = 240;
inline constexpr int32_t ERROR_LOCK_COLLISION = 241;
inline constexpr int32_t ERROR_LOCK_TIMEOUT = 242;
inline constexpr int32_t ERROR_UNLOCK_ERROR = 243;
inline constexpr int32_t ERROR_BUFFER_OVERFLOW = 303;

// AllocDosObject types.
inline constexpr uint32_t DOS_FILEHANDLE = 0;
inline constexpr uint32_t DOS_EXALLCONTROL = 1;
inline constexpr uint32_t DOS_FIB = 2;

// ExAll data kinds.
inline constexpr int32_t ED_NAME = 1;
inline constexpr int32_t ED_TYPE = 2;
inline constexpr int32_t ED_SIZE = 3;
inline constexpr int32_t ED_PROTECTION = 4;
inline constexpr int32_t ED_DATE = 5;
inline constexpr int32_t ED_COMMENT = 6;
inline constexpr int32_t ED_OWNER = 7;

// Variable flags.
inline constexpr uint32_t LV_VAR = 0;
inline constexpr uint32_t GVF_GLOBAL_ONLY = 0x100;
inline constexpr uint32_t GVF_LOCAL_ONLY = 0x200;
inline constexpr uint32_t GVF_BINARY_VAR = 0x400;
inline constexpr uint32_t GVF_DONT_NULL_TERM = 0x800;
inline constexpr uint32_t GVF_SAVE_VAR = 0x1000;

// Process tags for SystemTagList.
inline constexpr Tag NP_CurrentDir = TAG_USER + 1010; // 0x800003F2
inline constexpr Tag NP_StackSize = TAG_USER + 1011;  // 0x800003F3

struct DateStamp {
    int32_t ds_Days;   // days since 1 January 1978
    int32_t ds_Minute; // minutes past midnight
    int32_t ds_Tick;   // ticks of 1/50 s past the minute
};

struct FileInfoBlock {
    int32_t fib_DiskKey;
    int32_t fib_DirEntryType;
    char fib_FileName[256]; // host names run to 255 bytes
    int32_t fib_Protection;
    int32_t fib_EntryType;
    int32_t fib_Size;
    int32_t fib_NumBlocks;
    DateStamp fib_Date;
    char fib_Comment[116];
    void* fib_HostScan; // the layer's directory scan for ExNext; owned by the layer
    int64_t fib_Size64; // the exact size; fib_Size stops at 4294967295
};

struct ExAllData {
    ExAllData* ed_Next;
    char* ed_Name;
    int32_t ed_Type;
    uint32_t ed_Size;   // stops at 4294967295
    uint64_t ed_Size64; // the exact size, present from ED_SIZE on
    uint32_t ed_Prot;
    uint32_t ed_Days;
    uint32_t ed_Mins;
    uint32_t ed_Ticks;
    char* ed_Comment;
    uint16_t ed_OwnerUID;
    uint16_t ed_OwnerGID;
};

struct ExAllControl {
    uint32_t eac_Entries;
    uint32_t eac_LastKey;
    char* eac_MatchString;
    void* eac_MatchFunc;
    void* eac_HostScan; // the layer's scan state between ExAll calls; owned by the layer
};

/// One directory of a (possibly multi-directory) assign, from GetDeviceProc.
struct DevProc {
    MsgPort* dvp_Port;
    BPTR dvp_Lock;
    uint32_t dvp_Flags;
    void* dvp_DevNode;
};

// Locks and names.
/// Returns a lock on the object (soft links followed), or 0 with IoErr() set.
BPTR Lock(const char* name, int32_t mode);
/// Gives a lock back; 0 does nothing.
void UnLock(BPTR lock);
BPTR DupLock(BPTR lock);
/// Makes `lock` the current directory and returns the previous one (now the caller's).
BPTR CurrentDir(BPTR lock);
BPTR ParentDir(BPTR lock);
/// Puts the canonical absolute host path of the locked object into buffer. Returns DOSTRUE, or
/// DOSFALSE with IoErr() ERROR_LINE_TOO_LONG when it does not fit.
int32_t NameFromLock(BPTR lock, char* buffer, int32_t length);
/// Appends `filename` to the path in `dirname`. Returns DOSFALSE (buffer unchanged) when the
/// result and its NUL do not fit in `size`.
int32_t AddPart(char* dirname, const char* filename, uint32_t size);
/// Returns the position in `path` where its last component (and the "/" before it) starts.
char* PathPart(const char* path);
/// Returns the position in `path` of its last component.
char* FilePart(const char* path);
DevProc* GetDeviceProc(const char* name, DevProc* previous);
void FreeDeviceProc(DevProc* record);
/// Sets the process's default file system; returns the previous one.
MsgPort* SetFileSysTask(MsgPort* port);
/// Reads the target of the soft link `path` (relative to `lock`). Returns its length, -1 on
/// failure, -2 when the buffer is too small.
int32_t ReadLink(MsgPort* port, BPTR lock, const char* path, char* buffer, uint32_t size);

// Entries.
int32_t Examine(BPTR lock, FileInfoBlock* fib);
int32_t ExNext(BPTR lock, FileInfoBlock* fib);
int32_t ExamineFH(FileHandle* fh, FileInfoBlock* fib);
int32_t ExAll(BPTR lock, ExAllData* buffer, int32_t size, int32_t type, ExAllControl* control);
void ExAllEnd(BPTR lock, ExAllData* buffer, int32_t size, int32_t type, ExAllControl* control);
/// Compiles a pattern. Returns 1 with wildcards, 0 without, -1 when dest is too small.
int32_t ParsePatternNoCase(const char* source, char* dest, int32_t destLength);
/// DOSTRUE when `string` matches a pattern compiled by ParsePatternNoCase.
int32_t MatchPatternNoCase(const char* pattern, const char* string);
void* AllocDosObject(uint32_t type, const TagItem* tags);
void FreeDosObject(uint32_t type, void* object);

// Files.
FileHandle* Open(const char* name, int32_t mode);
int32_t Close(FileHandle* fh);
int32_t Read(FileHandle* fh, void* buffer, int32_t length);
int32_t Write(FileHandle* fh, const void* buffer, int32_t length);
/// Moves the file position; returns the previous position, or -1 with IoErr() set.
int32_t Seek(FileHandle* fh, int32_t position, int32_t mode);
/// Renames; fails when the destination exists.
int32_t Rename(const char* oldName, const char* newName);
int32_t DeleteFile(const char* name);
int32_t SetProtection(const char* name, uint32_t protect);
int32_t SetComment(const char* name, const char* comment);
int32_t SetFileDate(const char* name, const DateStamp* date);
/// Makes a folder. Returns an exclusive lock on it, or 0 with IoErr() set (ERROR_OBJECT_EXISTS
/// when something of that name is there already).
BPTR CreateDir(const char* name);
/// Makes `name` a link to `destination`: with `soft` a soft link holding destination's absolute
/// host path, otherwise a hard link to the existing file. Returns DOSTRUE or DOSFALSE (IoErr()
/// set).
int32_t MakeLink(const char* name, const char* destination, int32_t soft);

// Process.
int32_t IoErr();
/// Sets IoErr() and returns the previous value.
int32_t SetIoErr(int32_t code);
/// Returns the number of characters put into buffer (NUL-terminated, cut to fit), or -1 when the
/// variable is unset; IoErr() then holds the variable's full length.
int32_t GetVar(const char* name, char* buffer, int32_t size, uint32_t flags);
int32_t SetVar(const char* name, const char* buffer, int32_t size, uint32_t flags);
int32_t DeleteVar(const char* name, uint32_t flags);
/// The process's argument text, ending in a line feed.
const char* GetArgStr();

/// The code of a resident command: runs the command on its argument text (the arguments on one
/// line, ending in a line feed, which GetArgStr() also returns during the call) and returns its
/// return code.
using ResidentEntry = int32_t (*)(const char* argumentText);

/// Values of seg_UC for the Shell's own commands; a program's commands count their calls there.
inline constexpr int32_t CMD_SYSTEM = -1;

/// One command of the Shell's resident list.
struct Segment {
    Segment* seg_Next;
    int32_t seg_UC;        // calls running now, or CMD_SYSTEM
    ResidentEntry seg_Seg; // the command's code
    const char* seg_Name;  // owned by the list
};

/// Makes `entry` the resident command `name`, found by the Shell before any folder is searched.
/// `system` non-zero makes it one of the Shell's own commands. Returns DOSTRUE, or DOSFALSE with
/// IoErr() set (ERROR_OBJECT_EXISTS when a command of that name and kind is resident already).
int32_t AddSegment(const char* name, ResidentEntry entry, int32_t system);
/// Returns the resident command named `name` (letter case ignored) of the kind `system` asks for,
/// looking after `start` (null: from the first), or null when there is none.
Segment* FindSegment(const char* name, const Segment* start, int32_t system);
/// Takes a command off the resident list. Returns DOSTRUE, or DOSFALSE with IoErr()
/// ERROR_OBJECT_IN_USE while it runs, ERROR_OBJECT_NOT_FOUND when it is not on the list.
int32_t RemSegment(Segment* segment);

/// Runs a command line through this program's own Shell and waits for it. A bare command word
/// that names a resident command runs that command in this process, with the same argument text
/// and redirections a program would get. Returns the command's
/// exit status, 20 when a signal ended it, -1 with IoErr() set when it could not be started, 1
/// for a null command.
int32_t SystemTagList(const char* command, const TagItem* tags);

namespace tolvarn::platform {

/// The calls a test can make fail, to prove that callers clean up after an I/O failure.
enum class Operation { Open, Read, Write, Rename, DeleteFile };
/// Test hook: makes the `nth` coming call of `operation` fail (1: the very next one) with IoErr()
/// `error` (0 picks a code that suits the call). nth 0 cancels a pending failure. resetProcess()
/// cancels them all. Writing a global variable (SetVar) counts as a Write.
void failOperation(Operation operation, int nth, int32_t error = 0);

} // namespace tolvarn::platform
