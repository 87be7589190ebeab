// Telling DOS/4G programs by their stub, and swapping DOS32A in for DOS4GW.EXE and back.
#include "launcherTestSupport.h"

#include "launcher/dos32a.h"
#include "runtime/types.h"

namespace tolvarn::testing {
namespace {

std::string markerAt(size_t offset, size_t size, const std::string& marker = "DOS/4G") {
    return std::string(size, '\0').replace(offset, marker.size(), marker);
}

TEST(PrepareDOS32A, FindsTheMarkerOnlyInTheFirstKilobyte) {
    const struct {
        std::string contents;
        int32_t isBatchFile, noDOS32A, expected;
    } cases[] = {
        {markerAt(0, 6), FALSE, FALSE, TRUE},           {markerAt(1018, 4000), FALSE, FALSE, TRUE},
        {markerAt(1019, 4000), FALSE, FALSE, FALSE},    {"DOS/4", FALSE, FALSE, FALSE},
        {markerAt(300, 900, "dos/4g"), FALSE, FALSE, TRUE}, {"", FALSE, FALSE, FALSE},
        {markerAt(10, 100), TRUE, FALSE, FALSE},        {markerAt(10, 100), FALSE, TRUE, FALSE},
    };
    Sandbox sandbox;
    NothingLeftBehind leftBehind;
    const std::string folder = sandbox.makeDir("game"), dos32a = sandbox.path("Y/dos32a.exe");
    for (const auto& test : cases) {
        const std::string program = sandbox.writeFile("game/GAME.EXE", test.contents);
        EXPECT_EQ(prepareDOS32A(folder.c_str(), program.c_str(), dos32a.c_str(), test.isBatchFile,
                                test.noDOS32A),
                  test.expected)
            << test.contents.size();
    }
    EXPECT_FALSE(prepareDOS32A(folder.c_str(), "NONE.EXE", dos32a.c_str(), FALSE, FALSE));
    leftBehind.check();
}

TEST(PrepareDOS32A, SwapsTheExtenderFilesByWhatExists) {
    // Contents of DOS4GW.EXE and DOS4GW_original.EXE before and after; "-" for no file.
    const struct {
        int32_t noDOS32A, isBatchFile;
        bool dos32aPresent;
        const char *before, *keptBefore, *after, *keptAfter;
    } cases[] = {
        {FALSE, FALSE, true, "4G", "-", "32A", "4G"},   {FALSE, TRUE, true, "4G", "-", "32A", "4G"},
        {FALSE, FALSE, false, "4G", "-", "4G", "-"},    {FALSE, FALSE, true, "32A", "4G", "32A", "4G"},
        {FALSE, FALSE, true, "-", "4G", "-", "4G"},     {TRUE, FALSE, true, "32A", "4G", "4G", "-"},
        {TRUE, TRUE, true, "32A", "4G", "4G", "-"},     {TRUE, FALSE, true, "4G", "-", "4G", "-"},
    };
    for (const auto& test : cases) {
        Sandbox sandbox;
        NothingLeftBehind leftBehind;
        const std::string program = sandbox.writeFile("game/GAME.EXE", "MZ DOS/4G");
        if (test.dos32aPresent)
            sandbox.writeFile("dosbox/Y/dos32a.exe", "32A");
        const auto file = [&](const char* name) { return sandbox.path("game/") + name; };
        for (auto [name, contents] : {std::pair{"DOS4GW.EXE", test.before},
                                      std::pair{"DOS4GW_original.EXE", test.keptBefore}})
            if (*contents != '-')
                sandbox.writeFile(std::string("game/") + name, contents);
        prepareDOS32A(sandbox.path("game").c_str(), program.c_str(),
                      sandbox.path("dosbox/Y/dos32a.exe").c_str(), test.isBatchFile, test.noDOS32A);
        const auto found = [&](const char* name) {
            return std::filesystem::exists(file(name)) ? readFile(file(name)) : "-";
        };
        EXPECT_EQ(found("DOS4GW.EXE") + " " + found("DOS4GW_original.EXE"),
                  std::string(test.after) + " " + test.keptAfter)
            << test.before << " " << test.keptBefore << " " << test.noDOS32A;
        leftBehind.check();
    }
}

} // namespace
} // namespace tolvarn::testing
