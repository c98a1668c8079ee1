#include "mill/drop_cutter.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int squareOf(double x, double y)
{
    const int column = std::clamp(static_cast<int>(x), 0, DropSurface::COLUMNS - 1);
    const int row = std::clamp(static_cast<int>(y), 0, DropSurface::ROWS - 1);
    return row * DropSurface::COLUMNS + column;
}

// Puts items into the squares' lists, in the order given within each square, and gives the
// squares the first index of their lists through `first`.
template <typename Item, typename FirstOf>
std::vector<Item> fileBySquare(const std::vector<std::pair<int, Item>>& items,
                               std::vector<DropSurface::Square>& squares, FirstOf first)
{
    std::vector<std::uint32_t> start(squares.size() + 1, 0);
    for (const auto& item : items) {
        ++start[item.first + 1];
    }
    for (std::size_t s = 1; s < start.size(); ++s) {
        start[s] += start[s - 1];
    }
    for (std::size_t s = 0; s < squares.size(); ++s) {
        first(squares[s]) = start[s];
    }
    std::vector<Item> filed(items.size());
    for (const auto& item : items) {
        filed[start[item.first]++] = item.second;
    }
    return filed;
}

void widen(DropSurface::Square& square, double x, double y, double z)
{
    if (square.top == 0.0) {
        square.minX = square.maxX = x;
        square.minY = square.maxY = y;
    }
    square.minX = std::min(square.minX, x);
    square.maxX = std::max(square.maxX, x);
    square.minY = std::min(square.minY, y);
    square.maxY = std::max(square.maxY, y);
    square.top = std::max(square.top, z);
}

// The tip heights at which a ball of radius r over (px, py) touches what square s holds,
// keeping the highest in `tip`.
void dropOnSquare(const DropSurface& surface, int s, double px, double py, double r, double& tip)
{
    const DropSurface::Square& square = surface.squares[s];
    const DropSurface::Square& next = surface.squares[s + 1];
    const double r2 = r * r;
    for (std::uint32_t i = square.firstFace; i < next.firstFace; ++i) {
        const DropSurface::Face& f = surface.faces[i];
        if (f.top <= tip) {
            continue;
        }
        // The centre stands r from the plane; the ball touches it at centre - r n, which must
        // lie on the triangle.
        const double t = (f.d + r - f.nx * px - f.ny * py) * f.inverseNz - r;
        if (t <= tip) {
            continue;
        }
        const double cx = px - r * f.nx;
        const double cy = py - r * f.ny;
        bool inside = true;
        for (int k = 0; k < 3 && inside; ++k) {
            inside = f.a[k] * cx + f.b[k] * cy + f.c[k] >= -1e-12;
        }
        if (inside) {
            tip = t;
        }
    }
    for (std::uint32_t i = square.firstEdge; i < next.firstEdge; ++i) {
        const DropSurface::Edge& e = surface.edges[i];
        if (e.top <= tip) {
            continue;
        }
        const double ax = px - e.x;
        const double ay = py - e.y;
        const double cross = ax * e.uy - ay * e.ux;
        // Horizontal distance to the edge's line, squared, times `across`.
        const double cross2 = cross * cross;
        if (cross2 >= r2 * e.across) {
            continue;
        }
        // No point of the edge is nearer than its line, d^2 = cross^2 / across, nor higher than
        // its top: it lifts the tip to at most top - r + sqrt(r^2 - d^2).
        const double lift = r - (e.top - tip);
        if (lift > 0.0 && (r2 - lift * lift) * e.across <= cross2) {
            continue;
        }
        // Heights h of the centre above the edge's point where the ball's centre is r from the
        // line: across h^2 - 2 k uz h + (cross^2 + (ax^2 + ay^2) uz^2 - r^2 length) = 0.
        const double k = ax * e.ux + ay * e.uy;
        const double c = cross2 + (ax * ax + ay * ay) * e.uz * e.uz - r2 * e.length;
        const double discriminant = k * k * e.uz * e.uz - e.across * c;
        if (discriminant < 0.0) {
            continue;
        }
        const double h = (k * e.uz + std::sqrt(discriminant)) / e.across;
        const double along = (k + h * e.uz) / e.length;
        if (along < 0.0 || along > 1.0) {
            continue;  // the ball meets the line beyond the edge's ends: a vertex decides
        }
        tip = std::max(tip, e.z + h - r);
    }
    for (std::uint32_t i = square.firstVertex; i < next.firstVertex; ++i) {
        const DropSurface::Vertex& v = surface.vertices[i];
        if (v.z <= tip) {
            continue;
        }
        const double dx = px - v.x;
        const double dy = py - v.y;
        const double d2 = dx * dx + dy * dy;
        if (d2 < r2) {
            tip = std::max(tip, v.z - r + std::sqrt(r2 - d2));
        }
    }
}

}  // namespace

DropSurface makeDropSurface(const SolidMesh& mesh)
{
    DropSurface surface;
    surface.squares.resize(static_cast<std::size_t>(DropSurface::COLUMNS) * DropSurface::ROWS + 1);
    const std::vector<SolidVertex>& v = mesh.vertices;

    // Every item is filed by the lower left corner of its extent, and lies in that square.
    std::vector<std::pair<int, DropSurface::Face>> faces;
    std::vector<std::uint64_t> edgeKeys;
    std::vector<char> used(v.size(), 0);
    for (const SolidTriangle& t : mesh.triangles) {
        if (!(v[t[0]].z > 0.0f && v[t[1]].z > 0.0f && v[t[2]].z > 0.0f)) {
            continue;
        }
        DropSurface::Face f{};
        const double p[3][3] = {{v[t[0]].x, v[t[0]].y, v[t[0]].z},
                                {v[t[1]].x, v[t[1]].y, v[t[1]].z},
                                {v[t[2]].x, v[t[2]].y, v[t[2]].z}};
        const double ux = p[1][0] - p[0][0], uy = p[1][1] - p[0][1], uz = p[1][2] - p[0][2];
        const double wx = p[2][0] - p[0][0], wy = p[2][1] - p[0][1], wz = p[2][2] - p[0][2];
        const double nx = uy * wz - uz * wy, ny = uz * wx - ux * wz, nz = ux * wy - uy * wx;
        const double length = std::sqrt(nx * nx + ny * ny + nz * nz);
        if (!(nz > 0.0)) {
            continue;  // a top triangle always faces up; anything else has no face to touch
        }
        f.nx = nx / length;
        f.ny = ny / length;
        f.nz = nz / length;
        f.d = f.nx * p[0][0] + f.ny * p[0][1] + f.nz * p[0][2];
        f.inverseNz = 1.0 / f.nz;
        f.top = std::max({p[0][2], p[1][2], p[2][2]});
        for (int k = 0; k < 3; ++k) {
            const double* a = p[k];
            const double* b = p[(k + 1) % 3];
            // (b - a) x (q - a) >= 0 for q on the left of a -> b, inside a counter-clockwise
            // triangle.
            f.a[k] = -(b[1] - a[1]);
            f.b[k] = b[0] - a[0];
            f.c[k] = (b[1] - a[1]) * a[0] - (b[0] - a[0]) * a[1];
        }
        const int square = squareOf(std::min({p[0][0], p[1][0], p[2][0]}),
                                    std::min({p[0][1], p[1][1], p[2][1]}));
        for (const double* corner : p) {
            widen(surface.squares[square], corner[0], corner[1], corner[2]);
        }
        faces.emplace_back(square, f);
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t a = t[k];
            const std::uint32_t b = t[(k + 1) % 3];
            edgeKeys.push_back(static_cast<std::uint64_t>(std::min(a, b)) << 32 | std::max(a, b));
            used[a] = 1;
        }
    }
    std::sort(edgeKeys.begin(), edgeKeys.end());
    edgeKeys.erase(std::unique(edgeKeys.begin(), edgeKeys.end()), edgeKeys.end());

    std::vector<std::pair<int, DropSurface::Edge>> edges;
    edges.reserve(edgeKeys.size());
    for (std::uint64_t key : edgeKeys) {
        const SolidVertex& a = v[key >> 32];
        const SolidVertex& b = v[key & 0xFFFFFFFFu];
        DropSurface::Edge e{};
        e.x = a.x;
        e.y = a.y;
        e.z = a.z;
        e.ux = static_cast<double>(b.x) - a.x;
        e.uy = static_cast<double>(b.y) - a.y;
        e.uz = static_cast<double>(b.z) - a.z;
        e.across = e.ux * e.ux + e.uy * e.uy;
        e.length = e.across + e.uz * e.uz;
        e.top = std::max(a.z, b.z);
        if (e.across > 0.0) {
            const int square = squareOf(std::min(a.x, b.x), std::min(a.y, b.y));
            widen(surface.squares[square], a.x, a.y, a.z);
            widen(surface.squares[square], b.x, b.y, b.z);
            edges.emplace_back(square, e);
        }
    }
    std::vector<std::pair<int, DropSurface::Vertex>> vertices;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (used[i]) {
            const int square = squareOf(v[i].x, v[i].y);
            widen(surface.squares[square], v[i].x, v[i].y, v[i].z);
            vertices.emplace_back(square, DropSurface::Vertex{v[i].x, v[i].y, v[i].z});
            surface.top = std::max(surface.top, static_cast<double>(v[i].z));
        }
    }

    std::vector<DropSurface::Square>& squares = surface.squares;
    surface.faces = fileBySquare(faces, squares, [](DropSurface::Square& s) -> std::uint32_t& {
        return s.firstFace;
    });
    surface.edges = fileBySquare(edges, squares, [](DropSurface::Square& s) -> std::uint32_t& {
        return s.firstEdge;
    });
    surface.vertices = fileBySquare(vertices, squares,
                                    [](DropSurface::Square& s) -> std::uint32_t& { return s.firstVertex; });
    surface.blockTops.assign(static_cast<std::size_t>(DropSurface::BLOCK_COLUMNS) * DropSurface::BLOCK_ROWS, 0.0);
    for (int row = 0; row < DropSurface::ROWS; ++row) {
        for (int column = 0; column < DropSurface::COLUMNS; ++column) {
            double& top = surface.blockTops[(row / DropSurface::BLOCK) * DropSurface::BLOCK_COLUMNS +
                                            column / DropSurface::BLOCK];
            top = std::max(top, squares[row * DropSurface::COLUMNS + column].top);
        }
    }
    return surface;
}

double dropTip(const DropSurface& surface, double px, double py, double r, int* hint)
{
    double tip = 0.0;  // the table
    if (surface.top <= 0.0) {
        return tip;
    }
    const int here = squareOf(px, py);
    const bool hereInside = px >= 0.0 && py >= 0.0 && px < DropSurface::COLUMNS && py < DropSurface::ROWS;
    int best = -1;
    const int first = hint && *hint >= 0 ? *hint : (hereInside ? here : -1);
    if (first >= 0) {
        dropOnSquare(surface, first, px, py, r, tip);
        best = tip > 0.0 ? first : -1;
    }
    const int c0 = std::max(0, static_cast<int>(std::floor(px - r)) - 1);
    const int c1 = std::min(DropSurface::COLUMNS - 1, static_cast<int>(std::floor(px + r)));
    const int r0 = std::max(0, static_cast<int>(std::floor(py - r)) - 1);
    const int r1 = std::min(DropSurface::ROWS - 1, static_cast<int>(std::floor(py + r)));
    const double r2 = r * r;
    constexpr int B = DropSurface::BLOCK;
    for (int blockRow = r0 / B; blockRow <= r1 / B; ++blockRow) {
        for (int blockColumn = c0 / B; blockColumn <= c1 / B; ++blockColumn) {
            const double blockTop = surface.blockTops[blockRow * DropSurface::BLOCK_COLUMNS + blockColumn];
            if (blockTop <= tip) {
                continue;
            }
            // The block's squares span [B column, B column + B] (plus what lies on its far
            // sides): nothing in it lifts the tip above blockTop - r + sqrt(r^2 - rho^2).
            const double bx = blockColumn * B, by = blockRow * B;
            const double dx = std::max({bx - px, 0.0, px - (bx + B + 1)});
            const double dy = std::max({by - py, 0.0, py - (by + B + 1)});
            const double rho2 = dx * dx + dy * dy;
            const double blockLift = r - (blockTop - tip);
            if (rho2 >= r2 || (blockLift > 0.0 && r2 - rho2 <= blockLift * blockLift)) {
                continue;
            }
            for (int row = std::max(r0, blockRow * B); row <= std::min(r1, blockRow * B + B - 1); ++row) {
                for (int column = std::max(c0, blockColumn * B);
                     column <= std::min(c1, blockColumn * B + B - 1); ++column) {
                    const int s = row * DropSurface::COLUMNS + column;
                    const DropSurface::Square& square = surface.squares[s];
                    if (square.top <= tip || s == first) {
                        continue;
                    }
                    const double sx = std::max({square.minX - px, 0.0, px - square.maxX});
                    const double sy = std::max({square.minY - py, 0.0, py - square.maxY});
                    const double squareRho2 = sx * sx + sy * sy;
                    if (squareRho2 >= r2) {
                        continue;
                    }
                    // Nothing in the square can lift the tip above top - r + sqrt(r^2 - rho^2).
                    const double lift = r - (square.top - tip);
                    if (lift > 0.0 && r2 - squareRho2 <= lift * lift) {
                        continue;
                    }
                    const double before = tip;
                    dropOnSquare(surface, s, px, py, r, tip);
                    if (tip > before) {
                        best = s;
                    }
                }
            }
        }
    }
    if (hint) {
        *hint = best;
    }
    return tip;
}
