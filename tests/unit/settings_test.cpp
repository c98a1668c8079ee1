// The 30-degree limit setting kept in the working folder.
#include "base/settings.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

TEST(LimitSetting, ReadsTheIntegerOrZero)
{
    TempDir dir;
    const std::string path = dir.file("bt_degree_30.txt");
    EXPECT_EQ(readLimitSetting(path.c_str()), 0);  // missing
    writeFileBytes(path, "");
    EXPECT_EQ(readLimitSetting(path.c_str()), 0);
    writeFileBytes(path, "garbage");
    EXPECT_EQ(readLimitSetting(path.c_str()), 0);
    writeFileBytes(path, "5");
    EXPECT_EQ(readLimitSetting(path.c_str()), 5);
    writeFileBytes(path, "1\n");
    EXPECT_EQ(readLimitSetting(path.c_str()), 1);
}

TEST(LimitSetting, FirstWriteCreatesTheFileAndLaterOnesReplaceIt)
{
    TempDir dir;
    const std::string path = dir.file("bt_degree_30.txt");
    ASSERT_TRUE(writeLimitSetting(path.c_str(), 1));
    EXPECT_EQ(readFileText(path), "1");
    ASSERT_TRUE(writeLimitSetting(path.c_str(), 0));
    EXPECT_EQ(readFileText(path), "0");

    chmod(path.c_str(), 0640);
    ASSERT_TRUE(writeLimitSetting(path.c_str(), 1));
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(LimitSetting, ReadOnlyFileIsKept)
{
    TempDir dir;
    const std::string path = dir.file("bt_degree_30.txt");
    writeFileBytes(path, "1");
    chmod(path.c_str(), 0444);
    EXPECT_FALSE(writeLimitSetting(path.c_str(), 0));
    EXPECT_EQ(readFileText(path), "1");
}

TEST(LimitSetting, UnwritableFolderStoresNothing)
{
    TempDir dir;
    // A folder that cannot exist: its parent is a regular file (permission bits do not stop
    // root, which the tests may run as).
    writeFileBytes(dir.file("plain"), "x");
    EXPECT_FALSE(writeLimitSetting(dir.file("plain/bt_degree_30.txt").c_str(), 1));
}

// Opening a job or an undo step sets every control, most to what they were: a file that holds
// its text already is not replaced (no wait for the disk), but one whose text differs, even
// only by a longer or a shorter tail, is.
TEST(SettingsText, ASettingThatHoldsItsTextAlreadyIsNotReplacedAndAnyOtherIs)
{
    TempDir dir;
    const std::string path = dir.file("level.txt");
    const auto inode = [&path] {
        struct stat info {};
        EXPECT_EQ(stat(path.c_str(), &info), 0);
        return info.st_ino;
    };
    ASSERT_TRUE(writeSettingsText(path.c_str(), "0.2"));
    const ino_t first = inode();
    ASSERT_TRUE(writeSettingsText(path.c_str(), "0.2"));
    EXPECT_EQ(inode(), first);
    for (const char* text : {"0.25", "0.2", "0.", ""}) {
        SCOPED_TRACE(text);
        const ino_t before = inode();
        ASSERT_TRUE(writeSettingsText(path.c_str(), text));
        EXPECT_EQ(readFileText(path), text);
        EXPECT_NE(inode(), before);
    }
    // A read-only file is kept, whatever it holds.
    chmod(path.c_str(), 0444);
    EXPECT_FALSE(writeSettingsText(path.c_str(), ""));
    EXPECT_FALSE(writeSettingsText(path.c_str(), "1"));
    EXPECT_EQ(readFileText(path), "");
}
