// The insole of many feet without a window: each foot is loaded, measured, drawn, shaped,
// limited and saved by the same functions that the window's Load, recompute and Save use.
#pragma once

#include "scan/scan_foot.h"
#include "base/level.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

struct BatchOptions {
    std::vector<std::string> feet;
    std::string out;       // the insole file, or a folder for several feet; empty: none
    std::string preview;   // the preview PNG, or a folder for several feet; empty: none
    std::string stl;       // the solid as STL, or a folder for several feet; empty: none
    std::string threeMf;   // the solid as 3MF, or a folder for several feet; empty: none
    // The foot image made from a scan (PNG), or a folder for several feet; empty: none.
    std::string footImage;
    // How scans are placed: units, up axis and the size of a grey level, which is also the
    // thickness of one height level of the solid (--level-mm).
    ScanOptions scan;
    std::optional<double> width;   // millimetres; default the measured foot width
    std::optional<double> length;  // millimetres; default the measured foot length
    double heightRatio = 1.0;
    bool limit = false;
    bool info = false;
    bool json = false;
};

// The height slider's range, the same for every foot.
constexpr double MIN_HEIGHT_RATIO = 0.1;
constexpr double MAX_HEIGHT_RATIO = 2.0;

// Why the options cannot run as a batch at all (the caller exits with status 2), or an
// empty string when they can. Creates OUT or PREVIEW as a folder when several feet need one.
std::string prepareBatch(const BatchOptions& options);

// Where a foot's file goes: inside `target` as the foot's name without its extension plus
// `extension` when target is a folder (an existing folder, a name ending in '/', or any
// target when `severalFeet`), otherwise `target` itself.
std::string outputName(const std::string& target, const std::string& foot, bool severalFeet,
                       const char* extension);

// Runs every foot. The report (one line, or one JSON object per line, per foot) goes to
// `report`; a failed foot gets one line on `problems` naming it and the reason; a progress
// line per foot goes to `problems` when `progress` is set. Returns the exit status: 0 when
// every foot succeeded, 1 when any failed.
int runBatch(const BatchOptions& options, std::FILE* report, std::FILE* problems, bool progress);
