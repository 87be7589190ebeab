// Path resolution and locks against real folders: letter case, devices and assigns, parents,
// soft links, long names, the current directory and device-process records.
#include "layerTesting.h"

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using tolvarn::testing::HostLayerTest;

namespace {

class HostLocksTest : public HostLayerTest {};

TEST_F(HostLocksTest, PathsResolveInEverySyntax) {
    sandbox.writeFile("work/Games/MAZE.EXE", "x");
    sandbox.writeFile("work/Games/readme.txt", "x");
    sandbox.writeFile("other/file", "x");
    writeAssigns("; comment\n# another\n\nGames: " + sandbox.path("work/Games") +
                 "  \nwith blanks:" + sandbox.path("other") + "\n");
    const std::string games = sandbox.path("work/Games");
    const struct {
        std::string path;
        std::string expected; // "" for failure
    } cases[] = {
        {"Games/MAZE.EXE", games + "/MAZE.EXE"},
        {"games/maze.exe", games + "/MAZE.EXE"}, // letter case ignored
        {"GAMES:Readme.TXT", games + "/readme.txt"},
        {"gAmEs:", games},
        {sandbox.path("work/Games/maze.exe"), games + "/MAZE.EXE"}, // host-absolute
        {"", sandbox.work()},
        {"Games//", sandbox.work()}, // an empty component is the parent
        {"Games//Games/maze.exe", games + "/MAZE.EXE"},
        {"Games/../Games/./maze.exe", games + "/MAZE.EXE"}, // "." and ".." as on the host
        {"Games:/", sandbox.work()},
        {":", "/"},
        {":tmp", fs::canonical("/tmp").string()},
        {"Games/", games},
        {"Games/missing", ""},
        {"missing/maze.exe", ""},
        {"Games/MAZE.EXE/x", ""},
        {"with blanks:x", ""}, // a name with a blank is no assign
    };
    for (const auto& test : cases)
        EXPECT_EQ(resolved(test.path), test.expected) << test.path;
}

TEST_F(HostLocksTest, FailuresSayWhy) {
    sandbox.writeFile("work/file", "x");
    const struct {
        const char* path;
        int32_t error;
    } cases[] = {
        {"NoSuchDevice:x", ERROR_DEVICE_NOT_MOUNTED},
        {"missing", ERROR_OBJECT_NOT_FOUND},
        {"missing/x", ERROR_DIR_NOT_FOUND},
        {"file/x", ERROR_OBJECT_WRONG_TYPE},
        {"loop", ERROR_IS_SOFT_LINK},
    };
    makeLink("loop", "work/loop");
    FindTask(nullptr)->pr_WindowPtr = nullptr; // no requester whatever the window pointer says
    for (const auto& test : cases) {
        EXPECT_EQ(Lock(test.path, SHARED_LOCK), nullptr) << test.path;
        EXPECT_EQ(IoErr(), test.error) << test.path;
    }
}

TEST_F(HostLocksTest, TheFirstNameInByteOrderWinsAmongCaseTwins) {
    sandbox.writeFile("work/game.exe", "lower");
    sandbox.writeFile("work/Game.exe", "mixed");
    sandbox.writeFile("work/GAME.EXE", "upper");
    EXPECT_EQ(resolved("game.exe"), sandbox.path("work/game.exe")); // exact first
    EXPECT_EQ(resolved("gAME.exe"), sandbox.path("work/GAME.EXE")); // "GAME.EXE" < "Game.exe"
}

TEST_F(HostLocksTest, BuiltInDevicesAndMultiDirectoryAssigns) {
    sandbox.writeFile("first/only-in-first", "1");
    sandbox.writeFile("second/only-in-second", "2");
    sandbox.writeFile("second/in-both", "2");
    sandbox.writeFile("first/in-both", "1");
    sandbox.makeDir("config/tolvarn/env");
    writeAssigns("Multi: " + sandbox.path("first") + "\nMULTI: " + sandbox.path("missing") +
                 "\nmulti: " + sandbox.path("second") + "\nT: /nowhere\n");
    EXPECT_EQ(resolved("Multi:only-in-first"), sandbox.path("first/only-in-first"));
    EXPECT_EQ(resolved("Multi:only-in-second"), sandbox.path("second/only-in-second"));
    EXPECT_EQ(resolved("Multi:in-both"), sandbox.path("first/in-both"));
    EXPECT_EQ(resolved("ENV:"), sandbox.path("config/tolvarn/env"));
    EXPECT_EQ(resolved("envarc:"), sandbox.path("config/tolvarn/env"));
    EXPECT_EQ(resolved("T:"), fs::canonical(fs::temp_directory_path()).string()); // not movable
    EXPECT_EQ(resolved("NIL:"), "/dev/null");
    EXPECT_FALSE(resolved("PROGDIR:").empty());

    // One record per existing directory, in order, then none.
    std::vector<std::string> directories;
    DevProc* record = GetDeviceProc("Multi:in-both", nullptr);
    while (record != nullptr) {
        directories.push_back(record->dvp_Lock->hostPath);
        record = GetDeviceProc("Multi:in-both", record);
    }
    EXPECT_EQ(IoErr(), ERROR_NO_MORE_ENTRIES);
    EXPECT_EQ(directories,
              (std::vector<std::string>{sandbox.path("first"), sandbox.path("second")}));

    DevProc* current = GetDeviceProc("plain/name", nullptr);
    ASSERT_NE(current, nullptr);
    EXPECT_STREQ(current->dvp_Lock->hostPath, sandbox.work().c_str());
    FreeDeviceProc(current);
    EXPECT_EQ(GetDeviceProc("Unknown:x", nullptr), nullptr);
    EXPECT_EQ(IoErr(), ERROR_DEVICE_NOT_MOUNTED);
}

TEST_F(HostLocksTest, SoftLinksAreFollowedByLockAndReadByReadLink) {
    sandbox.writeFile("work/target/file.txt", "x");
    makeLink("target", "work/relative");
    makeLink(sandbox.path("work/target/file.txt"), "work/absolute");
    makeLink("gone", "work/dangling");
    EXPECT_EQ(resolved("relative/FILE.TXT"), sandbox.path("work/target/file.txt"));
    EXPECT_EQ(resolved("Absolute"), sandbox.path("work/target/file.txt"));
    EXPECT_EQ(resolved("relative//relative"), sandbox.path("work/target")); // parent of the target
    EXPECT_EQ(resolved("dangling"), "");
    EXPECT_EQ(IoErr(), ERROR_OBJECT_NOT_FOUND);

    BPTR work = Lock("", SHARED_LOCK);
    ASSERT_NE(work, nullptr);
    const struct {
        const char* name;
        int32_t result;
        std::string target;
    } cases[] = {
        {"relative", 0, sandbox.path("work/target")}, // made usable from anywhere
        {"ABSOLUTE", 0, sandbox.path("work/target/file.txt")},
        {"dangling", 0, sandbox.path("work/gone")},
        {"target", -1, ""}, // not a link
        {"missing", -1, ""},
    };
    for (const auto& test : cases) {
        char buffer[512] = "";
        const int32_t length = ReadLink(work->fl_Task, work, test.name, buffer, sizeof buffer);
        if (test.result == 0) {
            EXPECT_EQ(length, static_cast<int32_t>(test.target.size())) << test.name;
            EXPECT_EQ(std::string(buffer), test.target) << test.name;
        } else {
            EXPECT_EQ(length, -1) << test.name;
        }
    }
    char small[8] = "";
    EXPECT_EQ(ReadLink(nullptr, work, "relative", small, sizeof small), -2);
    UnLock(work);
}

TEST_F(HostLocksTest, LongNamesComeBackWholeFromNameFromLock) {
    const std::string longName(200, 'n');
    sandbox.makeDir("work/" + longName);
    BPTR lock = Lock(longName.c_str(), SHARED_LOCK);
    ASSERT_NE(lock, nullptr);
    const std::string expected = sandbox.path("work/" + longName);
    std::vector<char> buffer(128);
    EXPECT_EQ(NameFromLock(lock, buffer.data(), 128), DOSFALSE);
    EXPECT_EQ(IoErr(), ERROR_LINE_TOO_LONG);
    EXPECT_EQ(NameFromLock(lock, buffer.data(), static_cast<int32_t>(expected.size())), DOSFALSE);
    buffer.resize(expected.size() + 1);
    EXPECT_EQ(NameFromLock(lock, buffer.data(), static_cast<int32_t>(buffer.size())), DOSTRUE);
    EXPECT_EQ(std::string(buffer.data()), expected);
    UnLock(lock);
}

TEST_F(HostLocksTest, CurrentDirectoryParentAndDuplicates) {
    sandbox.writeFile("work/sub/inner.txt", "x");
    BPTR sub = Lock("sub", SHARED_LOCK);
    ASSERT_NE(sub, nullptr);
    BPTR old = CurrentDir(sub); // the process owns sub now, the caller old
    EXPECT_EQ(FindTask(nullptr)->pr_CurrentDir, sub);
    EXPECT_EQ(resolved("inner.txt"), sandbox.path("work/sub/inner.txt"));
    EXPECT_EQ(resolved("/"), "/");
    EXPECT_EQ(std::filesystem::current_path(), sandbox.work()); // the host's own is untouched

    BPTR parent = ParentDir(sub);
    ASSERT_NE(parent, nullptr);
    EXPECT_STREQ(parent->hostPath, sandbox.work().c_str());
    BPTR copy = DupLock(parent);
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy->hostPath, parent->hostPath);
    EXPECT_EQ(copy->fl_Access, SHARED_LOCK);
    UnLock(copy);
    UnLock(parent);

    BPTR root = Lock("/", SHARED_LOCK);
    SetIoErr(-1);
    EXPECT_EQ(ParentDir(root), nullptr); // the root has no parent, and that is no error
    EXPECT_EQ(IoErr(), 0);
    UnLock(root);
    UnLock(nullptr);
    EXPECT_EQ(DupLock(nullptr), nullptr);

    UnLock(CurrentDir(old));
    EXPECT_EQ(resolved("sub/inner.txt"), sandbox.path("work/sub/inner.txt"));
}

TEST_F(HostLocksTest, HandsOutAreCountedUntilGivenBack) {
    using tolvarn::platform::outstanding;
    BPTR lock = Lock("", EXCLUSIVE_LOCK);
    DevProc* record = GetDeviceProc("x", nullptr);
    void* fib = AllocDosObject(DOS_FIB, nullptr);
    FileHandle* file = Open("new.txt", MODE_NEWFILE);
    const auto held = outstanding();
    EXPECT_EQ(held.locks, 2); // the record holds one too
    EXPECT_EQ(held.deviceProcs, 1);
    EXPECT_EQ(held.dosObjects, 1);
    EXPECT_EQ(held.fileHandles, 1);
    // Giving something back twice, or giving back what the process owns, does no harm.
    UnLock(lock);
    UnLock(lock);
    UnLock(FindTask(nullptr)->pr_CurrentDir);
    FreeDeviceProc(record);
    FreeDeviceProc(record);
    FreeDosObject(DOS_EXALLCONTROL, fib); // the wrong type is refused
    EXPECT_EQ(outstanding().dosObjects, 1);
    FreeDosObject(DOS_FIB, fib);
    EXPECT_EQ(Close(file), DOSTRUE);
    EXPECT_EQ(resolved(""), sandbox.work());
}

} // namespace
