// The batch without its command line: the recompute on the CPU, where each foot's files go,
// and how a batch carries on past a bad foot.
#include "batch/batch.h"
#include "insole/drawing.h"
#include "insole/recompute.h"
#include "insole/slope_limit.h"

#include "support/test_support.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include <sys/stat.h>

namespace {

// A foot whose lowest value is 10, with neighbouring values far apart.
std::uint8_t steepFoot(int x, int y)
{
    if (x < 20 || x > 130 || y < 30 || y > 330) {
        return 0;
    }
    return static_cast<std::uint8_t>(10 + (x * 37 + y * 11) % 200);
}

struct Captured {
    int status;
    std::string report;
    std::string problems;
};

std::string readAll(std::FILE* file)
{
    std::rewind(file);
    std::string text;
    char chunk[4096];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        text.append(chunk, n);
    }
    std::fclose(file);
    return text;
}

Captured run(const BatchOptions& options)
{
    std::FILE* report = std::tmpfile();
    std::FILE* problems = std::tmpfile();
    Captured captured{};
    const std::string why = prepareBatch(options);
    EXPECT_EQ(why, "");
    captured.status = runBatch(options, report, problems, false);
    captured.report = readAll(report);
    captured.problems = readAll(problems);
    return captured;
}

std::vector<nlohmann::json> lines(const std::string& text)
{
    std::vector<nlohmann::json> objects;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        objects.push_back(nlohmann::json::parse(line));
    }
    return objects;
}

}  // namespace

TEST(BatchRecompute, RestoredSettingsGiveTheSampledFootBack)
{
    TempDir dir;
    writeImage(dir.file("foot.bmp"), FIF_BMP, 150, 360, 8, steepFoot);
    InsoleState state;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(loadFoot(state, dir.file("foot.bmp").c_str()));
    const InsoleSettings settings = restoredSettings(state);
    EXPECT_EQ(settings.width, 111);
    EXPECT_EQ(settings.length, 301);
    EXPECT_EQ(settings.heightRatio, 1.0);
    EXPECT_FALSE(settings.limit);

    // With the lowest value 10 and ratio 1 shaping changes nothing: the heights are the
    // drawing at the natural size itself.
    const float lowest = recomputeHeights(state, settings);
    const std::string trace = testing::internal::GetCapturedStdout();
    EXPECT_EQ(lowest, 10.0f);
    EXPECT_EQ(state.displayWidth, 150.0f);
    EXPECT_EQ(state.displayLength, 360.0f);
    Grid drawn{};
    drawFootOnCpu(state.displayGrid, placeQuad(state.footBox(), 150.0f, 360.0f), drawn);
    EXPECT_EQ(state.heightGrid, drawn);
    EXPECT_NE(state.heightGrid, Grid{});
    EXPECT_NE(trace.find("min 10.000000\nMIN = 10 \n"), std::string::npos) << trace;
}

TEST(BatchRecompute, LimitAndRatioAreApplied)
{
    TempDir dir;
    writeImage(dir.file("foot.png"), FIF_PNG, 150, 360, 8, steepFoot);
    InsoleState state;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(loadFoot(state, dir.file("foot.png").c_str()));
    InsoleSettings settings = restoredSettings(state);
    settings.heightRatio = 0.5;
    recomputeHeights(state, settings);
    const Grid unlimited = state.heightGrid;
    settings.limit = true;
    recomputeHeights(state, settings);
    testing::internal::GetCapturedStdout();

    // Ratio 0.5 turns 10..209 into 5..104.5; the lowest is lifted to 10, so 104.5 + 5 = 109.5.
    int highest = 0;
    for (std::uint8_t v : unlimited) {
        highest = std::max<int>(highest, v);
    }
    EXPECT_EQ(highest, 109);
    Grid limited = state.heightGrid;
    EXPECT_NE(limited, unlimited);
    Grid again = limited;
    limitSlopes(again);
    EXPECT_EQ(again, limited) << "the limited grid is not at its fixed point";
}

TEST(BatchFiles, OutputNamesForOneFootAndForSeveral)
{
    TempDir dir;
    EXPECT_EQ(outputName(dir.file("insole"), "a/b/left.png", false, ".bmp"), dir.file("insole"));
    EXPECT_EQ(outputName(dir.path(), "a/b/left.png", false, ".bmp"), dir.file("left.bmp"));
    EXPECT_EQ(outputName("out/", "left.foot.png", false, ".png"), "out/left.foot.png");
    EXPECT_EQ(outputName("out", "scans/right", true, ".bmp"), "out/right.bmp");
}

TEST(BatchFiles, PreparingRefusesUnrunnableOptions)
{
    TempDir dir;
    BatchOptions options;
    EXPECT_NE(prepareBatch(options), "");  // no foot
    options.feet = {dir.file("a.png")};
    EXPECT_NE(prepareBatch(options).find("nothing to write"), std::string::npos);
    options.info = true;
    options.out = dir.file("x");
    EXPECT_NE(prepareBatch(options).find("--info"), std::string::npos);
    options.info = false;
    options.heightRatio = 2.5;
    EXPECT_NE(prepareBatch(options).find("0.1 to 2"), std::string::npos);
    options.heightRatio = 1.0;

    // Several feet need OUT as a folder: a missing one is made, a file is refused.
    options.feet.push_back(dir.file("b.png"));
    options.out = dir.file("made");
    EXPECT_EQ(prepareBatch(options), "");
    writeFileBytes(dir.file("plain"), "x");
    options.out = dir.file("plain");
    EXPECT_NE(prepareBatch(options).find("must be a folder"), std::string::npos);
    EXPECT_EQ(readFileBytes(dir.file("plain")).size(), 1u);
}

TEST(BatchRun, BadFootAmongGoodOnesFailsAloneAndNamesTheFile)
{
    TempDir dir;
    writeImage(dir.file("left.bmp"), FIF_BMP, 150, 360, 8, steepFoot);
    writeImage(dir.file("right.png"), FIF_PNG, 150, 360, 24, rectangleFoot);
    writeFileBytes(dir.file("broken.png"), "not an image at all");
    writeImage(dir.file("empty.bmp"), FIF_BMP, 150, 360, 8, [](int, int) { return std::uint8_t{0}; });
    BatchOptions options;
    options.feet = {dir.file("left.bmp"), dir.file("broken.png"), dir.file("right.png"),
                    dir.file("empty.bmp")};
    options.out = dir.file("out");
    options.json = true;
    const Captured result = run(options);
    EXPECT_EQ(result.status, 1);

    const auto reports = lines(result.report);
    ASSERT_EQ(reports.size(), 4u) << result.report;
    EXPECT_TRUE(reports[0]["ok"].get<bool>());
    EXPECT_EQ(reports[0]["insole"], dir.file("out/left.bmp"));
    EXPECT_FALSE(reports[1]["ok"].get<bool>());
    EXPECT_NE(reports[1]["error"].get<std::string>().find("broken.png"), std::string::npos);
    EXPECT_TRUE(reports[2]["ok"].get<bool>());
    EXPECT_EQ(reports[2]["footWidth"], 110);
    EXPECT_FALSE(reports[3]["ok"].get<bool>());
    EXPECT_NE(reports[3]["error"].get<std::string>().find("no foot"), std::string::npos);

    EXPECT_FALSE(readFileBytes(dir.file("out/left.bmp")).empty());
    EXPECT_FALSE(readFileBytes(dir.file("out/right.bmp")).empty());
    EXPECT_FALSE(fileExists(dir.file("out/broken.bmp")));
    EXPECT_FALSE(fileExists(dir.file("out/empty.bmp")));
    // One line on the problem stream per failed foot, each naming its file.
    std::istringstream problems(result.problems);
    std::vector<std::string> problemLines;
    for (std::string line; std::getline(problems, line);) {
        problemLines.push_back(line);
    }
    ASSERT_EQ(problemLines.size(), 2u) << result.problems;
    EXPECT_NE(problemLines[0].find("broken.png"), std::string::npos);
    EXPECT_NE(problemLines[1].find("empty.bmp"), std::string::npos);
}

TEST(BatchRun, NeverReplacesAFootOrAnInsoleOfTheSameRun)
{
    TempDir dir;
    writeImage(dir.file("left.bmp"), FIF_BMP, 150, 360, 8, steepFoot);
    ASSERT_EQ(mkdir(dir.file("sub").c_str(), 0777), 0);
    writeImage(dir.file("sub/left.png"), FIF_PNG, 150, 360, 8, rectangleFoot);
    const std::vector<std::uint8_t> foot = readFileBytes(dir.file("left.bmp"));

    BatchOptions options;
    options.feet = {dir.file("left.bmp"), dir.file("sub/left.png")};
    options.out = dir.path();  // left.bmp would land on the first foot itself
    options.json = true;
    Captured result = run(options);
    EXPECT_EQ(result.status, 1);
    auto reports = lines(result.report);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_FALSE(reports[0]["ok"].get<bool>());
    EXPECT_NE(reports[0]["error"].get<std::string>().find("is the foot image"), std::string::npos);
    EXPECT_FALSE(reports[1]["ok"].get<bool>());
    EXPECT_EQ(readFileBytes(dir.file("left.bmp")), foot);

    // Two feet of one name into one folder: the second does not replace the first's insole.
    options.out = dir.file("out");
    result = run(options);
    reports = lines(result.report);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_TRUE(reports[0]["ok"].get<bool>());
    EXPECT_FALSE(reports[1]["ok"].get<bool>());
    EXPECT_NE(reports[1]["error"].get<std::string>().find("already written"), std::string::npos);
    EXPECT_FALSE(fileExists(dir.file("out/left.png")));
}

TEST(BatchRun, SettingsOutsideTheFootsRangesAreRefusedNamingTheRange)
{
    TempDir dir;
    writeImage(dir.file("foot.bmp"), FIF_BMP, 150, 360, 8, rectangleFoot);  // 110 x 300
    BatchOptions options;
    options.feet = {dir.file("foot.bmp")};
    options.out = dir.file("insole.bmp");
    options.width = 140;
    Captured result = run(options);
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.problems.find("--width 140 is outside the allowed range 88 to 132 mm"),
              std::string::npos) << result.problems;
    EXPECT_FALSE(fileExists(dir.file("insole.bmp")));

    options.width = 132;
    options.length = 149;
    result = run(options);
    EXPECT_NE(result.problems.find("--length 149 is outside the allowed range 150 to 450 mm"),
              std::string::npos) << result.problems;

    // The range's ends themselves are allowed, as on the sliders.
    options.length = 150;
    result = run(options);
    EXPECT_EQ(result.status, 0) << result.problems;
    EXPECT_FALSE(readFileBytes(dir.file("insole.bmp")).empty());
}

TEST(BatchRun, InfoMeasuresWithoutWriting)
{
    TempDir dir;
    writeImage(dir.file("foot.bmp"), FIF_BMP, 150, 360, 24, rectangleFoot);
    BatchOptions options;
    options.feet = {dir.file("foot.bmp")};
    options.info = true;
    Captured result = run(options);
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.report.find("image 150 x 360 pixels, 24 bits per pixel, BMP; foot box "
                                 "columns 20 to 129, rows 30 to 329; foot width 110 mm (width 88 "
                                 "to 132), length 300 mm (length 150 to 450)"),
              std::string::npos) << result.report;
    options.json = true;
    result = run(options);
    const auto reports = lines(result.report);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0]["ranges"]["width"][0].get<double>(), 88.0);
    EXPECT_EQ(reports[0]["image"]["bitsPerPixel"], 24);
    EXPECT_FALSE(reports[0].contains("insole"));
}
