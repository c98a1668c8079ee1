// Times the insole solid: building the mesh from a height grid, encoding it as STL and 3MF,
// and writing the STL file, on the sample foot as the batch makes it (about 16,000 foot
// cells), on a full grid (54,000 cells) and on a checkerboard, where every corner is a
// diagonal contact (the worst case).
//
//   build/bench/tarsola_solid_bench   (the file goes to $TMPDIR, default /tmp; TMPDIR=/dev/shm
//                                      leaves out the flush to the disk)
// Measure a Release or RelWithDebInfo build.
#include "base/trace.h"
#include "solid/solid_files.h"
#include "solid/solid_mesh.h"
#include "insole/insole_state.h"
#include "insole/recompute.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

// The sample foot's heights as tarsola-batch makes them with the limit on.
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

Grid patterned(bool checkerboard)
{
    Grid grid{};
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            if (!checkerboard || (x + y) % 2 == 0) {
                grid[gridIndex(x, y)] = static_cast<std::uint8_t>(10 + (x * 7 + y * 3) % 200);
            }
        }
    }
    return grid;
}

void counters(benchmark::State& run, const Grid& grid, const SolidMesh& mesh)
{
    int cells = 0;
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            cells += grid[gridIndex(x, y)] != 0;
        }
    }
    run.counters["foot_cells"] = cells;
    run.counters["triangles"] = static_cast<double>(mesh.triangles.size());
}

void buildSolidOf(benchmark::State& run, const Grid* grid)
{
    SolidMesh mesh;
    for (auto _ : run) {
        mesh = buildSolid(*grid, DEFAULT_LEVEL_MM);
        benchmark::DoNotOptimize(mesh.triangles.data());
    }
    counters(run, *grid, mesh);
}

void BM_BuildSolid_SampleFoot(benchmark::State& run) { buildSolidOf(run, &sampleFoot()); }
BENCHMARK(BM_BuildSolid_SampleFoot)->Unit(benchmark::kMillisecond);

void BM_BuildSolid_FullGrid(benchmark::State& run)
{
    static const Grid grid = patterned(false);
    buildSolidOf(run, &grid);
}
BENCHMARK(BM_BuildSolid_FullGrid)->Unit(benchmark::kMillisecond);

void BM_BuildSolid_Checkerboard(benchmark::State& run)
{
    static const Grid grid = patterned(true);
    buildSolidOf(run, &grid);
}
BENCHMARK(BM_BuildSolid_Checkerboard)->Unit(benchmark::kMillisecond);

void BM_EncodeStl_SampleFoot(benchmark::State& run)
{
    const SolidMesh mesh = buildSolid(sampleFoot(), DEFAULT_LEVEL_MM);
    for (auto _ : run) {
        const std::vector<std::uint8_t> bytes = encodeStl(mesh);
        benchmark::DoNotOptimize(bytes.data());
    }
    counters(run, sampleFoot(), mesh);
}
BENCHMARK(BM_EncodeStl_SampleFoot)->Unit(benchmark::kMillisecond);

// Encoding, the temporary file, fsync and the rename: what Save solid costs once named.
void BM_WriteStlFile_SampleFoot(benchmark::State& run)
{
    const SolidMesh mesh = buildSolid(sampleFoot(), DEFAULT_LEVEL_MM);
    const char* folder = std::getenv("TMPDIR");
    const std::string path = std::string(folder && *folder ? folder : "/tmp") + "/tarsola-solid-bench.stl";
    for (auto _ : run) {
        benchmark::DoNotOptimize(writeStlFile(mesh, path.c_str()));
    }
    std::remove(path.c_str());
    counters(run, sampleFoot(), mesh);
}
BENCHMARK(BM_WriteStlFile_SampleFoot)->Unit(benchmark::kMillisecond);

void BM_Encode3mf_SampleFoot(benchmark::State& run)
{
    const SolidMesh mesh = buildSolid(sampleFoot(), DEFAULT_LEVEL_MM);
    const SolidRecord record{"samples/foot.bmp", {93, 260, 1, true}, DEFAULT_LEVEL_MM, {}, {}, {}};
    for (auto _ : run) {
        std::vector<std::uint8_t> bytes;
        std::string failure;
        benchmark::DoNotOptimize(encode3mf(mesh, record, bytes, failure));
    }
    counters(run, sampleFoot(), mesh);
}
BENCHMARK(BM_Encode3mf_SampleFoot)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
