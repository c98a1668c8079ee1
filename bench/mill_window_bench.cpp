// The milling window in the real program's widgets, under a real X server: how long after a
// slider step the figures of the new insole's toolpath are shown, and the longest pass of the
// event loop meanwhile (the plan runs on the worker: the loop must go on drawing). Needs a
// display:
//
//   xvfb-run -a -s "-screen 0 1600x1200x24" build/bench/tarsola_mill_window_bench
//
// Times are wall-clock: the window's work is shared between this thread, the worker, the X
// server and the GL driver's threads, on the machine's two cores.
#include "bench_window.h"

#include "app/main_window.h"
#include "app/mill_window.h"
#include "app/solid_window.h"
#include "base/trace.h"
#include "view/gl_display_image.h"
#include "view/solid_view.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Value_Slider.H>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>


namespace {

using Clock = std::chrono::steady_clock;

// Runs the event loop until the condition holds; `longest` is the longest pass in ms.
template <typename Condition>
bool pumpUntil(Condition condition, double& longest)
{
    const auto end = Clock::now() + std::chrono::seconds(30);
    Clock::time_point last = Clock::now();
    while (!condition()) {
        if (Clock::now() > end) {
            return false;
        }
        Fl::wait(0.0);
        const Clock::time_point now = Clock::now();
        longest = std::max(longest, millisecondsBetween(last, now));
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        last = Clock::now();
    }
    return true;
}

// A length slider step back and forth, then the event loop until the figures of the new
// insole are shown.
void BM_FiguresAfterSliderStep(benchmark::State& state, bool pathShown)
{
    millWindow->pathButton->value(pathShown ? 1 : 0);
    millWindow->pathButton->do_callback();
    double longest = 0.0;
    int step = 0;
    for (auto _ : state) {
        const unsigned long built = solidWindow->solidsBuilt();
        lengthSlider->value(lengthSlider->value() + (step++ % 2 == 0 ? 1 : -1));
        lengthSlider->do_callback();
        const bool done = pumpUntil(
            [built] {
                return solidWindow->solidsBuilt() > built &&
                       millWindow->state() == MillWindow::State::Ready && !solidWindow->view->damage();
            },
            longest);
        if (!done) {
            state.SkipWithError("the milling window did not follow the slider");
            break;
        }
    }
    state.counters["longest_loop_pass_ms"] = longest;
    state.counters["moves"] = static_cast<double>(millWindow->toolpath()->moves.size());
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    setTraceStreams(nullptr, stderr);
    Fl_Double_Window* window = openBenchWindow("tarsola_mill_window_bench");
    if (!window) {
        return 1;
    }
    solidClicked(nullptr, nullptr);
    solidWindow->millButton->do_callback();
    double longest = 0.0;
    if (!pumpUntil([] { return millWindow->state() == MillWindow::State::Ready; }, longest)) {
        return 1;
    }

    benchmark::RegisterBenchmark("FiguresAfterSliderStep/path_hidden", BM_FiguresAfterSliderStep,
                                 false)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("FiguresAfterSliderStep/path_shown", BM_FiguresAfterSliderStep,
                                 true)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    closeBenchWindow(window);
    return 0;
}
