// Dropping a ball-end tool onto the insole's top surface: the lowest height at which the tip
// of a ball can stand over a point without any point of the ball below the surface. The
// surface is the solid's own top triangles (the ones its STL holds), tested as vertices, edges
// and faces, and the table (z = 0) everywhere. Heights in the solid's millimetres.
#pragma once

#include "solid/solid_mesh.h"

#include <cstdint>
#include <vector>

// The top surface filed for fast drops: every vertex, edge and face of the top triangles,
// once each, grouped by the 1 mm square of the grid that holds it, each square knowing its
// highest point and the extent of what it holds. A ball can only be raised by a square whose
// highest point is above the tip found so far and that lies within the ball's reach, so most
// squares are passed over without looking inside.
struct DropSurface {
    struct Vertex {
        double x, y, z;
    };
    // A point of the edge and its direction; `across` is the direction's horizontal length
    // squared, `length` its length squared.
    struct Edge {
        double x, y, z, ux, uy, uz, across, inverseAcross, length, top;
    };
    // The plane n . p = d with a unit normal facing up, and the three sides of the triangle
    // seen from above as lines a x + b y + c >= 0 inside.
    struct Face {
        double nx, ny, nz, d, top, inverseNz;
        double a[3], b[3], c[3];
    };
    struct Square {
        std::uint32_t firstVertex = 0, firstEdge = 0, firstFace = 0;
        double top = 0.0;  // highest z of what it holds; 0 when empty
    };

    // Squares of columns 0..COLUMNS-1 and rows 0..ROWS-1, row by row, and one more whose
    // first indices end the last square's lists.
    static constexpr int COLUMNS = 151;
    static constexpr int ROWS = 361;
    std::vector<Square> squares;
    // The squares' tops alone, packed for the scan over the squares under a ball.
    std::vector<double> tops;
    // For each square, the highest top within reach of a ball of radius nearRadius over any
    // point of it: over a gentle slope only the few squares near the point need a look.
    double nearRadius = 0.0;
    std::vector<double> nearTops;
    std::vector<Vertex> vertices;
    std::vector<Edge> edges;
    std::vector<Face> faces;
    double top = 0.0;  // the highest point of the whole surface
};

// Files the top triangles of the solid (those whose three corners stand above z = 0; walls and
// bottom are left out: a ball dropped beside a wall meets its top edge first), for drops of
// balls of radius up to largestRadius (larger ones are slower, not wrong).
DropSurface makeDropSurface(const SolidMesh& mesh, double largestRadius);

// The lowest height of the tip of a ball of the given radius over (x, y): at least 0 (the
// table), and at least the height at which the ball touches a vertex, an edge or a face.
// `hint`, when given, names a square to look in first and is set to the square that decided
// the height (-1: the table): successive drops along a line are mostly decided by the same
// or a neighbouring square, and looking there first lets most others be passed over.
double dropTip(const DropSurface& surface, double x, double y, double radius, int* hint = nullptr);
