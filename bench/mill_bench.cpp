// Times milling the sample foot's insole (about 260 x 95 mm, as tarsola-batch makes it with
// the limit on): the finishing path alone, the whole file with roughing, and both as the
// finishing stepover goes from 0.1 to 2 mm.
//
//   build/bench/tarsola_mill_bench --benchmark_repetitions=3
// Measure a Release or RelWithDebInfo build.
#include "base/trace.h"
#include "mill/gcode.h"
#include "mill/toolpath.h"
#include "insole/insole_state.h"
#include "insole/recompute.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

const Grid& sampleFoot()
{
    static const Grid grid = [] {
        setTraceStreams(nullptr, stderr);
        auto state = std::make_unique<InsoleState>();
        if (!loadFoot(*state, TARSOLA_SOURCE_DIR "/samples/foot.bmp")) {
            std::fprintf(stderr, "cannot load the sample foot\n");
        }
        InsoleSettings settings = restoredSettings(*state);
        settings.limit = true;
        recomputeHeights(*state, settings);
        return state->heightGrid;
    }();
    return grid;
}

void counters(benchmark::State& run, const Toolpath& path, std::size_t bytes)
{
    run.counters["moves"] = static_cast<double>(path.moves.size());
    run.counters["finishing_moves"] = static_cast<double>(path.moves.size() - path.finishingStart);
    run.counters["file_bytes"] = static_cast<double>(bytes);
    run.counters["roughing_passes"] = path.figures.roughingPasses;
    run.counters["machining_min"] = path.figures.machiningSeconds / 60.0;
}

// The finishing path alone, without roughing: each stroke entered as if the blank were whole.
void finishingPath(benchmark::State& run, double stepover)
{
    MillSetup setup;
    setup.stepoverMm = stepover;
    Toolpath path;
    std::string refusal;
    for (auto _ : run) {
        benchmark::DoNotOptimize(planFinishing(sampleFoot(), DEFAULT_LEVEL_MM, setup, path, refusal));
    }
    if (!refusal.empty()) {
        run.SkipWithError(refusal.c_str());
    }
    counters(run, path, encodeGcode(path, {}).size());
}

// The whole file: roughing and finishing planned, and the G-code made.
void wholeFile(benchmark::State& run, double stepover)
{
    MillSetup setup;
    setup.stepoverMm = stepover;
    Toolpath path;
    std::string refusal;
    std::size_t bytes = 0;
    const GcodeRecipe recipe{"foot.bmp", 93, 260, 1, true, DEFAULT_LEVEL_MM, "", ""};
    for (auto _ : run) {
        if (!planToolpath(sampleFoot(), DEFAULT_LEVEL_MM, setup, path, refusal)) {
            run.SkipWithError(refusal.c_str());
            break;
        }
        const std::string text = encodeGcode(path, recipe);
        bytes = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    counters(run, path, bytes);
}

void BM_FinishingPath_SampleFoot(benchmark::State& run) { finishingPath(run, 0.5); }
BENCHMARK(BM_FinishingPath_SampleFoot)->Unit(benchmark::kMillisecond);

void BM_WholeFile_SampleFoot(benchmark::State& run) { wholeFile(run, 0.5); }
BENCHMARK(BM_WholeFile_SampleFoot)->Unit(benchmark::kMillisecond);

// Stepover in hundredths of a millimetre.
void BM_FinishingPath_Stepover(benchmark::State& run) { finishingPath(run, run.range(0) / 100.0); }
BENCHMARK(BM_FinishingPath_Stepover)->Arg(10)->Arg(25)->Arg(50)->Arg(100)->Arg(200)->Unit(benchmark::kMillisecond);

void BM_WholeFile_Stepover(benchmark::State& run) { wholeFile(run, run.range(0) / 100.0); }
BENCHMARK(BM_WholeFile_Stepover)->Arg(10)->Arg(25)->Arg(50)->Arg(100)->Arg(200)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
