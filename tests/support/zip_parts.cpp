#include "support/zip_parts.h"

#include <zlib.h>

namespace {

void put16(std::string& out, std::uint32_t v)
{
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void put32(std::string& out, std::uint32_t v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

}  // namespace

std::string zipOf(const std::vector<ZipPart>& parts)
{
    std::string out;
    std::string directory;
    for (const ZipPart& part : parts) {
        std::uint32_t crc = static_cast<std::uint32_t>(
            crc32(0L, reinterpret_cast<const Bytef*>(part.bytes.data()), static_cast<uInt>(part.bytes.size())));
        if (part.badChecksum) {
            crc ^= 1;
        }
        const auto size = static_cast<std::uint32_t>(part.bytes.size());
        const std::uint32_t claimed = part.claimedSize ? part.claimedSize : size;
        const auto offset = static_cast<std::uint32_t>(out.size());
        put32(out, 0x04034b50);
        put16(out, 20);
        put16(out, 0);
        put16(out, 0);  // stored
        put32(out, 0);  // time and date
        put32(out, crc);
        put32(out, size);
        put32(out, claimed);
        put16(out, static_cast<std::uint32_t>(part.name.size()));
        put16(out, 0);
        out += part.name;
        out += part.bytes;

        put32(directory, 0x02014b50);
        put16(directory, 20);
        put16(directory, 20);
        put16(directory, 0);
        put16(directory, 0);
        put32(directory, 0);
        put32(directory, crc);
        put32(directory, size);
        put32(directory, claimed);
        put16(directory, static_cast<std::uint32_t>(part.name.size()));
        put16(directory, 0);
        put16(directory, 0);
        put16(directory, 0);
        put16(directory, 0);
        put32(directory, 0);
        put32(directory, offset);
        directory += part.name;
    }
    const auto directoryOffset = static_cast<std::uint32_t>(out.size());
    out += directory;
    put32(out, 0x06054b50);
    put16(out, 0);
    put16(out, 0);
    put16(out, static_cast<std::uint32_t>(parts.size()));
    put16(out, static_cast<std::uint32_t>(parts.size()));
    put32(out, static_cast<std::uint32_t>(directory.size()));
    put32(out, directoryOffset);
    put16(out, 0);
    return out;
}

std::vector<ZipPart> jobPartsAround(const std::string& footPart, const std::string& foot,
                                    const std::string& recipe)
{
    return {{"[Content_Types].xml",
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Types xmlns=\"http://schemas.openxmlformats.org/"
             "package/2006/content-types\"><Default Extension=\"json\" ContentType=\"application/json\"/>"
             "</Types>"},
            {footPart, foot},
            {"Tarsola/recipe.json", recipe}};
}
