// The real main window that the window benchmarks drive, started and ended the same way for
// each of them.
#pragma once

#include <chrono>
#include <functional>

class Fl_Double_Window;

// Opens the display, moves into a folder of its own under /tmp (the settings files that the
// controls write go there, not into the working folder), builds and shows the main window, and
// loads the sample foot at its measured size with the slope limit on: the recompute at its
// heaviest. Returns the window, or null after saying why on standard error. `bench` names the
// benchmark in that message and in the folder's name.
Fl_Double_Window* openBenchWindow(const char* bench);

// Closes the 3D window and the main window, and removes the folder with whatever the run
// wrote in it.
void closeBenchWindow(Fl_Double_Window* window);

double millisecondsBetween(std::chrono::steady_clock::time_point from,
                           std::chrono::steady_clock::time_point to);

// Runs the event loop until the condition holds, looking after every pass; false when it has
// not held after 10 s. The short sleep between passes leaves the cores to the X server and the
// GL driver instead of spinning.
bool pumpUntil(const std::function<bool()>& condition);
