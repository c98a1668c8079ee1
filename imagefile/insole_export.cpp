#include "imagefile/insole_export.h"

#include "base/trace.h"
#include "imagefile/file_names.h"
#include "imagefile/loaded_foot.h"
#include "imagefile/pixel_grey.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr std::size_t REASON_SIZE = 320;

const char* formatName(int format)
{
    const char* name = FreeImage_GetFormatFromFIF(static_cast<FREE_IMAGE_FORMAT>(format));
    return name ? name : "an unknown format";
}

// Whether two bitmaps hold the same pixel bytes: same pixel type, size and depth, and every
// scanline equal up to its last pixel (the padding to a multiple of 4 does not count).
bool samePixels(FIBITMAP* a, FIBITMAP* b)
{
    if (FreeImage_GetImageType(a) != FreeImage_GetImageType(b) ||
        FreeImage_GetWidth(a) != FreeImage_GetWidth(b) ||
        FreeImage_GetHeight(a) != FreeImage_GetHeight(b) ||
        FreeImage_GetBPP(a) != FreeImage_GetBPP(b)) {
        return false;
    }
    const unsigned lineBytes = FreeImage_GetLine(a);
    for (unsigned y = 0; y < FreeImage_GetHeight(a); ++y) {
        if (std::memcmp(FreeImage_GetScanLine(a, static_cast<int>(y)),
                        FreeImage_GetScanLine(b, static_cast<int>(y)), lineBytes) != 0) {
            return false;
        }
    }
    return true;
}

// Whether FreeImage writes this bitmap's pixel type and depth in this format. The library
// answers for the bit depth of standard bitmaps only; 16-bit grey and colour samples are
// answered by their pixel type alone.
bool canWrite(FREE_IMAGE_FORMAT format, FIBITMAP* bitmap)
{
    const FREE_IMAGE_TYPE type = FreeImage_GetImageType(bitmap);
    if (!FreeImage_FIFSupportsExportType(format, type)) {
        return false;
    }
    return type != FIT_BITMAP ||
           FreeImage_FIFSupportsExportBPP(format, static_cast<int>(FreeImage_GetBPP(bitmap)));
}

// A bitmap encoded into memory in one format, checked to read back as the same pixels.
class EncodedImage {
public:
    EncodedImage() = default;
    ~EncodedImage() { close(); }
    EncodedImage(const EncodedImage&) = delete;
    EncodedImage& operator=(const EncodedImage&) = delete;

    // Encodes with the format's default flags. On failure returns false and says why.
    bool encode(FIBITMAP* bitmap, FREE_IMAGE_FORMAT format, char (&reason)[REASON_SIZE])
    {
        close();
        const unsigned bpp = FreeImage_GetBPP(bitmap);
        if (format == FIF_UNKNOWN || !FreeImage_FIFSupportsWriting(format)) {
            std::snprintf(reason, sizeof reason, "the program cannot write %s", formatName(format));
            return false;
        }
        if (!canWrite(format, bitmap)) {
            std::snprintf(reason, sizeof reason, "the program cannot write %s at %u bits per pixel",
                          formatName(format), bpp);
            return false;
        }
        memory_ = FreeImage_OpenMemory();
        BYTE* bytes = nullptr;
        DWORD size = 0;
        if (!memory_ || !FreeImage_SaveToMemory(format, bitmap, memory_, 0) ||
            !FreeImage_AcquireMemory(memory_, &bytes, &size) || size == 0) {
            std::snprintf(reason, sizeof reason, "the heights could not be encoded as %s",
                          formatName(format));
            close();
            return false;
        }
        if (!readsBackAs(bitmap)) {
            std::snprintf(reason, sizeof reason,
                          "the %s data written do not read back as the same pixels",
                          formatName(format));
            close();
            return false;
        }
        data_ = bytes;
        size_ = size;
        return true;
    }

    const std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }

private:
    // Reads the encoded data back the way a foot image is read (the format found from the
    // contents) and compares the pixels: no height may be changed by the file format.
    bool readsBackAs(FIBITMAP* bitmap)
    {
        FreeImage_SeekMemory(memory_, 0, SEEK_SET);
        const FREE_IMAGE_FORMAT found = FreeImage_GetFileTypeFromMemory(memory_, 0);
        if (found == FIF_UNKNOWN) {
            return false;
        }
        FreeImage_SeekMemory(memory_, 0, SEEK_SET);
        FIBITMAP* decoded = FreeImage_LoadFromMemory(found, memory_, 0);
        const bool same = decoded && samePixels(bitmap, decoded);
        FreeImage_Unload(decoded);
        return same;
    }

    void close()
    {
        if (memory_) {
            FreeImage_CloseMemory(memory_);
        }
        memory_ = nullptr;
        data_ = nullptr;
        size_ = 0;
    }

    FIMEMORY* memory_ = nullptr;
    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

// Why a file of this kind ("insole", "preview", ...) was not saved: "Cannot save <what>
// <file>: <reason>".
void traceNotSaved(const char* what, const char* path, const char* reason)
{
    traceFileProblem((std::string("Cannot save ") + what).c_str(), path ? path : "", reason);
}

// Replaces the file with the encoded insole or picture, tracing why when it cannot.
bool replaceSavedFile(const char* what, const char* path, const EncodedImage& encoded)
{
    std::string failure;
    if (!replaceFile(path, encoded.data(), encoded.size(), failure)) {
        traceNotSaved(what, path, failure.c_str());
        return false;
    }
    return true;
}

// An 8-bit grey bitmap (grey palette) of the image's size and format, owned by `grey`.
bool makeGreyInsole(const SourceImage& image, SourceImage& grey)
{
    FIBITMAP* bitmap = allocateGreyBitmap(image.width, image.height);
    if (!bitmap) {
        return false;
    }
    grey.adopt(bitmap);
    grey.format = image.format;
    return true;
}

}  // namespace

void copyHeightsIntoImage(const Grid& heightGrid, SourceImage& image)
{
    const int bytesPerPixel = image.bytesPerPixel;
    if (!image.bits || bytesPerPixel <= 0 || image.width <= 0 || image.height <= 0) {
        return;
    }
    // A scanline holds at most pitch bytes; FreeImage's pitch always covers the width, and
    // the bound keeps a record that says otherwise from writing into the next scanline.
    const int columns = std::min(image.width, image.pitch / bytesPerPixel);
    for (int r = 0; r < image.height; ++r) {
        std::uint8_t* scanline = image.bits + static_cast<std::ptrdiff_t>(r) * image.pitch;
        for (int x = 0; x < columns; ++x) {
            const bool inGrid = r < GRID_ROWS && x < GRID_STRIDE;
            const std::uint8_t height = inGrid ? heightGrid[static_cast<std::size_t>(gridIndex(x, r))] : 0;
            for (int i = 0; i < bytesPerPixel; ++i) {
                scanline[x * bytesPerPixel + i] = height;
            }
        }
    }
}

bool isLossyFormat(FREE_IMAGE_FORMAT format)
{
    switch (format) {
    case FIF_JPEG:
    case FIF_JNG:
    case FIF_J2K:
    case FIF_JP2:
    case FIF_JXR:
    case FIF_WEBP:
        return true;
    default:
        return false;
    }
}

FREE_IMAGE_FORMAT exportFormatFor(const SourceImage& image, const char** whyNot)
{
    const auto format = static_cast<FREE_IMAGE_FORMAT>(image.format);
    const char* reason = nullptr;
    if (format == FIF_BMP) {
        reason = nullptr;
    } else if (format == FIF_UNKNOWN || !FreeImage_FIFSupportsWriting(format)) {
        reason = "the program cannot write that format";
    } else if (isLossyFormat(format)) {
        reason = "that format stores pixels lossily and would change the heights";
    } else if (image.bitmap && !canWrite(format, image.bitmap)) {
        reason = "the program cannot write that format at the image's bit depth";
    }
    if (whyNot) {
        *whyNot = reason;
    }
    return reason ? FIF_BMP : format;
}

bool saveBitmapFile(FIBITMAP* bitmap, FREE_IMAGE_FORMAT format, const char* path, const char* what)
{
    if (!bitmap) {
        traceNotSaved(what, path, "there is no bitmap to save");
        return false;
    }
    EncodedImage encoded;
    char reason[REASON_SIZE];
    if (!encoded.encode(bitmap, format, reason)) {
        traceNotSaved(what, path, reason);
        return false;
    }
    return replaceSavedFile(what, path, encoded);
}

bool saveInsole(const Grid& heightGrid, SourceImage& image, const char* chosenUtf8Name)
{
    const unsigned long problemsBefore = problemLinesWritten();
    if (image.empty()) {
        traceNothingToSave();
        return false;
    }
    if (!chosenUtf8Name || !*chosenUtf8Name) {
        traceSaveFailed("", "no file name was chosen");
        return false;
    }
    char name[PATH_BUFFER_SIZE];
    if (!copyChosenName(chosenUtf8Name, name)) {
        return false;
    }
    utf8ToAnsi(name);
    if (!ensureBmpExtension(name)) {
        return false;
    }

    // A pixel of 1 to 4 bits cannot hold a height: the insole is an 8-bit grey image of the
    // same size, in the foot image's format where that keeps it, and the foot image's own
    // bitmap stays as it was loaded.
    SourceImage greyInsole;
    SourceImage& target = image.bytesPerPixel > 0 ? image : greyInsole;
    if (&target == &greyInsole) {
        if (!makeGreyInsole(image, greyInsole)) {
            traceSaveFailed(name, "no memory for an 8-bit grey image");
            return false;
        }
        traceSavedAsGrey(name, image.bpp);
    }
    copyHeightsIntoImage(heightGrid, target);
    if (target.width > GRID_STRIDE || target.height > GRID_ROWS) {
        traceInsoleLargerThanGrid(name, target.width, target.height);
    }

    // The image's own format when it keeps every height; BMP, which the name promises,
    // when FreeImage cannot write it, would store it lossily, or changed a pixel after all.
    const char* whyNot = nullptr;
    const FREE_IMAGE_FORMAT ownFormat = exportFormatFor(target, &whyNot);
    EncodedImage encoded;
    char reason[REASON_SIZE];
    char ownFormatReason[REASON_SIZE];
    bool ok = false;
    if (!whyNot) {
        ok = encoded.encode(target.bitmap, ownFormat, reason);
        if (!ok && ownFormat != FIF_BMP) {
            std::memcpy(ownFormatReason, reason, sizeof reason);
            whyNot = ownFormatReason;
        }
    }
    if (whyNot) {
        traceSavedAsBmp(name, formatName(image.format), whyNot);
        ok = encoded.encode(target.bitmap, FIF_BMP, reason);
    }
    if (!ok) {
        traceSaveFailed(name, reason);
        return false;
    }
    if (!replaceSavedFile("insole", name, encoded)) {
        return false;
    }
    if (problemLinesWritten() == problemsBefore) {
        traceSuccess(std::string("Saved ") + fileNameOf(name));
    }
    return true;
}
