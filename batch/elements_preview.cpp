#include "batch/elements_preview.h"

#include "insole/elements.h"

#include <algorithm>

PreviewImage renderElementsPreview(const Grid& raise, const Grid& outlines, const Grid& heights)
{
    PreviewImage image;
    Canvas canvas(image);
    int highest = 0;
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            if (heights[gridIndex(x, y)] != 0) {
                highest = std::max<int>(highest, raise[gridIndex(x, y)]);
            }
        }
    }
    const HeightRange range{0, highest};
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            const int i = gridIndex(x, y);
            canvas.cell(x, y, heights[i] != 0 ? heightColour(scalePosition(raise[i], range))
                                              : PREVIEW_BACKGROUND);
        }
    }
    for (int kind = 0; kind < ELEMENT_KINDS; ++kind) {
        canvas.outline(
            [&](int x, int y) {
                const int i = gridIndex(x, y);
                return heights[i] != 0 && (outlines[i] >> kind & 1) ? 1 : 0;
            },
            ELEMENT_OUTLINE_INK);
    }
    // The foot's outline over the elements', as the height preview draws it over the zones':
    // it lies on the same pixels in both pictures.
    canvas.outline([&heights](int x, int y) { return heights[gridIndex(x, y)] != 0 ? 1 : 0; },
                   PREVIEW_INK);
    canvas.colourBar(range);
    return image;
}

bool writeElementsPreview(const Grid& raise, const Grid& outlines, const Grid& heights,
                          const char* path)
{
    return writePicture(renderElementsPreview(raise, outlines, heights), path, "elements preview");
}
