// Where the view draws the foot, and what that drawing looks like, computed without OpenGL.
// The view shows its texture stretched over a quad of the chosen size; the insole's heights
// come from this rule, not from what a graphics driver happens to draw, so that the window
// and the batch make the same insole on any driver and at any window size.
#pragma once

#include "imagefile/foot_image.h"
#include "base/grid.h"

#include <array>

// The texture quad in view pixels: its bottom-left corner and its size.
struct QuadPlacement {
    float offsetX;   // the quad is moved right by this much ...
    float offsetY;   // ... and up by this much, so the foot's centre lands on the view's centre
    int quadWidth;   // ceil(displayWidth) + 1 pixels for all 152 texture columns
    int quadHeight;  // displayLength rounded to whole pixels, for all 360 texture rows
};

QuadPlacement placeQuad(const FootBox& box, float displayWidth, float displayLength);

// The nearest-texel drawing of displayGrid over the quad, as the view's 150 x 360 pixels
// in a grid: a pixel takes the texel under its centre, pixels outside the quad are 0, and
// the two spare columns beyond the view are 0. Every cell is decided exactly: a centre that
// falls on a texel boundary takes the texel above it, one on the quad's lower or left edge
// is inside, one on its upper or right edge outside.
//
// A pixel centre that lies within 1/256 pixel of a texel boundary or of the quad's edge
// may fall either way on a real GPU, so the picture the view shows may differ there by a
// texel. When `ambiguous` is given, such cells are marked 1 there (all others 0), so that a
// comparison with a GPU's picture can leave them out.
void drawFootOnCpu(const Grid& displayGrid, const QuadPlacement& quad, Grid& drawn,
                   Grid* ambiguous = nullptr);

// A layer laid out on the foot image's grid (stride 150, row 0 at the bottom), drawn onto the
// insole's grid exactly as the foot is drawn: the same quad, the same rule, the two spare
// texture columns black. The relief's raise and zones follow the foot so, and stretch with
// the width and length.
struct FootLayer {
    const FootGrid* texels;
    Grid* drawn;
};
void drawFootLayersOnCpu(const FootLayer* layers, int count, const QuadPlacement& quad);

// Values laid out on the foot image's grid (such as the placed peak pressure, in kPa), drawn
// onto the insole's grid by the same rule and quad as the foot, so that a picture of them
// lines up with the insole cell for cell. A cell that takes no texel of the foot image
// (outside the quad, or on the two spare texture columns) gets `outside`.
using FootValues = std::array<float, GRID_ROWS * FOOT_STRIDE>;
using DrawnValues = std::array<float, GRID_ROWS * GRID_STRIDE>;
void drawFootValuesOnCpu(const FootValues& texels, const QuadPlacement& quad, DrawnValues& drawn,
                         float outside);

// Where a point of the foot image's grid (in mm from its bottom-left corner) lands on the
// insole's grid, in mm from its bottom-left corner, under the quad's stretch and shift.
void drawnPoint(const QuadPlacement& quad, double footX, double footY, double& insoleX,
                double& insoleY);

// How much of the foot's box a drawing puts beyond the view's 150 x 360 pixels, by the same
// rule: the pixel rows (and columns) outside the grid whose centres fall on a texel row (or
// column) of the box. Those parts of the insole are cut off.
struct GridOverflow {
    int rowsLost = 0;
    int columnsLost = 0;

    bool any() const { return rowsLost > 0 || columnsLost > 0; }
};

GridOverflow drawnFootOverflow(const FootBox& box, const QuadPlacement& quad);
