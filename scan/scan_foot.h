// From a plantar scan (a triangle mesh) to the foot image every later step takes: 150 x 360
// cells of 1 mm, the foot's sole in grey levels of the level size above its ground, 0 around
// it. The scan is turned so that its sole stands on the ground, its long axis runs along the
// image's columns and its heel (the narrower end) is at the bottom, and centred. Only proper
// rotations are used, never a mirror: a left foot stays a left foot.
#pragma once

#include "scan/scan_door.h"
#include "base/level.h"
#include "base/grid.h"

#include <cstddef>
#include <string>

enum class ScanUnits { Auto, Millimetres, Centimetres, Metres };
// The axis of the scan that points up, away from the ground.
enum class ScanUp { PlusZ, MinusZ, PlusY, MinusY, PlusX, MinusX };

struct ScanOptions {
    ScanUnits units = ScanUnits::Auto;
    ScanUp up = ScanUp::PlusZ;
    // Millimetres per grey level.
    double levelMm = DEFAULT_LEVEL_MM;
};

// Parses "auto", "mm", "cm", "m" and "+z", "-z", "+y", "-y", "+x", "-x"; false otherwise.
bool parseScanUnits(const std::string& text, ScanUnits& units);
bool parseScanUp(const std::string& text, ScanUp& up);
const char* scanUnitsName(ScanUnits units);  // "mm", "cm", "m", "auto"
const char* scanUpName(ScanUp up);           // "+z", ...

// What the placement found and did, for the trace and the reports.
struct ScanFigures {
    bool isScan = false;         // the foot came from a scan
    ScanFormat format = ScanFormat::None;
    std::size_t triangles = 0;
    ScanUnits units = ScanUnits::Auto;  // the units the scan was read in, never Auto
    bool unitsGuessed = false;          // found from the size (auto) rather than given
    ScanUp up = ScanUp::PlusZ;
    double lengthMm = 0;  // along the image's columns
    double widthMm = 0;   // across them
    double heightMm = 0;  // above the ground
    double turnDegrees = 0;  // about the up axis, counter-clockwise seen from above, 0 to 360
    int filledCells = 0;     // cells of small holes filled from their neighbours
};

// Largest hole, in cells (mm) each way, that is filled from its neighbours.
constexpr int MAX_FILLED_HOLE = 3;

// Grey level of a height above the ground: 1 + round(height / level), capped at 255, so
// that the ground itself is 1 and still counts as foot.
std::uint8_t levelOfHeight(double heightMm, double levelMm);

// Places the scan and samples it into `foot` (row 0 at the bottom, stride FOOT_STRIDE).
// Returns false with the reason (naming the size or extent found) when the scan cannot be
// placed: no area seen from below, units that cannot be told, a foot too large for the grid.
bool makeScanFoot(const ScanMesh& mesh, const ScanOptions& options, FootGrid& foot,
                  ScanFigures& figures, std::string& reason);
