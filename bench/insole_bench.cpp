// Times the per-frame arithmetic of a recompute: height shaping and slope limiting, the fast
// limiter against the plain pass iteration (and against plain raster sweeps), on
// the grids that make limiting work hardest. After the run it prints, for every grid, how
// many times faster the fast limiter is than the pass iteration.
//
//   build/bench/tarsola_bench                         everything (about half a minute)
//   build/bench/tarsola_bench --benchmark_filter=fast  one family only
// Measure a Release or RelWithDebInfo build.
#include "support/limit_grids.h"
#include "support/reference_limit.h"
#include "base/grid.h"
#include "insole/shaping.h"
#include "insole/slope_limit.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <unistd.h>
#include <map>
#include <string>
#include <vector>

namespace {

struct Case {
    const char* name;
    Grid grid;
};

const std::vector<Case>& cases()
{
    static const std::vector<Case> all = {
        {"steep_plateau", steepPlateau()},
        {"random_relief", randomRelief(20240611u)},
        {"zigzag_maze", zigzagMaze()},
        {"staircase_maze", staircaseMaze()},
        {"grey_foot_x2", [] {
             // What the limiter sees in practice: a grey foot shaped at height ratio 2.
             Grid grid = greyFoot();
             shapeHeights(grid, 300, 300.0, 2.0);
             return grid;
         }()},
    };
    return all;
}

// The slope limiter on a fresh copy of the grid in every iteration (the copy, 54,720 bytes,
// costs a few microseconds and is included).
void limitReference(benchmark::State& state, const Grid* input)
{
    int passes = 0;
    for (auto _ : state) {
        Grid grid = *input;
        passes = referenceLimitSlopes(grid);
        benchmark::DoNotOptimize(grid.data());
        benchmark::ClobberMemory();
    }
    state.counters["passes"] = passes;
}

void limitSweeps(benchmark::State& state, const Grid* input)
{
    int sweeps = 0;
    for (auto _ : state) {
        Grid grid = *input;
        sweeps = sweepLimitSlopes(grid);
        benchmark::DoNotOptimize(grid.data());
        benchmark::ClobberMemory();
    }
    state.counters["sweeps"] = sweeps;
}

void limitFast(benchmark::State& state, const Grid* input)
{
    for (auto _ : state) {
        Grid grid = *input;
        limitSlopes(grid);
        benchmark::DoNotOptimize(grid.data());
        benchmark::ClobberMemory();
    }
}

// A whole recompute's arithmetic: shaping (length ratio 1, height ratio 1) then limiting.
void shapeAndLimit(benchmark::State& state, const Grid* input)
{
    for (auto _ : state) {
        Grid grid = *input;
        benchmark::DoNotOptimize(shapeHeights(grid, 300, 300.0, 1.0));
        limitSlopes(grid);
        benchmark::DoNotOptimize(grid.data());
        benchmark::ClobberMemory();
    }
}

void shapeOnly(benchmark::State& state, const Grid* input)
{
    for (auto _ : state) {
        Grid grid = *input;
        benchmark::DoNotOptimize(shapeHeights(grid, 300, 450.0, 2.0));
        benchmark::DoNotOptimize(grid.data());
        benchmark::ClobberMemory();
    }
}

// Prints the runs as the console reporter does and remembers each one's time per iteration
// and counters, for the table of ratios printed after the run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(isatty(fileno(stdout)) ? OO_Color : OO_None) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                Result& result = results_[run.benchmark_name()];
                result.seconds = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
                result.cpuSeconds = run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
                for (const auto& [name, counter] : run.counters) {
                    result.counters[name] = counter.value;
                }
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void printRatios() const
    {
        bool header = false;
        for (const Case& c : cases()) {
            const Result* reference = find(std::string("limit/reference/") + c.name);
            const Result* fast = find(std::string("limit/fast/") + c.name);
            const Result* sweeps = find(std::string("limit/sweeps/") + c.name);
            if (reference == nullptr || fast == nullptr) {
                continue;
            }
            if (!header) {
                std::printf("\nslope limiting, CPU time per call:\n%-15s %7s %14s %7s %13s %11s %15s\n",
                            "grid", "passes", "reference", "sweeps", "plain sweeps", "fast",
                            "reference/fast");
                header = true;
            }
            std::printf("%-15s %7.0f %11.2f ms", c.name, reference->counters.at("passes"),
                        reference->cpuSeconds * 1e3);
            if (sweeps != nullptr) {
                std::printf(" %7.0f %10.2f ms", sweeps->counters.at("sweeps"), sweeps->cpuSeconds * 1e3);
            } else {
                std::printf(" %7s %13s", "-", "-");
            }
            std::printf(" %8.1f us %14.0fx\n", fast->cpuSeconds * 1e6,
                        reference->cpuSeconds / fast->cpuSeconds);
        }
        std::fflush(stdout);
    }

private:
    struct Result {
        double seconds = 0;
        double cpuSeconds = 0;
        std::map<std::string, double> counters;
    };

    const Result* find(const std::string& name) const
    {
        const auto it = results_.find(name);
        return it == results_.end() ? nullptr : &it->second;
    }

    std::map<std::string, Result> results_;
};

}  // namespace

int main(int argc, char** argv)
{
    const Grid foot = greyFoot();
    benchmark::RegisterBenchmark("shape/grey_foot", shapeOnly, &foot)->Unit(benchmark::kMicrosecond);
    for (const Case& c : cases()) {
        const std::string name = c.name;
        benchmark::RegisterBenchmark(("shape+limit/" + name).c_str(), shapeAndLimit, &c.grid)
            ->Unit(benchmark::kMicrosecond);
    }
    for (const Case& c : cases()) {
        const std::string name = c.name;
        benchmark::RegisterBenchmark(("limit/fast/" + name).c_str(), limitFast, &c.grid)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("limit/sweeps/" + name).c_str(), limitSweeps, &c.grid)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("limit/reference/" + name).c_str(), limitReference, &c.grid)
            ->Unit(benchmark::kMillisecond);
    }

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}
