// The real tarsola-batch program, run as a user runs it: arguments, exit statuses, reports on
// standard output and problems on standard error, and the files it leaves.
#include "solid/solid_files.h"
#include "support/scan_files.h"
#include "support/test_support.h"
#include "view/insole_state.h"
#include "view/recompute.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/wait.h>

#include <fstream>
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
