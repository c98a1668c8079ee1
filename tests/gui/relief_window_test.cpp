// The relief through the 3D window's real widgets: a measurement opened for the loaded foot,
// the relief switched and tuned, the insole the main view saves made by the same recompute as
// the batch's, and a new foot clearing the measurement.
#include "gui_fixture.h"

#include "app/message_line.h"
#include "app/pressure_panel.h"
#include "app/solid_window.h"
#include "batch/batch.h"
#include "solid/solid_files.h"
#include "imagefile/insole_export.h"
#include "support/pressure_files.h"
#include "insole/recompute.h"
#include "insole/relief_plan.h"
#include "view/solid_view.h"

#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Float_Input.H>
#include <FL/Fl_Value_Slider.H>

#include <memory>

namespace {

class ReliefWindow : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        foot = std::string(TARSOLA_SOURCE_DIR) + "/samples/foot.bmp";
        heightSlider->value(1.0);
        limitButton->value(0);
        ASSERT_TRUE(loadFoot(foot));
        auto* button = dynamic_cast<Fl_Button*>(window->child(11));
        button->do_callback();
        ASSERT_TRUE(pumpUntil([] { return solidWindow->shown(); }));
        panel = solidWindow->pressurePanel;
        writeFileBytes(dir.file("plate.csv"), pressureMatrixOf(insoleView->footGrid, 5.0));
    }

    // Runs the recompute the controls asked for and the 3D window's rebuild after it.
    static void settle()
    {
        waitForRecompute();
        testing::internal::CaptureStdout();
        solidWindow->rebuild();
        testing::internal::GetCapturedStdout();
    }

    // The insole the core makes of this foot and measurement at the controls' settings:
    // what the batch makes with the same files.
    Grid coreInsole(const ReliefParameters& parameters, bool on)
    {
        auto state = std::make_unique<InsoleState>();
        auto plan = std::make_unique<ReliefPlan>();
        testing::internal::CaptureStdout();
        EXPECT_TRUE(::loadFoot(*state, foot.c_str()));
        std::string failure;
        EXPECT_TRUE(readPressureFile(dir.file("plate.csv").c_str(), PressureOptions{}, plan->map, failure));
        plan->parameters = parameters;
        plan->on = on;
        EXPECT_TRUE(placeRelief(*plan, state->footGrid, PlacementCorrection{}, currentLevelMm(), failure));
        InsoleSettings settings;
        settings.width = widthSlider->value();
        settings.length = lengthSlider->value();
        settings.heightRatio = heightSlider->value();
        settings.limit = limitButton->value() == 1;
        recomputeHeights(*state, settings, activeRelief(plan.get()));
        testing::internal::GetCapturedStdout();
        return state->heightGrid;
    }

    std::string foot;
    TempDir dir;
    PressurePanel* panel = nullptr;
};

}  // namespace

TEST_F(ReliefWindow, AMeasurementRelievesTheInsoleTheMainViewSaves)
{
    testing::internal::CaptureStderr();
    ASSERT_TRUE(openMeasurement(*panel, dir.file("plate.csv").c_str()));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    panel->reliefButton->value(1);
    panel->reliefButton->do_callback();
    settle();
    EXPECT_EQ(solidWindow->messageLine->text().rfind("Loaded pressure measurement plate.csv: ", 0), 0u)
        << solidWindow->messageLine->text();
    ASSERT_NE(activeRelief(insoleView->reliefPlan.get()), nullptr);
    EXPECT_FALSE(solidWindow->view->lines(SolidView::ZONE_LINES).empty());
    EXPECT_NE(std::string(panel->zones->label()).find("全深"), std::string::npos) << panel->zones->label();

    // The main view's heights, which Save writes, are the core's with the same measurement.
    const ReliefParameters defaults;
    EXPECT_EQ(insoleView->heightGrid, coreInsole(defaults, true));
    testing::internal::CaptureStderr();
    EXPECT_TRUE(saveInsole(insoleView->heightGrid, insoleView->sourceImage, dir.file("relieved.bmp").c_str()));
    testing::internal::GetCapturedStderr();
    // And tarsola-batch with the same foot, measurement and settings saves the same bytes.
    BatchOptions options;
    options.feet = {foot};
    options.out = dir.file("batch.bmp");
    options.width = widthSlider->value();
    options.length = lengthSlider->value();
    options.scan.levelMm = currentLevelMm();
    options.pressure.measurement = dir.file("plate.csv");
    std::FILE* sink = std::tmpfile();
    testing::internal::CaptureStdout();
    EXPECT_EQ(runBatch(options, sink, sink, false), 0);
    testing::internal::GetCapturedStdout();
    std::fclose(sink);
    EXPECT_EQ(readFileBytes(dir.file("batch.bmp")), readFileBytes(dir.file("relieved.bmp")));
    // Save solid's 3MF records the measurement and the relief, as the batch's does.
    testing::internal::CaptureStderr();
    EXPECT_TRUE(solidWindow->saveAs(dir.file("relieved.3mf").c_str()));
    testing::internal::GetCapturedStderr();
    const auto model = readFileBytes(dir.file("relieved.3mf"));
    std::vector<std::uint8_t> expected;
    std::string failure;
    SolidRecord record{"foot.bmp", {widthSlider->value(), lengthSlider->value(), 1.0, false},
                       currentLevelMm(), reliefRecipe(insoleView->reliefPlan.get())};
    EXPECT_NE(record.relief.find("pressure measurement plate.csv"), std::string::npos) << record.relief;
    ASSERT_TRUE(encode3mf(solidWindow->solid(), record, expected, failure)) << failure;
    EXPECT_EQ(model, expected);

    // A deeper relief within one frame; one out of range is refused and changes nothing.
    panel->depthInput->value("4");
    panel->depthInput->do_callback();
    settle();
    EXPECT_EQ(insoleView->reliefPlan->relief.fullRaise, static_cast<int>(4.0 / currentLevelMm() + 0.5));
    ReliefParameters deeper;
    deeper.depthMm = 4;
    EXPECT_EQ(insoleView->heightGrid, coreInsole(deeper, true));
    testing::internal::CaptureStderr();
    panel->depthInput->value("9");
    panel->depthInput->do_callback();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Relief depth \"9\" refused: it must be a number from 0.5 to 6 mm\n");
    EXPECT_STREQ(panel->depthInput->value(), "4");
    EXPECT_EQ(insoleView->reliefPlan->parameters.depthMm, 4.0);

    // Switched off: the insole without a measurement.
    panel->reliefButton->value(0);
    panel->reliefButton->do_callback();
    settle();
    EXPECT_EQ(insoleView->heightGrid, coreInsole(deeper, false));
    panel->depthInput->value("3");
    panel->depthInput->do_callback();
    panel->reliefButton->value(1);
    panel->reliefButton->do_callback();

    // Coloured by pressure, the legend speaks of kPa.
    panel->pressureColours->value(1);
    panel->pressureColours->do_callback();
    EXPECT_STREQ(solidWindow->legendTitle(), "壓力(kPa)");
    panel->pressureColours->value(0);
    panel->pressureColours->do_callback();
    EXPECT_STREQ(solidWindow->legendTitle(), "厚度(mm)");

    // Another foot: the measurement belonged to this one.
    testing::internal::CaptureStderr();
    insoleView->loadFootFile(foot.c_str());
    const std::string cleared = testing::internal::GetCapturedStderr();
    EXPECT_NE(cleared.find("Pressure measurement " + dir.file("plate.csv") + ": cleared"), std::string::npos)
        << cleared;
    EXPECT_EQ(insoleView->reliefPlan, nullptr);
    settle();
    EXPECT_TRUE(solidWindow->view->lines(SolidView::ZONE_LINES).empty());
}

TEST_F(ReliefWindow, AFileThatIsNoMeasurementIsRefusedWithItsLine)
{
    writeFileBytes(dir.file("bad.csv"), "10,20,30\n10,oops,30\n");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(openMeasurement(*panel, dir.file("bad.csv").c_str()));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.rfind("Cannot read pressure measurement " + dir.file("bad.csv") + ":2: ", 0), 0u) << err;
    EXPECT_EQ(solidWindow->messageLine->kind(), MessageKind::Error);
    EXPECT_EQ(insoleView->reliefPlan, nullptr);
}
