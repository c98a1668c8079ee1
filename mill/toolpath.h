// The insole's toolpath for a 3-axis mill with a ball-end tool: roughing in terraces, then one
// finishing raster along the insole's length that never cuts into the surface.
//
// Coordinates: X and Y are the solid's millimetres (cell (x, y) covers [x, x+1] x [y, y+1]);
// Z = 0 is the top of the blank, which lies on the table at Z = -blank, so that a top at
// height h stands at Z = h x level - blank. The programmed point is the tip of the ball.
#pragma once

#include "base/grid.h"
#include "mill/mill_setup.h"
#include "solid/solid_mesh.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Rapid moves are timed at this rate (mm/min): about what hobby and workshop routers reach on
// all three axes; the machine's own may be faster, never much slower.
constexpr double MILL_RAPID_FEED = 5000.0;

// How a move goes: a rapid (G0, in air only), a plunge into material at the plunge feed, or
// a cut at the feed (both G1).
enum class MillMoveKind : std::uint8_t { Rapid, Plunge, Cut };

// A straight move from the previous point to this one, in the machine's coordinates, every
// value a whole number of thousandths of a millimetre (what the file holds).
struct MillMove {
    MillMoveKind kind;
    double x;
    double y;
    double z;
};

// What a person reads before milling.
struct MillFigures {
    double blankMinX = 0.0;     // the blank's corner nearest the origin, in X and Y
    double blankMinY = 0.0;
    double blankXMm = 0.0;      // the blank's size along X, Y and Z
    double blankYMm = 0.0;
    double blankZMm = 0.0;
    int roughingPasses = 0;     // levels at which roughing cuts anything
    double roughingStepoverMm = 0.0;
    int finishingLines = 0;     // raster lines of the finishing pass that cut
    std::size_t moves = 0;      // G0 and G1 moves
    double scallopMm = 0.0;     // left by the finishing stepover on a flat area
    double machiningSeconds = 0.0;  // moves' lengths over their feeds, rapids at MILL_RAPID_FEED
    // The greatest thickness of material one feed move takes, measured vertically under the
    // ball against the blank as every earlier move left it (mill/material.h).
    double largestCutMm = 0.0;
    double filletMm = 0.0;      // radius left at the foot of the outline wall
};

struct Toolpath {
    MillSetup setup;                 // the setup used, its blank thickness resolved
    std::vector<MillMove> moves;     // roughing, then finishing; starts and ends at safe height
    std::size_t finishingStart = 0;  // index of the first finishing move
    MillFigures figures;
    // The finishing cuts as polylines on the solid (z = Z + blank, so they lie on its top),
    // one per stretch between two retracts, for a view to draw over the solid.
    std::vector<std::vector<SolidVertex>> finishingStrokes;
};

// When the blank is deeper than the flute length, what would mill the insole: the thinnest
// whole millimetre of blank that holds it (0 when even that is deeper than the flute), or a
// flute as long as the blank (0 when no tool's flute is that long).
struct MillWaysOut {
    bool blankTooDeep = false;  // the plan was refused for this reason
    double blankMm = 0.0;
    double fluteMm = 0.0;
};

// The toolpath of the insole with these heights (foot cells of columns 0..149), at `levelMm`
// millimetres per level, with this setup. Refuses, saying why in `refusal`, a setup out of
// range, a level out of range, an insole without foot cells, a blank thinner than the insole's
// thickest point or deeper than the flute length (then `ways`, when given, says what would
// mill it). The same input gives the same path.
bool planToolpath(const Grid& heights, double levelMm, const MillSetup& setup, Toolpath& path,
                  std::string& refusal, MillWaysOut* ways = nullptr);

// The ways out in a person's words, each setting named as given: "--blank-mm 24 (the
// thinnest whole millimetre that holds the insole) or --flute-mm 26" with the batch's
// options and no unit, or with a window's labels and " mm". Empty when there is none.
std::string millWaysOutText(const MillWaysOut& ways, const std::string& blankName,
                            const std::string& fluteName, const std::string& unit);

// The same without roughing: the finishing moves and strokes alone (each stroke entered from
// the safe height as if the blank were whole), for a view that only draws the finishing path.
// Figures as planToolpath gives them, with no roughing pass and no largest cut.
bool planFinishing(const Grid& heights, double levelMm, const MillSetup& setup, Toolpath& path,
                   std::string& refusal);

// The height of the ridges a ball of diameter toolMm leaves between lines stepoverMm apart on
// a flat area: r - sqrt(r^2 - (s/2)^2).
double millScallopMm(double toolMm, double stepoverMm);
