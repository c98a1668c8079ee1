#include "gui_fixture.h"

#include "app/fonts.h"
#include "app/solid_window.h"
#include "imagefile/loaded_foot.h"
#include "view/insole_listener.h"
#include "insole/drawing.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>

#include <chrono>
#include <unistd.h>

Fl_Double_Window* WindowTest::window = nullptr;
TempDir* WindowTest::folder = nullptr;
int WindowTest::restoredLimit = -1;
double WindowTest::restoredLevel = 0.0;

void WindowTest::SetUpTestSuite()
{
    if (window) {
        return;
    }
    folder = new TempDir();
    ASSERT_EQ(chdir(folder->path().c_str()), 0);
    // Any non-zero value checks the limit button at start-up.
    writeFileBytes(folder->file("bt_degree_30.txt"), "5");
    writeFileBytes(folder->file("solid_level_mm.txt"), "0.25");
    useFontForLabels();
    window = createMainWindow();
    restoredLimit = limitButton->value();
    restoredLevel = currentLevelMm();
    window->show();
    ASSERT_TRUE(pumpUntil([] { return insoleView->shown() && insoleView->valid(); }));
}

void WindowTest::SetUp()
{
    // A drop or a click sent through Fl::handle leaves its widget below the mouse or pushed,
    // in whichever window it was; FLTK offers a later shortcut to that widget's window, not
    // to the window the later test types into.
    Fl::belowmouse(nullptr);
    Fl::pushed(nullptr);
}

void WindowTest::TearDown()
{
    EXPECT_EQ(Fl::grab(), nullptr) << "the test left a window grabbing every event";
    EXPECT_EQ(Fl::modal(), nullptr) << "the test left a modal window";
}

bool WindowTest::pumpUntil(const std::function<bool()>& condition, double seconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            ADD_FAILURE() << "timed out waiting for the window";
            return false;
        }
        Fl::wait(0.01);
    }
    return true;
}

void WindowTest::waitForRecompute()
{
    testing::internal::CaptureStdout();
    pumpUntil([] { return insoleView->recomputePending == 0; });
    testing::internal::GetCapturedStdout();
}

bool WindowTest::openSolidWindow()
{
    auto* button = dynamic_cast<Fl_Button*>(window->child(11));
    if (!button) {
        ADD_FAILURE() << "the main window's twelfth child is not the 3D button";
        return false;
    }
    button->do_callback();
    return pumpUntil([] { return solidWindow->shown() && solidWindow->visible(); });
}

bool WindowTest::loadFoot(const std::string& path)
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const bool loaded = insoleView->loadFootFile(path.c_str());
    // A load asks for the recompute that shapes the foot into an insole; run it.
    EXPECT_EQ(insoleView->recomputePending, loaded ? 1 : insoleView->recomputePending);
    pumpUntil([] { return insoleView->recomputePending == 0 || insoleView->sourceImage.empty(); });
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    return loaded;
}

void WindowTest::unloadFoot()
{
    insoleView->reliefPlan.reset();
    insoleView->sourceImage.release();
    forgetLoadedFoot();
    if (insoleChanged) {
        insoleChanged();
    }
}

bool WindowTest::dropOnWindow(int x, int y, std::string text, std::string* problems)
{
    Fl::e_x = x;
    Fl::e_y = y;
    Fl::e_x_root = window->x() + x;
    Fl::e_y_root = window->y() + y;
    if (!Fl::handle(FL_DND_ENTER, window) || !Fl::handle(FL_DND_DRAG, window) ||
        !Fl::handle(FL_DND_RELEASE, window) || !Fl::belowmouse()) {
        return false;
    }
    Fl::e_text = text.data();
    Fl::e_length = static_cast<int>(text.size());
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int taken = Fl::belowmouse()->handle(FL_PASTE);
    Fl::e_text = nullptr;
    Fl::e_length = 0;
    testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    if (problems) {
        *problems = err;
    }
    return taken != 0;
}

std::uint8_t texturedFoot(int x, int y)
{
    if (x < 20 || x > 130 || y < 30 || y > 330) {
        return 0;
    }
    return static_cast<std::uint8_t>(10 + (x * 7 + y * 13) % 240);
}

bool unambiguousDrawing(double width, double length)
{
    Grid drawn{};
    Grid ambiguous{};
    const float displayWidth = displaySizeFor(width, insoleView->footWidth, FOOT_COLUMNS);
    const float displayLength = displaySizeFor(length, insoleView->footLength, GRID_ROWS);
    drawFootOnCpu(insoleView->displayGrid, placeQuad(insoleView->footBox(), displayWidth, displayLength),
                  drawn, &ambiguous);
    for (std::uint8_t a : ambiguous) {
        if (a) {
            return false;
        }
    }
    return true;
}
