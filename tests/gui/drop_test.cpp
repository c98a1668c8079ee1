// A foot image dropped on the real window: FLTK's drag-and-drop events, then the paste.
#include "gui_fixture.h"

#include "imagefile/loaded_foot.h"

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Value_Slider.H>

#include <sys/stat.h>

#include <string>

namespace {

// Drops `text` at (x, y) of the main window as FLTK delivers a drop from another program:
// enter, drag and release at the pointer, then the paste to the widget that took the
// release. Returns whether the window took the drop; the paste's output is discarded.
bool dropOnWindow(Fl_Double_Window* window, int x, int y, std::string text,
                  std::string* problems = nullptr)
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

}  // namespace

TEST_F(WindowTest, AFileDroppedOnTheViewOrAControlIsLoaded)
{
    TempDir dir;
    const std::string feet = dir.file("left feet");
    ASSERT_EQ(mkdir(feet.c_str(), 0700), 0);
    writeImage(feet + "/a foot.bmp", FIF_BMP, 150, 360, 8, rectangleFoot);
    writeFileBytes(dir.file("notes.txt"), "not a foot");
    ASSERT_FALSE(loadFoot(dir.file("notes.txt")));

    // Over the OpenGL view, which is a window of its own: a file manager's URI list.
    const std::string uri = "file://" + dir.path() + "/left%20feet/a%20foot.bmp";
    ASSERT_TRUE(dropOnWindow(window, 205, 266, "# from a file manager\r\n" + uri + "\r\n"));
    ASSERT_FALSE(insoleView->sourceImage.empty());
    EXPECT_EQ(widthSlider->value(), 110);
    EXPECT_EQ(lengthSlider->value(), 300);
    EXPECT_EQ(lastFootFolder(), feet);

    // Over the Restore button, after a failed load.
    ASSERT_FALSE(loadFoot(dir.file("notes.txt")));
    ASSERT_TRUE(dropOnWindow(window, 80, 428, uri));
    EXPECT_FALSE(insoleView->sourceImage.empty());
}

TEST_F(WindowTest, ADropOfNoLocalFileIsIgnoredWithATrace)
{
    TempDir dir;
    writeImage(dir.file("foot.bmp"), FIF_BMP, 150, 360, 8, rectangleFoot);
    ASSERT_TRUE(loadFoot(dir.file("foot.bmp")));
    const Grid before = insoleView->heightGrid;

    std::string problems;
    ASSERT_TRUE(dropOnWindow(window, 205, 266, "https://example.org/foot.bmp\r\n", &problems));
    EXPECT_EQ(problems, "Drop ignored: \"https://example.org/foot.bmp\" is not a file URI\n");
    EXPECT_FALSE(insoleView->sourceImage.empty());
    EXPECT_EQ(insoleView->heightGrid, before);
}
