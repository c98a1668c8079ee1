#include "solid/package_parts.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace {

constexpr std::uint32_t LOCAL_SIGNATURE = 0x04034b50;
constexpr std::uint32_t DIRECTORY_SIGNATURE = 0x02014b50;
constexpr std::uint32_t END_SIGNATURE = 0x06054b50;
constexpr std::uint32_t ZIP64_END_SIGNATURE = 0x06064b50;
constexpr std::uint32_t ZIP64_LOCATOR_SIGNATURE = 0x07064b50;
constexpr std::size_t ZIP64_LOCATOR_SIZE = 20;
constexpr std::size_t ZIP64_END_SIZE = 56;
constexpr std::uint16_t ZIP64_EXTRA = 0x0001;
constexpr std::uint32_t IN_ZIP64 = 0xFFFFFFFF;
constexpr std::size_t LOCAL_HEADER_SIZE = 30;
constexpr std::size_t DIRECTORY_HEADER_SIZE = 46;
constexpr std::size_t END_RECORD_SIZE = 22;
constexpr std::size_t MAX_COMMENT = 0xFFFF;
constexpr std::uint16_t STORED = 0;
constexpr std::uint16_t DEFLATED = 8;
constexpr std::uint16_t ENCRYPTED = 1;

std::uint16_t get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

std::uint32_t get32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint64_t get64(const std::uint8_t* p)
{
    return static_cast<std::uint64_t>(get32(p)) | (static_cast<std::uint64_t>(get32(p + 4)) << 32);
}

std::string mib(std::size_t bytes) { return std::to_string(bytes >> 20) + " MiB"; }

struct Entry {
    std::string name;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint32_t crc = 0;
    std::uint64_t packedSize = 0;
    std::uint64_t size = 0;
    std::uint64_t localOffset = 0;
};

// The sizes and place that an entry marks as held in its 64-bit extra field, in the order
// the format gives them. False when a marked value is not there.
bool readZip64Sizes(const std::uint8_t* extra, std::size_t length, Entry& entry)
{
    std::uint64_t* marked[3] = {entry.size == IN_ZIP64 ? &entry.size : nullptr,
                                entry.packedSize == IN_ZIP64 ? &entry.packedSize : nullptr,
                                entry.localOffset == IN_ZIP64 ? &entry.localOffset : nullptr};
    if (!marked[0] && !marked[1] && !marked[2]) {
        return true;
    }
    std::size_t at = 0;
    while (length - at >= 4) {
        const std::uint16_t id = get16(extra + at);
        const std::size_t size = get16(extra + at + 2);
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
                *value = get64(extra + field);
                field += 8;
            }
            return true;
        }
        at += 4 + size;
    }
    return false;
}

// The archive's directory, every entry inside the bytes and within the bounds.
bool readDirectory(const std::uint8_t* data, std::size_t size, std::vector<Entry>& entries,
                   std::string& why)
{
    entries.clear();
    if (!data || size < END_RECORD_SIZE) {
        why = "it is no zip archive, as a 3MF is";
        return false;
    }
    // The end record sits within the last 22 bytes plus the longest comment.
    const std::size_t lowest = size > END_RECORD_SIZE + MAX_COMMENT ? size - END_RECORD_SIZE - MAX_COMMENT : 0;
    std::size_t at = size - END_RECORD_SIZE;
    bool found = false;
    while (true) {
        if (get32(data + at) == END_SIGNATURE && at + END_RECORD_SIZE + get16(data + at + 20) == size) {
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
    std::uint64_t count = get16(end + 10);
    std::uint64_t directorySize = get32(end + 12);
    std::uint64_t directoryOffset = get32(end + 16);
    if (get16(end + 4) != 0 || get16(end + 6) != 0 || get16(end + 8) != count) {
        why = "it is a zip archive in several pieces, which a 3MF never is";
        return false;
    }
    // The 64-bit form (which lib3mf writes) keeps the directory's place in a record of its own,
    // found through a locator right before the end record.
    std::size_t directoryLimit = at;
    if (at >= ZIP64_LOCATOR_SIZE && get32(data + at - ZIP64_LOCATOR_SIZE) == ZIP64_LOCATOR_SIGNATURE) {
        const std::uint64_t record = get64(data + at - ZIP64_LOCATOR_SIZE + 8);
        directoryLimit = at - ZIP64_LOCATOR_SIZE;
        if (record > directoryLimit || directoryLimit - record < ZIP64_END_SIZE ||
            get32(data + record) != ZIP64_END_SIGNATURE) {
            why = "it is damaged: the zip archive's directory is missing";
            return false;
        }
        const std::uint8_t* end64 = data + record;
        count = get64(end64 + 32);
        directorySize = get64(end64 + 40);
        directoryOffset = get64(end64 + 48);
        if (get64(end64 + 24) != count) {
            why = "it is a zip archive in several pieces, which a 3MF never is";
            return false;
        }
        directoryLimit = static_cast<std::size_t>(record);
    }
    const std::size_t at64 = directoryLimit;
    if (directoryOffset > at64 || directorySize > at64 - directoryOffset) {
        why = "it is damaged: the zip archive's directory lies outside the file";
        return false;
    }
    std::size_t offset = static_cast<std::size_t>(directoryOffset);
    const std::size_t directoryEnd = static_cast<std::size_t>(directoryOffset + directorySize);
    std::size_t total = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (directoryEnd - offset < DIRECTORY_HEADER_SIZE || get32(data + offset) != DIRECTORY_SIGNATURE) {
            why = "it is damaged: an entry of the zip archive's directory is cut short";
            return false;
        }
        const std::uint8_t* h = data + offset;
        Entry entry;
        entry.flags = get16(h + 8);
        entry.method = get16(h + 10);
        entry.crc = get32(h + 16);
        entry.packedSize = get32(h + 20);
        entry.size = get32(h + 24);
        const std::size_t nameLength = get16(h + 28);
        const std::size_t extraLength = get16(h + 30);
        const std::size_t commentLength = get16(h + 32);
        entry.localOffset = get32(h + 42);
        const std::size_t length = DIRECTORY_HEADER_SIZE + nameLength + extraLength + commentLength;
        if (directoryEnd - offset < length) {
            why = "it is damaged: an entry of the zip archive's directory is cut short";
            return false;
        }
        entry.name.assign(reinterpret_cast<const char*>(h + DIRECTORY_HEADER_SIZE), nameLength);
        if (!readZip64Sizes(h + DIRECTORY_HEADER_SIZE + nameLength, extraLength, entry)) {
            why = "it is damaged: the zip archive's entry " + entry.name + " lacks its sizes";
            return false;
        }
        if (entry.size > MAX_PACKAGE_PART_BYTES) {
            why = "its part " + entry.name + " unpacks to more than " + mib(MAX_PACKAGE_PART_BYTES);
            return false;
        }
        total += static_cast<std::size_t>(entry.size);
        if (total > MAX_PACKAGE_BYTES) {
            why = "its parts unpack to more than " + mib(MAX_PACKAGE_BYTES);
            return false;
        }
        entries.push_back(std::move(entry));
        offset += length;
    }
    return true;
}

}  // namespace

bool looksLikeZip(const std::uint8_t* data, std::size_t size)
{
    return data && size >= 4 && get32(data) == LOCAL_SIGNATURE;
}

bool listPackageParts(const std::uint8_t* data, std::size_t size, std::vector<std::string>& names,
                      std::string& why)
{
    std::vector<Entry> entries;
    if (!readDirectory(data, size, entries, why)) {
        return false;
    }
    names.clear();
    for (const Entry& entry : entries) {
        names.push_back(entry.name);
    }
    return true;
}

bool readPackagePart(const std::uint8_t* data, std::size_t size, const std::string& name,
                     std::vector<std::uint8_t>& bytes, std::string& why)
{
    std::vector<Entry> entries;
    if (!readDirectory(data, size, entries, why)) {
        return false;
    }
    const auto entry = std::find_if(entries.begin(), entries.end(),
                                    [&name](const Entry& e) { return e.name == name; });
    if (entry == entries.end()) {
        why = "it has no part " + name;
        return false;
    }
    const std::string damaged = "its part " + name + " is damaged: ";
    if (entry->flags & ENCRYPTED) {
        why = "its part " + name + " is encrypted";
        return false;
    }
    if (entry->method != STORED && entry->method != DEFLATED) {
        why = "its part " + name + " is packed in a way a 3MF never is";
        return false;
    }
    if (entry->localOffset > size) {
        why = damaged + "its header lies outside the file";
        return false;
    }
    const std::size_t local = static_cast<std::size_t>(entry->localOffset);
    if (local > size || size - local < LOCAL_HEADER_SIZE || get32(data + local) != LOCAL_SIGNATURE) {
        why = damaged + "its header lies outside the file";
        return false;
    }
    const std::size_t start = local + LOCAL_HEADER_SIZE + get16(data + local + 26) + get16(data + local + 28);
    if (start > size || size - start < entry->packedSize) {
        why = damaged + "its data runs past the end of the file";
        return false;
    }
    std::vector<std::uint8_t> out(static_cast<std::size_t>(entry->size));
    const std::uint8_t* packed = data + start;
    if (entry->method == STORED) {
        if (entry->packedSize != entry->size) {
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
        // The input and output are each below 4 GiB (their sizes are 32-bit fields).
        stream.next_in = const_cast<Bytef*>(packed);
        stream.avail_in = static_cast<uInt>(entry->packedSize);
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(out.size());
        const int result = inflate(&stream, Z_FINISH);
        const bool whole = result == Z_STREAM_END && stream.total_out == out.size();
        inflateEnd(&stream);
        if (!whole) {
            why = damaged + "it does not unpack to its stated " + std::to_string(entry->size) + " bytes";
            return false;
        }
    }
    uLong crc = crc32(0L, Z_NULL, 0);
    // crc32 takes at most UINT_MAX bytes per call; a part is far smaller.
    crc = crc32(crc, out.data(), static_cast<uInt>(out.size()));
    if (crc != entry->crc) {
        why = damaged + "its checksum does not match";
        return false;
    }
    bytes = std::move(out);
    return true;
}
