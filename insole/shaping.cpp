#include "insole/shaping.h"

#include <cstdint>

float shapeHeights(Grid& heightGrid, int footLength, double lengthValue, double heightRatio)
{
    // 360 rows x 152 floats, stride 152 like heightGrid; columns 150 and 151 are never used.
    float shapeGrid[GRID_ROWS * GRID_STRIDE];

    // The length ratio r is rounded to single precision; the factor f stays in double.
    const float r = static_cast<float>(static_cast<double>(static_cast<float>(lengthValue)) /
                                       static_cast<double>(footLength));
    const double f = static_cast<double>(r) * heightRatio;

    // Scale every cell (product in double, stored as float) and find the lowest positive
    // height, which starts at 255 and is lowered only by strict comparisons.
    float m = 255.0f;
    for (int y = 0; y < GRID_ROWS; ++y) {
        const std::uint8_t* in = heightGrid.data() + gridIndex(0, y);
        float* out = shapeGrid + gridIndex(0, y);
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            const float v = static_cast<float>(static_cast<double>(static_cast<float>(in[x])) * f);
            out[x] = v;
            if (v > 0.0f && v < m) {
                m = v;
            }
        }
    }

    // Shift every positive cell by m - 10 (both subtractions in double precision), unless m
    // is exactly 10; then clamp to 0..255 and truncate toward zero into the byte.
    const bool shift = m != 10.0f;
    const double offset = static_cast<double>(m) - 10.0;
    for (int y = 0; y < GRID_ROWS; ++y) {
        const float* in = shapeGrid + gridIndex(0, y);
        std::uint8_t* out = heightGrid.data() + gridIndex(0, y);
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            float v = in[x];
            if (shift && v > 0.0f) {
                v = static_cast<float>(static_cast<double>(v) - offset);
            }
            if (v < 0.0f) {
                v = 0.0f;
            } else if (v > 255.0f) {
                v = 255.0f;
            }
            // After the clamp v lies in 0..255, except a NaN (only possible with a
            // non-finite factor, which the program never produces): it is stored as 0,
            // since converting a NaN to an integer is undefined.
            out[x] = v == v ? static_cast<std::uint8_t>(static_cast<int>(v)) : 0;
        }
    }
    return m;
}
