#include "view/solid_picture.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr std::uint32_t NONE = std::numeric_limits<std::uint32_t>::max();

// The sides a mesh vertex can have its own picture vertex for: the top, the bottom and walls
// facing eight ways (along the grid's axes and its diagonals).
constexpr int TOP_SIDE = 0;
constexpr int BOTTOM_SIDE = 1;
constexpr int SIDES = 10;

struct Vector {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

Vector unit(const Vector& v)
{
    const double length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return length > 0.0 ? Vector{v.x / length, v.y / length, v.z / length} : Vector{};
}

// The face's normal, as long as twice its area: summing these weights each face by its area.
Vector faceNormal(const SolidMesh& mesh, const SolidTriangle& triangle)
{
    const SolidVertex& a = mesh.vertices[triangle[0]];
    const SolidVertex& b = mesh.vertices[triangle[1]];
    const SolidVertex& c = mesh.vertices[triangle[2]];
    const Vector u{double(b.x) - a.x, double(b.y) - a.y, double(b.z) - a.z};
    const Vector v{double(c.x) - a.x, double(c.y) - a.y, double(c.z) - a.z};
    return {u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
}

// Which side a face with this unit normal lies on.
int sideOf(const Vector& n)
{
    if (n.z > 0.0) {
        return TOP_SIDE;
    }
    if (n.z < -0.999) {
        return BOTTOM_SIDE;
    }
    // Walls: east, north-east, north, ... by the signs of a normal's clear components.
    const double clear = 0.38;  // sin 22.5 degrees: halfway between two directions
    const int east = n.x > clear ? 1 : n.x < -clear ? -1 : 0;
    const int north = n.y > clear ? 1 : n.y < -clear ? -1 : 0;
    constexpr int DIRECTION[3][3] = {{5, 4, 3}, {6, 0, 2}, {7, 0, 1}};  // [east + 1][north + 1]
    return 2 + DIRECTION[east + 1][north + 1];
}

class PictureBuilder {
public:
    explicit PictureBuilder(SolidPicture& picture) : picture_(picture) {}

    std::uint32_t add(const SolidVertex& v, const Vector& normal, Rgb colour)
    {
        picture_.positions.insert(picture_.positions.end(), {v.x, v.y, v.z});
        picture_.normals.insert(picture_.normals.end(), {static_cast<float>(normal.x),
                                                         static_cast<float>(normal.y),
                                                         static_cast<float>(normal.z)});
        picture_.colours.insert(picture_.colours.end(), {colour.r, colour.g, colour.b});
        return static_cast<std::uint32_t>(picture_.vertices() - 1);
    }

    bool sameNormal(std::uint32_t vertex, const Vector& n) const
    {
        const float* stored = &picture_.normals[vertex * 3];
        return stored[0] * n.x + stored[1] * n.y + stored[2] * n.z > 0.99999;
    }

private:
    SolidPicture& picture_;
};

}  // namespace

namespace {

// The highest value among the cells whose closure holds the point; NaN when none has one.
float valueAround(const TopValues& values, float x, float y)
{
    float best = std::numeric_limits<float>::quiet_NaN();
    const int x0 = static_cast<int>(std::floor(x - 1e-3f));
    const int y0 = static_cast<int>(std::floor(y - 1e-3f));
    const int x1 = static_cast<int>(std::floor(x + 1e-3f));
    const int y1 = static_cast<int>(std::floor(y + 1e-3f));
    for (int cy = y0; cy <= y1; ++cy) {
        for (int cx = x0; cx <= x1; ++cx) {
            if (cx < 0 || cy < 0 || cx >= FOOT_COLUMNS || cy >= GRID_ROWS) {
                continue;
            }
            const float v = values.cells[gridIndex(cx, cy)];
            if (!std::isnan(v) && !(v <= best)) {
                best = v;
            }
        }
    }
    return best;
}

Rgb topColour(const SolidVertex& v, double thinnestMm, double thickestMm, const TopValues* values)
{
    if (values) {
        const float value = valueAround(*values, v.x, v.y);
        if (std::isnan(value)) {
            return SOLID_SIDE_COLOUR;
        }
        const double span = values->high - values->low;
        return heightColour(span > 0.0 ? (value - values->low) / span : 0.5);
    }
    // A top of one thickness throughout sits in the middle of the scale, as the preview
    // shows it.
    const double span = thickestMm - thinnestMm;
    return span > 0.0 ? heightColour((v.z - thinnestMm) / span) : heightColour(0.5);
}

}  // namespace

SolidPicture pictureOfSolid(const SolidMesh& mesh, double thinnestMm, double thickestMm,
                            const TopValues* values)
{
    std::vector<Vector> faces;
    faces.reserve(mesh.triangles.size());
    std::vector<Vector> topNormals(mesh.vertices.size());
    for (const SolidTriangle& triangle : mesh.triangles) {
        const Vector n = faceNormal(mesh, triangle);
        faces.push_back(unit(n));
        if (n.z > 0.0) {
            for (std::uint32_t corner : triangle) {
                topNormals[corner].x += n.x;
                topNormals[corner].y += n.y;
                topNormals[corner].z += n.z;
            }
        }
    }

    SolidPicture picture;
    picture.indices.reserve(mesh.triangles.size() * 3);
    // Tops share their vertices; walls and the bottom add about one vertex in every one.
    picture.positions.reserve(mesh.vertices.size() * 6);
    picture.normals.reserve(mesh.vertices.size() * 6);
    picture.colours.reserve(mesh.vertices.size() * 6);
    PictureBuilder builder(picture);
    std::vector<std::uint32_t> sideVertex(mesh.vertices.size() * SIDES, NONE);
    for (std::size_t t = 0; t < mesh.triangles.size(); ++t) {
        const Vector& face = faces[t];
        const int side = sideOf(face);
        for (std::uint32_t corner : mesh.triangles[t]) {
            std::uint32_t& shared = sideVertex[corner * SIDES + side];
            const SolidVertex& v = mesh.vertices[corner];
            if (side == TOP_SIDE) {
                if (shared == NONE) {
                    shared = builder.add(v, unit(topNormals[corner]),
                                         topColour(v, thinnestMm, thickestMm, values));
                }
                picture.indices.push_back(shared);
            } else if (shared == NONE) {
                shared = builder.add(v, face, SOLID_SIDE_COLOUR);
                picture.indices.push_back(shared);
            } else if (builder.sameNormal(shared, face)) {
                picture.indices.push_back(shared);
            } else {
                // A side that leans between the eight directions keeps its own vertices.
                picture.indices.push_back(builder.add(v, face, SOLID_SIDE_COLOUR));
            }
        }
    }
    return picture;
}

SolidLines zoneOutlines(const Grid& zoneMask, const Grid& heights, double levelMm)
{
    // Lifted by a tenth of a millimetre above the highest cell at either end: along a cell's
    // edge the top runs straight between its corners, each no higher than the cells there.
    const auto top = [&](int cornerX, int cornerY) {
        int highest = 0;
        for (int cy = cornerY - 1; cy <= cornerY; ++cy) {
            for (int cx = cornerX - 1; cx <= cornerX; ++cx) {
                if (cx >= 0 && cy >= 0 && cx < FOOT_COLUMNS && cy < GRID_ROWS) {
                    highest = std::max<int>(highest, heights[gridIndex(cx, cy)]);
                }
            }
        }
        return static_cast<float>(highest * levelMm + 0.1);
    };
    const auto zoneAt = [&](int x, int y) {
        return x < 0 || y < 0 || x >= FOOT_COLUMNS || y >= GRID_ROWS ? 0 : zoneMask[gridIndex(x, y)];
    };
    SolidLines lines;
    const auto edge = [&](int x0, int y0, int x1, int y1) {
        lines.insert(lines.end(), {static_cast<float>(x0), static_cast<float>(y0), top(x0, y0),
                                   static_cast<float>(x1), static_cast<float>(y1), top(x1, y1)});
    };
    for (int y = 0; y <= GRID_ROWS; ++y) {
        for (int x = 0; x <= FOOT_COLUMNS; ++x) {
            const int here = zoneAt(x, y);
            if (here != zoneAt(x - 1, y) && y < GRID_ROWS) {
                edge(x, y, x, y + 1);
            }
            if (here != zoneAt(x, y - 1) && x < FOOT_COLUMNS) {
                edge(x, y, x + 1, y);
            }
        }
    }
    return lines;
}
