#include "base/settings.h"

#include "base/file_replace.h"

#include <cstdio>
#include <string>

#include <sys/stat.h>

int readLimitSetting(const char* path)
{
    int value = 0;
    if (FILE* file = std::fopen(path, "r")) {
        if (std::fscanf(file, "%d", &value) != 1) {
            value = 0;
        }
        std::fclose(file);
    }
    return value;
}

bool writeLimitSetting(const char* path, int value)
{
    return writeSettingsText(path, std::to_string(value));
}

bool writeSettingsText(const char* path, const std::string& text)
{
    // A read-only settings file means "keep this setting": never replace it behind its back,
    // whoever runs the program.
    struct stat existing {};
    if (stat(path, &existing) == 0 && (existing.st_mode & 0222) == 0) {
        return false;
    }
    std::string failure;  // an unwritable setting is simply not kept
    return replaceFile(path, reinterpret_cast<const std::uint8_t*>(text.data()), text.size(),
                       failure);
}
