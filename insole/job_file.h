// A job: the 3MF that Save solid and the batch write, made the whole record of the insole by
// three parts beside the model: the foot's own bytes (/Tarsola/foot.EXT), the measurement's
// bytes (/Tarsola/pressure.EXT) and the recipe (/Tarsola/recipe.json). Slicers read the model
// and pass the parts by; Tarsola reads the parts and makes the same insole again anywhere.
#pragma once

#include "insole/insole_state.h"
#include "insole/job_recipe.h"
#include "insole/relief_plan.h"
#include "solid/package_parts.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

constexpr const char* JOB_RECIPE_PART = "Tarsola/recipe.json";

// What a job's parts are made from: the recipe and the bytes of the two files as they were
// read. No measurement part without measurement bytes.
struct JobSources {
    JobRecipe recipe;
    std::shared_ptr<const std::vector<std::uint8_t>> foot;
    std::shared_ptr<const std::vector<std::uint8_t>> measurement;
};

// The sources of a job of the insole made from `state`: `controls` as the controls (or the
// batch's options) stand, the version this program's, the foot's bytes and how a scan among
// them was read (units and up axis) the state's and, with a measurement placed, its name,
// bytes, switch, parameters and correction the plan's.
JobSources jobSourcesOf(const InsoleState& state, const ReliefPlan* plan, JobRecipe controls);

// Whether the file begins as a 3MF does; false for a file that does not open.
bool isPackageFile(const char* path);

// The part name's extension for a file: its own extension in lower case, or "bin" when it has
// none, or one that is not a plain word of letters and digits a part name can carry.
std::string partExtension(const std::string& fileName);

// The parts in the order they are written: foot, measurement (when there is one), recipe.
std::vector<PackagePart> jobParts(const JobSources& sources);

// A job as read back: the recipe, and the foot's and the measurement's bytes with the names
// of their parts.
struct Job {
    JobRecipe recipe;
    std::vector<std::uint8_t> foot;
    std::string footPart;  // "Tarsola/foot.bmp"
    std::vector<std::uint8_t> measurement;
    std::string measurementPart;
};

// Whether the bytes are a 3MF (a zip archive) rather than a foot image or a scan.
bool isPackage(const std::uint8_t* data, std::size_t size);

// Reads a job from the bytes of a 3MF. Returns false, with one line saying what is wrong, for
// a package that is damaged or too large to unpack, a 3MF without a recipe (another program's),
// a recipe that cannot be taken, or a missing or damaged foot or measurement part.
bool readJob(const std::uint8_t* data, std::size_t size, Job& job, std::string& why);

// The same from a file, read whole (refused without reading when larger than
// MAX_PACKAGE_BYTES).
bool readJobFile(const char* path, Job& job, std::string& why);

// The name a part's bytes go by in traces: "insole.3mf (foot.bmp)".
std::string partTraceName(const std::string& jobFile, const std::string& part);
