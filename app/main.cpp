// Tarsola: turns a grey image of a foot into the height map of a diabetic insole.
#include "app/fonts.h"
#include "app/main_window.h"
#include "app/start_arguments.h"
#include "imagefile/image_door.h"
#include "view/gl_display_image.h"

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/x.H>

#include <cstdio>

namespace {

// Status for a command line that cannot run; 1 is kept for a missing display.
constexpr int BAD_ARGUMENTS = 2;

}  // namespace

int main(int argc, char** argv)
{
    // FLTK's options are read by FLTK's own parser, one word at a time. Since every word but
    // those after "--" reaches that parser, FLTK counts the command line as read, and the
    // window's show(argc, argv) below applies the options without reading the words again
    // (it would otherwise print its option list at the foot's name).
    const StartRequest request = readStartArguments(argc, argv, Fl::arg);
    switch (request.action) {
    case StartRequest::Action::Help:
        std::fputs(startUsage(), stdout);
        return 0;
    case StartRequest::Action::Version:
        std::printf("tarsola %s\n", TARSOLA_VERSION);
        return 0;
    case StartRequest::Action::Usage:
        std::fprintf(stderr, "tarsola: %s\n\n%s", request.problem.c_str(), startUsage());
        return BAD_ARGUMENTS;
    case StartRequest::Action::Run:
        break;
    }

    // Without a display FLTK would end the process from deep inside with a terse message;
    // say plainly what is missing instead, before any window exists. The -display option
    // reaches XOpenDisplay through the environment, where FLTK's option parser puts it.
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "tarsola: cannot open the X display \"%s\"; run it on a desktop\n", XDisplayName(nullptr));
        return 1;
    }
    fl_open_display(display);
    routeImageLibraryMessages();
    useFontForLabels();
    Fl_Double_Window* window = createMainWindow();
    window->show(argc, argv);
    keepMainWindowSize(window);
    // The window opens whatever becomes of the foot: a file Load would refuse is refused
    // with the same trace, and the window waits for another.
    if (!request.foot.empty()) {
        insoleView->loadFootFile(request.foot.c_str());
    }
    return Fl::run();
}
