// The 3D window "Tarsola 3D": the insole as a solid, following every recompute while it is
// open, with its figures, the level size and Save solid. Opened by the main window's
// thirteenth control, the "立體" [3D] button.
#pragma once

#include "solid/solid_mesh.h"
#include "insole/drawing.h"

#include <memory>

#include <FL/Fl_Double_Window.H>

class Fl_Box;
class Fl_Button;
class Fl_Float_Input;
class MessageLine;
class PressurePanel;
class Fl_Widget;
class SolidView;
class ThicknessLegend;

class SolidWindow : public Fl_Double_Window {
public:
    SolidWindow();

    // Builds the solid of the view's heightGrid at the current level size and shows it with
    // its figures; with no foot loaded it says so and shows none.
    void rebuild();
    // The solid shown now (empty with no foot loaded), and its figures.
    const SolidMesh& solid() const { return solid_; }
    const SolidFigures& figures() const { return figures_; }
    // Solids built since the window was made.
    unsigned long solidsBuilt() const { return built_; }

    // Save solid once a name has been chosen (UTF-8): the solid shown, recorded with the
    // loaded foot's name, the settings as the controls say and the level size.
    bool saveAs(const char* chosenUtf8Name);

    SolidView* view;
    ThicknessLegend* legend;
    // What the legend measures now: "厚度(mm)" or "壓力(kPa)".
    const char* legendTitle() const;
    // Stands in the view's place while there is no solid to show, saying why.
    Fl_Box* absence;
    Fl_Box* thickness;
    Fl_Box* volume;
    Fl_Box* footprint;
    Fl_Box* triangles;
    Fl_Button* resetButton;
    Fl_Float_Input* levelInput;
    // Why the last level entry was refused; empty otherwise.
    Fl_Box* levelNote;
    Fl_Button* saveButton;
    // The last message of this window's own actions (Save solid, the level size).
    MessageLine* messageLine;
    // The measurement, the relief and the pressure colouring.
    PressurePanel* pressurePanel;
    // "銑削…" [Milling…]: opens the milling window.
    Fl_Button* millButton;
    // "處方…" [Prescription…]: opens the prescription window.
    Fl_Button* prescriptionButton;

private:
    // Hands the solid to the view, coloured by thickness or by the placed pressure, with
    // the zones' outlines, and shows the legend and the relief's figures that go with it.
    void showPicture();

    SolidMesh solid_;
    // The placed peak pressure drawn onto the insole, when the top is coloured by it.
    std::unique_ptr<DrawnValues> pressureCells_;
    SolidFigures figures_;
    unsigned long built_ = 0;
};

// Null until the 3D window is first opened; then it lives until the process ends.
extern SolidWindow* solidWindow;

// Made by createMainWindow after its twelve other controls: the "立體" button at
// 305, 29, 83, 35. Also reads the level size from LEVEL_SETTINGS_FILE in the working folder
// and starts listening to the insole view.
Fl_Button* createSolidButton();

// The "立體" button: opens the 3D window, or raises it when it is open.
void solidClicked(Fl_Widget*, void*);
// The "儲存立體" [Save solid] button: asks for a name with the chooser that Save uses.
void saveSolidClicked(Fl_Widget*, void*);
// The level input, on Enter or when it loses the focus: takes a level size from 0.05 to
// 1 mm, keeps it and rebuilds the solid; refuses anything else, naming the range, and puts
// the current value back.
void levelEntered(Fl_Widget*, void*);

// Closes the 3D window, if it is open: the main window takes it along when it closes, so
// that the program ends.
void closeSolidWindow();

// The level size, in millimetres, that solids are made with now.
double currentLevelMm();

// A job's level size becomes the one solids are made with: kept in the settings file, and
// shown when the 3D window exists.
void takeLevelMm(double levelMm);
