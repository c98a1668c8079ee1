// The view's recompute without a screen: the stretched drawing done on the CPU by the
// nearest-texel rule, then height shaping and, when asked for, the slope limit. A front end
// without a window calls this where the view reads its drawing back from OpenGL.
#pragma once

#include "base/grid.h"
#include "base/insole_settings.h"
#include "view/drawing.h"
#include "view/insole_state.h"

// The settings right after a load or Restore: the measured foot width and length, ratio 1,
// the limit off.
InsoleSettings restoredSettings(const InsoleState& state);

// Turns drawn grey values into insole heights, as every recompute does after drawing: height
// shaping with the length value and the height ratio, then the slope limit when it is on.
// Traces the lowest height before the limit and the grid's minimum after it, and returns the
// lowest height.
float reshapeDrawnHeights(Grid& heightGrid, int footLength, double lengthValue, double heightRatio,
                         bool limit);

// Every recompute, the window's and the batch's: draws displayGrid stretched to the state's
// drawn size into heightGrid by the drawing rule, shapes the heights with the length value
// and the ratio, and limits the slopes when the limit is on (reshapeDrawnHeights). The
// settings' width is not read: the drawn size already says it (a right drag in the view
// changes it without the slider).
float recomputeAtDrawnSize(InsoleState& state, const InsoleSettings& settings);

// How much of the foot the drawing at these settings' width and length puts beyond the grid.
GridOverflow overflowAt(const InsoleState& state, const InsoleSettings& settings);

// The largest whole-millimetre length (or width), no larger than the settings', whose drawing
// keeps the foot inside the grid along the rows (or columns), the other size as the settings
// say; 0 when none from half (or 0.8 times) the foot's size up fits.
int longestFittingLength(const InsoleState& state, const InsoleSettings& settings);
int widestFittingWidth(const InsoleState& state, const InsoleSettings& settings);

// Sets the drawn size from the width and length values (as the sliders' callbacks do), then
// recomputes at that size (recomputeAtDrawnSize).
float recomputeHeights(InsoleState& state, const InsoleSettings& settings);
