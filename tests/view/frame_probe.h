// frame_probe.h -- where the frame puts a model point, worked out apart from the GL
// code: the world scaling about the pivot, the camera of viewState, then the frustum.
// Shared by the offscreen GL tests and the UI tests that read the GL view back.
#pragma once
#include "camera.h"
#include "scene.h"

#include <cmath>

struct Pixel { int x, y; };   // from the lower left of the view

// The pixel that shows model point (lon, lat, value) in a width x height view.
inline Pixel model_to_pixel(double lon, double lat, double value, int width, int height)
{
    const double pi = 3.14159265358979323846;
    double x = 100.0 * (lon - PIVOT_X) + PIVOT_X - viewState.centre[0];
    double y = 100.0 * (lat - PIVOT_Y) + PIVOT_Y - viewState.centre[1];
    double z = displaySettings.heightScale * value - viewState.centre[2];
    double r = -viewState.rotation * pi / 180.0, t = -viewState.tilt * pi / 180.0;
    double xr = std::cos(r) * x - std::sin(r) * y;
    double yr = std::sin(r) * x + std::cos(r) * y;
    double yt = std::cos(t) * yr - std::sin(t) * z;
    double zt = std::sin(t) * yr + std::cos(t) * z - viewState.distance;
    double aspect = double(width) / height;
    double ndcX = FRUSTUM_NEAR * xr / -zt / aspect, ndcY = FRUSTUM_NEAR * yt / -zt;
    return {int(std::floor((ndcX + 1.0) * width / 2)), int(std::floor((ndcY + 1.0) * height / 2))};
}
