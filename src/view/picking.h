// picking.h -- which ZIP code lies under the mouse: a ray from the eye through a pixel
// of the view, in model coordinates (longitude, latitude, value units), tested against
// a horizontal pick plane 10 value units above each ZIP code's value. No GL: the ray
// is the exact inverse of the frame's modelview, built in plain arithmetic.
#pragma once
#include <cstdint>

struct Vec3 { float x, y, z; };

struct PickRay {
    Vec3    origin;         // the eye, in model coordinates
    Vec3    direction;      // unit vector from the eye through the mouse position
    float   bestDistance;   // smallest horizontal miss so far, degrees; PICK_NO_HIT at first
    int32_t bestIndex;      // ZIP index of that miss; 0 at first
};

constexpr float PICK_NO_HIT       = 1e30f;
constexpr float PICK_TOLERANCE    = 0.01f;      // horizontal miss that still hits, degrees
constexpr float PICK_PLANE_LIFT   = 10.0f;      // pick plane above a ZIP code's value, value units
constexpr float PICK_EYE_DEPTH    = -4.00001f;  // eye-space z of the mouse point: just past the near plane

float vec_dot(const Vec3 &a, const Vec3 &b);
float vec_length(const Vec3 &a);
// Divides by the length; a zero vector stays as it is.
void  vec_normalise(Vec3 &a);
// The first three rows of the column-major 4 x 4 matrix m (element (r, k) at 4k + r)
// times (p, w); no division by a fourth row.
Vec3  mat_transform_point(const float m[16], const Vec3 &p, float w);

// The matrix that takes eye coordinates back to model coordinates for viewState and
// the height scale: the inverse of the frame's modelview.
void  eye_to_model_matrix(float m[16]);
// The ray through client pixel (x, y), y growing downwards. A view one pixel wide or
// high casts its rays through the middle of that axis.
PickRay pick_ray(int16_t x, int16_t y);
// Tests ZIP code i against the ray; keeps it when it is the closest hit so far. A
// crossing behind the eye does not count.
void  test_column(PickRay &ray, uint32_t i);
// 1 with the ZIP index in index when the ray through (x, y) hits a ZIP code, else 0.
int   pick_zip(int16_t x, int16_t y, int32_t &index);
