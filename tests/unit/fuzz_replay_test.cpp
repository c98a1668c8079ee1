// Replays the fuzzer's seed corpus and every input that ever crashed the loader through the
// same entry the fuzzer uses, without libFuzzer.
#include "fuzz/foot_entry.h"

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

// Runs one file, with the loader's trace kept out of the test log; returns whether it loaded.
bool replay(const fs::path& file)
{
    SCOPED_TRACE(file.string());
    const auto bytes = readFileBytes(file.string());
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const FeedResult result = feedFootBytes(bytes.data(), bytes.size());
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(result.sane) << result.problem;
    return result.loaded;
}

}  // namespace

TEST(FuzzReplay, SeedCorpusLoadsOrIsRefusedSanely)
{
    const auto files = filesIn(FUZZ_FOLDER / "corpus");
    ASSERT_GE(files.size(), 100u) << "the seed corpus is missing from " << FUZZ_FOLDER;
    int loaded = 0;
    for (const auto& file : files) {
        loaded += replay(file);
    }
    // Most seeds are foot images in an accepted format and depth; the rest must be refused.
    EXPECT_GE(loaded, static_cast<int>(files.size()) * 3 / 4);
    EXPECT_LT(loaded, static_cast<int>(files.size()));
}

TEST(FuzzReplay, EveryCrashFoundStaysFixed)
{
    for (const auto& file : filesIn(FUZZ_FOLDER / "crashes")) {
        replay(file);
    }
}
