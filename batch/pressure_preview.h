// A picture of a plantar-pressure measurement as placed on the foot: the peak pressure drawn
// onto the insole's grid as the foot is, in the height preview's colour scale and layout (a
// cell lies on the same pixels in both pictures), the foot's outline over it, and a colour bar
// labelled in kPa.
#pragma once

#include "base/grid.h"
#include "batch/picture.h"
#include "insole/drawing.h"

// Room for labels of five digits: a measurement may peak at up to 10,000 kPa.
constexpr int PRESSURE_PREVIEW_WIDTH =
    PREVIEW_LABEL_LEFT + 5 * PREVIEW_GLYPH_ADVANCE + PREVIEW_MARGIN;

// `kpa` is the placed peak pressure drawn onto the insole's grid (NaN where the measurement has
// no data), `heights` the insole (its non-zero cells are the foot). A cell is coloured by its
// pressure, from 0 at the bottom of the scale to `peakKpa` at the top, where the measurement has
// data and the cell is a foot cell or carries load above the noise floor: load that falls off
// the foot shows, and so does a foot cell the measurement saw unloaded. Every other cell is
// background.
PreviewImage renderPressurePreview(const DrawnValues& kpa, const Grid& heights, float peakKpa);

// Renders and writes the picture as a PNG in one step; a failure says "Cannot save pressure
// preview <path>: <why>" on standard error and leaves nothing behind.
bool writePressurePreview(const DrawnValues& kpa, const Grid& heights, float peakKpa,
                          const char* path);
