// Parts of a 3MF package beside its model: what a job carries (the foot's and the
// measurement's own bytes and the recipe) and how they are read back. A 3MF is a zip archive
// that anyone may hand over, so the reader looks at the archive's directory first and
// refuses a part, or a whole package, too large to unpack before it inflates a single byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The largest part that is unpacked, and the most that all parts of one package may unpack
// to together.
constexpr std::size_t MAX_PACKAGE_PART_BYTES = std::size_t{64} << 20;
constexpr std::size_t MAX_PACKAGE_BYTES = std::size_t{256} << 20;

// The relationship type that ties Tarsola's parts to the package, so that readers of the OPC
// format find them and every other reader knows they are no part of the model.
constexpr const char* TARSOLA_RELATIONSHIP = "urn:tarsola:job-part";

struct PackagePart {
    std::string name;         // its name in the package, from the root: "/Tarsola/recipe.json"
    std::string contentType;  // "application/json"
    std::vector<std::uint8_t> bytes;
};

// The names of the parts of a package, as its zip directory lists them (without the leading
// '/'), after checking that the directory lies inside the bytes and that no part, and not all
// parts together, unpack to more than the bounds. Returns false, saying why, otherwise.
bool listPackageParts(const std::uint8_t* data, std::size_t size, std::vector<std::string>& names,
                      std::string& why);

// Unpacks one part named as listPackageParts lists it. Returns false, saying why, when the
// part is missing, damaged (its data outside the bytes, a method other than stored or
// deflated, a size or checksum that does not match) or beyond the bounds.
bool readPackagePart(const std::uint8_t* data, std::size_t size, const std::string& name,
                     std::vector<std::uint8_t>& bytes, std::string& why);

// The package again with the relationships of Tarsola's type moved from the parts that hold
// them (lib3mf ties its attachments to the model part) into the package's own _rels/.rels,
// where OPC has them tie parts to the package. Every other part keeps its packed bytes and
// its date; the rewritten relationship parts are packed again, a part's relationships left
// empty dropped, and the archive's records written in their plain (not 64-bit) form, so
// that the same package always gives the same bytes. Returns false, saying why and leaving
// the output as it was, when the package cannot be read or does not fit plain records
// (an entry or the whole archive of 4 GiB or more, 65535 entries or more).
bool tiePartsToPackage(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& rewritten,
                       std::string& why);

// Whether the bytes begin as a zip archive does (a 3MF among them).
bool looksLikeZip(const std::uint8_t* data, std::size_t size);
