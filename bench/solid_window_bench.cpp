// The 3D window in the real program's widgets, under a real X server: how long a slider step
// takes to reach the 3D view, how many frames a second orbiting gives, and whether the main
// view's recompute slows down while the 3D window is open. Needs a display:
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/tarsola_solid_window_bench
//
// Measure a Release or RelWithDebInfo build. Times are wall-clock: the window's work is shared
// between this thread, the X server and the GL driver's threads.
#include "bench_window.h"

#include "app/main_window.h"
#include "app/solid_window.h"
#include "base/trace.h"
#include "view/gl_display_image.h"
#include "view/insole_listener.h"
#include "view/solid_view.h"

#include <FL/Fl.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Value_Slider.H>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>


namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point lastRecompute;
InsoleListener windowListener = nullptr;

// Notes when the main view's recompute frame ends, then tells the 3D window as usual.
void timedListener()
{
    lastRecompute = Clock::now();
    windowListener();
}

void openSolidWindow(bool open)
{
    if (open) {
        solidClicked(nullptr, nullptr);
        pumpUntil([] { return solidWindow->view->valid() && !solidWindow->view->damage(); });
    } else {
        closeSolidWindow();
    }
    pumpUntil([] { return insoleView->recomputePending == 0; });
}

// Steps the length slider by one, back and forth, as the arrow keys do.
void stepLengthSlider(int step)
{
    lengthSlider->value(lengthSlider->value() + (step % 2 == 0 ? 1 : -1));
    lengthSlider->do_callback();
}

// From a slider step to the frame that shows it: the main view's recompute (which waits for
// the view's next 120 Hz tick), and with the 3D window open, the 3D frame after it.
void BM_SliderStep(benchmark::State& state, bool open)
{
    openSolidWindow(open);
    double toRecompute = 0.0;
    double recomputeTo3d = 0.0;
    int step = 0;
    for (auto _ : state) {
        const unsigned long built = open ? solidWindow->solidsBuilt() : 0;
        const Clock::time_point start = Clock::now();
        stepLengthSlider(step++);
        const bool done = open ? pumpUntil([built] {
            return solidWindow->solidsBuilt() > built && !solidWindow->view->damage();
        })
                               : pumpUntil([] { return insoleView->recomputePending == 0; });
        const Clock::time_point end = Clock::now();
        if (!done) {
            state.SkipWithError("the window did not follow the slider");
            break;
        }
        toRecompute += millisecondsBetween(start, lastRecompute);
        recomputeTo3d += open ? millisecondsBetween(lastRecompute, end) : 0.0;
    }
    state.counters["to_recompute_ms"] = toRecompute / state.iterations();
    if (open) {
        state.counters["recompute_to_3d_ms"] = recomputeTo3d / state.iterations();
    }
}

// One frame of the main view that recomputes (draw, read back, shape, limit), on its own.
// With the 3D window open the rebuild it asks for runs afterwards, outside the timing.
void BM_MainViewRecomputeFrame(benchmark::State& state, bool open)
{
    openSolidWindow(open);
    int step = 0;
    for (auto _ : state) {
        state.PauseTiming();
        lengthSlider->value(lengthSlider->value() + (step++ % 2 == 0 ? 1 : -1));
        lengthSlider->do_callback();
        state.ResumeTiming();
        insoleView->redraw();
        Fl::flush();
        state.PauseTiming();
        if (insoleView->recomputePending) {
            state.SkipWithError("the frame did not recompute");
            break;
        }
        if (open) {
            const unsigned long built = solidWindow->solidsBuilt();
            pumpUntil([built] { return solidWindow->solidsBuilt() > built && !solidWindow->view->damage(); });
        }
        state.ResumeTiming();
    }
}

// Orbiting: one left-drag step of the pointer, then the event loop until the 3D view has
// drawn it; the main view goes on drawing at 120 Hz meanwhile, as it does for a person.
void BM_OrbitFrame(benchmark::State& state)
{
    openSolidWindow(true);
    SolidView* view = solidWindow->view;
    Fl::e_state = FL_BUTTON1;
    Fl::e_x = 100;
    Fl::e_y = 200;
    view->handle(FL_PUSH);
    for (auto _ : state) {
        const unsigned long frames = view->framesDrawn();
        Fl::e_x += 2;
        view->handle(FL_DRAG);
        if (!pumpUntil([view, frames] { return view->framesDrawn() > frames && !view->damage(); })) {
            state.SkipWithError("the 3D view did not draw");
            break;
        }
    }
    Fl::e_state = 0;
    view->handle(FL_RELEASE);
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    setTraceStreams(nullptr, stderr);
    Fl_Double_Window* window = openBenchWindow("tarsola_solid_window_bench");
    if (!window) {
        return 1;
    }
    windowListener = insoleChanged;
    insoleChanged = timedListener;

    for (bool open : {false, true}) {
        const std::string which = open ? "/3d_open" : "/3d_closed";
        benchmark::RegisterBenchmark(("SliderStep" + which).c_str(), BM_SliderStep, open)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("MainViewRecomputeFrame" + which).c_str(),
                                     BM_MainViewRecomputeFrame, open)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    benchmark::RegisterBenchmark("OrbitFrame", BM_OrbitFrame)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    closeBenchWindow(window);
    return 0;
}
