// A job's recipe as JSON read back with every check, the package's parts written beside the
// model and read back within their bounds, and the 3MF still read by lib3mf.
#include "insole/job_file.h"
#include "insole/job_recipe.h"
#include "mill/mill_settings.h"
#include "solid/solid_files.h"
#include "solid/solid_mesh.h"
#include "support/model_reader.h"
#include "support/test_support.h"
#include "support/zip_parts.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

using nlohmann::json;

// A recipe whose every value differs from its default, so that a value read into the wrong
// field shows.
JobRecipe unusualRecipe()
{
    JobRecipe r;
    r.version = "9.8.7";
    r.footFile = "Müller & Co <left>.bmp";
    r.pressureFile = "plate.csv";
    r.settings = {97.0, 251.5, 1.35, true};
    r.scan = {ScanUnits::Centimetres, ScanUp::MinusY, 0.25};
    r.relief.on = false;
    r.relief.parameters = {310.0, 2.5, 7.0, 12.0};
    r.reading.pitchMm = 7.5;
    r.reading.units = PressureUnit::NewtonPerCm2;
    r.reading.heelFirst = true;
    r.correction = {-3.25, 4.5, -12.0, true};
    r.accept = true;
    r.elements.side = SideChoice::Right;
    r.elements.metPad = true;
    r.elements.metPadHeightMm = 6.5;
    r.elements.metPadOffsetMm = 3;
    r.elements.metBarHeightMm = 2;
    r.elements.heelCup = true;
    r.elements.heelCupWidthMm = 20;
    r.elements.rearfootPostDegrees = -7.5;
    r.shifts = {-4, 2.5, 11};
    MillSetup setup;
    setup.toolMm = 8.0;
    setup.stepoverMm = 0.3;
    setup.blankMm = 21.0;
    r.milling = millRecipeValues(setup);
    return r;
}

std::string withValue(const std::string& section, const std::string& key, const json& value)
{
    json root = json::parse(recipeJson(unusualRecipe()));
    if (section.empty()) {
        root[key] = value;
    } else {
        root[section][key] = value;
    }
    return root.dump();
}

std::string without(const std::string& section, const std::string& key)
{
    json root = json::parse(recipeJson(unusualRecipe()));
    if (section.empty()) {
        root.erase(key);
    } else {
        root[section].erase(key);
    }
    return root.dump();
}

}  // namespace

TEST(JobRecipe, RoundTripKeepsEveryValueAndTheSameBytes)
{
    const JobRecipe written = unusualRecipe();
    const std::string text = recipeJson(written);
    JobRecipe read;
    std::string why;
    ASSERT_TRUE(readRecipeJson(text, read, why)) << why;
    EXPECT_EQ(read.version, "9.8.7");
    EXPECT_EQ(read.footFile, written.footFile);
    EXPECT_EQ(read.pressureFile, "plate.csv");
    EXPECT_EQ(read.settings.width, 97.0);
    EXPECT_EQ(read.settings.length, 251.5);
    EXPECT_EQ(read.settings.heightRatio, 1.35);
    EXPECT_TRUE(read.settings.limit);
    EXPECT_EQ(read.scan.units, ScanUnits::Centimetres);
    EXPECT_EQ(read.scan.up, ScanUp::MinusY);
    EXPECT_EQ(read.scan.levelMm, 0.25);
    EXPECT_FALSE(read.relief.on);
    EXPECT_EQ(read.relief.parameters.thresholdKpa, 310.0);
    EXPECT_EQ(read.relief.parameters.depthMm, 2.5);
    EXPECT_EQ(read.relief.parameters.marginMm, 7.0);
    EXPECT_EQ(read.relief.parameters.widthMm, 12.0);
    EXPECT_EQ(read.reading.pitchMm, 7.5);
    EXPECT_EQ(read.reading.units, PressureUnit::NewtonPerCm2);
    EXPECT_EQ(read.correction.shiftXMm, -3.25);
    EXPECT_EQ(read.correction.shiftYMm, 4.5);
    EXPECT_EQ(read.correction.turnDegrees, -12.0);
    EXPECT_TRUE(read.correction.mirror);
    EXPECT_TRUE(read.reading.heelFirst);
    EXPECT_TRUE(read.accept);
    EXPECT_EQ(read.elements.side, SideChoice::Right);
    EXPECT_TRUE(read.elements.metPad && read.elements.heelCup);
    EXPECT_FALSE(read.elements.metBar || read.elements.arch || read.elements.rearfootPost);
    EXPECT_EQ(read.elements.metPadHeightMm, 6.5);
    EXPECT_EQ(read.elements.metPadOffsetMm, 3.0);
    EXPECT_EQ(read.elements.metBarHeightMm, 2.0);
    EXPECT_EQ(read.elements.heelCupWidthMm, 20.0);
    EXPECT_EQ(read.elements.rearfootPostDegrees, -7.5);
    EXPECT_EQ(read.shifts.metPadAlongMm, -4.0);
    EXPECT_EQ(read.shifts.metPadAcrossMm, 2.5);
    EXPECT_EQ(read.shifts.metBarAlongMm, 11.0);
    MillSetup setup;
    ASSERT_TRUE(millSetupOfRecipe(read.milling, setup, why)) << why;
    EXPECT_EQ(setup.toolMm, 8.0);
    EXPECT_EQ(setup.stepoverMm, 0.3);
    EXPECT_EQ(setup.blankMm, 21.0);
    // What is read back writes the same bytes: a job remade from a job is the same file.
    EXPECT_EQ(recipeJson(read), text);

    // Without a measurement the recipe says so with null, and reads back without one.
    JobRecipe bare = written;
    bare.pressureFile.clear();
    ASSERT_TRUE(readRecipeJson(recipeJson(bare), read, why)) << why;
    EXPECT_FALSE(read.hasMeasurement());
    EXPECT_EQ(json::parse(recipeJson(bare))["files"]["pressure"], nullptr);

    // A recipe written before the prescription was recorded made its insole without elements.
    ASSERT_TRUE(readRecipeJson(without("", "elements"), read, why)) << why;
    EXPECT_FALSE(read.elements.anyOn());
    EXPECT_EQ(read.elements.side, SideChoice::Automatic);
    EXPECT_EQ(read.shifts.metBarAlongMm, 0.0);
}

// Every kind of bad recipe is refused with one line naming the value, and leaves the recipe
// it was to fill as it was.
TEST(JobRecipe, BadRecipesAreRefusedNamingTheValue)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        std::string text;
        std::string says;
    } cases[] = {
        {"", "not a JSON object"},
        {"[1, 2]", "not a JSON object"},
        {"{\"format\": 1,", "not a JSON object"},
        {std::string(100000, '[') + std::string(100000, ']'), "nests deeper"},
        {withValue("", "format", 2), "format 2 is newer than this Tarsola reads (1)"},
        {withValue("", "format", 0), "format 0 is unknown"},
        {withValue("", "format", "1"), "no whole-number format"},
        {withValue("", "format", 1.5), "no whole-number format"},
        {without("", "version"), "names no version"},
        {without("", "insole"), "has no insole"},
        {withValue("", "insole", 3), "insole is not an object"},
        {without("insole", "heightRatio"), "insole has no heightRatio"},
        {withValue("insole", "heightRatio", 2.5), "insole.heightRatio 2.5 is outside 0.1 to 2"},
        {withValue("insole", "heightRatio", "1"), "insole.heightRatio is not a number"},
        {withValue("insole", "heightRatio", nan), "insole.heightRatio is not a number"},
        {withValue("insole", "widthMm", -90), "insole.widthMm -90 is outside 1 to 1000"},
        {withValue("insole", "limit", 1), "insole.limit is not true or false"},
        {withValue("insole", "levelMm", 2), "insole.levelMm 2 is outside 0.05 to 1"},
        {withValue("insole", "scanUnits", "inch"), "insole.scanUnits \"inch\" is none of"},
        {withValue("insole", "scanUp", "up"), "insole.scanUp \"up\" is none of"},
        {withValue("relief", "depthMm", 7), "relief.depthMm 7 is outside 0.5 to 6"},
        {withValue("relief", "on", "yes"), "relief.on is not true or false"},
        {withValue("pressure", "units", "bar"), "pressure.units \"bar\" is none of"},
        {withValue("pressure", "pitchMm", 0.5), "pressure.pitchMm 0.5 is outside 1 to 20"},
        {withValue("placement", "turnDegrees", 181), "placement.turnDegrees 181 is outside -180 to 180"},
        {withValue("placement", "mirror", nullptr), "placement.mirror is not true or false"},
        {withValue("placement", "accept", 0), "placement.accept is not true or false"},
        {withValue("pressure", "heelFirst", "no"), "pressure.heelFirst is not true or false"},
        {withValue("files", "foot", ""), "files.foot is empty"},
        {withValue("files", "foot", 7), "files.foot is not text"},
        {withValue("files", "pressure", false), "files.pressure is not text"},
        {withValue("milling", "rpm", "fast"), "milling.rpm is not a number"},
        {withValue("", "elements", "none"), "elements is not an object"},
        {without("elements", "arch"), "elements has no arch"},
        {withValue("elements", "side", "both"), "elements.side \"both\" is none of auto, left and right"},
        {withValue("elements", "heelCup", 1), "elements.heelCup is not true or false"},
        {withValue("elements", "archHeightMm", "5"), "elements.archHeightMm is not a number"},
        {withValue("elements", "metPadHeightMm", 9), "elements: metatarsal pad height 9 mm is outside"},
        {withValue("elements", "metBarAlongMm", -41), "elements: metatarsal bar shift -41 mm is outside"},
        {withValue("elements", "rearfootPostDegrees", 1e300), "elements: rearfoot posting angle"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 200));
        JobRecipe recipe = unusualRecipe();
        recipe.version = "untouched";
        std::string why;
        EXPECT_FALSE(readRecipeJson(c.text, recipe, why));
        EXPECT_NE(why.find(c.says), std::string::npos) << why;
        EXPECT_EQ(why.find('\n'), std::string::npos) << why;
        EXPECT_EQ(recipe.version, "untouched");
    }
}

// The milling setup is taken whole: every key once, none unknown, the whole setup in range
// (the stepover against the recipe's own tool).
TEST(JobRecipe, MillingSetupIsCheckedByTheMillingRoom)
{
    const auto values = millRecipeValues(MillSetup{});
    MillSetup setup;
    setup.toolMm = 3.0;
    std::string why;
    ASSERT_TRUE(millSetupOfRecipe(values, setup, why)) << why;
    EXPECT_EQ(setup.toolMm, MillSetup{}.toolMm);

    auto unknown = values;
    unknown.emplace_back("laser-power", 3.0);
    EXPECT_FALSE(millSetupOfRecipe(unknown, setup, why));
    EXPECT_NE(why.find("milling.laser-power is no setting"), std::string::npos) << why;

    auto missing = values;
    missing.erase(missing.begin() + 6);  // rpm
    EXPECT_FALSE(millSetupOfRecipe(missing, setup, why));
    EXPECT_NE(why.find("milling has no rpm"), std::string::npos) << why;

    auto wide = values;
    for (auto& [key, value] : wide) {
        if (key == "tool-mm") {
            value = 2.0;
        }
        if (key == "stepover-mm") {
            value = 1.5;  // beyond a 2 mm tool's radius
        }
    }
    setup = MillSetup{};
    EXPECT_FALSE(millSetupOfRecipe(wide, setup, why));
    EXPECT_NE(why.find("stepover"), std::string::npos) << why;
    EXPECT_EQ(setup.toolMm, MillSetup{}.toolMm);
}

TEST(JobParts, PartNamesTakeTheFilesOwnExtensionInLowerCase)
{
    EXPECT_EQ(partExtension("/scans/Foot.BMP"), "bmp");
    EXPECT_EQ(partExtension("foot.tiff"), "tiff");
    EXPECT_EQ(partExtension("foot"), "bin");
    EXPECT_EQ(partExtension(".hidden"), "bin");
    EXPECT_EQ(partExtension("foot."), "bin");
    EXPECT_EQ(partExtension("a.b/foot"), "bin");
    EXPECT_EQ(partExtension("foot.b m"), "bin");           // no part name could carry it
    EXPECT_EQ(partExtension("foot.verylongext"), "bin");
}

// The 3MF that Save solid and the batch write holds the parts, declared and tied to the
// package; lib3mf still reads its model and metadata exactly as without them; the reader
// finds every part again, byte for byte.
TEST(JobParts, PartsBesideTheModelLeaveItAsItWasAndReadBack)
{
    Grid heights{};
    for (int y = 40; y < 300; ++y) {
        for (int x = 30; x < 110; ++x) {
            heights[gridIndex(x, y)] = static_cast<std::uint8_t>(10 + (x + y) % 40);
        }
    }
    const SolidMesh mesh = buildSolid(heights, 0.2);
    SolidRecord record{"foot.bmp", {80, 260, 1, false}, 0.2, "", "", {}};
    std::vector<std::uint8_t> plain;
    std::string failure;
    ASSERT_TRUE(encode3mf(mesh, record, plain, failure)) << failure;

    JobSources sources;
    sources.recipe = unusualRecipe();
    sources.recipe.footFile = "Foot.BMP";
    std::vector<std::uint8_t> foot(5000);
    for (std::size_t i = 0; i < foot.size(); ++i) {
        foot[i] = static_cast<std::uint8_t>(i * 7);
    }
    sources.foot = std::make_shared<std::vector<std::uint8_t>>(foot);
    sources.measurement = std::make_shared<std::vector<std::uint8_t>>(std::vector<std::uint8_t>{'1', ',', '2'});
    record.parts = jobParts(sources);
    ASSERT_EQ(record.parts.size(), 3u);
    EXPECT_EQ(record.parts[0].name, "/Tarsola/foot.bmp");
    EXPECT_EQ(record.parts[1].name, "/Tarsola/pressure.csv");
    EXPECT_EQ(record.parts[2].name, "/Tarsola/recipe.json");
    std::vector<std::uint8_t> job;
    ASSERT_TRUE(encode3mf(mesh, record, job, failure)) << failure;

    const ReadModel before = readModel(plain);
    const ReadModel after = readModel(job);
    ASSERT_TRUE(after.read) << after.failure;
    EXPECT_EQ(after.warnings, before.warnings);
    EXPECT_EQ(after.metadata, before.metadata);
    EXPECT_EQ(after.mesh.vertices.size(), before.mesh.vertices.size());
    EXPECT_EQ(after.mesh.triangles.size(), before.mesh.triangles.size());

    std::vector<std::string> names;
    std::string why;
    ASSERT_TRUE(listPackageParts(job.data(), job.size(), names, why)) << why;
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(readPackagePart(job.data(), job.size(), "[Content_Types].xml", bytes, why)) << why;
    const std::string types(bytes.begin(), bytes.end());
    EXPECT_NE(types.find("Extension=\"bmp\" ContentType=\"image/bmp\""), std::string::npos) << types;
    EXPECT_NE(types.find("Extension=\"csv\" ContentType=\"text/csv\""), std::string::npos) << types;
    EXPECT_NE(types.find("Extension=\"json\" ContentType=\"application/json\""), std::string::npos) << types;
    // The parts are tied from the package, beside its tie to the model, and no longer from
    // the model part, whose relationships held nothing else and are gone as in a plain 3MF.
    ASSERT_TRUE(readPackagePart(job.data(), job.size(), "_rels/.rels", bytes, why)) << why;
    const std::string relationships(bytes.begin(), bytes.end());
    EXPECT_NE(relationships.find("Target=\"/3D/3dmodel.model\" Id=\"rel0\""), std::string::npos) << relationships;
    for (const char* target : {"/Tarsola/foot.bmp", "/Tarsola/pressure.csv", "/Tarsola/recipe.json"}) {
        EXPECT_NE(relationships.find(std::string("Type=\"") + TARSOLA_RELATIONSHIP + "\" Target=\"" + target),
                  std::string::npos)
            << relationships;
    }
    EXPECT_EQ(std::count(names.begin(), names.end(), "3D/_rels/3dmodel.model.rels"), 0);
    std::vector<std::string> plainNames;
    ASSERT_TRUE(listPackageParts(plain.data(), plain.size(), plainNames, why)) << why;
    EXPECT_EQ(std::count(plainNames.begin(), plainNames.end(), "3D/_rels/3dmodel.model.rels"), 0);

    Job read;
    ASSERT_TRUE(readJob(job.data(), job.size(), read, why)) << why;
    EXPECT_EQ(read.foot, foot);
    EXPECT_EQ(read.footPart, "Tarsola/foot.bmp");
    EXPECT_EQ(read.measurement, (std::vector<std::uint8_t>{'1', ',', '2'}));
    EXPECT_EQ(recipeJson(read.recipe), recipeJson(sources.recipe));

    // The plain 3MF is another program's as far as jobs go.
    EXPECT_FALSE(readJob(plain.data(), plain.size(), read, why));
    EXPECT_EQ(why, "not a Tarsola job: a 3MF from another program; open a scan as STL, OBJ or PLY");
}

// Packages that would unpack beyond the bounds are refused from their directory alone, and
// damaged ones by what their parts hold; each with one line.
TEST(JobParts, BadPackagesAreRefusedWithOneLine)
{
    const std::string recipe = recipeJson(unusualRecipe());
    const std::string foot(100, 'f');
    auto withPart = [&](const ZipPart& changed) {
        auto parts = jobPartsAround("Tarsola/foot.bmp", foot, recipe);
        parts.push_back({"Tarsola/pressure.csv", "1,2"});
        for (ZipPart& part : parts) {
            if (part.name == changed.name) {
                part = changed;
            }
        }
        return zipOf(parts);
    };
    std::vector<ZipPart> huge = jobPartsAround("Tarsola/foot.bmp", foot, recipe);
    for (int i = 0; i < 5; ++i) {
        huge.push_back({"Tarsola/extra" + std::to_string(i), "x", std::uint32_t{60} << 20});
    }
    std::string withoutFoot = zipOf({{"[Content_Types].xml", "x"}, {"Tarsola/recipe.json", recipe}});
    std::string cut = withPart({"Tarsola/foot.bmp", foot});
    cut.resize(cut.size() / 2);
    const struct {
        std::string bytes;
        std::string says;
    } cases[] = {
        {"", "no zip archive"},
        {"PK\x03\x04 but nothing more", "no zip archive"},
        {cut, "directory is missing"},
        {withPart({"Tarsola/foot.bmp", foot, (std::uint32_t{64} << 20) + 1}),
         "its part Tarsola/foot.bmp unpacks to more than 64 MiB"},
        {zipOf(huge), "its parts unpack to more than 256 MiB"},
        {withPart({"Tarsola/foot.bmp", foot, 0, true}), "its part Tarsola/foot.bmp is damaged: its checksum"},
        {withPart({"Tarsola/foot.bmp", foot, 50}), "its part Tarsola/foot.bmp is damaged"},
        {withPart({"Tarsola/pressure.csv", "1,2", 0, true}), "Tarsola/pressure.csv is damaged"},
        {withoutFoot, "it has no foot part"},
        {withPart({"Tarsola/recipe.json", "{\"format\": 2}"}), "newer than this Tarsola reads"},
        {withPart({"Tarsola/recipe.json", without("insole", "limit")}), "insole has no limit"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says);
        Job job;
        job.recipe.version = "untouched";
        std::string why;
        const auto* data = reinterpret_cast<const std::uint8_t*>(c.bytes.data());
        EXPECT_FALSE(readJob(data, c.bytes.size(), job, why));
        EXPECT_NE(why.find(c.says), std::string::npos) << why;
        EXPECT_EQ(why.find('\n'), std::string::npos) << why;
        EXPECT_EQ(job.recipe.version, "untouched");
    }

    // A recipe that names a measurement the package lacks, and a measurement no recipe names.
    JobRecipe bare = unusualRecipe();
    bare.pressureFile.clear();
    const std::string lonely = withPart({"Tarsola/recipe.json", recipeJson(bare)});
    Job job;
    std::string why;
    EXPECT_FALSE(readJob(reinterpret_cast<const std::uint8_t*>(lonely.data()), lonely.size(), job, why));
    EXPECT_NE(why.find("it has a pressure part, but its recipe names no measurement"), std::string::npos) << why;
    const std::string missing = zipOf(jobPartsAround("Tarsola/foot.bmp", foot, recipe));
    EXPECT_FALSE(readJob(reinterpret_cast<const std::uint8_t*>(missing.data()), missing.size(), job, why));
    EXPECT_NE(why.find("names the measurement plate.csv, but it has no pressure part"), std::string::npos) << why;
}
