// The 3D window through the real widgets: opened by the main window's button, following the
// view's recomputes, its camera, its level size and Save solid.
#include "gui_fixture.h"

#include "base/level_setting.h"
#include "batch/batch.h"
#include "app/message_line.h"
#include "app/solid_window.h"
#include "solid/package_parts.h"
#include "solid/solid_files.h"
#include "solid/solid_mesh.h"
#include "view/solid_view.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Float_Input.H>
#include <FL/Fl_Value_Slider.H>

#include <cstring>
#include <string>
#include <vector>

namespace {

// The model part of a 3MF: the mesh with its metadata, without the job's parts beside it.
std::vector<std::uint8_t> modelPartOf(const std::vector<std::uint8_t>& package)
{
    std::vector<std::uint8_t> model;
    std::string why;
    EXPECT_TRUE(readPackagePart(package.data(), package.size(), "3D/3dmodel.model", model, why)) << why;
    return model;
}

using Frame = std::vector<std::uint8_t>;

bool sameMesh(const SolidMesh& a, const SolidMesh& b)
{
    return a.triangles == b.triangles && a.vertices.size() == b.vertices.size() &&
           std::memcmp(a.vertices.data(), b.vertices.data(), a.vertices.size() * sizeof(SolidVertex)) == 0;
}

// Pixels in which two frames differ.
int differingPixels(const Frame& a, const Frame& b)
{
    int count = 0;
    for (std::size_t i = 0; i + 2 < a.size() && i + 2 < b.size(); i += 3) {
        count += a[i] != b[i] || a[i + 1] != b[i + 1] || a[i + 2] != b[i + 2];
    }
    return count;
}

// Pixels that differ from the frame's first pixel (a corner, which shows the background).
int pixelsOffBackground(const Frame& frame)
{
    const Frame background(frame.begin(), frame.begin() + 3);
    int count = 0;
    for (std::size_t i = 0; i + 2 < frame.size(); i += 3) {
        count += std::memcmp(&frame[i], background.data(), 3) != 0;
    }
    return count;
}

// Runs the event loop for a while, the main view's traces discarded.
void pumpFor(double seconds)
{
    testing::internal::CaptureStdout();
    for (double waited = 0.0; waited < seconds; waited += 0.01) {
        Fl::wait(0.01);
    }
    testing::internal::GetCapturedStdout();
}

void mouse(int event, int state, int x, int y)
{
    Fl::e_state = state;
    Fl::e_x = x;
    Fl::e_y = y;
    solidWindow->view->handle(event);
}

}  // namespace

class SolidWindowTest : public WindowTest {
protected:
    // The "立體" button, the thirteenth control.
    void clickSolidButton()
    {
        ASSERT_TRUE(openSolidWindow());
    }

    // Runs the recompute the controls asked for, if opening the window has not already run
    // it, and the 3D frame that follows it.
    static void waitForSolidFrame()
    {
        const bool pending = insoleView->recomputePending != 0;
        const unsigned long built = solidWindow->solidsBuilt();
        waitForRecompute();
        pumpUntil([built, pending] {
            return (!pending || solidWindow->solidsBuilt() > built) && !solidWindow->view->damage();
        });
    }

    static void expectSolidOfHeightGrid()
    {
        EXPECT_TRUE(sameMesh(solidWindow->solid(), buildSolid(insoleView->heightGrid, currentLevelMm())));
    }
};

TEST_F(SolidWindowTest, OpensFromTheButtonSaysWhenNoFootIsLoadedAndFollowsTheLoad)
{
    TempDir dir;
    unloadFoot();
    clickSolidButton();
    EXPECT_STREQ(solidWindow->label(), "Tarsola 3D");
    EXPECT_TRUE(solidWindow->absence->visible());
    EXPECT_STREQ(solidWindow->absence->label(), "尚未讀取腳型");
    EXPECT_FALSE(solidWindow->view->visible());
    EXPECT_TRUE(solidWindow->solid().empty());
    testing::internal::CaptureStderr();
    saveSolidClicked(nullptr, nullptr);  // would block on the dialog if it showed one
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Cannot save solid: no foot image is loaded\n");

    // A load reaches the open window without any control being touched.
    writeImage(dir.file("foot.bmp"), FIF_BMP, 150, 360, 8, rectangleFoot);
    ASSERT_TRUE(loadFoot(dir.file("foot.bmp")));
    ASSERT_TRUE(pumpUntil([] { return solidWindow->view->visible() && solidWindow->view->valid(); }));
    EXPECT_FALSE(solidWindow->absence->visible());
    expectSolidOfHeightGrid();
    const SolidFigures figures = measureSolid(solidWindow->solid());
    EXPECT_EQ(std::string(solidWindow->triangles->label()), "三角形: " + std::to_string(figures.triangles));
    EXPECT_GT(pixelsOffBackground(solidWindow->view->readFrame()), 20000);

    // The button raises the open window; it makes no second one.
    SolidWindow* open = solidWindow;
    clickSolidButton();
    EXPECT_EQ(solidWindow, open);
}

TEST_F(SolidWindowTest, FollowsEveryRecomputeAndRedrawsOnlyWhenItChanges)
{
    TempDir dir;
    writeImage(dir.file("foot.bmp"), FIF_BMP, 150, 360, 8, texturedFoot);
    ASSERT_TRUE(loadFoot(dir.file("foot.bmp")));
    limitButton->value(0);
    heightSlider->value(1.6);
    heightSlider->do_callback();
    waitForRecompute();
    clickSolidButton();
    pumpUntil([] { return solidWindow->view->valid(); });
    expectSolidOfHeightGrid();
    const Frame unlimited = solidWindow->view->readFrame();

    // The limit flattens the foot's steep texture: seen in the very next 3D frame.
    limitButton->value(1);
    limitButton->do_callback();
    waitForSolidFrame();
    expectSolidOfHeightGrid();
    const Frame limited = solidWindow->view->readFrame();
    EXPECT_GT(differingPixels(unlimited, limited), 2000);
    limitButton->value(0);
    limitButton->do_callback();
    waitForSolidFrame();
    expectSolidOfHeightGrid();

    // Nothing changes: the main view keeps drawing at 120 Hz, the 3D view draws nothing.
    pumpFor(0.1);
    const unsigned long frames = solidWindow->view->framesDrawn();
    pumpFor(0.3);
    EXPECT_EQ(solidWindow->view->framesDrawn(), frames);

    // Closed, it builds no solid; opened again, it shows the insole as it is now.
    const unsigned long built = solidWindow->solidsBuilt();
    solidWindow->hide();
    heightSlider->value(0.5);
    heightSlider->do_callback();
    waitForRecompute();
    pumpFor(0.1);
    EXPECT_EQ(solidWindow->solidsBuilt(), built);
    clickSolidButton();
    expectSolidOfHeightGrid();
}

TEST_F(SolidWindowTest, MouseTurnsZoomsAndMovesTheSolidAndRPutsTheCameraBack)
{
    TempDir dir;
    writeImage(dir.file("foot.bmp"), FIF_BMP, 150, 360, 8, rectangleFoot);
    ASSERT_TRUE(loadFoot(dir.file("foot.bmp")));
    clickSolidButton();
    solidWindow->view->resetCamera();
    pumpUntil([] { return solidWindow->view->valid(); });
    const Frame start = solidWindow->view->readFrame();

    Frame last = start;
    const auto expectNewFrame = [&last](const char* what) {
        const Frame now = solidWindow->view->readFrame();
        EXPECT_GT(differingPixels(last, now), 1000) << what;
        last = now;
    };
    mouse(FL_PUSH, FL_BUTTON1, 200, 200);
    mouse(FL_DRAG, FL_BUTTON1, 260, 230);
    mouse(FL_RELEASE, 0, 260, 230);
    expectNewFrame("left drag");
    Fl::e_dy = -3;
    mouse(FL_MOUSEWHEEL, 0, 200, 200);
    expectNewFrame("wheel");
    mouse(FL_PUSH, FL_BUTTON3, 200, 200);
    mouse(FL_DRAG, FL_BUTTON3, 150, 260);
    mouse(FL_RELEASE, 0, 150, 260);
    expectNewFrame("right drag");
    const unsigned long frames = solidWindow->view->framesDrawn();
    pumpUntil([frames] { return solidWindow->view->framesDrawn() > frames; });

    // The click above gave the view the keyboard: r goes on to the window's reset button.
    // The key comes as X brings it: its window first among FLTK's windows, and its text in a
    // buffer FLTK may write to (it swaps the letter's case to try the other shortcut).
    ASSERT_EQ(Fl::focus(), solidWindow->view);
    char typed[] = "r";
    Fl::first_window(solidWindow);
    Fl::e_keysym = 'r';
    Fl::e_state = 0;
    Fl::e_text = typed;
    Fl::e_length = 1;
    EXPECT_EQ(Fl::handle(FL_KEYBOARD, solidWindow), 1);
    Fl::e_text = nullptr;
    Fl::e_length = 0;
    EXPECT_EQ(differingPixels(start, solidWindow->view->readFrame()), 0);
}

TEST_F(SolidWindowTest, LevelSizeIsTakenFromItsRangeKeptAndRefusedOutside)
{
    EXPECT_EQ(restoredLevel, 0.25);  // written by the fixture before start-up
    TempDir dir;
    writeImage(dir.file("foot.bmp"), FIF_BMP, 150, 360, 8, rectangleFoot);
    ASSERT_TRUE(loadFoot(dir.file("foot.bmp")));
    clickSolidButton();
    const double level = currentLevelMm();
    const double thickest = solidWindow->figures().thickestMm;
    const std::string shown = solidWindow->levelInput->value();
    EXPECT_EQ(shown, formatLevelMm(level));

    const auto enter = [](const char* text) {
        solidWindow->levelInput->value(text);
        testing::internal::CaptureStderr();
        levelEntered(solidWindow->levelInput, nullptr);
        return testing::internal::GetCapturedStderr();
    };
    const auto keptFile = readFileBytes(folder->file(LEVEL_SETTINGS_FILE));
    const std::string mainMessage = messageLine->text();
    for (const char* refused : {"1.5", "0.01", "", "-"}) {
        SCOPED_TRACE(refused);
        EXPECT_EQ(enter(refused), std::string("Level size \"") + refused +
                                      "\" refused: it must be a number from 0.05 to 1 (mm)\n");
        // Said in the 3D window, where it was typed; the main window's line is left alone.
        EXPECT_EQ(solidWindow->messageLine->text() + "\n", std::string("Level size \"") + refused +
                                      "\" refused: it must be a number from 0.05 to 1 (mm)\n");
        EXPECT_EQ(messageLine->text(), mainMessage);
        EXPECT_EQ(solidWindow->levelInput->value(), shown);
        EXPECT_NE(std::string(solidWindow->levelNote->label()).find("0.05"), std::string::npos);
        EXPECT_EQ(currentLevelMm(), level);
    }
    EXPECT_EQ(readFileBytes(folder->file(LEVEL_SETTINGS_FILE)), keptFile);

    // Twice the level, twice the thickness: the solid is rebuilt at once, the size kept.
    const std::string doubled = formatLevelMm(level * 2);
    EXPECT_EQ(enter(doubled.c_str()), "");
    EXPECT_STREQ(solidWindow->levelNote->label(), "");
    EXPECT_EQ(currentLevelMm(), level * 2);
    EXPECT_DOUBLE_EQ(solidWindow->figures().thickestMm, thickest * 2);
    EXPECT_EQ(readLevelSetting(folder->file(LEVEL_SETTINGS_FILE).c_str()), level * 2);
    enter(shown.c_str());
    EXPECT_EQ(currentLevelMm(), level);
}

TEST_F(SolidWindowTest, SavesTheSolidShownRecordingTheFootTheControlsAndTheLevel)
{
    TempDir dir;
    writeImage(dir.file("left foot.bmp"), FIF_BMP, 150, 360, 8, texturedFoot);
    ASSERT_TRUE(loadFoot(dir.file("left foot.bmp")));
    limitButton->value(1);
    widthSlider->value(widthSlider->value() + 3);
    widthSlider->do_callback();
    heightSlider->value(1.3);
    heightSlider->do_callback();
    clickSolidButton();
    waitForSolidFrame();
    expectSolidOfHeightGrid();

    testing::internal::CaptureStderr();
    EXPECT_TRUE(solidWindow->saveAs(dir.file("insole").c_str()));
    EXPECT_TRUE(solidWindow->saveAs(dir.file("insole.3mf").c_str()));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(readFileBytes(dir.file("insole.stl")), encodeStl(solidWindow->solid()));

    SolidRecord record;
    record.footFile = "left foot.bmp";
    record.settings = {widthSlider->value(), lengthSlider->value(), 1.3, true};
    record.levelMm = currentLevelMm();
    std::vector<std::uint8_t> expected;
    std::string failure;
    ASSERT_TRUE(encode3mf(solidWindow->solid(), record, expected, failure)) << failure;
    EXPECT_EQ(modelPartOf(readFileBytes(dir.file("insole.3mf"))), modelPartOf(expected));
    limitButton->value(0);
}

TEST_F(SolidWindowTest, SavedSolidEqualsTheBatchsForTheSameSettings)
{
    TempDir dir;
    const std::string foot = dir.file("foot.bmp");
    writeImage(foot, FIF_BMP, 150, 360, 24, texturedFoot);
    ASSERT_TRUE(loadFoot(foot));
    // Slider values whose drawing any GPU reads back as the drawing rule gives it.
    int width = 0;
    int length = 0;
    for (int l = insoleView->footLength * 3 / 4; l < insoleView->footLength * 3 / 2 && !width; l += 7) {
        for (int w = insoleView->footWidth * 4 / 5 + 1; w < insoleView->footWidth * 6 / 5 && !width; ++w) {
            if (unambiguousDrawing(w, l)) {
                width = w;
                length = l;
            }
        }
    }
    ASSERT_NE(width, 0) << "no unambiguous width and length";
    widthSlider->value(width);
    lengthSlider->value(length);
    heightSlider->value(1.4);
    limitButton->value(1);
    widthSlider->do_callback();
    lengthSlider->do_callback();
    heightSlider->do_callback();
    clickSolidButton();
    waitForSolidFrame();
    testing::internal::CaptureStderr();
    ASSERT_TRUE(solidWindow->saveAs(dir.file("window").c_str()));
    testing::internal::GetCapturedStderr();
    limitButton->value(0);

    BatchOptions options;
    options.feet = {foot};
    options.stl = dir.file("batch.stl");
    options.width = width;
    options.length = length;
    options.heightRatio = 1.4;
    options.limit = true;
    options.scan.levelMm = currentLevelMm();
    std::FILE* sink = std::tmpfile();
    ASSERT_EQ(runBatch(options, sink, sink, false), 0);
    std::fclose(sink);
    const auto saved = readFileBytes(dir.file("window.stl"));
    ASSERT_GT(saved.size(), 84u + 50u * 10000u);
    EXPECT_EQ(readFileBytes(dir.file("batch.stl")), saved);
}
