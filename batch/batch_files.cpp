#include "batch/batch_files.h"

#include "batch/batch.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>

bool isFolder(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

FileId fileId(const std::string& path)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return {};
    }
    return {info.st_dev, info.st_ino, true};
}

bool sameFile(const FileId& a, const FileId& b)
{
    return a.exists && b.exists && a.device == b.device && a.inode == b.inode;
}

std::string stem(const std::string& foot)
{
    const std::size_t slash = foot.find_last_of('/');
    std::string base = slash == std::string::npos ? foot : foot.substr(slash + 1);
    const std::size_t dot = base.find_last_of('.');
    if (dot != std::string::npos && dot > 0) {
        base.erase(dot);
    }
    return base;
}

namespace {

// The endings a measurement in a folder may have, in any case.
bool measurementEnding(const std::string& ending)
{
    std::string lower = ending;
    for (char& c : lower) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return lower == ".asf" || lower == ".csv" || lower == ".txt";
}

}  // namespace

bool measurementOf(const std::string& source, const std::string& foot, std::string& measurement,
                   std::string& why)
{
    measurement.clear();
    if (!isFolder(source)) {
        measurement = source;
        return true;
    }
    const std::string name = stem(foot);
    std::vector<std::string> found;
    DIR* folder = opendir(source.c_str());
    if (!folder) {
        why = "cannot read the folder of pressure measurements " + source + ": " +
              std::strerror(errno);
        return false;
    }
    while (const dirent* entry = readdir(folder)) {
        const std::string file = entry->d_name;
        if (file.size() == name.size() + 4 && file.compare(0, name.size(), name) == 0 &&
            measurementEnding(file.substr(name.size()))) {
            found.push_back(source + (source.back() == '/' ? "" : "/") + file);
        }
    }
    closedir(folder);
    std::sort(found.begin(), found.end());
    if (found.size() > 1) {
        why = "the pressure measurements " + found[0] + " and " + found[1] +
              " both have the foot's name; keep the one that belongs to it";
        return false;
    }
    if (!found.empty()) {
        measurement = found[0];
    }
    return true;
}

std::string outputName(const std::string& target, const std::string& foot, bool severalFeet,
                       const char* extension)
{
    const bool folder = severalFeet || isFolder(target) || (!target.empty() && target.back() == '/');
    if (!folder) {
        return target;
    }
    std::string name = target;
    if (name.back() != '/') {
        name += '/';
    }
    return name + stem(foot) + extension;
}
