// Module state, parameter access and the tokenizer shared by the template and the argument line.
#include "std/pShellParameters.h"

#include "runtime/exception.h"
#include "runtime/memory.h"

namespace {

ShellParameterState state;

/// Returns the class of character `c` inside a token whose first character had class
/// `firstClass` (0 while classifying the first character itself). Punctuation that separates
/// template items is plain text on an argument line, where a path or a file name may hold it.
int32_t charClass(unsigned char c, int32_t firstClass) {
    if (c == '\0')
        return TOKEN_END;
    if (c == ' ' || c == '\t')
        return TOKEN_BLANKS;
    if (c == '"')
        return TOKEN_QUOTED;
    if (c == '=')
        return TOKEN_EQUALS;
    if (c == ',')
        return state.templateMode ? TOKEN_COMMA : TOKEN_WORD;
    if (c == '/')
        return state.templateMode ? TOKEN_SLASH : TOKEN_WORD;
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-')
        return TOKEN_WORD;
    if (c >= '0' && c <= '9')
        return firstClass == TOKEN_WORD ? TOKEN_WORD : TOKEN_NUMBER;
    return state.templateMode ? TOKEN_ILLEGAL : TOKEN_WORD;
}

/// Returns a new e-string holding `length` characters of `text` from index `start`.
EString copyOf(const char* text, int32_t start, int32_t length) {
    return StrCopy(NewString(length), text, length, start);
}

/// Reports `message` at `token`, giving the token back while the report passes.
[[noreturn]] void reportAndFree(EString token, const char* message) {
    tolvarn::guarded([&] { tokenError(token, message); }, [&] { token = DisposeString(token); });
    // tokenError never returns; this only keeps the promise of [[noreturn]].
    Throw(ID_BUG, "std/pShellParameters; nextToken(); a report returned");
}

} // namespace

ShellParameterState& shellParameterState() {
    return state;
}

void disposeShellParameters() {
    if (state.names != nullptr) {
        for (int32_t i = 0; i < state.count; ++i)
            state.names[i] = DisposeString(state.names[i]);
    }
    if (state.values != nullptr) {
        for (int32_t i = 0; i <= state.count; ++i)
            state.values[i] = DisposeString(state.values[i]);
    }
    state.names = static_cast<EString*>(MemFree(state.names, -999));
    state.types = static_cast<int32_t*>(MemFree(state.types, -999));
    state.values = static_cast<EString*>(MemFree(state.values, -999));
    state.templateCopy = DisposeString(state.templateCopy);
    state.argumentCopy = DisposeString(state.argumentCopy);
    state = ShellParameterState{};
}

EString GetParam(int32_t index) {
    if (index < 0 || index >= state.count || state.values == nullptr)
        Throw(ID_EPU, "std/pShellParameters; GetParam(); index is out of range");
    return state.values[index];
}

int32_t GetParamCount() {
    return state.count;
}

void setTokenInput(EString text) {
    state.tokenInput = text;
    state.position = 0;
    state.lastTokenQuoted = FALSE;
}

ShellToken nextToken() {
    state.lastTokenQuoted = FALSE;
    for (;;) {
        const EString input = state.tokenInput;
        const int32_t length = EstrLen(input);
        if (state.position > length - 1)
            return {NewString(0), TOKEN_END};

        const int32_t start = state.position;
        const auto c = static_cast<unsigned char>(input[start]);
        ++state.position;
        const int32_t first = charClass(c, 0);
        switch (first) {
        case TOKEN_BLANKS:
            // Blanks only separate tokens, so the run is skipped without being kept.
            while (charClass(static_cast<unsigned char>(input[state.position]), first) & first)
                ++state.position;
            continue;
        case TOKEN_WORD:
        case TOKEN_NUMBER:
        case TOKEN_EQUALS:
        case TOKEN_COMMA:
        case TOKEN_SLASH:
            while (charClass(static_cast<unsigned char>(input[state.position]), first) & first)
                ++state.position;
            return {copyOf(input, start, state.position - start), first};
        case TOKEN_QUOTED: {
            // No escapes: the next double quote always closes the string.
            while (state.position <= length - 1 &&
                   charClass(static_cast<unsigned char>(input[state.position]), first) != first)
                ++state.position;
            EString text = copyOf(input, start + 1, state.position - start - 1);
            if (state.position > length - 1)
                reportAndFree(text, "string is missing closing quote");
            ++state.position;
            state.lastTokenQuoted = TRUE;
            return {text, TOKEN_QUOTED};
        }
        case TOKEN_END:
            // A NUL inside the text ends the line just as its real end does.
            return {NewString(0), TOKEN_END};
        case TOKEN_ILLEGAL:
            reportAndFree(copyOf(input, start, 1), "unexpected character");
        default:
            Throw(ID_BUG, "std/pShellParameters; nextToken(); unknown token type");
        }
    }
}

ShellParameterLookup findParam(const char* name) {
    for (int32_t i = 0; i < state.count; ++i) {
        for (EString candidate = state.names[i]; candidate != nullptr;
             candidate = Next(candidate)) {
            if (StrCmpNoCase(name, candidate))
                return {TRUE, i};
        }
    }
    return {FALSE, state.count};
}
