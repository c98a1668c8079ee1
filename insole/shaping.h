// Height shaping: turns the grey values read back from the view's drawing into
// insole heights, in place. Window-free: the caller reads footLength and the two slider
// values and prints the returned lowest height with traceLowestHeight.
#pragma once

#include "base/grid.h"

// Shapes columns 0 to 149 of every row of heightGrid (columns 150 and 151 are neither read
// nor written):
//   r = (float)((double)(float)lengthValue / footLength)     length ratio, single precision
//   f = r * heightRatio                                       scale factor, double precision
//   v = (float)(g * f)                                        every cell, single precision
//   m = smallest v with 0 < v < 255, else 255                 strict comparisons, float
//   v = (float)(v - (m - 10)) for v > 0, skipped when m == 10 subtractions in double
//   v clamped to 0..255, then truncated toward zero into the byte.
// A cell of 0 stays 0; every other cell ends at 10 or more when f > 0. Returns m, the value
// that the caller traces as "min %f\n" (255 for a grid without a positive cell). Works on a
// local 360 x 152 float array (about 214 KiB of stack); allocates nothing.
float shapeHeights(Grid& heightGrid, int footLength, double lengthValue, double heightRatio);
