#include "support/solid_check.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>
#include <sstream>
#include <vector>

namespace {

bool foot(const Grid& heights, int x, int y)
{
    return x >= 0 && x < FOOT_COLUMNS && y >= 0 && y < GRID_ROWS &&
           heights[gridIndex(x, y)] != 0;
}

// The piece of every foot cell (-1 for empty cells), numbered from 0.
std::vector<int> footPieces(const Grid& heights, int& count)
{
    std::vector<int> piece(static_cast<std::size_t>(FOOT_COLUMNS) * GRID_ROWS, -1);
    count = 0;
    std::vector<std::pair<int, int>> stack;
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            if (!foot(heights, x, y) || piece[y * FOOT_COLUMNS + x] >= 0) {
                continue;
            }
            stack.push_back({x, y});
            piece[y * FOOT_COLUMNS + x] = count;
            while (!stack.empty()) {
                const auto [cx, cy] = stack.back();
                stack.pop_back();
                const int next[4][2] = {{cx + 1, cy}, {cx - 1, cy}, {cx, cy + 1}, {cx, cy - 1}};
                for (const auto& n : next) {
                    if (foot(heights, n[0], n[1]) && piece[n[1] * FOOT_COLUMNS + n[0]] < 0) {
                        piece[n[1] * FOOT_COLUMNS + n[0]] = count;
                        stack.push_back({n[0], n[1]});
                    }
                }
            }
            ++count;
        }
    }
    return piece;
}

struct Vec {
    double x, y, z;
};

Vec at(const SolidMesh& mesh, std::uint32_t i)
{
    const SolidVertex& v = mesh.vertices[i];
    return {v.x, v.y, v.z};
}

Vec normalOf(const SolidMesh& mesh, const SolidTriangle& t)
{
    const Vec a = at(mesh, t[0]), b = at(mesh, t[1]), c = at(mesh, t[2]);
    const Vec u{b.x - a.x, b.y - a.y, b.z - a.z};
    const Vec v{c.x - a.x, c.y - a.y, c.z - a.z};
    return {u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
}

std::uint32_t findRoot(std::vector<std::uint32_t>& parent, std::uint32_t i)
{
    while (parent[i] != i) {
        parent[i] = parent[parent[i]];
        i = parent[i];
    }
    return i;
}

// Collects the problems of one rule, keeping a few examples and the count.
class Rule {
public:
    explicit Rule(const char* name) : name_(name) {}
    template <typename T>
    void fail(const T& example)
    {
        if (++count_ <= 3) {
            examples_ << " [" << example << "]";
        }
    }
    void report(std::ostringstream& out) const
    {
        if (count_ > 0) {
            out << name_ << ": " << count_ << examples_.str() << "\n";
        }
    }

private:
    const char* name_;
    int count_ = 0;
    std::ostringstream examples_;
};

}  // namespace

int footCellCount(const Grid& heights)
{
    int count = 0;
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            count += foot(heights, x, y);
        }
    }
    return count;
}

int footPieceCount(const Grid& heights)
{
    int count = 0;
    footPieces(heights, count);
    return count;
}

std::string solidProblems(const SolidMesh& mesh, const Grid& heights, double levelMm,
                          double volumeTolerance)
{
    std::ostringstream out;
    const std::size_t nv = mesh.vertices.size();

    Rule badIndex("triangle with a vertex index out of range");
    for (const SolidTriangle& t : mesh.triangles) {
        if (t[0] >= nv || t[1] >= nv || t[2] >= nv) {
            badIndex.fail(t[0]);
        }
    }
    badIndex.report(out);
    if (!out.str().empty()) {
        return out.str();
    }

    // Edges: each directed edge once, and its reverse once.
    Rule edgeUse("edge not used exactly once in each direction");
    std::vector<std::uint64_t> directed;
    directed.reserve(mesh.triangles.size() * 3);
    const auto key = [](std::uint32_t a, std::uint32_t b) {
        return (static_cast<std::uint64_t>(a) << 32) | b;
    };
    for (const SolidTriangle& t : mesh.triangles) {
        for (int k = 0; k < 3; ++k) {
            directed.push_back(key(t[k], t[(k + 1) % 3]));
        }
    }
    std::sort(directed.begin(), directed.end());
    for (std::size_t i = 0; i < directed.size(); ++i) {
        const std::uint32_t a = static_cast<std::uint32_t>(directed[i] >> 32);
        const std::uint32_t b = static_cast<std::uint32_t>(directed[i]);
        const bool repeatedEdge = i + 1 < directed.size() && directed[i + 1] == directed[i];
        if (repeatedEdge || !std::binary_search(directed.begin(), directed.end(), key(b, a))) {
            edgeUse.fail(std::to_string(a) + "->" + std::to_string(b));
        }
    }
    edgeUse.report(out);

    Rule flat("flat triangle");
    Rule repeated("repeated triangle");
    Rule facing("top not facing up, bottom not facing down, or wall not vertical");
    std::vector<std::array<std::uint32_t, 3>> sortedTriangles;
    sortedTriangles.reserve(mesh.triangles.size());
    std::vector<bool> used(nv, false);
    double bottomArea = 0.0;
    for (const SolidTriangle& t : mesh.triangles) {
        const Vec n = normalOf(mesh, t);
        if (t[0] == t[1] || t[1] == t[2] || t[0] == t[2] ||
            (n.x == 0.0 && n.y == 0.0 && n.z == 0.0)) {
            flat.fail(t[0]);
        }
        std::array<std::uint32_t, 3> sorted = t;
        std::sort(sorted.begin(), sorted.end());
        sortedTriangles.push_back(sorted);
        int onBottom = 0;
        for (const std::uint32_t i : t) {
            used[i] = true;
            onBottom += mesh.vertices[i].z == 0.0f;
        }
        const bool ok = onBottom == 3 ? n.z < 0.0 : onBottom == 0 ? n.z > 0.0 : n.z == 0.0;
        if (!ok) {
            facing.fail(t[0]);
        }
        if (onBottom == 3) {
            bottomArea -= n.z / 2.0;
        }
    }
    std::sort(sortedTriangles.begin(), sortedTriangles.end());
    for (std::size_t i = 1; i < sortedTriangles.size(); ++i) {
        if (sortedTriangles[i] == sortedTriangles[i - 1]) {
            repeated.fail(sortedTriangles[i][0]);
        }
    }
    flat.report(out);
    repeated.report(out);
    facing.report(out);

    Rule unused("vertex used by no triangle");
    Rule twin("two vertices at one point");
    std::vector<std::array<float, 3>> points;
    points.reserve(nv);
    // The top vertex at the centre of each cell, by cell.
    std::vector<std::uint32_t> centres(static_cast<std::size_t>(FOOT_COLUMNS) * GRID_ROWS,
                                       std::numeric_limits<std::uint32_t>::max());
    for (std::uint32_t i = 0; i < nv; ++i) {
        const SolidVertex& v = mesh.vertices[i];
        if (!used[i]) {
            unused.fail(i);
        }
        points.push_back({v.x, v.y, v.z});
        const float fx = std::floor(v.x);
        const float fy = std::floor(v.y);
        if (v.z > 0.0f && v.x - fx == 0.5f && v.y - fy == 0.5f && fx >= 0.0f &&
            fx < FOOT_COLUMNS && fy >= 0.0f && fy < GRID_ROWS) {
            centres[static_cast<std::size_t>(fy) * FOOT_COLUMNS + static_cast<std::size_t>(fx)] = i;
        }
    }
    std::sort(points.begin(), points.end());
    for (std::size_t i = 1; i < points.size(); ++i) {
        if (points[i] == points[i - 1]) {
            twin.fail(std::to_string(points[i][0]) + "," + std::to_string(points[i][1]) + "," +
                      std::to_string(points[i][2]));
        }
    }
    unused.report(out);
    twin.report(out);

    // Shells: vertices joined by triangles. Each piece of foot must be exactly one of them.
    std::vector<std::uint32_t> parent(nv);
    std::iota(parent.begin(), parent.end(), 0u);
    for (const SolidTriangle& t : mesh.triangles) {
        for (int k = 1; k < 3; ++k) {
            parent[findRoot(parent, t[k])] = findRoot(parent, t[0]);
        }
    }
    std::size_t shells = 0;
    for (std::uint32_t i = 0; i < nv; ++i) {
        shells += findRoot(parent, i) == i;
    }
    int pieceCount = 0;
    const std::vector<int> piece = footPieces(heights, pieceCount);
    // The shell of each piece's cells; a piece whose cells lie on two shells is marked split.
    constexpr std::uint32_t NO_SHELL = std::numeric_limits<std::uint32_t>::max();
    std::vector<std::uint32_t> shellOfPiece(static_cast<std::size_t>(pieceCount), NO_SHELL);
    std::vector<bool> split(static_cast<std::size_t>(pieceCount), false);
    Rule centre("foot cell without its centre vertex at exactly h x level");
    double heightSum = 0.0;
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            if (!foot(heights, x, y)) {
                continue;
            }
            const int h = heights[gridIndex(x, y)];
            heightSum += h * levelMm;
            const std::uint32_t c = centres[static_cast<std::size_t>(y) * FOOT_COLUMNS + x];
            if (c >= nv || mesh.vertices[c].z != static_cast<float>(h * levelMm)) {
                centre.fail(std::to_string(x) + "," + std::to_string(y));
                continue;
            }
            const std::size_t p = static_cast<std::size_t>(piece[y * FOOT_COLUMNS + x]);
            const std::uint32_t root = findRoot(parent, c);
            split[p] = split[p] || (shellOfPiece[p] != NO_SHELL && shellOfPiece[p] != root);
            shellOfPiece[p] = root;
        }
    }
    centre.report(out);
    Rule shell("piece of foot that is not exactly one shell of its own");
    // Distinct shells per piece: no two pieces may share one.
    std::vector<std::uint32_t> claimed = shellOfPiece;
    std::sort(claimed.begin(), claimed.end());
    for (std::size_t p = 0; p < split.size(); ++p) {
        if (split[p] || shellOfPiece[p] == NO_SHELL) {
            shell.fail(p);
        }
        if (p > 0 && claimed[p] == claimed[p - 1]) {
            shell.fail("two pieces on shell " + std::to_string(claimed[p]));
        }
    }
    if (shells != static_cast<std::size_t>(pieceCount)) {
        shell.fail(std::to_string(shells) + " shells for " + std::to_string(pieceCount) +
                   " pieces");
    }
    shell.report(out);

    // Volume of every shell, from the divergence theorem.
    std::vector<double> shellVolume(nv, 0.0);
    for (const SolidTriangle& t : mesh.triangles) {
        const Vec a = at(mesh, t[0]), b = at(mesh, t[1]), c = at(mesh, t[2]);
        shellVolume[findRoot(parent, t[0])] +=
            (a.x * (b.y * c.z - b.z * c.y) + a.y * (b.z * c.x - b.x * c.z) +
             a.z * (b.x * c.y - b.y * c.x)) / 6.0;
    }
    Rule inside("shell with a volume that is not positive (inside out)");
    double volume = 0.0;
    for (std::uint32_t i = 0; i < nv; ++i) {
        if (parent[i] == i) {
            volume += shellVolume[i];
            if (!(shellVolume[i] > 0.0)) {
                inside.fail(shellVolume[i]);
            }
        }
    }
    inside.report(out);
    if (!(std::abs(volume - heightSum) <= volumeTolerance * heightSum)) {
        out << "volume " << volume << " mm3, expected " << heightSum << " within "
            << volumeTolerance * 100 << " %\n";
    }
    const int cells = footCellCount(heights);
    if (!(std::abs(bottomArea - cells) <= 0.01 * cells)) {
        out << "footprint " << bottomArea << " mm2 for " << cells << " foot cells\n";
    }
    return out.str();
}
