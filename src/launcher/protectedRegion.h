// The top level of a program: the one place where an exception stops instead of travelling on.
#pragma once

#include "runtime/exception.h"

namespace tolvarn {

/// Runs `body` and keeps whatever exception ended it in `exception` (and `exceptionInfo`) for the
/// caller's report. Only a program's entry uses this; everything below it passes exceptions on.
template <typename Body> void protectedRegion(Body&& body) {
    try {
        body();
    } catch (...) {
        noteForeignException("protectedRegion(); unexpected foreign exception");
    }
}

} // namespace tolvarn
