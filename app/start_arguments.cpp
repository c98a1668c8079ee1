#include "app/start_arguments.h"

#include <cstring>

StartRequest readStartArguments(int argc, char** argv, ToolkitOption toolkitOption)
{
    StartRequest request;
    bool optionsEnded = false;
    bool footTaken = false;
    for (int i = 1; i < argc;) {
        const char* word = argv[i];
        if (!optionsEnded && toolkitOption(argc, argv, i) > 0) {
            continue;
        }
        ++i;
        if (!optionsEnded) {
            if (std::strcmp(word, "-h") == 0 || std::strcmp(word, "--help") == 0) {
                request.action = StartRequest::Action::Help;
                return request;
            }
            if (std::strcmp(word, "--version") == 0) {
                request.action = StartRequest::Action::Version;
                return request;
            }
            if (std::strcmp(word, "--") == 0) {
                optionsEnded = true;
                continue;
            }
            // A lone "-" is a name like any other.
            if (word[0] == '-' && word[1] != '\0') {
                request.action = StartRequest::Action::Usage;
                request.problem = std::string("unknown option \"") + word +
                                  "\", or an option of the window without a valid value";
                return request;
            }
        }
        if (footTaken) {
            request.action = StartRequest::Action::Usage;
            request.problem = "one foot image at most: \"" + request.foot + "\" and \"" + word +
                              "\" were given";
            return request;
        }
        request.foot = word;
        footTaken = true;
    }
    return request;
}

const char* startUsage()
{
    return "tarsola: turns a grey image of a foot into the height map of a diabetic insole.\n"
           "\n"
           "Usage: tarsola [OPTIONS] [FOOT]\n"
           "\n"
           "  FOOT                 foot image to load at start (BMP, PNG, TIFF, JPEG,\n"
           "                       PBM/PGM/PPM or Targa, 150 x 360 pixels, 1 px = 1 mm),\n"
           "                       a 3D scan of the sole (STL, OBJ or PLY), or a job:\n"
           "                       a 3MF that Tarsola wrote, reopened as it was made\n"
           "  -h, --help           print this help and exit\n"
           "  --version            print the version and exit\n"
           "  --                   every later word is the foot, even one starting with '-'\n"
           "\n"
           "Options of the window (FLTK's standard options, abbreviations allowed):\n"
           "  -geometry WxH+X+Y    size and place of the window\n"
           "  -display HOST:N.S    the X display to open\n"
           "  -scheme NAME         look of the controls: none, plastic, gtk+ or gleam\n"
           "  -title TITLE         title of the window\n"
           "  -name CLASS          class of the window (for the window manager)\n"
           "  -bg, -fg, -bg2 COLOUR  background, text and field colours\n"
           "  -iconic              start as an icon\n"
           "  -kbd, -nokbd         show or hide the keyboard focus\n"
           "  -dnd, -nodnd         allow or forbid dragging text\n"
           "  -tooltips, -notooltips  show or hide tooltips\n"
           "\n"
           "In the window: Ctrl+O loads a foot image, Ctrl+S saves the insole, and a foot image\n"
           "dropped on the window is loaded.\n"
           "Exit status: 0 when the window was closed, 1 when no display could be opened,\n"
           "2 when the command line was wrong.\n";
}
