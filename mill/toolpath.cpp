#include "mill/toolpath.h"

#include "mill/drop_cutter.h"
#include "base/level.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <utility>

// How the path is made. Everything is planned in the solid's coordinates (z up from the
// table) and moved to the machine's (Z = z - blank) at the end.
//
// Finishing: lines along Y, stepover apart, over the region the tool's centre may visit (the
// footprint grown by the tool's diameter plus 2 mm). Along a line the tip's lowest clear
// height is sampled every coarseStep (below) and wherever the height between two samples is not
// the straight line between them (the midpoint's height off the chord by more than
// SAMPLE_TOLERANCE), down to FINEST_STEP. Where even that is not straight, the outline's wall
// drops faster than any sampling follows: the move is lifted over the whole stretch, to a
// height that a ball enlarged by half the stretch proves clear. Then points are merged where
// the path stays within MERGE_TOLERANCE of the straight line between the points kept
// (vertically and sideways), and Z is rounded up to the thousandth the file holds; X and Y are
// sampled on thousandths, so rounding never moves a point sideways into a steep wall. Where
// the height is concave (a ball rolling over a vertex or an edge) the chord is at most twice
// the midpoint's offset below it, so a move's ball comes no more than about
// 2 x SAMPLE_TOLERANCE + MERGE_TOLERANCE + a hidden bump = 0.005 mm below the surface.
//
// Roughing: lines along Y as well (the long way, so that the tool turns as seldom as it can),
// ROUGHING_STEPOVER_SHARE of the tool's diameter apart, at Z = -stepdown, -2 x stepdown, ...
// and a last level at the allowance above the table. A line cuts only where the finishing
// path along it (with a small margin for what lies between its samples) is at least the
// allowance below the level, and only where material is still above the level. What is left
// is followed in a coarse map of the stock's top, which also decides how low a rapid may come
// down before the plunge.

namespace {

// A bump of the height narrower than half the coarse step can hide between the samples and
// their midpoint; a ball of radius r makes no bump of width w lower than w^2 / 8r, so the
// step grows with the root of the radius: bumps of at most 0.00065 mm hide (0.25 mm steps
// for a 6 mm tool).
double coarseStep(double r) { return std::min(0.5, 0.144 * std::sqrt(r)); }
// Points checked along a link, and how far apart.
constexpr double LINK_CHECK_STEP = 0.0625;
// How far a link may stray beyond the region: the region's border is a chain of arcs around
// the footprint's cells, slightly hollow between them, and its lines end on it, snapped to
// thousandths. The tool then takes a sliver this thin off the blank's uncut rim.
constexpr double LINK_SLACK = 0.1;
constexpr double FINEST_STEP = 1.0 / 128.0;
constexpr double SAMPLE_TOLERANCE = 0.0012;
constexpr double MERGE_TOLERANCE = 0.002;
// Roughing stays this much further above the finishing path, for what the sampled path
// between its points may not show.
constexpr double ROUGHING_MARGIN = 0.01;
// The roughing lines' distance, as a share of the tool's diameter: ridges of about 4 % of
// the diameter, and a tool never loaded over more than 40 % of its width.
constexpr double ROUGHING_STEPOVER_SHARE = 0.4;
// A rapid comes down no nearer than this to the stock's top before the plunge starts.
constexpr double RAPID_CLEARANCE = 1.0;
// Cells of the stock map, in millimetres.
constexpr double STOCK_CELL = 0.5;
// Material thinner than this above a level is taken as none.
constexpr double NOTHING_TO_CUT = 0.01;

struct Point {
    double x, y, z;
};

// A position as the file holds it, to the thousandth: drops are made at these positions, so
// that rounding for the file never moves a point sideways into a steep wall.
double snap(double v) { return std::round(v * 1000.0) / 1000.0; }

double distance2d(const Point& a, const Point& b) { return std::hypot(b.x - a.x, b.y - a.y); }

// How far p lies from the segment a-b, measured so that a ball moved along the segment
// instead of through p comes no lower into the surface than that: vertically, and across the
// segment's direction seen from above. On a wall as steep as the outline's, a point a
// thousandth of a millimetre off the line in space can stand a hundredth above it. Points
// beyond the segment's ends, seen from above, are not on it; a vertical segment is measured
// in space.
double offSegment(const Point& p, const Point& a, const Point& b)
{
    const double hx = b.x - a.x, hy = b.y - a.y;
    const double across2 = hx * hx + hy * hy;
    const double wx = p.x - a.x, wy = p.y - a.y;
    if (across2 < 1e-12) {
        const double wz = p.z - a.z, uz = b.z - a.z;
        const double t = uz != 0.0 ? std::clamp(wz / uz, 0.0, 1.0) : 0.0;
        return std::sqrt(wx * wx + wy * wy + (wz - t * uz) * (wz - t * uz));
    }
    const double t = (wx * hx + wy * hy) / across2;
    if (t < 0.0 || t > 1.0) {
        return 1e9;
    }
    const double side = std::abs(wx * hy - wy * hx) / std::sqrt(across2);
    const double vertical = std::abs(p.z - (a.z + t * (b.z - a.z)));
    return std::max(side, vertical);
}

// Whether every point strictly between first and last lies within the merge tolerance of the
// straight line from first to last.
bool straightBetween(const std::vector<Point>& points, std::size_t first, std::size_t last)
{
    for (std::size_t i = first + 1; i < last; ++i) {
        if (offSegment(points[i], points[first], points[last]) > MERGE_TOLERANCE) {
            return false;
        }
    }
    return true;
}

// The points of a polyline that shape it: from each kept point, the farthest point that the
// points in between allow (found by doubling the reach, then halving), so that a long straight
// stretch costs n log n, not n^2.
std::vector<Point> mergeStraight(const std::vector<Point>& points)
{
    std::vector<Point> kept;
    if (points.empty()) {
        return kept;
    }
    kept.push_back(points[0]);
    const std::size_t last = points.size() - 1;
    std::size_t i = 0;
    while (i < last) {
        std::size_t good = i + 1;      // the next point can always be reached
        std::size_t bad = last + 1;    // the first point known out of reach
        std::size_t reach = 2;
        while (good < last) {
            const std::size_t candidate = std::min(i + reach, last);
            if (!straightBetween(points, i, candidate)) {
                bad = candidate;
                break;
            }
            good = candidate;
            reach *= 2;
        }
        while (bad - good > 1) {
            const std::size_t middle = good + (bad - good) / 2;
            if (straightBetween(points, i, middle)) {
                good = middle;
            } else {
                bad = middle;
            }
        }
        kept.push_back(points[good]);
        i = good;
    }
    return kept;
}

// Intervals [low, high] of a line, sorted and apart.
using Intervals = std::vector<std::pair<double, double>>;

// The region the tool's centre visits: the foot cells grown by `grow` millimetres.
class Region {
public:
    Region(const Grid& heights, double grow) : grow_(grow)
    {
        runs_.resize(FOOT_COLUMNS);
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            int y = 0;
            while (y < GRID_ROWS) {
                if (heights[gridIndex(x, y)] == 0) {
                    ++y;
                    continue;
                }
                const int first = y;
                while (y < GRID_ROWS && heights[gridIndex(x, y)] != 0) {
                    ++y;
                }
                runs_[x].push_back({first, y});
                minX_ = std::min(minX_, x);
                maxX_ = std::max(maxX_, x + 1);
                minY_ = std::min(minY_, first);
                maxY_ = std::max(maxY_, y);
            }
        }
    }

    bool empty() const { return minX_ > maxX_; }
    double minX() const { return minX_ - grow_; }
    double maxX() const { return maxX_ + grow_; }
    double minY() const { return minY_ - grow_; }
    double maxY() const { return maxY_ + grow_; }

    // The stretches of the line X = x inside the region.
    Intervals along(double x) const
    {
        Intervals pieces;
        for (int column = 0; column < FOOT_COLUMNS; ++column) {
            const double dx = std::max({column - x, 0.0, x - (column + 1)});
            if (dx > grow_) {
                continue;
            }
            const double reach = std::sqrt(grow_ * grow_ - dx * dx);
            for (const auto& run : runs_[column]) {
                pieces.push_back({run.first - reach, run.second + reach});
            }
        }
        std::sort(pieces.begin(), pieces.end());
        Intervals joined;
        for (const auto& piece : pieces) {
            if (!joined.empty() && piece.first <= joined.back().second) {
                joined.back().second = std::max(joined.back().second, piece.second);
            } else {
                joined.push_back(piece);
            }
        }
        return joined;
    }

    // Whether (x, y) lies in the region or within `slack` of it.
    bool contains(double x, double y, double slack) const
    {
        const int first = std::max(0, static_cast<int>(std::floor(x - grow_)) - 1);
        const int last = std::min(FOOT_COLUMNS - 1, static_cast<int>(std::floor(x + grow_)) + 1);
        for (int column = first; column <= last; ++column) {
            const double dx = std::max({column - x, 0.0, x - (column + 1)});
            for (const auto& run : runs_[column]) {
                const double dy = std::max({run.first - y, 0.0, y - run.second});
                if (dx * dx + dy * dy <= (grow_ + slack) * (grow_ + slack)) {
                    return true;
                }
            }
        }
        return false;
    }

private:
    double grow_;
    std::vector<std::vector<std::pair<int, int>>> runs_;
    int minX_ = FOOT_COLUMNS;
    int maxX_ = -1;
    int minY_ = GRID_ROWS;
    int maxY_ = -1;
};

// Positions of lines `step` apart across [low, high], centred.
std::vector<double> linePositions(double low, double high, double step)
{
    const double width = high - low;
    const int count = static_cast<int>(std::floor(width / step + 1e-9)) + 1;
    const double first = low + (width - (count - 1) * step) / 2.0;
    std::vector<double> positions;
    for (int i = 0; i < count; ++i) {
        positions.push_back(first + i * step);
    }
    return positions;
}

// The top of the material left, as an upper bound per cell of STOCK_CELL millimetres, in the
// solid's z.
class Stock {
public:
    Stock(double minX, double minY, double maxX, double maxY, double top)
        : minX_(minX), minY_(minY)
    {
        columns_ = static_cast<int>(std::ceil((maxX - minX) / STOCK_CELL)) + 1;
        rows_ = static_cast<int>(std::ceil((maxY - minY) / STOCK_CELL)) + 1;
        top_.assign(static_cast<std::size_t>(columns_) * rows_, top);
        blankTop_ = top;
    }

    double at(double x, double y) const
    {
        const int column = columnOf(x);
        const int row = rowOf(y);
        if (column < 0 || row < 0 || column >= columns_ || row >= rows_) {
            return blankTop_;
        }
        return top_[static_cast<std::size_t>(row) * columns_ + column];
    }

    // The highest stock within `radius` of (x, y).
    double highestNear(double x, double y, double radius) const
    {
        double highest = 0.0;
        for (int row = rowOf(y - radius); row <= rowOf(y + radius); ++row) {
            for (int column = columnOf(x - radius); column <= columnOf(x + radius); ++column) {
                if (column < 0 || row < 0 || column >= columns_ || row >= rows_) {
                    highest = std::max(highest, blankTop_);
                    continue;
                }
                const double cx = minX_ + column * STOCK_CELL;
                const double cy = minY_ + row * STOCK_CELL;
                const double dx = std::max({cx - x, 0.0, x - (cx + STOCK_CELL)});
                const double dy = std::max({cy - y, 0.0, y - (cy + STOCK_CELL)});
                if (dx * dx + dy * dy <= radius * radius) {
                    highest = std::max(highest, top_[static_cast<std::size_t>(row) * columns_ + column]);
                }
            }
        }
        return highest;
    }

    // A ball of radius r cut from (x0, y0) to (x1, y1) with its tip at z: in every cell whose
    // farthest point lies within r of the cut, nothing is left above the ball's surface there.
    void cut(double x0, double y0, double x1, double y1, double z, double r)
    {
        const double hx = x1 - x0, hy = y1 - y0;
        const double length2 = hx * hx + hy * hy;
        const auto distance = [&](double px, double py) {
            double t = length2 > 0.0 ? ((px - x0) * hx + (py - y0) * hy) / length2 : 0.0;
            t = std::clamp(t, 0.0, 1.0);
            return std::hypot(px - x0 - t * hx, py - y0 - t * hy);
        };
        for (int row = std::max(0, rowOf(std::min(y0, y1) - r));
             row <= std::min(rows_ - 1, rowOf(std::max(y0, y1) + r)); ++row) {
            for (int column = std::max(0, columnOf(std::min(x0, x1) - r));
                 column <= std::min(columns_ - 1, columnOf(std::max(x0, x1) + r)); ++column) {
                const double cx = minX_ + column * STOCK_CELL;
                const double cy = minY_ + row * STOCK_CELL;
                // The distance to a segment is convex: a cell's farthest point is a corner.
                const double far = std::max({distance(cx, cy), distance(cx + STOCK_CELL, cy),
                                             distance(cx, cy + STOCK_CELL),
                                             distance(cx + STOCK_CELL, cy + STOCK_CELL)});
                if (far < r) {
                    double& top = top_[static_cast<std::size_t>(row) * columns_ + column];
                    top = std::min(top, z + r - std::sqrt(r * r - far * far));
                }
            }
        }
    }

private:
    int columnOf(double x) const { return static_cast<int>(std::floor((x - minX_) / STOCK_CELL)); }
    int rowOf(double y) const { return static_cast<int>(std::floor((y - minY_) / STOCK_CELL)); }

    double minX_;
    double minY_;
    int columns_ = 0;
    int rows_ = 0;
    double blankTop_ = 0.0;
    std::vector<double> top_;
};

class Planner {
public:
    Planner(const DropSurface& surface, const Region& region, const MillSetup& setup)
        : surface_(surface), region_(region), setup_(setup), r_(setup.toolMm / 2.0),
          blank_(setup.blankMm), safe_(setup.blankMm + setup.safeMm),
          stock_(region.minX() - r_, region.minY() - r_, region.maxX() + r_, region.maxY() + r_,
                 setup.blankMm)
    {
    }

    double drop(double x, double y) const { return dropTip(surface_, x, y, r_, &hint_); }

    // The tip's path along the straight line from a to b (their z ignored), both ends included:
    // see the note at the top of this file.
    std::vector<Point> sampleLine(double ax, double ay, double bx, double by) const
    {
        std::vector<Point> out;
        ax = snap(ax);
        ay = snap(ay);
        bx = snap(bx);
        by = snap(by);
        const double length = std::hypot(bx - ax, by - ay);
        const int steps = std::max(1, static_cast<int>(std::ceil(length / coarseStep(r_))));
        Point previous{ax, ay, drop(ax, ay)};
        out.push_back(previous);
        for (int i = 1; i <= steps; ++i) {
            const double share = static_cast<double>(i) / steps;
            const double x = i == steps ? bx : snap(ax + (bx - ax) * share);
            const double y = i == steps ? by : snap(ay + (by - ay) * share);
            const Point next{x, y, drop(x, y)};
            refine(previous, next, out);
            out.push_back(next);
            previous = next;
        }
        return out;
    }

    void plan(Toolpath& path, bool roughing)
    {
        if (roughing) {
            rough(path);
        }
        path.finishingStart = moves_.size();
        finish(path);
        // Back up to the safe height at the end.
        if (!moves_.empty()) {
            const MillMove& lastMove = moves_.back();
            add(MillMoveKind::Rapid, lastMove.x, lastMove.y, safe_);
        }
        toMachine(path);
    }

private:
    // Emits the points strictly between p and q that make the moves from p to q clear.
    void refine(const Point& p, const Point& q, std::vector<Point>& out) const
    {
        const double mx = snap((p.x + q.x) / 2.0), my = snap((p.y + q.y) / 2.0);
        const Point m{mx, my, drop(mx, my)};
        // The chord's height at m, which need not be halfway once snapped.
        const double length = distance2d(p, q);
        const double share = length > 0.0 ? distance2d(p, m) / length : 0.5;
        const double off = m.z - (p.z + (q.z - p.z) * share);
        if (std::abs(off) <= SAMPLE_TOLERANCE) {
            return;
        }
        const bool between = (mx != p.x || my != p.y) && (mx != q.x || my != q.y);
        if (length > FINEST_STEP && between) {
            refine(p, m, out);
            out.push_back(m);
            refine(m, q, out);
            return;
        }
        // A ball larger by half the stretch, dropped at its middle, holds the balls over every
        // point of the stretch at the same centre height.
        const double half = std::max(distance2d(p, m), distance2d(m, q));
        const double over = dropTip(surface_, m.x, m.y, r_ + half) + half;
        if (over > p.z) {
            out.push_back({p.x, p.y, over});
        }
        if (over > q.z) {
            out.push_back({q.x, q.y, over});
        }
    }

    void add(MillMoveKind kind, double x, double y, double z)
    {
        moves_.push_back({kind, x, y, z});
    }

    // From the current point (at a cut's end, or nowhere at the start) to above (x, y), then
    // down in air as far as the stock allows, and into it at the plunge feed to z.
    void approach(double x, double y, double z)
    {
        if (!moves_.empty()) {
            add(MillMoveKind::Rapid, moves_.back().x, moves_.back().y, safe_);
        }
        add(MillMoveKind::Rapid, x, y, safe_);
        const double clear = std::max(stock_.highestNear(x, y, r_), z) + RAPID_CLEARANCE;
        if (clear < safe_) {
            add(MillMoveKind::Rapid, x, y, clear);
        }
        add(MillMoveKind::Plunge, x, y, z);
    }

    // Whether the tool may go straight from the current point to (x, y) at the roughing level
    // z: every point on the way inside the region and far enough above the finishing path.
    bool roughingLinkClear(double x, double y, double z) const
    {
        const MillMove& from = moves_.back();
        const double length = std::hypot(x - from.x, y - from.y);
        if (length > setup_.toolMm + roughingStep_) {
            return false;
        }
        const int steps = std::max(1, static_cast<int>(std::ceil(length / LINK_CHECK_STEP)));
        for (int i = 0; i <= steps; ++i) {
            const double share = static_cast<double>(i) / steps;
            const double px = from.x + (x - from.x) * share;
            const double py = from.y + (y - from.y) * share;
            if (!region_.contains(px, py, LINK_SLACK) ||
                drop(px, py) + setup_.allowanceMm + ROUGHING_MARGIN > z) {
                return false;
            }
        }
        return true;
    }

    void rough(Toolpath& path)
    {
        roughingStep_ = ROUGHING_STEPOVER_SHARE * setup_.toolMm;
        path.figures.roughingStepoverMm = roughingStep_;
        struct Line {
            double x;
            std::vector<std::vector<Point>> stretches;  // the finishing path along it
        };
        std::vector<Line> lines;
        for (double x : linePositions(region_.minX(), region_.maxX(), roughingStep_)) {
            Line line{x, {}};
            for (const auto& piece : region_.along(x)) {
                if (piece.second - piece.first > 1e-6) {
                    line.stretches.push_back(sampleLine(x, piece.first, x, piece.second));
                }
            }
            lines.push_back(std::move(line));
        }

        const double allowance = setup_.allowanceMm;
        std::vector<double> levels;
        for (int k = 1;; ++k) {
            const double level = blank_ - k * setup_.stepdownMm;
            if (level < allowance - 1e-9) {
                break;
            }
            levels.push_back(level);
        }
        if (allowance < blank_ && (levels.empty() || levels.back() > allowance + NOTHING_TO_CUT)) {
            levels.push_back(allowance);
        }

        for (double level : levels) {
            bool cut = false;
            for (std::size_t j = 0; j < lines.size(); ++j) {
                const Line& line = lines[j];
                Intervals pieces;
                for (const std::vector<Point>& stretch : line.stretches) {
                    allowedAlong(stretch, level, pieces);
                }
                const bool up = j % 2 == 0;
                if (!up) {
                    std::reverse(pieces.begin(), pieces.end());
                }
                for (const auto& piece : pieces) {
                    const double from = up ? piece.first : piece.second;
                    const double to = up ? piece.second : piece.first;
                    const bool linked = !moves_.empty() && moves_.back().kind != MillMoveKind::Rapid &&
                                        std::abs(moves_.back().z - level) < 1e-9 &&
                                        roughingLinkClear(line.x, from, level);
                    if (linked) {
                        const MillMove& before = moves_.back();
                        stock_.cut(before.x, before.y, line.x, from, level, r_);
                        add(MillMoveKind::Cut, line.x, from, level);
                    } else {
                        approach(line.x, from, level);
                    }
                    noteDepth(stockAlong(line.x, piece.first, piece.second) - level);
                    add(MillMoveKind::Cut, line.x, to, level);
                    stock_.cut(line.x, piece.first, line.x, piece.second, level, r_);
                    cut = true;
                }
            }
            path.figures.roughingPasses += cut ? 1 : 0;
        }
    }

    // The highest stock along X = x between y0 and y1.
    double stockAlong(double x, double y0, double y1) const
    {
        double highest = 0.0;
        for (double y = y0; y < y1 + STOCK_CELL; y += STOCK_CELL) {
            highest = std::max(highest, stock_.at(x, std::min(y, y1)));
        }
        return highest;
    }

    // Adds to `pieces` the stretches of a line where the level is far enough above the
    // finishing path and material is left above the level.
    void allowedAlong(const std::vector<Point>& stretch, double level, Intervals& pieces) const
    {
        const double need = level - setup_.allowanceMm - ROUGHING_MARGIN;
        // The path on the table is exactly the table: there the margin is not needed.
        const bool overTable = level >= setup_.allowanceMm;
        const auto allowed = [&](const Point& p) { return p.z <= need || (overTable && p.z == 0.0); };
        bool inside = false;
        double start = 0.0;
        const auto close = [&](double end) {
            if (end - start > 1e-6) {
                withMaterial(stretch.front().x, start, end, level, pieces);
            }
        };
        for (std::size_t i = 0; i < stretch.size(); ++i) {
            const Point& p = stretch[i];
            if (i == 0) {
                inside = allowed(p);
                start = p.y;
                continue;
            }
            const Point& o = stretch[i - 1];
            if (allowed(p) == inside) {
                continue;
            }
            // Where the path between o and p crosses the allowed height.
            const double share = (need - o.z) / (p.z - o.z);
            double y = o.y + (p.y - o.y) * std::clamp(share, 0.0, 1.0);
            if (inside) {
                // Leaving: stop a little early rather than late.
                y = std::max(o.y, std::min(y, p.y) - 1e-6);
                close(y);
            } else {
                start = std::min(p.y, y + 1e-6);
            }
            inside = !inside;
        }
        if (inside) {
            close(stretch.back().y);
        }
    }

    // Adds the parts of [y0, y1] along X = x where the stock is above the level.
    void withMaterial(double x, double y0, double y1, double level, Intervals& pieces) const
    {
        bool inside = false;
        double start = y0;
        for (double y = y0;; y = std::min(y + STOCK_CELL / 2.0, y1)) {
            const bool material = stock_.at(x, y) > level + NOTHING_TO_CUT;
            if (material && !inside) {
                start = y;
            } else if (!material && inside) {
                pieces.push_back({start, y});
            }
            inside = material;
            if (y >= y1) {
                break;
            }
        }
        if (inside) {
            pieces.push_back({start, y1});
        }
    }

    void noteDepth(double depth) { largestCut_ = std::max(largestCut_, depth); }

    void finish(Toolpath& path)
    {
        // The stretches of every line inside the region. Where the outline is hollow (the
        // arch, between the toes) a line has several; the raster then goes on through one
        // part of the region as long as the next line has a stretch beside the last one, and
        // takes up the stretches left behind afterwards.
        struct Stretch {
            double x, low, high;
            bool done;
        };
        std::vector<std::vector<Stretch>> lines;
        for (double x : linePositions(region_.minX(), region_.maxX(), setup_.stepoverMm)) {
            std::vector<Stretch> stretches;
            for (const auto& piece : region_.along(x)) {
                if (piece.second - piece.first > 1e-6) {
                    stretches.push_back({x, piece.first, piece.second, false});
                }
            }
            if (!stretches.empty()) {
                lines.push_back(std::move(stretches));
            }
        }
        const int lineNumber = static_cast<int>(lines.size());
        if (lines.empty()) {
            return;
        }
        std::vector<std::vector<Point>> strokes;
        std::size_t line = 0, index = 0;
        bool up = true;
        for (;;) {
            Stretch& stretch = lines[line][index];
            stretch.done = true;
            std::vector<Point> points = sampleLine(stretch.x, up ? stretch.low : stretch.high, stretch.x,
                                                   up ? stretch.high : stretch.low);
            if (!strokes.empty() && linkable(strokes.back().back(), points.front())) {
                std::vector<Point>& stroke = strokes.back();
                std::vector<Point> link = sampleLine(stroke.back().x, stroke.back().y,
                                                     points.front().x, points.front().y);
                stroke.insert(stroke.end(), link.begin() + 1, link.end());
                stroke.insert(stroke.end(), points.begin() + 1, points.end());
            } else {
                strokes.push_back(std::move(points));
            }
            // The next line's stretch beside this one whose near end is nearest.
            const double end = up ? stretch.high : stretch.low;
            bool found = false;
            if (line + 1 < lines.size()) {
                double nearest = 0.0;
                for (std::size_t k = 0; k < lines[line + 1].size(); ++k) {
                    const Stretch& next = lines[line + 1][k];
                    const double start = up ? next.high : next.low;
                    if (!next.done && next.low < stretch.high && next.high > stretch.low &&
                        (!found || std::abs(start - end) < nearest)) {
                        found = true;
                        nearest = std::abs(start - end);
                        index = k;
                    }
                }
            }
            if (found) {
                ++line;
                up = !up;
                continue;
            }
            // Otherwise the first stretch not yet milled, going up.
            found = false;
            for (std::size_t l = 0; l < lines.size() && !found; ++l) {
                for (std::size_t k = 0; k < lines[l].size() && !found; ++k) {
                    if (!lines[l][k].done) {
                        line = l;
                        index = k;
                        found = true;
                    }
                }
            }
            if (!found) {
                break;
            }
            up = true;
        }
        path.figures.finishingLines = lineNumber;
        for (const std::vector<Point>& stroke : strokes) {
            const std::vector<Point> kept = mergeStraight(stroke);
            approach(kept.front().x, kept.front().y, kept.front().z);
            noteDepth(stock_.at(kept.front().x, kept.front().y) - kept.front().z);
            for (std::size_t i = 1; i < kept.size(); ++i) {
                add(MillMoveKind::Cut, kept[i].x, kept[i].y, kept[i].z);
                noteDepth(stock_.at(kept[i].x, kept[i].y) - kept[i].z);
            }
        }
    }

    // Whether the end of one finishing line may go on to the start of the next over the
    // surface, without leaving the region (beyond it stands the blank's uncut rim).
    bool linkable(const Point& from, const Point& to) const
    {
        // Beside the heel and the toes the border runs nearly along the lines, and the next
        // line starts several millimetres on; farther than this, a retract is as quick.
        const double length = distance2d(from, to);
        if (length > 4.0 * setup_.toolMm) {
            return false;
        }
        const int steps = std::max(1, static_cast<int>(std::ceil(length / LINK_CHECK_STEP)));
        for (int i = 0; i <= steps; ++i) {
            const double share = static_cast<double>(i) / steps;
            if (!region_.contains(from.x + (to.x - from.x) * share, from.y + (to.y - from.y) * share,
                                  LINK_SLACK)) {
                return false;
            }
        }
        return true;
    }

    // Rounds to the thousandths the file holds (Z upwards, never into the surface), drops
    // moves that go nowhere, moves z to the machine's Z and works out the figures.
    void toMachine(Toolpath& path)
    {
        const auto round = [](double v) { return std::round(v * 1000.0) / 1000.0; };
        const auto roundUp = [](double v) { return std::ceil(v * 1000.0 - 1e-7) / 1000.0; };
        MillFigures& f = path.figures;
        std::vector<MillMove>& out = path.moves;
        out.clear();
        std::size_t finishingStart = path.finishingStart;
        path.finishingStart = 0;
        double seconds = 0.0;
        std::vector<SolidVertex>* stroke = nullptr;
        for (std::size_t i = 0; i < moves_.size(); ++i) {
            if (i == finishingStart) {
                path.finishingStart = out.size();
            }
            MillMove m = moves_[i];
            m.x = round(m.x);
            m.y = round(m.y);
            m.z = roundUp(m.z - blank_);
            if (!out.empty() && out.back().x == m.x && out.back().y == m.y && out.back().z == m.z) {
                continue;
            }
            if (!out.empty()) {
                const MillMove& o = out.back();
                const double length = std::sqrt((m.x - o.x) * (m.x - o.x) + (m.y - o.y) * (m.y - o.y) +
                                                (m.z - o.z) * (m.z - o.z));
                const double feed = m.kind == MillMoveKind::Rapid    ? MILL_RAPID_FEED
                                    : m.kind == MillMoveKind::Plunge ? setup_.plungeFeed
                                                                     : setup_.feed;
                seconds += length / feed * 60.0;
            }
            if (i >= finishingStart) {
                if (m.kind == MillMoveKind::Rapid) {
                    stroke = nullptr;
                } else if (m.kind == MillMoveKind::Plunge) {
                    path.finishingStrokes.emplace_back();
                    stroke = &path.finishingStrokes.back();
                }
                if (stroke && m.kind != MillMoveKind::Rapid) {
                    stroke->push_back({static_cast<float>(m.x), static_cast<float>(m.y),
                                       static_cast<float>(m.z + blank_)});
                }
            }
            out.push_back(m);
        }
        if (finishingStart >= moves_.size()) {
            path.finishingStart = out.size();
        }
        f.blankMinX = region_.minX();
        f.blankMinY = region_.minY();
        f.blankXMm = region_.maxX() - region_.minX();
        f.blankYMm = region_.maxY() - region_.minY();
        f.blankZMm = blank_;
        f.moves = out.size();
        f.scallopMm = millScallopMm(setup_.toolMm, setup_.stepoverMm);
        f.machiningSeconds = seconds;
        f.largestCutMm = largestCut_;
        f.filletMm = r_;
    }

    const DropSurface& surface_;
    const Region& region_;
    const MillSetup& setup_;
    double r_;
    double blank_;
    double safe_;
    double roughingStep_ = 0.0;
    double largestCut_ = 0.0;
    Stock stock_;
    std::vector<MillMove> moves_;  // in the solid's z until toMachine
    mutable int hint_ = -1;        // the square that decided the last drop
};

std::string shortest(double value)
{
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed).ptr;
    return std::string(text, end);
}

}  // namespace

double millScallopMm(double toolMm, double stepoverMm)
{
    const double r = toolMm / 2.0;
    const double half = stepoverMm / 2.0;
    return r - std::sqrt(r * r - half * half);
}

namespace {

bool plan(const Grid& heights, double levelMm, const MillSetup& setup, bool roughing,
          Toolpath& path, std::string& refusal)
{
    path = Toolpath{};
    if (!millSetupInRange(setup, refusal)) {
        return false;
    }
    if (!levelInRange(levelMm)) {
        refusal = "level " + shortest(levelMm) + " mm is outside " + shortest(MIN_LEVEL_MM) +
                  " to " + shortest(MAX_LEVEL_MM) + " mm";
        return false;
    }
    int highest = 0;
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            highest = std::max(highest, static_cast<int>(heights[gridIndex(x, y)]));
        }
    }
    if (highest == 0) {
        refusal = "the insole has no foot cell, so there is nothing to mill";
        return false;
    }
    // The solid's own thickest point (its vertices are floats).
    const double thickest = static_cast<float>(highest * levelMm);
    MillSetup used = setup;
    if (used.blankMm == 0.0) {
        used.blankMm = millDefaultBlankMm(thickest);
    }
    if (used.blankMm < thickest) {
        refusal = "the blank of " + shortest(used.blankMm) + " mm is thinner than the insole's " +
                  "thickest point of " + shortest(std::ceil(thickest * 1000.0) / 1000.0) + " mm";
        return false;
    }
    if (used.blankMm > used.fluteMm) {
        refusal = "the blank of " + shortest(used.blankMm) + " mm is deeper than the flute length of " +
                  shortest(used.fluteMm) + " mm";
        return false;
    }
    const SolidMesh mesh = buildSolid(heights, levelMm);
    // The largest ball dropped: the tool's, enlarged by half the finest stretch.
    const DropSurface surface = makeDropSurface(mesh, used.toolMm / 2.0 + FINEST_STEP);
    const Region region(heights, used.toolMm + 2.0);
    path.setup = used;
    Planner planner(surface, region, used);
    planner.plan(path, roughing);
    return true;
}

}  // namespace

bool planToolpath(const Grid& heights, double levelMm, const MillSetup& setup, Toolpath& path,
                  std::string& refusal)
{
    return plan(heights, levelMm, setup, true, path, refusal);
}

bool planFinishing(const Grid& heights, double levelMm, const MillSetup& setup, Toolpath& path,
                   std::string& refusal)
{
    return plan(heights, levelMm, setup, false, path, refusal);
}
