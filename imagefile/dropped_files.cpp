#include "imagefile/dropped_files.h"

#include <unistd.h>

#include <cstring>

namespace {

bool sameNoCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Turns every %XY into the byte XY. A '%' without two hex digits after it is refused rather
// than kept: the URI is broken, and guessing could open a file nobody dropped.
bool decodePercentEscapes(const std::string& encoded, std::string& decoded, std::string& why)
{
    decoded.clear();
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] != '%') {
            decoded += encoded[i];
            continue;
        }
        const int high = i + 1 < encoded.size() ? hexValue(encoded[i + 1]) : -1;
        const int low = i + 2 < encoded.size() ? hexValue(encoded[i + 2]) : -1;
        if (high < 0 || low < 0) {
            why = "has a '%' without two hex digits after it";
            return false;
        }
        if (high == 0 && low == 0) {
            why = "has %00, which no file name can hold";
            return false;
        }
        decoded += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

// An entry of the drop as a trace shows it: at most 60 bytes, control characters as '?'.
std::string shown(const std::string& entry)
{
    std::string text = "\"";
    for (std::size_t i = 0; i < entry.size() && i < 60; ++i) {
        const unsigned char c = static_cast<unsigned char>(entry[i]);
        text += c < 0x20 || c == 0x7f ? '?' : entry[i];
    }
    return text + (entry.size() > 60 ? "...\"" : "\"");
}

// The local file an entry names, or false with the reason why it names none.
bool localFile(const std::string& entry, const std::string& hostName, std::string& path,
               std::string& why)
{
    if (entry[0] == '/') {
        path = entry;
        return true;
    }
    const std::size_t colon = entry.find(':');
    if (colon == std::string::npos || !sameNoCase(entry.substr(0, colon), "file")) {
        why = shown(entry) + (colon == std::string::npos ? " is neither a file URI nor a path"
                                                         : " is not a file URI");
        return false;
    }
    // A query or fragment is no part of the file's name; a '#' or '?' in a name is escaped.
    std::string rest = entry.substr(colon + 1);
    rest = rest.substr(0, rest.find_first_of("?#"));
    std::string encodedPath;
    if (rest.compare(0, 2, "//") == 0) {
        const std::size_t slash = rest.find('/', 2);
        const std::string host = rest.substr(2, slash == std::string::npos ? std::string::npos : slash - 2);
        if (!host.empty() && !sameNoCase(host, "localhost") && !sameNoCase(host, hostName)) {
            why = shown(entry) + " is a file on another machine";
            return false;
        }
        encodedPath = slash == std::string::npos ? std::string() : rest.substr(slash);
    } else if (rest.compare(0, 1, "/") == 0) {
        encodedPath = rest;  // file:/path, as some file managers write it
    }
    if (encodedPath.empty()) {
        why = shown(entry) + " names no absolute path";
        return false;
    }
    std::string problem;
    if (!decodePercentEscapes(encodedPath, path, problem)) {
        why = shown(entry) + " " + problem;
        return false;
    }
    return true;
}

}  // namespace

DroppedFile firstDroppedFile(const char* text, std::size_t length, const std::string& hostName)
{
    const std::string list = text ? std::string(text, strnlen(text, length)) : std::string();
    DroppedFile result;
    std::size_t start = 0;
    while (start < list.size()) {
        std::size_t end = list.find('\n', start);
        if (end == std::string::npos) {
            end = list.size();
        }
        std::string entry = list.substr(start, end - start);
        start = end + 1;
        const std::size_t first = entry.find_first_not_of(" \t\r");
        if (first == std::string::npos || entry[first] == '#') {
            continue;
        }
        entry = entry.substr(first, entry.find_last_not_of(" \t\r") + 1 - first);
        std::string why;
        if (localFile(entry, hostName, result.path, why)) {
            result.reason.clear();
            return result;
        }
        result.path.clear();
        if (result.reason.empty()) {
            result.reason = why;
        }
    }
    if (result.reason.empty()) {
        result.reason = "it names no file";
    }
    return result;
}

std::string thisHostName()
{
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) {
        return {};
    }
    return name;
}
