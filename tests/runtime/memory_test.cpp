#include "runtime/exception.h"
#include "runtime/memory.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(MemoryTest, ClearedBlocksReadAsZero) {
    auto* block = static_cast<unsigned char*>(MemAlloc(4096, 0));
    for (int i = 0; i < 4096; ++i)
        ASSERT_EQ(block[i], 0) << i;
    EXPECT_EQ(MemFree(block, 4096), nullptr);
}

TEST(MemoryTest, FailedAllocationsGiveNullOrRaiseMemKeepingTheMessage) {
    struct Case {
        int64_t size;
        bool injected;
    } cases[] = {{0, false}, {-5, false}, {16, true}};
    for (const Case& c : cases) {
        exception = 0;
        exceptionInfo = "earlier message";
        if (c.injected)
            tolvarn::memory::failAllocation(1);
        EXPECT_EQ(MemTryAlloc(c.size, 0), nullptr) << c.size;
        if (c.injected)
            tolvarn::memory::failAllocation(1);
        EXPECT_THROW(MemAlloc(c.size, 1), eException) << c.size;
        EXPECT_EQ(exception, ID_MEM);
        EXPECT_STREQ(exceptionInfo, "earlier message");
    }
    exception = 0;
    exceptionInfo = nullptr;
}

TEST(MemoryTest, InjectedFailureHitsOnlyTheNthAllocation) {
    tolvarn::memory::failAllocation(3);
    void* first = MemTryAlloc(8, 0);
    void* second = MemTryAlloc(8, 0);
    void* third = MemTryAlloc(8, 0);
    void* fourth = MemTryAlloc(8, 0);
    EXPECT_NE(first, nullptr);
    EXPECT_NE(second, nullptr);
    EXPECT_EQ(third, nullptr);
    EXPECT_NE(fourth, nullptr);
    for (void* block : {first, second, fourth})
        MemFree(block, 8);
}

TEST(MemoryTest, OutstandingBlocksAreCounted) {
    const int64_t before = tolvarn::memory::outstandingBlocks();
    void* block = MemAlloc(32, 1);
    EXPECT_EQ(tolvarn::memory::outstandingBlocks(), before + 1);
    block = MemFree(block, -999);
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(MemFree(nullptr, -999), nullptr);
    EXPECT_EQ(tolvarn::memory::outstandingBlocks(), before);
}

} // namespace
