// Open files, Seek with its 32-bit results, and the calls that rename and delete.
#include "layerTesting.h"

#include "platform/hostPaths.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;
using tolvarn::platform::failOperation;
using tolvarn::platform::Operation;
using tolvarn::testing::HostLayerTest;
using tolvarn::testing::readFile;

namespace {

class HostFilesTest : public HostLayerTest {};

std::string readAll(FileHandle* file) {
    char buffer[256];
    const int32_t count = Read(file, buffer, sizeof buffer);
    return count < 0 ? "<error>" : std::string(buffer, static_cast<std::size_t>(count));
}

TEST_F(HostFilesTest, OpenModesCreateKeepOrEmpty) {
    sandbox.writeFile("work/Existing.txt", "old text");
    const struct {
        const char* name;
        int32_t mode;
        const char* before; // what Read sees first
        const char* file;   // the file's contents after writing "NEW"
    } cases[] = {
        {"existing.txt", MODE_OLDFILE, "old text", "old textNEW"},
        {"EXISTING.TXT", MODE_READWRITE, "old text", "old textNEW"},
        {"existing.txt", MODE_NEWFILE, "", "NEW"},
        {"fresh.txt", MODE_READWRITE, "", "NEW"},
    };
    for (const auto& test : cases) {
        sandbox.writeFile("work/Existing.txt", "old text");
        FileHandle* file = Open(test.name, test.mode);
        ASSERT_NE(file, nullptr) << test.name << " " << test.mode;
        EXPECT_EQ(readAll(file), test.before);
        EXPECT_EQ(Write(file, "NEW", 3), 3);
        EXPECT_EQ(Close(file), DOSTRUE);
        const std::string onDisk =
            std::string("work/") + (test.name[0] == 'f' ? "fresh.txt" : "Existing.txt");
        EXPECT_EQ(readFile(sandbox.path(onDisk)), test.file) << test.name << " " << test.mode;
    }
    EXPECT_FALSE(fs::exists(sandbox.path("work/existing.txt"))); // no case twin was made

    EXPECT_EQ(Open("missing.txt", MODE_OLDFILE), nullptr);
    EXPECT_EQ(IoErr(), ERROR_OBJECT_NOT_FOUND);
    EXPECT_EQ(Open("", MODE_OLDFILE), nullptr); // the current directory is no file
    EXPECT_EQ(IoErr(), ERROR_OBJECT_WRONG_TYPE);
    EXPECT_EQ(Open("missing/new.txt", MODE_NEWFILE), nullptr);
    EXPECT_EQ(Open("x", 1234), nullptr);

    FileHandle* nil = Open("NIL:", MODE_NEWFILE);
    ASSERT_NE(nil, nullptr);
    EXPECT_EQ(Write(nil, "gone", 4), 4);
    EXPECT_EQ(readAll(nil), "");
    Close(nil);
    EXPECT_EQ(Close(nullptr), DOSTRUE);
}

TEST_F(HostFilesTest, AnOldFileTheHostWillNotWriteOpensForReading) {
    // The running program itself cannot be opened for writing, not even by root.
    const std::string self = fs::canonical("/proc/self/exe").string();
    FileHandle* file = Open(self.c_str(), MODE_OLDFILE);
    ASSERT_NE(file, nullptr);
    char magic[4];
    EXPECT_EQ(Read(file, magic, 4), 4);
    EXPECT_EQ(std::string(magic + 1, 3), "ELF");
    EXPECT_EQ(Write(file, "x", 1), -1);
    EXPECT_EQ(IoErr(), ERROR_WRITE_PROTECTED);
    Close(file);
    EXPECT_EQ(Open(self.c_str(), MODE_NEWFILE), nullptr); // and it is never emptied
    EXPECT_EQ(IoErr(), ERROR_OBJECT_IN_USE);
}

TEST_F(HostFilesTest, SeekReturnsThePreviousPositionAndStaysInsideTheFile) {
    sandbox.writeFile("work/ten", "0123456789");
    FileHandle* file = Open("ten", MODE_OLDFILE);
    ASSERT_NE(file, nullptr);
    const struct {
        int32_t offset;
        int32_t mode;
        int32_t result;
        int32_t error;
        int64_t position; // where the file stands afterwards
    } steps[] = {
        {4, OFFSET_BEGINNING, 0, 0, 4},
        {2, OFFSET_CURRENT, 4, 0, 6},
        {-3, OFFSET_END, 6, 0, 7},
        {0, OFFSET_END, 7, 0, 10},
        {1, OFFSET_END, -1, ERROR_SEEK_ERROR, 10},       // past the end
        {-11, OFFSET_CURRENT, -1, ERROR_SEEK_ERROR, 10}, // before the start
        {0, 7, -1, ERROR_SEEK_ERROR, 10},                // no such mode
        {0, OFFSET_BEGINNING, 10, 0, 0},
    };
    for (const auto& step : steps) {
        SetIoErr(-1);
        EXPECT_EQ(Seek(file, step.offset, step.mode), step.result)
            << step.offset << "/" << step.mode;
        EXPECT_EQ(IoErr(), step.error);
        EXPECT_EQ(lseek(tolvarn::platform::internal::descriptorOf(file), 0, SEEK_CUR),
                  step.position);
    }
    Close(file);
}

TEST_F(HostFilesTest, SeekStepsThroughASparseFileBeyondFourGibibytes) {
    constexpr int64_t size = 5'000'000'000;
    const std::string path = sandbox.path("work/big.iso");
    const int descriptor = open(path.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(descriptor, 0);
    ASSERT_EQ(ftruncate(descriptor, size), 0);
    ASSERT_EQ(pwrite(descriptor, "END", 3, size - 3), 3);
    close(descriptor);

    FileHandle* file = Open("big.iso", MODE_OLDFILE);
    ASSERT_NE(file, nullptr);
    // The steps a 64-bit move to size - 3 takes over the 32-bit call.
    EXPECT_EQ(Seek(file, 0, OFFSET_BEGINNING), 0);
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
    EXPECT_EQ(static_cast<uint32_t>(fib->fib_Size), UINT32_MAX); // cut, not wrapped
    FreeDosObject(DOS_FIB, fib);
    Close(file);
}

TEST_F(HostFilesTest, RenameNeverReplaces) {
    sandbox.writeFile("work/a.txt", "a");
    sandbox.writeFile("work/b.txt", "b");
    makeLink("a.txt", "work/link");
    EXPECT_EQ(Rename("a.txt", "B.TXT"), DOSFALSE);
    EXPECT_EQ(IoErr(), ERROR_OBJECT_EXISTS);
    EXPECT_EQ(readFile(sandbox.path("work/b.txt")), "b");

    EXPECT_EQ(Rename("a.txt", "A.txt"), DOSTRUE); // a change of case alone
    EXPECT_TRUE(fs::exists(sandbox.path("work/A.txt")));
    EXPECT_FALSE(fs::exists(sandbox.path("work/a.txt")));
    EXPECT_EQ(Rename("A.txt", "a.TXT"), DOSTRUE);
    EXPECT_EQ(Rename("a.TXT", "a.TXT"), DOSTRUE);

    sandbox.makeDir("work/sub");
    EXPECT_EQ(Rename("LINK", "sub/moved-link"), DOSTRUE); // the link moves, not its target
    EXPECT_TRUE(fs::is_symlink(sandbox.path("work/sub/moved-link")));
    EXPECT_EQ(Rename("missing", "x"), DOSFALSE);
    EXPECT_EQ(IoErr(), ERROR_OBJECT_NOT_FOUND);
}

TEST_F(HostFilesTest, DeleteFileRespectsProtectionAndEmptiness) {
    sandbox.writeFile("work/file", "x");
    sandbox.writeFile("work/full/inner", "x");
    sandbox.makeDir("work/empty");
    makeLink("file", "work/link");
    ASSERT_EQ(SetProtection("file", FIBF_DELETE), DOSTRUE);

    const struct {
        const char* name;
        int32_t result;
        int32_t error;
    } cases[] = {
        {"file", DOSFALSE, ERROR_DELETE_PROTECTED},
        {"link", DOSTRUE, 0}, // the link goes, its protected target stays
        {"FULL", DOSFALSE, ERROR_DIRECTORY_NOT_EMPTY},
        {"Empty", DOSTRUE, 0},
        {"missing", DOSFALSE, ERROR_OBJECT_NOT_FOUND},
    };
    for (const auto& test : cases) {
        SetIoErr(0);
        EXPECT_EQ(DeleteFile(test.name), test.result) << test.name;
        EXPECT_EQ(IoErr(), test.error) << test.name;
    }
    EXPECT_TRUE(fs::exists(sandbox.path("work/file")));
    ASSERT_EQ(SetProtection("file", 0), DOSTRUE);
    EXPECT_EQ(DeleteFile("file"), DOSTRUE);
}

TEST_F(HostFilesTest, ChosenCallsFailOnRequest) {
    sandbox.writeFile("work/file", "data");
    failOperation(Operation::Open, 2, ERROR_DISK_NOT_VALIDATED);
    FileHandle* first = Open("file", MODE_OLDFILE);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(Open("file", MODE_OLDFILE), nullptr);
    EXPECT_EQ(IoErr(), ERROR_DISK_NOT_VALIDATED);
    FileHandle* third = Open("file", MODE_OLDFILE);
    EXPECT_NE(third, nullptr);

    failOperation(Operation::Read, 1);
    char buffer[8];
    EXPECT_EQ(Read(first, buffer, sizeof buffer), -1);
    EXPECT_EQ(Read(first, buffer, sizeof buffer), 4);
    failOperation(Operation::Write, 1);
    EXPECT_EQ(Write(third, "x", 1), -1);
    EXPECT_EQ(IoErr(), ERROR_DISK_FULL);
    Close(first);
    Close(third);

    failOperation(Operation::Rename, 1);
    EXPECT_EQ(Rename("file", "other"), DOSFALSE);
    failOperation(Operation::DeleteFile, 1);
    EXPECT_EQ(DeleteFile("file"), DOSFALSE);
    failOperation(Operation::DeleteFile, 1);
    failOperation(Operation::DeleteFile, 0); // cancelled
    EXPECT_EQ(DeleteFile("file"), DOSTRUE);
}

} // namespace
