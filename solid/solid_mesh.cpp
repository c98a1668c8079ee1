#include "solid/solid_mesh.h"

#include <algorithm>
#include <cmath>
#include <limits>

// How the solid is made, so that it is closed and 2-manifold once stored as 32-bit floats:
//
// Top: every foot cell is a fan of triangles around a centre vertex at exactly its height.
// The corners of the cells are lattice points shared by every foot cell touching them, at the
// mean height of those cells, so the top is continuous and its volume is the sum of the
// heights (each corner's mean, counted once for every cell that uses it, gives back their
// heights).
//
// Two foot cells that touch only at a corner (the other two cells of the 2 x 2 block empty)
// would pinch the solid there. Such a corner is used by neither cell: each cuts it off with a
// chamfer of CHAMFER mm along its two outline sides, at its own height, with a wall on the
// cut. The pieces stay apart, and the footprint loses CHAMFER^2 mm^2 per such corner.
//
// Walls: one vertical quad per outline side and per chamfer, from the top down to z = 0, so
// that every wall triangle stays valid however the top dips between neighbouring corners.
//
// Bottom: vertices only where the walls need them (the outline's lattice corners and the
// chamfer points). Each run of foot cells in a row is a convex polygon whose lower and upper
// chains hold exactly the bottom vertices on its two lines; the runs above and below have the
// same points along the shared stretch, so nothing meets in a T. Zig-zagging along the two
// chains triangulates it with two vertices on one side and one on the other, never flat.
//
// Every coordinate is an integer, a half or an integer plus or minus 1/32 in x and y, all
// exact in float; tops are at least one level above the bottom. No two vertices coincide.

namespace {

// Chamfer size: a power of two, so that x +- CHAMFER is exact in float for any x of the grid.
constexpr float CHAMFER = 1.0f / 32.0f;

constexpr std::uint32_t NONE = std::numeric_limits<std::uint32_t>::max();

// Lattice corners: (FOOT_COLUMNS + 1) x (GRID_ROWS + 1).
constexpr int CORNER_COLUMNS = FOOT_COLUMNS + 1;
constexpr int CORNER_ROWS = GRID_ROWS + 1;
constexpr int cornerIndex(int x, int y) { return y * CORNER_COLUMNS + x; }

// The heights with a border of empty cells on every side, so that the neighbours of the grid's
// edge cells read as empty; the spare columns 150 and 151 are never part of the solid.
constexpr int PADDED_COLUMNS = FOOT_COLUMNS + 2;
constexpr int PADDED_ROWS = GRID_ROWS + 2;
constexpr int paddedIndex(int x, int y) { return (y + 1) * PADDED_COLUMNS + (x + 1); }

// The four chamfer points around a corner where two cells touch diagonally, in this order
// from the corner's first chamfer vertex: west and east on the corner's row line, south and
// north on its column line.
enum ChamferPoint : std::uint32_t { WEST = 0, EAST = 1, SOUTH = 2, NORTH = 3 };

// What the mesher knows of a lattice corner: its top vertex and its bottom vertex (the first
// of four chamfer vertices at a diagonal contact), NONE where there is none.
struct Corner {
    std::uint32_t top = NONE;
    std::uint32_t bottom = NONE;
    bool diagonal = false;
};

// A point of a cell's outline: its top and bottom vertices, and whether the stretch of outline
// from it to the next point, counter-clockwise, has a wall.
struct RingPoint {
    std::uint32_t top;
    std::uint32_t bottom;
    bool wallAfter;
};

class Mesher {
public:
    Mesher(const Grid& heights, double levelMm) : level_(levelMm)
    {
        heights_.fill(0);
        for (int y = 0; y < GRID_ROWS; ++y) {
            for (int x = 0; x < FOOT_COLUMNS; ++x) {
                heights_[paddedIndex(x, y)] = heights[gridIndex(x, y)];
            }
        }
        corners_.resize(static_cast<std::size_t>(CORNER_COLUMNS) * CORNER_ROWS);
    }

    SolidMesh build()
    {
        placeCorners();
        if (footCells_ == 0) {
            return {};
        }
        const std::size_t saddles = saddles_;
        mesh_.vertices.reserve(topCorners_ + outlineCorners_ + 8 * saddles + footCells_);
        mesh_.triangles.reserve(4 * footCells_ + 4 * outlineCorners_ + 18 * saddles);
        for (int y = 0; y < GRID_ROWS; ++y) {
            for (int x = 0; x < FOOT_COLUMNS; ++x) {
                if (foot(x, y)) {
                    topAndWalls(x, y);
                }
            }
        }
        for (int y = 0; y < GRID_ROWS; ++y) {
            bottomOfRow(y);
        }
        return std::move(mesh_);
    }

private:
    int height(int x, int y) const { return heights_[paddedIndex(x, y)]; }
    bool foot(int x, int y) const { return height(x, y) != 0; }

    float z(int height) const { return static_cast<float>(height * level_); }

    std::uint32_t addVertex(float x, float y, float zMm)
    {
        mesh_.vertices.push_back({x, y, zMm});
        return static_cast<std::uint32_t>(mesh_.vertices.size() - 1);
    }

    void addTriangle(std::uint32_t a, std::uint32_t b, std::uint32_t c)
    {
        mesh_.triangles.push_back({a, b, c});
    }

    // Gives every lattice corner touched by a foot cell its vertices, in rows then columns.
    void placeCorners()
    {
        for (int y = 0; y < CORNER_ROWS; ++y) {
            for (int x = 0; x < CORNER_COLUMNS; ++x) {
                // The four cells around the corner: below left, below right, above left, above
                // right.
                const int bl = height(x - 1, y - 1);
                const int br = height(x, y - 1);
                const int al = height(x - 1, y);
                const int ar = height(x, y);
                const int count = (bl != 0) + (br != 0) + (al != 0) + (ar != 0);
                if (count == 0) {
                    continue;
                }
                if (x < FOOT_COLUMNS && y < GRID_ROWS && ar != 0) {
                    ++footCells_;
                }
                Corner& corner = corners_[cornerIndex(x, y)];
                const float fx = static_cast<float>(x);
                const float fy = static_cast<float>(y);
                const bool rising = bl != 0 && ar != 0 && br == 0 && al == 0;
                const bool falling = br != 0 && al != 0 && bl == 0 && ar == 0;
                if (rising || falling) {
                    // Each chamfer point stands at the height of the cell whose outline it
                    // is on: west and south of the lower cell, east and north of the upper
                    // one when the contact rises to the right; east and south of the lower,
                    // west and north of the upper when it falls.
                    const float west = z(rising ? bl : al);
                    const float east = z(rising ? ar : br);
                    const float south = z(rising ? bl : br);
                    const float north = z(rising ? ar : al);
                    corner.diagonal = true;
                    corner.top = addVertex(fx - CHAMFER, fy, west);
                    addVertex(fx + CHAMFER, fy, east);
                    addVertex(fx, fy - CHAMFER, south);
                    addVertex(fx, fy + CHAMFER, north);
                    corner.bottom = addVertex(fx - CHAMFER, fy, 0.0f);
                    addVertex(fx + CHAMFER, fy, 0.0f);
                    addVertex(fx, fy - CHAMFER, 0.0f);
                    addVertex(fx, fy + CHAMFER, 0.0f);
                    ++saddles_;
                    continue;
                }
                const int sum = bl + br + al + ar;
                corner.top = addVertex(fx, fy, static_cast<float>(sum * level_ / count));
                ++topCorners_;
                if (count < 4) {
                    corner.bottom = addVertex(fx, fy, 0.0f);
                    ++outlineCorners_;
                }
            }
        }
    }

    const Corner& corner(int x, int y) const { return corners_[cornerIndex(x, y)]; }

    // Appends the outline point(s) of a cell at one of its corners: the corner itself, or the
    // two chamfer points (first and second counter-clockwise around the cell) where the
    // corner is a diagonal contact. The stretch after the first chamfer point is the chamfer,
    // always a wall; after the last point comes the cell's next side, a wall when `side` is.
    static void addRingCorner(RingPoint* ring, int& n, const Corner& c, std::uint32_t first,
                              std::uint32_t second, bool side)
    {
        if (c.diagonal) {
            ring[n++] = {c.top + first, c.bottom + first, true};
            ring[n++] = {c.top + second, c.bottom + second, side};
        } else {
            ring[n++] = {c.top, c.bottom, side};
        }
    }

    // The top fan of cell (x, y), counter-clockwise seen from above, and the walls of its
    // outline sides and chamfers, facing outwards.
    void topAndWalls(int x, int y)
    {
        const bool wallBelow = !foot(x, y - 1);
        const bool wallRight = !foot(x + 1, y);
        const bool wallAbove = !foot(x, y + 1);
        const bool wallLeft = !foot(x - 1, y);

        // Counter-clockwise from the lower left corner; at each corner cut off by a chamfer
        // the point on the incoming side comes first.
        RingPoint ring[8];
        int n = 0;
        addRingCorner(ring, n, corner(x, y), NORTH, EAST, wallBelow);
        addRingCorner(ring, n, corner(x + 1, y), WEST, NORTH, wallRight);
        addRingCorner(ring, n, corner(x + 1, y + 1), SOUTH, WEST, wallAbove);
        addRingCorner(ring, n, corner(x, y + 1), EAST, SOUTH, wallLeft);

        const std::uint32_t centre = addVertex(static_cast<float>(x) + 0.5f,
                                               static_cast<float>(y) + 0.5f, z(height(x, y)));
        for (int k = 0; k < n; ++k) {
            const RingPoint& p = ring[k];
            const RingPoint& r = ring[(k + 1) % n];
            addTriangle(centre, p.top, r.top);
            if (p.wallAfter) {
                addTriangle(r.top, p.top, p.bottom);
                addTriangle(r.top, p.bottom, r.bottom);
            }
        }
    }

    // Appends a run's chain point(s) at a corner: the corner's bottom vertex, or the chamfer
    // points `first` and `second` (in increasing x) where it is a diagonal contact.
    static void addChainCorner(std::uint32_t* chain, int& n, const Corner& c, std::uint32_t first,
                               std::uint32_t second)
    {
        if (c.diagonal) {
            chain[n++] = c.bottom + first;
            chain[n++] = c.bottom + second;
        } else {
            chain[n++] = c.bottom;
        }
    }

    // The bottom faces of the runs of foot cells in row y, facing down.
    void bottomOfRow(int y)
    {
        int x = 0;
        while (x < FOOT_COLUMNS) {
            if (!foot(x, y)) {
                ++x;
                continue;
            }
            const int first = x;
            while (x < FOOT_COLUMNS && foot(x, y)) {
                ++x;
            }
            bottomOfRun(first, x - 1, y);
        }
    }

    void bottomOfRun(int first, int last, int y)
    {
        // Lower chain on line y, upper chain on line y + 1, both in increasing x, each holding
        // every bottom vertex on its line between the run's ends; a chamfer adds its point
        // on the run's end side.
        lower_.resize(static_cast<std::size_t>(last - first) + 4);
        upper_.resize(lower_.size());
        int nl = 0;
        int nu = 0;
        addChainCorner(lower_.data(), nl, corner(first, y), NORTH, EAST);
        addChainCorner(upper_.data(), nu, corner(first, y + 1), SOUTH, EAST);
        for (int cx = first + 1; cx <= last; ++cx) {
            if (corner(cx, y).bottom != NONE) {
                lower_[nl++] = corner(cx, y).bottom;
            }
            if (corner(cx, y + 1).bottom != NONE) {
                upper_[nu++] = corner(cx, y + 1).bottom;
            }
        }
        addChainCorner(lower_.data(), nl, corner(last + 1, y), WEST, NORTH);
        addChainCorner(upper_.data(), nu, corner(last + 1, y + 1), WEST, SOUTH);

        // The polygon is convex and no three of its points that are not on one side are in a
        // line, so any zig-zag gives valid triangles; going by x keeps them compact.
        int i = 0;
        int j = 0;
        while (i < nl - 1 || j < nu - 1) {
            const bool advanceLower =
                j == nu - 1 ||
                (i < nl - 1 && mesh_.vertices[lower_[i + 1]].x <= mesh_.vertices[upper_[j + 1]].x);
            if (advanceLower) {
                addTriangle(lower_[i], upper_[j], lower_[i + 1]);
                ++i;
            } else {
                addTriangle(lower_[i], upper_[j], upper_[j + 1]);
                ++j;
            }
        }
    }

    double level_;
    std::array<std::uint8_t, PADDED_COLUMNS * PADDED_ROWS> heights_;
    std::vector<Corner> corners_;
    std::vector<std::uint32_t> lower_;
    std::vector<std::uint32_t> upper_;
    std::size_t footCells_ = 0;
    std::size_t topCorners_ = 0;
    std::size_t outlineCorners_ = 0;
    std::size_t saddles_ = 0;
    SolidMesh mesh_;
};

}  // namespace

SolidMesh buildSolid(const Grid& heights, double levelMm)
{
    if (!levelInRange(levelMm)) {
        return {};
    }
    return Mesher(heights, levelMm).build();
}

SolidFigures measureSolid(const SolidMesh& mesh)
{
    SolidFigures figures;
    if (mesh.empty()) {
        return figures;
    }
    figures.triangles = mesh.triangles.size();
    double volume6 = 0.0;
    for (const SolidTriangle& t : mesh.triangles) {
        const SolidVertex& a = mesh.vertices[t[0]];
        const SolidVertex& b = mesh.vertices[t[1]];
        const SolidVertex& c = mesh.vertices[t[2]];
        // a . (b x c): six times the signed volume of the tetrahedron from the origin.
        const double bx = b.x, by = b.y, bz = b.z, cx = c.x, cy = c.y, cz = c.z;
        volume6 += a.x * (by * cz - bz * cy) + a.y * (bz * cx - bx * cz) + a.z * (bx * cy - by * cx);
    }
    figures.volumeMm3 = volume6 / 6.0;

    float minX = std::numeric_limits<float>::max();
    float minY = minX;
    float minTop = minX;
    float maxX = std::numeric_limits<float>::lowest();
    float maxY = maxX;
    float maxTop = maxX;
    for (const SolidVertex& v : mesh.vertices) {
        minX = std::min(minX, v.x);
        maxX = std::max(maxX, v.x);
        minY = std::min(minY, v.y);
        maxY = std::max(maxY, v.y);
        if (v.z > 0.0f) {
            minTop = std::min(minTop, v.z);
            maxTop = std::max(maxTop, v.z);
        }
    }
    figures.thinnestMm = minTop;
    figures.thickestMm = maxTop;
    figures.footprintWidthMm = static_cast<double>(maxX) - minX;
    figures.footprintLengthMm = static_cast<double>(maxY) - minY;
    return figures;
}
