#include "fuzz/pressure_entry.h"

#include "pressure/pressure_file.h"

#include <cmath>
#include <string>

FeedResult feedPressureBytes(const std::uint8_t* data, std::size_t size)
{
    FeedResult result;
    PressureMap map;
    // A map left from an earlier file must not survive a refusal.
    map.rows = map.cols = 1;
    map.kpa.assign(1, 50.0f);
    std::string failure;
    result.loaded = readPressureBytes(data, size, "fuzz input", PressureOptions{}, map, failure);
    if (!result.loaded) {
        if (!map.empty() || map.rows != 0 || map.cols != 0) {
            return brokenPromise(result, "a refused file left a map behind");
        }
        if (failure.compare(0, 11, "fuzz input:") != 0) {
            return brokenPromise(result, "a refusal does not name the file");
        }
        return result;
    }
    if (map.rows < 1 || map.rows > MAX_PRESSURE_SIDE || map.cols < 1 ||
        map.cols > MAX_PRESSURE_SIDE ||
        map.kpa.size() != static_cast<std::size_t>(map.rows) * static_cast<std::size_t>(map.cols)) {
        return brokenPromise(result, "an accepted map has a size the reader refuses");
    }
    if (!pressurePitchInRange(map.rowPitchMm) || !pressurePitchInRange(map.colPitchMm)) {
        return brokenPromise(result, "an accepted map has a pitch outside the range");
    }
    if (map.frames < 1 || map.frames > MAX_PRESSURE_FRAMES) {
        return brokenPromise(result, "an accepted map has a frame count the reader refuses");
    }
    bool aboveNoise = false, peakFound = false;
    for (float v : map.kpa) {
        if (std::isnan(v)) {
            continue;
        }
        if (!(v >= 0.0f && v <= MAX_PRESSURE_KPA) || v > map.peakKpa) {
            return brokenPromise(result,
                          "an accepted map has a value outside 0..10000 kPa or above its peak");
        }
        aboveNoise = aboveNoise || v > PRESSURE_NOISE_KPA;
        peakFound = peakFound || v == map.peakKpa;
    }
    if (!aboveNoise || !peakFound) {
        return brokenPromise(result, "an accepted map is empty or its peak is none of its cells");
    }
    return result;
}
