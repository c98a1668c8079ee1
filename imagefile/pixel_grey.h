// Where a pixel's grey value lies, for every pixel layout a foot image may come in. Nothing
// of it is stored: it follows from the bitmap's pixel type, depth and palette.
#pragma once

#include "imagefile/source_image.h"

#include <FreeImage.h>

#include <cstdint>

struct GreyReader {
    // Whole-byte pixels: the grey value is byte `offset` of the `bytesPerPixel` bytes of a
    // pixel. The first byte for standard bitmaps (the index of an 8-bit palette image, blue
    // of a 24- or 32-bit one); the high byte of the first sample for 16-bit samples, which
    // this little-endian host stores second.
    int bytesPerPixel = 0;
    int offset = 0;
    // Packed palette pixels of 1, 2 or 4 bits: the palette entry's blue, which is what a
    // conversion to 24 bits puts in the pixel's first byte. 0 for whole-byte pixels.
    int bitsPerIndex = 0;
    const RGBQUAD* palette = nullptr;
    unsigned paletteSize = 0;

    // Grey value of pixel x of a scanline; x must lie inside the bitmap's width.
    std::uint8_t grey(const std::uint8_t* scanline, int x) const
    {
        if (bitsPerIndex == 0) {
            return scanline[x * bytesPerPixel + offset];
        }
        const int bit = x * bitsPerIndex;
        const int shift = 8 - bitsPerIndex - bit % 8;
        const unsigned index = (scanline[bit / 8] >> shift) & ((1u << bitsPerIndex) - 1);
        return index < paletteSize ? palette[index].rgbBlue : 0;
    }
};

// The reader for a loaded image. A record without a bitmap (filled by hand) reads the first
// byte of each pixel, bytesPerPixel apart.
GreyReader greyReaderFor(const SourceImage& image);

// Why pixels of this type and depth hold no grey value a foot image can use, and what to do
// instead; nullptr when they do.
const char* pixelLayoutRefusal(FREE_IMAGE_TYPE type, unsigned bpp);

// A new 8-bit bitmap with a grey palette (entry i is grey i), or null; the caller unloads it.
// Insoles of packed pixels and the foot images made from scans are such bitmaps.
FIBITMAP* allocateGreyBitmap(int width, int height);
