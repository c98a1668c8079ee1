// The insole solid as files: binary STL and 3MF in millimetres, written in one step through
// replaceFile, so that a failed write leaves the old file byte for byte.
#pragma once

#include "base/insole_settings.h"
#include "solid/package_parts.h"
#include "solid/solid_mesh.h"

#include <cstdint>
#include <string>
#include <vector>

// What a 3MF file records beside the mesh, so that a workshop can make the same insole
// again: the foot file, the settings it was made with, the level size, the relief and the
// elements.
struct SolidRecord {
    std::string footFile;
    InsoleSettings settings;
    double levelMm = DEFAULT_LEVEL_MM;
    // The relief the insole was made with, as reliefRecipe says it; empty without one.
    std::string relief;
    // The prescription's elements, as elementsRecipe says them; empty without any.
    std::string elements;
    // The job's parts (the foot's and the measurement's bytes and the recipe) that make the
    // 3MF the whole record of the insole; the model and its metadata do not depend on them.
    std::vector<PackagePart> parts;
};

// The bytes of a binary STL file of the mesh: an 80-byte header that does not begin with
// "solid", the triangle count, and one 50-byte record per triangle with its unit outward
// normal.
std::vector<std::uint8_t> encodeStl(const SolidMesh& mesh);

// The bytes of a 3MF file of the mesh, unit millimetre, with the record as metadata.
// Returns false, saying why, when the library cannot make it.
bool encode3mf(const SolidMesh& mesh, const SolidRecord& record, std::vector<std::uint8_t>& bytes,
               std::string& failure);

// Write the file at path in one step; a failure is traced on standard error, naming the file,
// and the old file is left as it was. An empty mesh is refused. Return whether it was written.
bool writeStlFile(const SolidMesh& mesh, const char* path);
bool write3mfFile(const SolidMesh& mesh, const SolidRecord& record, const char* path);

// Save solid as the 3D window runs it once a name has been chosen (UTF-8): a name ending in
// ".stl" or ".3mf" picks the format; any other name gets ".stl" appended.
bool saveSolid(const SolidMesh& mesh, const SolidRecord& record, const char* chosenUtf8Name);
