// All dynamic memory of the program's own modules goes through these three calls: blocks are
// zero-filled unless asked otherwise, and a failed allocation raises "MEM" instead of giving null.
#pragma once

#include <cstdint>

/// Returns a block of `size` bytes (zero-filled unless `noClear`), or null when none can be had.
/// A request for 0 bytes, or a negative one, gives null.
void* MemTryAlloc(int64_t size, int32_t noClear);
/// As MemTryAlloc, but raises "MEM" (leaving `exceptionInfo` alone) instead of returning null.
void* MemAlloc(int64_t size, int32_t noClear);
/// Gives a block back; null is accepted. `size` is ignored (-999 when unknown). Returns null so
/// that callers can store it back into their variable.
void* MemFree(void* block, int64_t size);

namespace tolvarn::memory {

/// Test hook: the `n`-th allocation from now (1 = the next one) fails; 0 switches failures off.
void failAllocation(int64_t n);
/// The number of allocations made since start (failed ones included), to find failure points.
int64_t allocationCount();
/// Blocks handed out and not yet given back.
int64_t outstandingBlocks();

} // namespace tolvarn::memory
