// Files and variables: Open (never of what is no file), Seek with its 32-bit results, Rename and
// DeleteFile, paths of thousands of characters; global variables as files in the sandbox's ENV:,
// local ones in the environment.
#include "../layerTesting.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
        {"missing.txt", MODE_OLDFILE, ERROR_OBJECT_NOT_FOUND},
        {"", MODE_OLDFILE, ERROR_OBJECT_WRONG_TYPE}, // the current directory is no file
        {self, MODE_NEWFILE, ERROR_OBJECT_IN_USE},
        {"LINK.TXT", MODE_NEWFILE, ERROR_OBJECT_EXISTS},
        {"pipe", MODE_OLDFILE, ERROR_OBJECT_WRONG_TYPE},
        {"pipe", MODE_NEWFILE, ERROR_OBJECT_WRONG_TYPE},
        {"pipe", MODE_READWRITE, ERROR_OBJECT_WRONG_TYPE},
        {"zero", MODE_OLDFILE, ERROR_OBJECT_WRONG_TYPE},
        {"zero", MODE_NEWFILE, ERROR_OBJECT_WRONG_TYPE},
        {"zero", MODE_READWRITE, ERROR_OBJECT_WRONG_TYPE},
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
        {"fresh.txt", "fresh.txt", MODE_READWRITE, "", "NEW"},
        {"link.txt", "../outside/new", MODE_NEWFILE, "", "NEW"},
        {"NIL:", "/dev/null", MODE_NEWFILE, "", ""},
        {"NIL:", "/dev/null", MODE_OLDFILE, "", ""},
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

TEST_F(HostFilesTest, SeekReturnsThePreviousPositionAndStaysInsideTheFile) {
    sandbox.writeFile("work/ten", "0123456789");
    FileHandle* file = Open("ten", MODE_OLDFILE);
    // clang-format off
    const struct { int32_t offset, mode, result, error; } steps[] = {
        {4, OFFSET_BEGINNING, 0, 0},
        {2, OFFSET_CURRENT, 4, 0},
        {-3, OFFSET_END, 6, 0},
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
    // The steps a 64-bit move takes over the 32-bit call, in a sparse file beyond 4 GiB.
    constexpr int64_t size = 5'000'000'000;
    const int descriptor = open(sandbox.path("work/big.iso").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_EQ(ftruncate(descriptor, size), 0);
    ASSERT_EQ(pwrite(descriptor, "END", 3, size - 3), 3);
    close(descriptor);
    file = Open("big.iso", MODE_OLDFILE);
    EXPECT_EQ(Seek(file, INT32_MAX, OFFSET_CURRENT), 0);
    EXPECT_EQ(Seek(file, INT32_MAX, OFFSET_CURRENT), INT32_MAX);
    EXPECT_EQ(static_cast<uint32_t>(Seek(file, 705'032'703, OFFSET_CURRENT)), 4'294'967'294u);
    EXPECT_EQ(IoErr(), 0);
    EXPECT_EQ(readAll(file), "END");
    // Past 4 GiB the previous position cannot be told in 32 bits: the move is made, and the
    // result says that it could not be reported.
    EXPECT_EQ(Seek(file, 0, OFFSET_BEGINNING), -1);
    EXPECT_EQ(IoErr(), ERROR_OBJECT_TOO_LARGE);
    EXPECT_EQ(readAll(file).size(), 256u);
    auto* fib = static_cast<FileInfoBlock*>(AllocDosObject(DOS_FIB, nullptr));
    ASSERT_EQ(ExamineFH(file, fib), DOSTRUE);
    EXPECT_EQ(static_cast<uint32_t>(fib->fib_Size), UINT32_MAX); // cut, not wrapped,
    EXPECT_EQ(fib->fib_Size64, size);                            // beside the exact size
    FreeDosObject(DOS_FIB, fib);
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
        {"a.txt", "B.TXT", ERROR_OBJECT_EXISTS},
        {"a.txt", "A.txt", 0},          // a change of case alone,
        {"./Foo: Bar", "./FOO: BAR", 0}, // also of a name that holds a ":"
        {"LINK", "full/link", 0},       // the link moves, not its target,
        {"full/link", nullptr, 0},      // and goes, while its protected target stays
        {"a.txt", nullptr, ERROR_DELETE_PROTECTED},
        {"FULL", nullptr, ERROR_DIRECTORY_NOT_EMPTY},
        {"Empty", nullptr, 0},
        {"missing", nullptr, ERROR_OBJECT_NOT_FOUND},
        {"NIL:", "x", ERROR_OBJECT_WRONG_TYPE}, // never the null device, though tests run as root
        {"NIL:", nullptr, ERROR_OBJECT_WRONG_TYPE},
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
    // A FIFO is never read or waited on, as a variable or as the assigns: it counts as none.
    for (const char* fifo : {"config/tolvarn/env/AppDir/Pipe", "config/tolvarn/assigns"})
        ASSERT_EQ(mkfifo(sandbox.path(fifo).c_str(), 0600), 0);
    platform::resetProcess();
    EXPECT_EQ(resolved("T:"), fs::canonical(fs::temp_directory_path()).string());
    constexpr uint32_t global = GVF_GLOBAL_ONLY;
    // clang-format off
    const struct { const char* name; uint32_t flags; int32_t size, result; std::string text; int32_t ioErr; } cases[] = {
        {"AppDir/Missing", 0, 128, -1, "", ERROR_OBJECT_NOT_FOUND},
        {"AppDir/Pipe", 0, 128, -1, "", ERROR_OBJECT_NOT_FOUND},
        {"Empty", global, 128, 0, "", 0},
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
    // The store outlives the process.
    platform::resetProcess();
    char buffer[128];
    EXPECT_EQ(GetVar("AppDir/DOSBox", buffer, sizeof buffer, 0), 30);
    EXPECT_STREQ(buffer, "/usr/games/dosbox-longer-value");
    // A write that fails half-way leaves the old value whole and no temporary file behind.
    platform::failOperation(platform::Operation::Write, 1);
    EXPECT_EQ(SetVar("AppDir/DOSBox", "/new", -1, 0), DOSFALSE);
    EXPECT_EQ(readFile(store + "/AppDir/DOSBox"), "/usr/games/dosbox-longer-value");
    EXPECT_EQ(storeFiles().size(), 2u);
    ASSERT_EQ(SetVar("AppDir/Empty", "", 0, 0), DOSTRUE);
    EXPECT_EQ(GetVar("AppDir/Empty", buffer, sizeof buffer, 0), 0);
    for (const char* name :
         {"../escape", "a/../../escape", "/tmp/escape", "a//b", "a/./b", "X:escape", "a/"}) {
        EXPECT_EQ(SetVar(name, "x", -1, GVF_GLOBAL_ONLY), DOSFALSE) << name;
        EXPECT_EQ(IoErr(), ERROR_INVALID_COMPONENT_NAME) << name;
    }
    EXPECT_EQ(storeFiles().size(), 3u);
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
