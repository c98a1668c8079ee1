#include "base/level_setting.h"

#include "base/settings.h"
#include "base/level.h"

#include <charconv>
#include <cstdio>

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

bool parseLevelMm(std::string_view text, double& levelMm)
{
    const char* first = text.data();
    const char* last = first + text.size();
    while (first < last && isBlank(*first)) {
        ++first;
    }
    while (last > first && isBlank(last[-1])) {
        --last;
    }
    // from_chars ignores the locale: a German desktop must not turn "0.2" into 0.
    double value = 0.0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last || first == last || !levelInRange(value)) {
        return false;
    }
    levelMm = value;
    return true;
}

std::string formatLevelMm(double levelMm)
{
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, levelMm);
    return std::string(text, result.ptr);
}

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
