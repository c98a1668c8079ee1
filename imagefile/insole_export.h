// Insole export without a window: the heights go into the loaded foot image's
// bitmap, the bitmap is encoded in a format that keeps every height exactly, and the file is
// replaced in one step, so that a failed save never leaves a damaged or empty file in place
// of a good one. The Save button's callback and any front end without a screen call
// saveInsole; the smaller steps are here so that each can be tested on its own.
#pragma once

#include "imagefile/source_image.h"
#include "view/grid.h"

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

// Writes all size bytes to the file descriptor, going on after short writes and interrupted
// calls. Returns 0 when every byte was written, otherwise the errno of the failed write
// (ENOSPC on a full device, for example).
int writeAllBytes(int fd, const std::uint8_t* data, std::size_t size);

// Replaces the file at path with the given bytes in one step: the bytes go to a new
// temporary file in the target's folder, every write is checked, the file is flushed to the
// disk (fsync) and then renamed over the target. A replaced file keeps its permissions (and,
// where the user may set them, its owner and group); a new one gets 0666 less the umask.
// A symbolic link is followed and the file it names is replaced. On any failure the
// temporary file is removed, the old target is left byte for byte as it was, and a line on
// standard error names the file and the reason. Returns whether the file was replaced.
bool replaceFile(const char* path, const std::uint8_t* data, std::size_t size);

// Encodes the bitmap in exactly this format into memory, checks that the encoded data read
// back give the bitmap's pixel bytes unchanged, and replaces the file at path with them
// (replaceFile). A format that FreeImage cannot write for this bitmap, or that would change
// the pixels, is refused with a line on standard error and the file is not touched.
bool saveBitmapFile(FIBITMAP* bitmap, FREE_IMAGE_FORMAT format, const char* path);

// The export as the Save button runs it once a name has been chosen. In order: refuse with a
// trace when no foot image is loaded (no memory is touched); copy the chosen UTF-8 name into
// a PATH_BUFFER_SIZE buffer, convert it to the narrow form in which files are opened, and
// make it end in ".bmp" (names that do not fit are refused with a trace); copy heightGrid
// into the bitmap; encode it in exportFormatFor's format (BMP, with a trace saying so, when
// the image's own format would not keep the heights); replace the file in one step.
// Returns whether the file was written. Every failure is traced on standard error.
bool saveInsole(const Grid& heightGrid, SourceImage& image, const char* chosenUtf8Name);
