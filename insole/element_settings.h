// The prescription's elements kept from one run to the next in a small file of their own
// beside the relief's: the side, each element's switch and parameters. The hand shifts belong
// to one foot and are never kept.
#pragma once

#include "insole/elements.h"

// The settings file, in the working folder.
constexpr const char* ELEMENT_SETTINGS_FILE = "element_settings.txt";

// The settings the file holds. A file that does not open gives the defaults (every element
// off, the side found); within it, a line that does not read as "<key> <number>", an unknown
// key or a value out of its range leaves that setting at its default.
ElementSettings readElementSettings(const char* path);

// Rewrites the file in one step. Returns whether the settings were stored.
bool writeElementSettings(const char* path, const ElementSettings& settings);
