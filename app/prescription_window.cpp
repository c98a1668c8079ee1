#include "app/prescription_window.h"

#include "app/message_line.h"
#include "app/main_window.h"
#include "app/solid_window.h"
#include "base/settings.h"
#include "base/trace.h"
#include "imagefile/loaded_foot.h"
#include "insole/element_settings.h"
#include "view/element_lines.h"
#include "view/gl_display_image.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Float_Input.H>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

PrescriptionWindow* prescriptionWindow = nullptr;

namespace {

// What each input holds: its label, its range, the trace's name and unit, and where its
// value lives in the settings or the hand shifts.
struct FieldInfo {
    const char* label;
    const char* what;
    const char* unit;
    const ElementRange* range;
    double ElementSettings::*setting;
    double ElementShifts::*shift;
};

const FieldInfo FIELDS[PRESCRIPTION_FIELDS] = {
    {"高度(mm)", "Metatarsal pad height", "mm", &MET_PAD_HEIGHT_MM, &ElementSettings::metPadHeightMm, nullptr},
    {"距頭線(mm)", "Metatarsal pad offset", "mm", &MET_PAD_OFFSET_MM, &ElementSettings::metPadOffsetMm, nullptr},
    {"縱移(mm)", "Metatarsal pad shift along", "mm", &ELEMENT_SHIFT_MM, nullptr, &ElementShifts::metPadAlongMm},
    {"橫移(mm)", "Metatarsal pad shift across", "mm", &ELEMENT_SHIFT_MM, nullptr, &ElementShifts::metPadAcrossMm},
    {"高度(mm)", "Metatarsal bar height", "mm", &MET_BAR_HEIGHT_MM, &ElementSettings::metBarHeightMm, nullptr},
    {"縱移(mm)", "Metatarsal bar shift", "mm", &ELEMENT_SHIFT_MM, nullptr, &ElementShifts::metBarAlongMm},
    {"高度(mm)", "Arch support height", "mm", &ARCH_HEIGHT_MM, &ElementSettings::archHeightMm, nullptr},
    {"高度(mm)", "Heel cup height", "mm", &HEEL_CUP_HEIGHT_MM, &ElementSettings::heelCupHeightMm, nullptr},
    {"寬度(mm)", "Heel cup width", "mm", &HEEL_CUP_WIDTH_MM, &ElementSettings::heelCupWidthMm, nullptr},
    {"角度(度)", "Rearfoot posting", "degrees", &REARFOOT_POST_DEGREES, &ElementSettings::rearfootPostDegrees, nullptr},
};

const SideChoice SIDES[] = {SideChoice::Automatic, SideChoice::Left, SideChoice::Right};

const char* const ELEMENT_WORDS[ELEMENT_KINDS] = {"蹠骨墊", "蹠骨條", "足弓支撐", "足跟杯", "後足楔型"};

void setText(Fl_Widget* widget, const std::string& text)
{
    if (!widget->label() || text != widget->label()) {
        widget->copy_label(text.c_str());
    }
}

std::string format(const char* pattern, double a, double b = 0.0, double c = 0.0)
{
    char text[160];
    std::snprintf(text, sizeof text, pattern, a, b, c);
    return text;
}

ElementPlan& plan() { return *insoleView->elementPlan; }

// The loaded foot's frame for the plan's side: the one the elements were placed from when
// they are drawn, so that the figures and lines match them and the foot is not walked again
// on every rebuild; found now otherwise. False when the foot has no cell.
bool frameOf(const ElementPlan& p, FootFrame& frame)
{
    if (const ElementRaise* raise = activeElements(&p)) {
        frame = raise->frame;
        return true;
    }
    std::string failure;
    return findFootFrame(insoleView->footGrid, p.settings.side, frame, failure);
}

// The plan tried with new settings or shifts on the loaded foot: taken, and the insole made
// again at the next frame, when the elements can be placed; refused otherwise, saying why,
// with the plan as it was.
bool tryPlan(const ElementSettings& settings, const ElementShifts& shifts)
{
    auto tried = std::make_unique<ElementPlan>(plan());
    tried->settings = settings;
    tried->shifts = shifts;
    tried->current = false;
    tried->problem.clear();
    if (!insoleView->sourceImage.empty()) {
        refreshElements(*tried, insoleView->footGrid, insoleView->reliefPlan.get(), currentLevelMm());
        if (!tried->problem.empty()) {
            traceFileProblem("Cannot place the prescription's elements on", loadedFootName().c_str(),
                             tried->problem.c_str());
            return false;
        }
    }
    *insoleView->elementPlan = std::move(*tried);
    insoleView->recomputePending = 1;
    return true;
}

}  // namespace

PrescriptionWindow::PrescriptionWindow() : Fl_Double_Window(440, 560, "Tarsola 處方")
{
    sideChoice = new Fl_Choice(90, 10, 90, 26, "足側");
    sideChoice->add("自動|左|右");
    sideChoice->callback([](Fl_Widget* w, void*) { prescriptionWindow->switched(w); });

    const auto check = [](int y, const char* label) {
        auto* button = new Fl_Check_Button(10, y, 130, 26, label);
        button->callback([](Fl_Widget* w, void*) { prescriptionWindow->switched(w); });
        return button;
    };
    const auto field = [this](PrescriptionField k, int x, int y) {
        auto* input = new Fl_Float_Input(x, y, 60, 26, FIELDS[k].label);
        input->labelsize(13);
        input->textsize(13);
        input->when(FL_WHEN_ENTER_KEY | FL_WHEN_RELEASE);
        input->callback([](Fl_Widget*, void* index) {
            prescriptionWindow->enter(static_cast<PrescriptionField>(reinterpret_cast<std::intptr_t>(index)));
        }, reinterpret_cast<void*>(static_cast<std::intptr_t>(k)));
        inputs[k] = input;
    };
    padButton = check(46, "蹠骨墊");
    field(PAD_HEIGHT, 220, 46);
    field(PAD_OFFSET, 370, 46);
    field(PAD_ALONG, 220, 76);
    field(PAD_ACROSS, 370, 76);
    barButton = check(112, "蹠骨條");
    field(BAR_HEIGHT, 220, 112);
    field(BAR_ALONG, 370, 112);
    archButton = check(148, "足弓支撐");
    field(ARCH_HEIGHT, 220, 148);
    cupButton = check(184, "足跟杯");
    field(CUP_HEIGHT, 220, 184);
    field(CUP_WIDTH, 370, 184);
    postButton = check(220, "後足楔型");
    field(POST_DEGREES, 220, 220);

    landmarks = new Fl_Box(10, 256, 420, 270);
    landmarks->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_TOP | FL_ALIGN_CLIP);
    landmarks->labelsize(13);
    messageLine = new MessageLine(10, 532, 420, 22);
    end();
    callback([](Fl_Widget*, void*) { closePrescriptionWindow(); });
    showPrescription();
}

void PrescriptionWindow::showPrescription()
{
    const ElementPlan& p = plan();
    const ElementSettings& s = p.settings;
    for (int side = 0; side < 3; ++side) {
        if (SIDES[side] == s.side) {
            sideChoice->value(side);
        }
    }
    padButton->value(s.metPad);
    barButton->value(s.metBar);
    archButton->value(s.arch);
    cupButton->value(s.heelCup);
    postButton->value(s.rearfootPost);
    for (int k = 0; k < PRESCRIPTION_FIELDS; ++k) {
        const FieldInfo& f = FIELDS[k];
        const double value = f.setting ? s.*(f.setting) : p.shifts.*(f.shift);
        inputs[k]->value(formatDecimal(value).c_str());
    }

    std::string text;
    FootFrame frame;
    if (insoleView->sourceImage.empty()) {
        text = "尚未讀取腳型";
    } else if (!frameOf(p, frame)) {
        text = "腳型沒有足部格";
    } else {
        text = std::string(frame.side == FootSide::Left ? "左腳" : "右腳") +
               (frame.sideSet ? " (指定)" : " (由腳趾判定)") + "\n";
        text += format("足跟中心 (%.1f, %.1f) mm\n", frame.heelXMm, frame.heelYMm);
        text += format("蹠球中心 (%.1f, %.1f) mm\n", frame.ballXMm, frame.ballYMm);
        text += format("軸向 (%.3f, %.3f)  足長 %.1f mm\n", frame.axisX, frame.axisY, frame.lengthMm);
        if (frame.hasHeadLine) {
            text += format("蹠骨頭線 t = %.1f mm, 內側 %.1f, 外側 %.1f mm\n", frame.headLineMm,
                           frame.headMedialMm, frame.headLateralMm);
        } else {
            text += "找不到蹠骨頭線\n";
        }
        if (const ElementRaise* raise = activeElements(&p)) {
            if (s.metPad) {
                text += format("蹠骨墊中心 t = %.1f, v = %.1f mm\n", raise->metPadAlongMm,
                               raise->metPadAcrossMm);
            }
            if (s.metBar) {
                text += format("蹠骨條前緣 t = %.1f mm", raise->metBarFrontMm) +
                        (raise->metBarFromPressure ? " (壓力77%)\n" : " (頭線後10mm)\n");
            }
        }
        if (insoleView->drawnElements->cappedCells > 0 && activeElements(&p)) {
            text += "255封頂 " + std::to_string(insoleView->drawnElements->cappedCells) + " 格\n";
        }
    }
    setText(landmarks, text);
}

void PrescriptionWindow::enter(PrescriptionField k)
{
    MessagesOn here(messageLine);
    const FieldInfo& f = FIELDS[k];
    ElementSettings settings = plan().settings;
    ElementShifts shifts = plan().shifts;
    double& target = f.setting ? settings.*(f.setting) : shifts.*(f.shift);
    const double old = target;
    double read = 0.0;
    if (!parseDecimal(inputs[k]->value(), read) || !(read >= f.range->minimum && read <= f.range->maximum)) {
        const std::string range = formatDecimal(f.range->minimum) + " to " +
                                  formatDecimal(f.range->maximum) + " " + f.unit;
        traceEntryRefused(f.what, inputs[k]->value(), range.c_str());
        inputs[k]->value(formatDecimal(old).c_str());
        return;
    }
    inputs[k]->value(formatDecimal(read).c_str());
    if (read == old) {
        return;
    }
    target = read;
    if (!tryPlan(settings, shifts)) {
        inputs[k]->value(formatDecimal(old).c_str());
        return;
    }
    if (f.setting) {
        writeElementSettings(ELEMENT_SETTINGS_FILE, settings);
    }
}

void PrescriptionWindow::switched(Fl_Widget* widget)
{
    MessagesOn here(messageLine);
    ElementSettings settings = plan().settings;
    if (widget == sideChoice) {
        settings.side = SIDES[std::max(0, std::min(2, sideChoice->value()))];
    }
    const std::pair<Fl_Check_Button*, bool ElementSettings::*> switches[] = {
        {padButton, &ElementSettings::metPad},   {barButton, &ElementSettings::metBar},
        {archButton, &ElementSettings::arch},    {cupButton, &ElementSettings::heelCup},
        {postButton, &ElementSettings::rearfootPost}};
    for (const auto& [button, on] : switches) {
        if (widget == button) {
            settings.*on = button->value() != 0;
        }
    }
    if (!tryPlan(settings, plan().shifts)) {
        showPrescription();
        return;
    }
    writeElementSettings(ELEMENT_SETTINGS_FILE, settings);
    showPrescription();
}

void readPrescription()
{
    insoleView->elementPlan->settings = readElementSettings(ELEMENT_SETTINGS_FILE);
    insoleView->elementPlan->current = false;
}

void prescriptionClicked(Fl_Widget*, void*)
{
    if (!prescriptionWindow) {
        prescriptionWindow = new PrescriptionWindow();
        // Beside the 3D window where the screen has room, otherwise under the main window,
        // so that it hides neither the solid nor the pressure column.
        const PrescriptionWindow& w = *prescriptionWindow;
        const Fl_Window* main = insoleView->window();
        if (solidWindow && solidWindow->x() + solidWindow->w() + 12 + w.w() <= Fl::w()) {
            prescriptionWindow->position(solidWindow->x() + solidWindow->w() + 12, solidWindow->y());
        } else if (main->y() + main->h() + 40 + w.h() <= Fl::h()) {
            prescriptionWindow->position(main->x(), main->y() + main->h() + 40);
        } else {
            prescriptionWindow->position(std::max(0, Fl::w() - w.w()), main->y());
        }
    }
    prescriptionWindow->showPrescription();
    prescriptionWindow->show();
    // The outlines, the axis and the head line appear over the solid.
    if (solidWindow) {
        solidWindow->rebuild();
    }
}

void closePrescriptionWindow()
{
    if (prescriptionWindow && prescriptionWindow->shown()) {
        prescriptionWindow->hide();
        if (solidWindow && solidWindow->shown()) {
            solidWindow->rebuild();
        }
    }
}

SolidLines prescriptionLines(const QuadPlacement& quad, double levelMm)
{
    SolidLines lines;
    if (!prescriptionWindow || !prescriptionWindow->shown() || insoleView->sourceImage.empty()) {
        return lines;
    }
    const ElementPlan& p = plan();
    FootFrame frame;
    if (!frameOf(p, frame)) {
        return lines;
    }
    if (const ElementRaise* raise = activeElements(&p)) {
        auto drawn = std::make_unique<Grid>();
        drawElementOutlines(*raise, *insoleView, *drawn);
        lines = elementOutlines(*drawn, insoleView->heightGrid, levelMm);
    }
    const SolidLines marks = landmarkLines(frame, quad, insoleView->heightGrid, levelMm);
    lines.insert(lines.end(), marks.begin(), marks.end());
    return lines;
}

std::string elementsOnText()
{
    const ElementSettings& s = plan().settings;
    const bool on[ELEMENT_KINDS] = {s.metPad, s.metBar, s.arch, s.heelCup, s.rearfootPost};
    std::string text;
    for (int kind = 0; kind < ELEMENT_KINDS; ++kind) {
        if (on[kind]) {
            text += (text.empty() ? "" : " ") + std::string(ELEMENT_WORDS[kind]);
        }
    }
    return text;
}
