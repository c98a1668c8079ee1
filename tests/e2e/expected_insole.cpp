// Computes, without a window, the insole that the program's window gives for a foot image and
// a set of control values, so that the end-to-end suite can compare a saved file with it.
//
//   expected_insole FOOT WIDTH LENGTH HEIGHT LIMIT OUT
//
// WIDTH and LENGTH are the width and length sliders' values, HEIGHT the height ratio, LIMIT 1
// when the 30-degree limit is checked. Writes the 360 rows x 152 bytes of the height grid to
// OUT (row 0 first, the bottom row) and prints one line: the foot's box and sizes, the drawn
// size and the lowest height as the window traces it ("min %f"). Exits with 1 on bad
// arguments or an unreadable foot.
#include "insole/insole_state.h"
#include "insole/recompute.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

int main(int argc, char** argv)
{
    if (argc != 7) {
        std::fprintf(stderr, "usage: %s FOOT WIDTH LENGTH HEIGHT LIMIT OUT\n", argv[0]);
        return 1;
    }
    InsoleSettings settings;
    settings.width = std::strtod(argv[2], nullptr);
    settings.length = std::strtod(argv[3], nullptr);
    settings.heightRatio = std::strtod(argv[4], nullptr);
    settings.limit = std::atoi(argv[5]) == 1;

    // The load and the recompute trace on standard output; keep this tool's own line the
    // only one there.
    std::fflush(stdout);
    const int realStdout = dup(STDOUT_FILENO);
    const int nowhere = open("/dev/null", O_WRONLY);
    if (realStdout < 0 || nowhere < 0 || dup2(nowhere, STDOUT_FILENO) < 0) {
        return 1;
    }
    auto state = std::make_unique<InsoleState>();
    const bool loaded = loadFoot(*state, argv[1]);
    const float lowest = loaded ? recomputeHeights(*state, settings) : 0.0f;
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

    std::FILE* out = std::fopen(argv[6], "wb");
    if (!out || std::fwrite(state->heightGrid.data(), 1, state->heightGrid.size(), out) !=
                    state->heightGrid.size() || std::fclose(out) != 0) {
        std::fprintf(stderr, "cannot write %s\n", argv[6]);
        return 1;
    }
    std::printf("box %d %d %d %d size %d %d drawn %f %f min %f\n", state->footMinX,
                state->footMaxX, state->footMinY, state->footMaxY, state->footWidth,
                state->footLength, static_cast<double>(state->displayWidth),
                static_cast<double>(state->displayLength), static_cast<double>(lowest));
    return 0;
}
