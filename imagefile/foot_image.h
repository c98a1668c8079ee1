// From a loaded foot image to the grids and measurements of the insole.
#pragma once

#include "imagefile/source_image.h"
#include "base/grid.h"

// Bounding box of the foot in footGrid cells, inclusive.
struct FootBox {
    int footMinX;
    int footMaxX;
    int footMinY;
    int footMaxY;

    int footWidth() const { return footMaxX - footMinX + 1; }
    int footLength() const { return footMaxY - footMinY + 1; }
};

// The box before any image is loaded: the whole grid, so that sizes computed from it
// before the first load are finite.
constexpr FootBox WHOLE_GRID_BOX{0, FOOT_COLUMNS - 1, 0, GRID_ROWS - 1};

// Copies the grey value of each pixel of the image's bottom-left 150 x 360 block into the
// three grids (the first byte of a standard pixel of 8 or more bits, the palette's grey of a
// packed 1- to 4-bit pixel, the high byte of a 16-bit sample; see GreyReader): heightGrid
// keeps every row, footGrid and displayGrid get 0 in rows 0 and 359.
// Cells beyond a smaller image are 0; the spare columns of heightGrid and displayGrid are
// left as they are.
void sampleFoot(const SourceImage& image, FootGrid& footGrid, Grid& heightGrid, Grid& displayGrid);

// Pixels of a grey value other than 0 that lie outside the bottom-left 150 x 360 block that
// sampling reads: foot that the insole would silently leave out. 0 for an image that is no
// larger than the block.
long greyPixelsOutsideBlock(const SourceImage& image);

// Pieces of foot (8-connected non-zero cells of footGrid) of at most `maxCells` cells, other
// than the largest piece: in a lossy image's background, the specks that its compression
// left, each of which would become a piece of insole.
int countSpecks(const FootGrid& footGrid, int maxCells);

// Bounding box of the non-zero cells of footGrid, its outermost rows and columns excluded.
// With no such cell the box keeps its start values (150, 0, 360, 0), giving negative sizes.
FootBox measureFoot(const FootGrid& footGrid);

// A slider's value and range as the load sets them.
struct SliderSetting {
    double value;
    double minimum;
    double maximum;
};

// The width slider runs from 80 % to 120 % of the measured foot width; each end is the double
// nearest its decimal value, so that the ends a person reads are the ends compared.
SliderSetting widthSliderSetting(int footWidth);
// The length slider runs from 50 % to 150 % of the measured foot length.
SliderSetting lengthSliderSetting(int footLength);

// Drawn size of the whole texture quad, in view pixels, for a slider value: the slider value
// against the measured size, scaled to the grid's full size (150 columns or 360 rows). The
// slider value is taken as a float, the arithmetic is done in double, the result is a float.
float displaySizeFor(double sliderValue, int footSize, int fullSize);
