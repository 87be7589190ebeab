#include "runtime/exception.h"
#include "runtime/memory.h"

#include "support/testSupport.h"

#include <gtest/gtest.h>

using tolvarn::testing::captureStdout;

namespace {

class ExceptionTest : public ::testing::Test {
protected:
    void SetUp() override {
        exception = 0;
        exceptionInfo = nullptr;
    }
    void TearDown() override {
        exception = 0;
        exceptionInfo = nullptr;
    }
};

TEST_F(ExceptionTest, IdentifiersPackFirstLetterHighest) {
    static_assert(Id("MEM") == 0x004D454D);
    static_assert(Id("ARGS") == 0x41524753);
    static_assert(ID_EPU == 0x00455055 && ID_BUG == 0x00425547 && ID_ERR == 0x00455252);
    static_assert(ID_RES == 0x00524553 && ID_EXE == 0x00455845);
}

TEST_F(ExceptionTest, IdTextShowsControlBytesAsBlanksAndKeepsHighBytes) {
    struct Case {
        int32_t id;
        const char* text;
    } cases[] = {
        {Id("MEM"), " MEM"},
        {Id("ARGS"), "ARGS"},
        {static_cast<int32_t>(0x411F4243), "A BC"},
        {static_cast<int32_t>(0x41E94243), "A\xE9" "BC"},
        {0, "    "},
        {-1, "\xFF\xFF\xFF\xFF"},
    };
    for (const Case& c : cases)
        EXPECT_STREQ(IdText(c.id), c.text) << std::hex << c.id;
}

TEST_F(ExceptionTest, PrintExceptionForms) {
    struct Case {
        int32_t id;
        const char* info;
        const char* printed;
    } cases[] = {
        {0, "ignored", ""},
        {-1, reinterpret_cast<const char*>(10), ""},
        {ID_MEM, nullptr, "EXCEPTION: \" MEM\".\n"},
        {ID_EPU, "EString; StrCopy(); len<0", "EXCEPTION: \" EPU\"; EString; StrCopy(); len<0.\n"},
        {ID_ARGS, "x", "EXCEPTION: \"ARGS\"; x.\n"},
    };
    for (const Case& c : cases) {
        exception = c.id;
        exceptionInfo = c.info;
        EXPECT_EQ(captureStdout([] { PrintException(); }), c.printed);
    }
}

TEST_F(ExceptionTest, ThrowRaiseAndCleanUpSetTheState) {
    EXPECT_THROW(Throw(ID_EPU, "message"), eException);
    EXPECT_EQ(exception, ID_EPU);
    EXPECT_STREQ(exceptionInfo, "message");

    // Raise keeps the earlier message, so a later "ARGS" reports it.
    EXPECT_THROW(Raise(ID_ARGS), eException);
    EXPECT_EQ(exception, ID_ARGS);
    EXPECT_STREQ(exceptionInfo, "message");

    EXPECT_THROW(CleanUp(10), eException);
    EXPECT_EQ(exception, -1);
    EXPECT_EQ(cleanUpReturnCode(), 10);
}

TEST_F(ExceptionTest, ReThrowOnlyWhenAnExceptionIsPending) {
    exception = 0;
    EXPECT_NO_THROW(ReThrow());
    exception = ID_BUG;
    EXPECT_THROW(ReThrow(), eException);
}

TEST_F(ExceptionTest, GuardedProcedureRunsCleanUpOnBothPathsAndPassesTheExceptionOn) {
    std::vector<std::string> steps;
    auto procedure = [&](bool fail) {
        tolvarn::guarded(
            [&] {
                steps.push_back("body");
                if (fail)
                    Throw(ID_BUG, "inner");
                steps.push_back("body end");
            },
            [&] { steps.push_back(exception == 0 ? "clean" : "clean after exception"); });
    };

    exception = ID_EXE; // an outer exception being handled must come back unchanged
    procedure(false);
    EXPECT_EQ(exception, ID_EXE);
    EXPECT_EQ(steps, (std::vector<std::string>{"body", "body end", "clean"}));

    steps.clear();
    EXPECT_THROW(procedure(true), eException);
    EXPECT_EQ(exception, ID_BUG);
    EXPECT_STREQ(exceptionInfo, "inner");
    EXPECT_EQ(steps, (std::vector<std::string>{"body", "clean after exception"}));
}

TEST_F(ExceptionTest, GuardedProcedureThatEndsAnErrReturnsWithTheOuterState) {
    bool result = true;
    auto parse = [&] {
        tolvarn::guarded([&] { Raise(ID_ERR); },
                         [&] {
                             if (exception == ID_ERR) {
                                 exception = 0;
                                 result = false;
                             }
                         });
    };
    EXPECT_NO_THROW(parse());
    EXPECT_FALSE(result);
    EXPECT_EQ(exception, 0);

    exception = ID_MEM;
    EXPECT_NO_THROW(parse());
    EXPECT_EQ(exception, ID_MEM);
}

TEST_F(ExceptionTest, NestedGuardsUnwindInnermostFirst) {
    std::string order;
    EXPECT_THROW(tolvarn::guarded(
                     [&] {
                         tolvarn::guarded([&] { Raise(ID_MEM); }, [&] { order += "inner "; });
                     },
                     [&] { order += "outer"; }),
                 eException);
    EXPECT_EQ(order, "inner outer");
    EXPECT_EQ(exception, ID_MEM);
}

TEST_F(ExceptionTest, ForeignExceptionsBecomeInternalErrors) {
    EXPECT_THROW(tolvarn::guarded([] { throw std::bad_alloc(); }), eException);
    EXPECT_EQ(exception, ID_BUG);
}

} // namespace
