// The text work of the requesters: formatting their texts from an argument array, and turning a
// file-name pattern into host globs for the desktop dialog's filter.
#include "platform/requesters/requesters.h"

#include <cctype>
#include <cstdio>

namespace tolvarn::platform::internal {

namespace {

bool isAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char otherCase(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return static_cast<char>(std::islower(byte) ? std::toupper(byte) : std::tolower(byte));
}

std::string padded(std::string text, size_t width, bool leftJustify, char pad) {
    if (text.size() >= width)
        return text;
    const std::string padding(width - text.size(), pad);
    if (leftJustify)
        return text + padding;
    // Zero padding goes after a minus sign.
    if (pad == '0' && !text.empty() && text[0] == '-')
        return "-" + padding + text.substr(1);
    return padding + text;
}

/// Parses a pattern into its alternatives, each a glob. A parser object keeps the position.
class PatternParser {
  public:
    explicit PatternParser(std::string_view pattern) : pattern_(pattern) {}

    std::optional<std::vector<HostGlob>> parse() {
        auto alternatives = parseAlternatives();
        if (!alternatives || position_ != pattern_.size())
            return std::nullopt;
        return alternatives;
    }

  private:
    static constexpr size_t maximumAlternatives = 32;

    bool atEnd() const { return position_ >= pattern_.size(); }
    char current() const { return pattern_[position_]; }

    /// Alternatives separated by "|", up to a ")" or the end.
    std::optional<std::vector<HostGlob>> parseAlternatives() {
        std::vector<HostGlob> all;
        for (;;) {
            auto sequence = parseSequence();
            if (!sequence)
                return std::nullopt;
            all.insert(all.end(), sequence->begin(), sequence->end());
            if (all.size() > maximumAlternatives)
                return std::nullopt;
            if (atEnd() || current() != '|')
                return all;
            ++position_;
        }
    }

    /// Items up to "|", ")" or the end; every alternative of a group multiplies the result.
    std::optional<std::vector<HostGlob>> parseSequence() {
        std::vector<HostGlob> globs{HostGlob{}};
        while (!atEnd() && current() != '|' && current() != ')') {
            auto item = parseItem();
            if (!item)
                return std::nullopt;
            std::vector<HostGlob> combined;
            for (const HostGlob& head : globs)
                for (const HostGlob& tail : *item)
                    combined.push_back({head.shown + tail.shown, head.match + tail.match});
            if (combined.size() > maximumAlternatives)
                return std::nullopt;
            globs = std::move(combined);
        }
        return globs;
    }

    std::optional<std::vector<HostGlob>> parseItem() {
        const char c = current();
        ++position_;
        switch (c) {
        case '#':
            // "#?" is any text; any other repetition is widened to any text as well, which
            // only shows more names than asked for.
            if (atEnd() || !parseItem())
                return std::nullopt;
            return std::vector<HostGlob>{{"*", "*"}};
        case '?':
            return std::vector<HostGlob>{{"?", "?"}};
        case '*':
            return std::vector<HostGlob>{{"*", "*"}};
        case '%':
            return std::vector<HostGlob>{{"", ""}};
        case '~':
            return std::nullopt;
        case '(': {
            auto group = parseAlternatives();
            if (!group || atEnd() || current() != ')')
                return std::nullopt;
            ++position_;
            return group;
        }
        case '[':
            return parseClass();
        case '\'':
            if (atEnd())
                return std::nullopt;
            return std::vector<HostGlob>{literal(pattern_[position_++])};
        default:
            return std::vector<HostGlob>{literal(c)};
        }
    }

    /// A character class; letters match in either case. Characters that a host class would
    /// read differently give up rather than guess.
    std::optional<std::vector<HostGlob>> parseClass() {
        std::string shown = "[", match = "[";
        if (!atEnd() && current() == '~') {
            shown += '~';
            match += '!';
            ++position_;
        }
        const auto unsafe = [](char c) { return c == '\\' || c == '[' || c == '!' || c == '^'; };
        bool empty = true;
        while (!atEnd() && current() != ']') {
            const char first = pattern_[position_++];
            if (unsafe(first))
                return std::nullopt;
            empty = false;
            shown += first;
            if (position_ + 1 < pattern_.size() && current() == '-' &&
                pattern_[position_ + 1] != ']') {
                const char last = pattern_[position_ + 1];
                if (unsafe(last))
                    return std::nullopt;
                position_ += 2;
                shown += std::string{'-', last};
                match += std::string{first, '-', last};
                if (isAsciiLetter(first) && isAsciiLetter(last) &&
                    (std::islower(static_cast<unsigned char>(first)) != 0) ==
                        (std::islower(static_cast<unsigned char>(last)) != 0))
                    match += std::string{otherCase(first), '-', otherCase(last)};
                continue;
            }
            match += first;
            if (isAsciiLetter(first))
                match += otherCase(first);
        }
        if (atEnd() || empty)
            return std::nullopt;
        ++position_;
        return std::vector<HostGlob>{{shown + "]", match + "]"}};
    }

    static HostGlob literal(char c) {
        if (isAsciiLetter(c))
            return {std::string(1, c), std::string{'[', c, otherCase(c), ']'}};
        if (c == '*' || c == '?' || c == '[' || c == '\\')
            return {std::string(1, c), std::string{'[', c, ']'}};
        if (c == ']')
            return {"]", "[]]"};
        return {std::string(1, c), std::string(1, c)};
    }

    std::string_view pattern_;
    size_t position_ = 0;
};

} // namespace

std::optional<std::vector<HostGlob>> globsFromPattern(std::string_view pattern) {
    if (pattern.empty())
        return std::nullopt;
    return PatternParser(pattern).parse();
}

std::string formatRequesterText(const char* format, const intptr_t* args, size_t& next) {
    std::string text;
    if (format == nullptr)
        return text;
    const auto nextValue = [&]() -> intptr_t { return args != nullptr ? args[next++] : 0; };
    for (const char* p = format; *p != '\0'; ++p) {
        if (*p != '%') {
            text += *p;
            continue;
        }
        const char* start = p++;
        bool leftJustify = false;
        char pad = ' ';
        for (; *p == '-' || *p == '0'; ++p) {
            if (*p == '-')
                leftJustify = true;
            else
                pad = '0';
        }
        size_t width = 0;
        for (; std::isdigit(static_cast<unsigned char>(*p)); ++p)
            width = width * 10 + static_cast<size_t>(*p - '0');
        std::optional<size_t> limit;
        if (*p == '.') {
            limit = 0;
            for (++p; std::isdigit(static_cast<unsigned char>(*p)); ++p)
                *limit = *limit * 10 + static_cast<size_t>(*p - '0');
        }
        if (*p == 'l')
            ++p;
        char number[32];
        switch (*p) {
        case '%':
            text += '%';
            break;
        case 's': {
            const auto* value = reinterpret_cast<const char*>(nextValue());
            std::string piece = value != nullptr ? value : "";
            if (limit && piece.size() > *limit)
                piece.resize(*limit);
            text += padded(piece, width, leftJustify, ' ');
            break;
        }
        case 'c':
            text += padded(std::string(1, static_cast<char>(nextValue())), width, leftJustify, ' ');
            break;
        case 'd':
            std::snprintf(number, sizeof number, "%ld",
                          static_cast<long>(static_cast<int32_t>(nextValue())));
            text += padded(number, width, leftJustify, leftJustify ? ' ' : pad);
            break;
        case 'u':
        case 'x':
        case 'X': {
            const char* conversion = *p == 'u' ? "%lu" : *p == 'x' ? "%lx" : "%lX";
            std::snprintf(number, sizeof number, conversion,
                          static_cast<unsigned long>(static_cast<uint32_t>(nextValue())));
            text += padded(number, width, leftJustify, leftJustify ? ' ' : pad);
            break;
        }
        default:
            // Not a format code: shown as written. A lone "%" at the end stays too.
            text.append(start, *p == '\0' ? p : p + 1);
            if (*p == '\0')
                return text;
        }
    }
    return text;
}

} // namespace tolvarn::platform::internal
