// The main window with the insole view and every control, and the controls' actions.
#pragma once

class Fl_Check_Button;
class Fl_Widget;
class Fl_Double_Window;
class Fl_Value_Slider;
class GL_Display_Image;
class MessageLine;

// Set once while the window is built, then never changed: how callbacks reach the view
// and the controls.
extern GL_Display_Image* insoleView;
extern Fl_Value_Slider* widthSlider;
extern Fl_Value_Slider* lengthSlider;
extern Fl_Value_Slider* heightSlider;
extern Fl_Check_Button* limitButton;
// The last message, above the buttons; made after the 3D button.
extern MessageLine* messageLine;

// Builds the 477 x 544 window "Tarsola" with its twelve controls, the limit button restored
// from the settings file in the working folder, then the "立體" button of the 3D window, the
// message line, the line under the view that says what else changes the insole
// (createAlterationsLine), the shortcuts of Load and Save and the area that takes drops
// (addShortcutsAndDrop). The window is not shown yet.
Fl_Double_Window* createMainWindow();

// The window keeps its size of 477 x 544 whatever the command line or a window manager asks:
// FLTK's -geometry WxH would stretch every child, the insole view included. Call it after
// show(argc, argv); the position the options gave is kept.
void keepMainWindowSize(Fl_Double_Window* window);

// The controls' actions, as the widgets call them.
void widthChanged(Fl_Widget*, void*);
void lengthChanged(Fl_Widget*, void*);
void heightChanged(Fl_Widget*, void*);
void limitToggled(Fl_Widget*, void*);
void restoreDefaults(Fl_Widget*, void*);
void loadClicked(Fl_Widget*, void*);
void saveClicked(Fl_Widget*, void*);
// Escape or the window manager's close: the 3D window closes too, so that the program ends.
void mainWindowClosed(Fl_Widget* window, void*);
