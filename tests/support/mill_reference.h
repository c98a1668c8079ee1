// A plain reference for milling tests: the insole's top sampled on a fine grid, and how far a
// ball-end tool at a given tip position reaches below it, found by looking at every grid point
// under the ball. Slow and simple, with nothing in common with the toolpath's drop-cutter.
#pragma once

#include "mill/toolpath.h"
#include "solid/solid_mesh.h"

#include <array>
#include <vector>

struct FineSurface {
    // Grid points every STEP mm (1/32 holds every vertex of the solid's top: lattice points,
    // cell centres and the chamfer points 1/32 mm from a corner).
    static constexpr double STEP = 1.0 / 32.0;
    static constexpr int PER_MM = 32;
    int minX = 0;  // the grid covers [minX, maxX] x [minY, maxY] mm
    int minY = 0;
    int maxX = 0;
    int maxY = 0;
    int columns = 0;
    int rows = 0;
    std::vector<double> z;    // the top of the solid at each point, 0 (the table) off the foot
    std::vector<double> top;  // the highest point of each 1 mm block
    // The top triangles' corners (x, y, z three times), and those touching each block.
    std::vector<std::array<double, 9>> triangles;
    std::vector<std::vector<int>> blockTriangles;
    double height(int column, int row) const { return z[static_cast<std::size_t>(row) * columns + column]; }
};

// The top triangles of the mesh (every corner above z = 0), each point taking the highest
// triangle over it.
FineSurface fineSurface(const SolidMesh& mesh);

// How far the ball of radius r with its tip at (x, y, tip) (solid coordinates) reaches below
// the surface or the table; 0 when it is clear.
double ballInside(const FineSurface& surface, double r, double x, double y, double tip);

// How far the ball's surface lies inside the nearest top triangle (r less the distance from
// its centre to the closest point of any triangle), or below the table; 0 when it is clear.
// Exact where the grid is not: on steep walls, where grid points stand far apart in height.
double ballOverlap(const FineSurface& surface, double r, double x, double y, double tip);

// The deepest that the ball reaches below the surface on moves [first, last) of the path,
// each move sampled every `step` mm; `worst` is set to the index of that move.
double deepestOnMoves(const FineSurface& surface, const Toolpath& path, std::size_t first,
                      std::size_t last, double step, std::size_t& worst);

// The depth of cut of every move, from a plain model of the blank that has nothing in common
// with the toolpath's own: the blank's rectangle in cells of `cell` mm, the top of the
// material at each cell's centre; each move stamps the ball (and the flutes above it) every
// `step` mm along it, and takes from a cell what lies above the lowest stamp over it. The
// thickness a move takes is measured against the blank as every earlier move left it.
struct MoveCuts {
    std::vector<double> depth;  // for each move of the path; 0 for the first
    double deepestFeed = 0.0;   // over the cuts and plunges
    std::size_t deepestMove = 0;
};
MoveCuts cutsOfMoves(const Toolpath& path, double cell, double step);
