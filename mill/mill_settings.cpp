#include "mill/mill_settings.h"

#include "base/settings.h"

#include <charconv>
#include <cstdio>
#include <optional>

namespace {

// The longest settings file read: ten short lines.
constexpr std::size_t MAX_SETTINGS_BYTES = 4096;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// The shortest fixed decimal that reads back as exactly this value: "0.05", "20000".
std::string shortest(double value)
{
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed).ptr;
    return std::string(text, end);
}

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
    std::FILE* file = std::fopen(path, "rb");
    if (!file) {
        return setup;
    }
    std::string text(MAX_SETTINGS_BYTES, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), file));
    std::fclose(file);

    std::optional<double> values[MILL_PARAMETER_COUNT];
    std::string_view rest(text);
    while (!rest.empty()) {
        const std::size_t newline = rest.find('\n');
        const std::string_view line = trimmed(rest.substr(0, newline));
        rest.remove_prefix(newline == std::string_view::npos ? rest.size() : newline + 1);
        std::size_t gap = 0;
        while (gap < line.size() && !isBlank(line[gap])) {
            ++gap;
        }
        const std::string_view key = line.substr(0, gap);
        double value = 0.0;
        if (!parseDecimal(line.substr(gap), value)) {
            continue;
        }
        for (int i = 0; i < MILL_PARAMETER_COUNT; ++i) {
            if (key == millSettingKey(MILL_PARAMETERS[i])) {
                values[i] = value;  // a key given twice: the last line counts
            }
        }
    }
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
        text += millSettingKey(parameter) + " " + shortest(millValue(setup, parameter)) + "\n";
    }
    return writeSettingsText(path, text);
}

std::string formatMillValue(MillParameter parameter, double value)
{
    if (parameter == MillParameter::Blank && value == 0.0) {
        return "";
    }
    return shortest(value);
}

bool takeMillEntry(MillSetup& setup, MillParameter parameter, std::string_view entry,
                   std::string& why)
{
    const MillParameterInfo info = millParameterInfo(parameter, setup);
    const std::string range = shortest(info.minimum) + " to " + shortest(info.maximum) + " " +
                              info.unit;
    const std::string_view text = trimmed(entry);
    double value = 0.0;
    if (parameter == MillParameter::Blank && text.empty()) {
        value = 0.0;
    } else if (!parseDecimal(text, value) || !(value >= info.minimum && value <= info.maximum)) {
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
