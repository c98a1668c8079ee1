// Loading a foot image: sampling the bottom-left block, measuring the foot, slider ranges.
#include "imagefile/foot_image.h"
#include "insole/insole_state.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

namespace {

// Loads a foot written by the test, keeping stdout out of the test log.
bool load(InsoleState& state, const std::string& path)
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const bool loaded = loadFoot(state, path.c_str());
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    return loaded;
}

FootGrid footWith(std::initializer_list<std::pair<int, int>> cells)
{
    FootGrid grid{};
    for (auto [x, y] : cells) {
        grid[footIndex(x, y)] = 7;
    }
    return grid;
}

}  // namespace

TEST(Sampling, TakesFirstByteOfEachPixelForEveryDepth)
{
    TempDir dir;
    for (int bpp : {8, 24, 32}) {
        SCOPED_TRACE(bpp);
        // Distinct bytes per channel, so the first byte (blue in FreeImage's order) is checked.
        FIBITMAP* bitmap = makeBitmap(150, 360, bpp, [](int x, int y) {
            return static_cast<std::uint8_t>((x + 3 * y) % 251 + 1);
        });
        const int bytes = bpp / 8;
        for (int y = 0; y < 360; ++y) {
            BYTE* line = FreeImage_GetScanLine(bitmap, y);
            for (int x = 0; x < 150; ++x) {
                for (int i = 1; i < bytes; ++i) {
                    line[x * bytes + i] = 0;  // only the first byte carries the foot
                }
            }
        }
        const std::string path = dir.file("foot" + std::to_string(bpp) + ".bmp");
        ASSERT_TRUE(FreeImage_Save(FIF_BMP, bitmap, path.c_str(), 0));
        FreeImage_Unload(bitmap);

        auto state = std::make_unique<InsoleState>();
        ASSERT_TRUE(load(*state, path));
        for (int y = 0; y < 360; ++y) {
            for (int x = 0; x < 150; ++x) {
                const std::uint8_t v = static_cast<std::uint8_t>((x + 3 * y) % 251 + 1);
                const bool edgeRow = y == 0 || y == 359;
                ASSERT_EQ(state->heightGrid[gridIndex(x, y)], v) << x << "," << y;
                ASSERT_EQ(state->footGrid[footIndex(x, y)], edgeRow ? 0 : v) << x << "," << y;
                ASSERT_EQ(state->displayGrid[gridIndex(x, y)], edgeRow ? 0 : v) << x << "," << y;
            }
        }
        EXPECT_EQ(state->sourceImage.bpp, bpp);
        EXPECT_EQ(state->sourceImage.bytesPerPixel, bytes);
    }
}

TEST(Sampling, LargeImageGivesItsBottomLeftBlockAndSpareColumnsStayZero)
{
    TempDir dir;
    const std::string path = dir.file("large.png");
    writeImage(path, FIF_PNG, 300, 720, 8, [](int x, int y) {
        return static_cast<std::uint8_t>(x < 150 && y < 360 ? 1 + (x + y) % 200 : 255);
    });
    auto state = std::make_unique<InsoleState>();
    ASSERT_TRUE(load(*state, path));
    for (int y = 1; y < 359; ++y) {
        for (int x = 0; x < 150; ++x) {
            ASSERT_EQ(state->displayGrid[gridIndex(x, y)], 1 + (x + y) % 200);
        }
        EXPECT_EQ(state->heightGrid[gridIndex(150, y)], 0);
        EXPECT_EQ(state->displayGrid[gridIndex(151, y)], 0);
    }
}

TEST(Sampling, SmallImageReadsOnlyItsOwnPixels)
{
    TempDir dir;
    const std::string path = dir.file("small.bmp");
    writeImage(path, FIF_BMP, 40, 50, 24, [](int, int) { return std::uint8_t{9}; });
    auto state = std::make_unique<InsoleState>();
    state->heightGrid.fill(77);
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    ASSERT_TRUE(loadFoot(*state, path.c_str()));
    testing::internal::GetCapturedStdout();
    EXPECT_NE(testing::internal::GetCapturedStderr().find("40 x 50 pixels"), std::string::npos);
    for (int y = 0; y < 360; ++y) {
        for (int x = 0; x < 150; ++x) {
            ASSERT_EQ(state->heightGrid[gridIndex(x, y)], x < 40 && y < 50 ? 9 : 0) << x << "," << y;
        }
    }
    EXPECT_EQ(state->footMinX, 1);
    EXPECT_EQ(state->footMaxX, 39);
    EXPECT_EQ(state->footMaxY, 49);
}

TEST(Measuring, BoxOfTheFootInsideTheBorder)
{
    FootGrid rectangle{};
    for (int y = 30; y <= 329; ++y) {
        for (int x = 20; x <= 129; ++x) {
            rectangle[footIndex(x, y)] = 1;
        }
    }
    const FootBox box = measureFoot(rectangle);
    EXPECT_EQ(box.footMinX, 20);
    EXPECT_EQ(box.footMaxX, 129);
    EXPECT_EQ(box.footMinY, 30);
    EXPECT_EQ(box.footMaxY, 329);
    EXPECT_EQ(box.footWidth(), 110);
    EXPECT_EQ(box.footLength(), 300);

    const FootBox single = measureFoot(footWith({{75, 180}}));
    EXPECT_EQ(single.footWidth(), 1);
    EXPECT_EQ(single.footLength(), 1);

    // The outermost rows and columns are not part of the foot.
    const FootBox border = measureFoot(footWith({{0, 100}, {149, 100}, {50, 0}, {50, 359}}));
    EXPECT_EQ(border.footMinX, 150);
    EXPECT_EQ(border.footMaxX, 0);
    EXPECT_EQ(border.footMinY, 360);
    EXPECT_EQ(border.footMaxY, 0);
    EXPECT_EQ(border.footWidth(), -149);
    EXPECT_EQ(border.footLength(), -359);
}

TEST(Measuring, SliderRangesFollowTheMeasuredSize)
{
    const SliderSetting width = widthSliderSetting(110);
    EXPECT_DOUBLE_EQ(width.value, 110);
    EXPECT_DOUBLE_EQ(width.minimum, 88);
    EXPECT_DOUBLE_EQ(width.maximum, 132);
    const SliderSetting length = lengthSliderSetting(300);
    EXPECT_DOUBLE_EQ(length.minimum, 150);
    EXPECT_DOUBLE_EQ(length.maximum, 450);
    // An empty foot gives negative sizes and inverted ranges, but finite ones.
    const SliderSetting emptyWidth = widthSliderSetting(-149);
    EXPECT_DOUBLE_EQ(emptyWidth.minimum, -119.2);
    EXPECT_DOUBLE_EQ(emptyWidth.maximum, -178.8);
    const SliderSetting emptyLength = lengthSliderSetting(-359);
    EXPECT_DOUBLE_EQ(emptyLength.minimum, -179.5);
    EXPECT_DOUBLE_EQ(emptyLength.maximum, -538.5);
}

TEST(Measuring, DrawnSizeOfASliderValue)
{
    EXPECT_EQ(displaySizeFor(110, 110, 150), 150.0f);
    EXPECT_EQ(displaySizeFor(132, 110, 150), 180.0f);
    EXPECT_EQ(displaySizeFor(150, 300, 360), 180.0f);
    // float(v) / size * full, in double, then stored as float.
    EXPECT_EQ(displaySizeFor(97.3, 110, 150), static_cast<float>(static_cast<double>(97.3f) / 110 * 150));
}

TEST(Loading, RedFootHasNoFirstBytesButABlueOneIsFound)
{
    TempDir dir;
    for (auto [name, channel, found] : {std::tuple{"red", 2, false}, std::tuple{"blue", 0, true}}) {
        SCOPED_TRACE(name);
        FIBITMAP* bitmap = makeBitmap(150, 360, 24, [](int, int) { return std::uint8_t{0}; });
        for (int y = 100; y < 200; ++y) {
            FreeImage_GetScanLine(bitmap, y)[60 * 3 + channel] = 255;
        }
        const std::string path = dir.file(std::string(name) + ".bmp");
        ASSERT_TRUE(FreeImage_Save(FIF_BMP, bitmap, path.c_str(), 0));
        FreeImage_Unload(bitmap);
        auto state = std::make_unique<InsoleState>();
        ASSERT_TRUE(load(*state, path));
        EXPECT_EQ(state->footWidth, found ? 1 : -149);
        EXPECT_EQ(state->footLength, found ? 100 : -359);
    }
}

TEST(Loading, FormatComesFromContentsAndNamesMayBeAnything)
{
    TempDir dir;
    for (const char* name : {"LEFT.BMP", "no_extension", "左腳.bmp", "png_named.bmp"}) {
        SCOPED_TRACE(name);
        const bool png = std::string(name) == "png_named.bmp";
        writeImage(dir.file(name), png ? FIF_PNG : FIF_BMP, 150, 360, 8, rectangleFoot);
        auto state = std::make_unique<InsoleState>();
        ASSERT_TRUE(load(*state, dir.file(name)));
        EXPECT_EQ(state->sourceImage.format, png ? FIF_PNG : FIF_BMP);
        EXPECT_EQ(state->footWidth, 110);
        EXPECT_EQ(state->footLength, 300);
        EXPECT_EQ(state->displayWidth, 150.0f);
        EXPECT_EQ(state->displayLength, 360.0f);
    }
}

TEST(Loading, FailedLoadEmptiesTheImageAndKeepsEverythingElse)
{
    TempDir dir;
    writeImage(dir.file("foot.bmp"), FIF_BMP, 150, 360, 8, rectangleFoot);
    writeFileBytes(dir.file("notes.txt"), "this is not an image\n");
    // Pixels that hold no grey value: a float depth map, signed 16-bit samples.
    for (const auto& [type, name] : {std::pair{FIT_FLOAT, "depth.tif"}, std::pair{FIT_INT16, "signed16.tif"}}) {
        FIBITMAP* depth = FreeImage_AllocateT(type, 150, 360);
        ASSERT_TRUE(FreeImage_Save(FIF_TIFF, depth, dir.file(name).c_str(), 0));
        FreeImage_Unload(depth);
    }

    for (const char* bad : {"notes.txt", "depth.tif", "signed16.tif", "missing.bmp"}) {
        SCOPED_TRACE(bad);
        auto state = std::make_unique<InsoleState>();
        ASSERT_TRUE(load(*state, dir.file("foot.bmp")));
        state->displayWidth = 123.0f;
        const Grid heights = state->heightGrid;

        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_FALSE(loadFoot(*state, dir.file(bad).c_str()));
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unable to load texture: ");
        EXPECT_NE(testing::internal::GetCapturedStderr().find(dir.file(bad)), std::string::npos);

        EXPECT_TRUE(state->sourceImage.empty());
        EXPECT_EQ(state->sourceImage.bits, nullptr);
        EXPECT_EQ(state->heightGrid, heights);
        EXPECT_EQ(state->footWidth, 110);
        EXPECT_EQ(state->displayWidth, 123.0f);
    }
}

TEST(Loading, TracesTheImagePropertiesRunTogether)
{
    TempDir dir;
    writeImage(dir.file("foot.bmp"), FIF_BMP, 152, 360, 24, rectangleFoot);
    auto state = std::make_unique<InsoleState>();
    testing::internal::CaptureStdout();
    ASSERT_TRUE(loadFoot(*state, dir.file("foot.bmp").c_str()));
    // 152 pixels of 3 bytes make 456 bytes, already a multiple of 4.
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "width 152height 360dpmX 2835pitch 456bpp 24");
}

TEST(Loading, EachLoadReleasesTheBitmapBeforeIt)
{
    // Under the sanitizer build the leak checker runs on this binary: a bitmap that a load
    // replaced without releasing it shows up there as a leak.
    TempDir dir;
    auto state = std::make_unique<InsoleState>();
    for (int i = 0; i < 10; ++i) {
        const std::string path = dir.file("foot" + std::to_string(i) + ".png");
        writeImage(path, FIF_PNG, 150, 360, i % 2 ? 24 : 8,
                   [i](int x, int y) { return static_cast<std::uint8_t>(rectangleFoot(x, y) ? 10 + i : 0); });
        ASSERT_TRUE(load(*state, path));
    }
    EXPECT_EQ(state->sourceImage.bits[0], 0);
    EXPECT_EQ(state->heightGrid[gridIndex(60, 200)], 19);
    EXPECT_EQ(state->sourceImage.bpp, 24);
}

namespace {

struct Traced {
    bool loaded;
    std::string out;
    std::string err;
};

Traced loadTraced(InsoleState& state, const std::string& path)
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    Traced t;
    t.loaded = loadFoot(state, path.c_str());
    t.out = testing::internal::GetCapturedStdout();
    t.err = testing::internal::GetCapturedStderr();
    return t;
}

// A foot with a ragged rim, so that a lossy encoder leaves specks of grey around it.
std::uint8_t raggedFoot(int x, int y)
{
    const double dx = (x - 75) / 45.0;
    const double dy = (y - 180) / 130.0;
    return dx * dx + dy * dy <= 1.0 ? static_cast<std::uint8_t>(40 + (x * 37 + y * 11) % 200) : 0;
}

}  // namespace

TEST(LoadWarnings, LossySpecksPixelsOutsideTheBlockAndTiffNoise)
{
    TempDir dir;
    auto state = std::make_unique<InsoleState>();
    // JPEG turns a black background into specks of grey 1-3: each a piece of insole.
    writeImage(dir.file("foot.jpg"), FIF_JPEG, 150, 360, 8, raggedFoot, JPEG_QUALITYNORMAL);
    Traced t = loadTraced(*state, dir.file("foot.jpg"));
    ASSERT_TRUE(t.loaded);
    EXPECT_GT(state->lossySpecks, 0);
    EXPECT_NE(t.err.find("Lossy foot image " + dir.file("foot.jpg") + ": its background holds " +
                         std::to_string(state->lossySpecks) + " specks"),
              std::string::npos) << t.err;
    EXPECT_NE(t.err.find("save the foot as PNG or BMP"), std::string::npos);
    // The same foot without loss: no speck, no word.
    writeImage(dir.file("foot.png"), FIF_PNG, 150, 360, 8, raggedFoot);
    t = loadTraced(*state, dir.file("foot.png"));
    EXPECT_EQ(state->lossySpecks, 0);
    EXPECT_EQ(t.err, "");

    // Foot beyond the bottom-left block that is read; a 152-wide image with empty spare
    // columns has none.
    writeImage(dir.file("tall.png"), FIF_PNG, 150, 400, 8,
               [](int x, int y) { return y >= 300 && y < 380 && x > 40 && x < 90 ? 50 : 0; });
    t = loadTraced(*state, dir.file("tall.png"));
    EXPECT_EQ(state->pixelsOutsideBlock, 20 * 49);
    EXPECT_NE(t.err.find("980 pixels of foot lie outside the 150 x 360 block"), std::string::npos) << t.err;
    writeImage(dir.file("spare.bmp"), FIF_BMP, 152, 360, 8, rectangleFoot);
    t = loadTraced(*state, dir.file("spare.bmp"));
    EXPECT_EQ(state->pixelsOutsideBlock, 0);
    EXPECT_EQ(t.err, "");

    // TIFFs carry tags the decoder does not know, each reported until the door took its
    // messages over; a TIFF that cannot be read still says why.
    writeImage(dir.file("foot.tif"), FIF_TIFF, 150, 360, 8, rectangleFoot);
    t = loadTraced(*state, dir.file("foot.tif"));
    EXPECT_TRUE(t.loaded);
    EXPECT_EQ(t.err, "");
    writeFileBytes(dir.file("broken.tif"), std::string("II*\0\x08\0\0\0\x01\0", 10));
    t = loadTraced(*state, dir.file("broken.tif"));
    EXPECT_FALSE(t.loaded);
    EXPECT_NE(t.err.find("FreeImage TIFF: "), std::string::npos) << t.err;
}

TEST(LoadWarnings, ABinaryStlCutShortSaysSo)
{
    TempDir dir;
    auto state = std::make_unique<InsoleState>();
    std::string stl(80, 'x');
    stl += std::string("\x64\0\0\0", 4);  // 100 triangles stated
    stl += std::string(50 * 40, '\x01');   // 40 there
    writeFileBytes(dir.file("scan.stl"), stl);
    Traced t = loadTraced(*state, dir.file("scan.stl"));
    EXPECT_FALSE(t.loaded);
    EXPECT_EQ(t.err, "Cannot read foot scan " + dir.file("scan.stl") +
                         ": a binary STL of 2084 bytes cannot hold its stated 100 triangles\n");
    // The same bytes under another name are no scan the program can tell.
    writeFileBytes(dir.file("scan.dat"), stl);
    t = loadTraced(*state, dir.file("scan.dat"));
    EXPECT_NE(t.err.find("nor a 3D scan"), std::string::npos) << t.err;
}
