#include "app/shortcuts_and_drop.h"

#include "app/main_window.h"
#include "base/trace.h"
#include "imagefile/dropped_files.h"
#include "view/gl_display_image.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>

Foot_Drop_Area::Foot_Drop_Area(int x, int y, int w, int h) : Fl_Widget(x, y, w, h)
{
    box(FL_NO_BOX);
    clear_visible_focus();
}

void Foot_Drop_Area::draw() {}

int Foot_Drop_Area::handle(int event)
{
    switch (event) {
    case FL_DND_ENTER:
    case FL_DND_DRAG:
    case FL_DND_LEAVE:
    case FL_DND_RELEASE:
        // What is dropped is known only at the paste that follows the release.
        return 1;
    case FL_PASTE:
        loadDroppedFoot(Fl::event_text(), Fl::event_length());
        return 1;
    default:
        return 0;
    }
}

void loadDroppedFoot(const char* text, int length)
{
    const DroppedFile dropped =
        firstDroppedFile(text, length > 0 ? static_cast<std::size_t>(length) : 0, thisHostName());
    if (dropped.path.empty()) {
        traceDropIgnored(dropped.reason.c_str());
        return;
    }
    insoleView->loadFootFile(dropped.path.c_str());
}

void addShortcutsAndDrop(Fl_Double_Window* window, Fl_Button* loadButton, Fl_Button* saveButton)
{
    loadButton->shortcut(FL_CTRL + 'o');
    loadButton->tooltip("讀取足部影像 (Ctrl+O)\n復原 (Ctrl+Z)");
    saveButton->shortcut(FL_CTRL + 's');
    saveButton->tooltip("儲存鞋墊高度圖 (Ctrl+S)\n重做 (Ctrl+Shift+Z, Ctrl+Y)");
    window->add(new Foot_Drop_Area(0, 0, window->w(), window->h()));
}
