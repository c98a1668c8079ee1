#include "imagefile/loaded_foot.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>

namespace {

std::string footName;
std::string footFolder;

std::string workingFolder()
{
    char path[PATH_MAX];
    return getcwd(path, sizeof path) ? std::string(path) : std::string();
}

}  // namespace

void rememberLoadedFoot(const char* chosenUtf8Name)
{
    footName = fileNameOf(chosenUtf8Name);
    // A relative name is taken against the working folder of this moment.
    footFolder = folderOfFile(chosenUtf8Name, workingFolder());
}

void forgetLoadedFoot() { footName.clear(); }

void rememberJobFoot(const std::string& footFile, const char* jobUtf8Name)
{
    footName = fileNameOf(footFile);
    footFolder = folderOfFile(jobUtf8Name, workingFolder());
}

void rememberFootName(const std::string& footFile) { footName = fileNameOf(footFile); }

const std::string& loadedFootName() { return footName; }

std::string fileNameOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string folderOfFile(const std::string& fileName, const std::string& workingFolder)
{
    if (fileName.empty() || (fileName[0] != '/' && workingFolder.empty())) {
        return {};
    }
    const std::size_t slash = fileName.rfind('/');
    if (slash == std::string::npos) {
        return workingFolder;
    }
    std::string folder = fileName.substr(0, slash);
    if (fileName[0] != '/') {
        folder = workingFolder + "/" + folder;
    }
    return folder.empty() ? "/" : folder;
}

std::string lastFootFolder()
{
    struct stat status;
    if (footFolder.empty() || stat(footFolder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
        return {};
    }
    return footFolder;
}
