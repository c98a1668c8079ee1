// The relief's settings file: what a person set is what the next start finds, and a damaged
// file costs only its damaged lines.
#include "pressure/relief_settings.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

TEST(ReliefSettingsFile, RoundTripsAndADamagedLineCostsOnlyItself)
{
    TempDir dir;
    const std::string path = dir.file(RELIEF_SETTINGS_FILE);
    ReliefSettings set;
    set.on = false;
    set.parameters = {345.5, 2.25, 0.0, 12.0};
    ASSERT_TRUE(writeReliefSettings(path.c_str(), set));
    const ReliefSettings read = readReliefSettings(path.c_str());
    EXPECT_FALSE(read.on);
    EXPECT_EQ(read.parameters.thresholdKpa, 345.5);
    EXPECT_EQ(read.parameters.depthMm, 2.25);
    EXPECT_EQ(read.parameters.marginMm, 0.0);
    EXPECT_EQ(read.parameters.widthMm, 12.0);

    // A line of one word, a decimal comma, a value out of range and a line of three words:
    // each loses only its own setting.
    writeFileBytes(path, "relief\nthreshold_kpa 250\ndepth_mm 2,5\nmargin_mm 40\n"
                         "transition_mm 10 mm\ndepth_mm 4\n");
    const ReliefSettings damaged = readReliefSettings(path.c_str());
    EXPECT_TRUE(damaged.on);
    EXPECT_EQ(damaged.parameters.thresholdKpa, 250.0);
    EXPECT_EQ(damaged.parameters.depthMm, 4.0);
    EXPECT_EQ(damaged.parameters.marginMm, DEFAULT_RELIEF_MARGIN_MM);
    EXPECT_EQ(damaged.parameters.widthMm, DEFAULT_RELIEF_WIDTH_MM);

    // No file: the defaults, the relief on.
    const ReliefSettings none = readReliefSettings(dir.file("missing.txt").c_str());
    EXPECT_TRUE(none.on);
    EXPECT_EQ(none.parameters.thresholdKpa, DEFAULT_RELIEF_KPA);
}
