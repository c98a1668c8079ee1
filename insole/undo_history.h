// The window's undo and redo, kept as the job the insole on screen would be saved as: a step
// is the recipe of every setting that shapes the insole, with the foot's and the measurement's
// own bytes shared with the insole they belong to, never copied per step. Taking a step back
// is opening that job again, so that the heights and every control come back exactly.
#pragma once

#include "insole/job_file.h"

#include <cstddef>
#include <deque>
#include <optional>
#include <string>

class UndoHistory {
public:
    // Steps kept to go back; the oldest goes first when more are taken.
    static constexpr std::size_t KEPT = 200;

    // The insole as it stands now, told after every change. When it differs from the last one
    // told in what shapes the insole (the milling setup does not), the last one becomes the step
    // that Undo goes back to, and what was undone can no longer be redone. Returns whether a
    // step was taken. An insole without a foot's bytes (none loaded) is no step: nothing could
    // bring it back.
    bool note(const JobSources& now);

    // Tells the insole as it stands after a step was taken back or forward, without making a
    // step of it: the controls may show a value a little otherwise than the step recorded it.
    void settle(const JobSources& now);

    // The step to go back (or forward) to, making the insole of now the step to redo (or undo).
    // False, changing nothing, when there is none.
    bool undo(JobSources& step);
    bool redo(JobSources& step);

    std::size_t undoSteps() const { return undo_.size(); }
    std::size_t redoSteps() const { return redo_.size(); }

private:
    struct Step {
        JobSources sources;
        std::string shape;  // what shapes the insole, compared between steps
    };
    static Step stepOf(const JobSources& sources);
    static bool same(const Step& a, const Step& b);
    // Takes the last step of `from` as the current one, the current one going to `to`.
    bool move(std::deque<Step>& from, std::deque<Step>& to, JobSources& step);

    std::optional<Step> current_;
    std::deque<Step> undo_;
    std::deque<Step> redo_;
};
