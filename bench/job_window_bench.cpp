// Undo, redo and opening a job in the real program's widgets, under a real X server: how long
// one step takes to reach the main view, from undoLastChange (what Ctrl+Z calls) to the end of
// the view's frame that draws the insole of the step, against a frame at 60 Hz (16.7 ms); and
// opening a job file of the sample foot up to its first frame. Two insoles: the sample foot
// with its sliders and the limit, and the same with a measurement placed, its relief on and an
// element of the prescription on, whose step also reads the measurement, places it and draws
// both raises. Needs a display:
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/tarsola_job_window_bench
//
// Times are wall-clock: the frame's work is shared between this thread, the X server and the
// GL driver's threads. The 3D window is closed while measuring (it would rebuild its solid
// after every step, which is its own figure); the measurement and the elements stay.
#include "bench_window.h"

#include "app/job_window.h"
#include "app/main_window.h"
#include "app/prescription_window.h"
#include "app/pressure_panel.h"
#include "app/solid_window.h"
#include "app/undo_redo.h"
#include "base/trace.h"
#include "support/pressure_files.h"
#include "view/gl_display_image.h"

#include <FL/Fl.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Float_Input.H>
#include <FL/Fl_Value_Slider.H>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>


namespace {

using Clock = std::chrono::steady_clock;

// The frame that a step asked for, drawn now rather than at the view's next tick: the insole
// of the step recomputed and shown. False when the frame did not recompute.
bool drawStepFrame()
{
    insoleView->redraw();
    Fl::flush();
    return insoleView->recomputePending == 0;
}

// Lets the window see a change as it does after a round of events: the recompute it asked
// for, then the history told.
bool settle()
{
    if (!pumpUntil([] { return insoleView->recomputePending == 0; })) {
        return false;
    }
    Fl::check();
    noteInsoleChange();
    return true;
}

// The height slider moved, as a person lets it go: a step of its own.
bool moveHeightSlider(double value)
{
    heightSlider->value(value);
    heightSlider->do_callback();
    return settle();
}

bool writeBytes(const std::string& path, const std::string& text)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

// A measurement of the sample foot opened with its relief on, and the arch element switched
// on, each through its own control; the 3D window closed again afterwards.
bool measureAndPrescribe()
{
    static bool done = false;
    if (done) {
        return true;
    }
    done = true;
    solidClicked(nullptr, nullptr);
    if (!pumpUntil([] { return solidWindow->shown(); })) {
        return false;
    }
    if (!writeBytes("plate.csv", pressureMatrixOf(insoleView->footGrid, 5.0)) ||
        !openMeasurement(*solidWindow->pressurePanel, "plate.csv") || !settle()) {
        return false;
    }
    PressurePanel& panel = *solidWindow->pressurePanel;
    if (!panel.reliefButton->value()) {
        panel.reliefButton->value(1);
        panel.reliefButton->do_callback();
        settle();
    }
    solidWindow->prescriptionButton->do_callback();
    if (!pumpUntil([] { return prescriptionWindow && prescriptionWindow->shown(); })) {
        return false;
    }
    prescriptionWindow->archButton->value(1);
    prescriptionWindow->archButton->do_callback();
    if (!settle()) {
        return false;
    }
    closeSolidWindow();
    return settle() && insoleView->reliefPlan != nullptr;
}

// The insole the benchmark runs on: the sample foot alone, or with the measurement and the
// element (from then on: the sample foot's benchmarks are registered first).
bool insoleFor(benchmark::State& state, bool measured)
{
    if (measured && !measureAndPrescribe()) {
        state.SkipWithError("cannot place the measurement and the element");
        return false;
    }
    return true;
}

// One step taken back, then forward, in turns: from the call to the end of the frame that
// draws it. `take_ms` is the step taken into the controls and the view (the foot through the
// door, the measurement read and placed), `frame_ms` the frame with its recompute.
void BM_UndoStep(benchmark::State& state, bool measured)
{
    if (!insoleFor(state, measured)) {
        return;
    }
    if (!moveHeightSlider(0.8) || !moveHeightSlider(0.9) || stepsToUndo() < 1) {
        state.SkipWithError("the window made no step to undo");
        return;
    }
    double take = 0.0;
    double frame = 0.0;
    bool back = true;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        const bool taken = back ? undoLastChange() : redoLastChange();
        const Clock::time_point takenAt = Clock::now();
        const bool drawn = drawStepFrame();
        const Clock::time_point end = Clock::now();
        if (!taken || !drawn) {
            state.SkipWithError("the step did not reach the view");
            break;
        }
        take += millisecondsBetween(start, takenAt);
        frame += millisecondsBetween(takenAt, end);
        back = !back;
    }
    state.counters["take_ms"] = take / state.iterations();
    state.counters["frame_ms"] = frame / state.iterations();
}

// The same through the event loop, as Ctrl+Z reaches the view: the step, then the loop until
// the view's next tick has drawn it (up to 8.3 ms of waiting at the view's 120 frames a
// second are part of it).
void BM_UndoStepThroughEventLoop(benchmark::State& state, bool measured)
{
    if (!insoleFor(state, measured)) {
        return;
    }
    if (!moveHeightSlider(0.8) || !moveHeightSlider(0.9) || stepsToUndo() < 1) {
        state.SkipWithError("the window made no step to undo");
        return;
    }
    bool back = true;
    for (auto _ : state) {
        const unsigned reshapes = insoleView->reshapes;
        const bool taken = back ? undoLastChange() : redoLastChange();
        if (!taken || !pumpUntil([reshapes] {
                return insoleView->reshapes > reshapes && !insoleView->damage();
            })) {
            state.SkipWithError("the step did not reach the view");
            break;
        }
        back = !back;
    }
}

// A job of the insole on screen written by Save solid, with the 3D window open for it.
bool saveJobOfWindow(const std::string& path)
{
    solidClicked(nullptr, nullptr);
    const bool saved = pumpUntil([] { return solidWindow->shown() && insoleView->recomputePending == 0; }) &&
                       solidWindow->saveAs(path.c_str());
    closeSolidWindow();
    return saved && settle();
}

// A job file of the insole opened (read from the disk's cache) up to the end of its first
// frame: the package, the foot through the door, the measurement read and placed, every
// control set, the frame's recompute.
void BM_OpenJobToFirstFrame(benchmark::State& state, bool measured)
{
    if (!insoleFor(state, measured)) {
        return;
    }
    const std::string path = "job.3mf";
    if (!saveJobOfWindow(path)) {
        state.SkipWithError("cannot write the job");
        return;
    }
    for (auto _ : state) {
        // A job comes from elsewhere: nothing on screen is of its measurement to be taken.
        state.PauseTiming();
        insoleView->reliefPlan.reset();
        state.ResumeTiming();
        if (!openJob(path.c_str()) || !drawStepFrame()) {
            state.SkipWithError("the job did not open");
            break;
        }
    }
    std::remove(path.c_str());
}

void registerAll(const char* insole, bool measured)
{
    const std::string suffix = std::string("/") + insole;
    benchmark::RegisterBenchmark(("UndoStep" + suffix).c_str(), BM_UndoStep, measured)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("UndoStepThroughEventLoop" + suffix).c_str(), BM_UndoStepThroughEventLoop,
                                 measured)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("OpenJobToFirstFrame" + suffix).c_str(), BM_OpenJobToFirstFrame, measured)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    // The traces of every step would fill the output.
    setTraceStreams(nullptr, nullptr);
    Fl_Double_Window* window = openBenchWindow("tarsola_job_window_bench");
    if (!window || !settle()) {
        return 1;
    }

    registerAll("sample_foot", false);
    registerAll("measured_prescribed", true);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    closeBenchWindow(window);
    return 0;
}
