#include "runtime/exception.h"

#include <cstdio>
#include <exception>
#include <new>

int32_t exception = 0;
const char* exceptionInfo = nullptr;
int32_t secondResult = 0;

void Throw(int32_t id, const char* info) {
    exception = id;
    exceptionInfo = info;
    throw eException();
}

void Raise(int32_t id) {
    exception = id;
    throw eException();
}

void CleanUp(int32_t returnCode) {
    Throw(ID_CLEANUP, reinterpret_cast<const char*>(static_cast<intptr_t>(returnCode)));
}

void ReThrow() {
    if (exception != 0)
        throw eException();
}

const char* IdText(int32_t id) {
    static char text[5];
    const auto bits = static_cast<uint32_t>(id);
    for (int i = 0; i < 4; ++i) {
        const auto byte = static_cast<unsigned char>(bits >> (8 * (3 - i)));
        text[i] = static_cast<char>(byte < 32 ? ' ' : byte);
    }
    text[4] = '\0';
    return text;
}

void PrintException() {
    if (exception == 0 || exception == ID_CLEANUP)
        return;
    if (exceptionInfo != nullptr)
        std::printf("EXCEPTION: \"%s\"; %s.\n", IdText(exception), exceptionInfo);
    else
        std::printf("EXCEPTION: \"%s\".\n", IdText(exception));
}

namespace tolvarn {

void noteForeignException(const char* message) {
    if (exception != 0)
        return;
    try {
        throw;
    } catch (const std::bad_alloc&) {
        exception = ID_MEM;
    } catch (...) {
        exception = ID_BUG;
        exceptionInfo = message;
    }
}

} // namespace tolvarn
