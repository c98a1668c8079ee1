#include "fuzz/foot_entry.h"

#include "imagefile/image_door.h"
#include "imagefile/pixel_grey.h"
#include "base/grid.h"
#include "insole/insole_state.h"

#include <memory>

FeedResult feedFootBytes(const std::uint8_t* data, std::size_t size)
{
    FeedResult result;
    // The grids make the state large: it lives on the heap, as the view's does.
    auto state = std::make_unique<InsoleState>();
    result.loaded = loadFootFromMemory(*state, data, size, "fuzz input");
    const SourceImage& image = state->sourceImage;
    if (!result.loaded) {
        if (!image.empty() || image.bits) {
            return brokenPromise(result, "a refused image left a bitmap behind");
        }
        return result;
    }
    if (image.empty() || !image.bits) {
        return brokenPromise(result, "a loaded image has no pixels");
    }
    if (pixelLayoutRefusal(FreeImage_GetImageType(image.bitmap), static_cast<unsigned>(image.bpp)) ||
        image.bytesPerPixel != image.bpp / 8) {
        return brokenPromise(result, "a loaded image has pixels that hold no grey value");
    }
    if (image.width < 1 || image.height < 1 || image.width > static_cast<int>(MAX_IMAGE_SIDE) ||
        image.height > static_cast<int>(MAX_IMAGE_SIDE)) {
        return brokenPromise(result, "a loaded image has a size the door refuses");
    }
    if (static_cast<long>(image.pitch) * 8 < static_cast<long>(image.width) * image.bpp) {
        return brokenPromise(result, "a loaded image has scanlines shorter than its pixels");
    }
    const bool emptyBox = state->footMinX == FOOT_COLUMNS && state->footMaxX == 0 &&
                          state->footMinY == GRID_ROWS && state->footMaxY == 0;
    const bool insideBox = state->footMinX >= 1 && state->footMinX <= state->footMaxX &&
                           state->footMaxX <= FOOT_COLUMNS - 2 && state->footMinY >= 1 &&
                           state->footMinY <= state->footMaxY && state->footMaxY <= GRID_ROWS - 2;
    if (!emptyBox && !insideBox) {
        return brokenPromise(result, "the measured foot lies outside the grid");
    }
    return result;
}
