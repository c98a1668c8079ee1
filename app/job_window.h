// Jobs in the window: the recipe that Save solid writes from the controls as they stand, and
// a job opened by Load, Ctrl+O, a drop or the command line, which sets every control as it
// records. A job that cannot be taken whole changes nothing.
#pragma once

#include "insole/job_recipe.h"

// The recipe of the insole on screen: the main window's sliders and limit, the level size,
// the relief's controls, the reading of a plain matrix, the placement's correction and the
// milling setup, with the loaded foot's name.
JobRecipe windowRecipe();

// Opens a job by name (UTF-8, as the chooser gives it). Its foot comes in through the same
// door as a file, its measurement through the same reader, and both are checked with the
// recipe before anything on screen changes; a refusal is traced in one line naming the job.
// Returns whether the job is now the insole on screen.
bool openJob(const char* chosenUtf8Name);
