// The bounded e-string: one block holding the header and then the characters.
#include "strings/estring.h"

#include "runtime/exception.h"
#include "runtime/memory.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace {

EStringHeader* headerOf(EString eString) {
    return reinterpret_cast<EStringHeader*>(eString) - 1;
}

EString charsOf(EStringHeader* header) {
    return header == nullptr ? nullptr : reinterpret_cast<EString>(header + 1);
}

int32_t maxOf(EString eString) {
    return headerOf(eString)->capacity - 1;
}

void setLength(EString eString, int32_t length) {
    headerOf(eString)->length = length;
    eString[length] = '\0';
}

/// `text` advanced by `pos` characters, but never past its NUL (a position past the end clamps
/// to the end; a negative one counts as 0).
const char* clampedStart(const char* text, int32_t pos) {
    // memchr stops at the first NUL, so it never reads past the text, and it looks at a word at a
    // time: the tokenizer starts a copy at every token of a line, so this runs once per token.
    if (pos <= 0)
        return text;
    const void* end = std::memchr(text, '\0', static_cast<size_t>(pos));
    return end != nullptr ? static_cast<const char*>(end) : text + pos;
}

/// Writes characters of `source` from index `at` of eString until `len` characters were read
/// (ALL: no limit), the source's NUL or the maximum length; sets the length to the write index.
/// The copy runs forwards one character at a time, so a source inside eString at or after the
/// write position is read before it is overwritten.
void copyFrom(EString eString, int32_t at, const char* source, int32_t len) {
    const int32_t max = maxOf(eString);
    int32_t read = 0;
    while ((len == ALL || read < len) && source[read] != '\0' && at < max)
        eString[at++] = source[read++];
    setLength(eString, at);
}

/// Appends one character unless the e-string is full.
void appendChar(EString eString, char c) {
    const int32_t length = headerOf(eString)->length;
    if (length < maxOf(eString)) {
        eString[length] = c;
        setLength(eString, length + 1);
    }
}

unsigned char foldIso(unsigned char c) {
    const bool upper = (c >= 'A' && c <= 'Z') || (c >= 192 && c <= 222 && c != 215);
    return upper ? static_cast<unsigned char>(c + 32) : c;
}

unsigned char foldAsciiUpper(unsigned char c) {
    return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 32) : c;
}

unsigned char same(unsigned char c) {
    return c;
}

/// The walk shared by the four comparisons: returns the difference (b's character minus a's,
/// both as unsigned bytes after folding) where the texts first differ, 0 when they are equal
/// up to a's NUL or for the first `len` characters (ALL: no limit; any other negative: none).
template <unsigned char (*fold)(unsigned char)>
int compareWalk(const char* a, const char* b, int32_t len, int32_t posA, int32_t posB) {
    const auto* p = reinterpret_cast<const unsigned char*>(clampedStart(a, posA));
    const auto* q = reinterpret_cast<const unsigned char*>(clampedStart(b, posB));
    for (int32_t i = 0; len == ALL || i < len; ++i) {
        const unsigned char ca = fold(p[i]), cb = fold(q[i]);
        if (ca != cb)
            return cb - ca;
        if (ca == '\0')
            return 0;
    }
    return 0;
}

int32_t sign(int d) {
    return d == 0 ? 0 : (d < 0 ? -1 : 1);
}

} // namespace

EString NewString(int32_t maxLen) {
    if (maxLen < 0)
        Throw(ID_EPU, "EString; NewString(); maxLen<0");
    // Header, characters and NUL must stay within a signed 32-bit size, which also keeps the
    // capacity (maxLen + 1) from overflowing; a larger block can never be had.
    if (maxLen > INT32_MAX - static_cast<int32_t>(sizeof(EStringHeader)) - 1)
        Raise(ID_MEM);
    auto* header = static_cast<EStringHeader*>(
        MemAlloc(static_cast<int64_t>(sizeof(EStringHeader)) + maxLen + 1, TRUE));
    header->length = 0;
    header->capacity = maxLen + 1;
    header->link = nullptr;
    EString eString = charsOf(header);
    eString[0] = '\0';
    return eString;
}

EString DisposeString(EString eString) {
    EStringHeader* header = eString == nullptr ? nullptr : headerOf(eString);
    while (header != nullptr) {
        EStringHeader* next = header->link;
        MemFree(header, -999);
        header = next;
    }
    return nullptr;
}

EString StrCopy(EString eString, const char* string, int32_t len, int32_t pos) {
    if (eString == nullptr)
        Throw(ID_EPU, "EString; StrCopy(); eString=NILS");
    if (string == nullptr)
        Throw(ID_EPU, "EString; StrCopy(); string=NILA");
    if (len < 0 && len != ALL)
        Throw(ID_EPU, "EString; StrCopy(); len<0");
    if (pos < 0)
        Throw(ID_EPU, "EString; StrCopy(); pos<0");
    copyFrom(eString, 0, clampedStart(string, pos), len);
    return eString;
}

EString StrAdd(EString eString, const char* string, int32_t len, int32_t pos) {
    if (eString == nullptr)
        Throw(ID_EPU, "EString; StrAdd(); eString=NILS");
    if (string == nullptr)
        Throw(ID_EPU, "EString; StrAdd(); string=NILA");
    if (string == eString)
        Throw(ID_EPU, "EString; StrAdd(); source & destination must not be the same");
    if (len < 0 && len != ALL)
        Throw(ID_EPU, "EString; StrAdd(); len<0");
    if (pos < 0)
        Throw(ID_EPU, "EString; StrAdd(); pos<0");
    copyFrom(eString, headerOf(eString)->length, clampedStart(string, pos), len);
    return eString;
}

int32_t EstrLen(EString eString) {
    if (eString == nullptr)
        Throw(ID_EPU, "EString; EstrLen(); eString=NILS");
    return headerOf(eString)->length;
}

int32_t StrMax(EString eString) {
    if (eString == nullptr)
        Throw(ID_EPU, "EString; StrMax(); eString=NILS");
    return maxOf(eString);
}

EString RightStr(EString eString, EString eString2, int32_t n) {
    if (eString == nullptr)
        Throw(ID_EPU, "EString; RightStr(); eString=NILS");
    if (eString2 == nullptr)
        Throw(ID_EPU, "EString; RightStr(); eString2=NILS");
    if (n < 0)
        Throw(ID_EPU, "EString; RightStr(); n<0");
    const int32_t length2 = headerOf(eString2)->length;
    const int32_t count = n < length2 ? n : length2;
    copyFrom(eString, 0, eString2 + (length2 - count), count);
    return eString;
}

EString MidStr(EString eString, const char* string, int32_t pos, int32_t len) {
    if (eString == nullptr)
        Throw(ID_EPU, "EString; MidStr(); eString=NILS");
    if (string == nullptr)
        Throw(ID_EPU, "EString; MidStr(); string=NILA");
    if (pos < 0)
        Throw(ID_EPU, "EString; MidStr(); pos<0");
    if (len < 0 && len != ALL)
        Throw(ID_EPU, "EString; MidStr(); len<0");
    copyFrom(eString, 0, clampedStart(string, pos), len);
    return eString;
}

void SetStr(EString eString, int32_t newLen) {
    if (eString == nullptr)
        Throw(ID_EPU, "EString; SetStr(); eString=NILS");
    if (newLen < 0)
        Throw(ID_EPU, "EString; SetStr(); newLen<0");
    if (newLen > maxOf(eString))
        Throw(ID_EPU, "EString; SetStr(); newLen exceeds string size");
    setLength(eString, newLen);
}

EString Link(EString complex, EString tail) {
    if (complex == nullptr)
        Throw(ID_EPU, "EString; Link(); complex=NILS");
    headerOf(complex)->link = tail == nullptr ? nullptr : headerOf(tail);
    return complex;
}

EString Next(EString eString) {
    return eString == nullptr ? nullptr : charsOf(headerOf(eString)->link);
}

EString Forward(EString eString, int32_t num) {
    if (num < 0)
        Throw(ID_EPU, "EString; Forward(); num<0");
    for (int32_t i = 0; i < num && eString != nullptr; ++i)
        eString = Next(eString);
    return eString;
}

EString StrJoin(const char* s1, const char* s2, const char* s3, const char* s4, const char* s5,
                const char* s6, const char* s7, const char* s8, const char* s9, const char* s10,
                const char* s11, const char* s12, const char* s13, const char* s14, const char* s15,
                const char* s16, const char* s17, const char* s18, const char* s19) {
    const char* const parts[] = {s1,  s2,  s3,  s4,  s5,  s6,  s7,  s8,  s9, s10,
                                 s11, s12, s13, s14, s15, s16, s17, s18, s19};
    int64_t total = 0;
    for (const char* part : parts)
        for (const char* c = part; c != nullptr && *c != '\0'; ++c)
            ++total;
    // Text that no e-string can hold cannot be joined: report it as the memory it would need.
    if (total > std::numeric_limits<int32_t>::max() - 1)
        Raise(ID_MEM);
    EString joined = NewString(static_cast<int32_t>(total));
    for (const char* part : parts)
        if (part != nullptr)
            copyFrom(joined, headerOf(joined)->length, part, ALL);
    return joined;
}

int32_t ReadStr(std::FILE* stream, EString eString) {
    const int32_t max = StrMax(eString);
    int c = std::getc(stream);
    if (c == EOF) {
        // Nothing was read: the buffer stays as it is and the length follows the text there.
        int32_t length = 0;
        while (length < max && eString[length] != '\0')
            ++length;
        SetStr(eString, length);
        return TRUE;
    }
    int32_t count = 0;
    while (count < max && c != EOF) {
        eString[count++] = static_cast<char>(c);
        if (c == '\n' || count == max)
            break;
        c = std::getc(stream);
    }
    if (max == 0) // nothing fits: the character only told that the input goes on
        std::ungetc(c, stream);
    eString[count] = '\0';
    int32_t length = 0; // the text's length: an embedded NUL ends it
    while (eString[length] != '\0')
        ++length;
    SetStr(eString, length);
    return FALSE;
}

EString appendDecimal(EString eString, int32_t value, int32_t minDigits) {
    if (eString == nullptr)
        Throw(ID_EPU, "Vell/CPP/EString; appendDecimal(); eString=NILA");
    // Widened first, so that the most negative value has a magnitude too.
    int64_t magnitude = value < 0 ? -static_cast<int64_t>(value) : value;
    char digits[10];
    int32_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    // Sign, then padding, then digits; each piece is cut only by the maximum length.
    if (value < 0)
        appendChar(eString, '-');
    for (int32_t zeros = minDigits - count; zeros > 0; --zeros)
        appendChar(eString, '0');
    while (count > 0)
        appendChar(eString, digits[--count]);
    return eString;
}

EString RealF(EString eString, int32_t decimals, double value) {
    StrCopy(eString, value < 0 ? "-" : "");
    const float a = std::fabs(static_cast<float>(value));
    const float whole = std::floor(a);
    // An integer part beyond 32 bits saturates (NaN counts as 0) instead of overflowing the
    // conversion; its fraction is then meaningless and written as zeros.
    int32_t integer = 0;
    float f = 0.0f;
    if (whole < 2147483648.0f) {
        integer = static_cast<int32_t>(whole);
        f = a - whole;
    } else if (!std::isnan(whole)) {
        integer = std::numeric_limits<int32_t>::max();
    }
    appendDecimal(eString, integer, 0);
    if (decimals < 1)
        return eString;
    StrAdd(eString, ".");
    for (int32_t remaining = decimals; remaining > 0;) {
        const int32_t chunk = remaining < 9 ? remaining : 9;
        float scale = 1.0f;
        for (int32_t i = 0; i < chunk; ++i)
            scale *= 10.0f;
        f *= scale;
        float d = std::floor(f);
        f -= d;
        if (d >= scale) // rounding of f * scale must not give chunk + 1 digits
            d = scale - 1.0f;
        appendDecimal(eString, static_cast<int32_t>(d), chunk);
        remaining -= chunk;
    }
    return eString;
}

int32_t StrCmp(const char* a, const char* b, int32_t len, int32_t posA, int32_t posB) {
    return compareWalk<same>(a, b, len, posA, posB) == 0 ? TRUE : FALSE;
}

int32_t StrCmpNoCase(const char* a, const char* b, int32_t len, int32_t posA, int32_t posB) {
    return compareWalk<foldIso>(a, b, len, posA, posB) == 0 ? TRUE : FALSE;
}

int32_t OrdStr(const char* a, const char* b, int32_t len, int32_t posA, int32_t posB) {
    return sign(compareWalk<same>(a, b, len, posA, posB));
}

int32_t OrdStrNoCase(const char* a, const char* b, int32_t len, int32_t posA, int32_t posB) {
    return sign(compareWalk<foldAsciiUpper>(a, b, len, posA, posB));
}
