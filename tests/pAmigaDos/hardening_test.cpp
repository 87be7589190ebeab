// Paths of thousands of characters through the path utilities: joined, split, made absolute,
// tested and copied to. Every one gives its usual result or a clean failure, never an exception,
// and gives back every lock and block.
#include "amigaDosFixture.h"

#include "pAmigaDos/fileContents.h"
#include "pAmigaDos/pathComposition.h"
#include "pAmigaDos/queries.h"
#include "support/deepFolder.h"

namespace tolvarn::testing {
namespace {

std::string repeated(const std::string& piece, size_t times) {
    std::string text;
    for (size_t i = 0; i < times; ++i)
        text += piece;
    return text;
}

class PathHardeningTest : public AmigaDosTest {};

TEST_F(PathHardeningTest, JoiningAndSplittingLongPaths) {
    const std::string directory = repeated("folder/", 571) + "last"; // 4,001 characters
    const std::string name(4000, 'n');
    EXPECT_EQ(take(strJoinPart(directory.c_str(), name.c_str(), FALSE)), directory + "/" + name);
    EXPECT_EQ(take(strJoinPart(directory.c_str(), name.c_str(), TRUE)),
              directory.substr(0, directory.size() - 4) + name);
    EXPECT_EQ(take(strPathPart(directory.c_str())), directory.substr(0, directory.size() - 5));
    EXPECT_EQ(take(strJoinPart(name.c_str(), ("/" + name).c_str(), FALSE)), "/" + name);

    BPTR work = Lock(sandbox.work().c_str(), SHARED_LOCK);
    ASSERT_NE(work, nullptr);
    EXPECT_EQ(take(lockJoinPart(work, name.c_str())), sandbox.work() + "/" + name);
    UnLock(work);
}

TEST_F(PathHardeningTest, LongPathsThatDoNotExist) {
    sandbox.writeFile("work/present", "x");
    const struct {
        const char* name;
        std::string path;
    } cases[] = {
        {"4,000 characters of missing folders", repeated("folder/", 571) + "x"},
        {"one name of 4,000 characters", std::string(4000, 'n')},
        {"a long name after a file", "present/" + std::string(4000, 'n')},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        // Nothing of it exists, so it is placed in the current directory.
        EXPECT_EQ(take(strExpandPath(test.path.c_str(), FALSE)), sandbox.work() + "/" + test.path);
        EXPECT_EQ(pathExists(test.path.c_str(), 0), FALSE);
        EXPECT_EQ(pathExists(test.path.c_str(), 1), FALSE);
        int8_t exists = TRUE;
        dirEntryType(test.path.c_str(), TRUE, &exists);
        EXPECT_EQ(exists, FALSE);
        int32_t kind = 0;
        EXPECT_EQ(take(strReadLink(test.path.c_str(), &kind, FALSE)), std::nullopt);
        EXPECT_EQ(kind, 1);
        EXPECT_EQ(copyFile("present", test.path.c_str(), FALSE), FALSE);
        EXPECT_EQ(readFile(sandbox.path("work/present")), "x");
    }
}

TEST_F(PathHardeningTest, AFolderDeeperThanTheHostPathLimit) {
    // 5,000 characters below the work folder: more than the host takes in one path. Whether the
    // host layer reaches it or not, the answers stay sound.
    const std::string relative = makeDeepFolder(sandbox.work(), std::string(250, 'd'), 20);
    const std::string absolute = sandbox.work() + "/" + relative;
    for (const std::string& path : {relative, absolute}) {
        SCOPED_TRACE(path.size());
        // Its full name, found or (when the host cannot say) put together from the current
        // directory, is the same text.
        EXPECT_EQ(take(strExpandPath(path.c_str(), FALSE)), absolute);
        const int32_t exists = pathExists(path.c_str(), 0);
        EXPECT_TRUE(exists == TRUE || exists == FALSE);
        EXPECT_EQ(pathExists((path + "/missing").c_str(), 0), FALSE);
        EXPECT_EQ(pathExists(path.c_str(), 1), FALSE); // never a file
        EXPECT_EQ(copyFile(path.c_str(), "copy", FALSE), FALSE);
        EXPECT_FALSE(std::filesystem::exists(sandbox.path("work/copy")));
    }
    removeBelow(sandbox.work());
}

} // namespace
} // namespace tolvarn::testing
