#include "scan/scan_foot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

namespace {

constexpr double PI = 3.14159265358979323846;
// The foot may fill the grid but its outermost rows and columns, which are never measured.
constexpr double MAX_LENGTH_MM = GRID_ROWS - 2;
constexpr double MAX_WIDTH_MM = FOOT_COLUMNS - 2;

struct Point {
    double x, y, z;
};

// The proper rotation that takes the scan's up axis to +z: a quarter or half turn, never a
// mirror.
Point upright(const float* v, ScanUp up)
{
    const double x = v[0], y = v[1], z = v[2];
    switch (up) {
    case ScanUp::PlusZ:
        return {x, y, z};
    case ScanUp::MinusZ:
        return {x, -y, -z};
    case ScanUp::PlusY:
        return {x, -z, y};
    case ScanUp::MinusY:
        return {x, z, -y};
    case ScanUp::PlusX:
        return {-z, y, x};
    case ScanUp::MinusX:
        return {z, y, -x};
    }
    return {x, y, z};
}

bool fail(std::string& reason, const char* format, double a = 0, double b = 0)
{
    char text[320];
    std::snprintf(text, sizeof text, format, a, b);
    reason = text;
    return false;
}

// Millimetres per unit of the file for an explicit choice; 0 for Auto.
double scaleOf(ScanUnits units)
{
    switch (units) {
    case ScanUnits::Millimetres:
        return 1;
    case ScanUnits::Centimetres:
        return 10;
    case ScanUnits::Metres:
        return 1000;
    case ScanUnits::Auto:
        break;
    }
    return 0;
}

// The units a foot of this longest extent is plausibly measured in: a foot is 150 to 400 mm.
ScanUnits guessUnits(double extent)
{
    if (extent >= 150 && extent <= 400) {
        return ScanUnits::Millimetres;
    }
    if (extent >= 15 && extent <= 40) {
        return ScanUnits::Centimetres;
    }
    if (extent >= 0.15 && extent <= 0.40) {
        return ScanUnits::Metres;
    }
    return ScanUnits::Auto;
}

// Direction of the footprint's long axis (radians from +x): the principal axis of the area
// the scan covers seen from above, every triangle weighted by its projected area. Returns
// false when the scan covers no area from above.
bool longAxis(const std::vector<Point>& points, const std::vector<std::uint32_t>& triangles,
              double originX, double originY, double& angle)
{
    double area = 0, sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
    for (std::size_t t = 0; t < triangles.size(); t += 3) {
        const Point& a = points[triangles[t]];
        const Point& b = points[triangles[t + 1]];
        const Point& c = points[triangles[t + 2]];
        const double ax = a.x - originX, ay = a.y - originY;
        const double bx = b.x - originX, by = b.y - originY;
        const double cx = c.x - originX, cy = c.y - originY;
        const double w = std::fabs((bx - ax) * (cy - ay) - (cx - ax) * (by - ay)) / 2;
        if (w == 0) {
            continue;
        }
        // Second moments of a triangle: area / 12 * (sum of v v^T + s s^T), s = a + b + c.
        const double tx = ax + bx + cx, ty = ay + by + cy;
        area += w;
        sx += w * tx / 3;
        sy += w * ty / 3;
        sxx += w / 12 * (ax * ax + bx * bx + cx * cx + tx * tx);
        syy += w / 12 * (ay * ay + by * by + cy * cy + ty * ty);
        sxy += w / 12 * (ax * ay + bx * by + cx * cy + tx * ty);
    }
    if (!(area > 0)) {
        return false;
    }
    const double mx = sx / area, my = sy / area;
    const double cxx = sxx / area - mx * mx;
    const double cyy = syy / area - my * my;
    const double cxy = sxy / area - mx * my;
    angle = 0.5 * std::atan2(2 * cxy, cxx - cyy);
    return true;
}

// The lowest surface above each cell centre of the grid, +infinity where none is.
void lowestSurface(const std::vector<Point>& points, const std::vector<std::uint32_t>& triangles,
                   std::vector<double>& depth)
{
    depth.assign(static_cast<std::size_t>(FOOT_STRIDE) * GRID_ROWS, std::numeric_limits<double>::infinity());
    for (std::size_t t = 0; t < triangles.size(); t += 3) {
        const Point& a = points[triangles[t]];
        const Point& b = points[triangles[t + 1]];
        const Point& c = points[triangles[t + 2]];
        const double area2 = (b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y);
        if (std::fabs(area2) < 1e-12) {
            continue;  // stands on edge: a vertical line does not meet it in a point
        }
        const double minX = std::min({a.x, b.x, c.x}), maxX = std::max({a.x, b.x, c.x});
        const double minY = std::min({a.y, b.y, c.y}), maxY = std::max({a.y, b.y, c.y});
        // Cells whose centre (i + 0.5, j + 0.5) lies in the triangle's bounding box.
        const int x0 = std::max(0, static_cast<int>(std::ceil(minX - 0.5)));
        const int x1 = std::min(FOOT_COLUMNS - 1, static_cast<int>(std::floor(maxX - 0.5)));
        const int y0 = std::max(0, static_cast<int>(std::ceil(minY - 0.5)));
        const int y1 = std::min(GRID_ROWS - 1, static_cast<int>(std::floor(maxY - 0.5)));
        const double inverse = 1 / area2;
        // A centre on a shared edge belongs to both triangles; the lower surface wins anyway.
        constexpr double EDGE = -1e-9;
        for (int j = y0; j <= y1; ++j) {
            const double py = j + 0.5;
            for (int i = x0; i <= x1; ++i) {
                const double px = i + 0.5;
                const double wa = ((b.x - px) * (c.y - py) - (c.x - px) * (b.y - py)) * inverse;
                const double wb = ((c.x - px) * (a.y - py) - (a.x - px) * (c.y - py)) * inverse;
                const double wc = 1 - wa - wb;
                if (wa < EDGE || wb < EDGE || wc < EDGE) {
                    continue;
                }
                double& cell = depth[static_cast<std::size_t>(footIndex(i, j))];
                cell = std::min(cell, wa * a.z + wb * b.z + wc * c.z);
            }
        }
    }
}

// Whether the foot's wider end lies at the bottom: more covered cells in its lowest three
// tenths than in its highest. The heel is the narrower end and belongs at the bottom.
bool heelIsAtTheTop(const std::vector<double>& depth)
{
    int firstRow = GRID_ROWS, lastRow = -1;
    for (int j = 0; j < GRID_ROWS; ++j) {
        for (int i = 0; i < FOOT_COLUMNS; ++i) {
            if (std::isfinite(depth[static_cast<std::size_t>(footIndex(i, j))])) {
                firstRow = std::min(firstRow, j);
                lastRow = std::max(lastRow, j);
            }
        }
    }
    if (lastRow < firstRow) {
        return false;
    }
    const int band = std::max(1, (lastRow - firstRow + 1) * 3 / 10);
    long bottom = 0, top = 0;
    for (int j = 0; j < GRID_ROWS; ++j) {
        for (int i = 0; i < FOOT_COLUMNS; ++i) {
            if (std::isfinite(depth[static_cast<std::size_t>(footIndex(i, j))])) {
                bottom += j < firstRow + band;
                top += j > lastRow - band;
            }
        }
    }
    return bottom > top;
}

// Fills the holes of the scan inside the footprint that are at most MAX_FILLED_HOLE cells
// across, from the outside in, each cell with the mean of its filled neighbours. Holes open
// to the grid's edge are outside the foot. Returns the number of cells filled.
int fillSmallHoles(std::vector<double>& depth)
{
    const auto empty = [&depth](int i, int j) {
        return !std::isfinite(depth[static_cast<std::size_t>(footIndex(i, j))]);
    };
    std::vector<char> seen(depth.size(), 0);
    std::vector<int> component;
    std::vector<int> stack;
    int filled = 0;
    for (int start = 0; start < static_cast<int>(depth.size()); ++start) {
        if (seen[static_cast<std::size_t>(start)] || !empty(start % FOOT_STRIDE, start / FOOT_STRIDE)) {
            continue;
        }
        component.clear();
        stack.assign(1, start);
        seen[static_cast<std::size_t>(start)] = 1;
        bool open = false;
        int minX = FOOT_COLUMNS, maxX = -1, minY = GRID_ROWS, maxY = -1;
        while (!stack.empty()) {
            const int cell = stack.back();
            stack.pop_back();
            component.push_back(cell);
            const int i = cell % FOOT_STRIDE, j = cell / FOOT_STRIDE;
            minX = std::min(minX, i), maxX = std::max(maxX, i);
            minY = std::min(minY, j), maxY = std::max(maxY, j);
            open |= i == 0 || j == 0 || i == FOOT_COLUMNS - 1 || j == GRID_ROWS - 1;
            const int next[4][2] = {{i - 1, j}, {i + 1, j}, {i, j - 1}, {i, j + 1}};
            for (const auto& n : next) {
                if (n[0] < 0 || n[1] < 0 || n[0] >= FOOT_COLUMNS || n[1] >= GRID_ROWS) {
                    continue;
                }
                const int index = footIndex(n[0], n[1]);
                if (!seen[static_cast<std::size_t>(index)] && empty(n[0], n[1])) {
                    seen[static_cast<std::size_t>(index)] = 1;
                    stack.push_back(index);
                }
            }
        }
        if (open || maxX - minX + 1 > MAX_FILLED_HOLE || maxY - minY + 1 > MAX_FILLED_HOLE) {
            continue;
        }
        // Rounds from the rim inwards; every round fills the cells that touch a filled one,
        // from the values before the round, so the order of the cells plays no part.
        std::vector<std::pair<int, double>> round;
        while (!component.empty()) {
            round.clear();
            for (const int cell : component) {
                const int i = cell % FOOT_STRIDE, j = cell / FOOT_STRIDE;
                double sum = 0;
                int count = 0;
                for (int dj = -1; dj <= 1; ++dj) {
                    for (int di = -1; di <= 1; ++di) {
                        const double v = depth[static_cast<std::size_t>(footIndex(i + di, j + dj))];
                        if ((di || dj) && std::isfinite(v)) {
                            sum += v;
                            ++count;
                        }
                    }
                }
                if (count > 0) {
                    round.emplace_back(cell, sum / count);
                }
            }
            for (const auto& [cell, value] : round) {
                depth[static_cast<std::size_t>(cell)] = value;
            }
            filled += static_cast<int>(round.size());
            component.erase(std::remove_if(component.begin(), component.end(),
                                           [&depth](int cell) {
                                               return std::isfinite(depth[static_cast<std::size_t>(cell)]);
                                           }),
                            component.end());
        }
    }
    return filled;
}

}  // namespace

bool parseScanUnits(const std::string& text, ScanUnits& units)
{
    for (ScanUnits u : {ScanUnits::Auto, ScanUnits::Millimetres, ScanUnits::Centimetres, ScanUnits::Metres}) {
        if (text == scanUnitsName(u)) {
            units = u;
            return true;
        }
    }
    return false;
}

bool parseScanUp(const std::string& text, ScanUp& up)
{
    for (ScanUp u : {ScanUp::PlusZ, ScanUp::MinusZ, ScanUp::PlusY, ScanUp::MinusY, ScanUp::PlusX,
                     ScanUp::MinusX}) {
        if (text == scanUpName(u)) {
            up = u;
            return true;
        }
    }
    return false;
}

const char* scanUnitsName(ScanUnits units)
{
    switch (units) {
    case ScanUnits::Millimetres:
        return "mm";
    case ScanUnits::Centimetres:
        return "cm";
    case ScanUnits::Metres:
        return "m";
    case ScanUnits::Auto:
        break;
    }
    return "auto";
}

const char* scanUpName(ScanUp up)
{
    switch (up) {
    case ScanUp::PlusZ:
        return "+z";
    case ScanUp::MinusZ:
        return "-z";
    case ScanUp::PlusY:
        return "+y";
    case ScanUp::MinusY:
        return "-y";
    case ScanUp::PlusX:
        return "+x";
    case ScanUp::MinusX:
        return "-x";
    }
    return "+z";
}

std::uint8_t levelOfHeight(double heightMm, double levelMm)
{
    const double level = 1 + std::round(std::max(0.0, heightMm) / levelMm);
    return static_cast<std::uint8_t>(std::min(level, 255.0));
}

bool makeScanFoot(const ScanMesh& mesh, const ScanOptions& options, FootGrid& foot,
                  ScanFigures& figures, std::string& reason)
{
    if (!levelInRange(options.levelMm)) {
        return fail(reason, "the level size %g mm lies outside 0.05 to 1 mm", options.levelMm);
    }
    figures.triangles = mesh.triangleCount();
    figures.up = options.up;

    // Only the vertices of triangles count: a stray point must not move the ground.
    std::vector<Point> points(mesh.vertexCount());
    std::vector<char> used(mesh.vertexCount(), 0);
    for (const std::uint32_t index : mesh.triangles) {
        used[index] = 1;
    }
    double minX = INFINITY, maxX = -INFINITY, minY = INFINITY, maxY = -INFINITY;
    for (std::size_t v = 0; v < points.size(); ++v) {
        points[v] = upright(&mesh.vertices[v * 3], options.up);
        if (used[v]) {
            minX = std::min(minX, points[v].x), maxX = std::max(maxX, points[v].x);
            minY = std::min(minY, points[v].y), maxY = std::max(maxY, points[v].y);
        }
    }
    double axis = 0;
    if (mesh.triangles.empty() ||
        !longAxis(points, mesh.triangles, (minX + maxX) / 2, (minY + maxY) / 2, axis)) {
        return fail(reason, "it covers no area seen from below: every triangle stands on edge; "
                            "check the up axis");
    }
    // Turn the long axis onto +y, the direction of the image's columns.
    const double turn = PI / 2 - axis;
    const double cosTurn = std::cos(turn), sinTurn = std::sin(turn);
    double low[3] = {INFINITY, INFINITY, INFINITY};
    double high[3] = {-INFINITY, -INFINITY, -INFINITY};
    for (std::size_t v = 0; v < points.size(); ++v) {
        Point& p = points[v];
        p = {p.x * cosTurn - p.y * sinTurn, p.x * sinTurn + p.y * cosTurn, p.z};
        if (used[v]) {
            const double c[3] = {p.x, p.y, p.z};
            for (int k = 0; k < 3; ++k) {
                low[k] = std::min(low[k], c[k]);
                high[k] = std::max(high[k], c[k]);
            }
        }
    }
    const double width = high[0] - low[0], length = high[1] - low[1], height = high[2] - low[2];
    const double extent = std::max({width, length, height});
    figures.unitsGuessed = options.units == ScanUnits::Auto;
    figures.units = figures.unitsGuessed ? guessUnits(extent) : options.units;
    if (figures.units == ScanUnits::Auto) {
        return fail(reason,
                    "its longest extent is %g in the file's units, which is no foot length in "
                    "mm (150 to 400), cm (15 to 40) or m (0.15 to 0.40); give its units",
                    extent);
    }
    const double scale = scaleOf(figures.units);
    figures.lengthMm = length * scale;
    figures.widthMm = width * scale;
    figures.heightMm = height * scale;
    if (figures.lengthMm > MAX_LENGTH_MM || figures.widthMm > MAX_WIDTH_MM) {
        return fail(reason,
                    "the foot measures %.1f x %.1f mm (length x width), more than the 358 x 148 "
                    "mm a foot image holds",
                    figures.lengthMm, figures.widthMm);
    }

    // Millimetres on the grid, centred, the ground at height 0.
    const double centreX = (low[0] + high[0]) / 2, centreY = (low[1] + high[1]) / 2;
    for (Point& p : points) {
        p = {(p.x - centreX) * scale + FOOT_COLUMNS / 2.0, (p.y - centreY) * scale + GRID_ROWS / 2.0,
             (p.z - low[2]) * scale};
    }
    std::vector<double> depth;
    lowestSurface(points, mesh.triangles, depth);
    if (std::none_of(depth.begin(), depth.end(), [](double d) { return std::isfinite(d); })) {
        return fail(reason,
                    "the foot measures %.1f x %.1f mm (length x width) and covers no cell of the "
                    "foot image; check its units",
                    figures.lengthMm, figures.widthMm);
    }
    double turned = turn;
    if (heelIsAtTheTop(depth)) {
        // A half turn about the grid's centre, which maps cell centres onto cell centres.
        std::reverse(depth.begin(), depth.end());
        turned += PI;
    }
    figures.turnDegrees = std::fmod(std::fmod(turned * 180 / PI, 360) + 360, 360);
    figures.filledCells = fillSmallHoles(depth);
    for (std::size_t c = 0; c < depth.size(); ++c) {
        foot[c] = std::isfinite(depth[c]) ? levelOfHeight(depth[c], options.levelMm) : 0;
    }
    figures.isScan = true;
    return true;
}
