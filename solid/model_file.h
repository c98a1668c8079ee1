// The 3MF package of a solid, made with lib3mf. Kept apart from everything that includes
// FreeImage: lib3mf's Windows type names clash with FreeImage's.
#pragma once

#include "solid/package_parts.h"
#include "solid/solid_mesh.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct ModelFile {
    // Name and value of each metadata entry, the values already escaped for XML.
    std::vector<std::pair<std::string, std::string>> metadata;
    std::string objectUuid;
    std::string itemUuid;
    std::string buildUuid;
    // Parts of the package beside the model, each tied to the package by Tarsola's
    // relationship and its extension declared with its content type; none when null.
    const std::vector<PackagePart>* parts = nullptr;
};

// The bytes of a 3MF file in millimetres holding the mesh as one object and one build item.
// Returns false, saying why, when lib3mf cannot make it.
bool encodeModelFile(const SolidMesh& mesh, const ModelFile& file, std::vector<std::uint8_t>& bytes,
                     std::string& failure);
