// The foot's frame and the prescription's elements on synthetic feet whose landmarks are known
// by construction: each element's raise, cell by cell, against its formula written out here
// from the foot's geometry; the side on a foot and its mirror image; the bar's front edge from
// a measurement whose 77 % point is known.
#include "insole/element_settings.h"
#include "insole/elements.h"
#include "insole/foot_frame.h"
#include "insole/insole_state.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

namespace {

constexpr double PI = 3.14159265358979323846;

// A foot standing straight up the grid, symmetric about x = 70: a body of columns 40-99 and
// rows 20-279, widest (columns 35-104) over rows 170-199. Every cell's t is its row - 20, the
// length 259 mm, and v is +-(x + 0.5 - 70), + toward the big toe.
bool inSymmetricFoot(int x, int y)
{
    if (y < 20 || y > 279) {
        return false;
    }
    return y >= 170 && y <= 199 ? x >= 35 && x <= 104 : x >= 40 && x <= 99;
}

FootGrid gridOf(bool (*inside)(int, int), bool mirrored = false)
{
    FootGrid grid{};
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            const int sx = mirrored ? FOOT_COLUMNS - 1 - x : x;
            grid[footIndex(x, y)] = inside(sx, y) ? static_cast<std::uint8_t>(90 + (x + y) % 100) : 0;
        }
    }
    return grid;
}

// The symmetric foot with a big toe: a block of columns 40-64 out to row 299 in front of the
// body's left part, so that the toe end leans to the left of the axis, as a right foot's does.
bool inRightFoot(int x, int y) { return inSymmetricFoot(x, y) || (y >= 280 && y <= 299 && x >= 40 && x <= 64); }

constexpr double LEVEL = 0.2;
constexpr double L = 259;

int levels(double mm) { return static_cast<int>(std::floor(mm / LEVEL + 0.5)); }

std::unique_ptr<ElementRaise> compute(const FootGrid& foot, const ElementSettings& settings,
                                      const ElementShifts& shifts = {},
                                      const PlacedPressure* placed = nullptr)
{
    auto out = std::make_unique<ElementRaise>();
    std::string failure;
    EXPECT_TRUE(computeElements(foot, settings, shifts, placed, LEVEL, *out, failure)) << failure;
    return out;
}

// Checks every cell of the grid against the formula: the raise where the foot is, 0 elsewhere.
template <typename Formula>
void expectFormula(const FootGrid& foot, const ElementRaise& raised, double sign, Formula formula)
{
    int mismatches = 0, raisedCells = 0;
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            const int i = footIndex(x, y);
            const int expected = foot[i] ? levels(formula(y - 20.0, sign * (x + 0.5 - 70), x, y)) : 0;
            raisedCells += raised.raise[i] > 0;
            if (raised.raise[i] != expected && ++mismatches <= 5) {
                ADD_FAILURE() << "cell (" << x << ", " << y << "): " << int(raised.raise[i])
                              << " levels, the formula gives " << expected;
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(raisedCells, 0);
}

double clamp01(double x) { return std::min(1.0, std::max(0.0, x)); }

}  // namespace

TEST(FootFrame, LandmarksOfAKnownFootAndItsMirrorImage)
{
    for (const bool mirrored : {false, true}) {
        SCOPED_TRACE(mirrored ? "mirrored: a left foot" : "a right foot");
        FootFrame frame;
        std::string failure;
        ASSERT_TRUE(findFootFrame(gridOf(inRightFoot, mirrored), SideChoice::Automatic, frame, failure));
        EXPECT_EQ(frame.side, mirrored ? FootSide::Left : FootSide::Right);
        EXPECT_FALSE(frame.sideSet);
        // The toe tilts the axis only slightly; the heel's rear quarter is the body's.
        EXPECT_NEAR(frame.heelXMm, mirrored ? 80 : 70, 1.0);
        EXPECT_GT(frame.axisY, std::cos(2 * PI / 180));
        EXPECT_NEAR(frame.lengthMm, 279, 2.0);
        // The widest bands are rows 170-199, 70 mm across; the first of them whose centre lies
        // beyond 55 % of the 279 mm is row 173. The medial edge is on the big toe's side.
        ASSERT_TRUE(frame.hasHeadLine);
        EXPECT_NEAR(frame.headLineMm, 153.5, 1.5);
        EXPECT_NEAR(frame.headMedialMm - frame.headLateralMm, 69, 1.5);
        EXPECT_GT(frame.headMedialMm, 30);
        double x = 0, y = 0;
        frame.pointAt(frame.headLineMm, frame.headMedialMm, x, y);
        EXPECT_NEAR(x, mirrored ? 114.5 : 35.5, 1.5) << "the medial edge lies on the big toe's side";
        // Given, the side is the person's, whatever the toes say.
        ASSERT_TRUE(findFootFrame(gridOf(inRightFoot, mirrored), SideChoice::Right, frame, failure));
        EXPECT_EQ(frame.side, FootSide::Right);
        EXPECT_TRUE(frame.sideSet);
    }
    // The symmetric foot's frame is exact: H on x = 70, u straight up, t0 at row 20.
    FootFrame frame;
    std::string failure;
    ASSERT_TRUE(findFootFrame(gridOf(inSymmetricFoot), SideChoice::Left, frame, failure));
    EXPECT_DOUBLE_EQ(frame.heelXMm, 70);
    EXPECT_DOUBLE_EQ(frame.axisX, 0);
    EXPECT_DOUBLE_EQ(frame.lengthMm, L);
    EXPECT_DOUBLE_EQ(frame.along(30.5, 20.5), 0);
    EXPECT_DOUBLE_EQ(frame.headLineMm, 150.5);
    EXPECT_DOUBLE_EQ(frame.headMedialMm, 34.5);
    EXPECT_DOUBLE_EQ(frame.headLateralMm, -34.5);
    // No foot cell: no frame, and the old one kept.
    frame.lengthMm = 7;
    EXPECT_FALSE(findFootFrame(FootGrid{}, SideChoice::Automatic, frame, failure));
    EXPECT_EQ(frame.lengthMm, 7);
    EXPECT_FALSE(failure.empty());
}

TEST(FootFrame, SampleFootIsFoundAsTheSameSideMirroredOrNot)
{
    auto state = std::make_unique<InsoleState>();
    testing::internal::CaptureStdout();
    ASSERT_TRUE(loadFoot(*state, TARSOLA_SOURCE_DIR "/samples/foot.bmp"));
    testing::internal::GetCapturedStdout();
    FootGrid mirrored{};
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            mirrored[footIndex(FOOT_COLUMNS - 1 - x, y)] = state->footGrid[footIndex(x, y)];
        }
    }
    FootFrame frame, other;
    std::string failure;
    ASSERT_TRUE(findFootFrame(state->footGrid, SideChoice::Automatic, frame, failure));
    ASSERT_TRUE(findFootFrame(mirrored, SideChoice::Automatic, other, failure));
    EXPECT_NE(frame.side, other.side);
    EXPECT_NEAR(frame.lengthMm, other.lengthMm, 1e-9);
    EXPECT_NEAR(frame.headLineMm, other.headLineMm, 1e-9);
    EXPECT_NEAR(frame.headMedialMm, other.headMedialMm, 1e-9);

    // Stored upside down, toes toward row 0: turned end for end, the foot is the same foot,
    // and its heel is found at its heel, not where the toes now lie. With its rows only turned
    // over it is the other foot's image, heel still at the heel.
    for (const bool columnsToo : {true, false}) {
        SCOPED_TRACE(columnsToo ? "turned end for end" : "rows turned over");
        FootGrid turned{};
        for (int y = 0; y < GRID_ROWS; ++y) {
            for (int x = 0; x < FOOT_COLUMNS; ++x) {
                const int tx = columnsToo ? FOOT_COLUMNS - 1 - x : x;
                turned[footIndex(tx, GRID_ROWS - 1 - y)] = state->footGrid[footIndex(x, y)];
            }
        }
        ASSERT_TRUE(findFootFrame(turned, SideChoice::Automatic, other, failure));
        EXPECT_EQ(other.side == frame.side, columnsToo);
        EXPECT_NEAR(other.heelYMm, GRID_ROWS - frame.heelYMm, 0.5);
        EXPECT_NEAR(other.ballYMm, GRID_ROWS - frame.ballYMm, 0.5);
        EXPECT_NEAR(other.heelXMm, columnsToo ? FOOT_COLUMNS - frame.heelXMm : frame.heelXMm, 0.5);
        EXPECT_NEAR(other.axisY, -frame.axisY, 0.01);
        EXPECT_NEAR(other.lengthMm, frame.lengthMm, 0.5);
        EXPECT_NEAR(other.headLineMm, frame.headLineMm, 1.0);
    }
}

TEST(Elements, EachRaiseFollowsItsFormulaOnBothSides)
{
    const FootGrid foot = gridOf(inSymmetricFoot);
    for (const SideChoice side : {SideChoice::Left, SideChoice::Right}) {
        // The left foot's big toe is to the right of the axis (+x), the right foot's to the left.
        const double sign = side == SideChoice::Left ? 1 : -1;
        SCOPED_TRACE(sign > 0 ? "left" : "right");
        ElementSettings settings;
        settings.side = side;

        ElementSettings pad = settings;
        pad.metPad = true;
        pad.metPadHeightMm = 5;
        ElementShifts shifts;
        shifts.metPadAlongMm = -3;
        shifts.metPadAcrossMm = 2;
        auto raised = compute(foot, pad, shifts);
        // Centre 8 mm behind the head line (150.5), 40 % of the 69 mm line in from its medial
        // edge (34.5), plus the hand shift.
        EXPECT_DOUBLE_EQ(raised->metPadAlongMm, 150.5 - 8 - 3);
        EXPECT_NEAR(raised->metPadAcrossMm, 34.5 - 0.4 * 69 + 2, 1e-9);
        expectFormula(foot, *raised, sign, [](double t, double v, int, int) {
            const double rho2 = std::pow((t - 139.5) / 20, 2) + std::pow((v - 8.9) / 12, 2);
            return rho2 < 1 ? 5 * (1 - rho2) * (1 - rho2) : 0.0;
        });

        ElementSettings bar = settings;
        bar.metBar = true;
        raised = compute(foot, bar);
        EXPECT_FALSE(raised->metBarFromPressure);
        EXPECT_DOUBLE_EQ(raised->metBarFrontMm, 140.5);
        expectFormula(foot, *raised, sign, [](double t, double, int, int) {
            const double d = 140.5 - t;
            return d >= 0 && d <= 5 ? 4 * d / 5 : d > 5 && d <= 30 ? 4 * (30 - d) / 25 : 0.0;
        });

        ElementSettings arch = settings;
        arch.arch = true;
        arch.archHeightMm = 12;
        raised = compute(foot, arch);
        expectFormula(foot, *raised, sign, [](double t, double v, int, int y) {
            const double s = t / L;
            if (v <= 0 || s < 0.30 || s > 0.65) {
                return 0.0;
            }
            const double edge = y >= 170 && y <= 199 ? 34.5 : 29.5;
            const double x = clamp01(v / edge);
            return 12 * std::pow(std::sin(PI * (s - 0.30) / 0.35), 2) * (3 * x * x - 2 * x * x * x);
        });

        ElementSettings cup = settings;
        cup.heelCup = true;
        raised = compute(foot, cup);
        expectFormula(foot, *raised, 1, [](double t, double, int x, int y) {
            const double s = t / L;
            // The heel is the body alone: the nearest cell off the foot lies straight across.
            const double d = std::min({x - 39.0, 100.0 - x, y - 19.0});
            const double f = s <= 0.20 ? 1 : s <= 0.30 ? (0.30 - s) / 0.10 : 0;
            return 6 * clamp01(1 - (d - 1) / 12) * f;
        });

        for (const double degrees : {7.0, -4.0}) {
            ElementSettings post = settings;
            post.rearfootPost = true;
            post.rearfootPostDegrees = degrees;
            raised = compute(foot, post);
            expectFormula(foot, *raised, sign, [degrees](double t, double v, int, int) {
                const double s = t / L;
                const double g = s <= 0.30 ? 1 : s <= 0.40 ? (0.40 - s) / 0.10 : 0;
                const double lever = degrees > 0 ? v + 29.5 : 29.5 - v;
                return std::tan(std::fabs(degrees) * PI / 180) * lever * g;
            });
        }
    }
}

TEST(Elements, SummedIntoLevelsWithOutlinesAndCappedAtAByte)
{
    const FootGrid foot = gridOf(inSymmetricFoot);
    auto with = [&](std::initializer_list<bool ElementSettings::*> on) {
        ElementSettings settings;
        settings.side = SideChoice::Left;
        for (bool ElementSettings::*element : on) {
            settings.*element = true;
        }
        return compute(foot, settings);
    };
    const auto both = with({&ElementSettings::metPad, &ElementSettings::metBar});
    const auto pad = with({&ElementSettings::metPad});
    const auto bar = with({&ElementSettings::metBar});
    // Where the pad and the bar overlap the millimetres are summed and rounded once: within a
    // level of the parts' levels, and each outline is that element's own.
    int overlap = 0;
    for (int i = 0; i < GRID_ROWS * FOOT_STRIDE; ++i) {
        overlap += pad->raise[i] > 0 && bar->raise[i] > 0;
        EXPECT_LE(std::abs(both->raise[i] - pad->raise[i] - bar->raise[i]), 1) << "cell " << i;
        EXPECT_EQ(both->outlines[i], (pad->raise[i] > 0 ? 1 << MET_PAD : 0) |
                                         (bar->raise[i] > 0 ? 1 << MET_BAR : 0))
            << "cell " << i;
    }
    EXPECT_GT(overlap, 100);
    // A 15 mm heel cup and 10 degrees of posting at a 0.05 mm level pass 255 levels: the byte
    // holds 255, which the height's own cap takes as it would any larger raise.
    ElementSettings steep;
    steep.side = SideChoice::Left;
    steep.heelCup = steep.rearfootPost = true;
    steep.heelCupHeightMm = 15;
    steep.rearfootPostDegrees = 10;
    ElementRaise big;
    std::string failure;
    ASSERT_TRUE(computeElements(foot, steep, {}, nullptr, 0.05, big, failure)) << failure;
    EXPECT_EQ(big.raise[footIndex(99, 20)], 255);
}

TEST(Elements, BarFrontEdgeWherePressureFallsTo77PercentOfThePeak)
{
    const FootGrid foot = gridOf(inSymmetricFoot);
    auto placed = std::make_unique<PlacedPressure>();
    // 100 kPa everywhere but a peak of 400 kPa at row 200 (s = 0.69), falling off behind it:
    // 310 kPa at row 195 (77.5 %) and 307 kPa at row 194 (76.75 %, below 308). Rows 196-199
    // have no data. A higher peak at row 260 lies beyond 90 % of the length and is not looked at.
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            float kpa = 100;
            if (y == 200) {
                kpa = x == 70 ? 400.0f : 350.0f;
            } else if (y >= 196 && y <= 199) {
                kpa = std::numeric_limits<float>::quiet_NaN();
            } else if (y == 195) {
                kpa = 310;
            } else if (y == 194) {
                kpa = 307;
            } else if (y == 260) {
                kpa = 900;
            }
            (*placed)[footIndex(x, y)] = kpa;
        }
    }
    ElementSettings settings;
    settings.side = SideChoice::Right;
    settings.metBar = true;
    ElementShifts shifts;
    shifts.metBarAlongMm = 1.5;
    auto raised = compute(foot, settings, shifts, placed.get());
    EXPECT_TRUE(raised->metBarFromPressure);
    EXPECT_DOUBLE_EQ(raised->metBarFrontMm, 174.5 + 1.5);
    expectFormula(foot, *raised, -1, [](double t, double, int, int) {
        const double d = 176 - t;
        return d >= 0 && d <= 5 ? 4 * d / 5 : d > 5 && d <= 30 ? 4 * (30 - d) / 25 : 0.0;
    });
    EXPECT_NE(elementsRecipe(raised.get()).find("front edge by the pressure"), std::string::npos);

    // When no band behind the peak falls below 77 %, the head line gives the edge.
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            (*placed)[footIndex(x, y)] = 320;
        }
    }
    raised = compute(foot, settings, {}, placed.get());
    EXPECT_FALSE(raised->metBarFromPressure);
    EXPECT_DOUBLE_EQ(raised->metBarFrontMm, 140.5);
}

TEST(Elements, RefusalsLeaveTheRaiseAsItWas)
{
    const FootGrid foot = gridOf(inSymmetricFoot);
    ElementRaise kept;
    kept.metBarFrontMm = 12345;
    std::string failure;
    ElementSettings settings;
    settings.metPad = true;
    settings.metPadHeightMm = 9;
    EXPECT_FALSE(computeElements(foot, settings, {}, nullptr, LEVEL, kept, failure));
    EXPECT_EQ(failure, "metatarsal pad height 9 mm is outside 1-8 mm");
    settings.metPadHeightMm = std::nan("");
    EXPECT_FALSE(computeElements(foot, settings, {}, nullptr, LEVEL, kept, failure));
    settings.metPadHeightMm = 4;
    ElementShifts shifts;
    shifts.metPadAcrossMm = 41;
    EXPECT_FALSE(computeElements(foot, settings, shifts, nullptr, LEVEL, kept, failure));
    EXPECT_NE(failure.find("outside -40-40 mm"), std::string::npos) << failure;
    EXPECT_FALSE(computeElements(foot, settings, {}, nullptr, 1.5, kept, failure));
    // A foot of two cells, 1 mm long, has no band centre between 55 % and 80 % of its length:
    // no pad, but a heel cup still has its place.
    FootGrid stub{};
    stub[footIndex(40, 50)] = stub[footIndex(40, 51)] = 100;
    EXPECT_FALSE(computeElements(stub, settings, {}, nullptr, LEVEL, kept, failure));
    EXPECT_NE(failure.find("too short"), std::string::npos) << failure;
    EXPECT_EQ(kept.metBarFrontMm, 12345);
    ElementSettings cup;
    cup.heelCup = true;
    EXPECT_TRUE(computeElements(stub, cup, {}, nullptr, LEVEL, kept, failure)) << failure;
}

TEST(ElementSettingsFile, KeepsEverySettingAndSkipsWhatItCannotTake)
{
    TempDir dir;
    const std::string path = dir.file("element_settings.txt");
    ElementSettings settings;
    settings.side = SideChoice::Right;
    settings.metBar = settings.heelCup = true;
    settings.metBarHeightMm = 2.5;
    settings.heelCupWidthMm = 20;
    settings.rearfootPostDegrees = -7.5;
    ASSERT_TRUE(writeElementSettings(path.c_str(), settings));
    const ElementSettings back = readElementSettings(path.c_str());
    EXPECT_EQ(back.side, SideChoice::Right);
    EXPECT_TRUE(back.metBar && back.heelCup);
    EXPECT_FALSE(back.metPad || back.arch || back.rearfootPost);
    EXPECT_EQ(back.metBarHeightMm, 2.5);
    EXPECT_EQ(back.heelCupWidthMm, 20);
    EXPECT_EQ(back.rearfootPostDegrees, -7.5);

    writeFileBytes(path, "side 7\nmet_pad 2\narch 1\narch_mm 16\nheel_cup_mm 3\nrearfoot_post_deg nan\n");
    const ElementSettings damaged = readElementSettings(path.c_str());
    EXPECT_EQ(damaged.side, SideChoice::Automatic);
    EXPECT_FALSE(damaged.metPad);
    EXPECT_TRUE(damaged.arch);
    EXPECT_EQ(damaged.archHeightMm, ARCH_HEIGHT_MM.standard);
    EXPECT_EQ(damaged.heelCupHeightMm, 3);
    EXPECT_EQ(damaged.rearfootPostDegrees, REARFOOT_POST_DEGREES.standard);
    EXPECT_FALSE(readElementSettings(dir.file("none.txt").c_str()).anyOn());
}
