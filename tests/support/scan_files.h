// Scans written by the tests, the benchmark and the seed corpus: a triangle mesh from a
// known height surface, encoded as binary or ASCII STL, OBJ, or binary or ASCII PLY.
#pragma once

#include "scan/scan_door.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A sole surface over a lattice of `spacing` mm: the lattice squares whose four corners
// `inside` accepts become two triangles each, every vertex at height `height`. Coordinates
// are millimetres in the grid's frame (x across, y along the foot, z up).
ScanMesh latticeSurface(double minX, double maxX, double minY, double maxY, double spacing,
                        const std::function<bool(double x, double y)>& inside,
                        const std::function<double(double x, double y)>& height);

// Every vertex through f (to turn, move, scale or change the up axis of a mesh).
void transformMesh(ScanMesh& mesh, const std::function<void(double& x, double& y, double& z)>& f);

std::vector<std::uint8_t> binaryStl(const ScanMesh& mesh);
std::vector<std::uint8_t> asciiStl(const ScanMesh& mesh);
std::vector<std::uint8_t> objFile(const ScanMesh& mesh);
std::vector<std::uint8_t> asciiPly(const ScanMesh& mesh);
std::vector<std::uint8_t> binaryPly(const ScanMesh& mesh);
