// The one way a 3D scan gets into the program. Scans come from phone apps, foam-box
// digitisers and plantar scanners, by e-mail and on USB sticks, and a mesh library knows
// dozens of formats. So the door recognises a scan by its own signature (binary STL's size
// rule, ASCII STL's "solid" and "facet", PLY's "ply" and a known format line, OBJ's "v" and
// "f" lines), bounds its size and triangle count before the mesh library runs, lets that
// library read only the one format the signature named and open no other file, and checks
// what it delivers: finite coordinates, indices inside the mesh, at least one triangle.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Largest scan file read at all, the same bound as for foot images.
constexpr std::size_t MAX_SCAN_FILE_BYTES = std::size_t{64} << 20;
// Most triangles a scan may have. A foot scanned at 0.1 mm has about a million; the bound
// keeps a lying count from asking for gigabytes.
constexpr std::size_t MAX_SCAN_TRIANGLES = 4000000;

enum class ScanFormat { None, BinaryStl, AsciiStl, Obj, BinaryPly, AsciiPly };

// The name of a scan format in traces and reports ("binary STL", ...).
const char* scanFormatName(ScanFormat format);

// The scan format these bytes carry by their signature, or None.
ScanFormat detectScanFormat(const std::uint8_t* data, std::size_t size);

// What is wrong with bytes that no signature names but that are meant as a binary STL: the
// name ends in ".stl" (any case) and the bytes are no ASCII STL, yet their size does not
// hold the triangles the count field states (a file cut short in a transfer, say). Empty
// when the bytes are not such a file.
std::string brokenBinaryStlReason(const std::uint8_t* data, std::size_t size, const char* name);

// A triangle mesh in the scan's own units and axes: x, y, z of each vertex, and three vertex
// indices per triangle, every index inside the vertex list.
struct ScanMesh {
    std::vector<float> vertices;
    std::vector<std::uint32_t> triangles;

    std::size_t vertexCount() const { return vertices.size() / 3; }
    std::size_t triangleCount() const { return triangles.size() / 3; }
};

// Reads a scan of the given format (as detectScanFormat named it) into `mesh`. Polygons are
// cut into fans of triangles; points and lines are left out. Returns false, with the reason
// and what to do, for a scan that is refused before or after the mesh library read it.
bool openScan(const std::uint8_t* data, std::size_t size, ScanFormat format, ScanMesh& mesh,
              std::string& reason);
