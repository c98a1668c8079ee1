#include "batch/preview.h"

#include <algorithm>

HeightRange heightRange(const Grid& heights)
{
    HeightRange range{256, 0};
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            const int v = heights[gridIndex(x, y)];
            if (v != 0) {
                range.lowest = std::min(range.lowest, v);
                range.highest = std::max(range.highest, v);
            }
        }
    }
    if (range.highest == 0) {
        range.lowest = 0;
    }
    return range;
}

PreviewImage renderPreview(const Grid& heights, const Grid* zones)
{
    PreviewImage image;
    Canvas canvas(image);
    const HeightRange range = heightRange(heights);

    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            const int v = heights[gridIndex(x, y)];
            canvas.cell(x, y, v == 0 ? PREVIEW_BACKGROUND : heightColour(scalePosition(v, range)));
        }
    }
    // The zones, each apart from its neighbours; the foot's outline is drawn over them, so
    // that it stays whole where a zone reaches the foot's edge.
    if (zones) {
        canvas.outline(
            [zones](int x, int y) { return static_cast<int>((*zones)[gridIndex(x, y)]); },
            PREVIEW_ZONE_INK);
    }
    // The outline: a one-pixel line on every side of a foot cell that faces a cell outside.
    canvas.outline([&heights](int x, int y) { return heights[gridIndex(x, y)] != 0 ? 1 : 0; },
                   PREVIEW_INK);
    if (range.highest != 0) {
        canvas.colourBar(range);
    }
    return image;
}

bool writePreview(const Grid& heights, const char* path, const Grid* zones)
{
    return writePicture(renderPreview(heights, zones), path, "preview");
}
