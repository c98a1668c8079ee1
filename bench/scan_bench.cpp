// A 500,000-triangle plantar scan made into a foot image, in memory: the whole load as Load
// and the batch run it (signature, checks, the mesh library, placement, sampling), for
// binary STL and binary PLY, and the placement alone. Run: build/bench/tarsola_scan_bench
#include "base/trace.h"
#include "support/scan_files.h"
#include "insole/insole_state.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

namespace {

// A sole of 250 x 100 mm on a lattice fine enough for about 500,000 triangles, turned 25
// degrees and moved off the origin, as a scanner leaves it.
const ScanMesh& bigSole()
{
    static const ScanMesh mesh = [] {
        ScanMesh sole = latticeSurface(
            25, 125, 55, 305, 0.309,
            [](double x, double y) { return y > 90 || std::fabs(x - 75) < 35; },
            [](double x, double y) { return 3 + std::sin(x / 9) + std::cos(y / 23); });
        transformMesh(sole, [](double& x, double& y, double&) {
            const double c = std::cos(0.436), s = std::sin(0.436), ox = x;
            x = ox * c - y * s + 40, y = ox * s + y * c - 12;
        });
        return sole;
    }();
    return mesh;
}

void loadScan(benchmark::State& run, const std::vector<std::uint8_t>& bytes)
{
    setTraceStreams(nullptr, stderr);
    auto state = std::make_unique<InsoleState>();
    for (auto _ : run) {
        if (!loadFootFromMemory(*state, bytes.data(), bytes.size(), "bench")) {
            run.SkipWithError("the scan did not load");
            break;
        }
        benchmark::DoNotOptimize(state->heightGrid.data());
    }
    run.counters["triangles"] = static_cast<double>(bigSole().triangleCount());
}

void BM_ScanToFootImage_BinaryStl(benchmark::State& run) { loadScan(run, binaryStl(bigSole())); }
void BM_ScanToFootImage_BinaryPly(benchmark::State& run) { loadScan(run, binaryPly(bigSole())); }

void BM_ScanPlacementOnly(benchmark::State& run)
{
    FootGrid foot{};
    for (auto _ : run) {
        ScanFigures figures;
        std::string reason;
        if (!makeScanFoot(bigSole(), ScanOptions{}, foot, figures, reason)) {
            run.SkipWithError(reason.c_str());
            break;
        }
        benchmark::DoNotOptimize(foot.data());
    }
    run.counters["triangles"] = static_cast<double>(bigSole().triangleCount());
}

BENCHMARK(BM_ScanToFootImage_BinaryStl)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanToFootImage_BinaryPly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanPlacementOnly)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
