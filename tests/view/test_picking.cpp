// test_picking.cpp -- the pick ray against an independent inversion of the camera, and
// the column test's rules: the closest miss wins, ties keep the lower index, parallel
// rays and crossings behind the eye hit nothing, a one-pixel view stays finite.
#include "picking.h"
#include "camera.h"
#include "platform.h"
#include "scene.h"
#include "values.h"
#include "zip_table.h"

#include <gtest/gtest.h>
#include <cmath>
#include <cstring>

namespace {

struct Ray { double origin[3], direction[3]; };

// The eye-space point of pixel (x, y) just past the near plane, taken back to model
// coordinates step by step in double: add distance to z, undo the tilt about x, undo
// the rotation about z, add the centre, undo the world scaling about the pivot.
void eye_to_model(const double e[3], double out[3])
{
    const double pi = 3.14159265358979323846;
    const double tau = viewState.tilt * pi / 180.0, rho = viewState.rotation * pi / 180.0;
    double x = e[0], y = e[1], z = e[2] + viewState.distance;
    double y1 = y * std::cos(tau) - z * std::sin(tau), z1 = y * std::sin(tau) + z * std::cos(tau);
    double x2 = x * std::cos(rho) - y1 * std::sin(rho), y2 = x * std::sin(rho) + y1 * std::cos(rho);
    x2 += viewState.centre[0];
    y2 += viewState.centre[1];
    z1 += viewState.centre[2];
    const double px = -95.4877, py = 29.837934;
    out[0] = 0.01 * (x2 - px) + px;
    out[1] = 0.01 * (y2 - py) + py;
    out[2] = z1 / displaySettings.heightScale;
}

Ray expected_ray(int x, int y)
{
    const double w = viewState.viewportWidth, h = viewState.viewportHeight, a = w / h;
    const double eye[3] = {2.0 * a * x / (w - 1) - a, 1.0 - 2.0 * y / (h - 1), -4.00001};
    const double zero[3] = {0, 0, 0};
    Ray ray;
    double through[3];
    eye_to_model(zero, ray.origin);
    eye_to_model(eye, through);
    double length = 0;
    for (int k = 0; k < 3; ++k) length += (through[k] - ray.origin[k]) * (through[k] - ray.origin[k]);
    for (int k = 0; k < 3; ++k) ray.direction[k] = (through[k] - ray.origin[k]) / std::sqrt(length);
    return ray;
}

class Picking : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::memset(&zipTable, 0, sizeof zipTable);
        std::memset(&valueTable, 0, sizeof valueTable);
        displaySettings = {0, 0, 0.0001f, 1.0f};
        viewState = {{PIVOT_X, PIVOT_Y, 0}, {PIVOT_X, PIVOT_Y, 0}, 500.0f, 0.0f, 0.0f, 1024, 768};
    }
    static void add_zip(float lon, float lat, uint32_t value)
    {
        uint32_t i = zipTable.count++;
        zipTable.records[i].longitude = lon;
        zipTable.records[i].latitude = lat;
        valueTable.values[i] = value;
    }
    // Where the ray from pixel (x, y) meets the pick plane of a value.
    static void plane_hit(const PickRay &ray, double value, double &lon, double &lat)
    {
        double s = (value + 10.0 - ray.origin.z) / ray.direction.z;
        lon = ray.origin.x + s * ray.direction.x;
        lat = ray.origin.y + s * ray.direction.y;
    }
};

TEST_F(Picking, RayIsTheInverseOfTheCameraAtEveryAngle)
{
    const struct { float rotation, tilt, distance, heightScale, centreX, centreY, centreZ; } views[] = {
        {0, 0, 500, 0.0001f, PIVOT_X, PIVOT_Y, 0},
        {30, 45, 120, 0.001f, -80.0f, 20.0f, 0.5f},
        {-150, 80, 10, 0.1f, -100.0f, 40.0f, 3.0f},
        {180, -60, 700, 0.01f, -95.0f, 29.0f, 0},
        {-90, 89.5f, 37, 0.0001f, PIVOT_X, PIVOT_Y, 2.0f},
    };
    const int pixels[][2] = {{0, 0}, {1022, 766}, {511, 383}, {100, 700}, {900, 40}};
    viewState.viewportWidth = 1023;
    viewState.viewportHeight = 767;
    for (const auto &v : views) {
        viewState.rotation = v.rotation;
        viewState.tilt = v.tilt;
        viewState.distance = v.distance;
        displaySettings.heightScale = v.heightScale;
        viewState.centre[0] = v.centreX;
        viewState.centre[1] = v.centreY;
        viewState.centre[2] = v.centreZ;
        for (const auto &p : pixels) {
            PickRay ray = pick_ray(int16_t(p[0]), int16_t(p[1]));
            Ray want = expected_ray(p[0], p[1]);
            const float got[2][3] = {{ray.origin.x, ray.origin.y, ray.origin.z},
                                     {ray.direction.x, ray.direction.y, ray.direction.z}};
            for (int k = 0; k < 3; ++k) {
                EXPECT_NEAR(got[0][k], want.origin[k], 1e-5 * (1 + std::fabs(want.origin[k])))
                    << "origin " << k << " at rotation " << v.rotation << ", pixel " << p[0] << "," << p[1];
                EXPECT_NEAR(got[1][k], want.direction[k], 2e-5)
                    << "direction " << k << " at rotation " << v.rotation << ", pixel " << p[0] << "," << p[1];
            }
            EXPECT_EQ(ray.bestDistance, PICK_NO_HIT);
            EXPECT_EQ(ray.bestIndex, 0);
        }
    }
}

TEST_F(Picking, MiddlePixelOfTheDefaultViewMeetsTheGroundAtThePivot)
{
    viewState.viewportWidth = 1023;
    viewState.viewportHeight = 767;
    PickRay ray = pick_ray(511, 383);
    double lon, lat;
    plane_hit(ray, -10.0, lon, lat);   // the plane of a value of -10 is the ground
    EXPECT_NEAR(lon, -95.4877, 1e-5);
    EXPECT_NEAR(lat, 29.837934, 1e-5);

    // A view one pixel wide and high casts its ray through the middle, finite.
    viewState.viewportWidth = viewState.viewportHeight = 1;
    ray = pick_ray(0, 0);
    plane_hit(ray, -10.0, lon, lat);
    EXPECT_NEAR(lon, -95.4877, 1e-5);
    EXPECT_NEAR(lat, 29.837934, 1e-5);
}

TEST_F(Picking, SmallestHorizontalMissWinsAndTiesKeepTheLowerIndex)
{
    viewState.viewportWidth = 1023;
    viewState.viewportHeight = 767;
    int32_t index = -1;
    EXPECT_EQ(pick_zip(511, 383, index), 0);   // no ZIP codes loaded

    add_zip(-95.4877f + 0.006f, 29.837934f, 0);        // 0.006 away: inside the tolerance
    add_zip(-95.4877f, 29.837934f + 0.003f, 5000);     // 0.003 away on its own plane: closer
    add_zip(-95.4877f + 0.02f, 29.837934f, 0);         // beyond 0.01: never
    ASSERT_EQ(pick_zip(511, 383, index), 1);
    EXPECT_EQ(index, 1);

    add_zip(-95.4877f, 29.837934f + 0.003f, 5000);     // the same miss again, later in the table
    ASSERT_EQ(pick_zip(511, 383, index), 1);
    EXPECT_EQ(index, 1);

    zipTable.count = 0;
    add_zip(-95.4877f + 0.02f, 29.837934f, 0);
    EXPECT_EQ(pick_zip(511, 383, index), 0);
}

TEST_F(Picking, ParallelRaysAndCrossingsBehindTheEyeHitNothing)
{
    add_zip(-95.0f, 29.0f, 0);
    PickRay level = {{-95.0f, 29.0f, 5.0f}, {1.0f, 0.0f, 0.0f}, PICK_NO_HIT, 0};
    test_column(level, 0);
    EXPECT_EQ(level.bestDistance, PICK_NO_HIT);

    // From below the pick plane looking down, the plane lies behind the eye.
    PickRay down = {{-95.0f, 29.0f, 5.0f}, {0.0f, 0.0f, -1.0f}, PICK_NO_HIT, 0};
    test_column(down, 0);
    EXPECT_EQ(down.bestDistance, PICK_NO_HIT);
    PickRay up = {{-95.0f, 29.0f, 5.0f}, {0.0f, 0.0f, 1.0f}, PICK_NO_HIT, 0};
    test_column(up, 0);
    EXPECT_EQ(up.bestDistance, 0.0f);
}

// Looking level (tilt 90), the middle row of an odd-height view casts rays with no
// vertical component: they never cross a pick plane near its ZIP code, wherever the
// ZIP codes stand along the view.
TEST_F(Picking, LevelRaysOfTheMiddleRowHitNothing)
{
    viewState.tilt = 90.0f;
    viewState.distance = 10.0f;
    viewState.viewportWidth = 1023;
    viewState.viewportHeight = 767;   // row 383 is the exact middle
    for (int i = 0; i < 289; ++i)      // every 0.05 degrees, 0.4 around the pivot
        add_zip(-95.4877f + 0.05f * float(i % 17 - 8), 29.837934f + 0.05f * float(i / 17 - 8), uint32_t(i % 3));
    for (int x = 0; x < 1023; x += 11) {
        PickRay ray = pick_ray(int16_t(x), 383);
        ASSERT_LT(std::fabs(ray.direction.z), 1e-6f) << x;
        int32_t index = -1;
        ASSERT_EQ(pick_zip(int16_t(x), 383, index), 0) << "column " << x << " picked " << index;
    }
}

TEST_F(Picking, VectorOperations)
{
    Vec3 v = {3.0f, 4.0f, 12.0f};
    EXPECT_EQ(vec_dot(v, {1.0f, 2.0f, 3.0f}), 47.0f);
    EXPECT_EQ(vec_length(v), 13.0f);
    vec_normalise(v);
    EXPECT_FLOAT_EQ(v.z, 12.0f / 13.0f);
    Vec3 zero = {0, 0, 0};
    vec_normalise(zero);
    EXPECT_EQ(zero.x, 0.0f);
    // column order: element (row r, column k) at 4k + r; the fourth row is ignored
    const float m[16] = {1, 2, 3, 99, 4, 5, 6, 99, 7, 8, 9, 99, 10, 11, 12, 99};
    Vec3 p = mat_transform_point(m, {1.0f, 1.0f, 1.0f}, 2.0f);
    EXPECT_EQ(p.x, 1 + 4 + 7 + 20.0f);
    EXPECT_EQ(p.y, 2 + 5 + 8 + 22.0f);
    EXPECT_EQ(p.z, 3 + 6 + 9 + 24.0f);
}

}   // namespace
