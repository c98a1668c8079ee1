// Relief under the peaks: the zones of the placed peak pressure at or above a threshold, and
// a raise of the insole around them. The insole keeps its heights inside the zones and is
// built up around them (rising linearly over a transition width to the full depth), rather
// than cut down: the seed shaping already leaves its thinnest foot cell at about 2 mm.
// Everything is worked out on the foot image's 1 mm grid; the caller draws the raise onto the
// insole exactly as it draws the foot, so the zones stretch with the width and length.
#pragma once

#include "base/grid.h"
#include "pressure/placement.h"

#include <cstdint>
#include <string>
#include <vector>

// The relief's parameters: defaults and ranges (from the in-shoe relief studies: 200 kPa is
// the target peak, a recess of about 3 mm the depth that relieved metatarsal heads).
constexpr double DEFAULT_RELIEF_KPA = 200.0;
constexpr double MIN_RELIEF_KPA = 100.0;
constexpr double MAX_RELIEF_KPA = 1000.0;
constexpr double DEFAULT_RELIEF_DEPTH_MM = 3.0;
constexpr double MIN_RELIEF_DEPTH_MM = 0.5;
constexpr double MAX_RELIEF_DEPTH_MM = 6.0;
constexpr double DEFAULT_RELIEF_MARGIN_MM = 5.0;
constexpr double MIN_RELIEF_MARGIN_MM = 0.0;
constexpr double MAX_RELIEF_MARGIN_MM = 15.0;
constexpr double DEFAULT_RELIEF_WIDTH_MM = 8.0;
constexpr double MIN_RELIEF_WIDTH_MM = 2.0;
constexpr double MAX_RELIEF_WIDTH_MM = 20.0;
// Pieces of the high-pressure area smaller than this (8-connected cells of 1 mm²) are noise.
constexpr int MIN_ZONE_PIECE_MM2 = 20;
// Zone numbers are bytes, so that the zone grids draw onto the insole like the foot does.
constexpr int MAX_RELIEF_ZONES = 255;

struct ReliefParameters {
    double thresholdKpa = DEFAULT_RELIEF_KPA;    // T: cells at or above it are relieved
    double depthMm = DEFAULT_RELIEF_DEPTH_MM;    // D: how much higher the insole is around a zone
    double marginMm = DEFAULT_RELIEF_MARGIN_MM;  // M: the zone reaches this far beyond the peaks
    double widthMm = DEFAULT_RELIEF_WIDTH_MM;    // W: over this distance the insole rises by D
};

// Whether every parameter lies in its range (NaN does not). When one does not, `problem`
// names it and its range, e.g. "relief depth 7 mm is outside 0.5-6 mm".
bool reliefParametersValid(const ReliefParameters& parameters, std::string& problem);

struct ReliefZone {
    int id = 0;            // its number in zoneMask and nearestZone, from 1
    double centreXMm = 0;  // centroid of its cells on the foot image's grid, in mm from the
    double centreYMm = 0;  // grid's bottom-left corner (the caller maps it onto the insole)
    int areaMm2 = 0;
    float peakKpa = 0;
    // The highest raise (levels) among the foot cells nearer to this zone than to any other:
    // the depth the zone has room for. Less than the full raise when the zone lies within W
    // of the foot's edge all round, or closer than 2 W to other zones.
    int roomLevels = 0;
    // Whether the zone reaches the full depth: it has room for it and, once the raise is
    // applied (see markDepthAfterCap), not all of that room was lost to the 255 cap.
    bool fullDepth = false;
};

// Grids of the relief on the foot image's grid, each the shape of FootGrid (stride 150,
// row 0 at the bottom); every cell outside the foot is 0 in all of them.
struct Relief {
    int fullRaise = 0;       // F: the depth in levels, D / level size rounded to the nearest
    FootGrid raise{};        // levels each cell rises by: 0 in a zone, F from W away
    FootGrid zoneMask{};     // the zone id of each zone cell, 0 elsewhere
    FootGrid nearestZone{};  // for each foot cell, the id of the nearest zone (0: no zone)
    std::vector<ReliefZone> zones;
};

// Works out the zones and the raise: zones are the foot cells (grey > 0) whose placed peak
// pressure is at least T, without 8-connected pieces smaller than MIN_ZONE_PIECE_MM2, grown
// by M over foot cells (a cell joins when its centre is within M of a kept cell's centre);
// each 8-connected piece of the grown area is a zone. Every foot cell then rises by
// F x min(1, d / W) rounded half up, d being its distance in mm to the nearest zone cell.
// With no zone nothing rises: there is nothing to relieve, and the insole stays as shaped.
// Fails, saying why and leaving `relief` untouched, on a parameter out of range, a level size
// outside MIN_LEVEL_MM..MAX_LEVEL_MM, or more than MAX_RELIEF_ZONES zones.
bool computeRelief(const PlacedPressure& placed, const FootGrid& footGrid,
                   const ReliefParameters& parameters, double levelMm, Relief& relief,
                   std::string& failure);

// The exact squared Euclidean distance (in cells, between cell centres) from every cell of a
// width x height grid to the nearest site (a non-zero byte of `sites`), by the separable
// lower-envelope method: linear in the cells. Cells of a grid without any site get
// NO_SITE_DISTANCE. With `nearest` given, each cell also gets the index of a nearest site.
constexpr std::int32_t NO_SITE_DISTANCE = 0x7fffffff;
void squaredDistances(const std::uint8_t* sites, int width, int height, std::int32_t* distance2,
                      std::int32_t* nearest = nullptr);

// Adds the raise, drawn onto the insole's grid, to the shaped heights: only cells above 0
// rise, and a height is capped at 255. Returns the number of capped cells; with `capped`
// given, marks them there with 1 (every other cell of the 150 columns gets 0). Runs in the
// window's recompute: no allocation, one plain pass.
int addDrawnRaise(Grid& heights, const Grid& drawnRaise, Grid* capped = nullptr);

// After addDrawnRaise: a zone keeps fullDepth only where some insole cell nearest to it
// (drawnNearestZone: relief.nearestZone drawn as the raise is) got the full raise uncapped.
void markDepthAfterCap(const Grid& drawnRaise, const Grid& drawnNearestZone, const Grid& capped,
                       int fullRaise, std::vector<ReliefZone>& zones);
