#include "view/gl_display_image.h"

#include "base/trace.h"
#include "view/file_dialogs.h"
#include "imagefile/file_names.h"
#include "imagefile/loaded_foot.h"
#include "insole/drawing.h"
#include "view/insole_listener.h"
#include "insole/job_file.h"
#include "insole/recompute.h"

#include <FL/Fl.H>
#include <FL/gl.h>

#include <cstring>
#include <memory>
#include <string>

std::int32_t pressX = 0;
std::int32_t pressY = 0;

namespace {

constexpr double FRAME_INTERVAL = 1.0 / 120.0;

// Keeps the view drawing continuously: every tick asks for a redraw and re-arms itself.
void redrawTimer(void* view)
{
    static_cast<GL_Display_Image*>(view)->redraw();
    Fl::repeat_timeout(FRAME_INTERVAL, redrawTimer, view);
}

}  // namespace

GL_Display_Image::GL_Display_Image()
    : Fl_Gl_Window(130, 86, FOOT_COLUMNS, GRID_ROWS), drawnRelief(std::make_unique<DrawnRelief>()),
      elementPlan(std::make_unique<ElementPlan>()), drawnElements(std::make_unique<DrawnElements>())
{
    // The read-back returns the drawn grey values exactly only from a frame buffer with 8 bits
    // of red and no multisampling.
    mode(FL_RGB8 | FL_DOUBLE | FL_DEPTH);
    Fl::add_timeout(FRAME_INTERVAL, redrawTimer, this);
}

GL_Display_Image::~GL_Display_Image()
{
    Fl::remove_timeout(redrawTimer, this);
}

void GL_Display_Image::setUpContext()
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    // A resize invalidates the projection but keeps the context and its matrices: start from
    // the identity so the pixel-exact projection is never applied twice.
    glLoadIdentity();
    glClearColor(0.0f, 0.5f, 0.5f, 1.0f);
    glViewport(0, 0, w(), h());
    glOrtho(0, w(), 0, h(), 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    // Dithering could change a grey value on its way to the frame buffer.
    glDisable(GL_DITHER);

    // Only a new context needs a new texture; an old one keeps its texture on a resize.
    if (!context_valid() || textureId == 0) {
        GLuint texture = 0;
        glGenTextures(1, &texture);
        textureId = texture;
        glBindTexture(GL_TEXTURE_2D, textureId);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 0, 0, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
    }
}

void GL_Display_Image::draw()
{
    if (!valid()) {
        setUpContext();
    }
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glColor3f(1.0f, 1.0f, 1.0f);
    if (sourceImage.empty()) {
        return;
    }

    glColor3f(1.0f, 1.0f, 1.0f);
    glPushMatrix();
    const QuadPlacement quad = placeQuad(footBox(), displayWidth, displayLength);
    glTranslatef(quad.offsetX, 0.0f, 0.0f);
    glTranslatef(0.0f, quad.offsetY, 0.0f);

    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, textureId);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_LUMINANCE, GRID_STRIDE, GRID_ROWS, 0, GL_LUMINANCE,
                 GL_UNSIGNED_BYTE, displayGrid.data());
    const GLfloat x = static_cast<GLfloat>(quad.quadWidth);
    const GLfloat y = static_cast<GLfloat>(quad.quadHeight);
    glBegin(GL_QUADS);
    glTexCoord2f(1.0f, 1.0f);
    glVertex2f(x, y);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2f(0.0f, y);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(0.0f, 0.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2f(x, 0.0f);
    glEnd();

    recomputeIfPending();

    glDisable(GL_TEXTURE_2D);
    glPopMatrix();
}

void GL_Display_Image::recomputeIfPending()
{
    if (!recomputePending || !controls || sourceImage.empty()) {
        return;
    }
    recomputePending = 0;
    ++reshapes;
    // The heights come from the drawing rule, not from the pixels of a frame: which texel a
    // driver shows where a pixel centre meets a texel boundary is not defined, and an insole
    // must not depend on the graphics card or the window's size. Shaping takes the length
    // and height sliders' values of this very moment.
    // The relief's raise is its depth in levels of the level size solids are made with.
    if (reliefPlan && reliefPlan->levelMm != controls->levelMm()) {
        std::string failure;
        if (!updateRelief(*reliefPlan, footGrid, reliefPlan->parameters, controls->levelMm(), failure)) {
            traceFileProblem("Cannot relieve the insole with", reliefPlan->measurementFile.c_str(),
                             failure.c_str());
            reliefPlan.reset();
        }
    }
    // The elements follow the foot, the measurement (the bar's front edge) and the level size.
    refreshElements(*elementPlan, footGrid, reliefPlan.get(), controls->levelMm());
    if (elementPlan->problem != elementProblemSaid_) {
        if (!elementPlan->problem.empty()) {
            traceFileProblem("Cannot place the prescription's elements on", loadedFootName().c_str(),
                             elementPlan->problem.c_str());
        }
        elementProblemSaid_ = elementPlan->problem;
    }
    recomputeAtDrawnSize(*this, controls->settings(), activeRelief(reliefPlan.get()), drawnRelief.get(),
                         activeElements(elementPlan.get()), drawnElements.get());
    // A width or length whose drawing leaves the grid cuts the insole's heel, toes or sides:
    // say so when that begins, changes or ends, not on every step of a drag.
    const GridOverflow overflow =
        drawnFootOverflow(footBox(), placeQuad(footBox(), displayWidth, displayLength));
    if (overflow.rowsLost != cut_.rowsLost || overflow.columnsLost != cut_.columnsLost) {
        if (overflow.any()) {
            traceInsoleCut(overflow.rowsLost, overflow.columnsLost);
        } else {
            traceSuccess("The insole fits the grid again");
        }
        cut_ = overflow;
    }
    if (insoleChanged) {
        insoleChanged();
    }
}

int GL_Display_Image::handle(int event)
{
    const int button = Fl::event_button();
    const int x = Fl::event_x();
    const int y = Fl::event_y();
    switch (event) {
    case FL_PUSH:
        if (button == FL_LEFT_MOUSE || button == FL_RIGHT_MOUSE) {
            pressX = x;
            pressY = y;
        } else if (button == FL_MIDDLE_MOUSE) {
            traceMiddleClick();
        }
        return 1;
    case FL_DRAG:
        if (button == FL_LEFT_MOUSE) {
            dragDX = x - pressX;
            dragDY = pressY - y;
        } else if (button == FL_RIGHT_MOUSE && pressY < h() / 2) {
            // Each drag event left of the press point widens the drawn foot by one pixel,
            // each one right of it narrows it.
            if (x < pressX) {
                displayWidth += 1.0f;
            } else if (x > pressX) {
                displayWidth -= 1.0f;
            }
        }
        return 1;
    case FL_RELEASE:
        if (button == FL_LEFT_MOUSE) {
            panX += dragDX;
            panY += dragDY;
            dragDX = 0;
            dragDY = 0;
            tracePan(panX, panY);
        }
        return 1;
    case FL_MOVE:
        return 1;
    case FL_MOUSEWHEEL:
        traceMouseWheel(Fl::event_dy());
        return 1;
    default:
        return Fl_Gl_Window::handle(event);
    }
}

void GL_Display_Image::takeFoot(InsoleState& loaded)
{
    reliefPlan.reset();
    swapFeet(*this, loaded);
    cut_ = GridOverflow{};
    if (controls) {
        controls->footMeasured(widthSliderSetting(footWidth), lengthSliderSetting(footLength));
    }
    recomputePending = 1;
}

void GL_Display_Image::loadFootImage()
{
    std::string chosen;
    if (chooseFile("Load a image file", FileDialog::Load, chosen, lastFootFolder())) {
        loadFootFile(chosen.c_str());
    }
}

bool GL_Display_Image::loadFootFile(const char* chosenName)
{
    char name[PATH_BUFFER_SIZE];
    if (!copyChosenName(chosenName, name)) {
        return false;
    }
    // A job brings its foot, its measurement and every setting; one that is refused leaves
    // everything as it was.
    if (jobOpener) {
        char ansi[PATH_BUFFER_SIZE];
        std::memcpy(ansi, name, sizeof ansi);
        if (isPackageFile(utf8ToAnsi(ansi))) {
            return jobOpener(chosenName);
        }
    }
    // A scan's heights become grey levels of the level size the solid is made with, so that
    // its insole stands as high as the scan; its units are found from its size.
    ScanOptions scan;
    if (controls) {
        scan.levelMm = controls->levelMm();
    }
    // The file is read into a record of its own: a file that is refused leaves the foot, the
    // sliders, the measurement with its corrections and relief, and the 3D window as they
    // were, so that a wrong click costs nothing; the trace has said why.
    auto loaded = std::make_unique<InsoleState>();
    const unsigned long problemsBefore = problemLinesWritten();
    if (!loadFoot(*loaded, utf8ToAnsi(name), scan)) {
        return false;
    }
    swapFeet(*this, *loaded);
    loaded.reset();
    const bool saidNothing = problemLinesWritten() == problemsBefore;
    // A measurement belongs to one foot: whatever this load brought, it is not that foot.
    if (reliefPlan) {
        traceFileWarning("Pressure measurement", reliefPlan->measurementFile.c_str(),
                         "cleared: a measurement belongs to the foot it was taken of");
        reliefPlan.reset();
    }
    // So do the elements' hand shifts; the elements themselves are placed on the new foot.
    footChanged(*elementPlan);
    elementProblemSaid_.clear();
    cut_ = GridOverflow{};
    if (saidNothing) {
        traceSuccess("Loaded " + fileNameOf(chosenName));
    }
    if (controls) {
        controls->footMeasured(widthSliderSetting(footWidth), lengthSliderSetting(footLength));
    }
    rememberLoadedFoot(chosenName);
    // The foot as sampled is no insole: the first frame after the load shapes it (and limits
    // it when the limit is on), so that Save and the 3D window see the insole.
    recomputePending = 1;
    if (insoleChanged) {
        insoleChanged();
    }
    return true;
}
