// The solid's level size kept in the working folder beside the limit's setting.
#include "base/level_setting.h"
#include "base/settings.h"
#include "base/level.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

TEST(LevelSetting, ValuesInRangeComeBackExactlyAndTheLimitFileIsUntouched)
{
    TempDir dir;
    const std::string path = dir.file(LEVEL_SETTINGS_FILE);
    writeFileBytes(dir.file(LIMIT_SETTINGS_FILE), "1");
    for (double level : {0.05, 0.2, 0.25, 0.123456789, 0.1 + 0.2, 1.0}) {
        SCOPED_TRACE(level);
        ASSERT_TRUE(writeLevelSetting(path.c_str(), level));
        EXPECT_EQ(readLevelSetting(path.c_str()), level);
    }
    ASSERT_TRUE(writeLevelSetting(path.c_str(), 0.2));
    EXPECT_EQ(readFileText(path), "0.2");
    EXPECT_EQ(readFileText(dir.file(LIMIT_SETTINGS_FILE)), "1");
}

TEST(LevelSetting, OutOfRangeValuesAreRefusedAndTheFileKept)
{
    TempDir dir;
    const std::string path = dir.file(LEVEL_SETTINGS_FILE);
    ASSERT_TRUE(writeLevelSetting(path.c_str(), 0.5));
    for (double level : {0.0499, 1.0001, 0.0, -0.2, 5.0, std::nan(""), HUGE_VAL}) {
        SCOPED_TRACE(level);
        EXPECT_FALSE(writeLevelSetting(path.c_str(), level));
    }
    EXPECT_EQ(readFileText(path), "0.5");

    double level = 0.7;
    for (const char* text : {"", " ", "abc", "0.2mm", "0,2", "2", "0.01", "-0.2", "nan", "inf",
                             "0.2 0.3", "1e-9"}) {
        EXPECT_FALSE(parseLevelMm(text, level)) << '"' << text << '"';
    }
    EXPECT_EQ(level, 0.7);
    EXPECT_TRUE(parseLevelMm(" .5\n", level));
    EXPECT_EQ(level, 0.5);
    EXPECT_TRUE(parseLevelMm("1e-1", level));
    EXPECT_EQ(level, 0.1);
}

TEST(LevelSetting, AMissingOrBrokenFileGivesTheDefault)
{
    TempDir dir;
    const std::string path = dir.file(LEVEL_SETTINGS_FILE);
    EXPECT_EQ(readLevelSetting(path.c_str()), DEFAULT_LEVEL_MM);
    for (const std::string& broken : {std::string(""), std::string("garbage"), std::string("3"),
                                     std::string("0.5\0" "9", 5), std::string(200, '0')}) {
        writeFileBytes(path, broken);
        EXPECT_EQ(readLevelSetting(path.c_str()), DEFAULT_LEVEL_MM) << broken.size() << " bytes";
    }
    writeFileBytes(path, "0.35\n");
    EXPECT_EQ(readLevelSetting(path.c_str()), 0.35);
    // A folder in the file's place is no setting either.
    TempDir other;
    EXPECT_EQ(readLevelSetting(other.path().c_str()), DEFAULT_LEVEL_MM);
}
