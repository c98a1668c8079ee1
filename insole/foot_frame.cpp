#include "insole/foot_frame.h"

#include "pressure/placement.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

namespace {

// Whether the foot's widest 1 mm band across its long axis lies in the half of its length
// that the axis points away from: the forefoot, which is wider than the heel, is there, so the
// toes are too. Equal widths (a shape as wide at both ends) leave the axis as it is.
bool widestBehind(const FootGrid& footGrid, const FootAxis& axis)
{
    // Positions along the axis lie within -FOOT_COLUMNS..GRID_ROWS + FOOT_COLUMNS (the axis
    // never points toward lower rows): shifted by FOOT_COLUMNS they index the bands.
    constexpr int BANDS = GRID_ROWS + 2 * FOOT_COLUMNS;
    std::vector<double> lowestAcross(BANDS, std::numeric_limits<double>::infinity());
    std::vector<double> highestAcross(BANDS, -std::numeric_limits<double>::infinity());
    double lowest = std::numeric_limits<double>::infinity();
    double highest = -lowest;
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            if (footGrid[footIndex(x, y)] > 0) {
                const double t = (x + 0.5) * axis.axisX + (y + 0.5) * axis.axisY + FOOT_COLUMNS;
                const double a = (y + 0.5) * axis.axisX - (x + 0.5) * axis.axisY;
                const int k = std::clamp(static_cast<int>(std::floor(t)), 0, BANDS - 1);
                lowestAcross[k] = std::min(lowestAcross[k], a);
                highestAcross[k] = std::max(highestAcross[k], a);
                lowest = std::min(lowest, t), highest = std::max(highest, t);
            }
        }
    }
    const double middle = 0.5 * (lowest + highest);
    double rear = 0, front = 0;
    for (int k = 0; k < BANDS; ++k) {
        const double width = highestAcross[k] - lowestAcross[k];
        if (width >= 0) {
            double& half = k + 0.5 < middle ? rear : front;
            half = std::max(half, width);
        }
    }
    return rear > front;
}

// The heel and ball centres and the axis from the placement's own figures, with the axis
// pointing toward the toes. The placement takes the toes to lie toward the higher rows, as a
// foot image has them; a file stored upside down (toes at row 0) is worked out with its rows
// turned over, so that its heel centre is at its heel, and the figures are turned back.
bool axisTowardToes(const FootGrid& footGrid, FootAxis& axis)
{
    if (!footAxisOf(footGrid, axis)) {
        return false;
    }
    if (!widestBehind(footGrid, axis)) {
        return true;
    }
    auto turned = std::make_unique<FootGrid>();
    for (int y = 0; y < GRID_ROWS; ++y) {
        std::copy_n(footGrid.data() + footIndex(0, y), FOOT_COLUMNS,
                    turned->data() + footIndex(0, GRID_ROWS - 1 - y));
    }
    FootAxis found;
    footAxisOf(*turned, found);
    // Row y's centre y + 0.5 lies at GRID_ROWS - (y + 0.5) when the rows are turned over.
    axis = {found.axisX,
            -found.axisY,
            found.heelXMm,
            GRID_ROWS - found.heelYMm,
            found.ballXMm,
            GRID_ROWS - found.ballYMm};
    return true;
}

}  // namespace

bool findFootFrame(const FootGrid& footGrid, SideChoice side, FootFrame& frame,
                   std::string& failure)
{
    FootAxis found;
    if (!axisTowardToes(footGrid, found)) {
        failure = "the foot image has no foot cell to find the heel and the ball on";
        return false;
    }
    FootFrame out;
    out.heelXMm = found.heelXMm, out.heelYMm = found.heelYMm;
    out.ballXMm = found.ballXMm, out.ballYMm = found.ballYMm;
    double ux = found.ballXMm - found.heelXMm, uy = found.ballYMm - found.heelYMm;
    const double norm = std::hypot(ux, uy);
    if (norm > 1e-9) {
        ux /= norm, uy /= norm;
    } else {
        // A foot whose heel and ball centres meet (a single cell, a round blot): the long
        // axis itself, which points toward the toes.
        ux = found.axisX, uy = found.axisY;
    }
    out.axisX = ux, out.axisY = uy;
    // The normal to the left of u, as the window shows the foot, toes up.
    const double leftX = -uy, leftY = ux;

    // The foot cells' positions along and across the axis (across: to the left of u), worked
    // out once: every landmark below is a pass over them.
    struct Cell {
        double t, left;
    };
    std::vector<Cell> cells;
    cells.reserve(GRID_ROWS * FOOT_COLUMNS / 3);
    double lowest = std::numeric_limits<double>::infinity();
    double highest = -lowest;
    for (int y = 0; y < GRID_ROWS; ++y) {
        const std::uint8_t* row = footGrid.data() + footIndex(0, y);
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            if (row[x] > 0) {
                const double px = x + 0.5 - out.heelXMm, py = y + 0.5 - out.heelYMm;
                const double t = px * ux + py * uy;
                cells.push_back({t, px * leftX + py * leftY});
                lowest = std::min(lowest, t), highest = std::max(highest, t);
            }
        }
    }
    out.heelEndMm = lowest;
    out.lengthMm = highest - lowest;

    // The toe end leans toward the big toe: to the left of u on a right foot.
    double lean = 0;
    int toeCells = 0;
    const double toeFrom = TOE_END_SHARE * out.lengthMm;
    for (const Cell& cell : cells) {
        if (cell.t - lowest >= toeFrom) {
            lean += cell.left;
            ++toeCells;
        }
    }
    if (side == SideChoice::Automatic) {
        out.side = toeCells > 0 && lean > 0 ? FootSide::Right : FootSide::Left;
    } else {
        out.side = side == SideChoice::Left ? FootSide::Left : FootSide::Right;
        out.sideSet = true;
    }
    const double medialSign = out.side == FootSide::Right ? 1.0 : -1.0;
    out.medialX = medialSign * leftX, out.medialY = medialSign * leftY;

    // The head line: the widest 1 mm band whose centre lies between 55 % and 80 % of the
    // length; the band nearest the heel wins a tie.
    const int bands = static_cast<int>(std::floor(out.lengthMm)) + 1;
    std::vector<double> vMin(bands, std::numeric_limits<double>::infinity());
    std::vector<double> vMax(bands, -std::numeric_limits<double>::infinity());
    for (const Cell& cell : cells) {
        const int k = std::clamp(static_cast<int>(std::floor(cell.t - lowest)), 0, bands - 1);
        const double v = medialSign * cell.left;
        vMin[k] = std::min(vMin[k], v), vMax[k] = std::max(vMax[k], v);
    }
    double widest = -1;
    for (int k = 0; k < bands && out.lengthMm > 0; ++k) {
        const double s = (k + 0.5) / out.lengthMm;
        if (s < HEAD_LINE_FROM || s > HEAD_LINE_TO || vMax[k] < vMin[k]) {
            continue;
        }
        if (vMax[k] - vMin[k] > widest) {
            widest = vMax[k] - vMin[k];
            out.hasHeadLine = true;
            out.headLineMm = k + 0.5;
            out.headMedialMm = vMax[k];
            out.headLateralMm = vMin[k];
        }
    }
    frame = out;
    return true;
}

const char* sideName(FootSide side) { return side == FootSide::Left ? "left" : "right"; }

const char* sideChoiceName(SideChoice choice)
{
    switch (choice) {
    case SideChoice::Left:
        return "left";
    case SideChoice::Right:
        return "right";
    case SideChoice::Automatic:
        break;
    }
    return "auto";
}

bool parseSideChoice(const std::string& text, SideChoice& choice)
{
    for (SideChoice c : {SideChoice::Automatic, SideChoice::Left, SideChoice::Right}) {
        if (text == sideChoiceName(c)) {
            choice = c;
            return true;
        }
    }
    return false;
}
