#include "view/solid_picture.h"

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

SolidPicture pictureOfSolid(const SolidMesh& mesh, double thinnestMm, double thickestMm)
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

    const double span = thickestMm - thinnestMm;
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
                    // A top of one thickness throughout sits in the middle of the scale, as
                    // the preview shows it.
                    const Rgb colour = span > 0.0 ? heightColour((v.z - thinnestMm) / span) : heightColour(0.5);
                    shared = builder.add(v, unit(topNormals[corner]), colour);
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
