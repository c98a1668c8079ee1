// What makes the insole differ from the plain one that the foot and the main window's
// controls give, said in a few words where the insole is shown: a change that a closed
// window made must not go unseen into the file Save writes.
#pragma once

#include "insole/element_plan.h"
#include "insole/recompute.h"
#include "insole/relief_plan.h"

#include <string>

// "減壓中: 3 zones, 3 mm" while the last recompute drew the plan's relief onto the insole,
// "處方: " and `elementWords` (the elements that are on, in the window's words) while it drew
// the prescription's elements, both joined by "; "; empty while the insole is the plain one.
// The heights Save writes differ from the plain insole's only while this is not empty. Every
// further kind of change to the insole adds its own words here.
std::string insoleAlterations(const ReliefPlan* plan, const DrawnRelief& drawn,
                              const ElementPlan* elements, const DrawnElements& drawnElements,
                              const std::string& elementWords);
