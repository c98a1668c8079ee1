// The window's Save and tarsola-batch give the same bytes for the same foot and settings,
// wherever the drawing leaves no pixel centre on a texel boundary.
#include "gui_fixture.h"

#include "batch/batch.h"
#include "imagefile/insole_export.h"
#include "view/drawing.h"

#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Value_Slider.H>

namespace {

// A foot of another shape and place than the fixture's: a slanted ellipse with a ramp.
std::uint8_t ovalFoot(int x, int y)
{
    const double dx = (x - 70) / 48.0;
    const double dy = (y - 170) / 140.0;
    if (dx * dx + dy * dy > 1.0) {
        return 0;
    }
    return static_cast<std::uint8_t>(20 + (x * 5 + y * 3) % 220);
}

}  // namespace

TEST_F(WindowTest, BatchInsoleEqualsTheWindowsSave)
{
    TempDir dir;
    writeImage(dir.file("textured.bmp"), FIF_BMP, 150, 360, 8, texturedFoot);
    writeImage(dir.file("rectangle.png"), FIF_PNG, 150, 360, 24, rectangleFoot);
    writeImage(dir.file("oval.bmp"), FIF_BMP, 150, 360, 32, ovalFoot);
    const double ratios[] = {1.0, 0.35, 1.8};
    int compared = 0;
    for (const char* name : {"textured.bmp", "rectangle.png", "oval.bmp"}) {
        const std::string foot = dir.file(name);
        ASSERT_TRUE(loadFoot(foot));
        const int footWidth = insoleView->footWidth;
        const int footLength = insoleView->footLength;
        int settingsTried = 0;
        for (int width = footWidth * 4 / 5 + 1; width < footWidth * 6 / 5 && settingsTried < 3; width += 3) {
            for (int length = footLength / 2 + 1; length < footLength * 3 / 2; length += 11) {
                if (!unambiguousDrawing(width, length)) {
                    continue;
                }
                const double ratio = ratios[settingsTried];
                const bool limit = settingsTried != 1;
                SCOPED_TRACE(testing::Message() << name << " width " << width << " length "
                                                << length << " ratio " << ratio << " limit " << limit);
                widthSlider->value(width);
                lengthSlider->value(length);
                heightSlider->value(ratio);
                limitButton->value(limit);
                widthSlider->do_callback();
                lengthSlider->do_callback();
                heightSlider->do_callback();
                waitForRecompute();
                testing::internal::CaptureStderr();
                ASSERT_TRUE(saveInsole(insoleView->heightGrid, insoleView->sourceImage,
                                       dir.file("window").c_str()));
                testing::internal::GetCapturedStderr();

                BatchOptions options;
                options.feet = {foot};
                options.out = dir.file("batch.bmp");
                options.width = width;
                options.length = length;
                options.heightRatio = ratio;
                options.limit = limit;
                std::FILE* sink = std::tmpfile();
                ASSERT_EQ(runBatch(options, sink, sink, false), 0);
                std::fclose(sink);

                const auto saved = readFileBytes(dir.file("window.bmp"));
                ASSERT_FALSE(saved.empty());
                EXPECT_EQ(readFileBytes(dir.file("batch.bmp")), saved);
                ++settingsTried;
                ++compared;
                break;
            }
        }
    }
    EXPECT_EQ(compared, 9);
    limitButton->value(0);
}
