// The elements in the recompute that the window and the batch share: drawn onto the insole as
// the foot is, stretching with it, added together with the relief's raise before the limit;
// without any, the insole is today's to the byte.
#include "insole/elements.h"
#include "insole/recompute.h"
#include "insole/relief_plan.h"
#include "insole/slope_limit.h"

#include "support/pressure_files.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

struct Prescribed {
    std::unique_ptr<InsoleState> state = std::make_unique<InsoleState>();
    std::unique_ptr<ReliefPlan> plan = std::make_unique<ReliefPlan>();
    std::unique_ptr<DrawnRelief> drawn = std::make_unique<DrawnRelief>();
    std::unique_ptr<ElementRaise> elements = std::make_unique<ElementRaise>();
    std::unique_ptr<DrawnElements> drawnElements = std::make_unique<DrawnElements>();

    Grid recompute(const InsoleSettings& settings, const Relief* relief, const ElementRaise* raise)
    {
        testing::internal::CaptureStdout();
        recomputeHeights(*state, settings, relief, drawn.get(), raise, drawnElements.get());
        testing::internal::GetCapturedStdout();
        return state->heightGrid;
    }

    void prescribe(const ElementSettings& settings)
    {
        std::string failure;
        ASSERT_TRUE(computeElements(state->footGrid, settings, {}, nullptr, DEFAULT_LEVEL_MM,
                                    *elements, failure))
            << failure;
    }
};

std::unique_ptr<Prescribed> sampleFoot()
{
    auto p = std::make_unique<Prescribed>();
    testing::internal::CaptureStdout();
    EXPECT_TRUE(loadFoot(*p->state, TARSOLA_SOURCE_DIR "/samples/foot.bmp"));
    testing::internal::GetCapturedStdout();
    return p;
}

long sumOf(const std::uint8_t* cells, int count)
{
    long sum = 0;
    for (int i = 0; i < count; ++i) {
        sum += cells[i];
    }
    return sum;
}

}  // namespace

TEST(ElementsRecompute, EachElementAloneRaisesTheInsoleByItsDrawnRaise)
{
    auto p = sampleFoot();
    const InsoleSettings restored = restoredSettings(*p->state);
    const Grid plain = p->recompute(restored, nullptr, nullptr);
    for (bool ElementSettings::*on : {&ElementSettings::metPad, &ElementSettings::metBar,
                                      &ElementSettings::arch, &ElementSettings::heelCup,
                                      &ElementSettings::rearfootPost}) {
        ElementSettings settings;
        settings.*on = true;
        p->prescribe(settings);
        const Grid raised = p->recompute(restored, nullptr, activeElements(p->elements.get()));
        // Each insole cell has the raise of the foot image's cell that the foot's drawing put
        // there: drawn with the same quad and rule, found by drawing the texels' coordinates.
        const QuadPlacement quad =
            placeQuad(p->state->footBox(), p->state->displayWidth, p->state->displayLength);
        auto column = std::make_unique<FootGrid>(), rowLow = std::make_unique<FootGrid>(),
             rowHigh = std::make_unique<FootGrid>();
        for (int y = 0; y < GRID_ROWS; ++y) {
            for (int x = 0; x < FOOT_COLUMNS; ++x) {
                (*column)[footIndex(x, y)] = static_cast<std::uint8_t>(x);
                (*rowLow)[footIndex(x, y)] = static_cast<std::uint8_t>(y & 0xff);
                (*rowHigh)[footIndex(x, y)] = static_cast<std::uint8_t>(y >> 8);
            }
        }
        auto cx = std::make_unique<Grid>(), cyl = std::make_unique<Grid>(), cyh = std::make_unique<Grid>();
        const FootLayer layers[] = {{column.get(), cx.get()}, {rowLow.get(), cyl.get()}, {rowHigh.get(), cyh.get()}};
        drawFootLayersOnCpu(layers, 3, quad);
        for (int i = 0; i < GRID_ROWS * GRID_STRIDE; ++i) {
            if (plain[i]) {
                const int texel = footIndex((*cx)[i], (*cyl)[i] | ((*cyh)[i] << 8));
                ASSERT_EQ(p->drawnElements->raise[i], p->elements->raise[texel]) << "cell " << i;
            }
        }
        long added = 0;
        for (int i = 0; i < GRID_ROWS * GRID_STRIDE; ++i) {
            ASSERT_EQ(raised[i], plain[i] ? std::min(255, plain[i] + p->drawnElements->raise[i]) : 0)
                << "cell " << i;
            added += raised[i] - plain[i];
        }
        EXPECT_GT(added, 1000);
        EXPECT_EQ(p->drawnElements->cappedCells, 0);
    }
    // Stretched, the elements stretch with the foot: the pad's drawn outline grows in area as
    // the width and length do.
    ElementSettings pad;
    pad.metPad = true;
    p->prescribe(pad);
    auto outlines = std::make_unique<Grid>();
    p->recompute(restored, nullptr, p->elements.get());
    drawElementOutlines(*p->elements, *p->state, *outlines);
    const long padCells = sumOf(outlines->data(), GRID_ROWS * GRID_STRIDE);
    InsoleSettings wider = restored;
    wider.width *= 1.15;
    wider.length *= 1.1;
    p->recompute(wider, nullptr, p->elements.get());
    drawElementOutlines(*p->elements, *p->state, *outlines);
    const long stretched = sumOf(outlines->data(), GRID_ROWS * GRID_STRIDE);
    EXPECT_NEAR(static_cast<double>(stretched) / padCells, 1.15 * 1.1, 0.08);

    // None: today's insole, and no layer left over from before.
    EXPECT_EQ(p->recompute(restored, nullptr, nullptr), plain);
    EXPECT_EQ(sumOf(p->drawnElements->raise.data(), GRID_ROWS * GRID_STRIDE), 0);
}

TEST(ElementsRecompute, AddedWithTheReliefBeforeTheLimitAndCappedTogether)
{
    auto p = sampleFoot();
    const std::string matrix = pressureMatrixOf(p->state->footGrid, 5.0);
    std::string failure;
    ASSERT_TRUE(readPressureBytes(reinterpret_cast<const std::uint8_t*>(matrix.data()),
                                  matrix.size(), "plate.csv", PressureOptions{}, p->plan->map,
                                  failure))
        << failure;
    ASSERT_TRUE(placeRelief(*p->plan, p->state->footGrid, PlacementCorrection{}, DEFAULT_LEVEL_MM,
                            failure))
        << failure;
    ElementSettings settings;
    settings.arch = settings.heelCup = settings.rearfootPost = true;
    settings.archHeightMm = 15;
    settings.heelCupHeightMm = 15;
    settings.rearfootPostDegrees = -10;
    p->prescribe(settings);

    InsoleSettings restored = restoredSettings(*p->state);
    restored.heightRatio = 2.0;
    const Grid plain = p->recompute(restored, nullptr, nullptr);
    const Grid relieved = p->recompute(restored, activeRelief(p->plan.get()), nullptr);
    const std::vector<ReliefZone> zonesAlone = p->drawn->zones;
    const Grid both = p->recompute(restored, activeRelief(p->plan.get()), p->elements.get());
    int capped = 0;
    for (int i = 0; i < GRID_ROWS * GRID_STRIDE; ++i) {
        const int sum = plain[i] ? plain[i] + p->drawn->raise[i] + p->drawnElements->raise[i] : 0;
        ASSERT_EQ(both[i], std::min(255, sum)) << "cell " << i;
        ASSERT_EQ(p->drawnElements->capped[i], sum > 255 ? 1 : 0);
        capped += sum > 255;
    }
    // The steep heel cup on a doubled height meets the cap: both counts say how often.
    EXPECT_GT(capped, 0);
    EXPECT_EQ(p->drawnElements->cappedCells, capped);
    EXPECT_EQ(p->drawn->cappedCells, capped);
    // The zones keep their ids and places; the relief's own raise is drawn as without elements.
    ASSERT_EQ(p->drawn->zones.size(), zonesAlone.size());
    for (std::size_t z = 0; z < zonesAlone.size(); ++z) {
        EXPECT_EQ(p->drawn->zones[z].centreXMm, zonesAlone[z].centreXMm);
    }
    EXPECT_NE(both, relieved);

    // With the limit, the limit works on the summed heights.
    restored.limit = true;
    Grid expected = both;
    limitSlopes(expected);
    EXPECT_EQ(p->recompute(restored, activeRelief(p->plan.get()), p->elements.get()), expected);
}
