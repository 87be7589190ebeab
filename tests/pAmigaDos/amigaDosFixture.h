// A sandbox per test, and the check every test ends with: no lock, handle, device record, DOS
// object or memory block left over, not even after an exception forced midway.
#pragma once

#include "platform/dos/dos.h"
#include "platform/exec/exec.h"
#include "runtime/exception.h"
#include "runtime/memory.h"
#include "strings/estring.h"
#include "support/testSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace tolvarn::platform {
inline void PrintTo(const Outstanding& held, std::ostream* out) {
    *out << "locks " << held.locks << ", handles " << held.fileHandles << ", device records "
         << held.deviceProcs << ", DOS objects " << held.dosObjects;
}
} // namespace tolvarn::platform

namespace tolvarn::testing {

using Text = std::optional<std::string>;

class AmigaDosTest : public ::testing::Test {
  protected:
    Sandbox sandbox;
    int64_t blocks = memory::outstandingBlocks();

    void TearDown() override {
        EXPECT_EQ(platform::outstanding(), platform::Outstanding{});
        EXPECT_EQ(memory::outstandingBlocks(), blocks);
        EXPECT_EQ(exception, 0);
    }

    /// Returns the text of a result (checking its length) and frees it; nullopt for NIL.
    static Text take(EString result) {
        const Text text = result ? Text(result) : std::nullopt;
        EXPECT_TRUE(!result || EstrLen(result) == static_cast<int32_t>(text->size())) << *text;
        DisposeString(result);
        return text;
    }

    /// Runs `operation` once to count its allocations, then again with each one failing in turn:
    /// whether it raises "MEM" or carries on with less, it must give everything back.
    static void forEveryAllocationFailure(const std::function<void()>& operation) {
        const auto before = std::pair(platform::outstanding(), memory::outstandingBlocks());
        const int64_t start = memory::allocationCount();
        operation();
        for (int64_t n = 1, points = memory::allocationCount() - start; n <= points; ++n) {
            memory::failAllocation(n);
            try {
                operation();
            } catch (const eException&) {
                EXPECT_EQ(exception, ID_MEM) << "allocation " << n;
            }
            memory::failAllocation(0);
            exception = 0;
            EXPECT_EQ(std::pair(platform::outstanding(), memory::outstandingBlocks()), before)
                << "allocation " << n << " of " << points;
        }
    }
};

} // namespace tolvarn::testing
