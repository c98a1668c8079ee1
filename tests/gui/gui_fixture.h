// The real main window under a real X server, shared by the window tests of one process:
// the program builds its window once, so the tests do too.
#pragma once

#include "app/main_window.h"
#include "view/gl_display_image.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

class Fl_Double_Window;

class WindowTest : public testing::Test {
protected:
    static void SetUpTestSuite();
    // Every window test starts without the pointer state that an earlier test's made-up
    // events left behind (FLTK keeps it across tests, as it does across a session), and
    // ends without a grab or a modal window, which would swallow the next test's events.
    // A fixture that overrides these calls them first.
    void SetUp() override;
    void TearDown() override;

    // Runs FLTK's event loop until the condition holds; fails the test after a few seconds.
    static bool pumpUntil(const std::function<bool()>& condition, double seconds = 10.0);
    // Lets the view run its next recompute frame.
    static void waitForRecompute();
    // Loads a foot through the Load button's path after its dialog and runs the recompute the
    // load asks for; stdout and stderr are discarded.
    static bool loadFoot(const std::string& path);
    // Leaves the view as the program starts without a foot: no image, no measurement, no
    // foot's name; whoever shows the insole hears of it. A refused load keeps the foot, so
    // this is the only way back to that state within one process.
    static void unloadFoot();
    // Presses the "立體" button, the thirteenth control, as a click would, and waits until
    // the 3D window is on screen; false when it does not come.
    static bool openSolidWindow();
    // Drops `text` at (x, y) of the main window as FLTK delivers a drop from another program:
    // enter, drag and release at the pointer, then the paste to the widget that took the
    // release. Returns whether the window took the drop; the paste's output is discarded and
    // its standard error goes to `problems` when given.
    static bool dropOnWindow(int x, int y, std::string text, std::string* problems = nullptr);

    static Fl_Double_Window* window;
    static TempDir* folder;  // the working folder, holding the settings file
    static int restoredLimit;  // the limit button's value right after start-up
    static double restoredLevel;  // the solid's level size right after start-up
};

// The foot image of the window tests: every non-zero value from 10 upward, and neighbouring
// texels always differ, so a pixel that shows the wrong texel is seen. Its box (columns 20 to
// 130, rows 30 to 330) has its centre on the view's centre, so at the natural size pixel
// centres fall inside texels rather than on their boundaries.
std::uint8_t texturedFoot(int x, int y);

// Whether the loaded foot drawn at these width and length values leaves every pixel centre
// clear of texel boundaries, so that any GPU reads back what the drawing rule gives.
bool unambiguousDrawing(double width, double length);
