#include "imagefile/file_names.h"

#include "base/trace.h"

#include <cstring>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

char* utf8ToAnsi(char* buffer)
{
#ifdef _WIN32
    wchar_t wide[PATH_BUFFER_SIZE];
    const int n = MultiByteToWideChar(CP_UTF8, 0, buffer, -1, nullptr, 0);
    MultiByteToWideChar(CP_UTF8, 0, buffer, -1, wide, n);
    const int m = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    WideCharToMultiByte(CP_ACP, 0, wide, -1, buffer, m, nullptr, nullptr);
#endif
    return buffer;
}

bool copyChosenName(const char* chosen, char (&buffer)[PATH_BUFFER_SIZE])
{
    const std::size_t length = std::strlen(chosen);
    if (length >= sizeof buffer) {
        traceFileProblem("Refused file name", "", "longer than 1023 bytes");
        return false;
    }
    std::memcpy(buffer, chosen, length + 1);
    return true;
}

namespace {

// Appends the extension, or refuses the name with a trace line when it would no longer fit.
bool appendExtension(char (&buffer)[PATH_BUFFER_SIZE], std::size_t length, const char* extension)
{
    const std::size_t extensionLength = std::strlen(extension);
    if (length + extensionLength >= sizeof buffer) {
        const std::string why = std::string("no room to append \"") + extension + "\" within 1023 bytes";
        traceFileProblem("Refused file name", buffer, why.c_str());
        return false;
    }
    std::memcpy(buffer + length, extension, extensionLength + 1);
    return true;
}

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool ensureBmpExtension(char (&buffer)[PATH_BUFFER_SIZE])
{
    static const char extension[] = ".bmp";
    const std::size_t length = std::strlen(buffer);
    const std::size_t extensionLength = sizeof extension - 1;
    if (length >= extensionLength && std::memcmp(buffer + length - extensionLength, extension, extensionLength) == 0) {
        return true;
    }
    return appendExtension(buffer, length, extension);
}

bool endsWithExtension(const char* name, const char* extension)
{
    const std::size_t length = std::strlen(name);
    const std::size_t extensionLength = std::strlen(extension);
    if (length < extensionLength) {
        return false;
    }
    const char* ending = name + length - extensionLength;
    for (std::size_t i = 0; i < extensionLength; ++i) {
        if (lowerAscii(ending[i]) != lowerAscii(extension[i])) {
            return false;
        }
    }
    return true;
}

bool ensureExtension(char (&buffer)[PATH_BUFFER_SIZE], const char* extension)
{
    return endsWithExtension(buffer, extension) || appendExtension(buffer, std::strlen(buffer), extension);
}
