// The prescription window "Tarsola 處方", opened from the 3D window's "處方…" button as the
// milling window is: the side, each element's switch, parameters and hand shift, and the
// foot's landmarks in figures. While it is open the 3D view outlines each element that is on,
// with the foot's axis and head line. Every change reaches the main view's heights (what Save
// writes), the solid and the milling plan within one frame, as the relief's does.
#pragma once

#include "insole/drawing.h"
#include "view/solid_picture.h"

#include <FL/Fl_Double_Window.H>

#include <string>

class Fl_Box;
class Fl_Check_Button;
class Fl_Choice;
class Fl_Float_Input;
class Fl_Widget;
class MessageLine;

// The inputs, in the order the window shows them.
enum PrescriptionField {
    PAD_HEIGHT,
    PAD_OFFSET,
    PAD_ALONG,
    PAD_ACROSS,
    BAR_HEIGHT,
    BAR_ALONG,
    ARCH_HEIGHT,
    CUP_HEIGHT,
    CUP_WIDTH,
    POST_DEGREES,
    PRESCRIPTION_FIELDS
};

class PrescriptionWindow : public Fl_Double_Window {
public:
    // Reads the elements' settings from ELEMENT_SETTINGS_FILE in the working folder (the
    // main window has already handed them to the insole view).
    PrescriptionWindow();

    // Shows the settings, the hand shifts and the landmarks as they stand now.
    void showPrescription();

    // An input's entry, on Enter or when the field is left: taken when it is in its range
    // (the settings kept in the file; a hand shift for this foot alone), refused otherwise
    // with the old value put back and the range named on the message line.
    void enter(PrescriptionField field);
    // A switch or the side changed.
    void switched(Fl_Widget* widget);

    Fl_Choice* sideChoice;
    Fl_Check_Button* padButton;
    Fl_Check_Button* barButton;
    Fl_Check_Button* archButton;
    Fl_Check_Button* cupButton;
    Fl_Check_Button* postButton;
    Fl_Float_Input* inputs[PRESCRIPTION_FIELDS] = {};
    // The foot's landmarks in figures, and where the pad and the bar lie.
    Fl_Box* landmarks;
    MessageLine* messageLine;
};

// Null until the window is first opened; then it lives until the process ends.
extern PrescriptionWindow* prescriptionWindow;

// Reads the elements' settings file into the insole view: called once while the main window
// is built, so that the insole has its elements before any window of them is opened.
void readPrescription();

// The "處方…" button: opens the prescription window, or raises it when it is open.
void prescriptionClicked(Fl_Widget*, void*);
// Closes the prescription window, if it is open: it goes when the 3D window goes.
void closePrescriptionWindow();

// The element lines over the solid: magenta, which neither scale nor the zones' white or the
// path's orange shows.
constexpr Rgb ELEMENT_LINE_COLOUR{230, 0, 200};

// What the 3D view draws over the solid for the prescription while the window is open: each
// element's outline, the axis and the head line; none otherwise.
SolidLines prescriptionLines(const QuadPlacement& quad, double levelMm);

// The elements that are on, as the main window's relief indicator names them: "蹠骨墊 足跟杯";
// empty when none is.
std::string elementsOnText();
