// Placing a measurement on the foot: measurements made here from the sample foot's own
// outline, turned and shifted by known amounts (in-shoe, and on a 400 mm plate), come back
// where they were taken; one turned over left to right is recognised as the other foot.
#include "pressure/placement.h"
#include "insole/insole_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

namespace {

constexpr double PI = 3.14159265358979323846;

const FootGrid& sampleFoot()
{
    static const FootGrid grid = [] {
        auto state = std::make_unique<InsoleState>();
        testing::internal::CaptureStdout();
        const bool loaded = loadFoot(*state, TARSOLA_SOURCE_DIR "/samples/foot.bmp");
        testing::internal::GetCapturedStdout();
        EXPECT_TRUE(loaded);
        return state->footGrid;
    }();
    return grid;
}

// Where a measurement was taken: a point p of its frame lies on the foot image at
// R(turn) p + shift; the foot's middle, (75, 172) on the image, lies at (x, y) of the frame.
struct Taken {
    double turnDegrees;
    double shiftX = 0;
    double shiftY = 0;

    Taken(double turn, double x, double y) : turnDegrees(turn)
    {
        double fx = 0, fy = 0;
        onFoot(x, y, fx, fy);
        shiftX = 75 - fx;
        shiftY = 172 - fy;
    }

    void onFoot(double x, double y, double& fx, double& fy) const
    {
        const double a = turnDegrees * PI / 180;
        fx = std::cos(a) * x - std::sin(a) * y + shiftX;
        fy = std::sin(a) * x + std::cos(a) * y + shiftY;
    }
};

bool footCellAt(const FootGrid& foot, double x, double y)
{
    return x >= 0 && x < FOOT_COLUMNS && y >= 0 && y < GRID_ROWS &&
           foot[footIndex(static_cast<int>(x), static_cast<int>(y))] > 0;
}

// A measurement of the foot's outline: each sensor cell whose centre lies on the foot
// measures a pressure that is highest under the ball and the heel; the others measure 0.
// `mirror` stores it turned over left to right, as the other foot's measurement would be.
PressureMap measure(const FootGrid& foot, const Taken& taken, int rows, int cols, double pitch,
                    bool mirror = false)
{
    PressureMap map;
    map.format = "plain matrix";
    map.rows = rows;
    map.cols = cols;
    map.rowPitchMm = map.colPitchMm = pitch;
    map.frames = 1;
    map.kpa.assign(static_cast<std::size_t>(rows) * cols, 0.0f);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            double fx = 0, fy = 0;
            taken.onFoot((c + 0.5) * pitch, (rows - r - 0.5) * pitch, fx, fy);
            if (footCellAt(foot, fx, fy)) {
                const float kpa =
                    static_cast<float>(80 + 300 * std::exp(-std::pow((fy - 255) / 20, 2)) +
                                       200 * std::exp(-std::pow((fy - 80) / 25, 2)));
                map.kpa[static_cast<std::size_t>(r) * cols + (mirror ? cols - 1 - c : c)] = kpa;
                map.peakKpa = std::max(map.peakKpa, kpa);
            }
        }
    }
    return map;
}

// How far the placement is from where the measurement was taken: the turn's difference in
// degrees, and the largest distance between where the placement and the truth put the
// measured points at the foot's heel and toes.
void placementError(const PressurePlacement& placed, const Taken& taken, double& turnError,
                    double& distanceError)
{
    turnError = std::fabs(std::remainder(placed.turnDegrees - taken.turnDegrees, 360.0));
    distanceError = 0;
    const double a = -taken.turnDegrees * PI / 180;
    for (const double footY : {60.0, 180.0, 300.0}) {
        // The measurement's point that lies on the foot at (75, footY).
        const double dx = 75 - taken.shiftX, dy = footY - taken.shiftY;
        const double px = std::cos(a) * dx - std::sin(a) * dy;
        const double py = std::sin(a) * dx + std::cos(a) * dy;
        double fx = 0, fy = 0;
        placedPoint(placed, px, py, fx, fy);
        distanceError = std::max(distanceError, std::hypot(fx - 75, fy - footY));
    }
}

}  // namespace

TEST(Placement, MeasurementOfTheFootTurnedAndShiftedComesBack)
{
    const FootGrid& foot = sampleFoot();
    // A sensor of 2 mm cells covering 200 x 340 mm, with the foot's middle at various places
    // and turns.
    const Taken cases[] = {
        {0, 100, 170}, {12, 95, 160}, {-9, 105, 175}, {25, 100, 170}, {-30, 100, 168}};
    for (const Taken& taken : cases) {
        SCOPED_TRACE(testing::Message() << "turn " << taken.turnDegrees);
        const PressureMap map = measure(foot, taken, 170, 100, 2.0);
        auto placed = std::make_unique<PlacedPressure>();
        PressurePlacement report;
        std::string failure;
        ASSERT_TRUE(placePressure(map, foot, PlacementCorrection{}, *placed, report, failure))
            << failure;
        double turnError = 0, distanceError = 0;
        placementError(report, taken, turnError, distanceError);
        EXPECT_LE(turnError, 2.0);
        EXPECT_LE(distanceError, 2.0);
        EXPECT_GE(report.loadShare, 0.97);
        EXPECT_FALSE(report.looksLikeOtherFoot);
        EXPECT_TRUE(report.warnings.empty());
        // The placed grid shows the measurement where the placement puts it: its loaded cells
        // are the foot cells, but for the outline blurred by 2 mm sensor cells.
        int loaded = 0, loadedOnFoot = 0, footCells = 0;
        for (int i = 0; i < GRID_ROWS * FOOT_STRIDE; ++i) {
            const bool isLoaded = (*placed)[i] > PRESSURE_NOISE_KPA;
            loaded += isLoaded;
            loadedOnFoot += isLoaded && foot[i] > 0;
            footCells += foot[i] > 0;
        }
        EXPECT_GE(loadedOnFoot, loaded * 95 / 100);
        EXPECT_GE(loadedOnFoot, footCells * 95 / 100);
    }
}

TEST(Placement, MirroredMeasurementLooksLikeTheOtherFoot)
{
    const FootGrid& foot = sampleFoot();
    const Taken taken{8, 100, 170};
    const PressureMap map = measure(foot, taken, 170, 100, 2.0, true);
    auto placed = std::make_unique<PlacedPressure>();
    PressurePlacement report;
    std::string failure;
    ASSERT_TRUE(placePressure(map, foot, PlacementCorrection{}, *placed, report, failure))
        << failure;
    EXPECT_TRUE(report.looksLikeOtherFoot);
    ASSERT_FALSE(report.warnings.empty());
    EXPECT_NE(report.warnings.back().find("the measurement looks like the other foot"),
              std::string::npos);

    // Turned back on request, it is the foot's own measurement again.
    PlacementCorrection mirror;
    mirror.mirror = true;
    ASSERT_TRUE(placePressure(map, foot, mirror, *placed, report, failure)) << failure;
    EXPECT_FALSE(report.looksLikeOtherFoot);
    double turnError = 0, distanceError = 0;
    placementError(report, taken, turnError, distanceError);
    EXPECT_LE(turnError, 2.0);
    EXPECT_LE(distanceError, 2.0);
    EXPECT_TRUE(report.warnings.empty());
}

// A measurement taken with the foot the other way round on the plate (heel at the first row)
// is placed upside down by the foot's own axis; the placement recognises it by the fit of the
// measurement turned end for end, and the same cells turned end for end place without a word.
// Turned over as well, it is named as both.
TEST(Placement, MeasurementTakenHeelFirstLooksTurnedEndForEnd)
{
    const FootGrid& foot = sampleFoot();
    auto placed = std::make_unique<PlacedPressure>();
    PressurePlacement report;
    std::string failure;
    for (const bool mirror : {false, true}) {
        SCOPED_TRACE(mirror ? "turned over too" : "heel first");
        const Taken taken{180 + 6, 100, 170};
        PressureMap map = measure(foot, taken, 170, 100, 2.0, mirror);
        ASSERT_TRUE(placePressure(map, foot, PlacementCorrection{}, *placed, report, failure))
            << failure;
        EXPECT_TRUE(report.looksEndForEnd);
        EXPECT_EQ(report.looksLikeOtherFoot, mirror);
        EXPECT_TRUE(report.doubtful());
        const double better = mirror ? report.bothTurnedLoadShare : report.endForEndLoadShare;
        EXPECT_GE(better, 0.95);
        EXPECT_GE(better, report.autoLoadShare + OTHER_FOOT_MARGIN);
        char expected[200];
        std::snprintf(expected, sizeof expected, "%s: %s%.1f %% of the load on the foot instead of %.1f %%",
                      mirror ? "the measurement looks like the other foot and turned end for end "
                               "(heel first)"
                             : "the measurement looks turned end for end (heel first)",
                      mirror ? "turned over and end for end, " : "", better * 100,
                      report.autoLoadShare * 100);
        EXPECT_EQ(report.warnings.back(), expected);

        // Row-major cells reversed: the measurement turned 180 degrees in its own plane.
        std::reverse(map.kpa.begin(), map.kpa.end());
        PlacementCorrection correction;
        correction.mirror = mirror;
        ASSERT_TRUE(placePressure(map, foot, correction, *placed, report, failure)) << failure;
        EXPECT_FALSE(report.looksEndForEnd);
        EXPECT_FALSE(report.looksLikeOtherFoot);
        EXPECT_TRUE(report.warnings.empty()) << report.warnings.front();
        EXPECT_NEAR(report.loadShare, better, 0.005);
    }
}

TEST(Placement, PlateWithTheFootInOneCornerPlaces)
{
    const FootGrid& foot = sampleFoot();
    // A 400 x 400 mm plate of 5 mm cells; the foot stands near its corner at the first
    // column and the last row, turned by 20 degrees.
    const Taken taken{-20, 110, 160};
    const PressureMap map = measure(foot, taken, 80, 80, 5.0);
    auto placed = std::make_unique<PlacedPressure>();
    PressurePlacement report;
    std::string failure;
    ASSERT_TRUE(placePressure(map, foot, PlacementCorrection{}, *placed, report, failure))
        << failure;
    double turnError = 0, distanceError = 0;
    placementError(report, taken, turnError, distanceError);
    EXPECT_LE(turnError, 2.0);
    EXPECT_LE(distanceError, 2.0);
    EXPECT_TRUE(report.warnings.empty());
}

TEST(Placement, HandCorrectionTurnsAboutThePlacedHeelAndThenShifts)
{
    const FootGrid& foot = sampleFoot();
    const PressureMap map = measure(foot, Taken{5, 100, 170}, 170, 100, 2.0);
    auto placed = std::make_unique<PlacedPressure>();
    PressurePlacement automatic, corrected;
    std::string failure;
    ASSERT_TRUE(placePressure(map, foot, PlacementCorrection{}, *placed, automatic, failure));
    PlacementCorrection hand;
    hand.shiftXMm = 4;
    hand.shiftYMm = -3;
    hand.turnDegrees = 10;
    ASSERT_TRUE(placePressure(map, foot, hand, *placed, corrected, failure));
    EXPECT_NEAR(corrected.turnDegrees, automatic.turnDegrees + 10, 1e-9);
    EXPECT_EQ(corrected.pivotXMm, automatic.pivotXMm);
    EXPECT_EQ(corrected.pivotYMm, automatic.pivotYMm);
    // The heel centre moves by the shift alone; a point 100 mm toward the toes from it turns
    // anticlockwise about it.
    const double a = -automatic.turnDegrees * PI / 180;
    for (const double ahead : {0.0, 100.0}) {
        const double dx = automatic.pivotXMm - automatic.shiftXMm;
        const double dy = automatic.pivotYMm + ahead - automatic.shiftYMm;
        const double px = std::cos(a) * dx - std::sin(a) * dy,
                     py = std::sin(a) * dx + std::cos(a) * dy;
        double fx = 0, fy = 0;
        placedPoint(corrected, px, py, fx, fy);
        const double t = 10 * PI / 180;
        EXPECT_NEAR(fx, automatic.pivotXMm - std::sin(t) * ahead + 4, 1e-9);
        EXPECT_NEAR(fy, automatic.pivotYMm + std::cos(t) * ahead - 3, 1e-9);
    }
}

TEST(Placement, RefusesAFootlessImageAndALoadedAreaNoFootHas)
{
    PressureMap map;
    map.rows = map.cols = 30;
    map.rowPitchMm = map.colPitchMm = 20;
    map.kpa.assign(900, 50.0f);
    auto placed = std::make_unique<PlacedPressure>();
    PressurePlacement report;
    std::string failure;
    EXPECT_FALSE(placePressure(map, FootGrid{}, PlacementCorrection{}, *placed, report, failure));
    EXPECT_NE(failure.find("no foot cell"), std::string::npos) << failure;
    EXPECT_FALSE(placePressure(map, sampleFoot(), PlacementCorrection{}, *placed, report, failure));
    EXPECT_NE(failure.find("600 x 600 mm"), std::string::npos) << failure;
}
