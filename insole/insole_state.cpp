#include "insole/insole_state.h"

#include "base/trace.h"
#include "imagefile/insole_export.h"
#include "scan/scan_image.h"

#include <cstdio>
#include <utility>
#include <vector>

namespace {

// A lossy image's specks are a few cells each; a toe drawn apart from the foot is far more.
constexpr int MAX_SPECK_CELLS = 20;

// Everything after a successful read: trace, sample, measure, reset the drawn size.
void takeLoadedImage(InsoleState& state, const char* path)
{
    const SourceImage& image = state.sourceImage;
    traceImageProperties(image.width, image.height, image.dpmX, image.pitch, image.bpp);
    if (image.width < FOOT_COLUMNS || image.height < GRID_ROWS) {
        char reason[128];
        std::snprintf(reason, sizeof reason,
                      "%d x %d pixels is smaller than 150 x 360; the cells beyond it are taken as 0",
                      image.width, image.height);
        traceFileWarning("Small foot image", path, reason);
    }
    state.pixelsOutsideBlock = greyPixelsOutsideBlock(image);
    if (state.pixelsOutsideBlock > 0) {
        char reason[200];
        std::snprintf(reason, sizeof reason,
                      "%ld pixels of foot lie outside the 150 x 360 block that is read (the "
                      "image's bottom-left corner) and are left out; crop the image to the foot",
                      state.pixelsOutsideBlock);
        traceFileWarning("Foot image", path, reason);
    }
    sampleFoot(image, state.footGrid, state.heightGrid, state.displayGrid);
    state.lossySpecks = isLossyFormat(static_cast<FREE_IMAGE_FORMAT>(image.format))
                            ? countSpecks(state.footGrid, MAX_SPECK_CELLS)
                            : 0;
    if (state.lossySpecks > 0) {
        char reason[200];
        std::snprintf(reason, sizeof reason,
                      "its background holds %d specks of grey, each of which would become a "
                      "piece of insole; save the foot as PNG or BMP",
                      state.lossySpecks);
        traceFileWarning("Lossy foot image", path, reason);
    }

    const FootBox box = measureFoot(state.footGrid);
    state.footMinX = box.footMinX;
    state.footMaxX = box.footMaxX;
    state.footMaxY = box.footMaxY;
    state.footMinY = box.footMinY;
    state.displayWidth = 150.0f;
    state.footWidth = box.footWidth();
    state.displayLength = 360.0f;
    state.footLength = box.footLength();
}

}  // namespace

bool loadFoot(InsoleState& state, const char* path, const ScanOptions& scan, ScanFigures* figures)
{
    if (figures) {
        *figures = ScanFigures{};
    }
    auto bytes = std::make_shared<std::vector<std::uint8_t>>();
    if (!state.sourceImage.readFile(path, *bytes)) {
        state.footBytes.reset();
        return false;
    }
    return loadFootFromMemory(state, std::move(bytes), path, scan, figures);
}

bool loadFootFromMemory(InsoleState& state, const std::uint8_t* data, std::size_t size,
                        const char* name, const ScanOptions& scan, ScanFigures* figures)
{
    return loadFootFromMemory(state, std::make_shared<const std::vector<std::uint8_t>>(data, data + size),
                              name, scan, figures);
}

bool loadFootFromMemory(InsoleState& state, std::shared_ptr<const std::vector<std::uint8_t>> bytes,
                        const char* name, const ScanOptions& scan, ScanFigures* figures)
{
    state.footBytes.reset();
    const std::uint8_t* data = bytes->data();
    const std::size_t size = bytes->size();
    ScanFigures found;
    ScanFigures& placed = figures ? *figures : found;
    placed = ScanFigures{};
    const ScanFormat scanFormat = scanFormatOf(data, size);
    if (scanFormat == ScanFormat::None && refuseBrokenScan(state.sourceImage, data, size, name)) {
        return false;
    }
    const bool loaded = scanFormat != ScanFormat::None
                            ? loadScanImage(state.sourceImage, data, size, name, scanFormat, scan, placed)
                            : state.sourceImage.loadFromMemory(data, size, name);
    if (!loaded) {
        return false;
    }
    takeLoadedImage(state, name);
    state.footBytes = std::move(bytes);
    state.footUnits = scan.units;
    state.footUp = scan.up;
    return true;
}

void swapFeet(InsoleState& a, InsoleState& b) noexcept
{
    a.sourceImage.swap(b.sourceImage);
    std::swap(a.footGrid, b.footGrid);
    std::swap(a.heightGrid, b.heightGrid);
    std::swap(a.displayGrid, b.displayGrid);
    std::swap(a.footMinX, b.footMinX);
    std::swap(a.footMaxX, b.footMaxX);
    std::swap(a.footMaxY, b.footMaxY);
    std::swap(a.footMinY, b.footMinY);
    std::swap(a.footWidth, b.footWidth);
    std::swap(a.footLength, b.footLength);
    std::swap(a.displayWidth, b.displayWidth);
    std::swap(a.displayLength, b.displayLength);
    std::swap(a.pixelsOutsideBlock, b.pixelsOutsideBlock);
    std::swap(a.lossySpecks, b.lossySpecks);
    std::swap(a.footBytes, b.footBytes);
    std::swap(a.footUnits, b.footUnits);
    std::swap(a.footUp, b.footUp);
}
