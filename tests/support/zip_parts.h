// Zip archives written by the tests, part by part, to make packages that the program's own
// writer never would: a job with a part missing, damaged, or claiming a size beyond the
// bounds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ZipPart {
    std::string name;  // without a leading '/'
    std::string bytes;
    // What the directory claims the part unpacks to; its real size when 0.
    std::uint64_t claimedSize = 0;
    // A checksum that does not match the bytes.
    bool badChecksum = false;
    // Packed with deflate rather than stored.
    bool deflated = false;
    // The sizes in the 64-bit extra field, as lib3mf writes them (always so for a claimed
    // size of 4 GiB or more).
    bool zip64 = false;
};

// A zip archive of the parts, each stored as it is unless it says otherwise.
std::string zipOf(const std::vector<ZipPart>& parts);

// The parts of a job around a recipe: a [Content_Types].xml, the foot part and the recipe.
std::vector<ZipPart> jobPartsAround(const std::string& footPart, const std::string& foot,
                                    const std::string& recipe);
