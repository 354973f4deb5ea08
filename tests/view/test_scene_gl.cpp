// test_scene_gl.cpp -- the scene and the frame drawn into an offscreen 1024 x 768
// framebuffer and read back: base map on the plane, lids, side shading and height
// bands, translucency of unselected columns, clear colour, projection, map loading and
// the map choice, and the university markers and names. The names are drawn by Qt on
// its offscreen platform: no X server is needed.
#include "camera.h"
#include "scene.h"
#include "app_windows.h"
#include "dates.h"
#include "egl_context.h"
#include "frame_probe.h"
#include "image.h"
#include "overlay.h"
#include "platform.h"
#include "selection.h"
#include "values.h"

#include <GL/gl.h>
#include <QGuiApplication>
#include <gtest/gtest.h>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

struct Rgb { int red, green, blue; };

// Message boxes shown since the last SetUp.
struct MessageLog { int count; std::string text, caption; };
MessageLog messages;

void record_message(const char *text, const char *caption, WindowHandle)
{
    ++messages.count;
    messages.text = text;
    messages.caption = caption;
}

// Where the frame puts a model point (lon, lat, value) on the 1024 x 768 framebuffer.
Pixel model_to_pixel(double lon, double lat, double value)
{
    return ::model_to_pixel(lon, lat, value, OFFSCREEN_WIDTH, OFFSCREEN_HEIGHT);
}

Rgb pixel_at(Pixel p)
{
    unsigned char rgb[3];
    read_offscreen_pixel(p.x, p.y, rgb);
    return {rgb[0], rgb[1], rgb[2]};
}

void expect_rgb(Rgb actual, int red, int green, int blue, int tolerance, const char *what)
{
    EXPECT_NEAR(actual.red, red, tolerance) << what;
    EXPECT_NEAR(actual.green, green, tolerance) << what;
    EXPECT_NEAR(actual.blue, blue, tolerance) << what;
}

// Replaces texture 10 with one colour, so lid and blend colours can be predicted exactly.
void load_uniform_map(unsigned char red, unsigned char green, unsigned char blue)
{
    unsigned char texels[4 * 4 * 3];
    for (int i = 0; i < 16; ++i) {
        texels[3 * i] = red;
        texels[3 * i + 1] = green;
        texels[3 * i + 2] = blue;
    }
    glBindTexture(GL_TEXTURE_2D, MAP_TEXTURE);
    glTexImage2D(GL_TEXTURE_2D, 0, 3, 4, 4, 0, GL_RGB, GL_UNSIGNED_BYTE, texels);
}

int map_texture_side(GLenum which)
{
    GLint side = 0;
    glBindTexture(GL_TEXTURE_2D, MAP_TEXTURE);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, which, &side);
    return side;
}

// A ZIP code whose value is `value` on every date: a flat census series and the
// detail count of field 0, a population field.
void add_zip(float lon, float lat, float value)
{
    ZipRecord &zip = zipTable.records[zipTable.count++];
    zip.longitude = lon;
    zip.latitude = lat;
    for (float &count : zip.population.census) count = 1000.0f;
    zip.detail[0] = value;
}

// The camera close above a column at the pivot: from the south at rotation 0, the east
// at 90, the north at 180 and the west at -90, aimed at scaled height `aimHeight`.
void look_at_pivot_column(float rotation, float tilt, float distance, float aimHeight)
{
    viewState.centre[2] = aimHeight;
    viewState.rotation = rotation;
    viewState.tilt = tilt;
    viewState.distance = distance;
}

void redraw()
{
    rebuild_scene();
    draw_frame();
    present_frame();
}

class SceneFrame : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // the campus names need a GUI application for their font, not a window
        static int argc = 1;
        static char name[] = "test_scene_gl";
        static char *argv[] = {name, nullptr};
        if (!QCoreApplication::instance()) new QGuiApplication(argc, argv);
        repositoryRoot = fs::current_path();
        static const ModalHandler recorder = {record_message, nullptr, nullptr};
        set_modal_handler(&recorder);
        appWindows.mainWindow = nullptr;
        create_gl_context();
        glReady = open_offscreen_gl() == 1;
        if (!glReady) return;
        reset_state();
        init_gl_state();
        set_projection(OFFSCREEN_WIDTH | (OFFSCREEN_HEIGHT << 16));
    }
    static void TearDownTestSuite()
    {
        if (glReady) release_scene();
        close_offscreen_gl();
        set_modal_handler(nullptr);
    }
    void SetUp() override
    {
        ASSERT_TRUE(glReady) << "no offscreen OpenGL context";
        fs::current_path(repositoryRoot);
        reset_state();
        messages = {0, "", ""};
        make_map();
        ASSERT_EQ(messages.count, 0) << "the base map ./data/maps/basemap.bmp is missing";
    }
    void TearDown() override { fs::current_path(repositoryRoot); }

    static void reset_state()
    {
        std::memset(&zipTable, 0, sizeof zipTable);
        std::memset(&valueTable, 0, sizeof valueTable);
        seriesCode[0] = 0;
        querySelection = {0, 0, -1};
        timeline.minDate = 0x0084;
        timeline.maxDate = 0xB67C;
        timeline.currentDate = 0x0084;
        displaySettings = {0, 0, 0.0001f, 1.0f};
        campusTable = CampusTable{};
        viewState = {{PIVOT_X, PIVOT_Y, 0.0f}, {PIVOT_X, PIVOT_Y, 0.0f}, 500.0f, 0.0f, 0.0f,
                     OFFSCREEN_WIDTH, OFFSCREEN_HEIGHT};
        set_date_display(nullptr);
    }

    static inline fs::path repositoryRoot;
    static inline bool glReady = false;
};

// A fresh temporary directory to run make_map in.
fs::path make_temp_dir()
{
    char pattern[] = "/tmp/tallymap-scene-XXXXXX";
    char *made = mkdtemp(pattern);
    return made ? fs::path(made) : fs::path();
}

TEST_F(SceneFrame, PlaneShowsTheBaseMapAndGreyAroundIt)
{
    redraw();
    RgbImage map = {0, 0, 0, nullptr};
    ASSERT_EQ(read_bmp("./data/maps/basemap.bmp", map), 1);
    // A grid of points across the plane: the rendered colour lies within the range of
    // the bitmap's texels around the point (bilinear sampling of a minified map).
    for (int i = 1; i <= 9; i += 2) {
        for (int j = 1; j <= 9; j += 2) {
            double s = i / 10.0, t = j / 10.0;
            Rgb seen = pixel_at(model_to_pixel(MAP_WEST + s * MAP_WIDTH, MAP_SOUTH + t * MAP_HEIGHT, 0));
            int cx = int(s * map.width), cy = int(t * map.height);
            int low[3] = {255, 255, 255}, high[3] = {0, 0, 0};
            for (int y = cy - 2; y <= cy + 2; ++y) {
                for (int x = cx - 2; x <= cx + 2; ++x) {
                    const unsigned char *texel = map.pixels + (y * map.width + x) * 3;
                    for (int c = 0; c < 3; ++c) {
                        low[c] = std::min(low[c], int(texel[c]));
                        high[c] = std::max(high[c], int(texel[c]));
                    }
                }
            }
            const int seenChannels[3] = {seen.red, seen.green, seen.blue};
            for (int c = 0; c < 3; ++c) {
                EXPECT_GE(seenChannels[c], low[c] - 4) << "s " << s << " t " << t << " channel " << c;
                EXPECT_LE(seenChannels[c], high[c] + 4) << "s " << s << " t " << t << " channel " << c;
            }
        }
    }
    free_image(map);

    // Whole map in view from the start: grey only beyond its edges.
    expect_rgb(pixel_at({0, 0}), 127, 127, 127, 1, "corner of the frame");
    expect_rgb(pixel_at({OFFSCREEN_WIDTH - 1, OFFSCREEN_HEIGHT - 1}), 127, 127, 127, 1, "corner of the frame");
    Pixel west = model_to_pixel(MAP_WEST, PIVOT_Y, 0), north = model_to_pixel(PIVOT_X, MAP_NORTH, 0);
    EXPECT_GT(west.x, 100);
    EXPECT_LT(north.y, OFFSCREEN_HEIGHT - 30);
    expect_rgb(pixel_at({west.x - 3, west.y}), 127, 127, 127, 1, "west of the map");
    expect_rgb(pixel_at({north.x, north.y + 3}), 127, 127, 127, 1, "north of the map");
}

TEST_F(SceneFrame, LidIsGreyTimesTheMapAndOthersFadeWhenOneIsSelected)
{
    add_zip(PIVOT_X, PIVOT_Y, 0);
    add_zip(PIVOT_X + 0.01f, PIVOT_Y, 0);
    viewState.distance = 10.0f;
    load_uniform_map(200, 100, 50);
    redraw();
    expect_rgb(pixel_at(model_to_pixel(PIVOT_X, PIVOT_Y, 0)), 132, 66, 33, 2, "lid");
    expect_rgb(pixel_at(model_to_pixel(PIVOT_X + 0.01, PIVOT_Y, 0)), 132, 66, 33, 2, "second lid");
    expect_rgb(pixel_at(model_to_pixel(PIVOT_X, PIVOT_Y + 0.005, 0)), 200, 100, 50, 2, "plane beside the lid");

    // 0.15 x 0.66 of the lid over 0.85 of the plane beneath it
    querySelection.selectedZip = 0;
    redraw();
    expect_rgb(pixel_at(model_to_pixel(PIVOT_X, PIVOT_Y, 0)), 132, 66, 33, 2, "selected lid");
    expect_rgb(pixel_at(model_to_pixel(PIVOT_X + 0.01, PIVOT_Y, 0)), 190, 95, 47, 2, "faded lid");
}

TEST_F(SceneFrame, WhiteSidesDarkenPerFace)
{
    add_zip(PIVOT_X, PIVOT_Y, 10000);   // one scaled unit tall
    struct Face { float rotation; double lon, lat; int grey; const char *name; };
    const Face faces[4] = {{0, PIVOT_X, PIVOT_Y - 0.0025, 232, "south"},
                           {90, PIVOT_X + 0.0025, PIVOT_Y, 240, "east"},
                           {180, PIVOT_X, PIVOT_Y + 0.0025, 247, "north"},
                           {-90, PIVOT_X - 0.0025, PIVOT_Y, 255, "west"}};
    for (const Face &face : faces) {
        look_at_pivot_column(face.rotation, 60.0f, 15.0f, 0.5f);
        redraw();
        expect_rgb(pixel_at(model_to_pixel(face.lon, face.lat, 5000)), face.grey, face.grey, face.grey, 2, face.name);
    }
}

TEST_F(SceneFrame, BandsMarkEveryWholeScaledUnit)
{
    // Three scaled units tall at both height scales: 30000 at 0.0001, 30 at 0.1.
    const struct { float heightScale, value; } scales[2] = {{0.0001f, 30000.0f}, {0.1f, 30.0f}};
    for (const auto &scale : scales) {
        reset_state();
        displaySettings.heightScale = scale.heightScale;
        add_zip(PIVOT_X, PIVOT_Y, scale.value);
        look_at_pivot_column(0.0f, 60.0f, 20.0f, 1.5f);
        redraw();
        const double unit = 1.0 / scale.heightScale;   // value units per band
        const double lightHeights[3] = {0.5, 1.5, 2.5}, darkHeights[3] = {0.9375, 1.9375, 2.9375};
        for (int k = 0; k < 3; ++k) {
            Rgb light = pixel_at(model_to_pixel(PIVOT_X, PIVOT_Y - 0.0025, lightHeights[k] * unit));
            Rgb dark = pixel_at(model_to_pixel(PIVOT_X, PIVOT_Y - 0.0025, darkHeights[k] * unit));
            expect_rgb(light, 232, 232, 232, 2, "between bands");
            expect_rgb(dark, 0, 0, 0, 3, "in a band");
        }
    }
}

TEST_F(SceneFrame, ZeroHeightKeepsTheProjectionFinite)
{
    double matrix[16];
    set_projection(OFFSCREEN_WIDTH);   // height 0: a minimised window
    EXPECT_EQ(viewState.viewportWidth, OFFSCREEN_WIDTH);
    EXPECT_EQ(viewState.viewportHeight, 0);
    glGetDoublev(GL_PROJECTION_MATRIX, matrix);
    for (double m : matrix) EXPECT_TRUE(std::isfinite(m));
    EXPECT_DOUBLE_EQ(matrix[0], matrix[5]);   // aspect 1

    // A wider window widens the view sideways only.
    set_projection((OFFSCREEN_WIDTH * 2) | (OFFSCREEN_HEIGHT << 16));
    glGetDoublev(GL_PROJECTION_MATRIX, matrix);
    EXPECT_NEAR(matrix[0], 4.0 / (2048.0 / 768.0), 1e-5);
    EXPECT_NEAR(matrix[5], 4.0, 1e-9);

    set_projection(OFFSCREEN_WIDTH | (OFFSCREEN_HEIGHT << 16));
    glGetDoublev(GL_PROJECTION_MATRIX, matrix);
    EXPECT_NEAR(matrix[0], 3.0, 1e-5);
    redraw();
    Rgb centre = pixel_at({OFFSCREEN_WIDTH / 2, OFFSCREEN_HEIGHT / 2});
    EXPECT_FALSE(centre.red == 127 && centre.green == 127 && centre.blue == 127) << "map back in view";
}

TEST_F(SceneFrame, RebuildShowsTheDateBeforeComputingValues)
{
    static int calls;
    static uint32_t valueSeen;
    calls = 0;
    add_zip(PIVOT_X, PIVOT_Y, 500);
    valueTable.values[0] = 7;
    set_date_display([] { ++calls; valueSeen = valueTable.values[0]; });
    rebuild_scene();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(valueSeen, 7u);
    EXPECT_EQ(valueTable.values[0], 500u);
    EXPECT_FLOAT_EQ(scene_scratch().columns[0].top, 600.0f);   // geometry from this same computation
}

TEST_F(SceneFrame, RefusedOrOtherMapKeepsTheOldImage)
{
    redraw();
    Rgb before = pixel_at({OFFSCREEN_WIDTH / 2, OFFSCREEN_HEIGHT / 2});
    fs::path empty = make_temp_dir();
    ASSERT_FALSE(empty.empty());
    fs::current_path(empty);

    make_map();
    EXPECT_EQ(messages.count, 1);
    EXPECT_EQ(messages.text, "make_map() - can't read map!");
    EXPECT_EQ(messages.caption, "ERROR!");
    EXPECT_EQ(map_texture_side(GL_TEXTURE_WIDTH), 1024);
    redraw();
    Rgb after = pixel_at({OFFSCREEN_WIDTH / 2, OFFSCREEN_HEIGHT / 2});
    EXPECT_EQ(after.red, before.red);
    EXPECT_EQ(after.green, before.green);
    EXPECT_EQ(after.blue, before.blue);

    displaySettings.packed = 1;   // "School District": no image source, nothing read
    make_map();
    EXPECT_EQ(messages.count, 1);
    EXPECT_EQ(map_texture_side(GL_TEXTURE_WIDTH), 1024);

    fs::current_path(repositoryRoot);
    fs::remove_all(empty);
}

TEST_F(SceneFrame, MapSidesArePowersOfTwo)
{
    EXPECT_EQ(map_texture_side(GL_TEXTURE_WIDTH), 1024);   // the base map goes up as read
    EXPECT_EQ(map_texture_side(GL_TEXTURE_HEIGHT), 1024);

    fs::path dir = make_temp_dir();
    ASSERT_FALSE(dir.empty());
    fs::create_directories(dir / "data" / "maps");
    RgbImage odd = {0, 0, 0, nullptr};
    ASSERT_NE(alloc_image(300, 200, 3, odd), nullptr);
    for (int i = 0; i < 300 * 200; ++i) odd.pixels[3 * i] = 255;   // red
    ASSERT_EQ(write_bmp((dir / "data/maps/basemap.bmp").c_str(), odd), 1);
    free_image(odd);

    fs::current_path(dir);
    make_map();
    EXPECT_EQ(messages.count, 0);
    EXPECT_EQ(map_texture_side(GL_TEXTURE_WIDTH), 512);
    EXPECT_EQ(map_texture_side(GL_TEXTURE_HEIGHT), 256);
    redraw();
    expect_rgb(pixel_at({OFFSCREEN_WIDTH / 2, OFFSCREEN_HEIGHT / 2}), 255, 0, 0, 1, "resampled red map");
    fs::current_path(repositoryRoot);
    fs::remove_all(dir);
}

}  // namespace

namespace {

// An 8 x 8 bitmap of one colour.
void write_uniform_bmp(const fs::path &path, int red, int green, int blue)
{
    RgbImage image = {0, 0, 0, nullptr};
    ASSERT_NE(alloc_image(8, 8, 3, image), nullptr);
    for (int i = 0; i < 64 * 3; i += 3) image.pixels[i] = red, image.pixels[i + 1] = green, image.pixels[i + 2] = blue;
    ASSERT_EQ(write_bmp(path.c_str(), image), 1);
    free_image(image);
}

TEST_F(SceneFrame, SchoolDistrictShowsItsOwnMapOnlyWhenThereIsOne)
{
    fs::path dir = make_temp_dir();
    fs::create_directories(dir / "data" / "maps");
    write_uniform_bmp(dir / "data/maps/basemap.bmp", 255, 0, 0);
    fs::current_path(dir);
    // map choice, district file (0 none, 1 blue, 2 no bitmap), colour then seen
    const struct { uint8_t choice; int file; int red, blue; } steps[] = {
        {0, 0, 255, 0}, {1, 0, 255, 0}, {1, 1, 0, 255}, {0, 1, 255, 0}, {1, 2, 255, 0}};
    for (const auto &step : steps) {
        if (step.file == 1) write_uniform_bmp(dir / "data/maps/districts.bmp", 0, 0, 255);
        if (step.file == 2) fs::resize_file(dir / "data/maps/districts.bmp", 20);
        displaySettings.packed = step.choice;
        make_map();
        redraw();
        expect_rgb(pixel_at({OFFSCREEN_WIDTH / 2, OFFSCREEN_HEIGHT / 2}), step.red, 0, step.blue, 1, "plane");
    }
    // the unreadable district map is reported as the base map would be, once
    EXPECT_EQ(messages.count, 1);
    EXPECT_EQ(messages.text, "make_map() - can't read map!");
    fs::current_path(repositoryRoot);
    fs::remove_all(dir);
}

bool violet(Rgb c) { return c.blue > c.green + 60 && c.red > c.green + 30; }   // neither map nor ramp

TEST_F(SceneFrame, UniversityMarkersStandOnThePlaneWhileTicked)
{
    ASSERT_EQ(load_campuses(), 1);
    const Campus campus = campusTable.campuses[0];
    redraw();
    const Pixel at = model_to_pixel(campus.longitude, campus.latitude, 0);
    EXPECT_FALSE(violet(pixel_at(at)));
    displaySettings.overlayFlags = OVERLAY_UNIVERSITIES;
    draw_frame();   // every frame draws them: no rebuild
    EXPECT_TRUE(violet(pixel_at(at)));
    EXPECT_FALSE(violet(pixel_at(model_to_pixel(campus.longitude + 0.015, campus.latitude, 0)))) << "0.02 wide";

    // from the south: 3 world units tall at every height scale; the sight line to a
    // point just above the far edge passes over the top
    viewState.centre[0] = (campus.longitude - PIVOT_X) * 100 + PIVOT_X;
    viewState.centre[1] = (campus.latitude - PIVOT_Y) * 100 + PIVOT_Y;
    look_at_pivot_column(0.0f, 60.0f, 20.0f, 1.5f);
    for (float heightScale : {0.0001f, 0.1f}) {
        displaySettings.heightScale = heightScale;
        draw_frame();
        EXPECT_TRUE(violet(pixel_at(model_to_pixel(campus.longitude, campus.latitude - 0.01, 2.5 / heightScale))));
        EXPECT_FALSE(violet(pixel_at(model_to_pixel(campus.longitude, campus.latitude + 0.01, 3.3 / heightScale))));
    }
}

// Dark and pure white pixels in the strip right of a point, as wide as the widest tag.
std::pair<int, int> dark_and_white_beside(Pixel from)
{
    int dark = 0, white = 0;
    for (int y = from.y - 12; y <= from.y + 12; ++y) {
        for (int x = from.x; x < from.x + LABEL_TEXTURE_WIDTH + LABEL_GAP + 2; ++x) {
            Rgb c = pixel_at({x, y});
            dark += c.red < 80 && c.green < 80 && c.blue < 80;
            white += c.red == 255 && c.green == 255 && c.blue == 255;
        }
    }
    return {dark, white};
}

TEST_F(SceneFrame, UniversityLabelsNameEachCampusBesideItsPosition)
{
    ASSERT_EQ(load_campuses(), 1);
    EXPECT_GT(campus_label_width(0), campus_label_width(1));   // "... University Park" is longer
    EXPECT_GT(campus_label_width(1), 60);
    const Pixel at = model_to_pixel(campusTable.campuses[0].longitude, campusTable.campuses[0].latitude, 0);
    redraw();
    const auto map = dark_and_white_beside(at);
    displaySettings.overlayFlags = OVERLAY_UNIVERSITIES;   // markers without names
    draw_frame();
    EXPECT_EQ(dark_and_white_beside(at), map);
    displaySettings.overlayFlags = OVERLAY_LABELS;         // names without markers
    draw_frame();
    const auto named = dark_and_white_beside(at);
    EXPECT_GT(named.first, map.first + 100) << "letters and frame";
    EXPECT_GT(named.second, map.second + 1000) << "the white tag";
    EXPECT_FALSE(violet(pixel_at(at)));
    displaySettings.overlayFlags = 0;
    draw_frame();
    EXPECT_EQ(dark_and_white_beside(at), map);
}

}  // namespace
