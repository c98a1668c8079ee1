#include "base/settings.h"

#include "base/file_replace.h"

#include <charconv>
#include <cmath>
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

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

bool parseDecimal(std::string_view text, double& value)
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
    double read = 0.0;
    const auto [end, error] = std::from_chars(first, last, read);
    if (error != std::errc() || end != last || first == last || !std::isfinite(read)) {
        return false;
    }
    value = read;
    return true;
}

std::string formatDecimal(double value)
{
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}
