#include "batch/batch.h"

#include "base/trace.h"
#include "batch/preview.h"
#include "batch/pressure_preview.h"
#include "imagefile/file_names.h"
#include "imagefile/foot_image.h"
#include "imagefile/insole_export.h"
#include "imagefile/loaded_foot.h"
#include "mill/gcode.h"
#include "mill/toolpath.h"
#include "solid/solid_files.h"
#include "solid/solid_mesh.h"
#include "base/grid_stats.h"
#include "view/insole_state.h"
#include "view/recompute.h"
#include "view/relief_plan.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <sstream>

#include <dirent.h>
#include <sys/stat.h>

namespace {

using nlohmann::json;

bool isFolder(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Identity of an existing file, to see that two names lead to the same one.
struct FileId {
    dev_t device = 0;
    ino_t inode = 0;
    bool exists = false;
};

FileId fileId(const std::string& path)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return {};
    }
    return {info.st_dev, info.st_ino, true};
}

bool sameFile(const FileId& a, const FileId& b)
{
    return a.exists && b.exists && a.device == b.device && a.inode == b.inode;
}

std::string formatOf(int format)
{
    const char* name = FreeImage_GetFormatFromFIF(static_cast<FREE_IMAGE_FORMAT>(format));
    return name ? name : "unknown";
}

std::string number(double value)
{
    std::ostringstream text;
    text << value;
    return text.str();
}

// The shortest decimal that reads back as exactly this value: a range's end is printed as
// the value it is compared with.
std::string exact(double value)
{
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

// A coordinate of the solid as the shortest decimal that is the same float ("2.6", not
// "2.5999999046325684").
double shortest(double floatValue)
{
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, static_cast<float>(floatValue)).ptr;
    return std::strtod(std::string(text, end).c_str(), nullptr);
}

// The figures of a solid for the report, volume to the thousandth of a cubic millimetre.
json solidReport(const SolidFigures& f, double levelMm)
{
    return {{"levelMm", levelMm},
            {"triangles", f.triangles},
            {"volumeMm3", std::round(f.volumeMm3 * 1000.0) / 1000.0},
            {"thinnestMm", shortest(f.thinnestMm)},
            {"thickestMm", shortest(f.thickestMm)},
            {"footprint", {{"widthMm", shortest(f.footprintWidthMm)},
                           {"lengthMm", shortest(f.footprintLengthMm)}}}};
}

// Figures of a scan as traced: to a tenth of a millimetre or degree.
double rounded(double value) { return std::round(value * 10) / 10; }

// A figure of the relief to this many decimals, never "-0": what a person would type again.
double decimals(double value, int places)
{
    const double scale = std::pow(10.0, places);
    const double r = std::round(value * scale) / scale;
    return r == 0 ? 0.0 : r;
}

std::string stem(const std::string& foot)
{
    const std::size_t slash = foot.find_last_of('/');
    std::string base = slash == std::string::npos ? foot : foot.substr(slash + 1);
    const std::size_t dot = base.find_last_of('.');
    if (dot != std::string::npos && dot > 0) {
        base.erase(dot);
    }
    return base;
}

// The endings a measurement in a folder may have, in any case.
bool measurementEnding(const std::string& ending)
{
    std::string lower = ending;
    for (char& c : lower) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return lower == ".asf" || lower == ".csv" || lower == ".txt";
}

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

// What a person reads before milling, as the G-code's header gives it: the blank (its size
// and the corner nearest the machine's origin), the passes, the moves and the file's size,
// the finish, the time and the heaviest cut; millimetres to the thousandth the file holds,
// the scallop finer since it is a fraction of one.
json millingReport(const MillFigures& f, std::size_t fileBytes)
{
    return {{"blankMm", {decimals(f.blankXMm, 3), decimals(f.blankYMm, 3), decimals(f.blankZMm, 3)}},
            {"blankCornerMm", {decimals(f.blankMinX, 3), decimals(f.blankMinY, 3)}},
            {"roughingPasses", f.roughingPasses},
            {"finishingLines", f.finishingLines},
            {"moves", f.moves},
            {"fileBytes", fileBytes},
            {"scallopMm", decimals(f.scallopMm, 4)},
            {"machiningSeconds", decimals(f.machiningSeconds, 1)},
            {"largestCutMm", decimals(f.largestCutMm, 3)},
            {"filletMm", decimals(f.filletMm, 3)}};
}

json measurementReport(const std::string& file, const PressureMap& map)
{
    return {{"file", file},
            {"format", map.format},
            {"rows", map.rows},
            {"columns", map.cols},
            {"rowPitchMm", map.rowPitchMm},
            {"columnPitchMm", map.colPitchMm},
            {"frames", map.frames},
            {"heelFirst", map.heelFirst},
            {"peakKpa", decimals(map.peakKpa, 1)}};
}

json placementReport(const PressurePlacement& p, const PlacementCorrection& hand)
{
    return {{"turnDegrees", decimals(p.turnDegrees, 2)},
            {"shiftMm", {decimals(p.shiftXMm, 2), decimals(p.shiftYMm, 2)}},
            {"automatic",
             {{"turnDegrees", decimals(p.autoTurnDegrees, 2)},
              {"shiftMm", {decimals(p.autoShiftXMm, 2), decimals(p.autoShiftYMm, 2)}}}},
            {"byHand", {{"turnDegrees", hand.turnDegrees},
                        {"shiftMm", {hand.shiftXMm, hand.shiftYMm}}}},
            {"mirror", hand.mirror},
            {"loadShare", decimals(p.loadShare, 4)},
            {"otherSideLoadShare", decimals(p.otherSideLoadShare, 4)},
            {"endForEndLoadShare", decimals(p.endForEndLoadShare, 4)},
            {"warnings", p.warnings}};
}

json reliefReport(const ReliefPlan& plan)
{
    const ReliefParameters& p = plan.parameters;
    return {{"thresholdKpa", p.thresholdKpa}, {"depthMm", p.depthMm},
            {"marginMm", p.marginMm},         {"widthMm", p.widthMm},
            {"levelMm", plan.levelMm},        {"fullRaiseLevels", plan.relief.fullRaise}};
}

// The zones as the insole has them: centre and area on its grid, as the recompute drew them
// (the window lists the same figures), so that both follow the width and length.
json zonesReport(const DrawnRelief& drawn)
{
    json zones = json::array();
    for (const ReliefZone& zone : drawn.zones) {
        zones.push_back({{"centreMm", {decimals(zone.centreXMm, 1), decimals(zone.centreYMm, 1)}},
                         {"areaMm2", zone.areaMm2},
                         {"peakKpa", decimals(zone.peakKpa, 1)},
                         {"fullDepth", zone.fullDepth}});
    }
    return zones;
}

// The last line of what the core traced on the problem stream: the reason of a failure.
std::string lastLine(const std::string& text)
{
    std::string trimmed = text;
    while (!trimmed.empty() && trimmed.back() == '\n') {
        trimmed.pop_back();
    }
    const std::size_t newline = trimmed.rfind('\n');
    return newline == std::string::npos ? trimmed : trimmed.substr(newline + 1);
}

// Lines that the core writes on the problem stream while one foot is worked on, kept so that
// the report can carry the reason of a failure, and passed on to the real stream.
class ProblemCapture {
public:
    explicit ProblemCapture(std::FILE* problems)
        : problems_(problems), running_(runningTraceStream()), previous_(problemTraceStream())
    {
        stream_ = open_memstream(&buffer_, &size_);
        setTraceStreams(running_, stream_ ? stream_ : problems_);
    }
    ~ProblemCapture()
    {
        setTraceStreams(running_, previous_);
        if (stream_) {
            std::fclose(stream_);
        }
        std::free(buffer_);
    }
    ProblemCapture(const ProblemCapture&) = delete;
    ProblemCapture& operator=(const ProblemCapture&) = delete;

    // Everything captured so far; it is also written to the real stream.
    std::string release()
    {
        if (!stream_) {
            return {};
        }
        std::fflush(stream_);
        std::string text(buffer_, size_);
        std::fputs(text.c_str(), problems_);
        std::fflush(problems_);
        std::fclose(stream_);
        std::free(buffer_);
        buffer_ = nullptr;
        size_ = 0;
        stream_ = open_memstream(&buffer_, &size_);
        setTraceStreams(running_, stream_ ? stream_ : problems_);
        return text;
    }

private:
    std::FILE* problems_;
    std::FILE* running_;   // left as the caller chose it
    std::FILE* previous_;  // put back afterwards
    std::FILE* stream_ = nullptr;
    char* buffer_ = nullptr;
    std::size_t size_ = 0;
};

struct FootRun {
    json report;
    std::string error;  // empty when the foot succeeded
};

std::string rangeMessage(const char* option, double value, const SliderSetting& range,
                         const char* share, const char* measure, int size)
{
    return std::string(option) + " " + exact(value) + " is outside the allowed range " +
           exact(range.minimum) + " to " + exact(range.maximum) + " mm (" + share +
           " times the foot's " + measure + " of " + std::to_string(size) + " mm)";
}

// Why the batch makes no relief on a doubtful placement, and the way out: the switch that
// lays the measurement right, a hand correction, or --pressure-accept.
std::string doubtfulPlacement(const std::string& measurement, const ReliefPlan& plan)
{
    const PressurePlacement& p = plan.placement;
    std::string why = "the pressure measurement " + measurement + " is doubtfully placed: ";
    for (std::size_t i = 0; i < p.warnings.size(); ++i) {
        why += (i ? "; " : "") + p.warnings[i];
    }
    std::vector<std::string> switches;
    bool sensorTurned = false;
    if (p.looksEndForEnd) {
        if (plan.map.format == "plain matrix") {
            switches.push_back(plan.map.heelFirst ? "without --pressure-heel-first"
                                                  : "with --pressure-heel-first");
        } else {
            sensorTurned = true;
        }
    }
    if (p.looksLikeOtherFoot) {
        switches.push_back(plan.correction.mirror ? "without --pressure-mirror"
                                                  : "with --pressure-mirror");
    }
    std::string wayOut;
    if (!switches.empty()) {
        wayOut = "run it " + switches[0] + (switches.size() > 1 ? " and " + switches[1] : "");
    } else if (sensorTurned) {
        wayOut = "a sensor insole export has its first row at the toes unless its MIRROR_ROW "
                 "says otherwise: check how it was exported";
    } else {
        wayOut = "correct the placement with --pressure-shift and --pressure-turn";
    }
    return why + "; " + wayOut + ", or add --pressure-accept to use it as placed";
}

class Batch {
public:
    Batch(const BatchOptions& options, std::FILE* problems)
        : options_(options), problems_(problems), state_(std::make_unique<InsoleState>())
    {
        for (const std::string& foot : options.feet) {
            footIds_.push_back(fileId(foot));
        }
        if (!options.pressure.measurement.empty()) {
            settleRelief(options.pressure, relief_, reliefProblem_);
        }
        if (!options.gcode.empty()) {
            settleMill(options.mill, mill_, millProblem_);
        }
    }

    FootRun run(const std::string& foot)
    {
        FootRun result;
        json& report = result.report;
        report["file"] = foot;
        const auto fail = [&](const std::string& reason) {
            result.error = reason;
            report["ok"] = false;
            report["error"] = reason;
            return result;
        };

        InsoleState& state = *state_;
        char name[PATH_BUFFER_SIZE];
        ScanFigures scan;
        if (!copyChosenName(foot.c_str(), name) || !loadFoot(state, utf8ToAnsi(name), options_.scan, &scan)) {
            return fail("");  // the core has said why
        }
        const SourceImage& image = state.sourceImage;
        report["image"] = {{"width", image.width}, {"height", image.height},
                           {"bitsPerPixel", image.bpp}, {"format", formatOf(image.format)}};
        if (scan.isScan) {
            report["scan"] = {{"format", scanFormatName(scan.format)},
                              {"triangles", scan.triangles},
                              {"units", scanUnitsName(scan.units)},
                              {"unitsFoundFromSize", scan.unitsGuessed},
                              {"up", scanUpName(scan.up)},
                              {"lengthMm", rounded(scan.lengthMm)},
                              {"widthMm", rounded(scan.widthMm)},
                              {"heightMm", rounded(scan.heightMm)},
                              {"turnDegrees", rounded(scan.turnDegrees)},
                              {"holeCellsFilled", scan.filledCells},
                              {"levelMm", options_.scan.levelMm}};
        }
        if (state.pixelsOutsideBlock > 0) {
            return fail(std::to_string(state.pixelsOutsideBlock) +
                        " pixels of foot lie outside the 150 x 360 block that is read (the "
                        "image's bottom-left corner); crop the image to the foot");
        }
        if (state.footWidth <= 0 || state.footLength <= 0) {
            return fail("no foot in the image: every pixel inside its border is 0");
        }
        const SliderSetting widthRange = widthSliderSetting(state.footWidth);
        const SliderSetting lengthRange = lengthSliderSetting(state.footLength);
        report["box"] = {{"minX", state.footMinX}, {"maxX", state.footMaxX},
                         {"minY", state.footMinY}, {"maxY", state.footMaxY}};
        report["footWidth"] = state.footWidth;
        report["footLength"] = state.footLength;
        report["ranges"] = {{"width", {widthRange.minimum, widthRange.maximum}},
                            {"length", {lengthRange.minimum, lengthRange.maximum}},
                            {"height", {MIN_HEIGHT_RATIO, MAX_HEIGHT_RATIO}}};
        // The measurement is read and placed on the foot image before anything else is
        // decided, so that --info shows where it lies.
        std::unique_ptr<ReliefPlan> plan;
        measurementId_ = {};
        if (!options_.pressure.measurement.empty()) {
            std::string why;
            if (!reliefProblem_.empty() || !preparePlan(foot, report, plan, why)) {
                return fail(reliefProblem_.empty() ? why : reliefProblem_);
            }
        }
        if (options_.info) {
            report["ok"] = true;
            return result;
        }

        InsoleSettings settings = restoredSettings(state);
        settings.width = options_.width.value_or(settings.width);
        settings.length = options_.length.value_or(settings.length);
        settings.heightRatio = options_.heightRatio;
        settings.limit = options_.limit;
        report["settings"] = {{"width", settings.width}, {"length", settings.length},
                              {"height", settings.heightRatio}, {"limit", settings.limit}};
        if (!(settings.width >= widthRange.minimum && settings.width <= widthRange.maximum)) {
            return fail(rangeMessage("--width", settings.width, widthRange, "0.8 to 1.2", "width",
                                     state.footWidth));
        }
        if (!(settings.length >= lengthRange.minimum && settings.length <= lengthRange.maximum)) {
            return fail(rangeMessage("--length", settings.length, lengthRange, "0.5 to 1.5",
                                     "length", state.footLength));
        }

        const GridOverflow overflow = overflowAt(state, settings);
        if (overflow.rowsLost > 0) {
            return fail("--length " + exact(settings.length) + " would cut the insole at the grid's edge (" +
                        std::to_string(overflow.rowsLost) + " of its rows beyond the 360 the grid has); "
                        "the longest that fits is " +
                        std::to_string(longestFittingLength(state, settings)) + " mm");
        }
        if (overflow.columnsLost > 0) {
            return fail("--width " + exact(settings.width) + " would cut the insole at the grid's edge (" +
                        std::to_string(overflow.columnsLost) + " of its columns beyond the 150 the "
                        "grid has); the widest that fits is " +
                        std::to_string(widestFittingWidth(state, settings)) + " mm");
        }

        const Relief* relief = activeRelief(plan.get());
        std::unique_ptr<DrawnRelief> drawn;
        if (plan) {
            drawn = std::make_unique<DrawnRelief>();
            recomputeHeights(state, settings, relief, drawn.get());
        } else {
            recomputeHeights(state, settings);
        }
        const HeightRange heights = heightRange(state.heightGrid);
        report["heights"] = {{"lowest", heights.lowest}, {"highest", heights.highest}};
        if (plan) {
            report["zones"] = zonesReport(*drawn);
            report["relief"]["cappedCells"] = drawn->cappedCells;
        }

        // Every name is settled, and the solid made, before anything is written, so that a
        // refused name or a foot without a solid leaves no file of this foot behind.
        const bool several = options_.feet.size() > 1;
        std::string insole;
        std::string preview;
        std::string stl;
        std::string threeMf;
        std::string footImage;
        std::string pressurePreview;
        std::string gcode;
        std::string why;
        const auto take = [&](const std::string& target, const char* extension, std::string& taken) {
            return target.empty() ||
                   claim(finalName(outputName(target, foot, several, extension), extension), foot,
                         taken, why);
        };
        if (!take(options_.out, ".bmp", insole) || !take(options_.preview, ".png", preview) ||
            !take(options_.stl, ".stl", stl) || !take(options_.threeMf, ".3mf", threeMf) ||
            !take(options_.gcode, ".nc", gcode) ||
            // Only a scan has a foot image the program made; an image foot is its own file.
            (scan.isScan && !take(options_.footImage, ".png", footImage)) ||
            (plan && !take(options_.pressure.preview, ".png", pressurePreview))) {
            return fail(why);
        }
        if (!options_.footImage.empty() && !scan.isScan) {
            traceFileWarning("No foot image made for", foot.c_str(),
                             "it is an image, its own foot image; only scans make one");
        }
        SolidMesh solid;
        if (!stl.empty() || !threeMf.empty()) {
            solid = buildSolid(state.heightGrid, options_.scan.levelMm);
            if (solid.empty()) {
                return fail("the insole has no foot cell at these settings, so there is no solid to make");
            }
            report["solid"] = solidReport(measureSolid(solid), options_.scan.levelMm);
        }
        // The path is planned, and the file made, by what the milling window uses, so that
        // both give the same bytes for the same insole and setup.
        Toolpath path;
        const GcodeRecipe recipe{fileNameOf(foot), settings.width, settings.length,
                                 settings.heightRatio, settings.limit, options_.scan.levelMm,
                                 reliefRecipe(plan.get())};
        if (!gcode.empty()) {
            if (!millProblem_.empty()) {
                return fail(millProblem_);
            }
            std::string refusal;
            if (!planToolpath(state.heightGrid, options_.scan.levelMm, mill_, path, refusal)) {
                return fail("cannot mill it: " + refusal);
            }
            report["milling"] = millingReport(path.figures, encodeGcode(path, recipe).size());
        }
        // Before the insole: saving it writes the heights into the same bitmap.
        if (!footImage.empty()) {
            if (!saveBitmapFile(state.sourceImage.bitmap, FIF_PNG, footImage.c_str(), "foot image")) {
                return fail("");
            }
            report["footImage"] = footImage;
        }
        if (!insole.empty()) {
            if (!saveInsole(state.heightGrid, state.sourceImage, insole.c_str())) {
                return fail("");
            }
            report["insole"] = insole;
        }
        if (!preview.empty()) {
            const Grid* zones = relief ? &drawn->zoneMask : nullptr;
            if (!writePreview(state.heightGrid, preview.c_str(), zones)) {
                return fail("");
            }
            report["preview"] = preview;
        }
        if (!stl.empty()) {
            if (!writeStlFile(solid, stl.c_str())) {
                return fail("");
            }
            report["stl"] = stl;
        }
        if (!threeMf.empty()) {
            const SolidRecord record{fileNameOf(foot), settings, options_.scan.levelMm,
                                     reliefRecipe(plan.get())};
            if (!write3mfFile(solid, record, threeMf.c_str())) {
                return fail("");
            }
            report["3mf"] = threeMf;
        }
        if (!gcode.empty()) {
            if (!writeGcodeFile(path, recipe, gcode.c_str())) {
                return fail("");
            }
            report["gcode"] = gcode;
        }
        if (!pressurePreview.empty()) {
            // The placed pressure drawn with the quad the heights were drawn with.
            auto kpa = std::make_unique<DrawnValues>();
            drawFootValuesOnCpu(plan->placed,
                                placeQuad(state.footBox(), state.displayWidth, state.displayLength),
                                *kpa, std::numeric_limits<float>::quiet_NaN());
            if (!writePressurePreview(*kpa, state.heightGrid, plan->map.peakKpa,
                                      pressurePreview.c_str())) {
                return fail("");
            }
            report["pressurePreview"] = pressurePreview;
        }
        report["ok"] = true;
        return result;
    }

private:
    // Finds the foot's measurement, reads it, places it on the foot image and works out the
    // relief, reporting each step. A foot without a measurement in the folder gets no plan
    // and is made without relief, saying so; a measurement that cannot be read or placed
    // fails the foot with the reader's or the placement's reason.
    bool preparePlan(const std::string& foot, json& report, std::unique_ptr<ReliefPlan>& plan,
                     std::string& why)
    {
        std::string measurement;
        if (!measurementOf(options_.pressure.measurement, foot, measurement, why)) {
            return false;
        }
        if (measurement.empty()) {
            const std::string folder = options_.pressure.measurement;
            const std::string reason =
                "no measurement named " + stem(foot) + ".asf, .csv or .txt in " + folder +
                "; made without relief" +
                (options_.pressure.preview.empty() ? "" : " and without a pressure preview");
            traceFileWarning("No pressure measurement for", foot.c_str(), reason.c_str());
            report["measurement"] = nullptr;
            return true;
        }
        measurementId_ = fileId(measurement);
        auto made = std::make_unique<ReliefPlan>();
        made->measurementFile = measurement;
        made->parameters = relief_.parameters;
        if (!readPressureFile(measurement.c_str(), relief_.reading, made->map, why)) {
            return false;
        }
        report["measurement"] = measurementReport(measurement, made->map);
        if (!placeRelief(*made, state_->footGrid, relief_.correction, options_.scan.levelMm, why)) {
            why = "cannot place the pressure measurement " + measurement + " on it: " + why;
            return false;
        }
        report["placement"] = placementReport(made->placement, made->correction);
        // A relief around the wrong spots leaves the real peaks where they were: a doubtful
        // placement is not relieved unless the person says it is right.
        if (made->placement.doubtful() && !relief_.accept) {
            why = doubtfulPlacement(measurement, *made);
            return false;
        }
        report["relief"] = reliefReport(*made);
        for (const std::string& warning : made->placement.warnings) {
            traceFileWarning("Pressure measurement placed on", foot.c_str(), warning.c_str());
        }
        plan = std::move(made);
        return true;
    }

    // The name a file gets, as Save makes an insole's (".bmp" unless it ends in exactly
    // that), Save solid a solid's (".stl" or ".3mf" unless it ends so, in any case) and Save
    // G-code a G-code file's (".nc" unless it ends in .nc, .ngc or .gcode, in any case). A name
    // with no room for its ending stays as it is; the writer refuses it, saying why.
    static std::string finalName(const std::string& wanted, const char* extension)
    {
        if (std::strcmp(extension, ".png") == 0) {
            return wanted;  // the preview takes its name as given
        }
        if (std::strcmp(extension, ".nc") == 0) {
            return gcodeFileName(wanted);  // as Save G-code names it
        }
        const bool insole = std::strcmp(extension, ".bmp") == 0;
        char buffer[PATH_BUFFER_SIZE];
        if (copyChosenName(wanted.c_str(), buffer) &&
            (insole ? ensureBmpExtension(buffer) : ensureExtension(buffer, extension))) {
            return buffer;
        }
        return wanted;
    }

    // Takes a name for one output of a foot, refused when it is one of the feet of this batch
    // or a file that an earlier foot of this batch wrote, since either would be lost.
    bool claim(const std::string& wanted, const std::string& foot, std::string& name,
               std::string& why)
    {
        name = wanted;
        const FileId target = fileId(name);
        if (sameFile(target, measurementId_)) {
            why = name + " is the pressure measurement of " + foot + "; it is not replaced";
            return false;
        }
        for (std::size_t i = 0; i < footIds_.size(); ++i) {
            if (sameFile(target, footIds_[i])) {
                why = name + " is the foot image " + options_.feet[i] + "; it is not replaced";
                return false;
            }
        }
        const auto earlier = written_.find(name);
        if (earlier != written_.end()) {
            why = name + " was already written for " + earlier->second + " in this run";
            return false;
        }
        written_[name] = foot;
        return true;
    }

    const BatchOptions& options_;
    std::FILE* problems_;
    std::unique_ptr<InsoleState> state_;
    std::vector<FileId> footIds_;
    std::map<std::string, std::string> written_;
    BatchRelief relief_;
    // Why the pressure options cannot be taken (when the caller skipped prepareBatch).
    std::string reliefProblem_;
    FileId measurementId_;  // the measurement of the foot being made
    MillSetup mill_;
    // Why the milling options cannot be taken (when the caller skipped prepareBatch).
    std::string millProblem_;
};

// The measurement, its placement, the relief and its zones, for the text report.
void pressureText(const json& r, std::ostringstream& line)
{
    if (r.contains("measurement") && r["measurement"].is_null()) {
        line << "; no pressure measurement, made without relief";
    } else if (r.contains("measurement")) {
        const json& m = r["measurement"];
        const int frames = m["frames"];
        line << "; pressure measurement " << m["file"].get<std::string>() << ": "
             << m["format"].get<std::string>() << ", " << m["rows"] << " x " << m["columns"]
             << " cells (rows x columns) of " << number(m["columnPitchMm"]) << " x "
             << number(m["rowPitchMm"]) << " mm, " << frames
             << (frames == 1 ? " frame" : " frames") << ", peak " << number(m["peakKpa"]) << " kPa"
             << (m["heelFirst"].get<bool>() ? ", read with its first row at the heel" : "");
    }
    if (r.contains("placement")) {
        const json& p = r["placement"];
        const auto turnAndShift = [](const json& part) {
            return number(part["turnDegrees"]) + " degrees, " + number(part["shiftMm"][0]) + ", " +
                   number(part["shiftMm"][1]) + " mm";
        };
        line << "; placed " << (p["mirror"].get<bool>() ? "turned over left to right, " : "")
             << "turned " << number(p["turnDegrees"]) << " degrees, shifted "
             << number(p["shiftMm"][0]) << ", " << number(p["shiftMm"][1])
             << " mm (automatically " << turnAndShift(p["automatic"]) << "; by hand "
             << turnAndShift(p["byHand"]) << "), "
             << number(std::round(p["loadShare"].get<double>() * 1000) / 10)
             << " % of the load on the foot";
        for (const json& warning : p["warnings"]) {
            line << "; warning: " << warning.get<std::string>();
        }
    }
    if (r.contains("relief")) {
        const json& f = r["relief"];
        line << "; relief at " << number(f["thresholdKpa"]) << " kPa, depth "
             << number(f["depthMm"]) << " mm (" << f["fullRaiseLevels"] << " levels of "
             << number(f["levelMm"]) << " mm), margin " << number(f["marginMm"])
             << " mm, transition " << number(f["widthMm"]) << " mm";
    }
    if (r.contains("zones") && r["ok"].get<bool>()) {
        const json& zones = r["zones"];
        if (zones.empty()) {
            line << ": no zone, nothing relieved";
        } else {
            line << ": " << zones.size() << (zones.size() == 1 ? " zone" : " zones");
            for (const json& z : zones) {
                line << (&z == &zones.front() ? ": " : "; ") << "at " << number(z["centreMm"][0])
                     << ", " << number(z["centreMm"][1]) << " mm, " << z["areaMm2"] << " mm2, peak "
                     << number(z["peakKpa"]) << " kPa, "
                     << (z["fullDepth"].get<bool>() ? "full depth" : "not full depth");
            }
            line << "; " << r["relief"]["cappedCells"] << " cells capped at 255";
        }
    }
    if (r.contains("pressurePreview")) {
        line << "; pressure preview " << r["pressurePreview"].get<std::string>();
    }
}


// The milling figures and the G-code file, for the text report.
void millingText(const json& r, std::ostringstream& line)
{
    if (r.contains("milling") && r["ok"].get<bool>()) {
        const json& m = r["milling"];
        line << "; milled from a blank of " << number(m["blankMm"][0]) << " x "
             << number(m["blankMm"][1]) << " x " << number(m["blankMm"][2]) << " mm (corner at X"
             << number(m["blankCornerMm"][0]) << " Y" << number(m["blankCornerMm"][1]) << "): "
             << m["roughingPasses"] << " roughing passes, " << m["finishingLines"]
             << " finishing lines, " << m["moves"] << " moves, " << m["fileBytes"]
             << " bytes, scallop " << number(m["scallopMm"]) << " mm, machining about "
             << machiningTime(m["machiningSeconds"]) << ", largest cut " << number(m["largestCutMm"])
             << " mm deep, fillet of " << number(m["filletMm"]) << " mm at the outline wall";
    }
    if (r.contains("gcode")) {
        line << "; gcode " << r["gcode"].get<std::string>();
    }
}

std::string textReport(const json& r)
{
    std::ostringstream line;
    line << r["file"].get<std::string>() << ":";
    if (r.contains("image")) {
        const json& image = r["image"];
        line << " image " << image["width"] << " x " << image["height"] << " pixels, "
             << image["bitsPerPixel"] << " bits per pixel, " << image["format"].get<std::string>()
             << ";";
    }
    if (r.contains("scan")) {
        const json& scan = r["scan"];
        line << " scan " << scan["format"].get<std::string>() << ", " << scan["triangles"]
             << " triangles, units " << scan["units"].get<std::string>()
             << (scan["unitsFoundFromSize"].get<bool>() ? " (found from its size)" : "") << ", "
             << number(scan["lengthMm"]) << " x " << number(scan["widthMm"]) << " x "
             << number(scan["heightMm"]) << " mm, turned " << number(scan["turnDegrees"])
             << " degrees (" << scan["up"].get<std::string>() << " up), "
             << scan["holeCellsFilled"] << " hole cells filled;";
    }
    if (r.contains("box")) {
        const json& box = r["box"];
        const json& ranges = r["ranges"];
        line << " foot box columns " << box["minX"] << " to " << box["maxX"] << ", rows "
             << box["minY"] << " to " << box["maxY"] << "; foot width " << r["footWidth"]
             << " mm (width " << exact(ranges["width"][0]) << " to " << exact(ranges["width"][1])
             << "), length " << r["footLength"] << " mm (length " << exact(ranges["length"][0])
             << " to " << exact(ranges["length"][1]) << "), height ratio "
             << number(MIN_HEIGHT_RATIO) << " to " << number(MAX_HEIGHT_RATIO);
    }
    if (r.contains("settings") && r["ok"].get<bool>()) {
        const json& s = r["settings"];
        line << "; insole at width " << number(s["width"]) << " mm, length " << number(s["length"])
             << " mm, height " << number(s["height"]) << ", limit "
             << (s["limit"].get<bool>() ? "on" : "off") << ", heights "
             << r["heights"]["lowest"] << " to " << r["heights"]["highest"];
    }
    if (r.contains("solid") && r["ok"].get<bool>()) {
        const json& s = r["solid"];
        line << "; solid at level " << number(s["levelMm"]) << " mm: " << s["triangles"]
             << " triangles, volume " << number(s["volumeMm3"].get<double>() / 1000.0)
             << " cm3, thickness " << number(s["thinnestMm"]) << " to " << number(s["thickestMm"])
             << " mm, footprint " << number(s["footprint"]["widthMm"]) << " x "
             << number(s["footprint"]["lengthMm"]) << " mm";
    }
    for (const char* file : {"insole", "preview", "stl", "3mf"}) {
        if (r.contains(file)) {
            line << "; " << file << " " << r[file].get<std::string>();
        }
    }
    if (r.contains("footImage")) {
        line << "; foot image " << r["footImage"].get<std::string>();
    }
    pressureText(r, line);
    millingText(r, line);
    if (!r["ok"].get<bool>()) {
        // Nothing may stand before the failure when the foot could not even be read.
        line << (r.contains("image") ? "; FAILED: " : " FAILED: ") << r["error"].get<std::string>();
    }
    return line.str();
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

bool measurementOf(const std::string& source, const std::string& foot, std::string& measurement,
                   std::string& why)
{
    measurement.clear();
    if (!isFolder(source)) {
        measurement = source;
        return true;
    }
    const std::string name = stem(foot);
    std::vector<std::string> found;
    DIR* folder = opendir(source.c_str());
    if (!folder) {
        why = "cannot read the folder of pressure measurements " + source + ": " +
              std::strerror(errno);
        return false;
    }
    while (const dirent* entry = readdir(folder)) {
        const std::string file = entry->d_name;
        if (file.size() == name.size() + 4 && file.compare(0, name.size(), name) == 0 &&
            measurementEnding(file.substr(name.size()))) {
            found.push_back(source + (source.back() == '/' ? "" : "/") + file);
        }
    }
    closedir(folder);
    std::sort(found.begin(), found.end());
    if (found.size() > 1) {
        why = "the pressure measurements " + found[0] + " and " + found[1] +
              " both have the foot's name; keep the one that belongs to it";
        return false;
    }
    if (!found.empty()) {
        measurement = found[0];
    }
    return true;
}

std::string outputName(const std::string& target, const std::string& foot, bool severalFeet,
                       const char* extension)
{
    const bool folder = severalFeet || isFolder(target) || (!target.empty() && target.back() == '/');
    if (!folder) {
        return target;
    }
    std::string name = target;
    if (name.back() != '/') {
        name += '/';
    }
    return name + stem(foot) + extension;
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
                        !options.gcode.empty();
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
               "--foot-image and --pressure-preview";
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
    if (pressure.measurement.empty()) {
        const std::vector<const char*> given = pressureOptionsGiven(pressure);
        if (!given.empty()) {
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
                                         {"--pressure-preview", &pressure.preview}}) {
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
        {"--foot-image", &options.footImage}, {"--pressure-preview", &pressure.preview}};
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

int runBatch(const BatchOptions& options, std::FILE* report, std::FILE* problems, bool progress)
{
    Batch batch(options, problems);
    int failed = 0;
    const std::size_t count = options.feet.size();
    for (std::size_t i = 0; i < count; ++i) {
        const std::string& foot = options.feet[i];
        if (progress) {
            std::fprintf(problems, "[%zu/%zu] %s\n", i + 1, count, foot.c_str());
            std::fflush(problems);
        }
        FootRun run;
        {
            ProblemCapture capture(problems);
            run = batch.run(foot);
            if (!run.report["ok"].get<bool>() && !run.error.empty()) {
                traceFileProblem("Cannot make the insole of", foot.c_str(), run.error.c_str());
            }
            const std::string traced = capture.release();
            if (!run.report["ok"].get<bool>()) {
                ++failed;
                // The reason as the trace gave it, naming the file.
                run.report["error"] = lastLine(traced);
            }
        }
        // A file name that is not UTF-8 still gives valid JSON, its bad bytes replaced.
        const std::string line = options.json
                                     ? run.report.dump(-1, ' ', false, json::error_handler_t::replace)
                                     : textReport(run.report);
        std::fprintf(report, "%s\n", line.c_str());
        std::fflush(report);
    }
    return failed == 0 ? 0 : 1;
}
