// The insole solid: closed and 2-manifold on the grids that break naive height-map meshers,
// true to the heights, the same triangles every time, and the figures a person reads off it.
#include "solid/solid_mesh.h"
#include "support/solid_check.h"
#include "insole/insole_state.h"
#include "insole/recompute.h"
#include "base/trace.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

// Heights that differ between neighbours, so that every corner's mean is its own.
std::uint8_t varied(int x, int y) { return static_cast<std::uint8_t>(1 + (x * 7 + y * 13) % 255); }

Grid gridOf(const std::function<bool(int, int)>& isFoot)
{
    Grid grid{};
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < GRID_STRIDE; ++x) {
            if (isFoot(x, y)) {
                grid[gridIndex(x, y)] = varied(x, y);
            }
        }
    }
    return grid;
}

struct Shape {
    const char* name;
    Grid grid;
    int pieces;
};

std::vector<Shape> shapes()
{
    const auto in = [](int v, int lo, int hi) { return v >= lo && v <= hi; };
    return {
        {"one cell", gridOf([](int x, int y) { return x == 70 && y == 200; }), 1},
        {"one cell in a grid corner", gridOf([](int x, int y) { return x == 0 && y == 0; }), 1},
        {"a row", gridOf([&](int x, int y) { return y == 100 && in(x, 10, 140); }), 1},
        {"a column on the last foot column",
         gridOf([&](int x, int y) { return x == FOOT_COLUMNS - 1 && in(y, 5, 300); }), 1},
        // Cells touching only at corners: every contact is separated, each cell alone.
        {"a diagonal", gridOf([&](int x, int y) { return x == y && in(x, 20, 60); }), 41},
        {"a checkerboard", gridOf([](int x, int y) { return x < FOOT_COLUMNS && (x + y) % 2 == 0; }),
         FOOT_COLUMNS * GRID_ROWS / 2},
        {"a ring with a hole",
         gridOf([&](int x, int y) { return in(x, 30, 90) && in(y, 50, 200) && !(in(x, 45, 75) && in(y, 80, 170)); }),
         1},
        {"two islands",
         gridOf([&](int x, int y) { return (in(x, 5, 40) && in(y, 5, 80)) || (in(x, 60, 140) && in(y, 90, 350)); }),
         2},
        {"a frame on every border of the grid",
         gridOf([](int x, int y) { return x == 0 || y == 0 || x == FOOT_COLUMNS - 1 || y == GRID_ROWS - 1; }),
         1},
        {"the full grid, spare columns included", gridOf([](int, int) { return true; }), 1},
        // An L, a T and a pinwheel of diagonal contacts around one corner.
        {"corners touching three ways",
         gridOf([&](int x, int y) {
             return (x == 10 && y == 10) || (x == 11 && y == 11) || (x == 12 && y == 10) ||
                    (x == 11 && y == 12) || (x == 10 && y == 12) || (in(x, 20, 22) && y == 20) ||
                    (x == 21 && in(y, 17, 19));
         }),
         4},
    };
}

// Random foot cells (about half), so that diagonal contacts, holes and one-cell pieces come in
// every arrangement; the generator's seed is in the failure message.
Grid randomGrid(std::uint32_t seed, int percent)
{
    std::mt19937 random(seed);
    Grid grid{};
    for (std::uint8_t& cell : grid) {
        cell = static_cast<int>(random() % 100) < percent ? static_cast<std::uint8_t>(1 + random() % 255) : 0;
    }
    return grid;
}

}  // namespace

TEST(SolidMesh, ShapesThatBreakNaiveMeshersAreClosedAndTrue)
{
    for (const Shape& shape : shapes()) {
        ASSERT_EQ(footPieceCount(shape.grid), shape.pieces) << shape.name;
        // The level only scales z: the ends of its range on the smaller shapes.
        std::vector<double> levels = {DEFAULT_LEVEL_MM};
        if (footCellCount(shape.grid) < 5000) {
            levels.insert(levels.end(), {MIN_LEVEL_MM, MAX_LEVEL_MM});
        }
        for (const double level : levels) {
            const SolidMesh mesh = buildSolid(shape.grid, level);
            EXPECT_EQ(solidProblems(mesh, shape.grid, level), "") << shape.name << " at " << level;
        }
    }
}

TEST(SolidMesh, RandomGridsAreClosedAndTrue)
{
    for (std::uint32_t seed = 1; seed <= 12; ++seed) {
        const Grid grid = randomGrid(seed, seed % 2 ? 50 : 85);
        const SolidMesh mesh = buildSolid(grid, DEFAULT_LEVEL_MM);
        EXPECT_EQ(solidProblems(mesh, grid, DEFAULT_LEVEL_MM), "") << "seed " << seed;
    }
}

// Without corner-only contacts the volume is the sum of h x level up to float rounding: each
// corner's mean height, counted for every cell that uses it, gives back their heights.
TEST(SolidMesh, VolumeIsTheSumOfTheHeightsWhereNoCornerIsCut)
{
    for (const Shape& shape : shapes()) {
        const std::string name = shape.name;
        if (name == "a diagonal" || name == "a checkerboard" || name == "corners touching three ways") {
            continue;
        }
        const SolidMesh mesh = buildSolid(shape.grid, DEFAULT_LEVEL_MM);
        EXPECT_EQ(solidProblems(mesh, shape.grid, DEFAULT_LEVEL_MM, 1e-6), "") << name;
    }
}

TEST(SolidMesh, TheSampleFootAsTheBatchMakesIt)
{
    setTraceStreams(nullptr, stderr);
    auto state = std::make_unique<InsoleState>();
    ASSERT_TRUE(loadFoot(*state, TARSOLA_SOURCE_DIR "/samples/foot.bmp"));
    for (const bool limit : {false, true}) {
        InsoleSettings settings = restoredSettings(*state);
        settings.limit = limit;
        settings.heightRatio = 1.7;
        recomputeHeights(*state, settings);
        const SolidMesh mesh = buildSolid(state->heightGrid, DEFAULT_LEVEL_MM);
        EXPECT_EQ(solidProblems(mesh, state->heightGrid, DEFAULT_LEVEL_MM, 1e-6), "") << limit;
    }
    setTraceStreams(stdout, stderr);
}

TEST(SolidMesh, TheSameGridGivesTheSameTrianglesInTheSameOrder)
{
    const Grid grid = randomGrid(99, 70);
    const SolidMesh a = buildSolid(grid, 0.3);
    const SolidMesh b = buildSolid(grid, 0.3);
    ASSERT_EQ(a.vertices.size(), b.vertices.size());
    EXPECT_EQ(std::memcmp(a.vertices.data(), b.vertices.data(), a.vertices.size() * sizeof(SolidVertex)), 0);
    EXPECT_EQ(a.triangles, b.triangles);
}

TEST(SolidMesh, NoFootOrALevelOutOfRangeMakesNoSolid)
{
    Grid grid{};
    EXPECT_TRUE(buildSolid(grid, DEFAULT_LEVEL_MM).empty());
    // The spare columns are never part of the solid.
    for (int y = 0; y < GRID_ROWS; ++y) {
        grid[gridIndex(150, y)] = 40;
        grid[gridIndex(151, y)] = 40;
    }
    EXPECT_TRUE(buildSolid(grid, DEFAULT_LEVEL_MM).empty());
    grid[gridIndex(3, 3)] = 40;
    EXPECT_FALSE(buildSolid(grid, DEFAULT_LEVEL_MM).empty());
    for (const double level : {0.0, -0.2, 0.049, 1.01, std::nan("")}) {
        EXPECT_TRUE(buildSolid(grid, level).empty()) << level;
    }
    const SolidFigures none = measureSolid(SolidMesh{});
    EXPECT_EQ(none.triangles, 0u);
    EXPECT_EQ(none.volumeMm3, 0.0);
}

TEST(SolidMesh, FiguresOfAStep)
{
    // Two pieces: a 4 x 2 block of heights 10 and 20 side by side, and one cell of 50.
    Grid grid{};
    for (int y = 40; y < 42; ++y) {
        for (int x = 10; x < 14; ++x) {
            grid[gridIndex(x, y)] = x < 12 ? 10 : 20;
        }
    }
    grid[gridIndex(100, 300)] = 50;
    const SolidFigures f = measureSolid(buildSolid(grid, 0.5));
    EXPECT_NEAR(f.volumeMm3, (4 * 10 + 4 * 20 + 50) * 0.5, 1e-3);
    EXPECT_FLOAT_EQ(f.thinnestMm, 5.0);
    EXPECT_FLOAT_EQ(f.thickestMm, 25.0);
    EXPECT_FLOAT_EQ(f.footprintWidthMm, 101.0 - 10.0);
    EXPECT_FLOAT_EQ(f.footprintLengthMm, 301.0 - 40.0);
    // Top: 4 per cell; walls: 2 per outline side (12 + 4); bottom: each row of the block is
    // one polygon of 5 points on its outer line and 2 on the shared one (5 triangles), the
    // one cell a square (2), not 2 per cell.
    EXPECT_EQ(f.triangles, 4u * 9 + 2 * 16 + (5 + 5 + 2));
}
