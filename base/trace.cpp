#include "base/trace.h"

#include "base/level.h"

#include <cstdio>
#include <vector>

namespace {

// Where the two kinds of line go; until a front end chooses, standard output and error.
bool streamsChosen = false;
std::FILE* runningStream = nullptr;
std::FILE* problemStream = nullptr;
MessageListener messageListener = nullptr;
unsigned long problemLines = 0;
// The file the problem line being written is about, while a trace function names one. A
// batch may trace from several threads: each has its own.
thread_local const char* lineFile = nullptr;

// While one lives, the problem lines written are about this file.
class AboutFile {
public:
    explicit AboutFile(const char* file) { lineFile = file; }
    ~AboutFile() { lineFile = nullptr; }
    AboutFile(const AboutFile&) = delete;
    AboutFile& operator=(const AboutFile&) = delete;
};

template <typename... Args>
void out(const char* format, Args... args)
{
    std::FILE* stream = streamsChosen ? runningStream : stdout;
    if (stream) {
        std::fprintf(stream, format, args...);
        std::fflush(stream);
    }
}

// A problem line: on the problem stream, and as a message for whoever listens.
template <typename... Args>
void problem(MessageKind kind, const char* format, Args... args)
{
    ++problemLines;
    std::FILE* stream = streamsChosen ? problemStream : stderr;
    if (stream) {
        std::fprintf(stream, format, args...);
        std::fflush(stream);
    }
    if (messageListener) {
        const int length = std::snprintf(nullptr, 0, format, args...);
        if (length > 0) {
            std::vector<char> text(static_cast<std::size_t>(length) + 1);
            std::snprintf(text.data(), text.size(), format, args...);
            std::string message(text.data(), static_cast<std::size_t>(length));
            while (!message.empty() && message.back() == '\n') {
                message.pop_back();
            }
            messageListener(message, kind, lineFile ? lineFile : "");
        }
    }
}

template <typename... Args>
void err(const char* format, Args... args)
{
    problem(MessageKind::Error, format, args...);
}

template <typename... Args>
void warn(const char* format, Args... args)
{
    problem(MessageKind::Warning, format, args...);
}

}  // namespace

std::FILE* runningTraceStream() { return streamsChosen ? runningStream : stdout; }
std::FILE* problemTraceStream() { return streamsChosen ? problemStream : stderr; }

void setMessageListener(MessageListener listener) { messageListener = listener; }

unsigned long problemLinesWritten() { return problemLines; }

void traceSuccess(const std::string& text)
{
    if (messageListener) {
        messageListener(text, MessageKind::Done, "");
    }
}

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
    // The library's own words, for whoever debugs a file: the refusal that follows says in
    // the program's words what became of the file, and only that reaches a window.
    std::FILE* stream = streamsChosen ? problemStream : stderr;
    if (stream) {
        std::fprintf(stream, "FreeImage %s: %s\n", format, message);
        std::fflush(stream);
    }
}

void traceDropIgnored(const char* reason) { err("Drop ignored: %s\n", reason); }

void traceDialogError(const char* message)
{
    err("ERROR: %s\n", message ? message : "");
    traceDialogCancel();
}

void traceDialogCancel()
{
    // A cancel is a person's choice, not news: it is no message of its own.
    const MessageListener listener = messageListener;
    messageListener = nullptr;
    err("%s", "*** CANCEL\n");
    messageListener = listener;
}

void traceNothingToSave() { err("%s", "Cannot save insole: no foot image is loaded\n"); }

void traceSaveFailed(const char* file, const char* reason)
{
    const AboutFile about(file);
    err("Cannot save insole %s: %s\n", file, reason);
}

void traceSavedAsBmp(const char* file, const char* format, const char* reason)
{
    const AboutFile about(file);
    warn("Insole %s is written as BMP, not %s: %s\n", file, format, reason);
}

void traceSavedAsGrey(const char* file, int bpp)
{
    const AboutFile about(file);
    warn("Insole %s is written as an 8-bit grey image: a pixel of %d bits cannot hold a height\n",
        file, bpp);
}

void traceInsoleLargerThanGrid(const char* file, int width, int height)
{
    const AboutFile about(file);
    warn("Insole %s: %d x %d pixels is larger than 152 x 360; pixels beyond the grid are 0\n",
        file, width, height);
}

void traceNoSolidToSave()
{
    err("%s", "Cannot save solid: the insole has no foot cell, so there is nothing to save\n");
}

void traceSolidSaveFailed(const char* file, const char* reason)
{
    const AboutFile about(file);
    err("Cannot save solid %s: %s\n", file, reason);
}

void traceNoFootForSolid() { err("%s", "Cannot save solid: no foot image is loaded\n"); }

void traceLevelRefused(const char* entry)
{
    err("Level size \"%s\" refused: it must be a number from %g to %g (mm)\n", entry, MIN_LEVEL_MM,
        MAX_LEVEL_MM);
}

void traceMillEntryRefused(const char* name, const char* entry, const char* why)
{
    std::string named = name;
    if (!named.empty() && named[0] >= 'a' && named[0] <= 'z') {
        named[0] = static_cast<char>(named[0] - 'a' + 'A');
    }
    err("%s \"%s\" refused: %s\n", named.c_str(), entry, why);
}

void traceMillRefused(const char* reason) { err("Cannot mill the insole: %s\n", reason); }

void traceFileProblem(const char* what, const char* file, const char* reason)
{
    const AboutFile about(file);
    err("%s %s: %s\n", what, file, reason);
}

void traceFileWarning(const char* what, const char* file, const char* reason)
{
    const AboutFile about(file);
    warn("%s %s: %s\n", what, file, reason);
}

void traceInsoleCut(int rowsLost, int columnsLost)
{
    if (rowsLost > 0 && columnsLost > 0) {
        warn("Insole cut at the grid's edge: %d rows and %d columns lost\n", rowsLost, columnsLost);
    } else if (rowsLost > 0) {
        warn("Insole cut at the grid's edge: %d rows lost\n", rowsLost);
    } else {
        warn("Insole cut at the grid's edge: %d columns lost\n", columnsLost);
    }
}

void tracePressureRefused(const char* failure) { err("Cannot read pressure measurement %s\n", failure); }

void traceEntryRefused(const char* what, const char* entry, const char* range)
{
    err("%s \"%s\" refused: it must be a number from %s\n", what, entry, range);
}
