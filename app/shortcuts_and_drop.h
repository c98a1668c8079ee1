// The habits of a desktop program that opens files: Ctrl+O and Ctrl+S for Load and Save, and
// a foot image dropped anywhere on the main window is loaded.
#pragma once

#include <FL/Fl_Widget.H>

class Fl_Button;
class Fl_Double_Window;

// Takes drops for the whole main window, the OpenGL view included. FLTK offers FL_DND_* to
// the children under the pointer, last child first, and a window or group cannot take them
// itself; so this widget lies over the whole window as its last child. It draws nothing and
// takes no other event, so clicks, keys and focus still reach the controls beneath it.
class Foot_Drop_Area : public Fl_Widget {
public:
    Foot_Drop_Area(int x, int y, int w, int h);
    void draw() override;
    int handle(int event) override;
};

// Loads the first local file that a drop names, through the Load button's path; a drop that
// names none is ignored with a trace line. `text` is what FLTK hands over with FL_PASTE.
void loadDroppedFoot(const char* text, int length);

// Gives the Load and Save buttons their shortcuts (Ctrl+O, Ctrl+S) and tooltips naming them,
// and adds the drop area over the whole window, after every control. The window must be
// built and ended.
void addShortcutsAndDrop(Fl_Double_Window* window, Fl_Button* loadButton, Fl_Button* saveButton);
