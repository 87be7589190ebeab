// E-strings, e-lists and formatted output (Parts 3.1-3.3).
#include "strings/format.h"

#include "runtime/exception.h"
#include "runtime/memory.h"

#include "support/testSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using Items = std::vector<EListItem>;

struct Strings : ::testing::Test {
    int64_t blocksAtStart = tolvarn::memory::outstandingBlocks();
    void TearDown() override {
        exception = 0;
        EXPECT_EQ(tolvarn::memory::outstandingBlocks(), blocksAtStart) << "leaked blocks";
    }
};

/// An e-string of maximum length `max` holding `text` (cut to fit), freed at scope end.
struct Str {
    EString s;
    explicit Str(int32_t max, const char* text = "") : s(StrCopy(NewString(max), text)) {}
    ~Str() { DisposeString(s); }
    std::string text() const { return {s, static_cast<size_t>(EstrLen(s))}; }
};

/// A list of maximum length `max` holding `items`, built in place.
struct List {
    EListStorage<24> storage;
    EList l;
    explicit List(int32_t max, const Items& items = {}) : l(ListInit(&storage, max)) {
        std::copy(items.begin(), items.end(), l);
        SetList(l, static_cast<int32_t>(items.size()));
    }
    Items items() const { return {l, l + ListLen(l)}; }
};

TEST_F(Strings, EveryPreconditionRaisesEpuWithItsMessageBeforeAnythingChanges) {
    Str s(8, "keep"), t(8, "tail");
    List l(4, {1, 2}), o(4, {9}), many(24, Items(21, 1));
    const EString nils = nullptr;
    const EList nill = nullptr;
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"EString; NewString(); maxLen<0", [] { NewString(-1); }},
        {"EString; StrCopy(); eString=NILS", [&] { StrCopy(nils, nullptr, -2, -1); }},
        {"EString; StrCopy(); string=NILA", [&] { StrCopy(s.s, nullptr, -2, -1); }},
        {"EString; StrCopy(); len<0", [&] { StrCopy(s.s, "x", -2, -1); }},
        {"EString; StrCopy(); pos<0", [&] { StrCopy(s.s, "x", 1, -1); }},
        {"EString; StrAdd(); eString=NILS", [&] { StrAdd(nils, nullptr, -2, -1); }},
        {"EString; StrAdd(); string=NILA", [&] { StrAdd(s.s, nullptr, -2, -1); }},
        {"EString; StrAdd(); source & destination must not be the same",
         [&] { StrAdd(s.s, s.s, -2, -1); }},
        {"EString; StrAdd(); len<0", [&] { StrAdd(s.s, "x", -2, -1); }},
        {"EString; StrAdd(); pos<0", [&] { StrAdd(s.s, "x", 1, -1); }},
        {"EString; EstrLen(); eString=NILS", [&] { EstrLen(nils); }},
        {"EString; StrMax(); eString=NILS", [&] { StrMax(nils); }},
        {"EString; RightStr(); eString=NILS", [&] { RightStr(nils, nils, -1); }},
        {"EString; RightStr(); eString2=NILS", [&] { RightStr(s.s, nils, -1); }},
        {"EString; RightStr(); n<0", [&] { RightStr(s.s, t.s, -1); }},
        {"EString; MidStr(); eString=NILS", [&] { MidStr(nils, nullptr, -1, -2); }},
        {"EString; MidStr(); string=NILA", [&] { MidStr(s.s, nullptr, -1, -2); }},
        {"EString; MidStr(); pos<0", [&] { MidStr(s.s, "x", -1, -2); }},
        {"EString; MidStr(); len<0", [&] { MidStr(s.s, "x", 0, -2); }},
        {"EString; SetStr(); eString=NILS", [&] { SetStr(nils, -1); }},
        {"EString; SetStr(); newLen<0", [&] { SetStr(s.s, -1); }},
        {"EString; SetStr(); newLen exceeds string size", [&] { SetStr(s.s, 9); }},
        {"EString; Link(); complex=NILS", [&] { Link(nils, t.s); }},
        {"EString; Forward(); num<0", [&] { Forward(nils, -1); }},
        {"EString; StrMax(); eString=NILS", [&] { StringF(nils, "x"); }},
        {"EString; StrMax(); eString=NILS", [&] { ReadStr(stdin, nils); }},
        {"Vell/CPP/EString; appendDecimal(); eString=NILA", [&] { appendDecimal(nils, 1, 1); }},
        {"EString; StrCopy(); eString=NILS", [&] { RealF(nils, 2, 1.5); }},
        {"EList; NewList(); maxLen<0", [] { NewList(-1); }},
        {"EList; ListCopy(); list=NILL", [&] { ListCopy(nill, nill, -2); }},
        {"EList; ListCopy(); other=NILL", [&] { ListCopy(l.l, nill, -2); }},
        {"EList; ListCopy(); len<0", [&] { ListCopy(l.l, o.l, -2); }},
        {"EList; ListAdd(); list=NILL", [&] { ListAdd(nill, nill, -2); }},
        {"EList; ListAdd(); other=NILL", [&] { ListAdd(l.l, nill, -2); }},
        {"EList; ListAdd(); len<0", [&] { ListAdd(l.l, o.l, -2); }},
        {"EList; ListCmp(); list=NILL", [&] { ListCmp(nill, nill, -2); }},
        {"EList; ListCmp(); other=NILL", [&] { ListCmp(l.l, nill, -2); }},
        {"EList; ListCmp(); len<0", [&] { ListCmp(l.l, o.l, -2); }},
        {"EList; ListMax(); list=NILL", [&] { ListMax(nill); }},
        {"EList; ListLen(); list=NILL", [&] { ListLen(nill); }},
        {"EList; ListLen(); list=NILL", [&] { ListAt(nill, -1); }},
        {"EList; ListLen(); index exceeds list bounds", [&] { ListAt(l.l, 2); }},
        {"EList; ListLen(); index exceeds list bounds", [&] { ListAt(l.l, -1); }},
        {"EList; SetList(); list=NILL", [&] { SetList(nill, -1); }},
        {"EList; SetList(); newLen<0", [&] { SetList(l.l, -1); }},
        {"EList; SetList(); newLen exceeds list size", [&] { SetList(l.l, 5); }},
        {"PrintL(); args has too many items", [&] { PrintL("printed", many.l); }},
        {"StringFL(); args has too many items", [&] { StringFL(nils, "x", many.l); }},
        {"StringFL(); args has too many items", [&] { StringFL(s.s, "x", many.l); }},
        {"EString; StrMax(); eString=NILS", [&] { StringFL(nils, "x", nill); }},
    };
    for (const auto& [message, call] : cases) {
        exception = 0;
        const std::string printed = tolvarn::testing::captureStdout(
            [&, &call = call] { EXPECT_THROW(call(), eException); });
        EXPECT_EQ(exception, ID_EPU) << message;
        EXPECT_STREQ(exceptionInfo, message);
        EXPECT_TRUE(printed.empty() && s.text() == "keep" && !Next(s.s) &&
                    l.items() == (Items{1, 2}))
            << message;
    }
}

TEST_F(Strings, EveryWritingOperationCutsAtTheMaximumLength) {
    List two(2, {7, 8});
    const std::tuple<const char*, std::function<void(EString)>, const char*> cases[] = {
        {"StrCopy", [](EString s) { StrCopy(s, "abcdef"); }, "abc"},
        {"StrAdd", [](EString s) { StrAdd(StrCopy(s, "ab"), "cdef"); }, "abc"},
        {"RightStr", [](EString s) { RightStr(s, Str(9, "abcdef").s, 5); }, "bcd"},
        {"MidStr", [](EString s) { MidStr(s, "abcdef", 1); }, "bcd"},
        {"StringF", [](EString s) { StringF(s, "%d%s", 12, "345"); }, "123"},
        {"StringFL", [&](EString s) { StringFL(s, "%d-%d", two.l); }, "7-8"},
        {"appendDecimal", [](EString s) { appendDecimal(StrCopy(s, "a"), -42, 5); }, "a-0"},
        {"RealF", [](EString s) { RealF(s, 3, -1.25); }, "-1."},
        {"SetStr", [](EString s) { SetStr(StrCopy(s, "abc"), 3); }, "abc"},
    };
    for (const auto& [name, write, text] : cases) {
        Str s(3);
        write(s.s);
        EXPECT_EQ(s.text(), text) << name;
        EXPECT_EQ(std::strlen(s.s), std::strlen(text)) << name;
    }
    List source(8, {1, 2, 3, 4, 5});
    const std::tuple<Items, bool, int32_t, Items> lists[] = {
        {{7}, false, ALL, {1, 2, 3}}, {{7}, false, 2, {1, 2}}, {{7}, false, 0, {}},
        {{7}, true, ALL, {7, 1, 2}},  {{7}, true, 0, {7}},     {{7, 8, 9}, true, ALL, {7, 8, 9}},
    };
    for (const auto& [start, add, len, items] : lists) {
        List target(3, start);
        EXPECT_EQ((add ? ListAdd : ListCopy)(target.l, source.l, len), target.l);
        EXPECT_EQ(target.items(), items) << add << " " << len;
    }
}

TEST_F(Strings, CopyingHonoursLenClampsPosAndAllowsItsOwnText) {
    const std::tuple<bool, const char*, int32_t, int32_t, const char*> cases[] = {
        {false, "hello", 2, 3, "lo"}, {false, "hello", ALL, 1, "ello"}, {false, "hello", 0, 0, ""},
        {true, "hello", 0, 0, "xy"},  {true, "hello", 2, 1, "xyel"},    {false, "hi", ALL, 9, ""},
        {true, "hi", ALL, 99, "xy"},
    };
    for (const auto& [add, source, len, pos, text] : cases) {
        Str s(20, "xy");
        EXPECT_EQ((add ? StrAdd : StrCopy)(s.s, source, len, pos), s.s);
        EXPECT_EQ(s.text(), text) << source << " " << len << " " << pos;
    }
    Str self(20, "abcdef"), four(9, "abcd");
    EXPECT_STREQ(StrCopy(self.s, self.s), "abcdef");
    EXPECT_STREQ(StrCopy(self.s, self.s, ALL, 2), "cdef");
    EXPECT_STREQ(RightStr(self.s, self.s, 2), "ef");
    EXPECT_STREQ(RightStr(self.s, four.s, 10), "abcd");
    EXPECT_STREQ(MidStr(self.s, "abc", 7), "");
    EXPECT_STREQ(MidStr(self.s, "abcdef", 2, 3), "cde");
    List list(8, {1, 2, 3});
    ListAdd(list.l, list.l); // the count is taken before anything is written
    EXPECT_EQ(list.items(), (Items{1, 2, 3, 1, 2, 3}));
    ListCopy(list.l, list.l, 2);
    EXPECT_EQ(list.items(), (Items{1, 2}));
}

TEST_F(Strings, JoinNewAndSetRespectTheirSizes) {
    Str empty(0, "abc");
    EXPECT_TRUE(EstrLen(empty.s) == 0 && StrMax(empty.s) == 0 && *empty.s == '\0');
    EString joined = StrJoin("a", nullptr, "bc", "", "d"), none = StrJoin();
    EString all = StrJoin("1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14",
                          "15", "16", "17", "18", "19");
    EXPECT_TRUE(StrMax(joined) == 4 && StrMax(none) == 0 && *none == '\0');
    EXPECT_STREQ(all, "12345678910111213141516171819");
    SetStr(joined, 4);
    SetStr(joined, 2);
    EXPECT_STREQ(joined, "ab");
    for (EString s : {joined, none, all})
        DisposeString(s);
    EList list = NewList(0);
    EXPECT_TRUE(ListMax(list) == 0 && ListLen(list) == 0);
    EXPECT_EQ(DisposeList(list), nullptr);
    EXPECT_EQ(DisposeList(nullptr), nullptr);
}

TEST_F(Strings, ChainsLinkForwardAndDisposeAsOne) {
    EString a = NewString(1), b = NewString(1), c = NewString(1);
    EXPECT_EQ(Link(Link(a, b), nullptr), a); // NILS unlinks
    EXPECT_EQ(Next(a), nullptr);
    Link(Link(a, c), b); // a later link replaces the earlier one without freeing it
    Link(b, c);
    EXPECT_TRUE(Next(a) == b && Next(nullptr) == nullptr && Forward(a, 0) == a);
    EXPECT_TRUE(Forward(a, 2) == c && Forward(a, 3) == nullptr && Forward(nullptr, 0) == nullptr);
    EXPECT_EQ(DisposeString(a), nullptr); // all three, checked by TearDown
    EXPECT_EQ(DisposeString(nullptr), nullptr);
}

TEST_F(Strings, DecimalsSignsPaddingAndRealChunks) {
    const std::tuple<int32_t, int32_t, const char*> decimals[] = {
        {0, 0, ">0"},
        {42, 5, ">00042"},
        {-42, 0, ">-42"},
        {-42, 5, ">-00042"},
        {7, -3, ">7"},
        {-1, 4, ">-0001"},
        {-1, 12, ">-000000000001"},
        {INT_MIN, 0, ">-2147483648"},
        {INT_MAX, 0, ">2147483647"},
    };
    for (const auto& [value, minDigits, text] : decimals)
        EXPECT_STREQ(appendDecimal(Str(30, ">").s, value, minDigits), text);
    const std::tuple<double, int32_t, const char*> reals[] = {
        {3.14159, 2, "3.14"},        {-2.7, 0, "-2"},
        {2.999, 2, "2.99"},          {-0.25, 3, "-0.250"},
        {12.0625, 4, "12.0625"},     {1e20, 1, "2147483647.0"},
        {0.5, 12, "0.500000000000"}, {0.015625, 12, "0.015625000000"},
    };
    for (const auto& [value, count, text] : reals)
        EXPECT_STREQ(RealF(Str(40, "old").s, count, value), text) << value;
}

TEST_F(Strings, ComparisonsFoldAndOrder) {
    EXPECT_TRUE(StrCmpNoCase("ISO", "iso") && !StrCmp("ISO", "iso"));
    EXPECT_TRUE(StrCmpNoCase("\xC0\xDE", "\xE0\xFE") && !StrCmpNoCase("\xD7", "\xF7"));
    EXPECT_TRUE(StrCmp("abcX", "abcY", 3) && StrCmp("abc", "xyz", 0) && !StrCmp("abc", "abcd"));
    EXPECT_TRUE(StrCmp("xxab", "ab", ALL, 2) && StrCmp("ab", "yyab", ALL, 0, 2));
    EXPECT_TRUE(StrCmp("ab", "", ALL, 7)); // a position past the end clamps to it
    const std::tuple<const char*, const char*, int32_t, int32_t, int32_t> cases[] = {
        {"abc", "abd", ALL, 1, 1},  {"abd", "abc", ALL, -1, -1}, {"abc", "abc", ALL, 0, 0},
        {"ab", "abc", ALL, 1, 1},   {"abc", "ab", ALL, -1, -1},  {"abX", "abY", 2, 0, 0},
        {"a", "b", 0, 0, 0},        {"a", "b", -5, 0, 0},        {"abc", "ABC", ALL, -1, 0},
        {"\xE9", "e", ALL, -1, -1}, {"[", "a", ALL, 1, -1}, // unsigned bytes; "a" folds to "A"
    };
    for (const auto& [a, b, len, ord, ordNoCase] : cases) {
        EXPECT_EQ(OrdStr(a, b, len), ord) << a << " " << b;
        EXPECT_EQ(OrdStrNoCase(a, b, len), ordNoCase) << a << " " << b;
    }
    List a(4, {1, 2, 3}), b(6, {1, 2, 3}), shorter(4, {1, 2}), differ(4, {1, 5, 3});
    EXPECT_TRUE(ListCmp(a.l, b.l) && !ListCmp(a.l, shorter.l, 1) && !ListCmp(a.l, differ.l));
    EXPECT_TRUE(ListCmp(a.l, differ.l, 1) && ListAt(a.l, 2) == 3 && ListMax(b.l) == 6);
}

TEST_F(Strings, FormattingBoundsSecondResultAndListArguments) {
    Str s(5, "old");
    EXPECT_STREQ(StringF(s.s, "%s-%d", "abcdef", 1), "abcde");
    EXPECT_EQ(secondResult, 5);
    EXPECT_TRUE(StringF(s.s, "%d", 42) == s.s && s.text() == "42" && secondResult == 2);
    EXPECT_STREQ(StringF(Str(0).s, "text"), "");
    List twenty(24), one(1, {reinterpret_cast<EListItem>("world")});
    for (int32_t i = 0; i < 20; ++i)
        ListAdd(twenty.l, List(1, {i + 1}).l);
    const char* format = "%d %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d";
    const char* printed = "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20";
    int32_t result = 0;
    EXPECT_EQ(tolvarn::testing::captureStdout([&] { result = PrintL(format, twenty.l); }), printed);
    EXPECT_EQ(result, static_cast<int32_t>(std::strlen(printed)));
    EXPECT_EQ(tolvarn::testing::captureStdout([&] { PrintL("%s|%d|%d%%", one.l); }), "world|0|0%");
    EXPECT_STREQ(StringFL(s.s, "%d-abcdefghij", twenty.l), "1-abc"); // 12 formatted
    EXPECT_STREQ(StringFL(s.s, "[%d]", nullptr), "[0]");
}

TEST_F(Strings, ReadStrReadsLinesCutAtTheMaximumAndStopsAtEndOfInput) {
    char input[] = "first line\nxy\nlast";
    std::FILE* stream = fmemopen(input, std::strlen(input), "r");
    Str s(5, "old"), none(0);
    EXPECT_TRUE(ReadStr(stream, none.s) == FALSE && EstrLen(none.s) == 0);
    for (const char* line : {"first", " line", "\n", "xy\n", "last"})
        EXPECT_TRUE(ReadStr(stream, s.s) == FALSE && s.text() == line) << line;
    EXPECT_TRUE(ReadStr(stream, s.s) == TRUE && s.text() == "last");
    s.s[2] = '\0'; // written directly: at the end of input the length follows the text
    EXPECT_TRUE(ReadStr(stream, s.s) == TRUE && EstrLen(s.s) == 2 && ReadStr(stream, none.s));
    std::fclose(stream);
}

TEST_F(Strings, FailedAllocationRaisesMemAndLeaksNothing) {
    const std::function<void()> creators[] = {[] { NewString(10); }, [] { StrJoin("a", "b"); },
                                              [] { NewList(4); }};
    for (const auto& create : creators) {
        exceptionInfo = "earlier";
        tolvarn::memory::failAllocation(1);
        EXPECT_THROW(create(), eException);
        EXPECT_TRUE(exception == ID_MEM && std::strcmp(exceptionInfo, "earlier") == 0);
    }
}

} // namespace
