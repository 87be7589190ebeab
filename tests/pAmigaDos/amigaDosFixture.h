// A sandbox per test, and the check every test ends with: no lock, handle, device record, DOS
// object or memory block left over, not even after an exception forced midway.
#pragma once

#include "platform/dos.h"
#include "platform/exec.h"
#include "runtime/exception.h"
#include "runtime/memory.h"
#include "strings/estring.h"
#include "support/testSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
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

class AmigaDosTest : public ::testing::Test {
  protected:
    Sandbox sandbox;
    platform::Outstanding held = platform::outstanding();
    int64_t blocks = memory::outstandingBlocks();

    void TearDown() override {
        EXPECT_EQ(platform::outstanding().locks, 0);
        EXPECT_EQ(platform::outstanding(), held);
        EXPECT_EQ(memory::outstandingBlocks(), blocks);
        EXPECT_EQ(exception, 0);
    }

    /// Returns the text of a result and frees it; nullopt for NIL.
    static std::optional<std::string> take(EString result) {
        if (result == nullptr)
            return std::nullopt;
        const std::string text = result;
        EXPECT_EQ(EstrLen(result), static_cast<int32_t>(text.size())) << text;
        DisposeString(result);
        return text;
    }

    /// Declares "NAME: /host/dir" assigns; a name given twice is a multi-directory assign.
    void declareAssigns(const std::string& lines) {
        std::filesystem::create_directories(sandbox.path("config/tolvarn"));
        std::ofstream(sandbox.path("config/tolvarn/assigns")) << lines;
        platform::resetProcess();
    }

    void softLink(const std::string& target, const std::string& relative) {
        std::filesystem::create_directories(
            std::filesystem::path(sandbox.path(relative)).parent_path());
        std::filesystem::create_symlink(target, sandbox.path(relative));
    }

    /// Runs `operation` once to count its allocations, then again with each one failing in turn:
    /// whether it raises "MEM" or carries on with less, it must give everything back.
    static void forEveryAllocationFailure(const std::function<void()>& operation) {
        const platform::Outstanding before = platform::outstanding();
        const int64_t blocksBefore = memory::outstandingBlocks(), start = memory::allocationCount();
        operation();
        const int64_t points = memory::allocationCount() - start;
        for (int64_t n = 1; n <= points; ++n) {
            memory::failAllocation(n);
            try {
                operation();
            } catch (const eException&) {
                EXPECT_EQ(exception, ID_MEM) << "allocation " << n;
            }
            memory::failAllocation(0);
            exception = 0;
            EXPECT_EQ(platform::outstanding(), before) << "allocation " << n << " of " << points;
            EXPECT_EQ(memory::outstandingBlocks(), blocksBefore) << "allocation " << n;
        }
    }
};

} // namespace tolvarn::testing
