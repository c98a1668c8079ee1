// The solid's files: binary STL that ADMesh (a third-party checker, and the loader of several
// slicers) takes without a repair, 3MF that lib3mf reads back as the same mesh in millimetres
// with its record, the names Save solid gives, and failures that leave the old file as it was.
#include "solid/solid_files.h"
#include "support/model_reader.h"
#include "support/solid_check.h"
#include "support/test_support.h"

#include <admesh/stl.h>

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstring>
#include <functional>

#include <sys/resource.h>

namespace {

Grid gridOf(const std::function<int(int, int)>& height)
{
    Grid grid{};
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            grid[gridIndex(x, y)] = static_cast<std::uint8_t>(height(x, y));
        }
    }
    return grid;
}

// A few pieces with holes, diagonal contacts and cells on the grid's border.
Grid awkwardGrid()
{
    return gridOf([](int x, int y) {
        const bool ring = x >= 20 && x < 60 && y >= 30 && y < 90 && !(x >= 30 && x < 50 && y >= 40 && y < 80);
        const bool checkers = x >= 80 && x < 100 && y >= 100 && y < 120 && (x + y) % 2 == 0;
        const bool border = y == 0 || x == FOOT_COLUMNS - 1;
        return ring || checkers || border ? 10 + (x * 3 + y * 5) % 90 : 0;
    });
}

std::uint32_t uint32At(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

float floatAt(const std::vector<std::uint8_t>& b, std::size_t at)
{
    const std::uint32_t bits = uint32At(b, at);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// What ADMesh says of a file after all its checks and repairs, as its program runs them.
struct AdmeshReport {
    bool opened = false;
    int facets = 0;
    int facetsWithThreeNeighbours = 0;
    int edgesFixed = 0;
    int degenerate = 0;
    int removed = 0;
    int added = 0;
    int reversed = 0;
    int backwardsEdges = 0;
    int normalsFixed = 0;
    int parts = 0;
    float volume = 0;
};

AdmeshReport admesh(const std::string& path)
{
    AdmeshReport r;
    stl_file stl{};
    std::string name = path;
    stl_open(&stl, name.data());
    if (stl_get_error(&stl)) {
        stl_close(&stl);
        return r;
    }
    r.opened = true;
    stl_repair(&stl, 1, 0, 0, 0.0f, 0, 0.0f, 0, 2, 0, 0, 0, 0, 0, 0);
    stl_calculate_volume(&stl);
    const stl_stats& s = stl.stats;
    r.facets = s.number_of_facets;
    r.facetsWithThreeNeighbours = s.connected_facets_3_edge;
    r.edgesFixed = s.edges_fixed;
    r.degenerate = s.degenerate_facets;
    r.removed = s.facets_removed;
    r.added = s.facets_added;
    r.reversed = s.facets_reversed;
    r.backwardsEdges = s.backwards_edges;
    r.normalsFixed = s.normals_fixed;
    r.parts = s.number_of_parts;
    r.volume = s.volume;
    stl_close(&stl);
    return r;
}

SolidRecord someRecord()
{
    SolidRecord record;
    record.footFile = "scans/left foot.png";
    record.settings = {121.5, 280.0, 1.4, true};
    record.levelMm = 0.25;
    return record;
}

std::string saveCapturingErrors(const std::function<bool()>& save, bool& saved)
{
    testing::internal::CaptureStderr();
    saved = save();
    return testing::internal::GetCapturedStderr();
}

}  // namespace

TEST(SolidStl, HeaderCountAndLittleEndianRecordsWithUnitOutwardNormals)
{
    const SolidMesh mesh = buildSolid(awkwardGrid(), DEFAULT_LEVEL_MM);
    const std::vector<std::uint8_t> stl = encodeStl(mesh);
    ASSERT_EQ(stl.size(), 84 + 50 * mesh.triangles.size());
    EXPECT_NE(std::string(stl.begin(), stl.begin() + 5), "solid");
    EXPECT_EQ(std::string(stl.begin(), stl.begin() + 7), "Tarsola");
    EXPECT_EQ(uint32At(stl, 80), mesh.triangles.size());
    int wrong = 0;
    for (std::size_t i = 0; i < mesh.triangles.size() && wrong < 5; ++i) {
        const std::size_t at = 84 + 50 * i;
        const float n[3] = {floatAt(stl, at), floatAt(stl, at + 4), floatAt(stl, at + 8)};
        SolidVertex v[3];
        for (int k = 0; k < 3; ++k) {
            v[k] = {floatAt(stl, at + 12 + 12 * k), floatAt(stl, at + 16 + 12 * k),
                    floatAt(stl, at + 20 + 12 * k)};
            const SolidVertex& m = mesh.vertices[mesh.triangles[i][k]];
            if (v[k].x != m.x || v[k].y != m.y || v[k].z != m.z) {
                ADD_FAILURE() << "triangle " << i << " corner " << k << " differs from the mesh";
                ++wrong;
            }
        }
        // Unit length, and the same side as the corners' counter-clockwise order.
        const double ux = v[1].x - v[0].x, uy = v[1].y - v[0].y, uz = v[1].z - v[0].z;
        const double wx = v[2].x - v[0].x, wy = v[2].y - v[0].y, wz = v[2].z - v[0].z;
        const double along = n[0] * (uy * wz - uz * wy) + n[1] * (uz * wx - ux * wz) + n[2] * (ux * wy - uy * wx);
        const double length = std::sqrt(double(n[0]) * n[0] + double(n[1]) * n[1] + double(n[2]) * n[2]);
        if (std::abs(length - 1.0) > 1e-6 || !(along > 0.0)) {
            ADD_FAILURE() << "triangle " << i << ": normal of length " << length << ", " << along;
            ++wrong;
        }
        EXPECT_EQ(stl[at + 48] | stl[at + 49], 0);
    }
}

// ADMesh runs every check and repair it has and must find nothing to do.
TEST(SolidStl, AdmeshFindsNothingToRepair)
{
    TempDir dir;
    const Grid awkward = awkwardGrid();
    const Grid full = gridOf([](int x, int y) { return 10 + (x * y) % 240; });
    for (const Grid* grid : {&awkward, &full}) {
        const SolidMesh mesh = buildSolid(*grid, DEFAULT_LEVEL_MM);
        const std::string path = dir.file("insole.stl");
        ASSERT_TRUE(writeStlFile(mesh, path.c_str()));
        const AdmeshReport r = admesh(path);
        ASSERT_TRUE(r.opened);
        EXPECT_EQ(r.facets, static_cast<int>(mesh.triangles.size()));
        EXPECT_EQ(r.facetsWithThreeNeighbours, r.facets) << "disconnected facets";
        EXPECT_EQ(r.edgesFixed, 0);
        EXPECT_EQ(r.degenerate, 0);
        EXPECT_EQ(r.removed, 0);
        EXPECT_EQ(r.added, 0);
        EXPECT_EQ(r.reversed, 0);
        EXPECT_EQ(r.backwardsEdges, 0);
        EXPECT_EQ(r.normalsFixed, 0);
        EXPECT_EQ(r.parts, footPieceCount(*grid));
        EXPECT_NEAR(r.volume, measureSolid(mesh).volumeMm3, 1e-3 * measureSolid(mesh).volumeMm3);
    }
}

TEST(Solid3mf, LibraryReadsBackTheMeshInMillimetresWithItsRecord)
{
    const SolidMesh mesh = buildSolid(awkwardGrid(), 0.25);
    SolidRecord record = someRecord();
    std::vector<std::uint8_t> bytes;
    std::string failure;
    ASSERT_TRUE(encode3mf(mesh, record, bytes, failure)) << failure;
    const ReadModel model = readModel(bytes);
    ASSERT_TRUE(model.read) << model.failure;
    EXPECT_EQ(model.warnings, 0);
    EXPECT_TRUE(model.millimetres);
    EXPECT_EQ(model.meshObjects, 1);
    EXPECT_EQ(model.buildItems, 1);
    EXPECT_EQ(model.mesh.triangles, mesh.triangles);
    ASSERT_EQ(model.mesh.vertices.size(), mesh.vertices.size());
    // lib3mf writes six decimals: x and y (multiples of 1/32) come back exactly, z to 1e-6 mm.
    int moved = 0;
    for (std::size_t i = 0; i < mesh.vertices.size(); ++i) {
        const SolidVertex& a = mesh.vertices[i];
        const SolidVertex& b = model.mesh.vertices[i];
        moved += a.x != b.x || a.y != b.y || std::abs(a.z - b.z) > 1e-6f;
    }
    EXPECT_EQ(moved, 0);
    EXPECT_EQ(model.metadata.at("Title"), "Insole of scans/left foot.png");
    EXPECT_EQ(model.metadata.at("Application"), "Tarsola " TARSOLA_VERSION);
    EXPECT_EQ(model.metadata.at("Description"),
              "Tarsola insole of foot file scans/left foot.png; width 121.5 mm; length 280 mm; "
              "height ratio 1.4; 30-degree limit on; level 0.25 mm; Tarsola " TARSOLA_VERSION);

    // The same insole gives the same bytes; another record, other bytes.
    std::vector<std::uint8_t> again;
    ASSERT_TRUE(encode3mf(mesh, record, again, failure));
    EXPECT_TRUE(again == bytes);
    record.settings.limit = false;
    ASSERT_TRUE(encode3mf(mesh, record, again, failure));
    EXPECT_FALSE(again == bytes);
}

// lib3mf writes metadata as it gets it: a foot file's name with XML's special characters, bytes
// that are not UTF-8 or control characters must still give a file that reads.
TEST(Solid3mf, AnyFootFileNameGivesAReadableFile)
{
    const SolidMesh mesh = buildSolid(awkwardGrid(), DEFAULT_LEVEL_MM);
    SolidRecord record = someRecord();
    record.footFile = "a&b <c> \"d\" f\xC3\xBC\xC3\x9F \xFF\xC3 \x01.bmp";
    std::vector<std::uint8_t> bytes;
    std::string failure;
    ASSERT_TRUE(encode3mf(mesh, record, bytes, failure)) << failure;
    const ReadModel model = readModel(bytes);
    ASSERT_TRUE(model.read) << model.failure;
    // lib3mf's reader hands the text back as it stands in the file, entities and all.
    EXPECT_EQ(model.metadata.at("Title"),
              "Insole of a&amp;b &lt;c&gt; \"d\" f\xC3\xBC\xC3\x9F \xEF\xBF\xBD\xEF\xBF\xBD "
              "\xEF\xBF\xBD.bmp");
}

TEST(SaveSolid, TheNamesEndingPicksTheFormatAndStlIsAppendedOtherwise)
{
    TempDir dir;
    const SolidMesh mesh = buildSolid(awkwardGrid(), DEFAULT_LEVEL_MM);
    const std::vector<std::uint8_t> stl = encodeStl(mesh);
    const SolidRecord record = someRecord();
    const struct {
        const char* chosen;
        const char* written;
        bool is3mf;
    } cases[] = {
        {"plain", "plain.stl", false},
        {"upper.STL", "upper.STL", false},
        {"model.3mf", "model.3mf", true},
        {"MODEL.3MF", "MODEL.3MF", true},
        {"insole.bmp", "insole.bmp.stl", false},
        {"two.3mf.old", "two.3mf.old.stl", false},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(saveSolid(mesh, record, dir.file(c.chosen).c_str())) << c.chosen;
        const std::vector<std::uint8_t> written = readFileBytes(dir.file(c.written));
        if (c.is3mf) {
            ASSERT_GT(written.size(), 4u) << c.chosen;
            EXPECT_EQ(std::string(written.begin(), written.begin() + 2), "PK") << c.chosen;
            EXPECT_TRUE(readModel(written).read) << c.chosen;
        } else {
            EXPECT_TRUE(written == stl) << c.chosen;
        }
    }
}

TEST(SaveSolid, NothingToSaveOrNoNameWritesNothingAndSaysWhy)
{
    TempDir dir;
    bool saved = true;
    std::string errors = saveCapturingErrors(
        [&] { return saveSolid(SolidMesh{}, someRecord(), dir.file("empty.stl").c_str()); }, saved);
    EXPECT_FALSE(saved);
    EXPECT_EQ(errors, "Cannot save solid: the insole has no foot cell, so there is nothing to save\n");
    errors = saveCapturingErrors([&] { return writeStlFile(SolidMesh{}, dir.file("e.stl").c_str()); }, saved);
    EXPECT_FALSE(saved);
    EXPECT_NE(errors.find("nothing to save"), std::string::npos);

    const SolidMesh mesh = buildSolid(awkwardGrid(), DEFAULT_LEVEL_MM);
    errors = saveCapturingErrors([&] { return saveSolid(mesh, someRecord(), ""); }, saved);
    EXPECT_FALSE(saved);
    EXPECT_EQ(errors, "Cannot save solid : no file name was chosen\n");
    // A name that fits only without ".stl" is refused, not cut.
    const std::string longName = dir.path() + "/" + std::string(1020 - dir.path().size(), 'n');
    errors = saveCapturingErrors([&] { return saveSolid(mesh, someRecord(), longName.c_str()); }, saved);
    EXPECT_FALSE(saved);
    EXPECT_NE(errors.find("no room to append \".stl\""), std::string::npos) << errors;
    EXPECT_FALSE(fileExists(dir.file("empty.stl")));
    EXPECT_FALSE(fileExists(dir.file("e.stl")));
}

// A write that fails halfway (a file-size limit, which binds root too) and a folder that does
// not exist: one line naming the file and the reason, and the old file byte for byte.
TEST(SaveSolid, AFailedWriteLeavesTheOldFile)
{
    TempDir dir;
    const SolidMesh mesh = buildSolid(awkwardGrid(), DEFAULT_LEVEL_MM);
    for (const char* name : {"old.stl", "old.3mf"}) {
        const std::string target = dir.file(name);
        writeFileBytes(target, "the old insole");
        testing::internal::CaptureStderr();
        const int code = runInChild([&] {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{8192, 8192};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
                return 90;
            }
            return saveSolid(mesh, someRecord(), target.c_str()) ? 1 : 0;
        });
        const std::string errors = testing::internal::GetCapturedStderr();
        EXPECT_EQ(code, 0) << name;
        EXPECT_EQ(errors, "Cannot save solid " + target + ": cannot write the file: File too large\n");
        EXPECT_EQ(readFileBytes(target), std::vector<std::uint8_t>(
                                             {'t', 'h', 'e', ' ', 'o', 'l', 'd', ' ', 'i', 'n', 's', 'o', 'l', 'e'}));
    }
    bool saved = true;
    const std::string missing = dir.file("no such folder/insole.stl");
    const std::string errors = saveCapturingErrors([&] { return writeStlFile(mesh, missing.c_str()); }, saved);
    EXPECT_FALSE(saved);
    EXPECT_EQ(errors, "Cannot save solid " + missing +
                          ": cannot create a temporary file in its folder: No such file or directory\n");
}
