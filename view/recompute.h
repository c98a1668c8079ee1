// The view's recompute without a screen: the stretched drawing done on the CPU by the
// nearest-texel rule, then height shaping and, when asked for, the slope limit. A front end
// without a window calls this where the view reads its drawing back from OpenGL.
#pragma once

#include "view/grid.h"
#include "view/insole_state.h"

// What the controls would say: the width and length slider values in millimetres, the height
// slider's ratio and the limit button.
struct InsoleSettings {
    double width = 0.0;
    double length = 0.0;
    double heightRatio = 1.0;
    bool limit = false;
};

// The settings right after a load or Restore: the measured foot width and length, ratio 1,
// the limit off.
InsoleSettings restoredSettings(const InsoleState& state);

// Sets the drawn size from the width and length values (as the sliders' callbacks do), draws
// displayGrid stretched to it into heightGrid, shapes the heights with the length value and
// the ratio, and limits the slopes when the limit is on. Traces the lowest height and the
// grid's minimum as the view's recompute does. Returns the lowest height from shaping.
// When `ambiguous` is given it marks the cells whose drawing a GPU may decide either way.
float recomputeHeights(InsoleState& state, const InsoleSettings& settings,
                       Grid* ambiguous = nullptr);
