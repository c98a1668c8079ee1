#include "insole/slope_limit.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

// Why the result is exact. The pass iteration never lowers a cell below G, the largest grid
// at or below the input that keeps the limits (a cell is lowered from h only when h > n + rise
// >= G(neighbour) + rise >= G(cell)), and it stops on a grid that keeps the limits, which is
// at most G; so it ends on G. Every step below only ever sets a cell to min(itself, non-zero
// neighbour + rise), which never goes below G either, and the propagation ends on a grid that
// keeps every limit (see settle), so it ends on G as well.

namespace {

constexpr int W = GRID_STRIDE;
// Cells computed per row by the vector kernel: a multiple of 16 and 32 that covers columns 0
// to 149, so that the compiler vectorizes the loop without a scalar tail. Columns 152 to 159
// are the first cells of the next row: they are computed and ignored.
constexpr int SPAN = 160;

using Byte = std::uint8_t;

// The per-cell helpers are inlined even in unoptimized builds, where a call per cell and
// neighbour would make a Debug (and sanitizer) build of the limiter some ten times slower.
#if defined(__GNUC__)
#define LIMIT_INLINE inline __attribute__((always_inline))
#else
#define LIMIT_INLINE inline
#endif

LIMIT_INLINE Byte smaller(Byte a, Byte b) { return b < a ? b : a; }

// The most a cell may hold next to a neighbour of value n: n + rise, and 255 (no bound at
// all) when n is 0 or n + rise exceeds 255. Branch-free so that rows vectorize.
LIMIT_INLINE Byte edgeBound(Byte n)
{
    const Byte m = n == 0 ? Byte{255} : n;
    return static_cast<Byte>(smaller(m, 255 - LIMIT_EDGE_RISE) + LIMIT_EDGE_RISE);
}
LIMIT_INLINE Byte cornerBound(Byte n)
{
    const Byte m = n == 0 ? Byte{255} : n;
    return static_cast<Byte>(smaller(m, 255 - LIMIT_CORNER_RISE) + LIMIT_CORNER_RISE);
}

// candidate[x] := min(cell, bound of each of its eight neighbours) for columns 0 to 159 of
// row y, all read from the grid as it stands. A zero cell gives 0, a non-zero cell stays
// non-zero (every bound is at least 4). Only columns 2 to 147 are meaningful; for interior rows every read stays
// inside the grid (from row y - 2, column 151 to row y + 2, column 8).
LIMIT_INLINE void candidates(const Byte* __restrict grid, int y, Byte* __restrict candidate)
{
    const Byte* row = grid + y * W;
    const Byte* below = row - W;
    const Byte* above = row + W;
    for (int x = 0; x < SPAN; ++x) {
        Byte v = row[x];
        v = smaller(v, edgeBound(below[x]));
        v = smaller(v, edgeBound(above[x]));
        v = smaller(v, edgeBound(row[x - 1]));
        v = smaller(v, edgeBound(row[x + 1]));
        v = smaller(v, cornerBound(below[x - 1]));
        v = smaller(v, cornerBound(below[x + 1]));
        v = smaller(v, cornerBound(above[x - 1]));
        v = smaller(v, cornerBound(above[x + 1]));
        candidate[x] = v;
    }
}

// 1 for the interior columns of a kernel row, 0 elsewhere (one spare entry at the end).
struct InteriorColumns {
    Byte mask[SPAN + 1];
    constexpr InteriorColumns() : mask()
    {
        for (int x = LIMIT_FIRST_COLUMN; x <= LIMIT_LAST_COLUMN; ++x) {
            mask[x] = 1;
        }
    }
};
constexpr InteriorColumns INTERIOR_COLUMNS{};

// Whether some interior cell of the row stands above its candidate.
LIMIT_INLINE bool lowersAny(const Byte* __restrict row, const Byte* __restrict candidate)
{
    Byte any = 0;
    for (int x = 0; x < SPAN; ++x) {
        any |= static_cast<Byte>((candidate[x] < row[x]) & INTERIOR_COLUMNS.mask[x]);
    }
    return any != 0;
}

// Whether, along the row's candidates, some interior cell stands more than 3 above the
// non-zero cell before it in the sweep's direction (left of it in a forward sweep, right of
// it in a backward one), so that the serial chain has work to do; otherwise the chain would
// leave every candidate as it is. The candidates of columns 1 and 148 must have been
// replaced by the cells themselves, which the sweep never changes.
LIMIT_INLINE bool chainNeeded(const Byte* __restrict candidate, bool forward)
{
    Byte any = 0;
    if (forward) {
        for (int x = 0; x < SPAN - 1; ++x) {
            any |= static_cast<Byte>((candidate[x + 1] > edgeBound(candidate[x])) &
                                     INTERIOR_COLUMNS.mask[x + 1]);
        }
    } else {
        for (int x = 0; x < SPAN - 1; ++x) {
            any |= static_cast<Byte>((candidate[x] > edgeBound(candidate[x + 1])) &
                                     INTERIOR_COLUMNS.mask[x]);
        }
    }
    return any != 0;
}

// The serial chain keeps the bound that the cell just swept sets for the next one as an int:
// the swept value + 3, or at least 255 (no bound) after a zero cell. A zero cell's candidate
// is 0, so whether the cell is zero is known before the chain reaches it, which keeps the
// chain itself to one min and one add per cell.
constexpr int NO_BOUND = 255;
LIMIT_INLINE int chainStart(Byte n) { return n == 0 ? NO_BOUND : n + LIMIT_EDGE_RISE; }

// One raster sweep: each interior cell, in raster order (bottom row first and left to right,
// or the reverse), := min(itself, every non-zero neighbour + rise) using the values as they
// stand, so that a lowering travels along the sweep's direction within the same sweep. The
// eight-neighbour minimum is taken for a whole row at once from the rows around it (the row
// before is already swept); within the row, the chain in the sweep's direction is a short
// serial loop, run only when some cell stands more than 3 above the one before it. Returns
// whether the sweep lowered any cell.
bool sweep(Byte* grid, bool forward)
{
    alignas(32) Byte candidate[SPAN];
    bool lowered = false;
    for (int i = 0; i <= LIMIT_LAST_ROW - LIMIT_FIRST_ROW; ++i) {
        const int y = forward ? LIMIT_FIRST_ROW + i : LIMIT_LAST_ROW - i;
        candidates(grid, y, candidate);
        Byte* row = grid + y * W;
        if (!lowersAny(row, candidate)) {
            continue;
        }
        lowered = true;
        candidate[LIMIT_FIRST_COLUMN - 1] = row[LIMIT_FIRST_COLUMN - 1];
        candidate[LIMIT_LAST_COLUMN + 1] = row[LIMIT_LAST_COLUMN + 1];
        if (!chainNeeded(candidate, forward)) {
            std::memcpy(row + LIMIT_FIRST_COLUMN, candidate + LIMIT_FIRST_COLUMN,
                        LIMIT_LAST_COLUMN - LIMIT_FIRST_COLUMN + 1);
        } else if (forward) {
            int bound = chainStart(row[LIMIT_FIRST_COLUMN - 1]);
            for (int x = LIMIT_FIRST_COLUMN; x <= LIMIT_LAST_COLUMN; ++x) {
                const int c = candidate[x];
                const int v = c < bound ? c : bound;
                row[x] = static_cast<Byte>(v);
                bound = v + (c == 0 ? NO_BOUND : LIMIT_EDGE_RISE);
            }
        } else {
            int bound = chainStart(row[LIMIT_LAST_COLUMN + 1]);
            for (int x = LIMIT_LAST_COLUMN; x >= LIMIT_FIRST_COLUMN; --x) {
                const int c = candidate[x];
                const int v = c < bound ? c : bound;
                row[x] = static_cast<Byte>(v);
                bound = v + (c == 0 ? NO_BOUND : LIMIT_EDGE_RISE);
            }
        }
    }
    return lowered;
}

constexpr std::uint16_t NIL = 0xFFFF;      // end of a bucket list
constexpr std::uint16_t FIRST = 0xFFFE;    // prev of the first cell of a bucket list
constexpr std::uint16_t OUTSIDE = 0xFFFD;  // prev of a cell that is in no bucket
static_assert(GRID_ROWS * GRID_STRIDE < OUTSIDE, "cell indices must fit below the markers");

// Cells waiting to pass their value on, in one doubly linked list per value (a bucket
// queue). A waiting cell is always in the bucket of its current value.
struct Buckets {
    std::uint16_t head[256];
    std::uint16_t next[GRID_ROWS * GRID_STRIDE];
    std::uint16_t prev[GRID_ROWS * GRID_STRIDE];

    void clear()
    {
        std::fill(std::begin(head), std::end(head), NIL);
        std::fill(std::begin(prev), std::end(prev), OUTSIDE);
    }
    LIMIT_INLINE bool waiting(int cell) const { return prev[cell] != OUTSIDE; }
    LIMIT_INLINE void push(int cell, int value)
    {
        const std::uint16_t first = head[value];
        next[cell] = first;
        prev[cell] = FIRST;
        if (first != NIL) {
            prev[first] = static_cast<std::uint16_t>(cell);
        }
        head[value] = static_cast<std::uint16_t>(cell);
    }
    LIMIT_INLINE void remove(int cell, int value)
    {
        const std::uint16_t before = prev[cell];
        const std::uint16_t after = next[cell];
        if (before == FIRST) {
            head[value] = after;
        } else {
            next[before] = after;
        }
        if (after != NIL) {
            prev[after] = before;
        }
        prev[cell] = OUTSIDE;
    }
};

// Lowers a neighbour d of a settled cell to value when it stands higher, and queues it.
LIMIT_INLINE void lower(Byte* grid, Buckets& buckets, int d, int value)
{
    if (grid[d] > value) {
        if (buckets.waiting(d)) {
            buckets.remove(d, grid[d]);
        }
        grid[d] = static_cast<Byte>(value);
        buckets.push(d, value);
    }
}

// Finishes the limiting from any grid that lies between the result and the input.
//
// Checking scan: every interior cell that still stands above a non-zero neighbour + rise is
// lowered to the smallest such bound and queued. Afterwards every limit between an interior
// cell c and a neighbour n holds or n is queued: a cell that is not lowered kept its limits
// when it was checked, and a neighbour lowered since then is queued.
//
// Propagation: queued cells are taken in increasing value order (a bucket queue; values are
// 1 to 255); each passes its value + rise on to its non-zero interior neighbours that stand
// higher, which are (re)queued at their new value. Since a value passed on is at least 3
// above the value being taken, no taken cell is ever lowered again, so every cell is taken
// at most once; and when a cell is taken, all the limits against it are made to hold for
// good. When the queue is empty every limit holds.
void settle(Byte* grid)
{
    Buckets buckets;  // about 215 KiB of stack; lists set up at the first queued cell
    bool queued = false;
    int lowest = 255;

    alignas(32) Byte candidate[SPAN];
    for (int y = LIMIT_FIRST_ROW; y <= LIMIT_LAST_ROW; ++y) {
        candidates(grid, y, candidate);
        Byte* row = grid + y * W;
        if (!lowersAny(row, candidate)) {
            continue;
        }
        if (!queued) {
            buckets.clear();
            queued = true;
        }
        for (int x = LIMIT_FIRST_COLUMN; x <= LIMIT_LAST_COLUMN; ++x) {
            const Byte v = candidate[x];
            if (v < row[x]) {
                row[x] = v;
                buckets.push(y * W + x, v);
                lowest = std::min<int>(lowest, v);
            }
        }
    }
    if (!queued) {
        return;
    }

    for (int value = lowest; value < 255 - LIMIT_EDGE_RISE; ++value) {
        const int edge = value + LIMIT_EDGE_RISE;
        const int corner = value + LIMIT_CORNER_RISE;
        while (buckets.head[value] != NIL) {
            const int c = buckets.head[value];
            buckets.remove(c, value);
            const int y = c / W;
            const int x = c - y * W;
            const bool left = x > LIMIT_FIRST_COLUMN;
            const bool right = x < LIMIT_LAST_COLUMN;
            const bool down = y > LIMIT_FIRST_ROW;
            const bool up = y < LIMIT_LAST_ROW;
            // A neighbour that stands above value + rise is not 0, so zero cells are never
            // touched.
            if (left) lower(grid, buckets, c - 1, edge);
            if (right) lower(grid, buckets, c + 1, edge);
            if (down) {
                lower(grid, buckets, c - W, edge);
                if (left) lower(grid, buckets, c - W - 1, corner);
                if (right) lower(grid, buckets, c - W + 1, corner);
            }
            if (up) {
                lower(grid, buckets, c + W, edge);
                if (left) lower(grid, buckets, c + W - 1, corner);
                if (right) lower(grid, buckets, c + W + 1, corner);
            }
        }
    }
    // Cells still queued at values of 252 or more cannot lower anything (a neighbour would
    // have to stand above 255); nothing needs to be done with them.
}

}  // namespace

void limitSlopes(Grid& heightGrid)
{
    Byte* grid = heightGrid.data();
    // A sweep that lowers nothing has found every limit kept.
    if (sweep(grid, true) && sweep(grid, false)) {
        settle(grid);
    }
}

void limitSlopesWithoutSweeps(Grid& heightGrid) { settle(heightGrid.data()); }
