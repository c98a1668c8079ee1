// A 3D scan as a foot image. Bytes that the image door refuses but that carry a scan's own
// signature come in here instead: the scan is read through the scan door, placed as the
// options say, and becomes an 8-bit grey foot image of 150 x 360 that every later step takes
// like a loaded one.
#pragma once

#include "imagefile/source_image.h"
#include "scan/scan_foot.h"

#include <cstddef>
#include <cstdint>

// The scan format of a file's bytes, or ScanFormat::None when they are not a scan. Whatever
// the image door lets in stays an image; only bytes it would refuse are looked at as a scan.
ScanFormat scanFormatOf(const std::uint8_t* data, std::size_t size);

// Bytes that are meant as a scan but cannot be one (brokenBinaryStlReason): the record is
// emptied, the trace says what is wrong, and true is returned. False, touching nothing, for
// any other bytes.
bool refuseBrokenScan(SourceImage& image, const std::uint8_t* data, std::size_t size,
                      const char* name);

// Reads the scan into the record as a foot image: placed, traced (traceScanPlaced), saved as
// BMP since a scan has no image format of its own. What the placement found goes to
// `figures`. On failure the record is empty, `figures` is cleared and the trace says why.
bool loadScanImage(SourceImage& image, const std::uint8_t* data, std::size_t size,
                   const char* name, ScanFormat scanFormat, const ScanOptions& options,
                   ScanFigures& figures);
