#include "base/grid_stats.h"

#include <cstdint>

int gridMinimum(const Grid& grid)
{
    std::uint8_t minimum = 255;
    for (const std::uint8_t v : grid) {
        if (v != 0 && v < minimum) {
            minimum = v;
        }
    }
    return minimum;
}
