// picking.cpp -- the pick ray and the column test. The eye-to-model matrix is built
// as the fixed pipeline would build it on its matrix stack (single precision, each
// step multiplied on the right), so the ray is the exact inverse of the frame:
//   M = T(P) S(0.01, 0.01, 1/heightScale) T(-P) T(centre) Rz(rotation) Rx(tilt) T(0, 0, distance)
#include "picking.h"
#include "camera.h"
#include "scene.h"
#include "values.h"
#include "zip_table.h"

#include <cmath>
#include <cstring>

float vec_dot(const Vec3 &a, const Vec3 &b)
{
    return static_cast<float>(double(a.x) * b.x + double(a.y) * b.y + double(a.z) * b.z);
}

float vec_length(const Vec3 &a)
{
    return static_cast<float>(std::sqrt(double(vec_dot(a, a))));
}

void vec_normalise(Vec3 &a)
{
    float length = vec_length(a);
    if (length == 0.0f) return;
    a = {a.x / length, a.y / length, a.z / length};
}

Vec3 mat_transform_point(const float m[16], const Vec3 &p, float w)
{
    return {
        static_cast<float>(double(p.x) * m[0] + double(p.y) * m[4] + double(p.z) * m[8] + double(w) * m[12]),
        static_cast<float>(double(p.x) * m[1] + double(p.y) * m[5] + double(p.z) * m[9] + double(w) * m[13]),
        static_cast<float>(double(p.x) * m[2] + double(p.y) * m[6] + double(p.z) * m[10] + double(w) * m[14]),
    };
}

// ---------------------------------------------------------------------------------
// The matrix stack in plain arithmetic: m = m x step, column-major, single precision
// ---------------------------------------------------------------------------------
static void multiply_right(float m[16], const float step[16])
{
    float product[16];
    for (int column = 0; column < 4; ++column)
        for (int row = 0; row < 4; ++row) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) sum += double(m[4 * k + row]) * step[4 * column + k];
            product[4 * column + row] = static_cast<float>(sum);
        }
    std::memcpy(m, product, sizeof product);
}

static void identity(float m[16])
{
    std::memset(m, 0, 16 * sizeof(float));
    m[0] = m[5] = m[10] = m[15] = 1.0f;
}

static void translate(float m[16], float x, float y, float z)
{
    float step[16];
    identity(step);
    step[12] = x;
    step[13] = y;
    step[14] = z;
    multiply_right(m, step);
}

static void scale(float m[16], float x, float y, float z)
{
    float step[16];
    identity(step);
    step[0] = x;
    step[5] = y;
    step[10] = z;
    multiply_right(m, step);
}

// A right-handed turn by degrees about the x axis (aboutX) or the z axis.
static void rotate(float m[16], float degrees, bool aboutX)
{
    const double radians = double(degrees) * 3.14159265358979323846 / 180.0;
    const float c = static_cast<float>(std::cos(radians)), s = static_cast<float>(std::sin(radians));
    float step[16];
    identity(step);
    if (aboutX) {   // y' = y cos - z sin, z' = y sin + z cos
        step[5] = c; step[9] = -s;
        step[6] = s; step[10] = c;
    } else {        // x' = x cos - y sin, y' = x sin + y cos
        step[0] = c; step[4] = -s;
        step[1] = s; step[5] = c;
    }
    multiply_right(m, step);
}

void eye_to_model_matrix(float m[16])
{
    identity(m);
    translate(m, PIVOT_X, PIVOT_Y, PIVOT_Z);
    scale(m, 1.0f / WORLD_SCALE, 1.0f / WORLD_SCALE, static_cast<float>(1.0 / displaySettings.heightScale));
    translate(m, -PIVOT_X, -PIVOT_Y, -PIVOT_Z);
    translate(m, viewState.centre[0], viewState.centre[1], viewState.centre[2]);
    rotate(m, viewState.rotation, false);
    rotate(m, viewState.tilt, true);
    translate(m, 0.0f, 0.0f, viewState.distance);
}

// ---------------------------------------------------------------------------------
// Ray and test
// ---------------------------------------------------------------------------------
PickRay pick_ray(int16_t x, int16_t y)
{
    float m[16];
    eye_to_model_matrix(m);
    const int width = viewState.viewportWidth, height = viewState.viewportHeight;
    // as the projection: a side of 0 has no aspect, a square frustum stands in
    const float aspect = (width > 0 && height > 0) ? static_cast<float>(double(width) / height) : 1.0f;
    Vec3 eye = {0.0f, 0.0f, PICK_EYE_DEPTH};
    if (width > 1) eye.x = static_cast<float>(2.0 * aspect * x / (width - 1) - aspect);
    if (height > 1) eye.y = static_cast<float>(1.0 - 2.0 * y / (height - 1));

    PickRay ray;
    ray.origin = mat_transform_point(m, {0.0f, 0.0f, 0.0f}, 1.0f);
    Vec3 through = mat_transform_point(m, eye, 1.0f);
    ray.direction = {through.x - ray.origin.x, through.y - ray.origin.y, through.z - ray.origin.z};
    vec_normalise(ray.direction);
    ray.bestDistance = PICK_NO_HIT;
    ray.bestIndex = 0;
    return ray;
}

void test_column(PickRay &ray, uint32_t i)
{
    const ZipRecord &zip = zipTable.records[i];
    const Vec3 normal = {0.0f, 0.0f, 1.0f};
    const Vec3 onPlane = {zip.longitude, zip.latitude,
                          static_cast<float>(double(valueTable.values[i]) + PICK_PLANE_LIFT)};
    const float offset = -vec_dot(normal, onPlane);
    const float denominator = vec_dot(normal, ray.direction);
    if (denominator == 0.0f) return;   // parallel to the plane
    const float s = static_cast<float>(-(double(vec_dot(normal, ray.origin)) + offset) / denominator);
    if (s < 0.0f) return;              // behind the eye
    const double hitX = ray.origin.x + double(s) * ray.direction.x;
    const double hitY = ray.origin.y + double(s) * ray.direction.y;
    const double dx = hitX - zip.longitude, dy = hitY - zip.latitude;
    const float miss = static_cast<float>(std::sqrt(dx * dx + dy * dy));
    if (miss <= PICK_TOLERANCE && miss < ray.bestDistance) {   // on a tie the lower index stays
        ray.bestDistance = miss;
        ray.bestIndex = static_cast<int32_t>(i);
    }
}

int pick_zip(int16_t x, int16_t y, int32_t &index)
{
    PickRay ray = pick_ray(x, y);
    const uint32_t count = loaded_zip_count();
    for (uint32_t i = 0; i < count; ++i) test_column(ray, i);
    if (ray.bestDistance == PICK_NO_HIT) return 0;
    index = ray.bestIndex;
    return 1;
}
