#include "insole/height_colour.h"

#include <algorithm>
#include <cmath>

namespace {

// Matplotlib's viridis at ten evenly spaced points; between them the scale is interpolated.
constexpr Rgb SCALE[] = {
    {0x44, 0x01, 0x54}, {0x48, 0x28, 0x78}, {0x3e, 0x49, 0x89}, {0x31, 0x68, 0x8e},
    {0x26, 0x82, 0x8e}, {0x1f, 0x9e, 0x89}, {0x35, 0xb7, 0x79}, {0x6e, 0xce, 0x58},
    {0xb5, 0xde, 0x2b}, {0xfd, 0xe7, 0x25},
};
constexpr int SCALE_STEPS = sizeof SCALE / sizeof SCALE[0] - 1;

}  // namespace

Rgb heightColour(double t)
{
    t = std::clamp(t, 0.0, 1.0) * SCALE_STEPS;
    const int i = std::min(static_cast<int>(t), SCALE_STEPS - 1);
    const double f = t - i;
    const auto mix = [f](std::uint8_t a, std::uint8_t b) {
        return static_cast<std::uint8_t>(std::lround(a + (b - a) * f));
    };
    return {mix(SCALE[i].r, SCALE[i + 1].r), mix(SCALE[i].g, SCALE[i + 1].g),
            mix(SCALE[i].b, SCALE[i + 1].b)};
}
