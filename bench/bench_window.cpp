#include "bench_window.h"

#include "app/main_window.h"
#include "app/solid_window.h"
#include "view/gl_display_image.h"

#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Check_Button.H>
#include <FL/x.H>

#include <FL/Fl.H>

#include <cstdio>
#include <string>
#include <thread>

#include <dirent.h>
#include <unistd.h>

namespace {

std::string folder;

}  // namespace

Fl_Double_Window* openBenchWindow(const char* bench)
{
    if (!XOpenDisplay(nullptr)) {
        std::fprintf(stderr, "%s needs a display: run it with xvfb-run\n", bench);
        return nullptr;
    }
    std::string name = std::string("/tmp/") + bench + "-XXXXXX";
    if (!mkdtemp(name.data()) || chdir(name.c_str()) != 0) {
        std::fprintf(stderr, "%s: no folder of its own in /tmp\n", bench);
        return nullptr;
    }
    folder = name;
    Fl_Double_Window* window = createMainWindow();
    window->show();
    const std::string foot = std::string(TARSOLA_SOURCE_DIR) + "/samples/foot.bmp";
    if (!insoleView->loadFootFile(foot.c_str())) {
        std::fprintf(stderr, "%s: the sample foot %s did not load\n", bench, foot.c_str());
        return nullptr;
    }
    limitButton->value(1);
    restoreDefaults(nullptr, nullptr);
    return window;
}

double millisecondsBetween(std::chrono::steady_clock::time_point from,
                           std::chrono::steady_clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

bool pumpUntil(const std::function<bool()>& condition)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        Fl::wait(0.0);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

void closeBenchWindow(Fl_Double_Window* window)
{
    closeSolidWindow();
    window->hide();
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            const std::string file = entry->d_name;
            if (file != "." && file != "..") {
                std::remove((folder + "/" + file).c_str());
            }
        }
        closedir(dir);
    }
    rmdir(folder.c_str());
}
