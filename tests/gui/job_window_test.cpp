// Jobs in the real window: a job that tarsola-batch wrote, its foot and measurement deleted,
// opens through the Load path with every control as recorded, and Save and Save solid write
// what was written with the job; a refused job changes nothing.
#include "gui_fixture.h"

#include "app/job_window.h"
#include "app/mill_window.h"
#include "app/pressure_panel.h"
#include "app/solid_window.h"
#include "app/undo_redo.h"
#include "batch/batch.h"
#include "imagefile/insole_export.h"
#include "imagefile/loaded_foot.h"
#include "insole/element_plan.h"
#include "insole/element_settings.h"
#include "solid/package_parts.h"
#include "support/pressure_files.h"
#include "support/scan_files.h"
#include "support/zip_parts.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Value_Slider.H>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <memory>

namespace {

// Runs the batch as tarsola-batch would, its reports and traces discarded; returns its status.
int runBatchQuietly(const BatchOptions& options)
{
    std::FILE* sink = std::tmpfile();
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int status = runBatch(options, sink, sink, false);
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    std::fclose(sink);
    return status;
}

class JobWindow : public WindowTest {
protected:
    // Opens the job through the Load button's path after its dialog, without a word on
    // standard error, and runs the recompute it asks for.
    void openJob()
    {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const bool opened = insoleView->loadFootFile(dir.file("job.3mf").c_str());
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        ASSERT_TRUE(opened);
        waitForRecompute();
    }

    // The sample foot and a plate's measurement of it, made into a job by tarsola-batch with
    // every setting away from its default; the insole, solid and G-code it wrote beside it.
    void writeJob()
    {
        const auto bytes = readFileBytes(TARSOLA_SOURCE_DIR "/samples/foot.bmp");
        writeFileBytes(dir.file("foot.bmp"), std::string(bytes.begin(), bytes.end()));
        auto state = std::make_unique<InsoleState>();
        testing::internal::CaptureStdout();
        ASSERT_TRUE(::loadFoot(*state, dir.file("foot.bmp").c_str()));
        testing::internal::GetCapturedStdout();
        writeFileBytes(dir.file("plate.csv"), pressureMatrixOf(state->footGrid, 5.0));

        BatchOptions options;
        options.feet = {dir.file("foot.bmp")};
        options.out = dir.file("written.bmp");
        options.threeMf = dir.file("job.3mf");
        options.width = 90;
        options.length = 250;
        options.heightRatio = 0.8;
        options.limit = true;
        options.scan.levelMm = 0.25;
        options.pressure.measurement = dir.file("plate.csv");
        options.pressure.thresholdKpa = 250;
        options.pressure.depthMm = 2.4;
        options.pressure.turnDegrees = 1.5;
        options.pressure.shift = "1,-2";
        options.gcode = dir.file("written.nc");
        options.mill[0] = 4.0;  // the tool
        options.elements.side = "left";
        options.elements.metPadMm = 5;
        options.elements.metPadShift = "1,-2";
        options.elements.archMm = 6;
        options.elements.heelCupMm = 7;
        ASSERT_EQ(runBatchQuietly(options), 0);
        ASSERT_EQ(std::remove(dir.file("foot.bmp").c_str()), 0);
        ASSERT_EQ(std::remove(dir.file("plate.csv").c_str()), 0);
    }

    // The job's settings are kept as a person's would be: put back what the other tests of
    // this window start from.
    void TearDown() override
    {
        takeLevelMm(restoredLevel);
        takeReliefControls(ReliefSettings{}, PressureOptions{}, PlacementCorrection{});
        takeMillSetup(MillSetup{});
        limitButton->value(restoredLimit);
        insoleView->reliefPlan.reset();
        insoleView->elementPlan->settings = ElementSettings{};
        insoleView->elementPlan->shifts = ElementShifts{};
        insoleView->elementPlan->current = false;
        writeElementSettings(ELEMENT_SETTINGS_FILE, ElementSettings{});
        insoleView->recomputePending = 1;
    }

    TempDir dir;
};

}  // namespace

TEST_F(JobWindow, AJobOpensWithEveryControlAsRecordedAndSavesTheSameInsole)
{
    writeJob();
    // Controls away from the job's, and another foot on screen.
    heightSlider->value(1.5);
    limitButton->value(0);
    ASSERT_TRUE(loadFoot(std::string(TARSOLA_SOURCE_DIR) + "/samples/foot.bmp"));
    // Another prescription on screen, with a hand shift of that foot.
    insoleView->elementPlan->settings.rearfootPost = true;
    insoleView->elementPlan->settings.arch = false;
    insoleView->elementPlan->shifts.metBarAlongMm = 3;
    insoleView->elementPlan->current = false;
    ASSERT_TRUE(openSolidWindow());

    ASSERT_NO_FATAL_FAILURE(openJob());

    EXPECT_EQ(widthSlider->value(), 90.0);
    EXPECT_EQ(lengthSlider->value(), 250.0);
    EXPECT_EQ(heightSlider->value(), 0.8);
    EXPECT_EQ(limitButton->value(), 1);
    EXPECT_EQ(currentLevelMm(), 0.25);
    EXPECT_EQ(reliefControls().parameters.thresholdKpa, 250.0);
    EXPECT_EQ(reliefControls().parameters.depthMm, 2.4);
    EXPECT_EQ(currentMillSetup().toolMm, 4.0);
    ASSERT_NE(insoleView->reliefPlan, nullptr);
    EXPECT_EQ(insoleView->reliefPlan->measurementFile, "plate.csv");
    EXPECT_EQ(insoleView->reliefPlan->correction.turnDegrees, 1.5);
    EXPECT_EQ(loadedFootName(), "foot.bmp");
    const ElementSettings& elements = insoleView->elementPlan->settings;
    EXPECT_EQ(elements.side, SideChoice::Left);
    EXPECT_TRUE(elements.metPad && elements.arch && elements.heelCup);
    EXPECT_FALSE(elements.metBar || elements.rearfootPost);
    EXPECT_EQ(elements.metPadHeightMm, 5.0);
    EXPECT_EQ(elements.heelCupHeightMm, 7.0);
    EXPECT_EQ(insoleView->elementPlan->shifts.metPadAlongMm, 1.0);
    EXPECT_EQ(insoleView->elementPlan->shifts.metPadAcrossMm, -2.0);
    EXPECT_EQ(insoleView->elementPlan->shifts.metBarAlongMm, 0.0);
    ASSERT_NE(activeElements(insoleView->elementPlan.get()), nullptr);

    // Save writes the insole saved when the job was written, byte for byte; Save solid the
    // job itself.
    ASSERT_TRUE(saveInsole(insoleView->heightGrid, insoleView->sourceImage, dir.file("saved.bmp").c_str()));
    EXPECT_TRUE(readFileBytes(dir.file("saved.bmp")) == readFileBytes(dir.file("written.bmp")));
    testing::internal::CaptureStdout();
    solidWindow->rebuild();
    EXPECT_TRUE(solidWindow->saveAs(dir.file("again.3mf").c_str()));
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(readFileBytes(dir.file("again.3mf")) == readFileBytes(dir.file("job.3mf")));
}

// A job that cannot be taken whole leaves the foot, its insole, its name and every control as
// they were, and says why in one line naming the job.
TEST_F(JobWindow, ARefusedJobChangesNothing)
{
    writeJob();
    const std::string recipe = [&] {
        const auto job = readFileBytes(dir.file("job.3mf"));
        std::vector<std::uint8_t> part;
        std::string why;
        EXPECT_TRUE(readPackagePart(job.data(), job.size(), "Tarsola/recipe.json", part, why)) << why;
        return std::string(part.begin(), part.end());
    }();
    nlohmann::json wide = nlohmann::json::parse(recipe);
    wide["insole"]["widthMm"] = 200.0;  // beyond 1.2 times the foot's width
    nlohmann::json newer = nlohmann::json::parse(recipe);
    newer["format"] = 2;
    const std::string foot(readFileBytes(TARSOLA_SOURCE_DIR "/samples/foot.bmp").size(), '\0');
    const auto sample = readFileBytes(TARSOLA_SOURCE_DIR "/samples/foot.bmp");
    const std::string footBytes(sample.begin(), sample.end());
    writeFileBytes(dir.file("wide.3mf"), zipOf(jobPartsAround("Tarsola/foot.bmp", footBytes, wide.dump())));
    writeFileBytes(dir.file("newer.3mf"), zipOf(jobPartsAround("Tarsola/foot.bmp", footBytes, newer.dump())));
    writeFileBytes(dir.file("blank.3mf"), zipOf(jobPartsAround("Tarsola/foot.bmp", foot, recipe)));

    ASSERT_TRUE(loadFoot(std::string(TARSOLA_SOURCE_DIR) + "/samples/foot.bmp"));
    heightSlider->value(1.3);
    heightSlider->do_callback();
    waitForRecompute();
    const Grid before = insoleView->heightGrid;
    const double width = widthSlider->value();
    const double level = currentLevelMm();
    const int limit = limitButton->value();
    for (const char* job : {"wide.3mf", "newer.3mf", "blank.3mf"}) {
        SCOPED_TRACE(job);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_FALSE(insoleView->loadFootFile(dir.file(job).c_str()));
        testing::internal::GetCapturedStdout();
        const std::string said = testing::internal::GetCapturedStderr();
        waitForRecompute();
        EXPECT_TRUE(insoleView->heightGrid == before);
        EXPECT_FALSE(insoleView->sourceImage.empty());
        EXPECT_EQ(widthSlider->value(), width);
        EXPECT_EQ(heightSlider->value(), 1.3);
        EXPECT_EQ(limitButton->value(), limit);
        EXPECT_EQ(currentLevelMm(), level);
        EXPECT_EQ(loadedFootName(), "foot.bmp");
        EXPECT_NE(said.find(job), std::string::npos) << said;
        EXPECT_EQ(said.find('\n'), said.size() - 1) << said;
    }
}

// A scan made into a job with its own units and up axis (a scan stood upside down, in cm)
// has no control in the window: the job opened keeps them, so that Save solid writes the
// same job and a step undone reads the scan again the way it was read, not upside down.
TEST_F(JobWindow, AScanJobKeepsHowItsScanIsReadThroughSaveSolidAndUndo)
{
    ScanMesh sole = latticeSurface(30, 120, 60, 300, 2.0, [](double, double) { return true; },
                                   [](double x, double y) { return 4 + x / 30 + y / 80; });
    // Centimetres, with -y pointing up from the ground.
    transformMesh(sole, [](double& x, double& y, double& z) {
        const double up = z;
        x /= 10;
        z = y / 10;
        y = -up / 10;
    });
    const auto ply = asciiPly(sole);
    writeFileBytes(dir.file("scan.ply"), std::string(ply.begin(), ply.end()));
    BatchOptions options;
    options.feet = {dir.file("scan.ply")};
    options.out = dir.file("written.bmp");
    options.threeMf = dir.file("job.3mf");
    options.scan.units = ScanUnits::Centimetres;
    options.scan.up = ScanUp::MinusY;
    ASSERT_EQ(runBatchQuietly(options), 0);

    ASSERT_NO_FATAL_FAILURE(openJob());
    Fl::check();
    const Grid asOpened = insoleView->heightGrid;
    ASSERT_TRUE(saveInsole(insoleView->heightGrid, insoleView->sourceImage, dir.file("saved.bmp").c_str()));
    EXPECT_TRUE(readFileBytes(dir.file("saved.bmp")) == readFileBytes(dir.file("written.bmp")));
    ASSERT_TRUE(openSolidWindow());
    testing::internal::CaptureStdout();
    solidWindow->rebuild();
    EXPECT_TRUE(solidWindow->saveAs(dir.file("again.3mf").c_str()));
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(readFileBytes(dir.file("again.3mf")) == readFileBytes(dir.file("job.3mf")));

    heightSlider->value(1.4);
    heightSlider->do_callback();
    waitForRecompute();
    Fl::check();
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const bool undone = undoLastChange();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_TRUE(undone);
    waitForRecompute();
    EXPECT_EQ(heightSlider->value(), 1.0);
    EXPECT_TRUE(insoleView->heightGrid == asOpened);
}
