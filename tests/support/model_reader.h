// Reads a 3MF file back with lib3mf, as a slicer built on it would. Kept apart from FreeImage,
// whose type names clash with lib3mf's.
#pragma once

#include "solid/solid_mesh.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct ReadModel {
    bool read = false;
    std::string failure;
    int warnings = 0;
    bool millimetres = false;
    int meshObjects = 0;
    int buildItems = 0;
    SolidMesh mesh;  // the first mesh object's
    std::map<std::string, std::string> metadata;
};

ReadModel readModel(std::vector<std::uint8_t> bytes);
