// overlay.h -- the university overlay of the map view: the campus positions read from
// ./data/ui/campuses.ui, a marker standing on the plane at each campus, and each
// campus's name beside it, drawn from texture 12. draw_scene draws both on every frame
// from DisplaySettings.overlayFlags, so a ticked box shows at the next frame without a
// rebuild.
//
// campuses.ui: one line a campus, in the order of the Query panel's campus combo:
//     name,longitude,latitude        e.g. "Corvale - University Park,-95.40,29.76"
// The name runs to the first comma; degrees, west negative. Blank lines are skipped.
#pragma once
#include <cstdint>

constexpr int MAX_CAMPUSES      = 2;    // the campuses of the enrollment files
constexpr int CAMPUS_NAME_SIZE  = 64;   // bytes, with the terminating zero
constexpr int CAMPUS_LINE_SIZE  = 256;  // longest line, with its end and the zero

// Marker: a square pillar on the plane, sized in world units so that it keeps its
// shape at every height scale (world = 100 x degrees horizontally).
constexpr float MARKER_HALF_WIDTH = 0.01f;   // degrees: 2 world units across
constexpr float MARKER_HEIGHT     = 3.0f;    // world units above the plane

// Names: one row of texture 12 per campus, a white tag with a black frame, drawn
// upright in window pixels beside the campus, over everything else.
constexpr int LABEL_TEXTURE_WIDTH  = 256;   // texels; also the widest tag
constexpr int LABEL_TEXTURE_HEIGHT = 64;    // texels: MAX_CAMPUSES rows of LABEL_ROW
constexpr int LABEL_ROW            = 32;    // texture rows per campus
constexpr int LABEL_HEIGHT         = 20;    // tag height in pixels (and texels)
constexpr int LABEL_PADDING        = 4;     // text inset from the tag's left and right edge
constexpr int LABEL_GAP            = 8;     // pixels from the campus position to the tag

struct Campus {
    char  name[CAMPUS_NAME_SIZE];   // as the combo shows it, such as "Corvale - Victoria"
    float longitude;                // degrees, west negative
    float latitude;                 // degrees
};

// The campuses the overlay shows. Written by load_campuses only; empty until a box is
// ticked, and empty again after a file that could not be read.
struct CampusTable {
    Campus   campuses[MAX_CAMPUSES];
    uint32_t count;                 // MAX_CAMPUSES once loaded, else 0
};

extern CampusTable campusTable;

// Reads a campus file into table: 1 when it holds exactly MAX_CAMPUSES well-formed
// lines, 0 (table emptied) when it cannot be opened or any line is malformed. No message.
int  read_campuses(const char *path, CampusTable &table);
// Reads ./data/ui/campuses.ui into campusTable and draws the names into texture 12.
// On failure: the message "load_campuses() - can't read campuses!" ("ERROR!"), an empty
// table, and 0.
int  load_campuses();
// Texture 12 from the names in campusTable (all white without campuses). Called once
// by init_gl_state, so that the name is ours before Qt makes its own textures.
void make_label_texture();
// The markers, in model coordinates with the frame's matrices; texturing goes off
// while they are drawn and on again.
void draw_campus_markers();
// The names beside the campuses' positions, in window pixels, without depth test.
void draw_campus_labels();
// Width in pixels of campus i's tag in texture 12; 0 when it has none.
int  campus_label_width(uint32_t campus);
