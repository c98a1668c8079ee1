#include "view/shaping.h"

#include <cstdint>

float shapeHeights(Grid& heightGrid, int footLength, double lengthValue, double heightRatio)
{
    // 360 rows x 152 floats, stride 152 like heightGrid; columns 150 and 151 are never used.
    float shapeGrid[GRID_ROWS * GRID_STRIDE];

    // Steps 2 and 3: r rounded to single precision, f kept in double precision.
    const float r = static_cast<float>(static_cast<double>(static_cast<float>(lengthValue)) /
                                       static_cast<double>(footLength));
    const double f = static_cast<double>(r) * heightRatio;

    // Steps 1, 4 and 5: load, scale (product in double, stored as float), lowest height.
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

    // Step 7: shift every positive cell by m - 10, both subtractions in double precision;
    // skipped when m is exactly 10. Step 8: clamp. Step 9: truncate toward zero.
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
            // non-finite factor, which the program never produces): it is stored as 0, the
            // low byte that the original's float-to-int conversion gives, instead of
            // converting it, which would be undefined.
            out[x] = v == v ? static_cast<std::uint8_t>(static_cast<int>(v)) : 0;
        }
    }
    return m;
}
