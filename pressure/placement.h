// Placing a pressure measurement on the foot image it was taken of. Both are of the same foot
// in millimetres, so the placement is a turn and a shift, never a scaling: found from the
// foot's own axis and heel, then corrected by hand.
#pragma once

#include "base/grid.h"
#include "pressure/pressure_file.h"

#include <array>
#include <string>
#include <vector>

// The placed peak pressure on the foot image's 1 mm grid: 150 x 360 values in kPa, stride
// FOOT_STRIDE, row 0 at the bottom (the heel end) as in FootGrid. NaN where the measurement
// has no data (outside the sensor, or a cell it marks as outside its outline); every cell of
// the grid is filled, the foot's and the others.
using PlacedPressure = std::array<float, GRID_ROWS * FOOT_STRIDE>;

// Below this share of the load on foot cells, the placement is reported as doubtful.
constexpr double LOW_LOAD_SHARE = 0.90;
// The measurement turned over left to right, or end for end, "fits markedly better" when,
// placed automatically, it puts at least this much more of the load (as a share) on foot
// cells.
constexpr double OTHER_FOOT_MARGIN = 0.03;
// A loaded area longer or wider than this is no foot; it is refused rather than placed.
constexpr double MAX_LOADED_SIDE_MM = 500.0;

// The hand correction's ranges, the same in the 3D window and the batch: a shift of X and Y,
// and a turn. Beyond them a measurement is moved off any foot rather than corrected.
constexpr double MAX_HAND_SHIFT_MM = 100.0;
constexpr double MAX_HAND_TURN_DEGREES = 180.0;

// The correction by hand, added after the automatic placement. Directions are those of the
// foot image as the window shows it, toes up.
struct PlacementCorrection {
    double shiftXMm = 0;     // to the right (toward higher columns)
    double shiftYMm = 0;     // toward the toes (toward higher rows)
    double turnDegrees = 0;  // anticlockwise, about the automatically placed loaded heel centre
    bool mirror = false;     // turn the measurement over left to right first; never done unasked
};

struct PressurePlacement {
    // The whole placement, automatic and by hand: a point p of the measurement's frame (see
    // pressureAtMm; after the mirroring when asked) lands on the foot image at
    // R(turnDegrees) p + (shiftXMm, shiftYMm), in mm from the grid's bottom-left corner.
    double turnDegrees = 0;
    double shiftXMm = 0;
    double shiftYMm = 0;
    // The automatic part alone, in the same form.
    double autoTurnDegrees = 0;
    double autoShiftXMm = 0;
    double autoShiftYMm = 0;
    // The point the hand turn turns about, on the foot image in mm.
    double pivotXMm = 0;
    double pivotYMm = 0;
    // Of the load above the noise floor (kPa x mm²), the share that falls on foot cells: with
    // the placement used; with its automatic part alone; and, each placed automatically, for
    // the other side's orientation (the measurement turned over, or back when it was
    // mirrored), for the measurement turned 180 degrees in its own plane (end for end), and
    // for both at once.
    double loadShare = 0;
    double autoLoadShare = 0;
    double otherSideLoadShare = 0;
    double endForEndLoadShare = 0;
    double bothTurnedLoadShare = 0;
    bool lowShare = false;  // loadShare below LOW_LOAD_SHARE
    // Of the three other ways, the one that fits best and markedly better than this one's
    // automatic share: it is turned over (the other foot), end for end (heel first), or both.
    bool looksLikeOtherFoot = false;
    bool looksEndForEnd = false;
    std::vector<std::string> warnings;  // one sentence each, for the window and the batch

    // A placement with a warning is doubtful: the batch makes no relief on it unasked.
    bool doubtful() const { return !warnings.empty(); }
};

// Places the measurement on the foot (footGrid's cells with grey > 0) and samples it onto the
// foot image's 1 mm grid: each cell takes the value of the sensor cell whose square contains
// the cell's centre, as placed (no smoothing: a sensor cell measured the mean over its
// square). Fails, saying why and leaving `placed` and `report` untouched, when the foot image
// has no foot cell, the map is empty, the correction is not finite, or the loaded area is
// larger than MAX_LOADED_SIDE_MM.
bool placePressure(const PressureMap& map, const FootGrid& footGrid,
                   const PlacementCorrection& correction, PlacedPressure& placed,
                   PressurePlacement& report, std::string& failure);

// The foot's own frame as placing finds it on the foot image's 1 mm grid (cells with
// grey > 0, each at its centre): the principal axis of the cells, pointing toward the toes,
// and along it the heel centre (centroid of the rear quarter of the length) and the ball
// centre (centroid of the band from 60 % to 80 %), in mm from the grid's bottom-left corner.
// The insole's landmarks start from these very figures. False when there is no foot cell.
struct FootAxis {
    double axisX = 0, axisY = 0;
    double heelXMm = 0, heelYMm = 0;
    double ballXMm = 0, ballYMm = 0;
};
bool footAxisOf(const FootGrid& footGrid, FootAxis& axis);

// Where a point of the measurement's frame lands on the foot image under a placement.
void placedPoint(const PressurePlacement& placement, double xMm, double yMm, double& footX,
                 double& footY);
