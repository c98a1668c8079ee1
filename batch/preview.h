// A picture of an insole for a person: the heights in a perceptual colour scale, enlarged,
// with the foot's outline and a colour bar labelled with heights.
#pragma once

#include "base/grid.h"
#include "view/height_colour.h"

#include <cstdint>
#include <vector>

// Each cell is drawn as a PREVIEW_SCALE x PREVIEW_SCALE block.
constexpr int PREVIEW_SCALE = 3;
constexpr int PREVIEW_MARGIN = 10;
constexpr int PREVIEW_MAP_WIDTH = FOOT_COLUMNS * PREVIEW_SCALE;
constexpr int PREVIEW_MAP_HEIGHT = GRID_ROWS * PREVIEW_SCALE;
// The colour bar, right of the map, with its labels right of it.
constexpr int PREVIEW_BAR_LEFT = PREVIEW_MARGIN + PREVIEW_MAP_WIDTH + 20;
constexpr int PREVIEW_BAR_WIDTH = 24;
constexpr int PREVIEW_BAR_TOP = PREVIEW_MARGIN + 60;
constexpr int PREVIEW_BAR_HEIGHT = PREVIEW_MAP_HEIGHT - 120;
constexpr int PREVIEW_LABEL_LEFT = PREVIEW_BAR_LEFT + PREVIEW_BAR_WIDTH + 8;
constexpr int PREVIEW_WIDTH = PREVIEW_LABEL_LEFT + 4 * 12 + PREVIEW_MARGIN;
constexpr int PREVIEW_HEIGHT = PREVIEW_MAP_HEIGHT + 2 * PREVIEW_MARGIN;

// Cells outside the foot, distinct from every colour of the scale.
constexpr Rgb PREVIEW_BACKGROUND{236, 236, 236};
constexpr Rgb PREVIEW_INK{0, 0, 0};

// The rendered picture, rows from the top down, three bytes (r, g, b) per pixel.
struct PreviewImage {
    int width = PREVIEW_WIDTH;
    int height = PREVIEW_HEIGHT;
    std::vector<std::uint8_t> rgb;

    Rgb at(int x, int y) const
    {
        const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
        return {rgb[i], rgb[i + 1], rgb[i + 2]};
    }
};

// The heights shown: the scale runs from the lowest to the highest non-zero cell.
struct HeightRange {
    int lowest;   // 0 when the grid has no non-zero cell
    int highest;
};
HeightRange heightRange(const Grid& heights);

// The labels of the colour bar: five heights from lowest to highest (fewer when the range
// is narrower), each drawn at its own place on the bar.
std::vector<int> barLabels(const HeightRange& range);

PreviewImage renderPreview(const Grid& heights);

// Renders and writes the picture as a PNG, replacing the file in one step; on failure a line
// on standard error says why and nothing is left behind. Returns whether it was written.
bool writePreview(const Grid& heights, const char* path);
