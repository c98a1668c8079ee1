// The relief: the exact distance transform against a brute-force one, zones and the raise
// around them against plain definitions, rounding half up, the cap, and the refusals.
#include "pressure/relief.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>

namespace {

constexpr int CELLS = GRID_ROWS * FOOT_STRIDE;

FootGrid rectangleFootGrid()
{
    FootGrid foot{};
    for (int y = 1; y < GRID_ROWS - 1; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            foot[footIndex(x, y)] = rectangleFoot(x, y);
        }
    }
    return foot;
}

std::unique_ptr<PlacedPressure> quietPressure()
{
    auto placed = std::make_unique<PlacedPressure>();
    placed->fill(50.0f);
    return placed;
}

void fillBox(PlacedPressure& placed, int x0, int y0, int x1, int y1, float kpa)
{
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) {
            placed[footIndex(x, y)] = kpa;
        }
    }
}

double bruteDistance(const std::vector<int>& sites, int x, int y)
{
    double best = INFINITY;
    for (int s : sites) {
        best = std::min(best, std::hypot(s % FOOT_STRIDE - x, s / FOOT_STRIDE - y));
    }
    return best;
}

struct Computed {
    bool ok = false;
    std::unique_ptr<Relief> relief = std::make_unique<Relief>();
    std::string failure;
};

Computed relieve(const PlacedPressure& placed, const FootGrid& foot, const ReliefParameters& p = {},
                 double level = 0.2)
{
    Computed c;
    c.ok = computeRelief(placed, foot, p, level, *c.relief, c.failure);
    return c;
}

}  // namespace

TEST(Relief, DistancesMatchABruteForceReferenceOnRandomGrids)
{
    std::mt19937 random(17);
    const double densities[] = {0.0, 0.002, 0.03, 0.3, 0.9, 1.0};
    for (int round = 0; round < 3000; ++round) {
        const int width = 1 + static_cast<int>(random() % 32);
        const int height = 1 + static_cast<int>(random() % 32);
        const double density = densities[round % 6];
        std::vector<std::uint8_t> sites(static_cast<std::size_t>(width) * height);
        std::vector<int> siteCells;
        for (std::size_t i = 0; i < sites.size(); ++i) {
            sites[i] = std::uniform_real_distribution<double>(0, 1)(random) < density;
            if (sites[i]) {
                siteCells.push_back(static_cast<int>(i));
            }
        }
        std::vector<std::int32_t> d2(sites.size()), nearest(sites.size());
        squaredDistances(sites.data(), width, height, d2.data(), nearest.data());
        for (int i = 0; i < static_cast<int>(sites.size()); ++i) {
            std::int32_t best = NO_SITE_DISTANCE;
            for (int s : siteCells) {
                const int dx = s % width - i % width, dy = s / width - i / width;
                best = std::min(best, dx * dx + dy * dy);
            }
            ASSERT_EQ(d2[i], best) << width << " x " << height << " cell " << i;
            if (best != NO_SITE_DISTANCE) {
                const int s = nearest[i];
                ASSERT_TRUE(s >= 0 && s < static_cast<int>(sites.size()) && sites[s]);
                const int dx = s % width - i % width, dy = s / width - i / width;
                ASSERT_EQ(dx * dx + dy * dy, best);
            }
        }
    }
}

TEST(Relief, ZonesAreGrownPeaksWithoutSmallPiecesAndTheRaiseFollowsTheDistance)
{
    const FootGrid foot = rectangleFootGrid();
    auto placed = quietPressure();
    std::vector<int> seeds;
    // A disc of 300 kPa, a 5 x 4 piece exactly at the threshold at the foot's edge (grown
    // over foot cells only), a 4 x 4 piece too small to count, and a peak beside the foot.
    for (int y = 240; y <= 260; ++y) {
        for (int x = 65; x <= 85; ++x) {
            if (std::hypot(x - 75, y - 250) <= 6) {
                (*placed)[footIndex(x, y)] = 300.0f;
                seeds.push_back(footIndex(x, y));
            }
        }
    }
    fillBox(*placed, 125, 80, 129, 83, 200.0f);
    for (int y = 80; y <= 83; ++y) {
        for (int x = 125; x <= 129; ++x) {
            seeds.push_back(footIndex(x, y));
        }
    }
    fillBox(*placed, 40, 150, 43, 153, 900.0f);
    fillBox(*placed, 5, 150, 15, 170, 900.0f);
    (*placed)[footIndex(30, 200)] = NAN;

    const Computed c = relieve(*placed, foot);
    ASSERT_TRUE(c.ok) << c.failure;
    const Relief& relief = *c.relief;
    EXPECT_EQ(relief.fullRaise, 15);
    ASSERT_EQ(relief.zones.size(), 2u);

    // The zones: foot cells within M = 5 mm of a kept peak cell.
    std::vector<int> zoneCells;
    for (int i = 0; i < CELLS; ++i) {
        if (foot[i] && bruteDistance(seeds, i % FOOT_STRIDE, i / FOOT_STRIDE) <= 5.0) {
            zoneCells.push_back(i);
        }
    }
    for (int i = 0; i < CELLS; ++i) {
        const int x = i % FOOT_STRIDE, y = i / FOOT_STRIDE;
        if (!foot[i]) {
            ASSERT_EQ(relief.raise[i] | relief.zoneMask[i] | relief.nearestZone[i], 0)
                << x << "," << y;
            continue;
        }
        const double d = bruteDistance(zoneCells, x, y);
        ASSERT_EQ(relief.zoneMask[i] != 0, d == 0) << x << "," << y;
        if (d >= 8) {
            ASSERT_EQ(relief.raise[i], 15) << x << "," << y;
        } else {
            ASSERT_EQ(relief.raise[i], static_cast<int>(std::floor(15 * d / 8 + 0.5)))
                << x << "," << y;
        }
        ASSERT_NE(relief.nearestZone[i], 0);
    }
    const ReliefZone& low = relief.zones[0];  // numbered from the bottom row up
    const ReliefZone& disc = relief.zones[1];
    EXPECT_EQ(low.peakKpa, 200.0f);
    EXPECT_EQ(disc.peakKpa, 300.0f);
    EXPECT_EQ(low.areaMm2 + disc.areaMm2, static_cast<int>(zoneCells.size()));
    EXPECT_DOUBLE_EQ(disc.centreXMm, 75.5);
    EXPECT_DOUBLE_EQ(disc.centreYMm, 250.5);
    EXPECT_TRUE(low.fullDepth && disc.fullDepth);
    EXPECT_EQ(disc.roomLevels, 15);
}

TEST(Relief, TheRaiseIsRoundedHalfUpAcrossTheTransition)
{
    // Peaks up to column 50 of the rectangle foot, grown by 5 mm: the zone ends at column 55
    // and the cell k columns beyond it lies exactly k mm from it.
    const FootGrid foot = rectangleFootGrid();
    auto placed = quietPressure();
    fillBox(*placed, 20, 30, 50, 329, 400.0f);
    const struct {
        double depth;
        int expected[9];  // columns 56 .. 64
    } cases[] = {
        {3.0, {2, 4, 6, 8, 9, 11, 13, 15, 15}},  // F 15: 15 k / 8; 7.5 rises to 8
        {2.6, {2, 3, 5, 7, 8, 10, 11, 13, 13}},  // F 13: 13 k / 8; 6.5 rises to 7, not 6
    };
    for (const auto& test : cases) {
        ReliefParameters parameters;
        parameters.depthMm = test.depth;
        const Computed c = relieve(*placed, foot, parameters);
        ASSERT_TRUE(c.ok) << c.failure;
        EXPECT_EQ(c.relief->raise[footIndex(55, 100)], 0);
        for (int k = 1; k <= 9; ++k) {
            EXPECT_EQ(c.relief->raise[footIndex(55 + k, 100)], test.expected[k - 1])
                << "depth " << test.depth << ", " << k << " mm from the zone";
        }
    }
    // With no margin the zone is the peaks alone.
    ReliefParameters tight;
    tight.marginMm = 0;
    const Computed c = relieve(*placed, foot, tight);
    ASSERT_TRUE(c.ok);
    EXPECT_EQ(c.relief->raise[footIndex(50, 100)], 0);
    EXPECT_EQ(c.relief->raise[footIndex(51, 100)], 2);
}

TEST(Relief, NothingRisesWithoutAZoneAndParametersOutOfRangeAreNamed)
{
    const FootGrid foot = rectangleFootGrid();
    auto placed = quietPressure();
    fillBox(*placed, 60, 60, 63, 63, 800.0f);  // 16 mm²: noise
    const Computed none = relieve(*placed, foot);
    ASSERT_TRUE(none.ok);
    EXPECT_TRUE(none.relief->zones.empty());
    for (int i = 0; i < CELLS; ++i) {
        ASSERT_EQ(none.relief->raise[i], 0);
    }

    const struct {
        ReliefParameters parameters;
        double level;
        const char* failure;
    } cases[] = {
        {{99, 3, 5, 8}, 0.2, "relief threshold 99 kPa is outside 100-1000 kPa"},
        {{200, 6.5, 5, 8}, 0.2, "relief depth 6.5 mm is outside 0.5-6 mm"},
        {{200, 3, -1, 8}, 0.2, "relief margin -1 mm is outside 0-15 mm"},
        {{200, 3, 5, 21}, 0.2, "relief transition width 21 mm is outside 2-20 mm"},
        {{200, NAN, 5, 8}, 0.2, "relief depth nan mm is outside 0.5-6 mm"},
        {{200, 3, 5, 8}, 1.5, "level size 1.5 mm is outside 0.05-1 mm"},
    };
    for (const auto& test : cases) {
        Computed c = relieve(*placed, foot, test.parameters, test.level);
        EXPECT_FALSE(c.ok);
        EXPECT_EQ(c.failure, test.failure);
    }
    // A refused change leaves the relief as it was.
    fillBox(*placed, 60, 60, 70, 70, 800.0f);
    Computed kept = relieve(*placed, foot);
    ASSERT_EQ(kept.relief->zones.size(), 1u);
    EXPECT_FALSE(computeRelief(*placed, foot, {200, 9, 5, 8}, 0.2, *kept.relief, kept.failure));
    EXPECT_EQ(kept.relief->zones.size(), 1u);
    EXPECT_EQ(kept.relief->fullRaise, 15);
}

TEST(Relief, FullDepthNeedsRoomAroundTheZoneAndSurvivingTheCap)
{
    // A foot 14 mm square with a 5 x 5 peak in its middle: no cell is 8 mm from the zone.
    FootGrid small{};
    for (int y = 100; y < 114; ++y) {
        for (int x = 60; x < 74; ++x) {
            small[footIndex(x, y)] = 100;
        }
    }
    auto placed = quietPressure();
    fillBox(*placed, 65, 105, 69, 109, 500.0f);
    ReliefParameters parameters;
    parameters.marginMm = 0;
    const Computed cramped = relieve(*placed, small, parameters);
    ASSERT_TRUE(cramped.ok) << cramped.failure;
    ASSERT_EQ(cramped.relief->zones.size(), 1u);
    EXPECT_FALSE(cramped.relief->zones[0].fullDepth);
    // The farthest cell, (60, 100), is sqrt(50) mm away: 15 x 7.07 / 8 rounds to 13.
    EXPECT_EQ(cramped.relief->zones[0].roomLevels, 13);

    // Room enough on the rectangle foot; drawn at the natural size onto the insole's grid.
    const FootGrid foot = rectangleFootGrid();
    const Computed roomy = relieve(*placed, foot, parameters);
    ASSERT_TRUE(roomy.ok && roomy.relief->zones.size() == 1u);
    EXPECT_TRUE(roomy.relief->zones[0].fullDepth);
    auto drawnRaise = std::make_unique<Grid>(), drawnNearest = std::make_unique<Grid>();
    auto heights = std::make_unique<Grid>(), capped = std::make_unique<Grid>();
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            (*drawnRaise)[gridIndex(x, y)] = roomy.relief->raise[footIndex(x, y)];
            (*drawnNearest)[gridIndex(x, y)] = roomy.relief->nearestZone[footIndex(x, y)];
        }
    }
    for (const int base : {100, 250}) {
        std::vector<ReliefZone> zones = roomy.relief->zones;
        for (int y = 0; y < GRID_ROWS; ++y) {
            for (int x = 0; x < FOOT_COLUMNS; ++x) {
                (*heights)[gridIndex(x, y)] = foot[footIndex(x, y)] ? base : 0;
            }
        }
        const int cappedCells = addDrawnRaise(*heights, *drawnRaise, capped.get());
        markDepthAfterCap(*drawnRaise, *drawnNearest, *capped, 15, zones);
        // At 250 every cell raised by more than 5 levels is capped, the whole rim with them.
        EXPECT_EQ(zones[0].fullDepth, base == 100);
        int raisedAboveFive = 0;
        for (int i = 0; i < CELLS; ++i) {
            raisedAboveFive += roomy.relief->raise[i] > 5;
        }
        EXPECT_EQ(cappedCells, base == 100 ? 0 : raisedAboveFive);
    }

    // Only cells above 0 rise, and no height passes 255.
    Grid row{}, raise{};
    const std::uint8_t before[] = {0, 10, 240, 241, 255, 0};
    const std::uint8_t after[] = {0, 25, 255, 255, 255, 0};
    for (int x = 0; x < 6; ++x) {
        row[gridIndex(x, 7)] = before[x];
        raise[gridIndex(x, 7)] = 15;
    }
    capped->fill(9);
    EXPECT_EQ(addDrawnRaise(row, raise, capped.get()), 2);
    for (int x = 0; x < 6; ++x) {
        EXPECT_EQ(row[gridIndex(x, 7)], after[x]) << x;
        EXPECT_EQ((*capped)[gridIndex(x, 7)], x == 3 || x == 4) << x;
    }
    EXPECT_EQ((*capped)[gridIndex(100, 300)], 0);
}
