// Examining entries: FileInfoBlocks from locks and files, ExNext, ExAll with the caller's buffer
// size, and the protection, comment and date round trips.
#include "layerTesting.h"

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using tolvarn::testing::HostLayerTest;

namespace {

struct Entry {
    std::string name;
    int32_t type;
    std::string comment;
    bool operator==(const Entry&) const = default;
    friend void PrintTo(const Entry& entry, std::ostream* out) {
        *out << "{" << entry.name << ", " << entry.type << ", \"" << entry.comment << "\"}";
    }
};

class HostExamineTest : public HostLayerTest {
  protected:
    /// Every entry ExAll gives for the directory, in batches of a buffer of `bufferSize` bytes.
    /// Also counts the calls that said more entries remain.
    std::vector<Entry> exAll(const char* directory, int32_t bufferSize,
                             const char* pattern = nullptr, int* moreCalls = nullptr) {
        std::vector<Entry> entries;
        BPTR lock = Lock(directory, SHARED_LOCK);
        auto* control = static_cast<ExAllControl*>(AllocDosObject(DOS_EXALLCONTROL, nullptr));
        std::vector<char> code(pattern ? 2 * std::strlen(pattern) + 2 : 0);
        if (pattern != nullptr) {
            ParsePatternNoCase(pattern, code.data(), static_cast<int32_t>(code.size()));
            control->eac_MatchString = code.data();
        }
        std::vector<ExAllData> buffer(bufferSize / sizeof(ExAllData) + 1);
        int32_t more;
        do {
            more = ExAll(lock, buffer.data(), bufferSize, ED_COMMENT, control);
            if (more == DOSFALSE && IoErr() != ERROR_NO_MORE_ENTRIES) {
                entries.push_back(Entry{"error", IoErr(), ""});
                break;
            }
            if (more && moreCalls)
                ++*moreCalls;
            for (ExAllData* data = control->eac_Entries ? buffer.data() : nullptr; data;
                 data = data->ed_Next)
                entries.push_back(Entry{data->ed_Name, data->ed_Type, data->ed_Comment});
        } while (more);
        FreeDosObject(DOS_EXALLCONTROL, control);
        UnLock(lock);
        return entries;
    }
};

TEST_F(HostExamineTest, ExamineReportsTheObjectOfALock) {
    sandbox.writeFile("work/dir/file.bin", std::string(1234, 'x'));
    makeLink("dir/file.bin", "work/link");
    auto* fib = static_cast<FileInfoBlock*>(AllocDosObject(DOS_FIB, nullptr));
    const struct {
        const char* path;
        int32_t type;
        const char* name;
        int32_t size;
    } cases[] = {
        {"/", ST_ROOT, "", 0},
        {"dir", ST_USERDIR, "dir", 0},
        {"dir/file.bin", ST_FILE, "file.bin", 1234},
        {"link", ST_FILE, "file.bin", 1234}, // Lock followed the link
        {"NIL:", ST_PIPEFILE, "null", 0},
    };
    for (const auto& test : cases) {
        BPTR lock = Lock(test.path, SHARED_LOCK);
        ASSERT_NE(lock, nullptr) << test.path;
        ASSERT_EQ(Examine(lock, fib), DOSTRUE) << test.path;
        EXPECT_EQ(fib->fib_DirEntryType, test.type) << test.path;
        EXPECT_STREQ(fib->fib_FileName, test.name) << test.path;
        EXPECT_EQ(fib->fib_Size, test.size) << test.path;
        UnLock(lock);
    }
    FileHandle* file = Open("DIR/FILE.BIN", MODE_OLDFILE);
    ASSERT_EQ(ExamineFH(file, fib), DOSTRUE);
    EXPECT_STREQ(fib->fib_FileName, "file.bin");
    EXPECT_EQ(fib->fib_Size, 1234);
    Close(file);
    FreeDosObject(DOS_FIB, fib);
}

TEST_F(HostExamineTest, ExNextListsEntriesAsThemselvesInByteOrder) {
    sandbox.writeFile("work/list/b.txt", "");
    sandbox.makeDir("work/list/C");
    sandbox.writeFile("work/list/a.txt", "");
    makeLink("a.txt", "work/list/link");
    makeLink("gone", "work/list/dangling");
    BPTR lock = Lock("list", SHARED_LOCK);
    auto* fib = static_cast<FileInfoBlock*>(AllocDosObject(DOS_FIB, nullptr));
    ASSERT_EQ(Examine(lock, fib), DOSTRUE);
    std::vector<Entry> entries;
    while (ExNext(lock, fib))
        entries.push_back(Entry{fib->fib_FileName, fib->fib_DirEntryType, ""});
    EXPECT_EQ(IoErr(), ERROR_NO_MORE_ENTRIES);
    EXPECT_EQ(ExNext(lock, fib), DOSFALSE); // stays at the end
    EXPECT_EQ(entries, (std::vector<Entry>{{"C", ST_USERDIR, ""},
                                           {"a.txt", ST_FILE, ""},
                                           {"b.txt", ST_FILE, ""},
                                           {"dangling", ST_SOFTLINK, ""},
                                           {"link", ST_SOFTLINK, ""}}));
    // A scan given up half-way is given back with the block.
    ASSERT_EQ(Examine(lock, fib), DOSTRUE);
    ASSERT_EQ(ExNext(lock, fib), DOSTRUE);
    FreeDosObject(DOS_FIB, fib);
    UnLock(lock);
}

TEST_F(HostExamineTest, ExAllHonoursTheBufferSizeAndReportsOverflow) {
    const std::string longName(200, 'L');
    sandbox.writeFile("work/dir/short.exe", "");
    sandbox.writeFile("work/dir/" + longName, "");
    sandbox.writeFile("work/dir/other.txt", "");
    makeLink("short.exe", "work/dir/z-link");
    ASSERT_EQ(SetComment("dir/other.txt", "a comment"), DOSTRUE);

    // Everything fits a large buffer, links reported as links, comments included.
    EXPECT_EQ(exAll("dir", 4096), (std::vector<Entry>{{longName, ST_FILE, ""},
                                                      {"other.txt", ST_FILE, "a comment"},
                                                      {"short.exe", ST_FILE, ""},
                                                      {"z-link", ST_SOFTLINK, ""}}));

    // A 200-byte buffer takes short names; a 200-character name never fits, and ExAll says so
    // instead of looping or overrunning.
    EXPECT_EQ(
        exAll("dir", 200, "#?.(exe|txt)"),
        (std::vector<Entry>{{"other.txt", ST_FILE, "a comment"}, {"short.exe", ST_FILE, ""}}));
    EXPECT_EQ(exAll("dir", 200), (std::vector<Entry>{{"error", ERROR_BUFFER_OVERFLOW, ""}}));
    EXPECT_EQ(exAll("dir", 200, "short.exe"), (std::vector<Entry>{{"short.exe", ST_FILE, ""}}));
    EXPECT_EQ(exAll("dir", 200, "SHORT.EXE"), (std::vector<Entry>{{"short.exe", ST_FILE, ""}}));
    EXPECT_TRUE(exAll("dir", 200, "missing").empty());

    // A buffer for one short record at a time hands them out over several calls.
    int moreCalls = 0;
    EXPECT_EQ(exAll("dir", 80, "~(L#?)", &moreCalls).size(), 3u);
    EXPECT_EQ(moreCalls, 2);
}

TEST_F(HostExamineTest, ExAllEndGivesBackAnUnfinishedScan) {
    for (const char* name : {"a", "b", "c"})
        sandbox.writeFile(std::string("work/dir/") + name, "");
    BPTR lock = Lock("dir", SHARED_LOCK);
    auto* control = static_cast<ExAllControl*>(AllocDosObject(DOS_EXALLCONTROL, nullptr));
    alignas(ExAllData) char buffer[64];
    ASSERT_EQ(ExAll(lock, reinterpret_cast<ExAllData*>(buffer), sizeof buffer, ED_NAME, control),
              DOSTRUE);
    EXPECT_GE(control->eac_Entries, 1u);
    ExAllEnd(lock, reinterpret_cast<ExAllData*>(buffer), sizeof buffer, ED_NAME, control);
    EXPECT_EQ(control->eac_LastKey, 0u);
    // A new scan starts from the beginning, and one left open goes with the control structure.
    ASSERT_EQ(ExAll(lock, reinterpret_cast<ExAllData*>(buffer), sizeof buffer, ED_NAME, control),
              DOSTRUE);
    EXPECT_STREQ(reinterpret_cast<ExAllData*>(buffer)->ed_Name, "a");
    FreeDosObject(DOS_EXALLCONTROL, control);
    UnLock(lock);
}

TEST_F(HostExamineTest, ProtectionCommentAndDateRoundTrip) {
    sandbox.writeFile("work/file", "x");
    auto* fib = static_cast<FileInfoBlock*>(AllocDosObject(DOS_FIB, nullptr));
    const auto examine = [&] {
        BPTR lock = Lock("file", SHARED_LOCK);
        EXPECT_EQ(Examine(lock, fib), DOSTRUE);
        UnLock(lock);
    };
    for (const uint32_t protection :
         {0u, FIBF_EXECUTE, FIBF_WRITE | FIBF_DELETE, FIBF_READ | FIBF_EXECUTE,
          FIBF_READ | FIBF_WRITE | FIBF_EXECUTE | FIBF_DELETE}) {
        ASSERT_EQ(SetProtection("FILE", protection), DOSTRUE);
        examine();
        EXPECT_EQ(static_cast<uint32_t>(fib->fib_Protection), protection);
    }
    ASSERT_EQ(SetProtection("file", 0), DOSTRUE);
    // Delete protection alone still comes back with write protection: the host has one bit.
    ASSERT_EQ(SetProtection("file", FIBF_DELETE), DOSTRUE);
    examine();
    EXPECT_EQ(static_cast<uint32_t>(fib->fib_Protection), FIBF_WRITE | FIBF_DELETE);
    EXPECT_EQ(fs::status(sandbox.path("work/file")).permissions() & fs::perms::group_all,
              fs::perms::group_read); // only the owner's bits change

    const std::string longest(sizeof fib->fib_Comment - 1, 'c');
    for (const std::string& comment : {std::string("Doom, shareware"), longest, std::string()}) {
        ASSERT_EQ(SetComment("file", comment.c_str()), DOSTRUE);
        examine();
        EXPECT_EQ(fib->fib_Comment, comment);
    }
    EXPECT_EQ(SetComment("file", (longest + "x").c_str()), DOSFALSE);
    EXPECT_EQ(IoErr(), ERROR_COMMENT_TOO_BIG);

    for (const DateStamp date :
         {DateStamp{0, 0, 0}, DateStamp{12819, 754, 1234}, DateStamp{16000, 1439, 2999}}) {
        ASSERT_EQ(SetFileDate("file", &date), DOSTRUE);
        examine();
        EXPECT_EQ(fib->fib_Date.ds_Days, date.ds_Days);
        EXPECT_EQ(fib->fib_Date.ds_Minute, date.ds_Minute);
        EXPECT_EQ(fib->fib_Date.ds_Tick, date.ds_Tick);
    }
    FreeDosObject(DOS_FIB, fib);
}

TEST_F(HostExamineTest, ObjectsOfNilAreNeverChanged) {
    const DateStamp date{1, 1, 1};
    EXPECT_EQ(DeleteFile("NIL:"), DOSFALSE);
    EXPECT_EQ(SetProtection("NIL:", 0xF), DOSFALSE);
    EXPECT_EQ(SetComment("NIL:", "x"), DOSFALSE);
    EXPECT_EQ(SetFileDate("NIL:", &date), DOSFALSE);
    EXPECT_EQ(Rename("NIL:", "x"), DOSFALSE);
    EXPECT_TRUE(fs::exists("/dev/null"));
}

} // namespace
