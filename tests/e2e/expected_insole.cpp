// Computes, without a window, the insole that the program's window gives for a foot image and
// a set of control values, so that the end-to-end suite can compare a saved file with it.
//
//   expected_insole FOOT WIDTH LENGTH HEIGHT LIMIT OUT
//
// WIDTH and LENGTH are the width and length sliders' values, HEIGHT the height ratio, LIMIT 1
// when the 30-degree limit is checked. Writes the 360 rows x 152 bytes of the height grid to
// OUT (row 0 first, the bottom row) and prints one line: the foot's box and sizes, the drawn
// size, the lowest height as the window traces it ("min %f"), how many drawn cells sit so close to a texel boundary that a GPU may sample them
// either way, and how many of those may really come out different. The heights are exact
// only when that last count is 0; the exit status is then 0, otherwise 3 (and 1 on bad
// arguments or an unreadable foot).
#include "imagefile/foot_image.h"
#include "view/drawing.h"
#include "view/insole_state.h"
#include "view/shaping.h"
#include "view/slope_limit.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstddef>
#include <cstdlib>
#include <memory>

int main(int argc, char** argv)
{
    if (argc != 7) {
        std::fprintf(stderr, "usage: %s FOOT WIDTH LENGTH HEIGHT LIMIT OUT\n", argv[0]);
        return 1;
    }
    const double widthValue = std::strtod(argv[2], nullptr);
    const double lengthValue = std::strtod(argv[3], nullptr);
    const double heightRatio = std::strtod(argv[4], nullptr);
    const bool limit = std::atoi(argv[5]) == 1;

    // The load traces on standard output; keep this tool's own line the only one there.
    std::fflush(stdout);
    const int realStdout = dup(STDOUT_FILENO);
    const int nowhere = open("/dev/null", O_WRONLY);
    if (realStdout < 0 || nowhere < 0 || dup2(nowhere, STDOUT_FILENO) < 0) {
        return 1;
    }
    auto state = std::make_unique<InsoleState>();
    const bool loaded = loadFoot(*state, argv[1]);
    std::fflush(stdout);
    if (dup2(realStdout, STDOUT_FILENO) < 0) {
        return 1;
    }
    close(realStdout);
    close(nowhere);
    if (!loaded) {
        std::fprintf(stderr, "cannot load foot image %s\n", argv[1]);
        return 1;
    }

    state->displayWidth = displaySizeFor(widthValue, state->footWidth, FOOT_COLUMNS);
    state->displayLength = displaySizeFor(lengthValue, state->footLength, GRID_ROWS);
    const QuadPlacement quad = placeQuad(state->footBox(), state->displayWidth, state->displayLength);
    auto ambiguous = std::make_unique<Grid>();
    auto drawn = std::make_unique<Grid>();
    drawFootOnCpu(state->displayGrid, quad, *drawn, ambiguous.get());
    state->heightGrid = *drawn;
    const float lowest = shapeHeights(state->heightGrid, state->footLength, lengthValue, heightRatio);
    if (limit) {
        limitSlopes(state->heightGrid);
    }

    // A cell near a texel boundary is harmless when both texels it may show hold the same
    // value (at the foot's rim and in the black margin they usually do). Moving the quad by
    // more than the ambiguity margin, each way on each axis, makes every such cell take each
    // of its possible texels in one of the drawings; only a cell whose value differs between
    // them can make the window's insole differ from this one.
    int ambiguousCells = 0;
    int undecidedCells = 0;
    auto variant = std::make_unique<Grid>();
    for (const float dx : {-1.0f / 128, 0.0f, 1.0f / 128}) {
        for (const float dy : {-1.0f / 128, 0.0f, 1.0f / 128}) {
            QuadPlacement moved = quad;
            moved.offsetX += dx;
            moved.offsetY += dy;
            drawFootOnCpu(state->displayGrid, moved, *variant);
            for (std::size_t i = 0; i < variant->size(); ++i) {
                if ((*ambiguous)[i] && (*variant)[i] != (*drawn)[i] && (*ambiguous)[i] == 1) {
                    (*ambiguous)[i] = 2;
                    ++undecidedCells;
                }
            }
        }
    }
    for (unsigned char cell : *ambiguous) {
        ambiguousCells += cell != 0;
    }
    std::FILE* out = std::fopen(argv[6], "wb");
    if (!out || std::fwrite(state->heightGrid.data(), 1, state->heightGrid.size(), out) !=
                    state->heightGrid.size() || std::fclose(out) != 0) {
        std::fprintf(stderr, "cannot write %s\n", argv[6]);
        return 1;
    }
    std::printf("box %d %d %d %d size %d %d drawn %f %f near-boundary %d undecided %d min %f\n", state->footMinX,
                state->footMaxX, state->footMinY, state->footMaxY, state->footWidth,
                state->footLength, static_cast<double>(state->displayWidth),
                static_cast<double>(state->displayLength), ambiguousCells, undecidedCells,
                static_cast<double>(lowest));
    return undecidedCells == 0 ? 0 : 3;
}
