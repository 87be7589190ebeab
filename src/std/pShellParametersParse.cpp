// ParseShellParameters: compiles the template into the parameter table, then matches the argument
// line against it, by name for keywords and switches and by position for everything else.
#include "std/pShellParameters.h"

#include "pAmigaDos/queries.h"
#include "runtime/exception.h"
#include "runtime/memory.h"

#include <cstdio>

namespace {

/// What one ParseShellParameters call holds besides the module state; given back on every path.
struct ParseCall {
    ShellToken token{nullptr, 0}; // the current token
    EString typedLine = nullptr;  // what the user typed after the "?" prompt
};

constexpr int32_t MAXIMUM_TYPED_LENGTH = 1000;

bool isWordOrNumber(const ShellToken& token) {
    return token.kind == TOKEN_WORD || token.kind == TOKEN_NUMBER;
}

/// Reads the next token into the current one, which must already have been given back. The token
/// is built in a local first: built straight into `call.token`, a read that reports an error part
/// way could leave a text there that the reader has already freed, and the clean-up would free it
/// again (GCC 12 at -O2 builds an assigned return value in place).
void readToken(ParseCall& call) {
    const ShellToken next = nextToken();
    call.token = next;
}

/// Replaces the current token with the next one.
void advance(ParseCall& call) {
    call.token.text = DisposeString(call.token.text);
    readToken(call);
}

/// Hands the current token's text over to the caller, who then owns it.
EString takeToken(ParseCall& call) {
    const EString text = call.token.text;
    call.token.text = nullptr;
    return text;
}

/// Checks that the current token can name a parameter that has no such name yet.
void checkNewName(const ShellToken& token) {
    if (!isWordOrNumber(token))
        tokenError(token.text, "expected word for parameter name");
    if (findParam(token.text).found)
        tokenError(token.text, "parameter name already used");
}

/// Reads the "/X" options that follow a parameter's names. Returns its type flags.
int32_t compileTypes(ParseCall& call) {
    int32_t flags = 0;
    while (call.token.kind == TOKEN_SLASH) {
        advance(call);
        if (!isWordOrNumber(call.token))
            tokenError(call.token.text, "expected letter for parameter type");
        const EString letter = call.token.text;
        int32_t added = 0;
        if (StrCmp(letter, "A"))
            added = PARAMETER_REQUIRED;
        else if (StrCmp(letter, "K"))
            added = PARAMETER_KEYWORD;
        else if (StrCmp(letter, "N"))
            added = PARAMETER_NUMBER;
        else if (StrCmp(letter, "F"))
            added = PARAMETER_FINAL;
        else if (StrCmp(letter, "S"))
            added = PARAMETER_SWITCH;
        else
            tokenError(letter, "unknown parameter type");
        flags |= added;
        // A switch takes no value, so it can be neither required, a keyword, a number nor final.
        const int32_t valueTypes =
            PARAMETER_REQUIRED | PARAMETER_KEYWORD | PARAMETER_NUMBER | PARAMETER_FINAL;
        if ((flags & PARAMETER_SWITCH) && (flags & valueTypes))
            tokenError(letter, "parameter type conflicts with a previous type");
        advance(call);
    }
    return flags;
}

void compileTemplate(ParseCall& call, const char* templateText) {
    ShellParameterState& state = shellParameterState();
    int32_t count = 1;
    for (const char* c = templateText; *c != '\0'; ++c)
        count += *c == ',' ? 1 : 0;
    // Every comma counts, even in a run that the tokenizer reads as one separator, so the table
    // may hold unnamed entries; the extra zero entry at the end stops the positional search.
    state.names = static_cast<EString*>(MemAlloc(int64_t{count} * sizeof(EString), FALSE));
    state.types = static_cast<int32_t*>(MemAlloc(int64_t{count + 1} * sizeof(int32_t), FALSE));
    state.values = static_cast<EString*>(MemAlloc(int64_t{count + 1} * sizeof(EString), FALSE));
    state.count = count;

    state.templateMode = TRUE;
    state.templateCopy = StrJoin(templateText);
    setTokenInput(state.templateCopy);
    for (int32_t i = 0;;) {
        readToken(call);
        checkNewName(call.token);
        state.names[i] = takeToken(call);
        readToken(call);
        while (call.token.kind == TOKEN_EQUALS) {
            advance(call);
            checkNewName(call.token);
            // Aliases go right after the first name, which must stay first for the reports.
            const EString alias = takeToken(call);
            Link(alias, Next(state.names[i]));
            Link(state.names[i], alias);
            readToken(call);
        }
        state.types[i] = compileTypes(call);
        ++i;
        if (call.token.kind == TOKEN_COMMA) {
            if (i >= count)
                Throw(ID_BUG, "template array index out of bounds");
        } else if (call.token.kind != TOKEN_END) {
            tokenError(call.token.text, "expected \",\" or end of line");
        }
        const bool finished = call.token.kind == TOKEN_END;
        call.token.text = DisposeString(call.token.text);
        if (finished)
            return;
    }
}

/// Returns TRUE when `line` ends in a "?" standing on its own; its index goes to *questionMark.
bool asksForPrompt(const char* line, int32_t* questionMark) {
    int32_t last = 0;
    for (int32_t i = 0; line[i] != '\0'; ++i) {
        if (line[i] != ' ' && line[i] != '\t')
            last = i;
    }
    *questionMark = last;
    return line[last] == '?' && (last == 0 || line[last - 1] == ' ' || line[last - 1] == '\t');
}

/// Shows the template, reads the user's arguments from standard input and returns the line to
/// match: the text before the "?" followed by what was typed.
EString promptForArguments(ParseCall& call, const char* templateText, const char* line,
                           int32_t questionMark) {
    std::printf("%s: ", templateText);
    std::fflush(stdout);
    call.typedLine = NewString(MAXIMUM_TYPED_LENGTH);
    if (ReadStr(stdin, call.typedLine))
        StrCopy(call.typedLine, "\n");
    const int32_t typedLength = EstrLen(call.typedLine);
    if (typedLength > 0 && call.typedLine[typedLength - 1] == '\n')
        SetStr(call.typedLine, typedLength - 1);
    const EString arguments = NewString(questionMark + EstrLen(call.typedLine));
    StrCopy(arguments, line, questionMark);
    return StrAdd(arguments, call.typedLine);
}

/// Moves past the parameters that cannot take the next positional value. Returns the new index.
int32_t skipToPositional(int32_t index) {
    const ShellParameterState& state = shellParameterState();
    while (state.values[index] != nullptr ||
           (state.types[index] & (PARAMETER_KEYWORD | PARAMETER_SWITCH)))
        ++index;
    return index;
}

/// Makes the current token the rest of the line, from where the token itself began.
void takeRestOfLine(ParseCall& call) {
    ShellParameterState& state = shellParameterState();
    const int32_t length = EstrLen(state.tokenInput);
    const int32_t consumed = EstrLen(call.token.text) + (state.lastTokenQuoted ? 2 : 0);
    const int32_t start = state.position - consumed;
    const EString rest = StrCopy(NewString(length - start), state.tokenInput, ALL, start);
    DisposeString(call.token.text);
    call.token.text = rest;
    state.position = length;
    // The quotes, if any, are now part of the text itself.
    state.lastTokenQuoted = FALSE;
}

void matchArguments(ParseCall& call, const char* templateText, const char* arguments) {
    ShellParameterState& state = shellParameterState();
    const char* line = arguments;
    if (line == nullptr)
        line = argumentLine != nullptr ? argumentLine : ""; // started without an argument line
    state.templateMode = FALSE;

    int32_t questionMark = 0;
    if (asksForPrompt(line, &questionMark))
        state.argumentCopy = promptForArguments(call, templateText, line, questionMark);
    else
        state.argumentCopy = StrJoin(line);
    setTokenInput(state.argumentCopy);
    readToken(call);

    int32_t positional = skipToPositional(0);
    while (call.token.kind != TOKEN_END) {
        int32_t target = state.count;
        bool keyword = false;
        if (isWordOrNumber(call.token)) {
            const ShellParameterLookup lookup = findParam(call.token.text);
            // A name whose parameter is already set can only be meant as a value.
            keyword = lookup.found && state.values[lookup.index] == nullptr;
            target = lookup.index;
        }
        if (keyword && (state.types[target] & PARAMETER_SWITCH)) {
            state.values[target] = takeToken(call);
        } else {
            if (keyword) {
                advance(call);
                if (call.token.kind == TOKEN_EQUALS)
                    advance(call);
            } else if (positional < state.count) {
                target = positional;
            } else {
                tokenError(call.token.text, "does not match template");
            }
            if (state.types[target] & PARAMETER_FINAL)
                takeRestOfLine(call);
            if (isWordOrNumber(call.token) || call.token.kind == TOKEN_QUOTED) {
                if (call.token.kind == TOKEN_QUOTED && (state.types[target] & PARAMETER_NUMBER))
                    tokenError(call.token.text, "expected number");
                state.values[target] = takeToken(call);
            } else if (call.token.kind == TOKEN_END) {
                tokenError(call.token.text, "expected value after keyword");
            } else {
                tokenError(call.token.text, "illegal character");
            }
        }
        advance(call);
        positional = skipToPositional(positional);
    }

    for (int32_t i = 0; i < state.count; ++i) {
        if ((state.types[i] & PARAMETER_REQUIRED) && state.values[i] == nullptr)
            paramErrorF("missing required parameter \"%s\"", state.names[i]);
    }
}

} // namespace

int32_t ParseShellParameters(const char* templateText, const char* arguments, int32_t quiet) {
    if (templateText == nullptr)
        Throw(ID_EPU, "std/pShellParameters; ParseShellParameters(); template=NILA");
    disposeShellParameters();
    shellParameterState().quiet = quiet;

    int32_t result = TRUE;
    ParseCall call;
    tolvarn::guarded(
        [&] {
            compileTemplate(call, templateText);
            matchArguments(call, templateText, arguments);
        },
        [&] {
            call.token.text = DisposeString(call.token.text);
            call.typedLine = DisposeString(call.typedLine);
            // A reported error has been shown already; the caller only needs to know it failed.
            if (exception == ID_ERR) {
                exception = 0;
                result = FALSE;
            }
        });
    return result;
}
