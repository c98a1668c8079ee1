#include "mill/mill_setup.h"

#include <charconv>
#include <cmath>

namespace {

// A value as its shortest decimal ("0.05", "20000"), the same in every locale.
std::string shortest(double value)
{
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed).ptr;
    return std::string(text, end);
}

}  // namespace

MillParameterInfo millParameterInfo(MillParameter parameter, const MillSetup& setup)
{
    switch (parameter) {
    case MillParameter::Tool:
        return {"tool diameter", "--tool-mm", "mm", 1.0, 20.0, 6.0};
    case MillParameter::Stepover:
        // Beyond the radius the ball leaves ridges as high as the stepover is wide.
        return {"stepover", "--stepover-mm", "mm", 0.05, setup.toolMm / 2.0, 0.5};
    case MillParameter::Stepdown:
        return {"step-down", "--stepdown-mm", "mm", 0.2, 20.0, 2.0};
    case MillParameter::Allowance:
        return {"allowance", "--allowance-mm", "mm", 0.0, 3.0, 0.5};
    case MillParameter::Feed:
        return {"feed", "--feed", "mm/min", 10.0, 20000.0, 2000.0};
    case MillParameter::PlungeFeed:
        return {"plunge feed", "--plunge-feed", "mm/min", 10.0, 20000.0, 500.0};
    case MillParameter::Spindle:
        return {"spindle speed", "--rpm", "rpm", 1000.0, 60000.0, 14000.0};
    case MillParameter::Safe:
        return {"safe height", "--safe-mm", "mm", 1.0, 50.0, 5.0};
    case MillParameter::Flute:
        // Long enough for the blank of a thick insole with a relief (about 26 mm) and a
        // safe margin; shorter tools are set here.
        return {"flute length", "--flute-mm", "mm", 5.0, 100.0, 40.0};
    case MillParameter::Blank:
        return {"blank thickness", "--blank-mm", "mm", 0.0, setup.fluteMm, 0.0};
    }
    return {"", "", "", 0.0, 0.0, 0.0};
}

double& millValue(MillSetup& setup, MillParameter parameter)
{
    switch (parameter) {
    case MillParameter::Tool: return setup.toolMm;
    case MillParameter::Stepover: return setup.stepoverMm;
    case MillParameter::Stepdown: return setup.stepdownMm;
    case MillParameter::Allowance: return setup.allowanceMm;
    case MillParameter::Feed: return setup.feed;
    case MillParameter::PlungeFeed: return setup.plungeFeed;
    case MillParameter::Spindle: return setup.rpm;
    case MillParameter::Safe: return setup.safeMm;
    case MillParameter::Flute: return setup.fluteMm;
    case MillParameter::Blank: return setup.blankMm;
    }
    return setup.blankMm;
}

double millValue(const MillSetup& setup, MillParameter parameter)
{
    return millValue(const_cast<MillSetup&>(setup), parameter);
}

bool millSetupInRange(const MillSetup& setup, std::string& problem)
{
    for (MillParameter parameter : MILL_PARAMETERS) {
        const MillParameterInfo info = millParameterInfo(parameter, setup);
        const double value = millValue(setup, parameter);
        if (value >= info.minimum && value <= info.maximum) {
            continue;
        }
        problem = std::string(info.name) + " " + shortest(value) + " " + info.unit +
                  " is outside " + shortest(info.minimum) + " to " + shortest(info.maximum) + " " +
                  info.unit;
        if (parameter == MillParameter::Stepover) {
            problem += " (the tool's radius)";
        } else if (parameter == MillParameter::Blank) {
            problem += " (0 for automatic; no deeper than the flute length)";
        }
        return false;
    }
    return true;
}

double millDefaultBlankMm(double thickestMm)
{
    // A thickness of 18 mm reaches the toolpath as 18.000000000000004 (90 levels of 0.2 mm):
    // that is 20 mm, not 21.
    return std::ceil(thickestMm + 2.0 - 1e-6);
}
