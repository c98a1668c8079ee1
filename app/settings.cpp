#include "app/settings.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    struct stat existing {};
    const bool exists = stat(path, &existing) == 0;
    // A read-only settings file means "keep this setting": never replace it behind its back,
    // whoever runs the program.
    if (exists && (access(path, W_OK) != 0 || (existing.st_mode & 0222) == 0)) {
        return false;
    }

    std::string temporary = std::string(path) + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0) {
        return false;
    }
    const std::string text = std::to_string(value);
    bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    // A new file gets the permissions fopen would give it; a replaced one keeps its own.
    mode_t mode = existing.st_mode & 07777;
    if (!exists) {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    ok = ok && fchmod(fd, mode) == 0;
    ok = ok && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    ok = ok && std::rename(temporary.c_str(), path) == 0;
    if (!ok) {
        unlink(temporary.c_str());
    }
    return ok;
}
