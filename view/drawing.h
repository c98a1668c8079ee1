// Where the view draws the foot, and what that drawing looks like, computed without OpenGL.
// The view stretches its texture over a quad of the chosen size and reads the pixels back;
// the same placement here lets a front end without a screen, and the tests, compute the
// pixels that drawing gives.
#pragma once

#include "imagefile/foot_image.h"
#include "base/grid.h"

// The texture quad in view pixels: its bottom-left corner and its size.
struct QuadPlacement {
    float offsetX;   // the quad is moved right by this much ...
    float offsetY;   // ... and up by this much, so the foot's centre lands on the view's centre
    int quadWidth;   // ceil(displayWidth) + 1 pixels for all 152 texture columns
    int quadHeight;  // displayLength rounded to whole pixels, for all 360 texture rows
};

QuadPlacement placeQuad(const FootBox& box, float displayWidth, float displayLength);

// The nearest-texel drawing of displayGrid over the quad, as the view's 150 x 360 pixels
// read back into a grid: a pixel takes the texel under its centre, pixels outside the quad
// are 0, and the two spare columns beyond the view are 0.
//
// A pixel centre that lies within 1/256 pixel of a texel boundary or of the quad's edge
// may fall either way on a real GPU. When `ambiguous` is given, such cells are marked 1
// there (all others 0), so that a comparison with a GPU can leave them out.
void drawFootOnCpu(const Grid& displayGrid, const QuadPlacement& quad, Grid& drawn,
                   Grid* ambiguous = nullptr);
