// The Shell argument template: compiles a one-line template, matches an argument line against it,
// hands out the values by position and shows errors with the offending token highlighted.
#pragma once

#include "runtime/types.h"
#include "strings/estring.h"

#include <cstdint>

/// Compiles `templateText`, then matches `arguments` (NIL: the process's argumentLine) against it.
/// Returns TRUE when the line matched, FALSE after a reported error (nothing printed when quiet
/// is exactly TRUE).
int32_t ParseShellParameters(const char* templateText, const char* arguments, int32_t quiet);
/// Frees the compiled template and the values; safe when nothing was compiled.
void disposeShellParameters();
/// Returns the value of parameter `index` (NIL when not given); owned by the module until the next
/// ParseShellParameters or disposeShellParameters. Raises "EPU" when out of range.
EString GetParam(int32_t index);
/// Returns the number of parameters of the compiled template.
int32_t GetParamCount();

// Token kinds. They are bit masks: a word shares its bit 2 with a number, which is how a number
// run continues through letters and a word run through digits.
inline constexpr int32_t TOKEN_WORD = 3;
inline constexpr int32_t TOKEN_NUMBER = 2;
inline constexpr int32_t TOKEN_QUOTED = 4;
inline constexpr int32_t TOKEN_SLASH = 8;
inline constexpr int32_t TOKEN_COMMA = 16;
inline constexpr int32_t TOKEN_EQUALS = 32;
inline constexpr int32_t TOKEN_BLANKS = 64;
inline constexpr int32_t TOKEN_END = 128;
/// Character class of anything the template language does not allow.
inline constexpr int32_t TOKEN_ILLEGAL = 256;

// Parameter type flags, one per option letter of the template.
inline constexpr int32_t PARAMETER_REQUIRED = 1; // /A
inline constexpr int32_t PARAMETER_KEYWORD = 2;  // /K
inline constexpr int32_t PARAMETER_SWITCH = 4;   // /S
inline constexpr int32_t PARAMETER_NUMBER = 8;   // /N
inline constexpr int32_t PARAMETER_FINAL = 16;   // /F

/// A token read from the tokenizer input; `text` is a new e-string owned by whoever received it.
struct ShellToken {
    EString text;
    int32_t kind;
};

/// The result of looking a name up among the parameters and their aliases.
struct ShellParameterLookup {
    int32_t found; // TRUE or FALSE
    int32_t index; // the parameter's number, or the parameter count when not found
};

/// Everything the module remembers between calls. One instance serves the whole program.
struct ShellParameterState {
    int32_t count = 0;         // 1 + the number of "," in the template
    EString* names = nullptr;  // count chains: first name, then the aliases
    int32_t* types = nullptr;  // count + 1 flag words; the last stays 0
    EString* values = nullptr; // count + 1 values or NIL; the last stays NIL
    EString templateCopy = nullptr;
    EString argumentCopy = nullptr;
    EString tokenInput = nullptr; // one of the two copies above, not owned separately
    int32_t position = 0;         // index of the next character of tokenInput
    /// TRUE when the last token read was a quoted string with its closing quote, whose text lies
    /// two characters inside the span the tokenizer consumed.
    int32_t lastTokenQuoted = FALSE;
    int32_t templateMode = FALSE;
    int32_t quiet = FALSE;
};

/// Returns the module state (tests read the compiled table and set the tokenizer mode here).
ShellParameterState& shellParameterState();

/// Makes `text` the tokenizer input, read from its first character.
void setTokenInput(EString text);
/// Returns the next token that is not blanks; an empty text of kind TOKEN_END once the input is
/// used up. Reports "unexpected character" and "string is missing closing quote" (raising "ERR").
ShellToken nextToken();
/// Returns whether `name` is a name or alias of a parameter (letter case ignored), and which.
ShellParameterLookup findParam(const char* name);

/// Shows `message` with `token` highlighted in the tokenizer input (unless quiet), then raises
/// "ERR". The caller keeps ownership of `token`. Does not return.
[[noreturn]] void tokenError(const char* token, const char* message);
/// Shows a formatted message without the token display (unless quiet), then raises "ERR".
/// Does not return.
[[noreturn]] void paramErrorF(const char* format, ...) __attribute__((format(printf, 1, 2)));
