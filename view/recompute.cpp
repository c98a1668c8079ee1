#include "view/recompute.h"

#include "app/trace.h"
#include "imagefile/foot_image.h"
#include "view/drawing.h"
#include "view/grid_stats.h"
#include "view/shaping.h"
#include "view/slope_limit.h"

InsoleSettings restoredSettings(const InsoleState& state)
{
    InsoleSettings settings;
    settings.width = state.footWidth;
    settings.length = state.footLength;
    return settings;
}

float recomputeHeights(InsoleState& state, const InsoleSettings& settings, Grid* ambiguous)
{
    state.displayWidth = displaySizeFor(settings.width, state.footWidth, FOOT_COLUMNS);
    state.displayLength = displaySizeFor(settings.length, state.footLength, GRID_ROWS);
    drawFootOnCpu(state.displayGrid,
                  placeQuad(state.footBox(), state.displayWidth, state.displayLength),
                  state.heightGrid, ambiguous);
    const float lowest = shapeHeights(state.heightGrid, state.footLength, settings.length,
                                      settings.heightRatio);
    traceLowestHeight(lowest);
    if (settings.limit) {
        limitSlopes(state.heightGrid);
    }
    traceGridMinimum(gridMinimum(state.heightGrid));
    return lowest;
}
