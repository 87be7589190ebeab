#include "pAmigaDos/fileContents.h"

#include "amigaDosFixture.h"

#include <fcntl.h>
#include <unistd.h>

namespace tolvarn::testing {
namespace {

using FileContentsTest = AmigaDosTest;

TEST_F(FileContentsTest, MovesBeyondWhatOneSeekCanReach) {
    // A sparse 6 GB file with a marker at every place a move should land.
    const int fd = ::open(sandbox.path("work/big.img").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_EQ(::ftruncate(fd, 6000000000), 0);
    // clang-format off
    struct { int64_t startAt, position; int32_t mode; int64_t landing; const char* marker; } moves[] = {
        {1234, 5000000000, OFFSET_BEGINNING, 5000000000, "5GB-"}, // 2^31-1, 2^31-1, 705032706
        {5000000004, -3000000000, OFFSET_CURRENT, 2000000004, "BACK"},
        {1234, -5000000000, OFFSET_END, 1000000000, "END-"},
        {1234, 3000000000, OFFSET_BEGINNING, 3000000000, "3GB-"}};
    // clang-format on
    for (const auto& move : moves)
        ASSERT_EQ(::pwrite(fd, move.marker, 4, move.landing), 4);
    ::close(fd);

    FileHandle* fh = Open("big.img", MODE_OLDFILE);
    for (const auto& move : moves) {
        ASSERT_EQ(setFilePosition(fh, move.startAt, OFFSET_BEGINNING), TRUE);
        EXPECT_EQ(setFilePosition(fh, move.position, move.mode), TRUE) << move.position;
        char marker[5] = {};
        EXPECT_EQ(Read(fh, marker, 4), 4);
        EXPECT_STREQ(marker, move.marker) << move.position;
    }
    ASSERT_EQ(setFilePosition(fh, 3000000000, OFFSET_BEGINNING), TRUE);
    EXPECT_EQ(filePosition(fh), 3000000000); // not a negative 32-bit number
    EXPECT_EQ(setFilePosition(fh, -3000000000, OFFSET_BEGINNING), FALSE);
    Close(fh);
}

TEST_F(FileContentsTest, SizesLeaveThePositionWhereItWas) {
    sandbox.writeFile("work/game.exe", std::string(1000, 'x'));
    softLink("game.exe", "work/link.exe");
    for (const char* name : {"game.exe", "link.exe"}) {
        FileHandle* fh = Open(name, MODE_OLDFILE);
        ASSERT_EQ(setFilePosition(fh, 123, OFFSET_BEGINNING), TRUE);
        EXPECT_EQ(fileSizeFromFH(fh, TRUE, FALSE), 1000) << name;
        EXPECT_EQ(fileSizeFromFH(fh, TRUE, TRUE), 1000) << name; // an open link is its target
        EXPECT_EQ(handleSize(fh, TRUE), 1000) << name;
        EXPECT_EQ(filePosition(fh), 123) << name;
        Close(fh);
    }
}

/// The protection, comment and date of an entry.
std::tuple<int32_t, std::string, int32_t, int32_t, int32_t> attributesOf(const char* path) {
    const BPTR lock = Lock(path, SHARED_LOCK);
    auto* fib = static_cast<FileInfoBlock*>(AllocDosObject(DOS_FIB, nullptr));
    EXPECT_TRUE(lock != nullptr && Examine(lock, fib)) << path;
    const auto attributes =
        std::tuple(fib->fib_Protection, std::string(fib->fib_Comment), fib->fib_Date.ds_Days,
                   fib->fib_Date.ds_Minute, fib->fib_Date.ds_Tick);
    FreeDosObject(DOS_FIB, fib);
    UnLock(lock);
    return attributes;
}

TEST_F(FileContentsTest, CopiesWholeFilesWithTheirAttributes) {
    sandbox.writeFile("work/empty.exe", "");
    sandbox.writeFile("work/dos32a.exe", "MZ dos32a");
    sandbox.writeFile("work/kept.exe", "MZ the original");
    sandbox.writeFile("work/protected.exe", "MZ delete-protected");
    const DateStamp date{12345, 600, 25};
    ASSERT_TRUE(SetProtection("protected.exe", FIBF_DELETE | FIBF_WRITE) &&
                SetComment("dos32a.exe", "extender") && SetFileDate("dos32a.exe", &date) &&
                SetProtection("dos32a.exe", FIBF_EXECUTE));
    // clang-format off
    struct { const char *source, *dest; int32_t overwrite, copied; std::optional<std::string> contents; } cases[] = {
        {"empty.exe", "copyOfEmpty.exe", FALSE, TRUE, ""},
        {"dos32a.exe", "kept.exe", FALSE, FALSE, "MZ the original"},
        {"dos32a.exe", "protected.exe", TRUE, TRUE, "MZ dos32a"},
        {"dos32a.exe", "fresh.exe", FALSE, TRUE, "MZ dos32a"},
        {"kept.exe", "KEPT.EXE", TRUE, FALSE, std::nullopt}, // onto itself: the file stays
        {"missing.exe", "never.exe", TRUE, FALSE, std::nullopt},
        {"dos32a.exe", "NoDir/never.exe", FALSE, FALSE, std::nullopt}};
    // clang-format on
    for (const auto& c : cases) {
        EXPECT_EQ(copyFile(c.source, c.dest, c.overwrite), c.copied) << c.dest;
        EXPECT_EQ(std::filesystem::exists(c.dest), c.contents.has_value()) << c.dest;
        EXPECT_EQ(readFile(c.dest), c.contents.value_or("")) << c.dest;
    }
    // Even when the file refuses to be deleted, opening it anew must not empty it.
    platform::failOperation(platform::Operation::DeleteFile, 1);
    EXPECT_EQ(copyFile("kept.exe", "kept.exe", TRUE), FALSE);
    platform::failOperation(platform::Operation::DeleteFile, 0);
    EXPECT_EQ(readFile("kept.exe"), "MZ the original");
    EXPECT_EQ(std::get<1>(attributesOf("dos32a.exe")), "extender");
    EXPECT_EQ(std::get<2>(attributesOf("dos32a.exe")), 12345);
    EXPECT_EQ(attributesOf("fresh.exe"), attributesOf("dos32a.exe"));
    EXPECT_EQ(attributesOf("protected.exe"), attributesOf("dos32a.exe"));

    // A copy that fails or is cut short by an exception leaves no empty or partial file behind.
    for (const auto operation : {platform::Operation::Read, platform::Operation::Write}) {
        platform::failOperation(operation, 1);
        EXPECT_EQ(copyFile("dos32a.exe", "DOS4GW.EXE", FALSE), FALSE);
        EXPECT_FALSE(std::filesystem::exists("DOS4GW.EXE"));
    }
    forEveryAllocationFailure([] {
        const int32_t copied = copyFile("dos32a.exe", "DOS4GW.EXE", TRUE);
        EXPECT_EQ(std::filesystem::exists("DOS4GW.EXE"), copied != FALSE);
        EXPECT_EQ(readFile("DOS4GW.EXE"), copied ? "MZ dos32a" : "");
    });
}

} // namespace
} // namespace tolvarn::testing
