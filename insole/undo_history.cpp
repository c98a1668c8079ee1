#include "insole/undo_history.h"

#include <utility>

UndoHistory::Step UndoHistory::stepOf(const JobSources& sources)
{
    // The milling setup is how the insole is cut, not its shape; the version is this program's.
    JobRecipe shape = sources.recipe;
    shape.milling.clear();
    shape.version.clear();
    return {sources, recipeJson(shape)};
}

bool UndoHistory::same(const Step& a, const Step& b)
{
    return a.sources.foot == b.sources.foot && a.sources.measurement == b.sources.measurement &&
           a.shape == b.shape;
}

bool UndoHistory::note(const JobSources& now)
{
    Step step = stepOf(now);
    if (current_ && same(*current_, step)) {
        return false;
    }
    const bool taken = current_ && current_->sources.foot;
    if (taken) {
        undo_.push_back(std::move(*current_));
        if (undo_.size() > KEPT) {
            undo_.pop_front();
        }
    }
    redo_.clear();
    current_ = std::move(step);
    return taken;
}

void UndoHistory::settle(const JobSources& now) { current_ = stepOf(now); }

bool UndoHistory::undo(JobSources& step) { return move(undo_, redo_, step); }

bool UndoHistory::redo(JobSources& step) { return move(redo_, undo_, step); }

bool UndoHistory::move(std::deque<Step>& from, std::deque<Step>& to, JobSources& step)
{
    if (from.empty() || !current_) {
        return false;
    }
    to.push_back(std::move(*current_));
    current_ = std::move(from.back());
    from.pop_back();
    step = current_->sources;
    return true;
}
