#include "runtime/memory.h"

#include "runtime/exception.h"

#include <cstdlib>

namespace {
int64_t failAt = 0;
int64_t allocations = 0;
int64_t outstanding = 0;
} // namespace

void* MemTryAlloc(int64_t size, int32_t noClear) {
    ++allocations;
    if (failAt != 0 && allocations == failAt) {
        failAt = 0;
        return nullptr;
    }
    if (size <= 0)
        return nullptr;
    void* block = noClear ? std::malloc(static_cast<size_t>(size))
                          : std::calloc(1, static_cast<size_t>(size));
    if (block != nullptr)
        ++outstanding;
    return block;
}

void* MemAlloc(int64_t size, int32_t noClear) {
    void* block = MemTryAlloc(size, noClear);
    if (block == nullptr)
        Raise(ID_MEM);
    return block;
}

void* MemFree(void* block, int64_t /*size*/) {
    if (block != nullptr) {
        std::free(block);
        --outstanding;
    }
    return nullptr;
}

namespace tolvarn::memory {

void failAllocation(int64_t n) { failAt = n == 0 ? 0 : allocations + n; }
int64_t allocationCount() { return allocations; }
int64_t outstandingBlocks() { return outstanding; }

} // namespace tolvarn::memory
