// Insole export without a window: the heights go into the loaded foot image's
// bitmap, the bitmap is encoded in a format that keeps every height exactly, and the file is
// replaced in one step, so that a failed save never leaves a damaged or empty file in place
// of a good one. The Save button's callback and any front end without a screen call
// saveInsole; the smaller steps are here so that each can be tested on its own.
#pragma once

#include "base/file_replace.h"
#include "imagefile/source_image.h"
#include "base/grid.h"

#include <FreeImage.h>

#include <cstddef>
#include <cstdint>

// Writes heightGrid into every byte of every pixel of the image's bitmap, in the order
// scanlines, columns, bytes: the bytes of pixel x of scanline r become cell r * 152 + x.
// Reads nothing outside the grid and writes nothing outside the bitmap: pixels beyond the
// grid's 152 columns or 360 rows get 0 in every byte, so a larger bitmap holds a pure
// height map; a smaller one gets the cells it has. An empty record, or one of fewer than 8
// bits per pixel (bytesPerPixel 0), is left untouched.
void copyHeightsIntoImage(const Grid& heightGrid, SourceImage& image);

// Formats whose writer, with the default flags (0) that the export uses, stores pixels
// lossily, so that the heights would not survive: JPEG and JNG (always lossy), JPEG 2000
// (J2K, JP2: a 16:1 rate by default), JPEG XR and WebP (quality 80 and 75 by default).
bool isLossyFormat(FREE_IMAGE_FORMAT format);

// The format the insole is written in: the foot image's own format when FreeImage can write
// it for this bitmap (its pixel type and bit depth) without loss, BMP otherwise. When BMP
// replaces the image's own format, *whyNot (if given) says why; otherwise it is set to null.
FREE_IMAGE_FORMAT exportFormatFor(const SourceImage& image, const char** whyNot = nullptr);

// Encodes the bitmap in exactly this format into memory, checks that the encoded data read
// back give the bitmap's pixel bytes unchanged, and replaces the file at path with them in
// one step (replaceFile); a failure is traced as "Cannot save <what> <file>: <reason>". A
// format that FreeImage cannot write for this bitmap, or that would change the pixels, is
// refused with a line on standard error and the file is not touched.
bool saveBitmapFile(FIBITMAP* bitmap, FREE_IMAGE_FORMAT format, const char* path,
                    const char* what = "insole");

// The export as the Save button runs it once a name has been chosen. In order: refuse with a
// trace when no foot image is loaded (no memory is touched); copy the chosen UTF-8 name into
// a PATH_BUFFER_SIZE buffer, convert it to the narrow form in which files are opened, and
// make it end in ".bmp" (names that do not fit are refused with a trace); copy heightGrid
// into the bitmap; encode it in exportFormatFor's format (BMP, with a trace saying so, when
// the image's own format would not keep the heights); replace the file in one step.
// Returns whether the file was written. Every failure is traced on standard error; a save
// that needed no word on standard error says "Saved <name>" to whoever shows messages.
bool saveInsole(const Grid& heightGrid, SourceImage& image, const char* chosenUtf8Name);
