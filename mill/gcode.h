// The toolpath as a G-code file: the subset of RS-274 that LinuxCNC, GRBL and Mach3 all read
// (G0, G1, G17, G21, G90, S, M3, M5, M2 and comments), millimetres, absolute, no arcs, no line
// numbers and no tool compensation: the path is already the tip's.
#pragma once

#include "mill/toolpath.h"

#include <cstddef>
#include <string>

// What made the insole, for the file's header, as the caller knows it.
struct GcodeRecipe {
    std::string footFile;       // the foot image's or scan's file name
    double widthMm = 0.0;       // the insole settings
    double lengthMm = 0.0;
    double heightRatio = 1.0;
    bool limit = false;         // the 30-degree limit
    double levelMm = 0.0;       // millimetres per height level
    std::string relief;         // a line saying how the relief zone was made; empty: none
    std::string elements;       // the prescription's elements, "; " between them; empty: none
};

// The whole file: a header of comments recording the recipe, the setup, the blank, the tool,
// the largest cut and the estimated machining time; then G21 G90 G17, the spindle, a rise to
// the safe height, the moves (each word only when it changes) and M5, M2. Numbers have three
// decimals and a '.' whatever the locale. Its size is the file's size.
std::string encodeGcode(const Toolpath& path, const GcodeRecipe& recipe);

// Writes the file through replaceFile: on failure the old file stays as it was and standard
// error says "Cannot save G-code <file>: <reason>". Returns whether it was written.
bool writeGcodeFile(const Toolpath& path, const GcodeRecipe& recipe, const char* fileName);

// The name a G-code file is saved under: as given when it ends in .nc, .ngc or .gcode (in any
// case), otherwise with .nc appended.
std::string gcodeFileName(const std::string& name);

// Controllers read lines of at most this many characters (LinuxCNC's limit). A header line
// longer than that is written as several comment lines, broken between the parts of the
// recipe and never inside a value, so that every part of it reaches the file.
constexpr std::size_t GCODE_LINE_LIMIT = 255;

// Text that may stand in a comment: parentheses would end or nest it, and other bytes than
// printable ASCII are not read the same by every controller, so they become '[', ']' and '?'.
std::string gcodeCommentText(const std::string& text);

// A number with exactly three decimals and a '.': "-12.345", "0.000".
std::string gcodeNumber(double value);

// A machining time as the file's header, the batch's report and the milling window give it,
// rounded up to the minute: "12 min", "1 h 05 min".
std::string machiningTime(double seconds);
