// The relief's parameters, kept from one run to the next in a small file of their own beside
// the level size's: the threshold, depth, margin and transition width, and whether the
// relief is on. The measurement itself belongs to one foot and is never kept.
#pragma once

#include "pressure/relief.h"

// The settings file, in the working folder.
constexpr const char* RELIEF_SETTINGS_FILE = "relief_settings.txt";

struct ReliefSettings {
    ReliefParameters parameters;
    bool on = true;
};

// The settings the file holds. A file that does not open gives the defaults; within it,
// a line that does not read as "<key> <number>", an unknown key or a value out of its range
// leaves that setting at its default. Numbers are read the same in every locale.
ReliefSettings readReliefSettings(const char* path);

// Rewrites the file in one step (as every settings file is written; a read-only file is
// left alone). Returns whether the settings were stored.
bool writeReliefSettings(const char* path, const ReliefSettings& settings);
