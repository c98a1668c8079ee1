// File names as the dialogs give them (UTF-8) and as FreeImage opens them.
#pragma once

#include "base/grid.h"

// Converts a UTF-8 file name in place to the narrow form in which FreeImage opens files and
// returns the buffer. On Windows that is the ANSI code page; elsewhere narrow names are
// UTF-8 already and the name is left as it is.
char* utf8ToAnsi(char* buffer);

// Copies a chosen file name into a name buffer. A name that does not fit, terminator
// included, is refused (nothing is truncated) with a trace line; returns whether it fit.
bool copyChosenName(const char* chosen, char (&buffer)[PATH_BUFFER_SIZE]);

// Makes the name end in ".bmp": unless its last four bytes are exactly ".bmp" (the case
// counts), ".bmp" is appended after whatever ending it has. A name that would no longer fit
// the buffer is refused with a trace line and left as it was; returns whether it fits.
bool ensureBmpExtension(char (&buffer)[PATH_BUFFER_SIZE]);

// Whether the name ends in `extension` (".stl", for example), letters compared without regard
// to case: a user who types "INSOLE.STL" asks for an STL file.
bool endsWithExtension(const char* name, const char* extension);

// Makes the name end in `extension`: unless it already does (in any case), the extension is
// appended. A name that would no longer fit the buffer is refused with a trace line and left
// as it was; returns whether it fits.
bool ensureExtension(char (&buffer)[PATH_BUFFER_SIZE], const char* extension);
