// Wildcard patterns in the original system's syntax, letter case ignored:
//   ?  any one character          #x  any number of x (so #? is anything)
//   ~x anything but x             (a|b) a or b
//   [a-z] one character of a set  [~a-z] one character outside it
//   %  the empty text             'x  the character x itself
// ParsePatternNoCase compiles a pattern into a byte code of at most twice the pattern's length
// plus one; MatchPatternNoCase matches a name against that code. Groups, repeats and negations
// may nest up to 64 levels deep; a deeper pattern is refused as malformed.
#include "platform/dos/internal.h"

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <set>

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

/// How deeply groups, repeats and negations may nest. Far beyond any pattern a person writes, and
/// low enough that reading, matching and freeing a tree never run short of stack.
constexpr int maximumNesting = 64;

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
    int depth_ = 0; // nodes being read, one inside the other

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
        if (depth_ == maximumNesting)
            return std::nullopt;
        ++depth_;
        auto node = readNodeWithin();
        --depth_;
        return node;
    }

    std::optional<Node> readNodeWithin() {
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

/// A set of positions in the name, 0 to its length, one bit each.
class Positions {
  public:
    explicit Positions(std::size_t count) : words_((count + 63) / 64, 0), count_(count) {}

    void set(std::size_t position) { words_[position / 64] |= std::uint64_t{1} << (position % 64); }
    bool has(std::size_t position) const { return (words_[position / 64] >> (position % 64)) & 1; }
    bool empty() const {
        for (const std::uint64_t word : words_) {
            if (word != 0)
                return false;
        }
        return true;
    }
    Positions& operator|=(const Positions& other) {
        for (std::size_t i = 0; i < words_.size(); ++i)
            words_[i] |= other.words_[i];
        return *this;
    }
    /// The positions of this set that `other` lacks.
    Positions without(const Positions& other) const {
        Positions result(count_);
        for (std::size_t i = 0; i < words_.size(); ++i)
            result.words_[i] = words_[i] & ~other.words_[i];
        return result;
    }
    /// Each position of this set that is also in `mask`, moved one character on.
    Positions advancedWithin(const Positions& mask) const {
        Positions result(count_);
        std::uint64_t carry = 0;
        for (std::size_t i = 0; i < words_.size(); ++i) {
            const std::uint64_t word = words_[i] & mask.words_[i];
            result.words_[i] = (word << 1) | carry;
            carry = word >> 63;
        }
        result.clearBeyondEnd();
        return result;
    }
    /// The positions from `start` on that are not in this set.
    Positions complementFrom(std::size_t start) const {
        Positions result(count_);
        for (std::size_t i = 0; i < words_.size(); ++i)
            result.words_[i] = ~words_[i];
        for (std::size_t i = 0; i < start / 64; ++i)
            result.words_[i] = 0;
        if (start % 64 != 0)
            result.words_[start / 64] &= ~((std::uint64_t{1} << (start % 64)) - 1);
        result.clearBeyondEnd();
        return result;
    }
    template <typename Visit> void forEach(Visit visit) const {
        for (std::size_t i = 0; i < words_.size(); ++i) {
            for (std::uint64_t word = words_[i]; word != 0; word &= word - 1)
                visit(i * 64 + static_cast<std::size_t>(__builtin_ctzll(word)));
        }
    }
    std::size_t bytes() const { return words_.size() * sizeof(std::uint64_t); }

  private:
    std::vector<std::uint64_t> words_;
    std::size_t count_;

    void clearBeyondEnd() {
        if (count_ % 64 != 0)
            words_.back() &= (std::uint64_t{1} << (count_ % 64)) - 1;
    }
};

/// Matches by sets of positions: from the set of places in the name where a node may start, the
/// set of places where a match of it can end, all starts at once. A repeat grows its set until
/// nothing new is reached; only a negation needs each start on its own, and remembers what it
/// found for each. The work is polynomial in the name's length, whatever the pattern.
class Matcher {
  public:
    explicit Matcher(std::string name) : name_(std::move(name)), inside_(name_.size() + 1) {
        for (char& character : name_)
            character = foldCase(character);
        for (std::size_t position = 0; position < name_.size(); ++position)
            inside_.set(position);
    }

    bool matches(const std::vector<Node>& pattern) {
        for (const Node& node : pattern)
            noteRevisitedNegations(node, false);
        Positions start = none();
        start.set(0);
        return sequenceEnds(pattern, start).has(name_.size());
    }

  private:
    /// The negation results kept are limited to this much; beyond it they are worked out again.
    static constexpr std::size_t memoryForNegations = 32u << 20;

    std::string name_;
    Positions inside_; // the positions that have a character to match
    std::map<unsigned char, Positions> characterMasks_;
    std::map<const Node*, Positions> setMasks_;
    std::map<std::pair<const Node*, std::size_t>, Positions> negations_;
    std::size_t negationBytes_ = 0;
    // Negations inside a repeat or another negation: they may be asked about the same start more
    // than once, so their answers are worth keeping. Any other is asked once per start at most.
    std::set<const Node*> revisited_;

    Positions none() const { return Positions(name_.size() + 1); }

    void noteRevisitedNegations(const Node& node, bool inside) {
        if (node.kind == Node::Kind::negation && inside)
            revisited_.insert(&node);
        const bool operandInside =
            inside || node.kind == Node::Kind::repeat || node.kind == Node::Kind::negation;
        for (const Node& operand : node.operand)
            noteRevisitedNegations(operand, operandInside);
        for (const auto& alternative : node.alternatives) {
            for (const Node& member : alternative)
                noteRevisitedNegations(member, inside);
        }
    }

    Positions sequenceEnds(const std::vector<Node>& sequence, Positions current) {
        for (const Node& node : sequence) {
            if (current.empty())
                break;
            current = ends(node, current);
        }
        return current;
    }

    /// The positions where a character matching `matches` stands.
    template <typename Test> Positions maskOf(Test matches) const {
        Positions mask = none();
        for (std::size_t position = 0; position < name_.size(); ++position) {
            if (matches(name_[position]))
                mask.set(position);
        }
        return mask;
    }

    const Positions& characterMask(char character) {
        const auto key = static_cast<unsigned char>(character);
        if (const auto found = characterMasks_.find(key); found != characterMasks_.end())
            return found->second;
        return characterMasks_
            .emplace(key, maskOf([character](char other) { return other == character; }))
            .first->second;
    }

    const Positions& setMask(const Node& node) {
        if (const auto found = setMasks_.find(&node); found != setMasks_.end())
            return found->second;
        const auto inSet = [&node](char character) {
            bool found = false;
            for (const auto& [first, last] : node.ranges)
                found = found || (character >= first && character <= last);
            return found != node.setNegated;
        };
        return setMasks_.emplace(&node, maskOf(inSet)).first->second;
    }

    Positions ends(const Node& node, const Positions& starts) {
        switch (node.kind) {
        case Node::Kind::literal:
            return starts.advancedWithin(characterMask(node.character));
        case Node::Kind::any:
            return starts.advancedWithin(inside_);
        case Node::Kind::set:
            return starts.advancedWithin(setMask(node));
        case Node::Kind::empty:
            return starts;
        case Node::Kind::group: {
            Positions reached = none();
            for (const auto& alternative : node.alternatives)
                reached |= sequenceEnds(alternative, starts);
            return reached;
        }
        case Node::Kind::repeat: {
            // Zero times reaches the starts themselves; each further round starts only from what
            // the round before reached first, so it ends after at most one round per position.
            Positions reached = starts;
            Positions frontier = starts;
            for (;;) {
                Positions next = ends(node.operand.front(), frontier).without(reached);
                if (next.empty())
                    return reached;
                reached |= next;
                frontier = std::move(next);
            }
        }
        case Node::Kind::negation: {
            Positions reached = none();
            starts.forEach([&](std::size_t start) { reached |= negationEnds(node, start); });
            return reached;
        }
        }
        return none();
    }

    /// Where "anything but the operand" can end when it starts at `start`.
    Positions negationEnds(const Node& node, std::size_t start) {
        const auto key = std::make_pair(&node, start);
        if (const auto found = negations_.find(key); found != negations_.end())
            return found->second;
        Positions from = none();
        from.set(start);
        Positions result = ends(node.operand.front(), from).complementFrom(start);
        if (revisited_.contains(&node) && negationBytes_ + result.bytes() <= memoryForNegations) {
            negationBytes_ += result.bytes();
            negations_.emplace(key, result);
        }
        return result;
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
/// plain name, -1 when it is malformed or nested too deeply (IoErr() ERROR_BAD_TEMPLATE) or dest
/// cannot hold the code (IoErr() ERROR_BUFFER_OVERFLOW; 2 * strlen(source) + 2 bytes always do).
int32_t ParsePatternNoCase(const char* source, char* dest, int32_t destLength) {
    bool wild = false;
    const auto code = compile(source != nullptr ? source : "", wild);
    // A pattern nested too deeply to be matched is refused as malformed.
    if (!code || !TreeReader(*code).whole()) {
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
