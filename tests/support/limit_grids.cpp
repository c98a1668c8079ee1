#include "support/limit_grids.h"

#include <cmath>
#include <random>

namespace {

// Whether (x, y) lies inside an ellipse that fills most of the foot area.
bool insideOutline(int x, int y)
{
    const double dx = (x - 74.5) / 68.0;
    const double dy = (y - 179.5) / 170.0;
    return dx * dx + dy * dy <= 1.0;
}

}  // namespace

Grid steepPlateau()
{
    Grid grid{};
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            if (!insideOutline(x, y)) {
                continue;
            }
            const bool plateau = x >= 45 && x < 105 && y >= 120 && y < 240;
            grid[gridIndex(x, y)] = plateau ? 255 : 10;
        }
    }
    return grid;
}

Grid randomRelief(std::uint32_t seed)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> value(1, 255);
    Grid grid{};
    for (auto& cell : grid) {
        cell = static_cast<std::uint8_t>(value(random));
    }
    return grid;
}

Grid zigzagMaze(std::uint8_t low)
{
    Grid grid{};
    // Bands of rows (y, y + 1) for y = 2, 5, 8, ...; rows y + 2 are walls of zeros.
    for (int y = 2; y + 1 <= 357; y += 3) {
        for (int x = 2; x <= 147; ++x) {
            const bool end = x == 2 || x == 147;
            grid[gridIndex(x, y + (x % 2))] = end ? low : 255;
        }
    }
    return grid;
}

Grid staircaseMaze(std::uint8_t low)
{
    Grid grid{};
    for (int y = 2; y <= 357; ++y) {
        for (int x = 2; x <= 147; ++x) {
            if ((y + x / 2) % 3 != 0) {
                continue;
            }
            // The staircase's cells before and after this one (x - 1 and x + 1): an east step
            // leaves an even column, a south-east step an odd one.
            const int yBefore = (x - 1) % 2 == 0 ? y : y + 1;
            const int yAfter = x % 2 == 0 ? y : y - 1;
            const bool end = x == 2 || yBefore > 357 || x == 147 || yAfter < 2;
            grid[gridIndex(x, y)] = end ? low : 255;
        }
    }
    return grid;
}

Grid greyFoot()
{
    Grid grid{};
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            if (!insideOutline(x, y)) {
                continue;
            }
            const double dx = (x - 74.5) / 68.0;
            const double dy = (y - 179.5) / 170.0;
            const double rim = dx * dx + dy * dy;                              // 0 centre, 1 edge
            const double heel = y < 90 ? 60.0 * rim : 0.0;                       // heel cup
            const double arch = 50.0 * std::exp(-std::pow((x - 40) / 18.0, 2) -  // medial arch
                                                std::pow((y - 160) / 45.0, 2));
            const double toes = y > 300 ? 20.0 * std::fabs(std::sin(x / 6.0)) : 0.0;
            const double grey = 40.0 + heel + arch + toes + 25.0 * rim;
            grid[gridIndex(x, y)] = static_cast<std::uint8_t>(std::lround(std::fmin(grey, 255.0)));
        }
    }
    return grid;
}
