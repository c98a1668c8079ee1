#include "app/main_window.h"

#include "app/alterations_line.h"
#include "app/job_window.h"
#include "app/message_line.h"
#include "app/shortcuts_and_drop.h"
#include "app/solid_window.h"
#include "app/undo_redo.h"
#include "base/settings.h"
#include "base/trace.h"
#include "view/file_dialogs.h"
#include "imagefile/foot_image.h"
#include "view/gl_display_image.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Text_Display.H>
#include <FL/Fl_Value_Slider.H>

GL_Display_Image* insoleView = nullptr;
Fl_Value_Slider* widthSlider = nullptr;
Fl_Value_Slider* lengthSlider = nullptr;
Fl_Value_Slider* heightSlider = nullptr;
Fl_Check_Button* limitButton = nullptr;
MessageLine* messageLine = nullptr;

void widthChanged(Fl_Widget*, void*)
{
    insoleView->recomputePending = 1;
    insoleView->displayWidth = displaySizeFor(widthSlider->value(), insoleView->footWidth, FOOT_COLUMNS);
    traceDisplayWidth(insoleView->displayWidth);
}

void lengthChanged(Fl_Widget*, void*)
{
    insoleView->recomputePending = 1;
    insoleView->displayLength = displaySizeFor(lengthSlider->value(), insoleView->footLength, GRID_ROWS);
}

void heightChanged(Fl_Widget*, void*) { insoleView->recomputePending = 1; }

void limitToggled(Fl_Widget*, void*)
{
    writeLimitSetting(LIMIT_SETTINGS_FILE, limitButton->value());
    insoleView->recomputePending = 1;
}

void restoreDefaults(Fl_Widget*, void*)
{
    widthSlider->value(insoleView->footWidth);
    insoleView->displayWidth = 150.0f;
    lengthSlider->value(insoleView->footLength);
    insoleView->displayLength = 360.0f;
    heightSlider->value(1.0);
    insoleView->recomputePending = 1;
}

void loadClicked(Fl_Widget*, void*) { insoleView->loadFootImage(); }

void saveClicked(Fl_Widget*, void*)
{
    insoleView->recomputeIfPending();
    exportInsole(insoleView->heightGrid, insoleView->sourceImage);
}

void mainWindowClosed(Fl_Widget* window, void*)
{
    closeSolidWindow();
    window->hide();
}

namespace {

constexpr int MAIN_WIDTH = 477;
constexpr int MAIN_HEIGHT = 544;

// The controls as the view reads them: the sliders and the limit button of this window, and
// the level size of the 3D window.
class MainWindowControls : public InsoleControls {
public:
    InsoleSettings settings() const override
    {
        InsoleSettings settings;
        settings.width = widthSlider->value();
        settings.length = lengthSlider->value();
        settings.heightRatio = heightSlider->value();
        settings.limit = limitButton->value() == 1;
        return settings;
    }

    double levelMm() const override { return currentLevelMm(); }

    void footMeasured(const SliderSetting& width, const SliderSetting& length) override
    {
        apply(widthSlider, width);
        apply(lengthSlider, length);
    }

private:
    static void apply(Fl_Valuator* slider, const SliderSetting& setting)
    {
        slider->value(setting.value);
        slider->minimum(setting.minimum);
        slider->maximum(setting.maximum);
    }
};

// A boxless label under the width slider marking a share of the measured foot width.
void scaleMark(int x, int y, int w, int h, const char* label)
{
    auto* mark = new Fl_Text_Display(x, y, w, h, label);
    mark->box(FL_NO_BOX);
    mark->align(FL_ALIGN_LEFT);
}

Fl_Value_Slider* slider(int x, int y, int w, int h, const char* label, Fl_Callback* callback)
{
    auto* s = new Fl_Value_Slider(x, y, w, h, label);
    s->callback(callback);
    return s;
}

}  // namespace

Fl_Double_Window* createMainWindow()
{
    auto* window = new Fl_Double_Window(MAIN_WIDTH, MAIN_HEIGHT, "Tarsola");

    insoleView = new GL_Display_Image();
    insoleView->color(FL_BACKGROUND_COLOR);
    insoleView->selection_color(FL_BACKGROUND_COLOR);
    insoleView->labeltype(FL_NORMAL_LABEL);
    insoleView->labelfont(0);
    insoleView->labelsize(14);
    insoleView->labelcolor(FL_FOREGROUND_COLOR);
    insoleView->align(FL_ALIGN_TOP);
    insoleView->box(FL_BORDER_BOX);
    insoleView->when(FL_WHEN_RELEASE);
    insoleView->end();

    auto* loadButton = new Fl_Button(115, 30, 83, 35, "讀取");
    loadButton->callback(loadClicked);
    auto* saveButton = new Fl_Button(210, 29, 83, 35, "儲存");
    saveButton->callback(saveClicked);
    (new Fl_Button(40, 411, 83, 35, "還原"))->callback(restoreDefaults);

    widthSlider = slider(93, 476, 190, 29, "寬度(mm)", widthChanged);
    widthSlider->type(FL_HOR_SLIDER);
    widthSlider->maximum(150);
    widthSlider->step(1);
    widthSlider->textsize(14);
    widthSlider->align(FL_ALIGN_LEFT);

    scaleMark(145, 501, 16, 33, "80%");
    scaleMark(225, 502, 15, 30, "100%");
    scaleMark(300, 502, 20, 30, "120%");

    limitButton = new Fl_Check_Button(315, 480, 80, 25, "30度限制");
    limitButton->down_box(FL_DOWN_BOX);
    limitButton->callback(limitToggled);
    limitButton->value(readLimitSetting(LIMIT_SETTINGS_FILE));

    lengthSlider = slider(318, 149, 35, 286, "長度(mm)", lengthChanged);
    lengthSlider->maximum(150);
    lengthSlider->step(1);
    lengthSlider->textsize(14);
    lengthSlider->align(FL_ALIGN_TOP);

    heightSlider = slider(405, 149, 35, 286, "高度(比例)", heightChanged);
    heightSlider->minimum(0.1);
    heightSlider->maximum(2);
    heightSlider->value(1);
    heightSlider->textsize(14);
    heightSlider->align(FL_ALIGN_TOP);

    // After the twelve controls above, so that their order, and the keyboard's, stays.
    createSolidButton();
    // The free strip above the top row of buttons.
    messageLine = new MessageLine(10, 4, 457, 22);
    showMessagesOn(messageLine);
    createAlterationsLine();

    window->end();
    window->size_range(MAIN_WIDTH, MAIN_HEIGHT, MAIN_WIDTH, MAIN_HEIGHT);
    window->callback(mainWindowClosed);
    static MainWindowControls controls;
    insoleView->controls = &controls;
    insoleView->jobOpener = openJob;
    addShortcutsAndDrop(window, loadButton, saveButton);
    installUndoRedo();
    return window;
}

void keepMainWindowSize(Fl_Double_Window* window)
{
    if (window->w() == MAIN_WIDTH && window->h() == MAIN_HEIGHT) {
        return;
    }
    // Resized with itself as the resizable widget, a group puts its children back where they
    // were made when it returns to the size it was made with.
    window->resizable(window);
    window->size(MAIN_WIDTH, MAIN_HEIGHT);
    window->resizable(nullptr);
}
