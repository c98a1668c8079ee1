#include "imagefile/image_door.h"

#include "base/trace.h"
#include "imagefile/pixel_grey.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void imageLibraryMessage(FREE_IMAGE_FORMAT format, const char* message)
{
    const char* name = format == FIF_UNKNOWN ? nullptr : FreeImage_GetFormatFromFIF(format);
    traceImageLibraryMessage(name ? name : "unknown format", message ? message : "");
}

// The TIFF decoder's own messages, which FreeImage leaves to libtiff's default handlers on
// standard error. TIFFs from scanners and image programs carry tags that libtiff does not
// know, and it reports each one, dozens per file, although the image reads perfectly: those
// are dropped. Every other message is a real one and reaches the trace like FreeImage's.
void tiffMessage(const char* module, const char* format, va_list arguments)
{
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    if (std::strstr(text, "unknown tag") || std::strstr(text, "Unknown field with tag")) {
        return;
    }
    std::string message = module && *module ? std::string(module) + ": " + text : std::string(text);
    traceImageLibraryMessage("TIFF", message.c_str());
}

// Little-endian fields of the BMP headers, read without trusting alignment.
std::uint16_t u16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t u32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::int32_t i32(const std::uint8_t* p) { return static_cast<std::int32_t>(u32(p)); }
void put16(std::uint8_t* p, std::uint32_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(std::uint8_t* p, std::uint32_t v)
{
    put16(p, v);
    put16(p + 2, v >> 16);
}

constexpr std::size_t BMP_FILE_HEADER = 14;
constexpr std::uint32_t OS2_INFO_HEADER = 12;
constexpr std::uint32_t INFO_HEADER = 40;
constexpr std::uint32_t BI_RGB = 0;
constexpr std::uint32_t BI_RLE8 = 1;
constexpr std::uint32_t BI_RLE4 = 2;
constexpr std::uint32_t BI_BITFIELDS = 3;

bool fail(std::string& reason, const char* why)
{
    reason = why;
    return false;
}

// A colour mask must be one run of set bits inside the pixel.
bool maskIsUsable(std::uint32_t mask, unsigned bitCount)
{
    if (mask == 0 || (bitCount < 32 && (mask >> bitCount) != 0)) {
        return false;
    }
    const std::uint32_t low = mask & (~mask + 1);  // lowest set bit
    const std::uint32_t run = mask + low;           // carries out of the run
    return (run & mask) == 0;
}

// Size of one uncompressed scanline: whole pixels, padded to 4 bytes.
std::uint64_t scanlineBytes(std::uint64_t width, unsigned bitCount)
{
    return (width * bitCount + 31) / 32 * 4;
}

bool prepareOs2Bmp(const std::uint8_t* data, std::size_t size, std::uint32_t offBits,
                   std::string& reason)
{
    const std::uint8_t* info = data + BMP_FILE_HEADER;
    const unsigned width = u16(info + 4);
    const unsigned height = u16(info + 6);
    const unsigned bitCount = u16(info + 10);
    if (width == 0 || height == 0 || width > MAX_IMAGE_SIDE || height > MAX_IMAGE_SIDE) {
        return fail(reason, "its size is 0 or larger than 4096 pixels");
    }
    if (u16(info + 8) != 1) {
        return fail(reason, "its header does not describe one plane");
    }
    if (bitCount != 8 && bitCount != 24) {
        return fail(reason, "a foot image needs 8 or 24 bits per pixel in this kind of BMP");
    }
    const std::uint64_t palette = bitCount == 8 ? 256 * 3 : 0;
    if (BMP_FILE_HEADER + OS2_INFO_HEADER + palette > offBits) {
        return fail(reason, "its palette runs into the pixel data");
    }
    if (offBits + scanlineBytes(width, bitCount) * height > size) {
        return fail(reason, "the pixel data is shorter than the header says");
    }
    return true;
}

// Expands RLE8 pixel data into uncompressed bottom-up rows of `stride` bytes. Runs that reach
// past the right edge are clipped, as Windows draws them; pixels that a delta or an early end
// of line skips stay palette index 0. The library's own RLE8 decoder refuses the rows padded
// beyond the width that ImageMagick and FreeImage itself write, so the program never hands it
// RLE8 data. Returns false when the data ends before its end-of-bitmap mark with rows left.
bool expandRle8(const std::uint8_t* in, std::size_t size, std::uint32_t width, std::uint32_t height,
                std::uint32_t stride, std::uint8_t* out)
{
    std::size_t at = 0;
    std::uint32_t x = 0;
    std::uint32_t y = 0;
    auto put = [&](std::uint8_t value) {
        if (x < width && y < height) {
            out[static_cast<std::size_t>(y) * stride + x] = value;
        }
        ++x;
    };
    while (y < height) {
        if (size - at < 2) {
            return false;
        }
        const std::uint8_t count = in[at];
        const std::uint8_t value = in[at + 1];
        at += 2;
        if (count > 0) {
            for (unsigned i = 0; i < count; ++i) {
                put(value);
            }
        } else if (value == 0) {  // end of line
            x = 0;
            ++y;
        } else if (value == 1) {  // end of bitmap
            return true;
        } else if (value == 2) {  // delta: move right and up
            if (size - at < 2) {
                return false;
            }
            x += in[at];
            y += in[at + 1];
            at += 2;
        } else {  // absolute run of `value` bytes, padded to an even length
            const std::size_t padded = (static_cast<std::size_t>(value) + 1) & ~std::size_t{1};
            if (size - at < value) {
                return false;
            }
            for (unsigned i = 0; i < value; ++i) {
                put(in[at + i]);
            }
            at += std::min(padded, size - at);
        }
    }
    return true;
}

}  // namespace

void routeImageLibraryMessages()
{
    // A function-local static runs its initialiser exactly once, even if threads ever race.
    static const bool routed = [] {
        FreeImage_SetOutputMessage(imageLibraryMessage);
        TIFFSetErrorHandler(tiffMessage);
        TIFFSetWarningHandler(tiffMessage);
        return true;
    }();
    (void)routed;
}

const char* formatRefusal(FREE_IMAGE_FORMAT format)
{
    switch (format) {
    // Scanners and the program's own insoles (BMP); checked header by header before decoding.
    case FIF_BMP:
    // Decoded by the system's maintained libraries: libpng, libtiff, libjpeg.
    case FIF_PNG:
    case FIF_TIFF:
    case FIF_JPEG:
    // What scanners write on Linux; a plain header of numbers that the door bounds first.
    case FIF_PBM:
    case FIF_PBMRAW:
    case FIF_PGM:
    case FIF_PGMRAW:
    case FIF_PPM:
    case FIF_PPMRAW:
    // Written by scanning and 3D tools; a fixed 18-byte header read before any pixel.
    case FIF_TARGA:
        return nullptr;
    case FIF_GIF:
        return "its decoder cannot report the image size before decoding, and a GIF holds "
               "no grey levels of its own";
    case FIF_UNKNOWN:
        return "not an image format the program reads, nor a 3D scan (STL, OBJ, PLY) it "
               "reads";
    default:
        return "foot images do not come in this format, and its decoder is not trusted "
               "with files from outside";
    }
}

FREE_IMAGE_FORMAT detectImageFormat(const std::uint8_t* data, std::size_t size)
{
    if (size == 0 || size > MAX_IMAGE_FILE_BYTES) {
        return FIF_UNKNOWN;
    }
    FIMEMORY* memory = FreeImage_OpenMemory(const_cast<BYTE*>(data), static_cast<DWORD>(size));
    const FREE_IMAGE_FORMAT format = FreeImage_GetFileTypeFromMemory(memory, 0);
    FreeImage_CloseMemory(memory);
    return format;
}

bool prepareBmp(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& rewritten,
                std::string& reason)
{
    rewritten.clear();
    if (size < BMP_FILE_HEADER + 4 || data[0] != 'B' || data[1] != 'M') {
        return fail(reason, "its file header is cut short");
    }
    const std::uint32_t offBits = u32(data + 10);
    const std::uint32_t infoSize = u32(data + BMP_FILE_HEADER);
    // 52 and 56 bytes are the undocumented V2 and V3 headers; they share their first fields
    // with V4 (108) and V5 (124).
    if (infoSize != OS2_INFO_HEADER && infoSize != INFO_HEADER && infoSize != 52 &&
        infoSize != 56 && infoSize != 108 && infoSize != 124) {
        return fail(reason, "its info header has a size that no BMP version uses");
    }
    if (BMP_FILE_HEADER + infoSize > size) {
        return fail(reason, "its info header is cut short");
    }
    if (offBits > size) {
        return fail(reason, "its pixel data would start beyond the end of the file");
    }
    if (infoSize == OS2_INFO_HEADER) {
        return prepareOs2Bmp(data, size, offBits, reason);
    }

    const std::uint8_t* info = data + BMP_FILE_HEADER;
    const std::int32_t width = i32(info + 4);
    const std::int32_t height = i32(info + 8);
    const unsigned planes = u16(info + 12);
    const unsigned bitCount = u16(info + 14);
    const std::uint32_t compression = u32(info + 16);
    const std::uint32_t colorsUsed = u32(info + 32);

    // A negative height means the rows are stored top-down; its magnitude is the height.
    // The most negative value has no magnitude and is refused with every oversized height.
    if (width <= 0 || height == 0 || width > static_cast<std::int32_t>(MAX_IMAGE_SIDE) ||
        height < -static_cast<std::int32_t>(MAX_IMAGE_SIDE) ||
        height > static_cast<std::int32_t>(MAX_IMAGE_SIDE)) {
        return fail(reason, "its size is 0, negative or larger than 4096 pixels");
    }
    const std::uint64_t rows = static_cast<std::uint64_t>(height < 0 ? -std::int64_t{height} : height);
    if (planes != 1) {
        return fail(reason, "its header does not describe one plane");
    }
    if (compression == BI_RLE4) {
        return fail(reason, "RLE4-compressed BMPs are refused: the decoder overflows on them");
    }
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 &&
        bitCount != 32) {
        return fail(reason, "a foot image needs 1, 4, 8, 16, 24 or 32 bits per pixel");
    }
    if (bitCount < 8 && compression != BI_RGB) {
        return fail(reason, "1- and 4-bit BMPs are only read uncompressed");
    }
    if (compression == BI_RLE8) {
        if (bitCount != 8 || height < 0) {
            return fail(reason, "RLE8 compression is only valid for bottom-up 8-bit BMPs");
        }
    } else if (compression == BI_BITFIELDS) {
        if (bitCount != 16 && bitCount != 32) {
            return fail(reason, "bit-field masks are only valid for 16 and 32 bits per pixel");
        }
    } else if (compression != BI_RGB) {
        return fail(reason, "its compression is one the program does not read");
    }

    // Bit-field masks follow a 40-byte header, and sit inside every later one.
    const bool bitfields = compression == BI_BITFIELDS;
    const std::uint8_t* masks = info + INFO_HEADER;
    const std::uint64_t masksEnd = BMP_FILE_HEADER + INFO_HEADER + (bitfields ? 12 : 0);
    if (bitfields) {
        if (masksEnd > size) {
            return fail(reason, "its bit-field masks are cut short");
        }
        const std::uint32_t red = u32(masks), green = u32(masks + 4), blue = u32(masks + 8);
        // The alpha mask exists from the 56-byte header on; it must not overlap the colours.
        const std::uint32_t alpha = infoSize >= 56 ? u32(masks + 12) : 0;
        if (!maskIsUsable(red, bitCount) || !maskIsUsable(green, bitCount) ||
            !maskIsUsable(blue, bitCount) || (red & green) || (red & blue) || (green & blue) ||
            (alpha & (red | green | blue)) || (bitCount < 32 && (alpha >> bitCount) != 0)) {
            return fail(reason, "its bit-field masks are empty, broken or overlapping");
        }
    }

    // Only images of 8 or fewer bits per pixel have a palette the decoder reads; any other
    // one is dropped.
    const bool paletted = bitCount <= 8;
    const std::uint32_t colours = 1u << (paletted ? bitCount : 0);
    if (paletted && colorsUsed > colours) {
        return fail(reason, bitCount == 8 ? "its palette has more than 256 colours"
                                          : "its palette has more colours than its bits per pixel can index");
    }
    const std::uint64_t paletteEntries = paletted ? (colorsUsed ? colorsUsed : colours) : 0;
    const std::uint64_t paletteStart = BMP_FILE_HEADER + std::max<std::uint64_t>(infoSize, masksEnd - BMP_FILE_HEADER);
    const std::uint64_t paletteEnd = paletteStart + paletteEntries * 4;
    if (paletteEnd > offBits) {
        return fail(reason, bitCount < 8 ? "its palette for 1 or 4 bits per pixel runs into the pixel data"
                                         : "its headers and palette run into the pixel data");
    }
    std::uint64_t pixelBytes = size - offBits;
    const std::uint64_t stride = scanlineBytes(static_cast<std::uint64_t>(width), bitCount);
    if (compression != BI_RLE8) {
        const std::uint64_t needed = stride * rows;
        if (needed > pixelBytes) {
            return fail(reason, "the pixel data is shorter than the header says");
        }
        pixelBytes = needed;
    } else if (pixelBytes == 0) {
        return fail(reason, "it holds no pixel data");
    }
    if (infoSize == INFO_HEADER && compression != BI_RLE8) {
        return true;
    }

    // The equivalent file with a 40-byte header: file header, info header, the three colour
    // masks when the compression asks for them, the palette, the pixels (RLE8 expanded).
    // Colour-space data and an embedded profile are dropped; the alpha mask has no place in
    // the 40-byte header.
    const std::uint64_t newOffBits = BMP_FILE_HEADER + INFO_HEADER + (bitfields ? 12 : 0) + paletteEntries * 4;
    const std::uint64_t newPixelBytes = compression == BI_RLE8 ? stride * rows : pixelBytes;
    rewritten.assign(static_cast<std::size_t>(newOffBits + newPixelBytes), 0);
    std::uint8_t* out = rewritten.data();
    out[0] = 'B';
    out[1] = 'M';
    put32(out + 2, static_cast<std::uint32_t>(rewritten.size()));
    put32(out + 10, static_cast<std::uint32_t>(newOffBits));
    std::uint8_t* newInfo = out + BMP_FILE_HEADER;
    std::memcpy(newInfo, info, INFO_HEADER);
    put32(newInfo, INFO_HEADER);
    put32(newInfo + 32, static_cast<std::uint32_t>(paletteEntries));
    put32(newInfo + 36, 0);  // every colour counts
    std::uint8_t* next = newInfo + INFO_HEADER;
    if (bitfields) {
        std::memcpy(next, masks, 12);
        next += 12;
    }
    std::memcpy(next, data + paletteStart, static_cast<std::size_t>(paletteEntries * 4));
    next += paletteEntries * 4;
    if (compression == BI_RLE8) {
        put32(newInfo + 16, BI_RGB);
        put32(newInfo + 20, static_cast<std::uint32_t>(newPixelBytes));
        if (!expandRle8(data + offBits, static_cast<std::size_t>(pixelBytes),
                        static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(rows),
                        static_cast<std::uint32_t>(stride), next)) {
            rewritten.clear();
            return fail(reason, "its RLE8 pixel data ends before the image does");
        }
    } else {
        std::memcpy(next, data + offBits, static_cast<std::size_t>(pixelBytes));
    }
    return true;
}

namespace {

// Why an image, as its header or its decoded pixels describe it, cannot be a foot image.
// Sampling reads a grey value from each pixel: the first byte of standard bitmaps, the
// palette of packed 1- to 4-bit ones, the high byte of 16-bit samples. Other pixel types
// hold no grey value and are refused with what to do instead.
const char* unusableReason(FIBITMAP* bitmap, char (&reason)[256])
{
    const FREE_IMAGE_TYPE type = FreeImage_GetImageType(bitmap);
    const unsigned bpp = FreeImage_GetBPP(bitmap);
    if (const char* why = pixelLayoutRefusal(type, bpp)) {
        std::snprintf(reason, sizeof reason, "pixel type %d, %u bits per pixel: %s",
                      static_cast<int>(type), bpp, why);
        return reason;
    }
    const unsigned width = FreeImage_GetWidth(bitmap);
    const unsigned height = FreeImage_GetHeight(bitmap);
    if (width == 0 || height == 0) {
        return "the image holds no pixels";
    }
    if (width > MAX_IMAGE_SIDE || height > MAX_IMAGE_SIDE) {
        std::snprintf(reason, sizeof reason,
                      "%u x %u pixels is larger than the 4096 x 4096 a foot image may have",
                      width, height);
        return reason;
    }
    return nullptr;
}

struct Memory {
    FIMEMORY* handle;
    Memory(const std::uint8_t* data, std::size_t size)
        : handle(FreeImage_OpenMemory(const_cast<BYTE*>(data), static_cast<DWORD>(size)))
    {
    }
    ~Memory() { FreeImage_CloseMemory(handle); }
    Memory(const Memory&) = delete;
    Memory& operator=(const Memory&) = delete;
};

}  // namespace

DoorResult openFootImage(const std::uint8_t* data, std::size_t size)
{
    routeImageLibraryMessages();
    DoorResult result;
    if (size == 0) {
        result.reason = "the file is empty";
        return result;
    }
    if (size > MAX_IMAGE_FILE_BYTES) {
        result.reason = "the file is larger than the 64 MiB a foot image may have";
        return result;
    }
    result.format = detectImageFormat(data, size);
    if (const char* why = formatRefusal(result.format)) {
        if (result.format == FIF_UNKNOWN) {
            result.reason = why;
        } else {
            result.reason = std::string(FreeImage_GetFormatFromFIF(result.format)) +
                            " files are not accepted as foot images: " + why;
        }
        return result;
    }

    std::vector<std::uint8_t> rewritten;
    if (result.format == FIF_BMP) {
        std::string why;
        if (!prepareBmp(data, size, rewritten, why)) {
            result.reason = "BMP refused: " + why;
            return result;
        }
        if (!rewritten.empty()) {
            data = rewritten.data();
            size = rewritten.size();
        }
    }

    if (!FreeImage_FIFSupportsNoPixels(result.format)) {
        result.reason = "its size cannot be checked before its pixels are decoded";
        return result;
    }
    Memory memory(data, size);
    char reason[256];
    {
        FIBITMAP* header = FreeImage_LoadFromMemory(result.format, memory.handle, FIF_LOAD_NOPIXELS);
        if (!header) {
            result.reason = "its header could not be read";
            return result;
        }
        const char* why = unusableReason(header, reason);
        FreeImage_Unload(header);
        if (why) {
            result.reason = why;
            return result;
        }
    }
    FreeImage_SeekMemory(memory.handle, 0, SEEK_SET);
    FIBITMAP* bitmap = FreeImage_LoadFromMemory(result.format, memory.handle, 0);
    if (!bitmap) {
        result.reason = "its pixels could not be decoded";
        return result;
    }
    // The decoder may deliver something other than its header promised.
    const char* why = unusableReason(bitmap, reason);
    if (!why && (!FreeImage_HasPixels(bitmap) || FreeImage_GetBits(bitmap) == nullptr)) {
        why = "the image holds no pixels";
    }
    if (why) {
        FreeImage_Unload(bitmap);
        result.reason = why;
        return result;
    }
    result.bitmap = bitmap;
    return result;
}
