// The one way a foot image gets into the program. Foot images arrive from scanners, image
// editors, e-mail and USB sticks, and the image library's own decoders for many formats are
// unmaintained and known to overflow on crafted files. So the door lets through only the
// formats a foot image plausibly comes in and whose decoders are maintained, reads the header
// before any pixel is decoded, and refuses sizes, depths and pixel types the program cannot use.
// BMPs with the later (V4/V5) info headers that everyday tools write are rewritten in memory
// into the 40-byte header this system's library still reads.
#pragma once

#include <FreeImage.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Largest width or height of a foot image. A foot image is 150 x 360; a scan at a few times
// that resolution still fits, while a bound keeps a lying header from asking for gigabytes.
constexpr unsigned MAX_IMAGE_SIDE = 4096;

// Largest foot image file that is read at all. Even an uncompressed 4096 x 4096 image of 32
// bits per pixel stays below it.
constexpr std::size_t MAX_IMAGE_FILE_BYTES = std::size_t{64} << 20;

// Sends the image library's own error messages to the trace instead of letting it drop them.
// The door calls this on its first use; a front end may call it at start-up as well. Calling
// it again changes nothing.
void routeImageLibraryMessages();

// Why files of this format are not let through, or nullptr when they are.
const char* formatRefusal(FREE_IMAGE_FORMAT format);

// The format the image library recognises in these bytes (FIF_UNKNOWN when none).
FREE_IMAGE_FORMAT detectImageFormat(const std::uint8_t* data, std::size_t size);

// Checks a BMP's headers before the decoder sees them. When the info header is a later
// version than the 40-byte one, or the pixels are RLE8-compressed, `rewritten` receives the
// same image with the equivalent 40-byte header (bit-field masks carried over, colour-space
// data dropped, offsets adjusted, RLE8 expanded to plain rows); otherwise it is left empty
// and the bytes can go to the decoder as they are. Returns false,
// with the reason, for a BMP that must not reach the decoder.
bool prepareBmp(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& rewritten,
                std::string& reason);

// What came through the door.
struct DoorResult {
    FIBITMAP* bitmap = nullptr;               // the decoded image, owned by the caller
    FREE_IMAGE_FORMAT format = FIF_UNKNOWN;   // the format recognised in the bytes
    std::string reason;                       // why nothing came through; empty on success
};

// Decodes a foot image from the bytes of a file. The result holds a bitmap whose pixels hold
// a grey value (a standard bitmap of 1 to 32 bits per pixel, or 16-bit grey or colour
// samples) of at most MAX_IMAGE_SIDE pixels each way, or no bitmap and a reason.
DoorResult openFootImage(const std::uint8_t* data, std::size_t size);
