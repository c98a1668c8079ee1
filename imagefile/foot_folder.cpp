#include "imagefile/foot_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>

namespace {

std::string rememberedFolder;

std::string workingFolder()
{
    char path[PATH_MAX];
    return getcwd(path, sizeof path) ? std::string(path) : std::string();
}

}  // namespace

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

void rememberFootFolder(const char* fileName)
{
    rememberedFolder = folderOfFile(fileName, workingFolder());
}

std::string lastFootFolder()
{
    struct stat status;
    if (rememberedFolder.empty() || stat(rememberedFolder.c_str(), &status) != 0 ||
        !S_ISDIR(status.st_mode)) {
        return {};
    }
    return rememberedFolder;
}
