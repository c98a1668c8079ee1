// The real tarsola-batch program, run as a user runs it: arguments, exit statuses, reports on
// standard output and problems on standard error, and the files it leaves.
#include "batch/elements_preview.h"
#include "batch/preview.h"
#include "mill/gcode.h"
#include "mill/toolpath.h"
#include "solid/package_parts.h"
#include "solid/solid_files.h"
#include "support/pressure_files.h"
#include "support/scan_files.h"
#include "support/test_support.h"
#include "insole/drawing.h"
#include "insole/insole_state.h"
#include "insole/recompute.h"
#include "insole/relief_plan.h"
#include "insole/elements.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <memory>
#include <sstream>

namespace {

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

std::string quoted(const std::string& s)
{
    std::string q = "'";
    for (char c : s) {
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return q + "'";
}

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

Result runBatch(const TempDir& dir, const std::vector<std::string>& args)
{
    std::string command = quoted(TARSOLA_BATCH);
    for (const std::string& a : args) {
        command += " " + quoted(a);
    }
    command += " >" + quoted(dir.file("stdout.txt")) + " 2>" + quoted(dir.file("stderr.txt"));
    Result result;
    const int raw = std::system(command.c_str());
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = slurp(dir.file("stdout.txt"));
    result.err = slurp(dir.file("stderr.txt"));
    return result;
}

std::vector<std::string> filesIn(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

class BatchCli : public testing::Test {
protected:
    void SetUp() override
    {
        writeImage(dir.file("left.bmp"), FIF_BMP, 150, 360, 8, rectangleFoot);
        writeImage(dir.file("right.png"), FIF_PNG, 150, 360, 24, rectangleFoot);
    }
    TempDir dir;
};

}  // namespace

TEST_F(BatchCli, WrongArgumentsExitWithTwoAndWriteNothing)
{
    Result r = runBatch(dir, {});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("FOOT"), std::string::npos) << r.err;

    r = runBatch(dir, {dir.file("left.bmp"), "--frobnicate", "-o", dir.file("x")});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("frobnicate"), std::string::npos) << r.err;

    r = runBatch(dir, {dir.file("left.bmp"), "--height", "2.5", "-o", dir.file("x")});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("0.1"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("2"), std::string::npos) << r.err;

    r = runBatch(dir, {dir.file("left.bmp"), "--width", "abc", "-o", dir.file("x")});
    EXPECT_EQ(r.status, 2);

    r = runBatch(dir, {dir.file("left.bmp")});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("nothing to write"), std::string::npos) << r.err;

    EXPECT_EQ(filesIn(dir.path()),
              (std::vector<std::string>{"left.bmp", "right.png", "stderr.txt", "stdout.txt"}));

    r = runBatch(dir, {"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("--limit"), std::string::npos);
    EXPECT_NE(r.out.find("--preview"), std::string::npos);
    EXPECT_NE(r.out.find("--version"), std::string::npos);

    r = runBatch(dir, {"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string("tarsola-batch ") + TARSOLA_VERSION + "\n");
}

// A foot 92 mm wide and 200 mm long: 92 x 0.8 and 92 x 1.2 are no doubles of one decimal.
std::uint8_t narrowFoot(int x, int y)
{
    return x >= 29 && x <= 120 && y >= 80 && y <= 279 ? static_cast<std::uint8_t>(30 + (x + y) % 90) : 0;
}

TEST_F(BatchCli, RangeEndsAMissingFootAndTheGridsEdge)
{
    writeImage(dir.file("narrow.bmp"), FIF_BMP, 150, 360, 8, narrowFoot);
    // The ends as printed are the ends compared, and both are taken.
    Result r = runBatch(dir, {dir.file("narrow.bmp"), "--info", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto info = nlohmann::json::parse(r.out);
    EXPECT_EQ(info["ranges"]["width"].dump(), "[73.6,110.4]");
    for (const char* width : {"73.6", "110.4"}) {
        r = runBatch(dir, {dir.file("narrow.bmp"), "--width", width, "-o", dir.file("end.bmp")});
        EXPECT_EQ(r.status, 0) << width << ": " << r.err;
    }
    r = runBatch(dir, {dir.file("narrow.bmp"), "--width", "110.41", "-o", dir.file("end.bmp")});
    EXPECT_NE(r.err.find("outside the allowed range 73.6 to 110.4 mm"), std::string::npos) << r.err;

    // A foot that cannot be read fails alone; the others are made.
    r = runBatch(dir, {dir.file("left.bmp"), dir.file("missing.png"), dir.file("right.png"), "-o",
                       dir.file("out/")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("missing.png"), std::string::npos) << r.err;
    EXPECT_EQ(filesIn(dir.file("out")), (std::vector<std::string>{"left.bmp", "right.bmp"}));

    // 1.5 times the length of a 300 mm foot would leave the 360 rows of the grid: the foot
    // fails, naming the longest length that fits, which is then made in full.
    r = runBatch(dir, {dir.file("left.bmp"), "--length", "450", "-o", dir.file("long.bmp")});
    EXPECT_EQ(r.status, 1);
    const std::size_t named = r.err.find("the longest that fits is ");
    ASSERT_NE(named, std::string::npos) << r.err;
    EXPECT_FALSE(fileExists(dir.file("long.bmp")));
    const std::string longest = std::to_string(std::atoi(r.err.c_str() + named + 25));
    r = runBatch(dir, {dir.file("left.bmp"), "--length", longest, "-o", dir.file("long.bmp")});
    EXPECT_EQ(r.status, 0) << r.err;
    r = runBatch(dir, {dir.file("left.bmp"), "--length", std::to_string(std::stoi(longest) + 1), "-o",
                       dir.file("longer.bmp")});
    EXPECT_EQ(r.status, 1) << "one millimetre more than the longest that fits was made";
}

TEST_F(BatchCli, FootBeyondTheReadBlockAndNamesThatLie)
{
    // A 200 x 400 image whose foot crosses the right edge of the block that is read.
    writeImage(dir.file("wide.png"), FIF_PNG, 200, 400, 8,
               [](int x, int y) { return x >= 100 && x < 190 && y >= 50 && y < 300 ? 90 : 0; });
    // A 1000 x 1000 image with the foot in its middle.
    writeImage(dir.file("big.png"), FIF_PNG, 1000, 1000, 8,
               [](int x, int y) { return x >= 450 && x < 550 && y >= 350 && y < 650 ? 90 : 0; });
    for (const char* foot : {"wide.png", "big.png"}) {
        const Result r = runBatch(dir, {dir.file(foot), "-o", dir.file("insole.bmp")});
        EXPECT_EQ(r.status, 1) << foot;
        EXPECT_NE(r.err.find("pixels of foot lie outside the 150 x 360 block that is read"),
                  std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("every pixel inside its border is 0"), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fileExists(dir.file("insole.bmp")));

    // Pictures are PNG: a name promising another format is refused before anything is made.
    Result r = runBatch(dir, {dir.file("left.bmp"), "--preview", dir.file("pv.jpg")});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("pv.jpg: the file is a PNG picture, but its name says JPEG"),
              std::string::npos) << r.err;
    r = runBatch(dir, {dir.file("left.bmp"), "--foot-image", dir.file("fi.bmp")});
    EXPECT_EQ(r.status, 2);
    // An image foot makes no foot image, and says so.
    r = runBatch(dir, {dir.file("left.bmp"), "--foot-image", dir.file("fi.png")});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("only scans make one"), std::string::npos) << r.err;
    EXPECT_FALSE(fileExists(dir.file("fi.png")));
    EXPECT_FALSE(fileExists(dir.file("pv.jpg")));
    // A preview that cannot be written says so as a preview.
    r = runBatch(dir, {dir.file("left.bmp"), "--preview", dir.file("no/such/folder/pv.png")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Cannot save preview"), std::string::npos) << r.err;
}

TEST_F(BatchCli, OneFootToAFileWithPreview)
{
    const Result r = runBatch(dir, {dir.file("left.bmp"), "-o", dir.file("insole"), "--limit",
                                    "--width", "120", "--length", "280", "--height", "1.4",
                                    "--preview", dir.file("look.png")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("insole " + dir.file("insole.bmp")), std::string::npos) << r.out;
    // Save's naming: ".bmp" appended; the insole has the foot's format and size.
    const std::vector<std::uint8_t> insole = readFileBytes(dir.file("insole.bmp"));
    ASSERT_EQ(insole.size(), readFileBytes(dir.file("left.bmp")).size());
    EXPECT_EQ(insole[0], 'B');

    FIBITMAP* preview = FreeImage_Load(FIF_PNG, dir.file("look.png").c_str(), 0);
    ASSERT_NE(preview, nullptr);
    EXPECT_GE(FreeImage_GetWidth(preview), 450u);
    EXPECT_GE(FreeImage_GetHeight(preview), 1080u);
    FreeImage_Unload(preview);
    EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"insole.bmp", "left.bmp", "look.png",
                                                             "right.png", "stderr.txt",
                                                             "stdout.txt"}));
}

TEST_F(BatchCli, SeveralFeetIntoAFolderWithJsonAndOneBadFoot)
{
    writeFileBytes(dir.file("bad \"name\".png"), "garbage");
    const Result r = runBatch(dir, {dir.file("left.bmp"), dir.file("bad \"name\".png"),
                                    dir.file("right.png"), "-o", dir.file("out"), "--preview",
                                    dir.file("pictures"), "--json"});
    EXPECT_EQ(r.status, 1);
    std::istringstream lines(r.out);
    std::vector<nlohmann::json> reports;
    for (std::string line; std::getline(lines, line);) {
        reports.push_back(nlohmann::json::parse(line));  // throws, failing the test, on bad JSON
    }
    ASSERT_EQ(reports.size(), 3u) << r.out;
    EXPECT_EQ(reports[0]["insole"], dir.file("out/left.bmp"));
    EXPECT_EQ(reports[0]["preview"], dir.file("pictures/left.png"));
    EXPECT_EQ(reports[1]["file"], dir.file("bad \"name\".png"));
    EXPECT_FALSE(reports[1]["ok"].get<bool>());
    EXPECT_TRUE(reports[2]["ok"].get<bool>());
    EXPECT_EQ(reports[2]["settings"]["width"], 110.0);
    EXPECT_EQ(reports[2]["image"]["format"], "PNG");

    // One line on standard error, naming the bad file; no running trace anywhere.
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find("bad \"name\".png"), std::string::npos);
    EXPECT_EQ(r.out.find("MIN ="), std::string::npos);

    // The insoles keep their feet's formats; nothing else, and no temporary file, is left.
    EXPECT_EQ(filesIn(dir.file("out")), (std::vector<std::string>{"left.bmp", "right.bmp"}));
    EXPECT_EQ(filesIn(dir.file("pictures")), (std::vector<std::string>{"left.png", "right.png"}));
    EXPECT_EQ(readFileBytes(dir.file("out/right.bmp"))[1], 'P');
}

TEST_F(BatchCli, RangesAreCheckedPerFootAndNamed)
{
    const Result r = runBatch(dir, {dir.file("left.bmp"), dir.file("right.png"), "--width", "87",
                                    "-o", dir.file("out")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("--width 87 is outside the allowed range 88 to 132 mm"), std::string::npos)
        << r.err;
    EXPECT_EQ(filesIn(dir.file("out")), std::vector<std::string>{});
}

TEST_F(BatchCli, InfoWritesNothing)
{
    const Result r = runBatch(dir, {dir.file("left.bmp"), "--info", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json info = nlohmann::json::parse(r.out);
    EXPECT_EQ(info["footWidth"], 110);
    EXPECT_EQ(info["footLength"], 300);
    EXPECT_EQ(info["box"]["minX"], 20);
    EXPECT_EQ(info["ranges"]["length"][1].get<double>(), 450.0);
    EXPECT_EQ(filesIn(dir.path()),
              (std::vector<std::string>{"left.bmp", "right.png", "stderr.txt", "stdout.txt"}));
}

TEST_F(BatchCli, SolidsAloneFromTheHeightsTheInsoleWouldHave)
{
    Result r = runBatch(dir, {dir.file("left.bmp"), "--stl", dir.file("solid"), "--limit"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("; solid at level 0.2 mm: "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" cm3, thickness 2 to "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("; stl " + dir.file("solid.stl")), std::string::npos) << r.out;
    EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"left.bmp", "right.png", "solid.stl",
                                                             "stderr.txt", "stdout.txt"}));
    // The solid of the very heights that -o would save with the same settings.
    auto state = std::make_unique<InsoleState>();
    ASSERT_TRUE(loadFoot(*state, dir.file("left.bmp").c_str()));
    InsoleSettings settings = restoredSettings(*state);
    settings.limit = true;
    recomputeHeights(*state, settings);
    const SolidMesh mesh = buildSolid(state->heightGrid, DEFAULT_LEVEL_MM);
    EXPECT_TRUE(readFileBytes(dir.file("solid.stl")) == encodeStl(mesh));

    r = runBatch(dir, {dir.file("left.bmp"), dir.file("right.png"), "--stl", dir.file("stl"),
                       "--3mf", dir.file("3mf"), "--level-mm", "0.5", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    std::string line;
    ASSERT_TRUE(std::getline(lines, line));
    const nlohmann::json left = nlohmann::json::parse(line);
    EXPECT_EQ(left["stl"], dir.file("stl/left.stl"));
    EXPECT_EQ(left["3mf"], dir.file("3mf/left.3mf"));
    EXPECT_FALSE(left.contains("insole"));
    const nlohmann::json& solid = left["solid"];
    settings.limit = false;
    recomputeHeights(*state, settings);
    const SolidFigures figures = measureSolid(buildSolid(state->heightGrid, 0.5));
    EXPECT_EQ(solid["levelMm"], 0.5);
    EXPECT_EQ(solid["triangles"], figures.triangles);
    EXPECT_NEAR(solid["volumeMm3"].get<double>(), figures.volumeMm3, 1e-3);
    EXPECT_EQ(solid["thinnestMm"], 5.0);  // the lowest height, 10, at 0.5 mm
    EXPECT_EQ(solid["footprint"]["widthMm"], 110.0);
    EXPECT_EQ(solid["footprint"]["lengthMm"], 300.0);
    EXPECT_EQ(filesIn(dir.file("3mf")), (std::vector<std::string>{"left.3mf", "right.3mf"}));
    EXPECT_EQ(filesIn(dir.file("stl")), (std::vector<std::string>{"left.stl", "right.stl"}));
}

TEST_F(BatchCli, TheLevelSizeOutsideItsRangeIsRefused)
{
    for (const char* level : {"0.04", "1.5", "nan"}) {
        const Result r = runBatch(dir, {dir.file("left.bmp"), "--stl", dir.file("s"), "--level-mm", level});
        EXPECT_EQ(r.status, 2) << level;
        EXPECT_NE(r.err.find("outside the allowed range 0.05 to 1 mm"), std::string::npos) << r.err;
    }
    EXPECT_EQ(filesIn(dir.path()),
              (std::vector<std::string>{"left.bmp", "right.png", "stderr.txt", "stdout.txt"}));
}

// A foot of one pixel is measured but drawn at its own width leaves no cell: no solid, and
// neither that foot's insole nor any other file of it.
TEST_F(BatchCli, AFootWithoutFootCellsMakesNoSolidAndWritesNothing)
{
    writeImage(dir.file("dot.bmp"), FIF_BMP, 150, 360, 8,
               [](int x, int y) { return std::uint8_t(x == 75 && y == 200 ? 100 : 0); });
    const Result r = runBatch(dir, {dir.file("dot.bmp"), "-o", dir.file("dot-insole"), "--stl",
                                    dir.file("dot-solid")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Cannot make the insole of " + dir.file("dot.bmp") +
                         ": the insole has no foot cell at these settings, so there is no solid to make\n");
    EXPECT_FALSE(fileExists(dir.file("dot-insole.bmp")));
    EXPECT_FALSE(fileExists(dir.file("dot-solid.stl")));
}

// Scans go through the same options: their figures in the report, the made foot image kept
// as PNG and equal to the foot the window would load, the placement options passed on.
TEST_F(BatchCli, ScansReportTheirPlacementAndKeepTheirFootImage)
{
    ScanMesh sole = latticeSurface(25, 125, 55, 305, 2.0, [](double, double y) { return y >= 55; },
                                   [](double x, double y) { return 2 + x / 40 + y / 100; });
    // In metres, y up, turned a quarter turn: (x, y, z) mm -> (-y, z, -x) m.
    transformMesh(sole, [](double& x, double& y, double& z) {
        const double ox = x, oy = y, oz = z;
        x = -oy / 1000, y = oz / 1000, z = -ox / 1000;
    });
    const auto stl = binaryStl(sole);
    writeFileBytes(dir.file("scan.stl"), std::string(stl.begin(), stl.end()));
    writeFileBytes(dir.file("copy.stl"), std::string(stl.begin(), stl.end()));

    Result r = runBatch(dir, {dir.file("scan.stl"), dir.file("left.bmp"), dir.file("copy.stl"), "-o",
                              dir.file("out"), "--foot-image", dir.file("feet"), "--scan-up", "+y",
                              "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    std::string line;
    std::vector<nlohmann::json> reports;
    while (std::getline(lines, line)) {
        reports.push_back(nlohmann::json::parse(line));
    }
    ASSERT_EQ(reports.size(), 3u);
    const nlohmann::json& scan = reports[0]["scan"];
    EXPECT_EQ(scan["triangles"], sole.triangleCount());
    EXPECT_EQ(scan["units"], "m");
    EXPECT_EQ(scan["up"], "+y");
    EXPECT_EQ(scan["lengthMm"], 250.0);
    EXPECT_EQ(scan["widthMm"], 100.0);
    EXPECT_FALSE(reports[1].contains("scan"));  // an image foot has no scan and no made image
    EXPECT_FALSE(reports[1].contains("footImage"));
    EXPECT_EQ(filesIn(dir.file("feet")), (std::vector<std::string>{"copy.png", "scan.png"}));

    // The kept foot image loads again as the same foot.
    auto fromScan = std::make_unique<InsoleState>();
    auto fromImage = std::make_unique<InsoleState>();
    ScanOptions yUp;
    yUp.up = ScanUp::PlusY;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(loadFoot(*fromScan, dir.file("scan.stl").c_str(), yUp));
    ASSERT_TRUE(loadFoot(*fromImage, dir.file("feet/scan.png").c_str()));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(fromImage->heightGrid, fromScan->heightGrid);
    EXPECT_EQ(fromImage->footWidth, 100);

    // --level-mm is the scan's grey level too: twice the level, half the levels above ground.
    r = runBatch(dir, {dir.file("scan.stl"), "--foot-image", dir.file("coarse.png"), "--scan-up",
                       "+y", "--level-mm", "0.4"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto coarse = std::make_unique<InsoleState>();
    testing::internal::CaptureStdout();
    ASSERT_TRUE(loadFoot(*coarse, dir.file("coarse.png").c_str()));
    testing::internal::GetCapturedStdout();
    for (int i : {gridIndex(75, 180), gridIndex(60, 100), gridIndex(90, 300)}) {
        ASSERT_GT(fromScan->heightGrid[i], 1) << i;
        EXPECT_NEAR(coarse->heightGrid[i] - 1, (fromScan->heightGrid[i] - 1) / 2.0, 1.0) << i;
    }

    // Units given that do not fit: refused with the size it would have.
    r = runBatch(dir, {dir.file("scan.stl"), "--info", "--scan-units", "mm", "--scan-up", "+y"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("the foot measures 0.3 x 0.1 mm (length x width) and covers no cell"), std::string::npos) << r.err;
    EXPECT_NE(runBatch(dir, {dir.file("scan.stl"), "--info", "--foot-image", dir.file("f.png")}).status, 0);
}

namespace {

// The sample foot copied into the test's folder as `foot`, loaded as the batch loads it, and
// a plate's measurement of it written beside it as `plate`.
std::unique_ptr<InsoleState> sampleFootWithPlate(const TempDir& dir, const std::string& foot,
                                                 const std::string& plate)
{
    const std::vector<std::uint8_t> bytes = readFileBytes(TARSOLA_SOURCE_DIR "/samples/foot.bmp");
    writeFileBytes(dir.file(foot), std::string(bytes.begin(), bytes.end()));
    auto state = std::make_unique<InsoleState>();
    testing::internal::CaptureStdout();
    EXPECT_TRUE(loadFoot(*state, dir.file(foot).c_str()));
    testing::internal::GetCapturedStdout();
    writeFileBytes(dir.file(plate), pressureMatrixOf(state->footGrid, 5.0));
    return state;
}

// The heights of an 8-bit insole file, row 0 at the bottom as in the grid.
Grid insoleIn(const std::string& path)
{
    Grid heights{};
    FIBITMAP* bitmap = FreeImage_Load(FreeImage_GetFileType(path.c_str()), path.c_str(), 0);
    EXPECT_NE(bitmap, nullptr) << path;
    if (bitmap) {
        for (int y = 0; y < GRID_ROWS; ++y) {
            for (int x = 0; x < FOOT_COLUMNS; ++x) {
                heights[gridIndex(x, y)] = FreeImage_GetScanLine(bitmap, y)[x];
            }
        }
        FreeImage_Unload(bitmap);
    }
    return heights;
}

// A picture's pixels, rows from the top down.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<Rgb> pixels;

    Rgb at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    // The pixel in the middle of an insole cell, in the preview's layout.
    Rgb cell(int x, int y) const { return at(cellLeft(x) + 1, cellTop(y) + 1); }
};

Picture pictureIn(const std::string& path)
{
    Picture picture;
    FIBITMAP* bitmap = FreeImage_Load(FIF_PNG, path.c_str(), 0);
    EXPECT_NE(bitmap, nullptr) << path;
    if (!bitmap) {
        return picture;
    }
    picture.width = static_cast<int>(FreeImage_GetWidth(bitmap));
    picture.height = static_cast<int>(FreeImage_GetHeight(bitmap));
    for (int y = 0; y < picture.height; ++y) {
        const BYTE* line = FreeImage_GetScanLine(bitmap, picture.height - 1 - y);
        for (int x = 0; x < picture.width; ++x) {
            picture.pixels.push_back({line[x * 3 + FI_RGBA_RED], line[x * 3 + FI_RGBA_GREEN],
                                      line[x * 3 + FI_RGBA_BLUE]});
        }
    }
    FreeImage_Unload(bitmap);
    return picture;
}

bool same(Rgb a, Rgb b) { return a.r == b.r && a.g == b.g && a.b == b.b; }

std::vector<nlohmann::json> jsonLines(const std::string& text)
{
    std::vector<nlohmann::json> objects;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        objects.push_back(nlohmann::json::parse(line));
    }
    return objects;
}

// The sample foot, 4 mm wider and 9 mm shorter than measured (so that the insole's grid is not
// the foot image's), relieved with parameters and a hand correction that are all not the
// defaults: what the batch is asked for, and what the shared recompute makes of it in-process.
struct StretchedRelief {
    std::unique_ptr<InsoleState> state;
    std::unique_ptr<ReliefPlan> plan = std::make_unique<ReliefPlan>();
    std::unique_ptr<DrawnRelief> drawn = std::make_unique<DrawnRelief>();
    InsoleSettings settings;
    std::vector<std::string> arguments;

    explicit StretchedRelief(const TempDir& dir)
        : state(sampleFootWithPlate(dir, "foot.bmp", "plate.csv"))
    {
        settings = restoredSettings(*state);
        settings.width += 4;
        settings.length -= 9;
        arguments = {dir.file("foot.bmp"), "--width", std::to_string(state->footWidth + 4),
                     "--length", std::to_string(state->footLength - 9)};
        plan->measurementFile = dir.file("plate.csv");
        plan->parameters = ReliefParameters{250, 2.4, 4, 10};
        PlacementCorrection hand;
        hand.shiftXMm = 1;
        hand.shiftYMm = -2;
        hand.turnDegrees = 1.5;
        std::string failure;
        EXPECT_TRUE(readPressureFile(plan->measurementFile.c_str(), PressureOptions{}, plan->map,
                                     failure)) << failure;
        EXPECT_TRUE(placeRelief(*plan, state->footGrid, hand, DEFAULT_LEVEL_MM, failure))
            << failure;
        testing::internal::CaptureStdout();
        recomputeHeights(*state, settings, activeRelief(plan.get()), drawn.get());
        testing::internal::GetCapturedStdout();
    }

    std::vector<std::string> relieved(std::vector<std::string> outputs) const
    {
        std::vector<std::string> all = arguments;
        all.insert(all.end(), {"--pressure", plan->measurementFile, "--relief-kpa", "250",
                               "--relief-depth-mm", "2.4", "--relief-margin-mm", "4",
                               "--relief-width-mm", "10", "--pressure-shift", "1,-2",
                               "--pressure-turn", "1.5"});
        all.insert(all.end(), outputs.begin(), outputs.end());
        return all;
    }
};

}  // namespace

// The insole with a measurement is the shared recompute's with the same plan, byte for byte,
// and differs from the insole without one exactly by the raise around the zones; the 3MF
// records the recipe and the JSON report the measurement, the placement and the zones.
TEST_F(BatchCli, AMeasurementRaisesTheInsoleAroundItsZonesAsTheRecomputeDoes)
{
    const StretchedRelief expected(dir);
    ASSERT_FALSE(expected.drawn->zones.empty());
    std::vector<std::string> plainArguments = expected.arguments;
    plainArguments.insert(plainArguments.end(), {"-o", dir.file("plain.bmp")});
    Result r = runBatch(dir, plainArguments);
    ASSERT_EQ(r.status, 0) << r.err;
    r = runBatch(dir, expected.relieved({"-o", dir.file("relieved.bmp"), "--3mf",
                                         dir.file("relieved.3mf"), "--json"}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");

    const Grid relieved = insoleIn(dir.file("relieved.bmp"));
    const Grid plain = insoleIn(dir.file("plain.bmp"));
    EXPECT_TRUE(relieved == expected.state->heightGrid);
    int raised = 0;
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            const int i = gridIndex(x, y);
            const bool aroundZones =
                plain[i] && !expected.drawn->zoneMask[i] && expected.drawn->raise[i];
            ASSERT_EQ(relieved[i] != plain[i], aroundZones) << "cell " << x << "," << y;
            raised += aroundZones;
        }
    }
    EXPECT_GT(raised, 3000);

    const std::string recipe = reliefRecipe(expected.plan.get());
    EXPECT_NE(recipe.find("pressure measurement plate.csv (plain matrix"), std::string::npos)
        << recipe;
    EXPECT_NE(recipe.find("relief 250 kPa, depth 2.4 mm, margin 4 mm, transition 10 mm"),
              std::string::npos) << recipe;
    EXPECT_NE(recipe.find("by hand 1.5 degrees, 1, -2 mm"), std::string::npos) << recipe;
    std::vector<std::uint8_t> threeMf;
    std::string failure;
    ASSERT_TRUE(encode3mf(buildSolid(expected.state->heightGrid, DEFAULT_LEVEL_MM),
                          SolidRecord{"foot.bmp", expected.settings, DEFAULT_LEVEL_MM, recipe, "", {}},
                          threeMf, failure)) << failure;
    // The model and its metadata are those of the same insole and recipe; the job's parts
    // beside it are another test's.
    std::vector<std::uint8_t> model;
    std::vector<std::uint8_t> expectedModel;
    const std::vector<std::uint8_t> written = readFileBytes(dir.file("relieved.3mf"));
    ASSERT_TRUE(readPackagePart(written.data(), written.size(), "3D/3dmodel.model", model, failure)) << failure;
    ASSERT_TRUE(readPackagePart(threeMf.data(), threeMf.size(), "3D/3dmodel.model", expectedModel, failure)) << failure;
    EXPECT_TRUE(model == expectedModel);

    const nlohmann::json report = nlohmann::json::parse(r.out);
    EXPECT_EQ(report["measurement"]["file"], dir.file("plate.csv"));
    EXPECT_EQ(report["measurement"]["format"], "plain matrix");
    EXPECT_EQ(report["measurement"]["rows"], 72);
    EXPECT_EQ(report["measurement"]["columns"], 30);
    EXPECT_EQ(report["placement"]["byHand"]["shiftMm"].dump(), "[1.0,-2.0]");
    EXPECT_NEAR(report["placement"]["turnDegrees"].get<double>(),
                expected.plan->placement.turnDegrees, 0.005);
    EXPECT_GE(report["placement"]["loadShare"].get<double>(), 0.9);
    EXPECT_EQ(report["relief"]["fullRaiseLevels"], 12);
    EXPECT_EQ(report["relief"]["cappedCells"], expected.drawn->cappedCells);
    const nlohmann::json& zones = report["zones"];
    ASSERT_EQ(zones.size(), expected.drawn->zones.size());
    for (std::size_t k = 0; k < zones.size(); ++k) {
        const ReliefZone& zone = expected.drawn->zones[k];
        EXPECT_NEAR(zones[k]["centreMm"][0].get<double>(), zone.centreXMm, 0.05);
        EXPECT_NEAR(zones[k]["centreMm"][1].get<double>(), zone.centreYMm, 0.05);
        EXPECT_EQ(zones[k]["fullDepth"], zone.fullDepth);
        EXPECT_GE(zones[k]["peakKpa"].get<double>(), 250.0);
    }
}

// Both pictures lie on the insole's grid: the zones' outlines on the preview run over drawn
// zone cells only, and on the pressure preview the highest placed pressure is the top of the
// scale, every cell of a zone at or above the threshold is in the scale's upper part, and the
// cells off the foot that carry no load are background.
TEST_F(BatchCli, ThePreviewsOutlineTheZonesAndPictureThePressureOnTheInsolesGrid)
{
    const StretchedRelief expected(dir);
    const Result r = runBatch(dir, expected.relieved({"--preview", dir.file("pv.png"),
                                                      "--pressure-preview", dir.file("pp.png")}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("; pressure preview " + dir.file("pp.png")), std::string::npos) << r.out;

    const Picture preview = pictureIn(dir.file("pv.png"));
    ASSERT_EQ(preview.width, PREVIEW_WIDTH);
    int zoneInk = 0;
    for (int py = PREVIEW_MARGIN; py < PREVIEW_MARGIN + PREVIEW_MAP_HEIGHT; ++py) {
        for (int px = PREVIEW_MARGIN; px < PREVIEW_MARGIN + PREVIEW_MAP_WIDTH; ++px) {
            if (same(preview.at(px, py), PREVIEW_ZONE_INK)) {
                ++zoneInk;
                const int x = (px - PREVIEW_MARGIN) / PREVIEW_SCALE;
                const int y = GRID_ROWS - 1 - (py - PREVIEW_MARGIN) / PREVIEW_SCALE;
                ASSERT_NE(expected.drawn->zoneMask[gridIndex(x, y)], 0) << "cell " << x << "," << y;
            }
        }
    }
    EXPECT_GT(zoneInk, 200);

    auto kpa = std::make_unique<DrawnValues>();
    const InsoleState& state = *expected.state;
    drawFootValuesOnCpu(expected.plan->placed,
                        placeQuad(state.footBox(), state.displayWidth, state.displayLength), *kpa,
                        std::numeric_limits<float>::quiet_NaN());
    const Picture pressure = pictureIn(dir.file("pp.png"));
    ASSERT_GT(pressure.width, PREVIEW_WIDTH);  // room for labels up to 10000 kPa
    const float peak = expected.plan->map.peakKpa;
    const Rgb threshold = heightColour(250.0 / peak);
    int peakCells = 0;
    int zoneCells = 0;
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            const int i = gridIndex(x, y);
            const float value = (*kpa)[i];
            const Rgb shown = pressure.cell(x, y);
            if (value == peak) {
                ++peakCells;
                EXPECT_TRUE(same(shown, heightColour(1.0))) << "cell " << x << "," << y;
            }
            if (expected.drawn->zoneMask[i] && value >= 250) {
                ++zoneCells;
                // Green rises along the whole scale.
                ASSERT_GE(shown.g, threshold.g) << "cell " << x << "," << y;
            }
            if (!state.heightGrid[i] && !(value > PRESSURE_NOISE_KPA)) {
                ASSERT_TRUE(same(shown, PREVIEW_BACKGROUND)) << "cell " << x << "," << y;
            }
        }
    }
    EXPECT_GT(peakCells, 0);
    EXPECT_GT(zoneCells, 300);
}

// Several feet take their measurements from a folder by name; a foot without one is made
// exactly as without --pressure and says so. A single file for several feet is refused.
TEST_F(BatchCli, AFolderOfMeasurementsGivesEachFootItsOwn)
{
    sampleFootWithPlate(dir, "a.bmp", "plate.csv");
    sampleFootWithPlate(dir, "b.bmp", "plate.csv");
    ASSERT_EQ(mkdir(dir.file("plates").c_str(), 0777), 0);
    writeFileBytes(dir.file("plates/a.CSV"), readFileText(dir.file("plate.csv")));
    Result r = runBatch(dir, {dir.file("b.bmp"), "-o", dir.file("b-plain.bmp")});
    ASSERT_EQ(r.status, 0) << r.err;

    r = runBatch(dir, {dir.file("a.bmp"), dir.file("b.bmp"), "--pressure", dir.file("plates"), "-o",
                       dir.file("out"), "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "No pressure measurement for " + dir.file("b.bmp") +
                         ": no measurement named b.asf, .csv or .txt in " + dir.file("plates") +
                         "; made without relief\n");
    const auto reports = jsonLines(r.out);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0]["measurement"]["file"], dir.file("plates/a.CSV"));
    EXPECT_FALSE(reports[0]["zones"].empty());
    EXPECT_TRUE(reports[1]["measurement"].is_null());
    EXPECT_FALSE(reports[1].contains("zones"));
    EXPECT_TRUE(readFileBytes(dir.file("out/b.bmp")) == readFileBytes(dir.file("b-plain.bmp")));
    EXPECT_FALSE(readFileBytes(dir.file("out/a.bmp")) == readFileBytes(dir.file("b-plain.bmp")));

    r = runBatch(dir, {dir.file("a.bmp"), dir.file("b.bmp"), "--pressure", dir.file("plate.csv"),
                       "-o", dir.file("out2")});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("must be a folder when several feet are given"), std::string::npos)
        << r.err;
}

// Every pressure option out of its range, or unreadable, is an argument error naming it (the
// range's ends as compared), and so is any of them without a measurement; nothing is written.
TEST_F(BatchCli, PressureOptionsOutOfRangeOrAloneAreArgumentErrors)
{
    writeFileBytes(dir.file("plate.csv"), "100,300\n300,100\n");
    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{"--relief-kpa", "99.9"}, " is outside the allowed range 100 to 1000 kPa"},
        {{"--relief-depth-mm", "6.01"}, " is outside the allowed range 0.5 to 6 mm"},
        {{"--relief-margin-mm", "-0.5"}, " is outside the allowed range 0 to 15 mm"},
        {{"--relief-width-mm", "nan"}, " is outside the allowed range 2 to 20 mm"},
        {{"--pressure-pitch-mm", "20.5"}, " is outside the allowed range 1 to 20 mm"},
        {{"--pressure-units", "bar"}, " is not a unit taken"},
        {{"--pressure-shift", "3"}, " is not two finite numbers"},
        {{"--pressure-shift", "1,inf"}, " is not two finite numbers"},
        {{"--pressure-turn", "inf"}, " is not a finite number"},
        // The 3D window's ranges: beyond them the measurement leaves any foot.
        {{"--pressure-shift", "500,0"}, " is outside the allowed range -100 to 100 mm for X and Y"},
        {{"--pressure-shift", "0,-100.5"}, " is outside the allowed range -100 to 100 mm"},
        {{"--pressure-turn", "-180.5"}, " is outside the allowed range -180 to 180 degrees"},
        {{"--pressure-preview", dir.file("pp.jpg")},
         ": the file is a PNG picture, but its name says JPEG"},
    };
    for (const auto& [option, message] : refused) {
        std::vector<std::string> arguments = {dir.file("left.bmp"), "--pressure",
                                              dir.file("plate.csv"), "-o", dir.file("insole.bmp")};
        arguments.insert(arguments.end(), option.begin(), option.end());
        Result r = runBatch(dir, arguments);
        EXPECT_EQ(r.status, 2) << option[0];
        EXPECT_NE(r.err.find(option[0] + " " + option[1] + message), std::string::npos) << r.err;
        // Without --pressure the same option is refused for that.
        arguments.erase(arguments.begin() + 1, arguments.begin() + 3);
        r = runBatch(dir, arguments);
        EXPECT_EQ(r.status, 2) << option[0];
        EXPECT_NE(r.err.find(option[0] + " is about a pressure measurement, and none is given"),
                  std::string::npos) << r.err;
    }
    for (const std::string flag : {"--pressure-heel-first", "--pressure-mirror", "--pressure-accept"}) {
        const Result r = runBatch(dir, {dir.file("left.bmp"), "-o", dir.file("insole.bmp"), flag});
        EXPECT_EQ(r.status, 2) << flag;
        EXPECT_NE(r.err.find(flag + " is about a pressure measurement, and none is given"),
                  std::string::npos) << r.err;
    }
    // The ends themselves are taken.
    const Result r = runBatch(dir, {dir.file("left.bmp"), "--pressure", dir.file("plate.csv"),
                                    "--info", "--relief-kpa", "1000", "--relief-depth-mm", "0.5",
                                    "--relief-margin-mm", "15", "--relief-width-mm", "2",
                                    "--pressure-pitch-mm", "20", "--pressure-units", "n/CM2",
                                    "--pressure-shift", "-100,100", "--pressure-turn", "180"});
    EXPECT_NE(r.status, 2) << r.err;
    EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"left.bmp", "plate.csv", "right.png",
                                                             "stderr.txt", "stdout.txt"}));
}

// A measurement that cannot be read fails its own foot with the reader's line and leaves
// nothing of it; the other feet are made. No output of a foot replaces its measurement.
TEST_F(BatchCli, ABadMeasurementFailsItsFootOnly)
{
    sampleFootWithPlate(dir, "a.bmp", "plate.csv");
    sampleFootWithPlate(dir, "b.bmp", "plate.csv");
    ASSERT_EQ(mkdir(dir.file("plates").c_str(), 0777), 0);
    writeFileBytes(dir.file("plates/a.txt"), "100,200,300\n100,200\n");
    writeFileBytes(dir.file("plates/b.asf"), readFileText(dir.file("plate.csv")));
    Result r = runBatch(dir, {dir.file("a.bmp"), dir.file("b.bmp"), "--pressure",
                              dir.file("plates"), "-o", dir.file("out"), "--pressure-preview",
                              dir.file("pp"), "--json"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Cannot make the insole of " + dir.file("a.bmp") + ": " +
                         dir.file("plates/a.txt") + ":2: "),
              std::string::npos) << r.err;
    const auto reports = jsonLines(r.out);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_FALSE(reports[0]["ok"].get<bool>());
    EXPECT_TRUE(reports[1]["ok"].get<bool>());
    EXPECT_EQ(reports[1]["measurement"]["format"], "plain matrix");
    EXPECT_EQ(filesIn(dir.file("out")), std::vector<std::string>{"b.bmp"});
    EXPECT_EQ(filesIn(dir.file("pp")), std::vector<std::string>{"b.png"});

    const std::string plate = readFileText(dir.file("plate.csv"));
    r = runBatch(dir, {dir.file("a.bmp"), "--pressure", dir.file("plate.csv"), "--preview",
                       dir.file("plate.csv")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("is the pressure measurement of"), std::string::npos) << r.err;
    EXPECT_TRUE(readFileText(dir.file("plate.csv")) == plate) << "the measurement was replaced";
}

// A measurement laid the wrong way is not relieved: heel first, or of the other side, the foot
// fails with status 1, writes nothing, and says why and which switch puts it right. The switch
// gives the insole of the measurement laid right, byte for byte, and is recorded in the G-code
// header; --pressure-accept makes it as placed, with the warning in both reports.
TEST_F(BatchCli, AMeasurementLaidTheWrongWayFailsUntilItsSwitchPutsItRight)
{
    sampleFootWithPlate(dir, "foot.bmp", "plate.csv");
    const std::string plate = readFileText(dir.file("plate.csv"));
    writeFileBytes(dir.file("heel.csv"), matrixTurnedEndForEnd(plate));
    writeFileBytes(dir.file("other.csv"), matrixTurnedOver(plate));
    Result r = runBatch(dir, {dir.file("foot.bmp"), "--pressure", dir.file("plate.csv"), "-o",
                              dir.file("right.bmp")});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(r.err, "");

    const struct {
        const char* file;
        const char* fix;
        const char* warning;
        const char* recorded;
    } cases[] = {
        {"heel.csv", "--pressure-heel-first", "the measurement looks turned end for end (heel first): ",
         "plain matrix, 5 x 5 mm pitch, first row at the heel"},
        {"other.csv", "--pressure-mirror", "the measurement looks like the other foot: ",
         "plain matrix, 5 x 5 mm pitch, turned over"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string measurement = dir.file(c.file);
        r = runBatch(dir, {dir.file("foot.bmp"), "--pressure", measurement, "-o",
                           dir.file("out.bmp"), "--gcode", dir.file("out.nc"), "--flute-mm", "40",
                           "--json"});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("the pressure measurement " + measurement + " is doubtfully placed: "),
                  std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.warning), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(std::string("; run it with ") + c.fix +
                             ", or add --pressure-accept to use it as placed\n"),
                  std::string::npos) << r.err;
        EXPECT_FALSE(fileExists(dir.file("out.bmp")));
        EXPECT_FALSE(fileExists(dir.file("out.nc")));
        const nlohmann::json failed = nlohmann::json::parse(r.out);
        EXPECT_FALSE(failed["ok"].get<bool>());
        EXPECT_NE(failed["placement"]["warnings"].dump().find(c.warning), std::string::npos);

        // Its switch lays it right: the insole of the measurement as it should have been.
        r = runBatch(dir, {dir.file("foot.bmp"), "--pressure", measurement, c.fix, "-o",
                           dir.file("fixed.bmp"), "--gcode", dir.file("fixed.nc"), "--flute-mm", "40"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_TRUE(readFileBytes(dir.file("fixed.bmp")) == readFileBytes(dir.file("right.bmp")));
        const std::string gcode = readFileText(dir.file("fixed.nc"));
        EXPECT_NE(gcode.find(std::string("(Relief: pressure measurement ") + c.file), std::string::npos);
        EXPECT_NE(gcode.find(c.recorded), std::string::npos)
            << gcode.substr(0, 1500);

        // Accepted as placed: made, with the warning in the text and the JSON report.
        r = runBatch(dir, {dir.file("foot.bmp"), "--pressure", measurement, "--pressure-accept",
                           "-o", dir.file("accepted.bmp")});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find(std::string("; warning: ") + c.warning), std::string::npos) << r.out;
        EXPECT_NE(r.err.find(c.warning), std::string::npos) << r.err;
        EXPECT_FALSE(readFileBytes(dir.file("accepted.bmp")) == readFileBytes(dir.file("right.bmp")));
        r = runBatch(dir, {dir.file("foot.bmp"), "--pressure", measurement, "--pressure-accept",
                           "--info", "--json"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(nlohmann::json::parse(r.out)["placement"]["warnings"].dump().find(c.warning),
                  std::string::npos) << r.out;
    }

    // A sensor insole export keeps its rule (first row at the toes) and is checked the same
    // way; no switch of the batch turns it, so the way out is its header or accepting it.
    const std::string turned = matrixTurnedEndForEnd(plate);
    writeFileBytes(dir.file("walk.asf"),
                   "ROWS 72\nCOLS 30\nROW_SPACING 5 mm\nCOL_SPACING 5 mm\nUNITS kPa\n"
                   "ASCII_DATA @@\nFrame 1\n" + turned + "@@\n");
    r = runBatch(dir, {dir.file("foot.bmp"), "--pressure", dir.file("walk.asf"),
                       "--pressure-heel-first", "-o", dir.file("out.bmp")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("the measurement looks turned end for end (heel first): "),
              std::string::npos) << r.err;
    EXPECT_NE(r.err.find("; a sensor insole export has its first row at the toes unless its "
                         "MIRROR_ROW says otherwise: check how it was exported, or add "
                         "--pressure-accept to use it as placed"),
              std::string::npos) << r.err;
    EXPECT_FALSE(fileExists(dir.file("out.bmp")));

    // Too little of the load on the foot, with no better way to lay it: the way out is a hand
    // correction, or accepting it.
    r = runBatch(dir, {dir.file("foot.bmp"), "--pressure", dir.file("plate.csv"),
                       "--pressure-shift", "40,0", "-o", dir.file("out.bmp")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(" of the load falls on the foot"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("; correct the placement with --pressure-shift and --pressure-turn, or "
                         "add --pressure-accept to use it as placed"),
              std::string::npos) << r.err;
    EXPECT_FALSE(fileExists(dir.file("out.bmp")));
}

// What is no foot measurement, or a file whose frames are out of order, fails its foot with
// one line naming the file (and the line), and writes nothing of it.
TEST_F(BatchCli, APointOrAFileWithFramesOutOfOrderIsNoMeasurement)
{
    sampleFootWithPlate(dir, "foot.bmp", "plate.csv");
    writeFileBytes(dir.file("500.txt"), "500\n");
    writeFileBytes(dir.file("frames.asf"),
                   "ROWS 2\nCOLS 2\nROW_SPACING 20 mm\nCOL_SPACING 20 mm\nUNITS kPa\n"
                   "START_FRAME 1\nASCII_DATA @@\nFrame 1\n100,100\n100,100\n"
                   "Frame 2\n100,100\n100,100\nFrame 2\n100,100\n100,100\n@@\n");
    const std::pair<const char*, std::string> refused[] = {
        {"500.txt", ": not a foot measurement: 1 x 1 cells (rows x columns), fewer than 2 x 2\n"},
        {"frames.asf", ":14: Frame 2 follows Frame 2: frame numbers must run from START_FRAME "
                       "upward without a gap or a repeat\n"},
    };
    for (const auto& [file, reason] : refused) {
        const Result r = runBatch(dir, {dir.file("foot.bmp"), "--pressure", dir.file(file), "-o",
                                        dir.file("out.bmp")});
        EXPECT_EQ(r.status, 1) << file;
        EXPECT_NE(r.err.find(dir.file(file) + reason), std::string::npos) << r.err;
        EXPECT_FALSE(fileExists(dir.file("out.bmp")));
    }
}

namespace {

// Every milling option off its default (the stepover at its end, the tool's radius), so that
// an option read into the wrong field or left out changes the file.
const std::vector<std::string> MILL_OPTIONS = {
    "--tool-mm", "5",       "--stepover-mm", "2.5",   "--stepdown-mm", "3",  "--allowance-mm",
    "0.8",       "--feed",  "1500",          "--plunge-feed", "400",   "--rpm", "12000",
    "--safe-mm", "8",       "--flute-mm",    "30",    "--blank-mm",    "22"};

// The same in the setup's order: tool, stepover, step-down, allowance, feed, plunge feed,
// spindle, safe height, flute and blank.
const MillSetup MILL_OPTIONS_SETUP{5, 2.5, 3, 0.8, 1500, 400, 12000, 8, 30, 22};

// The G-code of these heights as the milling core makes it.
std::string expectedGcode(const Grid& heights, double levelMm, const MillSetup& setup,
                          const GcodeRecipe& recipe, Toolpath& path)
{
    std::string refusal;
    EXPECT_TRUE(planToolpath(heights, levelMm, setup, path, refusal)) << refusal;
    return encodeGcode(path, recipe);
}

// The lines of a G-code file that move the tool.
std::size_t moveLines(const std::string& gcode)
{
    std::size_t moves = 0;
    std::istringstream in(gcode);
    for (std::string line; std::getline(in, line);) {
        moves += !line.empty() && std::string("GXYZ").find(line[0]) != std::string::npos &&
                 line.compare(0, 3, "G21") != 0;
    }
    return moves;
}

}  // namespace

// The G-code is the milling core's file of the very heights that -o saves, with the insole's
// settings and level in its recipe and every milling option in its setup; the report's
// figures are the path's and agree with the file.
TEST_F(BatchCli, TheGcodeMillsTheHeightsTheInsoleHas)
{
    sampleFootWithPlate(dir, "foot.bmp", "plate.csv");
    std::vector<std::string> arguments = {dir.file("foot.bmp"), "--width", "100", "--length",
                                          "250", "--height", "0.8", "--limit", "--level-mm",
                                          "0.25", "-o", dir.file("insole.bmp"), "--gcode",
                                          dir.file("milled"), "--json"};
    arguments.insert(arguments.end(), MILL_OPTIONS.begin(), MILL_OPTIONS.end());
    const Result r = runBatch(dir, arguments);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");

    Toolpath path;
    const std::string expected =
        expectedGcode(insoleIn(dir.file("insole.bmp")), 0.25, MILL_OPTIONS_SETUP,
                      GcodeRecipe{"foot.bmp", 100, 250, 0.8, true, 0.25, "", ""}, path);
    const std::string written = readFileText(dir.file("milled.nc"));
    EXPECT_TRUE(written == expected) << "the batch's file is not the milling core's";

    const nlohmann::json report = nlohmann::json::parse(r.out);
    EXPECT_EQ(report["gcode"], dir.file("milled.nc"));
    const nlohmann::json& m = report["milling"];
    const MillFigures& f = path.figures;
    EXPECT_EQ(m["fileBytes"], written.size());
    EXPECT_EQ(m["moves"], f.moves);
    // The file rises to the safe height first, then makes the path's moves.
    EXPECT_EQ(moveLines(written), f.moves + 1);
    const double blank[] = {f.blankXMm, f.blankYMm, f.blankZMm, f.blankMinX, f.blankMinY};
    for (int i = 0; i < 5; ++i) {
        EXPECT_NEAR((i < 3 ? m["blankMm"][i] : m["blankCornerMm"][i - 3]).get<double>(), blank[i],
                    0.0005) << i;
    }
    EXPECT_EQ(m["blankMm"][2], 22.0);
    EXPECT_EQ(m["roughingPasses"], f.roughingPasses);
    EXPECT_EQ(m["finishingLines"], f.finishingLines);
    EXPECT_NEAR(m["machiningSeconds"].get<double>(), f.machiningSeconds, 0.05);
    EXPECT_NEAR(m["largestCutMm"].get<double>(), f.largestCutMm, 0.0005);
    EXPECT_EQ(m["filletMm"], 2.5);
    EXPECT_NEAR(m["scallopMm"].get<double>(), millScallopMm(5, 2.5), 0.00005);
}

// With a measurement, the recipe in the file's header records the relief, and the path is
// that of the relieved heights.
TEST_F(BatchCli, TheGcodeOfARelievedInsoleRecordsItsRelief)
{
    const StretchedRelief expected(dir);
    const Result r = runBatch(dir, expected.relieved({"--gcode", dir.file("relieved.NGC"),
                                                      "--stepover-mm", "3"}));
    ASSERT_EQ(r.status, 0) << r.err;
    MillSetup setup;
    setup.stepoverMm = 3;
    const InsoleSettings& s = expected.settings;
    const std::string recipe = reliefRecipe(expected.plan.get());
    ASSERT_FALSE(recipe.empty());
    Toolpath path;
    EXPECT_TRUE(readFileText(dir.file("relieved.NGC")) ==
                expectedGcode(expected.state->heightGrid, DEFAULT_LEVEL_MM, setup,
                              GcodeRecipe{"foot.bmp", s.width, s.length, s.heightRatio, s.limit,
                                          DEFAULT_LEVEL_MM, recipe, ""},
                              path));
    EXPECT_NE(r.out.find("; gcode " + dir.file("relieved.NGC")), std::string::npos) << r.out;
}

// A milling option outside its range (the ends printed as compared, the stepover's top the
// given tool's radius, the blank's the given flute length) or without --gcode is an argument
// error, and nothing is written.
TEST_F(BatchCli, MillingOptionsOutOfRangeOrAloneAreArgumentErrors)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{"--tool-mm", "0.99"}, " is outside the allowed range 1 to 20 mm"},
        {{"--stepover-mm", "3.01"}, " is outside the allowed range 0.05 to 3 mm"},
        {{"--tool-mm", "4", "--stepover-mm", "2.01"}, " is outside the allowed range 0.05 to 2 mm"},
        {{"--stepdown-mm", "20.5"}, " is outside the allowed range 0.2 to 20 mm"},
        {{"--allowance-mm", "nan"}, " is outside the allowed range 0 to 3 mm"},
        {{"--feed", "9"}, " is outside the allowed range 10 to 20000 mm/min"},
        {{"--plunge-feed", "20001"}, " is outside the allowed range 10 to 20000 mm/min"},
        {{"--rpm", "999"}, " is outside the allowed range 1000 to 60000 rpm"},
        {{"--safe-mm", "0.5"}, " is outside the allowed range 1 to 50 mm"},
        {{"--flute-mm", "101"}, " is outside the allowed range 5 to 100 mm"},
        {{"--blank-mm", "40.5"}, " is outside the allowed range 0 to 40 mm (a blank deeper than "
                                 "the flute length"},
        {{"--flute-mm", "30", "--blank-mm", "30.5"}, " is outside the allowed range 0 to 30 mm"},
    };
    for (const auto& [options, message] : refused) {
        std::vector<std::string> arguments = {dir.file("left.bmp"), "--gcode", dir.file("left.nc"),
                                              "-o", dir.file("insole.bmp")};
        arguments.insert(arguments.end(), options.begin(), options.end());
        Result r = runBatch(dir, arguments);
        EXPECT_EQ(r.status, 2) << options.back();
        const std::string& option = options[options.size() - 2];
        EXPECT_NE(r.err.find(option + " " + options.back() + message), std::string::npos) << r.err;
        // Without --gcode the first option is refused for that.
        arguments.erase(arguments.begin() + 1, arguments.begin() + 3);
        r = runBatch(dir, arguments);
        EXPECT_EQ(r.status, 2) << options[0];
        EXPECT_NE(r.err.find(options[0] + " is about milling, and no G-code is asked for"),
                  std::string::npos) << r.err;
    }
    EXPECT_EQ(filesIn(dir.path()),
              (std::vector<std::string>{"left.bmp", "right.png", "stderr.txt", "stdout.txt"}));
}

// The sample foot with a 3 mm relief (23.8 mm thick, an automatic blank of 26 mm) mills at
// the default setup, its largest cut no more than a step-down and the allowance. With a
// flute too short for that blank the foot is refused, the message naming what would mill
// it, and the file milled before stays as it was.
TEST_F(BatchCli, TheSampleFootWithAReliefMillsAtTheDefaultsAndAShortFluteNamesTheWaysOut)
{
    sampleFootWithPlate(dir, "foot.bmp", "plate.csv");
    const std::vector<std::string> relieved = {dir.file("foot.bmp"), "--pressure", dir.file("plate.csv"),
                                               "--gcode", dir.file("foot.nc"), "--json"};
    Result r = runBatch(dir, relieved);
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json report = nlohmann::json::parse(r.out);
    const nlohmann::json& m = report["milling"];
    EXPECT_EQ(m["blankMm"][2], 26.0);
    EXPECT_LE(m["largestCutMm"].get<double>(), 2.0 + 0.5 + 0.5);
    const std::string milled = readFileText(dir.file("foot.nc"));
    EXPECT_NE(milled.find("(Largest cut: " + gcodeNumber(m["largestCutMm"].get<double>()) + " mm"),
              std::string::npos);

    const std::string refused = "Cannot make the insole of " + dir.file("foot.bmp") +
                                ": cannot mill it: the blank of 26 mm is deeper than the flute "
                                "length of 25 mm; mill it with ";
    std::vector<std::string> shortFlute = relieved;
    shortFlute.insert(shortFlute.end(), {"--flute-mm", "25", "-o", dir.file("insole.bmp")});
    r = runBatch(dir, shortFlute);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, refused + "--blank-mm 24 (the thinnest whole millimetre that holds the "
                               "insole) or --flute-mm 26\n");
    // No blank fits a flute of 23 mm: only the flute is named.
    shortFlute[shortFlute.size() - 3] = "23";
    r = runBatch(dir, shortFlute);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Cannot make the insole of " + dir.file("foot.bmp") +
                         ": cannot mill it: the blank of 26 mm is deeper than the flute length of "
                         "23 mm; mill it with --flute-mm 26\n");
    EXPECT_EQ(readFileText(dir.file("foot.nc")), milled);
    EXPECT_FALSE(fileExists(dir.file("insole.bmp")));
    // The blank it names mills it.
    shortFlute[shortFlute.size() - 3] = "25";
    shortFlute.insert(shortFlute.end(), {"--blank-mm", "24"});
    r = runBatch(dir, shortFlute);
    EXPECT_EQ(r.status, 0) << r.err;
}

// Several feet mill into a folder, one NAME.nc each. A foot thicker than the given blank is
// refused before anything of it is written; the others are made.
TEST_F(BatchCli, ABlankThinnerThanAnInsoleFailsThatFootOnly)
{
    sampleFootWithPlate(dir, "thick.bmp", "plate.csv");
    writeImage(dir.file("thin.bmp"), FIF_BMP, 150, 360, 8, [](int x, int y) {
        return std::uint8_t(x >= 30 && x < 120 && y >= 40 && y < 320 ? 20 + y / 20 : 0);
    });
    const Result r = runBatch(dir, {dir.file("thick.bmp"), dir.file("thin.bmp"), "-o",
                                    dir.file("insoles"), "--gcode", dir.file("nc"),
                                    "--blank-mm", "12", "--stepover-mm", "3"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Cannot make the insole of " + dir.file("thick.bmp") +
                         ": cannot mill it: the blank of 12 mm is thinner than the insole's "
                         "thickest point of 20.8 mm\n");
    EXPECT_EQ(filesIn(dir.file("insoles")), std::vector<std::string>{"thin.bmp"});
    EXPECT_EQ(filesIn(dir.file("nc")), std::vector<std::string>{"thin.nc"});
    const std::size_t bytes = readFileText(dir.file("nc/thin.nc")).size();
    EXPECT_NE(r.out.find(" moves, " + std::to_string(bytes) + " bytes"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("; gcode " + dir.file("nc/thin.nc")), std::string::npos) << r.out;
}

namespace {

// Every element on, on the stretched, relieved sample foot, the side given and the pad and
// the bar moved by hand: what the batch is asked for, and what the shared functions make of
// it in-process.
struct Prescribed : StretchedRelief {
    std::unique_ptr<ElementRaise> elements = std::make_unique<ElementRaise>();
    std::unique_ptr<DrawnElements> drawnElements = std::make_unique<DrawnElements>();

    explicit Prescribed(const TempDir& dir) : StretchedRelief(dir)
    {
        ElementSettings s;
        s.side = SideChoice::Right;
        s.metPad = s.metBar = s.arch = s.heelCup = s.rearfootPost = true;
        s.metPadHeightMm = 3.5;
        s.metPadOffsetMm = 6;
        s.metBarHeightMm = 2;
        s.archHeightMm = 7;
        s.heelCupHeightMm = 5;
        s.heelCupWidthMm = 15;
        s.rearfootPostDegrees = -3;
        ElementShifts shifts;
        shifts.metPadAlongMm = -2;
        shifts.metPadAcrossMm = 1.5;
        shifts.metBarAlongMm = 3;
        std::string failure;
        EXPECT_TRUE(computeElements(state->footGrid, s, shifts, &plan->placed, DEFAULT_LEVEL_MM,
                                    *elements, failure))
            << failure;
        testing::internal::CaptureStdout();
        recomputeHeights(*state, settings, activeRelief(plan.get()), drawn.get(), elements.get(),
                         drawnElements.get());
        testing::internal::GetCapturedStdout();
    }

    std::vector<std::string> prescribed(std::vector<std::string> outputs) const
    {
        outputs.insert(outputs.end(),
                       {"--side", "right", "--met-pad-mm", "3.5", "--met-pad-offset-mm", "6",
                        "--met-pad-shift", "-2,1.5", "--met-bar-mm", "2", "--met-bar-shift-mm",
                        "3", "--arch-mm", "7", "--heel-cup-mm", "5", "--heel-cup-width-mm", "15",
                        "--rearfoot-post-deg", "-3"});
        return relieved(outputs);
    }
};

}  // namespace

// The insole with every element and a relief is the shared recompute's, byte for byte; the
// 3MF and the G-code record the elements; the JSON report carries exactly the landmarks'
// keys and one key per element with where it was placed.
TEST_F(BatchCli, TheElementsRaiseTheInsoleAsTheRecomputeDoesAndAreRecorded)
{
    const Prescribed expected(dir);
    const Result r = runBatch(dir, expected.prescribed({"-o", dir.file("insole.bmp"), "--3mf",
                                                        dir.file("insole.3mf"), "--gcode",
                                                        dir.file("insole.nc"), "--flute-mm", "50",
                                                        "--json"}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(insoleIn(dir.file("insole.bmp")) == expected.state->heightGrid);

    const std::string recipe = elementsRecipe(expected.elements.get());
    EXPECT_NE(recipe.find("elements right foot (given); metatarsal pad 3.5 mm, 6 mm behind the "
                          "heads, shifted -2, 1.5 mm; metatarsal bar 2 mm, front edge by the "
                          "pressure, shifted 3 mm; arch support 7 mm; heel cup 5 mm over 15 mm; "
                          "rearfoot posting -3 degrees"),
              std::string::npos)
        << recipe;
    std::vector<std::uint8_t> threeMf;
    std::string failure;
    ASSERT_TRUE(encode3mf(buildSolid(expected.state->heightGrid, DEFAULT_LEVEL_MM),
                          SolidRecord{"foot.bmp", expected.settings, DEFAULT_LEVEL_MM,
                                      reliefRecipe(expected.plan.get()), recipe, {}},
                          threeMf, failure))
        << failure;
    // The model as the recompute makes it, and the job's parts beside it: the elements are in
    // its recipe.
    std::vector<std::uint8_t> model;
    std::vector<std::uint8_t> written;
    const std::vector<std::uint8_t> package = readFileBytes(dir.file("insole.3mf"));
    ASSERT_TRUE(readPackagePart(package.data(), package.size(), "3D/3dmodel.model", written, failure)) << failure;
    ASSERT_TRUE(readPackagePart(threeMf.data(), threeMf.size(), "3D/3dmodel.model", model, failure)) << failure;
    EXPECT_TRUE(written == model);
    std::vector<std::uint8_t> recipePart;
    ASSERT_TRUE(readPackagePart(package.data(), package.size(), "Tarsola/recipe.json", recipePart, failure)) << failure;
    const nlohmann::json job = nlohmann::json::parse(recipePart.begin(), recipePart.end());
    EXPECT_EQ(job["elements"]["side"], "right");
    EXPECT_EQ(job["elements"]["rearfootPostDegrees"], -3.0);
    const InsoleSettings& s = expected.settings;
    Toolpath path;
    MillSetup setup;
    setup.fluteMm = 50;  // the elements make the insole thicker than the default flute cuts
    const std::string gcode = readFileText(dir.file("insole.nc"));
    EXPECT_TRUE(gcode == expectedGcode(expected.state->heightGrid, DEFAULT_LEVEL_MM, setup,
                                       GcodeRecipe{"foot.bmp", s.width, s.length, s.heightRatio,
                                                   s.limit, DEFAULT_LEVEL_MM,
                                                   reliefRecipe(expected.plan.get()), recipe},
                                       path));
    // Every element in the header, one comment each, none cut short.
    for (const char* line : {"(Elements: elements right foot [given])\n",
                             "(Elements: metatarsal pad 3.5 mm, 6 mm behind the heads, shifted -2, 1.5 mm)\n",
                             "(Elements: rearfoot posting -3 degrees)\n"}) {
        EXPECT_NE(gcode.find(line), std::string::npos) << line;
    }

    const nlohmann::json report = nlohmann::json::parse(r.out);
    const nlohmann::json& l = report["landmarks"];
    std::vector<std::string> keys;
    for (const auto& item : l.items()) {
        keys.push_back(item.key());
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"axis", "ballCentreMm", "headLateralMm",
                                              "headLineMm", "headMedialMm", "heelCentreMm",
                                              "heelEndMm", "lengthMm", "side", "sideSet"}));
    const FootFrame& f = expected.elements->frame;
    EXPECT_EQ(l["side"], "right");
    EXPECT_EQ(l["sideSet"], true);
    EXPECT_NEAR(l["lengthMm"].get<double>(), f.lengthMm, 0.005);
    EXPECT_NEAR(l["headLineMm"].get<double>(), f.headLineMm, 0.005);
    EXPECT_NEAR(l["heelCentreMm"][1].get<double>(), f.heelYMm, 0.005);
    const nlohmann::json& e = report["elements"];
    EXPECT_EQ(e.size(), 5u);
    EXPECT_NEAR(e["metPad"]["centreMm"][0].get<double>(), expected.elements->metPadAlongMm, 0.005);
    EXPECT_NEAR(e["metPad"]["centreMm"][1].get<double>(), expected.elements->metPadAcrossMm, 0.005);
    EXPECT_EQ(e["metBar"]["rule"], "pressure");
    EXPECT_NEAR(e["metBar"]["frontEdgeMm"].get<double>(), expected.elements->metBarFrontMm, 0.005);
    EXPECT_EQ(e["heelCup"].dump(), R"({"heightMm":5.0,"widthMm":15.0})");
    EXPECT_EQ(e["rearfootPost"].dump(), R"({"degrees":-3.0})");
    EXPECT_EQ(report["elementsCappedCells"], expected.drawnElements->cappedCells);

    // The text report says the same in words.
    const Result text = runBatch(dir, expected.prescribed({"-o", dir.file("again.bmp")}));
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("; right foot (given), heel centre"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("(where the pressure falls to 77 % of its peak)"), std::string::npos);
    EXPECT_TRUE(insoleIn(dir.file("again.bmp")) == expected.state->heightGrid);
}

// The elements' picture lies on the insole's grid: the foot's outline on the same pixels as in
// the height preview, each element's outline around the cells it raises.
TEST_F(BatchCli, TheElementsPreviewLinesUpWithThePreview)
{
    const Prescribed expected(dir);
    const Result r = runBatch(dir, expected.prescribed({"--preview", dir.file("p.png"),
                                                        "--elements-preview", dir.file("e.png")}));
    ASSERT_EQ(r.status, 0) << r.err;
    const Picture heights = pictureIn(dir.file("p.png"));
    const Picture raise = pictureIn(dir.file("e.png"));
    ASSERT_EQ(heights.width, raise.width);
    ASSERT_EQ(heights.height, raise.height);
    int ink = 0;
    for (int y = 0; y < PREVIEW_MAP_HEIGHT + PREVIEW_MARGIN; ++y) {
        for (int x = 0; x < PREVIEW_MAP_WIDTH + PREVIEW_MARGIN; ++x) {
            const bool a = same(heights.at(x, y), PREVIEW_INK), b = same(raise.at(x, y), PREVIEW_INK);
            ASSERT_EQ(a, b) << "pixel " << x << "," << y;
            ink += a;
        }
    }
    EXPECT_GT(ink, 500);
    // Off the foot is background; the elements' ink lies only on cells an element raises, as
    // drawn onto the insole's grid.
    auto outlines = std::make_unique<Grid>();
    drawElementOutlines(*expected.elements, *expected.state, *outlines);
    int inked = 0;
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            const int i = gridIndex(x, y);
            if (!expected.state->heightGrid[i]) {
                ASSERT_TRUE(same(raise.cell(x, y), PREVIEW_BACKGROUND) ||
                            same(raise.cell(x, y), PREVIEW_INK));
            }
            for (int dy = 0; dy < PREVIEW_SCALE; ++dy) {
                for (int dx = 0; dx < PREVIEW_SCALE; ++dx) {
                    if (same(raise.at(cellLeft(x) + dx, cellTop(y) + dy), ELEMENT_OUTLINE_INK)) {
                        ++inked;
                        ASSERT_NE((*outlines)[i], 0) << "cell " << x << "," << y;
                    }
                }
            }
        }
    }
    EXPECT_GT(inked, 300);
    EXPECT_NE(r.out.find("; elements preview " + dir.file("e.png")), std::string::npos) << r.out;
}

// An element's value outside its range, a side that is none, an element's own option without
// it, or the elements' picture without any element is an argument error; nothing is written.
TEST_F(BatchCli, ElementOptionsOutOfRangeOrAloneAreArgumentErrors)
{
    const std::string foot = dir.file("left.bmp");
    const std::string out = dir.file("out.bmp");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--met-pad-mm", "8.5"}, "--met-pad-mm 8.5 is outside the allowed range 1 to 8 mm"},
        {{"--met-pad-mm", "4", "--met-pad-offset-mm", "-1"}, "0 to 20 mm"},
        {{"--met-pad-mm", "4", "--met-pad-shift", "3"}, "T,V"},
        {{"--met-pad-mm", "4", "--met-pad-shift", "3,41"}, "-40 to 40 mm"},
        {{"--met-bar-mm", "0.5"}, "1 to 8 mm"},
        {{"--arch-mm", "nan"}, "--arch-mm"},
        {{"--heel-cup-mm", "16"}, "2 to 15 mm"},
        {{"--heel-cup-mm", "6", "--heel-cup-width-mm", "4"}, "5 to 25 mm"},
        {{"--rearfoot-post-deg", "-11"}, "-10 to 10 degrees"},
        {{"--side", "Left", "--arch-mm", "3"}, "--side Left is not a side taken: auto, left or right"},
        {{"--met-pad-offset-mm", "5"}, "add --met-pad-mm"},
        {{"--met-bar-shift-mm", "5"}, "add --met-bar-mm"},
        {{"--heel-cup-width-mm", "10"}, "add --heel-cup-mm"},
        {{"--elements-preview", dir.file("e.png")}, "none is asked for"},
    };
    for (const auto& [options, message] : cases) {
        std::vector<std::string> args = {foot, "-o", out};
        args.insert(args.end(), options.begin(), options.end());
        const Result r = runBatch(dir, args);
        EXPECT_EQ(r.status, 2) << options[0];
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fileExists(out));
    EXPECT_FALSE(fileExists(dir.file("e.png")));
}

// A foot too short to have a head line fails alone when a pad is asked for, saying why, and
// its earlier insole stays; the other foot is made with the same options.
TEST_F(BatchCli, AFootTooShortForAPadFailsAloneAndReplacesNothing)
{
    writeImage(dir.file("stub.bmp"), FIF_BMP, 150, 360, 8,
               [](int x, int y) -> std::uint8_t { return x == 60 && (y == 100 || y == 101) ? 120 : 0; });
    ASSERT_EQ(mkdir(dir.file("out").c_str(), 0777), 0);
    writeFileBytes(dir.file("out/stub.bmp"), "an earlier insole");
    const Result r = runBatch(dir, {dir.file("stub.bmp"), dir.file("left.bmp"), "-o",
                                    dir.file("out"), "--met-pad-mm", "4", "--heel-cup-mm", "6"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("stub.bmp"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("too short to find the metatarsal heads"), std::string::npos) << r.err;
    EXPECT_EQ(readFileText(dir.file("out/stub.bmp")), "an earlier insole");
    EXPECT_TRUE(fileExists(dir.file("out/left.bmp")));
}
