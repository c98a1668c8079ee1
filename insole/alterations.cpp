#include "insole/alterations.h"

#include "base/settings.h"

#include <algorithm>

namespace {

bool anyRaised(const Grid& raise)
{
    return std::any_of(raise.begin(), raise.end(), [](std::uint8_t r) { return r != 0; });
}

}  // namespace

std::string insoleAlterations(const ReliefPlan* plan, const DrawnRelief& drawn,
                              const ElementPlan* elements, const DrawnElements& drawnElements,
                              const std::string& elementWords)
{
    // What the last recompute drew, as the heights have it: a change switched on since, or
    // cleared with its foot, counts from the recompute that makes it so. A relief whose zones
    // cover the whole foot, or elements that raise no cell, leave the plain insole.
    std::string text;
    if (activeRelief(plan) && !drawn.zones.empty() && anyRaised(drawn.raise)) {
        const std::size_t zones = drawn.zones.size();
        text += "減壓中: " + std::to_string(zones) + (zones == 1 ? " zone, " : " zones, ") +
                formatDecimal(plan->parameters.depthMm) + " mm";
    }
    if (activeElements(elements) && anyRaised(drawnElements.raise)) {
        text += (text.empty() ? "處方: " : "; 處方: ") + elementWords;
    }
    return text;
}
