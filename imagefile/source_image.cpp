#include "imagefile/source_image.h"

#include "app/trace.h"

#include <cstdio>

namespace {

// Why a bitmap that FreeImage delivered cannot be a foot image, or nullptr when it can.
// Sampling takes the first byte of each pixel as the grey value, which holds only for
// standard bitmaps of 8 or more bits per pixel.
const char* unusableReason(FIBITMAP* bitmap, char (&reason)[128])
{
    const FREE_IMAGE_TYPE type = FreeImage_GetImageType(bitmap);
    if (type != FIT_BITMAP) {
        std::snprintf(reason, sizeof reason,
                      "pixel type %d is not a plain 8, 24 or 32-bit bitmap", static_cast<int>(type));
        return reason;
    }
    const unsigned bpp = FreeImage_GetBPP(bitmap);
    if (bpp < 8) {
        std::snprintf(reason, sizeof reason,
                      "%u bits per pixel; a foot image needs 8 or more", bpp);
        return reason;
    }
    if (FreeImage_GetWidth(bitmap) == 0 || FreeImage_GetHeight(bitmap) == 0 ||
        FreeImage_GetBits(bitmap) == nullptr) {
        return "the image holds no pixels";
    }
    return nullptr;
}

}  // namespace

SourceImage::~SourceImage() { release(); }

void SourceImage::release()
{
    FreeImage_Unload(bitmap);
    bitmap = nullptr;
    bits = nullptr;
}

bool SourceImage::load(const char* path)
{
    format = FreeImage_GetFileType(path, 0);
    release();
    FIBITMAP* loaded = format == FIF_UNKNOWN ? nullptr
                                             : FreeImage_Load(static_cast<FREE_IMAGE_FORMAT>(format), path, 0);
    if (!loaded) {
        traceLoadFailed();
        traceFileProblem("Cannot read foot image", path,
                         format == FIF_UNKNOWN ? "not an image format that FreeImage recognises"
                                               : "FreeImage could not decode it");
        return false;
    }
    return adopt(loaded, path);
}

bool SourceImage::adopt(FIBITMAP* loaded, const char* path)
{
    char reason[128];
    if (const char* why = unusableReason(loaded, reason)) {
        FreeImage_Unload(loaded);
        traceLoadFailed();
        traceFileProblem("Cannot use foot image", path, why);
        return false;
    }
    bitmap = loaded;
    bits = FreeImage_GetBits(bitmap);
    pitch = static_cast<std::int32_t>(FreeImage_GetPitch(bitmap));
    bpp = static_cast<std::int32_t>(FreeImage_GetBPP(bitmap));
    bytesPerPixel = bpp / 8;
    width = static_cast<std::int32_t>(FreeImage_GetWidth(bitmap));
    height = static_cast<std::int32_t>(FreeImage_GetHeight(bitmap));
    dpmX = static_cast<std::int32_t>(FreeImage_GetDotsPerMeterX(bitmap));
    return true;
}
