// The insole of many feet without a window: each foot is loaded, measured, drawn, shaped,
// limited and saved by the same functions that the window's Load, recompute and Save use.
#pragma once

#include "scan/scan_foot.h"
#include "base/level.h"
#include "insole/elements.h"
#include "mill/mill_setup.h"
#include "pressure/placement.h"
#include "pressure/pressure_file.h"
#include "pressure/relief.h"

#include <array>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

// The relief under the peaks of a plantar-pressure measurement, as the options give it. The
// values left unset take the relief's defaults; any of them set without a measurement is
// refused, since it would silently do nothing.
struct BatchPressure {
    // The measurement for one foot, or a folder holding each foot's under the foot's name
    // without its extension and one of .asf, .csv or .txt; empty: no relief.
    std::string measurement;
    // The placed peak pressure pictured (PNG), or a folder for several feet; empty: none.
    std::string preview;
    std::optional<double> thresholdKpa;  // --relief-kpa
    std::optional<double> depthMm;       // --relief-depth-mm
    std::optional<double> marginMm;      // --relief-margin-mm
    std::optional<double> widthMm;       // --relief-width-mm
    std::optional<double> pitchMm;       // --pressure-pitch-mm, for plain matrices
    std::optional<std::string> units;    // --pressure-units: kPa, MPa, N/cm2 or PSI, any case
    std::optional<std::string> shift;    // --pressure-shift "X,Y" in mm, by hand
    std::optional<double> turnDegrees;   // --pressure-turn, by hand
    bool heelFirst = false;              // --pressure-heel-first: a plain matrix's first row
                                         // is at the heel
    bool mirror = false;                 // --pressure-mirror: turned over left to right
    bool accept = false;                 // --pressure-accept: relieve a doubtful placement
};


// The pressure options made into the values the pressure room takes.
struct BatchRelief {
    PressureOptions reading;
    ReliefParameters parameters;
    PlacementCorrection correction;
    // Whether a placement with a warning is relieved; without it such a foot fails.
    bool accept = false;
};

// The prescription's elements as the options give them: an element is on when its height
// (for the posting, its angle) is given; its other options without it are refused, since they
// would silently do nothing.
struct BatchElements {
    std::optional<std::string> side;          // --side auto|left|right
    std::optional<double> metPadMm;           // --met-pad-mm
    std::optional<double> metPadOffsetMm;     // --met-pad-offset-mm
    std::optional<std::string> metPadShift;   // --met-pad-shift "T,V" in mm
    std::optional<double> metBarMm;           // --met-bar-mm
    std::optional<double> metBarShiftMm;      // --met-bar-shift-mm
    std::optional<double> archMm;             // --arch-mm
    std::optional<double> heelCupMm;          // --heel-cup-mm
    std::optional<double> heelCupWidthMm;     // --heel-cup-width-mm
    std::optional<double> rearfootPostDegrees;  // --rearfoot-post-deg
    // The summed raise pictured (PNG), or a folder for several feet; empty: none.
    std::string preview;
};

// The element options made into the values the insole's elements take.
struct BatchPrescription {
    ElementSettings settings;
    ElementShifts shifts;
    // Whether the reports carry the landmarks: an element is on, or the side is given.
    bool wanted = false;
};

// The milling setup as the options give it, one value per MillParameter in the order of
// MILL_PARAMETERS; a value left unset takes the setup's default. Any of them set without
// --gcode is refused, since it would silently do nothing.
using BatchMill = std::array<std::optional<double>, MILL_PARAMETER_COUNT>;

struct BatchOptions {
    // Foot images, scans, or jobs (3MF files that Tarsola wrote, read with their recipe).
    std::vector<std::string> feet;
    std::string out;       // the insole file, or a folder for several feet; empty: none
    std::string preview;   // the preview PNG, or a folder for several feet; empty: none
    std::string stl;       // the solid as STL, or a folder for several feet; empty: none
    std::string threeMf;   // the solid as 3MF, or a folder for several feet; empty: none
    std::string gcode;     // the G-code of milling it, or a folder for several feet; empty: none
    // The foot image made from a scan (PNG), or a folder for several feet; empty: none.
    std::string footImage;
    // How scans are placed: units, up axis and the size of a grey level, which is also the
    // thickness of one height level of the solid (--level-mm).
    ScanOptions scan;
    std::optional<double> width;   // millimetres; default the measured foot width
    std::optional<double> length;  // millimetres; default the measured foot length
    double heightRatio = 1.0;
    bool limit = false;
    BatchPressure pressure;
    BatchElements elements;
    BatchMill mill;
    // Which of the options that have defaults the command line gave: for a job (a 3MF that
    // Tarsola wrote), its recipe's settings are the defaults, and only these override them.
    struct Given {
        bool height = false;
        bool limit = false;
        bool level = false;
        bool scanUnits = false;
        bool scanUp = false;
    } given;
    bool info = false;
    bool json = false;
};

// The height slider's range, the same for every foot.
constexpr double MIN_HEIGHT_RATIO = 0.1;
constexpr double MAX_HEIGHT_RATIO = 2.0;

// Why the options cannot run as a batch at all (the caller exits with status 2), or an
// empty string when they can. Creates OUT or PREVIEW as a folder when several feet need one.
std::string prepareBatch(const BatchOptions& options);

// The pressure options checked and made into values: false with `why` (naming the option and
// its range, the ends printed as the values compared) when one is outside its range or
// cannot be read.
bool settleRelief(const BatchPressure& pressure, BatchRelief& settings, std::string& why);

// The pressure options given, as the command line names them.
std::vector<const char*> pressureOptionsGiven(const BatchPressure& pressure);

// The measurement of a foot: `source` itself when it is not a folder, otherwise the file in it
// named as the foot without its extension, with .asf, .csv or .txt in any case. Empty when the
// folder holds none; false, saying why, when it holds more than one.
bool measurementOf(const std::string& source, const std::string& foot, std::string& measurement,
                   std::string& why);

// The element options checked and made into values: false with `why` (naming the option and
// its range) when one is outside its range, cannot be read, or is given without its element.
bool settleElements(const BatchElements& elements, BatchPrescription& prescription,
                    std::string& why);

// The milling options made into a setup: false with `why` (naming the option and its range,
// the ends printed as the values compared) when one is outside its range; a blank deeper than
// the flute length is outside the blank's range.
bool settleMill(const BatchMill& mill, MillSetup& setup, std::string& why);

// Where a foot's file goes: inside `target` as the foot's name without its extension plus
// `extension` when target is a folder (an existing folder, a name ending in '/', or any
// target when `severalFeet`), otherwise `target` itself.
std::string outputName(const std::string& target, const std::string& foot, bool severalFeet,
                       const char* extension);

// Runs every foot. The report (one line, or one JSON object per line, per foot) goes to
// `report`; a failed foot gets one line on `problems` naming it and the reason; a progress
// line per foot goes to `problems` when `progress` is set. Returns the exit status: 0 when
// every foot succeeded, 1 when any failed.
int runBatch(const BatchOptions& options, std::FILE* report, std::FILE* problems, bool progress);
