// Path work the launcher does on every run, each beside what the host itself needs for the same
// answer: making a ten-level relative path absolute (against realpath), and testing for a file
// whose name is written in another letter case inside a folder of 10,000 entries (against a stat
// of the exact name and against one read of the whole folder, which a case-blind lookup without
// an index cannot avoid).
#include "pAmigaDos/pathComposition.h"
#include "pAmigaDos/queries.h"
#include "platform/exec/exec.h"
#include "runtime/types.h"
#include "strings/estring.h"

#include <benchmark/benchmark.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <limits.h>
#include <string>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr int crowdSize = 10000;
constexpr char tenLevels[] = "l1/l2/l3/l4/l5/l6/l7/l8/l9/l10";

std::string fixture;   // the benchmark's own temporary folder, the current directory
std::string crowd;     // fixture/crowd: 10,000 files entry00000.dat ..
std::string exactName; // crowd/entry05000.dat
std::string otherCase; // crowd/ENTRY05000.DAT

void makeFixture() {
    // TMPDIR chooses the file system, whose directory listing sets the pace of a case-blind lookup.
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/tolvarn-bench-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    fixture = fs::canonical(pattern);
    fs::create_directories(fixture + "/" + tenLevels);
    crowd = fixture + "/crowd";
    fs::create_directories(crowd);
    for (int i = 0; i < crowdSize; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/entry%05d.dat", i);
        std::ofstream(crowd + name);
    }
    exactName = crowd + "/entry05000.dat";
    otherCase = crowd + "/ENTRY05000.DAT";
    if (chdir(fixture.c_str()) != 0) {
        std::perror("chdir");
        std::exit(1);
    }
    tolvarn::platform::resetProcess(); // relative paths now start from the fixture
}

void realpathTenLevels(benchmark::State& state) {
    char resolved[PATH_MAX];
    for (auto _ : state)
        benchmark::DoNotOptimize(realpath(tenLevels, resolved));
}
BENCHMARK(realpathTenLevels);

void expandTenLevels(benchmark::State& state) {
    for (auto _ : state) {
        EString full = strExpandPath(tenLevels, FALSE);
        benchmark::DoNotOptimize(full);
        DisposeString(full);
    }
}
BENCHMARK(expandTenLevels);

void statExactName(benchmark::State& state) {
    struct stat status {};
    for (auto _ : state)
        benchmark::DoNotOptimize(stat(exactName.c_str(), &status));
}
BENCHMARK(statExactName);

void scanCrowd(benchmark::State& state) {
    for (auto _ : state) {
        DIR* folder = opendir(crowd.c_str());
        bool found = false;
        while (const dirent* entry = readdir(folder))
            found = found || strcasecmp(entry->d_name, "ENTRY05000.DAT") == 0;
        closedir(folder);
        benchmark::DoNotOptimize(found);
    }
}
BENCHMARK(scanCrowd);

void pathExistsExactCase(benchmark::State& state) {
    for (auto _ : state) {
        const int32_t exists = pathExists(exactName.c_str(), 0);
        if (!exists) {
            state.SkipWithError("the file was not found");
            break;
        }
    }
}
BENCHMARK(pathExistsExactCase);

void pathExistsOtherCase(benchmark::State& state) {
    for (auto _ : state) {
        const int32_t exists = pathExists(otherCase.c_str(), 0);
        if (!exists) {
            state.SkipWithError("the file was not found");
            break;
        }
    }
}
BENCHMARK(pathExistsOtherCase)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    makeFixture();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    fs::current_path("/", ignored);
    fs::remove_all(fixture, ignored);
    return 0;
}
