// The milling toolpath: the ball never reaches into the insole on any move, over grids that
// trap naive drop-cutters; every drop is the lowest clear height; the finishing pass leaves no
// more than its scallop; roughing keeps its allowance; the setup's ranges and the blank's
// limits are enforced. Checked against a plain fine-grid reference (support/mill_reference).
#include "mill/drop_cutter.h"
#include "mill/toolpath.h"
#include "support/mill_reference.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <random>
#include <set>

namespace {

Grid gridOf(const std::function<int(int, int)>& height)
{
    Grid grid{};
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            grid[gridIndex(x, y)] = static_cast<std::uint8_t>(height(x, y));
        }
    }
    return grid;
}

bool inBox(int x, int y, int x0, int y0, int x1, int y1) { return x >= x0 && x < x1 && y >= y0 && y < y1; }

struct NamedGrid {
    const char* name;
    Grid grid;
};

// A plateau whose outline is a wall of 8 mm (more than the ball's radius) holding a single
// tall cell, a ridge a cell wide, a pit narrower than the tool and a recess with sharp edges
// like a relief zone's; a pyramid with 31-degree faces and diagonal ridges.
std::vector<NamedGrid> trapGrids()
{
    return {
        {"plateau with traps", gridOf([](int x, int y) {
             if (!inBox(x, y, 60, 100, 84, 124)) {
                 return 0;
             }
             if (x == 66 && y == 106) {
                 return 100;  // 20 mm
             }
             if (x == 74 && y >= 102 && y < 122) {
                 return 70;
             }
             if (inBox(x, y, 79, 104, 81, 106)) {
                 return 2;
             }
             if (inBox(x, y, 62, 113, 70, 121)) {
                 return 20;
             }
             return 40;
         })},
        {"pyramid", gridOf([](int x, int y) {
             if (!inBox(x, y, 60, 100, 84, 124)) {
                 return 0;
             }
             return 70 - 3 * std::max(std::abs(x - 72), std::abs(y - 112));
         })},
    };
}

Toolpath planned(const Grid& grid, const MillSetup& setup = {})
{
    Toolpath path;
    std::string refusal;
    EXPECT_TRUE(planToolpath(grid, DEFAULT_LEVEL_MM, setup, path, refusal)) << refusal;
    return path;
}

std::string describe(const MillMove& m)
{
    return "X" + std::to_string(m.x) + " Y" + std::to_string(m.y) + " Z" + std::to_string(m.z);
}

}  // namespace

TEST(ToolpathGouge, NoMoveReachesIntoTheSurfaceOnTrapGrids)
{
    for (const NamedGrid& trap : trapGrids()) {
        for (double tool : {6.0, 1.0}) {
            MillSetup setup;
            setup.toolMm = tool;
            setup.stepoverMm = tool / 2.0;
            const Toolpath path = planned(trap.grid, setup);
            ASSERT_GT(path.moves.size(), path.finishingStart);
            const FineSurface surface = fineSurface(buildSolid(trap.grid, DEFAULT_LEVEL_MM));
            std::size_t worst = 0;
            const double deepest = deepestOnMoves(surface, path, 0, path.moves.size(), 0.01, worst);
            EXPECT_LE(deepest, 0.005) << trap.name << ", tool " << tool << ": move " << worst << " to "
                                      << describe(path.moves[worst]);
        }
    }
}

// The fast drop (index, pruning, hints) against the distance to every triangle: at the height
// it gives the ball is clear, and 0.001 mm lower it touches.
TEST(ToolpathGouge, EveryDropIsTheLowestClearHeight)
{
    std::mt19937 random(18);
    for (const NamedGrid& trap : trapGrids()) {
        const SolidMesh mesh = buildSolid(trap.grid, DEFAULT_LEVEL_MM);
        const DropSurface drop = makeDropSurface(mesh, 3.0);
        const FineSurface surface = fineSurface(mesh);
        std::uniform_real_distribution<double> x(56.0, 88.0);
        std::uniform_real_distribution<double> y(96.0, 128.0);
        for (double r : {3.0, 0.5}) {
            int hint = -1;
            for (int i = 0; i < 1500; ++i) {
                const double px = x(random), py = y(random);
                const double tip = dropTip(drop, px, py, r, &hint);
                ASSERT_LE(ballOverlap(surface, r, px, py, tip), 1e-9)
                    << trap.name << " r " << r << " at " << px << ", " << py;
                ASSERT_GT(ballOverlap(surface, r, px, py, tip - 0.001), 0.0)
                    << trap.name << " r " << r << " at " << px << ", " << py << ": tip " << tip;
            }
        }
    }
}

// The material left above the surface after the finishing pass, on a window of the foot far
// from the outline: the lowest the ball came over each point, less the surface there.
double finishingLeftover(const Grid& grid, const MillSetup& setup)
{
    const Toolpath path = planned(grid, setup);
    const FineSurface surface = fineSurface(buildSolid(grid, DEFAULT_LEVEL_MM));
    const double r = setup.toolMm / 2.0;
    const int first = (70 - surface.minX) * FineSurface::PER_MM;
    const int last = (74 - surface.minX) * FineSurface::PER_MM;
    const int firstRow = (110 - surface.minY) * FineSurface::PER_MM;
    const int lastRow = (114 - surface.minY) * FineSurface::PER_MM;
    const int side = (last - first) / 2 + 1;
    std::vector<double> lowest(static_cast<std::size_t>(side) * side, 1e9);
    for (std::size_t i = path.finishingStart + 1; i < path.moves.size(); ++i) {
        const MillMove& a = path.moves[i - 1];
        const MillMove& b = path.moves[i];
        if (b.kind != MillMoveKind::Cut) {
            continue;
        }
        const double length = std::hypot(b.x - a.x, b.y - a.y);
        const int steps = std::max(1, static_cast<int>(std::ceil(length / 0.02)));
        for (int k = 0; k <= steps; ++k) {
            const double s = static_cast<double>(k) / steps;
            const double cx = a.x + (b.x - a.x) * s, cy = a.y + (b.y - a.y) * s;
            const double centre = a.z + (b.z - a.z) * s + path.setup.blankMm + r;
            if (cx < 70 - r || cx > 74 + r || cy < 110 - r || cy > 114 + r) {
                continue;
            }
            for (int j = 0; j < side; ++j) {
                for (int i2 = 0; i2 < side; ++i2) {
                    const double qx = surface.minX + (first + 2 * i2) * FineSurface::STEP - cx;
                    const double qy = surface.minY + (firstRow + 2 * j) * FineSurface::STEP - cy;
                    const double d2 = qx * qx + qy * qy;
                    if (d2 < r * r) {
                        double& low = lowest[static_cast<std::size_t>(j) * side + i2];
                        low = std::min(low, centre - std::sqrt(r * r - d2));
                    }
                }
            }
        }
    }
    double left = 0.0;
    for (int j = 0; j < side && firstRow + 2 * j <= lastRow; ++j) {
        for (int i2 = 0; i2 < side; ++i2) {
            left = std::max(left, lowest[static_cast<std::size_t>(j) * side + i2] -
                                      surface.height(first + 2 * i2, firstRow + 2 * j));
        }
    }
    return left;
}

TEST(ToolpathCoverage, FinishingLeavesNoMoreThanTheScallopOnFlatAndSlopedInsoles)
{
    const Grid flat = gridOf([](int x, int y) { return inBox(x, y, 55, 95, 90, 130) ? 40 : 0; });
    // One level per millimetre along X: a plane rising 11 degrees across the lines.
    const Grid sloped = gridOf([](int x, int y) { return inBox(x, y, 55, 95, 90, 130) ? x - 40 : 0; });
    for (const Grid* grid : {&flat, &sloped}) {
        for (double stepover : {0.5, 2.0}) {
            MillSetup setup;
            setup.stepoverMm = stepover;
            const double scallop = millScallopMm(setup.toolMm, stepover);
            const double left = finishingLeftover(*grid, setup);
            EXPECT_LE(left, scallop + 0.01) << (grid == &flat ? "flat" : "sloped") << ", stepover " << stepover;
            // The ridges are there to be seen: the check measures what it claims to.
            EXPECT_GE(left, 0.8 * scallop) << (grid == &flat ? "flat" : "sloped") << ", stepover " << stepover;
        }
    }
}

TEST(ToolpathRoughing, PassesStepDownKeepTheAllowanceAndRapidsStayAtSafeHeight)
{
    const Grid grid = trapGrids()[0].grid;
    MillSetup setup;
    setup.stepdownMm = 3.0;
    setup.allowanceMm = 1.0;
    const Toolpath path = planned(grid, setup);
    const double blank = path.setup.blankMm;
    EXPECT_EQ(blank, 22.0);  // thickest point 20 mm, plus 2
    const DropSurface drop = makeDropSurface(buildSolid(grid, DEFAULT_LEVEL_MM), 3.0);
    std::set<double> levels;
    for (std::size_t i = 1; i < path.moves.size(); ++i) {
        const MillMove& a = path.moves[i - 1];
        const MillMove& b = path.moves[i];
        const bool horizontal = a.x != b.x || a.y != b.y;
        if (b.kind == MillMoveKind::Rapid && horizontal) {
            EXPECT_EQ(a.z, setup.safeMm) << "move " << i;
            EXPECT_EQ(b.z, setup.safeMm) << "move " << i;
        }
        if (b.kind == MillMoveKind::Plunge) {
            EXPECT_FALSE(horizontal) << "move " << i;
            EXPECT_LT(b.z, a.z) << "move " << i;
        }
        if (i >= path.finishingStart || b.kind != MillMoveKind::Cut) {
            continue;
        }
        ASSERT_EQ(a.z, b.z) << "roughing move " << i;
        levels.insert(b.z);
        // Above the allowance over the finishing path, or where that path is the table, on it.
        for (int k = 0; k <= 20; ++k) {
            const double x = a.x + (b.x - a.x) * k / 20.0, y = a.y + (b.y - a.y) * k / 20.0;
            const double finishing = dropTip(drop, x, y, 3.0);
            if (finishing > 0.0) {
                ASSERT_GE(b.z + blank, finishing + setup.allowanceMm - 1e-9)
                    << "roughing move " << i << " to " << describe(b);
            } else {
                ASSERT_GE(b.z + blank, 0.0) << "roughing move " << i << " to " << describe(b);
            }
        }
    }
    // Z = -3, -6, ..., -21, and the table beyond the insole's reach.
    EXPECT_EQ(levels, (std::set<double>{-22.0, -21.0, -18.0, -15.0, -12.0, -9.0, -6.0, -3.0}));
    EXPECT_EQ(path.figures.roughingPasses, 8);
    EXPECT_EQ(path.moves.back().z, setup.safeMm);
    EXPECT_EQ(path.moves.front().z, setup.safeMm);
    EXPECT_DOUBLE_EQ(path.figures.filletMm, 3.0);
    // The first level takes a whole step-down; nothing takes more than a step-down, the
    // allowance and the ball's flank.
    EXPECT_GE(path.figures.largestCutMm, 3.0 - 1e-3);
    EXPECT_LE(path.figures.largestCutMm, 3.0 + 1.0 + 0.5);
}

TEST(MillSetup, RangesAndTheBlankAreEnforcedNamingTheLimit)
{
    std::string problem;
    EXPECT_TRUE(millSetupInRange(MillSetup{}, problem));
    const std::map<MillParameter, std::pair<double, const char*>> bad = {
        {MillParameter::Tool, {0.5, "tool diameter 0.5 mm is outside 1 to 20 mm"}},
        {MillParameter::Stepover, {3.5, "stepover 3.5 mm is outside 0.05 to 3 mm (the tool's radius)"}},
        {MillParameter::Stepdown, {0.1, "step-down 0.1 mm is outside 0.2 to 20 mm"}},
        {MillParameter::Allowance, {NAN, "allowance nan mm is outside 0 to 3 mm"}},
        {MillParameter::Feed, {25000, "feed 25000 mm/min is outside 10 to 20000 mm/min"}},
        {MillParameter::Spindle, {500, "spindle speed 500 rpm is outside 1000 to 60000 rpm"}},
        {MillParameter::Blank, {45, "blank thickness 45 mm is outside 0 to 40 mm (0 for automatic; "
                                    "no deeper than the flute length)"}},
    };
    for (const auto& [parameter, value] : bad) {
        MillSetup setup;
        millValue(setup, parameter) = value.first;
        EXPECT_FALSE(millSetupInRange(setup, problem));
        EXPECT_EQ(problem, value.second);
        Toolpath path;
        std::string refusal;
        EXPECT_FALSE(planToolpath(trapGrids()[1].grid, DEFAULT_LEVEL_MM, setup, path, refusal));
        EXPECT_EQ(refusal, value.second);
        EXPECT_TRUE(path.moves.empty());
    }

    EXPECT_EQ(millDefaultBlankMm(18.0000001), 20.0);
    EXPECT_EQ(millDefaultBlankMm(18.2), 21.0);
    const Grid grid = trapGrids()[1].grid;  // pyramid: thickest 70 x 0.2 = 14 mm
    Toolpath path;
    std::string refusal;
    MillSetup setup;
    setup.blankMm = 13.5;
    EXPECT_FALSE(planToolpath(grid, DEFAULT_LEVEL_MM, setup, path, refusal));
    EXPECT_EQ(refusal, "the blank of 13.5 mm is thinner than the insole's thickest point of 14 mm");
    setup.blankMm = 0.0;
    setup.fluteMm = 15.0;  // the automatic blank is 16 mm
    EXPECT_FALSE(planToolpath(grid, DEFAULT_LEVEL_MM, setup, path, refusal));
    EXPECT_EQ(refusal, "the blank of 16 mm is deeper than the flute length of 15 mm");
    EXPECT_FALSE(planToolpath(Grid{}, DEFAULT_LEVEL_MM, MillSetup{}, path, refusal));
    EXPECT_EQ(refusal, "the insole has no foot cell, so there is nothing to mill");
    setup.fluteMm = 25.0;
    setup.blankMm = 14.0;  // exactly the thickest point: the top is milled flush
    EXPECT_TRUE(planToolpath(grid, DEFAULT_LEVEL_MM, setup, path, refusal)) << refusal;
    EXPECT_EQ(path.figures.blankZMm, 14.0);
}
