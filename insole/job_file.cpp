#include "insole/job_file.h"

#include "imagefile/loaded_foot.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* PART_FOLDER = "Tarsola/";
constexpr std::size_t MAX_EXTENSION = 8;

struct ContentType {
    const char* extension;
    const char* type;
};
// The content types of the files a foot or a measurement comes in; any other is bytes.
constexpr ContentType CONTENT_TYPES[] = {
    {"bmp", "image/bmp"},       {"png", "image/png"},        {"jpg", "image/jpeg"},
    {"jpeg", "image/jpeg"},     {"tif", "image/tiff"},       {"tiff", "image/tiff"},
    {"stl", "model/stl"},       {"obj", "model/obj"},        {"ply", "application/octet-stream"},
    {"csv", "text/csv"},        {"txt", "text/plain"},       {"json", "application/json"},
};

const char* contentTypeOf(const std::string& extension)
{
    for (const ContentType& known : CONTENT_TYPES) {
        if (extension == known.extension) {
            return known.type;
        }
    }
    return "application/octet-stream";
}

PackagePart part(const std::string& stem, const std::string& extension,
                 const std::vector<std::uint8_t>& bytes)
{
    return {std::string("/") + PART_FOLDER + stem + "." + extension, contentTypeOf(extension), bytes};
}

// The one part named PART_FOLDER + stem + ".EXT"; empty when there is none, and `why` set
// when there are several.
std::string findPart(const std::vector<std::string>& names, const std::string& stem,
                     std::string& why)
{
    const std::string prefix = PART_FOLDER + stem + ".";
    std::string found;
    for (const std::string& name : names) {
        if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0) {
            if (!found.empty()) {
                why = "it holds more than one " + stem + " part";
                return {};
            }
            found = name;
        }
    }
    return found;
}

}  // namespace

std::string partExtension(const std::string& fileName)
{
    const std::string name = fileNameOf(fileName);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == name.size() ||
        name.size() - dot - 1 > MAX_EXTENSION) {
        return "bin";
    }
    std::string extension;
    for (std::size_t i = dot + 1; i < name.size(); ++i) {
        char c = name[i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) {
            return "bin";
        }
        extension += c;
    }
    return extension;
}

JobSources jobSourcesOf(const InsoleState& state, const ReliefPlan* plan, JobRecipe controls)
{
    JobSources sources;
    controls.format = JOB_FORMAT;
    controls.version = TARSOLA_VERSION;
    controls.pressureFile.clear();
    controls.scan.units = state.footUnits;
    controls.scan.up = state.footUp;
    if (plan && plan->measurementBytes) {
        controls.pressureFile = fileNameOf(plan->measurementFile);
        controls.relief.on = plan->on;
        controls.relief.parameters = plan->parameters;
        controls.correction = plan->correction;
        sources.measurement = plan->measurementBytes;
    }
    sources.recipe = std::move(controls);
    sources.foot = state.footBytes;
    return sources;
}

bool isPackageFile(const char* path)
{
    std::FILE* file = path ? std::fopen(path, "rb") : nullptr;
    if (!file) {
        return false;
    }
    std::uint8_t start[4] = {};
    const std::size_t got = std::fread(start, 1, sizeof start, file);
    std::fclose(file);
    return isPackage(start, got);
}

std::vector<PackagePart> jobParts(const JobSources& sources)
{
    std::vector<PackagePart> parts;
    if (sources.foot) {
        parts.push_back(part("foot", partExtension(sources.recipe.footFile), *sources.foot));
    }
    if (sources.measurement && sources.recipe.hasMeasurement()) {
        parts.push_back(part("pressure", partExtension(sources.recipe.pressureFile), *sources.measurement));
    }
    const std::string text = recipeJson(sources.recipe);
    parts.push_back({std::string("/") + JOB_RECIPE_PART, "application/json",
                     std::vector<std::uint8_t>(text.begin(), text.end())});
    return parts;
}

bool isPackage(const std::uint8_t* data, std::size_t size) { return looksLikeZip(data, size); }

bool readJob(const std::uint8_t* data, std::size_t size, Job& job, std::string& why)
{
    std::vector<std::string> names;
    if (!listPackageParts(data, size, names, why)) {
        return false;
    }
    bool hasRecipe = false;
    for (const std::string& name : names) {
        hasRecipe = hasRecipe || name == JOB_RECIPE_PART;
    }
    if (!hasRecipe) {
        why = "not a Tarsola job: a 3MF from another program; open a scan as STL, OBJ or PLY";
        return false;
    }
    Job read;
    std::vector<std::uint8_t> text;
    if (!readPackagePart(data, size, JOB_RECIPE_PART, text, why)) {
        return false;
    }
    std::string problem;
    if (!readRecipeJson(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()),
                        read.recipe, problem)) {
        why = "its recipe cannot be taken: " + problem;
        return false;
    }
    std::string several;
    read.footPart = findPart(names, "foot", several);
    if (read.footPart.empty()) {
        why = several.empty() ? "it has no foot part, from which the insole is made" : several;
        return false;
    }
    if (!readPackagePart(data, size, read.footPart, read.foot, why)) {
        return false;
    }
    read.measurementPart = findPart(names, "pressure", several);
    if (!several.empty()) {
        why = several;
        return false;
    }
    if (read.recipe.hasMeasurement() != !read.measurementPart.empty()) {
        why = read.recipe.hasMeasurement()
                  ? "its recipe names the measurement " + read.recipe.pressureFile + ", but it has no pressure part"
                  : "it has a pressure part, but its recipe names no measurement";
        return false;
    }
    if (read.recipe.hasMeasurement() &&
        !readPackagePart(data, size, read.measurementPart, read.measurement, why)) {
        return false;
    }
    job = std::move(read);
    return true;
}

bool readJobFile(const char* path, Job& job, std::string& why)
{
    std::FILE* file = std::fopen(path, "rb");
    if (!file) {
        why = std::strerror(errno);
        return false;
    }
    // At most one byte beyond the bound: enough to know a file is too large.
    std::vector<std::uint8_t> bytes;
    std::uint8_t block[65536];
    while (bytes.size() <= MAX_PACKAGE_BYTES) {
        const std::size_t got = std::fread(block, 1, sizeof block, file);
        if (got == 0) {
            break;
        }
        const std::size_t room = MAX_PACKAGE_BYTES + 1 - bytes.size();
        bytes.insert(bytes.end(), block, block + std::min(got, room));
    }
    const int readError = std::ferror(file) ? errno : 0;
    std::fclose(file);
    if (readError) {
        why = std::strerror(readError);
        return false;
    }
    if (bytes.size() > MAX_PACKAGE_BYTES) {
        why = "it is larger than " + std::to_string(MAX_PACKAGE_BYTES >> 20) + " MiB";
        return false;
    }
    return readJob(bytes.data(), bytes.size(), job, why);
}

std::string partTraceName(const std::string& jobFile, const std::string& part)
{
    return jobFile + " (" + fileNameOf(part) + ")";
}
