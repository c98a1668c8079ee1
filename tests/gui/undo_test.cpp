// Undo and redo through the real widgets and the real keys: a slider dragged and one moved by
// the keyboard, the limit, a measurement opened, a relief input, an element switched on and one
// of its inputs, the side, the level size, a placement input, the mirror and heel-first
// switches, Restore and a new foot loaded, each taken back by Ctrl+Z to the exact insole and
// controls before it, and taken again by Ctrl+Y and Ctrl+Shift+Z.
#include "gui_fixture.h"

#include "app/job_window.h"
#include "app/prescription_window.h"
#include "app/pressure_panel.h"
#include "app/solid_window.h"
#include "app/undo_redo.h"
#include "imagefile/loaded_foot.h"
#include "insole/element_plan.h"
#include "insole/element_settings.h"
#include "support/pressure_files.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Float_Input.H>
#include <FL/Fl_Value_Slider.H>

#include <cstring>
#include <vector>

namespace {

// The insole and every control that shapes it, as the recipe of a job records them.
struct Insole {
    Grid heights;
    std::string recipe;
    double height = 0;
    double length = 0;
    int limit = 0;
};

class UndoWindow : public WindowTest {
protected:
    void TearDown() override
    {
        Fl::e_state = 0;
        Fl::focus(nullptr);
        closePrescriptionWindow();
        takeReliefControls(ReliefSettings{}, PressureOptions{}, PlacementCorrection{});
        insoleView->reliefPlan.reset();
        insoleView->elementPlan->settings = ElementSettings{};
        insoleView->elementPlan->shifts = ElementShifts{};
        insoleView->elementPlan->current = false;
        writeElementSettings(ELEMENT_SETTINGS_FILE, ElementSettings{});
        heightSlider->value(1.0);
        limitButton->value(restoredLimit);
        takeLevelMm(restoredLevel);
        insoleView->recomputePending = 1;
        waitForRecompute();
    }

    // Lets FLTK run its rounds of events, after which the window tells the history what changed,
    // and the recompute the change asked for.
    static Insole settled()
    {
        waitForRecompute();
        Fl::check();
        waitForRecompute();
        const JobRecipe recipe = jobSourcesOf(*insoleView, insoleView->reliefPlan.get(), windowShape()).recipe;
        return {insoleView->heightGrid, recipeJson(recipe), heightSlider->value(),
                lengthSlider->value(), limitButton->value()};
    }

    static void expectSame(const Insole& now, const Insole& before)
    {
        EXPECT_TRUE(now.heights == before.heights);
        EXPECT_EQ(now.recipe, before.recipe);
        EXPECT_EQ(now.height, before.height);
        EXPECT_EQ(now.length, before.length);
        EXPECT_EQ(now.limit, before.limit);
    }

    static void key(int keysym, int state)
    {
        Fl::e_keysym = keysym;
        Fl::e_state = state;
        Fl::e_text = const_cast<char*>("");
        Fl::e_length = 0;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        Fl::handle(FL_KEYBOARD, window);
        testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
        Fl::e_state = 0;
    }

    // A control of the main window by its label, as a person finds it.
    static Fl_Widget* labelled(const char* label)
    {
        for (int i = 0; i < window->children(); ++i) {
            Fl_Widget* child = window->child(i);
            if (child->label() && std::strcmp(child->label(), label) == 0) {
                return child;
            }
        }
        ADD_FAILURE() << "no control labelled " << label;
        return nullptr;
    }

    TempDir dir;
};

}  // namespace

TEST_F(UndoWindow, EveryKindOfChangeIsUndoneToTheExactInsoleAndRedone)
{
    const std::string foot = std::string(TARSOLA_SOURCE_DIR) + "/samples/foot.bmp";
    heightSlider->value(1.0);
    limitButton->value(0);
    ASSERT_TRUE(loadFoot(foot));
    std::vector<Insole> states = {settled()};
    const int before = stepsToUndo();

    // A slider dragged: one step when it is let go, however many values it passed. The slider
    // is held as FLTK holds a widget being dragged, and calls back as it does while dragged.
    Fl::pushed(heightSlider);
    for (const double value : {0.9, 0.8, 0.7}) {
        heightSlider->value(value);
        heightSlider->do_callback();
        settled();
    }
    EXPECT_EQ(stepsToUndo(), before);
    Fl::pushed(nullptr);
    states.push_back(settled());
    EXPECT_NE(states.back().height, states.front().height);
    EXPECT_EQ(stepsToUndo(), before + 1);

    // A slider moved by the keyboard.
    Fl::focus(lengthSlider);
    key(FL_Down, 0);
    states.push_back(settled());
    EXPECT_NE(states.back().length, states[1].length);

    // The limit.
    limitButton->value(1);
    limitButton->do_callback();
    states.push_back(settled());

    // A measurement opened, then a relief input.
    ASSERT_TRUE(openSolidWindow());
    PressurePanel& panel = *solidWindow->pressurePanel;
    writeFileBytes(dir.file("plate.csv"), pressureMatrixOf(insoleView->footGrid, 5.0));
    testing::internal::CaptureStderr();
    ASSERT_TRUE(openMeasurement(panel, dir.file("plate.csv").c_str()));
    testing::internal::GetCapturedStderr();
    states.push_back(settled());
    panel.depthInput->value("4");
    panel.depthInput->do_callback();
    states.push_back(settled());

    // An element switched on.
    solidWindow->prescriptionButton->do_callback();
    ASSERT_TRUE(pumpUntil([] { return prescriptionWindow && prescriptionWindow->shown(); }));
    prescriptionWindow->archButton->value(1);
    prescriptionWindow->archButton->do_callback();
    states.push_back(settled());
    const std::size_t archOn = states.size() - 1;
    // One of its inputs, and the side.
    prescriptionWindow->inputs[ARCH_HEIGHT]->value("9");
    prescriptionWindow->inputs[ARCH_HEIGHT]->do_callback();
    states.push_back(settled());
    prescriptionWindow->sideChoice->value(1);
    prescriptionWindow->sideChoice->do_callback();
    states.push_back(settled());

    // The level size, which the relief's depth and the elements' heights are counted in.
    solidWindow->levelInput->value(restoredLevel == 0.3 ? "0.35" : "0.3");
    solidWindow->levelInput->do_callback();
    states.push_back(settled());
    const std::size_t levelChanged = states.size() - 1;

    // A placement input, the mirror and the heel-first switch: the placement's warnings about
    // a measurement turned over go to the message line and standard error.
    testing::internal::CaptureStderr();
    panel.shiftXInput->value("3");
    panel.shiftXInput->do_callback();
    states.push_back(settled());
    const std::size_t shifted = states.size() - 1;
    panel.mirrorButton->value(1);
    panel.mirrorButton->do_callback();
    states.push_back(settled());
    panel.heelFirstButton->value(1);
    panel.heelFirstButton->do_callback();
    states.push_back(settled());
    testing::internal::GetCapturedStderr();

    // Restore: the sliders back to the measured size and a height ratio of 1.
    Fl_Widget* restore = labelled("還原");
    ASSERT_NE(restore, nullptr);
    restore->do_callback();
    states.push_back(settled());
    EXPECT_EQ(states.back().height, 1.0);

    // Another foot: its load clears the measurement, and undoing it brings both back.
    writeImage(dir.file("other.bmp"), FIF_BMP, 150, 360, 8, rectangleFoot);
    ASSERT_TRUE(loadFoot(dir.file("other.bmp")));
    states.push_back(settled());
    EXPECT_EQ(insoleView->reliefPlan, nullptr);
    const int changes = static_cast<int>(states.size()) - 1;
    EXPECT_EQ(stepsToUndo(), before + changes);
    for (std::size_t i = 1; i < states.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_NE(states[i].recipe, states[i - 1].recipe);
    }

    // Each Ctrl+Z brings back the insole and the controls before the change.
    for (std::size_t i = states.size() - 1; i > 0; --i) {
        SCOPED_TRACE(i);
        key('z', FL_CTRL);
        expectSame(settled(), states[i - 1]);
    }
    EXPECT_EQ(stepsToRedo(), changes);
    EXPECT_EQ(loadedFootName(), "foot.bmp");
    EXPECT_EQ(insoleView->reliefPlan, nullptr);
    // Ctrl+Y and Ctrl+Shift+Z take them again, the measurement and its relief with them.
    for (std::size_t i = 1; i < states.size(); ++i) {
        SCOPED_TRACE(i);
        key(i % 2 ? 'y' : 'z', i % 2 ? FL_CTRL : FL_CTRL | FL_SHIFT);
        expectSame(settled(), states[i]);
        if (i == 5) {
            ASSERT_NE(insoleView->reliefPlan, nullptr);
            EXPECT_EQ(insoleView->reliefPlan->parameters.depthMm, 4.0);
            EXPECT_EQ(panel.depthInput->value(), std::string("4"));
        }
        if (i == archOn) {
            EXPECT_TRUE(prescriptionWindow->archButton->value());
        }
        if (i == levelChanged) {
            EXPECT_NE(currentLevelMm(), restoredLevel);
            EXPECT_EQ(solidWindow->levelInput->value(), std::string(restoredLevel == 0.3 ? "0.35" : "0.3"));
        }
        if (i == shifted) {
            EXPECT_EQ(panel.shiftXInput->value(), std::string("3"));
        }
        if (i == states.size() - 2) {
            ASSERT_NE(insoleView->reliefPlan, nullptr);
            EXPECT_TRUE(panel.mirrorButton->value());
            EXPECT_TRUE(panel.heelFirstButton->value());
            EXPECT_EQ(prescriptionWindow->sideChoice->value(), 1);
        }
    }
    EXPECT_EQ(stepsToRedo(), 0);

    // A change after an undo: what was undone can no longer be redone.
    key('z', FL_CTRL);
    expectSame(settled(), states[states.size() - 2]);
    heightSlider->value(0.5);
    heightSlider->do_callback();
    settled();
    EXPECT_EQ(stepsToRedo(), 0);
    key('y', FL_CTRL);
    EXPECT_EQ(settled().height, 0.5);
}

// The level size shapes the solid even when no relief or element is counted in it, and asks
// for no recompute then: it is a step of its own all the same, not folded into the change
// after it.
TEST_F(UndoWindow, AChangeThatAsksForNoRecomputeIsAStepOfItsOwn)
{
    ASSERT_TRUE(loadFoot(std::string(TARSOLA_SOURCE_DIR) + "/samples/foot.bmp"));
    ASSERT_TRUE(openSolidWindow());
    const Insole start = settled();
    const char* level = restoredLevel == 0.3 ? "0.35" : "0.3";
    solidWindow->levelInput->value(level);
    solidWindow->levelInput->do_callback();
    const Insole levelled = settled();
    EXPECT_NE(levelled.recipe, start.recipe);
    limitButton->value(!limitButton->value());
    limitButton->do_callback();
    settled();

    key('z', FL_CTRL);
    expectSame(settled(), levelled);
    EXPECT_EQ(solidWindow->levelInput->value(), std::string(level));
    key('z', FL_CTRL);
    expectSame(settled(), start);
    EXPECT_EQ(currentLevelMm(), restoredLevel);
}
