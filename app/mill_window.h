// The milling window, opened from the 3D window's "銑削…" [Milling…] button: the milling
// setup, the figures of the toolpath of the insole on screen, and Save G-code.
#pragma once

class Fl_Widget;

// The "銑削…" button: opens the milling window, or raises it when it is open.
void millClicked(Fl_Widget*, void*);

// The 3D window has built the solid of a new insole: the milling window, when it is open,
// works out the toolpath of this insole from now on.
void millInsoleChanged();

// Closes the milling window, if it is open: it goes when the 3D window goes.
void closeMillWindow();
