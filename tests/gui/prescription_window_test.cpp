// The prescription through its window's real widgets: opened from the 3D window, elements
// switched on and tuned, the insole the main view saves the same as tarsola-batch's with the
// same elements, entries out of range refused, and a load clearing the hand shifts.
#include "solid_window_fixture.h"

#include "app/alterations_line.h"
#include "app/message_line.h"
#include "app/prescription_window.h"
#include "app/solid_window.h"
#include "batch/batch.h"
#include "imagefile/insole_export.h"
#include "insole/element_settings.h"
#include "view/solid_view.h"

#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Float_Input.H>
#include <FL/Fl_Value_Slider.H>

namespace {

class PrescriptionTest : public SolidWindowTest {
protected:
    void SetUp() override
    {
        SolidWindowTest::SetUp();
        foot = std::string(TARSOLA_SOURCE_DIR) + "/samples/foot.bmp";
        heightSlider->value(1.0);
        limitButton->value(0);
        ASSERT_TRUE(loadFoot(foot));
        ASSERT_TRUE(openSolidWindow());
        solidWindow->prescriptionButton->do_callback();
        ASSERT_TRUE(pumpUntil([] { return prescriptionWindow && prescriptionWindow->shown(); }));
        settle();
        plain = insoleView->heightGrid;
    }

    // Every element off again, so that no other test meets them.
    void TearDown() override
    {
        insoleView->elementPlan->settings = ElementSettings{};
        insoleView->elementPlan->shifts = ElementShifts{};
        insoleView->elementPlan->current = false;
        writeElementSettings(ELEMENT_SETTINGS_FILE, ElementSettings{});
        insoleView->recomputePending = 1;
        closePrescriptionWindow();
        settle();
        SolidWindowTest::TearDown();
    }

    static void check(Fl_Check_Button* button)
    {
        button->value(1);
        button->do_callback();
    }

    static void type(PrescriptionField field, const char* text)
    {
        prescriptionWindow->inputs[field]->value(text);
        prescriptionWindow->inputs[field]->do_callback();
    }

    std::string foot;
    TempDir dir;
    Grid plain{};
};

}  // namespace

TEST_F(PrescriptionTest, SaveEqualsTheBatchWithTheSameElements)
{
    PrescriptionWindow& w = *prescriptionWindow;
    EXPECT_STREQ(w.label(), "Tarsola 處方");
    // Without any element the axis and the head line are drawn, no outline.
    const std::size_t landmarksOnly = solidWindow->view->lines(SolidView::ELEMENT_LINES).size();
    EXPECT_GT(landmarksOnly, 0u);
    EXPECT_NE(std::string(w.landmarks->label()).find("右腳 (由腳趾判定)"), std::string::npos)
        << w.landmarks->label();

    check(w.padButton);
    check(w.cupButton);
    type(PAD_ACROSS, "2");
    type(CUP_HEIGHT, "8");
    type(CUP_WIDTH, "14");
    settle();
    EXPECT_NE(insoleView->heightGrid, plain);
    EXPECT_GT(solidWindow->view->lines(SolidView::ELEMENT_LINES).size(), landmarksOnly);
    EXPECT_NE(std::string(w.landmarks->label()).find("蹠骨墊中心"), std::string::npos);
    EXPECT_EQ(elementsOnText(), "蹠骨墊 足跟杯");
    // The main window names them under its view, with or without this window.
    EXPECT_STREQ(alterationsLine->label(), "處方: 蹠骨墊 足跟杯");

    testing::internal::CaptureStderr();
    ASSERT_TRUE(saveInsole(insoleView->heightGrid, insoleView->sourceImage,
                           dir.file("window.bmp").c_str()));
    testing::internal::GetCapturedStderr();
    BatchOptions options = batchOptionsAsTheWindow(foot, dir.file("batch.bmp"));
    options.elements.metPadMm = 4;
    options.elements.metPadShift = "0,2";
    options.elements.heelCupMm = 8;
    options.elements.heelCupWidthMm = 14;
    EXPECT_EQ(runBatchQuietly(options), 0);
    EXPECT_EQ(readFileBytes(dir.file("batch.bmp")), readFileBytes(dir.file("window.bmp")));

    // The switches and parameters are kept for the next run; the hand shift is not.
    const ElementSettings kept = readElementSettings(ELEMENT_SETTINGS_FILE);
    EXPECT_TRUE(kept.metPad && kept.heelCup);
    EXPECT_EQ(kept.heelCupHeightMm, 8);
    EXPECT_EQ(readFileText(ELEMENT_SETTINGS_FILE).find("shift"), std::string::npos);

    // Switched off again, the insole is the one without elements, to the byte.
    w.padButton->value(0);
    w.padButton->do_callback();
    w.cupButton->value(0);
    w.cupButton->do_callback();
    settle();
    EXPECT_EQ(insoleView->heightGrid, plain);
    EXPECT_STREQ(alterationsLine->label(), "");
    EXPECT_EQ(solidWindow->view->lines(SolidView::ELEMENT_LINES).size(), landmarksOnly);
}

TEST_F(PrescriptionTest, EntriesOutOfRangeAreRefusedAndALoadClearsTheHandShifts)
{
    PrescriptionWindow& w = *prescriptionWindow;
    check(w.archButton);
    type(ARCH_HEIGHT, "7");
    testing::internal::CaptureStderr();
    type(ARCH_HEIGHT, "16");
    type(POST_DEGREES, "abc");
    const std::string refused = testing::internal::GetCapturedStderr();
    EXPECT_NE(refused.find("1 to 15 mm"), std::string::npos) << refused;
    EXPECT_NE(refused.find("-10 to 10 degrees"), std::string::npos) << refused;
    EXPECT_STREQ(w.inputs[ARCH_HEIGHT]->value(), "7");
    EXPECT_EQ(insoleView->elementPlan->settings.archHeightMm, 7);
    EXPECT_NE(w.messageLine->text().find("-10 to 10 degrees"), std::string::npos) << w.messageLine->text();

    // The side given: the arch moves to the other side of the foot.
    settle();
    const Grid asFound = insoleView->heightGrid;
    w.sideChoice->value(1);  // 左
    w.sideChoice->do_callback();
    settle();
    EXPECT_NE(insoleView->heightGrid, asFound);
    EXPECT_NE(std::string(w.landmarks->label()).find("左腳 (指定)"), std::string::npos);

    check(w.barButton);
    type(BAR_ALONG, "-5");
    settle();
    EXPECT_EQ(insoleView->elementPlan->shifts.metBarAlongMm, -5);
    ASSERT_TRUE(loadFoot(foot));
    settle();
    EXPECT_EQ(insoleView->elementPlan->shifts.metBarAlongMm, 0);
    EXPECT_STREQ(w.inputs[BAR_ALONG]->value(), "0");
    EXPECT_TRUE(insoleView->elementPlan->settings.metBar);
    EXPECT_NE(activeElements(insoleView->elementPlan.get()), nullptr);
}
