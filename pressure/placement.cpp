#include "pressure/placement.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr double PI = 3.14159265358979323846;

struct Vec {
    double x = 0;
    double y = 0;
};

Vec operator+(Vec a, Vec b) { return {a.x + b.x, a.y + b.y}; }
Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y}; }
Vec operator*(double s, Vec a) { return {s * a.x, s * a.y}; }
double dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y; }
Vec turned(Vec a, double angle)
{
    const double c = std::cos(angle), s = std::sin(angle);
    return {c * a.x - s * a.y, s * a.x + c * a.y};
}

// An angle brought into -pi..pi.
double wrapped(double angle) { return std::remainder(angle, 2 * PI); }

// The loaded area of a measurement on 1 mm cells, cut to the box of its loaded cells: cell
// (i, j) has its centre at (originX + i + 0.5, originY + j + 0.5) in the measurement's frame.
struct MillimetreMap {
    double originX = 0;
    double originY = 0;
    int width = 0;
    int height = 0;
    std::vector<float> kpa;

    float at(int i, int j) const { return kpa[static_cast<std::size_t>(j) * width + i]; }
    Vec centre(int i, int j) const { return {originX + i + 0.5, originY + j + 0.5}; }
};

// How the measurement is laid before it is placed: turned over left to right (the other
// side), and turned 180 degrees in its own plane (end for end, heel first). Both keep the
// measurement's frame, so the two commute.
struct Orientation {
    bool mirror = false;
    bool endForEnd = false;
};

// The measurement's value at a point of its frame, laid as asked.
float sampleMeasurement(const PressureMap& map, Orientation orientation, Vec p)
{
    const bool flipX = orientation.mirror != orientation.endForEnd;
    return pressureAtMm(map, flipX ? pressureWidthMm(map) - p.x : p.x,
                        orientation.endForEnd ? pressureLengthMm(map) - p.y : p.y);
}

bool loaded(float kpa) { return kpa > PRESSURE_NOISE_KPA; }

// Resamples the box of the loaded sensor cells onto 1 mm cells. A plate's map is mostly
// empty floor: only the box is carried, so that a 400 mm plate costs what the foot on it does.
bool resampleLoadedArea(const PressureMap& map, Orientation orientation, MillimetreMap& out,
                        std::string& failure)
{
    int rowMin = map.rows, rowMax = -1, colMin = map.cols, colMax = -1;
    for (int r = 0; r < map.rows; ++r) {
        for (int c = 0; c < map.cols; ++c) {
            if (loaded(map.at(r, c))) {
                rowMin = std::min(rowMin, r), rowMax = std::max(rowMax, r);
                colMin = std::min(colMin, c), colMax = std::max(colMax, c);
            }
        }
    }
    if (rowMax < 0) {
        failure = "the measurement has no cell above the noise floor";
        return false;
    }
    const double x0 = colMin * map.colPitchMm;
    const double x1 = (colMax + 1) * map.colPitchMm;
    const double y0 = (map.rows - 1 - rowMax) * map.rowPitchMm;
    const double y1 = (map.rows - rowMin) * map.rowPitchMm;
    if (x1 - x0 > MAX_LOADED_SIDE_MM || y1 - y0 > MAX_LOADED_SIDE_MM) {
        char text[160];
        std::snprintf(text, sizeof text, "the loaded area is %.0f x %.0f mm, larger than any foot",
                      x1 - x0, y1 - y0);
        failure = text;
        return false;
    }
    out.width = static_cast<int>(std::ceil(x1 - x0));
    out.height = static_cast<int>(std::ceil(y1 - y0));
    // Turned over, the box's left edge is where its right edge was; end for end, its bottom
    // edge is where its top edge was too.
    const bool flipX = orientation.mirror != orientation.endForEnd;
    out.originX = flipX ? pressureWidthMm(map) - x1 : x0;
    out.originY = orientation.endForEnd ? pressureLengthMm(map) - y1 : y0;
    out.kpa.resize(static_cast<std::size_t>(out.width) * out.height);
    for (int j = 0; j < out.height; ++j) {
        for (int i = 0; i < out.width; ++i) {
            out.kpa[static_cast<std::size_t>(j) * out.width + i] =
                sampleMeasurement(map, orientation, out.centre(i, j));
        }
    }
    return true;
}

// The figures of a shape (a set of 1 mm cells) that placing needs: its long axis by principal
// axes, pointing from the heel end toward the toes (toward +y: the bottom of the foot image
// and the measurement's last row are both at -y), and along it the heel centre (centroid of
// the rear quarter of the length) and the ball centre (centroid of the band from 60 % to
// 80 % of the length).
struct Shape {
    Vec axis;
    Vec heel;
    Vec ball;
};

// Every cell centre of a shape, given by `forEach(visit)` calling visit(Vec) once per cell.
template <typename ForEach> bool analyseShape(ForEach forEach, Shape& shape)
{
    double n = 0;
    Vec sum;
    forEach([&](Vec p) {
        n += 1;
        sum = sum + p;
    });
    if (n == 0) {
        return false;
    }
    const Vec centroid = (1 / n) * sum;
    double xx = 0, xy = 0, yy = 0;
    forEach([&](Vec p) {
        const Vec d = p - centroid;
        xx += d.x * d.x, xy += d.x * d.y, yy += d.y * d.y;
    });
    const double angle = 0.5 * std::atan2(2 * xy, xx - yy);
    Vec axis{std::cos(angle), std::sin(angle)};
    if (axis.y < 0 || (axis.y == 0 && axis.x < 0)) {
        axis = -1.0 * axis;
    }
    double lowest = INFINITY, highest = -INFINITY;
    forEach([&](Vec p) {
        const double t = dot(p - centroid, axis);
        lowest = std::min(lowest, t), highest = std::max(highest, t);
    });
    const double length = highest - lowest;
    double heelN = 0, ballN = 0, frontN = 0;
    Vec heelSum, ballSum, frontSum;
    forEach([&](Vec p) {
        const double t = dot(p - centroid, axis) - lowest;
        if (t < 0.25 * length) {
            heelN += 1, heelSum = heelSum + p;
        }
        if (t >= 0.6 * length && t <= 0.8 * length) {
            ballN += 1, ballSum = ballSum + p;
        }
        if (t >= 0.5 * length) {
            frontN += 1, frontSum = frontSum + p;
        }
    });
    shape.axis = axis;
    // A single cell has no rear quarter of its own; it is its own heel.
    shape.heel = heelN > 0 ? (1 / heelN) * heelSum : centroid;
    // A measurement may have nothing under the ball band (a heel and toes only): the front
    // half stands in for it.
    shape.ball = ballN > 0 ? (1 / ballN) * ballSum : (1 / frontN) * frontSum;
    return true;
}

// The automatic placement of a loaded area on a foot: the turn, and the shift that follows it.
struct Fit {
    double turn = 0;  // radians
    Vec shift;
    Vec heel;  // the loaded heel centre as placed
};

template <typename ForEachFoot>
Fit fitLoadedArea(const MillimetreMap& area, const Shape& foot, ForEachFoot forEachFootCell)
{
    const auto forEachLoaded = [&](auto visit) {
        for (int j = 0; j < area.height; ++j) {
            for (int i = 0; i < area.width; ++i) {
                if (loaded(area.at(i, j))) {
                    visit(area.centre(i, j));
                }
            }
        }
    };
    Shape measured;
    analyseShape(forEachLoaded, measured);

    // The turn that lays the loaded heel-to-ball line onto the foot's; when either line has
    // no length, the long axes instead.
    const Vec footLine = foot.ball - foot.heel;
    const Vec loadedLine = measured.ball - measured.heel;
    Fit fit;
    if (dot(footLine, footLine) > 1e-12 && dot(loadedLine, loadedLine) > 1e-12) {
        fit.turn =
            wrapped(std::atan2(footLine.y, footLine.x) - std::atan2(loadedLine.y, loadedLine.x));
    } else {
        fit.turn = wrapped(std::atan2(foot.axis.y, foot.axis.x) -
                           std::atan2(measured.axis.y, measured.axis.x));
    }

    // Along the foot's axis, the rear end of the turned loaded area goes onto the rear end of
    // the foot; across it, the loaded heel centre onto the foot's heel centre.
    const Vec across{-foot.axis.y, foot.axis.x};
    double footRear = INFINITY, loadedRear = INFINITY;
    forEachFootCell([&](Vec p) { footRear = std::min(footRear, dot(p, foot.axis)); });
    forEachLoaded(
        [&](Vec p) { loadedRear = std::min(loadedRear, dot(turned(p, fit.turn), foot.axis)); });
    const Vec heel = turned(measured.heel, fit.turn);
    fit.shift = (footRear - loadedRear) * foot.axis + dot(foot.heel - heel, across) * across;
    fit.heel = heel + fit.shift;
    return fit;
}

// Of the load above the noise floor, the share that lands on foot cells under a placement.
double loadShareOnFoot(const MillimetreMap& area, const FootGrid& footGrid, double turn, Vec shift)
{
    double total = 0, onFoot = 0;
    for (int j = 0; j < area.height; ++j) {
        for (int i = 0; i < area.width; ++i) {
            const float kpa = area.at(i, j);
            if (!loaded(kpa)) {
                continue;
            }
            total += kpa;
            const Vec q = turned(area.centre(i, j), turn) + shift;
            const double x = std::floor(q.x), y = std::floor(q.y);
            if (x >= 0 && x < FOOT_COLUMNS && y >= 0 && y < GRID_ROWS &&
                footGrid[footIndex(static_cast<int>(x), static_cast<int>(y))] > 0) {
                onFoot += kpa;
            }
        }
    }
    return total > 0 ? onFoot / total : 0;
}

std::string percent(double share)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %%", share * 100);
    return text;
}

// Every foot cell's centre, in rows from the heel end.
auto footCellsOf(const FootGrid& footGrid)
{
    return [&footGrid](auto visit) {
        for (int y = 0; y < GRID_ROWS; ++y) {
            for (int x = 0; x < FOOT_COLUMNS; ++x) {
                if (footGrid[footIndex(x, y)] > 0) {
                    visit(Vec{x + 0.5, y + 0.5});
                }
            }
        }
    };
}

}  // namespace

bool footAxisOf(const FootGrid& footGrid, FootAxis& axis)
{
    Shape foot;
    if (!analyseShape(footCellsOf(footGrid), foot)) {
        return false;
    }
    axis = {foot.axis.x, foot.axis.y, foot.heel.x, foot.heel.y, foot.ball.x, foot.ball.y};
    return true;
}

bool placePressure(const PressureMap& map, const FootGrid& footGrid,
                   const PlacementCorrection& correction, PlacedPressure& placed,
                   PressurePlacement& report, std::string& failure)
{
    const auto forEachFootCell = footCellsOf(footGrid);
    Shape foot;
    if (!analyseShape(forEachFootCell, foot)) {
        failure = "the foot image has no foot cell to place the measurement on";
        return false;
    }
    if (map.empty()) {
        failure = "no measurement is loaded";
        return false;
    }
    if (!std::isfinite(correction.shiftXMm) || !std::isfinite(correction.shiftYMm) ||
        !std::isfinite(correction.turnDegrees)) {
        failure = "the hand correction's shift and turn must be numbers";
        return false;
    }
    // The measurement as it is to be used, and the three other ways it could lie: turned
    // over, end for end, and both. Each is placed automatically, so that a measurement laid
    // the wrong way is recognised by its fit rather than left to a person's eye.
    const Orientation used{correction.mirror, false};
    const Orientation others[3] = {
        {!correction.mirror, false}, {correction.mirror, true}, {!correction.mirror, true}};
    MillimetreMap area;
    if (!resampleLoadedArea(map, used, area, failure)) {
        return false;
    }
    double otherShares[3] = {};
    for (int k = 0; k < 3; ++k) {
        MillimetreMap other;
        if (!resampleLoadedArea(map, others[k], other, failure)) {
            return false;
        }
        const Fit otherFit = fitLoadedArea(other, foot, forEachFootCell);
        otherShares[k] = loadShareOnFoot(other, footGrid, otherFit.turn, otherFit.shift);
    }
    const Fit fit = fitLoadedArea(area, foot, forEachFootCell);

    // The hand turn is about the placed loaded heel centre, so that turning leaves the heel
    // where the automatic placement anchored it; the hand shift follows the turn.
    const double handTurn = correction.turnDegrees * PI / 180;
    const double turn = fit.turn + handTurn;
    const Vec shift = turned(fit.shift - fit.heel, handTurn) + fit.heel +
                      Vec{correction.shiftXMm, correction.shiftYMm};

    PressurePlacement out;
    out.turnDegrees = wrapped(turn) * 180 / PI;
    out.shiftXMm = shift.x;
    out.shiftYMm = shift.y;
    out.autoTurnDegrees = fit.turn * 180 / PI;
    out.autoShiftXMm = fit.shift.x;
    out.autoShiftYMm = fit.shift.y;
    out.pivotXMm = fit.heel.x;
    out.pivotYMm = fit.heel.y;
    out.loadShare = loadShareOnFoot(area, footGrid, turn, shift);
    out.autoLoadShare = loadShareOnFoot(area, footGrid, fit.turn, fit.shift);
    out.otherSideLoadShare = otherShares[0];
    out.endForEndLoadShare = otherShares[1];
    out.bothTurnedLoadShare = otherShares[2];
    out.lowShare = out.loadShare < LOW_LOAD_SHARE;
    // Of the other ways that fit markedly better, the best one is named (on a tie, the one
    // that changes less): the switch it needs is the way out.
    int best = -1;
    for (int k = 0; k < 3; ++k) {
        if (otherShares[k] >= out.autoLoadShare + OTHER_FOOT_MARGIN &&
            (best < 0 || otherShares[k] > otherShares[best])) {
            best = k;
        }
    }
    out.looksLikeOtherFoot = best == 0 || best == 2;
    out.looksEndForEnd = best == 1 || best == 2;
    if (out.lowShare) {
        out.warnings.push_back("only " + percent(out.loadShare) +
                               " of the load falls on the foot: the measurement may be of "
                               "another foot or badly placed");
    }
    if (best == 0) {
        out.warnings.push_back("the measurement looks like the other foot: turned over left to "
                               "right, " +
                               percent(out.otherSideLoadShare) +
                               " of its load "
                               "falls on the foot instead of " +
                               percent(out.autoLoadShare));
    } else if (best == 1) {
        out.warnings.push_back("the measurement looks turned end for end (heel first): " +
                               percent(out.endForEndLoadShare) + " of the load on the foot "
                               "instead of " + percent(out.autoLoadShare));
    } else if (best == 2) {
        out.warnings.push_back("the measurement looks like the other foot and turned end for end "
                               "(heel first): turned over and end for end, " +
                               percent(out.bothTurnedLoadShare) + " of the load on the foot "
                               "instead of " + percent(out.autoLoadShare));
    }

    // Each cell of the grid takes the sensor cell under its centre, found by undoing the
    // placement.
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            const Vec p = turned(Vec{x + 0.5, y + 0.5} - shift, -turn);
            placed[footIndex(x, y)] = sampleMeasurement(map, used, p);
        }
    }
    report = std::move(out);
    return true;
}

void placedPoint(const PressurePlacement& placement, double xMm, double yMm, double& footX,
                 double& footY)
{
    const Vec q = turned(Vec{xMm, yMm}, placement.turnDegrees * PI / 180) +
                  Vec{placement.shiftXMm, placement.shiftYMm};
    footX = q.x;
    footY = q.y;
}
