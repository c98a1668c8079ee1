// What every insole solid must be, checked on the mesh as it is stored (32-bit floats): a
// closed 2-manifold per piece of foot, true to the heights of the grid it was made from.
#pragma once

#include "solid/solid_mesh.h"
#include "base/grid.h"

#include <string>

// Foot cells of columns 0 to 149, and their 4-connected pieces.
int footCellCount(const Grid& heights);
int footPieceCount(const Grid& heights);

// Checks the mesh of `heights` at `levelMm` and returns every broken rule, one per line (at
// most a few examples of each), or an empty string when it is sound:
// - every edge is used by exactly two triangles, once in each direction; no triangle is flat
//   or repeated; no two vertices have equal coordinates; every vertex is used;
// - each 4-connected piece of foot is one shell of its own, with positive volume;
// - the top faces up, the bottom (z = 0) faces down, every other triangle is vertical;
// - every foot cell's centre vertex stands at exactly float(h x level);
// - the volume is within `volumeTolerance` (relative) of the sum of h x level, and the bottom's
//   area within 1 % of the number of foot cells.
std::string solidProblems(const SolidMesh& mesh, const Grid& heights, double levelMm,
                          double volumeTolerance = 0.01);
