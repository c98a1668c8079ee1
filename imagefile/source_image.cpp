#include "imagefile/source_image.h"

#include "base/trace.h"
#include "imagefile/image_door.h"
#include "imagefile/pixel_grey.h"
#include "scan/scan_door.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Reads a whole file into memory, refusing one larger than any foot image may be. Reading it
// first means the decoder never sees a file that changes or grows while it is being read.
bool readWholeFile(const char* path, std::vector<std::uint8_t>& bytes, std::string& reason)
{
    std::FILE* file = std::fopen(path, "rb");
    if (!file) {
        reason = std::strerror(errno);
        return false;
    }
    bytes.clear();
    std::uint8_t chunk[65536];
    bool ok = true;
    for (;;) {
        const std::size_t got = std::fread(chunk, 1, sizeof chunk, file);
        if (bytes.size() + got > MAX_IMAGE_FILE_BYTES) {
            reason = "the file is larger than the 64 MiB a foot image may have";
            ok = false;
            break;
        }
        bytes.insert(bytes.end(), chunk, chunk + got);
        if (got < sizeof chunk) {
            if (std::ferror(file)) {
                reason = std::strerror(errno);
                ok = false;
            }
            break;
        }
    }
    std::fclose(file);
    return ok;
}

}  // namespace

SourceImage::~SourceImage() { release(); }

void SourceImage::release()
{
    FreeImage_Unload(bitmap);
    bitmap = nullptr;
    bits = nullptr;
}

bool SourceImage::load(const char* path, const ScanOptions& scan, ScanFigures* figures)
{
    if (figures) {
        *figures = ScanFigures{};
    }
    std::vector<std::uint8_t> bytes;
    std::string reason;
    if (!readWholeFile(path, bytes, reason)) {
        format = FIF_UNKNOWN;
        release();
        traceLoadFailed();
        traceFileProblem("Cannot read foot image", path, reason.c_str());
        return false;
    }
    return loadFromMemory(bytes.data(), bytes.size(), path, scan, figures);
}

bool SourceImage::loadFromMemory(const std::uint8_t* data, std::size_t size, const char* name,
                                 const ScanOptions& scan, ScanFigures* figures)
{
    release();
    ScanFigures found;
    ScanFigures& placed = figures ? *figures : found;
    placed = ScanFigures{};
    // Whatever the image door lets in stays an image; only bytes it would refuse are
    // looked at as a scan.
    if (size > 0 && size <= MAX_IMAGE_FILE_BYTES && formatRefusal(detectImageFormat(data, size))) {
        const ScanFormat scanFormat = detectScanFormat(data, size);
        if (scanFormat != ScanFormat::None) {
            return loadScan(data, size, name, scanFormat, scan, placed);
        }
    }
    const DoorResult result = openFootImage(data, size);
    format = result.format;
    if (!result.bitmap) {
        traceLoadFailed();
        traceFileProblem("Cannot read foot image", name, result.reason.c_str());
        return false;
    }
    adopt(result.bitmap);
    return true;
}

bool SourceImage::loadScan(const std::uint8_t* data, std::size_t size, const char* name,
                           ScanFormat scanFormat, const ScanOptions& scan, ScanFigures& figures)
{
    format = FIF_UNKNOWN;
    ScanMesh mesh;
    std::string reason;
    FootGrid grey{};
    if (!openScan(data, size, scanFormat, mesh, reason) ||
        !makeScanFoot(mesh, scan, grey, figures, reason)) {
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
        traceFileProblem("Cannot read foot scan", name, "FreeImage could not allocate the foot image");
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
    format = FIF_BMP;
    adopt(made);
    return true;
}

void SourceImage::adopt(FIBITMAP* loaded)
{
    bitmap = loaded;
    bits = FreeImage_GetBits(bitmap);
    pitch = static_cast<std::int32_t>(FreeImage_GetPitch(bitmap));
    bpp = static_cast<std::int32_t>(FreeImage_GetBPP(bitmap));
    bytesPerPixel = bpp / 8;
    width = static_cast<std::int32_t>(FreeImage_GetWidth(bitmap));
    height = static_cast<std::int32_t>(FreeImage_GetHeight(bitmap));
    dpmX = static_cast<std::int32_t>(FreeImage_GetDotsPerMeterX(bitmap));
}
