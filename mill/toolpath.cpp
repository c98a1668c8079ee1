#include "mill/toolpath.h"

#include "mill/drop_cutter.h"
#include "mill/material.h"
#include "base/level.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
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
// Roughing clears the whole blank in levels a step-down apart, from its top down to the
// table, before the finishing: lines along Y as well (the long way, so that the tool turns as
// seldom as it can), on the finishing raster's lines. At each level the tool's centre may
// stand wherever the finishing path lies at least the allowance (and ROUGHING_MARGIN) below
// it, and wherever that path lies on the table: beyond the insole's reach the blank is cut
// down to the table, so that the ring in which the finishing cuts the insole free holds
// nothing when it gets there. Every few raster lines (no more than ROUGHING_STEPOVER_SHARE of
// the tool apart) cut all the level allows; the others only where the level does not allow
// the whole neighbourhood, near the border of what it allows. There the finishing path will
// come down a wall, and only these lines put the tool where the finishing will (see rough()).
// Every move is cut from a model of the material (mill/material.h) as it is made: the model
// gives the depth of each cut, decides how low a rapid may come down before a plunge, and
// keeps a link between two pieces from running through material the levels above left.

namespace {

// A bump of the height narrower than half the coarse step can hide between the samples and
// their midpoint; a ball of radius r makes no bump of width w lower than w^2 / 8r, so the
// step grows with the root of the radius: bumps of at most 0.00065 mm hide (0.25 mm steps
// for a 6 mm tool).
double coarseStep(double r) { return std::min(0.5, 0.144 * std::sqrt(r)); }
// Points checked along a link, and how far apart.
constexpr double LINK_CHECK_STEP = 0.0625;
// A roughing link runs at most this many tool diameters: farther, a retract is as quick.
constexpr double ROUGHING_LINK_TOOLS = 3.0;
// A roughing link may take no more than a step-down and this: a link runs where the level
// allows the tool, but across the raster's lines, over material that a narrow channel
// between two lines may have kept from the levels above.
constexpr double LINK_DEPTH_SLACK = 0.25;
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
// A rapid comes down no nearer than this to the material's top before the plunge starts.
constexpr double RAPID_CLEARANCE = 1.0;
// A level this close above the table is left out.
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

// Operations on sorted, separate intervals.
Intervals intersect(const Intervals& a, const Intervals& b)
{
    Intervals out;
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const double low = std::max(a[i].first, b[j].first);
        const double high = std::min(a[i].second, b[j].second);
        if (low < high) {
            out.push_back({low, high});
        }
        if (a[i].second < b[j].second) {
            ++i;
        } else {
            ++j;
        }
    }
    return out;
}

Intervals subtract(const Intervals& a, const Intervals& b)
{
    Intervals out;
    std::size_t j = 0;
    for (auto [low, high] : a) {
        while (j < b.size() && b[j].second <= low) {
            ++j;
        }
        for (std::size_t k = j; k < b.size() && b[k].first < high; ++k) {
            if (b[k].first > low) {
                out.push_back({low, b[k].first});
            }
            low = std::max(low, b[k].second);
        }
        if (high - low > 1e-6) {
            out.push_back({low, high});
        }
    }
    return out;
}

// A line of the raster along Y at x, with the finishing path along each of its stretches
// inside the region (sampled going up).
struct RasterLine {
    double x;
    std::vector<std::vector<Point>> stretches;
    bool coarse = false;
};

// A stretch of a roughing line to cut at one level.
struct Piece {
    double x, low, high;
};

class Planner {
public:
    Planner(const DropSurface& surface, const Region& region, const MillSetup& setup)
        : surface_(surface), region_(region), setup_(setup), r_(setup.toolMm / 2.0),
          blank_(setup.blankMm), safe_(setup.blankMm + setup.safeMm),
          material_(region.minX(), region.minY(), region.maxX(), region.maxY(), setup.blankMm,
                    setup.toolMm / 2.0)
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
        for (double x : linePositions(region_.minX(), region_.maxX(), setup_.stepoverMm)) {
            RasterLine line{x, {}};
            for (const auto& piece : region_.along(x)) {
                if (piece.second - piece.first > 1e-6) {
                    line.stretches.push_back(sampleLine(x, piece.first, x, piece.second));
                }
            }
            lines_.push_back(std::move(line));
        }
        if (roughing) {
            rough(path);
        } else {
            // Each finishing stroke is entered as if the blank were whole: what the view draws
            // is the path alone, and the cuts it would take are not the milled program's.
            modelled_ = false;
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

    // Every move is made at the positions the file holds: X and Y to the thousandth, Z
    // rounded up to the thousandth (never into the surface), and cut from the material as
    // it goes, so that the depth of each cut is that of the program itself.
    void add(MillMoveKind kind, double x, double y, double z)
    {
        x = std::round(x * 1000.0) / 1000.0;
        y = std::round(y * 1000.0) / 1000.0;
        z = std::ceil((z - blank_) * 1000.0 - 1e-7) / 1000.0 + blank_;
        if (!moves_.empty()) {
            const MillMove& o = moves_.back();
            if (o.x == x && o.y == y && o.z == z) {
                return;
            }
            if (modelled_) {
                const double depth = material_.cut(o.x, o.y, o.z, x, y, z);
                if (kind != MillMoveKind::Rapid) {
                    largestCut_ = std::max(largestCut_, depth);
                }
            }
        }
        moves_.push_back({kind, x, y, z});
    }

    // From the current point (at a cut's end, or nowhere at the start) to above (x, y), then
    // down in air as far as the material allows, and into it at the plunge feed to z.
    void approach(double x, double y, double z)
    {
        if (!moves_.empty()) {
            add(MillMoveKind::Rapid, moves_.back().x, moves_.back().y, safe_);
        }
        add(MillMoveKind::Rapid, x, y, safe_);
        const double clear = std::max(material_.dropOnto(x, y), z) + RAPID_CLEARANCE;
        if (clear < safe_) {
            add(MillMoveKind::Rapid, x, y, clear);
        }
        add(MillMoveKind::Plunge, x, y, z);
    }

    // Whether the tool may go straight from (fromX, fromY) to (x, y) at the roughing level z:
    // a short way, every point on it over the blank and far enough above the finishing path.
    bool roughingLinkClear(double fromX, double fromY, double x, double y, double z) const
    {
        const double length = std::hypot(x - fromX, y - fromY);
        if (length > ROUGHING_LINK_TOOLS * setup_.toolMm) {
            return false;
        }
        // Most ways that are not clear are found by a few points; the rest are looked at
        // closely.
        for (double step : {1.0, LINK_CHECK_STEP}) {
            if (!clearAlong(fromX, fromY, x, y, z, std::max(1, static_cast<int>(std::ceil(length / step))))) {
                return false;
            }
        }
        return true;
    }

    bool clearAlong(double fromX, double fromY, double x, double y, double z, int steps) const
    {
        for (int i = 0; i <= steps; ++i) {
            const double share = static_cast<double>(i) / steps;
            const double px = fromX + (x - fromX) * share;
            const double py = fromY + (y - fromY) * share;
            if (px < region_.minX() - LINK_SLACK || px > region_.maxX() + LINK_SLACK ||
                py < region_.minY() - LINK_SLACK || py > region_.maxY() + LINK_SLACK ||
                !clearAt(drop(px, py), z)) {
                return false;
            }
        }
        return true;
    }

    // Whether the tool at the level stands far enough above the finishing path at this
    // height: the allowance and the margin above it, or anywhere where the path is the table
    // (there the blank is cut down to it).
    bool clearAt(double path, double level) const
    {
        return path + setup_.allowanceMm + ROUGHING_MARGIN <= level || path == 0.0;
    }

    // Cuts a piece at the level. When the last move cut at the same level, the tool goes on
    // from there without a retract if it can: straight, or, where the border between them
    // bulges into the way (as between the ends of two pieces at a wall), back along the last
    // cut a little and into the new piece a little, on a straight way between those points.
    void cutPiece(double x, double from, double to, double level)
    {
        const std::size_t n = moves_.size();
        if (n >= 2 && moves_[n - 1].kind != MillMoveKind::Rapid && std::abs(moves_[n - 1].z - level) < 1e-6 &&
            std::abs(moves_[n - 2].z - level) < 1e-6) {
            const MillMove end = moves_[n - 1];
            const MillMove before = moves_[n - 2];
            const double backLength = std::hypot(before.x - end.x, before.y - end.y);
            const double length = std::abs(to - from);
            const double sign = to >= from ? 1.0 : -1.0;
            for (double share : {0.0, 0.25, 0.5, 1.0}) {
                const double back = std::min(share * r_, backLength);
                const double in = std::min(share * r_, length);
                const double bx = backLength > 0.0 ? end.x + (before.x - end.x) * back / backLength : end.x;
                const double by = backLength > 0.0 ? end.y + (before.y - end.y) * back / backLength : end.y;
                if (roughingLinkClear(bx, by, x, from + sign * in, level) &&
                    material_.depthOf(bx, by, level, x, from + sign * in, level) <= setup_.stepdownMm + LINK_DEPTH_SLACK) {
                    add(MillMoveKind::Cut, bx, by, level);
                    add(MillMoveKind::Cut, x, from + sign * in, level);
                    add(MillMoveKind::Cut, x, from, level);
                    add(MillMoveKind::Cut, x, to, level);
                    return;
                }
            }
        }
        approach(x, from, level);
        add(MillMoveKind::Cut, x, to, level);
    }

    // A coarse raster alone clears the middle of what a level allows but for ridges; where
    // the border of it runs along the lines, the coarse line nearest the border can stand up
    // to a coarse step short of it, and the strip beyond, which the finishing path will sweep
    // coming down the wall, would stand to the blank's top level after level. So every other
    // raster line is cut too, wherever the level does not allow the tool over the whole
    // neighbourhood of a point: the coarse lines on either side and the ball's radius along.
    // Wherever the finishing puts the tool, some level then put it there (or on the coarse
    // lines around it) a step-down and the allowance higher: each level takes at most a
    // step-down of material, and the finishing the allowance and a step-down.
    void rough(Toolpath& path)
    {
        const int count = static_cast<int>(lines_.size());
        const int every = std::max(
            1, static_cast<int>(std::floor(ROUGHING_STEPOVER_SHARE * setup_.toolMm / setup_.stepoverMm + 1e-9)));
        // Coarse lines spread evenly from the first raster line to the last.
        const int coarseCount = count <= 1 ? count : (count - 1 + every - 1) / every + 1;
        for (int i = 0; i < coarseCount; ++i) {
            const int index = coarseCount == 1 ? 0 : static_cast<int>(std::lround(
                                                         static_cast<double>(i) * (count - 1) / (coarseCount - 1)));
            lines_[index].coarse = true;
        }
        path.figures.roughingStepoverMm = coarseCount > 1 ? (lines_.back().x - lines_.front().x) / (coarseCount - 1)
                                                          : setup_.stepoverMm;
        // How far around a raster point the level must allow the tool everywhere for the
        // coarse lines alone to clear what a ball there would meet: across, to the coarse
        // lines on either side; along, the ball's radius.
        const int across = every;
        const double along = r_;

        // Levels a step-down apart from the blank's top, and the table: beyond the insole's
        // reach the finishing path lies on the table, and the blank there is cleared down to
        // it, so that the finishing takes nothing more there and its strokes, which start
        // there, come down into no material.
        std::vector<double> levels;
        for (int k = 1;; ++k) {
            const double level = blank_ - k * setup_.stepdownMm;
            if (level < NOTHING_TO_CUT) {
                break;
            }
            levels.push_back(level);
        }
        levels.push_back(0.0);

        std::vector<Intervals> allowed(lines_.size());
        std::vector<Intervals> inner(lines_.size());
        for (double level : levels) {
            const std::size_t movesBefore = moves_.size();
            for (std::size_t j = 0; j < lines_.size(); ++j) {
                allowed[j] = allowedAlong(lines_[j], level);
                inner[j] = shrunk(allowed[j], along);
            }
            // The coarse raster, up one line and down the next.
            std::vector<std::vector<Piece>> coarse;
            for (std::size_t j = 0; j < lines_.size(); ++j) {
                if (lines_[j].coarse) {
                    coarse.emplace_back();
                    for (const auto& piece : allowed[j]) {
                        coarse.back().push_back({lines_[j].x, piece.first, piece.second});
                    }
                }
            }
            cutRaster(coarse, level);
            // The border: what each other line allows where the level does not allow the
            // whole neighbourhood.
            std::vector<Piece> border;
            for (int j = 0; j < count; ++j) {
                if (lines_[j].coarse || allowed[j].empty()) {
                    continue;
                }
                Intervals covered = inner[j];
                for (int i = std::max(0, j - across); i <= std::min(count - 1, j + across) && !covered.empty(); ++i) {
                    covered = intersect(covered, inner[i]);
                }
                for (const auto& piece : subtract(allowed[j], covered)) {
                    border.push_back({lines_[j].x, piece.first, piece.second});
                }
                for (const auto& piece : allowed[j]) {
                    if (piece.first == piece.second) {
                        border.push_back({lines_[j].x, piece.first, piece.second});
                    }
                }
            }
            cutNearestFirst(border, level);
            path.figures.roughingPasses += moves_.size() > movesBefore ? 1 : 0;
        }
    }

    // Cuts the pieces of the coarse lines (in order across the blank, each line's pieces in
    // order along it) as a raster: up one line and down the next as long as the next line
    // has a piece beside the last one; where the allowed area is split (around the insole
    // the lower levels leave only a ring), the pieces left behind are taken up afterwards
    // the same way, so that the tool comes down into the material as seldom as it can.
    void cutRaster(const std::vector<std::vector<Piece>>& lines, double level)
    {
        std::vector<std::vector<bool>> done(lines.size());
        for (std::size_t l = 0; l < lines.size(); ++l) {
            done[l].assign(lines[l].size(), false);
        }
        for (;;) {
            std::size_t line = 0, index = 0;
            bool found = false;
            for (std::size_t l = 0; l < lines.size() && !found; ++l) {
                for (std::size_t k = 0; k < lines[l].size() && !found; ++k) {
                    if (!done[l][k]) {
                        line = l;
                        index = k;
                        found = true;
                    }
                }
            }
            if (!found) {
                return;
            }
            bool up = true;
            for (;;) {
                const Piece& piece = lines[line][index];
                done[line][index] = true;
                cutPiece(piece.x, up ? piece.low : piece.high, up ? piece.high : piece.low, level);
                const double end = up ? piece.high : piece.low;
                found = false;
                if (line + 1 < lines.size()) {
                    double nearest = 0.0;
                    for (std::size_t k = 0; k < lines[line + 1].size(); ++k) {
                        const Piece& next = lines[line + 1][k];
                        const double start = up ? next.high : next.low;
                        if (!done[line + 1][k] && next.low < piece.high && next.high > piece.low &&
                            (!found || std::abs(start - end) < nearest)) {
                            found = true;
                            nearest = std::abs(start - end);
                            index = k;
                        }
                    }
                }
                if (!found) {
                    break;
                }
                ++line;
                up = !up;
            }
        }
    }

    // Cuts the pieces, each time the one with an end nearest to where the tool is.
    void cutNearestFirst(std::vector<Piece>& pieces, double level)
    {
        std::vector<bool> done(pieces.size(), false);
        for (std::size_t n = 0; n < pieces.size(); ++n) {
            const double x = moves_.empty() ? 0.0 : moves_.back().x;
            const double y = moves_.empty() ? 0.0 : moves_.back().y;
            std::size_t best = 0;
            bool fromLow = true;
            double nearest = 1e18;
            for (std::size_t k = 0; k < pieces.size(); ++k) {
                if (done[k]) {
                    continue;
                }
                const double dx = (pieces[k].x - x) * (pieces[k].x - x);
                const double low = dx + (pieces[k].low - y) * (pieces[k].low - y);
                const double high = dx + (pieces[k].high - y) * (pieces[k].high - y);
                if (low < nearest) {
                    nearest = low;
                    best = k;
                    fromLow = true;
                }
                if (high < nearest) {
                    nearest = high;
                    best = k;
                    fromLow = false;
                }
            }
            done[best] = true;
            const Piece& p = pieces[best];
            cutPiece(p.x, fromLow ? p.low : p.high, fromLow ? p.high : p.low, level);
        }
    }

    // The parts of the blank's length along a raster line where the level stands far enough
    // above the finishing path: beyond the region the path lies on the table.
    Intervals allowedAlong(const RasterLine& line, double level) const
    {
        const double need = level - setup_.allowanceMm - ROUGHING_MARGIN;
        const auto fits = [&](const Point& p) { return clearAt(p.z, level); };
        Intervals forbidden;
        for (const std::vector<Point>& stretch : line.stretches) {
            bool inside = false;  // in a forbidden part
            double start = 0.0;
            for (std::size_t i = 0; i < stretch.size(); ++i) {
                const Point& p = stretch[i];
                if (i == 0) {
                    inside = !fits(p);
                    start = p.y - 1e-6;
                    continue;
                }
                const Point& o = stretch[i - 1];
                if (fits(p) != inside) {
                    continue;
                }
                // Where the path between o and p crosses the allowed height: the forbidden
                // part reaches a little beyond it rather than short of it.
                const double share = std::clamp((need - o.z) / (p.z - o.z), 0.0, 1.0);
                const double y = o.y + (p.y - o.y) * share;
                if (inside) {
                    forbidden.push_back({start, std::min(p.y, y + 1e-6)});
                } else {
                    start = std::max(o.y, y - 1e-6);
                }
                inside = !inside;
            }
            if (inside) {
                forbidden.push_back({start, stretch.back().y + 1e-6});
            }
        }
        Intervals allowed = subtract({{region_.minY(), region_.maxY()}}, forbidden);
        // A pit narrower than the path's samples (a gap between two toes a small tool fits
        // into) allows the tool at a single point: it is roughed there straight down, level
        // by level, or the finishing would go down into it through all the material above.
        Intervals points;
        for (const std::vector<Point>& stretch : line.stretches) {
            for (const Point& p : stretch) {
                if (!fits(p)) {
                    continue;
                }
                const auto after = std::lower_bound(allowed.begin(), allowed.end(), std::make_pair(p.y, p.y));
                const bool inside = (after != allowed.end() && after->first <= p.y + 1e-6) ||
                                    (after != allowed.begin() && std::prev(after)->second >= p.y - 1e-6);
                if (!inside && (points.empty() || points.back().first != p.y)) {
                    points.push_back({p.y, p.y});
                }
            }
        }
        if (!points.empty()) {
            allowed.insert(allowed.end(), points.begin(), points.end());
            std::sort(allowed.begin(), allowed.end());
        }
        return allowed;
    }

    // The intervals less `by` at each end, except at the blank's own ends (beyond them there
    // is nothing to cut).
    Intervals shrunk(const Intervals& intervals, double by) const
    {
        Intervals out;
        for (const auto& [low, high] : intervals) {
            const double from = low <= region_.minY() + 1e-6 ? low : low + by;
            const double to = high >= region_.maxY() - 1e-6 ? high : high - by;
            if (to > from) {
                out.push_back({from, to});
            }
        }
        return out;
    }

    void finish(Toolpath& path)
    {
        // The stretches of every line inside the region. Where the outline is hollow (the
        // arch, between the toes) a line has several; the raster then goes on through one
        // part of the region as long as the next line has a stretch beside the last one, and
        // takes up the stretches left behind afterwards.
        struct Stretch {
            double x, low, high;
            const std::vector<Point>* points;
            bool done;
        };
        std::vector<std::vector<Stretch>> lines;
        for (const RasterLine& raster : lines_) {
            std::vector<Stretch> stretches;
            for (const std::vector<Point>& points : raster.stretches) {
                stretches.push_back({raster.x, points.front().y, points.back().y, &points, false});
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
            std::vector<Point> points = *stretch.points;
            if (!up) {
                std::reverse(points.begin(), points.end());
            }
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
            for (std::size_t i = 1; i < kept.size(); ++i) {
                add(MillMoveKind::Cut, kept[i].x, kept[i].y, kept[i].z);
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
    double largestCut_ = 0.0;
    // Whether the moves are cut from the material as they are made.
    bool modelled_ = true;
    MillMaterial material_;
    std::vector<RasterLine> lines_;
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
          Toolpath& path, std::string& refusal, MillWaysOut* ways)
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
        if (ways) {
            // The thickest point is already a float, whole millimetres exactly: a blank any
            // thinner than it would be refused above.
            const double thinnest = std::ceil(thickest);
            const MillParameterInfo flute = millParameterInfo(MillParameter::Flute, used);
            ways->blankTooDeep = true;
            ways->blankMm = thinnest <= used.fluteMm ? thinnest : 0.0;
            ways->fluteMm = used.blankMm <= flute.maximum ? std::ceil(used.blankMm - 1e-9) : 0.0;
        }
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
                  std::string& refusal, MillWaysOut* ways)
{
    if (ways) {
        *ways = MillWaysOut{};
    }
    return plan(heights, levelMm, setup, true, path, refusal, ways);
}

std::string millWaysOutText(const MillWaysOut& ways, const std::string& blankName,
                            const std::string& fluteName, const std::string& unit)
{
    std::string text;
    if (ways.blankMm > 0.0) {
        text = blankName + " " + shortest(ways.blankMm) + unit +
               " (the thinnest whole millimetre that holds the insole)";
    }
    if (ways.fluteMm > 0.0) {
        text += (text.empty() ? "" : " or ") + fluteName + " " + shortest(ways.fluteMm) + unit;
    }
    return text;
}

bool planFinishing(const Grid& heights, double levelMm, const MillSetup& setup, Toolpath& path,
                   std::string& refusal)
{
    return plan(heights, levelMm, setup, false, path, refusal, nullptr);
}
