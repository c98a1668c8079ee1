#include "pressure/relief.h"

#include "base/level.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

constexpr int CELLS = GRID_ROWS * FOOT_STRIDE;

bool outside(double value, double minimum, double maximum)
{
    return !(value >= minimum && value <= maximum);
}

// Labels the 8-connected pieces of the non-zero cells of a FootGrid-shaped mask with 1, 2, ...
// (0 elsewhere) and returns each piece's size, sizes[label - 1].
std::vector<int> labelPieces(const std::uint8_t* mask, std::vector<std::int32_t>& label)
{
    label.assign(CELLS, 0);
    std::vector<int> sizes;
    std::vector<int> stack;
    for (int start = 0; start < CELLS; ++start) {
        if (!mask[start] || label[start]) {
            continue;
        }
        const int id = static_cast<int>(sizes.size()) + 1;
        int size = 0;
        label[start] = id;
        stack.push_back(start);
        while (!stack.empty()) {
            const int cell = stack.back();
            stack.pop_back();
            ++size;
            const int x = cell % FOOT_STRIDE, y = cell / FOOT_STRIDE;
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    const int nx = x + dx, ny = y + dy;
                    if (nx < 0 || nx >= FOOT_COLUMNS || ny < 0 || ny >= GRID_ROWS) {
                        continue;
                    }
                    const int next = footIndex(nx, ny);
                    if (mask[next] && !label[next]) {
                        label[next] = id;
                        stack.push_back(next);
                    }
                }
            }
        }
        sizes.push_back(size);
    }
    return sizes;
}

std::string rangeProblem(const char* name, double value, double minimum, double maximum,
                         const char* unit)
{
    char text[160];
    std::snprintf(text, sizeof text, "%s %g %s is outside %g-%g %s", name, value, unit, minimum,
                  maximum, unit);
    return text;
}

}  // namespace

bool reliefParametersValid(const ReliefParameters& p, std::string& problem)
{
    if (outside(p.thresholdKpa, MIN_RELIEF_KPA, MAX_RELIEF_KPA)) {
        problem =
            rangeProblem("relief threshold", p.thresholdKpa, MIN_RELIEF_KPA, MAX_RELIEF_KPA, "kPa");
    } else if (outside(p.depthMm, MIN_RELIEF_DEPTH_MM, MAX_RELIEF_DEPTH_MM)) {
        problem =
            rangeProblem("relief depth", p.depthMm, MIN_RELIEF_DEPTH_MM, MAX_RELIEF_DEPTH_MM, "mm");
    } else if (outside(p.marginMm, MIN_RELIEF_MARGIN_MM, MAX_RELIEF_MARGIN_MM)) {
        problem = rangeProblem("relief margin", p.marginMm, MIN_RELIEF_MARGIN_MM,
                               MAX_RELIEF_MARGIN_MM, "mm");
    } else if (outside(p.widthMm, MIN_RELIEF_WIDTH_MM, MAX_RELIEF_WIDTH_MM)) {
        problem = rangeProblem("relief transition width", p.widthMm, MIN_RELIEF_WIDTH_MM,
                               MAX_RELIEF_WIDTH_MM, "mm");
    } else {
        return true;
    }
    return false;
}

void squaredDistances(const std::uint8_t* sites, int width, int height, std::int32_t* distance2,
                      std::int32_t* nearest)
{
    const std::size_t cells = static_cast<std::size_t>(width) * height;
    // Down each column: the distance to the nearest site in that column, and its row.
    std::vector<std::int32_t> columnDistance(cells), columnSite(cells);
    for (int x = 0; x < width; ++x) {
        int last = -1;
        for (int y = 0; y < height; ++y) {
            const std::size_t i = static_cast<std::size_t>(y) * width + x;
            if (sites[i]) {
                last = y;
            }
            columnDistance[i] = last >= 0 ? y - last : -1;
            columnSite[i] = last;
        }
        last = -1;
        for (int y = height - 1; y >= 0; --y) {
            const std::size_t i = static_cast<std::size_t>(y) * width + x;
            if (sites[i]) {
                last = y;
            }
            if (last >= 0 && (columnDistance[i] < 0 || last - y < columnDistance[i])) {
                columnDistance[i] = last - y;
                columnSite[i] = last;
            }
        }
    }
    // Along each row: the lower envelope of the parabolas (x - q)² + g(q)², g being the
    // column distances, gives the exact squared distance to the nearest site.
    std::vector<int> vertex(static_cast<std::size_t>(width));
    std::vector<double> boundary(static_cast<std::size_t>(width) + 1);
    for (int y = 0; y < height; ++y) {
        const std::size_t row = static_cast<std::size_t>(y) * width;
        const auto f = [&](int q) {
            const long long g = columnDistance[row + q];
            return g * g;
        };
        int k = -1;
        for (int q = 0; q < width; ++q) {
            if (columnDistance[row + q] < 0) {
                continue;
            }
            if (k < 0) {
                k = 0;
                vertex[0] = q;
                boundary[0] = -INFINITY;
                boundary[1] = INFINITY;
                continue;
            }
            while (true) {
                const int v = vertex[k];
                const double s = static_cast<double>((f(q) + static_cast<long long>(q) * q) -
                                                     (f(v) + static_cast<long long>(v) * v)) /
                                 (2.0 * (q - v));
                if (s <= boundary[k]) {
                    --k;  // boundary[0] is -infinity: k never falls below 0
                    continue;
                }
                ++k;
                vertex[k] = q;
                boundary[k] = s;
                boundary[k + 1] = INFINITY;
                break;
            }
        }
        if (k < 0) {
            for (int x = 0; x < width; ++x) {
                distance2[row + x] = NO_SITE_DISTANCE;
                if (nearest) {
                    nearest[row + x] = -1;
                }
            }
            continue;
        }
        int j = 0;
        for (int x = 0; x < width; ++x) {
            while (boundary[j + 1] < x) {
                ++j;
            }
            const int q = vertex[j];
            distance2[row + x] =
                static_cast<std::int32_t>(static_cast<long long>(x - q) * (x - q) + f(q));
            if (nearest) {
                nearest[row + x] = columnSite[row + q] * width + q;
            }
        }
    }
}

bool computeRelief(const PlacedPressure& placed, const FootGrid& footGrid,
                   const ReliefParameters& parameters, double levelMm, Relief& relief,
                   std::string& failure)
{
    if (!reliefParametersValid(parameters, failure)) {
        return false;
    }
    if (!levelInRange(levelMm, failure)) {
        return false;
    }
    Relief out;
    out.fullRaise = static_cast<int>(std::lround(parameters.depthMm / levelMm));

    // The peaks: foot cells at or above the threshold, without the pieces too small to be
    // more than noise.
    std::vector<std::uint8_t> mask(CELLS, 0);
    for (int i = 0; i < CELLS; ++i) {
        mask[i] = footGrid[i] > 0 && placed[i] >= parameters.thresholdKpa;
    }
    std::vector<std::int32_t> label;
    const std::vector<int> pieceSizes = labelPieces(mask.data(), label);
    bool anyPeak = false;
    for (int i = 0; i < CELLS; ++i) {
        mask[i] = label[i] > 0 && pieceSizes[label[i] - 1] >= MIN_ZONE_PIECE_MM2;
        anyPeak = anyPeak || mask[i];
    }
    if (!anyPeak) {
        relief = std::move(out);
        return true;
    }

    // Grown by the margin over foot cells, and cut into zones.
    std::vector<std::int32_t> distance2(CELLS), nearest(CELLS);
    squaredDistances(mask.data(), FOOT_STRIDE, GRID_ROWS, distance2.data());
    const double margin2 = parameters.marginMm * parameters.marginMm;
    for (int i = 0; i < CELLS; ++i) {
        mask[i] = footGrid[i] > 0 && distance2[i] <= margin2;
    }
    const std::vector<int> zoneSizes = labelPieces(mask.data(), label);
    if (zoneSizes.size() > MAX_RELIEF_ZONES) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "%zu zones at %g kPa, more than %d: raise the threshold or the margin",
                      zoneSizes.size(), parameters.thresholdKpa, MAX_RELIEF_ZONES);
        failure = text;
        return false;
    }

    // The raise rises linearly with the distance to the nearest zone cell, up to F from W on.
    squaredDistances(mask.data(), FOOT_STRIDE, GRID_ROWS, distance2.data(), nearest.data());
    const double width2 = parameters.widthMm * parameters.widthMm;
    const double fullRaise = out.fullRaise;
    for (int i = 0; i < CELLS; ++i) {
        if (!footGrid[i]) {
            continue;
        }
        out.zoneMask[i] = static_cast<std::uint8_t>(label[i]);
        out.nearestZone[i] = static_cast<std::uint8_t>(label[nearest[i]]);
        if (label[i]) {
            out.raise[i] = 0;
        } else if (distance2[i] >= width2) {
            out.raise[i] = static_cast<std::uint8_t>(out.fullRaise);
        } else {
            const double d = std::sqrt(static_cast<double>(distance2[i]));
            out.raise[i] =
                static_cast<std::uint8_t>(std::floor(fullRaise * d / parameters.widthMm + 0.5));
        }
    }

    out.zones.resize(zoneSizes.size());
    for (std::size_t z = 0; z < zoneSizes.size(); ++z) {
        out.zones[z].id = static_cast<int>(z) + 1;
        out.zones[z].areaMm2 = zoneSizes[z];
    }
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            const int i = footIndex(x, y);
            if (out.zoneMask[i]) {
                ReliefZone& zone = out.zones[out.zoneMask[i] - 1];
                zone.centreXMm += x + 0.5;
                zone.centreYMm += y + 0.5;
                if (placed[i] > zone.peakKpa) {
                    zone.peakKpa = placed[i];
                }
            }
            if (out.nearestZone[i]) {
                ReliefZone& zone = out.zones[out.nearestZone[i] - 1];
                zone.roomLevels = std::max<int>(zone.roomLevels, out.raise[i]);
            }
        }
    }
    for (ReliefZone& zone : out.zones) {
        zone.centreXMm /= zone.areaMm2;
        zone.centreYMm /= zone.areaMm2;
        zone.fullDepth = zone.roomLevels == out.fullRaise;
    }
    relief = std::move(out);
    return true;
}

int addDrawnRaise(Grid& heights, const Grid& drawnRaise, Grid* capped)
{
    int cappedCells = 0;
    for (int y = 0; y < GRID_ROWS; ++y) {
        std::uint8_t* height = heights.data() + gridIndex(0, y);
        const std::uint8_t* raise = drawnRaise.data() + gridIndex(0, y);
        std::uint8_t* mark = capped ? capped->data() + gridIndex(0, y) : nullptr;
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            const int h = height[x];
            const int raised = h > 0 ? h + raise[x] : 0;
            const bool over = raised > 255;
            cappedCells += over;
            height[x] = static_cast<std::uint8_t>(over ? 255 : raised);
            if (mark) {
                mark[x] = over;
            }
        }
    }
    return cappedCells;
}

void markDepthAfterCap(const Grid& drawnRaise, const Grid& drawnNearestZone, const Grid& capped,
                       int fullRaise, std::vector<ReliefZone>& zones)
{
    std::vector<bool> reached(zones.size() + 1, false);
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            const int i = gridIndex(x, y);
            const int zone = drawnNearestZone[i];
            if (zone > 0 && zone <= static_cast<int>(zones.size()) && drawnRaise[i] == fullRaise &&
                !capped[i]) {
                reached[zone] = true;
            }
        }
    }
    for (ReliefZone& zone : zones) {
        const bool known = zone.id >= 1 && zone.id < static_cast<int>(reached.size());
        zone.fullDepth = zone.roomLevels == fullRaise && known && reached[zone.id];
    }
}
