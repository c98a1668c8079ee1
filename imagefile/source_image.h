// The loaded foot image: a FreeImage bitmap that the record owns, with the properties that
// sampling and export need.
#pragma once

#include <FreeImage.h>

#include <cstddef>
#include <cstdint>
#include <vector>

struct SourceImage {
    // First byte of the pixel data; scanline 0 is the bottom row of the picture.
    std::uint8_t* bits = nullptr;
    // The loaded bitmap; null while the record is empty.
    FIBITMAP* bitmap = nullptr;
    std::int32_t pitch = 0;          // bytes from one scanline to the next
    std::int32_t bpp = 0;            // bits per pixel
    std::int32_t bytesPerPixel = 0;  // bpp / 8, truncated
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t dpmX = 0;           // horizontal resolution; only traced
    std::int32_t format = FIF_UNKNOWN;  // the format detected when the file was read

    SourceImage() = default;
    ~SourceImage();
    SourceImage(const SourceImage&) = delete;
    SourceImage& operator=(const SourceImage&) = delete;

    bool empty() const { return bitmap == nullptr; }

    // Reads a foot image, the format found from the file's contents. Returns true when the
    // record then describes the new bitmap; on false the record is empty and a trace says why.
    // The file is read whole (readFile) and decoded from memory through the image door.
    bool load(const char* path);

    // The same from the bytes of a file already in memory; `name` only names it in traces.
    bool loadFromMemory(const std::uint8_t* data, std::size_t size, const char* name);

    // Reads a whole foot file (at most 64 MiB) into `bytes`, so that no decoder ever sees a
    // file that changes or grows while it is read. On failure the record is emptied, as a
    // failed load leaves it, the trace says why, and false is returned.
    bool readFile(const char* path, std::vector<std::uint8_t>& bytes);

    // Exchanges the two records' bitmaps and properties; each still owns what it describes.
    void swap(SourceImage& other) noexcept;

    // Releases the bitmap; the record is empty afterwards.
    void release();

    // Takes a bitmap that nothing else owns into an empty record, which then describes it
    // and releases it.
    void adopt(FIBITMAP* loaded);
};
