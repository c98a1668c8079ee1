// The recipe of an insole: every setting that shapes it, the milling setup, and the names of
// the files it was made from, as the JSON text a job file (the 3MF that Save solid and the
// batch write) carries beside the foot's and the measurement's own bytes. Reading it back
// checks its format, every type and every range, so that a job either makes the insole it
// recorded or is refused whole.
#pragma once

#include "base/insole_settings.h"
#include "base/level.h"
#include "insole/elements.h"
#include "pressure/placement.h"
#include "pressure/pressure_file.h"
#include "pressure/relief_settings.h"
#include "scan/scan_foot.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The recipe's format; a reader refuses a newer one, whose settings it would not know.
constexpr int JOB_FORMAT = 1;

// The largest width or length a recipe may hold, in millimetres. The foot decides the real
// range (0.8 to 1.2 times its width, 0.5 to 1.5 times its length), checked once it is loaded.
constexpr double MAX_JOB_SIZE_MM = 1000.0;

struct JobRecipe {
    int format = JOB_FORMAT;
    std::string version;  // the program that wrote it
    // The original files' names without their folders, for people: where the job was made,
    // not where it is opened. No measurement when `pressureFile` is empty.
    std::string footFile;
    std::string pressureFile;
    InsoleSettings settings;
    // The level size (the solid's, and a scan's grey level) and how a scan is placed.
    ScanOptions scan;
    // The relief's switch and parameters, how a plain matrix is read, and the placement's
    // correction by hand; recorded with or without a measurement, as the controls stand.
    ReliefSettings relief;
    PressureOptions reading;
    PlacementCorrection correction;
    // Whether a doubtful placement is relieved all the same (the window's person saw it).
    bool accept = false;
    // The prescription: the side, each element's switch and parameters, and the hand shifts
    // of this foot. A recipe without them (written before they were recorded) holds none.
    ElementSettings elements;
    ElementShifts shifts;
    // The milling setup by its settings keys ("tool-mm", "rpm", ...), in the setup's order;
    // the milling room checks the keys and ranges (millSetupOfRecipe).
    std::vector<std::pair<std::string, double>> milling;

    bool hasMeasurement() const { return !pressureFile.empty(); }
};

// The recipe as JSON text, the same bytes for the same recipe.
std::string recipeJson(const JobRecipe& recipe);

// Reads recipe JSON. Returns false, with one line saying what is wrong ("insole.heightRatio
// 3 is outside 0.1 to 2"), for text that is no JSON object, a format other than JOB_FORMAT
// (a newer one asks for a newer Tarsola), a missing key, a value of the wrong type or one out
// of its range; `recipe` is then left as it was.
bool readRecipeJson(std::string_view text, JobRecipe& recipe, std::string& why);

// The name a plain matrix's unit has in a recipe: "kPa", "MPa", "N/cm2" or "PSI".
const char* pressureUnitName(PressureUnit unit);
