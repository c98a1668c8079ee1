#include "insole/recompute.h"

#include "base/grid_stats.h"
#include "base/trace.h"
#include "imagefile/foot_image.h"
#include "insole/drawing.h"
#include "insole/shaping.h"
#include "insole/slope_limit.h"

#include <cmath>
#include <memory>

InsoleSettings restoredSettings(const InsoleState& state)
{
    InsoleSettings settings;
    settings.width = state.footWidth;
    settings.length = state.footLength;
    return settings;
}

void DrawnRelief::clear()
{
    for (Grid* layer : {&raise, &zoneMask, &nearestZone, &capped}) {
        layer->fill(0);
    }
    cappedCells = 0;
    zones.clear();
}

namespace {

// Raises the shaped heights around the relief's zones: its layers drawn onto the insole's
// grid with the foot's quad, the raise added (capped at 255), and the zones told where they
// lie on the insole, how large they are there and whether the cap took their depth.
void raiseAroundZones(Grid& heights, const Relief& relief, const QuadPlacement& quad,
                      DrawnRelief& drawn)
{
    const FootLayer layers[] = {{&relief.raise, &drawn.raise},
                                {&relief.zoneMask, &drawn.zoneMask},
                                {&relief.nearestZone, &drawn.nearestZone}};
    drawFootLayersOnCpu(layers, 3, quad);
    drawn.cappedCells = addDrawnRaise(heights, drawn.raise, &drawn.capped);
    drawn.zones = relief.zones;
    markDepthAfterCap(drawn.raise, drawn.nearestZone, drawn.capped, relief.fullRaise, drawn.zones);
    // Areas are counted on the insole's 1 mm cells, so that they follow the width and length
    // as the zones do, and every report of them (the window's, the batch's) gives one figure.
    int area[MAX_RELIEF_ZONES + 1] = {};
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            ++area[drawn.zoneMask[gridIndex(x, y)]];
        }
    }
    for (ReliefZone& zone : drawn.zones) {
        drawnPoint(quad, zone.centreXMm, zone.centreYMm, zone.centreXMm, zone.centreYMm);
        zone.areaMm2 = area[zone.id];
    }
}

}  // namespace

float recomputeAtDrawnSize(InsoleState& state, const InsoleSettings& settings,
                           const Relief* relief, DrawnRelief* drawn)
{
    const QuadPlacement quad = placeQuad(state.footBox(), state.displayWidth, state.displayLength);
    drawFootOnCpu(state.displayGrid, quad, state.heightGrid);
    const float lowest = shapeHeights(state.heightGrid, state.footLength, settings.length,
                                      settings.heightRatio);
    traceLowestHeight(lowest);
    if (relief) {
        std::unique_ptr<DrawnRelief> own;
        if (!drawn) {
            own = std::make_unique<DrawnRelief>();
            drawn = own.get();
        }
        raiseAroundZones(state.heightGrid, *relief, quad, *drawn);
    } else if (drawn) {
        drawn->clear();
    }
    if (settings.limit) {
        limitSlopes(state.heightGrid);
    }
    traceGridMinimum(gridMinimum(state.heightGrid));
    return lowest;
}

float recomputeHeights(InsoleState& state, const InsoleSettings& settings, const Relief* relief,
                       DrawnRelief* drawn)
{
    state.displayWidth = displaySizeFor(settings.width, state.footWidth, FOOT_COLUMNS);
    state.displayLength = displaySizeFor(settings.length, state.footLength, GRID_ROWS);
    return recomputeAtDrawnSize(state, settings, relief, drawn);
}

GridOverflow overflowAt(const InsoleState& state, const InsoleSettings& settings)
{
    const float displayWidth = displaySizeFor(settings.width, state.footWidth, FOOT_COLUMNS);
    const float displayLength = displaySizeFor(settings.length, state.footLength, GRID_ROWS);
    return drawnFootOverflow(state.footBox(), placeQuad(state.footBox(), displayWidth, displayLength));
}

int longestFittingLength(const InsoleState& state, const InsoleSettings& settings)
{
    InsoleSettings tried = settings;
    const int shortest = static_cast<int>(std::ceil(lengthSliderSetting(state.footLength).minimum));
    for (int length = static_cast<int>(std::floor(settings.length)); length >= shortest; --length) {
        tried.length = length;
        if (overflowAt(state, tried).rowsLost == 0) {
            return length;
        }
    }
    return 0;
}

int widestFittingWidth(const InsoleState& state, const InsoleSettings& settings)
{
    InsoleSettings tried = settings;
    const int narrowest = static_cast<int>(std::ceil(widthSliderSetting(state.footWidth).minimum));
    for (int width = static_cast<int>(std::floor(settings.width)); width >= narrowest; --width) {
        tried.width = width;
        if (overflowAt(state, tried).columnsLost == 0) {
            return width;
        }
    }
    return 0;
}
