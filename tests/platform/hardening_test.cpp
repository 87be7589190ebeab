// Oversized and hostile input for the host layer: path texts of thousands of characters, a folder
// nested deeper than the host's own path limit, and wildcard patterns that nest thousands of
// levels deep or repeat many times. Each gives a clean result or a failure with IoErr() set.
#include "layerTesting.h"

#include "support/deepFolder.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace tolvarn::testing {
namespace {

std::string repeated(const std::string& piece, size_t times) {
    std::string text;
    for (size_t i = 0; i < times; ++i)
        text += piece;
    return text;
}

class HostHardeningTest : public HostLayerTest {};

TEST_F(HostHardeningTest, PathStringsOfThousandsOfCharacters) {
    const std::string directory(4000, 'd'), name(4000, 'n');
    std::vector<char> buffer(directory.size() + name.size() + 2);
    // Exactly enough room for both, the "/" and the NUL; one byte less changes nothing.
    std::strcpy(buffer.data(), directory.c_str());
    EXPECT_EQ(AddPart(buffer.data(), name.c_str(), static_cast<uint32_t>(buffer.size() - 1)),
              DOSFALSE);
    EXPECT_EQ(IoErr(), ERROR_LINE_TOO_LONG);
    EXPECT_EQ(buffer.data(), directory);
    EXPECT_EQ(AddPart(buffer.data(), name.c_str(), static_cast<uint32_t>(buffer.size())), DOSTRUE);
    EXPECT_EQ(buffer.data(), directory + "/" + name);

    const std::string nested = repeated("c/", 2000) + "x";
    EXPECT_STREQ(FilePart(nested.c_str()), "x");
    EXPECT_EQ(PathPart(nested.c_str()), nested.c_str() + nested.size() - 2);
    const std::string parents = repeated("/", 4000);
    EXPECT_EQ(FilePart(parents.c_str()), parents.c_str() + parents.size());
}

TEST_F(HostHardeningTest, LongPathsFailCleanly) {
    sandbox.writeFile("work/present", "x");
    const struct {
        const char* name;
        std::string path;
    } cases[] = {
        {"4,000 characters of missing folders", repeated("folder/", 571) + "x"},
        {"one name of 4,000 characters", std::string(4000, 'n')},
        {"a long name inside an existing folder", sandbox.work() + "/" + std::string(300, 'n')},
        {"4,000 parent steps from a missing folder", "missing" + repeated("/", 4000) + "x"},
        {"a long device name", std::string(4000, 'D') + ":x"},
        {"a long name after the present file", "present/" + std::string(4000, 'n')},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        SetIoErr(0);
        EXPECT_EQ(Lock(test.path.c_str(), SHARED_LOCK), nullptr);
        EXPECT_NE(IoErr(), 0);
        SetIoErr(0);
        EXPECT_EQ(Open(test.path.c_str(), MODE_OLDFILE), nullptr);
        EXPECT_NE(IoErr(), 0);
        EXPECT_EQ(Open(test.path.c_str(), MODE_NEWFILE), nullptr);
        EXPECT_EQ(Rename("present", test.path.c_str()), DOSFALSE);
        EXPECT_EQ(Rename(test.path.c_str(), "elsewhere"), DOSFALSE);
        EXPECT_EQ(DeleteFile(test.path.c_str()), DOSFALSE);
        EXPECT_EQ(readFile(sandbox.path("work/present")), "x");
    }
}

TEST_F(HostHardeningTest, AFolderDeeperThanTheHostPathLimit) {
    // Twenty folders of 250 characters: 5,000 characters below the work folder, more than the
    // host takes in one path.
    const std::string relative = makeDeepFolder(sandbox.work(), std::string(250, 's'), 20);
    for (const std::string& path : {relative, sandbox.work() + "/" + relative}) {
        SetIoErr(0);
        BPTR lock = Lock(path.c_str(), SHARED_LOCK);
        if (lock == nullptr) {
            EXPECT_NE(IoErr(), 0);
            continue;
        }
        // When the layer manages to lock it, it must name it in full or say the name is too long.
        std::vector<char> name(8192);
        EXPECT_EQ(NameFromLock(lock, name.data(), 128), DOSFALSE);
        EXPECT_EQ(IoErr(), ERROR_LINE_TOO_LONG);
        EXPECT_EQ(NameFromLock(lock, name.data(), static_cast<int32_t>(name.size())), DOSTRUE);
        EXPECT_EQ(std::string(name.data()), sandbox.work() + "/" + relative);
        UnLock(lock);
    }

    removeBelow(sandbox.work());
}

TEST_F(HostHardeningTest, PatternsNestedThousandsOfLevelsDeep) {
    const size_t depth = 20000;
    const struct {
        const char* name;
        std::string pattern;
        const char* matching; // a name the pattern matches, or null
        const char* other;    // a name it does not match
    } cases[] = {
        {"parentheses", repeated("(", depth) + "a" + repeated(")", depth), "A", "b"},
        {"negations", repeated("~", depth) + "a", "a", "b"}, // an even number of them
        {"repeats", repeated("#", depth) + "a", "aaaa", "ab"},
        {"alternatives", repeated("(b|", depth) + "a" + repeated(")", depth), "b", "c"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        std::vector<char> code(2 * test.pattern.size() + 2);
        const int32_t parsed = ParsePatternNoCase(test.pattern.c_str(), code.data(),
                                                  static_cast<int32_t>(code.size()));
        // A pattern this deep may be refused as malformed; if it is taken, it must match right.
        if (parsed == -1) {
            EXPECT_EQ(IoErr(), ERROR_BAD_TEMPLATE);
            continue;
        }
        EXPECT_EQ(parsed, 1);
        EXPECT_EQ(MatchPatternNoCase(code.data(), test.matching), DOSTRUE);
        EXPECT_EQ(MatchPatternNoCase(code.data(), test.other), DOSFALSE);
    }
}

TEST_F(HostHardeningTest, RepeatsNegationsAndGroupsInsideEachOther) {
    using Names = std::vector<const char*>;
    const struct {
        const char* pattern;
        Names matching, other;
    } cases[] = {
        {"#(a|%)", {"", "aAa"}, {"ab"}},      // a repeat whose body may match nothing
        {"(a|b|)c", {"c", "bc"}, {"abc"}},    // an empty alternative
        {"~(~(a))", {"A"}, {"", "b", "aa"}},  // two negations cancel
        {"#(~(a))", {"", "b", "xyz"}, {"a"}}, // pieces that are each not "a" cannot make "a"
        {"a~(b)c", {"ac", "axc", "abbc"}, {"abc"}},
        {"#(ab|a)b", {"aabab", "aabb", "b"}, {"aa", "bb"}},
        {"[a-c]#[~a-c]", {"aXYZ", "c"}, {"ab"}},
        {"~(#?x)#?", {"", "yx"}, {}},           // "not ending in x", then anything
        {"#(#a#b)c", {"c", "aabbabc"}, {"ca"}}, // a repeat of repeats
        {"~(%)", {"a", "ab"}, {""}},            // anything but the empty text
        {"(a|b)(c|d)~(e)", {"ac", "bdf", "adee"}, {"ae", "ace"}},
    };
    for (const auto& test : cases) {
        std::vector<char> code(2 * std::strlen(test.pattern) + 2);
        ASSERT_EQ(ParsePatternNoCase(test.pattern, code.data(), static_cast<int32_t>(code.size())),
                  1)
            << test.pattern;
        for (const char* name : test.matching)
            EXPECT_EQ(MatchPatternNoCase(code.data(), name), DOSTRUE)
                << test.pattern << " ~ " << name;
        for (const char* name : test.other)
            EXPECT_EQ(MatchPatternNoCase(code.data(), name), DOSFALSE)
                << test.pattern << " ~ " << name;
    }
}

TEST_F(HostHardeningTest, ManyRepeatsAgainstLongNames) {
    // Names as long as the host allows, and longer ones, against patterns of many "#?".
    const std::string longName = repeated("ab", 500) + ".exe";
    const struct {
        std::string pattern;
        std::string name;
        bool expected;
    } cases[] = {
        {repeated("#?", 10) + ".exe", longName, true},
        {repeated("#?", 10) + ".com", longName, false},
        {repeated("#?a", 50) + "#?", longName, true},
        {repeated("#?a", 600) + "#?", longName, false},
        {repeated("#(ab)", 20) + ".EXE", longName, true},
        {repeated("~(x)", 40), std::string(255, 'y'), true},
    };
    for (const auto& test : cases) {
        std::vector<char> code(2 * test.pattern.size() + 2);
        ASSERT_EQ(ParsePatternNoCase(test.pattern.c_str(), code.data(),
                                     static_cast<int32_t>(code.size())),
                  1);
        EXPECT_EQ(MatchPatternNoCase(code.data(), test.name.c_str()) == DOSTRUE, test.expected)
            << test.pattern.substr(0, 40) << " / " << test.name.size();
    }
}

} // namespace
} // namespace tolvarn::testing
