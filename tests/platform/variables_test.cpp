// Variables: global ones as files in the sandbox's ENV:, local ones in the environment.
#include "layerTesting.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using tolvarn::platform::failOperation;
using tolvarn::platform::Operation;
using tolvarn::testing::HostLayerTest;
using tolvarn::testing::readFile;

namespace {

class HostVariablesTest : public HostLayerTest {
  protected:
    std::string store() const { return sandbox.path("config/tolvarn/env"); }

    /// Every file in the store, temporary ones included.
    std::vector<std::string> storeFiles() const {
        std::vector<std::string> files;
        if (fs::exists(store())) {
            for (const auto& entry : fs::recursive_directory_iterator(store()))
                if (entry.is_regular_file())
                    files.push_back(fs::relative(entry.path(), store()).string());
        }
        return files;
    }
};

TEST_F(HostVariablesTest, GetVarCutsToTheBufferAndTellsTheFullLength) {
    sandbox.writeFile("config/tolvarn/env/Empty", "");
    sandbox.writeFile("config/tolvarn/env/Lines", "first\nsecond\n");
    sandbox.writeFile("config/tolvarn/env/AppDir/Long", std::string(1000, 'v'));
    const struct {
        const char* name;
        uint32_t flags;
        int32_t size;
        int32_t result;
        std::string text;
        int32_t ioErr;
    } cases[] = {
        {"AppDir/Missing", 0, 128, -1, "", ERROR_OBJECT_NOT_FOUND},
        {"Empty", GVF_GLOBAL_ONLY, 128, 0, "", 0},
        {"Lines", GVF_GLOBAL_ONLY, 128, 5, "first", 5}, // a text read stops at the line feed
        {"Lines", GVF_GLOBAL_ONLY | GVF_BINARY_VAR, 128, 13, "first\nsecond\n", 13},
        {"appdir/LONG", 0, 128, 127, std::string(127, 'v'), 1000},
        {"AppDir/Long", 0, 1, 0, "", 1000},
        {"Lines", GVF_GLOBAL_ONLY | GVF_DONT_NULL_TERM, 3, 3, "fir", 5},
        {"Lines", GVF_LOCAL_ONLY, 128, -1, "", ERROR_OBJECT_NOT_FOUND},
        {"../config/tolvarn/env/Empty", 0, 128, -1, "", ERROR_OBJECT_NOT_FOUND}, // stays in ENV:
    };
    for (const auto& test : cases) {
        std::vector<char> buffer(static_cast<std::size_t>(test.size) + 1, '#');
        EXPECT_EQ(GetVar(test.name, buffer.data(), test.size, test.flags), test.result)
            << test.name;
        EXPECT_EQ(IoErr(), test.ioErr) << test.name;
        if (test.result >= 0) {
            EXPECT_EQ(std::string(buffer.data(), static_cast<std::size_t>(test.result)), test.text)
                << test.name;
            if ((test.flags & GVF_DONT_NULL_TERM) == 0) {
                EXPECT_EQ(buffer[static_cast<std::size_t>(test.result)], '\0') << test.name;
            }
        }
    }
}

TEST_F(HostVariablesTest, SetVarMakesItsFoldersAndWritesAtomically) {
    ASSERT_FALSE(fs::exists(sandbox.path("config/tolvarn")));
    ASSERT_EQ(SetVar("AppDir/DOSBox", "/opt/dos box", -1, 0), DOSTRUE);
    EXPECT_EQ(readFile(store() + "/AppDir/DOSBox"), "/opt/dos box");
    // Another letter case finds the same file rather than making a twin.
    ASSERT_EQ(SetVar("appdir/dosbox", "/usr/games/dosbox-longer-value", -1, 0), DOSTRUE);
    ASSERT_EQ(SetVar("APPDIR/Other", "first line\nsecond", 10, 0), DOSTRUE);
    EXPECT_EQ(storeFiles(), (std::vector<std::string>{"AppDir/DOSBox", "AppDir/Other"}));
    EXPECT_EQ(readFile(store() + "/AppDir/Other"), "first line");

    // The store outlives the process.
    tolvarn::platform::resetProcess();
    char buffer[128];
    EXPECT_EQ(GetVar("AppDir/DOSBox", buffer, sizeof buffer, 0), 30);
    EXPECT_STREQ(buffer, "/usr/games/dosbox-longer-value");

    // A write that fails half-way leaves the old value whole and no temporary file behind.
    failOperation(Operation::Write, 1);
    EXPECT_EQ(SetVar("AppDir/DOSBox", "/new", -1, 0), DOSFALSE);
    EXPECT_EQ(readFile(store() + "/AppDir/DOSBox"), "/usr/games/dosbox-longer-value");
    EXPECT_EQ(storeFiles().size(), 2u);

    ASSERT_EQ(SetVar("AppDir/Empty", "", 0, 0), DOSTRUE);
    EXPECT_EQ(GetVar("AppDir/Empty", buffer, sizeof buffer, 0), 0);
    EXPECT_EQ(SetVar("AppDir", "x", -1, GVF_GLOBAL_ONLY), DOSFALSE); // a folder, not a value
    EXPECT_EQ(IoErr(), ERROR_OBJECT_WRONG_TYPE);
}

TEST_F(HostVariablesTest, NamesThatWouldLeaveTheStoreAreRefused) {
    for (const char* name :
         {"../escape", "a/../../escape", "/tmp/escape", "a//b", "a/./b", "X:escape", "a/"}) {
        EXPECT_EQ(SetVar(name, "x", -1, GVF_GLOBAL_ONLY), DOSFALSE) << name;
        EXPECT_EQ(IoErr(), ERROR_INVALID_COMPONENT_NAME) << name;
    }
    EXPECT_TRUE(storeFiles().empty());
    EXPECT_FALSE(fs::exists(sandbox.path("config/tolvarn/escape")));
    EXPECT_FALSE(fs::exists("/tmp/escape"));
}

TEST_F(HostVariablesTest, LocalVariablesAreTheEnvironment) {
    char buffer[64];
    ASSERT_EQ(SetVar("TOLVARN_TEST_LOCAL", "local value", -1, 0), DOSTRUE);
    EXPECT_STREQ(std::getenv("TOLVARN_TEST_LOCAL"), "local value");
    EXPECT_EQ(GetVar("TOLVARN_TEST_LOCAL", buffer, sizeof buffer, 0), 11);
    EXPECT_EQ(GetVar("TOLVARN_TEST_LOCAL", buffer, sizeof buffer, GVF_GLOBAL_ONLY), -1);
    EXPECT_TRUE(storeFiles().empty());

    // A global one of the same name is found when there is no local one, and deleting takes
    // the local one first.
    ASSERT_EQ(SetVar("TOLVARN_TEST_LOCAL", "global value", -1, GVF_GLOBAL_ONLY), DOSTRUE);
    EXPECT_EQ(DeleteVar("TOLVARN_TEST_LOCAL", 0), DOSTRUE);
    EXPECT_EQ(std::getenv("TOLVARN_TEST_LOCAL"), nullptr);
    EXPECT_EQ(GetVar("TOLVARN_TEST_LOCAL", buffer, sizeof buffer, 0), 12);
    EXPECT_EQ(DeleteVar("TOLVARN_TEST_LOCAL", 0), DOSTRUE);
    EXPECT_EQ(DeleteVar("TOLVARN_TEST_LOCAL", 0), DOSFALSE);
    EXPECT_EQ(IoErr(), ERROR_OBJECT_NOT_FOUND);
    EXPECT_EQ(SetVar("BAD=NAME", "x", -1, 0), DOSFALSE);
}

} // namespace
