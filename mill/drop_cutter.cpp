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
        // The nearest point of the edge seen from above, and its distance squared: no point of
        // the edge is nearer, nor higher than its top, so it lifts the tip to at most
        // top - r + sqrt(r^2 - d^2).
        const double k = ax * e.ux + ay * e.uy;
        const double nearest = std::clamp(k * e.inverseAcross, 0.0, 1.0);
        const double nx = ax - nearest * e.ux, ny = ay - nearest * e.uy;
        const double d2 = nx * nx + ny * ny;
        if (d2 >= r2) {
            continue;
        }
        const double lift = r - (e.top - tip);
        if (lift > 0.0 && r2 - lift * lift <= d2) {
            continue;
        }
        const double cross = ax * e.uy - ay * e.ux;
        const double cross2 = cross * cross;
        // Heights h of the centre above the edge's point where the ball's centre is r from the
        // line: across h^2 - 2 k uz h + (cross^2 + (ax^2 + ay^2) uz^2 - r^2 length) = 0.
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

DropSurface makeDropSurface(const SolidMesh& mesh, double largestRadius)
{
    DropSurface surface;
    surface.squares.resize(static_cast<std::size_t>(DropSurface::COLUMNS) * DropSurface::ROWS + 1);
    const std::vector<SolidVertex>& v = mesh.vertices;

    // Every item is filed by the lower left corner of its extent and lies in that square's
    // [column, column + 1] x [row, row + 1]: it belongs to the top of one cell or lies on its
    // outline, and a point a chamfer cuts off lies 1/32 mm inside the cell on its left or below.
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
        surface.squares[square].top = std::max(surface.squares[square].top, f.top);
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
        e.inverseAcross = e.across > 0.0 ? 1.0 / e.across : 0.0;
        e.top = std::max(a.z, b.z);
        if (e.across > 0.0) {
            const int square = squareOf(std::min(a.x, b.x), std::min(a.y, b.y));
            surface.squares[square].top = std::max(surface.squares[square].top, e.top);
            edges.emplace_back(square, e);
        }
    }
    std::vector<std::pair<int, DropSurface::Vertex>> vertices;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (used[i]) {
            const int square = squareOf(v[i].x, v[i].y);
            surface.squares[square].top = std::max(surface.squares[square].top, static_cast<double>(v[i].z));
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
    surface.tops.resize(squares.size());
    for (std::size_t i = 0; i < squares.size(); ++i) {
        surface.tops[i] = squares[i].top;
    }
    // The highest top among the squares a ball of the largest radius can reach from each
    // square: rows first, then columns.
    const int k = static_cast<int>(std::ceil(largestRadius)) + 1;
    surface.nearRadius = largestRadius;
    constexpr int C = DropSurface::COLUMNS;
    constexpr int R = DropSurface::ROWS;
    std::vector<double> acrossRows(static_cast<std::size_t>(C) * R, 0.0);
    for (int row = 0; row < R; ++row) {
        for (int column = 0; column < C; ++column) {
            double top = 0.0;
            for (int c = std::max(0, column - k); c <= std::min(C - 1, column + k); ++c) {
                top = std::max(top, surface.tops[row * C + c]);
            }
            acrossRows[row * C + column] = top;
        }
    }
    surface.nearTops.assign(static_cast<std::size_t>(C) * R, 0.0);
    for (int row = 0; row < R; ++row) {
        for (int column = 0; column < C; ++column) {
            double top = 0.0;
            for (int r = std::max(0, row - k); r <= std::min(R - 1, row + k); ++r) {
                top = std::max(top, acrossRows[r * C + column]);
            }
            surface.nearTops[row * C + column] = top;
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
    const bool hereInside = px >= 0.0 && py >= 0.0 && px < DropSurface::COLUMNS && py < DropSurface::ROWS;
    int best = -1;
    const int first = hint && *hint >= 0 ? *hint : (hereInside ? squareOf(px, py) : -1);
    if (first >= 0) {
        dropOnSquare(surface, first, px, py, r, tip);
        best = tip > 0.0 ? first : -1;
    }
    // Only squares within `reach` of p can lift the tip past what the highest square around
    // allows.
    double reach = r;
    if (hereInside && r <= surface.nearRadius) {
        const double near = surface.nearTops[squareOf(px, py)];
        const double lift = r - (near - tip);
        if (near <= tip || lift >= r) {
            reach = 0.0;
        } else if (lift > 0.0) {
            reach = std::sqrt(r * r - lift * lift);
        }
    }
    // Square (column, row) holds what lies in [column, column + 1] x [row, row + 1].
    const int c0 = std::max(0, static_cast<int>(std::floor(px - reach)));
    const int c1 = std::min(DropSurface::COLUMNS - 1, static_cast<int>(std::floor(px + reach)));
    const int r0 = std::max(0, static_cast<int>(std::floor(py - reach)));
    const int r1 = std::min(DropSurface::ROWS - 1, static_cast<int>(std::floor(py + reach)));
    if (reach <= 0.0) {
        if (hint) {
            *hint = best;
        }
        return tip;
    }
    if (c0 > c1 || r0 > r1) {
        if (hint) {
            *hint = best;
        }
        return tip;
    }
    const double r2 = r * r;
    // Squared distances from p to each column's and row's strip.
    double across[64];
    const int columns = std::min(c1 - c0 + 1, 64);
    for (int k = 0; k < columns; ++k) {
        const double left = c0 + k;
        const double d = left > px ? left - px : (px > left + 1.0 ? px - left - 1.0 : 0.0);
        across[k] = d * d;
    }
    for (int row = r0; row <= r1; ++row) {
        const double d = row > py ? row - py : (py > row + 1.0 ? py - row - 1.0 : 0.0);
        const double along = d * d;
        if (along >= r2) {
            continue;
        }
        const int start = row * DropSurface::COLUMNS + c0;
        for (int k = 0; k < columns; ++k) {
            const int s = start + k;
            const double top = surface.tops[s];
            if (top <= tip || s == first) {
                continue;
            }
            const double rho2 = along + across[k];
            if (rho2 >= r2) {
                continue;
            }
            // Nothing in the square can lift the tip above top - r + sqrt(r^2 - rho^2).
            const double lift = r - (top - tip);
            if (lift > 0.0 && r2 - rho2 <= lift * lift) {
                continue;
            }
            const double before = tip;
            dropOnSquare(surface, s, px, py, r, tip);
            if (tip > before) {
                best = s;
            }
        }
    }
    if (hint) {
        *hint = best;
    }
    return tip;
}
