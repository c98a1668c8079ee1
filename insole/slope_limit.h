// The 30-degree slope limit, window-free.
#pragma once

#include "base/grid.h"

// The interior that slope limiting may change: rows 2 to 357 and columns 2 to 147.
constexpr int LIMIT_FIRST_ROW = 2;
constexpr int LIMIT_LAST_ROW = GRID_ROWS - 3;
constexpr int LIMIT_FIRST_COLUMN = 2;
constexpr int LIMIT_LAST_COLUMN = FOOT_COLUMNS - 3;
// Largest rise allowed above a non-zero edge neighbour and above a non-zero corner neighbour.
constexpr int LIMIT_EDGE_RISE = 3;
constexpr int LIMIT_CORNER_RISE = 4;

// Limits the slopes of heightGrid in place. The result is, byte for byte, the grid that the
// plain pass iteration ends with (every pass lowers each interior cell that stands more
// than 3 above a non-zero edge neighbour or more than 4 above a non-zero corner neighbour by
// one, all judged from the values at the start of the pass, until a pass changes nothing):
// the largest grid at or below the input in which every non-zero interior cell stands at
// most 3 above each non-zero edge neighbour and at most 4 above each non-zero corner
// neighbour, every other cell unchanged. Zero cells and the cells outside the interior
// never change.
//
// Method: a forward and a backward raster sweep (each non-zero interior cell := min of
// itself and every non-zero neighbour + its allowed rise, in place; the eight-neighbour
// minimum is written so that the compiler vectorizes it a row at a time), ending early when a sweep lowers nothing; then a checking scan that
// lowers whatever still breaks a limit and hands those cells to a bucket-ordered
// (Dijkstra-like) propagation that settles each remaining cell once. The sweeps settle
// ordinary feet; the propagation keeps the time bounded on maze-like feet, where repeated
// sweeps would need dozens of rounds. Works in place and needs no second grid (the view
// has no limitScratch any more). Allocates nothing; the propagation uses about 215 KiB of
// stack.
void limitSlopes(Grid& heightGrid);

// The same result by the checking scan and the propagation alone, without the sweeps: slower
// on ordinary feet, there so that the tests can hold the propagation to the pass iteration
// on every grid, not only on those that the sweeps leave unfinished.
void limitSlopesWithoutSweeps(Grid& heightGrid);
