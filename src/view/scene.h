// scene.h -- what the map view shows: the base-map plane, one column per ZIP code with
// its lid, enrollment-coloured sides and height bands, the two textures and the two
// display lists they are drawn from, and the display settings that shape them.
// Every GL operation here makes the main window's context current first.
#pragma once
#include <cstdint>
#include "zip_table.h"

// ---------------------------------------------------------------------------------
// Display settings (written by the GIS panel, read by the scene and the frame)
// ---------------------------------------------------------------------------------
// packed: bits 0-2 mapChoice (0 "Basemap"), 3-4 heightIndex, 5-6 colourIndex, bit 7 unused.
struct DisplaySettings {
    uint8_t packed;         // map choice, height-scale index and colour-range index, as above
    uint8_t overlayFlags;   // one bit per overlay check box of the GIS panel
    float   heightScale;    // world units per value unit: 0.0001, 0.001, 0.01 or 0.1
    float   colourScale;    // 1.0 exactly = "Normalized", else 0.1, 0.01 or 0.001
};

extern DisplaySettings displaySettings;   // initially {0, 0, 0.0001f, 1.0f}

// overlayFlags: one bit per check box of the GIS panel; bits 2-7 stay 0.
enum : uint8_t {
    OVERLAY_UNIVERSITIES = 1u << 0,   // "Universities": a marker at each campus
    OVERLAY_LABELS       = 1u << 1,   // "University Labels": each campus's name beside it
};

// mapChoice values: the images make_map loads into texture 10.
enum : unsigned { MAP_BASEMAP = 0, MAP_SCHOOL_DISTRICT = 1 };

inline unsigned map_choice(const DisplaySettings &s)   { return s.packed & 7u; }
inline unsigned height_index(const DisplaySettings &s) { return (s.packed >> 3) & 3u; }
inline unsigned colour_index(const DisplaySettings &s) { return (s.packed >> 5) & 3u; }

// The choices by index, with their factors (the single-precision values nearest the
// decimals). The names are what the GIS panel's lists show.
constexpr const char *MAP_NAMES[2]          = {"Basemap", "School District"};
constexpr const char *HEIGHT_SCALE_NAMES[4] = {"10000:1", "1000:1", "100:1", "10:1"};
constexpr float       HEIGHT_SCALES[4]      = {0.0001f, 0.001f, 0.01f, 0.1f};
constexpr const char *COLOUR_RANGE_NAMES[4] = {"Normalized", "1-10", "1-100", "1-1000"};
constexpr float       COLOUR_SCALES[4]      = {1.0f, 0.1f, 0.01f, 0.001f};

// Each writes its index (masked to its bits) into packed, keeping every other bit, and
// the height and colour indices their factor with it.
void set_map_choice(unsigned choice);
void set_height_index(unsigned index);
void set_colour_index(unsigned index);

// ---------------------------------------------------------------------------------
// Map extent in model coordinates (x longitude, y latitude, degrees)
// ---------------------------------------------------------------------------------
constexpr float MAP_WEST   = -96.62202f;
constexpr float MAP_EAST   = -94.35338f;
constexpr float MAP_SOUTH  = 28.76915f;
constexpr float MAP_NORTH  = 30.90672f;
constexpr float MAP_WIDTH  = 2.2686386f;   // divisor of s; east - west in single precision
constexpr float MAP_HEIGHT = 2.1375694f;   // divisor of t; north - south in single precision

constexpr float COLUMN_HALF_WIDTH = 0.0025f;  // degrees; a column is 0.005 degrees square
constexpr float LID_GREY          = 0.66f;    // lid colour, times the base-map texture
constexpr float UNSELECTED_ALPHA  = 0.15f;    // every column but the selected one

// Fixed GL object names: created once, replaced in place, never generated.
constexpr unsigned MAP_TEXTURE    = 10;   // base map, from ./data/maps/basemap.bmp
constexpr unsigned STRIPE_TEXTURE = 11;   // 64 x 64, white with a black band at the top eighth
constexpr unsigned PLANE_LIST     = 10;   // base plane and the lids of all columns
constexpr unsigned SIDES_LIST     = 11;   // the four side faces of all columns
constexpr unsigned LABEL_TEXTURE  = 12;   // the campus names, one row each (overlay.h)

constexpr int STRIPE_SIZE = 64;   // band texture side in texels
constexpr int STRIPE_BAND = 56;   // first black row; rows 56-63 are t 0.875..1
constexpr int STRIPE_TEXEL_BYTES = STRIPE_SIZE * STRIPE_SIZE * 3;   // 12,288 bytes of RGB

// ---------------------------------------------------------------------------------
// Column geometry of one rebuild
// ---------------------------------------------------------------------------------
struct ColumnColour { float red, green, blue, alpha; };

enum ColumnCorner { CORNER_SW = 0, CORNER_SE = 1, CORNER_NE = 2, CORNER_NW = 3 };

struct ColumnGeometry {
    float        corner[4][3];     // SW, SE, NE, NW at the top height (x, y, h)
    float        lidTexture[4][2]; // s, t of each corner on the base map
    float        top;              // h = value + 1 / (100 * heightScale), value units
    float        bandTop;          // T = heightScale * h: band t at the top of the sides
    float        lidAlpha;         // 1 selected or no selection, else UNSELECTED_ALPHA
    ColumnColour side;             // column_colour before the per-face darkening
};

// Filled by compute_scene_geometry from the tables, then compiled into the lists.
struct SceneScratch {
    ColumnGeometry columns[MAX_ZIPS];   // by ZIP index
    uint32_t       count;               // ZIP codes in the scene: the table's count, at most MAX_ZIPS
};

// The side faces in drawing order south, east, north, west: their first and second
// corners, and their darkening.
constexpr int    FACE_CORNERS[4][2] = {{CORNER_SW, CORNER_SE}, {CORNER_SE, CORNER_NE}, {CORNER_NE, CORNER_NW},
                                       {CORNER_NW, CORNER_SW}};
constexpr double FACE_DARKENING[4]  = {0.09, 0.06, 0.03, 0.0};

// ---------------------------------------------------------------------------------
// Operations
// ---------------------------------------------------------------------------------
// Shows the date, recomputes the values, rebuilds display lists 10 and 11.
void rebuild_scene();
// Side colour of a column from its enrollment in the current year; alpha from the selection.
ColumnColour column_colour(uint16_t zipIndex);
// The enrollment colour of a ratio 0..1: red at 0, yellow at 0.5, green at 1; alpha 1.
ColumnColour enrollment_ramp(float ratio);
// The band texture's texels (STRIPE_TEXEL_BYTES, RGB): row 0 (t = 0) first, rows from
// STRIPE_BAND on black, the others white. No GL: the model embeds the same picture.
void fill_stripe_texels(unsigned char *texels);
// Texture 11, the height band.
void make_stripe_texture();
// Texture 10 from the chosen map: the base map, or the school-district map when that
// file exists; a refused file keeps the old image.
void make_map();
// Draws both lists with depth test, blending and texturing on, and the university
// overlay between and after them; the matrices are the frame's.
void draw_scene();
// Deletes textures 10, 11 and 12 and lists 10 and 11 (Quit).
void release_scene();
// The procedure that shows the current date (the Timeline panel's); null shows nothing.
void set_date_display(void (*show)());

// Fills the scratch from ZipTable, ValueTable, DisplaySettings, QuerySelection and the
// current date, without GL; rebuild_scene calls it after compute_values.
void compute_scene_geometry();
// The geometry of the last rebuild (read-only, for tests).
const SceneScratch &scene_scratch();
