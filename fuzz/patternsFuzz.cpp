// The wildcard patterns: ParsePatternNoCase and MatchPatternNoCase. For any pattern and name:
// compiling never writes past the size it is given and needs no more than twice the pattern's
// length plus two bytes; a pattern without wildcards matches exactly the names equal to it apart
// from letter case; and matching answers (in bounded time) even for a "compiled" pattern made of
// arbitrary bytes.
//
// Input: a pattern, a NUL, a name, a NUL, then one byte that chooses a smaller buffer size.
#include "platform/dos/dos.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

[[noreturn]] void fail(const char* what, const std::string& pattern, const std::string& name) {
    std::fprintf(stderr, "patterns fuzz: %s; pattern of %zu bytes, name of %zu bytes\n", what,
                 pattern.size(), name.size());
    std::abort();
}

char fold(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (fold(a[i]) != fold(b[i]))
            return false;
    }
    return true;
}

/// The text a pattern without wildcards stands for: a quote makes the next character plain.
std::string literalText(const std::string& pattern) {
    std::string text;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '\'' && i + 1 < pattern.size())
            ++i;
        text += pattern[i];
    }
    return text;
}

/// ParsePatternNoCase into a heap buffer of exactly `size` bytes (none for 0).
int32_t parseWithin(const std::string& pattern, size_t size, std::unique_ptr<char[]>& code) {
    code = size > 0 ? std::make_unique<char[]>(size) : nullptr;
    return ParsePatternNoCase(pattern.c_str(), code.get(), static_cast<int32_t>(size));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t patternEnd = input.find('\0');
    const std::string pattern = input.substr(0, patternEnd);
    std::string name;
    unsigned sizeChoice = 0;
    if (patternEnd != std::string::npos) {
        name = input.c_str() + patternEnd + 1;
        const size_t nameEnd = patternEnd + 1 + name.size();
        if (nameEnd + 1 < input.size())
            sizeChoice = static_cast<unsigned char>(input[nameEnd + 1]);
    }

    std::unique_ptr<char[]> code;
    const int32_t kind = parseWithin(pattern, 2 * pattern.size() + 2, code);
    if (kind < -1 || kind > 1)
        fail("ParsePatternNoCase gave an unknown result", pattern, name);

    // A smaller buffer gives the same code or a refusal.
    std::unique_ptr<char[]> smallCode;
    const int32_t smallKind =
        parseWithin(pattern, sizeChoice % (2 * pattern.size() + 2), smallCode);
    if (smallKind != -1 && (smallKind != kind || std::strcmp(smallCode.get(), code.get()) != 0))
        fail("a smaller buffer gave another code", pattern, name);

    if (kind >= 0) {
        const int32_t matched = MatchPatternNoCase(code.get(), name.c_str());
        if (matched != DOSTRUE && matched != DOSFALSE)
            fail("MatchPatternNoCase gave neither DOSTRUE nor DOSFALSE", pattern, name);
        if (kind == 0) {
            const std::string literal = literalText(pattern);
            if ((matched == DOSTRUE) != equalIgnoringCase(literal, name))
                fail("a plain pattern matched another name, or not its own", pattern, name);
            if (MatchPatternNoCase(code.get(), literal.c_str()) != DOSTRUE)
                fail("a plain pattern does not match its own text", pattern, name);
        }
    }

    // Arbitrary bytes where compiled code is expected must still get an answer.
    const int32_t raw = MatchPatternNoCase(pattern.c_str(), name.c_str());
    if (raw != DOSTRUE && raw != DOSFALSE)
        fail("MatchPatternNoCase on raw bytes gave neither DOSTRUE nor DOSFALSE", pattern, name);
    return 0;
}
