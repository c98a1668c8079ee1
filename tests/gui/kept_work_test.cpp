// What a person has set up stays through a wrong click: a refused load or drop leaves the
// foot, the sliders, the measurement with its corrections and relief, and the 3D
// window as they were. A relief stays in sight while it changes the insole, and the message
// lines show whole words of the newest message, in the program's words.
#include "solid_window_fixture.h"

#include "app/alterations_line.h"
#include "app/message_line.h"
#include "app/pressure_panel.h"
#include "app/solid_window.h"
#include "imagefile/loaded_foot.h"
#include "insole/recompute.h"
#include "insole/relief_plan.h"
#include "solid/solid_mesh.h"
#include "support/pressure_files.h"
#include "view/solid_view.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Float_Input.H>
#include <FL/Fl_Value_Slider.H>
#include <FL/fl_draw.H>

#include <cstring>
#include <memory>
#include <string>

namespace {

class KeptWork : public MeasuredFootTest {
protected:
    void SetUp() override
    {
        MeasuredFootTest::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        testing::internal::CaptureStderr();
        ASSERT_TRUE(openMeasurement(*panel, dir.file("plate.csv").c_str()));
        testing::internal::GetCapturedStderr();
        panel->reliefButton->value(1);
        panel->reliefButton->do_callback();
        settle();
    }

    void TearDown() override
    {
        MeasuredFootTest::TearDown();
        // The other window tests start without a measurement.
        insoleView->reliefPlan.reset();
        insoleView->recomputePending = 1;
        waitForRecompute();
    }

    // The insole of this foot at the controls' settings without any relief.
    Grid plainInsole()
    {
        auto state = std::make_unique<InsoleState>();
        testing::internal::CaptureStdout();
        EXPECT_TRUE(::loadFoot(*state, foot.c_str()));
        InsoleSettings settings;
        settings.width = widthSlider->value();
        settings.length = lengthSlider->value();
        settings.heightRatio = heightSlider->value();
        settings.limit = limitButton->value() == 1;
        recomputeHeights(*state, settings);
        testing::internal::GetCapturedStdout();
        return state->heightGrid;
    }
};

// Everything a person set up, as it stands.
struct Work {
    Grid heights{};
    const ReliefPlan* plan = nullptr;
    PlacementCorrection correction;
    double width = 0, widthMinimum = 0, widthMaximum = 0, length = 0, ratio = 0;
    std::string footName;
    std::string alterations;
    bool solidShown = false;
    SolidMesh solid;

    static Work now()
    {
        Work work;
        work.heights = insoleView->heightGrid;
        work.plan = insoleView->reliefPlan.get();
        if (work.plan) {
            work.correction = work.plan->correction;
        }
        work.width = widthSlider->value();
        work.widthMinimum = widthSlider->minimum();
        work.widthMaximum = widthSlider->maximum();
        work.length = lengthSlider->value();
        work.ratio = heightSlider->value();
        work.footName = loadedFootName();
        work.alterations = alterationsLine->label() ? alterationsLine->label() : "";
        work.solidShown = solidWindow->view->visible() && !solidWindow->absence->visible();
        work.solid = solidWindow->solid();
        return work;
    }
};

void expectSameWork(const Work& before, const Work& after)
{
    EXPECT_FALSE(insoleView->sourceImage.empty());
    EXPECT_EQ(after.heights, before.heights);
    EXPECT_EQ(after.plan, before.plan);
    EXPECT_EQ(after.correction.shiftXMm, before.correction.shiftXMm);
    EXPECT_EQ(after.correction.turnDegrees, before.correction.turnDegrees);
    EXPECT_EQ(after.width, before.width);
    EXPECT_EQ(after.widthMinimum, before.widthMinimum);
    EXPECT_EQ(after.widthMaximum, before.widthMaximum);
    EXPECT_EQ(after.length, before.length);
    EXPECT_EQ(after.ratio, before.ratio);
    EXPECT_EQ(after.footName, before.footName);
    EXPECT_EQ(after.alterations, before.alterations);
    EXPECT_EQ(after.solidShown, before.solidShown);
    EXPECT_EQ(after.solid.triangles, before.solid.triangles);
    EXPECT_EQ(after.solid.vertices.size(), before.solid.vertices.size());
    EXPECT_TRUE(after.solid.vertices.size() == before.solid.vertices.size() &&
                std::memcmp(after.solid.vertices.data(), before.solid.vertices.data(),
                            after.solid.vertices.size() * sizeof(SolidVertex)) == 0);
}

// Runs the event loop for a while: any recompute or rebuild a refusal asked for is done.
void pumpFor(double seconds)
{
    testing::internal::CaptureStdout();
    for (double waited = 0.0; waited < seconds; waited += 0.01) {
        Fl::wait(0.01);
    }
    testing::internal::GetCapturedStdout();
}

// The line shows the start of its message, as it words it, in whole words within its width,
// and the whole message in its tooltip.
void expectWholeWordsWithin(const MessageLine* line)
{
    const std::string& text = line->brief();
    const std::string& shown = line->shown();
    ASSERT_NE(line->tooltip(), nullptr);
    EXPECT_EQ(std::string(line->tooltip()), line->text());
    fl_font(line->labelfont(), line->labelsize());
    EXPECT_LE(fl_width(shown.c_str()), line->w() - 6) << shown;
    if (shown == text) {
        return;
    }
    const std::string ellipsis = "…";
    ASSERT_GT(shown.size(), ellipsis.size());
    ASSERT_EQ(shown.substr(shown.size() - ellipsis.size()), ellipsis) << shown;
    const std::string start = shown.substr(0, shown.size() - ellipsis.size());
    ASSERT_EQ(text.rfind(start, 0), 0u) << "\"" << start << "\" does not begin \"" << text << "\"";
    // The next character ends a word: a blank, or the punctuation that closes one.
    const char next = text[start.size()];
    EXPECT_TRUE(next == ' ' || next == ':' || next == ',' || next == ';')
        << "cut mid-word: \"" << shown << "\"";
    EXPECT_NE(start.back(), ' ');
}

}  // namespace

TEST_F(KeptWork, ARefusedLoadOrDropKeepsTheFootTheMeasurementAndTheSolid)
{
    // A hand correction and a wider insole, as a person would have made them.
    panel->shiftXInput->value("4");
    panel->shiftXInput->do_callback();
    widthSlider->value(widthSlider->value() + 3);
    widthSlider->do_callback();
    settle();
    ASSERT_NE(activeRelief(insoleView->reliefPlan.get()), nullptr);
    ASSERT_EQ(insoleView->reliefPlan->correction.shiftXMm, 4.0);
    const Work before = Work::now();
    ASSERT_TRUE(before.solidShown);
    ASSERT_FALSE(before.alterations.empty());
    writeFileBytes(dir.file("notes.png"), "This is a shopping list, not a foot.\n");
    const std::string refusal = "Cannot read foot image " + dir.file("notes.png") +
                                ": not an image format the program reads, nor a 3D scan (STL, OBJ, "
                                "PLY) it reads";

    // The Load button's and Ctrl+O's path once the dialog has given a name: the refusal's
    // trace lines as always, the reason on the main window's line, and nothing else changes.
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_FALSE(insoleView->loadFootFile(dir.file("notes.png").c_str()));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unable to load texture: ");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), refusal + "\n");
    EXPECT_EQ(messageLine->text(), refusal);
    EXPECT_EQ(messageLine->kind(), MessageKind::Error);
    pumpFor(0.2);
    settle();
    expectSameWork(before, Work::now());

    // The same file dropped on the view.
    std::string problems;
    ASSERT_TRUE(dropOnWindow(205, 266, "file://" + dir.file("notes.png") + "\r\n", &problems));
    EXPECT_EQ(problems, refusal + "\n");
    pumpFor(0.2);
    settle();
    expectSameWork(before, Work::now());

    // What Save would write is still the relieved insole, not the plain one.
    insoleView->recomputeIfPending();
    EXPECT_NE(insoleView->heightGrid, plainInsole());

    // A foot that loads replaces the refusal on the line, and the measurement goes with the
    // old foot.
    EXPECT_TRUE(loadFoot(foot));
    EXPECT_EQ(messageLine->text(), "Loaded foot.bmp");
    EXPECT_EQ(insoleView->reliefPlan, nullptr);
}

TEST_F(KeptWork, TheMainWindowShowsARelievedInsoleWhileItIsRelievedWithThe3DWindowClosed)
{
    const std::string expected = "減壓中: " + std::to_string(insoleView->drawnRelief->zones.size()) +
                                 (insoleView->drawnRelief->zones.size() == 1 ? " zone, " : " zones, ") +
                                 std::string(panel->depthInput->value()) + " mm";
    ASSERT_FALSE(insoleView->drawnRelief->zones.empty());
    EXPECT_EQ(std::string(alterationsLine->label()), expected);

    // Closed as its window manager closes it: the relief goes on, and the main window says so
    // through every change of the insole.
    solidWindow->do_callback();
    ASSERT_FALSE(solidWindow->shown());
    heightSlider->value(1.2);
    heightSlider->do_callback();
    settle();
    EXPECT_EQ(std::string(alterationsLine->label()), expected);
    EXPECT_NE(insoleView->heightGrid, plainInsole());

    // Switched off (the panel keeps its state while its window is closed): the line is empty
    // and the insole Save writes is the plain one.
    panel->reliefButton->value(0);
    panel->reliefButton->do_callback();
    insoleView->recomputeIfPending();  // as Save does before it writes
    EXPECT_STREQ(alterationsLine->label(), "");
    EXPECT_EQ(insoleView->heightGrid, plainInsole());

    // On again, then a new foot: the measurement is cleared, and the line with it.
    panel->reliefButton->value(1);
    panel->reliefButton->do_callback();
    settle();
    EXPECT_EQ(std::string(alterationsLine->label()), expected);
    ASSERT_TRUE(loadFoot(foot));
    EXPECT_STREQ(alterationsLine->label(), "");
    EXPECT_EQ(insoleView->heightGrid, plainInsole());
    heightSlider->value(1.0);
    heightSlider->do_callback();
    settle();
}

TEST_F(KeptWork, ALongMessageShowsWholeWordsInTheProgramsWordsTheWholeOfItInTheTooltip)
{
    // The line names the file without its folders, which would push the reason out of sight;
    // the tooltip and standard error keep the whole path.
    writeFileBytes(dir.file("notes.png"), "not a foot");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(insoleView->loadFootFile(dir.file("notes.png").c_str()));
    const std::string refusal = testing::internal::GetCapturedStderr();
    EXPECT_EQ(messageLine->text() + "\n", refusal);
    EXPECT_EQ(messageLine->brief(), "Cannot read foot image notes.png: not an image format the program "
                                    "reads, nor a 3D scan (STL, OBJ, PLY) it reads");
    expectWholeWordsWithin(messageLine);
    EXPECT_EQ(messageLine->shown().rfind("Cannot read foot image notes.png: not an image", 0), 0u)
        << messageLine->shown();

    // A long name pushes the reason past the end of the main window's line.
    const std::string name = dir.file("a foot image with a rather long name from the scanner.png");
    writeFileBytes(name, "not a foot");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(insoleView->loadFootFile(name.c_str()));
    testing::internal::GetCapturedStderr();
    EXPECT_NE(messageLine->shown(), messageLine->brief());
    expectWholeWordsWithin(messageLine);

    // A PNG whose pixels are cut short: the image library's own complaint stays on standard
    // error for whoever debugs the file, while the window says what failed in its own words.
    writeImage(dir.file("cut.png"), FIF_PNG, 150, 360, 8, rectangleFoot);
    auto bytes = readFileBytes(dir.file("cut.png"));
    bytes.resize(bytes.size() / 2);
    writeFileBytes(dir.file("cut.png"), std::string(bytes.begin(), bytes.end()));
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_FALSE(insoleView->loadFootFile(dir.file("cut.png").c_str()));
    testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("FreeImage PNG: "), std::string::npos) << err;
    EXPECT_EQ(messageLine->text().rfind("Cannot read foot image " + dir.file("cut.png") + ": ", 0), 0u)
        << messageLine->text();
    for (const MessageLine* line : {messageLine, solidWindow->messageLine}) {
        EXPECT_EQ(line->text().find("FreeImage"), std::string::npos) << line->text();
    }

    // The 3D window's line, narrowed with its window: fitted again, still whole words.
    const std::string plate =
        dir.file("pressure plate export of the left foot, standing, second try, morning session.csv");
    writeFileBytes(plate, "10,20,30\n10,oops,30\n");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(openMeasurement(*panel, plate.c_str()));
    testing::internal::GetCapturedStderr();
    MessageLine* line = solidWindow->messageLine;
    expectWholeWordsWithin(line);
    const std::string wide = line->shown();
    const int width = solidWindow->w();
    solidWindow->size(720, solidWindow->h());
    EXPECT_LT(line->w(), 880);
    EXPECT_LT(line->shown().size(), wide.size());
    expectWholeWordsWithin(line);
    solidWindow->size(width, solidWindow->h());
    expectWholeWordsWithin(line);
}
