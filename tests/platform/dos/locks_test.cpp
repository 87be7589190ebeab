// Locks and entries against real folders: paths in every syntax, devices and assigns, soft links,
// long names, the current directory, and examining, listing and marking entries.
#include "../layerTesting.h"
#include "support/deepFolder.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace tolvarn::testing {
namespace {

using Rows = std::vector<std::string>;

/// One listed entry as text: name, type and comment.
std::string row(const std::string& name, int32_t type, const std::string& comment = "") {
    return name + " " + std::to_string(type) + (comment.empty() ? "" : " " + comment);
}

class HostLocksTest : public HostLayerTest {
  protected:
    void SetUp() override {
        for (const char* file :
             {"work/Games/MAZE.EXE", "work/Games/readme.txt", "work/game.exe", "work/Game.exe",
              "work/GAME.EXE", "work/target/file.txt", "first/in-both", "second/in-both",
              "second/only-in-second", "other/file"})
            sandbox.writeFile(file, "x");
        sandbox.makeDir("config/tolvarn/env");
        makeLink("target", "work/relative");
        makeLink(sandbox.path("work/target/file.txt"), "work/absolute");
        makeLink("gone", "work/dangling");
        makeLink("loop", "work/loop");
        // Twenty thousand more, the first of them given a second folder at the end.
        std::string many;
        for (int number = 0; number < 20000; ++number)
            many += "A" + std::to_string(number) + ": " +
                    sandbox.path(number % 2 ? "second" : "first") + "\n";
        sandbox.writeFile(
            "config/tolvarn/assigns",
            "; comment\n# another\n\nGames: " + games + "  \nwith blanks:" + sandbox.path("other") +
                "\nMulti: " + sandbox.path("first") + "\nMULTI: " + sandbox.path("missing") +
                "\nmulti: " + sandbox.path("second") + "\nT: /nowhere\n" + many +
                "a0: " + sandbox.path("other") + "\n");
        platform::resetProcess();
    }
    void TearDown() override {
        FreeDosObject(DOS_FIB, fib);
        HostLayerTest::TearDown();
    }
    void examine(const char* path) {
        BPTR lock = Lock(path, SHARED_LOCK);
        EXPECT_EQ(Examine(lock, fib), DOSTRUE) << path;
        UnLock(lock);
    }
    /// Every entry ExAll gives for `directory` with a buffer of `size` bytes, call after call;
    /// "error N" ends the list when a call fails with IoErr() N.
    Rows exAll(const char* directory, int32_t size, const char* pattern = nullptr) {
        Rows rows;
        BPTR lock = Lock(directory, SHARED_LOCK);
        auto* control = static_cast<ExAllControl*>(AllocDosObject(DOS_EXALLCONTROL, nullptr));
        char code[64];
        if (pattern != nullptr && ParsePatternNoCase(pattern, code, sizeof code) >= 0)
            control->eac_MatchString = code;
        std::vector<ExAllData> buffer(static_cast<size_t>(size) / sizeof(ExAllData) + 1);
        for (int32_t more = DOSTRUE; more != DOSFALSE;) {
            more = ExAll(lock, buffer.data(), size, ED_COMMENT, control);
            if (more == DOSFALSE && IoErr() != ERROR_NO_MORE_ENTRIES)
                rows.push_back("error " + std::to_string(IoErr()));
            for (ExAllData* data = control->eac_Entries ? buffer.data() : nullptr; data;
                 data = data->ed_Next)
                rows.push_back(row(data->ed_Name, data->ed_Type, data->ed_Comment));
        }
        FreeDosObject(DOS_EXALLCONTROL, control);
        UnLock(lock);
        return rows;
    }
    const std::string games = sandbox.path("work/Games");
    FileInfoBlock* fib = static_cast<FileInfoBlock*>(AllocDosObject(DOS_FIB, nullptr));
};

TEST_F(HostLocksTest, PathsResolveInEverySyntax) {
    const std::string maze = games + "/MAZE.EXE", linked = sandbox.path("work/target/file.txt");
    const std::string env = sandbox.path("config/tolvarn/env");
    // clang-format off
    const struct { std::string path, expected; int32_t error = 0; } cases[] = {
        {"Games/MAZE.EXE", maze}, {"games/maze.exe", maze}, // letter case ignored
        {"GAMES:Readme.TXT", games + "/readme.txt"}, {"gAmEs:", games},
        {games + "/maze.exe", maze}, {"", sandbox.work()}, {":tmp", fs::canonical("/tmp").string()},
        {"Games//", sandbox.work()}, {"Games:/", sandbox.work()}, // an empty component: the parent
        {"Games/../Games/./maze.exe", maze}, // "." and ".." as on the host
        {"game.exe", sandbox.path("work/game.exe")}, // among case twins the exact name first,
        {"gAME.exe", sandbox.path("work/GAME.EXE")}, // then the first in byte order
        {"Multi:only-in-second", sandbox.path("second/only-in-second")},
        {"Multi:in-both", sandbox.path("first/in-both")}, {"A0:in-both", sandbox.path("first/in-both")},
        {"a0:file", sandbox.path("other/file")}, {"A20000:", "", ERROR_DEVICE_NOT_MOUNTED},
        {"A19999:only-in-second", sandbox.path("second/only-in-second")},
        {"ENV:", env}, {"NIL:", "/dev/null"},
        {"T:", fs::canonical(fs::temp_directory_path()).string()}, // not movable
        {"PROGDIR:", fs::canonical("/proc/self/exe").parent_path().string()},
        {"relative/FILE.TXT", linked}, // soft links are followed
        {"Absolute", linked},
        {"relative//relative", sandbox.path("work/target")}, // the parent of the link's target
        {"dangling", "", ERROR_OBJECT_NOT_FOUND}, {"loop", "", ERROR_IS_SOFT_LINK},
        {"missing/maze.exe", "", ERROR_DIR_NOT_FOUND}, {"Games/MAZE.EXE/x", "", ERROR_OBJECT_WRONG_TYPE},
        {"with blanks:x", "", ERROR_DEVICE_NOT_MOUNTED}, // a name with a blank is no assign
    };
    // clang-format on
    FindTask(nullptr)->pr_WindowPtr = nullptr; // no requester whatever the window pointer says
    for (const auto& test : cases) {
        SetIoErr(0);
        EXPECT_EQ(resolved(test.path), test.expected) << test.path;
        // A success may leave IoErr() as a search on the way left it.
        EXPECT_EQ(test.expected.empty() ? IoErr() : 0, test.error) << test.path;
    }
}

TEST_F(HostLocksTest, ReadLinkAndNameFromLockGiveWholePathsOrSayTheyDoNotFit) {
    BPTR work = Lock("", SHARED_LOCK);
    const std::string target = sandbox.path("work/target");
    const auto size = static_cast<int32_t>(target.size());
    // clang-format off
    const struct { const char* name; int32_t size; std::string expected; int32_t result; } cases[] = {
        {"relative", 512, target, size}, // made usable from anywhere
        {"ABSOLUTE", 512, target + "/file.txt", size + 9},
        {"relative", size, "", -2}, // no room for the NUL
    };
    // clang-format on
    for (const auto& test : cases) {
        std::vector<char> buffer(static_cast<size_t>(test.size), '\0');
        EXPECT_EQ(ReadLink(work->fl_Task, work, test.name, buffer.data(), test.size), test.result)
            << test.name;
        EXPECT_EQ(std::string(buffer.data(), static_cast<size_t>(std::max(test.result, 0))),
                  test.expected);
    }
    UnLock(work);
    // Names longer than the 127 characters of a FileInfoBlock come back whole, even from a folder
    // deeper than the host takes in one path, if the layer manages to lock that at all.
    const std::string longName(200, 'n');
    sandbox.makeDir("work/" + longName);
    const DeepFolder deep(sandbox.work(), std::string(250, 's'), 20); // 5,000 characters
    for (const std::string& path :
         {longName, deep.relative, sandbox.work() + "/" + deep.relative}) {
        SetIoErr(0);
        BPTR lock = Lock(path.c_str(), SHARED_LOCK);
        if (lock == nullptr && path != longName) {
            EXPECT_NE(IoErr(), 0);
            continue;
        }
        const std::string expected =
            sandbox.work() + "/" + (path == longName ? longName : deep.relative);
        std::vector<char> buffer(expected.size() + 1);
        EXPECT_EQ(NameFromLock(lock, buffer.data(), 128), DOSFALSE);
        EXPECT_EQ(IoErr(), ERROR_LINE_TOO_LONG);
        EXPECT_EQ(NameFromLock(lock, buffer.data(), std::ssize(expected)), DOSFALSE); // no NUL room
        EXPECT_EQ(NameFromLock(lock, buffer.data(), std::ssize(buffer)), DOSTRUE);
        EXPECT_EQ(std::string(buffer.data()), expected);
        UnLock(lock);
    }
}

TEST_F(HostLocksTest, LocksAreCountedAndTheCurrentDirectoryMoves) {
    BPTR folder = Lock("Games", EXCLUSIVE_LOCK);
    DevProc* record = GetDeviceProc("x", nullptr);
    FileHandle* file = Open("new.txt", MODE_NEWFILE);
    EXPECT_EQ(platform::outstanding(), (platform::Outstanding{.locks = 2, // the record holds one
                                                              .fileHandles = 1,
                                                              .deviceProcs = 1,
                                                              .dosObjects = 1})); // fib
    BPTR old = CurrentDir(folder); // the process owns folder now, the caller old
    EXPECT_EQ(resolved("maze.exe"), games + "/MAZE.EXE");
    EXPECT_EQ(fs::current_path(), sandbox.work()); // the host's own is untouched
    BPTR parent = ParentDir(folder);
    EXPECT_STREQ(parent->hostPath, sandbox.work().c_str());
    // Giving something back twice, or giving back what the process owns, does no harm.
    for (BPTR lock : {parent, parent, folder, static_cast<BPTR>(nullptr)})
        UnLock(lock);
    FreeDeviceProc(record);
    FreeDeviceProc(record);
    FreeDosObject(DOS_EXALLCONTROL, fib); // the wrong type is refused
    Close(file);
    UnLock(CurrentDir(old));
    EXPECT_EQ(resolved("Games/maze.exe"), games + "/MAZE.EXE");
}

TEST_F(HostLocksTest, ListingsHonourTheBufferSizeAndShowLinksAsThemselves) {
    const std::string longName(200, 'L');
    for (const std::string& name : {longName, std::string("other.txt"), std::string("short.exe")})
        sandbox.writeFile("work/list/" + name, "");
    sandbox.makeDir("work/list/C");
    makeLink("short.exe", "work/list/z-link");
    makeLink("gone", "work/list/dangling");
    ASSERT_EQ(SetComment("list/other.txt", "a comment"), DOSTRUE);
    const std::string other = row("other.txt", ST_FILE, "a comment"),
                      exe = row("short.exe", ST_FILE);
    const Rows shortOnes = {row("C", ST_USERDIR), row("dangling", ST_SOFTLINK), other, exe,
                            row("z-link", ST_SOFTLINK)};
    Rows all = shortOnes;
    all.insert(all.begin() + 1, row(longName, ST_FILE));
    // ExNext lists the same entries in the same byte order.
    BPTR lock = Lock("list", SHARED_LOCK);
    ASSERT_EQ(Examine(lock, fib), DOSTRUE);
    Rows listed;
    while (ExNext(lock, fib))
        listed.push_back(row(fib->fib_FileName, fib->fib_DirEntryType, fib->fib_Comment));
    EXPECT_EQ(IoErr(), ERROR_NO_MORE_ENTRIES);
    EXPECT_EQ(listed, all);
    EXPECT_EQ(exAll("list", 4096), all);
    // A 200-byte buffer takes short names; a 200-character name never fits, and ExAll says so
    // instead of looping or overrunning.
    EXPECT_EQ(exAll("list", 200, "#?.(exe|txt)"), (Rows{other, exe}));
    EXPECT_EQ(exAll("list", 200),
              (Rows{row("C", ST_USERDIR), "error " + std::to_string(ERROR_BUFFER_OVERFLOW)}));
    // A buffer for one short record at a time hands them out over several calls.
    EXPECT_EQ(exAll("list", 80, "~(L#?)"), shortOnes);
    // ExAllEnd gives back an unfinished scan, and the next starts from the beginning.
    auto* control = static_cast<ExAllControl*>(AllocDosObject(DOS_EXALLCONTROL, nullptr));
    ExAllData data[2];
    ASSERT_EQ(ExAll(lock, data, sizeof data, ED_NAME, control), DOSTRUE);
    ExAllEnd(lock, data, sizeof data, ED_NAME, control);
    ASSERT_EQ(ExAll(lock, data, sizeof data, ED_NAME, control), DOSTRUE);
    EXPECT_STREQ(data->ed_Name, "C");
    FreeDosObject(DOS_EXALLCONTROL, control); // one left open goes with the control structure
    UnLock(lock);
    // A folder the user may not read is not empty: both listings say that it is refused.
    fs::permissions(sandbox.makeDir("work/closed"), fs::perms::none);
    const std::string refused = "error " + std::to_string(ERROR_READ_PROTECTED);
    PermissionsBindRoot bound;
    EXPECT_EQ(exAll("closed", 4096), Rows{refused});
    lock = Lock("closed", SHARED_LOCK);
    EXPECT_TRUE(Examine(lock, fib) && !ExNext(lock, fib) && IoErr() == ERROR_READ_PROTECTED);
    UnLock(lock);
}

TEST_F(HostLocksTest, ExamineTellsTheObjectAndItsMarksRoundTrip) {
    for (const auto& [path, shown] : {std::pair{"/", row("", ST_ROOT, "0")},
                                      {"absolute", row("file.txt", ST_FILE, "1")}, // followed
                                      {"NIL:", row("null", ST_PIPEFILE, "0")}}) {
        examine(path);
        EXPECT_EQ(row(fib->fib_FileName, fib->fib_DirEntryType, std::to_string(fib->fib_Size)),
                  shown);
    }
    const char* maze = "Games/MAZE.EXE";
    const std::string longest(sizeof fib->fib_Comment - 1, 'c');
    // clang-format off
    const struct { uint32_t protection; std::string comment; DateStamp date; } marks[] = {
        {0u, "Doom, shareware", {0, 0, 0}}, {FIBF_EXECUTE, longest, {16000, 1439, 2999}},
        {FIBF_READ | FIBF_EXECUTE, "", {12819, 754, 1234}}, {0xFu, "", {0, 0, 0}},
    };
    // clang-format on
    for (const auto& [protection, comment, date] : marks) {
        ASSERT_TRUE(SetProtection("GAMES/maze.exe", protection) &&
                    SetComment(maze, comment.c_str()) && SetFileDate(maze, &date));
        examine(maze);
        EXPECT_EQ(std::tuple(static_cast<uint32_t>(fib->fib_Protection),
                             std::string(fib->fib_Comment), fib->fib_Date.ds_Days,
                             fib->fib_Date.ds_Minute, fib->fib_Date.ds_Tick),
                  std::tuple(protection, comment, date.ds_Days, date.ds_Minute, date.ds_Tick));
    }
    // Delete protection alone still comes back with write protection: the host has one bit.
    ASSERT_EQ(SetProtection(maze, FIBF_DELETE), DOSTRUE);
    examine(maze);
    EXPECT_EQ(static_cast<uint32_t>(fib->fib_Protection), FIBF_WRITE | FIBF_DELETE);
    EXPECT_EQ(fs::status(games + "/MAZE.EXE").permissions() & fs::perms::group_all,
              fs::perms::group_read); // only the owner's bits change
    EXPECT_EQ(SetComment(maze, (longest + "x").c_str()), DOSFALSE);
    EXPECT_EQ(IoErr(), ERROR_COMMENT_TOO_BIG);
    // The null device never changes (tests run as root).
    EXPECT_EQ(SetProtection("NIL:", 0xF), DOSFALSE);
    EXPECT_EQ(SetComment("NIL:", "x"), DOSFALSE);
    EXPECT_EQ(SetFileDate("NIL:", &fib->fib_Date), DOSFALSE);
}

} // namespace
} // namespace tolvarn::testing
