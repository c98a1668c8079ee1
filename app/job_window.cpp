#include "app/job_window.h"

#include "app/main_window.h"
#include "app/mill_window.h"
#include "app/prescription_window.h"
#include "app/pressure_panel.h"
#include "app/solid_window.h"
#include "base/settings.h"
#include "base/trace.h"
#include "imagefile/file_names.h"
#include "imagefile/loaded_foot.h"
#include "insole/element_settings.h"
#include "insole/job_file.h"
#include "mill/mill_settings.h"
#include "view/gl_display_image.h"
#include "view/insole_listener.h"

#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Value_Slider.H>

#include <memory>

namespace {

bool refuse(const char* job, const std::string& why)
{
    traceFileProblem("Cannot open the job", job, why.c_str());
    return false;
}

std::string sizeRange(const char* what, double value, const SliderSetting& range, int foot)
{
    return std::string("its recipe's ") + what + " " + formatDecimal(value) + " mm is outside " +
           formatDecimal(range.minimum) + " to " + formatDecimal(range.maximum) +
           " mm, the range of its foot of " + std::to_string(foot) + " mm";
}

}  // namespace

JobRecipe windowRecipe()
{
    JobRecipe recipe = windowShape();
    recipe.milling = millRecipeValues(currentMillSetup());
    return recipe;
}

JobRecipe windowShape()
{
    JobRecipe recipe;
    recipe.footFile = loadedFootName();
    recipe.settings.width = widthSlider->value();
    recipe.settings.length = lengthSlider->value();
    recipe.settings.heightRatio = heightSlider->value();
    recipe.settings.limit = limitButton->value() == 1;
    recipe.scan.levelMm = currentLevelMm();
    recipe.relief = reliefControls();
    recipe.reading = matrixReading();
    if (const ReliefPlan* plan = insoleView->reliefPlan.get()) {
        recipe.correction = plan->correction;
        // The relief on screen is the one the person sees, warnings and all: a doubtful
        // placement relieved here is accepted, so that the job makes it again as it is here.
        recipe.accept = plan->accepted || plan->placement.doubtful();
    }
    recipe.elements = insoleView->elementPlan->settings;
    recipe.shifts = insoleView->elementPlan->shifts;
    return recipe;
}

bool openJob(const char* chosenUtf8Name)
{
    char name[PATH_BUFFER_SIZE];
    if (!copyChosenName(chosenUtf8Name, name)) {
        return false;
    }
    utf8ToAnsi(name);
    const std::string shown = fileNameOf(chosenUtf8Name);
    auto job = std::make_unique<Job>();
    std::string why;
    if (!readJobFile(name, *job, why)) {
        return refuse(name, why);
    }
    MillSetup setup;
    if (!millSetupOfRecipe(job->recipe.milling, setup, why)) {
        return refuse(name, "its recipe cannot be taken: " + why);
    }
    JobSources sources;
    sources.recipe = std::move(job->recipe);
    sources.foot = std::make_shared<const std::vector<std::uint8_t>>(std::move(job->foot));
    if (sources.recipe.hasMeasurement()) {
        sources.measurement = std::make_shared<const std::vector<std::uint8_t>>(std::move(job->measurement));
    }
    const JobRecipe& recipe = sources.recipe;
    JobTaking taking;
    taking.refusalName = name;
    taking.footName = partTraceName(shown, job->footPart);
    taking.measurementName = partTraceName(shown, job->measurementPart);
    taking.milling = &setup;
    taking.jobUtf8Name = chosenUtf8Name;
    taking.success = "Opened job " + shown + ": foot " + recipe.footFile +
                     (recipe.hasMeasurement() ? ", measurement " + recipe.pressureFile : std::string());
    return takeJob(sources, taking);
}

bool takeJob(const JobSources& sources, const JobTaking& taking)
{
    const JobRecipe& recipe = sources.recipe;
    const char* name = taking.refusalName.c_str();
    std::string why;
    if (!sources.foot) {
        return refuse(name, "it holds no foot");
    }

    // The foot, through the same door as a file, into a state of its own: the one on screen
    // stays until everything has been taken.
    const unsigned long problemsBefore = problemLinesWritten();
    auto foot = std::make_unique<InsoleState>();
    if (!loadFootFromMemory(*foot, sources.foot, taking.footName.c_str(), recipe.scan)) {
        return false;  // the door has said why, naming the job and its part
    }
    const SliderSetting widthRange = widthSliderSetting(foot->footWidth);
    const SliderSetting lengthRange = lengthSliderSetting(foot->footLength);
    if (!(recipe.settings.width >= widthRange.minimum && recipe.settings.width <= widthRange.maximum)) {
        return refuse(name, sizeRange("width", recipe.settings.width, widthRange, foot->footWidth));
    }
    if (!(recipe.settings.length >= lengthRange.minimum && recipe.settings.length <= lengthRange.maximum)) {
        return refuse(name, sizeRange("length", recipe.settings.length, lengthRange, foot->footLength));
    }
    std::unique_ptr<ReliefPlan> plan;
    if (recipe.hasMeasurement() && sources.measurement) {
        plan = std::make_unique<ReliefPlan>();
        const char* part = taking.measurementName.c_str();
        if (!readPressureBytes(sources.measurement->data(), sources.measurement->size(), part,
                               recipe.reading, plan->map, why) ||
            !isFootMeasurement(plan->map, part, why)) {
            return refuse(name, "its measurement cannot be read: " + why);
        }
        plan->measurementFile = recipe.pressureFile;
        plan->measurementBytes = sources.measurement;
        plan->parameters = recipe.relief.parameters;
        plan->on = recipe.relief.on;
        plan->accepted = recipe.accept;
        // An undo step mostly brings back the measurement on screen, placed as it is: what
        // was worked out for it is taken instead of searched for again.
        if (!placeReliefReusing(*plan, foot->footGrid, recipe.correction, recipe.scan.levelMm,
                                insoleView->reliefPlan.get(), insoleView->footGrid, why)) {
            return refuse(name, "its measurement cannot be placed on its foot: " + why);
        }
    }

    // Everything is taken: the controls as recorded, the prescription with this foot's hand
    // shifts, then the foot and its measurement. The elements are kept from one run to the next
    // as when they are set by hand.
    ElementPlan& elements = *insoleView->elementPlan;
    elements.settings = recipe.elements;
    elements.shifts = recipe.shifts;
    elements.current = false;
    elements.problem.clear();
    writeElementSettings(ELEMENT_SETTINGS_FILE, recipe.elements);
    takeLevelMm(recipe.scan.levelMm);
    takeReliefControls(recipe.relief, recipe.reading, recipe.correction);
    if (taking.milling) {
        takeMillSetup(*taking.milling);
    }
    if (limitButton->value() != (recipe.settings.limit ? 1 : 0)) {
        limitButton->value(recipe.settings.limit ? 1 : 0);
        writeLimitSetting(LIMIT_SETTINGS_FILE, limitButton->value());
    }
    insoleView->takeFoot(*foot);
    widthSlider->value(recipe.settings.width);
    lengthSlider->value(recipe.settings.length);
    heightSlider->value(recipe.settings.heightRatio);
    insoleView->displayWidth = displaySizeFor(recipe.settings.width, insoleView->footWidth, FOOT_COLUMNS);
    insoleView->displayLength = displaySizeFor(recipe.settings.length, insoleView->footLength, GRID_ROWS);
    insoleView->reliefPlan = std::move(plan);
    for (const std::string& warning :
         insoleView->reliefPlan ? insoleView->reliefPlan->placement.warnings : std::vector<std::string>{}) {
        traceFileWarning("Pressure measurement", recipe.pressureFile.c_str(), warning.c_str());
    }
    if (taking.jobUtf8Name) {
        rememberJobFoot(recipe.footFile, taking.jobUtf8Name);
    } else {
        rememberFootName(recipe.footFile);
    }
    if (problemLinesWritten() == problemsBefore && !taking.success.empty()) {
        traceSuccess(taking.success);
    }
    if (prescriptionWindow) {
        prescriptionWindow->showPrescription();
    }
    if (insoleChanged) {
        insoleChanged();
    }
    return true;
}
