// The 3D view: the insole solid lit and coloured by height, turned, zoomed and moved with the
// mouse. OpenGL 1.1 fixed function with vertex arrays, like the rest of the program's GL. It
// draws only when its picture or its camera changes: it has no timer of its own.
#pragma once

#include "view/solid_camera.h"
#include "view/solid_picture.h"

#include <FL/Fl_Gl_Window.H>

#include <cstdint>
#include <vector>

class SolidView : public Fl_Gl_Window {
public:
    SolidView(int x, int y, int w, int h);

    // Shows this picture from now on, with the camera where it is, and asks for a frame.
    void showPicture(SolidPicture picture);

    // Lines drawn over the solid in one colour: the zones' outlines, the milling path, the
    // prescription's elements with the foot's axis and head line. An empty set shows none.
    // Asks for a frame.
    enum LineSet { ZONE_LINES, PATH_LINES, ELEMENT_LINES, LINE_SETS };
    void showLines(LineSet set, SolidLines lines, Rgb colour);
    const SolidLines& lines(LineSet set) const { return lines_[set]; }
    const SolidPicture& picture() const { return picture_; }

    // Back to the camera a new window starts with; asks for a frame.
    void resetCamera();
    const SolidCamera& camera() const { return camera_; }

    // Frames drawn since the view was made.
    unsigned long framesDrawn() const { return frames_; }

    // The frame as the view draws it now, read back from the back buffer before any swap:
    // r, g, b of every pixel, rows from the bottom up. The view must be shown.
    std::vector<std::uint8_t> readFrame();

    void draw() override;
    // Left drag turns the insole, right drag moves it, the wheel zooms. A click takes the
    // keyboard focus, so that a key pressed next (r resets the camera) reaches the window.
    int handle(int event) override;

private:
    void drawScene();

    SolidPicture picture_;
    SolidLines lines_[LINE_SETS];
    Rgb lineColours_[LINE_SETS] = {};
    SolidCamera camera_;
    int lastX_ = 0;
    int lastY_ = 0;
    unsigned long frames_ = 0;
};
