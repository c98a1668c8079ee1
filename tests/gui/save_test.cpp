// The Save button's path in the real window, after a recompute.
#include "gui_fixture.h"

#include "imagefile/file_dialogs.h"
#include "imagefile/insole_export.h"

#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Value_Slider.H>

#include <memory>
#include <string>

TEST_F(WindowTest, SaveAfterARecomputeWritesTheShapedHeights)
{
    TempDir dir;
    writeImage(dir.file("foot.bmp"), FIF_BMP, 152, 360, 24, texturedFoot);
    ASSERT_TRUE(loadFoot(dir.file("foot.bmp")));
    limitButton->value(1);
    heightSlider->value(0.7);
    heightSlider->do_callback();
    waitForRecompute();
    limitButton->value(0);

    testing::internal::CaptureStderr();
    ASSERT_TRUE(saveInsole(insoleView->heightGrid, insoleView->sourceImage, dir.file("left").c_str()));
    testing::internal::GetCapturedStderr();

    FIBITMAP* saved = FreeImage_Load(FIF_BMP, dir.file("left.bmp").c_str(), 0);
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(FreeImage_GetWidth(saved), 152u);
    EXPECT_EQ(FreeImage_GetBPP(saved), 24u);
    int heightsSeen = 0;
    for (int y = 0; y < GRID_ROWS; ++y) {
        const BYTE* line = FreeImage_GetScanLine(saved, y);
        for (int x = 0; x < GRID_STRIDE; ++x) {
            const std::uint8_t height = insoleView->heightGrid[gridIndex(x, y)];
            heightsSeen += height != 0;
            for (int i = 0; i < 3; ++i) {
                ASSERT_EQ(line[x * 3 + i], height) << x << "," << y;
            }
        }
    }
    FreeImage_Unload(saved);
    EXPECT_GT(heightsSeen, 30000);
}

TEST_F(WindowTest, SaveWithNothingLoadedShowsNoDialog)
{
    TempDir dir;
    writeFileBytes(dir.file("notes.txt"), "not a foot");
    ASSERT_FALSE(loadFoot(dir.file("notes.txt")));
    testing::internal::CaptureStderr();
    exportInsole();  // would block on the dialog if it showed one
    EXPECT_NE(testing::internal::GetCapturedStderr().find("no foot image"), std::string::npos);
}
