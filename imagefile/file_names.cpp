#include "imagefile/file_names.h"

#include "app/trace.h"

#include <cstring>

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

bool ensureBmpExtension(char (&buffer)[PATH_BUFFER_SIZE])
{
    static const char extension[] = ".bmp";
    const std::size_t length = std::strlen(buffer);
    const std::size_t extensionLength = sizeof extension - 1;
    if (length >= extensionLength && std::memcmp(buffer + length - extensionLength, extension, extensionLength) == 0) {
        return true;
    }
    if (length + extensionLength >= sizeof buffer) {
        traceFileProblem("Refused file name", buffer, "no room to append \".bmp\" within 1023 bytes");
        return false;
    }
    std::memcpy(buffer + length, extension, extensionLength + 1);
    return true;
}
