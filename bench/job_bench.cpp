// Jobs: what writing the job's parts adds to the sample foot's 3MF, and opening a job of the
// sample foot up to the heights of its first frame (read the package, the foot through the
// door, the recompute at the recorded settings; the frame's drawing is the view's own, and
// the window's whole path is in job_window_bench.cpp).
// Run: build/bench/tarsola_job_bench --benchmark_repetitions=3
#include "base/trace.h"
#include "insole/insole_state.h"
#include "insole/job_file.h"
#include "insole/recompute.h"
#include "mill/mill_settings.h"
#include "solid/package_parts.h"
#include "solid/solid_files.h"
#include "solid/solid_mesh.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

// The sample foot loaded, its insole at the limit, the solid and the record Save solid writes.
struct SampleJob {
    std::unique_ptr<InsoleState> state = std::make_unique<InsoleState>();
    SolidMesh mesh;
    SolidRecord record;
    std::vector<std::uint8_t> bytes;  // the job's 3MF

    SampleJob()
    {
        setTraceStreams(nullptr, stderr);
        if (!loadFoot(*state, TARSOLA_SOURCE_DIR "/samples/foot.bmp")) {
            std::fprintf(stderr, "cannot load the sample foot\n");
        }
        InsoleSettings settings = restoredSettings(*state);
        settings.limit = true;
        recomputeHeights(*state, settings);
        mesh = buildSolid(state->heightGrid, DEFAULT_LEVEL_MM);
        record = {"foot.bmp", settings, DEFAULT_LEVEL_MM, "", "", {}};
        JobRecipe recipe;
        recipe.footFile = "foot.bmp";
        recipe.settings = settings;
        recipe.milling = millRecipeValues(MillSetup{});
        record.parts = jobParts(jobSourcesOf(*state, nullptr, recipe));
        std::string failure;
        if (!encode3mf(mesh, record, bytes, failure)) {
            std::fprintf(stderr, "cannot encode the job: %s\n", failure.c_str());
        }
    }
};

const SampleJob& sampleJob()
{
    static const SampleJob job;
    return job;
}

// The 3MF as it was before jobs: the model and its metadata alone.
void BM_Encode3mf_ModelAlone(benchmark::State& run)
{
    const SampleJob& job = sampleJob();
    SolidRecord record = job.record;
    record.parts.clear();
    for (auto _ : run) {
        std::vector<std::uint8_t> bytes;
        std::string failure;
        benchmark::DoNotOptimize(encode3mf(job.mesh, record, bytes, failure));
    }
}
BENCHMARK(BM_Encode3mf_ModelAlone)->Unit(benchmark::kMillisecond);

// The same with the job's parts, recipe included, made from the controls each time as Save
// solid makes them. The difference from the model alone is what a job costs, but it is a
// small difference of two large figures that vary by several milliseconds from run to run on
// a busy machine: the pair on a small model below measures it.
void BM_Encode3mf_WithJobParts(benchmark::State& run)
{
    const SampleJob& job = sampleJob();
    SolidRecord record = job.record;
    JobRecipe recipe;
    recipe.footFile = "foot.bmp";
    recipe.settings = record.settings;
    recipe.milling = millRecipeValues(MillSetup{});
    for (auto _ : run) {
        record.parts = jobParts(jobSourcesOf(*job.state, nullptr, recipe));
        std::vector<std::uint8_t> bytes;
        std::string failure;
        benchmark::DoNotOptimize(encode3mf(job.mesh, record, bytes, failure));
    }
}
BENCHMARK(BM_Encode3mf_WithJobParts)->Unit(benchmark::kMillisecond);

// What the job's parts add, away from the model's own cost: the same parts on a solid of
// one tetrahedron, whose encoding takes a fraction of a millisecond, so that the difference
// is not lost in the noise of two encodings of the whole insole.
SolidMesh tetrahedron()
{
    SolidMesh mesh;
    mesh.vertices = {{0, 0, 0}, {10, 0, 0}, {0, 10, 0}, {0, 0, 10}};
    mesh.triangles = {{0, 2, 1}, {0, 1, 3}, {1, 2, 3}, {0, 3, 2}};
    return mesh;
}

void BM_Encode3mf_SmallModelAlone(benchmark::State& run)
{
    const SampleJob& job = sampleJob();
    const SolidMesh mesh = tetrahedron();
    SolidRecord record = job.record;
    record.parts.clear();
    for (auto _ : run) {
        std::vector<std::uint8_t> bytes;
        std::string failure;
        benchmark::DoNotOptimize(encode3mf(mesh, record, bytes, failure));
    }
}
BENCHMARK(BM_Encode3mf_SmallModelAlone)->Unit(benchmark::kMicrosecond);

void BM_Encode3mf_SmallModelWithJobParts(benchmark::State& run)
{
    const SampleJob& job = sampleJob();
    const SolidMesh mesh = tetrahedron();
    SolidRecord record = job.record;
    JobRecipe recipe;
    recipe.footFile = "foot.bmp";
    recipe.settings = record.settings;
    recipe.milling = millRecipeValues(MillSetup{});
    for (auto _ : run) {
        record.parts = jobParts(jobSourcesOf(*job.state, nullptr, recipe));
        std::vector<std::uint8_t> bytes;
        std::string failure;
        benchmark::DoNotOptimize(encode3mf(mesh, record, bytes, failure));
    }
}
BENCHMARK(BM_Encode3mf_SmallModelWithJobParts)->Unit(benchmark::kMicrosecond);

// The parts alone as Save solid makes them from the controls: the recipe's text and the copy
// of the foot's bytes.
void BM_JobParts(benchmark::State& run)
{
    const SampleJob& job = sampleJob();
    JobRecipe recipe;
    recipe.footFile = "foot.bmp";
    recipe.settings = job.record.settings;
    recipe.milling = millRecipeValues(MillSetup{});
    for (auto _ : run) {
        benchmark::DoNotOptimize(jobParts(jobSourcesOf(*job.state, nullptr, recipe)));
    }
}
BENCHMARK(BM_JobParts)->Unit(benchmark::kMicrosecond);

// The archive taken apart from its directory and put together again, every part's packed
// bytes copied, as the job's parts are tied to the package after lib3mf has written it. The
// job here is already tied, so its two small relationship parts are not packed again.
void BM_TiePartsToPackage(benchmark::State& run)
{
    const SampleJob& job = sampleJob();
    for (auto _ : run) {
        std::vector<std::uint8_t> tied;
        std::string why;
        if (!tiePartsToPackage(job.bytes.data(), job.bytes.size(), tied, why)) {
            run.SkipWithError(why.c_str());
            break;
        }
        benchmark::DoNotOptimize(tied.data());
    }
}
BENCHMARK(BM_TiePartsToPackage)->Unit(benchmark::kMillisecond);

// From the job's bytes to the heights of the first frame: the package read and checked, the
// recipe read, the foot through the door, the recompute at the recorded settings.
void BM_OpenJob_SampleFoot(benchmark::State& run)
{
    const SampleJob& sample = sampleJob();
    for (auto _ : run) {
        Job job;
        std::string why;
        if (!readJob(sample.bytes.data(), sample.bytes.size(), job, why)) {
            run.SkipWithError(why.c_str());
            break;
        }
        auto state = std::make_unique<InsoleState>();
        loadFootFromMemory(*state, job.foot.data(), job.foot.size(), "job.3mf (foot.bmp)", job.recipe.scan);
        benchmark::DoNotOptimize(recomputeHeights(*state, job.recipe.settings));
    }
}
BENCHMARK(BM_OpenJob_SampleFoot)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
