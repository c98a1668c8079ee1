#include "support/reference_limit.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr int FIRST_ROW = 2;
constexpr int LAST_ROW = 357;
constexpr int FIRST_COLUMN = 2;
constexpr int LAST_COLUMN = 147;

struct Neighbour {
    int dx;
    int dy;
    int rise;
};
constexpr Neighbour NEIGHBOURS[8] = {
    {-1, 0, 3}, {1, 0, 3}, {0, -1, 3}, {0, 1, 3}, {-1, -1, 4}, {1, -1, 4}, {-1, 1, 4}, {1, 1, 4},
};

// Whether sweeping cell (x, y) lowered it.
bool sweepCell(Grid& grid, int x, int y)
{
    const int h = grid[gridIndex(x, y)];
    if (h == 0) {
        return false;
    }
    int v = h;
    for (const Neighbour& n : NEIGHBOURS) {
        const int value = grid[gridIndex(x + n.dx, y + n.dy)];
        if (value != 0) {
            v = std::min(v, value + n.rise);
        }
    }
    grid[gridIndex(x, y)] = static_cast<std::uint8_t>(v);
    return v != h;
}

// One pass of the iteration: every value read from heightGrid, every lowered value
// written into limitScratch. Returns the flag.
bool onePass(const Grid& heightGrid, Grid& limitScratch)
{
    bool lowered = false;
    for (int y = FIRST_ROW; y <= LAST_ROW; ++y) {
        for (int x = FIRST_COLUMN; x <= LAST_COLUMN; ++x) {
            const int h = heightGrid[gridIndex(x, y)];
            if (h == 0) {
                continue;
            }
            // Whether any non-zero neighbour lies more than its allowed rise below h (all
            // eight are looked at, without branching, which keeps the oracle quick).
            bool offends = false;
            for (const Neighbour& n : NEIGHBOURS) {
                const int value = heightGrid[gridIndex(x + n.dx, y + n.dy)];
                offends |= (value != 0) & (h - value > n.rise);
            }
            if (offends) {
                limitScratch[gridIndex(x, y)] = static_cast<std::uint8_t>(h - 1);
                lowered = true;
            }
        }
    }
    return lowered;
}

}  // namespace

bool referenceLimitPass(Grid& heightGrid)
{
    Grid limitScratch = heightGrid;
    const bool lowered = onePass(heightGrid, limitScratch);
    heightGrid = limitScratch;
    return lowered;
}

int referenceLimitSlopes(Grid& heightGrid)
{
    // The second grid starts as a copy of the whole grid.
    Grid limitScratch = heightGrid;
    int passes = 0;
    bool lowered = true;
    while (lowered) {
        // One pass, then the whole second grid copied back.
        lowered = onePass(heightGrid, limitScratch);
        ++passes;
        heightGrid = limitScratch;
    }
    return passes;
}

int sweepLimitSlopes(Grid& heightGrid)
{
    int sweeps = 0;
    bool lowered = true;
    while (lowered) {
        lowered = false;
        const bool forward = sweeps % 2 == 0;
        ++sweeps;
        for (int i = 0; i <= LAST_ROW - FIRST_ROW; ++i) {
            const int y = forward ? FIRST_ROW + i : LAST_ROW - i;
            for (int j = 0; j <= LAST_COLUMN - FIRST_COLUMN; ++j) {
                const int x = forward ? FIRST_COLUMN + j : LAST_COLUMN - j;
                lowered |= sweepCell(heightGrid, x, y);
            }
        }
    }
    return sweeps;
}
