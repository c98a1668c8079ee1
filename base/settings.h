// The one setting that survives a restart: whether the 30-degree limit is on.
#pragma once

#include <functional>
#include <string>
#include <string_view>

// The settings file, in the working folder.
constexpr const char* LIMIT_SETTINGS_FILE = "bt_degree_30.txt";

// The integer the file holds, or 0 when it does not open or holds no integer.
int readLimitSetting(const char* path);

// Rewrites the file with the value ("%d", no newline). The new content replaces the old one
// in a single rename, so a crash never leaves the file empty or half-written. A file that
// exists but may not be written (read-only) is left alone, as is a folder that may not be
// written: the setting is then simply not kept. Returns whether the value was stored.
bool writeLimitSetting(const char* path, int value);

// How every settings file is written: the text replaces the old content in a single rename;
// a read-only file, or a folder that may not be written, is left alone and the setting is
// simply not kept. A file that holds the text already is left as it is (stored). Returns
// whether the text is stored.
bool writeSettingsText(const char* path, const std::string& text);

// Reads a number as a person types it or a settings file holds it: one decimal number with a
// point ("0.25", ".5", "1e-1", "-3"), blanks around it allowed, read the same in every locale.
// Returns whether the text is such a number (finite); only then is `value` set.
bool parseDecimal(std::string_view text, double& value);

// The shortest text without an exponent that reads back as exactly this value: "0.2", not
// "0.200000"; "0.0001", not "1e-04"; "20000".
std::string formatDecimal(double value);

// Reads a small settings file of "<key> <number>" lines (its first 4 KiB), calling
// take(key, value) for each line that reads so, in the file's order; any other line is
// skipped, so that a damaged line costs only its own setting. Returns false, calling nothing,
// when the file does not open.
bool readSettingLines(const char* path,
                      const std::function<void(std::string_view key, double value)>& take);
