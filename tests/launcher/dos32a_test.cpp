// Telling DOS/4G programs by their stub, and swapping DOS32A in for DOS4GW.EXE and back.
#include "launcherTestSupport.h"

#include "launcher/dos32a.h"
#include "runtime/types.h"

#include <csignal>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>

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
        {dos4g, FALSE, FALSE, TRUE, TRUE, "-", "4G", "32A", "4G"}, // repaired, then swapped
        {dos4g, FALSE, TRUE, TRUE, FALSE, "32A", "4G", "4G", "-"},
        {dos4g, TRUE, TRUE, TRUE, FALSE, "32A", "4G", "4G", "-"},
        {dos4g, FALSE, TRUE, TRUE, FALSE, "4G", "-", "4G", "-"},
        {dos4g, FALSE, FALSE, TRUE, TRUE, "32A", "-", "32A", "-"}, // DOS32A there already
        {dos4g, FALSE, TRUE, TRUE, FALSE, "4G", "4G", "4G", "-"}, // stopped between two steps
        {dos4g, FALSE, FALSE, TRUE, TRUE, "4G", "4G", "32A", "4G"},
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

/// Every entry of `folder` but GAME.EXE, sorted, as "name=bytes", "name->target" for a soft link,
/// "name=fifo" or "name=dir".
std::string entriesOf(const std::string& folder) {
    std::set<std::string> entries;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name == "GAME.EXE")
            continue;
        entries.insert(entry.is_symlink()     ? name + "->" + fs::read_symlink(entry).string()
                       : entry.is_fifo()      ? name + "=fifo"
                       : entry.is_directory() ? name + "=dir"
                                              : name + "=" + readFile(entry.path().string()));
    }
    std::string text;
    for (const std::string& entry : entries)
        text += (text.empty() ? "" : " ") + entry;
    return text;
}

/// Makes `relative` in the sandbox from a description: "fifo", "dir", "->target" (a soft link),
/// "ro:bytes" (a read-only file) or the bytes themselves.
void lay(const Sandbox& sandbox, const std::string& relative, const std::string& what) {
    const std::string path = sandbox.path(relative);
    fs::create_directories(fs::path(path).parent_path());
    if (what == "fifo")
        ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    else if (what == "dir")
        fs::create_directory(path);
    else if (what.starts_with("->"))
        fs::create_symlink(what.substr(2), path);
    else if (what.starts_with("ro:"))
        fs::permissions(sandbox.writeFile(relative, what.substr(3)), fs::perms::owner_read);
    else
        sandbox.writeFile(relative, what);
}

TEST(PrepareDOS32A, HostileFoldersNeitherBlockNorLoseTheExtender) {
    // The game folder and Y/dos32a.exe before, the runs ("+" plain, "-" NoDOS32A, "F" plain under
    // a file size limit smaller than the copy), the folder after, and a word the runs must print.
    const struct {
        std::vector<std::pair<std::string, std::string>> before;
        std::string dos32a, runs, after, said;
    } cases[] = {
        // clang-format off
        {{{"DOS4GW.EXE", "4G"}}, "fifo", "+", "DOS4GW.EXE=4G", ""},
        {{{"DOS4GW.EXE", "4G"}}, "->/dev/zero", "+", "DOS4GW.EXE=4G", ""},
        {{{"DOS4GW.EXE", "4G"}}, "->missing", "+", "DOS4GW.EXE=4G", ""},
        {{{"DOS4GW.EXE", "4G"}}, "32A", "F", "DOS4GW.EXE=4G", ""},
        {{{"DOS4GW.EXE", "fifo"}}, "32A", "+-", "DOS4GW.EXE=fifo", ""},
        {{{"DOS4GW.EXE", "4G"}, {"DOS4GW_original.EXE", "fifo"}}, "32A", "+-", "DOS4GW.EXE=4G DOS4GW_original.EXE=fifo", ""},
        // A read-only DOS32A gives a copy that can be taken back.
        {{{"DOS4GW.EXE", "4G"}}, "ro:32A", "+", "DOS4GW.EXE=32A DOS4GW_original.EXE=4G", ""},
        {{{"DOS4GW.EXE", "4G"}}, "ro:32A", "+-", "DOS4GW.EXE=4G", ""},
        // Soft links that match only ignoring case are never written through.
        {{{"DOS4GW.EXE", "4G"}, {"dos4gw.exe", "->../outside/x"}}, "32A", "+",
         "DOS4GW.EXE=32A DOS4GW_original.EXE=4G dos4gw.exe->../outside/x", ""},
        {{{"dos4gw.exe", "->../outside/x"}}, "32A", "+-", "dos4gw.exe->../outside/x", ""},
        {{{"dos4gw.exe", "4G"}}, "32A", "+", "DOS4GW_original.EXE=4G dos4gw.exe=32A", ""},
        // A soft link in the extender's place moves aside as itself and comes back.
        {{{"DOS4GW.EXE", "->../outside/DOS4GW.EXE"}}, "32A", "+",
         "DOS4GW.EXE=32A DOS4GW_original.EXE->../outside/DOS4GW.EXE", ""},
        {{{"DOS4GW.EXE", "->../outside/DOS4GW.EXE"}}, "32A", "+-", "DOS4GW.EXE->../outside/DOS4GW.EXE", ""},
        // A DOS4GW.EXE that is not the copy is kept, and the user told.
        {{{"DOS4GW.EXE", "mine"}, {"DOS4GW_original.EXE", "4G"}}, "32A", "-",
         "DOS4GW.EXE=4G DOS4GW_replaced.EXE=mine", "kept as DOS4GW_replaced.EXE"},
        {{{"DOS4GW.EXE", "mine"}, {"DOS4GW_original.EXE", "4G"}, {"DOS4GW_replaced.EXE", "old"}}, "32A", "-",
         "DOS4GW.EXE=4G DOS4GW_replaced.EXE=old DOS4GW_replaced2.EXE=mine", "DOS4GW_replaced2.EXE"},
        {{{"DOS4GW.EXE", "mine"}, {"DOS4GW_original.EXE", "4G"}, {"DOS4GW_replaced.EXE", "mine"}}, "32A", "-",
         "DOS4GW.EXE=4G DOS4GW_replaced.EXE=mine", "kept as DOS4GW_replaced.EXE"},
        // What interrupted runs leave is repaired by either kind of run.
        {{{"DOS4GW.EXE", "4G"}, {".tolvarn-DOS4GW.EXE", "3"}, {".tolvarn-notes", "mine"}}, "32A", "-",
         ".tolvarn-notes=mine DOS4GW.EXE=4G", "Repaired"},
        {{{"DOS4GW_original.EXE", "4G"}}, "32A", "-", "DOS4GW.EXE=4G", "Repaired"},
        {{{"DOS4GW.EXE", "4G"}, {"DOS4GW_original.EXE", "4G"}, {".tolvarn-DOS4GW.EXE", "32A"}}, "32A", "+",
         "DOS4GW.EXE=32A DOS4GW_original.EXE=4G", "Repaired"},
        // clang-format on
    };
    for (const auto& test : cases) {
        SCOPED_TRACE("case " + std::to_string(&test - cases));
        Sandbox sandbox;
        NothingLeftBehind leftBehind;
        sandbox.writeFile("outside/DOS4GW.EXE", "4G");
        const std::string folder = sandbox.path("game"),
                          program = sandbox.writeFile("game/GAME.EXE", "MZ"),
                          dos32a = sandbox.path("dosbox/Y/dos32a.exe");
        for (const auto& [name, what] : test.before)
            lay(sandbox, "game/" + name, what);
        lay(sandbox, "dosbox/Y/dos32a.exe", test.dos32a);
        std::string said;
        for (const char run : test.runs) {
            const auto prepare = [&] {
                prepareDOS32A(folder.c_str(), program.c_str(), dos32a.c_str(), FALSE, run == '-');
            };
            if (run != 'F') {
                said += captureStdout(prepare);
                continue;
            }
            const pid_t child = fork();
            if (child == 0) {
                const rlimit limit{1, 1};
                signal(SIGXFSZ, SIG_IGN);
                setrlimit(RLIMIT_FSIZE, &limit);
                prepare();
                _exit(0);
            }
            int status = 0;
            waitpid(child, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        EXPECT_EQ(entriesOf(folder), test.after);
        EXPECT_NE(said.find(test.said), std::string::npos) << said;
        EXPECT_FALSE(fs::exists(sandbox.path("outside/x")));
        EXPECT_EQ(readFile(sandbox.path("outside/DOS4GW.EXE")), "4G");
        leftBehind.check();
    }
}

} // namespace
} // namespace tolvarn::testing
