// A picture of an insole for a person: the heights in a perceptual colour scale, enlarged,
// with the foot's outline, the relief's zones outlined when there are any, and a colour bar
// labelled with heights.
#pragma once

#include "base/grid.h"
#include "batch/picture.h"
#include "insole/height_colour.h"

#include <cstdint>
#include <vector>

// The zones' outlines, distinct from the foot's ink and from every colour of the scale.
constexpr Rgb PREVIEW_ZONE_INK{220, 20, 60};

// The heights shown: the scale runs from the lowest to the highest non-zero cell.
HeightRange heightRange(const Grid& heights);

// With `zones` (the zone id of each insole cell, 0 elsewhere, as DrawnRelief::zoneMask), each
// zone is outlined in PREVIEW_ZONE_INK over the heights; without, the picture is the heights
// alone.
PreviewImage renderPreview(const Grid& heights, const Grid* zones = nullptr);

// Renders and writes the picture as a PNG, replacing the file in one step; on failure a line
// on standard error says why and nothing is left behind. Returns whether it was written.
bool writePreview(const Grid& heights, const char* path, const Grid* zones = nullptr);
