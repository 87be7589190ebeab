#include "runtime/exception.h"

#include "support/testSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <string>
#include <utility>

namespace {

struct ExceptionTest : ::testing::Test {
    void TearDown() override {
        exception = 0;
        exceptionInfo = nullptr;
    }
};

TEST_F(ExceptionTest, IdTextShowsControlBytesAsBlanksAndKeepsHighBytes) {
    // Id() packing is checked through IdText: the first letter must come out first.
    // clang-format off
    const std::pair<int32_t, const char*> cases[] = {{Id("MEM"), " MEM"}, {Id("ARGS"), "ARGS"},
        {0x411F4243, "A BC"}, {0x41E9475A, "A\xE9GZ"}, {-1, "\xFF\xFF\xFF\xFF"}};
    // clang-format on
    for (const auto& [id, text] : cases)
        EXPECT_STREQ(IdText(id), text) << std::hex << id;
}

TEST_F(ExceptionTest, PrintExceptionForms) {
    const std::tuple<int32_t, const char*, const char*> cases[] = {
        {0, "ignored", ""},
        {-1, reinterpret_cast<const char*>(10), ""},
        {ID_MEM, nullptr, "EXCEPTION: \" MEM\".\n"},
        {ID_EPU, "EString; StrCopy(); len<0", "EXCEPTION: \" EPU\"; EString; StrCopy(); len<0.\n"},
    };
    for (const auto& [id, info, printed] : cases) {
        exception = id;
        exceptionInfo = info;
        EXPECT_EQ(tolvarn::testing::captureStdout([] { PrintException(); }), printed);
    }
}

TEST_F(ExceptionTest, GuardedProcedureCleansUpOnEveryPathAndKeepsTheOuterState) {
    std::string steps;
    auto procedure = [&](const std::function<void()>& fail) {
        tolvarn::guarded(
            [&] {
                steps += "body ";
                fail();
                steps += "end ";
            },
            [&] {
                steps += exception ? std::string("clean after") + IdText(exception) : "clean";
                if (exception == ID_ERR)
                    exception = 0; // the procedure ends its own "ERR"
            });
    };
    // outer exception, what the body does, whether it throws, exception afterwards, steps taken
    // clang-format off
    const std::tuple<int32_t, std::function<void()>, bool, int32_t, const char*> cases[] = {
        {ID_EXE, [] {}, false, ID_EXE, "body end clean"},
        {0, [] { Raise(ID_ERR); }, false, 0, "body clean after ERR"},
        {ID_MEM, [] { Raise(ID_ERR); }, false, ID_MEM, "body clean after ERR"},
        {ID_EXE, [] { Throw(ID_BUG, "inner"); }, true, ID_BUG, "body clean after BUG"},
        {0, [] { throw std::bad_alloc(); }, true, ID_MEM, "body clean after MEM"},
        {0, [] { throw 42; }, true, ID_BUG, "body clean after BUG"},
    };
    // clang-format on
    for (const auto& [outer, fail, throws, after, expectedSteps] : cases) {
        steps.clear();
        exception = outer;
        if (throws)
            EXPECT_THROW(procedure(fail), eException) << expectedSteps;
        else
            EXPECT_NO_THROW(procedure(fail)) << expectedSteps;
        EXPECT_EQ(exception, after) << expectedSteps;
        EXPECT_EQ(steps, expectedSteps);
    }
    EXPECT_STREQ(exceptionInfo, "guarded(); unexpected foreign exception");
}

} // namespace
