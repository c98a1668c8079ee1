#include "fuzz/job_entry.h"

#include "insole/job_file.h"

#include <string>

FeedResult feedJobBytes(const std::uint8_t* data, std::size_t size)
{
    FeedResult result;
    Job job;
    job.recipe.version = "before";
    std::string why;
    result.loaded = readJob(data, size, job, why);
    if (!result.loaded) {
        if (why.empty() || why.find('\n') != std::string::npos) {
            return brokenPromise(result, "a refused job does not say why in one line");
        }
        if (job.recipe.version != "before" || !job.foot.empty()) {
            return brokenPromise(result, "a refused job changed what it was to fill");
        }
        return result;
    }
    if (job.foot.empty() || job.foot.size() > MAX_PACKAGE_PART_BYTES ||
        job.measurement.size() > MAX_PACKAGE_PART_BYTES) {
        return brokenPromise(result, "an accepted job has no foot, or a part beyond the bound");
    }
    if (job.recipe.hasMeasurement() == job.measurement.empty() && !job.measurementPart.empty() ==
                                                                       job.measurement.empty()) {
        return brokenPromise(result, "an accepted job's measurement and recipe disagree");
    }
    const std::string text = recipeJson(job.recipe);
    JobRecipe again;
    if (!readRecipeJson(text, again, why) || recipeJson(again) != text) {
        return brokenPromise(result, "an accepted recipe does not read back as itself");
    }
    return result;
}
