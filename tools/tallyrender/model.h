// model.h -- the view as one binary glTF 2.0 file (.glb) that a browser, Blender or a
// slide program opens and turns: the base map as a textured plane, one node per ZIP
// code holding its column as the view builds it, a camera named "view" at the view's
// viewpoint, and, over the timeline, an animation named "timeline" whose key k is the
// date stepped k times. Built in memory from the scene geometry recorded key by key;
// no GL, no file (the caller writes the bytes).
//
// Space: glTF's own (+Y up, right-handed), one unit a unit of the view's world, the map
// pivot at the origin: X = (lon + 95.4877) x 100, Z = -(lat - 29.837934) x 100 (north is
// -Z), Y = the view's height (value plus lift, times the height scale).
#pragma once
#include "camera.h"
#include "dates.h"
#include "image.h"
#include "scene.h"

#include <cstdint>
#include <vector>

// An animated model holds at most one key a day from 1990-01-01 to 2021-12-31: 11,688
// keys, the whole timeline, about 14 kB of heights a column.
constexpr int MAX_MODEL_KEYS = 11688;

// One ZIP code's column as the first key found it.
struct ModelColumn {
    uint32_t       zip;         // the ZIP code
    float          longitude;   // its position as loaded, degrees
    float          latitude;
    uint32_t       value;       // the view's value at the first key
    ColumnGeometry geometry;    // its square, lid texture, alpha, height and colour at the first key
};

// The columns along the timeline, recorded key by key from the scene geometry.
struct ModelTimeline {
    uint32_t                  columns;   // ZIP codes in the scene; the same at every key
    std::vector<ModelColumn>  first;     // each column at the first key, in table order
    std::vector<float>        heights;   // key after key: each column's top Y (scaled height)
    std::vector<ColumnColour> colours;   // key after key: each column's side colour
    std::vector<PackedDate>   dates;     // each key's date
};

// What the model says about itself, and its camera.
struct ModelSettings {
    bool        animated;       // one key per date with an animation; else the first key alone
    int         heightScaleN;   // N of the height scale N:1 (10000, 1000, 100 or 10)
    int         fieldLine;      // the field's line in the field file
    const char *fieldLabel;     // its label; "" when the field file was not read
    int         campus;         // 0 none, 1 or 2: whose enrollment colours the sides
    const char *stepName;       // "day", "month" or "year" between keys (animated)
    int         fps;            // keys per second (animated)
    float       aspect;         // the picture's width / height: the camera's aspect ratio
    ViewState   view;           // the camera: centre, rotation, tilt and distance
};

// Empties timeline and makes room for keys keys of columns columns. false without the memory.
bool start_model_timeline(ModelTimeline &timeline, uint32_t columns, int keys);

// Adds a key: the current scene geometry (scene_scratch) and date; at the first key also
// the ZIP table's codes and positions and the values the scene was built from.
void record_model_key(ModelTimeline &timeline);

// The GLB file of timeline into glb (replaced), with map (the base map as read, rows
// bottom first) as its texture. 1 done; 0 when the memory or an image's encoding failed.
int build_model(const ModelTimeline &timeline, const ModelSettings &settings, const RgbImage &map,
                std::vector<unsigned char> &glb);
