// Draws the sample foot shipped with the project: a 150 x 360 grey image, 1 px = 1 mm, of a
// plausible adult right foot (about 100 mm wide and 265 mm long) with relief: higher under the
// inner arch, lower under the heel's centre and the ball of the foot. Usage:
//   make_sample_foot samples/foot.bmp
#include "imagefile/insole_export.h"

#include <FreeImage.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

double sq(double v) { return v * v; }

// Inside an ellipse of centre (cx, cy) and radii (rx, ry): a value below 1.
double ellipse(double x, double y, double cx, double cy, double rx, double ry)
{
    return sq((x - cx) / rx) + sq((y - cy) / ry);
}

// Grey value of pixel (x, y), y counted from the heel end (the bottom row); 0 outside.
int footValue(double x, double y)
{
    const bool heel = ellipse(x, y, 78, 78, 30, 44) < 1;
    // The midfoot narrows on the inner (left) side where the arch lifts off the ground.
    const double innerEdge = 50 + 14 * std::exp(-sq((y - 150) / 40));
    const bool midfoot = y >= 70 && y <= 220 && x >= innerEdge && x <= 112 - 4 * std::exp(-sq((y - 140) / 50));
    const bool ball = ellipse(x, y, 78, 215, 46, 52) < 1;
    // Toes: the big toe on the inner side, four smaller ones falling away outward.
    const double toeX[] = {46, 67, 84, 99, 112};
    const double toeY[] = {272, 275, 268, 258, 245};
    const double toeR[] = {15, 10, 9, 8, 7};
    bool toe = false;
    for (int i = 0; i < 5; ++i) {
        toe = toe || ellipse(x, y, toeX[i], toeY[i], toeR[i], toeR[i] * 1.5) < 1;
    }
    if (!(heel || midfoot || ball || toe)) {
        return 0;
    }
    double v = 70;
    v += 70 * std::exp(-sq((x - 62) / 16) - sq((y - 140) / 45));    // inner arch support
    v += 25 * std::exp(-sq((x - 100) / 12) - sq((y - 130) / 50));   // outer arch
    v -= 25 * std::exp(-sq((x - 78) / 14) - sq((y - 60) / 18));     // heel cup
    v -= 20 * std::exp(-sq((x - 75) / 30) - sq((y - 215) / 12));    // ball of the foot
    v += 15 * std::exp(-sq((x - 75) / 20) - sq((y - 190) / 10));    // metatarsal pad
    v -= toe ? 20 : 0;
    return std::clamp(static_cast<int>(std::lround(v)), 1, 255);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_sample_foot OUT.bmp\n");
        return 2;
    }
    constexpr int width = 150;
    constexpr int height = 360;
    FIBITMAP* bitmap = FreeImage_Allocate(width, height, 8);
    RGBQUAD* palette = FreeImage_GetPalette(bitmap);
    for (int i = 0; i < 256; ++i) {
        palette[i].rgbRed = palette[i].rgbGreen = palette[i].rgbBlue = static_cast<BYTE>(i);
    }
    // The foot starts 40 mm above the image's bottom edge and is centred sideways.
    for (int y = 0; y < height; ++y) {
        BYTE* line = FreeImage_GetScanLine(bitmap, y);
        for (int x = 0; x < width; ++x) {
            line[x] = static_cast<BYTE>(footValue(x + 0.5 - (width / 2 - 78), y + 0.5 - 40));
        }
    }
    const bool written = saveBitmapFile(bitmap, FIF_BMP, argv[1]);
    FreeImage_Unload(bitmap);
    return written ? 0 : 1;
}
