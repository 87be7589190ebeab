// Paths of thousands of characters, a folder deeper than the host's path limit, and patterns nested
// deep or slow to match: each gives a clean result or a failure with IoErr() set.
#include "layerTesting.h"

#include "support/deepFolder.h"

#include <cstring>
#include <string>
#include <sys/stat.h>
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

TEST_F(HostHardeningTest, PathsOfThousandsOfCharacters) {
    const std::string directory(4000, 'd'), name(4000, 'n');
    std::vector<char> buffer(directory.size() + name.size() + 2);
    // Exactly enough room for both, the "/" and the NUL; one byte less changes nothing.
    std::strcpy(buffer.data(), directory.c_str());
    EXPECT_EQ(AddPart(buffer.data(), name.c_str(), uint32_t(buffer.size() - 1)), DOSFALSE);
    EXPECT_EQ(IoErr(), ERROR_LINE_TOO_LONG);
    EXPECT_EQ(buffer.data(), directory);
    EXPECT_EQ(AddPart(buffer.data(), name.c_str(), uint32_t(buffer.size())), DOSTRUE);
    EXPECT_EQ(buffer.data(), directory + "/" + name);

    const std::string nested = repeated("c/", 2000) + "x", parents = repeated("/", 4000);
    EXPECT_STREQ(FilePart(nested.c_str()), "x");
    EXPECT_EQ(PathPart(nested.c_str()), nested.c_str() + nested.size() - 2);
    EXPECT_EQ(FilePart(parents.c_str()), parents.c_str() + parents.size());
    // Paths of that length fail cleanly wherever they point.
    sandbox.writeFile("work/present", "x");
    for (const std::string& path :
         {repeated("folder/", 571) + "x", std::string(4000, 'n'),
          sandbox.work() + "/" + std::string(300, 'n'), "missing" + repeated("/", 4000) + "x",
          std::string(4000, 'D') + ":x", "present/" + std::string(4000, 'n')}) {
        SCOPED_TRACE(path.substr(0, 20) + "... " + std::to_string(path.size()));
        SetIoErr(0);
        EXPECT_EQ(Lock(path.c_str(), SHARED_LOCK), nullptr);
        EXPECT_NE(IoErr(), 0);
        SetIoErr(0);
        EXPECT_EQ(Open(path.c_str(), MODE_OLDFILE), nullptr);
        EXPECT_NE(IoErr(), 0);
        EXPECT_EQ(Open(path.c_str(), MODE_NEWFILE), nullptr);
        EXPECT_EQ(Rename("present", path.c_str()), DOSFALSE);
        EXPECT_EQ(Rename(path.c_str(), "elsewhere"), DOSFALSE);
        EXPECT_EQ(DeleteFile(path.c_str()), DOSFALSE);
        EXPECT_EQ(readFile(sandbox.path("work/present")), "x");
    }
}

TEST_F(HostHardeningTest, AFolderDeeperThanTheHostPathLimit) {
    const DeepFolder deep(sandbox.work(), std::string(250, 's'), 20); // 5,000 characters
    for (const std::string& path : {deep.relative, sandbox.work() + "/" + deep.relative}) {
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
        EXPECT_EQ(NameFromLock(lock, name.data(), int32_t(name.size())), DOSTRUE);
        EXPECT_EQ(std::string(name.data()), sandbox.work() + "/" + deep.relative);
        UnLock(lock);
    }
}

TEST_F(HostHardeningTest, FIFOsDevicesAndLinksThatMatchOnlyIgnoringCase) {
    // Entries that are no file are never opened, read or waited on: each counts as no file.
    for (const char* fifo :
         {"work/pipe", "config/tolvarn/env/AppDir/DOSBox", "config/tolvarn/assigns"}) {
        std::filesystem::create_directories(
            std::filesystem::path(sandbox.path(fifo)).parent_path());
        ASSERT_EQ(mkfifo(sandbox.path(fifo).c_str(), 0600), 0);
    }
    makeLink("/dev/zero", "work/zero");
    platform::resetProcess();
    char value[64];
    EXPECT_EQ(GetVar("AppDir/DOSBox", value, sizeof value, 0), -1);
    BPTR temporary = Lock("T:", SHARED_LOCK); // the assigns are read, as none
    EXPECT_NE(temporary, nullptr);
    UnLock(temporary);
    for (const char* name : {"pipe", "zero"})
        for (const int32_t mode : {MODE_OLDFILE, MODE_NEWFILE, MODE_READWRITE}) {
            SetIoErr(0);
            EXPECT_EQ(Open(name, mode), nullptr) << name << " " << mode;
            EXPECT_EQ(IoErr(), ERROR_OBJECT_WRONG_TYPE) << name << " " << mode;
        }
    FileHandle* nothing = Open("NIL:", MODE_OLDFILE);
    ASSERT_NE(nothing, nullptr);
    EXPECT_EQ(Read(nothing, value, sizeof value), 0);
    Close(nothing);

    // A soft link is created or written through only when it was named exactly.
    makeLink("../outside/new", "work/link.txt");
    EXPECT_EQ(Open("LINK.TXT", MODE_NEWFILE), nullptr);
    EXPECT_EQ(IoErr(), ERROR_OBJECT_EXISTS);
    EXPECT_FALSE(std::filesystem::exists(sandbox.path("outside/new")));
    std::filesystem::create_directory(sandbox.path("outside"));
    FileHandle* named = Open("link.txt", MODE_NEWFILE);
    EXPECT_NE(named, nullptr);
    Close(named);
    EXPECT_TRUE(std::filesystem::exists(sandbox.path("outside/new")));
}

TEST_F(HostHardeningTest, TwentyThousandAssigns) {
    std::string assigns;
    for (int number = 0; number < 20000; ++number)
        assigns += "A" + std::to_string(number) + ": " +
                   sandbox.path("d" + std::to_string(number % 2)) + "\n";
    assigns +=
        "a0: " + sandbox.path("d2") + "\nT: /nowhere\n"; // a second folder; no built-in moves
    sandbox.writeFile("config/tolvarn/assigns", assigns);
    for (const char* file : {"d0/zero", "d1/one", "d2/two"})
        sandbox.writeFile(file, "");
    platform::resetProcess();
    for (const char* path : {"A0:zero", "a0:two", "A19999:one", "T:"}) {
        BPTR lock = Lock(path, SHARED_LOCK);
        EXPECT_NE(lock, nullptr) << path;
        UnLock(lock);
    }
    EXPECT_EQ(Lock("A20000:", SHARED_LOCK), nullptr);
}

TEST_F(HostHardeningTest, PatternsNestedDeepOrSlowToMatch) {
    const size_t depth = 20000;
    const std::string longName = repeated("ab", 500) + ".exe";
    using Names = std::vector<std::string>;
    const struct {
        std::string pattern;
        Names matching, other;
        bool deep = false; // may be refused as malformed; if taken, it must match right
    } cases[] = {
        // clang-format off
        {repeated("(", depth) + "a" + repeated(")", depth), {"A"}, {"b"}, true},
        {repeated("~", depth) + "a", {"a"}, {"b"}, true}, // an even number of negations
        {repeated("#", depth) + "a", {"aaaa"}, {"ab"}, true},
        {repeated("(b|", depth) + "a" + repeated(")", depth), {"b"}, {"c"}, true},
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
        // Many repeats against names as long as the host allows: these must not take forever.
        {repeated("#?", 10) + ".exe", {longName}, {repeated("ab", 500) + ".com"}},
        {repeated("#?a", 50) + "#?", {longName}, {}},
        {repeated("#?a", 600) + "#?", {}, {longName}},
        {repeated("#(ab)", 20) + ".EXE", {longName}, {}},
        {repeated("~(x)", 40), {std::string(255, 'y')}, {}},
        // clang-format on
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.pattern.substr(0, 40));
        std::vector<char> code(2 * test.pattern.size() + 2);
        const int32_t parsed =
            ParsePatternNoCase(test.pattern.c_str(), code.data(), int32_t(code.size()));
        if (test.deep && parsed == -1) {
            EXPECT_EQ(IoErr(), ERROR_BAD_TEMPLATE);
            continue;
        }
        ASSERT_EQ(parsed, 1);
        for (const std::string& name : test.matching)
            EXPECT_EQ(MatchPatternNoCase(code.data(), name.c_str()), DOSTRUE) << name.substr(0, 20);
        for (const std::string& name : test.other)
            EXPECT_EQ(MatchPatternNoCase(code.data(), name.c_str()), DOSFALSE)
                << name.substr(0, 20);
    }
}

} // namespace
} // namespace tolvarn::testing
