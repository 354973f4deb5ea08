// scene.cpp -- builds the map view's content: texture 10 (base map), texture 11 (height
// band), display list 10 (base plane and lids) and display list 11 (column sides).
// The geometry is computed into a fixed scratch first, then compiled into the lists.
// Every GL call here runs right after the GL view's own context was made current, and
// none runs when the view has no context (no OpenGL).
#include "scene.h"
#include "app_windows.h"
#include "data_paths.h"
#include "dates.h"
#include "image.h"
#include "overlay.h"
#include "platform.h"
#include "selection.h"
#include "values.h"

#include <GL/gl.h>
#include <filesystem>

DisplaySettings displaySettings = {0, 0, 0.0001f, 1.0f};

struct SceneState {
    SceneScratch scratch;        // geometry of the last rebuild, by ZIP index
    void (*showDate)();          // shows the current date (Timeline panel); null = nothing
};

static SceneState scene;

static const char *const BASEMAP_FILE = "maps/basemap.bmp";
// Not shipped: a user who has a school-district map puts it here.
static const char *const DISTRICTS_FILE = "maps/districts.bmp";

void set_date_display(void (*show)()) { scene.showDate = show; }

const SceneScratch &scene_scratch() { return scene.scratch; }

// packed: bits 0-2 mapChoice, 3-4 heightIndex, 5-6 colourIndex.
static void store_bits(unsigned value, unsigned shift, unsigned mask)
{
    displaySettings.packed = uint8_t((displaySettings.packed & ~(mask << shift)) | ((value & mask) << shift));
}

void set_map_choice(unsigned choice) { store_bits(choice, 0, 7); }

void set_height_index(unsigned index)
{
    store_bits(index, 3, 3);
    displaySettings.heightScale = HEIGHT_SCALES[height_index(displaySettings)];
}

void set_colour_index(unsigned index)
{
    store_bits(index, 5, 3);
    displaySettings.colourScale = COLOUR_SCALES[colour_index(displaySettings)];
}

// ---------------------------------------------------------------------------------
// Colours and geometry (no GL)
// ---------------------------------------------------------------------------------
static float selection_alpha(uint32_t zipIndex)
{
    int32_t selected = querySelection.selectedZip;
    return (selected == -1 || selected == static_cast<int64_t>(zipIndex)) ? 1.0f : UNSELECTED_ALPHA;
}

ColumnColour column_colour(uint16_t zipIndex)
{
    ColumnColour colour = {1.0f, 1.0f, 1.0f, selection_alpha(zipIndex)};
    unsigned campus = querySelection.campus;
    unsigned year = date_year(timeline.currentDate);
    if (campus == 0 || campus > 2 || year >= ENROLL_MAX || zipIndex >= MAX_ZIPS) return colour;
    const uint16_t *series = zipTable.records[zipIndex].enrollment[campus - 1];
    uint16_t enrollment = series[year];
    if (enrollment == 0) return colour;

    float ratio;
    if (displaySettings.colourScale == 1.0f) {
        // "Normalized": a stored maximum of 0 beside a nonzero enrollment saturates
        if (series[ENROLL_MAX] == 0) {
            ratio = 1.0f;
        } else {
            float factor = static_cast<float>(1.0 / series[ENROLL_MAX]);
            double r = static_cast<double>(enrollment) * factor;
            ratio = r >= 1.0 ? 1.0f : static_cast<float>(r);
        }
    } else {
        double r = static_cast<double>(enrollment) * displaySettings.colourScale;
        ratio = r >= 1.0 ? 1.0f : static_cast<float>(r);
    }

    ColumnColour ramp = enrollment_ramp(ratio);
    ramp.alpha = colour.alpha;
    return ramp;
}

ColumnColour enrollment_ramp(float ratio)
{
    if (ratio < 0.5f) return {1.0f, static_cast<float>(2.0 * ratio), 0.0f, 1.0f};   // red through orange to yellow
    return {static_cast<float>(2.0 - 2.0 * ratio), 1.0f, 0.0f, 1.0f};                // yellow to green
}

void compute_scene_geometry()
{
    SceneScratch &out = scene.scratch;
    out.count = loaded_zip_count();
    double heightScale = displaySettings.heightScale;
    double lift = 1.0 / (100.0 * heightScale);   // 0.01 scaled units above the plane

    for (uint32_t i = 0; i < out.count; ++i) {
        const ZipRecord &zip = zipTable.records[i];
        ColumnGeometry &column = out.columns[i];
        float x0 = static_cast<float>(zip.longitude - 0.0025);
        float y0 = static_cast<float>(zip.latitude - 0.0025);
        float x1 = static_cast<float>(x0 + 0.005);
        float y1 = static_cast<float>(y0 + 0.005);
        float h = static_cast<float>(static_cast<double>(valueTable.values[i]) + lift);
        const float xs[4] = {x0, x1, x1, x0};   // SW, SE, NE, NW
        const float ys[4] = {y0, y0, y1, y1};
        for (int k = 0; k < 4; ++k) {
            column.corner[k][0] = xs[k];
            column.corner[k][1] = ys[k];
            column.corner[k][2] = h;
            column.lidTexture[k][0] = static_cast<float>((static_cast<double>(xs[k]) - MAP_WEST) / MAP_WIDTH);
            column.lidTexture[k][1] = static_cast<float>((static_cast<double>(ys[k]) - MAP_SOUTH) / MAP_HEIGHT);
        }
        column.top = h;
        column.bandTop = static_cast<float>(heightScale * h);
        column.lidAlpha = selection_alpha(i);
        column.side = column_colour(static_cast<uint16_t>(i));
    }
}

// ---------------------------------------------------------------------------------
// Display lists
// ---------------------------------------------------------------------------------
static void compile_plane_and_lids()
{
    const SceneScratch &geometry = scene.scratch;
    glDeleteLists(PLANE_LIST, 1);
    glNewList(PLANE_LIST, GL_COMPILE);
    glBegin(GL_QUADS);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glTexCoord2f(0.0f, 0.0f); glVertex3f(MAP_WEST, MAP_SOUTH, 0.0f);
    glTexCoord2f(1.0f, 0.0f); glVertex3f(MAP_EAST, MAP_SOUTH, 0.0f);
    glTexCoord2f(1.0f, 1.0f); glVertex3f(MAP_EAST, MAP_NORTH, 0.0f);
    glTexCoord2f(0.0f, 1.0f); glVertex3f(MAP_WEST, MAP_NORTH, 0.0f);
    for (uint32_t i = 0; i < geometry.count; ++i) {
        const ColumnGeometry &column = geometry.columns[i];
        glColor4f(LID_GREY, LID_GREY, LID_GREY, column.lidAlpha);
        for (int k = 0; k < 4; ++k) {
            glTexCoord2fv(column.lidTexture[k]);
            glVertex3fv(column.corner[k]);
        }
    }
    glEnd();
    glEndList();
}

static void compile_sides()
{
    const SceneScratch &geometry = scene.scratch;
    glDeleteLists(SIDES_LIST, 1);
    glNewList(SIDES_LIST, GL_COMPILE);
    glBegin(GL_QUADS);
    for (uint32_t i = 0; i < geometry.count; ++i) {
        const ColumnGeometry &column = geometry.columns[i];
        const ColumnColour &c = column.side;
        for (int face = 0; face < 4; ++face) {
            double d = FACE_DARKENING[face];
            glColor4f(static_cast<float>(c.red - d), static_cast<float>(c.green - d),
                      static_cast<float>(c.blue - d), c.alpha);
            const float *a = column.corner[FACE_CORNERS[face][0]];
            const float *b = column.corner[FACE_CORNERS[face][1]];
            glTexCoord2f(0.0f, 0.0f);           glVertex3f(a[0], a[1], 0.0f);
            glTexCoord2f(1.0f, 0.0f);           glVertex3f(b[0], b[1], 0.0f);
            glTexCoord2f(1.0f, column.bandTop); glVertex3f(b[0], b[1], column.top);
            glTexCoord2f(0.0f, column.bandTop); glVertex3f(a[0], a[1], column.top);
        }
    }
    glEnd();
    glEndList();
}

void rebuild_scene()
{
    if (scene.showDate) scene.showDate();   // a panel that repaints leaves Qt's context current
    compute_values();
    compute_scene_geometry();
    if (!make_gl_current(appWindows.mainWindow)) return;
    compile_plane_and_lids();
    compile_sides();
}

// ---------------------------------------------------------------------------------
// Textures
// ---------------------------------------------------------------------------------
static void set_texture_parameters()
{
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
}

void fill_stripe_texels(unsigned char *texels)
{
    for (int i = 0; i < STRIPE_SIZE; ++i) {
        unsigned char level = i < STRIPE_BAND ? 255 : 0;   // row 0 is t = 0
        for (int j = 0; j < STRIPE_SIZE * 3; ++j) texels[i * STRIPE_SIZE * 3 + j] = level;
    }
}

void make_stripe_texture()
{
    static unsigned char texels[STRIPE_TEXEL_BYTES];
    if (!make_gl_current(appWindows.mainWindow)) return;
    fill_stripe_texels(texels);
    glBindTexture(GL_TEXTURE_2D, STRIPE_TEXTURE);
    glTexImage2D(GL_TEXTURE_2D, 0, 3, STRIPE_SIZE, STRIPE_SIZE, 0, GL_RGB, GL_UNSIGNED_BYTE, texels);
    set_texture_parameters();
}

static bool is_power_of_two(int n) { return n > 0 && (n & (n - 1)) == 0; }

// Loads an image into texture 10. Rows are packed; only widths whose rows are not a
// multiple of 4 bytes need the unpack alignment lowered, and it is put back at once.
static void upload_map(const RgbImage &image)
{
    bool packedRows = (image.width * 3) % 4 != 0;
    glBindTexture(GL_TEXTURE_2D, MAP_TEXTURE);
    if (packedRows) glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, 3, image.width, image.height, 0, GL_RGB, GL_UNSIGNED_BYTE, image.pixels);
    if (packedRows) glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    set_texture_parameters();
}

// The file of the chosen map; null when the choice has no picture to show.
static const char *chosen_map_path(char *path)
{
    std::error_code error;
    switch (map_choice(displaySettings)) {
    case MAP_BASEMAP:
        return data_path(path, BASEMAP_FILE) ? path : nullptr;
    case MAP_SCHOOL_DISTRICT:
        return data_path(path, DISTRICTS_FILE) && std::filesystem::exists(path, error) ? path : nullptr;
    default:
        return nullptr;
    }
}

void make_map()
{
    char chosen[PATH_SIZE];
    const char *path = chosen_map_path(chosen);
    if (!path) return;   // texture 10 keeps the map it holds
    if (!make_gl_current(appWindows.mainWindow)) return;   // no view to show a map in
    RgbImage image = {0, 0, 0, nullptr};
    if (!read_bmp(path, image)) {
        message_box("make_map() - can't read map!", "ERROR!", nullptr);
        return;
    }
    if (image.width <= 0 || image.height <= 0 || !image.pixels) {
        free_image(image);
        message_box("make_map() - can't read map!", "ERROR!", nullptr);
        return;
    }
    // An OpenGL 1.1 renderer takes only power-of-two sides.
    if (is_power_of_two(image.width) && is_power_of_two(image.height)) {
        upload_map(image);
    } else {
        RgbImage resampled = {0, 0, 0, nullptr};
        resample_image(image, resampled);
        if (resampled.pixels) upload_map(resampled);
        free_image(resampled);
    }
    free_image(image);
}

// ---------------------------------------------------------------------------------
// Drawing and release
// ---------------------------------------------------------------------------------
void draw_scene()
{
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, MAP_TEXTURE);
    glCallList(PLANE_LIST);
    // markers stand on the plane among the columns; names go over everything
    if (displaySettings.overlayFlags & OVERLAY_UNIVERSITIES) draw_campus_markers();
    glBindTexture(GL_TEXTURE_2D, STRIPE_TEXTURE);
    glCallList(SIDES_LIST);
    if (displaySettings.overlayFlags & OVERLAY_LABELS) draw_campus_labels();
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
}

void release_scene()
{
    static const GLuint textures[3] = {MAP_TEXTURE, STRIPE_TEXTURE, LABEL_TEXTURE};
    if (!make_gl_current(appWindows.mainWindow)) return;
    glDeleteTextures(3, textures);
    glDeleteLists(PLANE_LIST, 1);
    glDeleteLists(SIDES_LIST, 1);
}
