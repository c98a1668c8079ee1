// Small measurements of a grid.
#pragma once

#include "base/grid.h"

// The smallest non-zero value among all 54,720 cells of the grid, the spare columns 150 and
// 151 included, starting from 255: an all-zero grid gives 255. The view traces it as
// "MIN = %d \n" after every recompute.
int gridMinimum(const Grid& grid);
