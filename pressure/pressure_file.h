// A plantar-pressure measurement read from a file: the peak pressure of every sensor cell.
// Two kinds of file are taken, told apart by their content: the text export of in-shoe sensor
// insoles (a header of keys, then frames ending in "@@") and a plain matrix of numbers (one
// row per line, as pressure plates and other systems export). A file is taken whole or
// refused with one line naming the file, the line and what was wrong; nothing is half-read.
//
// The sensor export's header needs ROWS, COLS, ROW_SPACING, COL_SPACING (a number and mm,
// millimeters, cm or inches, in any case) and UNITS; a unit left unsaid would make every
// pressure a guess. MIRROR_ROW 1 means the rows are stored in reverse order (heel first),
// MIRROR_COL 1 the columns. START_FRAME and END_FRAME, when both are given, must announce
// exactly the frames the data holds: a file cut short would lose frames, and perhaps the peak.
// Frame numbers run from START_FRAME (or the first frame's number) upward, one by one: a gap
// or a repeat means frames were lost or pasted twice.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Limits of a measurement; a file beyond them is refused before anything is allocated for it.
constexpr std::size_t MAX_PRESSURE_FILE_BYTES = std::size_t{64} << 20;
constexpr int MAX_PRESSURE_SIDE = 512;  // rows, and columns
constexpr int MAX_PRESSURE_FRAMES = 100000;
constexpr double MAX_PRESSURE_KPA = 10000.0;
// Cells at or below this are sensor noise: they count neither as loaded nor toward the load.
constexpr double PRESSURE_NOISE_KPA = 10.0;
constexpr double MIN_PRESSURE_PITCH_MM = 1.0;
constexpr double MAX_PRESSURE_PITCH_MM = 20.0;
constexpr double DEFAULT_PRESSURE_PITCH_MM = 5.0;

enum class PressureUnit { Kpa, Mpa, NewtonPerCm2, Psi };

// The unit named by a word of a file or of a command line: KPa, kPa, MPa, N/cm2 or PSI, in
// any case. Returns false for any other word.
bool pressureUnitFromName(const std::string& name, PressureUnit& unit);
// Kilopascals in one of the unit (1 for kPa, 1000 for MPa, 10 for N/cm2, 6.894757... for PSI).
double kpaPerUnit(PressureUnit unit);
// Whether a pitch lies in MIN_PRESSURE_PITCH_MM..MAX_PRESSURE_PITCH_MM; NaN does not.
bool pressurePitchInRange(double pitchMm);

// A measurement smaller than this (sensor cells a side), or whose loaded area (cells above
// the noise floor) is smaller than this, is not a foot measurement: it is refused rather
// than placed, since a point would fit anywhere and relieve whatever it landed on.
constexpr int MIN_PRESSURE_SIDE = 2;
constexpr double MIN_LOADED_AREA_MM2 = 1000.0;

// What a plain matrix cannot say about itself; the sensor export carries all of it in its
// header (its first row is at the toes unless MIRROR_ROW says otherwise).
struct PressureOptions {
    double pitchMm = DEFAULT_PRESSURE_PITCH_MM;  // distance between rows and between columns
    PressureUnit units = PressureUnit::Kpa;
    // The first row is at the heel: the matrix was taken with the foot the other way round on
    // the plate, and is read turned end for end (180 degrees in its own plane: its last row
    // becomes row 0 and its last column column 0), so that a right foot stays a right foot.
    bool heelFirst = false;
};

// The peak pressure of every sensor cell over all frames, in kPa; NaN where the sensor has no
// data (a cell outside its outline). Row 0 is the row at the toes, column 0 the first column
// of the file, both after any mirroring the file declared was undone.
struct PressureMap {
    std::string format;  // "sensor insole export" or "plain matrix"
    int rows = 0;
    int cols = 0;
    double rowPitchMm = 0;   // distance between the centres of neighbouring rows
    double colPitchMm = 0;   // ... and of neighbouring columns
    int frames = 0;          // 1 for a plain matrix
    bool heelFirst = false;  // a plain matrix read turned end for end, as asked
    float peakKpa = 0;       // the highest cell
    std::vector<float> kpa;  // rows x cols, row by row

    bool empty() const { return kpa.empty(); }
    float at(int row, int col) const { return kpa[static_cast<std::size_t>(row) * cols + col]; }
};

// Reads a measurement held in memory; `name` is the file name used in messages. On success
// `map` holds it; on refusal `map` is emptied and `failure` is "<name>:<line>: <what>", or
// "<name>: <what>" when it is about the file as a whole. Lines are counted from 1.
bool readPressureBytes(const std::uint8_t* data, std::size_t size, const char* name,
                       const PressureOptions& options, PressureMap& map, std::string& failure);

// Whether a measurement read whole can be of a foot: at least MIN_PRESSURE_SIDE cells a side
// and MIN_LOADED_AREA_MM2 of loaded area. Otherwise false, with `failure` "<name>: not a foot
// measurement: <why>".
bool isFootMeasurement(const PressureMap& map, const char* name, std::string& failure);

// Reads the file whole (refusing one over MAX_PRESSURE_FILE_BYTES without reading it) and
// then as readPressureBytes, with the path as the name, and refuses what is not a foot
// measurement (isFootMeasurement). On success `kept`, when given, receives the file's bytes
// as they were read, for a job to carry.
bool readPressureFile(const char* path, const PressureOptions& options, PressureMap& map,
                      std::string& failure, std::vector<std::uint8_t>* kept = nullptr);

// The pressure at a point of the measurement in mm: the value of the sensor cell whose
// square contains it, NaN outside the sensor or where it has no data. The point is taken in
// the measurement's own frame: x along the columns from the outer edge of column 0, y from
// the outer edge of the last row (the heel end) toward row 0, so that a measurement seen
// with its toes up has the same handedness as the foot image.
float pressureAtMm(const PressureMap& map, double xMm, double yMm);
// Size of the measurement in that frame.
inline double pressureWidthMm(const PressureMap& map) { return map.cols * map.colPitchMm; }
inline double pressureLengthMm(const PressureMap& map) { return map.rows * map.rowPitchMm; }
