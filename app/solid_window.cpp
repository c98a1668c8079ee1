#include "app/solid_window.h"

#include "base/level_setting.h"
#include "app/job_window.h"
#include "app/main_window.h"
#include "app/message_line.h"
#include "app/mill_window.h"
#include "app/prescription_window.h"
#include "app/pressure_panel.h"
#include "app/undo_redo.h"
#include "base/trace.h"
#include "view/file_dialogs.h"
#include "imagefile/loaded_foot.h"
#include "insole/job_file.h"
#include "solid/solid_files.h"
#include "view/gl_display_image.h"
#include "insole/height_colour.h"
#include "insole/drawing.h"
#include "view/insole_listener.h"
#include "view/solid_picture.h"
#include "view/solid_view.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Float_Input.H>
#include <FL/Fl_Value_Slider.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>

SolidWindow* solidWindow = nullptr;

namespace {

double levelMm = DEFAULT_LEVEL_MM;
// Whether heightGrid, the load or the level has changed since the solid was last built.
bool solidStale = true;

void setText(Fl_Widget* widget, const std::string& text)
{
    if (!widget->label() || text != widget->label()) {
        widget->copy_label(text.c_str());
    }
}

// The rebuild that a recompute asks for, run by the event loop after the view's frame.
void rebuildLater(void*)
{
    if (solidStale && solidWindow && solidWindow->shown()) {
        solidWindow->rebuild();
    }
}

// The insole view's listener: called inside the view's frame, so it only takes note. The
// solid is rebuilt once the frame is done, and only while the 3D window is open.
void insoleHasChanged()
{
    solidStale = true;
    if (solidWindow && solidWindow->shown() && !Fl::has_timeout(rebuildLater)) {
        Fl::add_timeout(0.0, rebuildLater);
    }
}

// The zones' outlines: white, apart from every colour of the scales.
constexpr Rgb ZONE_LINE_COLOUR{255, 255, 255};

std::string format(const char* pattern, double a, double b = 0.0)
{
    char text[96];
    std::snprintf(text, sizeof text, pattern, a, b);
    return text;
}

}  // namespace

// The colour bar beside the 3D view: the top's thickness scale, thickest at the top, with up
// to five labels in millimetres.
class ThicknessLegend : public Fl_Widget {
public:
    ThicknessLegend(int x, int y, int w, int h) : Fl_Widget(x, y, w, h, "厚度(mm)")
    {
        align(FL_ALIGN_TOP_LEFT);
        box(FL_NO_BOX);
    }

    void range(double thinnestMm, double thickestMm, bool shown)
    {
        thinnest_ = thinnestMm;
        thickest_ = thickestMm;
        shown_ = shown;
        redraw();
    }

    // What the scale measures: the thickness ("厚度(mm)", two decimals) or, when the top is
    // coloured by it, the placed peak pressure ("壓力(kPa)", whole numbers).
    void measures(const char* title, const char* numberFormat)
    {
        if (std::string(title) != label()) {
            label(title);
            numberFormat_ = numberFormat;
            if (parent()) {
                parent()->redraw();
            }
        }
    }

    void draw() override
    {
        fl_push_clip(x(), y(), w(), h());
        fl_color(parent()->color());
        fl_rectf(x(), y(), w(), h());
        if (shown_) {
            drawScale();
        }
        fl_pop_clip();
    }

private:
    static constexpr int BAR_WIDTH = 22;
    static constexpr int MARGIN = 8;

    void drawScale()
    {
        const int left = x() + 4;
        const int top = y() + MARGIN;
        const int height = h() - 2 * MARGIN;
        const double span = thickest_ - thinnest_;
        for (int row = 0; row < height; ++row) {
            // A top of one thickness sits in the middle of the scale, as the solid shows it.
            const Rgb c = heightColour(span > 0.0 ? 1.0 - static_cast<double>(row) / (height - 1) : 0.5);
            fl_color(c.r, c.g, c.b);
            fl_xyline(left, top + row, left + BAR_WIDTH - 1);
        }
        fl_color(FL_FOREGROUND_COLOR);
        fl_rect(left - 1, top - 1, BAR_WIDTH + 2, height + 2);
        fl_font(FL_HELVETICA, 12);
        const int labels = span > 0.0 ? 5 : 1;
        for (int k = 0; k < labels; ++k) {
            const double share = labels > 1 ? k / 4.0 : 0.5;
            const int rowY = top + static_cast<int>(std::lround((1.0 - share) * (height - 1)));
            fl_xyline(left + BAR_WIDTH, rowY, left + BAR_WIDTH + 4);
            const std::string text = format(numberFormat_, thinnest_ + span * share);
            fl_draw(text.c_str(), left + BAR_WIDTH + 8, rowY + fl_height() / 2 - fl_descent());
        }
    }

    double thinnest_ = 0.0;
    double thickest_ = 0.0;
    bool shown_ = false;
    const char* numberFormat_ = "%.2f";
};

namespace {

Fl_Box* readout(int x, int y)
{
    auto* box = new Fl_Box(x, y, 185, 24);
    box->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
    box->labelsize(13);
    return box;
}

}  // namespace

SolidWindow::SolidWindow() : Fl_Double_Window(900, 566, "Tarsola 3D")
{
    view = new SolidView(10, 10, 480, 480);
    view->end();
    absence = new Fl_Box(FL_DOWN_BOX, 10, 10, 480, 480, nullptr);
    absence->labelsize(20);
    absence->hide();

    legend = new ThicknessLegend(505, 34, 180, 260);
    thickness = readout(505, 310);
    volume = readout(505, 336);
    footprint = readout(505, 362);
    triangles = readout(505, 388);

    resetButton = new Fl_Button(10, 500, 100, 30, "重設視角");
    resetButton->shortcut('r');
    resetButton->callback([](Fl_Widget*, void*) { solidWindow->view->resetCamera(); });
    levelInput = new Fl_Float_Input(200, 500, 70, 30, "層高(mm)");
    levelInput->when(FL_WHEN_ENTER_KEY | FL_WHEN_RELEASE);
    levelInput->value(formatLevelMm(levelMm).c_str());
    levelInput->callback(levelEntered);
    levelNote = new Fl_Box(278, 500, 290, 30);
    levelNote->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
    levelNote->labelcolor(FL_RED);
    levelNote->labelsize(13);
    saveButton = new Fl_Button(580, 500, 110, 30, "儲存立體");
    saveButton->callback(saveSolidClicked);
    messageLine = new MessageLine(10, 538, 880, 22);
    pressurePanel = new PressurePanel(700, 10);
    millButton = new Fl_Button(700, 500, 190, 30, "銑削…");
    millButton->callback(millClicked);
    prescriptionButton = new Fl_Button(505, 430, 180, 30, "處方…");
    prescriptionButton->callback(prescriptionClicked);

    end();
    resizable(view);
    size_range(720, 420);
    // The milling and prescription windows show this window's insole: they go when this
    // window goes.
    callback([](Fl_Widget* window, void*) {
        closeMillWindow();
        closePrescriptionWindow();
        window->hide();
    });
}

const char* SolidWindow::legendTitle() const { return legend->label(); }

void SolidWindow::showPicture()
{
    const ReliefPlan* plan = insoleView->reliefPlan.get();
    const QuadPlacement quad =
        placeQuad(insoleView->footBox(), insoleView->displayWidth, insoleView->displayLength);
    if (plan && pressurePanel->pressureColours->value()) {
        // The placed peak pressure drawn onto the insole as the foot is, from 0 to its peak.
        if (!pressureCells_) {
            pressureCells_ = std::make_unique<DrawnValues>();
        }
        drawFootValuesOnCpu(plan->placed, quad, *pressureCells_, std::numeric_limits<float>::quiet_NaN());
        const TopValues values{pressureCells_->data(), 0.0, plan->map.peakKpa};
        view->showPicture(pictureOfSolid(solid_, figures_.thinnestMm, figures_.thickestMm, &values));
        legend->measures("壓力(kPa)", "%.0f");
        legend->range(0.0, plan->map.peakKpa, !solid_.empty());
    } else {
        view->showPicture(pictureOfSolid(solid_, figures_.thinnestMm, figures_.thickestMm));
        legend->measures("厚度(mm)", "%.2f");
        legend->range(figures_.thinnestMm, figures_.thickestMm, !solid_.empty());
    }
    SolidLines outlines;
    if (plan && !solid_.empty()) {
        auto zoneMask = std::make_unique<Grid>();
        const FootLayer layer{&plan->relief.zoneMask, zoneMask.get()};
        drawFootLayersOnCpu(&layer, 1, quad);
        outlines = zoneOutlines(*zoneMask, insoleView->heightGrid, levelMm);
    }
    view->showLines(SolidView::ZONE_LINES, std::move(outlines), ZONE_LINE_COLOUR);
    view->showLines(SolidView::ELEMENT_LINES,
                    solid_.empty() ? SolidLines() : prescriptionLines(quad, levelMm),
                    ELEMENT_LINE_COLOUR);
    pressurePanel->showRelief();
    if (prescriptionWindow && prescriptionWindow->shown()) {
        prescriptionWindow->showPrescription();
    }
}

void SolidWindow::rebuild()
{
    // A load or a control may have asked for a recompute that no frame has run yet: the
    // solid is always made of the insole the controls say.
    insoleView->recomputeIfPending();
    solidStale = false;
    ++built_;
    const bool loaded = !insoleView->sourceImage.empty();
    solid_ = loaded ? buildSolid(insoleView->heightGrid, levelMm) : SolidMesh();
    figures_ = measureSolid(solid_);
    showPicture();
    millInsoleChanged();

    if (solid_.empty()) {
        setText(absence, loaded ? "鞋墊是空的" : "尚未讀取腳型");
        absence->show();
        view->hide();
        for (Fl_Box* box : {thickness, volume, footprint, triangles}) {
            setText(box, "");
        }
        return;
    }
    absence->hide();
    if (shown()) {
        view->show();
    } else {
        view->set_visible();
    }
    setText(thickness, format("厚度: %.2f - %.2f mm", figures_.thinnestMm, figures_.thickestMm));
    setText(volume, format("體積: %.1f cm³", figures_.volumeMm3 / 1000.0));
    setText(footprint, format("底面: %.1f x %.1f mm", figures_.footprintWidthMm, figures_.footprintLengthMm));
    setText(triangles, "三角形: " + std::to_string(figures_.triangles));
}

bool SolidWindow::saveAs(const char* chosenUtf8Name)
{
    SolidRecord record;
    record.footFile = loadedFootName();
    record.settings.width = widthSlider->value();
    record.settings.length = lengthSlider->value();
    record.settings.heightRatio = heightSlider->value();
    record.settings.limit = limitButton->value() == 1;
    record.levelMm = levelMm;
    record.relief = reliefRecipe(insoleView->reliefPlan.get());
    record.elements = elementsRecipe(activeElements(insoleView->elementPlan.get()));
    record.parts = jobParts(jobSourcesOf(*insoleView, insoleView->reliefPlan.get(), windowRecipe()));
    return saveSolid(solid_, record, chosenUtf8Name);
}

Fl_Button* createSolidButton()
{
    levelMm = readLevelSetting(LEVEL_SETTINGS_FILE);
    readPrescription();
    insoleChanged = insoleHasChanged;
    auto* button = new Fl_Button(305, 29, 83, 35, "立體");
    button->callback(solidClicked);
    return button;
}

void solidClicked(Fl_Widget*, void*)
{
    if (!solidWindow) {
        solidWindow = new SolidWindow();
        // Beside the main window where the screen has room, so that both are seen at once.
        const Fl_Window* main = insoleView->window();
        const int x = std::min(main->x() + main->w() + 12, Fl::w() - solidWindow->w());
        solidWindow->position(std::max(x, 0), main->y());
    }
    if (solidStale) {
        solidWindow->rebuild();
    }
    solidWindow->show();
}

void saveSolidClicked(Fl_Widget*, void*)
{
    MessagesOn here(solidWindow ? solidWindow->messageLine : nullptr);
    if (insoleView->sourceImage.empty()) {
        traceNoFootForSolid();
        return;
    }
    // A recompute may have finished a moment ago, its rebuild not yet run: save what the
    // controls say now.
    if (solidStale) {
        solidWindow->rebuild();
    }
    if (solidWindow->solid().empty()) {
        traceNoSolidToSave();
        return;
    }
    std::string chosen;
    if (chooseFile("Save The Insole Solid", FileDialog::Save, chosen)) {
        solidWindow->saveAs(chosen.c_str());
    }
}

void levelEntered(Fl_Widget*, void*)
{
    MessagesOn here(solidWindow->messageLine);
    Fl_Float_Input* input = solidWindow->levelInput;
    double entered = 0.0;
    if (!parseLevelMm(input->value(), entered)) {
        traceLevelRefused(input->value());
        setText(solidWindow->levelNote, "層高須在 " + formatLevelMm(MIN_LEVEL_MM) + " 至 " +
                                            formatLevelMm(MAX_LEVEL_MM) + " mm 之間");
        input->value(formatLevelMm(levelMm).c_str());
        return;
    }
    setText(solidWindow->levelNote, "");
    input->value(formatLevelMm(entered).c_str());
    if (entered == levelMm) {
        return;
    }
    levelMm = entered;
    writeLevelSetting(LEVEL_SETTINGS_FILE, levelMm);
    // A relief's depth, and the elements' heights, are numbers of levels: the heights change
    // with the level size.
    if (insoleView->reliefPlan || activeElements(insoleView->elementPlan.get())) {
        insoleView->recomputePending = 1;
    }
    solidWindow->rebuild();
    // Without them the heights stay as they are while the solid changes: the history, which
    // follows the recomputes, hears of it here, so that the size is a step of its own.
    noteInsoleChange();
}

void closeSolidWindow()
{
    closeMillWindow();
    closePrescriptionWindow();
    if (solidWindow) {
        solidWindow->hide();
    }
}

double currentLevelMm() { return levelMm; }

void takeLevelMm(double taken)
{
    levelMm = taken;
    writeLevelSetting(LEVEL_SETTINGS_FILE, levelMm);
    if (solidWindow) {
        solidWindow->levelInput->value(formatLevelMm(levelMm).c_str());
        setText(solidWindow->levelNote, "");
    }
}
