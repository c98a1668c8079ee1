#include "solid/solid_files.h"

#include "base/file_replace.h"
#include "base/trace.h"
#include "imagefile/file_names.h"
#include "imagefile/loaded_foot.h"
#include "solid/model_file.h"


#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace {

// The header's text. Readers that guess the kind of an STL file from its first bytes take a
// file beginning with "solid" for ASCII; this one never does.
constexpr char STL_HEADER[] = "Tarsola insole, binary STL, millimetres";
constexpr std::size_t STL_HEADER_SIZE = 80;
constexpr std::size_t STL_RECORD_SIZE = 50;

std::uint8_t* putUint32(std::uint8_t* out, std::uint32_t value)
{
    out[0] = static_cast<std::uint8_t>(value);
    out[1] = static_cast<std::uint8_t>(value >> 8);
    out[2] = static_cast<std::uint8_t>(value >> 16);
    out[3] = static_cast<std::uint8_t>(value >> 24);
    return out + 4;
}

// A float as the four little-endian bytes of its IEEE 754 form, whatever the host's order.
std::uint8_t* putFloat(std::uint8_t* out, float value)
{
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return putUint32(out, bits);
}

std::uint8_t* putVertex(std::uint8_t* out, const SolidVertex& v)
{
    out = putFloat(out, v.x);
    out = putFloat(out, v.y);
    return putFloat(out, v.z);
}

// Numbers in the 3MF record: as many digits as a setting has, none more ("0.2", "121.5").
std::string decimal(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

// Text that XML takes as it is: lib3mf 1.8 writes metadata values unescaped, so '&', '<'
// and '>' are escaped here; bytes that are not UTF-8, and control characters, which XML
// forbids, become U+FFFD. A foot file's name may hold any of them.
std::string xmlText(const std::string& text)
{
    static const char replacement[] = "\xEF\xBF\xBD";
    std::string out;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    for (std::size_t i = 0; i < size;) {
        const unsigned char c = bytes[i];
        if (c < 0x80) {
            if (c == '&') {
                out += "&amp;";
            } else if (c == '<') {
                out += "&lt;";
            } else if (c == '>') {
                out += "&gt;";
            } else if (c < 0x20 && c != '\t') {
                out += replacement;
            } else {
                out += static_cast<char>(c);
            }
            ++i;
            continue;
        }
        // The length of a well-formed sequence starting here, or 0.
        std::size_t length = 0;
        std::uint32_t code = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
            code = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            code = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            code = c & 0x07;
        }
        bool valid = length > 0 && i + length <= size;
        for (std::size_t k = 1; valid && k < length; ++k) {
            valid = (bytes[i + k] & 0xC0) == 0x80;
            code = (code << 6) | (bytes[i + k] & 0x3F);
        }
        // No overlong forms, surrogates or code points beyond U+10FFFF.
        valid = valid && !(length == 3 && code < 0x800) && !(code >= 0xD800 && code <= 0xDFFF) &&
                !(length == 4 && (code < 0x10000 || code > 0x10FFFF));
        if (valid) {
            out.append(text, i, length);
            i += length;
        } else {
            out += replacement;
            ++i;
        }
    }
    return out;
}

// What a workshop needs to make the insole again, in one line a person can read.
std::string description(const SolidRecord& record)
{
    const InsoleSettings& s = record.settings;
    return "Tarsola insole of foot file " + record.footFile + "; width " + decimal(s.width) +
           " mm; length " + decimal(s.length) + " mm; height ratio " + decimal(s.heightRatio) +
           "; 30-degree limit " + (s.limit ? "on" : "off") + "; level " + decimal(record.levelMm) +
           " mm; " + (record.relief.empty() ? "" : record.relief + "; ") +
           (record.elements.empty() ? "" : record.elements + "; ") + "Tarsola " TARSOLA_VERSION;
}

// 64-bit FNV-1a, to give the 3MF file's identifiers from its content.
std::uint64_t fnv1a(std::uint64_t hash, const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    for (std::size_t i = 0; i < size; ++i) {
        hash = (hash ^ bytes[i]) * 0x100000001B3ull;
    }
    return hash;
}

// Two 64-bit digests of the mesh and the record, from which the file's identifiers are made.
struct ContentDigest {
    std::uint64_t high;
    std::uint64_t low;
};

ContentDigest contentDigest(const SolidMesh& mesh, const std::string& record)
{
    ContentDigest digest{0xCBF29CE484222325ull, 0x84222325CBF29CE4ull};
    for (std::uint64_t* h : {&digest.high, &digest.low}) {
        *h = fnv1a(*h, record.data(), record.size());
        *h = fnv1a(*h, mesh.vertices.data(), mesh.vertices.size() * sizeof(SolidVertex));
        *h = fnv1a(*h, mesh.triangles.data(), mesh.triangles.size() * sizeof(SolidTriangle));
    }
    return digest;
}

// A UUID (RFC 9562 version 8, made by the application) for one part of the file, from the
// content: lib3mf would draw random ones, and the same insole would give other file bytes.
std::string contentUuid(const ContentDigest& digest, int part)
{
    std::uint64_t high = fnv1a(digest.high, &part, sizeof part);
    std::uint64_t low = fnv1a(digest.low, &part, sizeof part);
    high = (high & ~0xF000ull) | 0x8000ull;                          // version 8
    low = (low & 0x3FFFFFFFFFFFFFFFull) | 0x8000000000000000ull;     // RFC 9562 variant
    char text[40];
    std::snprintf(text, sizeof text, "%08llx-%04llx-%04llx-%04llx-%012llx",
                  static_cast<unsigned long long>(high >> 32),
                  static_cast<unsigned long long>((high >> 16) & 0xFFFF),
                  static_cast<unsigned long long>(high & 0xFFFF),
                  static_cast<unsigned long long>(low >> 48),
                  static_cast<unsigned long long>(low & 0xFFFFFFFFFFFFull));
    return text;
}

bool replaceSolidFile(const char* path, const std::vector<std::uint8_t>& bytes)
{
    std::string failure;
    if (!replaceFile(path, bytes.data(), bytes.size(), failure)) {
        traceSolidSaveFailed(path ? path : "", failure.c_str());
        return false;
    }
    return true;
}

}  // namespace

std::vector<std::uint8_t> encodeStl(const SolidMesh& mesh)
{
    const std::size_t count = mesh.triangles.size();
    std::vector<std::uint8_t> bytes(STL_HEADER_SIZE + 4 + STL_RECORD_SIZE * count, 0);
    std::memcpy(bytes.data(), STL_HEADER, sizeof STL_HEADER - 1);
    std::uint8_t* out = putUint32(bytes.data() + STL_HEADER_SIZE, static_cast<std::uint32_t>(count));
    for (const SolidTriangle& t : mesh.triangles) {
        const SolidVertex& a = mesh.vertices[t[0]];
        const SolidVertex& b = mesh.vertices[t[1]];
        const SolidVertex& c = mesh.vertices[t[2]];
        // The unit normal of the stored (float) corners, counter-clockwise seen from outside.
        const double ux = static_cast<double>(b.x) - a.x, uy = static_cast<double>(b.y) - a.y,
                     uz = static_cast<double>(b.z) - a.z;
        const double vx = static_cast<double>(c.x) - a.x, vy = static_cast<double>(c.y) - a.y,
                     vz = static_cast<double>(c.z) - a.z;
        double nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
        const double length = std::sqrt(nx * nx + ny * ny + nz * nz);
        if (length > 0.0) {
            nx /= length;
            ny /= length;
            nz /= length;
        }
        out = putFloat(out, static_cast<float>(nx));
        out = putFloat(out, static_cast<float>(ny));
        out = putFloat(out, static_cast<float>(nz));
        out = putVertex(out, a);
        out = putVertex(out, b);
        out = putVertex(out, c);
        out += 2;  // attribute byte count: 0
    }
    return bytes;
}

bool encode3mf(const SolidMesh& mesh, const SolidRecord& record, std::vector<std::uint8_t>& bytes,
               std::string& failure)
{
    const std::string text = description(record);
    const ContentDigest digest = contentDigest(mesh, text);
    ModelFile file;
    file.objectUuid = contentUuid(digest, 1);
    file.itemUuid = contentUuid(digest, 2);
    file.buildUuid = contentUuid(digest, 3);
    // Only the well-known metadata names of the 3MF core: lib3mf's reader drops any other, and
    // a strict reader refuses a name without a namespace that is not one of them.
    const std::string title = record.footFile.empty() ? "Insole" : "Insole of " + record.footFile;
    file.metadata = {{"Title", xmlText(title)},
                     {"Application", "Tarsola " TARSOLA_VERSION},
                     {"Description", xmlText(text)}};
    file.parts = &record.parts;
    return encodeModelFile(mesh, file, bytes, failure);
}

bool writeStlFile(const SolidMesh& mesh, const char* path)
{
    if (mesh.empty()) {
        traceNoSolidToSave();
        return false;
    }
    return replaceSolidFile(path, encodeStl(mesh));
}

bool write3mfFile(const SolidMesh& mesh, const SolidRecord& record, const char* path)
{
    if (mesh.empty()) {
        traceNoSolidToSave();
        return false;
    }
    std::vector<std::uint8_t> bytes;
    std::string failure;
    if (!encode3mf(mesh, record, bytes, failure)) {
        traceSolidSaveFailed(path ? path : "", failure.c_str());
        return false;
    }
    return replaceSolidFile(path, bytes);
}

bool saveSolid(const SolidMesh& mesh, const SolidRecord& record, const char* chosenUtf8Name)
{
    const unsigned long problemsBefore = problemLinesWritten();
    if (mesh.empty()) {
        traceNoSolidToSave();
        return false;
    }
    if (!chosenUtf8Name || !*chosenUtf8Name) {
        traceSolidSaveFailed("", "no file name was chosen");
        return false;
    }
    char name[PATH_BUFFER_SIZE];
    if (!copyChosenName(chosenUtf8Name, name)) {
        return false;
    }
    utf8ToAnsi(name);
    const bool written = endsWithExtension(name, ".3mf")
                             ? write3mfFile(mesh, record, name)
                             : ensureExtension(name, ".stl") && writeStlFile(mesh, name);
    if (written && problemLinesWritten() == problemsBefore) {
        traceSuccess("Saved " + fileNameOf(name));
    }
    return written;
}
