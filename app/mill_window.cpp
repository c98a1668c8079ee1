#include "app/mill_window.h"

#include "app/main_window.h"
#include "app/message_line.h"
#include "app/solid_window.h"
#include "base/trace.h"
#include "view/file_dialogs.h"
#include "imagefile/loaded_foot.h"
#include "mill/gcode.h"
#include "mill/mill_settings.h"
#include "view/gl_display_image.h"
#include "insole/relief_plan.h"
#include "view/solid_picture.h"
#include "view/solid_view.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Float_Input.H>
#include <FL/Fl_Value_Slider.H>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <thread>
#include <utility>

MillWindow* millWindow = nullptr;

// What the worker hands back: the toolpath of one generation, or why there is none.
struct MillResult {
    unsigned long generation = 0;
    bool planned = false;
    std::string refusal;
    Toolpath path;
    std::size_t fileBytes = 0;
    SolidLines lines;  // the finishing strokes as segments, for the 3D view
};

namespace {

// The path over the solid: orange, which the height scale (violet through green to yellow)
// never shows.
constexpr Rgb PATH_COLOUR = {0xff, 0x66, 0x00};

// Everything the worker needs, copied, so that the window may change while it plans.
struct MillJob {
    unsigned long generation = 0;
    Grid heights{};
    double levelMm = 0.0;
    MillSetup setup;
    GcodeRecipe recipe;
};

void resultReady(void*)
{
    if (millWindow) {
        millWindow->takeResult();
    }
}

// The finishing path as the 3D view draws it: the raster's cutting lines along the insole's
// length, every one of them at least 2 mm from the last shown (at the default 0.5 mm
// stepover every fourth). All of them would merge into one sheet at any zoom that shows the
// whole insole; one in a few shows how the path lies on the surface.
constexpr double SHOWN_LINE_SPACING_MM = 2.0;

SolidLines pathLines(const Toolpath& path)
{
    const double stepover = path.setup.stepoverMm;
    const int every = std::max(1, static_cast<int>(std::ceil(SHOWN_LINE_SPACING_MM / stepover - 1e-9)));
    SolidLines lines;
    bool first = true;
    double firstX = 0.0;
    for (const std::vector<SolidVertex>& stroke : path.finishingStrokes) {
        for (std::size_t i = 1; i < stroke.size(); ++i) {
            const SolidVertex& a = stroke[i - 1];
            const SolidVertex& b = stroke[i];
            // Links between lines run across them; a cutting line keeps its x.
            if (std::fabs(a.x - b.x) > 1e-3f) {
                continue;
            }
            if (first) {
                firstX = a.x;
                first = false;
            }
            const long line = std::lround((a.x - firstX) / stepover);
            if (line % every == 0) {
                lines.insert(lines.end(), {a.x, a.y, a.z, b.x, b.y, b.z});
            }
        }
    }
    return lines;
}

std::unique_ptr<MillResult> plan(const MillJob& job)
{
    auto result = std::make_unique<MillResult>();
    result->generation = job.generation;
    MillWaysOut ways;
    result->planned = planToolpath(job.heights, job.levelMm, job.setup, result->path,
                                   result->refusal, &ways);
    // The ways out named by the window's own labels.
    const std::string wayOut = millWaysOutText(ways, "毛胚厚度", "刃長", " mm");
    if (!wayOut.empty()) {
        result->refusal += "; mill it with " + wayOut;
    }
    if (result->planned) {
        result->fileBytes = encodeGcode(result->path, job.recipe).size();
        result->lines = pathLines(result->path);
    }
    return result;
}

// One thread that plans the newest job it was given. A job given while it plans replaces
// any job still waiting, so that a slider dragged across its range costs at most one plan
// beyond the last. Stopping waits for the plan under way (planToolpath cannot be interrupted).
class MillWorker {
public:
    ~MillWorker() { stop(); }

    void request(std::unique_ptr<MillJob> job)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        pending_ = std::move(job);
        if (!thread_.joinable()) {
            stopping_ = false;
            thread_ = std::thread(&MillWorker::run, this);
        }
        wake_.notify_one();
    }

    void stop()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
            pending_.reset();
        }
        wake_.notify_one();
        if (thread_.joinable()) {
            thread_.join();
        }
        std::lock_guard<std::mutex> lock(mutex_);
        done_.reset();
    }

    std::unique_ptr<MillResult> take()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::move(done_);
    }

private:
    void run()
    {
        for (;;) {
            std::unique_ptr<MillJob> job;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                wake_.wait(lock, [this] { return stopping_ || pending_; });
                if (stopping_) {
                    return;
                }
                job = std::move(pending_);
            }
            std::unique_ptr<MillResult> result = plan(*job);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (stopping_) {
                    return;
                }
                done_ = std::move(result);
            }
            Fl::awake(resultReady, nullptr);
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::unique_ptr<MillJob> pending_;
    std::unique_ptr<MillResult> done_;
    bool stopping_ = false;
    std::thread thread_;
};

// Joined at exit too, when the window was never closed.
MillWorker worker;

const char* const INPUT_LABELS[MILL_PARAMETER_COUNT] = {
    "刀具直徑 (mm)", "步距 (mm)",     "粗銑層深 (mm)",  "精修預留 (mm)", "進給 (mm/min)",
    "下刀進給 (mm/min)", "主軸轉速 (rpm)", "安全高度 (mm)", "刃長 (mm)", "毛胚厚度 (mm)",
};

int indexOf(MillParameter parameter)
{
    for (int i = 0; i < MILL_PARAMETER_COUNT; ++i) {
        if (MILL_PARAMETERS[i] == parameter) {
            return i;
        }
    }
    return 0;
}

void setText(Fl_Widget* widget, const std::string& text)
{
    if (!widget->label() || text != widget->label()) {
        widget->copy_label(text.c_str());
    }
}

std::string format(const char* pattern, double a, double b = 0.0, double c = 0.0)
{
    char text[128];
    std::snprintf(text, sizeof text, pattern, a, b, c);
    return text;
}


std::string fileSize(std::size_t bytes)
{
    if (bytes < 1000000) {
        return format("%.0f kB", std::ceil(bytes / 1000.0));
    }
    return format("%.2f MB", bytes / 1e6);
}

// What made the insole on screen, as the controls say now.
GcodeRecipe currentRecipe()
{
    GcodeRecipe recipe;
    recipe.footFile = loadedFootName();
    recipe.widthMm = widthSlider->value();
    recipe.lengthMm = lengthSlider->value();
    recipe.heightRatio = heightSlider->value();
    recipe.limit = limitButton->value() == 1;
    recipe.levelMm = currentLevelMm();
    recipe.relief = reliefRecipe(insoleView->reliefPlan.get());
    recipe.elements = elementsRecipe(activeElements(insoleView->elementPlan.get()));
    return recipe;
}

bool hasFootCell(const Grid& heights)
{
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            if (heights[gridIndex(x, y)] != 0) {
                return true;
            }
        }
    }
    return false;
}

void entered(Fl_Widget*, void* index)
{
    millWindow->enter(MILL_PARAMETERS[reinterpret_cast<std::intptr_t>(index)]);
}

Fl_Box* readout(int x, int y)
{
    auto* box = new Fl_Box(x, y, 500, 22);
    box->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
    box->labelsize(13);
    return box;
}

}  // namespace

MillWindow::MillWindow() : Fl_Double_Window(520, 566, "Tarsola 銑削")
{
    setup_ = readMillSettings(MILL_SETTINGS_FILE);
    for (int k = 0; k < MILL_PARAMETER_COUNT; ++k) {
        const MillParameter parameter = MILL_PARAMETERS[k];
        auto* input = new Fl_Float_Input(150, 10 + 30 * k, 90, 26, INPUT_LABELS[k]);
        input->when(FL_WHEN_ENTER_KEY | FL_WHEN_RELEASE);
        input->value(formatMillValue(parameter, millValue(setup_, parameter)).c_str());
        input->callback(entered, reinterpret_cast<void*>(static_cast<std::intptr_t>(k)));
        inputs[k] = input;
        ranges[k] = new Fl_Box(248, 10 + 30 * k, 262, 26);
        ranges[k]->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
        ranges[k]->labelsize(12);
        ranges[k]->labelcolor(fl_darker(FL_GRAY));
    }
    showRanges();

    status = readout(10, 314);
    blank = readout(10, 338);
    passes = readout(10, 360);
    moves = readout(10, 382);
    scallop = readout(10, 404);
    machiningTime = readout(10, 426);
    largestCut = readout(10, 448);
    fillet = readout(10, 470);

    pathButton = new Fl_Check_Button(10, 500, 150, 30, "顯示刀路");
    // Only the drawing changes: the toolpath stays as it is.
    pathButton->callback([](Fl_Widget*, void*) { millWindow->showPath(); });
    saveButton = new Fl_Button(380, 500, 130, 30, "儲存G碼");
    saveButton->callback(saveGcodeClicked);
    saveButton->deactivate();
    messageLine = new MessageLine(10, 538, 500, 22);
    end();
    callback([](Fl_Widget*, void*) { closeMillWindow(); });
    showFigures();
}

MillWindow::~MillWindow() = default;

const Toolpath* MillWindow::toolpath() const
{
    return state_ == State::Ready ? &result_->path : nullptr;
}

std::size_t MillWindow::fileBytes() const { return state_ == State::Ready ? result_->fileBytes : 0; }

void MillWindow::insoleChanged()
{
    // What was saved is no longer what the window shows.
    if (!savedMessage_.empty() && messageLine->text() == savedMessage_) {
        messageLine->say("", MessageKind::Done);
    }
    savedMessage_.clear();
    ++generation_;
    result_.reset();
    if (!shown()) {
        state_ = State::Closed;
    } else if (insoleView->sourceImage.empty() || !hasFootCell(insoleView->heightGrid)) {
        state_ = State::NothingToMill;
        refusalSaid_.clear();
    } else {
        state_ = State::Computing;
        auto job = std::make_unique<MillJob>();
        job->generation = generation_;
        job->heights = insoleView->heightGrid;
        job->levelMm = currentLevelMm();
        job->setup = setup_;
        job->recipe = currentRecipe();
        worker.request(std::move(job));
    }
    showFigures();
    showPath();
}

void MillWindow::takeResult()
{
    std::unique_ptr<MillResult> result = worker.take();
    // None (a later result was taken with an earlier wake-up), or one of an older insole or
    // setup: the newest is still being worked out.
    if (!result || state_ != State::Computing || result->generation != generation_) {
        return;
    }
    result_ = std::move(result);
    state_ = result_->planned ? State::Ready : State::Refused;
    showFigures();
    showPath();
    if (state_ == State::Refused) {
        sayRefusal();
    } else {
        // The refusal shown no longer holds: this setup mills the insole.
        if (!refusalMessage_.empty() && messageLine->text() == refusalMessage_) {
            messageLine->say("", MessageKind::Done);
        }
        refusalSaid_.clear();
    }
}

// A refusal goes to standard error once while it stays the same, as the insole's cut at the
// grid's edge does, however often the insole changes; the message line shows it each time.
void MillWindow::sayRefusal()
{
    if (result_->refusal == refusalSaid_) {
        messageLine->say(refusalMessage_, MessageKind::Error);
        return;
    }
    MessagesOn here(messageLine);
    traceMillRefused(result_->refusal.c_str());
    refusalSaid_ = result_->refusal;
    refusalMessage_ = messageLine->text();
}

void MillWindow::close()
{
    worker.stop();
    ++generation_;
    result_.reset();
    state_ = State::Closed;
    refusalSaid_.clear();
    showPath();
    hide();
}

void MillWindow::showFigures()
{
    for (Fl_Box* box : {blank, passes, moves, scallop, machiningTime, largestCut, fillet}) {
        setText(box, "");
    }
    saveButton->deactivate();
    switch (state_) {
    case State::Closed:
        setText(status, "");
        return;
    case State::NothingToMill:
        setText(status, insoleView->sourceImage.empty() ? "尚未讀取腳型：沒有可銑削的鞋墊"
                                                        : "鞋墊是空的：沒有可銑削的部分");
        return;
    case State::Computing:
        setText(status, "計算中…");
        return;
    case State::Refused:
        setText(status, "無法銑削此鞋墊：原因見下方訊息");
        return;
    case State::Ready:
        break;
    }
    const MillFigures& f = result_->path.figures;
    setText(status, "此鞋墊的刀路");
    // The corner nearest the origin is where the blank is set against X0 Y0's offset.
    setText(blank, format("毛胚: %.1f x %.1f x %.1f mm", f.blankXMm, f.blankYMm, f.blankZMm) +
                       "，角點 X" + gcodeNumber(f.blankMinX) + " Y" + gcodeNumber(f.blankMinY));
    setText(passes, "粗銑: " + std::to_string(f.roughingPasses) + " 層");
    setText(moves, "移動: " + std::to_string(f.moves) + " 段，檔案 " + fileSize(result_->fileBytes));
    setText(scallop, format("殘留高度: %.3f mm", f.scallopMm));
    setText(machiningTime, "預估加工時間: " + ::machiningTime(f.machiningSeconds));
    setText(largestCut, "最大切深: " + gcodeNumber(f.largestCutMm) + " mm");
    setText(fillet, format("外緣圓角: 半徑 %.1f mm (球刀留下)", f.filletMm));
    saveButton->activate();
}

void MillWindow::showPath()
{
    if (!solidWindow) {
        return;
    }
    const bool drawn = state_ == State::Ready && pathButton->value() == 1;
    if (!drawn && solidWindow->view->lines(SolidView::PATH_LINES).empty()) {
        return;
    }
    solidWindow->view->showLines(SolidView::PATH_LINES, drawn ? result_->lines : SolidLines(),
                                 PATH_COLOUR);
}

void MillWindow::showRanges()
{
    for (int k = 0; k < MILL_PARAMETER_COUNT; ++k) {
        const MillParameterInfo info = millParameterInfo(MILL_PARAMETERS[k], setup_);
        const std::string from = formatMillValue(MillParameter::Tool, info.minimum);
        const std::string to = formatMillValue(MillParameter::Tool, info.maximum);
        switch (MILL_PARAMETERS[k]) {
        case MillParameter::Stepover:
            setText(ranges[k], from + " - " + to + " (刀具半徑)");
            break;
        case MillParameter::Blank:
            setText(ranges[k], "空白為自動; 至 " + to + " (刃長)");
            break;
        default:
            setText(ranges[k], from + " - " + to);
        }
    }
}

void MillWindow::enter(MillParameter parameter)
{
    MessagesOn here(messageLine);
    Fl_Float_Input* input = inputs[indexOf(parameter)];
    const std::string entry = input->value();
    MillSetup next = setup_;
    std::string why;
    if (!takeMillEntry(next, parameter, entry, why)) {
        traceMillEntryRefused(millParameterInfo(parameter, setup_).name, entry.c_str(),
                              why.c_str());
        input->value(formatMillValue(parameter, millValue(setup_, parameter)).c_str());
        return;
    }
    input->value(formatMillValue(parameter, millValue(next, parameter)).c_str());
    if (millValue(next, parameter) == millValue(setup_, parameter)) {
        return;
    }
    setup_ = next;
    writeMillSettings(MILL_SETTINGS_FILE, setup_);
    showRanges();
    insoleChanged();
}

bool MillWindow::saveAs(const char* chosenUtf8Name)
{
    MessagesOn here(messageLine);
    const std::string name = gcodeFileName(chosenUtf8Name);
    switch (state_) {
    case State::Ready:
        break;
    case State::Computing:
        traceFileProblem("Cannot save G-code", name.c_str(),
                         "the toolpath of the insole on screen is still being worked out");
        return false;
    case State::Refused:
        traceFileProblem("Cannot save G-code", name.c_str(), result_->refusal.c_str());
        return false;
    case State::Closed:
    case State::NothingToMill:
        traceFileProblem("Cannot save G-code", name.c_str(), "there is no insole to mill");
        return false;
    }
    const unsigned long problems = problemLinesWritten();
    if (!writeGcodeFile(result_->path, currentRecipe(), name.c_str())) {
        return false;
    }
    if (problemLinesWritten() == problems) {
        traceSuccess("Saved " + fileNameOf(name));
        savedMessage_ = messageLine->text();
    }
    return true;
}

void millClicked(Fl_Widget*, void*)
{
    if (!millWindow) {
        // Hands the worker's results to the event loop (Fl::awake needs FLTK's lock set up).
        Fl::lock();
        millWindow = new MillWindow();
        // Beside the 3D window where the screen has room, else under it, so that the path
        // drawn over the solid stays in sight while the setup is changed.
        if (solidWindow) {
            int x = solidWindow->x() + solidWindow->w() + 12;
            int y = solidWindow->y();
            if (x + millWindow->w() > Fl::w()) {
                x = solidWindow->x() + solidWindow->w() - millWindow->w();
                y = std::min(solidWindow->y() + solidWindow->h() + 40, Fl::h() - millWindow->h());
            }
            millWindow->position(std::max(x, 0), std::max(y, 0));
        }
    }
    const bool wasShown = millWindow->shown() && millWindow->visible();
    millWindow->show();
    if (!wasShown) {
        // The insole on screen: a control may have asked for a recompute no frame has run.
        insoleView->recomputeIfPending();
        millWindow->insoleChanged();
    }
}

void millInsoleChanged()
{
    if (millWindow && millWindow->state() != MillWindow::State::Closed) {
        millWindow->insoleChanged();
    }
}

void closeMillWindow()
{
    if (millWindow) {
        millWindow->close();
    }
}

void saveGcodeClicked(Fl_Widget*, void*)
{
    std::string chosen;
    if (!chooseFile("Save The Insole's G-code", FileDialog::Save, chosen)) {
        return;
    }
    // The insole may have changed while the chooser was open: save the toolpath of the one on
    // screen once it is worked out, the event loop running meanwhile.
    while (millWindow->state() == MillWindow::State::Computing && Fl::wait(0.05) >= 0) {
    }
    millWindow->saveAs(chosen.c_str());
}

void MillWindow::takeSetup(const MillSetup& setup)
{
    setup_ = setup;
    for (int k = 0; k < MILL_PARAMETER_COUNT; ++k) {
        const MillParameter parameter = MILL_PARAMETERS[k];
        inputs[k]->value(formatMillValue(parameter, millValue(setup_, parameter)).c_str());
    }
    showRanges();
    insoleChanged();
}

MillSetup currentMillSetup()
{
    return millWindow ? millWindow->setup() : readMillSettings(MILL_SETTINGS_FILE);
}

void takeMillSetup(const MillSetup& setup)
{
    writeMillSettings(MILL_SETTINGS_FILE, setup);
    if (millWindow) {
        millWindow->takeSetup(setup);
    }
}
