// The milling window through the real widgets: opened from the 3D window, its figures and
// path following the insole on screen (never an older one's while a newer is worked out),
// Save G-code writing exactly the toolpath's file, and the setup's entries kept and refused.
#include "gui_fixture.h"

#include "app/message_line.h"
#include "app/mill_window.h"
#include "app/solid_window.h"
#include "batch/batch.h"
#include "mill/gcode.h"
#include "mill/mill_settings.h"
#include "insole/relief_plan.h"
#include "view/solid_view.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Float_Input.H>
#include <FL/Fl_Value_Slider.H>

#include <algorithm>
#include <array>
#include <cmath>
#include <set>
#include <string>

namespace {

// A small insole, so that every plan is quick: 40 x 80 mm, domed across and rising to the
// heel, with a step that the tool has to go round; thin enough for the default flute even
// at the tests' level size.
std::uint8_t smallFoot(int x, int y)
{
    if (x < 55 || x >= 95 || y < 140 || y >= 220) {
        return 0;
    }
    return static_cast<std::uint8_t>(20 + (x - 55) * (94 - x) / 16 + (220 - y) / 4 +
                                     (x >= 70 && x < 78 && y >= 170 && y < 180 ? 15 : 0));
}

GcodeRecipe recipeOnScreen()
{
    GcodeRecipe recipe;
    recipe.footFile = "small foot.bmp";
    recipe.widthMm = widthSlider->value();
    recipe.lengthMm = lengthSlider->value();
    recipe.heightRatio = heightSlider->value();
    recipe.limit = limitButton->value() == 1;
    recipe.levelMm = currentLevelMm();
    recipe.relief = reliefRecipe(insoleView->reliefPlan.get());
    return recipe;
}

// The G-code of the insole on screen with the window's setup, planned here on the test's
// own thread.
std::string expectedGcode(Toolpath* planned = nullptr)
{
    Toolpath path;
    std::string refusal;
    EXPECT_TRUE(planToolpath(insoleView->heightGrid, currentLevelMm(), millWindow->setup(), path,
                             refusal))
        << refusal;
    if (planned) {
        *planned = path;
    }
    return encodeGcode(path, recipeOnScreen());
}

std::string shownGcode()
{
    const Toolpath* path = millWindow->toolpath();
    return path ? encodeGcode(*path, recipeOnScreen()) : std::string("(none)");
}

// Whether the lines shown are the path's: every shown segment a segment of the finishing
// strokes, all along the insole's length, the lines one above every two millimetres across
// the whole width the path covers.
testing::AssertionResult showsThePath(const SolidLines& shown, const Toolpath& path)
{
    std::set<std::array<float, 6>> segments;
    float lowX = 1e9f, highX = -1e9f;
    for (const auto& stroke : path.finishingStrokes) {
        for (std::size_t i = 1; i < stroke.size(); ++i) {
            segments.insert({stroke[i - 1].x, stroke[i - 1].y, stroke[i - 1].z, stroke[i].x,
                             stroke[i].y, stroke[i].z});
            lowX = std::min({lowX, stroke[i - 1].x, stroke[i].x});
            highX = std::max({highX, stroke[i - 1].x, stroke[i].x});
        }
    }
    if (shown.empty() || shown.size() % 6 != 0) {
        return testing::AssertionFailure() << shown.size() << " values shown";
    }
    std::set<float> lines;
    for (std::size_t i = 0; i < shown.size(); i += 6) {
        const std::array<float, 6> segment{shown[i], shown[i + 1], shown[i + 2], shown[i + 3],
                                           shown[i + 4], shown[i + 5]};
        if (!segments.count(segment)) {
            return testing::AssertionFailure() << "a segment at x " << segment[0] << " is no part of the path";
        }
        if (segment[0] != segment[3]) {
            return testing::AssertionFailure() << "a segment runs across the lines at x " << segment[0];
        }
        lines.insert(segment[0]);
    }
    float last = -1e9f;
    for (float x : lines) {
        if (x - last < 2.0f - 1e-3f) {
            return testing::AssertionFailure() << "lines at " << last << " and " << x << " mm";
        }
        last = x;
    }
    const double across = highX - lowX;
    if (lines.size() + 1 < across / 2.5) {
        return testing::AssertionFailure() << lines.size() << " lines over " << across << " mm";
    }
    return testing::AssertionSuccess();
}

// Two G-code files compared without printing megabytes: their sizes and first differing line.
testing::AssertionResult sameGcode(const std::string& a, const std::string& b)
{
    if (a == b) {
        return testing::AssertionSuccess();
    }
    std::size_t at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at]) {
        ++at;
    }
    const std::size_t line = a.rfind('\n', at) == std::string::npos ? 0 : a.rfind('\n', at) + 1;
    return testing::AssertionFailure() << a.size() << " and " << b.size() << " bytes, first "
                                       << "differing at \"" << a.substr(line, at - line + 20)
                                       << "\" / \"" << b.substr(line, at - line + 20) << "\"";
}

const SolidLines& pathShown() { return solidWindow->view->lines(SolidView::PATH_LINES); }

}  // namespace

class MillWindowTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        writeImage(dir.file("small foot.bmp"), FIF_BMP, 150, 360, 8, smallFoot);
        ASSERT_TRUE(loadFoot(dir.file("small foot.bmp")));
        limitButton->value(0);
        heightSlider->value(1.0);
        heightSlider->do_callback();
        waitForRecompute();
    }

    // The milling window goes, so that the other window tests see no plans and no refusals.
    void TearDown() override
    {
        WindowTest::TearDown();
        if (millWindow) {
            closeMillWindow();
        }
    }

    // The 3D window, then its "銑削…" button; waits for the figures of the insole on screen.
    static void openMillWindow()
    {
        ASSERT_TRUE(openSolidWindow());
        solidWindow->millButton->do_callback();
        ASSERT_TRUE(pumpUntil([] { return millWindow->shown() && millWindow->visible(); }));
        waitForFigures();
    }

    // Runs the event loop, the main view's recomputes included, until the 3D window has built
    // the insole the controls ask for and the milling window has its figures.
    static void waitForFigures()
    {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const bool pending = insoleView->recomputePending != 0;
        const unsigned long built = solidWindow->solidsBuilt();
        pumpUntil([pending, built] {
            return insoleView->recomputePending == 0 && (!pending || solidWindow->solidsBuilt() > built);
        });
        // Under the sanitizers a plan takes several seconds.
        pumpUntil([] { return millWindow->state() != MillWindow::State::Computing; }, 120.0);
        testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
    }

    // Types an entry into a field of the setup and leaves it; returns standard error.
    static std::string enter(MillParameter parameter, const char* text)
    {
        Fl_Float_Input* input = millWindow->inputs[static_cast<int>(parameter)];
        input->value(text);
        testing::internal::CaptureStderr();
        input->do_callback();
        return testing::internal::GetCapturedStderr();
    }

    // Back to the default setup, for the tests that follow.
    static void restoreSetup()
    {
        for (MillParameter parameter : {MillParameter::Stepover, MillParameter::Blank,
                                        MillParameter::Tool, MillParameter::Flute,
                                        MillParameter::Feed}) {
            const MillParameterInfo info = millParameterInfo(parameter, MillSetup{});
            enter(parameter, formatMillValue(parameter, info.defaultValue).c_str());
        }
        waitForFigures();
    }

    TempDir dir;
};

TEST_F(MillWindowTest, FiguresAndPathFollowTheInsoleAndAnOlderOneIsNeverShownAsCurrent)
{
    openMillWindow();
    EXPECT_STREQ(millWindow->label(), "Tarsola 銑削");
    ASSERT_EQ(millWindow->state(), MillWindow::State::Ready);
    Toolpath planned;
    EXPECT_TRUE(sameGcode(shownGcode(), expectedGcode(&planned)));
    EXPECT_EQ(std::string(millWindow->moves->label()).find(std::to_string(planned.figures.moves)),
              std::string("移動: ").size());
    EXPECT_EQ(millWindow->fileBytes(), expectedGcode().size());

    // The path over the solid is the finishing path, drawn while the button is checked.
    millWindow->pathButton->value(1);
    millWindow->pathButton->do_callback();
    EXPECT_TRUE(showsThePath(pathShown(), planned));

    // Two changes in a row: the first one's plan is under way when the second comes. Neither
    // the first's figures nor its path may ever be shown as current.
    heightSlider->value(0.7);
    heightSlider->do_callback();
    unsigned long built = solidWindow->solidsBuilt();
    waitForRecompute();
    ASSERT_TRUE(pumpUntil([built] { return solidWindow->solidsBuilt() > built; }));
    EXPECT_EQ(millWindow->state(), MillWindow::State::Computing);
    EXPECT_STREQ(millWindow->status->label(), "計算中…");
    EXPECT_STREQ(millWindow->moves->label(), "");
    EXPECT_TRUE(pathShown().empty());
    testing::internal::CaptureStderr();
    EXPECT_FALSE(millWindow->saveAs(dir.file("early").c_str()));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Cannot save G-code " + dir.file("early.nc") +
                  ": the toolpath of the insole on screen is still being worked out\n");
    EXPECT_FALSE(fileExists(dir.file("early.nc")));

    heightSlider->value(0.5);
    heightSlider->do_callback();
    built = solidWindow->solidsBuilt();
    waitForRecompute();
    ASSERT_TRUE(pumpUntil([built] { return solidWindow->solidsBuilt() > built; }));
    const std::string latest = expectedGcode(&planned);
    std::string firstShown;
    pumpUntil(
        [&firstShown] {
            if (millWindow->state() == MillWindow::State::Computing) {
                return false;
            }
            firstShown = shownGcode();
            return true;
        },
        120.0);
    EXPECT_TRUE(sameGcode(firstShown, latest)) << "the figures shown first were not the last insole's";
    EXPECT_TRUE(showsThePath(pathShown(), planned));

    // Unchecked, the path goes; closed with the window too, and opened again it is worked out
    // anew.
    millWindow->pathButton->value(0);
    millWindow->pathButton->do_callback();
    EXPECT_TRUE(pathShown().empty());
    millWindow->pathButton->value(1);
    millWindow->pathButton->do_callback();
    EXPECT_FALSE(pathShown().empty());
    closeMillWindow();
    EXPECT_FALSE(millWindow->visible());
    EXPECT_TRUE(pathShown().empty());
    openMillWindow();
    EXPECT_TRUE(sameGcode(shownGcode(), latest));
    millWindow->pathButton->value(0);
    millWindow->pathButton->do_callback();
}

TEST_F(MillWindowTest, WithNoFootThereIsNothingToMillAndSaveRefuses)
{
    openMillWindow();
    const unsigned long built = solidWindow->solidsBuilt();
    unloadFoot();
    ASSERT_TRUE(pumpUntil([built] { return solidWindow->solidsBuilt() > built; }));
    EXPECT_EQ(millWindow->state(), MillWindow::State::NothingToMill);
    EXPECT_NE(std::string(millWindow->status->label()).find("沒有可銑削"), std::string::npos);
    EXPECT_FALSE(millWindow->saveButton->active());
    testing::internal::CaptureStderr();
    EXPECT_FALSE(millWindow->saveAs(dir.file("none.nc").c_str()));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Cannot save G-code " + dir.file("none.nc") + ": there is no insole to mill\n");
    EXPECT_FALSE(fileExists(dir.file("none.nc")));
}

TEST_F(MillWindowTest, SaveGcodeWritesTheToolpathOfTheInsoleOnScreen)
{
    testing::internal::CaptureStdout();
    widthSlider->value(widthSlider->value() + 4);
    widthSlider->do_callback();
    limitButton->value(1);
    limitButton->do_callback();
    testing::internal::GetCapturedStdout();
    openMillWindow();
    ASSERT_EQ(millWindow->state(), MillWindow::State::Ready);

    testing::internal::CaptureStderr();
    EXPECT_TRUE(millWindow->saveAs(dir.file("insole").c_str()));
    EXPECT_EQ(millWindow->messageLine->text(), "Saved insole.nc");
    EXPECT_TRUE(millWindow->saveAs(dir.file("insole.GCODE").c_str()));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    const std::string expected = expectedGcode();
    EXPECT_TRUE(sameGcode(readFileText(dir.file("insole.nc")), expected));
    EXPECT_TRUE(sameGcode(readFileText(dir.file("insole.GCODE")), expected));
    EXPECT_NE(expected.find("small foot.bmp"), std::string::npos);

    // tarsola-batch with the same foot, settings and setup writes the same bytes.
    BatchOptions options;
    options.feet = {dir.file("small foot.bmp")};
    options.gcode = dir.file("batch.nc");
    options.width = widthSlider->value();
    options.length = lengthSlider->value();
    options.limit = true;
    options.scan.levelMm = currentLevelMm();
    for (std::size_t k = 0; k < MILL_PARAMETERS.size(); ++k) {
        const double value = millValue(millWindow->setup(), MILL_PARAMETERS[k]);
        // A blank of 0 is the automatic one, which the batch takes when none is given.
        if (MILL_PARAMETERS[k] != MillParameter::Blank || value > 0) {
            options.mill[k] = value;
        }
    }
    std::FILE* sink = std::tmpfile();
    testing::internal::CaptureStdout();
    EXPECT_EQ(runBatch(options, sink, sink, false), 0);
    testing::internal::GetCapturedStdout();
    std::fclose(sink);
    EXPECT_TRUE(sameGcode(readFileText(dir.file("batch.nc")), readFileText(dir.file("insole.nc"))));
    limitButton->value(0);
    limitButton->do_callback();
    waitForFigures();
}

TEST_F(MillWindowTest, SetupEntriesAreKeptRefusedOutsideTheirRangesAndFollowed)
{
    openMillWindow();
    const std::string settings = folder->file(MILL_SETTINGS_FILE);
    const std::string keptBefore = fileExists(settings) ? readFileText(settings) : "";
    const std::string mainMessage = messageLine->text();

    EXPECT_EQ(enter(MillParameter::Tool, "30"),
              "Tool diameter \"30\" refused: it must be a number from 1 to 20 mm\n");
    EXPECT_EQ(millWindow->messageLine->text(),
              "Tool diameter \"30\" refused: it must be a number from 1 to 20 mm");
    EXPECT_EQ(messageLine->text(), mainMessage);
    EXPECT_STREQ(millWindow->inputs[static_cast<int>(MillParameter::Tool)]->value(), "6");
    EXPECT_EQ(millWindow->setup().toolMm, 6.0);
    EXPECT_EQ(millWindow->state(), MillWindow::State::Ready);
    EXPECT_EQ(fileExists(settings) ? readFileText(settings) : "", keptBefore);

    // Taken: kept in the file, and the figures follow.
    EXPECT_EQ(enter(MillParameter::Stepover, "1"), "");
    EXPECT_EQ(millWindow->state(), MillWindow::State::Computing);
    EXPECT_EQ(readMillSettings(settings.c_str()).stepoverMm, 1.0);
    waitForFigures();
    EXPECT_TRUE(sameGcode(shownGcode(), expectedGcode()));
    EXPECT_EQ(millWindow->toolpath()->setup.stepoverMm, 1.0);

    // A tool in its own range that the stepover no longer fits is refused too.
    EXPECT_EQ(enter(MillParameter::Tool, "1.5"),
              "Tool diameter \"1.5\" refused: then the stepover 1 mm is outside 0.05 to 0.75 mm "
              "(the tool's radius)\n");
    EXPECT_EQ(millWindow->setup().toolMm, 6.0);

    // A blank thinner than the insole: the toolpath refuses, the message line says why.
    EXPECT_EQ(enter(MillParameter::Blank, "3"), "");
    testing::internal::CaptureStderr();
    pumpUntil([] { return millWindow->state() != MillWindow::State::Computing; }, 120.0);
    const std::string refusal = testing::internal::GetCapturedStderr();
    EXPECT_EQ(millWindow->state(), MillWindow::State::Refused);
    EXPECT_EQ(refusal.rfind("Cannot mill the insole: the blank of 3 mm is thinner than", 0), 0u)
        << refusal;
    EXPECT_EQ(millWindow->messageLine->text() + "\n", refusal);
    EXPECT_FALSE(millWindow->saveButton->active());
    // Said once on standard error while it stays the same; the line shows it again.
    enter(MillParameter::Tool, "30");
    EXPECT_EQ(enter(MillParameter::Feed, "2500"), "");
    testing::internal::CaptureStderr();
    pumpUntil([] { return millWindow->state() != MillWindow::State::Computing; }, 120.0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(millWindow->state(), MillWindow::State::Refused);
    EXPECT_EQ(millWindow->messageLine->text() + "\n", refusal);

    // An empty blank is automatic again, and the setup comes back from the file as it is.
    EXPECT_EQ(enter(MillParameter::Blank, ""), "");
    waitForFigures();
    EXPECT_EQ(millWindow->state(), MillWindow::State::Ready);
    const MillSetup kept = readMillSettings(settings.c_str());
    for (MillParameter parameter : MILL_PARAMETERS) {
        EXPECT_EQ(millValue(kept, parameter), millValue(millWindow->setup(), parameter));
    }
    restoreSetup();
}

// The message line holds only what still holds: a refusal goes when a setup mills the insole,
// and "Saved" goes at the next change of the setup or of the insole. The refusal of a blank
// deeper than the flute names the ways out by the window's own labels, and the figures name
// the blank's corner as the file's header does.
TEST_F(MillWindowTest, MessagesThatNoLongerHoldGoAndAShortFluteNamesTheWaysOut)
{
    openMillWindow();
    ASSERT_EQ(millWindow->state(), MillWindow::State::Ready);
    const MillFigures figures = millWindow->toolpath()->figures;
    const std::string corner = "X" + gcodeNumber(figures.blankMinX) + " Y" + gcodeNumber(figures.blankMinY);
    EXPECT_NE(std::string(millWindow->blank->label()).find("角點 " + corner), std::string::npos)
        << millWindow->blank->label();
    EXPECT_NE(shownGcode().find("corner at " + corner), std::string::npos);

    // A flute a millimetre shorter than the automatic blank.
    const double blank = figures.blankZMm;
    int highest = 0;
    for (std::uint8_t h : insoleView->heightGrid) {
        highest = std::max<int>(highest, h);
    }
    const double thinnest = std::ceil(static_cast<float>(highest * currentLevelMm()) - 1e-6);
    ASSERT_LE(thinnest, blank - 1);
    EXPECT_EQ(enter(MillParameter::Flute, formatMillValue(MillParameter::Flute, blank - 1).c_str()), "");
    waitForFigures();
    ASSERT_EQ(millWindow->state(), MillWindow::State::Refused);
    const std::string ways = "; mill it with 毛胚厚度 " + formatMillValue(MillParameter::Blank, thinnest) +
                             " mm (the thinnest whole millimetre that holds the insole) or 刃長 " +
                             formatMillValue(MillParameter::Flute, blank) + " mm";
    const std::string refused = millWindow->messageLine->text();
    EXPECT_EQ(refused.rfind("Cannot mill the insole: the blank of ", 0), 0u) << refused;
    EXPECT_NE(refused.find(ways), std::string::npos) << refused;
    EXPECT_EQ(millWindow->messageLine->kind(), MessageKind::Error);

    // The flute back at its default: the plan succeeds and the refusal goes.
    EXPECT_EQ(enter(MillParameter::Flute, "40"), "");
    waitForFigures();
    ASSERT_EQ(millWindow->state(), MillWindow::State::Ready);
    EXPECT_EQ(millWindow->messageLine->text(), "");

    // "Saved" holds until the setup changes...
    testing::internal::CaptureStderr();
    EXPECT_TRUE(millWindow->saveAs(dir.file("milled").c_str()));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(millWindow->messageLine->text(), "Saved milled.nc");
    EXPECT_EQ(enter(MillParameter::Stepover, "1"), "");
    EXPECT_EQ(millWindow->messageLine->text(), "");
    waitForFigures();
    EXPECT_EQ(millWindow->messageLine->text(), "");

    // ... or the insole does; a message of something else stays.
    testing::internal::CaptureStderr();
    EXPECT_TRUE(millWindow->saveAs(dir.file("milled").c_str()));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(millWindow->messageLine->text(), "Saved milled.nc");
    heightSlider->value(0.8);
    heightSlider->do_callback();
    waitForFigures();
    EXPECT_EQ(millWindow->state(), MillWindow::State::Ready);
    EXPECT_EQ(millWindow->messageLine->text(), "");
    enter(MillParameter::Tool, "30");
    const std::string entryRefused = millWindow->messageLine->text();
    EXPECT_NE(entryRefused, "");
    heightSlider->value(1.0);
    heightSlider->do_callback();
    waitForFigures();
    EXPECT_EQ(millWindow->messageLine->text(), entryRefused);
    restoreSetup();
}
