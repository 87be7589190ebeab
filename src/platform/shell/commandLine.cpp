#include "platform/shell/commandLine.h"

namespace tolvarn::platform {

namespace {

constexpr char escapeCharacter = '\x1b';

bool isSeparator(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

/// Reads items one after the other, the way the Shell does.
class ItemReader {
  public:
    explicit ItemReader(std::string_view line) : line_(line) {}

    /// Skips separators. Returns false at the end of the line.
    bool skipSeparators() {
        while (position_ < line_.size() && isSeparator(line_[position_]))
            ++position_;
        return position_ < line_.size();
    }

    /// The character the next item starts with; call after skipSeparators() gave true.
    char peek() const { return line_[position_]; }
    /// True when the character right at the current position is `c` (nothing skipped).
    bool at(char c) const { return position_ < line_.size() && line_[position_] == c; }
    void advance(size_t count) { position_ += count; }

    /// Reads one item (quoted or not) at the current position into `item`. Returns false when a
    /// quoted item is not closed.
    bool readItem(std::string& item) {
        item.clear();
        if (line_[position_] != '"') {
            while (position_ < line_.size() && !isSeparator(line_[position_]))
                item += line_[position_++];
            return true;
        }
        ++position_;
        while (position_ < line_.size()) {
            const char c = line_[position_++];
            if (c == '"')
                return true;
            if (c != '*' || position_ == line_.size()) {
                item += c;
                continue;
            }
            switch (const char next = line_[position_++]) {
            case '"':
                item += '"';
                break;
            case '*':
                item += '*';
                break;
            case 'N':
            case 'n':
                item += '\n';
                break;
            case 'E':
            case 'e':
                item += escapeCharacter;
                break;
            default:
                // Not an escape: both characters stand for themselves.
                item += '*';
                item += next;
            }
        }
        return false;
    }

  private:
    std::string_view line_;
    size_t position_ = 0;
};

} // namespace

std::optional<ParsedCommand> parseCommandLine(std::string_view line) {
    ParsedCommand parsed;
    ItemReader reader(line);
    if (!reader.skipSeparators())
        return parsed;
    const bool quotedCommand = reader.peek() == '"';
    if (!reader.readItem(parsed.command) || (quotedCommand && parsed.command.empty()))
        return std::nullopt;

    // Redirections: only unquoted items directly after the command word.
    std::string item;
    while (reader.skipSeparators()) {
        const char sign = reader.peek();
        if (sign != '<' && sign != '>')
            break;
        reader.advance(1);
        bool append = false;
        if (sign == '>' && reader.at('>')) {
            append = true;
            reader.advance(1);
        }
        if (!reader.skipSeparators() || !reader.readItem(item) || item.empty())
            return std::nullopt;
        if (sign == '<') {
            parsed.input = item;
        } else {
            parsed.output = item;
            parsed.appendOutput = append;
        }
    }

    while (reader.skipSeparators()) {
        if (!reader.readItem(item))
            return std::nullopt;
        parsed.arguments.push_back(item);
    }
    return parsed;
}

std::string quoteShellItem(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        switch (c) {
        case '"':
            quoted += "*\"";
            break;
        case '*':
            quoted += "**";
            break;
        case '\n':
            quoted += "*N";
            break;
        case escapeCharacter:
            quoted += "*E";
            break;
        default:
            quoted += c;
        }
    }
    quoted += '"';
    return quoted;
}

} // namespace tolvarn::platform
