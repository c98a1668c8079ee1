#include "imagefile/source_image.h"

#include "base/trace.h"
#include "imagefile/image_door.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

// Reads a whole file into memory, refusing one larger than any foot image may be. Reading it
// first means the decoder never sees a file that changes or grows while it is being read.
bool readWholeFile(const char* path, std::vector<std::uint8_t>& bytes, std::string& reason)
{
    std::FILE* file = std::fopen(path, "rb");
    if (!file) {
        reason = std::strerror(errno);
        return false;
    }
    bytes.clear();
    std::uint8_t chunk[65536];
    bool ok = true;
    for (;;) {
        const std::size_t got = std::fread(chunk, 1, sizeof chunk, file);
        if (bytes.size() + got > MAX_IMAGE_FILE_BYTES) {
            reason = "the file is larger than the 64 MiB a foot image may have";
            ok = false;
            break;
        }
        bytes.insert(bytes.end(), chunk, chunk + got);
        if (got < sizeof chunk) {
            if (std::ferror(file)) {
                reason = std::strerror(errno);
                ok = false;
            }
            break;
        }
    }
    std::fclose(file);
    return ok;
}

}  // namespace

SourceImage::~SourceImage() { release(); }

void SourceImage::release()
{
    FreeImage_Unload(bitmap);
    bitmap = nullptr;
    bits = nullptr;
}

bool SourceImage::readFile(const char* path, std::vector<std::uint8_t>& bytes)
{
    std::string reason;
    if (readWholeFile(path, bytes, reason)) {
        return true;
    }
    format = FIF_UNKNOWN;
    release();
    traceLoadFailed();
    traceFileProblem("Cannot read foot image", path, reason.c_str());
    return false;
}

bool SourceImage::load(const char* path)
{
    std::vector<std::uint8_t> bytes;
    return readFile(path, bytes) && loadFromMemory(bytes.data(), bytes.size(), path);
}

bool SourceImage::loadFromMemory(const std::uint8_t* data, std::size_t size, const char* name)
{
    release();
    const DoorResult result = openFootImage(data, size);
    format = result.format;
    if (!result.bitmap) {
        traceLoadFailed();
        traceFileProblem("Cannot read foot image", name, result.reason.c_str());
        return false;
    }
    adopt(result.bitmap);
    return true;
}

void SourceImage::adopt(FIBITMAP* loaded)
{
    bitmap = loaded;
    bits = FreeImage_GetBits(bitmap);
    pitch = static_cast<std::int32_t>(FreeImage_GetPitch(bitmap));
    bpp = static_cast<std::int32_t>(FreeImage_GetBPP(bitmap));
    bytesPerPixel = bpp / 8;
    width = static_cast<std::int32_t>(FreeImage_GetWidth(bitmap));
    height = static_cast<std::int32_t>(FreeImage_GetHeight(bitmap));
    dpmX = static_cast<std::int32_t>(FreeImage_GetDotsPerMeterX(bitmap));
}

void SourceImage::swap(SourceImage& other) noexcept
{
    std::swap(bits, other.bits);
    std::swap(bitmap, other.bitmap);
    std::swap(pitch, other.pitch);
    std::swap(bpp, other.bpp);
    std::swap(bytesPerPixel, other.bytesPerPixel);
    std::swap(width, other.width);
    std::swap(height, other.height);
    std::swap(dpmX, other.dpmX);
    std::swap(format, other.format);
}
