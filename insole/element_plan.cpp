#include "insole/element_plan.h"

#include <memory>

namespace {

bool sameMeasurement(const ElementPlan& plan, const ReliefPlan* relief)
{
    if (!relief) {
        return plan.measuredWith == nullptr;
    }
    const PressurePlacement& p = relief->placement;
    return plan.measuredWith == relief && plan.measurementFile == relief->measurementFile &&
           plan.turnDegrees == p.turnDegrees && plan.shiftXMm == p.shiftXMm &&
           plan.shiftYMm == p.shiftYMm && plan.mirrored == relief->correction.mirror;
}

}  // namespace

bool refreshElements(ElementPlan& plan, const FootGrid& foot, const ReliefPlan* relief,
                     double levelMm)
{
    const bool wanted = plan.settings.anyOn();
    if (!wanted) {
        plan.current = false;
        plan.problem.clear();
        return false;
    }
    const bool stale = !plan.current || plan.levelMm != levelMm || !sameMeasurement(plan, relief);
    if (!stale || (!plan.problem.empty() && plan.levelMm == levelMm && sameMeasurement(plan, relief))) {
        return false;
    }
    plan.measuredWith = relief;
    plan.measurementFile = relief ? relief->measurementFile : std::string();
    plan.turnDegrees = relief ? relief->placement.turnDegrees : 0;
    plan.shiftXMm = relief ? relief->placement.shiftXMm : 0;
    plan.shiftYMm = relief ? relief->placement.shiftYMm : 0;
    plan.mirrored = relief && relief->correction.mirror;
    plan.levelMm = levelMm;
    auto raise = std::make_unique<ElementRaise>();
    std::string failure;
    if (!computeElements(foot, plan.settings, plan.shifts, relief ? &relief->placed : nullptr,
                         levelMm, *raise, failure)) {
        plan.current = false;
        plan.problem = failure;
        return false;
    }
    plan.raise = std::move(*raise);
    plan.current = true;
    plan.problem.clear();
    return true;
}

const ElementRaise* activeElements(const ElementPlan* plan)
{
    return plan && plan->current ? activeElements(&plan->raise) : nullptr;
}

void footChanged(ElementPlan& plan)
{
    plan.shifts = ElementShifts{};
    plan.current = false;
    plan.problem.clear();
}
