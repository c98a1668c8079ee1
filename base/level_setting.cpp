#include "base/level_setting.h"

#include "base/level.h"
#include "base/settings.h"

#include <cstdio>

bool parseLevelMm(std::string_view text, double& levelMm)
{
    double value = 0.0;
    if (!parseDecimal(text, value) || !levelInRange(value)) {
        return false;
    }
    levelMm = value;
    return true;
}

std::string formatLevelMm(double levelMm) { return formatDecimal(levelMm); }

double readLevelSetting(const char* path)
{
    double levelMm = DEFAULT_LEVEL_MM;
    if (FILE* file = std::fopen(path, "r")) {
        // Anything longer than a number is not one of our files.
        char text[64] = {};
        const std::size_t size = std::fread(text, 1, sizeof text - 1, file);
        if (std::feof(file)) {
            parseLevelMm(std::string_view(text, size), levelMm);
        }
        std::fclose(file);
    }
    return levelMm;
}

bool writeLevelSetting(const char* path, double levelMm)
{
    if (!levelInRange(levelMm)) {
        return false;
    }
    return writeSettingsText(path, formatLevelMm(levelMm));
}

bool levelInRange(double levelMm, std::string& problem)
{
    if (levelInRange(levelMm)) {
        return true;
    }
    char text[120];
    std::snprintf(text, sizeof text, "level size %g mm is outside %g-%g mm", levelMm,
                  MIN_LEVEL_MM, MAX_LEVEL_MM);
    problem = text;
    return false;
}
