// Feeds arbitrary bytes through the same paths as the Load button (the image door, the decode
// from memory, sampling and measuring) and as a pressure measurement's load (the pressure
// reader), and as a job opened (the 3MF's directory, parts and recipe). Built only with
// TARSOLA_FUZZ=ON and clang.
#include "fuzz/foot_entry.h"
#include "fuzz/job_entry.h"
#include "fuzz/pressure_entry.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // A result that breaks a reader's promises is as much a finding as a crash.
    if (!feedFootBytes(data, size).sane || !feedPressureBytes(data, size).sane ||
        !feedJobBytes(data, size).sane) {
        std::abort();
    }
    return 0;
}
