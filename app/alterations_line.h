// The line under the main window's view that says what, beyond the foot and this window's
// controls, changes the insole now (a relief while it is drawn onto it). It stays while the
// window that set it up is closed: what Save writes is never a surprise.
#pragma once

class Fl_Box;

// Null until the main window has made it.
extern Fl_Box* alterationsLine;

// Made by createMainWindow after the message line, under the view at 125, 448, 342, 24.
// Listens to the insole view after whoever listened before, so that it follows every
// recompute and every load.
Fl_Box* createAlterationsLine();
