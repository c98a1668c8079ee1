// The preview picture: its size, the scale, the outline and the labelled colour bar.
#include "batch/preview.h"

#include <gtest/gtest.h>

namespace {

bool same(Rgb a, Rgb b) { return a.r == b.r && a.g == b.g && a.b == b.b; }

double luminance(Rgb c) { return 0.2126 * c.r + 0.7152 * c.g + 0.0722 * c.b; }

// A block foot: heights rising from 10 at its left edge to 200 at its right.
Grid blockFoot()
{
    Grid grid{};
    for (int y = 50; y < 300; ++y) {
        for (int x = 30; x <= 120; ++x) {
            grid[gridIndex(x, y)] = static_cast<std::uint8_t>(10 + (x - 30) * 190 / 90);
        }
    }
    return grid;
}

int inkIn(const PreviewImage& image, int left, int top, int width, int height)
{
    int count = 0;
    for (int y = top; y < top + height; ++y) {
        for (int x = left; x < left + width; ++x) {
            count += same(image.at(x, y), PREVIEW_INK);
        }
    }
    return count;
}

}  // namespace

TEST(BatchPreview, ScaleRunsFromDarkVioletToYellowWithRisingLightness)
{
    EXPECT_TRUE(same(heightColour(0.0), Rgb{0x44, 0x01, 0x54}));
    EXPECT_TRUE(same(heightColour(1.0), Rgb{0xfd, 0xe7, 0x25}));
    EXPECT_TRUE(same(heightColour(-3.0), heightColour(0.0)));
    EXPECT_TRUE(same(heightColour(7.0), heightColour(1.0)));
    for (int i = 1; i <= 100; ++i) {
        EXPECT_GT(luminance(heightColour(i / 100.0)), luminance(heightColour((i - 1) / 100.0)))
            << "at " << i;
    }
}

TEST(BatchPreview, LabelsSpanTheHeightsWithoutRepeats)
{
    EXPECT_EQ(barLabels({10, 104}), (std::vector<int>{10, 34, 57, 81, 104}));
    EXPECT_EQ(barLabels({10, 11}), (std::vector<int>{10, 11}));
    EXPECT_EQ(barLabels({37, 37}), (std::vector<int>{37}));

    const Grid grid = blockFoot();
    const HeightRange range = heightRange(grid);
    EXPECT_EQ(range.lowest, 10);
    EXPECT_EQ(range.highest, 200);
    EXPECT_EQ(heightRange(Grid{}).lowest, 0);
    EXPECT_EQ(heightRange(Grid{}).highest, 0);
}

TEST(BatchPreview, MapIsEnlargedWithBackgroundOutlineAndColours)
{
    const PreviewImage image = renderPreview(blockFoot());
    ASSERT_EQ(image.width, PREVIEW_WIDTH);
    ASSERT_EQ(image.height, PREVIEW_HEIGHT);
    ASSERT_EQ(image.rgb.size(), static_cast<std::size_t>(image.width) * image.height * 3);
    EXPECT_GE(image.width, FOOT_COLUMNS * 3);
    EXPECT_GE(image.height, GRID_ROWS * 3);

    // Cell (x, y) covers picture pixels from (10 + 3x, 10 + 3 (359 - y)).
    const auto centre = [&](int x, int y) {
        return image.at(PREVIEW_MARGIN + x * 3 + 1, PREVIEW_MARGIN + (GRID_ROWS - 1 - y) * 3 + 1);
    };
    EXPECT_TRUE(same(centre(5, 5), PREVIEW_BACKGROUND));
    EXPECT_TRUE(same(centre(30, 100), heightColour(0.0)));
    EXPECT_TRUE(same(centre(120, 100), heightColour(1.0)));
    // The lowest row of the foot (row 50) sits low in the picture, not high.
    EXPECT_TRUE(same(centre(60, 50), centre(60, 200)));
    EXPECT_TRUE(same(centre(60, 49), PREVIEW_BACKGROUND));

    // The outline: ink on the outer pixel line of the boundary cells, none inside.
    const int leftEdge = PREVIEW_MARGIN + 30 * 3;
    const int row = PREVIEW_MARGIN + (GRID_ROWS - 1 - 150) * 3 + 1;
    EXPECT_TRUE(same(image.at(leftEdge, row), PREVIEW_INK));
    EXPECT_FALSE(same(image.at(leftEdge + 1, row), PREVIEW_INK));
    EXPECT_TRUE(same(image.at(PREVIEW_MARGIN + 120 * 3 + 2, row), PREVIEW_INK));
    const int topEdge = PREVIEW_MARGIN + (GRID_ROWS - 1 - 299) * 3;
    EXPECT_TRUE(same(image.at(PREVIEW_MARGIN + 60 * 3 + 1, topEdge), PREVIEW_INK));
    EXPECT_EQ(inkIn(image, PREVIEW_MARGIN + 40 * 3, PREVIEW_MARGIN + 100 * 3, 150, 300), 0);
}

TEST(BatchPreview, ColourBarRunsFromHighestAtTopWithLabelsBeside)
{
    const PreviewImage image = renderPreview(blockFoot());
    const int x = PREVIEW_BAR_LEFT + PREVIEW_BAR_WIDTH / 2;
    EXPECT_TRUE(same(image.at(x, PREVIEW_BAR_TOP), heightColour(1.0)));
    EXPECT_TRUE(same(image.at(x, PREVIEW_BAR_TOP + PREVIEW_BAR_HEIGHT - 1), heightColour(0.0)));
    // Five labels: ink beside the top, middle and bottom of the bar, none far from them.
    const int labelWidth = PREVIEW_WIDTH - PREVIEW_LABEL_LEFT;
    EXPECT_GT(inkIn(image, PREVIEW_LABEL_LEFT, PREVIEW_BAR_TOP - 8, labelWidth, 16), 20);
    EXPECT_GT(inkIn(image, PREVIEW_LABEL_LEFT, PREVIEW_BAR_TOP + PREVIEW_BAR_HEIGHT / 2 - 8,
                    labelWidth, 16), 20);
    EXPECT_GT(inkIn(image, PREVIEW_LABEL_LEFT, PREVIEW_BAR_TOP + PREVIEW_BAR_HEIGHT - 9,
                    labelWidth, 16), 20);
    EXPECT_EQ(inkIn(image, PREVIEW_LABEL_LEFT, PREVIEW_BAR_TOP + PREVIEW_BAR_HEIGHT / 8 - 6,
                    labelWidth, 12), 0);

    // "200" at the top and "10" at the bottom: a three-digit label is wider than a two-digit one.
    const auto rightmostInk = [&](int centreY) {
        int rightmost = 0;
        for (int y = centreY - 8; y < centreY + 8; ++y) {
            for (int x2 = PREVIEW_LABEL_LEFT; x2 < PREVIEW_WIDTH; ++x2) {
                if (same(image.at(x2, y), PREVIEW_INK)) {
                    rightmost = std::max(rightmost, x2);
                }
            }
        }
        return rightmost;
    };
    EXPECT_GT(rightmostInk(PREVIEW_BAR_TOP), rightmostInk(PREVIEW_BAR_TOP + PREVIEW_BAR_HEIGHT - 1));
}

TEST(BatchPreview, EmptyGridGivesBackgroundWithoutBar)
{
    const PreviewImage image = renderPreview(Grid{});
    EXPECT_TRUE(same(image.at(PREVIEW_MARGIN + 200, PREVIEW_MARGIN + 500), PREVIEW_BACKGROUND));
    EXPECT_EQ(inkIn(image, 0, 0, image.width, image.height), 0);
}
