#include "runtime/exception.h"
#include "runtime/memory.h"

#include <gtest/gtest.h>

#include <algorithm>

using tolvarn::memory::failAllocation;
using tolvarn::memory::outstandingBlocks;

namespace {

TEST(MemoryTest, BlocksAreClearedCountedAndFreed) {
    const int64_t before = outstandingBlocks();
    auto* block = static_cast<unsigned char*>(MemAlloc(4096, 0)); // the sanitizer fills with 0xBE
    EXPECT_EQ(outstandingBlocks(), before + 1);
    EXPECT_EQ(std::count(block, block + 4096, 0), 4096);
    EXPECT_EQ(MemFree(block, -999), nullptr);
    EXPECT_EQ(MemFree(nullptr, -999), nullptr);
    EXPECT_EQ(outstandingBlocks(), before);
}

TEST(MemoryTest, FailuresGiveNullOrRaiseMemKeepingTheMessage) {
    for (const auto& [size, injected] : {std::pair{0, false}, {-5, false}, {16, true}}) {
        exceptionInfo = "earlier message";
        failAllocation(injected ? 1 : 0);
        EXPECT_EQ(MemTryAlloc(size, 0), nullptr) << size;
        failAllocation(injected ? 1 : 0);
        EXPECT_THROW(MemAlloc(size, 1), eException) << size;
        EXPECT_EQ(exception, ID_MEM);
        EXPECT_STREQ(exceptionInfo, "earlier message");
    }
    exception = 0;
    failAllocation(3); // only the third one from now
    void* blocks[4];
    for (void*& block : blocks)
        block = MemTryAlloc(8, 0);
    EXPECT_TRUE(blocks[0] && blocks[1] && !blocks[2] && blocks[3]);
    for (void* block : blocks)
        MemFree(block, 8);
}

} // namespace
