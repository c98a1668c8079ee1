// The 3D window's pressure controls, in its right-hand column: "壓力…" [Pressure…] opens a
// plantar-pressure measurement of the loaded foot, "減壓" [Relief] switches its relief on and
// off, inputs take the relief's threshold, depth, margin and transition width and the hand
// correction of the placement, and a check button colours the solid's top by the placed peak
// pressure. Two check buttons lay the measurement right: "首列在腳跟" reads a plain matrix
// with its first row at the heel (turned end for end), "左右翻轉" turns the measurement over
// left to right (the other foot's). Every change reaches the insole within one frame: the main view's heights (what
// Save writes), the solid and the 3D picture.
#pragma once

#include "pressure/placement.h"
#include "pressure/pressure_file.h"
#include "pressure/relief_settings.h"

#include <FL/Fl_Group.H>

class Fl_Box;
class Fl_Browser;
class Fl_Button;
class Fl_Check_Button;
class Fl_Choice;
class Fl_Float_Input;
class Fl_Widget;
struct ReliefZone;

#include <vector>

class PressurePanel : public Fl_Group {
public:
    // At (x, y), 190 wide; reads the relief's settings file in the working folder.
    PressurePanel(int x, int y);

    // Shows the measurement, the placement's fit and the zones as the last recompute has
    // them (drawn onto the insole); called whenever the 3D window rebuilds its solid.
    void showRelief();

    Fl_Button* openButton;
    Fl_Box* measurement;
    Fl_Float_Input* pitchInput;       // a plain matrix's pitch, mm
    Fl_Choice* unitChoice;            // a plain matrix's unit
    Fl_Check_Button* reliefButton;
    Fl_Check_Button* pressureColours;
    Fl_Float_Input* thresholdInput;
    Fl_Float_Input* depthInput;
    Fl_Float_Input* marginInput;
    Fl_Float_Input* transitionInput;
    Fl_Float_Input* shiftXInput;
    Fl_Float_Input* shiftYInput;
    Fl_Float_Input* turnInput;
    Fl_Browser* zones;  // one line per zone, every zone (it scrolls)
    Fl_Check_Button* heelFirstButton;
    Fl_Check_Button* mirrorButton;
};

// Opens a measurement file by name (UTF-8, as the chooser gives it): read with the panel's
// pitch, unit and first row's end for plain matrices, placed on the loaded foot (turned over
// when the panel says so), and relieved with the panel's parameters; the main view recomputes at its next frame. With no foot loaded, or a file
// that cannot be read or placed, it says why and keeps the measurement it had. Returns
// whether the measurement is now the file's.
bool openMeasurement(PressurePanel& panel, const char* chosenUtf8Name);

// The relief's switch and parameters, and how a plain matrix is read, as the panel has them
// (kept while the 3D window has not been opened).
ReliefSettings reliefControls();
PressureOptions matrixReading();

// A job's relief and reading become the panel's: kept in the settings file, and shown when
// the panel exists, with the placement's correction.
void takeReliefControls(const ReliefSettings& relief, const PressureOptions& reading,
                        const PlacementCorrection& correction);
