// The milling setup's settings file and the milling window's entries: a setup comes back
// exactly, a damaged file costs only the lines it damaged, and an entry is refused, naming the
// range, whenever the setup would leave its ranges.
#include "mill/mill_settings.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

void expectSameSetup(const MillSetup& a, const MillSetup& b)
{
    for (MillParameter parameter : MILL_PARAMETERS) {
        EXPECT_EQ(millValue(a, parameter), millValue(b, parameter)) << millSettingKey(parameter);
    }
}

}  // namespace

TEST(MillSettings, ASetupComesBackExactlyAndOneOutOfRangeIsNotWritten)
{
    TempDir dir;
    const std::string path = dir.file(MILL_SETTINGS_FILE);
    expectSameSetup(readMillSettings(path.c_str()), MillSetup{});

    MillSetup setup;
    setup.toolMm = 8.0;
    setup.stepoverMm = 0.1 + 0.2;  // not a short decimal: the file must keep every bit
    setup.stepdownMm = 1.5;
    setup.allowanceMm = 0.0;
    setup.feed = 1234.5;
    setup.plungeFeed = 10.0;
    setup.rpm = 60000.0;
    setup.safeMm = 1.0;
    setup.fluteMm = 40.0;
    setup.blankMm = 33.3;
    ASSERT_TRUE(writeMillSettings(path.c_str(), setup));
    expectSameSetup(readMillSettings(path.c_str()), setup);
    const std::string kept = readFileText(path);
    EXPECT_NE(kept.find("\nrpm 60000\n"), std::string::npos) << kept;
    EXPECT_NE(kept.find("\nblank-mm 33.3\n"), std::string::npos) << kept;

    MillSetup wrong = setup;
    wrong.stepoverMm = 4.5;  // beyond the 8 mm tool's radius
    EXPECT_FALSE(writeMillSettings(path.c_str(), wrong));
    EXPECT_EQ(readFileText(path), kept);
}

TEST(MillSettings, ADamagedFileCostsOnlyTheLinesItDamaged)
{
    TempDir dir;
    const std::string path = dir.file(MILL_SETTINGS_FILE);
    // The stepover comes before the tool that allows it; the flute before a blank too deep
    // for it; damaged and unknown lines in between.
    writeFileBytes(path, "stepover-mm 3.5\r\n"
                         "tool-mm\t8\r\n"
                         "stepdown-mm 0,5\n"     // a decimal comma is no number here
                         "allowance-mm\n"
                         "feed 1500 mm/min\n"    // words after the number
                         "plunge-feed 700\n"
                         "plunge-feed 800\n"     // given twice: the last counts
                         "rpm 1e9\n"             // out of range
                         "safe-mm nan\n"
                         "spindle 9000\n"        // not a key of the file
                         "flute-mm 20\n"
                         "blank-mm 22\n"
                         "   \n\x01\x02 garbage");
    MillSetup expected;
    expected.stepoverMm = 3.5;
    expected.toolMm = 8.0;
    expected.plungeFeed = 800.0;
    expected.fluteMm = 20.0;
    expectSameSetup(readMillSettings(path.c_str()), expected);

    // Without the tool's line, the stepover is too wide for the default tool.
    writeFileBytes(path, "stepover-mm 3.5\nfeed 900\n");
    expected = MillSetup{};
    expected.feed = 900.0;
    expectSameSetup(readMillSettings(path.c_str()), expected);

    // Not one of our files: read no further than a settings file can be.
    writeFileBytes(path, std::string(100000, '7') + "\nfeed 900\n");
    expectSameSetup(readMillSettings(path.c_str()), MillSetup{});
}

TEST(MillSettings, EntriesAreTakenInTheirRangesAndRefusedNamingThem)
{
    MillSetup setup;
    std::string why;
    EXPECT_TRUE(takeMillEntry(setup, MillParameter::Tool, " 8\n", why));
    EXPECT_EQ(setup.toolMm, 8.0);

    const MillSetup before = setup;
    for (const char* refused : {"30", "0.5", "", "abc", "1,5", "8mm", "nan", "inf"}) {
        SCOPED_TRACE(refused);
        why.clear();
        EXPECT_FALSE(takeMillEntry(setup, MillParameter::Tool, refused, why));
        EXPECT_EQ(why, "it must be a number from 1 to 20 mm");
    }
    expectSameSetup(setup, before);

    // In the tool's own range, but the stepover would be wider than the smaller tool's radius.
    ASSERT_TRUE(takeMillEntry(setup, MillParameter::Stepover, "3", why));
    EXPECT_FALSE(takeMillEntry(setup, MillParameter::Tool, "4", why));
    EXPECT_EQ(why, "then the stepover 3 mm is outside 0.05 to 2 mm (the tool's radius)");
    EXPECT_EQ(setup.toolMm, 8.0);
    EXPECT_FALSE(takeMillEntry(setup, MillParameter::Stepover, "4.5", why));
    EXPECT_EQ(why, "it must be a number from 0.05 to 4 mm");

    // The blank: empty or 0 is automatic and shown empty; no deeper than the flute.
    ASSERT_TRUE(takeMillEntry(setup, MillParameter::Blank, "18.5", why));
    EXPECT_EQ(formatMillValue(MillParameter::Blank, setup.blankMm), "18.5");
    EXPECT_FALSE(takeMillEntry(setup, MillParameter::Flute, "15", why));
    EXPECT_EQ(why, "then the blank thickness 18.5 mm is outside 0 to 15 mm "
                   "(0 for automatic; no deeper than the flute length)");
    EXPECT_FALSE(takeMillEntry(setup, MillParameter::Blank, "41", why));
    EXPECT_EQ(why, "it must be empty (automatic) or a number from 0 to 40 mm");
    for (const char* automatic : {"", "  ", "0", "-0"}) {
        setup.blankMm = 18.5;
        EXPECT_TRUE(takeMillEntry(setup, MillParameter::Blank, automatic, why)) << automatic;
        EXPECT_EQ(formatMillValue(MillParameter::Blank, setup.blankMm), "") << automatic;
    }
    EXPECT_EQ(formatMillValue(MillParameter::Spindle, 14000.0), "14000");
    EXPECT_EQ(formatMillValue(MillParameter::Stepover, 0.05), "0.05");
}
