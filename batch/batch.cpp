#include "batch/batch.h"

#include "base/trace.h"
#include "batch/batch_files.h"
#include "batch/report.h"
#include "batch/preview.h"
#include "batch/elements_preview.h"
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
#include "insole/insole_state.h"
#include "insole/job_file.h"
#include "mill/mill_settings.h"
#include "insole/recompute.h"
#include "insole/relief_plan.h"

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
        settleRelief(options.pressure, relief_, reliefProblem_);
        if (!options.gcode.empty()) {
            settleMill(options.mill, mill_, millProblem_);
        }
        // The preview is checked per foot: a job may bring the elements it pictures.
        BatchElements elements = options.elements;
        elements.preview.clear();
        settleElements(elements, prescription_, prescriptionProblem_);
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
        if (!copyChosenName(foot.c_str(), name)) {
            return fail("");  // the core has said why
        }
        utf8ToAnsi(name);
        // A job brings its foot, its measurement and its recipe, whose settings are the
        // defaults that the command line's options override.
        job_.reset();
        active_ = &options_;
        footRelief_ = relief_;
        footMill_ = mill_;
        footMillProblem_ = millProblem_;
        reliefOn_ = true;
        footPrescription_ = prescription_;
        if (isPackageFile(name)) {
            std::string why;
            if (!openJob(name, why)) {
                return fail(why);
            }
        }
        const BatchOptions& options = *active_;
        const bool loaded =
            job_ ? loadFootFromMemory(state, job_->foot.data(), job_->foot.size(),
                                      partTraceName(foot, job_->footPart).c_str(), options.scan, &scan)
                 : loadFoot(state, name, options.scan, &scan);
        if (!loaded) {
            return fail("");  // the core has said why
        }
        const std::string footName = job_ ? job_->recipe.footFile : fileNameOf(foot);
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
                              {"levelMm", options.scan.levelMm}};
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
        const bool embedded = job_ && options.pressure.measurement.empty();
        if (embedded && !job_->recipe.hasMeasurement()) {
            const std::vector<const char*> given = pressureOptionsGiven(options.pressure);
            if (!given.empty()) {
                return fail(std::string(given.front()) +
                            " is about a pressure measurement, and the job holds none: add "
                            "--pressure FILE");
            }
        }
        if (!options.pressure.measurement.empty() || (embedded && job_->recipe.hasMeasurement())) {
            std::string why;
            if (!reliefProblem_.empty() || !preparePlan(foot, report, plan, why)) {
                return fail(reliefProblem_.empty() ? why : reliefProblem_);
            }
        }
        // The landmarks, and the elements placed on them, before anything is decided too:
        // a pad or a bar on a foot without a head line fails the foot here.
        std::unique_ptr<ElementRaise> elements;
        if (!prescriptionProblem_.empty()) {
            return fail(prescriptionProblem_);
        }
        if (footPrescription_.wanted) {
            elements = std::make_unique<ElementRaise>();
            std::string why;
            if (!computeElements(state.footGrid, footPrescription_.settings, footPrescription_.shifts,
                                 plan ? &plan->placed : nullptr, options.scan.levelMm, *elements,
                                 why)) {
                return fail("cannot place the prescription's elements on it: " + why);
            }
            report["landmarks"] = landmarksReport(elements->frame);
        }
        if (options.info) {
            report["ok"] = true;
            return result;
        }

        InsoleSettings settings = restoredSettings(state);
        settings.width = options.width.value_or(settings.width);
        settings.length = options.length.value_or(settings.length);
        settings.heightRatio = options.heightRatio;
        settings.limit = options.limit;
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
        const ElementRaise* active = activeElements(elements.get());
        if (!options.elements.preview.empty() && !active) {
            return fail("--elements-preview pictures the elements, and none is on for this foot: "
                        "add --met-pad-mm, --met-bar-mm, --arch-mm, --heel-cup-mm or "
                        "--rearfoot-post-deg");
        }
        std::unique_ptr<DrawnRelief> drawn;
        std::unique_ptr<DrawnElements> drawnElements;
        if (plan) {
            drawn = std::make_unique<DrawnRelief>();
        }
        if (active) {
            drawnElements = std::make_unique<DrawnElements>();
        }
        if (plan || active) {
            recomputeHeights(state, settings, relief, drawn.get(), active, drawnElements.get());
        } else {
            recomputeHeights(state, settings);
        }
        const HeightRange heights = heightRange(state.heightGrid);
        report["heights"] = {{"lowest", heights.lowest}, {"highest", heights.highest}};
        if (plan) {
            report["zones"] = zonesReport(*drawn);
            report["relief"]["cappedCells"] = drawn->cappedCells;
        }
        if (active) {
            report["elements"] = elementsReport(*active);
            report["elementsCappedCells"] = drawnElements->cappedCells;
        }

        // Every name is settled, and the solid made, before anything is written, so that a
        // refused name or a foot without a solid leaves no file of this foot behind.
        const bool several = options.feet.size() > 1;
        std::string insole;
        std::string preview;
        std::string stl;
        std::string threeMf;
        std::string footImage;
        std::string pressurePreview;
        std::string elementsPreview;
        std::string gcode;
        std::string why;
        const auto take = [&](const std::string& target, const char* extension, std::string& taken) {
            return target.empty() ||
                   claim(finalName(outputName(target, foot, several, extension), extension), foot,
                         taken, why);
        };
        if (!take(options.out, ".bmp", insole) || !take(options.preview, ".png", preview) ||
            !take(options.stl, ".stl", stl) || !take(options.threeMf, ".3mf", threeMf) ||
            !take(options.gcode, ".nc", gcode) ||
            // Only a scan has a foot image the program made; an image foot is its own file.
            (scan.isScan && !take(options.footImage, ".png", footImage)) ||
            (plan && !take(options.pressure.preview, ".png", pressurePreview)) ||
            (active && !take(options.elements.preview, ".png", elementsPreview))) {
            return fail(why);
        }
        if (!options.footImage.empty() && !scan.isScan) {
            traceFileWarning("No foot image made for", foot.c_str(),
                             "it is an image, its own foot image; only scans make one");
        }
        SolidMesh solid;
        if (!stl.empty() || !threeMf.empty()) {
            solid = buildSolid(state.heightGrid, options.scan.levelMm);
            if (solid.empty()) {
                return fail("the insole has no foot cell at these settings, so there is no solid to make");
            }
            report["solid"] = solidReport(measureSolid(solid), options.scan.levelMm);
        }
        // The path is planned, and the file made, by what the milling window uses, so that
        // both give the same bytes for the same insole and setup.
        Toolpath path;
        const GcodeRecipe recipe{footName, settings.width, settings.length,
                                 settings.heightRatio, settings.limit, options.scan.levelMm,
                                 reliefRecipe(plan.get()), elementsRecipe(active)};
        if (!gcode.empty()) {
            if (!footMillProblem_.empty()) {
                return fail(footMillProblem_);
            }
            std::string refusal;
            MillWaysOut ways;
            if (!planToolpath(state.heightGrid, options.scan.levelMm, footMill_, path, refusal, &ways)) {
                const std::string wayOut = millWaysOutText(ways, "--blank-mm", "--flute-mm", "");
                return fail("cannot mill it: " + refusal + (wayOut.empty() ? "" : "; mill it with " + wayOut));
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
            SolidRecord record{footName, settings, options.scan.levelMm, reliefRecipe(plan.get()),
                               elementsRecipe(active), {}};
            JobRecipe controls;
            controls.footFile = footName;
            controls.settings = settings;
            controls.scan = options.scan;
            controls.relief = {footRelief_.parameters, reliefOn_};
            controls.reading = footRelief_.reading;
            controls.correction = footRelief_.correction;
            controls.accept = footRelief_.accept;
            controls.elements = footPrescription_.settings;
            controls.shifts = footPrescription_.shifts;
            controls.milling = millRecipeValues(footMill_);
            record.parts = jobParts(jobSourcesOf(state, plan.get(), controls));
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
        if (!elementsPreview.empty()) {
            auto outlines = std::make_unique<Grid>();
            drawElementOutlines(*active, state, *outlines);
            if (!writeElementsPreview(drawnElements->raise, *outlines, state.heightGrid,
                                      elementsPreview.c_str())) {
                return fail("");
            }
            report["elementsPreview"] = elementsPreview;
        }
        report["ok"] = true;
        return result;
    }

private:
    // Reads the job and takes its recipe as the defaults of this foot: every option the command
    // line left unset takes the recipe's setting. Returns false, saying why, for a job that
    // cannot be read or whose milling setup cannot be taken.
    bool openJob(const char* path, std::string& why)
    {
        auto job = std::make_unique<Job>();
        if (!readJobFile(path, *job, why)) {
            return false;
        }
        const JobRecipe& recipe = job->recipe;
        MillSetup recorded;
        if (!millSetupOfRecipe(recipe.milling, recorded, why)) {
            why = "its recipe cannot be taken: " + why;
            return false;
        }
        jobOptions_ = options_;
        BatchOptions& o = jobOptions_;
        const BatchOptions::Given& given = options_.given;
        o.width = options_.width.value_or(recipe.settings.width);
        o.length = options_.length.value_or(recipe.settings.length);
        o.heightRatio = given.height ? options_.heightRatio : recipe.settings.heightRatio;
        o.limit = given.limit ? options_.limit : recipe.settings.limit;
        o.scan.levelMm = given.level ? options_.scan.levelMm : recipe.scan.levelMm;
        o.scan.units = given.scanUnits ? options_.scan.units : recipe.scan.units;
        o.scan.up = given.scanUp ? options_.scan.up : recipe.scan.up;
        for (int i = 0; i < MILL_PARAMETER_COUNT; ++i) {
            if (!o.mill[i]) {
                o.mill[i] = millValue(recorded, MILL_PARAMETERS[i]);
            }
        }
        footMillProblem_.clear();
        footMill_ = MillSetup{};
        settleMill(o.mill, footMill_, footMillProblem_);
        const BatchPressure& p = options_.pressure;
        ReliefParameters& parameters = footRelief_.parameters;
        parameters.thresholdKpa = p.thresholdKpa.value_or(recipe.relief.parameters.thresholdKpa);
        parameters.depthMm = p.depthMm.value_or(recipe.relief.parameters.depthMm);
        parameters.marginMm = p.marginMm.value_or(recipe.relief.parameters.marginMm);
        parameters.widthMm = p.widthMm.value_or(recipe.relief.parameters.widthMm);
        footRelief_.reading.pitchMm = p.pitchMm.value_or(recipe.reading.pitchMm);
        if (!p.units) {
            footRelief_.reading.units = recipe.reading.units;
        }
        if (!p.shift) {
            footRelief_.correction.shiftXMm = recipe.correction.shiftXMm;
            footRelief_.correction.shiftYMm = recipe.correction.shiftYMm;
        }
        footRelief_.correction.turnDegrees = p.turnDegrees.value_or(recipe.correction.turnDegrees);
        // A switch on the command line can only turn its setting on.
        footRelief_.correction.mirror = p.mirror || recipe.correction.mirror;
        footRelief_.reading.heelFirst = p.heelFirst || recipe.reading.heelFirst;
        footRelief_.accept = p.accept || recipe.accept;
        reliefOn_ = recipe.relief.on;
        takeRecipeElements(recipe);
        job_ = std::move(job);
        active_ = &jobOptions_;
        return true;
    }

    // The recipe's prescription under the element options: an element option given sets its
    // value and turns the element on (as a switch, it can only turn one on), the side and the
    // shifts given replace the recorded ones.
    void takeRecipeElements(const JobRecipe& recipe)
    {
        const BatchElements& e = options_.elements;
        const ElementSettings& given = prescription_.settings;
        const ElementShifts& givenShifts = prescription_.shifts;
        ElementSettings s = recipe.elements;
        ElementShifts h = recipe.shifts;
        if (e.side) {
            s.side = given.side;
        }
        if (e.metPadMm) {
            s.metPad = true;
            s.metPadHeightMm = given.metPadHeightMm;
        }
        if (e.metPadOffsetMm) {
            s.metPadOffsetMm = given.metPadOffsetMm;
        }
        if (e.metPadShift) {
            h.metPadAlongMm = givenShifts.metPadAlongMm;
            h.metPadAcrossMm = givenShifts.metPadAcrossMm;
        }
        if (e.metBarMm) {
            s.metBar = true;
            s.metBarHeightMm = given.metBarHeightMm;
        }
        if (e.metBarShiftMm) {
            h.metBarAlongMm = givenShifts.metBarAlongMm;
        }
        if (e.archMm) {
            s.arch = true;
            s.archHeightMm = given.archHeightMm;
        }
        if (e.heelCupMm) {
            s.heelCup = true;
            s.heelCupHeightMm = given.heelCupHeightMm;
        }
        if (e.heelCupWidthMm) {
            s.heelCupWidthMm = given.heelCupWidthMm;
        }
        if (e.rearfootPostDegrees) {
            s.rearfootPost = true;
            s.rearfootPostDegrees = given.rearfootPostDegrees;
        }
        footPrescription_.settings = s;
        footPrescription_.shifts = h;
        footPrescription_.wanted = s.anyOn() || e.side.has_value();
    }

    // Finds the foot's measurement, reads it, places it on the foot image and works out the
    // relief, reporting each step. A foot without a measurement in the folder gets no plan
    // and is made without relief, saying so; a measurement that cannot be read or placed
    // fails the foot with the reader's or the placement's reason.
    bool preparePlan(const std::string& foot, json& report, std::unique_ptr<ReliefPlan>& plan,
                     std::string& why)
    {
        const BatchOptions& options = *active_;
        auto made = std::make_unique<ReliefPlan>();
        made->parameters = footRelief_.parameters;
        made->on = reliefOn_;
        // The name the measurement goes by in reports and refusals.
        std::string measurement;
        if (job_ && options.pressure.measurement.empty()) {
            // The job's own measurement, through the same reader as a file; the files it
            // makes record the original file's name.
            measurement = partTraceName(foot, job_->measurementPart);
            if (!readPressureBytes(job_->measurement.data(), job_->measurement.size(),
                                   measurement.c_str(), footRelief_.reading, made->map, why) ||
                !isFootMeasurement(made->map, measurement.c_str(), why)) {
                return false;
            }
            made->measurementFile = job_->recipe.pressureFile;
            made->measurementBytes = std::make_shared<const std::vector<std::uint8_t>>(job_->measurement);
        } else {
            if (!measurementOf(options.pressure.measurement, foot, measurement, why)) {
                return false;
            }
            if (measurement.empty()) {
                const std::string folder = options.pressure.measurement;
                const std::string reason =
                    "no measurement named " + stem(foot) + ".asf, .csv or .txt in " + folder +
                    "; made without relief" +
                    (options.pressure.preview.empty() ? "" : " and without a pressure preview");
                traceFileWarning("No pressure measurement for", foot.c_str(), reason.c_str());
                report["measurement"] = nullptr;
                return true;
            }
            measurementId_ = fileId(measurement);
            made->measurementFile = measurement;
            auto bytes = std::make_shared<std::vector<std::uint8_t>>();
            if (!readPressureFile(measurement.c_str(), footRelief_.reading, made->map, why, bytes.get())) {
                return false;
            }
            made->measurementBytes = std::move(bytes);
        }
        report["measurement"] = measurementReport(measurement, made->map);
        if (!placeRelief(*made, state_->footGrid, footRelief_.correction, options.scan.levelMm, why)) {
            why = "cannot place the pressure measurement " + measurement + " on it: " + why;
            return false;
        }
        report["placement"] = placementReport(made->placement, made->correction);
        // A relief around the wrong spots leaves the real peaks where they were: a doubtful
        // placement is not relieved unless the person says it is right.
        if (made->placement.doubtful() && !footRelief_.accept) {
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
    // The foot being made: its job when it is one, the options it is made with (the batch's,
    // or the job's recipe under them), and the relief's and the milling's values that follow.
    std::unique_ptr<Job> job_;
    BatchOptions jobOptions_;
    const BatchOptions* active_ = nullptr;
    BatchRelief footRelief_;
    MillSetup footMill_;
    std::string footMillProblem_;
    bool reliefOn_ = true;
    BatchPrescription prescription_;
    // The prescription of the foot being made: the options', or a job's recipe under them.
    BatchPrescription footPrescription_;
    // Why the element options cannot be taken (when the caller skipped prepareBatch).
    std::string prescriptionProblem_;
};

}  // namespace

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
