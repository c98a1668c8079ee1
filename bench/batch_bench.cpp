// One foot through tarsola-batch's work in-process: load, draw on the CPU, shape, limit,
// save the insole; and the same foot made into an STL solid instead (--stl).
// Run: build/bench/tarsola_batch_bench
#include "app/trace.h"
#include "imagefile/insole_export.h"
#include "solid/solid_files.h"
#include "solid/solid_mesh.h"
#include "view/insole_state.h"
#include "view/recompute.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace {

void BM_BatchOneFootWithLimit(benchmark::State& run)
{
    const std::string foot = std::string(TARSOLA_SOURCE_DIR) + "/samples/foot.bmp";
    const std::string out = "/tmp/tarsola-batch-bench.bmp";
    setTraceStreams(nullptr, stderr);
    auto state = std::make_unique<InsoleState>();
    for (auto _ : run) {
        if (!loadFoot(*state, foot.c_str())) {
            run.SkipWithError("cannot load the sample foot");
            break;
        }
        InsoleSettings settings = restoredSettings(*state);
        settings.width = state->footWidth * 1.1;
        settings.limit = true;
        recomputeHeights(*state, settings);
        benchmark::DoNotOptimize(saveInsole(state->heightGrid, state->sourceImage, out.c_str()));
    }
    std::remove(out.c_str());
}
BENCHMARK(BM_BatchOneFootWithLimit)->Unit(benchmark::kMillisecond);

// tarsola-batch FOOT --stl OUT --limit: the solid built from the recomputed heights and
// written in one step.
void BM_BatchOneFootStl(benchmark::State& run)
{
    const std::string foot = std::string(TARSOLA_SOURCE_DIR) + "/samples/foot.bmp";
    const std::string out = "/tmp/tarsola-batch-bench.stl";
    setTraceStreams(nullptr, stderr);
    auto state = std::make_unique<InsoleState>();
    for (auto _ : run) {
        if (!loadFoot(*state, foot.c_str())) {
            run.SkipWithError("cannot load the sample foot");
            break;
        }
        InsoleSettings settings = restoredSettings(*state);
        settings.limit = true;
        recomputeHeights(*state, settings);
        const SolidMesh mesh = buildSolid(state->heightGrid, DEFAULT_LEVEL_MM);
        benchmark::DoNotOptimize(measureSolid(mesh).volumeMm3);
        benchmark::DoNotOptimize(writeStlFile(mesh, out.c_str()));
    }
    std::remove(out.c_str());
}
BENCHMARK(BM_BatchOneFootStl)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
