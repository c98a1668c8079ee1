#include "view/solid_picture.h"

#include <cmath>

namespace {

struct Vector {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

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

void append(std::vector<float>& out, const Vector& n)
{
    const double length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
    const double scale = length > 0.0 ? 1.0 / length : 0.0;
    out.push_back(static_cast<float>(n.x * scale));
    out.push_back(static_cast<float>(n.y * scale));
    out.push_back(static_cast<float>(n.z * scale));
}

}  // namespace

SolidPicture pictureOfSolid(const SolidMesh& mesh, double thinnestMm, double thickestMm)
{
    std::vector<Vector> faces;
    faces.reserve(mesh.triangles.size());
    std::vector<Vector> topNormals(mesh.vertices.size());
    for (const SolidTriangle& triangle : mesh.triangles) {
        const Vector n = faceNormal(mesh, triangle);
        faces.push_back(n);
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
    const std::size_t corners = mesh.triangles.size() * 3;
    picture.positions.reserve(corners * 3);
    picture.normals.reserve(corners * 3);
    picture.colours.reserve(corners * 3);
    for (std::size_t t = 0; t < mesh.triangles.size(); ++t) {
        const bool top = faces[t].z > 0.0;
        for (std::uint32_t corner : mesh.triangles[t]) {
            const SolidVertex& v = mesh.vertices[corner];
            picture.positions.insert(picture.positions.end(), {v.x, v.y, v.z});
            append(picture.normals, top ? topNormals[corner] : faces[t]);
            // A top of one thickness throughout sits in the middle of the scale, as the
            // preview shows it.
            const Rgb colour = !top        ? SOLID_SIDE_COLOUR
                               : span > 0.0 ? heightColour((v.z - thinnestMm) / span)
                                            : heightColour(0.5);
            picture.colours.insert(picture.colours.end(), {colour.r, colour.g, colour.b});
        }
    }
    return picture;
}
