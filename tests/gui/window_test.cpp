// The real window: its controls, and the view's read-back compared with the drawing rule.
#include "gui_fixture.h"

#include "app/alterations_line.h"
#include "app/message_line.h"
#include "imagefile/insole_export.h"
#include "insole/drawing.h"
#include "base/grid_stats.h"
#include "insole/shaping.h"
#include "insole/slope_limit.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Text_Display.H>
#include <FL/Fl_Value_Slider.H>
#include <FL/gl.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

namespace {

struct Expected {
    const char* label;
    int x, y, w, h;
};

// What the view's next recompute should give, by the drawing rule on the CPU; `ambiguous`
// marks the cells a driver may draw either way.
struct CpuRecompute {
    Grid heights{};
    Grid ambiguous{};
};

CpuRecompute recomputeOnCpu(bool shape, bool limit)
{
    CpuRecompute result;
    drawFootOnCpu(insoleView->displayGrid,
                  placeQuad(insoleView->footBox(), insoleView->displayWidth, insoleView->displayLength),
                  result.heights, &result.ambiguous);
    if (shape) {
        shapeHeights(result.heights, insoleView->footLength, lengthSlider->value(), heightSlider->value());
    }
    if (limit) {
        limitSlopes(result.heights);
    }
    return result;
}

// Compares a grid of the view's with the CPU's, leaving out ambiguous cells; returns how many
// cells were compared.
int expectSameGrid(const Grid& view, const CpuRecompute& cpu)
{
    int compared = 0;
    int mismatches = 0;
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < GRID_STRIDE; ++x) {
            const int i = gridIndex(x, y);
            if (cpu.ambiguous[i]) {
                continue;
            }
            ++compared;
            if (view[i] != cpu.heights[i] && ++mismatches <= 5) {
                ADD_FAILURE() << "cell " << x << "," << y << ": view " << int(view[i])
                              << ", drawing rule " << int(cpu.heights[i]);
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
    return compared;
}

int countOf(const Grid& grid, std::uint8_t value)
{
    return static_cast<int>(std::count(grid.begin(), grid.end(), value));
}

}  // namespace

TEST_F(WindowTest, HasEveryControlInCreationOrder)
{
    EXPECT_EQ(window->w(), 477);
    EXPECT_EQ(window->h(), 544);
    EXPECT_STREQ(window->label(), "Tarsola");
    // The twelve controls, the 3D window's button, the message line and the line that says
    // what else changes the insole, then the area that takes drops.
    ASSERT_EQ(window->children(), 15);

    EXPECT_EQ(window->child(0), insoleView);
    EXPECT_EQ(insoleView->x(), 130);
    EXPECT_EQ(insoleView->y(), 86);
    EXPECT_EQ(insoleView->w(), 150);
    EXPECT_EQ(insoleView->h(), 360);
    EXPECT_EQ(insoleView->box(), FL_BORDER_BOX);
    EXPECT_EQ(insoleView->align(), FL_ALIGN_TOP);
    EXPECT_EQ(insoleView->when(), FL_WHEN_RELEASE);
    EXPECT_EQ(insoleView->children(), 0);

    const Expected controls[] = {
        {"讀取", 115, 30, 83, 35},   {"儲存", 210, 29, 83, 35},       {"還原", 40, 411, 83, 35},
        {"寬度(mm)", 93, 476, 190, 29}, {"80%", 145, 501, 16, 33},    {"100%", 225, 502, 15, 30},
        {"120%", 300, 502, 20, 30},  {"30度限制", 315, 480, 80, 25}, {"長度(mm)", 318, 149, 35, 286},
        {"高度(比例)", 405, 149, 35, 286}, {"立體", 305, 29, 83, 35},
    };
    for (int i = 0; i < 11; ++i) {
        const Fl_Widget* widget = window->child(i + 1);
        SCOPED_TRACE(controls[i].label);
        EXPECT_STREQ(widget->label(), controls[i].label);
        EXPECT_EQ(widget->x(), controls[i].x);
        EXPECT_EQ(widget->y(), controls[i].y);
        EXPECT_EQ(widget->w(), controls[i].w);
        EXPECT_EQ(widget->h(), controls[i].h);
    }
    for (int i = 4; i < 7; ++i) {
        EXPECT_NE(dynamic_cast<const Fl_Text_Display*>(window->child(i + 1)), nullptr);
        EXPECT_EQ(window->child(i + 1)->box(), FL_NO_BOX);
    }

    EXPECT_EQ(window->child(4), widthSlider);
    EXPECT_EQ(widthSlider->type(), FL_HOR_SLIDER);
    EXPECT_EQ(widthSlider->step(), 1.0);
    EXPECT_EQ(widthSlider->align(), FL_ALIGN_LEFT);
    EXPECT_EQ(window->child(8), limitButton);
    EXPECT_EQ(limitButton->down_box(), FL_DOWN_BOX);
    EXPECT_EQ(window->child(9), lengthSlider);
    EXPECT_EQ(lengthSlider->step(), 1.0);
    EXPECT_EQ(window->child(10), heightSlider);
    EXPECT_DOUBLE_EQ(heightSlider->minimum(), 0.1);
    EXPECT_DOUBLE_EQ(heightSlider->maximum(), 2.0);
    EXPECT_DOUBLE_EQ(heightSlider->step(), 0.01);
    EXPECT_EQ(heightSlider->textsize(), 14);

    EXPECT_EQ(window->child(12), messageLine);
    EXPECT_EQ(messageLine->x(), 10);
    EXPECT_EQ(messageLine->y(), 4);
    EXPECT_EQ(messageLine->w(), 457);
    EXPECT_EQ(messageLine->h(), 22);
    EXPECT_FALSE(messageLine->visible_focus());

    EXPECT_EQ(window->child(13), alterationsLine);
    EXPECT_EQ(alterationsLine->x(), 125);
    EXPECT_EQ(alterationsLine->y(), 448);
    EXPECT_FALSE(alterationsLine->visible_focus());

    const Fl_Widget* dropArea = window->child(14);
    EXPECT_EQ(dropArea->x(), 0);
    EXPECT_EQ(dropArea->y(), 0);
    EXPECT_EQ(dropArea->w(), 477);
    EXPECT_EQ(dropArea->h(), 544);
    EXPECT_EQ(dropArea->label(), nullptr);
}

TEST_F(WindowTest, RestoresTheLimitButtonFromTheSettingsFile)
{
    // The fixture wrote 5 before the window was built.
    EXPECT_EQ(restoredLimit, 1);
}

TEST_F(WindowTest, LoadSetsSlidersAndTheDrawnSize)
{
    TempDir dir;
    writeImage(dir.file("foot.bmp"), FIF_BMP, 150, 360, 8, rectangleFoot);
    ASSERT_TRUE(loadFoot(dir.file("foot.bmp")));
    EXPECT_EQ(widthSlider->value(), 110);
    EXPECT_DOUBLE_EQ(widthSlider->minimum(), 88);
    EXPECT_DOUBLE_EQ(widthSlider->maximum(), 132);
    EXPECT_EQ(lengthSlider->value(), 300);
    EXPECT_DOUBLE_EQ(lengthSlider->minimum(), 150);
    EXPECT_DOUBLE_EQ(lengthSlider->maximum(), 450);
    EXPECT_EQ(insoleView->displayWidth, 150.0f);
    EXPECT_EQ(insoleView->displayLength, 360.0f);
    // The load's own recompute has shaped the foot: its lowest grey, 20, stands at 10.
    EXPECT_EQ(gridMinimum(insoleView->heightGrid), 10);

    // A refused load keeps the foot, its sliders and sizes, and its insole.
    const Grid heights = insoleView->heightGrid;
    writeFileBytes(dir.file("notes.txt"), "not a foot");
    EXPECT_FALSE(loadFoot(dir.file("notes.txt")));
    EXPECT_FALSE(insoleView->sourceImage.empty());
    EXPECT_EQ(widthSlider->value(), 110);
    EXPECT_EQ(lengthSlider->value(), 300);
    EXPECT_EQ(insoleView->displayWidth, 150.0f);
    waitForRecompute();
    EXPECT_EQ(insoleView->heightGrid, heights);
}

TEST_F(WindowTest, ViewShowsTheDrawingRulesPictureAcrossSizes)
{
    TempDir dir;
    writeImage(dir.file("foot.png"), FIF_PNG, 150, 360, 8, texturedFoot);
    ASSERT_TRUE(loadFoot(dir.file("foot.png")));

    const float widths[] = {120.0f, 127.9f, 133.3f, 141.7f, 150.0f, 150.2f, 157.1f, 164.0f, 171.3f, 180.0f};
    const float lengths[] = {180.0f, 213.7f, 275.5f, 301.1f, 359.5f, 360.0f, 397.3f, 432.0f, 488.8f, 540.0f};
    auto shown = std::make_unique<Grid>();
    for (float width : widths) {
        for (float length : lengths) {
            SCOPED_TRACE(testing::Message() << "drawn size " << width << " x " << length);
            insoleView->displayWidth = width;
            insoleView->displayLength = length;
            // The frame the view draws, read from its back buffer before any swap.
            insoleView->make_current();
            insoleView->draw();
            shown->fill(0);
            glPixelStorei(GL_PACK_ROW_LENGTH, GRID_STRIDE);
            glReadPixels(0, 0, FOOT_COLUMNS, GRID_ROWS, GL_RED, GL_UNSIGNED_BYTE, shown->data());
            glPixelStorei(GL_PACK_ROW_LENGTH, 0);
            const CpuRecompute cpu = recomputeOnCpu(false, false);
            // Half and one-and-a-half times the natural length put every pixel centre, or
            // every third, on a texel boundary; all other sizes leave few cells undecided.
            const int compared = expectSameGrid(*shown, cpu);
            EXPECT_GT(compared, length == 180.0f ? 25000 : 35000);
            EXPECT_GT(countOf(*shown, 0), 0);
        }
    }
}

// Slider values whose drawing leaves no cell undecided: limiting spreads a cell's value to
// its neighbours, so a full recompute is compared only where every cell is certain.
std::pair<int, int> unambiguousSliderValues()
{
    Grid drawn{};
    Grid ambiguous{};
    for (int width = insoleView->footWidth * 4 / 5 + 1; width < insoleView->footWidth * 6 / 5; ++width) {
        for (int length = insoleView->footLength / 2 + 1; length < insoleView->footLength * 3 / 2; length += 7) {
            const float displayWidth = displaySizeFor(width, insoleView->footWidth, FOOT_COLUMNS);
            const float displayLength = displaySizeFor(length, insoleView->footLength, GRID_ROWS);
            drawFootOnCpu(insoleView->displayGrid, placeQuad(insoleView->footBox(), displayWidth, displayLength),
                          drawn, &ambiguous);
            if (countOf(ambiguous, 1) == 0 && width != insoleView->footWidth) {
                return {width, length};
            }
        }
    }
    ADD_FAILURE() << "no slider values give an unambiguous drawing";
    return {insoleView->footWidth, insoleView->footLength};
}

TEST_F(WindowTest, SliderCallbacksRecomputeWithShapingAndLimit)
{
    TempDir dir;
    writeImage(dir.file("foot.bmp"), FIF_BMP, 150, 360, 24, texturedFoot);
    ASSERT_TRUE(loadFoot(dir.file("foot.bmp")));
    const auto [width, length] = unambiguousSliderValues();

    limitButton->value(1);
    widthSlider->value(width);
    lengthSlider->value(length);
    heightSlider->value(1.5);
    testing::internal::CaptureStdout();
    widthSlider->do_callback();
    lengthSlider->do_callback();
    heightSlider->do_callback();
    ASSERT_EQ(insoleView->recomputePending, 1);
    pumpUntil([] { return insoleView->recomputePending == 0; });
    const std::string trace = testing::internal::GetCapturedStdout();

    EXPECT_EQ(insoleView->displayWidth, static_cast<float>(static_cast<double>(width) / 111 * 150));
    EXPECT_EQ(insoleView->displayLength, static_cast<float>(static_cast<double>(length) / 301 * 360));
    const CpuRecompute cpu = recomputeOnCpu(true, true);
    ASSERT_EQ(countOf(cpu.ambiguous, 1), 0);
    EXPECT_EQ(expectSameGrid(insoleView->heightGrid, cpu), GRID_ROWS * GRID_STRIDE);

    char lu[64];
    std::snprintf(lu, sizeof lu, " LU_Point %f \n", static_cast<double>(insoleView->displayWidth));
    EXPECT_EQ(trace.rfind(lu, 0), 0u) << trace;
    EXPECT_NE(trace.find("MIN = " + std::to_string(gridMinimum(cpu.heights)) + " \n"), std::string::npos)
        << trace;
    EXPECT_NE(trace.find("min "), std::string::npos) << trace;
    limitButton->value(0);
}

TEST_F(WindowTest, RestoreAndWidthAtFootWidthGiveTheNaturalSize)
{
    TempDir dir;
    writeImage(dir.file("foot.bmp"), FIF_BMP, 150, 360, 8, rectangleFoot);
    ASSERT_TRUE(loadFoot(dir.file("foot.bmp")));
    widthSlider->value(132);
    lengthSlider->value(200);
    heightSlider->value(0.5);
    insoleView->displayWidth = 180.0f;
    insoleView->displayLength = 240.0f;

    restoreDefaults(nullptr, nullptr);
    EXPECT_EQ(widthSlider->value(), 110);
    EXPECT_EQ(lengthSlider->value(), 300);
    EXPECT_EQ(heightSlider->value(), 1.0);
    EXPECT_EQ(insoleView->displayWidth, 150.0f);
    EXPECT_EQ(insoleView->displayLength, 360.0f);
    EXPECT_EQ(insoleView->recomputePending, 1);
    waitForRecompute();

    testing::internal::CaptureStdout();
    widthSlider->value(110);
    widthSlider->do_callback();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), " LU_Point 150.000000 \n");
    waitForRecompute();
}

TEST_F(WindowTest, PointerDragsWidenTheFootAndTraceThePan)
{
    TempDir dir;
    writeImage(dir.file("foot.bmp"), FIF_BMP, 150, 360, 8, rectangleFoot);
    ASSERT_TRUE(loadFoot(dir.file("foot.bmp")));
    auto event = [](int type, int button, int x, int y) {
        Fl::e_keysym = FL_Button + button;
        Fl::e_x = x;
        Fl::e_y = y;
        return insoleView->handle(type);
    };

    // A right drag from the upper half: three events left of the press, one right of it.
    const float before = insoleView->displayWidth;
    testing::internal::CaptureStdout();
    EXPECT_EQ(event(FL_PUSH, FL_RIGHT_MOUSE, 75, 100), 1);
    event(FL_DRAG, FL_RIGHT_MOUSE, 70, 100);
    event(FL_DRAG, FL_RIGHT_MOUSE, 60, 120);
    event(FL_DRAG, FL_RIGHT_MOUSE, 74, 100);
    event(FL_DRAG, FL_RIGHT_MOUSE, 75, 100);
    event(FL_DRAG, FL_RIGHT_MOUSE, 90, 100);
    event(FL_RELEASE, FL_RIGHT_MOUSE, 90, 100);
    EXPECT_EQ(insoleView->displayWidth, before + 2.0f);
    // From the lower half a right drag changes nothing.
    event(FL_PUSH, FL_RIGHT_MOUSE, 75, 200);
    event(FL_DRAG, FL_RIGHT_MOUSE, 10, 200);
    event(FL_RELEASE, FL_RIGHT_MOUSE, 10, 200);
    EXPECT_EQ(insoleView->displayWidth, before + 2.0f);
    EXPECT_EQ(insoleView->recomputePending, 0);

    // Left drags add up; the middle button and the wheel only trace.
    const int panX = insoleView->panX;
    const int panY = insoleView->panY;
    event(FL_PUSH, FL_LEFT_MOUSE, 50, 200);
    event(FL_DRAG, FL_LEFT_MOUSE, 60, 195);
    event(FL_RELEASE, FL_LEFT_MOUSE, 60, 195);
    event(FL_PUSH, FL_LEFT_MOUSE, 50, 200);
    event(FL_DRAG, FL_LEFT_MOUSE, 47, 201);
    event(FL_RELEASE, FL_LEFT_MOUSE, 47, 201);
    event(FL_PUSH, FL_MIDDLE_MOUSE, 50, 200);
    Fl::e_dy = -2;
    event(FL_MOUSEWHEEL, 0, 50, 200);
    EXPECT_EQ(event(FL_MOVE, 0, 51, 200), 1);
    const std::string expected = "offset " + std::to_string(panX + 10) + " " + std::to_string(panY + 5) +
                                 " \noffset " + std::to_string(panX + 7) + " " + std::to_string(panY + 4) +
                                 " \nmiddle mouse click \nmouse wheel -2 \n";
    EXPECT_EQ(testing::internal::GetCapturedStdout(), expected);
}

TEST_F(WindowTest, TheMessageLineSaysWhatBecameOfEachAction)
{
    TempDir dir;
    writeFileBytes(dir.file("notes.png"), "not a foot");
    EXPECT_FALSE(loadFoot(dir.file("notes.png")));
    EXPECT_EQ(messageLine->text().rfind("Cannot read foot image " + dir.file("notes.png") + ": ", 0), 0u)
        << messageLine->text();
    EXPECT_EQ(messageLine->kind(), MessageKind::Error);

    writeImage(dir.file("foot.bmp"), FIF_BMP, 150, 360, 8, rectangleFoot);
    ASSERT_TRUE(loadFoot(dir.file("foot.bmp")));
    EXPECT_EQ(messageLine->text(), "Loaded foot.bmp");
    EXPECT_EQ(messageLine->kind(), MessageKind::Done);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(saveInsole(insoleView->heightGrid, insoleView->sourceImage, dir.file("insole").c_str()));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(messageLine->text(), "Saved insole.bmp");

    // 1.5 times the length of this 300 mm foot leaves the grid: a warning, also on stderr,
    // once; back inside, the line says so.
    lengthSlider->value(450);
    testing::internal::CaptureStderr();
    lengthSlider->do_callback();
    waitForRecompute();
    heightSlider->do_callback();
    waitForRecompute();
    const std::string cut = testing::internal::GetCapturedStderr();
    EXPECT_EQ(cut.rfind("Insole cut at the grid's edge: ", 0), 0u) << cut;
    EXPECT_EQ(cut.find('\n'), cut.size() - 1) << "said more than once: " << cut;
    EXPECT_NE(cut.find(" rows lost"), std::string::npos) << cut;
    EXPECT_EQ(messageLine->text() + "\n", cut);
    EXPECT_EQ(messageLine->kind(), MessageKind::Warning);
    restoreDefaults(nullptr, nullptr);
    waitForRecompute();
    EXPECT_EQ(messageLine->text(), "The insole fits the grid again");
}
