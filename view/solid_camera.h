// Where the 3D view looks from: a camera that orbits the middle of the grid's area, zooms
// towards it and pans across the screen. Plain numbers; the view turns them into matrices.
#pragma once

// The view's field of view, top to bottom, in degrees.
constexpr double CAMERA_FIELD_OF_VIEW = 30.0;

struct SolidCamera {
    // Turn about the vertical axis through the middle of the grid, degrees.
    double yaw = -25.0;
    // 0 looks straight down on the insole, -90 along it from the heel, -180 up at its bottom.
    double tilt = -55.0;
    // 1 shows the whole grid area; larger comes closer. A foot fills about half of the area.
    double zoom = 1.6;
    // Shift of the picture across the screen, millimetres at the middle of the grid.
    double panRight = 0.0;
    double panUp = 0.0;
};

// The point the camera turns about and looks at: the middle of the 150 x 360 mm grid area, on
// the flat bottom. Fixed, so that the picture stays put while the insole changes shape.
struct CameraTarget {
    double x;
    double y;
    double z;
};
CameraTarget cameraTarget();

// Distance from the camera to the target: the whole grid area fits the view at zoom 1.
double cameraDistance(const SolidCamera& camera);

// A left drag of dx, dy pixels (x to the right, y downward) turns the insole; dragging down
// tips it towards the top view. Tilt stays within 0..-180, so it never turns upside down.
void orbitCamera(SolidCamera& camera, int dx, int dy);

// Wheel steps as FLTK counts them: negative (away from the user) comes closer.
void zoomCamera(SolidCamera& camera, int steps);

// A right drag of dx, dy pixels in a view viewHeight pixels high moves the picture with the
// pointer at the target's depth.
void panCamera(SolidCamera& camera, int dx, int dy, int viewHeight);
