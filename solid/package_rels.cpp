// Tying Tarsola's parts to the package: lib3mf 1.8 can only tie an attachment from the model
// part, so its archive is taken apart from the directory and put together again with the
// relationships moved. The parts are copied as they were packed; only the relationship parts
// are unpacked, edited and packed again.
#include "solid/package_parts.h"

#include "solid/zip_directory.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>

namespace {

constexpr const char* PACKAGE_RELATIONSHIPS = "_rels/.rels";
constexpr const char* RELATIONSHIPS_EXTENSION = ".rels";
constexpr const char* RELATIONSHIPS_END = "</Relationships>";
// The largest value a plain record holds; one more marks a 64-bit one.
constexpr std::uint64_t LARGEST_PLAIN = ZIP_IN_ZIP64 - 1;
constexpr std::size_t MOST_PLAIN_ENTRIES = ZIP_COUNT_IN_ZIP64 - 1;
// The version of the format an entry needs: 1.0 for stored data, 2.0 for deflated data.
constexpr std::uint16_t NEEDS_STORED = 10;
constexpr std::uint16_t NEEDS_DEFLATED = 20;
// Lib3mf's own package relationships are numbered rel0, rel1, …; Tarsola's take another name.
constexpr const char* OWN_ID = "tarsola";

// One <Relationship …/> element of a relationship part: where it lies in the text, and its
// attributes as written (entities left as they are).
struct Relationship {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::string type;
    std::string target;
    std::string id;
};

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The Relationship elements of a relationship part, as the writers of 3MF packages write
// them: attributes in double or single quotes, the element empty. False for anything else.
bool readRelationships(const std::string& text, std::vector<Relationship>& relationships)
{
    static const std::string open = "<Relationship";
    static const std::string close = "</Relationship>";
    relationships.clear();
    const std::size_t n = text.size();
    std::size_t at = 0;
    while ((at = text.find(open, at)) != std::string::npos) {
        std::size_t p = at + open.size();
        if (p < n && !isSpace(text[p]) && text[p] != '/' && text[p] != '>') {
            at = p;  // <Relationships>, the element around them
            continue;
        }
        Relationship relationship;
        relationship.begin = at;
        while (true) {
            while (p < n && isSpace(text[p])) {
                ++p;
            }
            if (p >= n) {
                return false;
            }
            if (text.compare(p, 2, "/>") == 0) {
                p += 2;
                break;
            }
            if (text[p] == '>') {
                std::size_t q = p + 1;
                while (q < n && isSpace(text[q])) {
                    ++q;
                }
                if (text.compare(q, close.size(), close) != 0) {
                    return false;
                }
                p = q + close.size();
                break;
            }
            const std::size_t nameBegin = p;
            while (p < n && !isSpace(text[p]) && text[p] != '=' && text[p] != '>' && text[p] != '/') {
                ++p;
            }
            const std::string name = text.substr(nameBegin, p - nameBegin);
            while (p < n && isSpace(text[p])) {
                ++p;
            }
            if (name.empty() || p >= n || text[p] != '=') {
                return false;
            }
            ++p;
            while (p < n && isSpace(text[p])) {
                ++p;
            }
            if (p >= n || (text[p] != '"' && text[p] != '\'')) {
                return false;
            }
            const std::size_t valueEnd = text.find(text[p], p + 1);
            if (valueEnd == std::string::npos) {
                return false;
            }
            const std::string value = text.substr(p + 1, valueEnd - p - 1);
            p = valueEnd + 1;
            if (name == "Type") {
                relationship.type = value;
            } else if (name == "Target") {
                relationship.target = value;
            } else if (name == "Id") {
                relationship.id = value;
            }
        }
        relationship.end = p;
        relationships.push_back(std::move(relationship));
        at = p;
    }
    return true;
}

bool endsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// What becomes of an entry of the archive.
struct Outcome {
    bool dropped = false;
    bool replaced = false;
    std::vector<std::uint8_t> packed;  // the new packed bytes when replaced
    std::uint32_t crc = 0;
    std::uint64_t size = 0;
};

// The text packed as a deflated entry: always the same bytes for the same text.
bool packText(const std::string& text, Outcome& outcome)
{
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        return false;
    }
    // A relationship part is a few hundred bytes, far below zlib's 32-bit counts.
    outcome.packed.resize(deflateBound(&stream, static_cast<uLong>(text.size())));
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = outcome.packed.data();
    stream.avail_out = static_cast<uInt>(outcome.packed.size());
    const bool whole = deflate(&stream, Z_FINISH) == Z_STREAM_END;
    outcome.packed.resize(stream.total_out);
    deflateEnd(&stream);
    if (!whole) {
        return false;
    }
    outcome.crc = static_cast<std::uint32_t>(
        crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size())));
    outcome.size = text.size();
    outcome.replaced = true;
    return true;
}

bool unpackText(const std::uint8_t* data, std::size_t size, const ZipEntry& entry, std::string& text,
                std::string& why)
{
    if (entry.size > MAX_PACKAGE_PART_BYTES) {
        why = "its part " + entry.name + " holds more relationships than a package ever does";
        return false;
    }
    std::vector<std::uint8_t> bytes;
    if (!unpackZipEntry(data, size, entry, bytes, why)) {
        return false;
    }
    text.assign(bytes.begin(), bytes.end());
    return true;
}

// Takes Tarsola's relationships out of one part's relationships, keeping their targets.
// The text loses each element with the white space before it.
bool takeOwnRelationships(std::string& text, const std::string& name, std::vector<std::string>& targets,
                          bool& anyLeft, std::string& why)
{
    std::vector<Relationship> relationships;
    if (!readRelationships(text, relationships)) {
        why = "its relationships in " + name + " cannot be read";
        return false;
    }
    anyLeft = false;
    std::string kept;
    std::size_t from = 0;
    for (const Relationship& r : relationships) {
        if (r.type != TARSOLA_RELATIONSHIP) {
            anyLeft = true;
            continue;
        }
        // A target relative to the part that ties it would name another part from the root.
        if (r.target.empty() || r.target[0] != '/') {
            why = "its relationship to " + r.target + " in " + name + " is relative to its part";
            return false;
        }
        targets.push_back(r.target);
        std::size_t begin = r.begin;
        while (begin > from && isSpace(text[begin - 1])) {
            --begin;
        }
        kept.append(text, from, begin - from);
        from = r.end;
    }
    kept.append(text, from, std::string::npos);
    text = std::move(kept);
    return true;
}

// Adds a relationship from the package to each target it does not tie yet, with ids that
// none of its relationships has.
bool tieTargets(std::string& text, const std::vector<std::string>& targets, std::string& why)
{
    std::vector<Relationship> relationships;
    const std::size_t end = text.rfind(RELATIONSHIPS_END);
    if (!readRelationships(text, relationships) || end == std::string::npos) {
        why = "its relationships in " + std::string(PACKAGE_RELATIONSHIPS) + " cannot be read";
        return false;
    }
    std::string added;
    int next = 0;
    for (const std::string& target : targets) {
        const bool tied = std::any_of(relationships.begin(), relationships.end(), [&](const Relationship& r) {
            return r.type == TARSOLA_RELATIONSHIP && r.target == target;
        });
        if (tied) {
            continue;
        }
        std::string id;
        do {
            id = OWN_ID + std::to_string(next++);
        } while (std::any_of(relationships.begin(), relationships.end(),
                             [&id](const Relationship& r) { return r.id == id; }));
        // The target is copied as written, already in the form the text needs.
        added += std::string("\t<Relationship Type=\"") + TARSOLA_RELATIONSHIP + "\" Target=\"" + target +
                 "\" Id=\"" + id + "\" />\n";
        Relationship own;
        own.type = TARSOLA_RELATIONSHIP;
        own.target = target;
        own.id = id;
        relationships.push_back(own);
    }
    text.insert(end, added);
    return true;
}

void put16(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

void putText(std::vector<std::uint8_t>& out, const std::string& text) { out.insert(out.end(), text.begin(), text.end()); }

void putBytes(std::vector<std::uint8_t>& out, const std::uint8_t* bytes, std::size_t length)
{
    out.insert(out.end(), bytes, bytes + length);
}

// An entry as it goes into the new archive: its packed bytes, copied or packed again.
struct Written {
    const std::uint8_t* packed = nullptr;
    std::size_t packedSize = 0;
    std::uint16_t method = ZIP_STORED;
    std::uint32_t crc = 0;
    std::uint64_t size = 0;
};

// The fields that a local header and the directory's entry share, from the version needed to
// the unpacked size; every size already checked to fit.
void putSharedFields(std::vector<std::uint8_t>& out, const ZipEntry& entry, const Written& written)
{
    put16(out, written.method == ZIP_STORED ? NEEDS_STORED : NEEDS_DEFLATED);
    // The sizes and checksum are in the header now, none after the data.
    put16(out, entry.flags & ~ZIP_SIZES_AFTER_DATA);
    put16(out, written.method);
    put16(out, entry.time);
    put16(out, entry.date);
    put32(out, written.crc);
    put32(out, static_cast<std::uint32_t>(written.packedSize));
    put32(out, static_cast<std::uint32_t>(written.size));
}

std::string tooLarge(const std::string& what) { return what + " is too large for a 3MF of 4 GiB or less"; }

// What becomes of each entry: the relationships of Tarsola's type taken from every part's
// relationships but the package's, and given to the package's.
bool moveRelationships(const std::uint8_t* data, std::size_t size, const std::vector<ZipEntry>& entries,
                       std::vector<Outcome>& outcomes, std::string& why)
{
    outcomes.assign(entries.size(), Outcome{});
    std::vector<std::string> targets;
    std::size_t packageIndex = entries.size();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const ZipEntry& entry = entries[i];
        if (entry.method != ZIP_STORED && entry.method != ZIP_DEFLATED) {
            why = "its part " + entry.name + " is packed in a way a 3MF never is";
            return false;
        }
        if (entry.packedSize > LARGEST_PLAIN || entry.size > LARGEST_PLAIN) {
            why = tooLarge("its part " + entry.name);
            return false;
        }
        if (entry.name == PACKAGE_RELATIONSHIPS) {
            packageIndex = i;
            continue;
        }
        if (!endsWith(entry.name, RELATIONSHIPS_EXTENSION)) {
            continue;
        }
        std::string text;
        bool anyLeft = false;
        const std::size_t before = targets.size();
        if (!unpackText(data, size, entry, text, why) ||
            !takeOwnRelationships(text, entry.name, targets, anyLeft, why)) {
            return false;
        }
        if (targets.size() == before) {
            continue;  // nothing of Tarsola's: kept as it was packed
        }
        // A part whose only relationships were Tarsola's is left out, as lib3mf leaves out
        // the model's when it has no attachments.
        outcomes[i].dropped = !anyLeft;
        if (anyLeft && !packText(text, outcomes[i])) {
            why = "its part " + entry.name + " could not be packed again";
            return false;
        }
    }
    if (packageIndex == entries.size()) {
        why = "it has no relationships of its own, " + std::string(PACKAGE_RELATIONSHIPS);
        return false;
    }
    if (!targets.empty()) {
        std::string text;
        if (!unpackText(data, size, entries[packageIndex], text, why) || !tieTargets(text, targets, why)) {
            return false;
        }
        if (!packText(text, outcomes[packageIndex])) {
            why = "its part " + std::string(PACKAGE_RELATIONSHIPS) + " could not be packed again";
            return false;
        }
    }
    return true;
}

// The archive of the entries as they are now, in plain records.
bool putArchive(const std::uint8_t* data, std::size_t size, const ZipDirectory& directory,
                const std::vector<Outcome>& outcomes, std::vector<std::uint8_t>& rewritten, std::string& why)
{
    const std::vector<ZipEntry>& entries = directory.entries;
    // What each kept entry holds now, and its local header's and directory's own extra fields.
    std::vector<Written> written(entries.size());
    std::vector<std::string> localExtras(entries.size());
    std::vector<std::string> directoryExtras(entries.size());
    std::size_t total = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const ZipEntry& entry = entries[i];
        const Outcome& outcome = outcomes[i];
        if (outcome.dropped) {
            continue;
        }
        std::size_t start = 0;
        if (!findZipData(data, size, entry, start, why)) {
            return false;
        }
        written[i] = outcome.replaced ? Written{outcome.packed.data(), outcome.packed.size(), ZIP_DEFLATED,
                                                outcome.crc, outcome.size}
                                      : Written{data + start, static_cast<std::size_t>(entry.packedSize),
                                                entry.method, entry.crc, entry.size};
        const std::size_t local = static_cast<std::size_t>(entry.localOffset);
        const std::size_t localName = zipGet16(data + local + 26);
        localExtras[i] = withoutZip64(data + local + ZIP_LOCAL_HEADER_SIZE + localName, zipGet16(data + local + 28));
        directoryExtras[i] = withoutZip64(data + entry.extraAt, entry.extraLength);
        total += ZIP_LOCAL_HEADER_SIZE + entry.name.size() + localExtras[i].size() + written[i].packedSize;
        total += ZIP_DIRECTORY_HEADER_SIZE + entry.name.size() + directoryExtras[i].size() + entry.commentLength;
    }
    total += ZIP_END_RECORD_SIZE + directory.commentLength;
    if (total > LARGEST_PLAIN) {
        why = tooLarge("it");
        return false;
    }

    std::vector<std::uint8_t> out;
    out.reserve(total);
    std::vector<std::uint32_t> offsets(entries.size(), 0);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (outcomes[i].dropped) {
            continue;
        }
        offsets[i] = static_cast<std::uint32_t>(out.size());
        put32(out, ZIP_LOCAL_SIGNATURE);
        putSharedFields(out, entries[i], written[i]);
        put16(out, static_cast<std::uint32_t>(entries[i].name.size()));
        put16(out, static_cast<std::uint32_t>(localExtras[i].size()));
        putText(out, entries[i].name);
        putText(out, localExtras[i]);
        putBytes(out, written[i].packed, written[i].packedSize);
    }
    const std::size_t directoryOffset = out.size();
    std::size_t kept = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const ZipEntry& entry = entries[i];
        if (outcomes[i].dropped) {
            continue;
        }
        put32(out, ZIP_DIRECTORY_SIGNATURE);
        put16(out, entry.madeBy);
        putSharedFields(out, entry, written[i]);
        put16(out, static_cast<std::uint32_t>(entry.name.size()));
        put16(out, static_cast<std::uint32_t>(directoryExtras[i].size()));
        put16(out, static_cast<std::uint32_t>(entry.commentLength));
        put16(out, 0);  // the disk it starts on: there is one
        put16(out, entry.internalAttributes);
        put32(out, entry.externalAttributes);
        put32(out, offsets[i]);
        putText(out, entry.name);
        putText(out, directoryExtras[i]);
        putBytes(out, data + entry.commentAt, entry.commentLength);
        ++kept;
    }
    const std::size_t directorySize = out.size() - directoryOffset;
    put32(out, ZIP_END_SIGNATURE);
    put16(out, 0);
    put16(out, 0);
    put16(out, static_cast<std::uint32_t>(kept));
    put16(out, static_cast<std::uint32_t>(kept));
    put32(out, static_cast<std::uint32_t>(directorySize));
    put32(out, static_cast<std::uint32_t>(directoryOffset));
    put16(out, static_cast<std::uint32_t>(directory.commentLength));
    putBytes(out, data + directory.commentAt, directory.commentLength);
    rewritten = std::move(out);
    return true;
}

}  // namespace

bool tiePartsToPackage(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& rewritten,
                       std::string& why)
{
    // The package is Tarsola's own, just written: no bound but the plain records' below.
    ZipDirectory directory;
    if (!readZipDirectory(data, size, ZipBounds{SIZE_MAX, SIZE_MAX}, directory, why)) {
        return false;
    }
    const std::vector<ZipEntry>& entries = directory.entries;
    if (entries.size() > MOST_PLAIN_ENTRIES) {
        why = tooLarge("it has " + std::to_string(entries.size()) + " parts, which");
        return false;
    }
    std::vector<Outcome> outcomes;
    return moveRelationships(data, size, entries, outcomes, why) &&
           putArchive(data, size, directory, outcomes, rewritten, why);
}
