// Tarsola: turns a grey image of a foot into the height map of a diabetic insole.
#include "app/fonts.h"
#include "app/main_window.h"
#include "imagefile/image_door.h"

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/x.H>

#include <cstdio>

int main(int argc, char** argv)
{
    // Without a display FLTK would end the process from deep inside with a terse message;
    // say plainly what is missing instead, before any window exists. The -display option
    // reaches XOpenDisplay through the environment, where FLTK's option parser puts it.
    int next = 1;
    Fl::args(argc, argv, next);
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
    return Fl::run();
}
