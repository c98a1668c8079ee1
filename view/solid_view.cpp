#include "view/solid_view.h"

#include <FL/Fl.H>
#include <FL/gl.h>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

constexpr double PI = 3.14159265358979323846;
// Depth around the target that the near and far planes keep: the grid area's half diagonal
// (195 mm) and the highest top there can be (255 levels of 1 mm), with room to spare.
constexpr double SCENE_DEPTH = 460.0;

}  // namespace

SolidView::SolidView(int x, int y, int w, int h) : Fl_Gl_Window(x, y, w, h)
{
    mode(FL_RGB8 | FL_DOUBLE | FL_DEPTH);
}

void SolidView::showPicture(SolidPicture picture)
{
    picture_ = std::move(picture);
    redraw();
}

void SolidView::showLines(LineSet set, SolidLines lines, Rgb colour)
{
    lines_[set] = std::move(lines);
    lineColours_[set] = colour;
    redraw();
}

void SolidView::resetCamera()
{
    camera_ = SolidCamera();
    redraw();
}

void SolidView::draw()
{
    if (!valid()) {
        glViewport(0, 0, w(), h());
    }
    drawScene();
    ++frames_;
}

void SolidView::drawScene()
{
    glClearColor(0.86f, 0.87f, 0.88f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (picture_.triangles() == 0) {
        return;
    }

    const double distance = cameraDistance(camera_);
    const double nearPlane = std::max(distance - SCENE_DEPTH, distance * 0.02);
    const double farPlane = distance + SCENE_DEPTH;
    const double top = nearPlane * std::tan(CAMERA_FIELD_OF_VIEW / 2.0 * PI / 180.0);
    const double widthPerHeight = static_cast<double>(w()) / std::max(h(), 1);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(-top * widthPerHeight, top * widthPerHeight, -top, top, nearPlane, farPlane);

    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    // The light stays with the viewer, above and to the left, whichever way the insole turns.
    const GLfloat lightDirection[] = {-0.35f, 0.55f, 1.0f, 0.0f};
    const GLfloat ambient[] = {0.38f, 0.38f, 0.38f, 1.0f};
    const GLfloat diffuse[] = {0.72f, 0.72f, 0.72f, 1.0f};
    glLightfv(GL_LIGHT0, GL_POSITION, lightDirection);
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    const CameraTarget target = cameraTarget();
    glTranslated(camera_.panRight, camera_.panUp, -distance);
    glRotated(camera_.tilt, 1.0, 0.0, 0.0);
    glRotated(camera_.yaw, 0.0, 0.0, 1.0);
    glTranslated(-target.x, -target.y, -target.z);

    glEnable(GL_DEPTH_TEST);
    // The solid is closed and its triangles face outward: the inside is never seen.
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glFrontFace(GL_CCW);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_COLOR_MATERIAL);
    glColorMaterial(GL_FRONT, GL_AMBIENT_AND_DIFFUSE);
    glShadeModel(GL_SMOOTH);

    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    // The solid gives way in depth to the lines drawn over it.
    glEnable(GL_POLYGON_OFFSET_FILL);
    glPolygonOffset(1.0f, 1.0f);
    glVertexPointer(3, GL_FLOAT, 0, picture_.positions.data());
    glNormalPointer(GL_FLOAT, 0, picture_.normals.data());
    glColorPointer(3, GL_UNSIGNED_BYTE, 0, picture_.colours.data());
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(picture_.indices.size()), GL_UNSIGNED_INT,
                   picture_.indices.data());
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisable(GL_POLYGON_OFFSET_FILL);

    glDisable(GL_COLOR_MATERIAL);
    glDisable(GL_LIGHTING);
    glLineWidth(1.5f);
    for (int set = 0; set < LINE_SETS; ++set) {
        if (lines_[set].empty()) {
            continue;
        }
        glColor3ub(lineColours_[set].r, lineColours_[set].g, lineColours_[set].b);
        glVertexPointer(3, GL_FLOAT, 0, lines_[set].data());
        glDrawArrays(GL_LINES, 0, static_cast<GLsizei>(lines_[set].size() / 3));
    }
    glLineWidth(1.0f);
    glDisableClientState(GL_VERTEX_ARRAY);

    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
}

std::vector<std::uint8_t> SolidView::readFrame()
{
    make_current();
    if (!valid()) {
        glViewport(0, 0, w(), h());
        valid(1);
    }
    drawScene();
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(w()) * h() * 3);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, w(), h(), GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    return pixels;
}

int SolidView::handle(int event)
{
    const int x = Fl::event_x();
    const int y = Fl::event_y();
    switch (event) {
    case FL_PUSH:
        take_focus();
        lastX_ = x;
        lastY_ = y;
        return 1;
    case FL_DRAG:
        if (Fl::event_state(FL_BUTTON1)) {
            orbitCamera(camera_, x - lastX_, y - lastY_);
        } else if (Fl::event_state(FL_BUTTON3)) {
            panCamera(camera_, x - lastX_, y - lastY_, h());
        } else {
            return 1;
        }
        lastX_ = x;
        lastY_ = y;
        redraw();
        return 1;
    case FL_RELEASE:
        return 1;
    case FL_MOUSEWHEEL:
        if (Fl::event_dy() != 0) {
            zoomCamera(camera_, Fl::event_dy());
            redraw();
        }
        return 1;
    case FL_FOCUS:
    case FL_UNFOCUS:
        return 1;
    default:
        return Fl_Gl_Window::handle(event);
    }
}
