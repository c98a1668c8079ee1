// One foot through tarsola-batch's work in-process: load, draw on the CPU, shape, limit,
// save the insole; and the same foot made into an STL solid instead (--stl). Then one foot
// through runBatch itself, with a plate's measurement of it (--pressure) and without, and
// milled (--gcode at the milling defaults).
// Run: build/bench/tarsola_batch_bench (files go to $TMPDIR, default /tmp; the flush to the
// disk that every save makes is most of the time on a busy disk, TMPDIR=/dev/shm leaves it out)
#include "base/trace.h"
#include "batch/batch.h"
#include "imagefile/insole_export.h"
#include "solid/solid_files.h"
#include "solid/solid_mesh.h"
#include "insole/insole_state.h"
#include "insole/recompute.h"
#include "support/pressure_files.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

namespace {

std::string temporaryFile(const char* name)
{
    const char* folder = std::getenv("TMPDIR");
    return std::string(folder && *folder ? folder : "/tmp") + "/" + name;
}

// Loads the sample foot, recomputes it as `tarsola-batch --width <1.1 x the foot's> --limit`
// does, and hands it to `save` with the output's name, every iteration.
void oneFoot(benchmark::State& run, const std::string& out,
             const std::function<bool(InsoleState&, const char*)>& save)
{
    const std::string foot = std::string(TARSOLA_SOURCE_DIR) + "/samples/foot.bmp";
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
        benchmark::DoNotOptimize(save(*state, out.c_str()));
    }
    std::remove(out.c_str());
}

void BM_BatchOneFootWithLimit(benchmark::State& run)
{
    oneFoot(run, temporaryFile("tarsola-batch-bench.bmp"), [](InsoleState& state, const char* out) {
        return saveInsole(state.heightGrid, state.sourceImage, out);
    });
}
BENCHMARK(BM_BatchOneFootWithLimit)->Unit(benchmark::kMillisecond);

// The same with --stl instead of -o: the solid built from the heights, measured for the
// report and written in one step.
void BM_BatchOneFootStl(benchmark::State& run)
{
    oneFoot(run, temporaryFile("tarsola-batch-bench.stl"), [](InsoleState& state, const char* out) {
        const SolidMesh mesh = buildSolid(state.heightGrid, DEFAULT_LEVEL_MM);
        benchmark::DoNotOptimize(measureSolid(mesh).volumeMm3);
        return writeStlFile(mesh, out);
    });
}
BENCHMARK(BM_BatchOneFootStl)->Unit(benchmark::kMillisecond);

// The sample foot through runBatch as `tarsola-batch foot.bmp -o OUT --limit [--pressure
// PLATE]` runs it: the report and any warning go to /dev/null. The measurement is a plate's of
// the sample foot at 5 mm, written once before the timing.
void throughTheBatch(benchmark::State& run, bool withPressure)
{
    const std::string foot = std::string(TARSOLA_SOURCE_DIR) + "/samples/foot.bmp";
    setTraceStreams(nullptr, stderr);
    BatchOptions options;
    options.feet = {foot};
    options.out = temporaryFile("tarsola-batch-bench-pressure.bmp");
    options.limit = true;
    if (withPressure) {
        auto state = std::make_unique<InsoleState>();
        if (!loadFoot(*state, foot.c_str())) {
            run.SkipWithError("cannot load the sample foot");
            return;
        }
        options.pressure.measurement = temporaryFile("tarsola-batch-bench-plate.csv");
        const std::string plate = pressureMatrixOf(state->footGrid, 5.0);
        std::FILE* file = std::fopen(options.pressure.measurement.c_str(), "wb");
        if (!file || std::fwrite(plate.data(), 1, plate.size(), file) != plate.size()) {
            run.SkipWithError("cannot write the measurement");
        }
        if (file) {
            std::fclose(file);
        }
    }
    std::FILE* nowhere = std::fopen("/dev/null", "w");
    if (!nowhere || !prepareBatch(options).empty()) {
        run.SkipWithError("the batch cannot run");
    }
    for (auto _ : run) {
        if (runBatch(options, nowhere, nowhere, false) != 0) {
            run.SkipWithError("the foot failed");
            break;
        }
    }
    if (nowhere) {
        std::fclose(nowhere);
    }
    std::remove(options.out.c_str());
    if (withPressure) {
        std::remove(options.pressure.measurement.c_str());
    }
}

void BM_BatchOneFootWithPressure(benchmark::State& run) { throughTheBatch(run, true); }
BENCHMARK(BM_BatchOneFootWithPressure)->Unit(benchmark::kMillisecond);

void BM_BatchOneFootWithoutPressure(benchmark::State& run) { throughTheBatch(run, false); }
BENCHMARK(BM_BatchOneFootWithoutPressure)->Unit(benchmark::kMillisecond);

// The sample foot through runBatch as `tarsola-batch foot.bmp --gcode OUT` runs it: the
// insole at its defaults, its toolpath planned at the milling defaults (roughing and
// finishing), the file's size for the report and the file written.
void BM_BatchOneFootGcode(benchmark::State& run)
{
    setTraceStreams(nullptr, stderr);
    BatchOptions options;
    options.feet = {std::string(TARSOLA_SOURCE_DIR) + "/samples/foot.bmp"};
    options.gcode = temporaryFile("tarsola-batch-bench.nc");
    std::FILE* nowhere = std::fopen("/dev/null", "w");
    if (!nowhere || !prepareBatch(options).empty()) {
        run.SkipWithError("the batch cannot run");
    }
    for (auto _ : run) {
        if (runBatch(options, nowhere, nowhere, false) != 0) {
            run.SkipWithError("the foot failed");
            break;
        }
    }
    if (nowhere) {
        std::fclose(nowhere);
    }
    std::remove(options.gcode.c_str());
}
BENCHMARK(BM_BatchOneFootGcode)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
