// The window's Save and tarsola-batch give the same bytes for the same foot and settings: at
// the defaults, across the sliders' ranges and at their ends, with the limit off and on.
#include "gui_fixture.h"

#include "batch/batch.h"
#include "imagefile/insole_export.h"

#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Value_Slider.H>

#include <cmath>
#include <vector>

namespace {

struct TestFoot {
    std::string name;
    PixelValue grey;
};

// An ellipse centred at (cx, cy) with half-axes (ax, ay), its greys a ramp with a ripple, so
// that neighbouring texels differ and the lowest cell lies somewhere inside.
PixelValue ellipse(double cx, double cy, double ax, double ay, int base)
{
    return [=](int x, int y) -> std::uint8_t {
        const double dx = (x - cx) / ax;
        const double dy = (y - cy) / ay;
        if (dx * dx + dy * dy > 1.0) {
            return 0;
        }
        return static_cast<std::uint8_t>(base + (x * 5 + y * 3) % 120 + (x * y) % 7);
    };
}

std::vector<TestFoot> tenFeet()
{
    return {
        {"textured.bmp", texturedFoot},
        {"rectangle.bmp", rectangleFoot},
        {"oval.bmp", ellipse(70, 170, 48, 140, 20)},
        {"left-low.bmp", ellipse(45, 120, 38, 110, 12)},
        {"right-high.bmp", ellipse(100, 230, 40, 120, 30)},
        {"short.bmp", ellipse(75, 180, 45, 80, 40)},
        {"narrow.bmp", ellipse(76, 175, 23, 131, 9)},
        // Two pieces, as toes drawn apart from the foot.
        {"toes.bmp", [](int x, int y) -> std::uint8_t {
             const double dx = (x - 72) / 44.0, dy = (y - 150) / 110.0;
             const double tx = (x - 80) / 30.0, ty = (y - 300) / 20.0;
             return dx * dx + dy * dy <= 1.0 || tx * tx + ty * ty <= 1.0
                        ? static_cast<std::uint8_t>(15 + (x * 11 + y * 7) % 200) : 0;
         }},
        // Touching the border that measuring leaves out.
        {"edge.bmp", [](int x, int y) -> std::uint8_t {
             return x >= 1 && x <= 148 && y >= 1 && y <= 358 ? static_cast<std::uint8_t>(60 + (x + 2 * y) % 90) : 0;
         }},
        {"sample.bmp", nullptr},
    };
}

class BatchEquality : public WindowTest {
protected:
    // The window at these settings, then Save, then tarsola-batch at the same settings: the
    // same bytes. When the batch refuses the settings, because the drawing would leave the
    // grid, the window has warned of the cut instead; returns whether bytes were compared.
    bool compare(const std::string& foot, double width, double length, double ratio, bool limit)
    {
        SCOPED_TRACE(testing::Message() << foot << " width " << width << " length " << length
                                        << " ratio " << ratio << " limit " << limit);
        widthSlider->value(width);
        lengthSlider->value(length);
        heightSlider->value(ratio);
        limitButton->value(limit);
        testing::internal::CaptureStderr();
        widthSlider->do_callback();
        lengthSlider->do_callback();
        heightSlider->do_callback();
        waitForRecompute();
        const bool cut = drawingLeavesGrid();
        EXPECT_TRUE(saveInsole(insoleView->heightGrid, insoleView->sourceImage, dir.file("window.bmp").c_str()));

        BatchOptions options;
        options.feet = {foot};
        options.out = dir.file("batch.bmp");
        options.width = width;
        options.length = length;
        options.heightRatio = ratio;
        options.limit = limit;
        std::FILE* sink = std::tmpfile();
        testing::internal::CaptureStdout();
        const int status = runBatch(options, sink, sink, false);
        testing::internal::GetCapturedStdout();
        std::fclose(sink);
        testing::internal::GetCapturedStderr();
        if (status != 0) {
            EXPECT_TRUE(cut) << "the batch refused settings that the window made without a cut";
            return false;
        }
        EXPECT_FALSE(cut) << "the window cut an insole that the batch made";
        const auto saved = readFileBytes(dir.file("window.bmp"));
        EXPECT_FALSE(saved.empty());
        EXPECT_EQ(readFileBytes(dir.file("batch.bmp")), saved);
        return true;
    }

    // Whether the drawing at the view's drawn size leaves the grid.
    static bool drawingLeavesGrid()
    {
        return drawnFootOverflow(insoleView->footBox(),
                                 placeQuad(insoleView->footBox(), insoleView->displayWidth,
                                           insoleView->displayLength))
            .any();
    }

    TempDir dir;
};

}  // namespace

TEST_F(BatchEquality, TenFeetAtTheDefaultsAndEverySliderEnd)
{
    int compared = 0;
    int refused = 0;
    int footNumber = 0;
    for (const TestFoot& testFoot : tenFeet()) {
        const std::string foot = testFoot.grey ? dir.file(testFoot.name)
                                               : std::string(TARSOLA_SOURCE_DIR) + "/samples/foot.bmp";
        if (testFoot.grey) {
            writeImage(foot, FIF_BMP, 150, 360, footNumber % 3 == 0 ? 24 : 8, testFoot.grey);
        }
        ASSERT_TRUE(loadFoot(foot)) << foot;
        const double footWidth = insoleView->footWidth;
        const double footLength = insoleView->footLength;
        for (bool limit : {false, true}) {
            compared += compare(foot, footWidth, footLength, 1.0, limit);
        }
        // Every third foot across the ranges, their ends included.
        if (footNumber++ % 3 == 0) {
            const SliderSetting w = widthSliderSetting(insoleView->footWidth);
            const SliderSetting l = lengthSliderSetting(insoleView->footLength);
            for (double width : {w.minimum, footWidth + 3, w.maximum}) {
                for (double length : {l.minimum, footLength * 0.9, l.maximum}) {
                    const double ratio = length < footLength ? 1.7 : 0.45;
                    const bool limit = width != footWidth + 3;
                    if (!compare(foot, width, length, ratio, limit)) {
                        ++refused;
                    } else {
                        ++compared;
                    }
                }
            }
        }
    }
    EXPECT_GE(compared, 20 + 4 * 5);
    EXPECT_GT(refused, 0) << "no setting reached the grid's edge";
    limitButton->value(0);
}

TEST_F(BatchEquality, SaveRightAfterALoadWritesTheInsoleNotTheFoot)
{
    const std::string foot = std::string(TARSOLA_SOURCE_DIR) + "/samples/foot.bmp";
    // The batch's defaults: ratio 1, the limit off (the load sets width and length itself).
    heightSlider->value(1.0);
    limitButton->value(0);
    // No control is touched: Save runs what the load asked for first, as the Save button does.
    testing::internal::CaptureStdout();
    ASSERT_TRUE(insoleView->loadFootFile(foot.c_str()));
    EXPECT_EQ(insoleView->recomputePending, 1);
    insoleView->recomputeIfPending();
    testing::internal::GetCapturedStdout();
    testing::internal::CaptureStderr();
    ASSERT_TRUE(saveInsole(insoleView->heightGrid, insoleView->sourceImage, dir.file("window.bmp").c_str()));
    testing::internal::GetCapturedStderr();

    BatchOptions options;
    options.feet = {foot};
    options.out = dir.file("batch.bmp");
    std::FILE* sink = std::tmpfile();
    testing::internal::CaptureStdout();
    ASSERT_EQ(runBatch(options, sink, sink, false), 0);
    testing::internal::GetCapturedStdout();
    std::fclose(sink);
    EXPECT_EQ(readFileBytes(dir.file("window.bmp")), readFileBytes(dir.file("batch.bmp")));
    EXPECT_NE(readFileBytes(dir.file("window.bmp")), readFileBytes(foot));
}
