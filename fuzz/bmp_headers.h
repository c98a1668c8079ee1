// Builds BMPs with the later info headers (52, 56, 108 or 124 bytes) from a BMP with the
// 40-byte header, the way image editors write them: masks inside the header, an sRGB colour
// space, optionally rows stored top-down. Used to seed the fuzzer and by the tests.
#pragma once

#include <FreeImage.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace bmp_headers {

// The file FreeImage writes for the bitmap in the format, in memory; empty when it cannot.
inline std::vector<std::uint8_t> encoded(FIBITMAP* bitmap, FREE_IMAGE_FORMAT format, int flags = 0)
{
    FIMEMORY* memory = FreeImage_OpenMemory();
    std::vector<std::uint8_t> bytes;
    BYTE* data = nullptr;
    DWORD size = 0;
    if (FreeImage_SaveToMemory(format, bitmap, memory, flags) &&
        FreeImage_AcquireMemory(memory, &data, &size)) {
        bytes.assign(data, data + size);
    }
    FreeImage_CloseMemory(memory);
    return bytes;
}

inline std::uint32_t get32(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

inline void set32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

inline void set16(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v)
{
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

// `v3` is a BMP with the 40-byte header. Masks of a BI_BITFIELDS image move into the header;
// a 32-bit image gets the alpha mask 0xFF000000 when `alpha` is set. With `topDown` an
// uncompressed image gets a negative height and its rows in top-down order.
inline std::vector<std::uint8_t> withLaterHeader(const std::vector<std::uint8_t>& v3,
                                                 std::uint32_t infoSize, bool topDown = false,
                                                 bool alpha = false)
{
    const std::uint32_t offBits = get32(v3, 10);
    const std::int32_t width = static_cast<std::int32_t>(get32(v3, 18));
    const std::int32_t height = static_cast<std::int32_t>(get32(v3, 22));
    const unsigned bitCount = v3[28] | v3[29] << 8;
    const std::uint32_t compression = get32(v3, 30);
    const bool bitfields = compression == 3;
    const std::size_t paletteStart = 14 + 40 + (bitfields ? 12 : 0);

    std::vector<std::uint8_t> out(14 + infoSize, 0);
    out[0] = 'B';
    out[1] = 'M';
    std::memcpy(out.data() + 14, v3.data() + 14, 40);
    set32(out, 14, infoSize);
    if (bitfields) {
        std::memcpy(out.data() + 14 + 40, v3.data() + 54, 12);
    } else if (infoSize >= 52 && bitCount == 32) {
        // Editors fill in the masks even when the compression does not use them.
        set32(out, 14 + 40, 0x00FF0000);
        set32(out, 14 + 44, 0x0000FF00);
        set32(out, 14 + 48, 0x000000FF);
    }
    if (infoSize >= 56 && alpha) {
        set32(out, 14 + 52, 0xFF000000);
    }
    if (infoSize >= 108) {
        set32(out, 14 + 56, 0x73524742);  // 'sRGB'
    }
    if (infoSize >= 124) {
        set32(out, 14 + 108, 4);  // rendering intent: perceptual
    }
    out.insert(out.end(), v3.begin() + static_cast<long>(paletteStart), v3.begin() + offBits);
    const std::uint32_t newOffBits = static_cast<std::uint32_t>(out.size());
    if (topDown && compression != 1 && height > 0) {
        const std::size_t stride = (static_cast<std::size_t>(width) * bitCount + 31) / 32 * 4;
        for (std::int32_t row = height - 1; row >= 0; --row) {
            const auto start = v3.begin() + offBits + static_cast<long>(row * stride);
            out.insert(out.end(), start, start + static_cast<long>(stride));
        }
        set32(out, 22, static_cast<std::uint32_t>(-height));
    } else {
        out.insert(out.end(), v3.begin() + offBits, v3.end());
    }
    set32(out, 2, static_cast<std::uint32_t>(out.size()));
    set32(out, 10, newOffBits);
    return out;
}

// The 12-byte header of OS/2 1.x BMPs, from a bottom-up 8 or 24-bit BMP with the 40-byte
// header and a full 256-colour palette for 8 bits.
inline std::vector<std::uint8_t> withOs2Header(const std::vector<std::uint8_t>& v3)
{
    const std::uint32_t offBits = get32(v3, 10);
    const unsigned bitCount = v3[28] | v3[29] << 8;
    std::vector<std::uint8_t> out(14 + 12, 0);
    out[0] = 'B';
    out[1] = 'M';
    set32(out, 14, 12);
    set16(out, 18, get32(v3, 18));
    set16(out, 20, get32(v3, 22));
    set16(out, 22, 1);
    set16(out, 24, bitCount);
    if (bitCount == 8) {
        for (std::size_t i = 54; i + 4 <= offBits; i += 4) {
            out.insert(out.end(), v3.begin() + static_cast<long>(i), v3.begin() + static_cast<long>(i) + 3);
        }
    }
    const std::uint32_t newOffBits = static_cast<std::uint32_t>(out.size());
    out.insert(out.end(), v3.begin() + offBits, v3.end());
    set32(out, 2, static_cast<std::uint32_t>(out.size()));
    set32(out, 10, newOffBits);
    return out;
}

}  // namespace bmp_headers
