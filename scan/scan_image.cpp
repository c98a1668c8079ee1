#include "scan/scan_image.h"

#include "base/grid.h"
#include "base/trace.h"
#include "imagefile/image_door.h"
#include "imagefile/pixel_grey.h"

#include <cstring>
#include <string>

ScanFormat scanFormatOf(const std::uint8_t* data, std::size_t size)
{
    if (size > 0 && size <= MAX_IMAGE_FILE_BYTES && formatRefusal(detectImageFormat(data, size))) {
        return detectScanFormat(data, size);
    }
    return ScanFormat::None;
}

bool refuseBrokenScan(SourceImage& image, const std::uint8_t* data, std::size_t size,
                      const char* name)
{
    if (size == 0 || size > MAX_IMAGE_FILE_BYTES || !formatRefusal(detectImageFormat(data, size))) {
        return false;
    }
    const std::string reason = brokenBinaryStlReason(data, size, name);
    if (reason.empty()) {
        return false;
    }
    image.release();
    image.format = FIF_UNKNOWN;
    traceLoadFailed();
    traceFileProblem("Cannot read foot scan", name, reason.c_str());
    return true;
}

bool loadScanImage(SourceImage& image, const std::uint8_t* data, std::size_t size,
                   const char* name, ScanFormat scanFormat, const ScanOptions& options,
                   ScanFigures& figures)
{
    image.release();
    image.format = FIF_UNKNOWN;
    figures = ScanFigures{};
    ScanMesh mesh;
    std::string reason;
    FootGrid grey{};
    if (!openScan(data, size, scanFormat, mesh, reason) ||
        !makeScanFoot(mesh, options, grey, figures, reason)) {
        figures = ScanFigures{};
        traceLoadFailed();
        traceFileProblem("Cannot read foot scan", name,
                         (std::string(scanFormatName(scanFormat)) + " refused: " + reason).c_str());
        return false;
    }
    figures.format = scanFormat;
    // An 8-bit grey image at 1 px/mm, which every later step takes like a loaded one. A scan
    // has no image format of its own: its insole is saved as BMP.
    FIBITMAP* made = allocateGreyBitmap(FOOT_COLUMNS, GRID_ROWS);
    if (!made) {
        figures = ScanFigures{};
        traceLoadFailed();
        traceFileProblem("Cannot read foot scan", name, "no memory for the foot image");
        return false;
    }
    FreeImage_SetDotsPerMeterX(made, 1000);
    FreeImage_SetDotsPerMeterY(made, 1000);
    for (int y = 0; y < GRID_ROWS; ++y) {
        std::memcpy(FreeImage_GetScanLine(made, y), &grey[static_cast<std::size_t>(footIndex(0, y))],
                    FOOT_COLUMNS);
    }
    traceScanPlaced(name, scanFormatName(scanFormat), figures.triangles, scanUnitsName(figures.units),
                    figures.unitsGuessed, figures.lengthMm, figures.widthMm, figures.heightMm,
                    figures.turnDegrees, scanUpName(figures.up), figures.filledCells);
    image.format = FIF_BMP;
    image.adopt(made);
    return true;
}
