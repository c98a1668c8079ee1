#include "batch/pressure_preview.h"

#include "pressure/pressure_file.h"

#include <cmath>

PreviewImage renderPressurePreview(const DrawnValues& kpa, const Grid& heights, float peakKpa)
{
    PreviewImage image;
    image.width = PRESSURE_PREVIEW_WIDTH;
    Canvas canvas(image);
    const HeightRange range{0, static_cast<int>(std::lround(peakKpa))};
    const double top = peakKpa > 0 ? peakKpa : 1.0;

    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            const float value = kpa[gridIndex(x, y)];
            const bool foot = heights[gridIndex(x, y)] != 0;
            const bool shown = !std::isnan(value) && (foot || value > PRESSURE_NOISE_KPA);
            canvas.cell(x, y, shown ? heightColour(value / top) : PREVIEW_BACKGROUND);
        }
    }
    canvas.outline([&heights](int x, int y) { return heights[gridIndex(x, y)] != 0 ? 1 : 0; },
                   PREVIEW_INK);
    canvas.colourBar(range);
    canvas.text(PREVIEW_BAR_LEFT, PREVIEW_BAR_TOP - 30, "kPa");
    return image;
}

bool writePressurePreview(const DrawnValues& kpa, const Grid& heights, float peakKpa,
                          const char* path)
{
    return writePicture(renderPressurePreview(kpa, heights, peakKpa), path, "pressure preview");
}
