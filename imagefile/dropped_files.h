// What a drop onto the window carries. FLTK hands a drop over as text: a URI list
// (text/uri-list: one URI a line, lines ending in CRLF or LF, lines starting with '#' are
// comments), or, from sources that answer with plain text, absolute paths one a line.
#pragma once

#include <cstddef>
#include <string>

struct DroppedFile {
    std::string path;    // the first local file named in the drop; empty when there is none
    std::string reason;  // why nothing is taken from the drop, when `path` is empty
};

// The first local file of a drop: a file:// URI of this machine (no host, "localhost" or
// `hostName`, the machine's own name), its %-escapes decoded, or an absolute path taken as it
// is. Other URIs, files on other machines, broken %-escapes and %00 (which would cut the name
// short and so name another file) are passed over. The text ends at `length` or at its first
// NUL, whichever comes first; `text` may be null when `length` is 0.
DroppedFile firstDroppedFile(const char* text, std::size_t length, const std::string& hostName);

// This machine's name, as file:// URIs from its own file managers spell it.
std::string thisHostName();
