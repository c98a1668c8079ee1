#include "insole/recompute.h"

#include "base/grid_stats.h"
#include "base/trace.h"
#include "imagefile/foot_image.h"
#include "insole/drawing.h"
#include "insole/shaping.h"
#include "insole/slope_limit.h"

#include <algorithm>
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

void DrawnElements::clear()
{
    for (Grid* layer : {&raise, &total, &capped}) {
        layer->fill(0);
    }
    cappedCells = 0;
}

void drawElementOutlines(const ElementRaise& elements, const InsoleState& state, Grid& drawn)
{
    const FootLayer layer{&elements.outlines, &drawn};
    drawFootLayersOnCpu(&layer, 1, placeQuad(state.footBox(), state.displayWidth, state.displayLength));
}

namespace {

// The relief's layers drawn onto the insole's grid with the foot's quad.
void drawRelief(const Relief& relief, const QuadPlacement& quad, DrawnRelief& drawn)
{
    const FootLayer layers[] = {{&relief.raise, &drawn.raise},
                                {&relief.zoneMask, &drawn.zoneMask},
                                {&relief.nearestZone, &drawn.nearestZone}};
    drawFootLayersOnCpu(layers, 3, quad);
}

// After the raise is added: the zones told where they lie on the insole, how large they are
// there and whether the cap took their depth.
void placeZones(const Relief& relief, const QuadPlacement& quad, DrawnRelief& drawn)
{
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

// Raises the shaped heights around the relief's zones: its layers drawn onto the insole's
// grid with the foot's quad, the raise added (capped at 255), and the zones placed.
void raiseAroundZones(Grid& heights, const Relief& relief, const QuadPlacement& quad,
                      DrawnRelief& drawn)
{
    drawRelief(relief, quad, drawn);
    drawn.cappedCells = addDrawnRaise(heights, drawn.raise, &drawn.capped);
    placeZones(relief, quad, drawn);
}

// Raises the shaped heights by the elements, and by the relief's raise with them when there
// is one: both drawn with the foot's quad, summed per cell, added once (capped at 255).
void raiseByElements(Grid& heights, const ElementRaise& elements, const Relief* relief,
                     const QuadPlacement& quad, DrawnRelief* drawn, DrawnElements& out)
{
    const FootLayer layer{&elements.raise, &out.raise};
    drawFootLayersOnCpu(&layer, 1, quad);
    const Grid* total = &out.raise;
    if (relief) {
        drawRelief(*relief, quad, *drawn);
        for (int i = 0; i < GRID_ROWS * GRID_STRIDE; ++i) {
            out.total[i] = static_cast<std::uint8_t>(std::min(255, out.raise[i] + drawn->raise[i]));
        }
        total = &out.total;
    }
    out.cappedCells = addDrawnRaise(heights, *total, &out.capped);
    if (relief) {
        drawn->capped = out.capped;
        drawn->cappedCells = out.cappedCells;
        placeZones(*relief, quad, *drawn);
    } else if (drawn) {
        drawn->clear();
    }
}

}  // namespace

float recomputeAtDrawnSize(InsoleState& state, const InsoleSettings& settings,
                           const Relief* relief, DrawnRelief* drawn,
                           const ElementRaise* elements, DrawnElements* drawnElements)
{
    const QuadPlacement quad = placeQuad(state.footBox(), state.displayWidth, state.displayLength);
    drawFootOnCpu(state.displayGrid, quad, state.heightGrid);
    const float lowest = shapeHeights(state.heightGrid, state.footLength, settings.length,
                                      settings.heightRatio);
    traceLowestHeight(lowest);
    std::unique_ptr<DrawnRelief> own;
    if (relief && !drawn) {
        own = std::make_unique<DrawnRelief>();
        drawn = own.get();
    }
    if (elements) {
        std::unique_ptr<DrawnElements> ownElements;
        if (!drawnElements) {
            ownElements = std::make_unique<DrawnElements>();
            drawnElements = ownElements.get();
        }
        raiseByElements(state.heightGrid, *elements, relief, quad, drawn, *drawnElements);
    } else {
        if (drawnElements) {
            drawnElements->clear();
        }
        if (relief) {
            raiseAroundZones(state.heightGrid, *relief, quad, *drawn);
        } else if (drawn) {
            drawn->clear();
        }
    }
    if (settings.limit) {
        limitSlopes(state.heightGrid);
    }
    traceGridMinimum(gridMinimum(state.heightGrid));
    return lowest;
}

float recomputeHeights(InsoleState& state, const InsoleSettings& settings, const Relief* relief,
                       DrawnRelief* drawn, const ElementRaise* elements,
                       DrawnElements* drawnElements)
{
    state.displayWidth = displaySizeFor(settings.width, state.footWidth, FOOT_COLUMNS);
    state.displayLength = displaySizeFor(settings.length, state.footLength, GRID_ROWS);
    return recomputeAtDrawnSize(state, settings, relief, drawn, elements, drawnElements);
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
