// The 3D view's picture of a solid: every triangle of the mesh, lit from outside, the top in
// the thickness scale and the sides grey.
#include "view/solid_picture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

struct Normal {
    double x, y, z;
};

Normal faceNormal(const SolidMesh& mesh, const SolidTriangle& t)
{
    const SolidVertex& a = mesh.vertices[t[0]];
    const SolidVertex& b = mesh.vertices[t[1]];
    const SolidVertex& c = mesh.vertices[t[2]];
    const double ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
    const double vx = c.x - a.x, vy = c.y - a.y, vz = c.z - a.z;
    const Normal n{uy * vz - uz * vy, uz * vx - ux * vz, ux * vy - uy * vx};
    const double length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
    return {n.x / length, n.y / length, n.z / length};
}

bool sameColour(const std::uint8_t* c, Rgb expected)
{
    return c[0] == expected.r && c[1] == expected.g && c[2] == expected.b;
}

// Every picture triangle is the mesh's triangle at the same place, with unit normals on the
// face's side, scale colours on the top and the side colour elsewhere.
void expectFaithfulPicture(const SolidMesh& mesh, double thinnest, double thickest)
{
    const SolidPicture picture = pictureOfSolid(mesh, thinnest, thickest);
    ASSERT_EQ(picture.triangles(), mesh.triangles.size());
    ASSERT_EQ(picture.normals.size(), picture.positions.size());
    ASSERT_EQ(picture.colours.size(), picture.positions.size());
    int wrong = 0;
    for (std::size_t t = 0; t < mesh.triangles.size() && wrong < 5; ++t) {
        const Normal face = faceNormal(mesh, mesh.triangles[t]);
        const bool top = face.z > 0.0;
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t i = picture.indices[t * 3 + k];
            ASSERT_LT(i, picture.vertices());
            const SolidVertex& v = mesh.vertices[mesh.triangles[t][k]];
            const float* p = &picture.positions[i * 3];
            const float* n = &picture.normals[i * 3];
            const double along = n[0] * face.x + n[1] * face.y + n[2] * face.z;
            const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
            const double share = thickest > thinnest ? (v.z - thinnest) / (thickest - thinnest) : 0.5;
            const bool ok = p[0] == v.x && p[1] == v.y && p[2] == v.z && std::abs(length - 1.0) < 1e-5 &&
                            (top ? n[2] > 0.0f : along > 0.99999) &&
                            sameColour(&picture.colours[i * 3], top ? heightColour(share) : SOLID_SIDE_COLOUR);
            if (!ok) {
                ADD_FAILURE() << "triangle " << t << " corner " << k << " at " << v.x << "," << v.y << ","
                              << v.z << (top ? " (top)" : " (side)");
                ++wrong;
            }
        }
    }
    // Sharing: far fewer vertices than corners, so that each is lit once.
    EXPECT_LT(picture.vertices(), picture.indices.size() / 2);
}

}  // namespace

TEST(SolidPicture, EveryTriangleOfTheMeshWithItsSideNormalsAndColours)
{
    // A ring of rising heights on the grid's border, a peak inside it, and two cells that
    // touch only at a corner, whose walls are cut on the diagonal.
    Grid grid{};
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 30; ++x) {
            const bool ring = x < 4 || x >= 26 || y < 4 || y >= 36;
            grid[gridIndex(x, y)] = ring ? static_cast<std::uint8_t>(10 + x + y) : 0;
        }
    }
    grid[gridIndex(15, 20)] = 90;
    grid[gridIndex(16, 21)] = 40;
    grid[gridIndex(100, 300)] = 25;
    const SolidMesh mesh = buildSolid(grid, 0.2);
    const SolidFigures figures = measureSolid(mesh);
    ASSERT_FALSE(mesh.empty());
    expectFaithfulPicture(mesh, figures.thinnestMm, figures.thickestMm);
}

TEST(SolidPicture, ATopOfOneThicknessSitsInTheMiddleOfTheScale)
{
    Grid grid{};
    for (int y = 100; y < 110; ++y) {
        for (int x = 60; x < 70; ++x) {
            grid[gridIndex(x, y)] = 12;
        }
    }
    const SolidMesh mesh = buildSolid(grid, 0.5);
    expectFaithfulPicture(mesh, 6.0, 6.0);
    EXPECT_EQ(pictureOfSolid(SolidMesh(), 0.0, 0.0).triangles(), 0u);
}
