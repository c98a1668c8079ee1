#include "pressure/relief_settings.h"

#include "base/settings.h"

#include <string>

namespace {

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
    readSettingLines(path, [&settings](std::string_view key, double v) {
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
    });
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
