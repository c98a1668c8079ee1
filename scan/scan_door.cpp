#include "scan/scan_door.h"

#include <assimp/BaseImporter.h>
#include <assimp/IOSystem.hpp>
#include <assimp/Importer.hpp>
#include <assimp/scene.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

std::uint32_t u32le(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

bool fail(std::string& reason, std::string why)
{
    reason = std::move(why);
    return false;
}

// Whether the first bytes read as text: no NUL and no control characters but white space.
bool looksLikeText(const std::uint8_t* data, std::size_t size)
{
    const std::size_t n = std::min<std::size_t>(size, 4096);
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t c = data[i];
        if (c < 32 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\v') {
            return false;
        }
    }
    return true;
}

bool contains(const std::uint8_t* data, std::size_t size, const char* word)
{
    const std::size_t length = std::strlen(word);
    return std::search(data, data + size, word, word + length) != data + size;
}

// The lines of a text held in memory, without their line ends.
class Lines {
public:
    Lines(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool next(std::string& line)
    {
        if (at_ >= size_) {
            return false;
        }
        const std::uint8_t* start = data_ + at_;
        const std::uint8_t* end = std::find(start, data_ + size_, '\n');
        at_ = static_cast<std::size_t>(end - data_) + (end < data_ + size_ ? 1 : 0);
        const std::uint8_t* stop = end;
        if (stop > start && stop[-1] == '\r') {
            --stop;
        }
        line.assign(start, stop);
        ++number_;
        return true;
    }
    std::size_t offset() const { return at_; }
    std::size_t number() const { return number_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
    std::size_t number_ = 0;
};

std::vector<std::string> words(const std::string& line)
{
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) {
            ++i;
        }
        const std::size_t start = i;
        while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) {
            ++i;
        }
        if (i > start) {
            out.push_back(line.substr(start, i - start));
        }
    }
    return out;
}

bool startsWithWord(const std::string& line, const char* word)
{
    const std::size_t length = std::strlen(word);
    std::size_t i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) {
        ++i;
    }
    return line.compare(i, length, word) == 0 &&
           (i + length == line.size() || std::isspace(static_cast<unsigned char>(line[i + length])));
}

// A decimal number as the mesh library parses it (no "nan" or "inf", which it cannot read).
bool isNumber(const std::string& token)
{
    if (token.find_first_not_of("0123456789+-.eE") != std::string::npos) {
        return false;
    }
    char* end = nullptr;
    std::strtod(token.c_str(), &end);
    return !token.empty() && *end == '\0';
}

// ---------------------------------------------------------------------------------------------
// PLY: the header, and a walk over the elements that checks every count against the bytes
// that follow before the mesh library reads any of them.

struct PlyProperty {
    bool list = false;
    int countSize = 0;  // bytes of a list's count, binary only
    int size = 0;       // bytes of a scalar or of a list item
    bool countSigned = false;
};

struct PlyElement {
    std::string name;
    std::uint64_t count = 0;
    std::vector<PlyProperty> properties;
    bool hasX = false, hasY = false, hasZ = false, hasIndexList = false;
};

struct PlyHeader {
    bool ascii = false;
    bool bigEndian = false;
    std::size_t bodyStart = 0;
    std::vector<PlyElement> elements;
};

int plyTypeSize(const std::string& type)
{
    static const struct {
        const char* name;
        int size;
    } types[] = {{"char", 1},   {"uchar", 1},  {"int8", 1},    {"uint8", 1},   {"short", 2},
                 {"ushort", 2}, {"int16", 2},  {"uint16", 2},  {"int", 4},     {"uint", 4},
                 {"int32", 4},  {"uint32", 4}, {"float", 4},   {"float32", 4}, {"double", 8},
                 {"float64", 8}};
    for (const auto& t : types) {
        if (type == t.name) {
            return t.size;
        }
    }
    return 0;
}

bool plyFormatLine(const std::vector<std::string>& w, PlyHeader* header)
{
    if (w.size() != 3 || w[0] != "format" || w[2] != "1.0") {
        return false;
    }
    if (w[1] != "ascii" && w[1] != "binary_little_endian" && w[1] != "binary_big_endian") {
        return false;
    }
    if (header) {
        header->ascii = w[1] == "ascii";
        header->bigEndian = w[1] == "binary_big_endian";
    }
    return true;
}

// Reads the header up to "end_header". Returns false with the reason when it is not one.
bool readPlyHeader(const std::uint8_t* data, std::size_t size, PlyHeader& header, std::string& reason)
{
    // A header is a few hundred bytes; a bound keeps a missing end from scanning 64 MiB.
    Lines lines(data, std::min<std::size_t>(size, 65536));
    std::string line;
    bool formatSeen = false;
    lines.next(line);  // "ply"
    while (lines.next(line)) {
        const auto w = words(line);
        if (w.empty() || w[0] == "comment" || w[0] == "obj_info") {
            continue;
        }
        if (w[0] == "end_header") {
            if (!formatSeen) {
                return fail(reason, "its header has no format line");
            }
            header.bodyStart = lines.offset();
            return true;
        }
        if (w[0] == "format") {
            if (!plyFormatLine(w, &header)) {
                return fail(reason, "its format is none of ascii, binary_little_endian and "
                                    "binary_big_endian 1.0");
            }
            formatSeen = true;
        } else if (w[0] == "element") {
            if (w.size() != 3 || w[2].empty() || !std::all_of(w[2].begin(), w[2].end(), [](char c) { return c >= '0' && c <= '9'; }) ||
                w[2].size() > 12) {
                return fail(reason, "an element line of its header has no count");
            }
            PlyElement element;
            element.name = w[1];
            element.count = std::strtoull(w[2].c_str(), nullptr, 10);
            header.elements.push_back(element);
        } else if (w[0] == "property") {
            if (header.elements.empty()) {
                return fail(reason, "its header has a property before any element");
            }
            PlyElement& element = header.elements.back();
            PlyProperty property;
            std::string name;
            if (w.size() == 5 && w[1] == "list") {
                property.list = true;
                property.countSize = plyTypeSize(w[2]);
                property.countSigned = w[2] == "char" || w[2] == "int8" || w[2] == "short" ||
                                       w[2] == "int16" || w[2] == "int" || w[2] == "int32";
                property.size = plyTypeSize(w[3]);
                const bool wholeCount = property.countSize > 0 && w[2].find("float") == std::string::npos &&
                                        w[2] != "double";
                if (!wholeCount || property.size == 0) {
                    return fail(reason, "a list property of its header has an unknown type");
                }
                name = w[4];
                element.hasIndexList |= name == "vertex_indices" || name == "vertex_index";
            } else if (w.size() == 3) {
                property.size = plyTypeSize(w[1]);
                if (property.size == 0) {
                    return fail(reason, "a property of its header has an unknown type");
                }
                name = w[2];
                element.hasX |= name == "x";
                element.hasY |= name == "y";
                element.hasZ |= name == "z";
            } else {
                return fail(reason, "a property line of its header is malformed");
            }
            element.properties.push_back(property);
        } else {
            return fail(reason, "its header has a line that is no PLY keyword");
        }
    }
    return fail(reason, "its header has no end_header line within 64 KiB");
}

std::uint64_t readUnsigned(const std::uint8_t* p, int size, bool bigEndian, bool isSigned, bool& negative)
{
    std::uint64_t value = 0;
    for (int i = 0; i < size; ++i) {
        const int at = bigEndian ? i : size - 1 - i;
        value = value << 8 | p[at];
    }
    negative = isSigned && (value >> (size * 8 - 1)) != 0;
    return value;
}

// Walks a binary body: every element and list fits the file; counts the triangles of faces.
bool walkBinaryPly(const std::uint8_t* data, std::size_t size, const PlyHeader& header,
                   std::uint64_t& triangles, std::string& reason)
{
    std::size_t at = header.bodyStart;
    for (const PlyElement& element : header.elements) {
        bool anyList = false;
        std::uint64_t fixed = 0;
        for (const PlyProperty& p : element.properties) {
            anyList |= p.list;
            fixed += p.list ? 0 : static_cast<std::uint64_t>(p.size);
        }
        if (!anyList) {
            if (fixed == 0 && element.count > 0) {
                return fail(reason, "element " + element.name + " has a count but no properties");
            }
            if (element.count > (size - at) / std::max<std::uint64_t>(fixed, 1)) {
                return fail(reason, "the file is shorter than its header says (element " +
                                        element.name + ")");
            }
            at += static_cast<std::size_t>(element.count * fixed);
            continue;
        }
        if (element.count > MAX_SCAN_TRIANGLES) {
            return fail(reason, "element " + element.name + " has more entries than a scan may have");
        }
        for (std::uint64_t e = 0; e < element.count; ++e) {
            for (const PlyProperty& p : element.properties) {
                if (!p.list) {
                    if (size - at < static_cast<std::size_t>(p.size)) {
                        return fail(reason, "the file is shorter than its header says");
                    }
                    at += static_cast<std::size_t>(p.size);
                    continue;
                }
                if (size - at < static_cast<std::size_t>(p.countSize)) {
                    return fail(reason, "the file is shorter than its header says");
                }
                bool negative = false;
                const std::uint64_t n = readUnsigned(data + at, p.countSize, header.bigEndian,
                                                     p.countSigned, negative);
                at += static_cast<std::size_t>(p.countSize);
                if (negative || n > (size - at) / static_cast<std::size_t>(p.size)) {
                    return fail(reason, "the file is shorter than its header says (a list of "
                                        "element " + element.name + ")");
                }
                at += static_cast<std::size_t>(n) * static_cast<std::size_t>(p.size);
                if (element.hasIndexList && n >= 3) {
                    triangles += n - 2;
                }
            }
            if (triangles > MAX_SCAN_TRIANGLES) {
                return fail(reason, "it has more than the 4,000,000 triangles a scan may have");
            }
        }
    }
    return true;
}

// Walks an ASCII body: one line per element, holding exactly the values its header names.
bool walkAsciiPly(const std::uint8_t* data, std::size_t size, const PlyHeader& header,
                  std::uint64_t& triangles, std::string& reason)
{
    Lines lines(data + header.bodyStart, size - header.bodyStart);
    std::string line;
    for (const PlyElement& element : header.elements) {
        // Every entry takes at least two bytes ("0" and a line end).
        if (element.count > (size - header.bodyStart) / 2 + 1) {
            return fail(reason, "the file is shorter than its header says (element " +
                                    element.name + ")");
        }
        for (std::uint64_t e = 0; e < element.count; ++e) {
            do {
                if (!lines.next(line)) {
                    return fail(reason, "the file ends before element " + element.name + " does");
                }
            } while (words(line).empty());
            const auto values = words(line);
            std::size_t at = 0;
            for (const PlyProperty& p : element.properties) {
                if (at >= values.size()) {
                    return fail(reason, "a line of element " + element.name +
                                            " has fewer values than its header names");
                }
                if (!p.list) {
                    if (!isNumber(values[at++])) {
                        return fail(reason, "a value of element " + element.name + " is no number");
                    }
                    continue;
                }
                for (std::size_t v = at; v < values.size(); ++v) {
                    if (!isNumber(values[v])) {
                        return fail(reason, "a value of element " + element.name + " is no number");
                    }
                }
                char* end = nullptr;
                const long long n = std::strtoll(values[at].c_str(), &end, 10);
                if (*end != '\0' || n < 0 || static_cast<unsigned long long>(n) > values.size() - at - 1) {
                    return fail(reason, "a list of element " + element.name +
                                            " does not match its count");
                }
                at += 1 + static_cast<std::size_t>(n);
                if (element.hasIndexList && n >= 3) {
                    triangles += static_cast<std::uint64_t>(n) - 2;
                }
            }
            if (at != values.size()) {
                return fail(reason, "a line of element " + element.name +
                                        " has more values than its header names");
            }
            if (triangles > MAX_SCAN_TRIANGLES) {
                return fail(reason, "it has more than the 4,000,000 triangles a scan may have");
            }
        }
    }
    return true;
}

bool checkPly(const std::uint8_t* data, std::size_t size, std::string& reason)
{
    PlyHeader header;
    if (!readPlyHeader(data, size, header, reason)) {
        return false;
    }
    const PlyElement* vertex = nullptr;
    const PlyElement* face = nullptr;
    for (const PlyElement& element : header.elements) {
        if (element.name == "vertex") {
            vertex = &element;
        } else if (element.name == "face") {
            face = &element;
        }
    }
    if (!vertex || !vertex->hasX || !vertex->hasY || !vertex->hasZ) {
        return fail(reason, "it has no vertex element with x, y and z");
    }
    if (!face || !face->hasIndexList || face->count == 0) {
        return fail(reason, "it holds no faces, only points; mesh the scan before loading it");
    }
    if (vertex->count > 3 * MAX_SCAN_TRIANGLES || face->count > MAX_SCAN_TRIANGLES) {
        return fail(reason, "it has more than the 4,000,000 triangles a scan may have");
    }
    std::uint64_t triangles = 0;
    const bool walked = header.ascii ? walkAsciiPly(data, size, header, triangles, reason)
                                     : walkBinaryPly(data, size, header, triangles, reason);
    if (walked && triangles == 0) {
        return fail(reason, "its faces have fewer than three corners each: it holds no triangles");
    }
    return walked;
}

// ---------------------------------------------------------------------------------------------
// OBJ: every face's corners refer to vertices that exist; the triangle count is bounded.

// The vertex index of one face corner ("7", "7/2", "7//3", "-1/4/2"); false when malformed.
bool cornerIndex(const std::string& corner, long long& index)
{
    const std::size_t slash = corner.find('/');
    const std::string first = corner.substr(0, slash);
    if (first.empty() || first.size() > 12) {
        return false;
    }
    char* end = nullptr;
    index = std::strtoll(first.c_str(), &end, 10);
    return *end == '\0' && index != 0;
}

bool checkObj(const std::uint8_t* data, std::size_t size, std::string& reason)
{
    std::uint64_t vertices = 0;
    {
        Lines lines(data, size);
        std::string line;
        while (lines.next(line)) {
            vertices += startsWithWord(line, "v");
        }
    }
    std::uint64_t seen = 0;
    std::uint64_t triangles = 0;
    Lines lines(data, size);
    std::string line;
    while (lines.next(line)) {
        if (startsWithWord(line, "v")) {
            // x, y and z, perhaps a weight or a colour after them: the mesh library loses
            // memory when it gives up on a vertex line that is anything less.
            const auto values = words(line);
            bool numbers = values.size() >= 4 && values.size() <= 8;
            for (std::size_t i = 1; numbers && i < values.size(); ++i) {
                numbers = isNumber(values[i]);
            }
            if (!numbers) {
                char why[160];
                std::snprintf(why, sizeof why,
                              "the vertex on line %zu is not three numbers x, y and z",
                              lines.number());
                return fail(reason, why);
            }
            ++seen;
            continue;
        }
        if (!startsWithWord(line, "f")) {
            continue;
        }
        const auto corners = words(line);
        for (std::size_t i = 1; i < corners.size(); ++i) {
            long long index = 0;
            const bool valid = cornerIndex(corners[i], index);
            // Negative indices count back from the last vertex read so far.
            if (!valid || (index > 0 && static_cast<std::uint64_t>(index) > vertices) ||
                (index < 0 && static_cast<std::uint64_t>(-index) > seen)) {
                char why[160];
                std::snprintf(why, sizeof why,
                              "the face on line %zu refers to a vertex that does not exist",
                              lines.number());
                return fail(reason, why);
            }
        }
        if (corners.size() >= 4) {
            triangles += corners.size() - 3;
        }
        if (triangles > MAX_SCAN_TRIANGLES) {
            return fail(reason, "it has more than the 4,000,000 triangles a scan may have");
        }
    }
    if (triangles == 0) {
        return fail(reason, "it holds no face of three or more corners: no triangles");
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// ASCII STL: every facet as the format spells it, so that the mesh library, which loses
// memory when it gives up half-way through a malformed facet, only ever reads whole ones.

class Tokens {
public:
    Tokens(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool next(std::string& token)
    {
        while (at_ < size_ && std::isspace(data_[at_])) {
            ++at_;
        }
        const std::size_t start = at_;
        while (at_ < size_ && !std::isspace(data_[at_])) {
            ++at_;
        }
        token.assign(data_ + start, data_ + at_);
        return at_ > start;
    }
    void skipLine()
    {
        while (at_ < size_ && data_[at_] != '\n') {
            ++at_;
        }
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

bool checkAsciiStl(const std::uint8_t* data, std::size_t size, std::string& reason)
{
    Tokens tokens(data, size);
    std::string t;
    std::uint64_t triangles = 0;
    const auto expect = [&](const char* word) { return tokens.next(t) && t == word; };
    const auto numbers = [&](int n) {
        for (int i = 0; i < n; ++i) {
            if (!tokens.next(t) || !isNumber(t)) {
                return false;
            }
        }
        return true;
    };
    bool inSolid = false;
    while (tokens.next(t)) {
        if (!inSolid) {
            if (t != "solid") {
                return fail(reason, "text follows its last solid");
            }
            tokens.skipLine();  // the solid's name
            inSolid = true;
            continue;
        }
        if (t == "endsolid") {
            tokens.skipLine();
            inSolid = false;
            continue;
        }
        if (t != "facet" || !expect("normal") || !numbers(3) || !expect("outer") || !expect("loop")) {
            return fail(reason, "a facet is not \"facet normal x y z\" and \"outer loop\"");
        }
        for (int k = 0; k < 3; ++k) {
            if (!expect("vertex") || !numbers(3)) {
                return fail(reason, "a facet has no three vertices of three numbers each");
            }
        }
        if (!expect("endloop") || !expect("endfacet")) {
            return fail(reason, "a facet does not end with \"endloop\" and \"endfacet\"");
        }
        if (++triangles > MAX_SCAN_TRIANGLES) {
            return fail(reason, "it has more than the 4,000,000 triangles a scan may have");
        }
    }
    if (inSolid) {
        return fail(reason, "it ends without \"endsolid\"; the file is cut short");
    }
    if (triangles == 0) {
        return fail(reason, "it holds no triangles");
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// The mesh library behind the door.

// A file system that has no files: the library reads the scan from memory and nothing else,
// whatever the scan names (an OBJ's material library, a texture).
class NoFiles : public Assimp::IOSystem {
public:
    bool Exists(const char*) const override { return false; }
    char getOsSeparator() const override { return '/'; }
    Assimp::IOStream* Open(const char*, const char*) override { return nullptr; }
    void Close(Assimp::IOStream* stream) override { delete stream; }
};

const char* extensionOf(ScanFormat format)
{
    switch (format) {
    case ScanFormat::BinaryStl:
    case ScanFormat::AsciiStl:
        return "stl";
    case ScanFormat::Obj:
        return "obj";
    case ScanFormat::BinaryPly:
    case ScanFormat::AsciiPly:
        return "ply";
    case ScanFormat::None:
        break;
    }
    return "";
}

// Takes the triangles out of the library's scene, checking what it delivered.
bool collectTriangles(const aiScene* scene, ScanMesh& mesh, std::string& reason)
{
    mesh.vertices.clear();
    mesh.triangles.clear();
    for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
        const aiMesh* part = scene->mMeshes ? scene->mMeshes[m] : nullptr;
        if (!part || !part->mVertices || part->mNumVertices == 0 || !part->mFaces) {
            continue;
        }
        const std::size_t base = mesh.vertexCount();
        if (base + part->mNumVertices > std::numeric_limits<std::uint32_t>::max()) {
            return fail(reason, "it has more vertices than a scan may have");
        }
        for (unsigned v = 0; v < part->mNumVertices; ++v) {
            const aiVector3D& p = part->mVertices[v];
            if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
                return fail(reason, "its coordinates include NaN or infinity; export the scan again");
            }
            mesh.vertices.insert(mesh.vertices.end(), {p.x, p.y, p.z});
        }
        for (unsigned f = 0; f < part->mNumFaces; ++f) {
            const aiFace& face = part->mFaces[f];
            if (face.mNumIndices < 3) {
                continue;  // a point or a line has no area
            }
            if (!face.mIndices) {
                return fail(reason, "a face has no corners");
            }
            for (unsigned i = 0; i < face.mNumIndices; ++i) {
                if (face.mIndices[i] >= part->mNumVertices) {
                    return fail(reason, "a face refers to a vertex that does not exist");
                }
            }
            // A fan from the first corner: the polygons of a scan are small and convex.
            for (unsigned i = 1; i + 1 < face.mNumIndices; ++i) {
                mesh.triangles.insert(mesh.triangles.end(),
                                      {static_cast<std::uint32_t>(base + face.mIndices[0]),
                                       static_cast<std::uint32_t>(base + face.mIndices[i]),
                                       static_cast<std::uint32_t>(base + face.mIndices[i + 1])});
            }
            if (mesh.triangleCount() > MAX_SCAN_TRIANGLES) {
                return fail(reason, "it has more than the 4,000,000 triangles a scan may have");
            }
        }
    }
    if (mesh.triangles.empty()) {
        return fail(reason, "it holds no triangles");
    }
    return true;
}

}  // namespace

const char* scanFormatName(ScanFormat format)
{
    switch (format) {
    case ScanFormat::BinaryStl:
        return "binary STL";
    case ScanFormat::AsciiStl:
        return "ASCII STL";
    case ScanFormat::Obj:
        return "OBJ";
    case ScanFormat::BinaryPly:
        return "binary PLY";
    case ScanFormat::AsciiPly:
        return "ASCII PLY";
    case ScanFormat::None:
        break;
    }
    return "no scan format";
}

std::string brokenBinaryStlReason(const std::uint8_t* data, std::size_t size, const char* name)
{
    const std::size_t length = name ? std::strlen(name) : 0;
    const bool stlName = length >= 4 && (name[length - 4] == '.') &&
                         std::tolower(static_cast<unsigned char>(name[length - 3])) == 's' &&
                         std::tolower(static_cast<unsigned char>(name[length - 2])) == 't' &&
                         std::tolower(static_cast<unsigned char>(name[length - 1])) == 'l';
    if (!data || !stlName || detectScanFormat(data, size) != ScanFormat::None ||
        looksLikeText(data, size)) {
        return {};
    }
    char text[160];
    if (size < 84) {
        std::snprintf(text, sizeof text,
                      "a binary STL of %zu bytes is shorter than the 84 bytes of its header", size);
    } else {
        std::snprintf(text, sizeof text, "a binary STL of %zu bytes cannot hold its stated %u triangles",
                      size, static_cast<unsigned>(u32le(data + 80)));
    }
    return text;
}

ScanFormat detectScanFormat(const std::uint8_t* data, std::size_t size)
{
    if (!data || size < 4 || size > MAX_SCAN_FILE_BYTES) {
        return ScanFormat::None;
    }
    // PLY: "ply" alone on the first line, then a known format line among the header's first.
    if (std::memcmp(data, "ply", 3) == 0 && (data[3] == '\n' || data[3] == '\r')) {
        Lines lines(data, std::min<std::size_t>(size, 4096));
        std::string line;
        lines.next(line);
        for (int i = 0; i < 16 && lines.next(line); ++i) {
            PlyHeader header;
            if (plyFormatLine(words(line), &header)) {
                return header.ascii ? ScanFormat::AsciiPly : ScanFormat::BinaryPly;
            }
        }
        return ScanFormat::None;
    }
    std::size_t start = 0;
    while (start < size && std::isspace(data[start])) {
        ++start;
    }
    const bool solid = size - start >= 5 && std::memcmp(data + start, "solid", 5) == 0 &&
                       (size - start == 5 || std::isspace(data[start + 5]));
    const bool asciiStl = solid && looksLikeText(data, size) &&
                          (contains(data, size, "facet") || contains(data, size, "endsolid"));
    // Binary STL: an 80-byte header, a triangle count, and exactly 50 bytes per triangle.
    // Its header may well begin with "solid" too; text all through decides for ASCII.
    if (size >= 84 && size == 84 + std::uint64_t{50} * u32le(data + 80) && !asciiStl) {
        return ScanFormat::BinaryStl;
    }
    if (asciiStl) {
        return ScanFormat::AsciiStl;
    }
    // OBJ: text with at least one vertex line and one face line.
    if (looksLikeText(data, size) && std::find(data, data + size, 0) == data + size) {
        bool vertex = false;
        bool face = false;
        Lines lines(data, size);
        std::string line;
        while ((!vertex || !face) && lines.next(line)) {
            vertex |= startsWithWord(line, "v");
            face |= startsWithWord(line, "f");
        }
        if (vertex && face) {
            return ScanFormat::Obj;
        }
    }
    return ScanFormat::None;
}

bool openScan(const std::uint8_t* data, std::size_t size, ScanFormat format, ScanMesh& mesh,
              std::string& reason)
{
    mesh = ScanMesh{};
    if (size > MAX_SCAN_FILE_BYTES) {
        return fail(reason, "the file is larger than the 64 MiB a scan may have");
    }
    bool checked = false;
    switch (format) {
    case ScanFormat::BinaryStl: {
        const std::uint32_t count = u32le(data + 80);
        if (count == 0) {
            return fail(reason, "it holds no triangles");
        }
        checked = count <= MAX_SCAN_TRIANGLES ||
                  fail(reason, "it has more than the 4,000,000 triangles a scan may have");
        break;
    }
    case ScanFormat::AsciiStl:
        checked = checkAsciiStl(data, size, reason);
        break;
    case ScanFormat::Obj:
        checked = checkObj(data, size, reason);
        break;
    case ScanFormat::BinaryPly:
    case ScanFormat::AsciiPly:
        checked = checkPly(data, size, reason);
        break;
    case ScanFormat::None:
        return fail(reason, "it is not a scan format the program reads");
    }
    if (!checked) {
        return false;
    }

    Assimp::Importer importer;
    importer.SetIOHandler(new NoFiles);
    // Only the reader of the format the signature named may run: no other reader's guess
    // at these bytes is trusted.
    const char* extension = extensionOf(format);
    Assimp::BaseImporter* wanted = importer.GetImporter(extension);
    if (!wanted) {
        return fail(reason, std::string("the mesh library has no reader for ") + scanFormatName(format));
    }
    for (std::size_t i = importer.GetImporterCount(); i-- > 0;) {
        Assimp::BaseImporter* other = importer.GetImporter(i);
        if (other != wanted && importer.UnregisterLoader(other) == aiReturn_SUCCESS) {
            delete other;
        }
    }
    // No post-processing: each polygon is cut into a fan here, in time linear in its corners,
    // where the library's triangulation takes quadratic time on one huge polygon.
    const aiScene* scene = importer.ReadFileFromMemory(data, size, 0, extension);
    if (!scene) {
        // The library's message may quote the rest of the file: its start says enough.
        std::string why = importer.GetErrorString();
        if (why.size() > 160) {
            why = why.substr(0, 160) + "...";
        }
        return fail(reason, "the mesh library could not read it" + (why.empty() ? "" : ": " + why));
    }
    return collectTriangles(scene, mesh, reason);
}
