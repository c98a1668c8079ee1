#include "base/trace.h"

#include "base/level.h"

#include <cstdio>

namespace {

// Where the two kinds of line go; until a front end chooses, standard output and error.
bool streamsChosen = false;
std::FILE* runningStream = nullptr;
std::FILE* problemStream = nullptr;

template <typename... Args>
void out(const char* format, Args... args)
{
    std::FILE* stream = streamsChosen ? runningStream : stdout;
    if (stream) {
        std::fprintf(stream, format, args...);
        std::fflush(stream);
    }
}

template <typename... Args>
void err(const char* format, Args... args)
{
    std::FILE* stream = streamsChosen ? problemStream : stderr;
    if (stream) {
        std::fprintf(stream, format, args...);
        std::fflush(stream);
    }
}

}  // namespace

std::FILE* runningTraceStream() { return streamsChosen ? runningStream : stdout; }
std::FILE* problemTraceStream() { return streamsChosen ? problemStream : stderr; }

void setTraceStreams(std::FILE* running, std::FILE* problems)
{
    streamsChosen = true;
    runningStream = running;
    problemStream = problems;
}

void traceGridMinimum(int minimum) { out("MIN = %d \n", minimum); }
void traceLowestHeight(float lowest) { out("min %f\n", static_cast<double>(lowest)); }
void traceDisplayWidth(float displayWidth) { out(" LU_Point %f \n", static_cast<double>(displayWidth)); }
void tracePan(int panX, int panY) { out("offset %d %d \n", panX, panY); }
void traceMiddleClick() { out("%s", "middle mouse click \n"); }
void traceMouseWheel(int dy) { out("mouse wheel %d \n", dy); }

void traceImageProperties(int width, int height, int dpmX, int pitch, int bpp)
{
    out("width %d", width);
    out("height %d", height);
    out("dpmX %d", dpmX);
    out("pitch %d", pitch);
    out("bpp %d", bpp);
}

void traceLoadFailed() { out("%s", "Unable to load texture: "); }

void traceScanPlaced(const char* file, const char* format, std::size_t triangles, const char* units,
                     bool unitsGuessed, double lengthMm, double widthMm, double heightMm,
                     double turnDegrees, const char* up, int filledCells)
{
    out("Scan %s: %s, %zu triangles, units %s (%s), %.1f x %.1f x %.1f mm (length x width x "
        "height), turned %.1f degrees about the up axis (%s up), %d cells of small holes filled\n",
        file, format, triangles, units, unitsGuessed ? "found from its size" : "as given", lengthMm,
        widthMm, heightMm, turnDegrees, up, filledCells);
}

void traceImageLibraryMessage(const char* format, const char* message)
{
    err("FreeImage %s: %s\n", format, message);
}

void traceDropIgnored(const char* reason) { err("Drop ignored: %s\n", reason); }

void traceDialogError(const char* message)
{
    err("ERROR: %s\n", message ? message : "");
    err("%s", "*** CANCEL\n");
}

void traceDialogCancel() { err("%s", "*** CANCEL\n"); }

void traceNothingToSave() { err("%s", "Cannot save insole: no foot image is loaded\n"); }

void traceSaveFailed(const char* file, const char* reason)
{
    err("Cannot save insole %s: %s\n", file, reason);
}

void traceSavedAsBmp(const char* file, const char* format, const char* reason)
{
    err("Insole %s is written as BMP, not %s: %s\n", file, format, reason);
}

void traceSavedAsGrey(const char* file, int bpp)
{
    err("Insole %s is written as an 8-bit grey image: a pixel of %d bits cannot hold a height\n",
        file, bpp);
}

void traceInsoleLargerThanGrid(const char* file, int width, int height)
{
    err("Insole %s: %d x %d pixels is larger than 152 x 360; pixels beyond the grid are 0\n",
        file, width, height);
}

void traceNoSolidToSave()
{
    err("%s", "Cannot save solid: the insole has no foot cell, so there is nothing to save\n");
}

void traceSolidSaveFailed(const char* file, const char* reason)
{
    err("Cannot save solid %s: %s\n", file, reason);
}

void traceNoFootForSolid() { err("%s", "Cannot save solid: no foot image is loaded\n"); }

void traceLevelRefused(const char* entry)
{
    err("Level size \"%s\" refused: it must be a number from %g to %g (mm)\n", entry, MIN_LEVEL_MM,
        MAX_LEVEL_MM);
}

void traceFileProblem(const char* what, const char* file, const char* reason)
{
    err("%s %s: %s\n", what, file, reason);
}
