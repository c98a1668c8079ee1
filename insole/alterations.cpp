#include "insole/alterations.h"

#include "base/settings.h"

#include <algorithm>

std::string insoleAlterations(const ReliefPlan* plan, const DrawnRelief& drawn)
{
    std::string text;
    // What the last recompute drew, as the heights have it: a relief switched on since, or
    // cleared with its foot, counts from the recompute that makes it so. A relief whose zones
    // cover the whole foot raises no cell and leaves the plain insole.
    const bool raised =
        std::any_of(drawn.raise.begin(), drawn.raise.end(), [](std::uint8_t r) { return r != 0; });
    if (activeRelief(plan) && !drawn.zones.empty() && raised) {
        const std::size_t zones = drawn.zones.size();
        text += "減壓中: " + std::to_string(zones) + (zones == 1 ? " zone, " : " zones, ") +
                formatDecimal(plan->parameters.depthMm) + " mm";
    }
    return text;
}
