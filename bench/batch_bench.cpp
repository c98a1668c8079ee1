// One foot through tarsola-batch's work in-process: load, draw on the CPU, shape, limit,
// save the insole. Run: build/bench/tarsola_batch_bench
#include "app/trace.h"
#include "imagefile/insole_export.h"
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

}  // namespace

BENCHMARK_MAIN();
