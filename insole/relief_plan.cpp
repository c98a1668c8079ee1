#include "insole/relief_plan.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>

bool placeRelief(ReliefPlan& plan, const FootGrid& foot, const PlacementCorrection& correction,
                 double levelMm, std::string& failure)
{
    auto placed = std::make_unique<PlacedPressure>();
    PressurePlacement placement;
    if (!placePressure(plan.map, foot, correction, *placed, placement, failure)) {
        return false;
    }
    auto relief = std::make_unique<Relief>();
    if (!computeRelief(*placed, foot, plan.parameters, levelMm, *relief, failure)) {
        return false;
    }
    plan.correction = correction;
    plan.placed = *placed;
    plan.placement = std::move(placement);
    plan.relief = std::move(*relief);
    plan.levelMm = levelMm;
    return true;
}

namespace {

// Equal to the bit: inputs that differ only in the sign of a zero are worked out again.
template <typename T>
bool sameBits(const T& a, const T& b)
{
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

bool sameCorrection(const PlacementCorrection& a, const PlacementCorrection& b)
{
    return sameBits(a.shiftXMm, b.shiftXMm) && sameBits(a.shiftYMm, b.shiftYMm) &&
           sameBits(a.turnDegrees, b.turnDegrees) && a.mirror == b.mirror;
}

bool sameParameters(const ReliefParameters& a, const ReliefParameters& b)
{
    return sameBits(a.thresholdKpa, b.thresholdKpa) && sameBits(a.depthMm, b.depthMm) &&
           sameBits(a.marginMm, b.marginMm) && sameBits(a.widthMm, b.widthMm);
}

bool sameMap(const PressureMap& a, const PressureMap& b)
{
    return a.format == b.format && a.rows == b.rows && a.cols == b.cols &&
           sameBits(a.rowPitchMm, b.rowPitchMm) && sameBits(a.colPitchMm, b.colPitchMm) &&
           a.frames == b.frames && a.heelFirst == b.heelFirst && sameBits(a.peakKpa, b.peakKpa) &&
           a.kpa.size() == b.kpa.size() &&
           std::memcmp(a.kpa.data(), b.kpa.data(), a.kpa.size() * sizeof(float)) == 0;
}

}  // namespace

bool placeReliefReusing(ReliefPlan& plan, const FootGrid& foot, const PlacementCorrection& correction,
                        double levelMm, const ReliefPlan* earlier, const FootGrid& earlierFoot,
                        std::string& failure)
{
    if (!earlier || earlier == &plan || earlierFoot != foot || !sameMap(plan.map, earlier->map) ||
        !sameCorrection(correction, earlier->correction)) {
        return placeRelief(plan, foot, correction, levelMm, failure);
    }
    auto relief = std::make_unique<Relief>();
    if (sameParameters(plan.parameters, earlier->parameters) && sameBits(levelMm, earlier->levelMm)) {
        *relief = earlier->relief;
    } else if (!computeRelief(earlier->placed, foot, plan.parameters, levelMm, *relief, failure)) {
        return false;
    }
    plan.correction = correction;
    plan.placed = earlier->placed;
    plan.placement = earlier->placement;
    plan.relief = std::move(*relief);
    plan.levelMm = levelMm;
    return true;
}

bool updateRelief(ReliefPlan& plan, const FootGrid& foot, const ReliefParameters& parameters,
                  double levelMm, std::string& failure)
{
    auto relief = std::make_unique<Relief>();
    if (!computeRelief(plan.placed, foot, parameters, levelMm, *relief, failure)) {
        return false;
    }
    plan.parameters = parameters;
    plan.relief = std::move(*relief);
    plan.levelMm = levelMm;
    return true;
}

const Relief* activeRelief(const ReliefPlan* plan)
{
    return plan && plan->on && !plan->relief.zones.empty() ? &plan->relief : nullptr;
}

namespace {

// The shortest decimal that reads back as this value, to a hundredth: files record what a
// person would type again.
std::string decimal(double value)
{
    const double rounded = std::round(value * 100) / 100;
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, rounded == 0 ? 0.0 : rounded).ptr;
    return std::string(text, end);
}

std::string baseName(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string reliefRecipe(const ReliefPlan* plan)
{
    if (!activeRelief(plan)) {
        return {};
    }
    const ReliefParameters& p = plan->parameters;
    const PressurePlacement& placed = plan->placement;
    const PlacementCorrection& hand = plan->correction;
    return "pressure measurement " + baseName(plan->measurementFile) + " (" + plan->map.format +
           ", " + decimal(plan->map.colPitchMm) + " x " + decimal(plan->map.rowPitchMm) +
           " mm pitch" + (plan->map.heelFirst ? ", first row at the heel" : "") +
           (hand.mirror ? ", turned over" : "") + "); relief " +
           decimal(p.thresholdKpa) + " kPa, depth " + decimal(p.depthMm) + " mm, margin " +
           decimal(p.marginMm) + " mm, transition " + decimal(p.widthMm) +
           " mm; placement turned " + decimal(placed.turnDegrees) + " degrees, shifted " +
           decimal(placed.shiftXMm) + ", " + decimal(placed.shiftYMm) + " mm, of which by hand " +
           decimal(hand.turnDegrees) + " degrees, " + decimal(hand.shiftXMm) + ", " +
           decimal(hand.shiftYMm) + " mm";
}
