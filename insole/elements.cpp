#include "insole/elements.h"

#include "base/level.h"
#include "base/settings.h"
#include "pressure/relief.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <vector>

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr int CELLS = GRID_ROWS * FOOT_STRIDE;

double clamp01(double x) { return std::min(1.0, std::max(0.0, x)); }

bool check(double value, const ElementRange& range, const char* name, const char* unit,
           std::string& problem)
{
    if (value >= range.minimum && value <= range.maximum) {
        return true;
    }
    char text[160];
    std::snprintf(text, sizeof text, "%s %g %s is outside %g-%g %s", name, value, unit,
                  range.minimum, range.maximum, unit);
    problem = text;
    return false;
}

// The exact distance (mm, between cell centres) from each foot cell to the nearest cell that
// is not the foot's; the grid's surroundings count as not the foot's, so that a foot touching
// the grid's edge still has its edge there.
std::vector<double> distanceToEdge(const FootGrid& footGrid)
{
    constexpr int W = FOOT_COLUMNS + 2, H = GRID_ROWS + 2;
    std::vector<std::uint8_t> outside(static_cast<std::size_t>(W) * H, 1);
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            outside[static_cast<std::size_t>(y + 1) * W + x + 1] = footGrid[footIndex(x, y)] == 0;
        }
    }
    std::vector<std::int32_t> d2(outside.size());
    squaredDistances(outside.data(), W, H, d2.data());
    std::vector<double> distance(CELLS, 0);
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            distance[footIndex(x, y)] =
                std::sqrt(static_cast<double>(d2[static_cast<std::size_t>(y + 1) * W + x + 1]));
        }
    }
    return distance;
}

// The bar's front edge from the placed peak pressure: going back from the band of the
// highest peak over the forefoot, the centre of the first band whose highest pressure is
// below 77 % of it. False when the measurement gives none (no pressure over the forefoot's
// cells, or none of the bands behind falls so low).
bool barEdgeFromPressure(const FootGrid& footGrid, const FootFrame& frame,
                         const PlacedPressure& placed, double& edge)
{
    const int bands = static_cast<int>(std::floor(frame.lengthMm)) + 1;
    std::vector<float> bandPeak(bands, -std::numeric_limits<float>::infinity());
    float peak = -std::numeric_limits<float>::infinity();
    int peakBand = -1;
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            const int i = footIndex(x, y);
            const float kpa = placed[i];
            if (footGrid[i] == 0 || std::isnan(kpa)) {
                continue;
            }
            const double t = frame.along(x + 0.5, y + 0.5);
            const int k = std::clamp(static_cast<int>(std::floor(t)), 0, bands - 1);
            bandPeak[k] = std::max(bandPeak[k], kpa);
            const double s = frame.lengthMm > 0 ? t / frame.lengthMm : 0;
            // The band nearest the heel holds the peak when two bands share it.
            if (s >= MET_BAR_PEAK_FROM && s <= MET_BAR_PEAK_TO &&
                (kpa > peak || (kpa == peak && k < peakBand))) {
                peak = kpa;
                peakBand = k;
            }
        }
    }
    if (peakBand < 0 || !(peak > 0)) {
        return false;
    }
    const double below = MET_BAR_PEAK_SHARE * peak;
    // A band without any measured cell tells nothing: the search goes on behind it.
    for (int k = peakBand - 1; k >= 0; --k) {
        if (std::isfinite(bandPeak[k]) && bandPeak[k] < below) {
            edge = k + 0.5;
            return true;
        }
    }
    return false;
}

}  // namespace

bool elementSettingsValid(const ElementSettings& s, std::string& problem)
{
    return check(s.metPadHeightMm, MET_PAD_HEIGHT_MM, "metatarsal pad height", "mm", problem) &&
           check(s.metPadOffsetMm, MET_PAD_OFFSET_MM, "metatarsal pad offset", "mm", problem) &&
           check(s.metBarHeightMm, MET_BAR_HEIGHT_MM, "metatarsal bar height", "mm", problem) &&
           check(s.archHeightMm, ARCH_HEIGHT_MM, "arch support height", "mm", problem) &&
           check(s.heelCupHeightMm, HEEL_CUP_HEIGHT_MM, "heel cup height", "mm", problem) &&
           check(s.heelCupWidthMm, HEEL_CUP_WIDTH_MM, "heel cup width", "mm", problem) &&
           check(s.rearfootPostDegrees, REARFOOT_POST_DEGREES, "rearfoot posting angle",
                 "degrees", problem);
}

bool elementShiftsValid(const ElementShifts& s, std::string& problem)
{
    return check(s.metPadAlongMm, ELEMENT_SHIFT_MM, "metatarsal pad shift along", "mm",
                 problem) &&
           check(s.metPadAcrossMm, ELEMENT_SHIFT_MM, "metatarsal pad shift across", "mm",
                 problem) &&
           check(s.metBarAlongMm, ELEMENT_SHIFT_MM, "metatarsal bar shift", "mm", problem);
}

bool computeElements(const FootGrid& footGrid, const ElementSettings& settings,
                     const ElementShifts& shifts, const PlacedPressure* placed, double levelMm,
                     ElementRaise& out, std::string& failure)
{
    if (!elementSettingsValid(settings, failure) || !elementShiftsValid(shifts, failure)) {
        return false;
    }
    if (!levelInRange(levelMm, failure)) {
        return false;
    }
    FootFrame frame;
    if (!findFootFrame(footGrid, settings.side, frame, failure)) {
        return false;
    }
    if ((settings.metPad || settings.metBar) && !frame.hasHeadLine) {
        char text[200];
        std::snprintf(text, sizeof text,
                      "the foot is too short to find the metatarsal heads on (no 1 mm band "
                      "between %g %% and %g %% of its %g mm), so no %s can be placed",
                      HEAD_LINE_FROM * 100, HEAD_LINE_TO * 100, frame.lengthMm,
                      settings.metPad ? "metatarsal pad" : "metatarsal bar");
        failure = text;
        return false;
    }
    auto made = std::make_unique<ElementRaise>();
    ElementRaise& e = *made;
    e.settings = settings;
    e.shifts = shifts;
    e.frame = frame;
    e.levelMm = levelMm;

    const double L = frame.lengthMm;
    const int bands = static_cast<int>(std::floor(L)) + 1;
    // Per 1 mm band: the largest v (the arch's medial edge); over the rear 40 %: the extreme v
    // (the posting's hinge).
    std::vector<double> bandEdge(bands, -std::numeric_limits<double>::infinity());
    double rearMin = std::numeric_limits<double>::infinity();
    double rearMax = -rearMin;
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            if (footGrid[footIndex(x, y)] == 0) {
                continue;
            }
            const double t = frame.along(x + 0.5, y + 0.5), v = frame.across(x + 0.5, y + 0.5);
            const int k = std::clamp(static_cast<int>(std::floor(t)), 0, bands - 1);
            bandEdge[k] = std::max(bandEdge[k], v);
            if (L > 0 && t / L <= REARFOOT_TO) {
                rearMin = std::min(rearMin, v), rearMax = std::max(rearMax, v);
            }
        }
    }

    e.metPadAlongMm = frame.headLineMm - settings.metPadOffsetMm + shifts.metPadAlongMm;
    e.metPadAcrossMm = frame.headMedialMm -
                       MET_PAD_ACROSS_SHARE * (frame.headMedialMm - frame.headLateralMm) +
                       shifts.metPadAcrossMm;
    double barEdge = 0;
    e.metBarFromPressure =
        settings.metBar && placed && barEdgeFromPressure(footGrid, frame, *placed, barEdge);
    if (!e.metBarFromPressure) {
        barEdge = frame.headLineMm - MET_BAR_BEHIND_HEADS_MM;
    }
    e.metBarFrontMm = barEdge + shifts.metBarAlongMm;

    std::vector<double> edgeDistance;
    if (settings.heelCup) {
        edgeDistance = distanceToEdge(footGrid);
    }
    const double postTan = std::tan(std::fabs(settings.rearfootPostDegrees) * PI / 180);
    const double halfLevel = 0.5 * levelMm;
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            const int i = footIndex(x, y);
            if (footGrid[i] == 0) {
                continue;
            }
            const double t = frame.along(x + 0.5, y + 0.5), v = frame.across(x + 0.5, y + 0.5);
            const double s = L > 0 ? t / L : 0;
            double mm[ELEMENT_KINDS] = {};
            if (settings.metPad) {
                const double dt = (t - e.metPadAlongMm) / MET_PAD_HALF_LENGTH_MM;
                const double dv = (v - e.metPadAcrossMm) / MET_PAD_HALF_WIDTH_MM;
                const double rho2 = dt * dt + dv * dv;
                if (rho2 < 1) {
                    mm[MET_PAD] = settings.metPadHeightMm * (1 - rho2) * (1 - rho2);
                }
            }
            if (settings.metBar) {
                const double d = e.metBarFrontMm - t;
                if (d >= 0 && d <= MET_BAR_RISE_MM) {
                    mm[MET_BAR] = settings.metBarHeightMm * d / MET_BAR_RISE_MM;
                } else if (d > MET_BAR_RISE_MM && d <= MET_BAR_LENGTH_MM) {
                    mm[MET_BAR] = settings.metBarHeightMm * (MET_BAR_LENGTH_MM - d) /
                                  (MET_BAR_LENGTH_MM - MET_BAR_RISE_MM);
                }
            }
            if (settings.arch && v > 0 && s >= ARCH_FROM && s <= ARCH_TO) {
                const double rise = std::sin(PI * (s - ARCH_FROM) / (ARCH_TO - ARCH_FROM));
                const int k = std::clamp(static_cast<int>(std::floor(t)), 0, bands - 1);
                const double x01 = clamp01(v / bandEdge[k]);
                mm[ARCH] = settings.archHeightMm * rise * rise * (3 * x01 * x01 - 2 * x01 * x01 * x01);
            }
            if (settings.heelCup && s <= HEEL_CUP_TO) {
                const double f = s <= HEEL_CUP_FULL_TO
                                     ? 1.0
                                     : (HEEL_CUP_TO - s) / (HEEL_CUP_TO - HEEL_CUP_FULL_TO);
                mm[HEEL_CUP] = settings.heelCupHeightMm *
                               clamp01(1 - (edgeDistance[i] - 1) / settings.heelCupWidthMm) * f;
            }
            if (settings.rearfootPost && s <= REARFOOT_TO && settings.rearfootPostDegrees != 0) {
                const double g = s <= REARFOOT_FULL_TO
                                     ? 1.0
                                     : (REARFOOT_TO - s) / (REARFOOT_TO - REARFOOT_FULL_TO);
                const double lever =
                    settings.rearfootPostDegrees > 0 ? v - rearMin : rearMax - v;
                mm[REARFOOT_POST] = postTan * lever * g;
            }
            double sum = 0;
            std::uint8_t bits = 0;
            for (int kind = 0; kind < ELEMENT_KINDS; ++kind) {
                sum += mm[kind];
                if (mm[kind] > halfLevel) {
                    bits = static_cast<std::uint8_t>(bits | (1u << kind));
                }
            }
            // Any raise of 255 levels or more meets the height's cap, whatever it is.
            const double levels = std::floor(sum / levelMm + 0.5);
            e.raise[i] = static_cast<std::uint8_t>(std::min(255.0, levels));
            e.outlines[i] = bits;
        }
    }
    out = std::move(e);
    return true;
}

const char* elementName(ElementKind kind)
{
    static const char* const names[ELEMENT_KINDS] = {
        "metatarsal pad", "metatarsal bar", "arch support", "heel cup", "rearfoot posting"};
    return kind >= 0 && kind < ELEMENT_KINDS ? names[kind] : "";
}

const ElementRaise* activeElements(const ElementRaise* elements)
{
    return elements && elements->settings.anyOn() ? elements : nullptr;
}

std::string elementsRecipe(const ElementRaise* elements)
{
    if (!activeElements(elements)) {
        return {};
    }
    const ElementSettings& s = elements->settings;
    const ElementShifts& h = elements->shifts;
    std::string text = std::string("elements ") + sideName(elements->frame.side) + " foot (" +
                       (elements->frame.sideSet ? "given" : "found") + ")";
    if (s.metPad) {
        text += "; metatarsal pad " + formatDecimal(s.metPadHeightMm) + " mm, " +
                formatDecimal(s.metPadOffsetMm) + " mm behind the heads, shifted " +
                formatDecimal(h.metPadAlongMm) + ", " + formatDecimal(h.metPadAcrossMm) + " mm";
    }
    if (s.metBar) {
        text += "; metatarsal bar " + formatDecimal(s.metBarHeightMm) + " mm, front edge by the " +
                (elements->metBarFromPressure ? "pressure" : "head line") + ", shifted " +
                formatDecimal(h.metBarAlongMm) + " mm";
    }
    if (s.arch) {
        text += "; arch support " + formatDecimal(s.archHeightMm) + " mm";
    }
    if (s.heelCup) {
        text += "; heel cup " + formatDecimal(s.heelCupHeightMm) + " mm over " +
                formatDecimal(s.heelCupWidthMm) + " mm";
    }
    if (s.rearfootPost) {
        text += "; rearfoot posting " + formatDecimal(s.rearfootPostDegrees) + " degrees";
    }
    return text;
}
