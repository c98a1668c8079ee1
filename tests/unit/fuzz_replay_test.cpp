// Replays the fuzzer's seed corpus and every input that ever crashed the loader or the
// pressure reader through the same entries the fuzzer uses, without libFuzzer.
#include "fuzz/foot_entry.h"
#include "fuzz/job_entry.h"
#include "fuzz/pressure_entry.h"
#include "insole/job_file.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const fs::path FUZZ_FOLDER = fs::path(__FILE__).parent_path().parent_path().parent_path() / "fuzz";

std::vector<fs::path> filesIn(const fs::path& folder)
{
    std::vector<fs::path> files;
    if (fs::is_directory(folder)) {
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') {
                files.push_back(entry.path());
            }
        }
    }
    return files;
}

// Runs one file through the foot loader, with its trace kept out of the test log, and
// through the pressure reader; returns whether it loaded as a foot, and in `pressure`
// whether it was taken as a measurement.
bool replay(const fs::path& file, bool* pressure = nullptr)
{
    SCOPED_TRACE(file.string());
    const auto bytes = readFileBytes(file.string());
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const FeedResult result = feedFootBytes(bytes.data(), bytes.size());
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(result.sane) << result.problem;
    const FeedResult measurement = feedPressureBytes(bytes.data(), bytes.size());
    EXPECT_TRUE(measurement.sane) << measurement.problem;
    const FeedResult job = feedJobBytes(bytes.data(), bytes.size());
    EXPECT_TRUE(job.sane) << job.problem;
    if (pressure) {
        *pressure = measurement.loaded;
    }
    return result.loaded;
}

}  // namespace

TEST(FuzzReplay, SeedCorpusLoadsOrIsRefusedSanely)
{
    const auto files = filesIn(FUZZ_FOLDER / "corpus");
    ASSERT_GE(files.size(), 100u) << "the seed corpus is missing from " << FUZZ_FOLDER;
    int loaded = 0;
    int measurements = 0;
    for (const auto& file : files) {
        bool measurement = false;
        loaded += replay(file, &measurement);
        // The pressure seeds are sound measurements, and nothing else is one.
        const bool pressureSeed = file.filename().string().rfind("pressure_", 0) == 0;
        EXPECT_EQ(measurement, pressureSeed) << file;
        measurements += measurement;
    }
    // Most seeds are foot images in an accepted format and depth; the rest must be refused.
    EXPECT_GE(loaded, static_cast<int>(files.size()) * 3 / 4);
    EXPECT_LT(loaded, static_cast<int>(files.size()));
    EXPECT_GE(measurements, 12);
}

TEST(FuzzReplay, EveryCrashFoundStaysFixed)
{
    for (const auto& file : filesIn(FUZZ_FOLDER / "crashes")) {
        replay(file);
    }
}

// The whole jobs among the seeds reach the reader's accepting end, the others its refusals;
// the prescribed one brings its elements, as a job written today does.
TEST(FuzzReplay, TheJobSeedsReachBothEndsOfTheJobReader)
{
    int whole = 0;
    for (const auto& file : filesIn(FUZZ_FOLDER / "corpus")) {
        const std::string name = file.filename().string();
        if (name.rfind("job", 0) == 0) {
            const auto bytes = readFileBytes(file.string());
            const FeedResult job = feedJobBytes(bytes.data(), bytes.size());
            EXPECT_TRUE(job.sane) << name << ": " << job.problem;
            const bool isWhole = name == "job.3mf" || name == "job_elements.3mf";
            EXPECT_EQ(job.loaded, isWhole) << name;
            whole += isWhole;
        }
    }
    EXPECT_EQ(whole, 2);

    const auto bytes = readFileBytes((FUZZ_FOLDER / "corpus" / "job_elements.3mf").string());
    Job job;
    std::string why;
    ASSERT_TRUE(readJob(bytes.data(), bytes.size(), job, why)) << why;
    EXPECT_TRUE(job.recipe.elements.metPad);
    EXPECT_EQ(job.recipe.elements.metPadHeightMm, 3.0);
    EXPECT_TRUE(job.recipe.elements.arch);
    EXPECT_EQ(job.recipe.elements.archHeightMm, 4.0);
    EXPECT_FALSE(job.recipe.elements.heelCup);
    EXPECT_FALSE(job.recipe.hasMeasurement());
}
