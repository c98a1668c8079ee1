// The insole as a solid: a closed, 2-manifold triangle mesh in millimetres made from a height
// grid, for 3D printers' slicers and CAM programs, and for the 3D view. One cell of the grid
// is 1 mm; a height h stands h x level mm above the flat bottom at z = 0.
#pragma once

#include "base/level.h"
#include "base/grid.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// A point of the solid in millimetres, x along the grid's columns, y along its rows (row 0
// at y = 0), z up. Stored as the 32-bit floats that STL and 3MF files hold, so that a file
// holds exactly the mesh.
struct SolidVertex {
    float x;
    float y;
    float z;
};

// Vertex indices of a triangle, counter-clockwise seen from outside the solid.
using SolidTriangle = std::array<std::uint32_t, 3>;

struct SolidMesh {
    std::vector<SolidVertex> vertices;
    std::vector<SolidTriangle> triangles;

    bool empty() const { return triangles.empty(); }
};

// The solid of the foot cells (height > 0) of columns 0 to 149 of the grid, with `levelMm`
// millimetres per height level. No foot cell, or a level outside MIN_LEVEL_MM..MAX_LEVEL_MM
// (checked with levelInRange before asking), gives an empty mesh. The same grid and level
// give the same vertices and triangles in the same order.
SolidMesh buildSolid(const Grid& heights, double levelMm);

// What a person reads off a solid.
struct SolidFigures {
    std::size_t triangles = 0;
    double volumeMm3 = 0.0;
    double thinnestMm = 0.0;   // lowest top of the solid over the foot (its thinnest point)
    double thickestMm = 0.0;   // highest top
    double footprintWidthMm = 0.0;   // extent along x
    double footprintLengthMm = 0.0;  // extent along y
};

SolidFigures measureSolid(const SolidMesh& mesh);
