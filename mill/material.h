// The blank as the toolpath cuts it: the top of the material over a grid of square cells on
// the blank's rectangle, read at each cell's centre. Every move of the ball-end tool lowers
// the cells under it to the lowest point of the tool over them, and says how thick the
// material was that it took there. That thickness is the depth of cut a person is warned of:
// a move along a roughing level takes about a step-down, a finishing move the allowance, and
// a move that runs into material roughing never reached takes all of it.
//
// Outside the rectangle there is no material. Heights in the solid's millimetres (z = 0 is
// the table). The tool is the ball of its radius with the cylinder of its flutes above it,
// so that a cell under the tool is cut down to the ball's lower surface over it.
#pragma once

#include <cstddef>
#include <vector>

// Cells are no larger than this share of the tool's radius: fine enough that the deepest
// cut of a move, found at its cells' centres, is within a few hundredths of a millimetre of
// the deepest cut over every point of it where the ball cuts squarely, and within a few
// tenths where only the ball's rim grazes a wall.
constexpr double MATERIAL_CELLS_PER_RADIUS = 4.0;

class MillMaterial {
public:
    // A blank whose top is at `top`, over [minX, maxX] x [minY, maxY], cut by a ball of
    // radius `radius`.
    MillMaterial(double minX, double minY, double maxX, double maxY, double top, double radius);

    // The tool's tip moves in a straight line from (ax, ay, az) to (bx, by, bz): every cell is
    // cut down to the tool over it, and the greatest thickness taken from a cell is returned
    // (0 when the move cuts nothing).
    double cut(double ax, double ay, double az, double bx, double by, double bz);
    // The thickness the same move would take, without cutting.
    double depthOf(double ax, double ay, double az, double bx, double by, double bz) const;

    // The lowest height of the tool's tip over (x, y) at which the ball meets no material,
    // each cell's material taken as standing over the whole cell and a cell beyond it: what
    // a rapid coming down over a point must stay above. 0 where there is none.
    double dropOnto(double x, double y) const;

    // The top of the material at the cell that holds (x, y); 0 outside the blank.
    double topAt(double x, double y) const;

    double cellWidth() const { return cellX_; }
    double cellLength() const { return cellY_; }

private:
    template <bool Cutting>
    double sweep(double ax, double ay, double az, double bx, double by, double bz);

    double minX_, minY_;
    double cellX_, cellY_;
    int columns_, rows_;
    double r_;
    std::vector<float> top_;
};
