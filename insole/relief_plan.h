// A plantar-pressure measurement placed on the loaded foot, and the relief it asks for: what
// the 3D window and the batch set up, and what every recompute draws onto the insole with
// the foot. Without a plan, or with the relief switched off, the insole is exactly as it is
// without one.
#pragma once

#include "base/grid.h"
#include "base/level.h"
#include "pressure/placement.h"
#include "pressure/relief.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct ReliefPlan {
    std::string measurementFile;  // as it was opened; files record its name without folders
    // The measurement's bytes as they were read, which a job carries.
    std::shared_ptr<const std::vector<std::uint8_t>> measurementBytes;
    PressureMap map;
    PlacementCorrection correction;
    PressurePlacement placement;
    PlacedPressure placed{};
    ReliefParameters parameters;
    bool on = true;  // the relief switch
    // A doubtful placement was said to be right (a job's recipe says so); kept through every
    // correction of this measurement, so that a job written again records it again.
    bool accepted = false;
    // The level size the raise was worked out for: its full raise is depth / level.
    double levelMm = DEFAULT_LEVEL_MM;
    Relief relief;
};

// Places the plan's measurement on the foot with this correction and works out the relief
// with the plan's parameters at the level size; the correction is the plan's from then on.
// On failure the plan is left as it was and `failure` says why. The plan is large: keep it
// on the heap.
bool placeRelief(ReliefPlan& plan, const FootGrid& foot, const PlacementCorrection& correction,
                 double levelMm, std::string& failure);

// Places as placeRelief does, taking what an earlier plan worked out from the same inputs
// instead of working it out again: its placement when it holds the same measurement, read the
// same way, on the same foot (`earlierFoot`, the foot it was placed on) with the same
// correction, and its relief too when the parameters and the level size are also the same.
// The result is the same as placeRelief's; an undo step, which takes every setting again, most
// of them as they were, need not wait for the placement's search. Without an earlier plan it
// is placeRelief.
bool placeReliefReusing(ReliefPlan& plan, const FootGrid& foot, const PlacementCorrection& correction,
                        double levelMm, const ReliefPlan* earlier, const FootGrid& earlierFoot,
                        std::string& failure);

// Works out the relief again with these parameters (then the plan's) or at another level
// size; the placement stays. On failure the plan is left as it was.
bool updateRelief(ReliefPlan& plan, const FootGrid& foot, const ReliefParameters& parameters,
                  double levelMm, std::string& failure);

// What a file records of the plan so that the same insole can be made again, in one line:
// "pressure measurement plate.csv (plain matrix, 5 x 5 mm pitch); relief 200 kPa, depth 3 mm,
// margin 5 mm, transition 8 mm; placement turned 1.5 degrees, shifted 2, -3 mm, of which by
// hand 0 degrees, 0, 0 mm". A plain matrix read heel first adds ", first row at the heel" and
// a measurement turned over left to right ", turned over" to the parenthesis. Empty when the
// plan gives no relief (activeRelief is null).
std::string reliefRecipe(const ReliefPlan* plan);

// The relief a recompute draws: null without a plan, with the relief off, or without zones.
const Relief* activeRelief(const ReliefPlan* plan);
