// The program's one exception mechanism: a failure is an identifier and an optional message,
// kept in two process-wide variables, while the object actually thrown is an empty marker.
#pragma once

#include <cstddef>
#include <cstdint>

/// The only type the program throws. It carries nothing: what happened is in `exception` and
/// `exceptionInfo`.
class eException {};

/// Identifier of the exception in flight or being handled; 0 when there is none.
extern int32_t exception;
/// The message that goes with `exception` (or, for identifier -1, the return code cast to a
/// pointer). Never copied or freed by the mechanism.
extern const char* exceptionInfo;

/// Packs three or four letters into an identifier, first letter in the most significant byte of
/// the used part: Id("MEM") is 0x004D454D, Id("ARGS") is 0x41524753.
template <std::size_t N> constexpr int32_t Id(const char (&text)[N]) {
    static_assert(N >= 2 && N <= 5, "identifiers have one to four characters");
    uint32_t packed = 0;
    for (std::size_t i = 0; i + 1 < N; ++i)
        packed = (packed << 8) | static_cast<unsigned char>(text[i]);
    return static_cast<int32_t>(packed);
}

inline constexpr int32_t ID_EPU = Id("EPU");
inline constexpr int32_t ID_BUG = Id("BUG");
inline constexpr int32_t ID_ERR = Id("ERR");
inline constexpr int32_t ID_MEM = Id("MEM");
inline constexpr int32_t ID_RES = Id("RES");
inline constexpr int32_t ID_EXE = Id("EXE");
inline constexpr int32_t ID_ARGS = Id("ARGS");
/// The request to end the program with a return code (`CleanUp`).
inline constexpr int32_t ID_CLEANUP = -1;

/// Sets `exception` and `exceptionInfo`, then throws. Does not return.
[[noreturn]] void Throw(int32_t id, const char* info);
/// Sets `exception` and leaves `exceptionInfo` as it is, then throws. Does not return.
[[noreturn]] void Raise(int32_t id);
/// Asks for the program to end with `returnCode`: Throw(-1, returnCode). Does not return.
[[noreturn]] void CleanUp(int32_t returnCode);
/// Throws again when `exception` is set; returns otherwise.
void ReThrow();
/// Prints the standard report line of the current exception on standard output; nothing for 0
/// and -1.
void PrintException();
/// Returns a static five-byte text of the identifier's four bytes, bytes below 32 shown as
/// blanks. The buffer is overwritten by the next call.
const char* IdText(int32_t id);

/// The return code that `CleanUp` stored in `exceptionInfo`.
inline int32_t cleanUpReturnCode() {
    return static_cast<int32_t>(reinterpret_cast<intptr_t>(exceptionInfo));
}

/// Second result of an operation with two results; the caller reads it right after the call.
extern int32_t secondResult;

namespace tolvarn {

/// Called inside a catch-all: only eException is thrown on purpose, so anything else that lands
/// there with no exception noted must not vanish. A host library's std::bad_alloc is memory
/// running out ("MEM"); anything else is an internal error ("BUG" with `message`).
void noteForeignException(const char* message);

/// Runs `body` as a guarded procedure: the outer `exception` is parked and cleared, the body runs
/// under a catch-all, then `cleanUp` runs on every path (it may look at `exception` and end it
/// by setting it to 0). A pending exception is then passed on unchanged; otherwise the parked
/// value is put back, so a completed procedure leaves `exception` as it found it.
template <typename Body, typename CleanUpStep> void guarded(Body&& body, CleanUpStep&& cleanUp) {
    const int32_t saved = exception;
    exception = 0;
    try {
        body();
    } catch (...) {
        noteForeignException("guarded(); unexpected foreign exception");
    }
    cleanUp();
    if (exception != 0)
        ReThrow();
    exception = saved;
}

/// A guarded procedure whose clean-up has nothing to give back but still must restore the
/// parked exception state (used where only the "end an exception" part matters).
template <typename Body> void guarded(Body&& body) {
    guarded(static_cast<Body&&>(body), [] {});
}

} // namespace tolvarn
