// The relief in the recompute that the window and the batch share: drawn onto the insole like
// the foot, raising it around the zones and leaving the zones as they were; switched off, or
// without a measurement, the insole is today's to the byte; the limit and the solid hold.
#include "insole/recompute.h"
#include "insole/relief_plan.h"

#include "solid/solid_mesh.h"
#include "support/pressure_files.h"
#include "support/solid_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Relieved {
    std::unique_ptr<InsoleState> state = std::make_unique<InsoleState>();
    std::unique_ptr<ReliefPlan> plan = std::make_unique<ReliefPlan>();
    std::unique_ptr<DrawnRelief> drawn = std::make_unique<DrawnRelief>();
};

// The sample foot with a plate's measurement of it placed and relieved at the defaults.
Relieved sampleFootWithRelief()
{
    Relieved r;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(loadFoot(*r.state, TARSOLA_SOURCE_DIR "/samples/foot.bmp"));
    testing::internal::GetCapturedStdout();
    const std::string matrix = pressureMatrixOf(r.state->footGrid, 5.0);
    std::string failure;
    EXPECT_TRUE(readPressureBytes(reinterpret_cast<const std::uint8_t*>(matrix.data()), matrix.size(),
                                  "plate.csv", PressureOptions{}, r.plan->map, failure))
        << failure;
    EXPECT_TRUE(placeRelief(*r.plan, r.state->footGrid, PlacementCorrection{}, DEFAULT_LEVEL_MM, failure))
        << failure;
    EXPECT_FALSE(r.plan->relief.zones.empty());
    return r;
}

Grid recompute(Relieved& r, const InsoleSettings& settings, const Relief* relief)
{
    testing::internal::CaptureStdout();
    recomputeHeights(*r.state, settings, relief, r.drawn.get());
    testing::internal::GetCapturedStdout();
    return r.state->heightGrid;
}

}  // namespace

TEST(ReliefRecompute, RaisesAroundTheZonesKeepsThemAndIsTodaysInsoleWhenOff)
{
    Relieved r = sampleFootWithRelief();
    InsoleSettings settings = restoredSettings(*r.state);
    settings.width += 4;
    settings.length -= 9;
    const Grid plain = recompute(r, settings, nullptr);
    const Grid relieved = recompute(r, settings, activeRelief(r.plan.get()));
    const int full = r.plan->relief.fullRaise;
    EXPECT_EQ(full, 15);  // 3 mm at 0.2 mm a level

    int inZones = 0;
    int fullyRaised = 0;
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            const int i = gridIndex(x, y);
            if (!plain[i]) {
                ASSERT_EQ(relieved[i], 0);
            } else if (r.drawn->zoneMask[i]) {
                ++inZones;
                ASSERT_EQ(relieved[i], plain[i]) << "zone cell " << x << "," << y << " moved";
            } else if (r.drawn->raise[i] == full) {
                ++fullyRaised;
                ASSERT_EQ(relieved[i], std::min(255, plain[i] + full)) << x << "," << y;
            }
        }
    }
    EXPECT_GT(inZones, 300);
    EXPECT_GT(fullyRaised, 3000);
    // The zones are told where they lie on the stretched insole: inside the foot.
    for (const ReliefZone& zone : r.drawn->zones) {
        EXPECT_GT(plain[gridIndex(static_cast<int>(zone.centreXMm), static_cast<int>(zone.centreYMm))], 0);
    }

    // Switched off, the insole is the one without a measurement, to the byte.
    r.plan->on = false;
    EXPECT_EQ(recompute(r, settings, activeRelief(r.plan.get())), plain);
    EXPECT_TRUE(r.drawn->zones.empty());
}

TEST(ReliefRecompute, TheLimitHoldsAtTheZonesEdgesAndTheSolidStaysClosed)
{
    Relieved r = sampleFootWithRelief();
    // A deep, steep relief: 6 mm over 2 mm.
    ReliefParameters steep;
    steep.depthMm = 6.0;
    steep.widthMm = 2.0;
    std::string failure;
    ASSERT_TRUE(updateRelief(*r.plan, r.state->footGrid, steep, DEFAULT_LEVEL_MM, failure)) << failure;
    InsoleSettings settings = restoredSettings(*r.state);
    settings.limit = true;
    const Grid limited = recompute(r, settings, activeRelief(r.plan.get()));
    for (int y = 2; y < GRID_ROWS - 2; ++y) {
        for (int x = 2; x < FOOT_COLUMNS - 2; ++x) {
            const int h = limited[gridIndex(x, y)];
            for (int dy = -1; dy <= 1 && h; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    const int n = limited[gridIndex(x + dx, y + dy)];
                    if ((dx || dy) && n) {
                        ASSERT_LE(h - n, dx && dy ? 4 : 3) << "at " << x << "," << y;
                    }
                }
            }
        }
    }
    const SolidMesh solid = buildSolid(limited, DEFAULT_LEVEL_MM);
    EXPECT_EQ(solidProblems(solid, limited, DEFAULT_LEVEL_MM), "");
}

// An undo step places its measurement again from what the plan on screen worked out: only
// when the measurement, the foot and the correction are those it was placed with, and its
// relief only with the same parameters and level size. Whatever it takes, the plan is the one
// made afresh. The plan on screen carries a mark in its placement that a fresh one never has,
// so that what was taken shows.
TEST(ReliefRecompute, APlanTakenFromTheOneOnScreenIsTheOneMadeAfresh)
{
    Relieved r = sampleFootWithRelief();
    ReliefPlan& earlier = *r.plan;
    const std::string mark = "worked out for the plan on screen";
    earlier.placement.warnings.push_back(mark);
    FootGrid otherFoot = r.state->footGrid;
    *std::find_if(otherFoot.begin(), otherFoot.end(), [](std::uint8_t grey) { return grey > 0; }) = 0;
    PressureMap otherMap = earlier.map;
    *std::max_element(otherMap.kpa.begin(), otherMap.kpa.end()) -= 1.0f;
    PlacementCorrection shifted;
    shifted.shiftXMm = 2.0;
    ReliefParameters deeper = earlier.parameters;
    deeper.depthMm = 4.0;

    struct Case {
        const char* what;
        const PressureMap& map;
        const FootGrid& foot;
        PlacementCorrection correction;
        ReliefParameters parameters;
        double levelMm;
        bool placementTaken;
    };
    const Case cases[] = {
        {"all as on screen", earlier.map, r.state->footGrid, {}, earlier.parameters, DEFAULT_LEVEL_MM, true},
        {"another depth", earlier.map, r.state->footGrid, {}, deeper, DEFAULT_LEVEL_MM, true},
        {"another level size", earlier.map, r.state->footGrid, {}, earlier.parameters, 0.25, true},
        {"another correction", earlier.map, r.state->footGrid, shifted, earlier.parameters, DEFAULT_LEVEL_MM, false},
        {"another foot", earlier.map, otherFoot, {}, earlier.parameters, DEFAULT_LEVEL_MM, false},
        {"another measurement", otherMap, r.state->footGrid, {}, earlier.parameters, DEFAULT_LEVEL_MM, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto fresh = std::make_unique<ReliefPlan>();
        auto taken = std::make_unique<ReliefPlan>();
        for (ReliefPlan* plan : {fresh.get(), taken.get()}) {
            plan->map = c.map;
            plan->parameters = c.parameters;
        }
        std::string failure;
        ASSERT_TRUE(placeRelief(*fresh, c.foot, c.correction, c.levelMm, failure)) << failure;
        ASSERT_TRUE(placeReliefReusing(*taken, c.foot, c.correction, c.levelMm, &earlier, r.state->footGrid,
                                       failure))
            << failure;
        std::vector<std::string> warnings = fresh->placement.warnings;
        if (c.placementTaken) {
            warnings.push_back(mark);
        }
        EXPECT_EQ(taken->placement.warnings, warnings);
        EXPECT_EQ(taken->placement.turnDegrees, fresh->placement.turnDegrees);
        EXPECT_EQ(taken->placement.shiftXMm, fresh->placement.shiftXMm);
        EXPECT_EQ(taken->placement.shiftYMm, fresh->placement.shiftYMm);
        EXPECT_EQ(taken->placement.loadShare, fresh->placement.loadShare);
        // Cells off the measurement hold NaN: compared to the bit.
        EXPECT_EQ(std::memcmp(taken->placed.data(), fresh->placed.data(), sizeof fresh->placed), 0);
        EXPECT_EQ(taken->correction.shiftXMm, c.correction.shiftXMm);
        EXPECT_EQ(taken->levelMm, c.levelMm);
        EXPECT_EQ(taken->relief.fullRaise, fresh->relief.fullRaise);
        EXPECT_TRUE(taken->relief.raise == fresh->relief.raise);
        EXPECT_TRUE(taken->relief.zoneMask == fresh->relief.zoneMask);
        EXPECT_EQ(taken->relief.zones.size(), fresh->relief.zones.size());
    }
}
