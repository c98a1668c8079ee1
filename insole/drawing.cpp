#include "insole/drawing.h"

#include <algorithm>
#include <cmath>

namespace {

// Pixel centres closer than this to a texel boundary or to the quad's edge may be sampled
// either way by a driver. Rasterizers hold positions on a grid of 1/256 pixel; Mesa's
// llvmpipe was seen to pick the neighbouring texel 0.0013 pixel away from a boundary.
constexpr double AMBIGUITY = 1.0 / 256.0;

// Where a pixel centre falls along one axis of the quad: which texel, if any, and whether a
// driver may decide differently.
struct Sample {
    int texel;       // -1 outside the quad
    bool ambiguous;
};

Sample sampleAxis(double centre, double start, int size, int texels)
{
    // Exact in double: the centre is a half pixel, the start a float, and their difference
    // times a texel count of a few hundred needs far fewer than 53 bits.
    const double along = centre - start;
    const double texelSize = static_cast<double>(size) / texels;
    bool ambiguous = std::fabs(along) < AMBIGUITY || std::fabs(along - size) < AMBIGUITY;
    if (along < 0.0 || along >= size) {
        return {-1, ambiguous};
    }
    // The texel is floor(along * texels / size), decided exactly: a centre on a boundary
    // takes the texel above it, whatever rounding a division would bring.
    const double scaled = along * texels;
    int texel = static_cast<int>(std::floor(scaled / size));
    if (static_cast<double>(texel) * size > scaled) {
        --texel;
    } else if (static_cast<double>(texel + 1) * size <= scaled) {
        ++texel;
    }
    const double intoTexel = (scaled - static_cast<double>(texel) * size) / texels;
    ambiguous = ambiguous || intoTexel < AMBIGUITY || texelSize - intoTexel < AMBIGUITY;
    return {texel < texels ? texel : texels - 1, ambiguous};
}

// Pixels outside 0..gridSize - 1 along one axis whose centres fall on texels first..last.
int pixelsBeyondGrid(double start, int size, int texels, int first, int last, int gridSize)
{
    int lost = 0;
    const int from = static_cast<int>(std::floor(start)) - 1;
    const int to = static_cast<int>(std::ceil(start)) + size + 1;
    for (int pixel = from; pixel <= to; ++pixel) {
        if (pixel >= 0 && pixel < gridSize) {
            continue;
        }
        const int texel = sampleAxis(pixel + 0.5, start, size, texels).texel;
        lost += texel >= first && texel <= last;
    }
    return lost;
}

}  // namespace

GridOverflow drawnFootOverflow(const FootBox& box, const QuadPlacement& quad)
{
    GridOverflow overflow;
    if (box.footWidth() <= 0 || box.footLength() <= 0) {
        return overflow;
    }
    overflow.rowsLost = pixelsBeyondGrid(quad.offsetY, quad.quadHeight, GRID_ROWS, box.footMinY,
                                         box.footMaxY, GRID_ROWS);
    overflow.columnsLost = pixelsBeyondGrid(quad.offsetX, quad.quadWidth, GRID_STRIDE,
                                            box.footMinX, box.footMaxX, FOOT_COLUMNS);
    return overflow;
}

QuadPlacement placeQuad(const FootBox& box, float displayWidth, float displayLength)
{
    QuadPlacement quad;
    quad.offsetX = static_cast<float>(75 - (box.footMinX + box.footMaxX) * 0.5 * (displayWidth / 150.0));
    quad.offsetY = static_cast<float>(180 - (box.footMaxY + box.footMinY) * 0.5 * (displayLength / 360.0));
    quad.quadWidth = static_cast<int>(std::ceil(displayWidth)) + 1;
    quad.quadHeight = static_cast<int>(std::floor(displayLength + 0.5));
    return quad;
}

void drawFootOnCpu(const Grid& displayGrid, const QuadPlacement& quad, Grid& drawn, Grid* ambiguous)
{
    drawn.fill(0);
    if (ambiguous) {
        ambiguous->fill(0);
    }
    Sample columns[FOOT_COLUMNS];
    for (int x = 0; x < FOOT_COLUMNS; ++x) {
        columns[x] = sampleAxis(x + 0.5, quad.offsetX, quad.quadWidth, GRID_STRIDE);
    }
    for (int y = 0; y < GRID_ROWS; ++y) {
        const Sample row = sampleAxis(y + 0.5, quad.offsetY, quad.quadHeight, GRID_ROWS);
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            const Sample& column = columns[x];
            if (row.texel >= 0 && column.texel >= 0) {
                drawn[gridIndex(x, y)] = displayGrid[gridIndex(column.texel, row.texel)];
            }
            // A pixel surely outside the quad on one axis is 0 whatever the other axis says.
            const bool surelyOutside = (row.texel < 0 && !row.ambiguous) ||
                                       (column.texel < 0 && !column.ambiguous);
            if (ambiguous && (row.ambiguous || column.ambiguous) && !surelyOutside) {
                (*ambiguous)[gridIndex(x, y)] = 1;
            }
        }
    }
}

namespace {

// Calls `draw(cell, texel)` for every cell of the insole's grid that takes a texel of the
// foot image under the drawing rule: the index of the cell in a Grid and of the texel in a
// FootGrid. Cells outside the quad, and those on the two spare texture columns, are skipped.
template <typename Draw>
void forEachDrawnTexel(const QuadPlacement& quad, Draw draw)
{
    int columns[FOOT_COLUMNS];
    for (int x = 0; x < FOOT_COLUMNS; ++x) {
        columns[x] = sampleAxis(x + 0.5, quad.offsetX, quad.quadWidth, GRID_STRIDE).texel;
    }
    for (int y = 0; y < GRID_ROWS; ++y) {
        const int row = sampleAxis(y + 0.5, quad.offsetY, quad.quadHeight, GRID_ROWS).texel;
        if (row < 0) {
            continue;
        }
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            // Texture columns 150 and 151 lie beyond the foot image: black.
            if (columns[x] < 0 || columns[x] >= FOOT_COLUMNS) {
                continue;
            }
            draw(gridIndex(x, y), footIndex(columns[x], row));
        }
    }
}

}  // namespace

void drawFootLayersOnCpu(const FootLayer* layers, int count, const QuadPlacement& quad)
{
    // The same texel lookups as forEachDrawnTexel, a row at a time: each row of the foot
    // image is copied beside a black texel that every cell without a texel of it points at,
    // so that a layer's row is one straight gather. The relief draws three layers in every
    // recompute of the window.
    constexpr int BLACK = FOOT_COLUMNS;
    int columns[FOOT_COLUMNS];
    for (int x = 0; x < FOOT_COLUMNS; ++x) {
        const int texel = sampleAxis(x + 0.5, quad.offsetX, quad.quadWidth, GRID_STRIDE).texel;
        columns[x] = texel >= 0 && texel < FOOT_COLUMNS ? texel : BLACK;
    }
    std::uint8_t texelRow[FOOT_COLUMNS + 1];
    texelRow[BLACK] = 0;
    for (int y = 0; y < GRID_ROWS; ++y) {
        const int row = sampleAxis(y + 0.5, quad.offsetY, quad.quadHeight, GRID_ROWS).texel;
        for (int k = 0; k < count; ++k) {
            std::uint8_t* out = layers[k].drawn->data() + gridIndex(0, y);
            if (row < 0) {
                std::fill(out, out + GRID_STRIDE, std::uint8_t{0});
                continue;
            }
            const std::uint8_t* in = layers[k].texels->data() + footIndex(0, row);
            std::copy(in, in + FOOT_COLUMNS, texelRow);
            for (int x = 0; x < FOOT_COLUMNS; ++x) {
                out[x] = texelRow[columns[x]];
            }
            out[FOOT_COLUMNS] = 0;
            out[FOOT_COLUMNS + 1] = 0;
        }
    }
}

void drawFootValuesOnCpu(const FootValues& texels, const QuadPlacement& quad, DrawnValues& drawn,
                         float outside)
{
    drawn.fill(outside);
    forEachDrawnTexel(quad, [&](int cell, int texel) { drawn[cell] = texels[texel]; });
}

void drawnPoint(const QuadPlacement& quad, double footX, double footY, double& insoleX,
                double& insoleY)
{
    insoleX = quad.offsetX + footX * quad.quadWidth / GRID_STRIDE;
    insoleY = quad.offsetY + footY * quad.quadHeight / GRID_ROWS;
}
