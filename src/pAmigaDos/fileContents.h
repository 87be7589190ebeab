// 64-bit positions and sizes over the platform's 32-bit Seek, and a whole-file copy.
#pragma once

#include "platform/dos/dos.h"

/// Returns the position of fh, or -1 on failure.
int64_t filePosition(FileHandle* fh);
/// Moves fh to pos (in steps when pos does not fit 32 bits). Returns TRUE on success.
int32_t setFilePosition(FileHandle* fh, int64_t pos, int32_t mode);
/// Returns the size of fh, or -1 when unknown.
int64_t handleSize(FileHandle* fh, int32_t noRestore);
/// Returns the size of fh; raises "ERR" when it cannot be had.
int64_t fileSizeFromFH(FileHandle* fh, int32_t restorePosition, int32_t linksAsEmpty);
/// Copies source to dest with its protection, comment and date; the copy takes its name only when
/// it is whole and on disk (without overwrite, only when the name is free). Returns TRUE when it
/// was copied; otherwise nothing at dest changed.
int32_t copyFile(const char* source, const char* dest, int32_t overwrite);
