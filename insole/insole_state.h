// Everything the insole is made from, without a window: the foot image, the working grids,
// the measured foot and the drawn size. The view shows one of these; a front end without a
// screen works on one directly.
#pragma once

#include "imagefile/foot_image.h"
#include "imagefile/source_image.h"
#include "base/grid.h"
#include "scan/scan_foot.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct InsoleState {
    SourceImage sourceImage;
    // The foot image as sampled at load time, first and last rows cleared; used to measure.
    FootGrid footGrid{};
    // Filled by the load, overwritten by every read-back, then shaped in place; exported.
    Grid heightGrid{};
    // Filled by the load; the view's texture. Its spare columns stay 0, so the last two
    // texture columns are always black.
    Grid displayGrid{};
    std::int32_t footMinX = WHOLE_GRID_BOX.footMinX;
    std::int32_t footMaxX = WHOLE_GRID_BOX.footMaxX;
    std::int32_t footMaxY = WHOLE_GRID_BOX.footMaxY;
    std::int32_t footMinY = WHOLE_GRID_BOX.footMinY;
    std::int32_t footWidth = WHOLE_GRID_BOX.footWidth();
    std::int32_t footLength = WHOLE_GRID_BOX.footLength();
    // Size of the drawn texture quad (all 152 texture columns, all 360 rows) in view pixels.
    float displayWidth = 0.0f;
    float displayLength = 0.0f;
    // What the last load found that a person must hear of (both are traced as warnings):
    // grey pixels of the image outside the block that is read, which the insole leaves out,
    // and specks of grey in a lossy image's background, each a piece of insole of its own.
    long pixelsOutsideBlock = 0;
    int lossySpecks = 0;
    // The loaded file's own bytes, exactly as read: a job carries them, so that the insole can
    // be made again where the file is not. Null while no foot is loaded.
    std::shared_ptr<const std::vector<std::uint8_t>> footBytes;
    // How those bytes were read if they are a scan: its units and up axis as they were given
    // (not as found). No control shows them, so a job and an undone step take them from here
    // and read the scan again the same way.
    ScanUnits footUnits = ScanUnits::Auto;
    ScanUp footUp = ScanUp::PlusZ;

    FootBox footBox() const { return {footMinX, footMaxX, footMinY, footMaxY}; }
};

// Exchanges everything two states hold, so that a foot loaded and checked apart can become
// the one shown at once, and a refused one leaves the shown foot as it was.
void swapFeet(InsoleState& a, InsoleState& b) noexcept;

// Reads a foot image by file name (as the file system spells it) into the state: loads it,
// traces its properties, samples it into the grids, measures the foot and resets the drawn
// size to 150 x 360. On failure the source image is left empty, everything else unchanged,
// and the trace says why. Returns whether a foot image is now loaded. A 3D scan is placed
// as `scan` says; what its placement found goes to `figures` when given.
bool loadFoot(InsoleState& state, const char* path, const ScanOptions& scan = ScanOptions{},
              ScanFigures* figures = nullptr);

// The same from the bytes of a file already in memory; `name` only names it in traces.
bool loadFootFromMemory(InsoleState& state, const std::uint8_t* data, std::size_t size,
                        const char* name, const ScanOptions& scan = ScanOptions{},
                        ScanFigures* figures = nullptr);

// The same, the state keeping the bytes themselves as footBytes when the load succeeds.
bool loadFootFromMemory(InsoleState& state, std::shared_ptr<const std::vector<std::uint8_t>> bytes,
                        const char* name, const ScanOptions& scan = ScanOptions{},
                        ScanFigures* figures = nullptr);
