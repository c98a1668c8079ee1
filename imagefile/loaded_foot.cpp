#include "imagefile/loaded_foot.h"

#include <cstring>

namespace {

std::string footName;

}  // namespace

void rememberLoadedFoot(const char* chosenUtf8Name)
{
    // The folder says where the scan lay on one machine on one day; the name is what a
    // workshop files it under.
    const char* slash = std::strrchr(chosenUtf8Name, '/');
    footName = slash ? slash + 1 : chosenUtf8Name;
}

void forgetLoadedFoot() { footName.clear(); }

const std::string& loadedFootName() { return footName; }
