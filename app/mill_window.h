// The milling window "Tarsola 銑削", opened from the 3D window's "銑削…" [Milling…] button:
// the milling setup, the figures of the toolpath of the insole on screen, its finishing path
// over the solid in the 3D view, and Save G-code.
//
// The toolpath takes about half a second, longer than a frame: a worker thread plans it on a
// copy of the heights, level size and setup, and hands it back through Fl::awake. Every
// change of the insole or the setup starts a new generation; a result of an older one is
// never shown, and until the newest arrives the figures say they are being worked out and no
// path is drawn.
#pragma once

#include "mill/mill_setup.h"
#include "mill/toolpath.h"

#include <FL/Fl_Double_Window.H>

#include <cstddef>
#include <memory>
#include <string>

class Fl_Box;
class Fl_Button;
class Fl_Check_Button;
class Fl_Float_Input;
class Fl_Widget;
class MessageLine;
struct MillResult;

class MillWindow : public Fl_Double_Window {
public:
    // Reads the setup from MILL_SETTINGS_FILE in the working folder.
    MillWindow();
    ~MillWindow() override;

    // What the figures show now.
    enum class State {
        Closed,         // the window is not shown: nothing is worked out
        NothingToMill,  // no foot loaded, or an insole without foot cells
        Computing,      // the toolpath of the insole on screen is being worked out
        Refused,        // the toolpath cannot be made with this setup (the message line says why)
        Ready,          // the figures and the path are those of the insole on screen
    };
    State state() const { return state_; }

    // The insole on screen or the setup has changed: the figures and path shown so far are
    // no longer current, nor is a "Saved" message; while the window is shown, the new
    // toolpath is worked out. A refusal on the message line stays until a plan succeeds.
    void insoleChanged();
    // The worker has a result: shown when it is of the newest generation, dropped otherwise.
    void takeResult();
    // Hides the window and its path, and stops the worker.
    void close();
    // Draws the finishing path over the solid in the 3D view while the state is Ready and
    // "顯示刀路" is checked; otherwise draws none.
    void showPath();

    const MillSetup& setup() const { return setup_; }
    // A job's setup: the inputs show it and the toolpath is worked out again.
    void takeSetup(const MillSetup& setup);
    // The toolpath shown, when the state is Ready; null otherwise.
    const Toolpath* toolpath() const;
    // Bytes of the G-code file of the toolpath shown (Ready only).
    std::size_t fileBytes() const;

    // An input's entry, on Enter or when the field is left: taken when it is in range (and
    // kept in the settings file), refused otherwise with the field put back and the range
    // named on the message line and standard error.
    void enter(MillParameter parameter);

    // Save G-code once a name has been chosen (UTF-8): the toolpath shown, with the recipe of
    // the insole on screen, under the name with .nc added unless it ends in .nc, .ngc or
    // .gcode. Refused, saying why, unless the state is Ready.
    bool saveAs(const char* chosenUtf8Name);

    Fl_Float_Input* inputs[MILL_PARAMETER_COUNT] = {};
    // The range beside each input.
    Fl_Box* ranges[MILL_PARAMETER_COUNT] = {};
    // What the figures are: being worked out, nothing to mill, refused, or this insole's.
    Fl_Box* status;
    Fl_Box* blank;
    Fl_Box* passes;
    Fl_Box* moves;
    Fl_Box* scallop;
    Fl_Box* machiningTime;
    Fl_Box* largestCut;
    Fl_Box* fillet;
    // "顯示刀路" [Show path]: the finishing path over the solid in the 3D view.
    Fl_Check_Button* pathButton;
    // "儲存G碼" [Save G-code].
    Fl_Button* saveButton;
    // The last message of this window's own actions.
    MessageLine* messageLine;

private:
    void showFigures();
    void showRanges();
    void sayRefusal();

    MillSetup setup_;
    State state_ = State::Closed;
    unsigned long generation_ = 0;
    std::unique_ptr<MillResult> result_;
    // The refusal last said on standard error, and its message.
    std::string refusalSaid_;
    std::string refusalMessage_;
    // The message of the last save, while it holds: the next change of the insole or the
    // setup clears it from the message line.
    std::string savedMessage_;
};

// Null until the milling window is first opened; then it lives until the process ends.
extern MillWindow* millWindow;

// The "銑削…" button: opens the milling window, or raises it when it is open.
void millClicked(Fl_Widget*, void*);

// The 3D window has built the solid of a new insole: the milling window, when it is open,
// works out the toolpath of this insole from now on.
void millInsoleChanged();

// The milling setup as it stands: the milling window's, or the settings file's while it has
// not been opened.
MillSetup currentMillSetup();

// A job's setup becomes the one kept: in the settings file, and in the window when it exists.
void takeMillSetup(const MillSetup& setup);

// Closes the milling window, if it is open: it goes when the 3D window goes.
void closeMillWindow();

// The "儲存G碼" button: asks for a name with the chooser that Save uses.
void saveGcodeClicked(Fl_Widget*, void*);
