// The bounded, mutable e-string. A handle is the address of the first character, so it can be
// read wherever a plain NUL-terminated string is expected; the header lies just before it.
#pragma once

#include "runtime/types.h"

#include <cstdint>
#include <cstdio>

using EString = char*;

/// The header that precedes the characters of every e-string.
struct EStringHeader {
    int32_t reserved;
    int32_t length;
    int32_t capacity; // maximum length + 1
    EStringHeader* link;
};

/// Returns a new empty e-string that can hold `maxLen` characters. Raises "EPU" for maxLen<0
/// and "MEM" when no memory is left.
EString NewString(int32_t maxLen);
/// Frees the e-string and every e-string of its chain. Returns NILS (nullptr).
EString DisposeString(EString eString);
/// Copies at most `len` characters (ALL: no limit) of `string` from index `pos` (a pos past the
/// end of `string` clamps to its end); returns eString. Text beyond the maximum length is cut.
EString StrCopy(EString eString, const char* string, int32_t len = ALL, int32_t pos = 0);
/// Appends at most `len` characters of `string` from index `pos` (clamped as in StrCopy); returns
/// eString.
EString StrAdd(EString eString, const char* string, int32_t len = ALL, int32_t pos = 0);
int32_t EstrLen(EString eString);
int32_t StrMax(EString eString);
/// Copies the last `n` characters of eString2 into eString; returns eString.
EString RightStr(EString eString, EString eString2, int32_t n);
/// Copies `len` characters of `string` from `pos` (clamped to its end); returns eString.
EString MidStr(EString eString, const char* string, int32_t pos, int32_t len = ALL);
/// Sets the length to newLen and stores a NUL there.
void SetStr(EString eString, int32_t newLen);
/// Links `tail` (or nothing, for NILS) after `complex`; returns complex.
EString Link(EString complex, EString tail);
/// Returns the next e-string of the chain, or NILS.
EString Next(EString eString);
/// Returns the e-string `num` links further, or NILS past the end of the chain.
EString Forward(EString eString, int32_t num);
/// Returns a new e-string holding the non-null arguments one after another (up to 19).
EString StrJoin(const char* s1 = nullptr, const char* s2 = nullptr, const char* s3 = nullptr,
                const char* s4 = nullptr, const char* s5 = nullptr, const char* s6 = nullptr,
                const char* s7 = nullptr, const char* s8 = nullptr, const char* s9 = nullptr,
                const char* s10 = nullptr, const char* s11 = nullptr, const char* s12 = nullptr,
                const char* s13 = nullptr, const char* s14 = nullptr, const char* s15 = nullptr,
                const char* s16 = nullptr, const char* s17 = nullptr, const char* s18 = nullptr,
                const char* s19 = nullptr);
/// Formats into eString (cut at its maximum length); returns eString and stores the new length
/// in `secondResult`.
EString StringF(EString eString, const char* format, ...) __attribute__((format(printf, 2, 3)));
/// Reads one line (newline kept) into eString, at most its maximum length. Returns FALSE when a
/// line was read, TRUE at end of input (buffer unwritten, length resynchronised to its text).
int32_t ReadStr(std::FILE* stream, EString eString);
/// Appends the decimal text of `value`: "-" for a negative value, then zeros up to `minDigits`
/// digits, then the digits ("-00042"); cut only at the maximum length. Returns eString.
EString appendDecimal(EString eString, int32_t value, int32_t minDigits);
/// Sets eString to `value` with `decimals` digits after the point, truncated; returns eString.
EString RealF(EString eString, int32_t decimals, double value);
/// TRUE when the texts from a[posA] and b[posB] are equal (at most `len` characters). In the four
/// comparisons a position past the end of its text clamps to the end.
int32_t StrCmp(const char* a, const char* b, int32_t len = ALL, int32_t posA = 0, int32_t posB = 0);
/// As StrCmp, ignoring ISO 8859-1 letter case.
int32_t StrCmpNoCase(const char* a, const char* b, int32_t len = ALL, int32_t posA = 0,
                     int32_t posB = 0);
/// -1, 0 or 1 (characters compared as unsigned bytes): 1 means a sorts before b.
int32_t OrdStr(const char* a, const char* b, int32_t len = ALL, int32_t posA = 0, int32_t posB = 0);
/// As OrdStr with "a".."z" folded to upper case.
int32_t OrdStrNoCase(const char* a, const char* b, int32_t len = ALL, int32_t posA = 0,
                     int32_t posB = 0);
