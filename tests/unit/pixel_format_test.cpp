// Foot images of 16-bit grey or colour samples and of 1, 2 or 4 bits per pixel: each loads
// with the grey values worked out here from what the test wrote (or from the library's own
// conversion to 24 bits), and its insole reads back with the heights in every sample.
#include "imagefile/insole_export.h"
#include "support/test_support.h"
#include "insole/insole_state.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

struct BitmapDeleter {
    void operator()(FIBITMAP* bitmap) const { FreeImage_Unload(bitmap); }
};
using Bitmap = std::unique_ptr<FIBITMAP, BitmapDeleter>;

// A 16-bit sample whose high and low bytes differ from each other and from the neighbours',
// zero outside the test foot so that the foot is measured as usual.
std::uint16_t sample16(int x, int y, int channel)
{
    if (rectangleFoot(x, y) == 0) {
        return 0;
    }
    return static_cast<std::uint16_t>(((x * 131 + y * 37 + channel * 4099) % 65000) + 256);
}

// Loads a file as Load does and checks every cell of heightGrid against `grey`; the insole
// saved right after the load must then hold, read back, that same grid in every sample.
void expectLoadAndSave(const std::string& path, const std::function<int(int, int)>& grey,
                       FREE_IMAGE_TYPE savedType, unsigned savedBpp, const char* traceWanted)
{
    auto state = std::make_unique<InsoleState>();
    testing::internal::CaptureStdout();
    const bool loaded = loadFoot(*state, path.c_str());
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(loaded) << path;
    int wrong = 0;
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            if (state->heightGrid[gridIndex(x, y)] != grey(x, y) && ++wrong <= 3) {
                ADD_FAILURE() << "cell (" << x << ", " << y << "): "
                              << int{state->heightGrid[gridIndex(x, y)]} << ", expected " << grey(x, y);
            }
        }
    }
    EXPECT_EQ(wrong, 0);

    const std::string insole = path + ".insole.bmp";
    testing::internal::CaptureStderr();
    const bool saved = saveInsole(state->heightGrid, state->sourceImage, insole.c_str());
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(saved) << err;
    if (traceWanted) {
        EXPECT_NE(err.find(traceWanted), std::string::npos) << err;
    } else {
        EXPECT_EQ(err.find("Insole"), std::string::npos) << err;  // kept in its own format
    }
    const FREE_IMAGE_FORMAT format = FreeImage_GetFileType(insole.c_str(), 0);
    Bitmap back(FreeImage_Load(format, insole.c_str(), 0));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(FreeImage_GetImageType(back.get()), savedType);
    ASSERT_EQ(FreeImage_GetBPP(back.get()), savedBpp);
    const unsigned samples = savedType == FIT_BITMAP ? 1 : savedBpp / 16;
    for (int y = 0; y < GRID_ROWS; ++y) {
        const BYTE* line = FreeImage_GetScanLine(back.get(), y);
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            const int h = grey(x, y);
            for (unsigned c = 0; c < samples; ++c) {
                int got = 0;
                if (savedType == FIT_BITMAP) {
                    got = line[x];
                } else {
                    std::uint16_t value;
                    std::memcpy(&value, line + (x * samples + c) * 2, 2);
                    got = value;
                }
                const int want = savedType == FIT_BITMAP ? h : h * 257;
                ASSERT_EQ(got, want) << "pixel (" << x << ", " << y << ") sample " << c;
            }
        }
    }
}

// A 2-bit palette PNG, which FreeImage reads but cannot write: written by hand, rows
// top-down, the palette given as red, green, blue of four colours.
std::vector<std::uint8_t> twoBitPalettePng(int width, int height, const PixelValue& level,
                                           const std::vector<std::uint8_t>& palette)
{
    const int rowBytes = (width * 2 + 7) / 8;
    std::vector<std::uint8_t> raw;
    for (int row = 0; row < height; ++row) {
        raw.push_back(0);  // no filter
        std::vector<std::uint8_t> line(static_cast<std::size_t>(rowBytes), 0);
        for (int x = 0; x < width; ++x) {
            line[static_cast<std::size_t>(x / 4)] |= static_cast<std::uint8_t>((level(x, height - 1 - row) & 3) << (6 - 2 * (x % 4)));
        }
        raw.insert(raw.end(), line.begin(), line.end());
    }
    std::vector<std::uint8_t> packed(raw.size() + raw.size() / 100 + 64);
    const DWORD packedSize = FreeImage_ZLibCompress(packed.data(), static_cast<DWORD>(packed.size()),
                                                    raw.data(), static_cast<DWORD>(raw.size()));
    packed.resize(packedSize);

    std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const auto chunk = [&png](const char* type, const std::vector<std::uint8_t>& data) {
        const auto be32 = [&png](std::uint32_t v) {
            for (int shift = 24; shift >= 0; shift -= 8) {
                png.push_back(static_cast<std::uint8_t>(v >> shift));
            }
        };
        be32(static_cast<std::uint32_t>(data.size()));
        std::vector<std::uint8_t> body(type, type + 4);
        body.insert(body.end(), data.begin(), data.end());
        png.insert(png.end(), body.begin(), body.end());
        be32(FreeImage_ZLibCRC32(0, body.data(), static_cast<DWORD>(body.size())));
    };
    chunk("IHDR", {0, 0, static_cast<std::uint8_t>(width >> 8), static_cast<std::uint8_t>(width),
                   0, 0, static_cast<std::uint8_t>(height >> 8), static_cast<std::uint8_t>(height),
                   2, 3, 0, 0, 0});  // 2 bits, palette
    chunk("PLTE", palette);
    chunk("IDAT", packed);
    chunk("IEND", {});
    return png;
}

}  // namespace

// 16-bit grey in the three formats that carry it, and 16-bit colour: the grey value is the
// high byte of the first sample, and the insole keeps the format with every sample h x 257.
TEST(PixelFormats, SixteenBitSamplesReadTheirHighByteAndSaveAsH257)
{
    TempDir dir;
    struct Case {
        FREE_IMAGE_TYPE type;
        FREE_IMAGE_FORMAT format;
        const char* file;
        unsigned channels;
    };
    const Case cases[] = {
        {FIT_UINT16, FIF_PNG, "grey16.png", 1},   {FIT_UINT16, FIF_TIFF, "grey16.tif", 1},
        {FIT_UINT16, FIF_PGMRAW, "grey16.pgm", 1}, {FIT_RGB16, FIF_PNG, "rgb16.png", 3},
        {FIT_RGB16, FIF_TIFF, "rgb16.tif", 3},    {FIT_RGB16, FIF_PPMRAW, "rgb16.ppm", 3},
        {FIT_RGBA16, FIF_PNG, "rgba16.png", 4},   {FIT_RGBA16, FIF_TIFF, "rgba16.tif", 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        Bitmap bitmap(FreeImage_AllocateT(c.type, 150, 360));
        for (int y = 0; y < 360; ++y) {
            auto* line = reinterpret_cast<std::uint16_t*>(FreeImage_GetScanLine(bitmap.get(), y));
            for (int x = 0; x < 150; ++x) {
                for (unsigned ch = 0; ch < c.channels; ++ch) {
                    line[x * c.channels + ch] = sample16(x, y, static_cast<int>(ch));
                }
            }
        }
        const std::string path = dir.file(c.file);
        ASSERT_TRUE(FreeImage_Save(c.format, bitmap.get(), path.c_str(), 0));
        expectLoadAndSave(path, [](int x, int y) { return sample16(x, y, 0) >> 8; }, c.type,
                          FreeImage_GetBPP(bitmap.get()), nullptr);
    }
}

// Packed pixels read as the library's conversion to 24 bits has them (the palette entry's
// blue), with a colour palette so that the channel matters; the insole is 8-bit grey, in the
// foot image's format where it can hold that, with a line saying so.
TEST(PixelFormats, PackedPixelsReadThroughThePaletteAndSaveAsEightBitGrey)
{
    TempDir dir;
    struct Case {
        unsigned bpp;
        FREE_IMAGE_FORMAT format;
        const char* file;
    };
    for (const Case& c : {Case{1, FIF_PNG, "mono.png"}, Case{4, FIF_PNG, "nibble.png"},
                          Case{1, FIF_BMP, "mono.bmp"}, Case{4, FIF_BMP, "nibble.bmp"},
                          Case{1, FIF_TIFF, "mono.tif"}, Case{4, FIF_TIFF, "nibble.tif"},
                          Case{1, FIF_PBMRAW, "mono.pbm"}}) {
        SCOPED_TRACE(c.file);
        Bitmap bitmap(FreeImage_Allocate(150, 360, static_cast<int>(c.bpp)));
        RGBQUAD* palette = FreeImage_GetPalette(bitmap.get());
        const unsigned colours = 1u << c.bpp;
        for (unsigned i = 0; i < colours; ++i) {
            palette[i].rgbBlue = static_cast<BYTE>(i * 255 / (colours - 1));
            palette[i].rgbGreen = static_cast<BYTE>(255 - i * 10);
            palette[i].rgbRed = static_cast<BYTE>(i * 3 + 7);
        }
        for (int y = 0; y < 360; ++y) {
            for (int x = 0; x < 150; ++x) {
                BYTE index = rectangleFoot(x, y) ? static_cast<BYTE>(1 + (x + y) % (colours - 1)) : 0;
                FreeImage_SetPixelIndex(bitmap.get(), x, y, &index);
            }
        }
        const std::string path = dir.file(c.file);
        ASSERT_TRUE(FreeImage_Save(c.format, bitmap.get(), path.c_str(), 0));

        // What the file holds, by the library's own conversion of what it reads.
        Bitmap read(FreeImage_Load(FreeImage_GetFileType(path.c_str(), 0), path.c_str(), 0));
        Bitmap converted(FreeImage_ConvertTo24Bits(read.get()));
        ASSERT_NE(converted, nullptr);
        const FIBITMAP* view = converted.get();
        const auto grey = [view](int x, int y) {
            return int{FreeImage_GetScanLine(const_cast<FIBITMAP*>(view), y)[x * 3]};
        };
        expectLoadAndSave(path, grey, FIT_BITMAP, 8, "is written as an 8-bit grey image");
    }

    // A 2-bit palette PNG reaches the program as an 8-bit palette image (the library widens
    // it), which loaded before packed pixels did: it keeps the 8-bit reading, the index.
    const PixelValue level = [](int x, int y) -> std::uint8_t {
        return rectangleFoot(x, y) ? static_cast<std::uint8_t>(1 + (x * 2 + y) % 3) : 0;
    };
    const auto png = twoBitPalettePng(150, 360, level, {9, 1, 0, 200, 2, 60, 7, 3, 130, 1, 250, 250});
    writeFileBytes(dir.file("two.png"), std::string(png.begin(), png.end()));
    expectLoadAndSave(dir.file("two.png"), level, FIT_BITMAP, 8, nullptr);
}
