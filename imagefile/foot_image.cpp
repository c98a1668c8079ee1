#include "imagefile/foot_image.h"

#include "imagefile/pixel_grey.h"

#include <algorithm>
#include <vector>

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

long greyPixelsOutsideBlock(const SourceImage& image)
{
    if (!image.bits || (image.width <= FOOT_COLUMNS && image.height <= GRID_ROWS)) {
        return 0;
    }
    const GreyReader reader = greyReaderFor(image);
    long count = 0;
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* scanline = image.bits + static_cast<long>(y) * image.pitch;
        // Inside the block's rows only the columns right of it are outside.
        for (int x = y < GRID_ROWS ? FOOT_COLUMNS : 0; x < image.width; ++x) {
            count += reader.grey(scanline, x) != 0;
        }
    }
    return count;
}

int countSpecks(const FootGrid& footGrid, int maxCells)
{
    // Flood fill of every piece; the sizes of the pieces, largest kept aside.
    std::vector<std::uint8_t> seen(footGrid.size(), 0);
    std::vector<int> stack;
    std::vector<int> sizes;
    for (int start = 0; start < static_cast<int>(footGrid.size()); ++start) {
        if (!footGrid[static_cast<std::size_t>(start)] || seen[static_cast<std::size_t>(start)]) {
            continue;
        }
        int size = 0;
        stack.assign(1, start);
        seen[static_cast<std::size_t>(start)] = 1;
        while (!stack.empty()) {
            const int cell = stack.back();
            stack.pop_back();
            ++size;
            const int x = cell % FOOT_STRIDE;
            const int y = cell / FOOT_STRIDE;
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    const int nx = x + dx;
                    const int ny = y + dy;
                    if (nx < 0 || ny < 0 || nx >= FOOT_COLUMNS || ny >= GRID_ROWS) {
                        continue;
                    }
                    const auto next = static_cast<std::size_t>(footIndex(nx, ny));
                    if (footGrid[next] && !seen[next]) {
                        seen[next] = 1;
                        stack.push_back(static_cast<int>(next));
                    }
                }
            }
        }
        sizes.push_back(size);
    }
    if (sizes.empty()) {
        return 0;
    }
    sizes.erase(std::max_element(sizes.begin(), sizes.end()));
    return static_cast<int>(std::count_if(sizes.begin(), sizes.end(),
                                          [maxCells](int size) { return size <= maxCells; }));
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

// The ends are computed as tenths, in one correctly rounded division, so that each is the
// double nearest its decimal value: "--width 166.8" reads as exactly the end that prints as
// 166.8, which a product with 0.8 (166.79999999999998) would refuse.
SliderSetting widthSliderSetting(int footWidth)
{
    return {static_cast<double>(footWidth), footWidth * 8 / 10.0, footWidth * 12 / 10.0};
}

SliderSetting lengthSliderSetting(int footLength)
{
    return {static_cast<double>(footLength), footLength * 5 / 10.0, footLength * 15 / 10.0};
}

float displaySizeFor(double sliderValue, int footSize, int fullSize)
{
    const float v = static_cast<float>(sliderValue);
    return static_cast<float>(static_cast<double>(v) / footSize * fullSize);
}
