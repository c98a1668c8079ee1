#include "support/scan_files.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>

namespace {

void append(std::vector<std::uint8_t>& out, const std::string& text)
{
    out.insert(out.end(), text.begin(), text.end());
}

template <typename T>
void appendRaw(std::vector<std::uint8_t>& out, T value)
{
    std::uint8_t bytes[sizeof value];
    std::memcpy(bytes, &value, sizeof value);
    out.insert(out.end(), bytes, bytes + sizeof value);
}

std::string number(double v)
{
    char text[48];
    std::snprintf(text, sizeof text, "%.9g", v);
    return text;
}

const float* corner(const ScanMesh& mesh, std::size_t triangle, int k)
{
    return &mesh.vertices[mesh.triangles[triangle * 3 + static_cast<std::size_t>(k)] * 3];
}

// The upward unit normal of a triangle, as exporters write it.
void normalOf(const ScanMesh& mesh, std::size_t t, float n[3])
{
    const float* a = corner(mesh, t, 0);
    const float* b = corner(mesh, t, 1);
    const float* c = corner(mesh, t, 2);
    const double u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    const double v[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
    const double x = u[1] * v[2] - u[2] * v[1], y = u[2] * v[0] - u[0] * v[2], z = u[0] * v[1] - u[1] * v[0];
    const double length = std::sqrt(x * x + y * y + z * z);
    n[0] = length > 0 ? static_cast<float>(x / length) : 0;
    n[1] = length > 0 ? static_cast<float>(y / length) : 0;
    n[2] = length > 0 ? static_cast<float>(z / length) : 1;
}

std::string plyHeader(const ScanMesh& mesh, const char* format)
{
    return std::string("ply\nformat ") + format + " 1.0\ncomment a sole surface\nelement vertex " +
           std::to_string(mesh.vertexCount()) +
           "\nproperty float x\nproperty float y\nproperty float z\nelement face " +
           std::to_string(mesh.triangleCount()) + "\nproperty list uchar int vertex_indices\nend_header\n";
}

}  // namespace

ScanMesh latticeSurface(double minX, double maxX, double minY, double maxY, double spacing,
                        const std::function<bool(double, double)>& inside,
                        const std::function<double(double, double)>& height)
{
    ScanMesh mesh;
    const int columns = static_cast<int>(std::lround((maxX - minX) / spacing)) + 1;
    const int rows = static_cast<int>(std::lround((maxY - minY) / spacing)) + 1;
    std::map<std::pair<int, int>, std::uint32_t> index;
    const auto vertex = [&](int i, int j) {
        const auto key = std::make_pair(i, j);
        const auto found = index.find(key);
        if (found != index.end()) {
            return found->second;
        }
        const double x = minX + i * spacing, y = minY + j * spacing;
        const auto n = static_cast<std::uint32_t>(mesh.vertexCount());
        mesh.vertices.insert(mesh.vertices.end(),
                             {static_cast<float>(x), static_cast<float>(y), static_cast<float>(height(x, y))});
        index[key] = n;
        return n;
    };
    for (int j = 0; j + 1 < rows; ++j) {
        for (int i = 0; i + 1 < columns; ++i) {
            const double x = minX + i * spacing, y = minY + j * spacing;
            if (!inside(x, y) || !inside(x + spacing, y) || !inside(x, y + spacing) ||
                !inside(x + spacing, y + spacing)) {
                continue;
            }
            const std::uint32_t a = vertex(i, j), b = vertex(i + 1, j), c = vertex(i + 1, j + 1),
                                d = vertex(i, j + 1);
            mesh.triangles.insert(mesh.triangles.end(), {a, b, c, a, c, d});
        }
    }
    return mesh;
}

void transformMesh(ScanMesh& mesh, const std::function<void(double&, double&, double&)>& f)
{
    for (std::size_t v = 0; v < mesh.vertices.size(); v += 3) {
        double x = mesh.vertices[v], y = mesh.vertices[v + 1], z = mesh.vertices[v + 2];
        f(x, y, z);
        mesh.vertices[v] = static_cast<float>(x);
        mesh.vertices[v + 1] = static_cast<float>(y);
        mesh.vertices[v + 2] = static_cast<float>(z);
    }
}

std::vector<std::uint8_t> binaryStl(const ScanMesh& mesh)
{
    std::vector<std::uint8_t> out(80, ' ');
    std::memcpy(out.data(), "binary sole surface", 19);
    appendRaw(out, static_cast<std::uint32_t>(mesh.triangleCount()));
    for (std::size_t t = 0; t < mesh.triangleCount(); ++t) {
        float n[3];
        normalOf(mesh, t, n);
        for (float v : n) {
            appendRaw(out, v);
        }
        for (int k = 0; k < 3; ++k) {
            for (int c = 0; c < 3; ++c) {
                appendRaw(out, corner(mesh, t, k)[c]);
            }
        }
        appendRaw(out, std::uint16_t{0});
    }
    return out;
}

std::vector<std::uint8_t> asciiStl(const ScanMesh& mesh)
{
    std::vector<std::uint8_t> out;
    append(out, "solid sole\n");
    for (std::size_t t = 0; t < mesh.triangleCount(); ++t) {
        float n[3];
        normalOf(mesh, t, n);
        append(out, "  facet normal " + number(n[0]) + " " + number(n[1]) + " " + number(n[2]) +
                        "\n    outer loop\n");
        for (int k = 0; k < 3; ++k) {
            const float* p = corner(mesh, t, k);
            append(out, "      vertex " + number(p[0]) + " " + number(p[1]) + " " + number(p[2]) + "\n");
        }
        append(out, "    endloop\n  endfacet\n");
    }
    append(out, "endsolid sole\n");
    return out;
}

std::vector<std::uint8_t> objFile(const ScanMesh& mesh)
{
    std::vector<std::uint8_t> out;
    append(out, "# sole surface\nmtllib sole.mtl\no sole\n");
    for (std::size_t v = 0; v < mesh.vertices.size(); v += 3) {
        append(out, "v " + number(mesh.vertices[v]) + " " + number(mesh.vertices[v + 1]) + " " +
                        number(mesh.vertices[v + 2]) + "\n");
    }
    for (std::size_t t = 0; t < mesh.triangles.size(); t += 3) {
        append(out, "f " + std::to_string(mesh.triangles[t] + 1) + " " +
                        std::to_string(mesh.triangles[t + 1] + 1) + " " +
                        std::to_string(mesh.triangles[t + 2] + 1) + "\n");
    }
    return out;
}

std::vector<std::uint8_t> asciiPly(const ScanMesh& mesh)
{
    std::vector<std::uint8_t> out;
    append(out, plyHeader(mesh, "ascii"));
    for (std::size_t v = 0; v < mesh.vertices.size(); v += 3) {
        append(out, number(mesh.vertices[v]) + " " + number(mesh.vertices[v + 1]) + " " +
                        number(mesh.vertices[v + 2]) + "\n");
    }
    for (std::size_t t = 0; t < mesh.triangles.size(); t += 3) {
        append(out, "3 " + std::to_string(mesh.triangles[t]) + " " + std::to_string(mesh.triangles[t + 1]) +
                        " " + std::to_string(mesh.triangles[t + 2]) + "\n");
    }
    return out;
}

std::vector<std::uint8_t> binaryPly(const ScanMesh& mesh)
{
    std::vector<std::uint8_t> out;
    append(out, plyHeader(mesh, "binary_little_endian"));
    for (float v : mesh.vertices) {
        appendRaw(out, v);
    }
    for (std::size_t t = 0; t < mesh.triangles.size(); t += 3) {
        out.push_back(3);
        for (int k = 0; k < 3; ++k) {
            appendRaw(out, static_cast<std::int32_t>(mesh.triangles[t + static_cast<std::size_t>(k)]));
        }
    }
    return out;
}
