#include "solid/zip_directory.h"

#include <zlib.h>

#include <algorithm>

namespace {

constexpr std::uint32_t ZIP64_END_SIGNATURE = 0x06064b50;
constexpr std::uint32_t ZIP64_LOCATOR_SIGNATURE = 0x07064b50;
constexpr std::size_t ZIP64_LOCATOR_SIZE = 20;
constexpr std::size_t ZIP64_END_SIZE = 56;
constexpr std::size_t MAX_COMMENT = 0xFFFF;

std::string mib(std::size_t bytes) { return std::to_string(bytes >> 20) + " MiB"; }

// The sizes and place that an entry marks as held in its 64-bit extra field, in the order
// the format gives them. False when a marked value is not there.
bool readZip64Sizes(const std::uint8_t* extra, std::size_t length, ZipEntry& entry)
{
    std::uint64_t* marked[3] = {entry.size == ZIP_IN_ZIP64 ? &entry.size : nullptr,
                                entry.packedSize == ZIP_IN_ZIP64 ? &entry.packedSize : nullptr,
                                entry.localOffset == ZIP_IN_ZIP64 ? &entry.localOffset : nullptr};
    if (!marked[0] && !marked[1] && !marked[2]) {
        return true;
    }
    std::size_t at = 0;
    while (length - at >= 4) {
        const std::uint16_t id = zipGet16(extra + at);
        const std::size_t size = zipGet16(extra + at + 2);
        if (length - at - 4 < size) {
            return false;
        }
        if (id == ZIP64_EXTRA) {
            std::size_t field = at + 4;
            for (std::uint64_t* value : marked) {
                if (!value) {
                    continue;
                }
                if (field + 8 > at + 4 + size) {
                    return false;
                }
                *value = zipGet64(extra + field);
                field += 8;
            }
            return true;
        }
        at += 4 + size;
    }
    return false;
}

}  // namespace

std::uint16_t zipGet16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

std::uint32_t zipGet32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint64_t zipGet64(const std::uint8_t* p)
{
    return static_cast<std::uint64_t>(zipGet32(p)) | (static_cast<std::uint64_t>(zipGet32(p + 4)) << 32);
}

bool readZipDirectory(const std::uint8_t* data, std::size_t size, const ZipBounds& bounds, ZipDirectory& directory,
                   std::string& why)
{
    directory = ZipDirectory{};
    std::vector<ZipEntry>& entries = directory.entries;
    if (!data || size < ZIP_END_RECORD_SIZE) {
        why = "it is no zip archive, as a 3MF is";
        return false;
    }
    // The end record sits within the last 22 bytes plus the longest comment.
    const std::size_t lowest = size > ZIP_END_RECORD_SIZE + MAX_COMMENT ? size - ZIP_END_RECORD_SIZE - MAX_COMMENT : 0;
    std::size_t at = size - ZIP_END_RECORD_SIZE;
    bool found = false;
    while (true) {
        if (zipGet32(data + at) == ZIP_END_SIGNATURE && at + ZIP_END_RECORD_SIZE + zipGet16(data + at + 20) == size) {
            found = true;
            break;
        }
        if (at == lowest) {
            break;
        }
        --at;
    }
    if (!found) {
        why = "it is damaged: the zip archive's directory is missing";
        return false;
    }
    const std::uint8_t* end = data + at;
    directory.commentAt = at + ZIP_END_RECORD_SIZE;
    directory.commentLength = zipGet16(end + 20);
    std::uint64_t count = zipGet16(end + 10);
    std::uint64_t directorySize = zipGet32(end + 12);
    std::uint64_t directoryOffset = zipGet32(end + 16);
    if (zipGet16(end + 4) != 0 || zipGet16(end + 6) != 0 || zipGet16(end + 8) != count) {
        why = "it is a zip archive in several pieces, which a 3MF never is";
        return false;
    }
    // The 64-bit form (which lib3mf writes) keeps the directory's place in a record of its own,
    // found through a locator right before the end record.
    std::size_t directoryLimit = at;
    if (at >= ZIP64_LOCATOR_SIZE && zipGet32(data + at - ZIP64_LOCATOR_SIZE) == ZIP64_LOCATOR_SIGNATURE) {
        const std::uint64_t record = zipGet64(data + at - ZIP64_LOCATOR_SIZE + 8);
        directoryLimit = at - ZIP64_LOCATOR_SIZE;
        if (record > directoryLimit || directoryLimit - record < ZIP64_END_SIZE ||
            zipGet32(data + record) != ZIP64_END_SIGNATURE) {
            why = "it is damaged: the zip archive's directory is missing";
            return false;
        }
        const std::uint8_t* end64 = data + record;
        count = zipGet64(end64 + 32);
        directorySize = zipGet64(end64 + 40);
        directoryOffset = zipGet64(end64 + 48);
        if (zipGet64(end64 + 24) != count) {
            why = "it is a zip archive in several pieces, which a 3MF never is";
            return false;
        }
        directoryLimit = static_cast<std::size_t>(record);
    }
    if (directoryOffset > directoryLimit || directorySize > directoryLimit - directoryOffset) {
        why = "it is damaged: the zip archive's directory lies outside the file";
        return false;
    }
    std::size_t offset = static_cast<std::size_t>(directoryOffset);
    const std::size_t directoryEnd = static_cast<std::size_t>(directoryOffset + directorySize);
    std::size_t total = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (directoryEnd - offset < ZIP_DIRECTORY_HEADER_SIZE || zipGet32(data + offset) != ZIP_DIRECTORY_SIGNATURE) {
            why = "it is damaged: an entry of the zip archive's directory is cut short";
            return false;
        }
        const std::uint8_t* h = data + offset;
        ZipEntry entry;
        entry.madeBy = zipGet16(h + 4);
        entry.flags = zipGet16(h + 8);
        entry.method = zipGet16(h + 10);
        entry.time = zipGet16(h + 12);
        entry.date = zipGet16(h + 14);
        entry.crc = zipGet32(h + 16);
        entry.packedSize = zipGet32(h + 20);
        entry.size = zipGet32(h + 24);
        const std::size_t nameLength = zipGet16(h + 28);
        entry.extraLength = zipGet16(h + 30);
        entry.commentLength = zipGet16(h + 32);
        entry.internalAttributes = zipGet16(h + 36);
        entry.externalAttributes = zipGet32(h + 38);
        entry.localOffset = zipGet32(h + 42);
        const std::size_t length = ZIP_DIRECTORY_HEADER_SIZE + nameLength + entry.extraLength + entry.commentLength;
        if (directoryEnd - offset < length) {
            why = "it is damaged: an entry of the zip archive's directory is cut short";
            return false;
        }
        entry.name.assign(reinterpret_cast<const char*>(h + ZIP_DIRECTORY_HEADER_SIZE), nameLength);
        entry.extraAt = offset + ZIP_DIRECTORY_HEADER_SIZE + nameLength;
        entry.commentAt = entry.extraAt + entry.extraLength;
        if (!readZip64Sizes(data + entry.extraAt, entry.extraLength, entry)) {
            why = "it is damaged: the zip archive's entry " + entry.name + " lacks its sizes";
            return false;
        }
        if (entry.size > bounds.entry) {
            why = "its part " + entry.name + " unpacks to more than " + mib(bounds.entry);
            return false;
        }
        // Checked before adding, so that no sum of claimed sizes can wrap around.
        if (entry.size > bounds.total - total) {
            why = "its parts unpack to more than " + mib(bounds.total);
            return false;
        }
        total += static_cast<std::size_t>(entry.size);
        entries.push_back(std::move(entry));
        offset += length;
    }
    return true;
}

bool findZipData(const std::uint8_t* data, std::size_t size, const ZipEntry& entry, std::size_t& start,
              std::string& why)
{
    const std::string damaged = "its part " + entry.name + " is damaged: ";
    if (entry.localOffset > size) {
        why = damaged + "its header lies outside the file";
        return false;
    }
    const std::size_t local = static_cast<std::size_t>(entry.localOffset);
    if (size - local < ZIP_LOCAL_HEADER_SIZE || zipGet32(data + local) != ZIP_LOCAL_SIGNATURE) {
        why = damaged + "its header lies outside the file";
        return false;
    }
    const std::size_t at = local + ZIP_LOCAL_HEADER_SIZE + zipGet16(data + local + 26) + zipGet16(data + local + 28);
    if (at > size || size - at < entry.packedSize) {
        why = damaged + "its data runs past the end of the file";
        return false;
    }
    start = at;
    return true;
}

bool unpackZipEntry(const std::uint8_t* data, std::size_t size, const ZipEntry& entry, std::vector<std::uint8_t>& bytes,
            std::string& why)
{
    const std::string damaged = "its part " + entry.name + " is damaged: ";
    if (entry.flags & ZIP_ENCRYPTED) {
        why = "its part " + entry.name + " is encrypted";
        return false;
    }
    if (entry.method != ZIP_STORED && entry.method != ZIP_DEFLATED) {
        why = "its part " + entry.name + " is packed in a way a 3MF never is";
        return false;
    }
    std::size_t start = 0;
    if (!findZipData(data, size, entry, start, why)) {
        return false;
    }
    std::vector<std::uint8_t> out(static_cast<std::size_t>(entry.size));
    const std::uint8_t* packed = data + start;
    if (entry.method == ZIP_STORED) {
        if (entry.packedSize != entry.size) {
            why = damaged + "its sizes disagree";
            return false;
        }
        std::copy(packed, packed + out.size(), out.begin());
    } else {
        z_stream stream{};
        if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
            why = damaged + "it cannot be unpacked";
            return false;
        }
        // The callers' bounds keep the output far below 4 GiB, and the packed data lies in
        // the bytes; zlib counts both in 32 bits.
        stream.next_in = const_cast<Bytef*>(packed);
        stream.avail_in = static_cast<uInt>(std::min<std::uint64_t>(entry.packedSize, UINT32_MAX));
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(out.size());
        const int result = inflate(&stream, Z_FINISH);
        const bool whole = result == Z_STREAM_END && stream.total_out == out.size();
        inflateEnd(&stream);
        if (!whole) {
            why = damaged + "it does not unpack to its stated " + std::to_string(entry.size) + " bytes";
            return false;
        }
    }
    uLong crc = crc32(0L, Z_NULL, 0);
    // crc32 takes at most UINT_MAX bytes per call; a part is far smaller.
    crc = crc32(crc, out.data(), static_cast<uInt>(out.size()));
    if (crc != entry.crc) {
        why = damaged + "its checksum does not match";
        return false;
    }
    bytes = std::move(out);
    return true;
}

std::string withoutZip64(const std::uint8_t* extra, std::size_t length)
{
    std::string kept;
    std::size_t at = 0;
    while (length - at >= 4) {
        const std::size_t block = 4 + zipGet16(extra + at + 2);
        if (length - at < block) {
            break;  // a cut-short block is no block; drop it with the rest
        }
        if (zipGet16(extra + at) != ZIP64_EXTRA) {
            kept.append(reinterpret_cast<const char*>(extra + at), block);
        }
        at += block;
    }
    return kept;
}

