#include "mill/mill_settings.h"

#include "base/settings.h"

#include <optional>

namespace {

// Sets the parameter when the whole setup stays in range; otherwise `problem` says why.
bool tryValue(MillSetup& setup, MillParameter parameter, double value, std::string& problem)
{
    MillSetup tried = setup;
    millValue(tried, parameter) = value;
    if (!millSetupInRange(tried, problem)) {
        return false;
    }
    setup = tried;
    return true;
}

}  // namespace

std::string millSettingKey(MillParameter parameter)
{
    std::string_view option = millParameterInfo(parameter, MillSetup{}).option;
    while (!option.empty() && option.front() == '-') {
        option.remove_prefix(1);
    }
    return std::string(option);
}

MillSetup readMillSettings(const char* path)
{
    MillSetup setup;
    std::optional<double> values[MILL_PARAMETER_COUNT];
    readSettingLines(path, [&values](std::string_view key, double value) {
        for (int i = 0; i < MILL_PARAMETER_COUNT; ++i) {
            if (key == millSettingKey(MILL_PARAMETERS[i])) {
                values[i] = value;  // a key given twice: the last line counts
            }
        }
    });
    std::string problem;
    for (int i = 0; i < MILL_PARAMETER_COUNT; ++i) {
        if (values[i]) {
            tryValue(setup, MILL_PARAMETERS[i], *values[i], problem);
        }
    }
    return setup;
}

bool writeMillSettings(const char* path, const MillSetup& setup)
{
    std::string problem;
    if (!millSetupInRange(setup, problem)) {
        return false;
    }
    std::string text;
    for (MillParameter parameter : MILL_PARAMETERS) {
        text += millSettingKey(parameter) + " " + formatDecimal(millValue(setup, parameter)) + "\n";
    }
    return writeSettingsText(path, text);
}

std::string formatMillValue(MillParameter parameter, double value)
{
    if (parameter == MillParameter::Blank && value == 0.0) {
        return "";
    }
    return formatDecimal(value);
}

bool takeMillEntry(MillSetup& setup, MillParameter parameter, std::string_view entry,
                   std::string& why)
{
    const MillParameterInfo info = millParameterInfo(parameter, setup);
    const std::string range =
        formatDecimal(info.minimum) + " to " + formatDecimal(info.maximum) + " " + info.unit;
    double value = 0.0;
    if (parameter == MillParameter::Blank &&
        entry.find_first_not_of(" \t\r\n") == std::string_view::npos) {
        value = 0.0;
    } else if (!parseDecimal(entry, value) || !(value >= info.minimum && value <= info.maximum)) {
        why = parameter == MillParameter::Blank
                  ? "it must be empty (automatic) or a number from " + range
                  : "it must be a number from " + range;
        return false;
    }
    // -0 is 0 to the range check, and shown as the automatic blank; keep it a plain 0.
    if (value == 0.0) {
        value = 0.0;
    }
    std::string problem;
    if (!tryValue(setup, parameter, value, problem)) {
        why = "then the " + problem;
        return false;
    }
    return true;
}

std::vector<std::pair<std::string, double>> millRecipeValues(const MillSetup& setup)
{
    std::vector<std::pair<std::string, double>> values;
    for (MillParameter parameter : MILL_PARAMETERS) {
        values.emplace_back(millSettingKey(parameter), millValue(setup, parameter));
    }
    return values;
}

bool millSetupOfRecipe(const std::vector<std::pair<std::string, double>>& values, MillSetup& setup,
                       std::string& why)
{
    std::optional<double> found[MILL_PARAMETER_COUNT];
    for (const auto& [key, value] : values) {
        int index = -1;
        for (int i = 0; i < MILL_PARAMETER_COUNT; ++i) {
            if (key == millSettingKey(MILL_PARAMETERS[i])) {
                index = i;
            }
        }
        if (index < 0) {
            why = "milling." + key + " is no setting of the milling setup";
            return false;
        }
        found[index] = value;
    }
    MillSetup read;
    for (int i = 0; i < MILL_PARAMETER_COUNT; ++i) {
        if (!found[i]) {
            why = "milling has no " + millSettingKey(MILL_PARAMETERS[i]);
            return false;
        }
        millValue(read, MILL_PARAMETERS[i]) = *found[i];
    }
    // The whole setup at once: a stepover is checked against the recipe's own tool.
    std::string problem;
    if (!millSetupInRange(read, problem)) {
        why = "milling: " + problem;
        return false;
    }
    setup = read;
    return true;
}
