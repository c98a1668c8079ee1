// One input of the job reader under attack (the 3MF's directory, its parts and the recipe):
// shared by the fuzzer and the test that replays its corpus.
#pragma once

#include "fuzz/foot_entry.h"

#include <cstddef>
#include <cstdint>

// Reads the bytes as a job and checks what the reader promises: a refusal says why in one
// line and leaves the job as it was; an accepted job has a foot, a measurement exactly when
// its recipe names one, parts within the bounds, and a recipe that reads back as itself.
FeedResult feedJobBytes(const std::uint8_t* data, std::size_t size);
