// Tying a job's parts to the package: the archive put together again from its directory, the
// parts' packed bytes copied untouched, the relationships moved from the model part into the
// package's own, and jobs from before still opened by the parts' names.
#include "insole/job_file.h"
#include "solid/package_parts.h"
#include "solid/solid_files.h"
#include "solid/solid_mesh.h"
#include "solid/zip_directory.h"
#include "support/model_reader.h"
#include "support/zip_parts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

namespace {

const std::string MODEL_RELATIONSHIPS = "3D/_rels/3dmodel.model.rels";

std::vector<std::uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

std::string part(const std::vector<std::uint8_t>& package, const std::string& name)
{
    std::vector<std::uint8_t> bytes;
    std::string why;
    EXPECT_TRUE(readPackagePart(package.data(), package.size(), name, bytes, why)) << why;
    return {bytes.begin(), bytes.end()};
}

// Each entry's packed bytes as they lie in the archive.
std::map<std::string, std::string> packedEntries(const std::vector<std::uint8_t>& package)
{
    ZipDirectory directory;
    std::string why;
    EXPECT_TRUE(readZipDirectory(package.data(), package.size(), ZipBounds{SIZE_MAX, SIZE_MAX}, directory, why))
        << why;
    std::map<std::string, std::string> packed;
    for (const ZipEntry& entry : directory.entries) {
        std::size_t start = 0;
        EXPECT_TRUE(findZipData(package.data(), package.size(), entry, start, why)) << why;
        packed[entry.name].assign(reinterpret_cast<const char*>(package.data() + start),
                                  static_cast<std::size_t>(entry.packedSize));
    }
    return packed;
}

// The Id of every relationship in a relationship part.
std::vector<std::string> ids(const std::string& relationships)
{
    std::vector<std::string> found;
    for (std::size_t at = relationships.find("Id=\""); at != std::string::npos;
         at = relationships.find("Id=\"", at + 1)) {
        const std::size_t end = relationships.find('"', at + 4);
        found.push_back(relationships.substr(at + 4, end - at - 4));
    }
    return found;
}

std::string relationship(const std::string& type, const std::string& target, const std::string& id)
{
    return "\t<Relationship Type=\"" + type + "\" Target=\"" + target + "\" Id=\"" + id + "\" />\n";
}

std::string relationshipsOf(const std::string& elements)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
           "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">\n" +
           elements + "</Relationships>\n";
}

const std::string MODEL_TYPE = "http://schemas.microsoft.com/3dmanufacturing/2013/01/3dmodel";
const std::string TEXTURE_TYPE = "http://schemas.microsoft.com/3dmanufacturing/2013/01/3dtexture";

// A job as it was written before its parts were tied from the package: the model, its
// content types and the parts of a job written now, with lib3mf's relationships (the
// package's to the model, the model's to each part), every entry deflated with 64-bit sizes
// as lib3mf writes them.
struct OldJob {
    SolidMesh mesh;
    std::vector<PackagePart> parts;
    std::vector<ZipPart> entries;

    OldJob()
    {
        Grid heights{};
        for (int y = 60; y < 110; ++y) {
            for (int x = 40; x < 60; ++x) {
                heights[gridIndex(x, y)] = static_cast<std::uint8_t>(10 + (x * 3 + y) % 50);
            }
        }
        mesh = buildSolid(heights, 0.2);
        JobSources sources;
        sources.recipe.footFile = "foot.bmp";
        sources.recipe.settings = {80, 260, 1, false};
        sources.recipe.pressureFile = "plate.csv";
        std::vector<std::uint8_t> foot(7000);
        for (std::size_t i = 0; i < foot.size(); ++i) {
            foot[i] = static_cast<std::uint8_t>(i * i % 251);
        }
        sources.foot = std::make_shared<std::vector<std::uint8_t>>(foot);
        sources.measurement = std::make_shared<std::vector<std::uint8_t>>(bytesOf("0,120\n130,300\n"));
        SolidRecord record{"foot.bmp", {80, 260, 1, false}, 0.2, "", "", {}};
        record.parts = jobParts(sources);
        parts = record.parts;
        std::vector<std::uint8_t> job;
        std::string failure;
        EXPECT_TRUE(encode3mf(mesh, record, job, failure)) << failure;
        std::string tied;
        for (const PackagePart& p : parts) {
            tied += relationship(TARSOLA_RELATIONSHIP, p.name, "rel" + std::to_string(entries.size() + 1));
            entries.push_back({p.name.substr(1), std::string(p.bytes.begin(), p.bytes.end())});
        }
        entries.insert(entries.begin(), {"3D/3dmodel.model", part(job, "3D/3dmodel.model")});
        entries.push_back({"[Content_Types].xml", part(job, "[Content_Types].xml")});
        entries.push_back({"_rels/.rels", relationshipsOf(relationship(MODEL_TYPE, "/3D/3dmodel.model", "rel0"))});
        entries.push_back({MODEL_RELATIONSHIPS, relationshipsOf(tied)});
        for (ZipPart& entry : entries) {
            entry.deflated = true;
            entry.zip64 = true;
        }
    }

    ZipPart& entry(const std::string& name)
    {
        return *std::find_if(entries.begin(), entries.end(), [&](const ZipPart& e) { return e.name == name; });
    }

    std::vector<std::uint8_t> bytes() const { return bytesOf(zipOf(entries)); }
};

// Made once: each test changes a copy.
const OldJob& oldJob()
{
    static const OldJob job;
    return job;
}

}  // namespace

// A job written before still opens, found by its parts' names; tied from the package, every
// part but the relationships keeps its packed bytes, unpacks to the same bytes with its
// checksum, and the job reads as before in Tarsola and in lib3mf, in plain zip records that
// give the same bytes when tied again.
TEST(PackageRelationships, OldJobsOpenAndAreTiedFromThePackageWithEveryPartCopied)
{
    const OldJob& old = oldJob();
    const std::vector<std::uint8_t> before = old.bytes();
    Job read;
    std::string why;
    ASSERT_TRUE(readJob(before.data(), before.size(), read, why)) << why;
    EXPECT_EQ(read.foot, old.parts[0].bytes);
    EXPECT_EQ(read.measurement, old.parts[1].bytes);
    const ReadModel oldModel = readModel(before);
    ASSERT_TRUE(oldModel.read) << oldModel.failure;

    std::vector<std::uint8_t> after;
    ASSERT_TRUE(tiePartsToPackage(before.data(), before.size(), after, why)) << why;

    const auto packedBefore = packedEntries(before);
    const auto packedAfter = packedEntries(after);
    std::set<std::string> namesAfter;
    for (const auto& [name, packed] : packedAfter) {
        namesAfter.insert(name);
    }
    EXPECT_EQ(namesAfter, (std::set<std::string>{"3D/3dmodel.model", "Tarsola/foot.bmp", "Tarsola/pressure.csv",
                                                 "Tarsola/recipe.json", "[Content_Types].xml", "_rels/.rels"}));
    for (const ZipPart& entry : old.entries) {
        if (entry.name == "_rels/.rels" || entry.name == MODEL_RELATIONSHIPS) {
            continue;
        }
        ASSERT_EQ(packedAfter.count(entry.name), 1u) << entry.name;
        EXPECT_TRUE(packedAfter.at(entry.name) == packedBefore.at(entry.name)) << entry.name;
        EXPECT_TRUE(part(after, entry.name) == entry.bytes) << entry.name;
    }

    const std::string relationships = part(after, "_rels/.rels");
    EXPECT_NE(relationships.find(relationship(MODEL_TYPE, "/3D/3dmodel.model", "rel0")), std::string::npos);
    for (const PackagePart& p : old.parts) {
        EXPECT_NE(relationships.find(std::string("Type=\"") + TARSOLA_RELATIONSHIP + "\" Target=\"" + p.name + "\""),
                  std::string::npos)
            << relationships;
    }
    std::vector<std::string> idsFound = ids(relationships);
    EXPECT_EQ(idsFound.size(), 4u) << relationships;
    std::sort(idsFound.begin(), idsFound.end());
    EXPECT_EQ(std::adjacent_find(idsFound.begin(), idsFound.end()), idsFound.end()) << relationships;

    ASSERT_TRUE(readJob(after.data(), after.size(), read, why)) << why;
    EXPECT_EQ(read.foot, old.parts[0].bytes);
    EXPECT_EQ(read.measurement, old.parts[1].bytes);
    const ReadModel model = readModel(after);
    ASSERT_TRUE(model.read) << model.failure;
    EXPECT_EQ(model.warnings, oldModel.warnings);
    EXPECT_EQ(model.mesh.triangles, oldModel.mesh.triangles);
    EXPECT_EQ(model.mesh.vertices.size(), oldModel.mesh.vertices.size());

    // Plain records only: neither the 64-bit end record nor its locator, no extra fields; and
    // each local header says what the directory says, for readers that stream the archive.
    const std::string text(after.begin(), after.end());
    EXPECT_EQ(text.find("PK\x06\x06"), std::string::npos);
    EXPECT_EQ(text.find("PK\x06\x07"), std::string::npos);
    ZipDirectory directory;
    ASSERT_TRUE(readZipDirectory(after.data(), after.size(), ZipBounds{SIZE_MAX, SIZE_MAX}, directory, why));
    for (const ZipEntry& entry : directory.entries) {
        const std::uint8_t* local = after.data() + entry.localOffset;
        EXPECT_EQ(entry.extraLength, 0u) << entry.name;
        EXPECT_EQ(zipGet16(local + 28), 0u) << entry.name;
        EXPECT_EQ(zipGet16(local + 6), entry.flags) << entry.name;
        EXPECT_EQ(zipGet16(local + 8), entry.method) << entry.name;
        EXPECT_EQ(zipGet32(local + 14), entry.crc) << entry.name;
        EXPECT_EQ(zipGet32(local + 18), entry.packedSize) << entry.name;
        EXPECT_EQ(zipGet32(local + 22), entry.size) << entry.name;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(local + 30), zipGet16(local + 26)), entry.name);
    }

    std::vector<std::uint8_t> again;
    ASSERT_TRUE(tiePartsToPackage(after.data(), after.size(), again, why)) << why;
    EXPECT_TRUE(again == after);
}

// The model's other relationships stay with it, the package's ids are not taken twice, and a
// part the package already ties is not tied again.
TEST(PackageRelationships, OtherRelationshipsAndIdsAreKept)
{
    OldJob old = oldJob();
    old.entry(MODEL_RELATIONSHIPS).bytes = relationshipsOf(
        relationship(TARSOLA_RELATIONSHIP, "/Tarsola/foot.bmp", "rel1") +
        relationship(TEXTURE_TYPE, "/3D/Textures/wood.png", "rel2") +
        "\t<Relationship Id='rel3' Target='/Tarsola/recipe.json'\n\t\tType='" + TARSOLA_RELATIONSHIP + "'></Relationship>\n");
    old.entry("_rels/.rels").bytes =
        relationshipsOf(relationship(MODEL_TYPE, "/3D/3dmodel.model", "rel0") +
                        relationship("urn:other", "/Other/x.bin", "tarsola0") +
                        relationship(TARSOLA_RELATIONSHIP, "/Tarsola/recipe.json", "tarsola1"));
    const std::vector<std::uint8_t> before = old.bytes();
    std::vector<std::uint8_t> after;
    std::string why;
    ASSERT_TRUE(tiePartsToPackage(before.data(), before.size(), after, why)) << why;

    EXPECT_EQ(part(after, MODEL_RELATIONSHIPS), relationshipsOf(relationship(TEXTURE_TYPE, "/3D/Textures/wood.png", "rel2")));
    EXPECT_EQ(part(after, "_rels/.rels"),
              relationshipsOf(relationship(MODEL_TYPE, "/3D/3dmodel.model", "rel0") +
                              relationship("urn:other", "/Other/x.bin", "tarsola0") +
                              relationship(TARSOLA_RELATIONSHIP, "/Tarsola/recipe.json", "tarsola1") +
                              relationship(TARSOLA_RELATIONSHIP, "/Tarsola/foot.bmp", "tarsola2")));
}

// What cannot be tied, or not in plain records, is refused with why, the output untouched.
TEST(PackageRelationships, WhatCannotBeTiedIsRefusedLeavingTheOutput)
{
    auto changed = [](const std::string& name, const std::string& bytes, std::uint64_t claimed = 0) {
        OldJob old = oldJob();
        old.entry(name).bytes = bytes;
        old.entry(name).claimedSize = claimed;
        return old.bytes();
    };
    const OldJob& old = oldJob();
    std::vector<std::uint8_t> cut = old.bytes();
    cut.resize(cut.size() - 30);
    std::vector<ZipPart> withoutPackageRelationships = old.entries;
    withoutPackageRelationships.erase(std::find_if(withoutPackageRelationships.begin(),
                                                   withoutPackageRelationships.end(),
                                                   [](const ZipPart& e) { return e.name == "_rels/.rels"; }));
    const std::string foot(old.parts[0].bytes.begin(), old.parts[0].bytes.end());
    const struct {
        std::vector<std::uint8_t> bytes;
        std::string says;
    } cases[] = {
        {changed("Tarsola/foot.bmp", foot, std::uint64_t{5} << 30),
         "its part Tarsola/foot.bmp is too large for a 3MF of 4 GiB or less"},
        {changed("Tarsola/foot.bmp", foot, 0xFFFFFFFF), "its part Tarsola/foot.bmp is too large"},
        {cut, "directory is missing"},
        {bytesOf(zipOf(withoutPackageRelationships)), "it has no relationships of its own, _rels/.rels"},
        {changed(MODEL_RELATIONSHIPS, relationshipsOf(relationship(TARSOLA_RELATIONSHIP, "../Tarsola/foot.bmp", "r"))),
         "its relationship to ../Tarsola/foot.bmp in 3D/_rels/3dmodel.model.rels is relative to its part"},
        {changed(MODEL_RELATIONSHIPS, relationshipsOf("<Relationship Type=\"urn:tarsola:job-part\" Target=\"/a")),
         "its relationships in 3D/_rels/3dmodel.model.rels cannot be read"},
        {changed("_rels/.rels", "<Relationships/>"), "its relationships in _rels/.rels cannot be read"},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> out = bytesOf("kept");
        std::string why;
        EXPECT_FALSE(tiePartsToPackage(c.bytes.data(), c.bytes.size(), out, why)) << c.says;
        EXPECT_NE(why.find(c.says), std::string::npos) << why;
        EXPECT_EQ(out, bytesOf("kept")) << c.says;
    }
}
