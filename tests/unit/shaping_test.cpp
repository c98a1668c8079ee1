// Height shaping: exact outputs, the returned lowest height and its trace.
#include "base/trace.h"
#include "base/grid.h"
#include "insole/shaping.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

struct Cell {
    int x;
    int y;
    int value;
};

Grid gridWith(const std::vector<Cell>& cells)
{
    Grid grid{};
    for (const Cell& c : cells) {
        grid[gridIndex(c.x, c.y)] = static_cast<std::uint8_t>(c.value);
    }
    return grid;
}

// Every cell of the grid, as "x,y=value" for the non-zero ones, so that a failure shows
// what moved.
std::string nonZeroCells(const Grid& grid)
{
    std::string out;
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < GRID_STRIDE; ++x) {
            if (grid[gridIndex(x, y)] != 0) {
                out += std::to_string(x) + "," + std::to_string(y) + "=" +
                       std::to_string(grid[gridIndex(x, y)]) + " ";
            }
        }
    }
    return out;
}

// What the view prints for a lowest height.
std::string traced(float lowest)
{
    testing::internal::CaptureStdout();
    traceLowestHeight(lowest);
    return testing::internal::GetCapturedStdout();
}

// A grid holding each grey value of `values` once, in rows 0, 1, ... (every corner of the
// 150 columns included), and the same grid with each value replaced by its expected height.
struct Case {
    Grid input{};
    Grid expected{};
};

Case valuesOnePerCell(const std::vector<std::pair<int, int>>& greyToHeight)
{
    struct Place {
        int x;
        int y;
    };
    static const Place places[] = {{0, 0}, {149, 0}, {0, 359}, {149, 359}, {75, 180}, {1, 1},
                                   {148, 358}, {2, 100}, {147, 200}, {60, 30}, {61, 30}, {90, 300}};
    Case c;
    int i = 0;
    for (const auto& [grey, height] : greyToHeight) {
        const Place& p = places[i++];
        c.input[gridIndex(p.x, p.y)] = static_cast<std::uint8_t>(grey);
        c.expected[gridIndex(p.x, p.y)] = static_cast<std::uint8_t>(height);
    }
    return c;
}

}  // namespace

TEST(Shaping, AllZeroGridStaysZeroAndReportsLowest255)
{
    Grid grid{};
    const float m = shapeHeights(grid, 300, 300.0, 1.0);
    EXPECT_EQ(m, 255.0f);
    EXPECT_EQ(traced(m), "min 255.000000\n");
    EXPECT_EQ(grid, Grid{});
}

TEST(Shaping, HalfHeightRatioTruncatesAndTracesTheUnroundedLowest)
{
    // Length ratio 1, height ratio 0.5: 25 and 40 scale to 12.5 and 20, are lowered by 2.5
    // and come out as 10 and 17 (17.5 truncated, not rounded).
    Grid grid = gridWith({{40, 100, 25}, {41, 100, 40}});
    const float m = shapeHeights(grid, 300, 300.0, 0.5);
    EXPECT_EQ(m, 12.5f);
    EXPECT_EQ(traced(m), "min 12.500000\n");
    EXPECT_EQ(grid, gridWith({{40, 100, 10}, {41, 100, 17}}));
}

TEST(Shaping, WithFactorOneTheFootIsShiftedSoItsLowestCellIs10)
{
    {
        SCOPED_TRACE("smallest 20: every non-zero cell 10 lower");
        Case c = valuesOnePerCell({{20, 10}, {21, 11}, {100, 90}, {254, 244}, {255, 245}, {30, 20}});
        const float m = shapeHeights(c.input, 250, 250.0, 1.0);
        EXPECT_EQ(m, 20.0f);
        EXPECT_EQ(nonZeroCells(c.input), nonZeroCells(c.expected));
    }
    {
        SCOPED_TRACE("smallest 10: the shift is skipped, nothing changes");
        Case c = valuesOnePerCell({{10, 10}, {11, 11}, {254, 254}, {255, 255}, {128, 128}});
        const float m = shapeHeights(c.input, 250, 250.0, 1.0);
        EXPECT_EQ(m, 10.0f);
        EXPECT_EQ(nonZeroCells(c.input), nonZeroCells(c.expected));
    }
    {
        SCOPED_TRACE("smallest 5: every non-zero cell 5 higher, clamped at 255");
        Case c = valuesOnePerCell(
            {{5, 10}, {6, 11}, {100, 105}, {249, 254}, {250, 255}, {251, 255}, {255, 255}});
        const float m = shapeHeights(c.input, 250, 250.0, 1.0);
        EXPECT_EQ(m, 5.0f);
        EXPECT_EQ(traced(m), "min 5.000000\n");
        EXPECT_EQ(nonZeroCells(c.input), nonZeroCells(c.expected));
    }
    {
        SCOPED_TRACE("smallest 1: raised by 9");
        Case c = valuesOnePerCell({{1, 10}, {2, 11}, {246, 255}, {245, 254}});
        EXPECT_EQ(shapeHeights(c.input, 250, 250.0, 1.0), 1.0f);
        EXPECT_EQ(nonZeroCells(c.input), nonZeroCells(c.expected));
    }
}

TEST(Shaping, LowestHeightStays255WhenNoScaledCellIsBelow255)
{
    {
        SCOPED_TRACE("every cell of columns 0 to 149 at 255, factor 1: all come out as 10");
        Grid grid{};
        for (int y = 0; y < GRID_ROWS; ++y) {
            for (int x = 0; x < FOOT_COLUMNS; ++x) {
                grid[gridIndex(x, y)] = 255;
            }
        }
        const float m = shapeHeights(grid, 300, 300.0, 1.0);
        EXPECT_EQ(m, 255.0f);
        EXPECT_EQ(traced(m), "min 255.000000\n");
        for (int y = 0; y < GRID_ROWS; ++y) {
            for (int x = 0; x < GRID_STRIDE; ++x) {
                ASSERT_EQ(grid[gridIndex(x, y)], x < FOOT_COLUMNS ? 10 : 0) << x << "," << y;
            }
        }
    }
    {
        SCOPED_TRACE("factor 2, every grey value 128 or more: all lowered by 245");
        // 128 -> 256 -> 11; 200 -> 400 -> 155; 250 -> 500 -> 255; 255 -> 510 -> 255; 0 stays.
        Case c = valuesOnePerCell({{128, 11}, {200, 155}, {250, 255}, {255, 255}, {130, 15}, {0, 0}});
        const float m = shapeHeights(c.input, 300, 300.0, 2.0);
        EXPECT_EQ(m, 255.0f);
        EXPECT_EQ(nonZeroCells(c.input), nonZeroCells(c.expected));
    }
    {
        SCOPED_TRACE("factor 2 through the length ratio: length 300 for a foot of 150");
        Case c = valuesOnePerCell({{128, 11}, {200, 155}, {250, 255}});
        EXPECT_EQ(shapeHeights(c.input, 150, 300.0, 1.0), 255.0f);
        EXPECT_EQ(nonZeroCells(c.input), nonZeroCells(c.expected));
    }
}

TEST(Shaping, SpareColumnsAreNeitherReadNorWritten)
{
    // Columns 150 and 151 hold values that would change the lowest height (1) and that the
    // shift would move; they come out as they went in and do not count for m.
    Grid grid = gridWith({{10, 50, 20}, {11, 50, 60}});
    for (int y = 0; y < GRID_ROWS; ++y) {
        grid[gridIndex(150, y)] = static_cast<std::uint8_t>(y % 3 == 0 ? 1 : y % 256);
        grid[gridIndex(151, y)] = static_cast<std::uint8_t>(255 - y % 200);
    }
    const Grid before = grid;
    const float m = shapeHeights(grid, 300, 300.0, 1.0);
    EXPECT_EQ(m, 20.0f);
    EXPECT_EQ(grid[gridIndex(10, 50)], 10);
    EXPECT_EQ(grid[gridIndex(11, 50)], 50);
    for (int y = 0; y < GRID_ROWS; ++y) {
        ASSERT_EQ(grid[gridIndex(150, y)], before[gridIndex(150, y)]) << "row " << y;
        ASSERT_EQ(grid[gridIndex(151, y)], before[gridIndex(151, y)]) << "row " << y;
    }
}

TEST(Shaping, RoundsInSingleOrDoublePrecisionExactlyWhereItMust)
{
    // Each case was found and checked with an independent model of the shaping rules that
    // rounds to single precision explicitly; a wrong choice of precision changes the second
    // cell by 1.
    {
        SCOPED_TRACE("scaled cells rounded to float (kept in double: 177)");
        Grid grid = gridWith({{20, 20, 57}, {21, 20, 193}});
        const float m = shapeHeights(grid, 187, 175.0, 1.32);
        EXPECT_EQ(m, 70.4117660522461f);
        EXPECT_EQ(grid, gridWith({{20, 20, 10}, {21, 20, 178}}));
    }
    {
        SCOPED_TRACE("length ratio rounded to float, factor kept in double (otherwise 185)");
        Grid grid = gridWith({{20, 20, 89}, {21, 20, 214}});
        const float m = shapeHeights(grid, 202, 280.0, 1.01);
        EXPECT_EQ(m, 124.5999984741211f);
        EXPECT_EQ(grid, gridWith({{20, 20, 10}, {21, 20, 184}}));
    }
    {
        SCOPED_TRACE("shift subtracted in double (in float: 43)");
        Grid grid = gridWith({{20, 20, 4}, {21, 20, 96}});
        const float m = shapeHeights(grid, 92, 110.0, 0.3);
        EXPECT_EQ(m, 1.4347825050354004f);
        EXPECT_EQ(traced(m), "min 1.434783\n");
        EXPECT_EQ(grid, gridWith({{20, 20, 10}, {21, 20, 42}}));
    }
}

TEST(Shaping, TheCellHoldingTheLowestScaledValueComesOutAs10)
{
    // Over many factors, the smallest grey value of a foot always ends at exactly 10 and no
    // other non-zero cell below it; zeros stay 0.
    for (int footLength = 120; footLength <= 360; footLength += 59) {
        for (int percent = 50; percent <= 150; percent += 13) {
            const double length = footLength * percent / 100;
            for (int ratio = 10; ratio <= 200; ratio += 23) {
                Grid grid = gridWith({{5, 5, 33}, {6, 5, 34}, {7, 5, 90}, {8, 5, 0}, {9, 5, 200}});
                const float m = shapeHeights(grid, footLength, length, ratio / 100.0);
                if (m >= 255.0f) {
                    continue;
                }
                SCOPED_TRACE(testing::Message() << footLength << " " << length << " " << ratio);
                EXPECT_EQ(grid[gridIndex(5, 5)], 10);
                EXPECT_GE(grid[gridIndex(6, 5)], 10);
                EXPECT_GE(grid[gridIndex(7, 5)], grid[gridIndex(6, 5)]);
                EXPECT_EQ(grid[gridIndex(8, 5)], 0);
                EXPECT_GE(grid[gridIndex(9, 5)], grid[gridIndex(7, 5)]);
            }
        }
    }
}
