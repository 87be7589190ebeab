// Telling DOS/4G programs by their stub, and swapping DOS32A in for DOS4GW.EXE and back, in tidy
// folders and hostile ones.
#include "launcherTestSupport.h"

#include "launcher/dos32a.h"
#include "runtime/types.h"

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace tolvarn::testing {
namespace {

/// `size` NUL bytes with `marker` written at `offset`.
std::string markerAt(size_t offset, size_t size, const std::string& marker = "DOS/4G") {
    return std::string(size, '\0').replace(offset, marker.size(), marker);
}

/// Makes `relative` in the sandbox from a description: "fifo", "->target" (a soft link),
/// "ro:bytes" (a read-only file), "-" (nothing) or the bytes themselves.
void lay(const Sandbox& sandbox, const std::string& relative, const std::string& what) {
    const std::string path = sandbox.path(relative);
    fs::create_directories(fs::path(path).parent_path());
    if (what == "fifo")
        ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    else if (what.starts_with("->"))
        fs::create_symlink(what.substr(2), path);
    else if (what.starts_with("ro:"))
        fs::permissions(sandbox.writeFile(relative, what.substr(3)), fs::perms::owner_read);
    else if (what != "-")
        sandbox.writeFile(relative, what);
}

TEST(PrepareDOS32A, TellsDOS4GProgramsAndSwapsTheExtenderWithoutBlockingOrLosingIt) {
    // The game folder before, Y/dos32a.exe, the runs ("+" plain, "-" NoDOS32A, "B" and "b" the
    // same for a batch file, "F" plain under a file size limit smaller than the copy), the folder
    // after, a word the runs must print, the program ("-": none) and what the last run returns.
    // A folder is written as its listing: "name=what" as lay() reads it, separated by blanks.
    // The marker counts only when it lies wholly in the first kilobyte.
    const std::string dos4g = "MZ DOS/4G", fourG = "DOS4GW.EXE=4G",
                      swapped = "DOS4GW.EXE=32A DOS4GW_original.EXE=4G",
                      kept = "DOS4GW.EXE=4G DOS4GW_original.EXE=4G", other = "DOS4GW.EXE=mine";
    const struct {
        std::string before, dos32a, runs, after, said = "", program = "MZ";
        int32_t viaDOS32A = FALSE;
    } cases[] = {
        // clang-format off
        {"", "-", "+", "", "", markerAt(0, 6), TRUE},
        {"", "-", "+", "", "", markerAt(1018, 4000), TRUE},
        {"", "-", "+", "", "", markerAt(1019, 4000)},
        {"", "-", "+", "", "", "DOS/4"},
        {"", "-", "+", "", "", markerAt(300, 900, "dos/4g"), TRUE},
        {"", "-", "+", "", "", ""},
        {"", "-", "+", "", "", "-"},
        {"", "-", "B", "", "", markerAt(10, 100)},
        {"", "-", "-", "", "", markerAt(10, 100)},
        {fourG, "32A", "+", swapped, "", dos4g, TRUE},
        {fourG, "32A", "B", swapped, "", dos4g},
        {fourG, "-", "+", fourG, "", dos4g, TRUE},
        {swapped, "32A", "+", swapped, "", dos4g, TRUE},
        {swapped, "32A", "-", fourG, "", dos4g},
        {swapped, "32A", "b", fourG, "", dos4g},
        {fourG, "32A", "-", fourG, "", dos4g},
        {"DOS4GW.EXE=32A", "32A", "+", "DOS4GW.EXE=32A", "", dos4g, TRUE}, // already there
        // Files that are no files, or cannot be copied whole, block nothing and change nothing.
        {fourG, "fifo", "+", fourG},
        {fourG, "->missing", "+", fourG},
        {fourG, "32A", "F", fourG},
        {"DOS4GW.EXE=fifo", "32A", "+-", "DOS4GW.EXE=fifo"},
        {fourG + " DOS4GW_original.EXE=fifo", "32A", "+-", fourG + " DOS4GW_original.EXE=fifo"},
        // A read-only DOS32A gives a copy that can be taken back.
        {fourG, "ro:32A", "+", swapped},
        {fourG, "ro:32A", "+-", fourG},
        // Soft links that match only ignoring case are never written through.
        {fourG + " dos4gw.exe=->../outside/x", "32A", "+", swapped + " dos4gw.exe=->../outside/x"},
        {"dos4gw.exe=->../outside/x", "32A", "+-", "dos4gw.exe=->../outside/x"},
        {"dos4gw.exe=4G", "32A", "+", "DOS4GW_original.EXE=4G dos4gw.exe=32A"},
        // A soft link in the extender's place moves aside as itself and comes back.
        {"DOS4GW.EXE=->../outside/DOS4GW.EXE", "32A", "+",
         "DOS4GW.EXE=32A DOS4GW_original.EXE=->../outside/DOS4GW.EXE"},
        {"DOS4GW.EXE=->../outside/DOS4GW.EXE", "32A", "+-", "DOS4GW.EXE=->../outside/DOS4GW.EXE"},
        // A DOS4GW.EXE that is not the copy is kept, and the user told.
        {other + " DOS4GW_original.EXE=4G", "32A", "-", fourG + " DOS4GW_replaced.EXE=mine",
         "kept as DOS4GW_replaced.EXE"},
        {other + " DOS4GW_original.EXE=4G DOS4GW_replaced.EXE=old", "32A", "-",
         fourG + " DOS4GW_replaced.EXE=old DOS4GW_replaced2.EXE=mine", "DOS4GW_replaced2.EXE"},
        {other + " DOS4GW_original.EXE=4G DOS4GW_replaced.EXE=mine", "32A", "-",
         fourG + " DOS4GW_replaced.EXE=mine", "kept as DOS4GW_replaced.EXE"},
        // What interrupted runs leave is repaired, by a non-DOS/4G run too, and the user told.
        // The crash sweep repairs every state an end can leave with either kind of run.
        {fourG + " .tolvarn-DOS4GW.EXE=3 .tolvarn-notes=mine", "32A", "-",
         ".tolvarn-notes=mine " + fourG, "Repaired"},
        {"DOS4GW_original.EXE=4G", "32A", "-", fourG, "Repaired"},
        {kept + " .tolvarn-DOS4GW.EXE=32A", "32A", "+", swapped, "Repaired"},
        // clang-format on
    };
    for (const auto& test : cases) {
        SCOPED_TRACE("case " + std::to_string(&test - cases));
        Sandbox sandbox;
        NothingLeftBehind leftBehind;
        sandbox.writeFile("outside/DOS4GW.EXE", "4G");
        const std::string folder = sandbox.makeDir("game"), program = folder + "/GAME.EXE",
                          dos32a = sandbox.path("dosbox/Y/dos32a.exe");
        lay(sandbox, "game/GAME.EXE", test.program); // may hold NUL bytes
        std::istringstream before(test.before);
        for (std::string entry; before >> entry;)
            lay(sandbox, "game/" + entry.substr(0, entry.find('=')),
                entry.substr(entry.find('=') + 1));
        lay(sandbox, "dosbox/Y/dos32a.exe", test.dos32a);
        std::string said;
        int32_t viaDOS32A = -1;
        for (const char run : test.runs) {
            const auto prepare = [&] {
                viaDOS32A = prepareDOS32A(folder.c_str(), program.c_str(), dos32a.c_str(),
                                          run == 'B' || run == 'b', run == '-' || run == 'b');
            };
            if (run != 'F') {
                said += captureStdout(prepare);
                continue;
            }
            const int status = statusOf(startInChild([&] {
                const rlimit limit{1, 1};
                signal(SIGXFSZ, SIG_IGN);
                setrlimit(RLIMIT_FSIZE, &limit);
                prepare();
                _exit(viaDOS32A);
            }));
            ASSERT_TRUE(WIFEXITED(status)) << status;
            viaDOS32A = WEXITSTATUS(status);
        }
        EXPECT_EQ(viaDOS32A, test.viaDOS32A);
        EXPECT_EQ(listingOf(folder), test.after);
        EXPECT_NE(said.find(test.said), std::string::npos) << said;
        EXPECT_FALSE(fs::exists(sandbox.path("outside/x")));
        EXPECT_EQ(readFile(sandbox.path("outside/DOS4GW.EXE")), "4G");
        leftBehind.check();
    }
}

} // namespace
} // namespace tolvarn::testing
