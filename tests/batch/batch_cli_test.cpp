// The real tarsola-batch program, run as a user runs it: arguments, exit statuses, reports on
// standard output and problems on standard error, and the files it leaves.
#include "solid/solid_files.h"
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

    r = runBatch(dir, {dir.file("missing.png"), "-o", dir.file("x")});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("missing.png"), std::string::npos) << r.err;

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

TEST_F(BatchCli, TheLevelSizeOutsideItsRangeOrWithoutASolidIsRefused)
{
    for (const char* level : {"0.04", "1.5", "nan"}) {
        const Result r = runBatch(dir, {dir.file("left.bmp"), "--stl", dir.file("s"), "--level-mm", level});
        EXPECT_EQ(r.status, 2) << level;
        EXPECT_NE(r.err.find("outside the allowed range 0.05 to 1 mm"), std::string::npos) << r.err;
    }
    const Result r = runBatch(dir, {dir.file("left.bmp"), "-o", dir.file("s"), "--level-mm", "0.3"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("give --stl or --3mf"), std::string::npos) << r.err;
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
