#include "view/element_lines.h"

#include "insole/elements.h"

#include <algorithm>
#include <cmath>
#include <memory>

SolidLines elementOutlines(const Grid& drawnOutlines, const Grid& heights, double levelMm)
{
    SolidLines lines;
    auto mask = std::make_unique<Grid>();
    for (int kind = 0; kind < ELEMENT_KINDS; ++kind) {
        bool any = false;
        for (std::size_t i = 0; i < mask->size(); ++i) {
            (*mask)[i] = static_cast<std::uint8_t>(heights[i] != 0 && (drawnOutlines[i] >> kind & 1));
            any = any || (*mask)[i];
        }
        if (any) {
            const SolidLines one = zoneOutlines(*mask, heights, levelMm);
            lines.insert(lines.end(), one.begin(), one.end());
        }
    }
    return lines;
}

namespace {

// The top under a point of the insole's grid, lifted as the outlines are.
float topAt(const Grid& heights, double x, double y, double levelMm)
{
    const int cx = std::clamp(static_cast<int>(std::floor(x)), 0, FOOT_COLUMNS - 1);
    const int cy = std::clamp(static_cast<int>(std::floor(y)), 0, GRID_ROWS - 1);
    return static_cast<float>(heights[gridIndex(cx, cy)] * levelMm + 0.3);
}

// A straight line of the foot image's grid from (t0, v0) to (t1, v1) in the foot's frame,
// drawn onto the insole in 1 mm steps that follow the top.
void addLine(SolidLines& lines, const FootFrame& frame, const QuadPlacement& quad,
             const Grid& heights, double levelMm, double t0, double v0, double t1, double v1)
{
    const int steps = std::max(1, static_cast<int>(std::ceil(std::hypot(t1 - t0, v1 - v0))));
    double lastX = 0, lastY = 0;
    for (int k = 0; k <= steps; ++k) {
        const double share = static_cast<double>(k) / steps;
        double footX = 0, footY = 0, x = 0, y = 0;
        frame.pointAt(t0 + (t1 - t0) * share, v0 + (v1 - v0) * share, footX, footY);
        drawnPoint(quad, footX, footY, x, y);
        if (k > 0) {
            lines.insert(lines.end(), {static_cast<float>(lastX), static_cast<float>(lastY),
                                       topAt(heights, lastX, lastY, levelMm), static_cast<float>(x),
                                       static_cast<float>(y), topAt(heights, x, y, levelMm)});
        }
        lastX = x, lastY = y;
    }
}

}  // namespace

SolidLines landmarkLines(const FootFrame& frame, const QuadPlacement& quad, const Grid& heights,
                         double levelMm)
{
    SolidLines lines;
    addLine(lines, frame, quad, heights, levelMm, 0, 0, frame.lengthMm, 0);
    if (frame.hasHeadLine) {
        addLine(lines, frame, quad, heights, levelMm, frame.headLineMm, frame.headLateralMm,
                frame.headLineMm, frame.headMedialMm);
    }
    return lines;
}
