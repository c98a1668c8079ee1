// The level size of the insole solid (millimetres per height level), kept from one run to
// the next in a file of its own beside the limit's.
#pragma once

#include <string>
#include <string_view>

// The settings file, in the working folder.
constexpr const char* LEVEL_SETTINGS_FILE = "solid_level_mm.txt";

// Reads a level size as a person types it or the file holds it: one decimal number with a
// point ("0.25", ".5", "1e-1"), blanks around it allowed, read the same in every locale.
// Returns whether the text is such a number within MIN_LEVEL_MM..MAX_LEVEL_MM; only then is
// levelMm set.
bool parseLevelMm(std::string_view text, double& levelMm);

// The shortest text that reads back as exactly this value: "0.2", not "0.200000".
std::string formatLevelMm(double levelMm);

// The level size the file holds, or DEFAULT_LEVEL_MM when it does not open, holds no number
// or a number out of range.
double readLevelSetting(const char* path);

// Rewrites the file with the value (formatLevelMm, no newline) as the limit's file is
// written: in one step, and not at all when the file is read-only. A value out of range is
// refused. Returns whether the value was stored.
bool writeLevelSetting(const char* path, double levelMm);
