#include "support/mill_reference.h"

#include <algorithm>
#include <cmath>

FineSurface fineSurface(const SolidMesh& mesh)
{
    FineSurface s;
    float minX = 1e9f, minY = 1e9f, maxX = -1e9f, maxY = -1e9f;
    for (const SolidVertex& v : mesh.vertices) {
        minX = std::min(minX, v.x);
        minY = std::min(minY, v.y);
        maxX = std::max(maxX, v.x);
        maxY = std::max(maxY, v.y);
    }
    s.minX = static_cast<int>(std::floor(minX));
    s.minY = static_cast<int>(std::floor(minY));
    s.maxX = static_cast<int>(std::ceil(maxX));
    s.maxY = static_cast<int>(std::ceil(maxY));
    s.columns = (s.maxX - s.minX) * FineSurface::PER_MM + 1;
    s.rows = (s.maxY - s.minY) * FineSurface::PER_MM + 1;
    s.z.assign(static_cast<std::size_t>(s.columns) * s.rows, 0.0);
    for (const SolidTriangle& t : mesh.triangles) {
        const SolidVertex& a = mesh.vertices[t[0]];
        const SolidVertex& b = mesh.vertices[t[1]];
        const SolidVertex& c = mesh.vertices[t[2]];
        if (!(a.z > 0 && b.z > 0 && c.z > 0)) {
            continue;
        }
        const double area = (static_cast<double>(b.x) - a.x) * (static_cast<double>(c.y) - a.y) -
                            (static_cast<double>(c.x) - a.x) * (static_cast<double>(b.y) - a.y);
        const int c0 = static_cast<int>(std::floor((std::min({a.x, b.x, c.x}) - s.minX) * FineSurface::PER_MM));
        const int c1 = static_cast<int>(std::ceil((std::max({a.x, b.x, c.x}) - s.minX) * FineSurface::PER_MM));
        const int r0 = static_cast<int>(std::floor((std::min({a.y, b.y, c.y}) - s.minY) * FineSurface::PER_MM));
        const int r1 = static_cast<int>(std::ceil((std::max({a.y, b.y, c.y}) - s.minY) * FineSurface::PER_MM));
        for (int row = std::max(r0, 0); row <= std::min(r1, s.rows - 1); ++row) {
            for (int column = std::max(c0, 0); column <= std::min(c1, s.columns - 1); ++column) {
                const double x = s.minX + column * FineSurface::STEP;
                const double y = s.minY + row * FineSurface::STEP;
                // Barycentric weights of the point in the triangle seen from above.
                const double wa = ((b.x - x) * (c.y - y) - (c.x - x) * (b.y - y)) / area;
                const double wb = ((c.x - x) * (a.y - y) - (a.x - x) * (c.y - y)) / area;
                const double wc = 1.0 - wa - wb;
                if (wa < -1e-9 || wb < -1e-9 || wc < -1e-9) {
                    continue;
                }
                double& z = s.z[static_cast<std::size_t>(row) * s.columns + column];
                z = std::max(z, wa * a.z + wb * b.z + wc * c.z);
            }
        }
    }
    const int blocksX = s.maxX - s.minX;
    const int blocksY = s.maxY - s.minY;
    s.blockTriangles.resize(static_cast<std::size_t>(blocksX) * blocksY);
    for (const SolidTriangle& t : mesh.triangles) {
        const SolidVertex& a = mesh.vertices[t[0]];
        const SolidVertex& b = mesh.vertices[t[1]];
        const SolidVertex& c = mesh.vertices[t[2]];
        if (!(a.z > 0 && b.z > 0 && c.z > 0)) {
            continue;
        }
        const int index = static_cast<int>(s.triangles.size());
        s.triangles.push_back({a.x, a.y, a.z, b.x, b.y, b.z, c.x, c.y, c.z});
        const int bx0 = std::max(0, static_cast<int>(std::floor(std::min({a.x, b.x, c.x}))) - s.minX);
        const int bx1 = std::min(blocksX - 1, static_cast<int>(std::floor(std::max({a.x, b.x, c.x}))) - s.minX);
        const int by0 = std::max(0, static_cast<int>(std::floor(std::min({a.y, b.y, c.y}))) - s.minY);
        const int by1 = std::min(blocksY - 1, static_cast<int>(std::floor(std::max({a.y, b.y, c.y}))) - s.minY);
        for (int by = by0; by <= by1; ++by) {
            for (int bx = bx0; bx <= bx1; ++bx) {
                s.blockTriangles[static_cast<std::size_t>(by) * blocksX + bx].push_back(index);
            }
        }
    }
    s.top.assign(static_cast<std::size_t>(blocksX) * blocksY, 0.0);
    for (int row = 0; row < s.rows; ++row) {
        for (int column = 0; column < s.columns; ++column) {
            const int bx = std::min(column / FineSurface::PER_MM, blocksX - 1);
            const int by = std::min(row / FineSurface::PER_MM, blocksY - 1);
            double& top = s.top[static_cast<std::size_t>(by) * blocksX + bx];
            top = std::max(top, s.height(column, row));
        }
    }
    return s;
}

double ballInside(const FineSurface& s, double r, double x, double y, double tip)
{
    double worst = std::max(0.0, -tip);
    const double centre = tip + r;
    const int blocksX = s.maxX - s.minX;
    const int blocksY = s.maxY - s.minY;
    const int bx0 = std::max(0, static_cast<int>(std::floor(x - r)) - s.minX);
    const int bx1 = std::min(blocksX - 1, static_cast<int>(std::floor(x + r)) - s.minX);
    const int by0 = std::max(0, static_cast<int>(std::floor(y - r)) - s.minY);
    const int by1 = std::min(blocksY - 1, static_cast<int>(std::floor(y + r)) - s.minY);
    for (int by = by0; by <= by1; ++by) {
        for (int bx = bx0; bx <= bx1; ++bx) {
            // The ball's surface over the block is nowhere lower than over its nearest point.
            const double x0 = s.minX + bx, y0 = s.minY + by;
            const double dx = std::max({x0 - x, 0.0, x - (x0 + 1)});
            const double dy = std::max({y0 - y, 0.0, y - (y0 + 1)});
            const double near2 = dx * dx + dy * dy;
            if (near2 >= r * r || s.top[static_cast<std::size_t>(by) * blocksX + bx] <=
                                      centre - std::sqrt(r * r - near2) + worst) {
                continue;
            }
            const int lastColumn = std::min((bx + 1) * FineSurface::PER_MM, s.columns - 1);
            const int lastRow = std::min((by + 1) * FineSurface::PER_MM, s.rows - 1);
            for (int row = by * FineSurface::PER_MM; row <= lastRow; ++row) {
                for (int column = bx * FineSurface::PER_MM; column <= lastColumn; ++column) {
                    const double px = s.minX + column * FineSurface::STEP - x;
                    const double py = s.minY + row * FineSurface::STEP - y;
                    const double d2 = px * px + py * py;
                    if (d2 < r * r) {
                        worst = std::max(worst, s.height(column, row) - (centre - std::sqrt(r * r - d2)));
                    }
                }
            }
        }
    }
    return worst;
}

namespace {

struct Vec {
    double x, y, z;
};
Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec operator+(Vec a, Vec b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec operator*(double k, Vec a) { return {k * a.x, k * a.y, k * a.z}; }
double dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// The point of triangle abc closest to p, by the regions of its vertices, edges and face
// (the textbook method of Ericson's Real-Time Collision Detection, 5.1.5).
Vec closestOnTriangle(Vec p, Vec a, Vec b, Vec c)
{
    const Vec ab = b - a, ac = c - a, ap = p - a;
    const double d1 = dot(ab, ap), d2 = dot(ac, ap);
    if (d1 <= 0 && d2 <= 0) {
        return a;
    }
    const Vec bp = p - b;
    const double d3 = dot(ab, bp), d4 = dot(ac, bp);
    if (d3 >= 0 && d4 <= d3) {
        return b;
    }
    const double vc = d1 * d4 - d3 * d2;
    if (vc <= 0 && d1 >= 0 && d3 <= 0) {
        return a + (d1 / (d1 - d3)) * ab;
    }
    const Vec cp = p - c;
    const double d5 = dot(ab, cp), d6 = dot(ac, cp);
    if (d6 >= 0 && d5 <= d6) {
        return c;
    }
    const double vb = d5 * d2 - d1 * d6;
    if (vb <= 0 && d2 >= 0 && d6 <= 0) {
        return a + (d2 / (d2 - d6)) * ac;
    }
    const double va = d3 * d6 - d5 * d4;
    if (va <= 0 && (d4 - d3) >= 0 && (d5 - d6) >= 0) {
        return b + ((d4 - d3) / ((d4 - d3) + (d5 - d6))) * (c - b);
    }
    const double denominator = 1.0 / (va + vb + vc);
    return a + (vb * denominator) * ab + (vc * denominator) * ac;
}

}  // namespace

double ballOverlap(const FineSurface& s, double r, double x, double y, double tip)
{
    double worst = std::max(0.0, -tip);
    const Vec centre{x, y, tip + r};
    const int blocksX = s.maxX - s.minX;
    const int blocksY = s.maxY - s.minY;
    const int bx0 = std::max(0, static_cast<int>(std::floor(x - r)) - s.minX);
    const int bx1 = std::min(blocksX - 1, static_cast<int>(std::floor(x + r)) - s.minX);
    const int by0 = std::max(0, static_cast<int>(std::floor(y - r)) - s.minY);
    const int by1 = std::min(blocksY - 1, static_cast<int>(std::floor(y + r)) - s.minY);
    for (int by = by0; by <= by1; ++by) {
        for (int bx = bx0; bx <= bx1; ++bx) {
            for (int index : s.blockTriangles[static_cast<std::size_t>(by) * blocksX + bx]) {
                const std::array<double, 9>& t = s.triangles[index];
                const Vec q = closestOnTriangle(centre, {t[0], t[1], t[2]}, {t[3], t[4], t[5]},
                                                {t[6], t[7], t[8]});
                worst = std::max(worst, r - std::sqrt(dot(centre - q, centre - q)));
            }
        }
    }
    return worst;
}

double deepestOnMoves(const FineSurface& surface, const Toolpath& path, std::size_t first,
                      std::size_t last, double step, std::size_t& worst)
{
    const double r = path.setup.toolMm / 2.0;
    const double blank = path.setup.blankMm;
    double deepest = 0.0;
    worst = first;
    for (std::size_t i = std::max<std::size_t>(first, 1); i < last; ++i) {
        const MillMove& a = path.moves[i - 1];
        const MillMove& b = path.moves[i];
        const double length = std::sqrt((b.x - a.x) * (b.x - a.x) + (b.y - a.y) * (b.y - a.y) +
                                        (b.z - a.z) * (b.z - a.z));
        const int steps = std::max(1, static_cast<int>(std::ceil(length / step)));
        for (int k = 0; k <= steps; ++k) {
            const double share = static_cast<double>(k) / steps;
            const double inside = ballInside(surface, r, a.x + (b.x - a.x) * share, a.y + (b.y - a.y) * share,
                                             a.z + (b.z - a.z) * share + blank);
            if (inside > deepest) {
                deepest = inside;
                worst = i;
            }
        }
    }
    return deepest;
}

MoveCuts cutsOfMoves(const Toolpath& path, double cell, double step)
{
    const MillFigures& f = path.figures;
    const double r = path.setup.toolMm / 2.0;
    const double blank = path.setup.blankMm;
    // Cells from a share of a cell before the blank's corner, so that their centres lie
    // neither on those of a grid laid from the corner nor on the raster's lines; what lies
    // beyond the blank holds nothing.
    const double minX = f.blankMinX - 0.3 * cell, minY = f.blankMinY - 0.3 * cell;
    const int columns = static_cast<int>(std::ceil((f.blankXMm + cell) / cell));
    const int rows = static_cast<int>(std::ceil((f.blankYMm + cell) / cell));
    std::vector<double> top(static_cast<std::size_t>(columns) * rows, blank);
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            const double x = minX + (column + 0.5) * cell, y = minY + (row + 0.5) * cell;
            if (x < f.blankMinX || x > f.blankMinX + f.blankXMm || y < f.blankMinY ||
                y > f.blankMinY + f.blankYMm) {
                top[static_cast<std::size_t>(row) * columns + column] = 0.0;
            }
        }
    }
    std::vector<double> lowest(top.size(), 1e9);
    std::vector<std::size_t> touched;
    MoveCuts cuts;
    cuts.depth.assign(path.moves.size(), 0.0);
    for (std::size_t i = 1; i < path.moves.size(); ++i) {
        const MillMove& a = path.moves[i - 1];
        const MillMove& b = path.moves[i];
        // Above the blank's top nothing is cut.
        if (std::min(a.z, b.z) >= 0.0) {
            continue;
        }
        const double length = std::sqrt((b.x - a.x) * (b.x - a.x) + (b.y - a.y) * (b.y - a.y) +
                                        (b.z - a.z) * (b.z - a.z));
        const int stamps = std::max(1, static_cast<int>(std::ceil(length / step)));
        for (int k = 0; k <= stamps; ++k) {
            const double share = static_cast<double>(k) / stamps;
            const double x = a.x + (b.x - a.x) * share - minX;
            const double y = a.y + (b.y - a.y) * share - minY;
            const double centre = a.z + (b.z - a.z) * share + blank + r;
            for (int row = std::max(0, static_cast<int>(std::floor((y - r) / cell)));
                 row <= std::min(rows - 1, static_cast<int>(std::floor((y + r) / cell))); ++row) {
                for (int column = std::max(0, static_cast<int>(std::floor((x - r) / cell)));
                     column <= std::min(columns - 1, static_cast<int>(std::floor((x + r) / cell)));
                     ++column) {
                    const double dx = (column + 0.5) * cell - x, dy = (row + 0.5) * cell - y;
                    const double d2 = dx * dx + dy * dy;
                    // At the ball's rim the flutes above it cut down to its centre.
                    if (d2 > r * r) {
                        continue;
                    }
                    const std::size_t at = static_cast<std::size_t>(row) * columns + column;
                    const double under = centre - std::sqrt(r * r - d2);
                    if (lowest[at] > 1e8) {
                        touched.push_back(at);
                    }
                    lowest[at] = std::min(lowest[at], under);
                }
            }
        }
        double deepest = 0.0;
        for (std::size_t at : touched) {
            deepest = std::max(deepest, top[at] - lowest[at]);
            top[at] = std::min(top[at], lowest[at]);
            lowest[at] = 1e9;
        }
        touched.clear();
        cuts.depth[i] = deepest;
        if (b.kind != MillMoveKind::Rapid && deepest > cuts.deepestFeed) {
            cuts.deepestFeed = deepest;
            cuts.deepestMove = i;
        }
    }
    return cuts;
}
