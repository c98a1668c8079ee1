// Jobs in the window: the recipe that Save solid writes from the controls as they stand, and
// a job opened by Load, Ctrl+O, a drop or the command line, which sets every control as it
// records. A job that cannot be taken whole changes nothing.
#pragma once

#include "insole/job_file.h"
#include "mill/mill_setup.h"

#include <string>

// The recipe of the insole on screen: the main window's sliders and limit, the level size,
// the relief's controls, the reading of a plain matrix, the placement's correction, the
// prescription with its hand shifts and the milling setup, with the loaded foot's name.
JobRecipe windowRecipe();
// The same without the milling setup: what shapes the insole alone.
JobRecipe windowShape();

// Opens a job by name (UTF-8, as the chooser gives it). Its foot comes in through the same
// door as a file, its measurement through the same reader, and both are checked with the
// recipe before anything on screen changes; a refusal is traced in one line naming the job.
// Returns whether the job is now the insole on screen.
bool openJob(const char* chosenUtf8Name);

// How a job is taken: the names its refusals and its parts' traces go by, the milling setup it
// brings (null: the setup stays as it is, as when a step is undone), the job's file (null: the
// Load dialog's folder stays) and the line that says it was taken (none when empty).
struct JobTaking {
    std::string refusalName;
    std::string footName;
    std::string measurementName;
    const MillSetup* milling = nullptr;
    const char* jobUtf8Name = nullptr;
    std::string success;
};

// Takes a job's recipe with the foot's and the measurement's bytes as the insole on screen:
// the door and the reader check them with the recipe first, and one that cannot be taken whole
// changes nothing. Opening a job and Undo and Redo come through here.
bool takeJob(const JobSources& sources, const JobTaking& taking);
