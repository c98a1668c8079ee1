// A foot image dropped on the real window: FLTK's drag-and-drop events, then the paste.
#include "gui_fixture.h"

#include "imagefile/loaded_foot.h"

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Value_Slider.H>

#include <sys/stat.h>

#include <string>

TEST_F(WindowTest, AFileDroppedOnTheViewOrAControlIsLoaded)
{
    TempDir dir;
    const std::string feet = dir.file("left feet");
    ASSERT_EQ(mkdir(feet.c_str(), 0700), 0);
    writeImage(feet + "/a foot.bmp", FIF_BMP, 150, 360, 8, rectangleFoot);
    unloadFoot();

    // Over the OpenGL view, which is a window of its own: a file manager's URI list.
    const std::string uri = "file://" + dir.path() + "/left%20feet/a%20foot.bmp";
    ASSERT_TRUE(dropOnWindow(205, 266, "# from a file manager\r\n" + uri + "\r\n"));
    ASSERT_FALSE(insoleView->sourceImage.empty());
    EXPECT_EQ(widthSlider->value(), 110);
    EXPECT_EQ(lengthSlider->value(), 300);
    EXPECT_EQ(lastFootFolder(), feet);

    // Over the Restore button, with no foot loaded.
    unloadFoot();
    ASSERT_TRUE(dropOnWindow(80, 428, uri));
    EXPECT_FALSE(insoleView->sourceImage.empty());
}

TEST_F(WindowTest, ADropOfNoLocalFileIsIgnoredWithATrace)
{
    TempDir dir;
    writeImage(dir.file("foot.bmp"), FIF_BMP, 150, 360, 8, rectangleFoot);
    ASSERT_TRUE(loadFoot(dir.file("foot.bmp")));
    const Grid before = insoleView->heightGrid;

    std::string problems;
    ASSERT_TRUE(dropOnWindow(205, 266, "https://example.org/foot.bmp\r\n", &problems));
    EXPECT_EQ(problems, "Drop ignored: \"https://example.org/foot.bmp\" is not a file URI\n");
    EXPECT_FALSE(insoleView->sourceImage.empty());
    EXPECT_EQ(insoleView->heightGrid, before);
}
