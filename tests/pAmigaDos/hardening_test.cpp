// Paths of thousands of characters joined, split, made absolute, tested and copied to: each gives
// its usual result or a clean failure, never an exception, and gives back every lock and block.
#include "amigaDosFixture.h"

#include "pAmigaDos/fileContents.h"
#include "pAmigaDos/pathComposition.h"
#include "pAmigaDos/queries.h"
#include "support/deepFolder.h"

namespace tolvarn::testing {
namespace {

class PathHardeningTest : public AmigaDosTest {};

TEST_F(PathHardeningTest, JoiningSplittingAndLookingUpLongPaths) {
    std::string directory;
    for (int i = 0; i < 571; ++i)
        directory += "folder/";
    directory += "last"; // 4,001 characters
    const std::string name(4000, 'n'), stem = directory.substr(0, directory.size() - 4);
    EXPECT_EQ(take(strJoinPart(directory.c_str(), name.c_str(), FALSE)), directory + "/" + name);
    EXPECT_EQ(take(strJoinPart(directory.c_str(), name.c_str(), TRUE)), stem + name);
    EXPECT_EQ(take(strPathPart(directory.c_str())), stem.substr(0, stem.size() - 1));
    EXPECT_EQ(take(strJoinPart(name.c_str(), ("/" + name).c_str(), FALSE)), "/" + name);
    BPTR work = Lock(sandbox.work().c_str(), SHARED_LOCK);
    ASSERT_NE(work, nullptr);
    EXPECT_EQ(take(lockJoinPart(work, name.c_str())), sandbox.work() + "/" + name);
    UnLock(work);

    // Paths that do not exist are placed in the current directory and found nowhere.
    sandbox.writeFile("work/present", "x");
    for (const std::string& path : {directory, name, "present/" + name}) {
        SCOPED_TRACE(path.substr(0, 20));
        EXPECT_EQ(take(strExpandPath(path.c_str(), FALSE)), sandbox.work() + "/" + path);
        EXPECT_EQ(pathExists(path.c_str(), 0), FALSE);
        EXPECT_EQ(pathExists(path.c_str(), 1), FALSE);
        int8_t exists = TRUE;
        dirEntryType(path.c_str(), TRUE, &exists);
        EXPECT_EQ(exists, FALSE);
        int32_t kind = 0;
        EXPECT_EQ(take(strReadLink(path.c_str(), &kind, FALSE)), std::nullopt);
        EXPECT_EQ(kind, 1);
        EXPECT_EQ(copyFile("present", path.c_str(), FALSE), FALSE);
        EXPECT_EQ(readFile(sandbox.path("work/present")), "x");
    }
}

TEST_F(PathHardeningTest, AFolderDeeperThanTheHostPathLimit) {
    // Whether the host layer reaches it or not, the answers stay sound.
    const DeepFolder deep(sandbox.work(), std::string(250, 'd'), 20); // 5,000 characters
    const std::string absolute = sandbox.work() + "/" + deep.relative;
    for (const std::string& path : {deep.relative, absolute}) {
        SCOPED_TRACE(path.size());
        EXPECT_EQ(take(strExpandPath(path.c_str(), FALSE)), absolute);
        const int32_t exists = pathExists(path.c_str(), 0);
        EXPECT_TRUE(exists == TRUE || exists == FALSE);
        EXPECT_EQ(pathExists((path + "/missing").c_str(), 0), FALSE);
        EXPECT_EQ(pathExists(path.c_str(), 1), FALSE); // never a file
        EXPECT_EQ(copyFile(path.c_str(), "copy", FALSE), FALSE);
        EXPECT_FALSE(std::filesystem::exists(sandbox.path("work/copy")));
    }
}

} // namespace
} // namespace tolvarn::testing
