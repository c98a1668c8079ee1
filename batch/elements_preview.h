// A picture of the prescription's elements as the insole has them: their summed raise drawn
// onto the insole's grid as the foot is, in the height preview's colour scale and layout (a
// cell lies on the same pixels in both), the foot's outline and each element's outline over
// it, and a colour bar labelled in levels of raise.
#pragma once

#include "base/grid.h"
#include "batch/picture.h"

// The elements' outlines, the zones' ink of the height preview.
constexpr Rgb ELEMENT_OUTLINE_INK{220, 20, 60};

// `raise` is the elements' summed raise in levels on the insole's grid, `outlines` each
// element's bit where it alone raises the insole, `heights` the insole (its non-zero cells
// are the foot). A foot cell is coloured by its raise, from 0 at the bottom of the scale to
// the largest raise at the top; every other cell is background.
PreviewImage renderElementsPreview(const Grid& raise, const Grid& outlines, const Grid& heights);

// Renders and writes the picture as a PNG in one step; a failure says "Cannot save elements
// preview <path>: <why>" on standard error and leaves nothing behind.
bool writeElementsPreview(const Grid& raise, const Grid& outlines, const Grid& heights,
                          const char* path);
