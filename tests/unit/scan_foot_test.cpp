// 3D scans: a sole surface made here from a known height function, turned, moved, written
// in every mesh format, in millimetres or metres, z or y up, with a small hole, loads as the
// foot image the function describes; malformed meshes are refused with a clear line.
#include "scan/scan_foot.h"
#include "support/scan_files.h"
#include "support/test_support.h"
#include "insole/insole_state.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

namespace {

constexpr double PI = 3.14159265358979323846;

// A right-left asymmetric sole in the grid's frame: 250 mm long from y = 55 (the narrow
// heel) to y = 305, symmetric outline about x = 75 (so its long axis is exactly the y axis),
// but with the arch on one side, so that a mirrored foot would not match.
bool insideSole(double x, double y)
{
    if (y < 55 || y > 305) {
        return false;
    }
    const double t = (y - 55) / 250;
    const double halfWidth = 27 + 22 * std::sin(PI * std::min(1.0, t * 1.4) / 2);
    return std::fabs(x - 75) <= halfWidth;
}

double soleHeight(double x, double y)
{
    const double along = (y - 180) / 125;
    return 3 + 4 * along * along + 6 * std::exp(-((x - 58) * (x - 58) / 150 + (y - 165) * (y - 165) / 1200));
}

// The hole: every lattice square with a corner in this 2 x 2 mm patch is left out, which
// opens 3 x 3 squares, the largest hole that is filled.
bool inHole(double x, double y) { return x >= 88 && x < 90 && y >= 120 && y < 122; }

// The lowest vertex of the lattice is the ground.
double soleGround()
{
    double lowest = INFINITY;
    for (int j = 55; j <= 305; ++j) {
        for (int i = 0; i <= 150; ++i) {
            if (insideSole(i, j)) {
                lowest = std::min(lowest, soleHeight(i, j));
            }
        }
    }
    return lowest;
}

struct Loaded {
    bool ok = false;
    std::string out, err;
    ScanFigures figures;
    std::unique_ptr<InsoleState> state = std::make_unique<InsoleState>();
};

Loaded loadScanBytes(const std::vector<std::uint8_t>& bytes, const ScanOptions& options = {})
{
    Loaded result;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    result.ok = loadFootFromMemory(*result.state, bytes.data(), bytes.size(), "scan", options,
                                   &result.figures);
    result.out = testing::internal::GetCapturedStdout();
    result.err = testing::internal::GetCapturedStderr();
    return result;
}

}  // namespace

TEST(ScanFoot, KnownSoleInEveryFormatUnitAndUpAxisMatchesItsHeights)
{
    ScanMesh sole = latticeSurface(0, 150, 55, 305, 1.0,
                                   [](double x, double y) { return insideSole(x, y) && !inHole(x, y); },
                                   soleHeight);
    const double ground = soleGround();
    struct Case {
        const char* name;
        std::vector<std::uint8_t> (*write)(const ScanMesh&);
        double degrees;
        double unitsPerMm;
        bool yUp;
    };
    const Case cases[] = {
        {"binary STL, mm, z up", binaryStl, 0, 1, false},
        {"ASCII STL, m, z up, turned", asciiStl, 30, 0.001, false},
        {"OBJ, mm, y up, turned", objFile, -70, 1, true},
        {"binary PLY, m, y up, turned", binaryPly, 135, 0.001, true},
        {"ASCII PLY, cm, z up, turned", asciiPly, 200, 0.1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScanMesh mesh = sole;
        const double a = c.degrees * PI / 180;
        transformMesh(mesh, [&](double& x, double& y, double& z) {
            const double dx = x - 75, dy = y - 180;
            double fx = (dx * std::cos(a) - dy * std::sin(a) + 40) * c.unitsPerMm;
            double fy = (dx * std::sin(a) + dy * std::cos(a) - 17) * c.unitsPerMm;
            double fz = (z + 12) * c.unitsPerMm;
            if (c.yUp) {  // up becomes +y by a quarter turn about x: (x, y, z) -> (x, z, -y)
                const double up = fz;
                fz = -fy;
                fy = up;
            }
            x = fx, y = fy, z = fz;
        });
        ScanOptions options;
        options.up = c.yUp ? ScanUp::PlusY : ScanUp::PlusZ;
        const Loaded loaded = loadScanBytes(c.write(mesh), options);
        ASSERT_TRUE(loaded.ok) << loaded.err;
        EXPECT_NE(loaded.out.find("Scan scan: "), std::string::npos) << loaded.out;
        EXPECT_TRUE(loaded.figures.isScan);
        EXPECT_EQ(loaded.figures.triangles, sole.triangleCount());
        EXPECT_TRUE(loaded.figures.unitsGuessed);
        EXPECT_EQ(loaded.figures.units, c.unitsPerMm == 1       ? ScanUnits::Millimetres
                                        : c.unitsPerMm == 0.1 ? ScanUnits::Centimetres
                                                              : ScanUnits::Metres);
        EXPECT_NEAR(loaded.figures.lengthMm, 250, 0.01);
        // The turn undoes the known one, modulo a full turn.
        EXPECT_NEAR(std::remainder(loaded.figures.turnDegrees + c.degrees, 360), 0, 0.05);
        EXPECT_EQ(loaded.figures.filledCells, 9);
        const SourceImage& image = loaded.state->sourceImage;
        EXPECT_EQ(image.format, FIF_BMP);
        EXPECT_EQ(image.bpp, 8);

        // Interior cells within one level of the height; the outline within 1 mm.
        int interiorWrong = 0, outlineWrong = 0, interior = 0;
        for (int y = 1; y < GRID_ROWS - 1; ++y) {
            for (int x = 1; x < FOOT_COLUMNS - 1; ++x) {
                const double cx = x + 0.5, cy = y + 0.5;
                const int got = loaded.state->heightGrid[gridIndex(x, y)];
                bool allInside = true, anyInside = false;
                for (int dy = -1; dy <= 1; ++dy) {
                    for (int dx = -1; dx <= 1; ++dx) {
                        const bool in = insideSole(std::floor(cx + dx), std::floor(cy + dy)) &&
                                        insideSole(std::floor(cx + dx) + 1, std::floor(cy + dy) + 1) &&
                                        insideSole(std::floor(cx + dx), std::floor(cy + dy) + 1) &&
                                        insideSole(std::floor(cx + dx) + 1, std::floor(cy + dy));
                        allInside &= in;
                        anyInside |= in;
                    }
                }
                if (allInside) {
                    ++interior;
                    const int want = levelOfHeight(soleHeight(cx, cy) - ground, DEFAULT_LEVEL_MM);
                    if (std::abs(got - want) > 1 && ++interiorWrong <= 3) {
                        ADD_FAILURE() << "cell (" << x << ", " << y << "): " << got << ", expected " << want;
                    }
                } else if (!anyInside && got != 0 && ++outlineWrong <= 3) {
                    ADD_FAILURE() << "cell (" << x << ", " << y << ") is more than 1 mm outside the sole";
                }
            }
        }
        EXPECT_GT(interior, 18000);
        EXPECT_EQ(interiorWrong, 0);
        EXPECT_EQ(outlineWrong, 0);
        // Every cell more than 1 mm inside the outline is foot, the hole's cells too.
        EXPECT_EQ(loaded.state->footWidth, 98);
        EXPECT_EQ(loaded.state->footLength, 250);
    }
}

TEST(ScanFoot, MalformedAndUnplaceableScansAreRefusedWithTheReason)
{
    const auto text = [](const std::string& s) { return std::vector<std::uint8_t>(s.begin(), s.end()); };
    const auto square = [](double size) {
        return latticeSurface(0, size, 0, size * 0.4, size / 20, [](double, double) { return true; },
                              [](double x, double) { return x / 50; });
    };
    const ScanMesh foot = square(250);

    auto nanStl = binaryStl(foot);
    const float nan = NAN;
    std::memcpy(&nanStl[84 + 12 + 4], &nan, 4);  // y of the first corner of the first triangle
    auto noTriangles = binaryStl(foot);
    noTriangles.resize(84);
    std::memset(&noTriangles[80], 0, 4);
    auto lyingPly = binaryPly(foot);
    lyingPly.resize(lyingPly.size() - 5);  // the last face's indices cut short
    const auto plyText = asciiPly(foot);
    std::string lyingAsciiPly(plyText.begin(), plyText.end());
    const std::size_t count = lyingAsciiPly.find("element face ") + 13;
    lyingAsciiPly.replace(count, lyingAsciiPly.find('\n', count) - count,
                          std::to_string(foot.triangleCount() + 1));
    ScanMesh wall = foot;  // the same triangles stood on edge: x up
    transformMesh(wall, [](double& x, double&, double& z) { z = x, x = 0; });

    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        const char* why;
    };
    const Case cases[] = {
        {"NaN coordinate", nanStl, "NaN or infinity"},
        {"no triangles", noTriangles, "holds no triangles"},
        {"empty ASCII STL", text("solid empty\nendsolid empty\n"), "ASCII STL refused"},
        {"binary PLY cut short", lyingPly, "shorter than its header says"},
        {"ASCII PLY counting more faces than it has", text(lyingAsciiPly), "ends before element face"},
        {"OBJ face beyond its vertices", text("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 4\n"),
         "refers to a vertex that does not exist"},
        {"PLY of points only",
         text("ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nproperty float y\n"
              "property float z\nend_header\n0 0 0\n"),
         "only points"},
        {"no area from below", binaryStl(wall), "no area seen from below"},
        {"units that cannot be told", binaryStl(square(1000)), "longest extent is 1000"},
        {"too long for the grid", binaryStl(square(370)), "measures 370.0 x 148.0 mm"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Loaded loaded = loadScanBytes(c.bytes);
        EXPECT_FALSE(loaded.ok);
        EXPECT_EQ(loaded.out, "Unable to load texture: ");
        EXPECT_NE(loaded.err.find("Cannot read foot scan scan: "), std::string::npos) << loaded.err;
        EXPECT_NE(loaded.err.find(c.why), std::string::npos) << loaded.err;
        EXPECT_TRUE(loaded.state->sourceImage.empty());
        EXPECT_FALSE(loaded.figures.isScan);
    }
}
