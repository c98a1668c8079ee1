// The milling setup kept from one run to the next in a small file of its own beside the other
// settings files, and the setup's values as a person types them into the milling window.
#pragma once

#include "mill/mill_setup.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The settings file, in the working folder.
constexpr const char* MILL_SETTINGS_FILE = "mill_settings.txt";

// The word that names a parameter in the file: its batch option without the dashes
// ("tool-mm", "rpm"), so that the file and the command line speak alike.
std::string millSettingKey(MillParameter parameter);

// The setup the file holds. A file that does not open gives the defaults; within it, a line
// that does not read as "<key> <number>", an unknown key, or a value that would put the setup
// out of range leaves that parameter at its default. Values are taken in the order of
// MILL_PARAMETERS, whatever the order of the lines, so that a stepover is checked against the
// file's tool and a blank against the file's flute length. Numbers are read the same in every
// locale.
MillSetup readMillSettings(const char* path);

// Rewrites the file in one step (as every settings file is written; a read-only file is left
// alone). A setup out of range is refused. Returns whether the setup was stored.
bool writeMillSettings(const char* path, const MillSetup& setup);

// A value as the milling window shows it: its shortest decimal with a '.' ("0.5", "14000"),
// and the blank's automatic thickness (0) as an empty field.
std::string formatMillValue(MillParameter parameter, double value);

// Takes a person's entry for one parameter: one decimal number with a '.', blanks around it
// allowed; for the blank, an empty entry (or 0) stands for automatic. The entry is refused
// when it is no such number, lies outside the parameter's range, or would put another
// parameter out of range (a smaller tool under the stepover); `why` then says so, naming the
// range, and the setup is left as it was.
bool takeMillEntry(MillSetup& setup, MillParameter parameter, std::string_view entry,
                   std::string& why);

// The setup as a job's recipe records it: each parameter's key and value, in the setup's order.
std::vector<std::pair<std::string, double>> millRecipeValues(const MillSetup& setup);

// The setup a recipe records: every key of the setup once, no other, and the whole setup in
// range. Returns false, saying which value is wrong ("milling.stepover-mm 4 mm is outside ..."),
// leaving `setup` as it was.
bool millSetupOfRecipe(const std::vector<std::pair<std::string, double>>& values, MillSetup& setup,
                       std::string& why);
