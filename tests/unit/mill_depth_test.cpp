// How deep the toolpath cuts, measured on a plain model of the blank of its own
// (support/mill_reference): on the sample foot and two other feet, with and without a relief,
// at the default setup, no feed move takes more than a step-down, the allowance and the ball's
// flank; no plunge goes deeper into material than a step-down; no rapid touches material; and
// the largest cut the figures report is the one the model finds.
#include "insole/recompute.h"
#include "insole/relief_plan.h"
#include "mill/toolpath.h"
#include "support/limit_grids.h"
#include "support/mill_reference.h"
#include "support/pressure_files.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// The reference's cells, a quarter of the tool's radius, and its stamps, a quarter of a cell
// apart.
constexpr double REFERENCE_CELL = 0.75;
constexpr double REFERENCE_STEP = 0.1875;
// How much finer or coarser the reference may find a cut than the toolpath's model does:
// where only the ball's rim grazes a wall, cells a few tenths apart see different depths.
constexpr double REPORT_TOLERANCE = 0.3;

// The heights of a foot image at its measured size and this height ratio, with or without the
// relief of a plate's measurement of it placed at the defaults.
Grid insoleOf(const std::string& file, double heightRatio, bool relieved)
{
    auto state = std::make_unique<InsoleState>();
    testing::internal::CaptureStdout();
    EXPECT_TRUE(loadFoot(*state, file.c_str()));
    auto plan = std::make_unique<ReliefPlan>();
    if (relieved) {
        const std::string matrix = pressureMatrixOf(state->footGrid, 5.0);
        std::string failure;
        EXPECT_TRUE(readPressureBytes(reinterpret_cast<const std::uint8_t*>(matrix.data()),
                                      matrix.size(), "plate.csv", PressureOptions{}, plan->map, failure))
            << failure;
        EXPECT_TRUE(placeRelief(*plan, state->footGrid, PlacementCorrection{}, DEFAULT_LEVEL_MM, failure))
            << failure;
        EXPECT_NE(activeRelief(plan.get()), nullptr) << file;
    }
    auto drawn = std::make_unique<DrawnRelief>();
    InsoleSettings settings = restoredSettings(*state);
    settings.heightRatio = heightRatio;
    recomputeHeights(*state, settings, relieved ? activeRelief(plan.get()) : nullptr, drawn.get());
    testing::internal::GetCapturedStdout();
    return state->heightGrid;
}

std::string describe(const Toolpath& path, std::size_t i)
{
    const MillMove& a = path.moves[i - 1];
    const MillMove& b = path.moves[i];
    return "move " + std::to_string(i) + (i >= path.finishingStart ? " (finishing)" : " (roughing)") +
           " from X" + std::to_string(a.x) + " Y" + std::to_string(a.y) + " Z" + std::to_string(a.z) +
           " to X" + std::to_string(b.x) + " Y" + std::to_string(b.y) + " Z" + std::to_string(b.z);
}

}  // namespace

TEST(ToolpathDepth, NoMoveCutsDeeperThanAStepDownAndTheAllowanceOnThreeFeet)
{
    TempDir dir;
    writeImage(dir.file("grey.bmp"), FIF_BMP, 150, 360, 8, [grey = greyFoot()](int x, int y) {
        return grey[gridIndex(x, y)];
    });
    writeImage(dir.file("rectangle.bmp"), FIF_BMP, 150, 360, 8, rectangleFoot);
    const MillSetup setup;
    const double limit = setup.stepdownMm + setup.allowanceMm + 0.5;
    // The rectangle is a block with walls all round, at half height to fit the default flute.
    const std::pair<std::string, double> feet[] = {{TARSOLA_SOURCE_DIR "/samples/foot.bmp", 1.0},
                                                   {dir.file("grey.bmp"), 1.0},
                                                   {dir.file("rectangle.bmp"), 0.5}};
    for (const auto& [foot, ratio] : feet) {
        for (bool relieved : {false, true}) {
            SCOPED_TRACE(foot + (relieved ? " with a relief" : " without a relief"));
            const Grid heights = insoleOf(foot, ratio, relieved);
            Toolpath path;
            std::string refusal;
            ASSERT_TRUE(planToolpath(heights, DEFAULT_LEVEL_MM, setup, path, refusal)) << refusal;
            const MoveCuts cuts = cutsOfMoves(path, REFERENCE_CELL, REFERENCE_STEP);
            for (std::size_t i = 1; i < path.moves.size(); ++i) {
                const MillMove& m = path.moves[i];
                switch (m.kind) {
                case MillMoveKind::Rapid:
                    ASSERT_LE(cuts.depth[i], 0.05) << "a rapid through material: " << describe(path, i);
                    break;
                case MillMoveKind::Plunge:
                    // Never straight down through the blank to the table.
                    ASSERT_LE(cuts.depth[i], setup.stepdownMm + 0.02) << describe(path, i);
                    break;
                case MillMoveKind::Cut:
                    ASSERT_LE(cuts.depth[i], limit) << describe(path, i);
                    break;
                }
            }
            EXPECT_NEAR(path.figures.largestCutMm, cuts.deepestFeed, REPORT_TOLERANCE)
                << "deepest at " << describe(path, cuts.deepestMove);
            // The first level takes a whole step-down: the model measures what it claims to.
            EXPECT_GE(cuts.deepestFeed, setup.stepdownMm - 0.05);
        }
    }
}

// Small grids that trap a roughing (a plateau with a wall taller than the ball's radius, a
// single tall cell, a ridge a cell wide, a pit narrower than the tool, a sharp-edged recess;
// gaps between toes as narrow as a cell), with a large and a small tool: no move takes more
// than a step-down, the allowance and the flank, no plunge more than a step-down.
TEST(ToolpathDepth, TrapsOfWallsPitsAndGapsAreRoughedLevelByLevel)
{
    Grid traps{};
    Grid toes{};
    for (int y = 100; y < 124; ++y) {
        for (int x = 60; x < 84; ++x) {
            int h = 40;
            if (x == 66 && y == 106) {
                h = 100;
            } else if (x == 74 && y >= 102 && y < 122) {
                h = 70;
            } else if (x >= 79 && x < 81 && y >= 104 && y < 106) {
                h = 2;
            } else if (x >= 62 && x < 70 && y >= 113 && y < 121) {
                h = 20;
            }
            traps[gridIndex(x, y)] = static_cast<std::uint8_t>(h);
            // Toes 16 mm tall a cell apart, the gaps across the raster's lines.
            toes[gridIndex(x, y)] = static_cast<std::uint8_t>(y >= 108 && y % 4 == 3 ? 0 : 80);
        }
    }
    for (const Grid* grid : {&traps, &toes}) {
        for (double tool : {6.0, 1.0}) {
            SCOPED_TRACE((grid == &traps ? "traps, tool " : "toes, tool ") + std::to_string(tool));
            MillSetup setup;
            setup.toolMm = tool;
            setup.stepoverMm = tool / 4.0;
            Toolpath path;
            std::string refusal;
            ASSERT_TRUE(planToolpath(*grid, DEFAULT_LEVEL_MM, setup, path, refusal)) << refusal;
            const double cell = tool / 8.0;
            const MoveCuts cuts = cutsOfMoves(path, cell, cell / 4.0);
            for (std::size_t i = 1; i < path.moves.size(); ++i) {
                const MillMove& m = path.moves[i];
                if (m.kind == MillMoveKind::Plunge) {
                    ASSERT_LE(cuts.depth[i], setup.stepdownMm + 0.05) << describe(path, i);
                } else if (m.kind == MillMoveKind::Cut) {
                    ASSERT_LE(cuts.depth[i], setup.stepdownMm + setup.allowanceMm + 0.5) << describe(path, i);
                } else {
                    ASSERT_LE(cuts.depth[i], 0.05) << "a rapid through material: " << describe(path, i);
                }
            }
            EXPECT_NEAR(path.figures.largestCutMm, cuts.deepestFeed, REPORT_TOLERANCE);
        }
    }
}

// A blank deeper than the flute is refused with what would mill the insole: the thinnest
// whole millimetre of blank that holds it, when the flute takes that, and a flute as long as
// the blank.
TEST(ToolpathDepth, ABlankDeeperThanTheFluteNamesTheBlankAndTheFluteThatWouldMillIt)
{
    // 70 levels of 0.2 mm: 14 mm thick, an automatic blank of 16 mm.
    Grid grid{};
    for (int y = 100; y < 140; ++y) {
        for (int x = 60; x < 90; ++x) {
            grid[gridIndex(x, y)] = y == 120 && x == 75 ? 70 : 40;
        }
    }
    MillSetup setup;
    setup.fluteMm = 15.0;
    Toolpath path;
    std::string refusal;
    MillWaysOut ways;
    ASSERT_FALSE(planToolpath(grid, DEFAULT_LEVEL_MM, setup, path, refusal, &ways));
    EXPECT_EQ(refusal, "the blank of 16 mm is deeper than the flute length of 15 mm");
    EXPECT_TRUE(ways.blankTooDeep);
    EXPECT_EQ(millWaysOutText(ways, "--blank-mm", "--flute-mm", ""),
              "--blank-mm 14 (the thinnest whole millimetre that holds the insole) or --flute-mm 16");
    EXPECT_EQ(millWaysOutText(ways, "毛胚厚度", "刃長", " mm"),
              "毛胚厚度 14 mm (the thinnest whole millimetre that holds the insole) or 刃長 16 mm");
    // The blank it names mills it.
    setup.blankMm = ways.blankMm;
    EXPECT_TRUE(planToolpath(grid, DEFAULT_LEVEL_MM, setup, path, refusal)) << refusal;

    // A flute shorter than the insole is thick: only a longer flute mills it.
    setup.blankMm = 0.0;
    setup.fluteMm = 13.5;
    ASSERT_FALSE(planToolpath(grid, DEFAULT_LEVEL_MM, setup, path, refusal, &ways));
    EXPECT_EQ(millWaysOutText(ways, "--blank-mm", "--flute-mm", ""), "--flute-mm 16");
    // A level whose thickest point lies a hair above a whole millimetre (70 levels of
    // 0.20000001 mm are 14.0000007 mm): the blank named is the next millimetre up, and mills.
    setup.fluteMm = 15.0;
    const double hairLevel = 0.20000001;
    ASSERT_FALSE(planToolpath(grid, hairLevel, setup, path, refusal, &ways));
    EXPECT_EQ(ways.blankMm, 15.0) << refusal;
    setup.blankMm = ways.blankMm;
    EXPECT_TRUE(planToolpath(grid, hairLevel, setup, path, refusal)) << refusal;
    setup.blankMm = 0.0;
    // Another refusal names no way out.
    setup.fluteMm = 40.0;
    setup.blankMm = 10.0;
    ASSERT_FALSE(planToolpath(grid, DEFAULT_LEVEL_MM, setup, path, refusal, &ways));
    EXPECT_FALSE(ways.blankTooDeep);
    EXPECT_EQ(millWaysOutText(ways, "--blank-mm", "--flute-mm", ""), "");
}
