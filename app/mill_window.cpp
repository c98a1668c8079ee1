#include "app/mill_window.h"

void millClicked(Fl_Widget*, void*) {}

void millInsoleChanged() {}

void closeMillWindow() {}
