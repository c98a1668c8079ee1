// The colour scale of heights that every picture of an insole uses: the batch's preview and
// the 3D view, so that a colour means the same height in both.
#pragma once

#include <cstdint>

struct Rgb {
    std::uint8_t r;
    std::uint8_t g;
    std::uint8_t b;
};

// A viridis-like colour for t in 0..1 (dark violet to yellow, lightness rising evenly);
// t outside is clamped.
Rgb heightColour(double t);
