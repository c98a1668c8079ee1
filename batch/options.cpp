// The command line's values checked and made into the values the rooms take, and the
// checks that a batch can run at all before any foot is made.
#include "batch/batch.h"

#include "batch/batch_files.h"
#include "batch/report.h"
#include "imagefile/file_names.h"
#include "imagefile/foot_image.h"
#include "insole/job_file.h"
#include "mill/mill_setup.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>

namespace {

// "X,Y": two finite numbers separated by a comma, white space around them allowed.
bool parseShift(const std::string& text, double& x, double& y)
{
    const char* start = text.c_str();
    char* end = nullptr;
    errno = 0;
    const double first = std::strtod(start, &end);
    if (end == start || errno == ERANGE) {
        return false;
    }
    while (*end == ' ') {
        ++end;
    }
    if (*end != ',') {
        return false;
    }
    start = end + 1;
    const double second = std::strtod(start, &end);
    if (end == start || errno == ERANGE) {
        return false;
    }
    while (*end == ' ') {
        ++end;
    }
    if (*end != '\0' || !std::isfinite(first) || !std::isfinite(second)) {
        return false;
    }
    x = first;
    y = second;
    return true;
}


// The milling options given, as the command line names them.
std::vector<const char*> millOptionsGiven(const BatchMill& mill)
{
    std::vector<const char*> given;
    for (int i = 0; i < MILL_PARAMETER_COUNT; ++i) {
        if (mill[i]) {
            given.push_back(millParameterInfo(MILL_PARAMETERS[i], MillSetup{}).option);
        }
    }
    return given;
}

std::string prepareFolder(const std::string& option, const std::string& folder)
{
    if (isFolder(folder)) {
        return {};
    }
    struct stat info {};
    if (stat(folder.c_str(), &info) == 0) {
        return option + " " + folder + " must be a folder when several feet are given";
    }
    if (mkdir(folder.c_str(), 0777) != 0) {
        return "cannot create the folder " + folder + " for " + option + ": " +
               std::strerror(errno);
    }
    return {};
}

}  // namespace

// The pressure options given, as the command line names them.
std::vector<const char*> pressureOptionsGiven(const BatchPressure& p)
{
    std::vector<const char*> given;
    const std::pair<const char*, bool> options[] = {
        {"--pressure-preview", !p.preview.empty()},
        {"--relief-kpa", p.thresholdKpa.has_value()},
        {"--relief-depth-mm", p.depthMm.has_value()},
        {"--relief-margin-mm", p.marginMm.has_value()},
        {"--relief-width-mm", p.widthMm.has_value()},
        {"--pressure-pitch-mm", p.pitchMm.has_value()},
        {"--pressure-units", p.units.has_value()},
        {"--pressure-shift", p.shift.has_value()},
        {"--pressure-turn", p.turnDegrees.has_value()},
        {"--pressure-heel-first", p.heelFirst},
        {"--pressure-mirror", p.mirror},
        {"--pressure-accept", p.accept}};
    for (const auto& [option, set] : options) {
        if (set) {
            given.push_back(option);
        }
    }
    return given;
}

bool settleRelief(const BatchPressure& pressure, BatchRelief& settings, std::string& why)
{
    BatchRelief settled;
    struct Ranged {
        const char* option;
        const std::optional<double>& value;
        double minimum;
        double maximum;
        const char* unit;
        double& target;
    };
    const Ranged ranged[] = {
        {"--relief-kpa", pressure.thresholdKpa, MIN_RELIEF_KPA, MAX_RELIEF_KPA, "kPa",
         settled.parameters.thresholdKpa},
        {"--relief-depth-mm", pressure.depthMm, MIN_RELIEF_DEPTH_MM, MAX_RELIEF_DEPTH_MM, "mm",
         settled.parameters.depthMm},
        {"--relief-margin-mm", pressure.marginMm, MIN_RELIEF_MARGIN_MM, MAX_RELIEF_MARGIN_MM, "mm",
         settled.parameters.marginMm},
        {"--relief-width-mm", pressure.widthMm, MIN_RELIEF_WIDTH_MM, MAX_RELIEF_WIDTH_MM, "mm",
         settled.parameters.widthMm},
        {"--pressure-pitch-mm", pressure.pitchMm, MIN_PRESSURE_PITCH_MM, MAX_PRESSURE_PITCH_MM,
         "mm", settled.reading.pitchMm},
    };
    for (const Ranged& r : ranged) {
        if (!r.value) {
            continue;
        }
        if (!(*r.value >= r.minimum && *r.value <= r.maximum)) {
            why = std::string(r.option) + " " + exact(*r.value) + " is outside the allowed range " +
                  exact(r.minimum) + " to " + exact(r.maximum) + " " + r.unit;
            return false;
        }
        r.target = *r.value;
    }
    if (pressure.units && !pressureUnitFromName(*pressure.units, settled.reading.units)) {
        why = "--pressure-units " + *pressure.units +
              " is not a unit taken: kPa, MPa, N/cm2 or PSI, in any case";
        return false;
    }
    if (pressure.shift &&
        !parseShift(*pressure.shift, settled.correction.shiftXMm, settled.correction.shiftYMm)) {
        why = "--pressure-shift " + *pressure.shift +
              " is not two finite numbers of mm written X,Y (for example 2.5,-4)";
        return false;
    }
    // The window's ranges: a correction beyond them moves the measurement off any foot.
    if (pressure.shift && !(std::fabs(settled.correction.shiftXMm) <= MAX_HAND_SHIFT_MM &&
                            std::fabs(settled.correction.shiftYMm) <= MAX_HAND_SHIFT_MM)) {
        why = "--pressure-shift " + *pressure.shift + " is outside the allowed range " +
              exact(-MAX_HAND_SHIFT_MM) + " to " + exact(MAX_HAND_SHIFT_MM) + " mm for X and Y";
        return false;
    }
    if (pressure.turnDegrees) {
        if (!std::isfinite(*pressure.turnDegrees)) {
            why = "--pressure-turn " + exact(*pressure.turnDegrees) +
                  " is not a finite number of degrees";
            return false;
        }
        if (!(std::fabs(*pressure.turnDegrees) <= MAX_HAND_TURN_DEGREES)) {
            why = "--pressure-turn " + exact(*pressure.turnDegrees) +
                  " is outside the allowed range " + exact(-MAX_HAND_TURN_DEGREES) + " to " +
                  exact(MAX_HAND_TURN_DEGREES) + " degrees";
            return false;
        }
        settled.correction.turnDegrees = *pressure.turnDegrees;
    }
    settled.reading.heelFirst = pressure.heelFirst;
    settled.correction.mirror = pressure.mirror;
    settled.accept = pressure.accept;
    settings = settled;
    return true;
}

bool settleElements(const BatchElements& e, BatchPrescription& prescription, std::string& why)
{
    BatchPrescription settled;
    ElementSettings& s = settled.settings;
    ElementShifts& h = settled.shifts;
    if (e.side && !parseSideChoice(*e.side, s.side)) {
        why = "--side " + *e.side + " is not a side taken: auto, left or right";
        return false;
    }
    // Each element's own options need the option that switches it on.
    struct Needs {
        const char* option;
        bool given;
        const char* element;
        bool on;
    };
    const Needs needs[] = {
        {"--met-pad-offset-mm", e.metPadOffsetMm.has_value(), "--met-pad-mm", e.metPadMm.has_value()},
        {"--met-pad-shift", e.metPadShift.has_value(), "--met-pad-mm", e.metPadMm.has_value()},
        {"--met-bar-shift-mm", e.metBarShiftMm.has_value(), "--met-bar-mm", e.metBarMm.has_value()},
        {"--heel-cup-width-mm", e.heelCupWidthMm.has_value(), "--heel-cup-mm", e.heelCupMm.has_value()},
    };
    for (const Needs& n : needs) {
        if (n.given && !n.on) {
            why = std::string(n.option) + " is about an element that is not asked for: add " +
                  n.element;
            return false;
        }
    }
    struct Ranged {
        const char* option;
        const std::optional<double>& value;
        const ElementRange& range;
        const char* unit;
        double& target;
    };
    const Ranged ranged[] = {
        {"--met-pad-mm", e.metPadMm, MET_PAD_HEIGHT_MM, "mm", s.metPadHeightMm},
        {"--met-pad-offset-mm", e.metPadOffsetMm, MET_PAD_OFFSET_MM, "mm", s.metPadOffsetMm},
        {"--met-bar-mm", e.metBarMm, MET_BAR_HEIGHT_MM, "mm", s.metBarHeightMm},
        {"--met-bar-shift-mm", e.metBarShiftMm, ELEMENT_SHIFT_MM, "mm", h.metBarAlongMm},
        {"--arch-mm", e.archMm, ARCH_HEIGHT_MM, "mm", s.archHeightMm},
        {"--heel-cup-mm", e.heelCupMm, HEEL_CUP_HEIGHT_MM, "mm", s.heelCupHeightMm},
        {"--heel-cup-width-mm", e.heelCupWidthMm, HEEL_CUP_WIDTH_MM, "mm", s.heelCupWidthMm},
        {"--rearfoot-post-deg", e.rearfootPostDegrees, REARFOOT_POST_DEGREES, "degrees",
         s.rearfootPostDegrees},
    };
    for (const Ranged& r : ranged) {
        if (!r.value) {
            continue;
        }
        if (!(*r.value >= r.range.minimum && *r.value <= r.range.maximum)) {
            why = std::string(r.option) + " " + exact(*r.value) + " is outside the allowed range " +
                  exact(r.range.minimum) + " to " + exact(r.range.maximum) + " " + r.unit;
            return false;
        }
        r.target = *r.value;
    }
    if (e.metPadShift) {
        double along = 0, across = 0;
        if (!parseShift(*e.metPadShift, along, across)) {
            why = "--met-pad-shift " + *e.metPadShift +
                  " is not two finite numbers of mm written T,V (along the foot, toward the big "
                  "toe; for example -2,1.5)";
            return false;
        }
        for (const double value : {along, across}) {
            if (!(value >= ELEMENT_SHIFT_MM.minimum && value <= ELEMENT_SHIFT_MM.maximum)) {
                why = "--met-pad-shift " + *e.metPadShift + " is outside the allowed range " +
                      exact(ELEMENT_SHIFT_MM.minimum) + " to " + exact(ELEMENT_SHIFT_MM.maximum) +
                      " mm each way";
                return false;
            }
        }
        h.metPadAlongMm = along;
        h.metPadAcrossMm = across;
    }
    s.metPad = e.metPadMm.has_value();
    s.metBar = e.metBarMm.has_value();
    s.arch = e.archMm.has_value();
    s.heelCup = e.heelCupMm.has_value();
    s.rearfootPost = e.rearfootPostDegrees.has_value();
    if (!e.preview.empty() && !s.anyOn()) {
        why = "--elements-preview pictures the elements, and none is asked for: add --met-pad-mm, "
              "--met-bar-mm, --arch-mm, --heel-cup-mm or --rearfoot-post-deg";
        return false;
    }
    settled.wanted = s.anyOn() || e.side.has_value();
    prescription = settled;
    return true;
}

bool settleMill(const BatchMill& mill, MillSetup& setup, std::string& why)
{
    MillSetup settled;
    for (int i = 0; i < MILL_PARAMETER_COUNT; ++i) {
        if (mill[i]) {
            millValue(settled, MILL_PARAMETERS[i]) = *mill[i];
        }
    }
    // In MILL_PARAMETERS' order, the tool before the stepover and the flute before the blank:
    // a range that hangs on another value is checked after that value is.
    for (int i = 0; i < MILL_PARAMETER_COUNT; ++i) {
        const MillParameter parameter = MILL_PARAMETERS[i];
        const MillParameterInfo info = millParameterInfo(parameter, settled);
        const double value = millValue(settled, parameter);
        if (value >= info.minimum && value <= info.maximum) {
            continue;
        }
        why = std::string(info.option) + " " + exact(value) + " is outside the allowed range " +
              exact(info.minimum) + " to " + exact(info.maximum) + " " + info.unit;
        if (parameter == MillParameter::Stepover) {
            why += " (up to the tool's radius)";
        } else if (parameter == MillParameter::Blank) {
            why += value > info.maximum
                       ? " (a blank deeper than the flute length cannot be cut through)"
                       : " (0 for automatic)";
        }
        return false;
    }
    setup = settled;
    return true;
}

std::string prepareBatch(const BatchOptions& options)
{
    if (options.feet.empty()) {
        return "no foot image given";
    }
    const bool writesSolid = !options.stl.empty() || !options.threeMf.empty();
    const BatchPressure& pressure = options.pressure;
    const bool writes = !options.out.empty() || !options.preview.empty() || writesSolid ||
                        !options.footImage.empty() || !pressure.preview.empty() ||
                        !options.elements.preview.empty() || !options.gcode.empty();
    // Before the outputs: a milling option alone is more likely a forgotten --gcode than a
    // wish for nothing.
    if (options.gcode.empty()) {
        const std::vector<const char*> given = millOptionsGiven(options.mill);
        if (!given.empty()) {
            return std::string(given.front()) +
                   " is about milling, and no G-code is asked for: add --gcode FILE (a FOLDER "
                   "for several feet)";
        }
    }
    if (options.info && writes) {
        return "--info writes nothing; leave out -o, --preview, --stl, --3mf, --gcode, "
               "--foot-image, --pressure-preview and --elements-preview";
    }
    if (!options.info && !writes) {
        return "nothing to write: give -o OUT, --preview PNG, --stl STL, --3mf 3MF, --gcode NC, "
               "--foot-image PNG or --pressure-preview PNG (any of them), or --info";
    }
    if (!levelInRange(options.scan.levelMm)) {
        return "--level-mm " + number(options.scan.levelMm) + " is outside the allowed range " +
               number(MIN_LEVEL_MM) + " to " + number(MAX_LEVEL_MM) + " mm";
    }
    if (!(options.heightRatio >= MIN_HEIGHT_RATIO && options.heightRatio <= MAX_HEIGHT_RATIO)) {
        return "--height " + number(options.heightRatio) + " is outside the allowed range " +
               number(MIN_HEIGHT_RATIO) + " to " + number(MAX_HEIGHT_RATIO);
    }
    const bool several = options.feet.size() > 1;
    // A job carries its own measurement, which these options may change; whether it holds
    // one is known when it is read. A job is known by its bytes, as each foot's run knows it,
    // whatever its name ends in.
    const bool allJobs = std::all_of(options.feet.begin(), options.feet.end(), [](const std::string& foot) {
        char name[PATH_BUFFER_SIZE];
        if (foot.size() >= sizeof name) {
            return false;  // its run refuses the name
        }
        std::memcpy(name, foot.c_str(), foot.size() + 1);
        return isPackageFile(utf8ToAnsi(name));
    });
    if (pressure.measurement.empty()) {
        const std::vector<const char*> given = pressureOptionsGiven(pressure);
        BatchRelief settled;
        std::string why;
        if (allJobs && !settleRelief(pressure, settled, why)) {
            return why;
        }
        if (!given.empty() && !allJobs) {
            return std::string(given.front()) +
                   " is about a pressure measurement, and none is given: add --pressure FILE "
                   "(a FOLDER for several feet)";
        }
    } else {
        BatchRelief settled;
        std::string why;
        if (!settleRelief(pressure, settled, why)) {
            return why;
        }
        if (several && !isFolder(pressure.measurement)) {
            return "--pressure " + pressure.measurement +
                   " must be a folder when several feet are given, holding each foot's "
                   "measurement under its name (NAME.asf, NAME.csv or NAME.txt)";
        }
    }
    {
        // A job may bring the elements that --elements-preview pictures.
        BatchElements elements = options.elements;
        if (allJobs) {
            elements.preview.clear();
        }
        BatchPrescription settled;
        std::string why;
        if (!settleElements(elements, settled, why)) {
            return why;
        }
    }
    if (!options.gcode.empty()) {
        MillSetup setup;
        std::string why;
        if (!settleMill(options.mill, setup, why)) {
            return why;
        }
    }
    const auto needsFolder = [several](const std::string& target) {
        return !target.empty() && (several || target.back() == '/');
    };
    // The pictures are PNG whatever their names say: a name that promises another format
    // would lie to whoever opens the file.
    for (const auto& [option, target] : {std::pair<const char*, const std::string*>{"--preview", &options.preview},
                                         {"--foot-image", &options.footImage},
                                         {"--pressure-preview", &pressure.preview},
                                         {"--elements-preview", &options.elements.preview}}) {
        if (target->empty() || needsFolder(*target) || isFolder(*target)) {
            continue;
        }
        const FREE_IMAGE_FORMAT named = FreeImage_GetFIFFromFilename(target->c_str());
        if (named != FIF_UNKNOWN && named != FIF_PNG) {
            return std::string(option) + " " + *target + ": the file is a PNG picture, but its name " +
                   "says " + formatOf(named) + "; name it .png";
        }
    }
    const std::pair<const char*, const std::string*> targets[] = {
        {"-o", &options.out}, {"--preview", &options.preview}, {"--stl", &options.stl},
        {"--3mf", &options.threeMf}, {"--gcode", &options.gcode},
        {"--foot-image", &options.footImage}, {"--pressure-preview", &pressure.preview},
        {"--elements-preview", &options.elements.preview}};
    for (const auto& [option, target] : targets) {
        if (needsFolder(*target)) {
            const std::string why = prepareFolder(option, *target);
            if (!why.empty()) {
                return why;
            }
        }
    }
    return {};
}
