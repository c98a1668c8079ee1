// Jobs through the real tarsola-batch: a 3MF that it wrote makes every output again from
// itself alone, options override its recipe, and every bad job fails alone with one line.
#include "insole/insole_state.h"
#include "insole/job_recipe.h"
#include "solid/package_parts.h"
#include "solid/solid_files.h"
#include "support/pressure_files.h"
#include "support/test_support.h"
#include "support/zip_parts.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace {

struct BatchRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s) {
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return q + "'";
}

BatchRun batch(const TempDir& dir, const std::vector<std::string>& args)
{
    std::string command = quote(TARSOLA_BATCH);
    for (const std::string& a : args) {
        command += " " + quote(a);
    }
    command += " >" + quote(dir.file("stdout.txt")) + " 2>" + quote(dir.file("stderr.txt"));
    BatchRun run;
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = readFileText(dir.file("stdout.txt"));
    run.err = readFileText(dir.file("stderr.txt"));
    return run;
}

std::string partOf(const std::string& file, const char* part)
{
    const std::vector<std::uint8_t> bytes = readFileBytes(file);
    std::vector<std::uint8_t> out;
    std::string why;
    EXPECT_TRUE(readPackagePart(bytes.data(), bytes.size(), part, out, why)) << file << ": " << why;
    return std::string(out.begin(), out.end());
}

// The sample foot and a plate's measurement of it, in `dir` as foot.bmp and plate.csv, and a
// second measurement (7 mm pitch) as other.csv.
void writeFootAndPlates(const TempDir& dir)
{
    const std::vector<std::uint8_t> bytes = readFileBytes(TARSOLA_SOURCE_DIR "/samples/foot.bmp");
    writeFileBytes(dir.file("foot.bmp"), std::string(bytes.begin(), bytes.end()));
    InsoleState state;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(loadFoot(state, dir.file("foot.bmp").c_str()));
    testing::internal::GetCapturedStdout();
    writeFileBytes(dir.file("plate.csv"), pressureMatrixOf(state.footGrid, 5.0));
    writeFileBytes(dir.file("other.csv"), pressureMatrixOf(state.footGrid, 7.0));
}

// Every setting away from its default, so that one the job forgot would show.
const std::vector<std::string> SETTINGS = {
    "--width", "90", "--length", "250", "--height", "0.8", "--limit", "--level-mm", "0.25",
    "--relief-kpa", "250", "--relief-depth-mm", "2.4", "--relief-margin-mm", "4",
    "--relief-width-mm", "10", "--pressure-shift", "1,-2", "--pressure-turn", "1.5",
    "--tool-mm", "4", "--stepover-mm", "0.6", "--feed", "1800", "--rpm", "12000",
    "--side", "left", "--met-pad-mm", "5", "--met-pad-offset-mm", "10", "--met-pad-shift", "1,-2",
    "--arch-mm", "6", "--heel-cup-mm", "7", "--heel-cup-width-mm", "14",
    "--rearfoot-post-deg", "-3"};

std::vector<std::string> outputs(const TempDir& dir, const std::string& stem)
{
    return {"-o",      dir.file(stem + ".bmp"),  "--stl",     dir.file(stem + ".stl"),
            "--gcode", dir.file(stem + ".nc"),   "--preview", dir.file(stem + ".png"),
            "--3mf",   dir.file(stem + ".3mf")};
}

std::vector<std::string> joined(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

// The job alone, its foot and measurement deleted and the job moved elsewhere, remakes every
// output of the run that wrote it, byte for byte, the job itself included.
TEST(BatchJob, AJobAloneRemakesEveryOutputByteForByte)
{
    TempDir dir;
    writeFootAndPlates(dir);
    BatchRun r = batch(dir, joined(joined({dir.file("foot.bmp"), "--pressure", dir.file("plate.csv")}, SETTINGS),
                              outputs(dir, "first")));
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json recipe = nlohmann::json::parse(partOf(dir.file("first.3mf"), "Tarsola/recipe.json"));
    EXPECT_EQ(recipe["files"]["foot"], "foot.bmp");
    EXPECT_EQ(recipe["files"]["pressure"], "plate.csv");
    EXPECT_EQ(recipe["insole"]["widthMm"], 90.0);
    EXPECT_EQ(recipe["milling"]["rpm"], 12000.0);
    EXPECT_EQ(recipe["elements"]["side"], "left");
    EXPECT_EQ(recipe["elements"]["metPad"], true);
    EXPECT_EQ(recipe["elements"]["metPadAcrossMm"], -2.0);
    EXPECT_EQ(recipe["elements"]["metBar"], false);
    EXPECT_EQ(recipe["elements"]["rearfootPostDegrees"], -3.0);
    EXPECT_EQ(partOf(dir.file("first.3mf"), "Tarsola/foot.bmp"), readFileText(dir.file("foot.bmp")));
    EXPECT_EQ(partOf(dir.file("first.3mf"), "Tarsola/pressure.csv"), readFileText(dir.file("plate.csv")));

    ASSERT_EQ(std::remove(dir.file("foot.bmp").c_str()), 0);
    ASSERT_EQ(std::remove(dir.file("plate.csv").c_str()), 0);
    ASSERT_EQ(mkdir(dir.file("elsewhere").c_str(), 0777), 0);
    ASSERT_EQ(std::rename(dir.file("first.3mf").c_str(), dir.file("elsewhere/job.3mf").c_str()), 0);

    r = batch(dir, joined({dir.file("elsewhere/job.3mf")}, outputs(dir, "again")));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    for (const char* extension : {".bmp", ".stl", ".nc", ".png"}) {
        SCOPED_TRACE(extension);
        const auto first = readFileBytes(dir.file(std::string("first") + extension));
        ASSERT_FALSE(first.empty());
        EXPECT_TRUE(readFileBytes(dir.file(std::string("again") + extension)) == first);
    }
    EXPECT_TRUE(readFileBytes(dir.file("again.3mf")) == readFileBytes(dir.file("elsewhere/job.3mf")));
}

// An option on the command line overrides its setting of the recipe, and the rest stays as
// recorded: the outputs are those of the original files with the same options.
TEST(BatchJob, OptionsOverrideTheRecipe)
{
    TempDir dir;
    writeFootAndPlates(dir);
    const std::vector<std::string> original = joined({dir.file("foot.bmp"), "--pressure", dir.file("plate.csv")}, SETTINGS);
    BatchRun r = batch(dir, joined(original, {"--3mf", dir.file("job.3mf"), "--gcode", dir.file("job.nc")}));
    ASSERT_EQ(r.status, 0) << r.err;

    const std::vector<std::string> cases[] = {
        {"--width", "95"},
        {"--height", "0.9", "--level-mm", "0.2"},
        {"--stepover-mm", "0.25"},
        {"--relief-kpa", "300", "--pressure-turn", "0"},
        {"--pressure", dir.file("other.csv"), "--pressure-pitch-mm", "7"},
        {"--arch-mm", "9", "--side", "right"},
        {"--met-bar-mm", "3", "--met-bar-shift-mm", "2"},
    };
    int n = 0;
    for (const std::vector<std::string>& options : cases) {
        SCOPED_TRACE(options.front());
        const std::string a = "direct" + std::to_string(n);
        const std::string b = "job" + std::to_string(n++);
        // The direct run with each option's value replaced, or the option added.
        std::vector<std::string> direct = original;
        for (std::size_t i = 0; i + 1 < options.size(); i += 2) {
            const auto at = std::find(direct.begin(), direct.end(), options[i]);
            if (at == direct.end()) {
                direct.insert(direct.end(), {options[i], options[i + 1]});
            } else {
                *(at + 1) = options[i + 1];
            }
        }
        direct = joined(direct, {"-o", dir.file(a + ".bmp"), "--gcode", dir.file(a + ".nc")});
        r = batch(dir, direct);
        ASSERT_EQ(r.status, 0) << r.err;
        r = batch(dir, joined(joined({dir.file("job.3mf")}, options),
                              {"-o", dir.file(b + ".bmp"), "--gcode", dir.file(b + ".nc")}));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(readFileBytes(dir.file(a + ".bmp")) == readFileBytes(dir.file(b + ".bmp")));
        EXPECT_TRUE(readFileBytes(dir.file(a + ".nc")) == readFileBytes(dir.file(b + ".nc")));
    }
    // What was overridden differs from the job's own insole.
    r = batch(dir, {dir.file("job.3mf"), "-o", dir.file("plain.bmp")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(readFileBytes(dir.file("plain.bmp")) == readFileBytes(dir.file("job0.bmp")));
    // The job's own elements are pictured without an element option.
    r = batch(dir, {dir.file("job.3mf"), "--elements-preview", dir.file("elements.png")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fileExists(dir.file("elements.png")));
    // A job is a job by its bytes, whatever its name: renamed, it still takes the options
    // about its measurement.
    ASSERT_EQ(std::rename(dir.file("job.3mf").c_str(), dir.file("job.zip").c_str()), 0);
    r = batch(dir, {dir.file("job.zip"), "--relief-kpa", "300", "--pressure-turn", "0", "-o",
                    dir.file("renamed.bmp")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(readFileBytes(dir.file("renamed.bmp")) == readFileBytes(dir.file("job3.bmp")));
}

// Every bad job fails alone with one line naming it, writes nothing, and the good foot beside
// it is still made.
TEST(BatchJob, BadJobsFailAloneWithOneLine)
{
    TempDir dir;
    writeFootAndPlates(dir);
    BatchRun r = batch(dir, {dir.file("foot.bmp"), "--pressure", dir.file("plate.csv"), "--3mf", dir.file("good.3mf")});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string recipe = partOf(dir.file("good.3mf"), "Tarsola/recipe.json");
    const std::string foot = readFileText(dir.file("foot.bmp"));
    const std::string plate = readFileText(dir.file("plate.csv"));
    auto job = [&](const std::string& footPart, const std::string& footBytes, const std::string& recipeText,
                   const std::string& plateBytes) {
        auto parts = jobPartsAround(footPart, footBytes, recipeText);
        parts.push_back({"Tarsola/pressure.csv", plateBytes});
        return zipOf(parts);
    };
    auto changed = [&](const char* section, const char* key, const nlohmann::json& value) {
        nlohmann::json root = nlohmann::json::parse(recipe);
        (*section ? root[section][key] : root[key]) = value;
        return root.dump();
    };
    // A 3MF from another program: the model alone.
    std::vector<std::uint8_t> model;
    std::string failure;
    Grid heights{};
    heights[gridIndex(50, 50)] = 10;
    ASSERT_TRUE(encode3mf(buildSolid(heights, 0.2), SolidRecord{}, model, failure)) << failure;
    const struct {
        std::string name;
        std::string bytes;
        std::string says;
    } cases[] = {
        {"other.3mf", std::string(model.begin(), model.end()),
         "not a Tarsola job: a 3MF from another program; open a scan as STL, OBJ or PLY"},
        {"newer.3mf", job("Tarsola/foot.bmp", foot, changed("", "format", 7), plate),
         "the recipe's format 7 is newer than this Tarsola reads (1); open it with a newer Tarsola"},
        {"range.3mf", job("Tarsola/foot.bmp", foot, changed("relief", "depthMm", 9), plate),
         "its recipe cannot be taken: relief.depthMm 9 is outside 0.5 to 6"},
        {"type.3mf", job("Tarsola/foot.bmp", foot, changed("insole", "widthMm", "wide"), plate),
         "its recipe cannot be taken: insole.widthMm is not a number"},
        {"element.3mf", job("Tarsola/foot.bmp", foot, changed("elements", "archHeightMm", 20), plate),
         "its recipe cannot be taken: elements: arch support height 20 mm is outside 1-15 mm"},
        {"switch.3mf", job("Tarsola/foot.bmp", foot, changed("elements", "metPad", 1), plate),
         "its recipe cannot be taken: elements.metPad is not true or false"},
        {"side.3mf", job("Tarsola/foot.bmp", foot, changed("elements", "side", "both"), plate),
         "its recipe cannot be taken: elements.side \"both\" is none of auto, left and right"},
        {"mill.3mf", job("Tarsola/foot.bmp", foot, changed("milling", "tool-mm", 90), plate),
         "its recipe cannot be taken: milling: tool"},
        {"nofoot.3mf", zipOf({{"Tarsola/recipe.json", recipe}, {"Tarsola/pressure.csv", plate}}),
         "it has no foot part"},
        {"broken.3mf", [&] {
             auto parts = jobPartsAround("Tarsola/foot.bmp", foot, recipe);
             parts[1].badChecksum = true;
             parts.push_back({"Tarsola/pressure.csv", plate});
             return zipOf(parts);
         }(),
         "its part Tarsola/foot.bmp is damaged: its checksum does not match"},
        {"large.3mf", [&] {
             auto parts = jobPartsAround("Tarsola/foot.bmp", foot, recipe);
             parts.push_back({"Tarsola/pressure.csv", plate, (std::uint32_t{64} << 20) + 1});
             return zipOf(parts);
         }(),
         "its part Tarsola/pressure.csv unpacks to more than 64 MiB"},
        {"door.3mf", job("Tarsola/foot.bmp", "BM but no bitmap at all", recipe, plate), "door.3mf (foot.bmp)"},
        {"plate.3mf", job("Tarsola/foot.bmp", foot, recipe, "1,2,x\n"), "plate.3mf (pressure.csv)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeFileBytes(dir.file(c.name), c.bytes);
        r = batch(dir, {dir.file(c.name), dir.file("foot.bmp"), "-o", dir.file("out/")});
        EXPECT_EQ(r.status, 1) << r.err;
        // Each line on the problem stream is about the bad job; the last says why it failed.
        std::istringstream lines(r.err);
        std::string line;
        std::string last;
        while (std::getline(lines, line)) {
            EXPECT_NE(line.find(c.name), std::string::npos) << line;
            last = line;
        }
        EXPECT_NE(last.find(c.says), std::string::npos) << r.err;
        const std::string stem = c.name.substr(0, c.name.size() - 4);
        EXPECT_FALSE(fileExists(dir.file("out/" + stem + ".bmp")));
        EXPECT_TRUE(fileExists(dir.file("out/foot.bmp")));
    }
}
