// Telling DOS/4G programs by their stub, and swapping DOS32A in for DOS4GW.EXE and back.
#include "launcherTestSupport.h"

#include "launcher/dos32a.h"
#include "runtime/types.h"

namespace tolvarn::testing {
namespace {

std::string markerAt(size_t offset, size_t size, const std::string& marker = "DOS/4G") {
    return std::string(size, '\0').replace(offset, marker.size(), marker);
}

TEST(PrepareDOS32A, TellsDOS4GProgramsAndSwapsTheExtenderFilesByWhatExists) {
    // The program ("-": none), whether it is a batch file, NoDOS32A, whether Y/dos32a.exe exists,
    // the result, and DOS4GW.EXE and DOS4GW_original.EXE before and after ("-": no file). The
    // marker counts only when it lies wholly in the first kilobyte.
    const std::string dos4g = "MZ DOS/4G";
    const struct {
        std::string program;
        int32_t isBatchFile, noDOS32A, dos32aPresent, expected;
        const char *before, *keptBefore, *after, *keptAfter;
    } cases[] = {
        // clang-format off
        {markerAt(0, 6), FALSE, FALSE, FALSE, TRUE, "-", "-", "-", "-"},
        {markerAt(1018, 4000), FALSE, FALSE, FALSE, TRUE, "-", "-", "-", "-"},
        {markerAt(1019, 4000), FALSE, FALSE, FALSE, FALSE, "-", "-", "-", "-"},
        {"DOS/4", FALSE, FALSE, FALSE, FALSE, "-", "-", "-", "-"},
        {markerAt(300, 900, "dos/4g"), FALSE, FALSE, FALSE, TRUE, "-", "-", "-", "-"},
        {"", FALSE, FALSE, FALSE, FALSE, "-", "-", "-", "-"},
        {"-", FALSE, FALSE, FALSE, FALSE, "-", "-", "-", "-"},
        {markerAt(10, 100), TRUE, FALSE, FALSE, FALSE, "-", "-", "-", "-"},
        {markerAt(10, 100), FALSE, TRUE, FALSE, FALSE, "-", "-", "-", "-"},
        {dos4g, FALSE, FALSE, TRUE, TRUE, "4G", "-", "32A", "4G"},
        {dos4g, TRUE, FALSE, TRUE, FALSE, "4G", "-", "32A", "4G"},
        {dos4g, FALSE, FALSE, FALSE, TRUE, "4G", "-", "4G", "-"},
        {dos4g, FALSE, FALSE, TRUE, TRUE, "32A", "4G", "32A", "4G"},
        {dos4g, FALSE, FALSE, TRUE, TRUE, "-", "4G", "-", "4G"},
        {dos4g, FALSE, TRUE, TRUE, FALSE, "32A", "4G", "4G", "-"},
        {dos4g, TRUE, TRUE, TRUE, FALSE, "32A", "4G", "4G", "-"},
        {dos4g, FALSE, TRUE, TRUE, FALSE, "4G", "-", "4G", "-"},
        // clang-format on
    };
    for (const auto& test : cases) {
        Sandbox sandbox;
        NothingLeftBehind leftBehind;
        const std::string folder = sandbox.makeDir("game"), program = folder + "/GAME.EXE",
                          dos32a = sandbox.path("dosbox/Y/dos32a.exe");
        if (test.program != "-")
            sandbox.writeFile("game/GAME.EXE", test.program); // may hold NUL bytes
        for (auto [name, contents] : {std::pair{"DOS4GW.EXE", test.before},
                                      std::pair{"DOS4GW_original.EXE", test.keptBefore}})
            if (*contents != '-')
                sandbox.writeFile(std::string("game/") + name, contents);
        if (test.dos32aPresent)
            sandbox.writeFile("dosbox/Y/dos32a.exe", "32A");
        SCOPED_TRACE("case " + std::to_string(&test - cases));
        EXPECT_EQ(prepareDOS32A(folder.c_str(), program.c_str(), dos32a.c_str(), test.isBatchFile,
                                test.noDOS32A),
                  test.expected);
        const auto found = [&](const std::string& name) {
            const std::string path = folder + "/" + name;
            return fs::exists(path) ? readFile(path) : "-";
        };
        EXPECT_EQ(found("DOS4GW.EXE") + " " + found("DOS4GW_original.EXE"),
                  std::string(test.after) + " " + test.keptAfter);
        leftBehind.check();
    }
}

} // namespace
} // namespace tolvarn::testing
