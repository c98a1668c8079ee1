#include "imagefile/pixel_grey.h"

GreyReader greyReaderFor(const SourceImage& image)
{
    GreyReader reader;
    reader.bytesPerPixel = image.bytesPerPixel;
    if (!image.bitmap) {
        return reader;
    }
    switch (FreeImage_GetImageType(image.bitmap)) {
    case FIT_UINT16:
    case FIT_RGB16:
    case FIT_RGBA16:
        // value >> 8: a full-scale 16-bit relief fills the 8-bit range.
        reader.offset = 1;
        break;
    default:
        if (image.bpp < 8) {
            reader.bitsPerIndex = image.bpp;
            reader.palette = FreeImage_GetPalette(image.bitmap);
            reader.paletteSize = reader.palette ? FreeImage_GetColorsUsed(image.bitmap) : 0;
        }
        break;
    }
    return reader;
}

const char* pixelLayoutRefusal(FREE_IMAGE_TYPE type, unsigned bpp)
{
    switch (type) {
    case FIT_BITMAP:
        if (bpp == 1 || bpp == 2 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32) {
            return nullptr;
        }
        return "its bits per pixel are none of 1, 2, 4, 8, 16, 24 or 32; save it as an 8-bit "
               "grey image";
    case FIT_UINT16:
    case FIT_RGB16:
    case FIT_RGBA16:
        return nullptr;
    case FIT_FLOAT:
    case FIT_DOUBLE:
    case FIT_RGBF:
    case FIT_RGBAF:
        return "float pixels hold no grey levels; save the depth map as 8- or 16-bit grey";
    case FIT_COMPLEX:
        return "complex pixels hold no grey levels; save the depth map as 8- or 16-bit grey";
    case FIT_INT16:
    case FIT_INT32:
    case FIT_UINT32:
        return "signed or 32-bit integer pixels hold no grey levels the program can read; save "
               "the depth map as 8- or 16-bit unsigned grey";
    default:
        return "its pixel type is unknown; save it as an 8- or 16-bit grey image";
    }
}

FIBITMAP* allocateGreyBitmap(int width, int height)
{
    FIBITMAP* bitmap = FreeImage_Allocate(width, height, 8);
    if (!bitmap) {
        return nullptr;
    }
    RGBQUAD* palette = FreeImage_GetPalette(bitmap);
    for (int i = 0; i < 256; ++i) {
        palette[i].rgbRed = palette[i].rgbGreen = palette[i].rgbBlue = static_cast<BYTE>(i);
        palette[i].rgbReserved = 0;
    }
    return bitmap;
}
