#include "imagefile/foot_image.h"

#include "imagefile/pixel_grey.h"

#include <algorithm>

void sampleFoot(const SourceImage& image, FootGrid& footGrid, Grid& heightGrid, Grid& displayGrid)
{
    // Only the pixels the bitmap has are read: a smaller image leaves 0 beyond its edges.
    const int columns = image.bits ? std::min(image.width, FOOT_COLUMNS) : 0;
    const int rows = image.bits ? std::min(image.height, GRID_ROWS) : 0;
    const GreyReader reader = greyReaderFor(image);
    for (int y = 0; y < GRID_ROWS; ++y) {
        const bool edgeRow = y == 0 || y == GRID_ROWS - 1;
        const std::uint8_t* scanline = y < rows ? image.bits + static_cast<long>(y) * image.pitch : nullptr;
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            const std::uint8_t v = scanline && x < columns ? reader.grey(scanline, x) : 0;
            footGrid[footIndex(x, y)] = edgeRow ? 0 : v;
            heightGrid[gridIndex(x, y)] = v;
            displayGrid[gridIndex(x, y)] = edgeRow ? 0 : v;
        }
    }
}

FootBox measureFoot(const FootGrid& footGrid)
{
    FootBox box{FOOT_COLUMNS, 0, GRID_ROWS, 0};
    for (int j = 1; j < GRID_ROWS - 1; ++j) {
        for (int k = 1; k < FOOT_COLUMNS - 1; ++k) {
            if (footGrid[footIndex(k, j)] != 0) {
                box.footMinX = std::min(box.footMinX, k);
                box.footMaxX = std::max(box.footMaxX, k);
                box.footMaxY = std::max(box.footMaxY, j);
                box.footMinY = std::min(box.footMinY, j);
            }
        }
    }
    return box;
}

SliderSetting widthSliderSetting(int footWidth)
{
    return {static_cast<double>(footWidth), footWidth * 0.8, footWidth * 1.2};
}

SliderSetting lengthSliderSetting(int footLength)
{
    return {static_cast<double>(footLength), footLength * 0.5, footLength * 1.5};
}

float displaySizeFor(double sliderValue, int footSize, int fullSize)
{
    const float v = static_cast<float>(sliderValue);
    return static_cast<float>(static_cast<double>(v) / footSize * fullSize);
}
