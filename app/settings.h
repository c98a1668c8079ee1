// The one setting that survives a restart: whether the 30-degree limit is on.
#pragma once

// The settings file, in the working folder.
constexpr const char* LIMIT_SETTINGS_FILE = "bt_degree_30.txt";

// The integer the file holds, or 0 when it does not open or holds no integer.
int readLimitSetting(const char* path);

// Rewrites the file with the value ("%d", no newline). The new content replaces the old one
// in a single rename, so a crash never leaves the file empty or half-written. A file that
// exists but may not be written (read-only) is left alone, as is a folder that may not be
// written: the setting is then simply not kept. Returns whether the value was stored.
bool writeLimitSetting(const char* path, int value);
