// The relief through the 3D window's real widgets: a measurement opened for the loaded foot,
// the relief switched and tuned, the insole the main view saves made by the same recompute as
// the batch's, and a new foot clearing the measurement.
#include "solid_window_fixture.h"

#include "app/message_line.h"
#include "app/pressure_panel.h"
#include "app/solid_window.h"
#include "batch/batch.h"
#include "solid/package_parts.h"
#include "solid/solid_files.h"
#include "imagefile/insole_export.h"
#include "support/pressure_files.h"
#include "insole/recompute.h"
#include "insole/relief_plan.h"
#include "view/solid_view.h"

#include <FL/Fl_Box.H>
#include <FL/Fl_Browser.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Float_Input.H>
#include <FL/Fl_Value_Slider.H>

#include <algorithm>
#include <cstdio>
#include <memory>
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

class ReliefWindow : public MeasuredFootTest {
protected:
    // The switches that lay a measurement are the panel's, kept from one measurement to the
    // next: every test leaves them off.
    void TearDown() override
    {
        testing::internal::CaptureStderr();
        for (Fl_Check_Button* button : {panel->heelFirstButton, panel->mirrorButton}) {
            if (button->value()) {
                button->value(0);
                button->do_callback();
            }
        }
        testing::internal::GetCapturedStderr();
        MeasuredFootTest::TearDown();
    }

    // The zone list as it reads, one line per browser line.
    std::string zoneList() const
    {
        std::string text;
        for (int line = 1; line <= panel->zones->size(); ++line) {
            text += std::string(panel->zones->text(line)) + "\n";
        }
        return text;
    }

    // The insole the core makes of this foot and measurement at the controls' settings:
    // what the batch makes with the same files.
    Grid coreInsole(const ReliefParameters& parameters, bool on)
    {
        return coreInsole(parameters, on, PressureOptions{}, PlacementCorrection{}, "plate.csv");
    }
    Grid coreInsole(const ReliefParameters& parameters, bool on, const PressureOptions& reading,
                    const PlacementCorrection& correction, const std::string& measurement)
    {
        auto state = std::make_unique<InsoleState>();
        auto plan = std::make_unique<ReliefPlan>();
        testing::internal::CaptureStdout();
        EXPECT_TRUE(::loadFoot(*state, foot.c_str()));
        std::string failure;
        EXPECT_TRUE(readPressureFile(dir.file(measurement).c_str(), reading, plan->map, failure));
        plan->parameters = parameters;
        plan->on = on;
        EXPECT_TRUE(placeRelief(*plan, state->footGrid, correction, currentLevelMm(), failure));
        InsoleSettings settings;
        settings.width = widthSlider->value();
        settings.length = lengthSlider->value();
        settings.heightRatio = heightSlider->value();
        settings.limit = limitButton->value() == 1;
        recomputeHeights(*state, settings, activeRelief(plan.get()));
        testing::internal::GetCapturedStdout();
        return state->heightGrid;
    }
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
    EXPECT_NE(zoneList().find("全深"), std::string::npos) << zoneList();

    // The main view's heights, which Save writes, are the core's with the same measurement.
    const ReliefParameters defaults;
    EXPECT_EQ(insoleView->heightGrid, coreInsole(defaults, true));
    testing::internal::CaptureStderr();
    EXPECT_TRUE(saveInsole(insoleView->heightGrid, insoleView->sourceImage, dir.file("relieved.bmp").c_str()));
    testing::internal::GetCapturedStderr();
    // And tarsola-batch with the same foot, measurement and settings saves the same bytes.
    BatchOptions options = batchOptionsAsTheWindow(foot, dir.file("batch.bmp"));
    options.pressure.measurement = dir.file("plate.csv");
    EXPECT_EQ(runBatchQuietly(options), 0);
    EXPECT_EQ(readFileBytes(dir.file("batch.bmp")), readFileBytes(dir.file("relieved.bmp")));
    // Save solid's 3MF records the measurement and the relief, as the batch's does.
    testing::internal::CaptureStderr();
    EXPECT_TRUE(solidWindow->saveAs(dir.file("relieved.3mf").c_str()));
    testing::internal::GetCapturedStderr();
    const auto model = readFileBytes(dir.file("relieved.3mf"));
    std::vector<std::uint8_t> expected;
    std::string failure;
    SolidRecord record{"foot.bmp", {widthSlider->value(), lengthSlider->value(), 1.0, false},
                       currentLevelMm(), reliefRecipe(insoleView->reliefPlan.get()), "", {}};
    EXPECT_NE(record.relief.find("pressure measurement plate.csv"), std::string::npos) << record.relief;
    ASSERT_TRUE(encode3mf(solidWindow->solid(), record, expected, failure)) << failure;
    EXPECT_EQ(modelPartOf(model), modelPartOf(expected));

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

// A measurement laid the wrong way (heel first, or the other foot's) is still relieved in the
// window, but says so in the pressure column and on the message line in the warning colour;
// its switch lays it right, gives the insole of the measurement laid right, and the warning
// goes.
TEST_F(ReliefWindow, AMeasurementLaidTheWrongWayIsWarnedOfUntilItsSwitchPutsItRight)
{
    const std::string plate = readFileText(dir.file("plate.csv"));
    writeFileBytes(dir.file("heel.csv"), matrixTurnedEndForEnd(plate));
    writeFileBytes(dir.file("other.csv"), matrixTurnedOver(plate));
    panel->reliefButton->value(1);
    panel->reliefButton->do_callback();
    const Fl_Color warningColour = fl_rgb_color(140, 80, 0);
    const struct {
        const char* file;
        Fl_Check_Button* fix;
        const char* warning;
        const char* tag;
    } cases[] = {
        {"heel.csv", panel->heelFirstButton, "the measurement looks turned end for end (heel first): ",
         "似頭尾顛倒"},
        {"other.csv", panel->mirrorButton, "the measurement looks like the other foot: ", "似為另一腳"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        testing::internal::CaptureStderr();
        ASSERT_TRUE(openMeasurement(*panel, dir.file(c.file).c_str()));
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("Pressure measurement " + dir.file(c.file) + ": " + c.warning),
                  std::string::npos) << err;
        settle();
        ASSERT_NE(activeRelief(insoleView->reliefPlan.get()), nullptr);
        EXPECT_EQ(solidWindow->messageLine->kind(), MessageKind::Warning);
        EXPECT_NE(solidWindow->messageLine->text().find(c.warning), std::string::npos)
            << solidWindow->messageLine->text();
        EXPECT_NE(std::string(panel->measurement->label()).find(c.tag), std::string::npos)
            << panel->measurement->label();
        EXPECT_EQ(panel->measurement->labelcolor(), warningColour);
        const Grid wrong = insoleView->heightGrid;

        testing::internal::CaptureStderr();
        c.fix->value(1);
        c.fix->do_callback();
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        settle();
        EXPECT_FALSE(insoleView->reliefPlan->placement.doubtful());
        EXPECT_EQ(solidWindow->messageLine->kind(), MessageKind::Done);
        const std::string said = solidWindow->messageLine->text();
        EXPECT_NE(said.find(std::string("pressure measurement ") + c.file), std::string::npos) << said;
        EXPECT_NE(said.find(" of its load on the foot"), std::string::npos) << said;
        EXPECT_EQ(std::string(panel->measurement->label()).find(c.tag), std::string::npos);
        EXPECT_NE(panel->measurement->labelcolor(), warningColour);
        EXPECT_EQ(insoleView->heightGrid, coreInsole(ReliefParameters{}, true));
        EXPECT_NE(insoleView->heightGrid, wrong);
        // The recipe Save solid and Save G-code record says how the measurement was laid.
        const std::string recipe = reliefRecipe(insoleView->reliefPlan.get());
        EXPECT_NE(recipe.find(c.fix == panel->mirrorButton ? ", turned over)" : ", first row at the heel)"),
                  std::string::npos) << recipe;
        c.fix->value(0);
        c.fix->do_callback();
    }
}

// After a hand correction the message line gives the new placement's share of the load, not
// the one it had when it was loaded; a refused measurement (a single number, frames out of
// order) leaves the measurement, its correction and the insole as they were.
TEST_F(ReliefWindow, ACorrectionReplacesTheLoadTimeShareAndARefusalKeepsTheMeasurement)
{
    ASSERT_TRUE(openMeasurement(*panel, dir.file("plate.csv").c_str()));
    const std::string loaded = solidWindow->messageLine->text();
    EXPECT_EQ(loaded.rfind("Loaded pressure measurement plate.csv: ", 0), 0u) << loaded;
    panel->turnInput->value("3");
    panel->turnInput->do_callback();
    settle();
    const ReliefPlan& plan = *insoleView->reliefPlan;
    EXPECT_EQ(plan.correction.turnDegrees, 3.0);
    char share[16];
    std::snprintf(share, sizeof share, "%.0f%%", plan.placement.loadShare * 100);
    EXPECT_EQ(solidWindow->messageLine->text(),
              std::string("Placed pressure measurement plate.csv again: ") + share +
                  " of its load on the foot");

    const Grid before = insoleView->heightGrid;
    writeFileBytes(dir.file("500.txt"), "500\n");
    writeFileBytes(dir.file("frames.asf"),
                   "ROWS 2\nCOLS 2\nROW_SPACING 20 mm\nCOL_SPACING 20 mm\nUNITS kPa\n"
                   "ASCII_DATA @@\nFrame 4\n100,100\n100,100\nFrame 6\n100,100\n100,100\n@@\n");
    const std::pair<const char*, std::string> refused[] = {
        {"500.txt", ": not a foot measurement: 1 x 1 cells (rows x columns), fewer than 2 x 2"},
        {"frames.asf", ":10: Frame 6 follows Frame 4: frame numbers must run from the first "
                       "frame upward without a gap or a repeat"},
    };
    for (const auto& [file, reason] : refused) {
        testing::internal::CaptureStderr();
        EXPECT_FALSE(openMeasurement(*panel, dir.file(file).c_str()));
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "Cannot read pressure measurement " + dir.file(file) + reason + "\n");
        EXPECT_EQ(solidWindow->messageLine->kind(), MessageKind::Error);
        ASSERT_NE(insoleView->reliefPlan, nullptr);
        EXPECT_EQ(insoleView->reliefPlan->measurementFile, dir.file("plate.csv"));
        EXPECT_EQ(insoleView->reliefPlan->correction.turnDegrees, 3.0);
        settle();
        EXPECT_EQ(insoleView->heightGrid, before);
        EXPECT_STREQ(panel->turnInput->value(), "3");
    }
}

// The zone list shows every zone, however many, with the areas the batch reports: counted on
// the insole's grid.
TEST_F(ReliefWindow, TheZoneListShowsEveryZoneWithItsAreaOnTheInsole)
{
    // Four more peaks of one sensor cell each, apart from each other and from the ball and
    // heel, on the foot's middle and toes.
    std::string plate = readFileText(dir.file("plate.csv"));
    std::vector<std::string> rows;
    for (std::size_t at = 0, end; (end = plate.find('\n', at)) != std::string::npos; at = end + 1) {
        rows.push_back(plate.substr(at, end - at));
    }
    const auto setCell = [&](int row, int column) {
        std::string& line = rows[static_cast<std::size_t>(row)];
        std::size_t start = 0;
        for (int c = 0; c < column; ++c) {
            start = line.find(',', start) + 1;
        }
        const std::size_t end = std::min(line.find(',', start), line.size());
        ASSERT_NE(line.substr(start, end - start), "0.0") << row << "," << column;
        line.replace(start, end - start, "600");
    };
    const std::pair<int, int> cells[] = {{41, 14}, {35, 14}, {12, 11}, {12, 18}};
    for (const auto& [row, column] : cells) {
        setCell(row, column);
    }
    std::string peaks;
    for (const std::string& row : rows) {
        peaks += row + "\n";
    }
    writeFileBytes(dir.file("peaks.csv"), peaks);
    ASSERT_TRUE(openMeasurement(*panel, dir.file("peaks.csv").c_str()));
    panel->reliefButton->value(1);
    panel->reliefButton->do_callback();
    settle();
    const DrawnRelief& drawn = *insoleView->drawnRelief;
    ASSERT_GE(drawn.zones.size(), 6u);
    panel->showRelief();
    EXPECT_EQ(panel->zones->size(),
              static_cast<int>(2 * drawn.zones.size()) + (drawn.cappedCells > 0 ? 1 : 0));
    std::vector<int> area(MAX_RELIEF_ZONES + 1, 0);
    for (std::uint8_t id : drawn.zoneMask) {
        ++area[id];
    }
    const std::string list = zoneList();
    for (const ReliefZone& zone : drawn.zones) {
        EXPECT_EQ(zone.areaMm2, area[zone.id]);
        char line[64];
        std::snprintf(line, sizeof line, "區%d (%.0f, %.0f) %d mm²\n", zone.id, zone.centreXMm,
                      zone.centreYMm, area[zone.id]);
        EXPECT_NE(list.find(line), std::string::npos) << line << list;
    }

    // Scrolled down by a person, the list stays where it was when the insole is made again
    // (every slider step rebuilds the solid, and the list with it).
    panel->zones->topline(5);
    const int scrolled = panel->zones->position();
    ASSERT_GT(scrolled, 0);
    insoleView->recomputePending = 1;
    settle();
    EXPECT_EQ(panel->zones->size(),
              static_cast<int>(2 * drawn.zones.size()) + (drawn.cappedCells > 0 ? 1 : 0));
    EXPECT_EQ(panel->zones->position(), scrolled);
}
