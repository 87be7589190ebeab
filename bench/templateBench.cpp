// The launcher's own argument template matched against a line that gives all seven options,
// against the least any parser has to do with that line: copy it into an e-string once.
#include "runtime/types.h"
#include "std/pShellParameters.h"
#include "strings/estring.h"

#include <benchmark/benchmark.h>

namespace {

constexpr char launcherTemplate[] =
    "File, Window/S, ISO=cdISO/K, CDdir/K, CDletter/K, NoDOS32A/S, NoExit/S";
constexpr char sevenOptions[] =
    "Games:Maze/MAZE.EXE Window ISO=Images:maze.iso CDdir=Work:cd CDletter=E NoDOS32A NoExit";

void copyLine(benchmark::State& state) {
    for (auto _ : state) {
        EString copy = StrJoin(sevenOptions);
        benchmark::DoNotOptimize(copy);
        DisposeString(copy);
    }
}
BENCHMARK(copyLine);

void parseLauncherLine(benchmark::State& state) {
    for (auto _ : state) {
        const int32_t matched = ParseShellParameters(launcherTemplate, sevenOptions, FALSE);
        benchmark::DoNotOptimize(matched);
        if (matched != TRUE || GetParam(6) == nullptr) {
            state.SkipWithError("the line did not match");
            break;
        }
    }
    disposeShellParameters();
}
BENCHMARK(parseLauncherLine);

} // namespace

BENCHMARK_MAIN();
