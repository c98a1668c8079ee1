#include "solid/package_parts.h"

#include "solid/zip_directory.h"

#include <algorithm>

namespace {

// A package that anyone may hand over is read within these bounds.
constexpr ZipBounds PACKAGE_BOUNDS{MAX_PACKAGE_PART_BYTES, MAX_PACKAGE_BYTES};

}  // namespace

bool looksLikeZip(const std::uint8_t* data, std::size_t size)
{
    return data && size >= 4 && zipGet32(data) == ZIP_LOCAL_SIGNATURE;
}

bool listPackageParts(const std::uint8_t* data, std::size_t size, std::vector<std::string>& names,
                      std::string& why)
{
    ZipDirectory directory;
    if (!readZipDirectory(data, size, PACKAGE_BOUNDS, directory, why)) {
        return false;
    }
    names.clear();
    for (const ZipEntry& entry : directory.entries) {
        names.push_back(entry.name);
    }
    return true;
}

bool readPackagePart(const std::uint8_t* data, std::size_t size, const std::string& name,
                     std::vector<std::uint8_t>& bytes, std::string& why)
{
    ZipDirectory directory;
    if (!readZipDirectory(data, size, PACKAGE_BOUNDS, directory, why)) {
        return false;
    }
    const auto entry = std::find_if(directory.entries.begin(), directory.entries.end(),
                                    [&name](const ZipEntry& e) { return e.name == name; });
    if (entry == directory.entries.end()) {
        why = "it has no part " + name;
        return false;
    }
    return unpackZipEntry(data, size, *entry, bytes, why);
}
