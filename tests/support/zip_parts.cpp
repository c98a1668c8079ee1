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

void put64(std::string& out, std::uint64_t v)
{
    put32(out, static_cast<std::uint32_t>(v & 0xFFFFFFFF));
    put32(out, static_cast<std::uint32_t>(v >> 32));
}

// Raw deflate, as a zip entry holds it; at the highest level, which no writer of the program
// uses, so that an entry packed again shows.
std::string deflated(const std::string& bytes)
{
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, static_cast<uLong>(bytes.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
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
        const std::string packed = part.deflated ? deflated(part.bytes) : part.bytes;
        const std::uint64_t claimed = part.claimedSize ? part.claimedSize : part.bytes.size();
        const bool zip64 = part.zip64 || claimed >= 0xFFFFFFFF;
        const auto offset = static_cast<std::uint32_t>(out.size());
        // The 64-bit extra field: the size, then the packed size (and in the directory the
        // header's place), each marked in its 32-bit field.
        std::string extra;
        if (zip64) {
            put16(extra, 1);
            put16(extra, 16);
            put64(extra, claimed);
            put64(extra, packed.size());
        }
        const std::uint32_t method = part.deflated ? 8 : 0;
        const std::uint32_t size32 = zip64 ? 0xFFFFFFFF : static_cast<std::uint32_t>(claimed);
        const std::uint32_t packed32 = zip64 ? 0xFFFFFFFF : static_cast<std::uint32_t>(packed.size());
        put32(out, 0x04034b50);
        put16(out, zip64 ? 45 : 20);
        put16(out, 0);
        put16(out, method);
        put32(out, 0);  // time and date
        put32(out, crc);
        put32(out, packed32);
        put32(out, size32);
        put16(out, static_cast<std::uint32_t>(part.name.size()));
        put16(out, static_cast<std::uint32_t>(extra.size()));
        out += part.name;
        out += extra;
        out += packed;

        put32(directory, 0x02014b50);
        put16(directory, zip64 ? 45 : 20);
        put16(directory, zip64 ? 45 : 20);
        put16(directory, 0);
        put16(directory, method);
        put32(directory, 0);
        put32(directory, crc);
        put32(directory, packed32);
        put32(directory, size32);
        put16(directory, static_cast<std::uint32_t>(part.name.size()));
        put16(directory, static_cast<std::uint32_t>(extra.size()));
        put16(directory, 0);
        put16(directory, 0);
        put16(directory, 0);
        put32(directory, 0);
        put32(directory, offset);
        directory += part.name;
        directory += extra;
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
