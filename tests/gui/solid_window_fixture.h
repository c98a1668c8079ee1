// What the tests of the 3D window's relief and prescription share: the window settled after
// a change, tarsola-batch run as the window is set, and the sample foot loaded with the 3D
// window open and a plate measurement of that very foot beside it.
#pragma once

#include "gui_fixture.h"

#include "app/pressure_panel.h"
#include "app/solid_window.h"
#include "batch/batch.h"
#include "imagefile/loaded_foot.h"
#include "support/pressure_files.h"

#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Value_Slider.H>

#include <cstdio>
#include <string>

class SolidWindowTest : public WindowTest {
protected:
    // Runs the recompute the controls asked for and the 3D window's rebuild after it.
    static void settle()
    {
        waitForRecompute();
        if (solidWindow && solidWindow->shown()) {
            testing::internal::CaptureStdout();
            solidWindow->rebuild();
            testing::internal::GetCapturedStdout();
        }
    }

    // The batch's options for `foot` at the main window's width, length and level size,
    // saving the insole to `out`.
    static BatchOptions batchOptionsAsTheWindow(const std::string& foot, const std::string& out)
    {
        BatchOptions options;
        options.feet = {foot};
        options.out = out;
        options.width = widthSlider->value();
        options.length = lengthSlider->value();
        options.scan.levelMm = currentLevelMm();
        return options;
    }

    // Runs tarsola-batch with its output and traces discarded; its exit status.
    static int runBatchQuietly(const BatchOptions& options)
    {
        std::FILE* sink = std::tmpfile();
        testing::internal::CaptureStdout();
        const int status = runBatch(options, sink, sink, false);
        testing::internal::GetCapturedStdout();
        std::fclose(sink);
        return status;
    }
};

// The sample foot loaded at height 1 without the limit, the 3D window open, and plate.csv:
// the foot's own cells as a measurement of 5 kPa and more.
class MeasuredFootTest : public SolidWindowTest {
protected:
    void SetUp() override
    {
        SolidWindowTest::SetUp();
        foot = std::string(TARSOLA_SOURCE_DIR) + "/samples/foot.bmp";
        heightSlider->value(1.0);
        limitButton->value(0);
        ASSERT_TRUE(loadFoot(foot));
        ASSERT_TRUE(openSolidWindow());
        panel = solidWindow->pressurePanel;
        writeFileBytes(dir.file("plate.csv"), pressureMatrixOf(insoleView->footGrid, 5.0));
    }

    std::string foot;
    TempDir dir;
    PressurePanel* panel = nullptr;
};
