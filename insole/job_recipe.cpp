#include "insole/job_recipe.h"

#include "base/settings.h"

#include <nlohmann/json.hpp>

#include <cmath>

namespace {

// Read in the file's own order, so that a recipe read back writes the same bytes.
using json = nlohmann::ordered_json;
using nlohmann::ordered_json;

// Deeper than this, JSON text is no recipe: the recipe nests two levels. The parser recurses
// once per level, so a crafted part of nested brackets must never reach it.
constexpr int MAX_RECIPE_DEPTH = 16;

struct UnitName {
    PressureUnit unit;
    const char* name;
};
constexpr UnitName UNIT_NAMES[] = {{PressureUnit::Kpa, "kPa"},
                                   {PressureUnit::Mpa, "MPa"},
                                   {PressureUnit::NewtonPerCm2, "N/cm2"},
                                   {PressureUnit::Psi, "PSI"}};

bool tooDeep(std::string_view text)
{
    int depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > MAX_RECIPE_DEPTH) {
                return true;
            }
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return false;
}

// Reads the members of one object of the recipe, saying what is wrong with the first bad one
// by its whole name ("relief.depthMm").
class Section {
public:
    Section(const json& parent, const char* name, std::string& why) : why_(why), prefix_(name)
    {
        const auto found = parent.find(name);
        if (found == parent.end()) {
            fail(std::string("has no ") + name);
        } else if (!found->is_object()) {
            fail(std::string(name) + " is not an object");
        } else {
            object_ = &*found;
        }
    }

    bool ok() const { return ok_; }

    void number(const char* key, double minimum, double maximum, double& value)
    {
        const json* member = find(key);
        if (!member) {
            return;
        }
        if (!member->is_number()) {
            fail(name(key) + " is not a number");
            return;
        }
        const double read = member->get<double>();
        if (!(read >= minimum && read <= maximum)) {
            fail(name(key) + " " + formatDecimal(read) + " is outside " + formatDecimal(minimum) +
                 " to " + formatDecimal(maximum));
            return;
        }
        value = read;
    }

    void flag(const char* key, bool& value)
    {
        const json* member = find(key);
        if (!member) {
            return;
        }
        if (!member->is_boolean()) {
            fail(name(key) + " is not true or false");
            return;
        }
        value = member->get<bool>();
    }

    // A string, or null for an empty one when `nullable`.
    void text(const char* key, bool nullable, std::string& value)
    {
        const json* member = find(key);
        if (!member) {
            return;
        }
        if (nullable && member->is_null()) {
            value.clear();
        } else if (member->is_string()) {
            value = member->get<std::string>();
        } else {
            fail(name(key) + " is not text");
        }
    }

    const json* object() const { return object_; }

    void fail(const std::string& what)
    {
        if (ok_) {
            why_ = what;
            ok_ = false;
        }
    }

private:
    std::string name(const char* key) const { return prefix_ + "." + key; }

    const json* find(const char* key)
    {
        if (!ok_ || !object_) {
            return nullptr;
        }
        const auto found = object_->find(key);
        if (found == object_->end()) {
            fail(prefix_ + " has no " + key);
            return nullptr;
        }
        return &*found;
    }

    std::string& why_;
    std::string prefix_;
    const json* object_ = nullptr;
    bool ok_ = true;
};

}  // namespace

const char* pressureUnitName(PressureUnit unit)
{
    for (const UnitName& u : UNIT_NAMES) {
        if (u.unit == unit) {
            return u.name;
        }
    }
    return "kPa";
}

std::string recipeJson(const JobRecipe& recipe)
{
    ordered_json root;
    root["format"] = recipe.format;
    root["version"] = recipe.version;
    root["files"] = {{"foot", recipe.footFile},
                     {"pressure", recipe.hasMeasurement() ? ordered_json(recipe.pressureFile)
                                                          : ordered_json(nullptr)}};
    const InsoleSettings& s = recipe.settings;
    root["insole"] = {{"widthMm", s.width},
                      {"lengthMm", s.length},
                      {"heightRatio", s.heightRatio},
                      {"limit", s.limit},
                      {"levelMm", recipe.scan.levelMm},
                      {"scanUnits", scanUnitsName(recipe.scan.units)},
                      {"scanUp", scanUpName(recipe.scan.up)}};
    const ReliefParameters& p = recipe.relief.parameters;
    root["relief"] = {{"on", recipe.relief.on},
                      {"thresholdKpa", p.thresholdKpa},
                      {"depthMm", p.depthMm},
                      {"marginMm", p.marginMm},
                      {"transitionMm", p.widthMm}};
    root["pressure"] = {{"pitchMm", recipe.reading.pitchMm},
                        {"units", pressureUnitName(recipe.reading.units)},
                        {"heelFirst", recipe.reading.heelFirst}};
    const PlacementCorrection& c = recipe.correction;
    root["placement"] = {{"shiftXMm", c.shiftXMm},
                         {"shiftYMm", c.shiftYMm},
                         {"turnDegrees", c.turnDegrees},
                         {"mirror", c.mirror},
                         {"accept", recipe.accept}};
    const ElementSettings& e = recipe.elements;
    const ElementShifts& h = recipe.shifts;
    root["elements"] = {{"side", sideChoiceName(e.side)},
                        {"metPad", e.metPad},
                        {"metPadHeightMm", e.metPadHeightMm},
                        {"metPadOffsetMm", e.metPadOffsetMm},
                        {"metPadAlongMm", h.metPadAlongMm},
                        {"metPadAcrossMm", h.metPadAcrossMm},
                        {"metBar", e.metBar},
                        {"metBarHeightMm", e.metBarHeightMm},
                        {"metBarAlongMm", h.metBarAlongMm},
                        {"arch", e.arch},
                        {"archHeightMm", e.archHeightMm},
                        {"heelCup", e.heelCup},
                        {"heelCupHeightMm", e.heelCupHeightMm},
                        {"heelCupWidthMm", e.heelCupWidthMm},
                        {"rearfootPost", e.rearfootPost},
                        {"rearfootPostDegrees", e.rearfootPostDegrees}};
    ordered_json milling = ordered_json::object();
    for (const auto& [key, value] : recipe.milling) {
        milling[key] = value;
    }
    root["milling"] = milling;
    // Names of files may hold any bytes: those that are not UTF-8 are replaced, not refused.
    return root.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

bool readRecipeJson(std::string_view text, JobRecipe& recipe, std::string& why)
{
    if (tooDeep(text)) {
        why = "the recipe nests deeper than a recipe does";
        return false;
    }
    const json root = json::parse(text.begin(), text.end(), nullptr, false);
    if (root.is_discarded() || !root.is_object()) {
        why = "the recipe is not a JSON object";
        return false;
    }
    const auto format = root.find("format");
    if (format == root.end() || !format->is_number_integer()) {
        why = "the recipe has no whole-number format";
        return false;
    }
    if (format->get<long long>() != JOB_FORMAT) {
        why = "the recipe's format " + std::to_string(format->get<long long>()) +
              (format->get<long long>() > JOB_FORMAT ? " is newer than this Tarsola reads (" +
                                                           std::to_string(JOB_FORMAT) +
                                                           "); open it with a newer Tarsola"
                                                     : " is unknown");
        return false;
    }

    JobRecipe read;
    read.format = JOB_FORMAT;
    const auto version = root.find("version");
    if (version == root.end() || !version->is_string()) {
        why = "the recipe names no version";
        return false;
    }
    read.version = version->get<std::string>();

    Section files(root, "files", why);
    files.text("foot", false, read.footFile);
    files.text("pressure", true, read.pressureFile);
    if (files.ok() && read.footFile.empty()) {
        files.fail("files.foot is empty");
    }
    if (!files.ok()) {
        return false;
    }

    Section insole(root, "insole", why);
    InsoleSettings& s = read.settings;
    insole.number("widthMm", 1.0, MAX_JOB_SIZE_MM, s.width);
    insole.number("lengthMm", 1.0, MAX_JOB_SIZE_MM, s.length);
    insole.number("heightRatio", 0.1, 2.0, s.heightRatio);
    insole.flag("limit", s.limit);
    insole.number("levelMm", MIN_LEVEL_MM, MAX_LEVEL_MM, read.scan.levelMm);
    std::string units;
    std::string up;
    insole.text("scanUnits", false, units);
    insole.text("scanUp", false, up);
    if (insole.ok() && !parseScanUnits(units, read.scan.units)) {
        insole.fail("insole.scanUnits \"" + units + "\" is none of auto, mm, cm and m");
    }
    if (insole.ok() && !parseScanUp(up, read.scan.up)) {
        insole.fail("insole.scanUp \"" + up + "\" is none of +z, -z, +y, -y, +x and -x");
    }
    if (!insole.ok()) {
        return false;
    }

    Section relief(root, "relief", why);
    ReliefParameters& p = read.relief.parameters;
    relief.flag("on", read.relief.on);
    relief.number("thresholdKpa", MIN_RELIEF_KPA, MAX_RELIEF_KPA, p.thresholdKpa);
    relief.number("depthMm", MIN_RELIEF_DEPTH_MM, MAX_RELIEF_DEPTH_MM, p.depthMm);
    relief.number("marginMm", MIN_RELIEF_MARGIN_MM, MAX_RELIEF_MARGIN_MM, p.marginMm);
    relief.number("transitionMm", MIN_RELIEF_WIDTH_MM, MAX_RELIEF_WIDTH_MM, p.widthMm);
    if (!relief.ok()) {
        return false;
    }

    Section pressure(root, "pressure", why);
    pressure.number("pitchMm", MIN_PRESSURE_PITCH_MM, MAX_PRESSURE_PITCH_MM, read.reading.pitchMm);
    std::string unitName;
    pressure.text("units", false, unitName);
    pressure.flag("heelFirst", read.reading.heelFirst);
    if (pressure.ok() && !pressureUnitFromName(unitName, read.reading.units)) {
        pressure.fail("pressure.units \"" + unitName + "\" is none of kPa, MPa, N/cm2 and PSI");
    }
    if (!pressure.ok()) {
        return false;
    }

    Section placement(root, "placement", why);
    PlacementCorrection& c = read.correction;
    placement.number("shiftXMm", -MAX_HAND_SHIFT_MM, MAX_HAND_SHIFT_MM, c.shiftXMm);
    placement.number("shiftYMm", -MAX_HAND_SHIFT_MM, MAX_HAND_SHIFT_MM, c.shiftYMm);
    placement.number("turnDegrees", -MAX_HAND_TURN_DEGREES, MAX_HAND_TURN_DEGREES, c.turnDegrees);
    placement.flag("mirror", c.mirror);
    placement.flag("accept", read.accept);
    if (!placement.ok()) {
        return false;
    }

    // Jobs written before the elements were recorded hold none: every element off.
    if (root.contains("elements")) {
        Section elements(root, "elements", why);
        ElementSettings& e = read.elements;
        ElementShifts& h = read.shifts;
        std::string side;
        elements.text("side", false, side);
        if (elements.ok() && !parseSideChoice(side, e.side)) {
            elements.fail("elements.side \"" + side + "\" is none of auto, left and right");
        }
        // Any finite number first; the elements' own ranges are checked below, in their words.
        constexpr double ANY = 1e300;
        elements.flag("metPad", e.metPad);
        elements.number("metPadHeightMm", -ANY, ANY, e.metPadHeightMm);
        elements.number("metPadOffsetMm", -ANY, ANY, e.metPadOffsetMm);
        elements.number("metPadAlongMm", -ANY, ANY, h.metPadAlongMm);
        elements.number("metPadAcrossMm", -ANY, ANY, h.metPadAcrossMm);
        elements.flag("metBar", e.metBar);
        elements.number("metBarHeightMm", -ANY, ANY, e.metBarHeightMm);
        elements.number("metBarAlongMm", -ANY, ANY, h.metBarAlongMm);
        elements.flag("arch", e.arch);
        elements.number("archHeightMm", -ANY, ANY, e.archHeightMm);
        elements.flag("heelCup", e.heelCup);
        elements.number("heelCupHeightMm", -ANY, ANY, e.heelCupHeightMm);
        elements.number("heelCupWidthMm", -ANY, ANY, e.heelCupWidthMm);
        elements.flag("rearfootPost", e.rearfootPost);
        elements.number("rearfootPostDegrees", -ANY, ANY, e.rearfootPostDegrees);
        std::string problem;
        if (elements.ok() && (!elementSettingsValid(e, problem) || !elementShiftsValid(h, problem))) {
            elements.fail("elements: " + problem);
        }
        if (!elements.ok()) {
            return false;
        }
    }

    Section milling(root, "milling", why);
    if (!milling.ok()) {
        return false;
    }
    for (const auto& [key, value] : milling.object()->items()) {
        if (!value.is_number()) {
            why = "milling." + key + " is not a number";
            return false;
        }
        const double number = value.get<double>();
        if (!std::isfinite(number)) {
            why = "milling." + key + " is not a finite number";
            return false;
        }
        read.milling.emplace_back(key, number);
    }

    recipe = std::move(read);
    return true;
}
