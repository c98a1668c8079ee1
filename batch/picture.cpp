#include "batch/picture.h"

#include "base/trace.h"
#include "imagefile/insole_export.h"

#include <FreeImage.h>

#include <cmath>
#include <string>

namespace {

// Digits 0 to 9 and the letters of "kPa" in a 3 x 5 dot font, one row per 3 bits, top row
// first.
constexpr std::uint16_t DIGITS[10][5] = {
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7}, {5, 5, 7, 1, 1},
    {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 1, 1, 1}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7},
};
constexpr std::uint16_t LETTER_K[5] = {4, 5, 6, 5, 5};
constexpr std::uint16_t LETTER_P[5] = {7, 5, 7, 4, 4};
constexpr std::uint16_t LETTER_A[5] = {0, 6, 3, 5, 7};

const std::uint16_t* glyphOf(char c)
{
    if (c >= '0' && c <= '9') {
        return DIGITS[c - '0'];
    }
    switch (c) {
    case 'k':
        return LETTER_K;
    case 'P':
        return LETTER_P;
    case 'a':
        return LETTER_A;
    default:
        return nullptr;
    }
}

}  // namespace

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

double scalePosition(double value, const HeightRange& range)
{
    if (range.highest == range.lowest) {
        return 0.5;
    }
    return (value - range.lowest) / (range.highest - range.lowest);
}

Canvas::Canvas(PreviewImage& image) : image_(image)
{
    image_.rgb.assign(static_cast<std::size_t>(image_.width) * image_.height * 3, 255);
}

void Canvas::set(int x, int y, Rgb colour)
{
    if (x < 0 || y < 0 || x >= image_.width || y >= image_.height) {
        return;
    }
    const std::size_t i = (static_cast<std::size_t>(y) * image_.width + x) * 3;
    image_.rgb[i] = colour.r;
    image_.rgb[i + 1] = colour.g;
    image_.rgb[i + 2] = colour.b;
}

void Canvas::fill(int left, int top, int width, int height, Rgb colour)
{
    for (int y = top; y < top + height; ++y) {
        for (int x = left; x < left + width; ++x) {
            set(x, y, colour);
        }
    }
}

void Canvas::text(int left, int centreY, const char* characters)
{
    const int top = centreY - PREVIEW_GLYPH_HEIGHT / 2;
    for (int k = 0; characters[k]; ++k) {
        const std::uint16_t* glyph = glyphOf(characters[k]);
        if (!glyph) {
            continue;
        }
        for (int row = 0; row < 5; ++row) {
            for (int column = 0; column < 3; ++column) {
                if (glyph[row] & (4 >> column)) {
                    fill(left + k * PREVIEW_GLYPH_ADVANCE + column * PREVIEW_FONT_SCALE,
                         top + row * PREVIEW_FONT_SCALE, PREVIEW_FONT_SCALE, PREVIEW_FONT_SCALE,
                         PREVIEW_INK);
                }
            }
        }
    }
}

void Canvas::number(int left, int centreY, int value)
{
    text(left, centreY, std::to_string(value).c_str());
}

void Canvas::colourBar(const HeightRange& range)
{
    for (int row = 0; row < PREVIEW_BAR_HEIGHT; ++row) {
        const double t = 1.0 - static_cast<double>(row) / (PREVIEW_BAR_HEIGHT - 1);
        fill(PREVIEW_BAR_LEFT, PREVIEW_BAR_TOP + row, PREVIEW_BAR_WIDTH, 1, heightColour(t));
    }
    fill(PREVIEW_BAR_LEFT - 1, PREVIEW_BAR_TOP - 1, PREVIEW_BAR_WIDTH + 2, 1, PREVIEW_INK);
    fill(PREVIEW_BAR_LEFT - 1, PREVIEW_BAR_TOP + PREVIEW_BAR_HEIGHT, PREVIEW_BAR_WIDTH + 2, 1,
         PREVIEW_INK);
    fill(PREVIEW_BAR_LEFT - 1, PREVIEW_BAR_TOP, 1, PREVIEW_BAR_HEIGHT, PREVIEW_INK);
    fill(PREVIEW_BAR_LEFT + PREVIEW_BAR_WIDTH, PREVIEW_BAR_TOP, 1, PREVIEW_BAR_HEIGHT, PREVIEW_INK);
    for (int label : barLabels(range)) {
        const double t = range.highest == range.lowest ? 1.0 : scalePosition(label, range);
        const int y =
            PREVIEW_BAR_TOP + static_cast<int>(std::lround((1.0 - t) * (PREVIEW_BAR_HEIGHT - 1)));
        fill(PREVIEW_BAR_LEFT + PREVIEW_BAR_WIDTH, y, 5, 1, PREVIEW_INK);
        number(PREVIEW_LABEL_LEFT, y, label);
    }
}

bool writePicture(const PreviewImage& image, const char* path, const char* what)
{
    FIBITMAP* bitmap = FreeImage_Allocate(image.width, image.height, 24);
    if (!bitmap) {
        traceFileProblem(("Cannot save " + std::string(what)).c_str(), path, "out of memory");
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
    const bool written = saveBitmapFile(bitmap, FIF_PNG, path, what);
    FreeImage_Unload(bitmap);
    return written;
}
