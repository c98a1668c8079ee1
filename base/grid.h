// The insole's working grids: fixed-size byte grids of 360 rows, one cell per millimetre,
// row 0 at the bottom (the order of OpenGL's pixel transfers and of FreeImage's scanlines),
// 0 meaning a cell outside the foot.
#pragma once

#include <array>
#include <cstdint>

// Columns sampled from a foot image; the width of the view in pixels.
constexpr int FOOT_COLUMNS = 150;
// Rows of every grid; the height of the view in pixels.
constexpr int GRID_ROWS = 360;
// Row stride of footGrid.
constexpr int FOOT_STRIDE = 150;
// Row stride of heightGrid, displayGrid and limitScratch: two spare columns beyond the
// foot, so that a row of the texture is 152 bytes, a multiple of OpenGL's unpack alignment.
constexpr int GRID_STRIDE = 152;
// Bytes of a file-name buffer, terminator included.
constexpr int PATH_BUFFER_SIZE = 1024;

using FootGrid = std::array<std::uint8_t, GRID_ROWS * FOOT_STRIDE>;
using Grid = std::array<std::uint8_t, GRID_ROWS * GRID_STRIDE>;

constexpr int footIndex(int x, int y) { return y * FOOT_STRIDE + x; }
constexpr int gridIndex(int x, int y) { return y * GRID_STRIDE + x; }
