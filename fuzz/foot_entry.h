// One input of the loader under attack: shared by the fuzzer and the test that replays its
// corpus and every crash ever found, so both exercise exactly the same path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct FeedResult {
    bool loaded = false;   // a foot image came through the door
    bool sane = true;      // everything the load promises holds
    std::string problem;   // which promise broke
};

// The result marked as breaking a promise, saying which.
inline FeedResult brokenPromise(FeedResult result, const char* problem)
{
    result.sane = false;
    result.problem = problem;
    return result;
}

// Loads the bytes as the Load button would (door, decode from memory, trace, sample,
// measure) and checks the result: a loaded image holds a grey value in every pixel (see
// pixelLayoutRefusal) within 4096 x 4096, the measured box lies inside the grid or is the
// empty box, and a refused image leaves the record empty.
FeedResult feedFootBytes(const std::uint8_t* data, std::size_t size);
