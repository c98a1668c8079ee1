// The image door: which formats come in, header checks before decoding, BMPs with later info
// headers and RLE8 pixels from everyday tools, and lying headers that must never reach the
// decoder.
#include "fuzz/bmp_headers.h"
#include "imagefile/image_door.h"
#include "insole/insole_state.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Outcome {
    bool loaded;
    std::string out;
    std::string err;
};

Outcome loadFile(InsoleState& state, const std::string& path)
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const bool loaded = loadFoot(state, path.c_str());
    std::string out = testing::internal::GetCapturedStdout();
    return {loaded, out, testing::internal::GetCapturedStderr()};
}

Outcome loadBytes(InsoleState& state, const std::vector<std::uint8_t>& bytes)
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const bool loaded = loadFootFromMemory(state, bytes.data(), bytes.size(), "test bytes");
    std::string out = testing::internal::GetCapturedStdout();
    return {loaded, out, testing::internal::GetCapturedStderr()};
}

std::vector<std::uint8_t> saved(FIBITMAP* bitmap, FREE_IMAGE_FORMAT format, int flags = 0)
{
    return bmp_headers::encoded(bitmap, format, flags);
}

std::vector<std::uint8_t> footBmp(int bpp, int width = 150, int height = 360)
{
    FIBITMAP* bitmap = makeBitmap(width, height, bpp, rectangleFoot);
    auto bytes = saved(bitmap, FIF_BMP);
    FreeImage_Unload(bitmap);
    return bytes;
}

// The grey value of each pixel of the loaded image as a person sees it: through the palette
// for 8 bits, the blue byte otherwise (the foot images here are grey, so any channel does).
std::vector<int> greyOf(const SourceImage& image)
{
    std::vector<int> grey;
    const RGBQUAD* palette = FreeImage_GetPalette(image.bitmap);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const std::uint8_t first = image.bits[y * image.pitch + x * image.bytesPerPixel];
            grey.push_back(image.bpp == 8 && palette ? palette[first].rgbBlue : first);
        }
    }
    return grey;
}

std::vector<int> expectedGrey(int width, int height, const PixelValue& value)
{
    std::vector<int> grey;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            grey.push_back(value(x, y));
        }
    }
    return grey;
}

}  // namespace

TEST(ImageDoor, AcceptedFormatsLoadAtEveryDepth)
{
    struct Case {
        FREE_IMAGE_FORMAT format;
        int bpp;
        int flags;
        bool exact;  // lossless: the foot comes back to the byte
    };
    const Case cases[] = {
        {FIF_BMP, 8, 0, true},      {FIF_BMP, 24, 0, true},   {FIF_BMP, 32, 0, true},
        {FIF_BMP, 8, BMP_SAVE_RLE, true},
        {FIF_PNG, 8, 0, true},      {FIF_PNG, 24, 0, true},   {FIF_PNG, 32, 0, true},
        {FIF_TIFF, 8, 0, true},     {FIF_TIFF, 24, 0, true},  {FIF_TIFF, 32, TIFF_LZW, true},
        {FIF_PGMRAW, 8, 0, true},   {FIF_PGM, 8, PNM_SAVE_ASCII, true},
        {FIF_PPMRAW, 24, 0, true},  {FIF_PPM, 24, PNM_SAVE_ASCII, true},
        {FIF_TARGA, 8, 0, true},    {FIF_TARGA, 24, TARGA_SAVE_RLE, true},
        {FIF_TARGA, 32, 0, true},
        {FIF_JPEG, 8, JPEG_QUALITYSUPERB, false}, {FIF_JPEG, 24, JPEG_QUALITYSUPERB, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(FreeImage_GetFormatFromFIF(c.format)) + " " + std::to_string(c.bpp));
        FIBITMAP* bitmap = makeBitmap(150, 360, c.bpp, rectangleFoot);
        const auto bytes = saved(bitmap, c.format, c.flags);
        FreeImage_Unload(bitmap);
        ASSERT_FALSE(bytes.empty());
        auto state = std::make_unique<InsoleState>();
        const Outcome outcome = loadBytes(*state, bytes);
        ASSERT_TRUE(outcome.loaded) << outcome.err;
        EXPECT_EQ(state->sourceImage.width, 150);
        EXPECT_EQ(state->sourceImage.height, 360);
        if (c.exact) {
            EXPECT_EQ(greyOf(state->sourceImage), expectedGrey(150, 360, rectangleFoot));
            EXPECT_EQ(state->footWidth, 110);
            EXPECT_EQ(state->footLength, 300);
        }
    }
}

TEST(ImageDoor, OtherFormatsAreRefusedByNameBeforeDecoding)
{
    TempDir dir;
    struct Case {
        FREE_IMAGE_FORMAT format;
        int bpp;
        const char* name;
    };
    // Formats the library can write here; each one it recognises must be refused by name.
    // PSD is written by hand: the library's PSD writer leaks, which the sanitizer build reports.
    for (const Case c : {Case{FIF_GIF, 8, "GIF"}, Case{FIF_ICO, 8, "ICO"}, Case{FIF_XPM, 24, "XPM"},
                         Case{FIF_PSD, 24, "PSD"}, Case{FIF_J2K, 24, "J2K"}, Case{FIF_WEBP, 24, "WebP"}}) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> bytes;
        if (c.format == FIF_PSD) {
            // Signature, version 1, 6 reserved bytes, 3 channels, 360 x 150, 8 bits, RGB.
            bytes = {'8', 'B', 'P', 'S', 0, 1, 0, 0, 0, 0, 0, 0, 0, 3,
                     0, 0, 1, 104, 0, 0, 0, 150, 0, 8, 0, 3};
            bytes.resize(bytes.size() + 64, 0);
        } else {
            FIBITMAP* bitmap = makeBitmap(16, 16, c.bpp, rectangleFoot);
            bytes = saved(bitmap, c.format);
            FreeImage_Unload(bitmap);
        }
        if (bytes.empty()) {
            continue;  // no writer for it in this build of the library
        }
        const std::string path = dir.file(std::string("foot.") + c.name);
        writeFileBytes(path, std::string(bytes.begin(), bytes.end()));
        auto state = std::make_unique<InsoleState>();
        const Outcome outcome = loadFile(*state, path);
        EXPECT_FALSE(outcome.loaded);
        EXPECT_EQ(outcome.out, "Unable to load texture: ");
        EXPECT_EQ(outcome.err, "Cannot read foot image " + path + ": " + c.name +
                                   " files are not accepted as foot images: " +
                                   formatRefusal(c.format) + "\n");
        // The format recognised is kept even when the door stays shut.
        EXPECT_EQ(state->sourceImage.format, c.format);
        EXPECT_TRUE(state->sourceImage.empty());
    }
}

TEST(ImageDoor, SizesAndDepthsAreRefusedFromTheHeader)
{
    TempDir dir;
    auto state = std::make_unique<InsoleState>();
    // A header promising 100000 x 100000 pixels with no pixels behind it: refused for its size
    // before the decoder tries to read (or allocate) anything.
    for (const char* header : {"P5\n100000 100000\n255\n", "P6\n5000 2\n255\n", "P5\n0 10\n255\n"}) {
        SCOPED_TRACE(header);
        const std::string text = header;
        const Outcome outcome = loadBytes(*state, std::vector<std::uint8_t>(text.begin(), text.end()));
        EXPECT_FALSE(outcome.loaded);
        EXPECT_EQ(outcome.out, "Unable to load texture: ");
        EXPECT_TRUE(outcome.err.find("larger than") != std::string::npos ||
                    outcome.err.find("holds no pixels") != std::string::npos ||
                    outcome.err.find("header") != std::string::npos)
            << outcome.err;
        EXPECT_EQ(outcome.err.find("could not decode"), std::string::npos) << outcome.err;
    }
    // Real files just over the bound, and pixel types sampling cannot use.
    struct Case {
        FIBITMAP* bitmap;
        FREE_IMAGE_FORMAT format;
        const char* why;
    };
    const Case cases[] = {
        {FreeImage_Allocate(MAX_IMAGE_SIDE + 1, 1, 8), FIF_PNG, "larger than the 4096"},
        {FreeImage_Allocate(1, MAX_IMAGE_SIDE + 1, 8), FIF_TIFF, "larger than the 4096"},
        {FreeImage_AllocateT(FIT_FLOAT, 150, 360), FIF_TIFF, "float pixels hold no grey levels"},
        {FreeImage_AllocateT(FIT_RGBF, 150, 360), FIF_TIFF, "save the depth map as 8- or 16-bit grey"},
        {FreeImage_AllocateT(FIT_INT16, 150, 360), FIF_TIFF, "signed or 32-bit integer pixels"},
        {FreeImage_AllocateT(FIT_UINT16, MAX_IMAGE_SIDE + 1, 1), FIF_PNG, "larger than the 4096"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const auto bytes = saved(c.bitmap, c.format);
        FreeImage_Unload(c.bitmap);
        ASSERT_FALSE(bytes.empty());
        const Outcome outcome = loadBytes(*state, bytes);
        EXPECT_FALSE(outcome.loaded);
        EXPECT_EQ(outcome.out, "Unable to load texture: ");
        EXPECT_NE(outcome.err.find(c.why), std::string::npos) << outcome.err;
    }
}

TEST(ImageDoor, FileSizeAndEmptyFiles)
{
    TempDir dir;
    auto state = std::make_unique<InsoleState>();
    writeFileBytes(dir.file("empty.bmp"), "");
    Outcome outcome = loadFile(*state, dir.file("empty.bmp"));
    EXPECT_FALSE(outcome.loaded);
    EXPECT_EQ(outcome.out, "Unable to load texture: ");
    EXPECT_NE(outcome.err.find("the file is empty"), std::string::npos);

    // A valid BMP at the front of a file one byte over the bound is still refused unread.
    const auto bmp = footBmp(8);
    const std::string big = dir.file("big.bmp");
    writeFileBytes(big, std::string(bmp.begin(), bmp.end()));
    ASSERT_EQ(truncate(big.c_str(), static_cast<off_t>(MAX_IMAGE_FILE_BYTES + 1)), 0);
    outcome = loadFile(*state, big);
    EXPECT_FALSE(outcome.loaded);
    EXPECT_NE(outcome.err.find("larger than the 64 MiB"), std::string::npos) << outcome.err;

    // A folder opens but cannot be read as a file.
    outcome = loadFile(*state, dir.path());
    EXPECT_FALSE(outcome.loaded);
    EXPECT_EQ(outcome.out, "Unable to load texture: ");
}

TEST(ImageDoor, LibraryMessagesBecomeTraceLines)
{
    // A JPEG cut off in the middle of its pixels: the header passes, the decoder complains.
    FIBITMAP* bitmap = makeBitmap(150, 360, 24, rectangleFoot);
    auto bytes = saved(bitmap, FIF_JPEG, JPEG_PROGRESSIVE);
    FreeImage_Unload(bitmap);
    bytes.resize(bytes.size() / 3);
    auto state = std::make_unique<InsoleState>();
    const Outcome outcome = loadBytes(*state, bytes);
    EXPECT_NE(outcome.err.find("FreeImage JPEG: "), std::string::npos) << outcome.err;
}

TEST(BmpHeaders, LaterHeadersLoadLikeTheFortyByteOne)
{
    for (int bpp : {8, 16, 24, 32}) {
        FIBITMAP* bitmap = makeBitmap(151, 360, bpp == 16 ? 24 : bpp, rectangleFoot);
        if (bpp == 16) {
            FIBITMAP* c565 = FreeImage_ConvertTo16Bits565(bitmap);
            FreeImage_Unload(bitmap);
            bitmap = c565;
        }
        const auto v3 = saved(bitmap, FIF_BMP);
        FreeImage_Unload(bitmap);
        auto reference = std::make_unique<InsoleState>();
        ASSERT_TRUE(loadBytes(*reference, v3).loaded);
        const std::vector<int> grey = greyOf(reference->sourceImage);

        for (std::uint32_t info : {52u, 56u, 108u, 124u}) {
            for (bool topDown : {false, true}) {
                SCOPED_TRACE("bpp " + std::to_string(bpp) + " header " + std::to_string(info) +
                             (topDown ? " top-down" : ""));
                const auto later = bmp_headers::withLaterHeader(v3, info, topDown, bpp == 32);
                std::vector<std::uint8_t> rewritten;
                std::string reason;
                ASSERT_TRUE(prepareBmp(later.data(), later.size(), rewritten, reason)) << reason;
                ASSERT_GE(rewritten.size(), 54u);
                EXPECT_EQ(bmp_headers::get32(rewritten, 14), 40u);
                EXPECT_EQ(bmp_headers::get32(rewritten, 2), rewritten.size());

                auto state = std::make_unique<InsoleState>();
                const Outcome outcome = loadBytes(*state, later);
                ASSERT_TRUE(outcome.loaded) << outcome.err;
                EXPECT_EQ(state->sourceImage.bpp, bpp);
                EXPECT_EQ(greyOf(state->sourceImage), grey);
                EXPECT_EQ(state->heightGrid, reference->heightGrid);
                EXPECT_EQ(state->sourceImage.format, FIF_BMP);
            }
        }
    }
}

TEST(BmpHeaders, ImageMagickBmpsLoad)
{
    if (std::system("command -v convert >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "ImageMagick's convert is not installed: its BMPs cannot be made";
    }
    TempDir dir;
    writeImage(dir.file("foot.pgm"), FIF_PGMRAW, 150, 360, 8, rectangleFoot);
    struct Case {
        const char* options;
        const char* name;
        int bpp;
        std::uint32_t infoSize;
    };
    // What convert writes by default: V5 headers, RLE8 for a palette, V4 for grey stored as 24 bits.
    const Case cases[] = {
        {"-type Palette", "palette_rle8.bmp", 8, 124},
        {"-type Palette -compress None", "palette.bmp", 8, 124},
        {"-type Grayscale", "grey.bmp", 24, 108},
        {"-type TrueColor", "true.bmp", 24, 124},
        {"-alpha on -define bmp:format=bmp4", "alpha.bmp", 32, 108},
        {"-type TrueColorAlpha", "alpha5.bmp", 32, 124},
        {"-type Palette", "BMP3:palette3.bmp", 8, 40},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string target = c.name;
        const std::string command = "convert " + dir.file("foot.pgm") + " " + c.options + " " +
                                    (target.rfind("BMP3:", 0) == 0 ? "BMP3:" + dir.file(target.substr(5))
                                                                   : dir.file(target));
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        if (target.rfind("BMP3:", 0) == 0) {
            target = target.substr(5);
        }
        const auto bytes = readFileBytes(dir.file(target));
        ASSERT_GE(bytes.size(), 54u);
        EXPECT_EQ(bmp_headers::get32(bytes, 14), c.infoSize) << "convert wrote another header";

        // ImageMagick's palette quantisation may shift grey levels: compare with what it reads
        // back from its own file (rows top-down), not with the picture it started from.
        const std::string raw = dir.file(target + ".gray");
        ASSERT_EQ(std::system(("convert " + dir.file(target) + " -depth 8 gray:" + raw).c_str()), 0);
        const auto topDownGrey = readFileBytes(raw);
        ASSERT_EQ(topDownGrey.size(), 150u * 360u);
        const auto magickGrey = [&](int x, int y) { return topDownGrey[(359 - y) * 150 + x]; };

        auto state = std::make_unique<InsoleState>();
        const Outcome outcome = loadFile(*state, dir.file(target));
        ASSERT_TRUE(outcome.loaded) << outcome.err;
        EXPECT_EQ(outcome.err, "");
        EXPECT_EQ(state->sourceImage.bpp, c.bpp);
        EXPECT_EQ(greyOf(state->sourceImage), expectedGrey(150, 360, magickGrey));
        EXPECT_EQ(state->footWidth, 110);
        EXPECT_EQ(state->footLength, 300);

        // The same file stored top-down (convert writes bottom-up only): rows reversed and a
        // negative height, made from convert's own 40-byte version of the picture.
        if (c.bpp != 8) {
            const std::string v3 = dir.file("v3_" + target);
            ASSERT_EQ(std::system(("convert " + dir.file(target) + " BMP3:" + v3).c_str()), 0);
            const auto topDown = bmp_headers::withLaterHeader(readFileBytes(v3), 124, true, c.bpp == 32);
            auto flipped = std::make_unique<InsoleState>();
            ASSERT_TRUE(loadBytes(*flipped, topDown).loaded);
            EXPECT_EQ(greyOf(flipped->sourceImage), expectedGrey(150, 360, magickGrey));
        }
    }
}

TEST(BmpHeaders, LyingHeadersNeverReachTheDecoder)
{
    FIBITMAP* bitmap = makeBitmap(150, 360, 32, rectangleFoot);
    FIBITMAP* c565 = FreeImage_ConvertTo16Bits565(bitmap);
    const auto v5 = bmp_headers::withLaterHeader(saved(bitmap, FIF_BMP), 124, false, true);
    const auto v5bitfields = bmp_headers::withLaterHeader(saved(c565, FIF_BMP), 124);
    FreeImage_Unload(c565);
    FreeImage_Unload(bitmap);
    const auto v3grey = footBmp(8);
    using bmp_headers::set16;
    using bmp_headers::set32;
    using Bytes = std::vector<std::uint8_t>;
    struct Lie {
        const char* what;
        const Bytes* base;
        std::function<void(Bytes&)> change;
        const char* why;
    };
    const Lie lies[] = {
        {"width 0", &v5, [](Bytes& b) { set32(b, 18, 0); }, "size"},
        {"negative width", &v5, [](Bytes& b) { set32(b, 18, static_cast<std::uint32_t>(-150)); }, "size"},
        {"width 5000", &v5, [](Bytes& b) { set32(b, 18, 5000); }, "size"},
        {"height 0", &v5, [](Bytes& b) { set32(b, 22, 0); }, "size"},
        {"most negative height", &v5, [](Bytes& b) { set32(b, 22, 0x80000000u); }, "size"},
        {"height -5000", &v5, [](Bytes& b) { set32(b, 22, static_cast<std::uint32_t>(-5000)); }, "size"},
        {"height beyond the data", &v5, [](Bytes& b) { set32(b, 22, 361); }, "shorter"},
        {"two planes", &v5, [](Bytes& b) { set16(b, 26, 2); }, "plane"},
        {"4 bits", &v5, [](Bytes& b) { set16(b, 28, 4); }, "bits per pixel"},
        {"7 bits", &v5, [](Bytes& b) { set16(b, 28, 7); }, "bits per pixel"},
        {"64 bits", &v5, [](Bytes& b) { set16(b, 28, 64); }, "bits per pixel"},
        {"RLE4", &v3grey, [](Bytes& b) { set16(b, 28, 4); set32(b, 30, 2); }, "RLE4"},
        {"RLE4 claiming 8 bits", &v3grey, [](Bytes& b) { set32(b, 30, 2); }, "RLE4"},
        {"RLE8 at 32 bits", &v5, [](Bytes& b) { set32(b, 30, 1); }, "RLE8"},
        {"RLE8 top-down", &v3grey, [](Bytes& b) { set32(b, 30, 1); set32(b, 22, static_cast<std::uint32_t>(-360)); }, "RLE8"},
        {"embedded JPEG", &v5, [](Bytes& b) { set32(b, 30, 4); }, "compression"},
        {"embedded PNG", &v5, [](Bytes& b) { set32(b, 30, 5); }, "compression"},
        {"bit fields at 24 bits", &v5bitfields, [](Bytes& b) { set16(b, 28, 24); }, "bit-field"},
        {"zero mask", &v5bitfields, [](Bytes& b) { set32(b, 54, 0); }, "masks"},
        {"overlapping masks", &v5bitfields, [](Bytes& b) { set32(b, 58, 0x0FE0 | 0xF800); }, "masks"},
        {"split mask", &v5bitfields, [](Bytes& b) { set32(b, 62, 0x0015); }, "masks"},
        {"mask beyond 16 bits", &v5bitfields, [](Bytes& b) { set32(b, 54, 0x1F0000); }, "masks"},
        {"alpha over red", &v5bitfields, [](Bytes& b) { set32(b, 66, 0x8000); }, "masks"},
        {"257 colours", &v3grey, [](Bytes& b) { set32(b, 46, 257); }, "palette"},
        {"palette over the pixels", &v3grey, [](Bytes& b) { set32(b, 10, 54 + 100); }, "palette"},
        {"pixels beyond the file", &v5, [](Bytes& b) { set32(b, 10, 0xFFFFFFF0u); }, "beyond the end"},
        {"pixels inside the header", &v5, [](Bytes& b) { set32(b, 10, 20); }, "pixel data"},
        {"header size 64", &v5, [](Bytes& b) { set32(b, 14, 64); }, "no BMP version"},
        {"header size huge", &v5, [](Bytes& b) { set32(b, 14, 0x7FFFFFFF); }, "no BMP version"},
        {"cut in the pixels", &v5, [](Bytes& b) { b.resize(b.size() - 1); }, "shorter"},
        {"cut in the header", &v5, [](Bytes& b) { b.resize(60); }, "cut short"},
        {"cut in the file header", &v5, [](Bytes& b) { b.resize(16); }, "cut short"},
    };
    for (const Lie& lie : lies) {
        SCOPED_TRACE(lie.what);
        Bytes bytes = *lie.base;
        lie.change(bytes);
        std::vector<std::uint8_t> rewritten;
        std::string reason;
        EXPECT_FALSE(prepareBmp(bytes.data(), bytes.size(), rewritten, reason));
        EXPECT_NE(reason.find(lie.why), std::string::npos) << reason;

        auto state = std::make_unique<InsoleState>();
        const Outcome outcome = loadBytes(*state, bytes);
        EXPECT_FALSE(outcome.loaded);
        EXPECT_EQ(outcome.out, "Unable to load texture: ");
        // Refused by the door itself, not by the decoder failing somewhere inside.
        EXPECT_EQ(outcome.err.find("FreeImage"), std::string::npos) << outcome.err;
        EXPECT_EQ(outcome.err.find("could not be"), std::string::npos) << outcome.err;
    }
    // The unchanged files do load: the lies above are what got them refused.
    for (const Bytes* base : {&v5, &v5bitfields, &v3grey}) {
        auto state = std::make_unique<InsoleState>();
        EXPECT_TRUE(loadBytes(*state, *base).loaded);
    }
}

TEST(BmpHeaders, Rle8IsExpandedWithClippingDeltasAndPadding)
{
    // A 5 x 4 image, palette index = grey. Rows bottom-up:
    //   row 0: run of 7 x 9 clipped at the right edge;
    //   row 1: absolute run 1 2 3 (odd, padded), then end of line;
    //   row 2: delta (2, 1) from (0, 2) to (2, 3): row 2 stays 0;
    //   row 3: from column 2, run 2 x 50, then end of bitmap.
    const std::vector<std::uint8_t> rle = {7, 9, 0, 0, 0, 3, 1, 2, 3, 0, 0, 0,
                                           0, 2, 2, 1, 2, 50, 0, 1};
    std::vector<std::uint8_t> v3 = footBmp(8, 5, 4);
    const std::uint32_t offBits = bmp_headers::get32(v3, 10);
    v3.resize(offBits);
    v3.insert(v3.end(), rle.begin(), rle.end());
    bmp_headers::set32(v3, 30, 1);
    bmp_headers::set32(v3, 34, static_cast<std::uint32_t>(rle.size()));
    bmp_headers::set32(v3, 2, static_cast<std::uint32_t>(v3.size()));
    const std::vector<int> expected = {9, 9, 9, 9, 9,   1, 2, 3, 0, 0,
                                       0, 0, 0, 0, 0,   0, 0, 50, 50, 0};
    for (std::uint32_t info : {40u, 124u}) {
        SCOPED_TRACE(info);
        const auto bytes = info == 40 ? v3 : bmp_headers::withLaterHeader(v3, info);
        auto state = std::make_unique<InsoleState>();
        const Outcome outcome = loadBytes(*state, bytes);
        ASSERT_TRUE(outcome.loaded) << outcome.err;
        EXPECT_EQ(greyOf(state->sourceImage), expected);
    }
    // Data that stops before the end-of-bitmap mark with rows still missing is refused.
    std::vector<std::uint8_t> cut = v3;
    cut.resize(offBits + 9);
    auto state = std::make_unique<InsoleState>();
    const Outcome outcome = loadBytes(*state, cut);
    EXPECT_FALSE(outcome.loaded);
    EXPECT_NE(outcome.err.find("RLE8 pixel data ends"), std::string::npos) << outcome.err;
}
