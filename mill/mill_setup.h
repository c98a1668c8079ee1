// The milling setup: the ball-end tool, how it steps and how fast it goes, and the blank the
// insole is milled from. Plain values with their ranges, so that the batch's options, the
// milling window's inputs and the toolpath all check them the same way.
#pragma once

#include <array>
#include <string>

// Every value in millimetres, millimetres per minute or revolutions per minute.
struct MillSetup {
    double toolMm = 6.0;         // diameter of the ball-end cutter
    double stepoverMm = 0.5;     // distance between finishing lines
    double stepdownMm = 2.0;     // depth of one roughing pass
    double allowanceMm = 0.5;    // material roughing leaves above the finishing path
    double feed = 2000.0;        // cutting feed, mm/min
    double plungeFeed = 500.0;   // feed of a plunge into material, mm/min
    double rpm = 14000.0;        // spindle speed
    double safeMm = 5.0;         // height of rapid moves above the blank's top
    double fluteMm = 40.0;       // cutting length of the tool; no blank may be deeper
    double blankMm = 0.0;        // blank thickness; 0 takes millDefaultBlankMm
};

// The values a person can set, in the order the window and the batch show them.
enum class MillParameter {
    Tool,
    Stepover,
    Stepdown,
    Allowance,
    Feed,
    PlungeFeed,
    Spindle,
    Safe,
    Flute,
    Blank,
};
constexpr int MILL_PARAMETER_COUNT = 10;
constexpr std::array<MillParameter, MILL_PARAMETER_COUNT> MILL_PARAMETERS = {
    MillParameter::Tool,  MillParameter::Stepover,   MillParameter::Stepdown,
    MillParameter::Allowance, MillParameter::Feed, MillParameter::PlungeFeed,
    MillParameter::Spindle, MillParameter::Safe,     MillParameter::Flute,
    MillParameter::Blank,
};

// What a parameter is called, the batch option that sets it, its unit and its range for the
// given setup (the stepover's top is the tool's radius, the blank's the flute length; the
// blank's bottom, 0, stands for "automatic", since its real lower limit is the insole's
// thickest point, which only the toolpath knows).
struct MillParameterInfo {
    const char* name;      // "stepover"
    const char* option;    // "--stepover-mm"
    const char* unit;      // "mm"
    double minimum;
    double maximum;
    double defaultValue;
};
MillParameterInfo millParameterInfo(MillParameter parameter, const MillSetup& setup);

// The field of the setup that holds a parameter, to read or set it by its name.
double& millValue(MillSetup& setup, MillParameter parameter);
double millValue(const MillSetup& setup, MillParameter parameter);

// Whether every parameter lies in its range (NaN does not). When one does not, `problem`
// names the first such and its range: "stepover 4 mm is outside 0.05 to 3 mm (the tool's
// radius)"; the batch turns that into an argument error.
bool millSetupInRange(const MillSetup& setup, std::string& problem);

// The blank an insole needs when none is given: its thickest point plus 2 mm, rounded up to a
// whole millimetre.
double millDefaultBlankMm(double thickestMm);
