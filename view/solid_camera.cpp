#include "view/solid_camera.h"

#include "base/grid.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr double DEGREES_PER_PIXEL = 0.4;
constexpr double ZOOM_PER_STEP = 1.15;
constexpr double NEAREST_ZOOM = 20.0;
constexpr double FARTHEST_ZOOM = 0.25;

double halfFieldTangent() { return std::tan(CAMERA_FIELD_OF_VIEW / 2.0 * PI / 180.0); }

}  // namespace

CameraTarget cameraTarget() { return {FOOT_COLUMNS / 2.0, GRID_ROWS / 2.0, 0.0}; }

double cameraDistance(const SolidCamera& camera)
{
    // The sphere around the grid area fits the field of view, with a little room around it.
    const double radius = std::hypot(FOOT_COLUMNS / 2.0, GRID_ROWS / 2.0);
    const double fit = 1.05 * radius / std::sin(CAMERA_FIELD_OF_VIEW / 2.0 * PI / 180.0);
    return fit / camera.zoom;
}

void orbitCamera(SolidCamera& camera, int dx, int dy)
{
    camera.yaw = std::remainder(camera.yaw + dx * DEGREES_PER_PIXEL, 360.0);
    camera.tilt = std::clamp(camera.tilt + dy * DEGREES_PER_PIXEL, -180.0, 0.0);
}

void zoomCamera(SolidCamera& camera, int steps)
{
    camera.zoom = std::clamp(camera.zoom * std::pow(ZOOM_PER_STEP, -steps), FARTHEST_ZOOM, NEAREST_ZOOM);
}

void panCamera(SolidCamera& camera, int dx, int dy, int viewHeight)
{
    if (viewHeight <= 0) {
        return;
    }
    const double mmPerPixel = 2.0 * cameraDistance(camera) * halfFieldTangent() / viewHeight;
    camera.panRight += dx * mmPerPixel;
    camera.panUp -= dy * mmPerPixel;
}
