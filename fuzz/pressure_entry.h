// One input of the pressure reader under attack: shared by the fuzzer and the test that
// replays its corpus and every crash ever found.
#pragma once

#include "fuzz/foot_entry.h"

#include <cstddef>
#include <cstdint>

// Reads the bytes as a pressure measurement with the default options and checks what the
// reader promises: a refused file leaves no map and says why; an accepted map has rows x cols
// values, each within 0..MAX_PRESSURE_KPA or NaN, at least one above the noise floor, its
// recorded peak among them, sides within 1..MAX_PRESSURE_SIDE and pitches within the range.
FeedResult feedPressureBytes(const std::uint8_t* data, std::size_t size);
