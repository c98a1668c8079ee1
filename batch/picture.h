// What the batch's pictures share: the canvas they are painted on, the layout of the insole's
// grid beside a colour bar, a small font for the bar's labels, the outlines of regions, and
// writing the picture as a PNG. The height preview and the pressure preview use one layout,
// so that a cell of the insole lies on the same pixels in both.
#pragma once

#include "base/grid.h"
#include "insole/height_colour.h"

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
// The labels' font: glyphs of 3 x 5 dots, each dot PREVIEW_FONT_SCALE pixels square.
constexpr int PREVIEW_FONT_SCALE = 3;
constexpr int PREVIEW_GLYPH_ADVANCE = 4 * PREVIEW_FONT_SCALE;
constexpr int PREVIEW_GLYPH_HEIGHT = 5 * PREVIEW_FONT_SCALE;
// Room for labels of four digits (heights are at most 255).
constexpr int PREVIEW_WIDTH = PREVIEW_LABEL_LEFT + 4 * PREVIEW_GLYPH_ADVANCE + PREVIEW_MARGIN;
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

// The whole numbers a colour bar runs over: heights, or kilopascals.
struct HeightRange {
    int lowest;   // 0 when the grid has no non-zero cell
    int highest;
};

// The labels of the colour bar: five values from lowest to highest (fewer when the range is
// narrower), each drawn at its own place on the bar.
std::vector<int> barLabels(const HeightRange& range);

// Where a value lies on the scale, 0 at lowest and 1 at highest (0.5 when they are equal).
double scalePosition(double value, const HeightRange& range);

// Left and top pixel of cell (x, y) of the insole's grid: grid row 0 is the bottom of the foot.
inline int cellLeft(int x) { return PREVIEW_MARGIN + x * PREVIEW_SCALE; }
inline int cellTop(int y) { return PREVIEW_MARGIN + (GRID_ROWS - 1 - y) * PREVIEW_SCALE; }

// Paints on a picture, whose pixels it sets all white first; a pixel outside it is left out.
class Canvas {
public:
    explicit Canvas(PreviewImage& image);

    void set(int x, int y, Rgb colour);
    void fill(int left, int top, int width, int height, Rgb colour);
    // Text in the labels' font, vertically centred on centreY: digits, and the letters of
    // "kPa"; any other character is left as a space.
    void text(int left, int centreY, const char* characters);
    void number(int left, int centreY, int value);
    // A cell of the insole's grid in one colour.
    void cell(int x, int y, Rgb colour)
    {
        fill(cellLeft(x), cellTop(y), PREVIEW_SCALE, PREVIEW_SCALE, colour);
    }

    // The outlines of regions of the insole's grid: `regionOf(x, y)` names the region of a
    // cell, 0 for none. Every side of a cell in a region that faces a cell of another region
    // (or the grid's edge) gets a one-pixel line on the cell's own edge pixels.
    template <typename RegionOf>
    void outline(RegionOf regionOf, Rgb ink)
    {
        const auto regionAt = [&regionOf](int x, int y) {
            return x >= 0 && y >= 0 && x < FOOT_COLUMNS && y < GRID_ROWS ? regionOf(x, y) : 0;
        };
        const int last = PREVIEW_SCALE - 1;
        for (int y = 0; y < GRID_ROWS; ++y) {
            for (int x = 0; x < FOOT_COLUMNS; ++x) {
                const int region = regionAt(x, y);
                if (region == 0) {
                    continue;
                }
                const int left = cellLeft(x);
                const int top = cellTop(y);
                if (regionAt(x - 1, y) != region) fill(left, top, 1, PREVIEW_SCALE, ink);
                if (regionAt(x + 1, y) != region) fill(left + last, top, 1, PREVIEW_SCALE, ink);
                if (regionAt(x, y + 1) != region) fill(left, top, PREVIEW_SCALE, 1, ink);
                if (regionAt(x, y - 1) != region) fill(left, top + last, PREVIEW_SCALE, 1, ink);
            }
        }
    }

    // The colour bar right of the map, highest at the top, framed, with a tick and a label
    // for each of barLabels(range).
    void colourBar(const HeightRange& range);

private:
    PreviewImage& image_;
};

// Writes the picture as a PNG, replacing the file in one step; on failure a line on standard
// error says "Cannot save <what> <path>: <why>" and nothing is left behind. Returns whether
// it was written.
bool writePicture(const PreviewImage& image, const char* path, const char* what);
