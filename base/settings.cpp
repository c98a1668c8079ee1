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

namespace {

// Whether the file holds exactly the text, read up to one byte beyond it.
bool holdsText(const char* path, const std::string& text)
{
    std::FILE* file = std::fopen(path, "rb");
    if (!file) {
        return false;
    }
    std::string held(text.size() + 1, '\0');
    const std::size_t got = std::fread(held.data(), 1, held.size(), file);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    return !failed && got == text.size() && held.compare(0, got, text) == 0;
}

}  // namespace

bool writeSettingsText(const char* path, const std::string& text)
{
    // A read-only settings file means "keep this setting": never replace it behind its back,
    // whoever runs the program.
    struct stat existing {};
    if (stat(path, &existing) == 0 && (existing.st_mode & 0222) == 0) {
        return false;
    }
    // A setting that already holds this text is not written again: every replacement waits
    // for the disk twice, and opening a job or taking an undo step sets every control at once,
    // most of them to what they were.
    if (holdsText(path, text)) {
        return true;
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
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    return std::string(text, result.ptr);
}

bool readSettingLines(const char* path,
                      const std::function<void(std::string_view key, double value)>& take)
{
    std::FILE* file = std::fopen(path, "rb");
    if (!file) {
        return false;
    }
    // Settings files are a few short lines; anything longer is not one of ours.
    char buffer[4096];
    const std::size_t size = std::fread(buffer, 1, sizeof buffer, file);
    std::fclose(file);
    std::string_view rest(buffer, size);
    while (!rest.empty()) {
        const std::size_t newline = rest.find('\n');
        std::string_view line = rest.substr(0, newline);
        rest.remove_prefix(newline == std::string_view::npos ? rest.size() : newline + 1);
        while (!line.empty() && isBlank(line.front())) {
            line.remove_prefix(1);
        }
        std::size_t gap = 0;
        while (gap < line.size() && !isBlank(line[gap])) {
            ++gap;
        }
        double value = 0.0;
        if (gap > 0 && parseDecimal(line.substr(gap), value)) {
            take(line.substr(0, gap), value);
        }
    }
    return true;
}
