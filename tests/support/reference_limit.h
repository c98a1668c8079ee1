// Plain, slow slope limiters that the tests and the benchmark compare limitSlopes with.
#pragma once

#include "base/grid.h"

// The plain pass iteration, step by step: every pass judges all interior cells from
// the grid as it stood at the start of the pass and lowers each offending cell by one in a
// second grid, which is then copied back; stops after the first pass that changes nothing.
// Returns the number of passes, that last one included.
int referenceLimitSlopes(Grid& heightGrid);

// One pass of that iteration (steps 1 to 3 for a single pass). Returns whether it lowered a
// cell.
bool referenceLimitPass(Grid& heightGrid);

// Plain raster sweeps, forward (bottom row first, left to right) then backward, alternately:
// each non-zero interior cell := min(itself, every non-zero neighbour + allowed rise), in
// place, until a sweep changes nothing. Returns the number of sweeps, that last one
// included. Gives the same grid as the pass iteration; the benchmark uses the count to
// show how many sweeps a foot needs.
int sweepLimitSlopes(Grid& heightGrid);
