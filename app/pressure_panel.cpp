#include "app/pressure_panel.h"

#include "app/main_window.h"
#include "app/message_line.h"
#include "app/solid_window.h"
#include "base/settings.h"
#include "base/trace.h"
#include "view/file_dialogs.h"
#include "imagefile/file_names.h"
#include "imagefile/loaded_foot.h"
#include "pressure/relief_settings.h"
#include "view/gl_display_image.h"
#include "insole/relief_plan.h"

#include <FL/Fl_Box.H>
#include <FL/Fl_Browser.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Float_Input.H>

#include <cmath>
#include <iterator>
#include <cstdio>
#include <memory>
#include <string>

namespace {

// The relief's parameters and switch as the settings file keeps them, and how a plain
// matrix (which says neither) is read. Read from the file once, when first asked for.
ReliefSettings kept;
PressureOptions matrixOptions;
bool keptRead = false;

void readKept()
{
    if (!keptRead) {
        kept = readReliefSettings(RELIEF_SETTINGS_FILE);
        keptRead = true;
    }
}

// The units a plain matrix may be in, in the order of the unit choice.
const PressureUnit MATRIX_UNITS[] = {PressureUnit::Kpa, PressureUnit::Mpa, PressureUnit::NewtonPerCm2,
                                     PressureUnit::Psi};

PressurePanel* panelOf(Fl_Widget* widget)
{
    for (Fl_Widget* w = widget; w; w = w->parent()) {
        if (auto* panel = dynamic_cast<PressurePanel*>(w)) {
            return panel;
        }
    }
    return nullptr;
}

void showValue(Fl_Float_Input* input, double value) { input->value(formatDecimal(value).c_str()); }

Fl_Float_Input* input(int x, int y, const char* label)
{
    auto* field = new Fl_Float_Input(x + 120, y, 70, 24, label);
    field->labelsize(13);
    field->textsize(13);
    field->when(FL_WHEN_ENTER_KEY | FL_WHEN_RELEASE);
    return field;
}

void setText(Fl_Widget* widget, const std::string& text)
{
    if (!widget->label() || text != widget->label()) {
        widget->copy_label(text.c_str());
    }
}

// The main view recomputes at its next frame, with the relief as it stands now; the 3D
// window follows that recompute.
void insoleMustFollow() { insoleView->recomputePending = 1; }

// The input's text as a number within [minimum, maximum]; otherwise says why, in the 3D
// window and on standard error, and puts `current` back.
bool entered(Fl_Float_Input* field, const char* what, const char* unit, double minimum,
             double maximum, double current, double& value)
{
    double read = 0.0;
    if (parseDecimal(field->value(), read) && read >= minimum && read <= maximum) {
        value = read;
        showValue(field, read);
        return true;
    }
    const std::string range = formatDecimal(minimum) + " to " + formatDecimal(maximum) + " " + unit;
    traceEntryRefused(what, field->value(), range.c_str());
    showValue(field, current);
    return false;
}

void keepSettings() { writeReliefSettings(RELIEF_SETTINGS_FILE, kept); }

std::string percent(double share)
{
    char text[16];
    std::snprintf(text, sizeof text, "%.0f%%", share * 100.0);
    return text;
}

// The measurement read again, placed again and relieved again with what the panel says now;
// on failure the old plan stays and the reason is traced. The message line then gives the
// new placement's warnings, or `done` with the new share of the load on the foot: never the
// share of a placement that no longer holds.
bool replan(const ReliefPlan& from, const PlacementCorrection& correction,
            const ReliefParameters& parameters, const std::string& done)
{
    auto plan = std::make_unique<ReliefPlan>(from);
    plan->parameters = parameters;
    std::string failure;
    if (!placeRelief(*plan, insoleView->footGrid, correction, currentLevelMm(), failure)) {
        traceFileProblem("Cannot place pressure measurement", from.measurementFile.c_str(),
                         failure.c_str());
        return false;
    }
    for (const std::string& warning : plan->placement.warnings) {
        traceFileWarning("Pressure measurement", plan->measurementFile.c_str(), warning.c_str());
    }
    if (!plan->placement.doubtful()) {
        traceSuccess(done + ": " + percent(plan->placement.loadShare) + " of its load on the foot");
    }
    insoleView->reliefPlan = std::move(plan);
    insoleMustFollow();
    return true;
}

// The success line of a placement changed by hand.
std::string placedAgain(const ReliefPlan& plan)
{
    return "Placed pressure measurement " + fileNameOf(plan.measurementFile) + " again";
}

void openClicked(Fl_Widget* widget, void*)
{
    PressurePanel* panel = panelOf(widget);
    MessagesOn here(solidWindow ? solidWindow->messageLine : nullptr);
    if (insoleView->sourceImage.empty()) {
        traceFileProblem("Cannot open a pressure measurement", "without a foot",
                         "load the foot it was taken of first");
        return;
    }
    std::string chosen;
    if (chooseFile("Load a pressure measurement", FileDialog::Load, chosen, lastFootFolder())) {
        openMeasurement(*panel, chosen.c_str());
    }
}

void reliefToggled(Fl_Widget* widget, void*)
{
    kept.on = static_cast<Fl_Check_Button*>(widget)->value() != 0;
    keepSettings();
    if (insoleView->reliefPlan) {
        insoleView->reliefPlan->on = kept.on;
        insoleMustFollow();
    }
}

void coloursToggled(Fl_Widget*, void*)
{
    if (solidWindow) {
        solidWindow->rebuild();
    }
}

// One of T, D, M, W: kept, and the relief worked out again (1 ms) for the next frame.
void parameterEntered(Fl_Widget* widget, void*)
{
    PressurePanel* panel = panelOf(widget);
    MessagesOn here(solidWindow ? solidWindow->messageLine : nullptr);
    auto* field = static_cast<Fl_Float_Input*>(widget);
    ReliefParameters parameters = kept.parameters;
    bool ok = false;
    if (field == panel->thresholdInput) {
        ok = entered(field, "Relief threshold", "kPa", MIN_RELIEF_KPA, MAX_RELIEF_KPA,
                     parameters.thresholdKpa, parameters.thresholdKpa);
    } else if (field == panel->depthInput) {
        ok = entered(field, "Relief depth", "mm", MIN_RELIEF_DEPTH_MM, MAX_RELIEF_DEPTH_MM,
                     parameters.depthMm, parameters.depthMm);
    } else if (field == panel->marginInput) {
        ok = entered(field, "Relief margin", "mm", MIN_RELIEF_MARGIN_MM, MAX_RELIEF_MARGIN_MM,
                     parameters.marginMm, parameters.marginMm);
    } else if (field == panel->transitionInput) {
        ok = entered(field, "Relief transition", "mm", MIN_RELIEF_WIDTH_MM, MAX_RELIEF_WIDTH_MM,
                     parameters.widthMm, parameters.widthMm);
    }
    if (!ok) {
        return;
    }
    kept.parameters = parameters;
    keepSettings();
    if (ReliefPlan* plan = insoleView->reliefPlan.get()) {
        std::string failure;
        if (updateRelief(*plan, insoleView->footGrid, parameters, currentLevelMm(), failure)) {
            insoleMustFollow();
        } else {
            traceFileProblem("Cannot relieve the insole with", plan->measurementFile.c_str(),
                             failure.c_str());
        }
    }
}

// The hand correction: the measurement placed again (a few ms: all four ways it could lie
// are fitted) for the next frame.
void correctionEntered(Fl_Widget* widget, void*)
{
    PressurePanel* panel = panelOf(widget);
    MessagesOn here(solidWindow ? solidWindow->messageLine : nullptr);
    auto* field = static_cast<Fl_Float_Input*>(widget);
    const ReliefPlan* plan = insoleView->reliefPlan.get();
    PlacementCorrection correction = plan ? plan->correction : PlacementCorrection{};
    bool ok = false;
    if (field == panel->shiftXInput) {
        ok = entered(field, "Pressure shift", "mm", -MAX_HAND_SHIFT_MM, MAX_HAND_SHIFT_MM,
                     correction.shiftXMm, correction.shiftXMm);
    } else if (field == panel->shiftYInput) {
        ok = entered(field, "Pressure shift", "mm", -MAX_HAND_SHIFT_MM, MAX_HAND_SHIFT_MM,
                     correction.shiftYMm, correction.shiftYMm);
    } else if (field == panel->turnInput) {
        ok = entered(field, "Pressure turn", "degrees", -MAX_HAND_TURN_DEGREES,
                     MAX_HAND_TURN_DEGREES, correction.turnDegrees, correction.turnDegrees);
    }
    if (ok && plan && !replan(*plan, correction, plan->parameters, placedAgain(*plan))) {
        showValue(panel->shiftXInput, plan->correction.shiftXMm);
        showValue(panel->shiftYInput, plan->correction.shiftYMm);
        showValue(panel->turnInput, plan->correction.turnDegrees);
    }
}

// How a plain matrix is read: its pitch and unit. A plain matrix open now is read again.
void matrixOptionsChanged(Fl_Widget* widget, void*)
{
    PressurePanel* panel = panelOf(widget);
    MessagesOn here(solidWindow ? solidWindow->messageLine : nullptr);
    if (widget == panel->pitchInput &&
        !entered(panel->pitchInput, "Pressure pitch", "mm", MIN_PRESSURE_PITCH_MM,
                 MAX_PRESSURE_PITCH_MM, matrixOptions.pitchMm, matrixOptions.pitchMm)) {
        return;
    }
    matrixOptions.units = MATRIX_UNITS[std::max(0, panel->unitChoice->value())];
    const ReliefPlan* plan = insoleView->reliefPlan.get();
    if (plan && plan->map.format == "plain matrix") {
        openMeasurement(*panel, plan->measurementFile.c_str());
    }
}

// Turned over left to right, or back: the measurement placed again, the hand correction kept.
// Without a measurement the button says how the next one is placed.
void mirrorToggled(Fl_Widget* widget, void*)
{
    MessagesOn here(solidWindow ? solidWindow->messageLine : nullptr);
    auto* button = static_cast<Fl_Check_Button*>(widget);
    const ReliefPlan* plan = insoleView->reliefPlan.get();
    if (!plan) {
        return;
    }
    PlacementCorrection correction = plan->correction;
    correction.mirror = button->value() != 0;
    if (!replan(*plan, correction, plan->parameters, placedAgain(*plan))) {
        button->value(plan->correction.mirror);
    }
}

// Which end of a plain matrix its first row is at. A plain matrix open now is read again;
// a sensor export's header says how its rows run, so it stays as it is.
void heelFirstToggled(Fl_Widget* widget, void*)
{
    PressurePanel* panel = panelOf(widget);
    MessagesOn here(solidWindow ? solidWindow->messageLine : nullptr);
    auto* button = static_cast<Fl_Check_Button*>(widget);
    matrixOptions.heelFirst = button->value() != 0;
    const ReliefPlan* plan = insoleView->reliefPlan.get();
    if (!plan) {
        return;
    }
    if (plan->map.format != "plain matrix") {
        traceFileWarning("Pressure measurement", plan->measurementFile.c_str(),
                         "a sensor insole export has its first row at the toes unless its "
                         "MIRROR_ROW says otherwise; the first row's end is chosen for plain "
                         "matrices");
        return;
    }
    if (!openMeasurement(*panel, plan->measurementFile.c_str())) {
        // The measurement shown stays as it was read.
        matrixOptions.heelFirst = !matrixOptions.heelFirst;
        button->value(matrixOptions.heelFirst);
    }
}

}  // namespace

PressurePanel::PressurePanel(int x, int y) : Fl_Group(x, y, 190, 482)
{
    readKept();

    openButton = new Fl_Button(x, y, 190, 28, "壓力…");
    openButton->callback(openClicked);
    measurement = new Fl_Box(x, y + 32, 190, 40, "尚無壓力量測");
    measurement->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_TOP | FL_ALIGN_CLIP | FL_ALIGN_WRAP);
    measurement->labelsize(12);
    pitchInput = input(x, y + 76, "矩陣間距(mm)");
    showValue(pitchInput, matrixOptions.pitchMm);
    pitchInput->callback(matrixOptionsChanged);
    unitChoice = new Fl_Choice(x + 120, y + 104, 70, 24, "矩陣單位");
    unitChoice->labelsize(13);
    unitChoice->textsize(13);
    unitChoice->add("kPa|MPa|N/cm²|PSI");
    unitChoice->value(0);
    unitChoice->callback(matrixOptionsChanged);

    reliefButton = new Fl_Check_Button(x, y + 136, 90, 24, "減壓");
    reliefButton->value(kept.on);
    reliefButton->callback(reliefToggled);
    pressureColours = new Fl_Check_Button(x + 90, y + 136, 100, 24, "壓力著色");
    pressureColours->callback(coloursToggled);

    thresholdInput = input(x, y + 166, "閾值(kPa)");
    depthInput = input(x, y + 194, "深度(mm)");
    marginInput = input(x, y + 222, "邊距(mm)");
    transitionInput = input(x, y + 250, "過渡(mm)");
    for (Fl_Float_Input* field : {thresholdInput, depthInput, marginInput, transitionInput}) {
        field->callback(parameterEntered);
    }
    showValue(thresholdInput, kept.parameters.thresholdKpa);
    showValue(depthInput, kept.parameters.depthMm);
    showValue(marginInput, kept.parameters.marginMm);
    showValue(transitionInput, kept.parameters.widthMm);

    shiftXInput = input(x, y + 286, "平移X(mm)");
    shiftYInput = input(x, y + 314, "平移Y(mm)");
    turnInput = input(x, y + 342, "旋轉(度)");
    for (Fl_Float_Input* field : {shiftXInput, shiftYInput, turnInput}) {
        field->callback(correctionEntered);
        showValue(field, 0.0);
    }

    zones = new Fl_Browser(x, y + 400, 190, 82);
    zones->box(FL_FLAT_BOX);
    zones->color(FL_BACKGROUND_COLOR);
    zones->textsize(12);
    zones->has_scrollbar(Fl_Browser_::VERTICAL);

    // Made after the others, so that every control before them keeps its place and its turn
    // in the keyboard order: one row under the hand correction, above the zone list.
    heelFirstButton = new Fl_Check_Button(x, y + 372, 98, 24, "首列在腳跟");
    heelFirstButton->value(matrixOptions.heelFirst);
    heelFirstButton->callback(heelFirstToggled);
    heelFirstButton->tooltip("矩陣的第一列在腳跟（整張量測頭尾顛倒讀入）");
    mirrorButton = new Fl_Check_Button(x + 98, y + 372, 92, 24, "左右翻轉");
    mirrorButton->callback(mirrorToggled);
    mirrorButton->tooltip("量測左右翻轉（另一腳的量測）");
    end();
}

namespace {

// The zone list's lines: every zone, with its centre and area on the insole's grid as the
// batch reports them, or why there is none; no line without a measurement.
void listZones(Fl_Browser& zones, const ReliefPlan* plan)
{
    if (!plan) {
        return;
    }
    const DrawnRelief& drawn = *insoleView->drawnRelief;
    if (!activeRelief(plan)) {
        zones.add(plan->on ? "無區域達到閾值" : "減壓已關閉");
        return;
    }
    for (const ReliefZone& zone : drawn.zones) {
        char line[128];
        std::snprintf(line, sizeof line, "區%d (%.0f, %.0f) %d mm²", zone.id, zone.centreXMm,
                      zone.centreYMm, zone.areaMm2);
        zones.add(line);
        std::snprintf(line, sizeof line, "    %.0f kPa %s", static_cast<double>(zone.peakKpa),
                      zone.fullDepth ? "全深" : "未達全深");
        zones.add(line);
    }
    if (drawn.cappedCells > 0) {
        zones.add(("255封頂 " + std::to_string(drawn.cappedCells) + " 格").c_str());
    }
}

}  // namespace

void PressurePanel::showRelief()
{
    const ReliefPlan* plan = insoleView->reliefPlan.get();
    // The list is filled again on every rebuild of the solid, every slider step: one a person
    // scrolled down stays where they put it.
    const int scrolled = zones->position();
    zones->clear();
    listZones(*zones, plan);
    zones->position(scrolled);
    if (!plan) {
        setText(measurement, "尚無壓力量測");
        measurement->labelcolor(FL_FOREGROUND_COLOR);
        measurement->tooltip(nullptr);
        for (Fl_Float_Input* field : {shiftXInput, shiftYInput, turnInput}) {
            showValue(field, 0.0);
        }
        return;
    }
    const PressurePlacement& placed = plan->placement;
    setText(measurement, fileNameOf(plan->measurementFile) + "\n足底負重 " + percent(placed.loadShare) +
                             (placed.looksLikeOtherFoot ? " 似為另一腳" : "") +
                             (placed.looksEndForEnd ? " 似頭尾顛倒" : ""));
    // A doubtful placement stays in the warning colour, its warnings in the tooltip, until the
    // placement changes.
    measurement->labelcolor(placed.doubtful() ? fl_rgb_color(140, 80, 0) : FL_FOREGROUND_COLOR);
    std::string warnings;
    for (const std::string& warning : placed.warnings) {
        warnings += (warnings.empty() ? "" : "\n") + warning;
    }
    measurement->copy_tooltip(warnings.empty() ? nullptr : warnings.c_str());
    showValue(shiftXInput, plan->correction.shiftXMm);
    showValue(shiftYInput, plan->correction.shiftYMm);
    showValue(turnInput, plan->correction.turnDegrees);
    mirrorButton->value(plan->correction.mirror);
}

bool openMeasurement(PressurePanel& panel, const char* chosenUtf8Name)
{
    MessagesOn here(solidWindow ? solidWindow->messageLine : nullptr);
    if (insoleView->sourceImage.empty()) {
        traceFileProblem("Cannot open a pressure measurement", "without a foot",
                         "load the foot it was taken of first");
        return false;
    }
    char name[PATH_BUFFER_SIZE];
    if (!copyChosenName(chosenUtf8Name, name)) {
        return false;
    }
    utf8ToAnsi(name);
    // Large (the placed pressure and the relief's grids): on the heap.
    auto plan = std::make_unique<ReliefPlan>();
    plan->measurementFile = name;
    plan->on = kept.on;
    std::string failure;
    auto bytes = std::make_shared<std::vector<std::uint8_t>>();
    if (!readPressureFile(name, matrixOptions, plan->map, failure, bytes.get())) {
        tracePressureRefused(failure.c_str());
        return false;
    }
    plan->measurementBytes = std::move(bytes);
    // A new measurement starts from the automatic placement, turned over when the panel says.
    PlacementCorrection correction;
    correction.mirror = panel.mirrorButton->value() != 0;
    if (!replan(*plan, correction, kept.parameters,
                "Loaded pressure measurement " + fileNameOf(name))) {
        return false;
    }
    panel.showRelief();
    return true;
}

ReliefSettings reliefControls()
{
    readKept();
    return kept;
}

PressureOptions matrixReading() { return matrixOptions; }

void takeReliefControls(const ReliefSettings& relief, const PressureOptions& reading,
                        const PlacementCorrection& correction)
{
    keptRead = true;
    kept = relief;
    matrixOptions = reading;
    keepSettings();
    PressurePanel* panel = solidWindow ? solidWindow->pressurePanel : nullptr;
    if (!panel) {
        return;
    }
    panel->reliefButton->value(kept.on);
    showValue(panel->thresholdInput, kept.parameters.thresholdKpa);
    showValue(panel->depthInput, kept.parameters.depthMm);
    showValue(panel->marginInput, kept.parameters.marginMm);
    showValue(panel->transitionInput, kept.parameters.widthMm);
    showValue(panel->pitchInput, matrixOptions.pitchMm);
    for (int i = 0; i < static_cast<int>(std::size(MATRIX_UNITS)); ++i) {
        if (MATRIX_UNITS[i] == matrixOptions.units) {
            panel->unitChoice->value(i);
        }
    }
    panel->heelFirstButton->value(matrixOptions.heelFirst);
    panel->mirrorButton->value(correction.mirror);
    showValue(panel->shiftXInput, correction.shiftXMm);
    showValue(panel->shiftYInput, correction.shiftYMm);
    showValue(panel->turnInput, correction.turnDegrees);
}
