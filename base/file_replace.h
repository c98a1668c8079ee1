// Replacing a file in one step, so that whoever reads it finds the old content or the new
// one, never an empty or half-written file: insoles and the settings file are written so.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Writes all size bytes to the file descriptor, going on after short writes and interrupted
// calls. Returns 0 when every byte was written, otherwise the errno of the failed write
// (ENOSPC on a full device, for example).
int writeAllBytes(int fd, const std::uint8_t* data, std::size_t size);

// Replaces the file at path with the given bytes in one step: the bytes go to a new
// temporary file in the target's folder, every write is checked, the file is flushed to the
// disk (fsync) and then renamed over the target. A replaced file keeps its permissions (and,
// where the user may set them, its owner and group); a new one gets 0666 less the umask.
// A symbolic link is followed and the file it names is replaced. On any failure the
// temporary file is removed, the old target is left byte for byte as it was, and `failure`
// says what went wrong ("<step>: <reason>"). Returns whether the file was replaced.
bool replaceFile(const char* path, const std::uint8_t* data, std::size_t size,
                 std::string& failure);
