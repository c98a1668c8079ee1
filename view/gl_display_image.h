// The insole view: an OpenGL window that shows the foot stretched to the chosen width and
// length, and on the frame after every change makes the insole's height map from that same
// drawing, done by the drawing rule (insole/drawing.h).
#pragma once

#include "insole/drawing.h"
#include "view/insole_controls.h"
#include "insole/insole_state.h"
#include "insole/recompute.h"
#include "insole/element_plan.h"
#include "insole/relief_plan.h"

#include <FL/Fl_Gl_Window.H>

#include <cstdint>
#include <memory>
#include <string>

class GL_Display_Image : public Fl_Gl_Window, public InsoleState {
public:
    // Places itself at (130, 86, 150, 360) of the current group and starts redrawing
    // itself 120 times a second.
    GL_Display_Image();
    ~GL_Display_Image() override;

    void draw() override;
    int handle(int event) override;

    // The Load button: asks for a file, starting in the folder of the last foot loaded, then
    // loads it with loadFootFile.
    void loadFootImage();
    // Everything the Load button does once a file is chosen: the name as the dialog gives it
    // (UTF-8), converted, read, sampled and measured; the width and length sliders get the
    // measured size and their ranges, and a measurement of the previous foot is cleared. A
    // foot named on the command line or dropped on the window comes in here too. A file that
    // is refused changes nothing (the trace says why). Returns whether the file was loaded.
    bool loadFootFile(const char* chosenName);

    // A foot loaded and checked apart becomes the one shown, as loadFootFile's load does: the
    // measurement of the old foot goes, the sliders take the new foot's size and ranges, and
    // the next frame recomputes. `loaded` gets the old foot.
    void takeFoot(InsoleState& loaded);

    // Opens a job (a 3MF that Tarsola wrote) named as loadFootFile's name; installed by the
    // window, so that every way a foot comes in takes a job too. Returns whether it opened.
    bool (*jobOpener)(const char* chosenName) = nullptr;

    // Runs the recompute that a control or a load asked for, if any, now rather than at the
    // next frame: the frame does it, and so does everything that reads heightGrid (Save,
    // the 3D window), so that none of them ever sees an insole older than the controls.
    void recomputeIfPending();

    // Left-button drag since the press (x to the right, y upward) and the sum of finished
    // left drags; only traced.
    std::int32_t dragDX = 0;
    std::int32_t dragDY = 0;
    std::int32_t panX = 0;
    std::int32_t panY = 0;
    // Set by every control that changes the insole, and by a load; the next frame recomputes.
    std::uint8_t recomputePending = 0;
    // How many recomputes have reshaped heightGrid: a window that follows the insole's changes
    // looks at this instead of comparing the whole insole on every tick.
    unsigned reshapes = 0;
    // The view's texture in the current GL context.
    unsigned textureId = 0;
    // The window's controls, installed once the window has made them; until then a recompute
    // waits and a load leaves the sliders alone.
    InsoleControls* controls = nullptr;
    // The pressure measurement placed on this foot and its relief, set up by the 3D window;
    // null without one. Every recompute draws its relief (when it is on); a load clears it.
    std::unique_ptr<ReliefPlan> reliefPlan;
    // The relief as the last recompute drew it onto the insole.
    std::unique_ptr<DrawnRelief> drawnRelief;
    // The prescription's elements, set by the prescription window: every recompute draws
    // their raise (worked out again when the foot, the measurement or the level size
    // changed); a load clears the hand shifts.
    std::unique_ptr<ElementPlan> elementPlan;
    // The elements as the last recompute drew them onto the insole.
    std::unique_ptr<DrawnElements> drawnElements;

private:
    void setUpContext();

    // How much of the insole the last recompute cut at the grid's edge.
    GridOverflow cut_;
    // Why the elements could not be placed on this foot, as last traced.
    std::string elementProblemSaid_;
};

// Pointer position at the last left or right press in the view.
extern std::int32_t pressX;
extern std::int32_t pressY;
