// The insole's recompute, the same for the window and the batch: the stretched foot drawn on
// the CPU by the drawing rule, height shaping, the relief when there is one, and the slope
// limit when it is on.
#pragma once

#include "base/grid.h"
#include "base/insole_settings.h"
#include "pressure/relief.h"
#include "insole/drawing.h"
#include "insole/elements.h"
#include "insole/insole_state.h"

#include <vector>

// The settings right after a load or Restore: the measured foot width and length, ratio 1,
// the limit off.
InsoleSettings restoredSettings(const InsoleState& state);

// The relief as the insole has it after a recompute: its layers drawn onto the insole's grid
// as the foot is, the cells whose height the raise took beyond 255, and the zones with their
// centres and areas (its cells of 1 mm²) on the insole's grid and whether they reached the
// full depth.
struct DrawnRelief {
    Grid raise{};        // levels each insole cell was raised by (before the cap)
    Grid zoneMask{};     // the zone id of each insole cell in a zone
    Grid nearestZone{};  // the id of each foot cell's nearest zone
    Grid capped{};       // 1 where the raise met the 255 cap
    int cappedCells = 0;
    std::vector<ReliefZone> zones;

    // No relief: every layer 0, no zone.
    void clear();
};

// The prescription's elements as the insole has them after a recompute: their summed raise
// drawn onto the insole's grid as the foot is, and the cells whose height the raise (the
// relief's and the elements' together) took beyond 255.
struct DrawnElements {
    Grid raise{};   // levels each insole cell was raised by for the elements (before the cap)
    Grid total{};   // with a relief: its raise and the elements', summed (a byte: 255 caps anyway)
    Grid capped{};  // 1 where the summed raise met the 255 cap
    int cappedCells = 0;

    // No element: every layer 0.
    void clear();
};

// Each element's outline bits (ElementRaise::outlines) drawn onto the insole's grid with the
// quad the foot was drawn with: for the pictures of the elements, which need them, rather
// than for every recompute.
void drawElementOutlines(const ElementRaise& elements, const InsoleState& state, Grid& drawn);

// Every recompute, the window's and the batch's: draws displayGrid stretched to the state's
// drawn size into heightGrid by the drawing rule, shapes the heights with the length value
// and the ratio (tracing the lowest height), raises them around the relief's zones when a
// relief is given (drawn onto the insole like the foot, into `drawn`), limits the slopes
// when the limit is on, and traces the grid's minimum. The settings' width is not read: the
// drawn size already says it (a right drag in the view changes it without the slider).
// Without a relief the heights are exactly those of an insole without one. With elements,
// their raise is drawn the same way and added with the relief's before the limit; then
// `drawn`'s capped cells are those of the sum, and so are `drawnElements`'. Without elements
// the insole is exactly the one without them. Returns the lowest height before the shift.
float recomputeAtDrawnSize(InsoleState& state, const InsoleSettings& settings,
                           const Relief* relief = nullptr, DrawnRelief* drawn = nullptr,
                           const ElementRaise* elements = nullptr,
                           DrawnElements* drawnElements = nullptr);

// Sets the drawn size from the width and length values (as the sliders' callbacks do), then
// recomputes at that size (recomputeAtDrawnSize).
float recomputeHeights(InsoleState& state, const InsoleSettings& settings,
                       const Relief* relief = nullptr, DrawnRelief* drawn = nullptr,
                       const ElementRaise* elements = nullptr,
                       DrawnElements* drawnElements = nullptr);

// How much of the foot the drawing at these settings' width and length puts beyond the grid.
GridOverflow overflowAt(const InsoleState& state, const InsoleSettings& settings);

// The largest whole-millimetre length (or width), no larger than the settings', whose drawing
// keeps the foot inside the grid along the rows (or columns), the other size as the settings
// say; 0 when none from half (or 0.8 times) the foot's size up fits.
int longestFittingLength(const InsoleState& state, const InsoleSettings& settings);
int widestFittingWidth(const InsoleState& state, const InsoleSettings& settings);
