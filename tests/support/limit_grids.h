// Height grids that make slope limiting work hard, shared by the unit tests and the
// benchmark.
#pragma once

#include "base/grid.h"

#include <cstdint>

// A foot-shaped field of 10s (an ellipse filling most of the grid, zeros around it) with a
// plateau of 255 in its middle: the pass iteration needs about 245 passes to bring the
// plateau's edge down, and one sweep in each direction settles it.
Grid steepPlateau();

// Random relief: every cell of the whole grid (spare columns and outer rows included) a
// random value from 1 to 255, from a fixed seed.
Grid randomRelief(std::uint32_t seed);

// A maze that defeats raster sweeps: the interior split into bands of two rows under a
// wall row of zeros; within a band the non-zero cells zig-zag, (x, y) then (x + 1, y + 1)
// then (x + 2, y), ..., so that each cell touches the next only by a corner and a lowering
// travels one cell per sweep (a forward sweep carries it up-right, a backward sweep
// down-right, never both). Every band holds 255 except a cell of `low` at each end, so about
// 60 cells from each end have to come down, in steps of 4. Plain sweeps need about 63
// rounds, the pass iteration about 245 passes.
Grid zigzagMaze(std::uint8_t low = 10);

// The maze that makes raster sweeps iterate the most found so far: the interior covered with
// parallel staircases of non-zero cells, (x, y) on a staircase when y + x / 2 is a multiple
// of 3. Along a staircase the steps alternate east (edge, rise 3) and south-east (corner,
// rise 4); a forward sweep carries a lowering only along the east steps and a backward sweep
// only along the south-east ones, so a lowering advances one cell per sweep, and no two
// staircases touch. Every staircase holds 255 except a cell of `low` at each end. Plain
// sweeps need about 70 rounds, the pass iteration about 310 passes.
Grid staircaseMaze(std::uint8_t low = 10);

// A synthetic grey foot as the view reads it back: an outline of zeros around a foot of
// smooth grey relief (a raised heel rim, an arch, toes), the spare columns 0.
Grid greyFoot();
