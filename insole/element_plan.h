// The prescription as the window keeps it for the loaded foot: the settings, the hand shifts
// and the raise worked out from them, with what it was worked out from, so that every
// recompute draws a raise of this very foot, measurement and level size, and works it out
// again only when one of them changed.
#pragma once

#include "insole/elements.h"
#include "insole/relief_plan.h"

#include <string>

struct ElementPlan {
    ElementSettings settings;
    ElementShifts shifts;
    ElementRaise raise;
    // Whether `raise` is of the settings, shifts, foot, measurement and level size of now;
    // false after a load and whenever a value changed.
    bool current = false;
    // Why the raise could not be worked out for this foot (a pad on a foot without a head
    // line); empty when it could.
    std::string problem;
    // What the raise was worked out from: the measurement's placement, told by its plan, its
    // file and its placement's figures, and the level size.
    const ReliefPlan* measuredWith = nullptr;
    std::string measurementFile;
    double turnDegrees = 0, shiftXMm = 0, shiftYMm = 0;
    bool mirrored = false;
    double levelMm = 0;
};

// Works the raise out again when the plan is not current or the measurement or level size
// changed since. Returns true when it was worked out now; false when it did not need to be,
// or could not be (then `problem` says why, nothing is drawn until a value changes, and the
// caller traces it once).
bool refreshElements(ElementPlan& plan, const FootGrid& foot, const ReliefPlan* relief,
                     double levelMm);

// The raise a recompute draws: the plan's when it is current and an element is on.
const ElementRaise* activeElements(const ElementPlan* plan);

// The plan for a newly loaded foot: the hand shifts belong to the foot before and go; the
// settings stay.
void footChanged(ElementPlan& plan);
