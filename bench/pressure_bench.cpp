// The pressure room's steps against their goals: reading a 205-frame 60 x 21 sensor export
// (< 10 ms), placing the measurement on a foot (< 20 ms), the zones and distances after a
// parameter change (< 2 ms), and adding the drawn raise to the heights in the recompute
// (< 0.2 ms), and the whole recompute without and with a relief (their difference is the
// relief's share of a recompute, < 0.2 ms). Run:
// build/bench/tarsola_pressure_bench --benchmark_repetitions=3
#include "base/trace.h"
#include "imagefile/foot_image.h"
#include "pressure/placement.h"
#include "pressure/pressure_file.h"
#include "pressure/relief.h"
#include "insole/recompute.h"
#include "insole/relief_plan.h"
#include "insole/elements.h"
#include "insole/foot_frame.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

namespace {

double square(double v) { return v * v; }

// A right foot of about 100 x 265 mm drawn on the foot image's grid: heel, midfoot narrowed
// on the inner side, ball and toes.
bool onFoot(double x, double y)
{
    const bool heel = square((x - 78) / 30) + square((y - 118) / 44) < 1;
    const bool midfoot =
        y >= 110 && y <= 260 && x >= 50 + 14 * std::exp(-square((y - 190) / 40)) && x <= 110;
    const bool ball = square((x - 78) / 46) + square((y - 255) / 52) < 1;
    const bool toes = square((x - 72) / 40) + square((y - 300) / 20) < 1;
    return heel || midfoot || ball || toes;
}

const FootGrid& drawnFoot()
{
    static const FootGrid grid = [] {
        FootGrid foot{};
        for (int y = 1; y < GRID_ROWS - 1; ++y) {
            for (int x = 0; x < FOOT_COLUMNS; ++x) {
                foot[footIndex(x, y)] = onFoot(x + 0.5, y + 0.5) ? 120 : 0;
            }
        }
        return foot;
    }();
    return grid;
}

// The sensor's reading of the drawn foot, turned 7 degrees in the shoe: highest under the
// heel and the ball; B outside the sensor's outline.
double pressureOf(int row, int col, int frame)
{
    const double pitch = 5.08;
    const double x = (col + 0.5) * pitch, y = (60 - row - 0.5) * pitch;
    const double a = 7 * 3.14159265358979 / 180;
    const double fx = std::cos(a) * x - std::sin(a) * y + 46;
    const double fy = std::sin(a) * x + std::cos(a) * y + 60;
    if (!onFoot(fx, fy)) {
        return 0;
    }
    const double phase = std::sin(frame * 0.06);
    return 60 + 420 * square(phase) * std::exp(-square((fy - 255) / 18) - square((fx - 60) / 15)) +
           300 * std::fabs(phase) * std::exp(-square((fy - 105) / 20));
}

const std::string& sensorExport()
{
    static const std::string text = [] {
        std::string out = "ASCII_DATA_FILE\nUNITS KPa\nROWS 60\nCOLS 21\nROW_SPACING 5.08 mm\n"
                          "COL_SPACING 5.08 mm\nSTART_FRAME 1\nEND_FRAME 205\nASCII_DATA @@\n";
        char value[32];
        for (int f = 1; f <= 205; ++f) {
            out += "Frame " + std::to_string(f) + "\n";
            for (int r = 0; r < 60; ++r) {
                for (int c = 0; c < 21; ++c) {
                    const bool outline = (c < 2 || c > 18) && (r < 6 || r > 52);
                    if (outline) {
                        out += "B";
                    } else {
                        std::snprintf(value, sizeof value, "%.1f", pressureOf(r, c, f));
                        out += value;
                    }
                    out += c < 20 ? "," : "\n";
                }
            }
            out += "\n";
        }
        return out + "@@\n";
    }();
    return text;
}

const PressureMap& measurement()
{
    static const PressureMap map = [] {
        PressureMap read;
        std::string failure;
        const std::string& text = sensorExport();
        if (!readPressureBytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(),
                               "bench.asf", PressureOptions{}, read, failure)) {
            std::fprintf(stderr, "%s\n", failure.c_str());
        }
        return read;
    }();
    return map;
}

void BM_ReadSensorExport_205Frames_60x21(benchmark::State& run)
{
    const std::string& text = sensorExport();
    PressureMap map;
    std::string failure;
    for (auto _ : run) {
        if (!readPressureBytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(),
                               "bench.asf", PressureOptions{}, map, failure)) {
            run.SkipWithError(failure.c_str());
            break;
        }
        benchmark::DoNotOptimize(map.kpa.data());
    }
    run.counters["bytes"] = static_cast<double>(text.size());
}

void BM_PlaceOnFoot(benchmark::State& run)
{
    auto placed = std::make_unique<PlacedPressure>();
    PressurePlacement report;
    std::string failure;
    for (auto _ : run) {
        if (!placePressure(measurement(), drawnFoot(), PlacementCorrection{}, *placed, report,
                           failure)) {
            run.SkipWithError(failure.c_str());
            break;
        }
        benchmark::DoNotOptimize(placed->data());
    }
    run.counters["share_%"] = report.loadShare * 100;
}

void BM_ZonesAndRaiseAfterAParameterChange(benchmark::State& run)
{
    auto placed = std::make_unique<PlacedPressure>();
    PressurePlacement report;
    std::string failure;
    placePressure(measurement(), drawnFoot(), PlacementCorrection{}, *placed, report, failure);
    auto relief = std::make_unique<Relief>();
    ReliefParameters parameters;
    int step = 0;
    for (auto _ : run) {
        // Each change moves the threshold, as dragging its control would.
        parameters.thresholdKpa = 180 + (step++ % 5) * 10;
        if (!computeRelief(*placed, drawnFoot(), parameters, 0.2, *relief, failure)) {
            run.SkipWithError(failure.c_str());
            break;
        }
        benchmark::DoNotOptimize(relief->raise.data());
    }
    run.counters["zones"] = static_cast<double>(relief->zones.size());
}

// Each iteration restores the shaped heights first (a 55 KB copy, as the recompute's drawing
// rewrites them every frame) and then adds the raise.
void BM_AddDrawnRaise(benchmark::State& run)
{
    auto placed = std::make_unique<PlacedPressure>();
    PressurePlacement report;
    std::string failure;
    placePressure(measurement(), drawnFoot(), PlacementCorrection{}, *placed, report, failure);
    auto relief = std::make_unique<Relief>();
    computeRelief(*placed, drawnFoot(), ReliefParameters{}, 0.2, *relief, failure);
    auto shaped = std::make_unique<Grid>(), heights = std::make_unique<Grid>();
    auto raise = std::make_unique<Grid>();
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            (*shaped)[gridIndex(x, y)] = drawnFoot()[footIndex(x, y)] ? 10 + (x + y) % 200 : 0;
            (*raise)[gridIndex(x, y)] = relief->raise[footIndex(x, y)];
        }
    }
    int capped = 0;
    for (auto _ : run) {
        *heights = *shaped;
        capped = addDrawnRaise(*heights, *raise);
        benchmark::DoNotOptimize(heights->data());
    }
    run.counters["capped"] = capped;
}

// Every element on, at its defaults, the bar's front edge from the measurement.
ElementSettings everyElement()
{
    ElementSettings settings;
    settings.metPad = settings.metBar = settings.arch = settings.heelCup = settings.rearfootPost = true;
    return settings;
}

// The whole recompute of a foot drawn stretched (width and length 4 % over the measured
// size, limit off), without and with its relief and its elements: the differences are the
// relief's and the elements' shares of a recompute (drawing their layers, adding the raise,
// the zones' depth after the cap).
void recomputeOfDrawnFoot(benchmark::State& run, bool withRelief, bool withElements = false)
{
    auto state = std::make_unique<InsoleState>();
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            const std::uint8_t grey = drawnFoot()[footIndex(x, y)] ? static_cast<std::uint8_t>(40 + (x * 3 + y) % 150) : 0;
            state->footGrid[footIndex(x, y)] = grey;
            state->displayGrid[gridIndex(x, y)] = grey;
        }
    }
    const FootBox box = measureFoot(state->footGrid);
    state->footMinX = box.footMinX;
    state->footMaxX = box.footMaxX;
    state->footMinY = box.footMinY;
    state->footMaxY = box.footMaxY;
    state->footWidth = box.footWidth();
    state->footLength = box.footLength();
    auto plan = std::make_unique<ReliefPlan>();
    plan->map = measurement();
    std::string failure;
    if (!placeRelief(*plan, state->footGrid, PlacementCorrection{}, 0.2, failure)) {
        run.SkipWithError(failure.c_str());
        return;
    }
    InsoleSettings settings;
    settings.width = state->footWidth * 1.04;
    settings.length = state->footLength * 1.04;
    auto drawn = std::make_unique<DrawnRelief>();
    auto elements = std::make_unique<ElementRaise>();
    auto drawnElements = std::make_unique<DrawnElements>();
    if (withElements && !computeElements(state->footGrid, everyElement(), {}, &plan->placed, 0.2,
                                         *elements, failure)) {
        run.SkipWithError(failure.c_str());
        return;
    }
    setTraceStreams(nullptr, stderr);
    for (auto _ : run) {
        recomputeHeights(*state, settings, withRelief ? activeRelief(plan.get()) : nullptr, drawn.get(),
                         withElements ? elements.get() : nullptr, drawnElements.get());
        benchmark::DoNotOptimize(state->heightGrid.data());
    }
    run.counters["zones"] = static_cast<double>(drawn->zones.size());
}

void BM_RecomputeWithoutRelief(benchmark::State& run) { recomputeOfDrawnFoot(run, false); }
void BM_RecomputeWithRelief(benchmark::State& run) { recomputeOfDrawnFoot(run, true); }
void BM_RecomputeWithElements(benchmark::State& run) { recomputeOfDrawnFoot(run, false, true); }
void BM_RecomputeWithReliefAndElements(benchmark::State& run) { recomputeOfDrawnFoot(run, true, true); }

// The foot's landmarks, as a load works them out: the frame of the foot cells.
void BM_LandmarksPerLoad(benchmark::State& run)
{
    FootGrid foot{};
    for (int i = 0; i < GRID_ROWS * FOOT_STRIDE; ++i) {
        foot[i] = drawnFoot()[i] ? 100 : 0;
    }
    FootFrame frame;
    std::string failure;
    for (auto _ : run) {
        findFootFrame(foot, SideChoice::Automatic, frame, failure);
        benchmark::DoNotOptimize(&frame);
    }
    run.counters["lengthMm"] = frame.lengthMm;
}

// Every element worked out again, as a change in the prescription window asks for.
void BM_ElementsAfterAChange(benchmark::State& run)
{
    FootGrid foot{};
    for (int i = 0; i < GRID_ROWS * FOOT_STRIDE; ++i) {
        foot[i] = drawnFoot()[i] ? 100 : 0;
    }
    auto elements = std::make_unique<ElementRaise>();
    std::string failure;
    for (auto _ : run) {
        if (!computeElements(foot, everyElement(), {}, nullptr, 0.2, *elements, failure)) {
            run.SkipWithError(failure.c_str());
            return;
        }
        benchmark::DoNotOptimize(elements->raise.data());
    }
}

BENCHMARK(BM_ReadSensorExport_205Frames_60x21)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlaceOnFoot)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZonesAndRaiseAfterAParameterChange)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddDrawnRaise)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RecomputeWithoutRelief)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RecomputeWithRelief)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RecomputeWithElements)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RecomputeWithReliefAndElements)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LandmarksPerLoad)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ElementsAfterAChange)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
