// Paths, queries and file contents on real temporary folders.
#include "pAmigaDos/fileContents.h"
#include "pAmigaDos/pathComposition.h"
#include "pAmigaDos/queries.h"

#include "amigaDosFixture.h"

#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace tolvarn::testing {
namespace {

/// Finds files, folders, soft links (to a file, to a folder, relative to their own folder,
/// dangling, long), names that mean something in a pattern or a path, case twins (a file, a
/// folder and a link) and "Multi:", an assign of two folders where only the second holds entries.
class TreeTest : public AmigaDosTest {
  protected:
    const std::string work = sandbox.work(), second = sandbox.path("second");
    const std::string longTarget = std::string(300, 'x') + ".txt";

    TreeTest() {
        // clang-format off
        for (const char* file : {"work/file.txt", "work/Data", "work/Games/game.exe", "second/only.txt",
                                 "work/Tom's Game.exe", "work/Foo: Bar", "work/Twins/GAME.EXE"})
            sandbox.writeFile(file, "MZ");
        sandbox.writeFile("work/Games/Game?.exe", "MZ one");
        sandbox.writeFile("work/Games/Game1.exe", "MZ other, matching the name as a pattern");
        sandbox.makeDir("work/Games/Data");
        sandbox.makeDir("work/Twins/Game.exe");
        const std::pair<std::string, const char*> links[] = {
            {"file.txt", "work/toFile"}, {"Games", "work/toFolder"}, {"Data", "work/Games/toData"},
            {"gone.txt", "work/dangling"}, {longTarget, "work/longLink"}, {"only.txt", "second/link"},
            {"Games/game.exe", "work/gameLink"}, {"GAME.EXE", "work/Twins/game.exe"},
            {"file.txt", "work/Link: Me"}};
        // clang-format on
        for (const auto& [target, link] : links)
            std::filesystem::create_symlink(target, sandbox.path(link));
        sandbox.writeFile("config/tolvarn/assigns",
                          "Multi: " + sandbox.makeDir("first") + "\nMulti: " + second + "\n");
        platform::resetProcess();
    }
};

TEST_F(AmigaDosTest, JoinsSplitsAndNamesPathsWhole) {
    std::string directory; // 4,001 characters: "folder/folder/.../last"
    for (int i = 0; i < 571; ++i)
        directory += "folder/";
    directory += "last";
    const std::string name(4000, 'n');
    const std::string stem = directory.substr(0, directory.size() - 4); // "folder/.../"
    // clang-format off
    struct { std::string path, name; int32_t dirOnly; std::string joined; } joins[] = {
        {"Work:DOSBox", "DOSBox", FALSE, "Work:DOSBox/DOSBox"}, {"Work:Games/game.exe", "game.cfg", TRUE, "Work:Games/game.cfg"},
        {"game.exe", "game.cfg", TRUE, "game.cfg"}, {"/games/Foo: Bar", "game.cfg", TRUE, "/games/game.cfg"},
        {directory, name, FALSE, directory + "/" + name}, {directory, name, TRUE, stem + name}};
    const std::pair<std::string, std::string> parts[] = {
        {"Work:Games/game.exe", "Work:Games"}, {"game.exe", ""}, {"/games/Foo: Bar", "/games"},
        {directory, stem.substr(0, stem.size() - 1)}};
    // clang-format on
    for (const auto& c : joins)
        EXPECT_EQ(take(strJoinPart(c.path.c_str(), c.name.c_str(), c.dirOnly)), c.joined)
            << c.path.substr(0, 20) << c.name.substr(0, 20);
    for (const auto& [path, parent] : parts)
        EXPECT_EQ(take(strPathPart(path.c_str())), parent) << path.substr(0, 20);
    EString path = StrCopy(NewString(10), "Work:a");
    EXPECT_EQ(fillAddPart(path, "long.name"), FALSE);
    EXPECT_EQ(take(StrCopy(NewString(10), path)), "Work:a"); // left as it was
    EXPECT_EQ(fillAddPart(path, "bcd"), TRUE);               // exactly the maximum length
    EXPECT_EQ(take(path), "Work:a/bcd");

    const std::string longName(200, 'd');
    const std::string deep = sandbox.makeDir("work/" + longName + "/" + longName);
    const BPTR lock = Lock(deep.c_str(), SHARED_LOCK);
    EXPECT_EQ(take(strNameFromLock(lock)), deep);
    EXPECT_EQ(take(lockJoinPart(lock, "game.exe")), deep + "/game.exe");
    EXPECT_EQ(take(lockJoinPart(lock, "Foo: Bar.exe")), deep + "/Foo: Bar.exe"); // a host name
    EXPECT_EQ(take(lockJoinPart(lock, name.c_str())), deep + "/" + name);
    const BPTR previous = CurrentDir(lock);
    EXPECT_EQ(take(strCurrentDirName()), deep);
    UnLock(CurrentDir(previous));
}

TEST_F(TreeTest, ExpandsPathsAndReadsSoftLinks) {
    // clang-format off
    struct { std::string path; int32_t keepLink; std::string expanded; } cases[] = {
        {"Games/game.exe", FALSE, work + "/Games/game.exe"}, {"missing.iso", FALSE, work + "/missing.iso"},
        {"NoDir/missing.iso", FALSE, work + "/NoDir/missing.iso"},
        {"Multi:only.txt", FALSE, second + "/only.txt"}, {"Multi:link", FALSE, second + "/only.txt"},
        {"Multi:link", TRUE, second + "/link"}, {"gameLink", FALSE, work + "/Games/game.exe"},
        {"gameLink", TRUE, work + "/gameLink"}, {"TOFILE", TRUE, work + "/toFile"},
        {"Twins/New: File", FALSE, work + "/Twins/New: File"}, {"file.txt/x", TRUE, work + "/file.txt/x"}};
    // clang-format on
    for (const auto& c : cases)
        EXPECT_EQ(take(strExpandPath(c.path.c_str(), c.keepLink)), c.expanded)
            << c.path << c.keepLink;

    // clang-format off
    struct { std::string path; int32_t skipTypeCheck; Text target; int32_t kind; } links[] = {
        {"gameLink", TRUE, work + "/Games/game.exe", 0}, {"gameLink", FALSE, work + "/Games/game.exe", 2},
        {"dangling", FALSE, work + "/gone.txt", 2}, {"longLink", FALSE, work + "/" + longTarget, 2},
        {"Multi:link", FALSE, second + "/only.txt", 2}, {"missing.txt", TRUE, {}, 1}};
    // clang-format on
    for (const auto& c : links) {
        int32_t kind = 99;
        EXPECT_EQ(take(strReadLink(c.path.c_str(), &kind, c.skipTypeCheck)), c.target) << c.path;
        EXPECT_TRUE(kind == c.kind && secondResult == c.kind) << c.path;
    }

    // The walk through the assign lends the process another directory and file system; both
    // come back, also when the walk is cut short.
    const Process* process = FindTask(nullptr);
    const BPTR currentDir = process->pr_CurrentDir;
    MsgPort* const fileSystem = process->pr_FileSystemTask;
    forEveryAllocationFailure([] {
        take(strExpandPath("Multi:link", TRUE));
        take(strExpandPath("NoDir/missing.iso", FALSE));
        take(strReadLink("longLink", nullptr, FALSE));
    });
    EXPECT_TRUE(process->pr_CurrentDir == currentDir && process->pr_FileSystemTask == fileSystem);
}

TEST_F(TreeTest, ExaminesAndTellsWhatExistsWithoutRequestersFollowingLinksOnlyWhenAsked) {
    ASSERT_NE(SetComment("Games/game.exe", "a comment"), DOSFALSE);
    // name and type: what examining finds; followed: the type behind a link (0: none)
    // clang-format off
    struct { std::string path; Text name; int32_t type, followed, size; } entries[] = {
        {"Games/game.exe", "game.exe", ST_FILE, ST_FILE, 2}, {"games/GAME.EXE", "game.exe", ST_FILE, ST_FILE, 2},
        {"gameLink", "gameLink", ST_SOFTLINK, ST_FILE, -1}, {"TOFILE", "toFile", ST_SOFTLINK, ST_FILE, -1},
        {"toFolder", "toFolder", ST_SOFTLINK, ST_USERDIR, -1}, {"dangling", "dangling", ST_SOFTLINK, 0, -1},
        {"Games", "Games", ST_USERDIR, ST_USERDIR, -1}, {"Games/Game?.exe", "Game?.exe", ST_FILE, ST_FILE, 6},
        {"TOM'S GAME.EXE", "Tom's Game.exe", ST_FILE, ST_FILE, -1}, {"./foo: BAR", "Foo: Bar", ST_FILE, ST_FILE, -1},
        {work + "/link: me", "Link: Me", ST_SOFTLINK, ST_FILE, -1}, {"file.txt/game.exe", {}, 0, 0, 0},
        {"Twins/GAME.EXE", "GAME.EXE", ST_FILE, ST_FILE, -1}, {"Twins/Game.exe", "Game.exe", ST_USERDIR, ST_USERDIR, -1},
        {"Twins/game.exe", "game.exe", ST_SOFTLINK, ST_FILE, -1}, {"Twins/gAME.exe", "GAME.EXE", ST_FILE, ST_FILE, -1},
        {"Games/missing.exe", {}, 0, 0, 0}, {"NoDir/game.exe", {}, 0, 0, 0}, {"NoSuchVolume:file.txt", {}, 0, 0, 0}};
    // clang-format on
    Process* process = FindTask(nullptr);
    process->pr_WindowPtr = &process; // a window of ours, that requesters would appear on
    auto* fib = static_cast<FileInfoBlock*>(AllocDosObject(DOS_FIB, nullptr));
    for (const auto& c : entries) {
        const char* path = c.path.c_str();
        SCOPED_TRACE(c.path.substr(0, 30));
        for (auto examine : {examineDirEntry, examineDirEntryByScan}) {
            const bool found = examine(path, fib) != FALSE;
            EXPECT_EQ(found, c.name.has_value());
            if (!found || !c.name)
                continue;
            EXPECT_EQ(fib->fib_FileName, *c.name);
            EXPECT_EQ(fib->fib_DirEntryType, c.type);
            EXPECT_TRUE(c.size < 0 || fib->fib_Size == c.size);
            EXPECT_EQ(std::string(fib->fib_Comment), c.size == 2 ? "a comment" : "");
        }
        // Every other question about the entry finds the same one; whether it exists and what
        // it is follow the link, unless asked not to.
        for (const auto& [noFollow, type] :
             {std::pair(TRUE, c.type), std::pair(FALSE, c.followed)}) {
            int8_t exists = 99;
            EXPECT_EQ(dirEntryType(path, noFollow, &exists), type);
            EXPECT_TRUE(exists == (c.followed ? TRUE : FALSE) && secondResult == exists);
        }
        const auto kinds =
            std::tuple(pathExists(path, 0), pathExists(path, 1), pathExists(path, 2));
        EXPECT_EQ(kinds, std::tuple(c.followed ? TRUE : FALSE, c.followed == ST_FILE ? TRUE : FALSE,
                                    c.followed == ST_USERDIR ? TRUE : FALSE));
        EXPECT_EQ(process->pr_WindowPtr, &process);
        int32_t kind = 0;
        take(strReadLink(path, &kind, FALSE));
        EXPECT_EQ(kind, c.type == ST_SOFTLINK ? 2 : 1);
    }
    process->pr_WindowPtr = nullptr;
    EXPECT_EQ(dirEntryType("dangling", TRUE, nullptr), ST_SOFTLINK);
    forEveryAllocationFailure([fib] { examineDirEntry("gameLink", fib); });
    FreeDosObject(DOS_FIB, fib);

    // The parent of a link is the link's own folder, not its target's.
    for (const char* path : {"gameLink", "missing.exe"}) {
        const BPTR parent = lockParentDir(path);
        EXPECT_EQ(take(strNameFromLock(parent)), work) << path;
        UnLock(parent);
    }
    EXPECT_EQ(lockParentDir("NoDir/missing.exe"), nullptr);

    // A link's relative target is found from the link's folder, not from the current one.
    EXPECT_EQ(dirEntryTypeIsFile(ST_SOFTLINK, "Games/toData"), FALSE);
    EXPECT_EQ(dirEntryTypeIsFile(ST_SOFTLINK, "toFile"), TRUE);
    EXPECT_THROW(dirEntryTypeIsFile(ST_SOFTLINK, "file.txt"), eException);
    EXPECT_EQ(exception, ID_BUG);
    EXPECT_STREQ(exceptionInfo, "dirEntryTypeIsFile(); linkPath=NILS");
    exception = 0;
    forEveryAllocationFailure([] {
        dirEntryTypeIsFile(ST_SOFTLINK, "Games/toData");
        pathExists("toFile", 1);
    });
}

TEST_F(AmigaDosTest, VariablesAndTheArgumentLineComeBackWhole) {
    const std::string values[] = {"", "Work:Emulators/DOSBox", std::string(127, 'a'),
                                  std::string(128, 'b'), "/" + std::string(300, 'c') + "/DOSBox"};
    for (const std::string& value : values) {
        ASSERT_EQ(setVar("Tolvarn/Test", value.c_str(), 0), TRUE);
        EXPECT_EQ(take(strGetVar("Tolvarn/Test", 0)), value) << value.size();
    }
    EXPECT_EQ(take(strGetVar("Tolvarn/Missing", 0)), std::nullopt);
    forEveryAllocationFailure([] { take(strGetVar("Tolvarn/Test", 0)); });

    // The argument line loses only its final line feed.
    for (std::vector<const char*> argv : {std::vector{"tolvarn"}, {"tolvarn", "My Game.exe"}}) {
        platform::setArgumentsFromHost(int(argv.size()), const_cast<char**>(argv.data()));
        startAmigaDosModule();
        startAmigaDosModule(); // a second start must not lose the first copy
        EXPECT_EQ(std::string(argumentLine, EstrLen(argumentLine)),
                  argv.size() > 1 ? "\"My Game.exe\"" : "");
        endAmigaDosModule();
        EXPECT_EQ(argumentLine, nullptr);
        endAmigaDosModule();
    }
}

TEST_F(TreeTest, MovesBeyondWhatOneSeekCanReachAndSizesLeaveThePosition) {
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
        // Below 4 GiB never a negative 32-bit number; beyond it, one that cannot be told.
        EXPECT_EQ(filePosition(fh), move.landing < 4294967296 ? move.landing + 4 : -1);
    }
    EXPECT_EQ(setFilePosition(fh, -3000000000, OFFSET_BEGINNING), FALSE);
    Close(fh);

    for (const auto& [name, size] :
         {std::pair{"Games/game.exe", int64_t{2}}, {"gameLink", 2}, {"big.img", 6000000000}}) {
        fh = Open(name, MODE_OLDFILE);
        ASSERT_EQ(setFilePosition(fh, 1, OFFSET_BEGINNING), TRUE);
        EXPECT_EQ(fileSizeFromFH(fh, TRUE, FALSE), size) << name;
        EXPECT_EQ(fileSizeFromFH(fh, TRUE, TRUE), size) << name; // an open link is its target
        EXPECT_EQ(handleSize(fh, TRUE), size) << name;
        EXPECT_EQ(filePosition(fh), 1) << name;
        Close(fh);
    }
}

/// The protection, comment and date of an entry.
std::tuple<int32_t, std::string, int32_t, int32_t, int32_t> attributesOf(const char* path) {
    auto* fib = static_cast<FileInfoBlock*>(AllocDosObject(DOS_FIB, nullptr));
    EXPECT_TRUE(examineDirEntry(path, fib)) << path;
    const DateStamp& date = fib->fib_Date;
    const auto attributes = std::tuple(fib->fib_Protection, std::string(fib->fib_Comment),
                                       date.ds_Days, date.ds_Minute, date.ds_Tick);
    FreeDosObject(DOS_FIB, fib);
    return attributes;
}

TEST_F(AmigaDosTest, CopiesWholeFilesWithTheirAttributes) {
    // clang-format off
    for (const auto& [name, contents] : {std::pair{"work/empty.exe", ""}, {"work/dos32a.exe", "MZ dos32a"},
                                         {"work/kept.exe", "MZ the original"}, {"work/protected.exe", "MZ"}})
        sandbox.writeFile(name, contents);
    // clang-format on
    const DateStamp date{12345, 600, 25};
    ASSERT_TRUE(SetProtection("protected.exe", FIBF_DELETE | FIBF_WRITE) &&
                SetComment("dos32a.exe", "extender") && SetFileDate("dos32a.exe", &date) &&
                SetProtection("dos32a.exe", FIBF_EXECUTE));
    // clang-format off
    struct { const char *source, *dest; int32_t overwrite, copied; Text contents; } cases[] = {
        {"empty.exe", "copyOfEmpty.exe", FALSE, TRUE, ""}, {"dos32a.exe", "kept.exe", FALSE, FALSE, "MZ the original"},
        {"dos32a.exe", "protected.exe", TRUE, TRUE, "MZ dos32a"}, {"dos32a.exe", "fresh.exe", FALSE, TRUE, "MZ dos32a"},
        {"kept.exe", "KEPT.EXE", TRUE, FALSE, std::nullopt}, // onto itself: the file stays
        {"missing.exe", "never.exe", TRUE, FALSE, {}}, {"dos32a.exe", "NoDir/never.exe", FALSE, FALSE, {}}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dest);
        EXPECT_EQ(copyFile(c.source, c.dest, c.overwrite), c.copied);
        EXPECT_EQ(std::filesystem::exists(c.dest), c.contents.has_value());
        EXPECT_EQ(readFile(c.dest), c.contents.value_or(""));
    }
    EXPECT_EQ(attributesOf("dos32a.exe"), std::tuple(FIBF_EXECUTE, "extender", 12345, 600, 25));
    EXPECT_EQ(attributesOf("fresh.exe"), attributesOf("dos32a.exe"));
    EXPECT_EQ(attributesOf("protected.exe"), attributesOf("dos32a.exe"));

    // A copy that fails or is cut short by an exception leaves no empty or partial file behind.
    for (const auto operation : {platform::Operation::Read, platform::Operation::Write}) {
        platform::failOperation(operation, 1);
        EXPECT_EQ(copyFile("dos32a.exe", "DOS4GW.EXE", FALSE), FALSE);
        EXPECT_FALSE(std::filesystem::exists("DOS4GW.EXE"));
    }
    // Over an older copy, so that every run, the counting one too, first asks whether source
    // and destination are one file.
    forEveryAllocationFailure([this] {
        sandbox.writeFile("work/DOS4GW.EXE", "old");
        const int32_t copied = copyFile("dos32a.exe", "DOS4GW.EXE", TRUE);
        const Text left =
            std::filesystem::exists("DOS4GW.EXE") ? Text(readFile("DOS4GW.EXE")) : std::nullopt;
        EXPECT_TRUE(copied ? left == "MZ dos32a" : !left || left == "old") << left.value_or("-");
    });
}

} // namespace
} // namespace tolvarn::testing
