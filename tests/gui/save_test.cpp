// The Save button's path in the real window, after a recompute.
#include "gui_fixture.h"

#include "app/solid_window.h"
#include "view/file_dialogs.h"
#include "imagefile/insole_export.h"
#include "support/scan_files.h"

#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Value_Slider.H>

#include <algorithm>
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
    unloadFoot();
    testing::internal::CaptureStderr();
    exportInsole(insoleView->heightGrid, insoleView->sourceImage);  // would block on the dialog if it showed one
    EXPECT_NE(testing::internal::GetCapturedStderr().find("no foot image"), std::string::npos);
}

// A scan comes in through the window's Load like an image: measured, drawn, shaped, and its
// insole saved as BMP, the heights read back.
TEST_F(WindowTest, ScanLoadsDrawsAndSavesAsBmp)
{
    TempDir dir;
    ScanMesh sole = latticeSurface(30, 120, 60, 300, 2.0, [](double, double) { return true; },
                                   [](double x, double y) { return 4 + x / 30 + y / 80; });
    const auto ply = asciiPly(sole);
    writeFileBytes(dir.file("scan.ply"), std::string(ply.begin(), ply.end()));
    testing::internal::CaptureStdout();
    const bool loaded = insoleView->loadFootFile(dir.file("scan.ply").c_str());
    const std::string trace = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(loaded);
    EXPECT_NE(trace.find("ASCII PLY, 10800 triangles, units mm (found from its size), 240.0 x 90.0"),
              std::string::npos) << trace;
    EXPECT_EQ(widthSlider->value(), 90);
    EXPECT_EQ(lengthSlider->value(), 240);
    // Its grey levels are the level size the window's solids are made with (0.25 mm here),
    // not the default 0.2 mm: the scan's insole stands as high as the scan.
    ASSERT_NE(currentLevelMm(), DEFAULT_LEVEL_MM);
    auto atLevel = std::make_unique<InsoleState>();
    ScanOptions options;
    options.levelMm = currentLevelMm();
    testing::internal::CaptureStdout();
    ASSERT_TRUE(::loadFoot(*atLevel, dir.file("scan.ply").c_str(), options));
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(atLevel->heightGrid == insoleView->heightGrid);
    heightSlider->value(1.2);
    heightSlider->do_callback();
    waitForRecompute();

    testing::internal::CaptureStderr();
    ASSERT_TRUE(saveInsole(insoleView->heightGrid, insoleView->sourceImage, dir.file("scan").c_str()));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(FreeImage_GetFileType(dir.file("scan.bmp").c_str(), 0), FIF_BMP);
    FIBITMAP* saved = FreeImage_Load(FIF_BMP, dir.file("scan.bmp").c_str(), 0);
    ASSERT_NE(saved, nullptr);
    ASSERT_EQ(FreeImage_GetBPP(saved), 8u);
    int differences = 0;
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            differences += FreeImage_GetScanLine(saved, y)[x] != insoleView->heightGrid[gridIndex(x, y)];
        }
    }
    FreeImage_Unload(saved);
    EXPECT_EQ(differences, 0);
    EXPECT_GT(*std::max_element(insoleView->heightGrid.begin(), insoleView->heightGrid.end()), 10);
}
