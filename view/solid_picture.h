// The insole solid as the 3D view draws it with OpenGL 1.1 vertex arrays. Plain arrays, made
// without a window, so that the view's draw only hands them to OpenGL.
#pragma once

#include "solid/solid_mesh.h"
#include "view/height_colour.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Every triangle corner on its own, so that the top is shaded smoothly while the walls and
// the bottom keep their sharp edges; triangles in the mesh's order, counter-clockwise seen
// from outside.
struct SolidPicture {
    std::vector<float> positions;       // x, y, z of every corner, millimetres
    std::vector<float> normals;         // unit outward normal of every corner
    std::vector<std::uint8_t> colours;  // r, g, b of every corner

    std::size_t corners() const { return positions.size() / 3; }
};

// The walls and the bottom: a neutral grey that no colour of the height scale comes near.
constexpr Rgb SOLID_SIDE_COLOUR{176, 176, 172};

// The picture of a solid. The top (every triangle that faces upward) is coloured by height
// on the scale from `thinnestMm` (its lowest colour) to `thickestMm` (its highest), as the
// batch's preview colours heights, and its normals are the area-weighted mean of the top's
// faces around each corner. Walls and bottom keep their faces' normals.
SolidPicture pictureOfSolid(const SolidMesh& mesh, double thinnestMm, double thickestMm);
