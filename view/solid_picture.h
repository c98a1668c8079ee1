// The insole solid as the 3D view draws it with OpenGL 1.1 vertex arrays. Plain arrays, made
// without a window, so that the view's draw only hands them to OpenGL.
#pragma once

#include "base/grid.h"
#include "solid/solid_mesh.h"
#include "insole/height_colour.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Indexed triangles, in the mesh's order and counter-clockwise seen from outside. A mesh
// vertex becomes one picture vertex for the top, shaded smoothly, and one more for each flat
// side it belongs to (the bottom, a wall facing one way), so that the walls and the bottom
// keep their sharp edges while every vertex is lit only once per frame.
struct SolidPicture {
    std::vector<float> positions;       // x, y, z of every vertex, millimetres
    std::vector<float> normals;         // unit outward normal of every vertex
    std::vector<std::uint8_t> colours;  // r, g, b of every vertex
    std::vector<std::uint32_t> indices; // three per triangle

    std::size_t vertices() const { return positions.size() / 3; }
    std::size_t triangles() const { return indices.size() / 3; }
};

// The walls and the bottom: a neutral grey that no colour of the height scale comes near.
constexpr Rgb SOLID_SIDE_COLOUR{176, 176, 172};

// A value for every cell of the insole's grid (360 rows of stride 152; NaN for none) that
// the top may be coloured by instead of its thickness, on the scale from `low` to `high`:
// the placed peak pressure, say.
struct TopValues {
    const float* cells = nullptr;
    double low = 0.0;
    double high = 0.0;
};

// The picture of a solid. The top (every triangle that faces upward) is coloured by height
// on the scale from `thinnestMm` (its lowest colour) to `thickestMm` (its highest), as the
// batch's preview colours heights, or, with `values`, by the value of the cells around each
// top vertex (the highest of them; the side colour where none has a value). Its normals are
// the area-weighted mean of the top's faces around each vertex. Walls and bottom keep their
// faces' normals.
SolidPicture pictureOfSolid(const SolidMesh& mesh, double thinnestMm, double thickestMm,
                            const TopValues* values = nullptr);

// Line segments for the 3D view to draw over a solid: x, y, z of both ends of each, in the
// solid's millimetres.
using SolidLines = std::vector<float>;

// The outlines of the zones (the non-zero cells of zoneMask, told apart by their ids) on the
// top of the solid of `heights`: every cell edge between a zone cell and a cell outside that
// zone, a little above the top, so that the surface never hides it.
SolidLines zoneOutlines(const Grid& zoneMask, const Grid& heights, double levelMm);
