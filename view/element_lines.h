// What the 3D view draws over the solid while the prescription is being made: each element's
// outline where it raises the insole, the foot's axis and its head line, all on the insole's
// grid as the foot is drawn there, a little above the top.
#pragma once

#include "base/grid.h"
#include "insole/drawing.h"
#include "insole/foot_frame.h"
#include "view/solid_picture.h"

// The outline of each element (its bit in `drawnOutlines`, as DrawnElements has them) on the
// top of the solid of `heights`.
SolidLines elementOutlines(const Grid& drawnOutlines, const Grid& heights, double levelMm);

// The axis from the heel's end to the toes' and the head line from its lateral to its medial
// edge, drawn with the quad the foot was drawn with, each a polyline on the top.
SolidLines landmarkLines(const FootFrame& frame, const QuadPlacement& quad, const Grid& heights,
                         double levelMm);
