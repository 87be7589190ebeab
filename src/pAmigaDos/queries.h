// Existence and type tests (never showing a requester), variables and the argument line.
#pragma once

#include "platform/dos/dos.h"
#include "strings/estring.h"

/// The process's Shell argument line without its trailing line feed; NIL outside the module's
/// lifetime.
extern EString argumentLine;

/// Creates argumentLine from the process's argument text.
void startAmigaDosModule();
/// Frees argumentLine; safe when it was never created.
void endAmigaDosModule();

/// Lock() with the process's requesters switched off. Returns the lock or 0.
BPTR quietLock(const char* path, int32_t mode);
/// TRUE when path exists: kind 0 any entry, 1 a file, 2 a directory (soft links followed).
int32_t pathExists(const char* path, int32_t kind);
/// Returns the entry type of path (0 unknown); whether it exists goes to *existsOut (when not
/// null) and to `secondResult`.
int32_t dirEntryType(const char* path, int32_t noFollow, int8_t* existsOut);
int32_t lockEntryType(BPTR lock, const char* path, int32_t noFollow);
/// TRUE when the entry type counts as a file (a soft link is decided by its target).
int32_t dirEntryTypeIsFile(int32_t type, const char* path);
/// Reads a variable into eString. Returns TRUE when it exists.
int32_t fillGetVar(const char* name, EString eString, uint32_t flags);
/// Returns the variable's whole value, or NIL when it is unset.
EString strGetVar(const char* name, uint32_t flags);
/// Sets a variable. Returns TRUE on success.
int32_t setVar(const char* name, const char* value, uint32_t flags);
