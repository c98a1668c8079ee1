#include "app/undo_redo.h"

#include "app/job_window.h"
#include "app/main_window.h"
#include "base/trace.h"
#include "insole/undo_history.h"
#include "view/gl_display_image.h"

#include <FL/Fl.H>

namespace {

UndoHistory history;
// While a step is being taken, the controls pass through values that are no step of their own.
bool taking = false;

JobSources insoleNow()
{
    return jobSourcesOf(*insoleView, insoleView->reliefPlan.get(), windowShape());
}

// Runs after every round of events, the view's 120 ticks a second included. Only a round
// that asked for a recompute, or followed one, can have changed what the insole is made of
// (every control that shapes the heights asks for one; a slider let go after a drag follows
// the recomputes of the drag; the level size, which may shape the solid alone, tells the
// history itself), so the other rounds cost a comparison of two numbers.
void watch(void*)
{
    static bool noted = false;
    static unsigned notedAt = 0;
    if (!insoleView || taking || Fl::pushed()) {
        return;
    }
    if (noted && !insoleView->recomputePending && insoleView->reshapes == notedAt) {
        return;
    }
    noted = true;
    notedAt = insoleView->reshapes;
    noteInsoleChange();
}

bool takeStep(const JobSources& step, const char* done)
{
    JobTaking how;
    how.refusalName = step.recipe.footFile;
    how.footName = step.recipe.footFile;
    how.measurementName = step.recipe.pressureFile;
    how.success = done;
    taking = true;
    const bool taken = takeJob(step, how);
    taking = false;
    history.settle(insoleNow());
    return taken;
}

int shortcut(int event)
{
    if (event != FL_SHORTCUT || !(Fl::event_state() & FL_CTRL) || (Fl::event_state() & FL_ALT)) {
        return 0;
    }
    const bool shift = (Fl::event_state() & FL_SHIFT) != 0;
    const int key = Fl::event_key();
    if (key == 'z' && !shift) {
        undoLastChange();
        return 1;
    }
    if ((key == 'z' && shift) || (key == 'y' && !shift)) {
        redoLastChange();
        return 1;
    }
    return 0;
}

}  // namespace

void installUndoRedo()
{
    Fl::add_check(watch);
    Fl::add_handler(shortcut);
}

bool noteInsoleChange()
{
    // A slider being dragged, or a step being taken, is not a change yet.
    if (!insoleView || taking || Fl::pushed()) {
        return false;
    }
    return history.note(insoleNow());
}

namespace {

// Takes the step that `take` gives from the history, after noting the change not yet noted.
bool takeFromHistory(bool (UndoHistory::*take)(JobSources&), const char* none, const char* done)
{
    if (!insoleView || taking || Fl::pushed()) {
        return false;
    }
    noteInsoleChange();
    JobSources step;
    if (!(history.*take)(step)) {
        traceSuccess(none);
        return false;
    }
    return takeStep(step, done);
}

}  // namespace

bool undoLastChange()
{
    return takeFromHistory(&UndoHistory::undo, "Nothing to undo", "Undone: the insole as before the last change");
}

bool redoLastChange()
{
    return takeFromHistory(&UndoHistory::redo, "Nothing to redo", "Redone: the change undone last");
}

int stepsToUndo() { return static_cast<int>(history.undoSteps()); }
int stepsToRedo() { return static_cast<int>(history.redoSteps()); }
