// Slope limiting: the pass iteration's own edge cases, then the fast limiter
// against the pass iteration on thousands of random grids.
#include "support/limit_grids.h"
#include "support/reference_limit.h"
#include "base/grid.h"
#include "base/grid_stats.h"
#include "insole/shaping.h"
#include "insole/slope_limit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Cell {
    int x;
    int y;
    int value;
};

Grid gridWith(const std::vector<Cell>& cells, Grid grid = Grid{})
{
    for (const Cell& c : cells) {
        grid[gridIndex(c.x, c.y)] = static_cast<std::uint8_t>(c.value);
    }
    return grid;
}

// Empty when equal, otherwise the first cells that differ.
std::string differences(const Grid& actual, const Grid& expected, const Grid* input = nullptr)
{
    std::string out;
    int shown = 0;
    for (int y = 0; y < GRID_ROWS && shown < 5; ++y) {
        for (int x = 0; x < GRID_STRIDE && shown < 5; ++x) {
            const int i = gridIndex(x, y);
            if (actual[i] != expected[i]) {
                out += "cell " + std::to_string(x) + "," + std::to_string(y) + ": got " +
                       std::to_string(actual[i]) + ", expected " + std::to_string(expected[i]);
                if (input != nullptr) {
                    out += " (input " + std::to_string((*input)[i]) + ")";
                }
                out += "\n";
                ++shown;
            }
        }
    }
    return out;
}

Grid fastLimited(Grid grid)
{
    limitSlopes(grid);
    return grid;
}

// Runs the pass iteration and the fast limiter on the same input; both must give
// `expected` (when given), and the iteration must take `passes` passes (when not 0).
void expectLimited(const Grid& input, const Grid& expected, int passes = 0)
{
    Grid reference = input;
    const int taken = referenceLimitSlopes(reference);
    EXPECT_EQ(differences(reference, expected, &input), "") << "pass iteration";
    if (passes != 0) {
        EXPECT_EQ(taken, passes) << "passes of the pass iteration";
    }
    EXPECT_EQ(differences(fastLimited(input), expected, &input), "") << "limitSlopes";
}

// Whether every non-zero interior cell stands at most 3 above each non-zero edge neighbour
// and at most 4 above each non-zero corner neighbour.
bool keepsTheLimits(const Grid& grid)
{
    for (int y = LIMIT_FIRST_ROW; y <= LIMIT_LAST_ROW; ++y) {
        for (int x = LIMIT_FIRST_COLUMN; x <= LIMIT_LAST_COLUMN; ++x) {
            const int h = grid[gridIndex(x, y)];
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    const int n = grid[gridIndex(x + dx, y + dy)];
                    const int rise = dx != 0 && dy != 0 ? LIMIT_CORNER_RISE : LIMIT_EDGE_RISE;
                    if ((dx != 0 || dy != 0) && h != 0 && n != 0 && h - n > rise) {
                        return false;
                    }
                }
            }
        }
    }
    return true;
}

bool interior(int x, int y)
{
    return x >= LIMIT_FIRST_COLUMN && x <= LIMIT_LAST_COLUMN && y >= LIMIT_FIRST_ROW &&
           y <= LIMIT_LAST_ROW;
}

}  // namespace

TEST(SlopeLimit, TwoNeighboursDifferingByMoreThanTheRiseMeetTheLimit)
{
    // Edge neighbours: a difference of 4 is one too many, 3 is allowed.
    expectLimited(gridWith({{50, 100, 10}, {51, 100, 14}}), gridWith({{50, 100, 10}, {51, 100, 13}}), 2);
    expectLimited(gridWith({{50, 100, 10}, {51, 100, 13}}), gridWith({{50, 100, 10}, {51, 100, 13}}), 1);
    expectLimited(gridWith({{50, 100, 14}, {50, 101, 10}}), gridWith({{50, 100, 13}, {50, 101, 10}}), 2);
    // Corner neighbours: a difference of 5 is one too many, 4 is allowed.
    expectLimited(gridWith({{50, 100, 10}, {51, 101, 15}}), gridWith({{50, 100, 10}, {51, 101, 14}}), 2);
    expectLimited(gridWith({{50, 100, 10}, {51, 101, 14}}), gridWith({{50, 100, 10}, {51, 101, 14}}), 1);
    expectLimited(gridWith({{51, 100, 15}, {50, 101, 10}}), gridWith({{51, 100, 14}, {50, 101, 10}}), 2);
    // Cells two apart are not neighbours.
    expectLimited(gridWith({{50, 100, 10}, {52, 100, 200}}), gridWith({{50, 100, 10}, {52, 100, 200}}), 1);
}

TEST(SlopeLimit, ThreeCellsInARowAreLoweredTogetherPassByPass)
{
    Grid grid = gridWith({{60, 200, 10}, {61, 200, 14}, {62, 200, 18}});
    // Pass 1 judges both higher cells from the old values and lowers each by one.
    EXPECT_TRUE(referenceLimitPass(grid));
    EXPECT_EQ(differences(grid, gridWith({{60, 200, 10}, {61, 200, 13}, {62, 200, 17}})), "");
    EXPECT_TRUE(referenceLimitPass(grid));
    EXPECT_EQ(differences(grid, gridWith({{60, 200, 10}, {61, 200, 13}, {62, 200, 16}})), "");
    EXPECT_FALSE(referenceLimitPass(grid));
    EXPECT_EQ(differences(grid, gridWith({{60, 200, 10}, {61, 200, 13}, {62, 200, 16}})), "");

    expectLimited(gridWith({{60, 200, 10}, {61, 200, 14}, {62, 200, 18}}),
                  gridWith({{60, 200, 10}, {61, 200, 13}, {62, 200, 16}}), 3);
}

TEST(SlopeLimit, PeaksComeDownToTheirLowestNeighbourPlusTheRise)
{
    {
        SCOPED_TRACE("a peak of 100 inside an area of 10s ends at 13 after 88 passes");
        Grid input{};
        for (int y = 170; y <= 190; ++y) {
            for (int x = 65; x <= 85; ++x) {
                input[gridIndex(x, y)] = 10;
            }
        }
        Grid expected = input;
        input[gridIndex(75, 180)] = 100;
        expected[gridIndex(75, 180)] = 13;
        expectLimited(input, expected, 88);
    }
    {
        SCOPED_TRACE("a peak of 255 with only corner neighbours of 1 ends at 5");
        const Grid input = gridWith({{40, 40, 255}, {39, 39, 1}, {41, 41, 1}, {39, 41, 1}, {41, 39, 1}});
        expectLimited(input, gridWith({{40, 40, 5}, {39, 39, 1}, {41, 41, 1}, {39, 41, 1}, {41, 39, 1}}));
    }
    {
        SCOPED_TRACE("a plateau of 255 beside a valley of 1: the slope rises by 3 per cell");
        Grid input{};
        Grid expected{};
        for (int x = 2; x <= 147; ++x) {
            input[gridIndex(x, 100)] = x < 20 ? 1 : 255;
            expected[gridIndex(x, 100)] = static_cast<std::uint8_t>(x < 20 ? 1 : std::min(255, 1 + 3 * (x - 19)));
        }
        expectLimited(input, expected);
    }
}

TEST(SlopeLimit, CellsOutsideTheInteriorAreNeverLoweredButLimitTheirNeighbours)
{
    // Column 50 is interior; rows 1 and 358 are not.
    expectLimited(gridWith({{50, 1, 200}, {50, 2, 10}}), gridWith({{50, 1, 200}, {50, 2, 10}}), 1);
    expectLimited(gridWith({{50, 2, 200}, {50, 1, 10}}), gridWith({{50, 2, 13}, {50, 1, 10}}));
    expectLimited(gridWith({{50, 358, 200}, {50, 357, 10}}), gridWith({{50, 358, 200}, {50, 357, 10}}), 1);
    expectLimited(gridWith({{50, 357, 200}, {50, 358, 10}}), gridWith({{50, 357, 13}, {50, 358, 10}}));
    // Columns 1 and 148 likewise, and a corner neighbour across the border.
    expectLimited(gridWith({{1, 80, 200}, {2, 80, 10}}), gridWith({{1, 80, 200}, {2, 80, 10}}), 1);
    expectLimited(gridWith({{2, 80, 200}, {1, 80, 10}}), gridWith({{2, 80, 13}, {1, 80, 10}}));
    expectLimited(gridWith({{148, 80, 200}, {147, 80, 10}}), gridWith({{148, 80, 200}, {147, 80, 10}}), 1);
    expectLimited(gridWith({{147, 80, 200}, {148, 81, 10}}), gridWith({{147, 80, 14}, {148, 81, 10}}));
    expectLimited(gridWith({{2, 2, 200}, {1, 1, 10}}), gridWith({{2, 2, 14}, {1, 1, 10}}));
    expectLimited(gridWith({{147, 357, 200}, {148, 358, 10}}), gridWith({{147, 357, 14}, {148, 358, 10}}));

    {
        SCOPED_TRACE("a frame of 255 outside the interior around a foot of 10s stays");
        Grid input{};
        for (int y = 0; y < GRID_ROWS; ++y) {
            for (int x = 0; x < GRID_STRIDE; ++x) {
                input[gridIndex(x, y)] = interior(x, y) ? 10 : 255;
            }
        }
        expectLimited(input, input, 1);
    }
    {
        SCOPED_TRACE("a frame of 1 around a plateau of 255: only the interior comes down");
        Grid input{};
        Grid expected{};
        for (int y = 0; y < GRID_ROWS; ++y) {
            for (int x = 0; x < GRID_STRIDE; ++x) {
                input[gridIndex(x, y)] = interior(x, y) ? 255 : 1;
                // Distance to the frame: the nearest frame cell of rows 1/358 or columns 1/148.
                const int steps = std::min({x - 1, 148 - x, y - 1, 358 - y});
                expected[gridIndex(x, y)] =
                    static_cast<std::uint8_t>(interior(x, y) ? std::min(255, 1 + 3 * steps) : 1);
            }
        }
        expectLimited(input, expected);
    }
}

TEST(SlopeLimit, ZeroCellsNeverChangeAndNeverCountAsNeighbours)
{
    // A high cell among zeros, and one beside a low cell only across a zero.
    expectLimited(gridWith({{70, 70, 200}}), gridWith({{70, 70, 200}}), 1);
    expectLimited(gridWith({{70, 70, 200}, {72, 70, 10}}), gridWith({{70, 70, 200}, {72, 70, 10}}), 1);
    {
        SCOPED_TRACE("a wall of zeros between a plateau of 255 and a field of 1");
        Grid input{};
        for (int y = 2; y <= 357; ++y) {
            for (int x = 2; x <= 147; ++x) {
                input[gridIndex(x, y)] = x < 70 ? 1 : x == 70 ? 0 : 255;
            }
        }
        expectLimited(input, input, 1);
    }
    {
        SCOPED_TRACE("a lowering goes round a wall of zeros, never through it");
        Grid input{};
        Grid expected{};
        // Row 100: 10 at x = 20, a zero at x = 21, 255 beyond; row 101 connects them from
        // x = 20 on. The cells right of the wall come down through row 101.
        for (int x = 20; x <= 40; ++x) {
            input[gridIndex(x, 100)] = x == 20 ? 10 : x == 21 ? 0 : 255;
            input[gridIndex(x, 101)] = 255;
        }
        Grid reference = input;
        referenceLimitSlopes(reference);
        EXPECT_EQ(reference[gridIndex(21, 100)], 0);
        EXPECT_EQ(reference[gridIndex(20, 101)], 13);
        EXPECT_EQ(reference[gridIndex(21, 101)], 14);  // corner of (20, 100)
        EXPECT_EQ(reference[gridIndex(22, 100)], 18);  // corner of (21, 101), edge of nothing lower
        expected = reference;
        expectLimited(input, expected);
    }
    {
        SCOPED_TRACE("a non-zero cell never reaches 0");
        Grid input{};
        for (int x = 10; x <= 100; ++x) {
            input[gridIndex(x, 50)] = x == 10 ? 1 : 255;
            input[gridIndex(x, 51)] = 255;
        }
        const Grid limited = fastLimited(input);
        for (int i = 0; i < GRID_ROWS * GRID_STRIDE; ++i) {
            ASSERT_EQ(limited[i] == 0, input[i] == 0) << "cell " << i;
        }
    }
}

TEST(SlopeLimit, TheResultKeepsTheLimitsAndLimitingAgainChangesNothing)
{
    std::vector<Grid> inputs = {steepPlateau(), zigzagMaze(), staircaseMaze(), greyFoot(), randomRelief(7u)};
    Grid shaped = greyFoot();
    shapeHeights(shaped, 300, 360.0, 2.0);
    inputs.push_back(shaped);
    for (std::size_t k = 0; k < inputs.size(); ++k) {
        SCOPED_TRACE(testing::Message() << "grid " << k);
        const Grid& input = inputs[k];
        const Grid once = fastLimited(input);
        EXPECT_TRUE(keepsTheLimits(once));
        for (int i = 0; i < GRID_ROWS * GRID_STRIDE; ++i) {
            ASSERT_LE(once[i], input[i]) << "cell " << i << " was raised";
            if (!interior(i % GRID_STRIDE, i / GRID_STRIDE)) {
                ASSERT_EQ(once[i], input[i]) << "cell " << i << " outside the interior changed";
            }
        }
        EXPECT_EQ(differences(fastLimited(once), once), "") << "limiting twice";
        Grid again = once;
        EXPECT_EQ(referenceLimitSlopes(again), 1) << "the pass iteration on a limited grid";
        EXPECT_EQ(differences(again, once), "");
    }
}

TEST(SlopeLimit, WorstCasesGiveTheSameBytesAsThePassIteration)
{
    // The benchmark's grids: each takes the pass iteration 100 to 300 passes. (Random relief
    // over the whole grid is left to the benchmark: the iteration takes seconds on it in a
    // sanitizer build.)
    Grid shaped = greyFoot();
    shapeHeights(shaped, 300, 300.0, 2.0);
    const std::vector<std::pair<const char*, Grid>> cases = {
        {"steep plateau", steepPlateau()},
        {"zigzag maze", zigzagMaze()},
        {"zigzag maze from 1", zigzagMaze(1)},
        {"staircase maze", staircaseMaze()},
        {"grey foot at height ratio 2", shaped},
    };
    for (const auto& [name, input] : cases) {
        SCOPED_TRACE(name);
        Grid reference = input;
        const int passes = referenceLimitSlopes(reference);
        EXPECT_GE(passes, 100);
        Grid sweeps = input;
        const int sweepCount = sweepLimitSlopes(sweeps);
        EXPECT_EQ(differences(sweeps, reference, &input), "") << "plain sweeps";
        EXPECT_EQ(differences(fastLimited(input), reference, &input), "") << "limitSlopes";
        Grid settled = input;
        limitSlopesWithoutSweeps(settled);
        EXPECT_EQ(differences(settled, reference, &input), "") << "propagation alone";
        if (std::string(name).find("maze") != std::string::npos) {
            // The mazes are there to defeat raster sweeps.
            EXPECT_GE(sweepCount, 60);
        }
    }
}

// ---------------------------------------------------------------------------------------
// Randomized equality with the pass iteration.

namespace {

// Seed of the randomized test; TARSOLA_LIMIT_SEED overrides it to explore other grids.
std::uint32_t masterSeed()
{
    const char* text = std::getenv("TARSOLA_LIMIT_SEED");
    return text != nullptr ? static_cast<std::uint32_t>(std::strtoul(text, nullptr, 10)) : 20240611u;
}

class RandomGrids {
public:
    // xorshift64*: the same grids from the same seed with every compiler and library.
    explicit RandomGrids(std::uint32_t seed) : state_(0x9E3779B97F4A7C15ull ^ seed) { next(); }

    std::uint32_t next()
    {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return static_cast<std::uint32_t>((state_ * 0x2545F4914F6CDD1Dull) >> 32);
    }
    int below(int n) { return static_cast<int>((static_cast<std::uint64_t>(next()) * n) >> 32); }
    int between(int lo, int hi) { return lo + below(hi - lo + 1); }
    // True with probability percent / 100.
    bool chance(int percent) { return below(100) < percent; }

    // A value from lo to hi, kept within 1 to 255.
    int value(int lo, int hi) { return std::clamp(between(lo, hi), 1, 255); }

    struct Rect {
        int x0, y0, w, h;
    };

    // A rectangle of cells at a random place, often touching the border rows 0 to 3 and
    // 356 to 359 or columns 0 to 3 and 146 to 151, filled with base + 0..spread, with
    // `holes` percent of zero cells.
    Rect patch(Grid& grid, int maxSize, int base, int spread, int holes)
    {
        const int w = between(1, maxSize);
        const int h = between(1, maxSize);
        int x0 = between(0, GRID_STRIDE - w);
        int y0 = between(0, GRID_ROWS - h);
        switch (below(4)) {
        case 0: x0 = between(0, 3); break;
        case 1: x0 = std::max(0, between(146, 151) - w + 1); break;
        case 2: y0 = below(2) == 0 ? between(0, 3) : std::max(0, between(356, 359) - h + 1); break;
        default: break;
        }
        for (int y = y0; y < y0 + h; ++y) {
            for (int x = x0; x < x0 + w; ++x) {
                grid[gridIndex(x, y)] = chance(holes) ? 0 : static_cast<std::uint8_t>(value(base, base + spread));
            }
        }
        return {x0, y0, w, h};
    }

    // Low relief over the whole grid, spare columns included, near 0, near 255 or anywhere
    // between: few passes, but every cell in play.
    Grid smallRelief()
    {
        Grid grid{};
        const int spread = between(0, 7);
        const int kind = below(3);
        const int base = kind == 0 ? between(1, 4) : kind == 1 ? between(248 - spread, 255) : between(1, 255);
        static const int holeChoices[] = {0, 2, 20, 50};
        const int holes = holeChoices[below(4)];
        for (auto& cell : grid) {
            cell = chance(holes) ? 0 : static_cast<std::uint8_t>(value(base, base + spread));
        }
        return grid;
    }

    // A few small patches of steeper relief, anywhere, often at the border.
    Grid patches()
    {
        Grid grid{};
        static const int holeChoices[] = {0, 10, 35};
        for (int k = between(1, 4); k > 0; --k) {
            const int spread = between(4, 30);
            patch(grid, 18, between(1, 256 - spread), spread, holeChoices[below(3)]);
        }
        return grid;
    }

    // Lone peaks and small plateaus of 200 to 255 on a small field of low cells, the field
    // often at the border: up to about 250 passes.
    Grid peaksAndPlateaus()
    {
        Grid grid{};
        const int fieldBase = below(2) == 0 ? between(1, 3) : between(1, 60);
        const Rect field = patch(grid, 24, fieldBase, between(0, 2), below(2) == 0 ? 0 : 8);
        for (int k = between(1, 4); k > 0; --k) {
            const int w = std::min({below(2) == 0 ? 1 : between(2, 6), field.w, field.h});
            const int x0 = field.x0 + below(field.w - w + 1);
            const int y0 = field.y0 + below(field.h - w + 1);
            const int top = between(200, 255);
            for (int y = y0; y < y0 + w; ++y) {
                for (int x = x0; x < x0 + w; ++x) {
                    grid[gridIndex(x, y)] = static_cast<std::uint8_t>(top);
                }
            }
        }
        return grid;
    }

    // A small zig-zag maze (see zigzagMaze) with a few random lows, in a random part of the
    // grid: lowerings that raster sweeps carry one cell per sweep.
    Grid maze()
    {
        Grid grid{};
        const int y0 = between(0, 300);
        const int bands = between(1, 15);
        const int x0 = between(0, 60);
        const int x1 = between(x0 + 20, 151);
        for (int b = 0; b < bands && y0 + 3 * b + 1 < GRID_ROWS; ++b) {
            const int y = y0 + 3 * b;
            for (int x = x0; x <= x1; ++x) {
                grid[gridIndex(x, y + (x % 2))] =
                    static_cast<std::uint8_t>(chance(3) ? between(1, 20) : between(240, 255));
            }
        }
        return grid;
    }

private:
    std::uint64_t state_;
};

}  // namespace

TEST(SlopeLimit, RandomGridsGiveTheSameBytesAsThePassIteration)
{
    const std::uint32_t seed = masterSeed();
    RandomGrids random(seed);
    struct Family {
        const char* name;
        int count;
        Grid (RandomGrids::*make)();
    };
    // 2,070 grids; an unoptimized build (the sanitizer build is one) runs the first fifth of
    // each family, since there the fast limiter itself is some twenty times slower.
#if defined(__OPTIMIZE__)
    constexpr int share = 1;
#else
    constexpr int share = 5;
#endif
    const Family families[] = {
        {"small relief", 400 / share, &RandomGrids::smallRelief},
        {"patches", 1500 / share, &RandomGrids::patches},
        {"peaks and plateaus", 120 / share, &RandomGrids::peaksAndPlateaus},
        {"maze", 50 / share, &RandomGrids::maze},
    };
    const auto start = std::chrono::steady_clock::now();
    int grids = 0;
    long long passes = 0;
    for (const Family& family : families) {
        const auto familyStart = std::chrono::steady_clock::now();
        long long familyPasses = 0;
        for (int k = 0; k < family.count; ++k, ++grids) {
            const Grid input = (random.*family.make)();
            Grid reference = input;
            const int taken = referenceLimitSlopes(reference);
            passes += taken;
            familyPasses += taken;
            Grid settled = input;
            limitSlopesWithoutSweeps(settled);
            const std::string wrong = differences(fastLimited(input), reference, &input) +
                                      differences(settled, reference, &input);
            ASSERT_EQ(wrong, "") << "seed " << seed << " (set TARSOLA_LIMIT_SEED=" << seed
                                 << " to repeat), grid " << grids << ", " << family.name
                                 << " number " << k;
        }
        std::printf("  %-20s %5d grids %7lld passes %6.2f s\n", family.name, family.count, familyPasses,
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - familyStart).count());
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%d random grids, %lld passes of the pass iteration, %.2f s\n", grids, passes, seconds);
}

TEST(GridMinimum, SmallestNonZeroCellOfTheWholeGridOr255)
{
    EXPECT_EQ(gridMinimum(Grid{}), 255);
    EXPECT_EQ(gridMinimum(gridWith({{75, 180, 255}})), 255);
    EXPECT_EQ(gridMinimum(gridWith({{75, 180, 40}, {3, 3, 12}, {149, 359, 30}})), 12);
    // The spare columns and the outer rows count.
    EXPECT_EQ(gridMinimum(gridWith({{75, 180, 40}, {151, 359, 7}})), 7);
    EXPECT_EQ(gridMinimum(gridWith({{75, 180, 40}, {150, 0, 1}})), 1);
    EXPECT_EQ(gridMinimum(gridWith({{0, 0, 2}, {75, 180, 40}})), 2);
}
