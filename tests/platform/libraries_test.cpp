// The stand-in libraries: opened by name and version, counted, and made unavailable by tests.
#include "platform/exec.h"

#include "support/testSupport.h"

#include <gtest/gtest.h>

using tolvarn::testing::Sandbox;

namespace {

TEST(HostLibraries, OpenByNameAndVersionAndBalanceTheCounts) {
    using tolvarn::platform::libraryOpenCount;
    using tolvarn::platform::setLibraryAvailable;
    Sandbox sandbox;
    for (const char* name :
         {"exec.library", "dos.library", "graphics.library", "cybergraphics.library",
          "intuition.library", "utility.library", "asl.library", "gadtools.library"}) {
        Library* base = OpenLibrary(name, 39);
        ASSERT_NE(base, nullptr) << name;
        EXPECT_GE(base->lib_Version, 39);
        EXPECT_EQ(OpenLibrary(name, 0), base);
        EXPECT_EQ(libraryOpenCount(name), 2);
        CloseLibrary(base);
        CloseLibrary(base);
        EXPECT_EQ(libraryOpenCount(name), 0);
    }
    EXPECT_EQ(OpenLibrary("mathieee.library", 0), nullptr);
    EXPECT_EQ(OpenLibrary("dos.library", 1000), nullptr);
    EXPECT_EQ(libraryOpenCount("dos.library"), 0);
    CloseLibrary(nullptr);

    setLibraryAvailable("cybergraphics.library", false);
    EXPECT_EQ(OpenLibrary("cybergraphics.library", 0), nullptr);
    setLibraryAvailable("cybergraphics.library", true);
    Library* base = OpenLibrary("cybergraphics.library", 0);
    EXPECT_NE(base, nullptr);
    CloseLibrary(base);
}

} // namespace
