// The zip archive under a 3MF package, read from its directory: the one reading that both the
// readers of a job's parts and the writer that ties them to the package go through. Every
// place and size it hands out has been checked to lie inside the bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr std::uint32_t ZIP_LOCAL_SIGNATURE = 0x04034b50;
constexpr std::uint32_t ZIP_DIRECTORY_SIGNATURE = 0x02014b50;
constexpr std::uint32_t ZIP_END_SIGNATURE = 0x06054b50;
constexpr std::size_t ZIP_LOCAL_HEADER_SIZE = 30;
constexpr std::size_t ZIP_DIRECTORY_HEADER_SIZE = 46;
constexpr std::size_t ZIP_END_RECORD_SIZE = 22;
constexpr std::uint16_t ZIP_STORED = 0;
constexpr std::uint16_t ZIP_DEFLATED = 8;
constexpr std::uint16_t ZIP_ENCRYPTED = 1;
// The local header's sizes and checksum are zero and follow the data instead.
constexpr std::uint16_t ZIP_SIZES_AFTER_DATA = 8;
constexpr std::uint16_t ZIP64_EXTRA = 0x0001;
// A 32-bit field holding this says the value is in the 64-bit extra field.
constexpr std::uint32_t ZIP_IN_ZIP64 = 0xFFFFFFFF;
constexpr std::uint16_t ZIP_COUNT_IN_ZIP64 = 0xFFFF;

std::uint16_t zipGet16(const std::uint8_t* p);
std::uint32_t zipGet32(const std::uint8_t* p);
std::uint64_t zipGet64(const std::uint8_t* p);

// One entry as the directory lists it, 64-bit values already taken from the extra field.
struct ZipEntry {
    std::string name;
    std::uint16_t madeBy = 0;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint16_t time = 0;
    std::uint16_t date = 0;
    std::uint32_t crc = 0;
    std::uint64_t packedSize = 0;
    std::uint64_t size = 0;
    std::uint16_t internalAttributes = 0;
    std::uint32_t externalAttributes = 0;
    std::uint64_t localOffset = 0;
    // Where the directory's extra field and comment of the entry lie in the bytes.
    std::size_t extraAt = 0;
    std::size_t extraLength = 0;
    std::size_t commentAt = 0;
    std::size_t commentLength = 0;
};

// The most any one entry, and all entries together, may unpack to.
struct ZipBounds {
    std::size_t entry;
    std::size_t total;
};

struct ZipDirectory {
    std::vector<ZipEntry> entries;
    // The archive's comment, after the end record.
    std::size_t commentAt = 0;
    std::size_t commentLength = 0;
};

// The archive's directory, every entry inside the bytes and within the bounds. Returns false,
// saying why (of the package, as "it is damaged: …"), otherwise.
bool readZipDirectory(const std::uint8_t* data, std::size_t size, const ZipBounds& bounds, ZipDirectory& directory,
                   std::string& why);

// Where an entry's packed data begins, after its local header, with all of the data inside
// the bytes; false, saying why, when the header or the data is not where the directory says.
bool findZipData(const std::uint8_t* data, std::size_t size, const ZipEntry& entry, std::size_t& start,
              std::string& why);

// The entry's bytes, unpacked and checked against its size and checksum; false, saying why,
// when it is encrypted, packed in another way than a 3MF allows, or damaged.
bool unpackZipEntry(const std::uint8_t* data, std::size_t size, const ZipEntry& entry, std::vector<std::uint8_t>& bytes,
            std::string& why);

// The extra field without its 64-bit sizes, every other block kept as it is.
std::string withoutZip64(const std::uint8_t* extra, std::size_t length);

