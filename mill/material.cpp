#include "mill/material.h"

#include <algorithm>
#include <cmath>

MillMaterial::MillMaterial(double minX, double minY, double maxX, double maxY, double top,
                           double radius)
    : minX_(minX), minY_(minY), r_(radius)
{
    // Whole cells across the rectangle, each no wider than the share of the radius.
    const double largest = radius / MATERIAL_CELLS_PER_RADIUS;
    columns_ = std::max(1, static_cast<int>(std::ceil((maxX - minX) / largest - 1e-9)));
    rows_ = std::max(1, static_cast<int>(std::ceil((maxY - minY) / largest - 1e-9)));
    cellX_ = std::max(maxX - minX, 1e-9) / columns_;
    cellY_ = std::max(maxY - minY, 1e-9) / rows_;
    top_.assign(static_cast<std::size_t>(columns_) * rows_, static_cast<float>(top));
}

namespace {

// A cell under the tool: lowered to it where the tool is below its top, and the thickness
// taken there kept when it is the greatest so far.
template <bool Cutting>
void take(float& top, double tool, double& deepest)
{
    const double thickness = top - tool;
    if (thickness > deepest) {
        deepest = thickness;
    }
    if (Cutting && thickness > 0.0) {
        top = static_cast<float>(tool);
    }
}

}  // namespace

// The lowest point over a cell's centre q of the tool whose ball's centre runs from
// C(0) = a + (0, 0, r) to C(1) = b + (0, 0, r): min over t of Cz(t) - sqrt(r^2 - |q - C(t)|^2),
// taken where the ball covers q. With u = q - a, h = b - a seen from above and dz the rise,
// that is convex in t; its stationary point lies where u.h - t|h|^2 = w with
// w = dz |h| rho / sqrt(|h|^2 + dz^2), rho^2 being r^2 less the square of q's distance from
// the line. Clamped to the move, it is the lowest point, unless the ball over the clamped
// point does not cover q, in which case no ball of the move does.
template <bool Cutting>
double MillMaterial::sweep(double ax, double ay, double az, double bx, double by, double bz)
{
    const double r = r_;
    const double r2 = r * r;
    const double hx = bx - ax, hy = by - ay, dz = bz - az;
    const double length2 = hx * hx + hy * hy;
    const int firstColumn = std::max(0, static_cast<int>(std::floor((std::min(ax, bx) - r - minX_) / cellX_)));
    const int lastColumn = std::min(columns_ - 1, static_cast<int>(std::floor((std::max(ax, bx) + r - minX_) / cellX_)));
    const int firstRow = std::max(0, static_cast<int>(std::floor((std::min(ay, by) - r - minY_) / cellY_)));
    const int lastRow = std::min(rows_ - 1, static_cast<int>(std::floor((std::max(ay, by) + r - minY_) / cellY_)));
    double deepest = 0.0;
    if (length2 < 1e-12) {
        // Straight down or up: the ball at the lower end.
        const double low = std::min(az, bz) + r;
        for (int row = firstRow; row <= lastRow; ++row) {
            const double uy = minY_ + (row + 0.5) * cellY_ - ay;
            float* line = &top_[static_cast<std::size_t>(row) * columns_];
            for (int column = firstColumn; column <= lastColumn; ++column) {
                const double ux = minX_ + (column + 0.5) * cellX_ - ax;
                const double g = r2 - ux * ux - uy * uy;
                if (g <= 0.0) {
                    continue;
                }
                take<Cutting>(line[column], low - std::sqrt(g), deepest);
            }
        }
        return deepest;
    }
    const double inverse = 1.0 / length2;
    const double slope = dz * std::sqrt(length2 / (length2 + dz * dz));
    const double centre = az + r;
    for (int row = firstRow; row <= lastRow; ++row) {
        const double uy = minY_ + (row + 0.5) * cellY_ - ay;
        float* line = &top_[static_cast<std::size_t>(row) * columns_];
        for (int column = firstColumn; column <= lastColumn; ++column) {
            const double ux = minX_ + (column + 0.5) * cellX_ - ax;
            const double along = ux * hx + uy * hy;
            const double across = ux * hy - uy * hx;
            const double rho2 = r2 - across * across * inverse;
            if (rho2 <= 0.0) {
                continue;
            }
            const double w = dz != 0.0 ? slope * std::sqrt(rho2) : 0.0;
            const double t = std::clamp((along - w) * inverse, 0.0, 1.0);
            const double px = ux - t * hx, py = uy - t * hy;
            const double g = r2 - px * px - py * py;
            if (g <= 0.0) {
                continue;
            }
            const double tool = centre + t * dz - std::sqrt(g);
            take<Cutting>(line[column], tool, deepest);
        }
    }
    return deepest;
}

double MillMaterial::cut(double ax, double ay, double az, double bx, double by, double bz)
{
    return sweep<true>(ax, ay, az, bx, by, bz);
}

double MillMaterial::depthOf(double ax, double ay, double az, double bx, double by, double bz) const
{
    return const_cast<MillMaterial*>(this)->sweep<false>(ax, ay, az, bx, by, bz);
}

double MillMaterial::dropOnto(double x, double y) const
{
    // A cell read at its centre may have been cut there while material still stands in the
    // part of it beyond a cut's rim, as high as in the cell beside it: every cell is taken
    // as reaching a cell's diagonal nearer than it does.
    const double r = r_;
    const double diagonal = std::hypot(cellX_, cellY_);
    const double reach = r + diagonal;
    const int firstColumn = std::max(0, static_cast<int>(std::floor((x - reach - minX_) / cellX_)));
    const int lastColumn = std::min(columns_ - 1, static_cast<int>(std::floor((x + reach - minX_) / cellX_)));
    const int firstRow = std::max(0, static_cast<int>(std::floor((y - reach - minY_) / cellY_)));
    const int lastRow = std::min(rows_ - 1, static_cast<int>(std::floor((y + reach - minY_) / cellY_)));
    double tip = 0.0;
    for (int row = firstRow; row <= lastRow; ++row) {
        const double y0 = minY_ + row * cellY_;
        const double dy = std::max({y0 - y, 0.0, y - (y0 + cellY_)});
        for (int column = firstColumn; column <= lastColumn; ++column) {
            const double x0 = minX_ + column * cellX_;
            const double dx = std::max({x0 - x, 0.0, x - (x0 + cellX_)});
            // The ball's surface is lowest over the cell's nearest point.
            const double near = std::max(0.0, std::hypot(dx, dy) - diagonal);
            const double g = r * r - near * near;
            if (g > 0.0) {
                tip = std::max(tip, top_[static_cast<std::size_t>(row) * columns_ + column] - r + std::sqrt(g));
            }
        }
    }
    return tip;
}

double MillMaterial::topAt(double x, double y) const
{
    const int column = static_cast<int>(std::floor((x - minX_) / cellX_));
    const int row = static_cast<int>(std::floor((y - minY_) / cellY_));
    if (column < 0 || row < 0 || column >= columns_ || row >= rows_) {
        return 0.0;
    }
    return top_[static_cast<std::size_t>(row) * columns_ + column];
}
