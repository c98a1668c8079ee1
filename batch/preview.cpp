#include "batch/preview.h"

#include "base/trace.h"
#include "imagefile/insole_export.h"

#include <FreeImage.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace {

// Digits 0 to 9 in a 3 x 5 pixel font, one row per 3 bits, top row first.
constexpr std::uint16_t DIGITS[10][5] = {
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7}, {5, 5, 7, 1, 1},
    {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 1, 1, 1}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7},
};
constexpr int FONT_SCALE = 3;
constexpr int GLYPH_ADVANCE = 4 * FONT_SCALE;
constexpr int GLYPH_HEIGHT = 5 * FONT_SCALE;

class Canvas {
public:
    explicit Canvas(PreviewImage& image) : image_(image)
    {
        image_.rgb.assign(static_cast<std::size_t>(image_.width) * image_.height * 3, 255);
    }

    void set(int x, int y, Rgb colour)
    {
        if (x < 0 || y < 0 || x >= image_.width || y >= image_.height) {
            return;
        }
        const std::size_t i = (static_cast<std::size_t>(y) * image_.width + x) * 3;
        image_.rgb[i] = colour.r;
        image_.rgb[i + 1] = colour.g;
        image_.rgb[i + 2] = colour.b;
    }

    void fill(int left, int top, int width, int height, Rgb colour)
    {
        for (int y = top; y < top + height; ++y) {
            for (int x = left; x < left + width; ++x) {
                set(x, y, colour);
            }
        }
    }

    void number(int left, int centreY, int value)
    {
        const std::string text = std::to_string(value);
        const int top = centreY - GLYPH_HEIGHT / 2;
        for (std::size_t k = 0; k < text.size(); ++k) {
            const int digit = text[k] - '0';
            for (int row = 0; row < 5; ++row) {
                for (int column = 0; column < 3; ++column) {
                    if (DIGITS[digit][row] & (4 >> column)) {
                        fill(left + static_cast<int>(k) * GLYPH_ADVANCE + column * FONT_SCALE,
                             top + row * FONT_SCALE, FONT_SCALE, FONT_SCALE, PREVIEW_INK);
                    }
                }
            }
        }
    }

private:
    PreviewImage& image_;
};

double scalePosition(int value, const HeightRange& range)
{
    if (range.highest == range.lowest) {
        return 0.5;
    }
    return static_cast<double>(value - range.lowest) / (range.highest - range.lowest);
}

bool inFoot(const Grid& heights, int x, int y)
{
    return x >= 0 && y >= 0 && x < FOOT_COLUMNS && y < GRID_ROWS && heights[gridIndex(x, y)] != 0;
}

// Left and top of cell (x, y) in the picture: grid row 0 is the bottom of the foot.
int cellLeft(int x) { return PREVIEW_MARGIN + x * PREVIEW_SCALE; }
int cellTop(int y) { return PREVIEW_MARGIN + (GRID_ROWS - 1 - y) * PREVIEW_SCALE; }

}  // namespace

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

std::vector<int> barLabels(const HeightRange& range)
{
    std::vector<int> labels;
    for (int k = 0; k <= 4; ++k) {
        const int value = static_cast<int>(
            std::lround(range.lowest + (range.highest - range.lowest) * k / 4.0));
        if (labels.empty() || labels.back() != value) {
            labels.push_back(value);
        }
    }
    return labels;
}

PreviewImage renderPreview(const Grid& heights)
{
    PreviewImage image;
    Canvas canvas(image);
    const HeightRange range = heightRange(heights);

    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            const int v = heights[gridIndex(x, y)];
            const Rgb colour = v == 0 ? PREVIEW_BACKGROUND : heightColour(scalePosition(v, range));
            canvas.fill(cellLeft(x), cellTop(y), PREVIEW_SCALE, PREVIEW_SCALE, colour);
        }
    }
    // The outline: a one-pixel line on every side of a foot cell that faces a cell outside.
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            if (!inFoot(heights, x, y)) {
                continue;
            }
            const int left = cellLeft(x);
            const int top = cellTop(y);
            const int last = PREVIEW_SCALE - 1;
            if (!inFoot(heights, x - 1, y)) canvas.fill(left, top, 1, PREVIEW_SCALE, PREVIEW_INK);
            if (!inFoot(heights, x + 1, y)) canvas.fill(left + last, top, 1, PREVIEW_SCALE, PREVIEW_INK);
            if (!inFoot(heights, x, y + 1)) canvas.fill(left, top, PREVIEW_SCALE, 1, PREVIEW_INK);
            if (!inFoot(heights, x, y - 1)) canvas.fill(left, top + last, PREVIEW_SCALE, 1, PREVIEW_INK);
        }
    }
    // The colour bar, highest at the top, framed, with a tick and a label per height.
    if (range.highest == 0) {
        return image;
    }
    for (int row = 0; row < PREVIEW_BAR_HEIGHT; ++row) {
        const double t = 1.0 - static_cast<double>(row) / (PREVIEW_BAR_HEIGHT - 1);
        canvas.fill(PREVIEW_BAR_LEFT, PREVIEW_BAR_TOP + row, PREVIEW_BAR_WIDTH, 1, heightColour(t));
    }
    canvas.fill(PREVIEW_BAR_LEFT - 1, PREVIEW_BAR_TOP - 1, PREVIEW_BAR_WIDTH + 2, 1, PREVIEW_INK);
    canvas.fill(PREVIEW_BAR_LEFT - 1, PREVIEW_BAR_TOP + PREVIEW_BAR_HEIGHT, PREVIEW_BAR_WIDTH + 2, 1,
                PREVIEW_INK);
    canvas.fill(PREVIEW_BAR_LEFT - 1, PREVIEW_BAR_TOP, 1, PREVIEW_BAR_HEIGHT, PREVIEW_INK);
    canvas.fill(PREVIEW_BAR_LEFT + PREVIEW_BAR_WIDTH, PREVIEW_BAR_TOP, 1, PREVIEW_BAR_HEIGHT, PREVIEW_INK);
    for (int label : barLabels(range)) {
        const double t = range.highest == range.lowest ? 1.0 : scalePosition(label, range);
        const int y = PREVIEW_BAR_TOP + static_cast<int>(std::lround((1.0 - t) * (PREVIEW_BAR_HEIGHT - 1)));
        canvas.fill(PREVIEW_BAR_LEFT + PREVIEW_BAR_WIDTH, y, 5, 1, PREVIEW_INK);
        canvas.number(PREVIEW_LABEL_LEFT, y, label);
    }
    return image;
}

bool writePreview(const Grid& heights, const char* path)
{
    const PreviewImage image = renderPreview(heights);
    FIBITMAP* bitmap = FreeImage_Allocate(image.width, image.height, 24);
    if (!bitmap) {
        traceFileProblem("Cannot save preview", path, "out of memory");
        return false;
    }
    for (int y = 0; y < image.height; ++y) {
        // FreeImage's scanline 0 is the bottom row of the picture.
        BYTE* line = FreeImage_GetScanLine(bitmap, image.height - 1 - y);
        for (int x = 0; x < image.width; ++x) {
            const Rgb c = image.at(x, y);
            line[x * 3 + FI_RGBA_RED] = c.r;
            line[x * 3 + FI_RGBA_GREEN] = c.g;
            line[x * 3 + FI_RGBA_BLUE] = c.b;
        }
    }
    const bool written = saveBitmapFile(bitmap, FIF_PNG, path, "preview");
    FreeImage_Unload(bitmap);
    return written;
}
