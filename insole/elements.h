// The prescription's elements: a metatarsal pad or bar, an arch support, a heel cup and
// rearfoot posting. Each is a raise in mm over the foot cells, placed from the foot's own
// frame (and the bar from the measurement when one is placed), worked out on the foot image's
// grid like the relief so that the recompute draws it onto the insole with the foot. They
// are summed, and the sum becomes levels, before the 30-degree limit.
#pragma once

#include "base/grid.h"
#include "insole/foot_frame.h"
#include "pressure/placement.h"

#include <string>

// An element's number: its bit in ElementRaise::outlines, its place in the tables below.
enum ElementKind { MET_PAD, MET_BAR, ARCH, HEEL_CUP, REARFOOT_POST, ELEMENT_KINDS };

// Ranges and defaults. The pad sits 6-11 mm behind the head line, where pressure under the
// heads fell most consistently; the bar's front edge where the pressure, going back from the
// peak, falls to 77 % of it.
struct ElementRange {
    double minimum, maximum, standard;
};
constexpr ElementRange MET_PAD_HEIGHT_MM{1, 8, 4};
constexpr ElementRange MET_PAD_OFFSET_MM{0, 20, 8};
constexpr ElementRange MET_BAR_HEIGHT_MM{1, 8, 4};
constexpr ElementRange ARCH_HEIGHT_MM{1, 15, 5};
constexpr ElementRange HEEL_CUP_HEIGHT_MM{2, 15, 6};
constexpr ElementRange HEEL_CUP_WIDTH_MM{5, 25, 12};
constexpr ElementRange REARFOOT_POST_DEGREES{-10, 10, 4};
// A hand shift moves an element by at most this much either way: further, it leaves the
// landmarks it was placed from.
constexpr ElementRange ELEMENT_SHIFT_MM{-40, 40, 0};

constexpr double MET_PAD_HALF_LENGTH_MM = 20;  // a: semi-axis along the foot
constexpr double MET_PAD_HALF_WIDTH_MM = 12;   // b: semi-axis across it
// Between the second and third heads: this share of the head line's width in from its
// medial edge.
constexpr double MET_PAD_ACROSS_SHARE = 0.4;
constexpr double MET_BAR_RISE_MM = 5;       // from the front edge to the top
constexpr double MET_BAR_LENGTH_MM = 30;    // from the front edge to the back
constexpr double MET_BAR_PEAK_SHARE = 0.77; // of the peak pressure, at the front edge
constexpr double MET_BAR_BEHIND_HEADS_MM = 10;  // the front edge without a measurement
constexpr double MET_BAR_PEAK_FROM = 0.55, MET_BAR_PEAK_TO = 0.90;
constexpr double ARCH_FROM = 0.30, ARCH_TO = 0.65;
constexpr double HEEL_CUP_FULL_TO = 0.20, HEEL_CUP_TO = 0.30;
constexpr double REARFOOT_FULL_TO = 0.30, REARFOOT_TO = 0.40;

// What the person prescribes: which foot, each element's switch and parameters. Kept in the
// settings file from one run to the next.
struct ElementSettings {
    SideChoice side = SideChoice::Automatic;
    bool metPad = false;
    double metPadHeightMm = MET_PAD_HEIGHT_MM.standard;
    double metPadOffsetMm = MET_PAD_OFFSET_MM.standard;
    bool metBar = false;
    double metBarHeightMm = MET_BAR_HEIGHT_MM.standard;
    bool arch = false;
    double archHeightMm = ARCH_HEIGHT_MM.standard;
    bool heelCup = false;
    double heelCupHeightMm = HEEL_CUP_HEIGHT_MM.standard;
    double heelCupWidthMm = HEEL_CUP_WIDTH_MM.standard;
    bool rearfootPost = false;
    double rearfootPostDegrees = REARFOOT_POST_DEGREES.standard;

    bool anyOn() const { return metPad || metBar || arch || heelCup || rearfootPost; }
};

// The moves by hand, which belong to one foot: a load clears them.
struct ElementShifts {
    double metPadAlongMm = 0;
    double metPadAcrossMm = 0;
    double metBarAlongMm = 0;
};

// Whether every value lies in its range (NaN does not). When one does not, `problem` names
// it and its range, e.g. "metatarsal pad height 9 mm is outside 1-8 mm".
bool elementSettingsValid(const ElementSettings& settings, std::string& problem);
bool elementShiftsValid(const ElementShifts& shifts, std::string& problem);

// The elements as worked out for one foot, on the foot image's grid (stride 150, row 0 at the
// bottom), 0 on every cell outside the foot.
struct ElementRaise {
    ElementSettings settings;
    ElementShifts shifts;
    FootFrame frame;
    double levelMm = 0;
    FootGrid raise{};     // levels: the summed raise in mm over the level size, rounded half up
    FootGrid outlines{};  // bit (1 << kind) where that element alone raises by over half a level
    // Where the pad and the bar were put, after the hand shifts: the pad's centre (t, v) and
    // the bar's front edge t, with the rule that gave it.
    double metPadAlongMm = 0, metPadAcrossMm = 0;
    double metBarFrontMm = 0;
    bool metBarFromPressure = false;
};

// Works out every element that is on. `placed` is the placed peak pressure of a measurement
// when one is placed on this foot (null otherwise): the bar's front edge follows it. Fails,
// saying why and leaving `out` as it was, on a value out of its range, a level size outside
// MIN_LEVEL_MM..MAX_LEVEL_MM, a foot without a cell, or a pad or a bar on a foot too short
// to have a head line.
bool computeElements(const FootGrid& footGrid, const ElementSettings& settings,
                     const ElementShifts& shifts, const PlacedPressure* placed, double levelMm,
                     ElementRaise& out, std::string& failure);

// The names of the elements as the window, the reports and the recipe say them.
const char* elementName(ElementKind kind);

// The elements in one line, for the 3MF's and the G-code's recipe: "elements left foot
// (found); metatarsal pad 4 mm, 8 mm behind the heads, shifted 0, 0 mm; ...". Empty when
// none is on.
std::string elementsRecipe(const ElementRaise* elements);

// The raise a recompute draws: null without elements or with none on.
const ElementRaise* activeElements(const ElementRaise* elements);
