// Where the foot is drawn and which texel each view pixel shows.
#include "insole/drawing.h"

#include <gtest/gtest.h>

namespace {

Grid numberedTexels()
{
    Grid grid{};
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < GRID_STRIDE; ++x) {
            grid[gridIndex(x, y)] = static_cast<std::uint8_t>(1 + (x * 13 + y * 7) % 250);
        }
    }
    return grid;
}

}  // namespace

TEST(QuadPlacement, CentresTheFootBoxOnTheView)
{
    const FootBox box{20, 129, 30, 329};
    const QuadPlacement natural = placeQuad(box, 150.0f, 360.0f);
    EXPECT_EQ(natural.offsetX, 0.5f);  // 75 - 149 / 2
    EXPECT_EQ(natural.offsetY, 0.5f);  // 180 - 359 / 2
    EXPECT_EQ(natural.quadWidth, 151);
    EXPECT_EQ(natural.quadHeight, 360);

    const QuadPlacement stretched = placeQuad(box, 180.0f, 180.0f);
    EXPECT_EQ(stretched.offsetX, static_cast<float>(75 - 149 * 0.5 * (180.0 / 150)));
    EXPECT_EQ(stretched.offsetY, static_cast<float>(180 - 359 * 0.5 * (180.0 / 360)));
    EXPECT_EQ(stretched.quadWidth, 181);
    EXPECT_EQ(stretched.quadHeight, 180);

    // Rounding of the quad's size.
    EXPECT_EQ(placeQuad(box, 150.2f, 359.5f).quadWidth, 152);
    EXPECT_EQ(placeQuad(box, 150.2f, 359.5f).quadHeight, 360);
    EXPECT_EQ(placeQuad(box, 150.0f, 359.4f).quadHeight, 359);
}

TEST(CpuDrawing, OneTexelPerPixelCopiesTheGridExactly)
{
    const Grid texels = numberedTexels();
    Grid drawn{};
    Grid ambiguous{};
    drawFootOnCpu(texels, QuadPlacement{0.0f, 0.0f, GRID_STRIDE, GRID_ROWS}, drawn, &ambiguous);
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < GRID_STRIDE; ++x) {
            const std::uint8_t expected = x < FOOT_COLUMNS ? texels[gridIndex(x, y)] : 0;
            ASSERT_EQ(drawn[gridIndex(x, y)], expected) << x << "," << y;
            ASSERT_EQ(ambiguous[gridIndex(x, y)], 0) << x << "," << y;
        }
    }
}

TEST(CpuDrawing, StretchedQuadRepeatsTexelsAndLeavesTheRestBlack)
{
    const Grid texels = numberedTexels();
    Grid drawn{};
    // Twice the size, moved 10 pixels right and 20 up.
    drawFootOnCpu(texels, QuadPlacement{10.0f, 20.0f, 2 * GRID_STRIDE, 2 * GRID_ROWS}, drawn);
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            const bool covered = x >= 10 && y >= 20;
            const std::uint8_t expected = covered ? texels[gridIndex((x - 10) / 2, (y - 20) / 2)] : 0;
            ASSERT_EQ(drawn[gridIndex(x, y)], expected) << x << "," << y;
        }
    }
}

TEST(CpuDrawing, MarksPixelCentresOnTexelBoundariesAndQuadEdges)
{
    const Grid texels = numberedTexels();
    Grid drawn{};
    Grid ambiguous{};
    // Moved half a pixel: every pixel centre sits on a texel boundary or the quad's edge.
    drawFootOnCpu(texels, QuadPlacement{0.5f, 0.0f, GRID_STRIDE, GRID_ROWS}, drawn, &ambiguous);
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            ASSERT_EQ(ambiguous[gridIndex(x, y)], 1) << x << "," << y;
        }
    }
    // Far from the quad nothing is ambiguous: a quad entirely above the view.
    drawFootOnCpu(texels, QuadPlacement{0.0f, 400.0f, GRID_STRIDE, GRID_ROWS}, drawn, &ambiguous);
    EXPECT_EQ(drawn, Grid{});
    EXPECT_EQ(ambiguous, Grid{});
}

TEST(CpuDrawing, LayersOfTheFootImageAreDrawnExactlyAsTheFoot)
{
    // The relief's layers and the placed pressure take, cell for cell, what the foot drawn
    // from the same grid takes, at every stretch and shift, the grid's edges included.
    FootGrid layer{};
    FootValues values{};
    Grid asTexture{};
    for (int y = 1; y < GRID_ROWS - 1; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            layer[footIndex(x, y)] = static_cast<std::uint8_t>(1 + (x * 31 + y * 17) % 250);
            values[footIndex(x, y)] = layer[footIndex(x, y)] * 0.5f;
            asTexture[gridIndex(x, y)] = layer[footIndex(x, y)];
        }
    }
    const FootBox box{20, 129, 30, 329};
    Grid foot{};
    Grid drawn{};
    DrawnValues drawnValues{};
    for (float width = 100.0f; width <= 200.0f; width += 7.3f) {
        for (float length = 170.0f; length <= 560.0f; length += 23.9f) {
            SCOPED_TRACE(testing::Message() << width << " x " << length);
            const QuadPlacement quad = placeQuad(box, width, length);
            drawFootOnCpu(asTexture, quad, foot);
            const FootLayer layers[] = {{&layer, &drawn}};
            drawFootLayersOnCpu(layers, 1, quad);
            ASSERT_EQ(drawn, foot);
            drawFootValuesOnCpu(values, quad, drawnValues, -1.0f);
            for (int i = 0; i < GRID_ROWS * GRID_STRIDE; ++i) {
                const float expected = foot[i] ? foot[i] * 0.5f : drawnValues[i];
                ASSERT_EQ(drawnValues[i], expected) << i;
            }
        }
    }
}
