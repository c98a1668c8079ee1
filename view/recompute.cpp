#include "view/recompute.h"

#include "base/trace.h"
#include "imagefile/foot_image.h"
#include "view/drawing.h"
#include "base/grid_stats.h"
#include "view/shaping.h"
#include "view/slope_limit.h"

InsoleSettings restoredSettings(const InsoleState& state)
{
    InsoleSettings settings;
    settings.width = state.footWidth;
    settings.length = state.footLength;
    return settings;
}

float reshapeDrawnHeights(Grid& heightGrid, int footLength, double lengthValue, double heightRatio,
                          bool limit)
{
    const float lowest = shapeHeights(heightGrid, footLength, lengthValue, heightRatio);
    traceLowestHeight(lowest);
    if (limit) {
        limitSlopes(heightGrid);
    }
    traceGridMinimum(gridMinimum(heightGrid));
    return lowest;
}

float recomputeAtDrawnSize(InsoleState& state, const InsoleSettings& settings)
{
    drawFootOnCpu(state.displayGrid,
                  placeQuad(state.footBox(), state.displayWidth, state.displayLength),
                  state.heightGrid);
    return reshapeDrawnHeights(state.heightGrid, state.footLength, settings.length,
                               settings.heightRatio, settings.limit);
}

float recomputeHeights(InsoleState& state, const InsoleSettings& settings)
{
    state.displayWidth = displaySizeFor(settings.width, state.footWidth, FOOT_COLUMNS);
    state.displayLength = displaySizeFor(settings.length, state.footLength, GRID_ROWS);
    return recomputeAtDrawnSize(state, settings);
}
