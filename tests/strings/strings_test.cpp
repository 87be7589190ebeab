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

using tolvarn::testing::captureStdout;

namespace {

using Items = std::vector<EListItem>;

struct Strings : ::testing::Test {
    int64_t blocksAtStart = tolvarn::memory::outstandingBlocks();
    void TearDown() override {
        exception = 0;
        EXPECT_EQ(tolvarn::memory::outstandingBlocks(), blocksAtStart) << "leaked blocks";
    }
};

/// The text of an e-string, checking that its length agrees with where its NUL is.
std::string text(EString s) {
    EXPECT_EQ(EstrLen(s), static_cast<int32_t>(std::strlen(s))) << s;
    return s;
}

/// An e-string of maximum length `max` holding `text` (cut to fit), freed at scope end.
struct Str {
    EString s;
    explicit Str(int32_t max, const char* text = "") : s(StrCopy(NewString(max), text)) {}
    ~Str() { DisposeString(s); }
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
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"EString; NewString(); maxLen<0", [] { NewString(-1); }},
        {"EString; StrCopy(); eString=NILS", [] { StrCopy(nullptr, nullptr, -2, -1); }},
        {"EString; StrCopy(); string=NILA", [&] { StrCopy(s.s, nullptr, -2, -1); }},
        {"EString; StrCopy(); len<0", [&] { StrCopy(s.s, "x", -2, -1); }},
        {"EString; StrCopy(); pos<0", [&] { StrCopy(s.s, "x", 1, -1); }},
        {"EString; StrAdd(); eString=NILS", [] { StrAdd(nullptr, nullptr, -2, -1); }},
        {"EString; StrAdd(); string=NILA", [&] { StrAdd(s.s, nullptr, -2, -1); }},
        {"EString; StrAdd(); source & destination must not be the same",
         [&] { StrAdd(s.s, s.s, -2, -1); }},
        {"EString; StrAdd(); len<0", [&] { StrAdd(s.s, "x", -2, -1); }},
        {"EString; StrAdd(); pos<0", [&] { StrAdd(s.s, "x", 1, -1); }},
        {"EString; EstrLen(); eString=NILS", [] { EstrLen(nullptr); }},
        {"EString; StrMax(); eString=NILS", [] { StrMax(nullptr); }},
        {"EString; RightStr(); eString=NILS", [] { RightStr(nullptr, nullptr, -1); }},
        {"EString; RightStr(); eString2=NILS", [&] { RightStr(s.s, nullptr, -1); }},
        {"EString; RightStr(); n<0", [&] { RightStr(s.s, t.s, -1); }},
        {"EString; MidStr(); eString=NILS", [] { MidStr(nullptr, nullptr, -1, -2); }},
        {"EString; MidStr(); string=NILA", [&] { MidStr(s.s, nullptr, -1, -2); }},
        {"EString; MidStr(); pos<0", [&] { MidStr(s.s, "x", -1, -2); }},
        {"EString; MidStr(); len<0", [&] { MidStr(s.s, "x", 0, -2); }},
        {"EString; SetStr(); eString=NILS", [] { SetStr(nullptr, -1); }},
        {"EString; SetStr(); newLen<0", [&] { SetStr(s.s, -1); }},
        {"EString; SetStr(); newLen exceeds string size", [&] { SetStr(s.s, 9); }},
        {"EString; Link(); complex=NILS", [&] { Link(nullptr, t.s); }},
        {"EString; Forward(); num<0", [] { Forward(nullptr, -1); }},
        {"EString; StrMax(); eString=NILS", [] { StringF(nullptr, "x"); }},
        {"EString; StrMax(); eString=NILS", [] { ReadStr(stdin, nullptr); }},
        {"Vell/CPP/EString; appendDecimal(); eString=NILA", [] { appendDecimal(nullptr, 1, 1); }},
        {"EString; StrCopy(); eString=NILS", [] { RealF(nullptr, 2, 1.5); }},
        {"EList; NewList(); maxLen<0", [] { NewList(-1); }},
        {"EList; ListCopy(); list=NILL", [] { ListCopy(nullptr, nullptr, -2); }},
        {"EList; ListCopy(); other=NILL", [&] { ListCopy(l.l, nullptr, -2); }},
        {"EList; ListCopy(); len<0", [&] { ListCopy(l.l, o.l, -2); }},
        {"EList; ListAdd(); list=NILL", [] { ListAdd(nullptr, nullptr, -2); }},
        {"EList; ListAdd(); other=NILL", [&] { ListAdd(l.l, nullptr, -2); }},
        {"EList; ListAdd(); len<0", [&] { ListAdd(l.l, o.l, -2); }},
        {"EList; ListCmp(); list=NILL", [] { ListCmp(nullptr, nullptr, -2); }},
        {"EList; ListCmp(); other=NILL", [&] { ListCmp(l.l, nullptr, -2); }},
        {"EList; ListCmp(); len<0", [&] { ListCmp(l.l, o.l, -2); }},
        {"EList; ListMax(); list=NILL", [] { ListMax(nullptr); }},
        {"EList; ListLen(); list=NILL", [] { ListLen(nullptr); }},
        {"EList; ListLen(); list=NILL", [] { ListAt(nullptr, -1); }},
        {"EList; ListLen(); index exceeds list bounds", [&] { ListAt(l.l, 2); }},
        {"EList; ListLen(); index exceeds list bounds", [&] { ListAt(l.l, -1); }},
        {"EList; SetList(); list=NILL", [] { SetList(nullptr, -1); }},
        {"EList; SetList(); newLen<0", [&] { SetList(l.l, -1); }},
        {"EList; SetList(); newLen exceeds list size", [&] { SetList(l.l, 5); }},
        {"PrintL(); args has too many items", [&] { PrintL("printed", many.l); }},
        {"StringFL(); args has too many items", [&] { StringFL(s.s, "x", many.l); }},
        {"EString; StrMax(); eString=NILS", [] { StringFL(nullptr, "x", nullptr); }},
    };
    for (const auto& [message, call] : cases) {
        exception = 0;
        const std::string printed =
            captureStdout([&, &call = call] { EXPECT_THROW(call(), eException); });
        EXPECT_TRUE(exception == ID_EPU && printed.empty()) << message;
        EXPECT_STREQ(exceptionInfo, message);
        EXPECT_TRUE(text(s.s) == "keep" && !Next(s.s) && l.items() == (Items{1, 2})) << message;
    }
}

TEST_F(Strings, WritingHonoursLenPosItsOwnTextTheMaximumLengthSignsAndChunks) {
    // maximum length, StrAdd after "xy" (or StrCopy), source, len, pos, the text left
    // clang-format off
    const std::tuple<int32_t, bool, const char*, int32_t, int32_t, const char*> copies[] = {
        {3, false, "abcdef", ALL, 0, "abc"}, {3, true, "cdef", ALL, 0, "xyc"}, {0, false, "ab", ALL, 0, ""},
        {9, false, "hello", 2, 3, "lo"}, {9, false, "hello", ALL, 1, "ello"}, {9, false, "hi", ALL, 9, ""},
        {9, true, "hello", 2, 1, "xyel"}, {9, true, "hello", 0, 0, "xy"}, {9, true, "hi", ALL, 99, "xy"}};
    // clang-format on
    for (const auto& [max, add, source, len, pos, expected] : copies) {
        Str s(max, add ? "xy" : "old");
        EXPECT_EQ((add ? StrAdd : StrCopy)(s.s, source, len, pos), s.s);
        EXPECT_EQ(text(s.s), expected) << source << " " << len << " " << pos;
    }
    List two(2, {7, 8});
    EXPECT_EQ(text(RightStr(Str(3).s, Str(9, "abcdef").s, 5)), "bcd");
    EXPECT_EQ(text(MidStr(Str(3).s, "abcdef", 1)), "bcd");
    EXPECT_EQ(text(StringF(Str(3).s, "%d%s", 12, "345")), "123");
    EXPECT_EQ(text(StringF(Str(0).s, "text")), "");
    EXPECT_EQ(text(StringFL(Str(3).s, "%d-%d", two.l)), "7-8");
    EXPECT_EQ(text(appendDecimal(Str(3, "a").s, -42, 5)), "a-0");
    EXPECT_EQ(text(RealF(Str(3).s, 3, -1.25)), "-1.");
    EXPECT_EQ(text(RightStr(Str(9).s, Str(4, "abcd").s, 10)), "abcd");
    EXPECT_EQ(text(MidStr(Str(9).s, "abcdef", 2, 3)), "cde");
    EXPECT_EQ(text(MidStr(Str(9, "x").s, "abc", 7)), "");
    Str self(9, "abcdef"), full(3, "abc");
    EXPECT_EQ(text(StrCopy(self.s, self.s, ALL, 2)), "cdef");
    EXPECT_EQ(text(RightStr(self.s, self.s, 2)), "ef");
    SetStr(self.s, 1);
    SetStr(full.s, 3); // up to the maximum length
    EXPECT_TRUE(text(self.s) == "e" && text(full.s) == "abc");

    List source(8, {1, 2, 3, 4, 5}), twice(8, {1, 2, 3});
    const std::tuple<Items, bool, int32_t, Items> lists[] = {
        {{7}, false, ALL, {1, 2, 3}}, {{7}, false, 2, {1, 2}}, {{7}, false, 0, {}},
        {{7}, true, ALL, {7, 1, 2}},  {{7}, true, 0, {7}},     {{7, 8, 9}, true, ALL, {7, 8, 9}},
    };
    for (const auto& [start, add, len, items] : lists) {
        List target(3, start);
        EXPECT_EQ((add ? ListAdd : ListCopy)(target.l, source.l, len), target.l);
        EXPECT_EQ(target.items(), items) << add << " " << len;
    }
    ListAdd(twice.l, twice.l); // the count is taken before anything is written
    EXPECT_EQ(twice.items(), (Items{1, 2, 3, 1, 2, 3}));

    // clang-format off
    const std::tuple<int32_t, int32_t, const char*> decimals[] = {
        {0, 0, ">0"}, {42, 5, ">00042"}, {-42, 0, ">-42"}, {-42, 5, ">-00042"}, {7, -3, ">7"},
        {-1, 12, ">-000000000001"}, {INT_MIN, 0, ">-2147483648"}, {INT_MAX, 0, ">2147483647"}};
    const std::tuple<double, int32_t, const char*> reals[] = {
        {3.14159, 2, "3.14"}, {-2.7, 0, "-2"}, {2.999, 2, "2.99"}, {-0.25, 3, "-0.250"},
        {1e20, 1, "2147483647.0"}, {0.015625, 12, "0.015625000000"}};
    // clang-format on
    for (const auto& [value, minDigits, expected] : decimals)
        EXPECT_EQ(text(appendDecimal(Str(30, ">").s, value, minDigits)), expected);
    for (const auto& [value, count, expected] : reals)
        EXPECT_EQ(text(RealF(Str(40, "old").s, count, value)), expected) << value;
}

TEST_F(Strings, JoinedStringsChainAndDisposeAsOneAndFailedAllocationsRaiseMem) {
    EString a = StrJoin("a", nullptr, "bc", "", "d"), b = StrJoin();
    EString c = StrJoin("1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14",
                        "15", "16", "17", "18", "19");
    EXPECT_TRUE(text(a) == "abcd" && StrMax(a) == 4 && StrMax(b) == 0 && text(b).empty());
    EXPECT_EQ(text(c), "12345678910111213141516171819");
    EXPECT_EQ(Link(Link(a, b), nullptr), a); // NILS unlinks
    EXPECT_EQ(Next(a), nullptr);
    Link(Link(a, c), b); // a later link replaces the earlier one without freeing it
    Link(b, c);
    EXPECT_TRUE(Next(a) == b && Next(nullptr) == nullptr && Forward(a, 0) == a);
    EXPECT_TRUE(Forward(a, 2) == c && Forward(a, 3) == nullptr && Forward(nullptr, 0) == nullptr);
    EXPECT_EQ(DisposeString(a), nullptr); // all three, counted by TearDown
    EList list = NewList(0);
    EXPECT_TRUE(ListMax(list) == 0 && ListLen(list) == 0 && DisposeList(list) == nullptr);
    EXPECT_TRUE(DisposeString(nullptr) == nullptr && DisposeList(nullptr) == nullptr);

    // A failed allocation, or a size that no block can have.
    const std::pair<std::function<void()>, bool> creators[] = {
        {[] { NewString(10); }, true},
        {[] { StrJoin("a", "b"); }, true},
        {[] { NewList(4); }, true},
        {[] { NewString(INT32_MAX); }, false},
        {[] { NewList(INT32_MAX); }, false}};
    for (const auto& [create, failing] : creators) {
        exceptionInfo = "earlier";
        tolvarn::memory::failAllocation(failing ? 1 : 0);
        EXPECT_THROW(create(), eException);
        EXPECT_TRUE(exception == ID_MEM && std::strcmp(exceptionInfo, "earlier") == 0);
        tolvarn::memory::failAllocation(0);
    }
}

TEST_F(Strings, ComparisonsFoldClampAndOrder) {
    // a, b, len, posA, posB, StrCmp, StrCmpNoCase, OrdStr, OrdStrNoCase ("a" folds to "A")
    // clang-format off
    const std::tuple<const char*, const char*, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                     int32_t> cases[] = {
        {"ISO", "iso", ALL, 0, 0, FALSE, TRUE, 1, 0},    {"\xC0\xDE", "\xE0\xFE", ALL, 0, 0, FALSE, TRUE, 1, 1},
        {"\xD7", "\xF7", ALL, 0, 0, FALSE, FALSE, 1, 1}, {"abcX", "abcY", 3, 0, 0, TRUE, TRUE, 0, 0},
        {"abc", "xyz", 0, 0, 0, TRUE, TRUE, 0, 0},       {"abc", "abcd", ALL, 0, 0, FALSE, FALSE, 1, 1},
        {"xxab", "ab", ALL, 2, 0, TRUE, TRUE, 0, 0},     {"ab", "yyab", ALL, 0, 2, TRUE, TRUE, 0, 0},
        {"ab", "", ALL, 7, 0, TRUE, TRUE, 0, 0},         {"abd", "abc", ALL, 0, 0, FALSE, FALSE, -1, -1},
        {"abc", "ab", ALL, 0, 0, FALSE, FALSE, -1, -1},  {"a", "b", -5, 0, 0, TRUE, TRUE, 0, 0},
        {"\xE9", "e", ALL, 0, 0, FALSE, FALSE, -1, -1}, {"[", "a", ALL, 0, 0, FALSE, FALSE, 1, -1}};
    // clang-format on
    for (const auto& [a, b, len, posA, posB, cmp, cmpNoCase, ord, ordNoCase] : cases) {
        EXPECT_EQ(StrCmp(a, b, len, posA, posB), cmp) << a << " " << b;
        EXPECT_EQ(StrCmpNoCase(a, b, len, posA, posB), cmpNoCase) << a << " " << b;
        EXPECT_EQ(OrdStr(a, b, len, posA, posB), ord) << a << " " << b;
        EXPECT_EQ(OrdStrNoCase(a, b, len, posA, posB), ordNoCase) << a << " " << b;
    }
    List a(4, {1, 2, 3}), b(6, {1, 2, 3}), shorter(4, {1, 2}), differ(4, {1, 5, 3});
    EXPECT_TRUE(ListCmp(a.l, b.l) && !ListCmp(a.l, shorter.l, 1) && !ListCmp(a.l, differ.l));
    EXPECT_TRUE(ListCmp(a.l, differ.l, 1) && ListAt(a.l, 2) == 3 && ListMax(b.l) == 6);
}

TEST_F(Strings, FormattingBoundsListArgumentsAndReadingLines) {
    Str s(5, "old"), none(0);
    EXPECT_TRUE(StringF(s.s, "%s-%d", "abcdef", 1) == s.s && text(s.s) == "abcde");
    EXPECT_EQ(secondResult, 5);
    EXPECT_TRUE(text(StringF(s.s, "%d", 42)) == "42" && secondResult == 2);
    List twenty(24, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20});
    List one(1, {reinterpret_cast<EListItem>("world")});
    const char* format = "%d %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d";
    const char* printed = "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20";
    int32_t result = 0;
    EXPECT_EQ(captureStdout([&] { result = PrintL(format, twenty.l); }), printed);
    EXPECT_EQ(result, static_cast<int32_t>(std::strlen(printed)));
    EXPECT_EQ(captureStdout([&] { PrintL("%s|%d|%d%%", one.l); }), "world|0|0%");
    EXPECT_EQ(text(StringFL(s.s, "%d-abcdefghij", twenty.l)), "1-abc"); // 12 formatted
    EXPECT_EQ(text(StringFL(s.s, "[%d]", nullptr)), "[0]");

    char input[] = "first line\nxy\nlast";
    std::FILE* stream = fmemopen(input, std::strlen(input), "r");
    EXPECT_TRUE(ReadStr(stream, none.s) == FALSE && EstrLen(none.s) == 0);
    for (const char* line : {"first", " line", "\n", "xy\n", "last"})
        EXPECT_TRUE(ReadStr(stream, s.s) == FALSE && text(s.s) == line) << line;
    EXPECT_TRUE(ReadStr(stream, s.s) == TRUE && text(s.s) == "last");
    s.s[2] = '\0'; // written directly: at the end of input the length follows the text
    EXPECT_TRUE(ReadStr(stream, s.s) == TRUE && EstrLen(s.s) == 2 && ReadStr(stream, none.s));
    std::fclose(stream);
}

} // namespace
