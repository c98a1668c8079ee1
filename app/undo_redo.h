// Undo and redo in the window: Ctrl+Z takes back the last change that shapes the insole,
// Ctrl+Shift+Z and Ctrl+Y take it again. Every change is seen the same way, whatever control
// made it: after FLTK has handled the events it had, the insole on screen is compared with the
// one before (a slider is compared when it is let go, not while it is dragged), and one that
// differs makes a step. A step is taken back by opening it as a job (takeJob).
#pragma once

// Starts watching the insole and takes the shortcuts. Call once, after the main window is built.
void installUndoRedo();

// Takes back the last change, or takes again the last one taken back. Return whether there was
// one; with none, nothing changes.
bool undoLastChange();
bool redoLastChange();

// Tells the history the insole as it stands now (FLTK does this after every round of events;
// a test that changes the controls without events may call it). Returns whether it was a step.
bool noteInsoleChange();

// Steps there are to take back and to take again.
int stepsToUndo();
int stepsToRedo();
