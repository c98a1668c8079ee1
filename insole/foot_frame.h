// The foot's own frame on the foot image's 1 mm grid: where the heel and the ball are, the
// axis from one to the other, how far along the foot and how far toward the big toe a cell
// lies, which foot it is, and the line of the metatarsal heads. The prescription's elements
// are placed from these landmarks, so that they follow the foot rather than the grid.
#pragma once

#include "base/grid.h"

#include <string>

// Which foot it is: found from the toes, or given by the person.
enum class FootSide { Left, Right };
enum class SideChoice { Automatic, Left, Right };

// The toe end: the cells at or beyond this share of the length, whose lean across the axis
// tells the big toe's side.
constexpr double TOE_END_SHARE = 0.85;
// The head line is looked for among the 1 mm bands whose centre lies in this share of the
// length: the metatarsal heads of any foot fall there.
constexpr double HEAD_LINE_FROM = 0.55;
constexpr double HEAD_LINE_TO = 0.80;

struct FootFrame {
    // The heel centre H and the ball centre B, in mm from the grid's bottom-left corner, as
    // the placement of a measurement finds them; of a foot image stored upside down (toes
    // toward row 0, told by its forefoot, the widest part, lying there), as the placement
    // finds them on the image turned right way up, so that H is at the heel all the same.
    double heelXMm = 0, heelYMm = 0;
    double ballXMm = 0, ballYMm = 0;
    // The unit vector u from H toward B, and m, its normal toward the big toe's side.
    double axisX = 0, axisY = 1;
    double medialX = -1, medialY = 0;
    // t0: the smallest (p - H) . u over the foot cells, and L, the foot's length along u.
    double heelEndMm = 0;
    double lengthMm = 0;
    FootSide side = FootSide::Left;
    bool sideSet = false;  // given by the person rather than found
    // The widest band across the forefoot: its centre along the foot and its medial and
    // lateral edges across it. Without such a band (a foot too short) hasHeadLine is false.
    bool hasHeadLine = false;
    double headLineMm = 0;
    double headMedialMm = 0;
    double headLateralMm = 0;

    // Position along the foot, from 0 at the heel's end to L, and across it, toward the big
    // toe, of a point in mm of the foot image's grid.
    double along(double xMm, double yMm) const
    {
        return (xMm - heelXMm) * axisX + (yMm - heelYMm) * axisY - heelEndMm;
    }
    double across(double xMm, double yMm) const
    {
        return (xMm - heelXMm) * medialX + (yMm - heelYMm) * medialY;
    }
    // The point at position t along and v across.
    void pointAt(double t, double v, double& xMm, double& yMm) const
    {
        xMm = heelXMm + (t + heelEndMm) * axisX + v * medialX;
        yMm = heelYMm + (t + heelEndMm) * axisY + v * medialY;
    }
};

// Works out the frame of the foot cells (grey > 0). False, saying why and leaving `frame`
// as it was, when the image has no foot cell.
bool findFootFrame(const FootGrid& footGrid, SideChoice side, FootFrame& frame,
                   std::string& failure);

// "left" or "right", as files and reports say it; and the choice as the batch's option and
// the settings file name it: "auto", "left" or "right".
const char* sideName(FootSide side);
const char* sideChoiceName(SideChoice choice);
// Reads "auto", "left" or "right"; false for anything else.
bool parseSideChoice(const std::string& text, SideChoice& choice);
