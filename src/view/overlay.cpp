// overlay.cpp -- the university overlay: the campus file, the markers on the plane and
// the names beside them (texture 12). Nothing here is compiled into the display lists:
// draw_scene calls the two drawing procedures on every frame while their box is ticked.
#include "overlay.h"
#include "app_windows.h"
#include "data_paths.h"
#include "platform.h"
#include "scene.h"

#include <GL/gl.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

CampusTable campusTable;


// Marker colour, a violet that neither the base map nor the column ramp uses.
static const float MARKER_COLOUR[3] = {0.45f, 0.1f, 0.65f};

struct OverlayState {
    int labelWidth[MAX_CAMPUSES];   // tag width in pixels per campus; 0 = no tag
    unsigned char labelTexels[LABEL_TEXTURE_WIDTH * LABEL_TEXTURE_HEIGHT * 3];   // texture 12, bottom row first
    unsigned char textTexels[LABEL_TEXTURE_WIDTH * LABEL_HEIGHT * 3];             // one name, as drawn
};

static OverlayState overlay;

int campus_label_width(uint32_t campus)
{
    return campus < campusTable.count ? overlay.labelWidth[campus] : 0;
}

// ---------------------------------------------------------------------------------
// The campus file
// ---------------------------------------------------------------------------------
static bool is_blank(const char *text)
{
    for (; *text; ++text)
        if (*text != ' ' && *text != '\t' && *text != '\r' && *text != '\n') return false;
    return true;
}

// A number in [low, high] at text, ending where `end` says; false for anything else.
static bool read_degrees(const char *text, double low, double high, const char **end, double &value)
{
    char *stop = nullptr;
    value = std::strtod(text, &stop);
    if (stop == text || !std::isfinite(value) || value < low || value > high) return false;
    *end = stop;
    return true;
}

// "name,longitude,latitude" with nothing but blanks after the latitude.
static bool parse_campus(const char *line, Campus &campus)
{
    const char *comma = std::strchr(line, ',');
    if (!comma || comma == line) return false;
    size_t nameLength = size_t(comma - line);
    if (nameLength >= size_t(CAMPUS_NAME_SIZE)) return false;

    const char *rest = nullptr;
    double longitude = 0.0, latitude = 0.0;
    if (!read_degrees(comma + 1, -180.0, 180.0, &rest, longitude) || *rest != ',') return false;
    if (!read_degrees(rest + 1, -90.0, 90.0, &rest, latitude) || !is_blank(rest)) return false;

    std::memcpy(campus.name, line, nameLength);
    campus.name[nameLength] = '\0';
    campus.longitude = static_cast<float>(longitude);
    campus.latitude = static_cast<float>(latitude);
    return true;
}

int read_campuses(const char *path, CampusTable &table)
{
    table = CampusTable{};
    FILE *file = std::fopen(path, "rb");
    if (!file) return 0;
    CampusTable staged = {};
    char line[CAMPUS_LINE_SIZE];
    bool wellFormed = true;
    while (wellFormed && std::fgets(line, sizeof line, file)) {
        size_t length = std::strlen(line);
        // a line that filled the buffer without its end is longer than any we accept
        if (length == sizeof line - 1 && line[length - 1] != '\n' && !std::feof(file)) wellFormed = false;
        else if (is_blank(line)) continue;
        else if (staged.count == uint32_t(MAX_CAMPUSES)) wellFormed = false;
        else if (!parse_campus(line, staged.campuses[staged.count])) wellFormed = false;
        else ++staged.count;
    }
    if (std::ferror(file)) wellFormed = false;
    std::fclose(file);
    if (!wellFormed || staged.count != uint32_t(MAX_CAMPUSES)) return 0;
    table = staged;
    return 1;
}

int load_campuses()
{
    char path[PATH_SIZE];
    if (!data_path(path, "ui/campuses.ui") || !read_campuses(path, campusTable)) {
        std::memset(overlay.labelWidth, 0, sizeof overlay.labelWidth);
        message_box("load_campuses() - can't read campuses!", "ERROR!", nullptr);
        return 0;
    }
    make_label_texture();
    return 1;
}

// ---------------------------------------------------------------------------------
// Texture 12: one tag per campus
// ---------------------------------------------------------------------------------
// Draws campus i's name into its row of the texture and frames it; returns the tag width.
static int draw_label_row(uint32_t campus)
{
    const int textWidth = LABEL_TEXTURE_WIDTH - 2 * LABEL_PADDING;
    const int textHeight = LABEL_HEIGHT - 2;   // inside the frame's top and bottom rows
    int needed = render_text(campusTable.campuses[campus].name, overlay.textTexels, textWidth, textHeight);
    if (needed <= 0) return 0;
    int width = needed + 2 * LABEL_PADDING;
    if (width > LABEL_TEXTURE_WIDTH) width = LABEL_TEXTURE_WIDTH;

    const int bottom = int(campus) * LABEL_ROW;
    for (int y = 0; y < textHeight; ++y)
        std::memcpy(&overlay.labelTexels[((bottom + 1 + y) * LABEL_TEXTURE_WIDTH + LABEL_PADDING) * 3],
                    &overlay.textTexels[y * textWidth * 3], size_t(textWidth) * 3);
    for (int y = bottom; y < bottom + LABEL_HEIGHT; ++y) {
        for (int x = 0; x < LABEL_TEXTURE_WIDTH; ++x) {
            unsigned char *texel = &overlay.labelTexels[(y * LABEL_TEXTURE_WIDTH + x) * 3];
            bool frame = x == 0 || x == width - 1 || y == bottom || y == bottom + LABEL_HEIGHT - 1;
            if (x >= width) std::memset(texel, 255, 3);   // beyond the tag
            else if (frame) std::memset(texel, 0, 3);
        }
    }
    return width;
}

void make_label_texture()
{
    std::memset(overlay.labelTexels, 255, sizeof overlay.labelTexels);
    std::memset(overlay.labelWidth, 0, sizeof overlay.labelWidth);
    for (uint32_t i = 0; i < campusTable.count && i < uint32_t(MAX_CAMPUSES); ++i)
        overlay.labelWidth[i] = draw_label_row(i);

    if (!make_gl_current(appWindows.mainWindow)) return;   // no view to show the tags in
    glBindTexture(GL_TEXTURE_2D, LABEL_TEXTURE);
    glTexImage2D(GL_TEXTURE_2D, 0, 3, LABEL_TEXTURE_WIDTH, LABEL_TEXTURE_HEIGHT, 0, GL_RGB, GL_UNSIGNED_BYTE,
                 overlay.labelTexels);
    // tags are drawn texel for pixel: no blur, no wrap-around at the edges
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
}

// ---------------------------------------------------------------------------------
// Drawing
// ---------------------------------------------------------------------------------
void draw_campus_markers()
{
    // the height in value units that the frame's vertical scale makes MARKER_HEIGHT
    const float top = static_cast<float>(MARKER_HEIGHT / static_cast<double>(displaySettings.heightScale));
    glDisable(GL_TEXTURE_2D);
    glBegin(GL_QUADS);
    for (uint32_t i = 0; i < campusTable.count; ++i) {
        const Campus &campus = campusTable.campuses[i];
        const float x0 = campus.longitude - MARKER_HALF_WIDTH, x1 = campus.longitude + MARKER_HALF_WIDTH;
        const float y0 = campus.latitude - MARKER_HALF_WIDTH, y1 = campus.latitude + MARKER_HALF_WIDTH;
        const float xs[5] = {x0, x1, x1, x0, x0};   // SW, SE, NE, NW, and SW again
        const float ys[5] = {y0, y0, y1, y1, y0};
        glColor4f(MARKER_COLOUR[0], MARKER_COLOUR[1], MARKER_COLOUR[2], 1.0f);
        for (int k = 0; k < 4; ++k) glVertex3f(xs[k], ys[k], top);
        // sides south, east, north, west, shaded like the columns'
        for (int face = 0; face < 4; ++face) {
            double d = FACE_DARKENING[face];
            glColor4f(static_cast<float>(MARKER_COLOUR[0] - d), static_cast<float>(MARKER_COLOUR[1] - d),
                      static_cast<float>(MARKER_COLOUR[2] - d), 1.0f);
            glVertex3f(xs[face], ys[face], 0.0f);
            glVertex3f(xs[face + 1], ys[face + 1], 0.0f);
            glVertex3f(xs[face + 1], ys[face + 1], top);
            glVertex3f(xs[face], ys[face], top);
        }
    }
    glEnd();
    glEnable(GL_TEXTURE_2D);
}

// Window position (pixels from the viewport's lower left) of a model point under the
// current matrices; false when the point lies behind the eye.
static bool project_to_window(const double model[3], const GLdouble modelview[16], const GLdouble projection[16],
                              const GLint viewport[4], double window[2])
{
    double eye[4], clip[4];
    for (int r = 0; r < 4; ++r)
        eye[r] = modelview[r] * model[0] + modelview[4 + r] * model[1] + modelview[8 + r] * model[2] + modelview[12 + r];
    for (int r = 0; r < 4; ++r)
        clip[r] = projection[r] * eye[0] + projection[4 + r] * eye[1] + projection[8 + r] * eye[2] + projection[12 + r] * eye[3];
    if (clip[3] <= 0.0) return false;
    window[0] = (clip[0] / clip[3] + 1.0) * 0.5 * viewport[2];
    window[1] = (clip[1] / clip[3] + 1.0) * 0.5 * viewport[3];
    return true;
}

void draw_campus_labels()
{
    GLdouble modelview[16], projection[16];
    GLint viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);

    // window pixels, the texture drawn texel for pixel
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0.0, viewport[2], 0.0, viewport[3], -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glBindTexture(GL_TEXTURE_2D, LABEL_TEXTURE);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glBegin(GL_QUADS);
    for (uint32_t i = 0; i < campusTable.count; ++i) {
        const int width = overlay.labelWidth[i];
        const double position[3] = {campusTable.campuses[i].longitude, campusTable.campuses[i].latitude, 0.0};
        double window[2];
        if (width <= 0 || !project_to_window(position, modelview, projection, viewport, window)) continue;
        const float x0 = static_cast<float>(std::floor(window[0] + 0.5) + LABEL_GAP);
        const float y0 = static_cast<float>(std::floor(window[1] + 0.5) - LABEL_HEIGHT / 2);
        const float x1 = x0 + static_cast<float>(width), y1 = y0 + static_cast<float>(LABEL_HEIGHT);
        const float s1 = static_cast<float>(width) / LABEL_TEXTURE_WIDTH;
        const float t0 = static_cast<float>(i * LABEL_ROW) / LABEL_TEXTURE_HEIGHT;
        const float t1 = static_cast<float>(i * LABEL_ROW + LABEL_HEIGHT) / LABEL_TEXTURE_HEIGHT;
        glTexCoord2f(0.0f, t0); glVertex2f(x0, y0);
        glTexCoord2f(s1, t0);   glVertex2f(x1, y0);
        glTexCoord2f(s1, t1);   glVertex2f(x1, y1);
        glTexCoord2f(0.0f, t1); glVertex2f(x0, y1);
    }
    glEnd();
    glEnable(GL_DEPTH_TEST);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}
