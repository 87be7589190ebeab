#include "pAmigaDos/pathComposition.h"

#include "amigaDosFixture.h"

namespace tolvarn::testing {
namespace {

using PathCompositionTest = AmigaDosTest;
using Text = std::optional<std::string>;

TEST_F(PathCompositionTest, JoinsAndSplitsPaths) {
    // clang-format off
    struct { const char *path, *name; int32_t dirOnly; const char* joined; } joins[] = {
        {"Work:DOSBox", "DOSBox", FALSE, "Work:DOSBox/DOSBox"}, {"Work:", "DOS4GW.EXE", FALSE, "Work:DOS4GW.EXE"},
        {"/host/dir/", "file", FALSE, "/host/dir/file"}, {"Work:Games/game.exe", "game.cfg", TRUE, "Work:Games/game.cfg"},
        {"game.exe", "game.cfg", TRUE, "game.cfg"}, {"Work:Games", "Other:x", FALSE, "Other:x"},
        {"Work:Games", "/host/x", FALSE, "/host/x"}};
    // clang-format on
    for (const auto& c : joins)
        EXPECT_EQ(take(strJoinPart(c.path, c.name, c.dirOnly)), c.joined) << c.path << c.name;
    for (const auto& [path, directory] : {std::pair{"Work:Games/game.exe", "Work:Games"},
                                          {"Work:game.exe", "Work:"},
                                          {"game.exe", ""}})
        EXPECT_EQ(take(strPathPart(path)), directory) << path;

    EString path = StrCopy(NewString(10), "Work:a");
    EXPECT_EQ(fillAddPart(path, "long.name"), FALSE);
    EXPECT_EQ(take(StrCopy(NewString(10), path)), "Work:a"); // left as it was
    EXPECT_EQ(fillAddPart(path, "bcd"), TRUE);               // exactly the maximum length
    EXPECT_EQ(take(path), "Work:a/bcd");
}

TEST_F(PathCompositionTest, NamesOfLocksAndOfTheCurrentDirectoryComeBackWhole) {
    const std::string longName(200, 'd');
    const std::string deep = sandbox.makeDir("work/" + longName + "/" + longName);
    const BPTR lock = Lock(deep.c_str(), SHARED_LOCK);
    EXPECT_EQ(take(strNameFromLock(lock)), deep);
    EXPECT_EQ(take(lockJoinPart(lock, "game.exe")), deep + "/game.exe");
    const BPTR previous = CurrentDir(lock);
    EXPECT_EQ(take(strCurrentDirName()), deep);
    UnLock(CurrentDir(previous));
}

TEST_F(PathCompositionTest, ExpandsPathsAndReadsSoftLinks) {
    const std::string work = sandbox.work(), second = sandbox.path("second");
    const std::string longTarget = std::string(300, 'x') + ".txt";
    sandbox.writeFile("work/Games/game.exe", "MZ");
    sandbox.writeFile("second/only.txt", "2");
    sandbox.makeDir("first");
    softLink("only.txt", "second/link");
    softLink("Games/game.exe", "work/gameLink");
    softLink("gone.txt", "work/dangling");
    softLink(longTarget, "work/longLink");
    declareAssigns("Multi: " + sandbox.path("first") + "\nMulti: " + second + "\n");
    // clang-format off
    struct { const char* path; int32_t keepLink; std::string expanded; } cases[] = {
        {"Games/game.exe", FALSE, work + "/Games/game.exe"}, {"Games/missing.iso", FALSE, work + "/Games/missing.iso"},
        {"missing.iso", FALSE, work + "/missing.iso"}, {"NoDir/missing.iso", FALSE, work + "/NoDir/missing.iso"},
        {"/no-such-tolvarn-dir/x.iso", FALSE, "/no-such-tolvarn-dir/x.iso"},
        {"Multi:only.txt", FALSE, second + "/only.txt"}, {"Multi:link", FALSE, second + "/only.txt"},
        {"Multi:link", TRUE, second + "/link"}, {"gameLink", FALSE, work + "/Games/game.exe"},
        {"gameLink", TRUE, work + "/gameLink"}, {"Games/game.exe", TRUE, work + "/Games/game.exe"}};
    // clang-format on
    for (const auto& c : cases)
        EXPECT_EQ(take(strExpandPath(c.path, c.keepLink)), c.expanded) << c.path << c.keepLink;

    // clang-format off
    struct { const char* path; int32_t skipTypeCheck; Text target; int32_t kind; } links[] = {
        {"gameLink", TRUE, work + "/Games/game.exe", 0}, {"gameLink", FALSE, work + "/Games/game.exe", 2},
        {"dangling", FALSE, work + "/gone.txt", 2}, {"longLink", FALSE, work + "/" + longTarget, 2},
        {"Multi:link", FALSE, second + "/only.txt", 2}, {"Games/game.exe", FALSE, {}, 1},
        {"missing.txt", TRUE, {}, 1}, {"NoSuchVolume:link", FALSE, {}, 1}};
    // clang-format on
    for (const auto& c : links) {
        int32_t kind = 99;
        EXPECT_EQ(take(strReadLink(c.path, &kind, c.skipTypeCheck)), c.target) << c.path;
        EXPECT_EQ(kind, c.kind) << c.path;
        EXPECT_EQ(secondResult, c.kind) << c.path;
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
    EXPECT_EQ(process->pr_CurrentDir, currentDir);
    EXPECT_EQ(process->pr_FileSystemTask, fileSystem);
}

TEST_F(PathCompositionTest, ExaminesAnEntryItselfNotWhatItPointsAt) {
    sandbox.writeFile("work/Games/Game?.exe", "MZ one");
    sandbox.writeFile("work/Games/Game1.exe", "MZ other, matching the name as a pattern");
    sandbox.writeFile("work/Games/plain.exe", "MZ");
    sandbox.makeDir("work/Games/Data");
    softLink(sandbox.writeFile("work/elsewhere.exe", "MZ"), "work/Games/link");
    ASSERT_NE(SetComment("Games/plain.exe", "a comment"), DOSFALSE);
    // clang-format off
    struct { const char* path; Text name; int32_t type, size; } cases[] = {
        {"Games/plain.exe", "plain.exe", ST_FILE, 2}, {"games/PLAIN.EXE", "plain.exe", ST_FILE, 2},
        {"Games/link", "link", ST_SOFTLINK, -1}, {"Games/Data", "Data", ST_USERDIR, -1},
        {"Games/Game?.exe", "Game?.exe", ST_FILE, 6}, {"Games/missing.exe", {}, 0, 0},
        {"NoDir/plain.exe", {}, 0, 0}};
    // clang-format on
    auto* fib = static_cast<FileInfoBlock*>(AllocDosObject(DOS_FIB, nullptr));
    for (auto examine : {examineDirEntry, examineDirEntryByScan}) {
        for (const auto& c : cases) {
            ASSERT_EQ(examine(c.path, fib) != FALSE, c.name.has_value()) << c.path;
            if (!c.name)
                continue;
            EXPECT_EQ(fib->fib_FileName, *c.name);
            EXPECT_EQ(fib->fib_DirEntryType, c.type) << c.path;
            EXPECT_TRUE(c.size < 0 || fib->fib_Size == c.size) << c.path;
            EXPECT_EQ(std::string(fib->fib_Comment), c.size == 2 ? "a comment" : "") << c.path;
        }
    }
    forEveryAllocationFailure([fib] { examineDirEntry("Games/link", fib); });
    FreeDosObject(DOS_FIB, fib);

    // The parent of a link is the link's own directory, not its target's.
    for (const char* path : {"Games/link", "Games/missing.exe"}) {
        const BPTR parent = lockParentDir(path);
        EXPECT_EQ(take(strNameFromLock(parent)), sandbox.path("work/Games")) << path;
        UnLock(parent);
    }
    EXPECT_EQ(lockParentDir("NoDir/missing.exe"), nullptr);
}

} // namespace
} // namespace tolvarn::testing
