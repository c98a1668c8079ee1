// The pressure reader on files written here: the sensor insole export (keys in any order,
// B cells, a comment that looks like a key, mirrored storage, every unit, CRLF and a byte
// order mark), the plain matrix with each separator, and the bad files, each refused with its
// line.
#include "pressure/pressure_file.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

struct Read {
    bool ok = false;
    PressureMap map;
    std::string failure;
};

Read readText(const std::string& text, const PressureOptions& options = {})
{
    Read read;
    read.ok = readPressureBytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(),
                                "m.asf", options, read.map, read.failure);
    return read;
}

// A 3 x 2 export of two frames whose peaks are, row by row from the toes: 30 B / 12 40 /
// 5 250. Its header lists the keys in an order of its own, with keys the reader ignores.
std::string sensorExport(const std::string& units = "KPa", const std::string& mirror = "")
{
    const std::string start = "ASCII_DATA_FILE\n"
                              "COMMENTS:\n"
                              "ROWS 99 (exported from the clinic's second sensor)\n"
                              "SENSOR_TYPE 3000\n";
    const std::string middle = "COL_SPACING 0.762 cm\n"
                               "START_FRAME 1\n"
                               "COLS 2\n";
    const std::string rest = "ROW_SPACING 5.08 mm\n"
                             "ROWS 3\n"
                             "END_FRAME 2\n"
                             "ASCII_DATA @@\n"
                             "Frame 1\n"
                             "30,B\n"
                             "12, 0\n"
                             "5,250\n"
                             "\n"
                             "Frame 2\n"
                             "1,B\n"
                             "0,40\n"
                             "4.5,100\n"
                             "@@\n";
    return start + "UNITS " + units + "\n" + middle + mirror + rest;
}

bool sameCells(const PressureMap& map, const std::vector<float>& expected)
{
    if (map.kpa.size() != expected.size()) {
        return false;
    }
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const bool bothMissing = std::isnan(map.kpa[i]) && std::isnan(expected[i]);
        if (!bothMissing && map.kpa[i] != expected[i]) {
            return false;
        }
    }
    return true;
}

const float B = NAN;

}  // namespace

TEST(PressureFile, SensorExportPeaksWithKeysInAnyOrderBCellsAndACommentThatLooksLikeAKey)
{
    for (const std::string& text : {sensorExport(), "\xEF\xBB\xBF" + sensorExport()}) {
        const Read read = readText(text);
        ASSERT_TRUE(read.ok) << read.failure;
        EXPECT_EQ(read.map.format, "sensor insole export");
        EXPECT_EQ(read.map.rows, 3);
        EXPECT_EQ(read.map.cols, 2);
        EXPECT_EQ(read.map.frames, 2);
        EXPECT_DOUBLE_EQ(read.map.rowPitchMm, 5.08);
        EXPECT_DOUBLE_EQ(read.map.colPitchMm, 7.62);
        EXPECT_EQ(read.map.peakKpa, 250.0f);
        EXPECT_TRUE(sameCells(read.map, {30, B, 12, 40, 5, 250}));
    }
    // CRLF line ends read the same.
    std::string crlf;
    for (char c : sensorExport()) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    const Read read = readText(crlf);
    ASSERT_TRUE(read.ok) << read.failure;
    EXPECT_TRUE(sameCells(read.map, {30, B, 12, 40, 5, 250}));
}

TEST(PressureFile, MirroredRowsAndColumnsAreUndone)
{
    const Read rows = readText(sensorExport("kPa", "MIRROR_ROW 1\n"));
    ASSERT_TRUE(rows.ok) << rows.failure;
    EXPECT_TRUE(sameCells(rows.map, {5, 250, 12, 40, 30, B}));
    const Read cols = readText(sensorExport("kPa", "MIRROR_COL 1\nMIRROR_ROW 0\n"));
    ASSERT_TRUE(cols.ok) << cols.failure;
    EXPECT_TRUE(sameCells(cols.map, {B, 30, 40, 12, 250, 5}));
    const Read both = readText(sensorExport("kPa", "MIRROR_COL 1\nMIRROR_ROW 1\n"));
    ASSERT_TRUE(both.ok) << both.failure;
    EXPECT_TRUE(sameCells(both.map, {250, 5, 40, 12, B, 30}));
}

TEST(PressureFile, EveryUnitIsConvertedToKpa)
{
    const struct {
        const char* name;
        const char* value;
        double kpa;
    } units[] = {{"kPa", "250", 250},
                 {"KPA", "250", 250},
                 {"MPa", "2.5", 2500},
                 {"mpa", "0.25", 250},
                 {"N/cm2", "25", 250},
                 {"n/CM2", "25", 250},
                 {"PSI", "250", 1723.689323292},
                 {"psi", "2", 13.789514586}};
    for (const auto& unit : units) {
        const Read read =
            readText("ROWS 1\nCOLS 1\nROW_SPACING 5 mm\nCOL_SPACING 5 mm\nUNITS " +
                     std::string(unit.name) + "\nASCII_DATA @@\nFrame 0\n" + unit.value + "\n@@\n");
        ASSERT_TRUE(read.ok) << unit.name << ": " << read.failure;
        EXPECT_NEAR(read.map.peakKpa, unit.kpa, unit.kpa * 1e-6) << unit.name;
    }
    const struct {
        const char* spacing;
        double mm;
    } spacings[] = {{"5 mm", 5}, {"5 millimeters", 5}, {"0.5 cm", 5}, {"0.2 inches", 5.08}};
    for (const auto& spacing : spacings) {
        std::string text = sensorExport();
        text.replace(text.find("5.08 mm"), 7, spacing.spacing);
        const Read read = readText(text);
        ASSERT_TRUE(read.ok) << spacing.spacing << ": " << read.failure;
        EXPECT_DOUBLE_EQ(read.map.rowPitchMm, spacing.mm) << spacing.spacing;
    }
}

TEST(PressureFile, PlainMatrixWithEachSeparatorTakesPitchAndUnitFromTheCaller)
{
    PressureOptions options;
    options.pitchMm = 8.5;
    options.units = PressureUnit::NewtonPerCm2;
    for (const char* text : {"1,2,,B\n3,4,5,6\n", "1;2;;B\r\n3;4;5;6\r\n\r\n",
                             "1\t2\t\tB\n3\t4\t5\t6", "  1 2 B B\n3   4\t5 6\n"}) {
        const Read read = readText(text, options);
        ASSERT_TRUE(read.ok) << text << read.failure;
        EXPECT_EQ(read.map.format, "plain matrix");
        EXPECT_EQ(read.map.frames, 1);
        EXPECT_EQ(read.map.rowPitchMm, 8.5);
        EXPECT_EQ(read.map.colPitchMm, 8.5);
        EXPECT_TRUE(sameCells(read.map, {10, 20, B, B, 30, 40, 50, 60})) << text;
    }
    // A tab that separates is no white space to trim, even at the start of a row.
    const Read tabs = readText("\t12\n13\t14\n");
    ASSERT_TRUE(tabs.ok) << tabs.failure;
    EXPECT_TRUE(sameCells(tabs.map, {B, 12, 13, 14}));
    // The defaults: 5 mm and kPa.
    const Read read = readText("0 11\n");
    ASSERT_TRUE(read.ok) << read.failure;
    EXPECT_EQ(read.map.rowPitchMm, 5.0);
    EXPECT_EQ(read.map.peakKpa, 11.0f);
}

TEST(PressureFile, BadFilesAreRefusedWithTheirLineAndLeaveNoMap)
{
    const std::string good = sensorExport();
    const auto edited = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    const struct {
        std::string text;
        const char* failure;
    } cases[] = {
        {edited("12, 0\n", "12\n"), "m.asf:15: a row of frame 1 has 1 values, not 2"},
        {edited("5,250\n", ""), "m.asf:16: frame 1 ends after 2 of its 3 rows"},
        {edited("0,40\n4.5,100\n", ""), "m.asf:20: frame 2 ends after 1 of its 3 rows"},
        {edited("5,250\n\n", "5,250\n1,1\n"), "m.asf:17: frame 1 has more than 3 rows"},
        {edited("ASCII_DATA @@\n", ""), "m.asf: no line ASCII_DATA @@ ends the header"},
        {edited("100\n@@\n", "100\n"), "m.asf:21: the data does not end with a line @@"},
        {edited("5,250", "5,x"), "m.asf:16: column 2: value \"x\" is not a number"},
        {edited("12, 0", "12, -1"), "m.asf:15: column 2: value \"-1\" is negative"},
        {edited("5,250", "nan,250"), "m.asf:16: column 1: value \"nan\" is not a finite number"},
        {edited("5,250", "5,inf"), "m.asf:16: column 2: value \"inf\" is not a finite number"},
        {edited("5,250", "5,10001"),
         "m.asf:16: column 2: value \"10001\" is 10001 kPa, above 10000 kPa"},
        {edited("UNITS KPa", "UNITS MPa"), "m.asf:14: column 1: value \"30\" is 30000 kPa"},
        {edited("UNITS KPa", "UNITS bar"), "m.asf:5: UNITS \"bar\" is not a known unit"},
        {edited("5.08 mm", "0.5 mm"), "m.asf:9: ROW_SPACING 0.5 mm is outside 1-20 mm"},
        {edited("0.762 cm", "7.62 feet"), "m.asf:6: COL_SPACING has an unknown unit \"feet\""},
        {edited("COLS 2", "COLS 513"), "m.asf:8: COLS 513 is more than 512"},
        {edited("ROWS 3\n", ""), "m.asf: the header has no ROWS line"},
        {edited("END_FRAME 2", "END_FRAME 3"),
         "m.asf: START_FRAME and END_FRAME announce 3 frames, the data has 2"},
        {edited("START_FRAME 1", "START_FRAME 0\nSTART_FRAME 1"),
         "m.asf:8: START_FRAME is given twice"},
        {edited("100\n@@\n", "100\n@@\nFrame 3\n"), "m.asf:23: text after the closing @@"},
        // Frames lost or pasted twice: the peak of such a file cannot be trusted.
        {edited("Frame 2", "Frame 3"), "m.asf:18: Frame 3 follows Frame 1: frame numbers must "
                                       "run from START_FRAME upward without a gap or a repeat"},
        {edited("Frame 2", "Frame 1"), "m.asf:18: Frame 1 follows Frame 1: frame numbers"},
        {edited("Frame 1", "Frame 2"), "m.asf:13: the first frame is Frame 2, not START_FRAME 1"},
        {edited("Frame 2", "Frame 7").erase(good.find("START_FRAME 1\n"), 14),
         "m.asf:17: Frame 7 follows Frame 1: frame numbers must run from the first frame"},
        {"10,B\n0,9.5\n",
         "m.asf: the measurement is empty: no cell is above the 10 kPa noise floor"},
        {"1,2\n3,4,5\n", "m.asf:2: a row of 3 values, not 2 as the first row"},
        {"1,2\n\n3,4\n", "m.asf:2: a blank line inside the matrix"},
        {"1,2\n3,B4\n", "m.asf:2: column 2: value \"B4\" is not a number"},
        {"1 2 3 4 5\n6 7 8 9 +1\n", "m.asf:2: column 5: value \"+1\" is not a number"},
        {"1" + std::string(512, ',') + "\n", "m.asf:1: more than 512 columns"},
        {"", "m.asf: the file holds no measurement"},
        {"\n \n", "m.asf: the file holds no measurement"},
    };
    for (const auto& c : cases) {
        const Read read = readText(c.text);
        EXPECT_FALSE(read.ok) << c.failure;
        EXPECT_EQ(read.failure.compare(0, std::string(c.failure).size(), c.failure), 0)
            << "expected: " << c.failure << "\n     got: " << read.failure;
        EXPECT_TRUE(read.map.empty() && read.map.rows == 0) << c.failure;
    }

    // Limits counted, not claimed: 513 rows, 100,001 frames, a pitch from the caller, a file
    // over 64 MiB.
    std::string rows;
    for (int i = 0; i < 513; ++i) {
        rows += "20\n";
    }
    EXPECT_EQ(readText(rows).failure, "m.asf:513: more than 512 rows");
    std::string frames =
        "ROWS 1\nCOLS 1\nROW_SPACING 5 mm\nCOL_SPACING 5 mm\nUNITS kPa\nASCII_DATA @@\n";
    for (int i = 0; i <= MAX_PRESSURE_FRAMES; ++i) {
        frames += "Frame " + std::to_string(i) + "\n50\n";
    }
    frames += "@@\n";
    EXPECT_EQ(readText(frames).failure, "m.asf:200007: more than 100000 frames");
    PressureOptions fine;
    fine.pitchMm = 0.9;
    EXPECT_EQ(readText("20\n", fine).failure, "m.asf: the pitch 0.9 mm is outside 1-20 mm");
    const std::vector<std::uint8_t> huge(MAX_PRESSURE_FILE_BYTES + 1, '1');
    PressureMap map;
    std::string failure;
    EXPECT_FALSE(readPressureBytes(huge.data(), huge.size(), "big.csv", {}, map, failure));
    EXPECT_EQ(failure, "big.csv: the file is larger than 64 MiB");
}

TEST(PressureFile, ReadsAFileAndSaysWhyOneCannotBeRead)
{
    TempDir dir;
    // Four loaded cells of 20 x 20 mm: 1,600 mm², as much as a small foot loads.
    std::string coarse = sensorExport();
    coarse.replace(coarse.find("0.762 cm"), 8, "2 cm");
    coarse.replace(coarse.find("5.08 mm"), 7, "20 mm");
    writeFileBytes(dir.file("walk.asf"), coarse);
    PressureMap map;
    std::string failure;
    ASSERT_TRUE(readPressureFile(dir.file("walk.asf").c_str(), {}, map, failure)) << failure;
    EXPECT_EQ(map.peakKpa, 250.0f);
    // The same cells at their own pitch load 155 mm²: no foot, whatever the reader makes of
    // the file. Nor is a single number, or a single row, however loaded.
    writeFileBytes(dir.file("small.asf"), sensorExport());
    writeFileBytes(dir.file("500.txt"), "500\n");
    std::string oneRow = "300";
    for (int i = 0; i < 99; ++i) {
        oneRow += ",300";
    }
    writeFileBytes(dir.file("row.csv"), oneRow + "\n");
    const struct {
        const char* file;
        std::string failure;
    } notFeet[] = {
        {"small.asf", ": not a foot measurement: its loaded area (cells above the 10 kPa noise "
                      "floor) is 154.838 mm², under 1000 mm²"},
        {"500.txt", ": not a foot measurement: 1 x 1 cells (rows x columns), fewer than 2 x 2"},
        {"row.csv", ": not a foot measurement: 1 x 100 cells (rows x columns), fewer than 2 x 2"},
    };
    for (const auto& c : notFeet) {
        map.rows = 7;
        EXPECT_FALSE(readPressureFile(dir.file(c.file).c_str(), {}, map, failure)) << c.file;
        EXPECT_EQ(failure, dir.file(c.file) + c.failure);
        EXPECT_TRUE(map.empty() && map.rows == 0) << c.file;
    }
    EXPECT_FALSE(readPressureFile(dir.file("none.asf").c_str(), {}, map, failure));
    EXPECT_EQ(failure, dir.file("none.asf") + ": No such file or directory");
    EXPECT_TRUE(map.empty());
}

// Heel first, a plain matrix is read turned end for end: its last row at the toes, and its
// last column first, so that the foot keeps its side. The sensor export keeps its own rule.
TEST(PressureFile, AHeelFirstMatrixIsReadTurnedEndForEnd)
{
    PressureOptions heelFirst;
    heelFirst.heelFirst = true;
    const Read read = readText("10,20,B\n30,40,50\n", heelFirst);
    ASSERT_TRUE(read.ok) << read.failure;
    EXPECT_TRUE(sameCells(read.map, {50, 40, 30, B, 20, 10}));
    const Read sensor = readText(sensorExport(), heelFirst);
    ASSERT_TRUE(sensor.ok) << sensor.failure;
    EXPECT_TRUE(sameCells(sensor.map, {30, B, 12, 40, 5, 250}));
}

TEST(PressureFile, PointsTakeTheSensorCellWhoseSquareHoldsThem)
{
    const Read read = readText(sensorExport());
    ASSERT_TRUE(read.ok);
    const PressureMap& map = read.map;
    // y runs from the heel end (the last row) toward the toes; x along the columns.
    EXPECT_EQ(pressureAtMm(map, 0.0, 0.0), 5.0f);
    EXPECT_EQ(pressureAtMm(map, 7.61, 5.07), 5.0f);
    EXPECT_EQ(pressureAtMm(map, 7.63, 5.07), 250.0f);
    EXPECT_EQ(pressureAtMm(map, 7.61, 5.09), 12.0f);
    EXPECT_EQ(pressureAtMm(map, 1.0, 15.2), 30.0f);
    EXPECT_TRUE(std::isnan(pressureAtMm(map, 8.0, 15.2)));   // a B cell
    EXPECT_TRUE(std::isnan(pressureAtMm(map, 1.0, 15.25)));  // beyond the toes
    EXPECT_TRUE(std::isnan(pressureAtMm(map, 15.3, 1.0)));   // beyond the last column
    EXPECT_TRUE(std::isnan(pressureAtMm(map, -0.01, 1.0)));
    EXPECT_TRUE(std::isnan(pressureAtMm(map, NAN, 1.0)));
}
