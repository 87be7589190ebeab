// Files and variables: Open (never of what is no file), Seek inside the file, Rename and
// DeleteFile, paths of thousands of characters; global variables as files in the sandbox's ENV:,
// local ones in the environment.
#include "../layerTesting.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace tolvarn::testing {
namespace {

class HostFilesTest : public HostLayerTest {
  protected:
    const std::string store = sandbox.path("config/tolvarn/env");
    /// Every file in the variable store, temporary ones included.
    std::vector<std::string> storeFiles() const {
        std::vector<std::string> files;
        std::error_code missing;
        for (const auto& entry : fs::recursive_directory_iterator(store, missing))
            if (entry.is_regular_file())
                files.push_back(fs::relative(entry.path(), store).string());
        return files;
    }
};

std::string readAll(FileHandle* file) {
    char buffer[256];
    const int32_t count = Read(file, buffer, sizeof buffer);
    return count < 0 ? "<error>" : std::string(buffer, static_cast<std::size_t>(count));
}

TEST_F(HostFilesTest, OpenModesCreateKeepOrEmptyAndRefuseWhatIsNoFile) {
    // Entries that are no file are never opened, read or waited on: each counts as no file.
    ASSERT_EQ(mkfifo(sandbox.path("work/pipe").c_str(), 0600), 0);
    makeLink("/dev/zero", "work/zero");
    // A soft link is created or written through only when it was named exactly.
    makeLink("../outside/new", "work/link.txt");
    sandbox.makeDir("outside");
    // The running program itself cannot be opened for writing, not even by root.
    const std::string self = fs::canonical("/proc/self/exe").string();
    // clang-format off
    const struct { std::string name; int32_t mode, error; } refused[] = {
        {"missing.txt", MODE_OLDFILE, ERROR_OBJECT_NOT_FOUND}, {self, MODE_NEWFILE, ERROR_OBJECT_IN_USE},
        {"", MODE_OLDFILE, ERROR_OBJECT_WRONG_TYPE}, // the current directory is no file
        {"LINK.TXT", MODE_NEWFILE, ERROR_OBJECT_EXISTS}, {"pipe", MODE_OLDFILE, ERROR_OBJECT_WRONG_TYPE},
        {"zero", MODE_NEWFILE, ERROR_OBJECT_WRONG_TYPE},
    };
    // clang-format on
    for (const auto& test : refused) {
        SetIoErr(0);
        FileHandle* file = Open(test.name.c_str(), test.mode);
        EXPECT_EQ(file, nullptr) << test.name << " " << test.mode;
        EXPECT_EQ(IoErr(), test.error) << test.name << " " << test.mode;
        Close(file);
    }
    EXPECT_FALSE(fs::exists(sandbox.path("outside/new")));
    // clang-format off
    const struct { const char *name, *onDisk; int32_t mode; const char *before, *after; } cases[] = {
        {"existing.txt", "Existing.txt", MODE_OLDFILE, "old text", "old textNEW"},
        {"EXISTING.TXT", "Existing.txt", MODE_NEWFILE, "", "NEW"},
        {"fresh.txt", "fresh.txt", MODE_READWRITE, "", "NEW"}, {"NIL:", "/dev/null", MODE_NEWFILE, "", ""},
        {"link.txt", "../outside/new", MODE_NEWFILE, "", "NEW"},
    };
    // clang-format on
    for (const auto& test : cases) {
        sandbox.writeFile("work/Existing.txt", "old text");
        FileHandle* file = Open(test.name, test.mode);
        EXPECT_EQ(readAll(file), test.before) << test.name << " " << test.mode;
        EXPECT_EQ(Write(file, "NEW", 3), 3);
        EXPECT_EQ(Close(file), DOSTRUE);
        const std::string onDisk = test.onDisk[0] == '/' ? "" : sandbox.path("work/");
        EXPECT_EQ(readFile(onDisk + test.onDisk), test.after) << test.name;
    }
    EXPECT_FALSE(fs::exists(sandbox.path("work/existing.txt"))); // no case twin was made
    // The running program opens for reading, a write says so, and it is never emptied.
    FileHandle* file = Open(self.c_str(), MODE_OLDFILE);
    EXPECT_EQ(readAll(file).substr(1, 3), "ELF");
    EXPECT_EQ(Write(file, "x", 1), -1);
    EXPECT_EQ(IoErr(), ERROR_WRITE_PROTECTED);
    Close(file);
}

TEST_F(HostFilesTest, PathsOfThousandsOfCharactersFailCleanly) {
    sandbox.writeFile("work/present", "x");
    for (const std::string& path :
         {std::string(4000, 'n'), sandbox.work() + "/" + std::string(300, 'n'),
          "missing" + repeated("/", 4000) + "x", std::string(4000, 'D') + ":x"}) {
        SCOPED_TRACE(path.substr(0, 20) + "... " + std::to_string(path.size()));
        SetIoErr(0);
        EXPECT_EQ(Lock(path.c_str(), SHARED_LOCK), nullptr);
        EXPECT_NE(IoErr(), 0);
        SetIoErr(0);
        EXPECT_EQ(Open(path.c_str(), MODE_OLDFILE), nullptr);
        EXPECT_NE(IoErr(), 0);
        EXPECT_EQ(Open(path.c_str(), MODE_NEWFILE), nullptr);
        EXPECT_EQ(Rename("present", path.c_str()), DOSFALSE);
        EXPECT_EQ(readFile(sandbox.path("work/present")), "x");
    }
}

TEST_F(HostFilesTest, SeekReturnsThePreviousPositionAndStaysInsideTheFile) {
    sandbox.writeFile("work/ten", "0123456789");
    FileHandle* file = Open("ten", MODE_OLDFILE);
    // clang-format off
    const struct { int32_t offset, mode, result, error; } steps[] = {
        {4, OFFSET_BEGINNING, 0, 0}, {2, OFFSET_CURRENT, 4, 0}, {-3, OFFSET_END, 6, 0},
        {1, OFFSET_END, -1, ERROR_SEEK_ERROR},       // past the end
        {-11, OFFSET_CURRENT, -1, ERROR_SEEK_ERROR}, // before the start
        {0, 7, -1, ERROR_SEEK_ERROR},                // no such mode
        {0, OFFSET_BEGINNING, 7, 0},                 // where the failures left it
    };
    // clang-format on
    for (const auto& step : steps) {
        SetIoErr(-1);
        EXPECT_EQ(Seek(file, step.offset, step.mode), step.result)
            << step.offset << "/" << step.mode;
        EXPECT_EQ(IoErr(), step.error);
    }
    EXPECT_EQ(readAll(file), "0123456789");
    Close(file);
}

TEST_F(HostFilesTest, RenameNeverReplacesAndDeleteRespectsProtectionAndEmptiness) {
    sandbox.writeFile("work/a.txt", "a");
    sandbox.writeFile("work/b.txt", "b");
    sandbox.writeFile("work/Foo: Bar", "c");
    sandbox.writeFile("work/full/inner", "x");
    sandbox.makeDir("work/empty");
    makeLink("a.txt", "work/link");
    ASSERT_EQ(SetProtection("a.txt", FIBF_DELETE), DOSTRUE);
    // clang-format off
    const struct { const char *name, *renamedTo; int32_t error; } steps[] = { // else deleted
        {"a.txt", "B.TXT", ERROR_OBJECT_EXISTS}, {"a.txt", "A.txt", 0}, // a change of case alone,
        {"./Foo: Bar", "./FOO: BAR", 0}, // also of a name that holds a ":"
        {"LINK", "full/link", 0},       // the link moves, not its target,
        {"full/link", nullptr, 0},      // and goes, while its protected target stays
        {"a.txt", nullptr, ERROR_DELETE_PROTECTED}, {"FULL", nullptr, ERROR_DIRECTORY_NOT_EMPTY},
        {"Empty", nullptr, 0}, {"missing", nullptr, ERROR_OBJECT_NOT_FOUND},
        {"NIL:", "x", ERROR_OBJECT_WRONG_TYPE}, {"NIL:", nullptr, ERROR_OBJECT_WRONG_TYPE}, // as root
    };
    // clang-format on
    for (const auto& step : steps) {
        SetIoErr(0);
        EXPECT_EQ(step.renamedTo ? Rename(step.name, step.renamedTo) : DeleteFile(step.name),
                  step.error ? DOSFALSE : DOSTRUE)
            << step.name;
        EXPECT_EQ(IoErr(), step.error) << step.name;
    }
    EXPECT_EQ(readFile(sandbox.path("work/b.txt")) + readFile(sandbox.path("work/A.txt")) +
                  readFile(sandbox.path("work/FOO: BAR")),
              "bac");
}

TEST_F(HostFilesTest, GetVarCutsToTheBufferAndTellsTheFullLength) {
    sandbox.writeFile("config/tolvarn/env/Empty", "");
    sandbox.writeFile("config/tolvarn/env/Lines", "first\nsecond\n");
    sandbox.writeFile("config/tolvarn/env/AppDir/Long", std::string(1000, 'v'));
    // A FIFO is never read or waited on: it counts as no variable.
    ASSERT_EQ(mkfifo(sandbox.path("config/tolvarn/env/AppDir/Pipe").c_str(), 0600), 0);
    constexpr uint32_t global = GVF_GLOBAL_ONLY;
    // clang-format off
    const struct { const char* name; uint32_t flags; int32_t size, result; std::string text; int32_t ioErr; } cases[] = {
        {"AppDir/Pipe", 0, 128, -1, "", ERROR_OBJECT_NOT_FOUND},
        {"Lines", global, 128, 5, "first", 5}, // a text read stops at the line feed
        {"Lines", global | GVF_BINARY_VAR, 128, 13, "first\nsecond\n", 13},
        {"appdir/LONG", 0, 128, 127, std::string(127, 'v'), 1000},
        {"AppDir/Long", 0, 1, 0, "", 1000},
        {"Lines", global | GVF_DONT_NULL_TERM, 3, 3, "fir", 5},
        {"../config/tolvarn/env/Empty", 0, 128, -1, "", ERROR_OBJECT_NOT_FOUND}, // stays in ENV:
    };
    // clang-format on
    for (const auto& test : cases) {
        std::vector<char> buffer(static_cast<std::size_t>(test.size) + 1, '#');
        EXPECT_EQ(GetVar(test.name, buffer.data(), test.size, test.flags), test.result);
        EXPECT_EQ(IoErr(), test.ioErr) << test.name;
        const auto length = static_cast<std::size_t>(std::max(test.result, 0));
        EXPECT_EQ(std::string(buffer.data(), length), test.text) << test.name;
        const bool terminated = test.result >= 0 && (test.flags & GVF_DONT_NULL_TERM) == 0;
        EXPECT_EQ(buffer[length], terminated ? '\0' : '#') << test.name;
    }
}

TEST_F(HostFilesTest, SetVarMakesItsFoldersWritesAtomicallyAndStaysInTheStore) {
    ASSERT_FALSE(fs::exists(sandbox.path("config/tolvarn")));
    ASSERT_EQ(SetVar("AppDir/DOSBox", "/opt/dos box", -1, 0), DOSTRUE);
    EXPECT_EQ(readFile(store + "/AppDir/DOSBox"), "/opt/dos box");
    // Another letter case finds the same file rather than making a twin.
    ASSERT_EQ(SetVar("appdir/dosbox", "/usr/games/dosbox-longer-value", -1, 0), DOSTRUE);
    ASSERT_EQ(SetVar("APPDIR/Other", "first line\nsecond", 10, 0), DOSTRUE);
    EXPECT_EQ(storeFiles(), (std::vector<std::string>{"AppDir/DOSBox", "AppDir/Other"}));
    EXPECT_EQ(readFile(store + "/AppDir/Other"), "first line");
    char buffer[128];
    // A write that fails half-way leaves the old value whole and no temporary file behind.
    platform::failOperation(platform::Operation::Write, 1);
    EXPECT_EQ(SetVar("AppDir/DOSBox", "/new", -1, 0), DOSFALSE);
    EXPECT_EQ(readFile(store + "/AppDir/DOSBox"), "/usr/games/dosbox-longer-value");
    EXPECT_EQ(storeFiles().size(), 2u);
    for (const char* name :
         {"../escape", "a/../../escape", "/tmp/escape", "a//b", "a/./b", "X:escape", "a/"}) {
        EXPECT_EQ(SetVar(name, "x", -1, GVF_GLOBAL_ONLY), DOSFALSE) << name;
        EXPECT_EQ(IoErr(), ERROR_INVALID_COMPONENT_NAME) << name;
    }
    EXPECT_EQ(storeFiles().size(), 2u);
    EXPECT_FALSE(fs::exists(sandbox.path("config/tolvarn/escape")) || fs::exists("/tmp/escape"));
    // Local variables are the environment, found before a global one of the same name.
    ASSERT_EQ(SetVar("TOLVARN_LOCAL", "local value", -1, 0), DOSTRUE);
    ASSERT_EQ(SetVar("TOLVARN_LOCAL", "global value", -1, GVF_GLOBAL_ONLY), DOSTRUE);
    EXPECT_STREQ(std::getenv("TOLVARN_LOCAL"), "local value");
    EXPECT_EQ(GetVar("TOLVARN_LOCAL", buffer, sizeof buffer, 0), 11);
    EXPECT_EQ(DeleteVar("TOLVARN_LOCAL", 0), DOSTRUE);
    EXPECT_EQ(std::getenv("TOLVARN_LOCAL"), nullptr);
    EXPECT_EQ(GetVar("TOLVARN_LOCAL", buffer, sizeof buffer, 0), 12);
    EXPECT_EQ(SetVar("BAD=NAME", "x", -1, 0), DOSFALSE);
}

} // namespace
} // namespace tolvarn::testing
