#include "pressure/relief_settings.h"

#include "base/settings.h"

#include <cstdio>
#include <sstream>
#include <string>

namespace {

// The longest settings file read: a few short lines.
constexpr std::size_t MAX_SETTINGS_BYTES = 4096;

// Takes the value when it keeps the parameters valid, one parameter at a time.
void take(ReliefParameters& parameters, double ReliefParameters::*field, double value)
{
    ReliefParameters tried = parameters;
    tried.*field = value;
    std::string problem;
    if (reliefParametersValid(tried, problem)) {
        parameters = tried;
    }
}

}  // namespace

ReliefSettings readReliefSettings(const char* path)
{
    ReliefSettings settings;
    std::FILE* file = std::fopen(path, "rb");
    if (!file) {
        return settings;
    }
    std::string text(MAX_SETTINGS_BYTES, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), file));
    std::fclose(file);

    std::istringstream lines(text);
    std::string line;
    double v = 0.0;
    // Line by line: a damaged line must not shift the key and value of the lines after it.
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string key;
        std::string value;
        std::string more;
        if (!(words >> key >> value) || (words >> more) || !parseDecimal(value, v)) {
            continue;
        }
        if (key == "relief" && (v == 0.0 || v == 1.0)) {
            settings.on = v == 1.0;
        } else if (key == "threshold_kpa") {
            take(settings.parameters, &ReliefParameters::thresholdKpa, v);
        } else if (key == "depth_mm") {
            take(settings.parameters, &ReliefParameters::depthMm, v);
        } else if (key == "margin_mm") {
            take(settings.parameters, &ReliefParameters::marginMm, v);
        } else if (key == "transition_mm") {
            take(settings.parameters, &ReliefParameters::widthMm, v);
        }
    }
    return settings;
}

bool writeReliefSettings(const char* path, const ReliefSettings& settings)
{
    const ReliefParameters& p = settings.parameters;
    return writeSettingsText(path, std::string("relief ") + (settings.on ? "1" : "0") +
                                       "\nthreshold_kpa " + formatDecimal(p.thresholdKpa) +
                                       "\ndepth_mm " + formatDecimal(p.depthMm) + "\nmargin_mm " +
                                       formatDecimal(p.marginMm) + "\ntransition_mm " +
                                       formatDecimal(p.widthMm) + "\n");
}
