// Wildcard patterns in the original system's syntax, letter case ignored:
//   ?  any one character          #x  any number of x (so #? is anything)
//   ~x anything but x             (a|b) a or b
//   [a-z] one character of a set  [~a-z] one character outside it
//   %  the empty text             'x  the character x itself
// ParsePatternNoCase compiles a pattern into a byte code of at most twice the pattern's length
// plus one; MatchPatternNoCase matches a name against that code.
#include "platform/hostLayer.h"

#include <cstring>
#include <map>
#include <memory>

namespace {

using tolvarn::platform::internal::foldCase;

// The byte code. A byte below firstLiteral that stands for itself is preceded by escapeCode.
enum Code : unsigned char {
    anyCode = 1,
    repeatCode,
    notCode,
    openCode,
    alternativeCode,
    closeCode,
    setOpenCode,
    setCloseCode,
    emptyCode,
    setNotCode,
    rangeCode,
    escapeCode = 14,
    firstLiteral = 16,
};

void appendLiteral(std::string& code, char character) {
    const char folded = foldCase(character);
    if (static_cast<unsigned char>(folded) < firstLiteral)
        code += static_cast<char>(escapeCode);
    code += folded;
}

/// Compiles `source`. Empty when it is malformed (unbalanced parentheses, an open set, "#" or
/// "~" with nothing after them).
std::optional<std::string> compile(std::string_view source, bool& wild) {
    std::string code;
    int depth = 0;
    std::size_t index = 0;
    const auto atEnd = [&] { return index >= source.size(); };
    while (!atEnd()) {
        const char character = source[index++];
        switch (character) {
        case '?':
            code += static_cast<char>(anyCode);
            wild = true;
            break;
        case '%':
            code += static_cast<char>(emptyCode);
            wild = true;
            break;
        case '#':
        case '~':
            if (atEnd() || source[index] == ')' || source[index] == '|')
                return std::nullopt;
            code += static_cast<char>(character == '#' ? repeatCode : notCode);
            wild = true;
            break;
        case '(':
            code += static_cast<char>(openCode);
            ++depth;
            wild = true;
            break;
        case ')':
            if (--depth < 0)
                return std::nullopt;
            code += static_cast<char>(closeCode);
            break;
        case '|':
            if (depth == 0) {
                appendLiteral(code, character); // outside parentheses a bar is just a bar
                break;
            }
            code += static_cast<char>(alternativeCode);
            break;
        case '[': {
            code += static_cast<char>(setOpenCode);
            wild = true;
            if (!atEnd() && (source[index] == '~' || source[index] == '^')) {
                code += static_cast<char>(setNotCode);
                ++index;
            }
            bool closed = false;
            bool first = true;
            while (!atEnd()) {
                char member = source[index++];
                if (member == ']' && !first) {
                    closed = true;
                    break;
                }
                first = false;
                if (member == '\'' && !atEnd())
                    member = source[index++];
                appendLiteral(code, member);
                if (index + 1 < source.size() && source[index] == '-' && source[index + 1] != ']') {
                    code += static_cast<char>(rangeCode);
                    ++index;
                    char last = source[index++];
                    if (last == '\'' && !atEnd())
                        last = source[index++];
                    appendLiteral(code, last);
                }
            }
            if (!closed)
                return std::nullopt;
            code += static_cast<char>(setCloseCode);
            break;
        }
        case '\'':
            appendLiteral(code, atEnd() ? character : source[index++]);
            break;
        default:
            appendLiteral(code, character);
            break;
        }
    }
    if (depth != 0)
        return std::nullopt;
    return code;
}

/// A compiled pattern read back into a tree.
struct Node {
    enum class Kind { literal, any, empty, set, group, repeat, negation } kind = Kind::literal;
    char character = 0;
    bool setNegated = false;
    std::vector<std::pair<char, char>> ranges;   // for a set
    std::vector<std::vector<Node>> alternatives; // for a group
    std::vector<Node> operand;                   // one node, for repeat and negation
};

class TreeReader {
  public:
    explicit TreeReader(std::string_view code) : code_(code) {}

    std::optional<std::vector<Node>> whole() {
        auto sequence = readSequence();
        if (!sequence || position_ != code_.size())
            return std::nullopt;
        return sequence;
    }

  private:
    std::string_view code_;
    std::size_t position_ = 0;

    bool atEnd() const { return position_ >= code_.size(); }
    unsigned char peek() const { return static_cast<unsigned char>(code_[position_]); }

    std::optional<char> readLiteral() {
        if (atEnd())
            return std::nullopt;
        if (peek() == escapeCode) {
            ++position_;
            if (atEnd())
                return std::nullopt;
        } else if (peek() < firstLiteral) {
            return std::nullopt;
        }
        return code_[position_++];
    }

    std::optional<std::vector<Node>> readSequence() {
        std::vector<Node> sequence;
        while (!atEnd() && peek() != alternativeCode && peek() != closeCode) {
            auto node = readNode();
            if (!node)
                return std::nullopt;
            sequence.push_back(std::move(*node));
        }
        return sequence;
    }

    std::optional<Node> readNode() {
        Node node;
        switch (peek()) {
        case anyCode:
            ++position_;
            node.kind = Node::Kind::any;
            return node;
        case emptyCode:
            ++position_;
            node.kind = Node::Kind::empty;
            return node;
        case repeatCode:
        case notCode: {
            node.kind = peek() == repeatCode ? Node::Kind::repeat : Node::Kind::negation;
            ++position_;
            if (atEnd())
                return std::nullopt;
            auto operand = readNode();
            if (!operand)
                return std::nullopt;
            node.operand.push_back(std::move(*operand));
            return node;
        }
        case openCode: {
            ++position_;
            node.kind = Node::Kind::group;
            for (;;) {
                auto alternative = readSequence();
                if (!alternative || atEnd())
                    return std::nullopt;
                node.alternatives.push_back(std::move(*alternative));
                if (code_[position_++] == static_cast<char>(closeCode))
                    return node;
            }
        }
        case setOpenCode: {
            ++position_;
            node.kind = Node::Kind::set;
            if (!atEnd() && peek() == setNotCode) {
                node.setNegated = true;
                ++position_;
            }
            while (!atEnd() && peek() != setCloseCode) {
                const auto first = readLiteral();
                if (!first)
                    return std::nullopt;
                char last = *first;
                if (!atEnd() && peek() == rangeCode) {
                    ++position_;
                    const auto end = readLiteral();
                    if (!end)
                        return std::nullopt;
                    last = *end;
                }
                node.ranges.emplace_back(*first, last);
            }
            if (atEnd())
                return std::nullopt;
            ++position_;
            return node;
        }
        default: {
            const auto literal = readLiteral();
            if (!literal)
                return std::nullopt;
            node.character = *literal;
            return node;
        }
        }
    }
};

/// Matches by sets of positions: for a node and a start, every position in the name where a
/// match of the node can end. Polynomial in the name's length, whatever the pattern.
class Matcher {
  public:
    explicit Matcher(std::string name) : name_(std::move(name)) {
        for (char& character : name_)
            character = foldCase(character);
    }

    bool matches(const std::vector<Node>& pattern) {
        return sequenceEnds(pattern, 0)[name_.size()];
    }

  private:
    using Positions = std::vector<bool>;
    std::string name_;
    std::map<std::pair<const Node*, std::size_t>, Positions> memo_;

    Positions none() const { return Positions(name_.size() + 1, false); }

    Positions sequenceEnds(const std::vector<Node>& sequence, std::size_t start) {
        Positions current = none();
        current[start] = true;
        for (const Node& node : sequence) {
            Positions next = none();
            for (std::size_t position = 0; position <= name_.size(); ++position) {
                if (!current[position])
                    continue;
                const Positions& ends = nodeEnds(node, position);
                for (std::size_t end = position; end <= name_.size(); ++end)
                    next[end] = next[end] || ends[end];
            }
            current = std::move(next);
        }
        return current;
    }

    bool inSet(const Node& node, char character) const {
        bool found = false;
        for (const auto& [first, last] : node.ranges)
            found = found || (character >= first && character <= last);
        return found != node.setNegated;
    }

    const Positions& nodeEnds(const Node& node, std::size_t start) {
        const auto key = std::make_pair(&node, start);
        if (const auto found = memo_.find(key); found != memo_.end())
            return found->second;
        Positions ends = none();
        const bool more = start < name_.size();
        switch (node.kind) {
        case Node::Kind::literal:
            if (more && name_[start] == node.character)
                ends[start + 1] = true;
            break;
        case Node::Kind::any:
            if (more)
                ends[start + 1] = true;
            break;
        case Node::Kind::empty:
            ends[start] = true;
            break;
        case Node::Kind::set:
            if (more && inSet(node, name_[start]))
                ends[start + 1] = true;
            break;
        case Node::Kind::group:
            for (const auto& alternative : node.alternatives) {
                const Positions reached = sequenceEnds(alternative, start);
                for (std::size_t end = start; end <= name_.size(); ++end)
                    ends[end] = ends[end] || reached[end];
            }
            break;
        case Node::Kind::repeat: {
            ends[start] = true;
            std::vector<std::size_t> pending{start};
            while (!pending.empty()) {
                const std::size_t position = pending.back();
                pending.pop_back();
                const Positions reached = nodeEnds(node.operand.front(), position);
                for (std::size_t end = position + 1; end <= name_.size(); ++end) {
                    if (reached[end] && !ends[end]) {
                        ends[end] = true;
                        pending.push_back(end);
                    }
                }
            }
            break;
        }
        case Node::Kind::negation: {
            const Positions reached = nodeEnds(node.operand.front(), start);
            for (std::size_t end = start; end <= name_.size(); ++end)
                ends[end] = !reached[end];
            break;
        }
        }
        return memo_.emplace(key, std::move(ends)).first->second;
    }
};

} // namespace

namespace tolvarn::platform::internal {

bool matchesCompiledPattern(std::string_view code, const std::string& name) {
    auto pattern = TreeReader(code).whole();
    return pattern && Matcher(name).matches(*pattern);
}

} // namespace tolvarn::platform::internal

/// Compiles a pattern for MatchPatternNoCase. Returns 1 when it holds wildcards, 0 when it is a
/// plain name, -1 when it is malformed (IoErr() ERROR_BAD_TEMPLATE) or dest cannot hold the code
/// (IoErr() ERROR_BUFFER_OVERFLOW; 2 * strlen(source) + 2 bytes always do).
int32_t ParsePatternNoCase(const char* source, char* dest, int32_t destLength) {
    bool wild = false;
    const auto code = compile(source != nullptr ? source : "", wild);
    if (!code) {
        SetIoErr(ERROR_BAD_TEMPLATE);
        return -1;
    }
    if (dest == nullptr || destLength <= 0 ||
        code->size() >= static_cast<std::size_t>(destLength)) {
        SetIoErr(ERROR_BUFFER_OVERFLOW);
        return -1;
    }
    std::memcpy(dest, code->c_str(), code->size() + 1);
    return wild ? 1 : 0;
}

/// DOSTRUE when `string` matches a pattern compiled by ParsePatternNoCase, letter case ignored.
int32_t MatchPatternNoCase(const char* pattern, const char* string) {
    if (pattern == nullptr || string == nullptr)
        return DOSFALSE;
    return tolvarn::platform::internal::matchesCompiledPattern(pattern, string) ? DOSTRUE
                                                                                : DOSFALSE;
}
