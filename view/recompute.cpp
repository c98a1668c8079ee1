#include "view/recompute.h"

#include "base/grid_stats.h"
#include "base/trace.h"
#include "imagefile/foot_image.h"
#include "view/drawing.h"
#include "view/shaping.h"
#include "view/slope_limit.h"

#include <cmath>

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
