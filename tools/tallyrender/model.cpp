// model.cpp -- the view as a binary glTF 2.0 model (see model.h).
//
// Index
//   [SECTION] Recording the timeline
//   [SECTION] Colours and places
//   [SECTION] The binary chunk: accessors and buffer views
//   [SECTION] Materials, textures and the camera
//   [SECTION] Columns
//   [SECTION] The animation
//   [SECTION] The scene
//   [SECTION] The GLB file
//
// What the file holds. Nodes: "basemap" (the plane over the map's extent, textured by
// the map), one node per ZIP code named by its five digits, in table order, and "view"
// (the camera). A ZIP node's mesh is its lid, a quad at local height 1 over the
// column's square, and its scale (1, top, 1) lifts the lid to the column's top and
// stretches the side faces, which stand from 0 to 1, to the same height. The still
// model's sides are a second primitive of that mesh. The animated model's sides are
// child nodes, one per run of keys in which the column keeps a colour; the run's node
// has scale 1 while it lasts and 0 otherwise (STEP samplers, shared by every run of the
// same keys), and the ZIP node's scale follows the heights (LINEAR, one key per date).
// An animated model leaves out the dark bands: they would stretch with the column.
//
// Colours are the view's 8-bit values as any viewer shows them: materials are unlit
// (KHR_materials_unlit, used but not required; a viewer without it lights the same
// colours), and the view's colours, clamped as its renderer clamps them, are stored
// decoded from sRGB, since glTF colour factors and vertex colours are linear and
// textures sRGB. Every vertex colour is one side face's colour: the view darkens each
// face before clamping, so no factor can do it.
#include "model.h"
#include "json_text.h"
#include "png_writer.h"
#include "version.h"
#include "values.h"
#include "zip_table.h"

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <numbers>
#include <new>
#include <string>
#include <tuple>
#include <utility>

// ---------------------------------------------------------------------------------
// [SECTION] Recording the timeline
// ---------------------------------------------------------------------------------
bool start_model_timeline(ModelTimeline &t, uint32_t columns, int keys)
{
    t = ModelTimeline{};
    t.columns = columns;
    try {
        t.first.reserve(columns);
        t.heights.reserve(size_t(columns) * size_t(keys));
        t.colours.reserve(size_t(columns) * size_t(keys));
        t.dates.reserve(size_t(keys));
    } catch (const std::bad_alloc &) {
        return false;
    }
    return true;
}

void record_model_key(ModelTimeline &t)
{
    const SceneScratch &scene = scene_scratch();
    if (t.dates.empty())
        for (uint32_t i = 0; i < t.columns; ++i) {
            const ZipRecord &zip = zipTable.records[i];
            t.first.push_back({zip.zip, zip.longitude, zip.latitude, valueTable.values[i], scene.columns[i]});
        }
    for (uint32_t i = 0; i < t.columns; ++i) {
        t.heights.push_back(scene.columns[i].bandTop);   // heightScale x h: the top in the model
        t.colours.push_back(scene.columns[i].side);
    }
    t.dates.push_back(timeline.currentDate);
}

// ---------------------------------------------------------------------------------
// [SECTION] Colours and places
// ---------------------------------------------------------------------------------
// The map pivot and the factor of the view's world, as the model's extras state them.
constexpr double MODEL_PIVOT_LONGITUDE = -95.4877;
constexpr double MODEL_PIVOT_LATITUDE  = 29.837934;

static float model_x(double longitude) { return float((longitude - MODEL_PIVOT_LONGITUDE) * WORLD_SCALE); }
static float model_z(double latitude) { return float(-(latitude - MODEL_PIVOT_LATITUDE) * WORLD_SCALE); }

// An 8-bit sRGB level's fraction as glTF's linear colour.
static double srgb_to_linear(double c)
{
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

// One component of a side face as the view's renderer shows it: darkened, then
// clamped to 0..1.
static float face_linear(float component, double darkening)
{
    const float shown = float(component - darkening);
    return float(srgb_to_linear(shown < 0.0f ? 0.0 : shown > 1.0f ? 1.0 : shown));
}

// "YYYY-MM-DD" of a packed date (DATE_KEY_SIZE bytes).
constexpr int DATE_KEY_SIZE = 11;
static void date_key(PackedDate date, char *text)
{
    std::snprintf(text, DATE_KEY_SIZE, "%04u-%02u-%02u", 1990 + date_year(date), date_month(date), date_day(date));
}

// ---------------------------------------------------------------------------------
// [SECTION] The binary chunk: accessors and buffer views
// ---------------------------------------------------------------------------------
// Numbers go into the chunk as the host holds them: glTF's are little-endian.
static_assert(std::endian::native == std::endian::little, "the binary chunk is written in the host's byte order");

// The kinds of data, each in one buffer view of its own, in this order in the chunk.
enum DataKind { DATA_POSITION, DATA_TEXCOORD, DATA_COLOUR, DATA_INDEX, DATA_ANIMATION, DATA_KINDS };

// glTF's numbers for buffer view targets, component types and sampler settings.
constexpr int GLTF_ARRAY_BUFFER         = 34962;
constexpr int GLTF_ELEMENT_ARRAY_BUFFER = 34963;
constexpr int GLTF_UNSIGNED_SHORT  = 5123;
constexpr int GLTF_FLOAT           = 5126;
constexpr int GLTF_LINEAR        = 9729;   // as the view: linear, no mipmaps
constexpr int GLTF_REPEAT          = 10497;

struct KindLayout {
    int target;   // the buffer view's target; 0 none (animation data)
    int stride;   // bytes from one element to the next of vertex data; 0 not given
};

static const KindLayout KIND_LAYOUTS[DATA_KINDS] = {
    {GLTF_ARRAY_BUFFER, 12},             // DATA_POSITION: VEC3 float
    {GLTF_ARRAY_BUFFER, 8},              // DATA_TEXCOORD: VEC2 float
    {GLTF_ARRAY_BUFFER, 12},             // DATA_COLOUR: VEC3 float
    {GLTF_ELEMENT_ARRAY_BUFFER, 0},      // DATA_INDEX: unsigned short
    {0, 0},                            // DATA_ANIMATION: key times, scales
};

struct Accessor {
    DataKind kind;            // the buffer view it lies in
    size_t   offset;          // bytes from the start of that view
    int      componentType;   // GLTF_FLOAT or GLTF_UNSIGNED_SHORT
    size_t   count;           // elements
    int      components;      // numbers an element: 1 SCALAR, 2 VEC2, 3 VEC3
    bool     bounds;          // min and max given (positions and key times must have them)
    float    min[3], max[3];  // of each component, when bounds
};

static const char *const ACCESSOR_TYPES[4] = {"", "SCALAR", "VEC2", "VEC3"};

// Everything of the file while it is built; the JSON arrays are kept as text.
struct ModelBuilder {
    std::vector<unsigned char> data[DATA_KINDS];   // each kind's bytes
    std::vector<Accessor>      accessors;
    std::vector<std::vector<unsigned char>> images; // PNG files: the map, the band
    std::string                meshes, nodes, materials, samplers, channels;   // JSON elements
    int                        meshCount, nodeCount, materialCount, samplerCount, channelCount;
};

// Appends one element's JSON to a list kept as text; its index in the list.
static int add_to(std::string &list, int &count, const JsonText &element)
{
    if (count > 0) list += ',';
    list += element.text();
    return count++;
}

// Float elements of `components` each into a kind's view; the accessor's index.
static int add_floats(ModelBuilder &b, DataKind kind, const float *values, size_t count, int components, bool bounds)
{
    Accessor a{kind, b.data[kind].size(), GLTF_FLOAT, count, components, bounds, {}, {}};
    for (int c = 0; bounds && c < components; ++c) {
        a.min[c] = a.max[c] = values[c];
        for (size_t i = 1; i < count; ++i) {
            const float v = values[i * size_t(components) + size_t(c)];
            if (v < a.min[c]) a.min[c] = v;
            if (v > a.max[c]) a.max[c] = v;
        }
    }
    const auto *bytes = reinterpret_cast<const unsigned char *>(values);
    b.data[kind].insert(b.data[kind].end(), bytes, bytes + count * size_t(components) * sizeof(float));
    b.accessors.push_back(a);
    return int(b.accessors.size() - 1);
}

static int add_indices(ModelBuilder &b, const uint16_t *indices, size_t count)
{
    Accessor a{DATA_INDEX, b.data[DATA_INDEX].size(), GLTF_UNSIGNED_SHORT, count, 1, false, {}, {}};
    const auto *bytes = reinterpret_cast<const unsigned char *>(indices);
    b.data[DATA_INDEX].insert(b.data[DATA_INDEX].end(), bytes, bytes + count * sizeof(uint16_t));
    b.accessors.push_back(a);
    return int(b.accessors.size() - 1);
}

// ---------------------------------------------------------------------------------
// [SECTION] Materials, textures and the camera
// ---------------------------------------------------------------------------------
enum TextureId { TEXTURE_MAP = 0, TEXTURE_BAND = 1, TEXTURE_NONE = -1 };

// An unlit, double-sided material (the view culls no face): factor times the texture.
static int add_material(ModelBuilder &b, const char *name, const float factor[4], int texture)
{
    JsonText m;
    m.open('{').key("name").string(name).key("pbrMetallicRoughness").open('{');
    if (factor[0] != 1.0f || factor[1] != 1.0f || factor[2] != 1.0f || factor[3] != 1.0f)
        m.key("baseColorFactor").numbers(factor, 4);
    if (texture != TEXTURE_NONE) m.key("baseColorTexture").open('{').key("index").integer(texture).close('}');
    m.key("metallicFactor").integer(0).key("roughnessFactor").integer(1).close('}');
    if (factor[3] < 1.0f) m.key("alphaMode").string("BLEND");
    m.key("doubleSided").boolean(true);
    m.key("extensions").open('{').key("KHR_materials_unlit").open('{').close('}').close('}').close('}');
    return add_to(b.materials, b.materialCount, m);
}

// The materials of the columns, each made when first needed.
struct ColumnMaterials {
    int lid[2];     // opaque, translucent; -1 not made yet
    int sides[2];   // likewise
};

static int column_material(ModelBuilder &b, ColumnMaterials &made, bool lid, float alpha, bool bands)
{
    const int translucent = alpha < 1.0f ? 1 : 0;
    int &index = lid ? made.lid[translucent] : made.sides[translucent];
    if (index >= 0) return index;
    const float grey = lid ? float(srgb_to_linear(LID_GREY)) : 1.0f;
    const float factor[4] = {grey, grey, grey, alpha};
    static const char *const NAMES[2][2] = {{"sides", "sides, translucent"}, {"lid", "lid, translucent"}};
    index = add_material(b, NAMES[lid][translucent], factor,
                         lid ? TEXTURE_MAP : bands ? TEXTURE_BAND : TEXTURE_NONE);
    return index;
}

// The camera of the view as a node: the view's eye space is V x world with
// V = T(0, 0, -distance) Rx(-tilt) Rz(-rotation) T(-centre) in the view's world (z up);
// the model's space is that world turned by Rx(-90 degrees) about the pivot. So the
// camera node is Rx(-90) T(centre - pivot) Rz(rotation) Rx(tilt) T(0, 0, distance).
static void add_camera_node(ModelBuilder &b, JsonText &scene, const ModelSettings &s)
{
    struct Quaternion { double x, y, z, w; };
    auto about = [](double degrees, int axis) {
        const double half = degrees * std::numbers::pi / 360.0, sine = std::sin(half);
        return Quaternion{axis == 0 ? sine : 0.0, 0.0, axis == 2 ? sine : 0.0, std::cos(half)};
    };
    auto times = [](const Quaternion &p, const Quaternion &q) {
        return Quaternion{p.w * q.x + p.x * q.w + p.y * q.z - p.z * q.y, p.w * q.y - p.x * q.z + p.y * q.w + p.z * q.x,
                          p.w * q.z + p.x * q.y - p.y * q.x + p.z * q.w, p.w * q.w - p.x * q.x - p.y * q.y - p.z * q.z};
    };
    const Quaternion turn = times(times(about(-90.0, 0), about(s.view.rotation, 2)), about(s.view.tilt, 0));
    // the eye's offset from the centre: the turn applied to (0, 0, distance)
    const double x = turn.x, y = turn.y, z = turn.z, w = turn.w, d = s.view.distance;
    const double offset[3] = {2 * (x * z + w * y) * d, 2 * (y * z - w * x) * d, (1 - 2 * (x * x + y * y)) * d};
    const double centre[3] = {double(s.view.centre[0]) - PIVOT_X, double(s.view.centre[2]),
                              -(double(s.view.centre[1]) - PIVOT_Y)};
    const float translation[3] = {float(centre[0] + offset[0]), float(centre[1] + offset[1]),
                                  float(centre[2] + offset[2])};
    const float rotation[4] = {float(x), float(y), float(z), float(w)};
    JsonText node;
    node.open('{').key("name").string("view").key("camera").integer(0).key("translation").numbers(translation, 3);
    node.key("rotation").numbers(rotation, 4).close('}');
    scene.integer(add_to(b.nodes, b.nodeCount, node));
}

// ---------------------------------------------------------------------------------
// [SECTION] Columns
// ---------------------------------------------------------------------------------
// A quad's two triangles, and the four side faces' eight.
static const uint16_t QUAD_INDICES[6] = {0, 1, 2, 0, 2, 3};
static const uint16_t SIDE_INDICES[24] = {0,  1,  2,  0,  2,  3,  4,  5,  6,  4,  6,  7,
                                          8,  9,  10, 8,  10, 11, 12, 13, 14, 12, 14, 15};

struct SharedAccessors {
    int quadIndices;   // QUAD_INDICES
    int sideIndices;   // SIDE_INDICES
};

static JsonText primitive(int position, int texcoord, int colour, int indices, int material)
{
    JsonText p;
    p.open('{').key("attributes").open('{').key("POSITION").integer(position);
    if (texcoord >= 0) p.key("TEXCOORD_0").integer(texcoord);
    if (colour >= 0) p.key("COLOR_0").integer(colour);
    p.close('}').key("indices").integer(indices).key("material").integer(material).close('}');
    return p;
}

static int add_mesh(ModelBuilder &b, const char *name, const JsonText &first, const JsonText *second)
{
    JsonText mesh;
    mesh.open('{').key("name").string(name).key("primitives").open('[').json(first.text());
    if (second) mesh.json(second->text());
    mesh.close(']').close('}');
    return add_to(b.meshes, b.meshCount, mesh);
}

// The lid of a column at local height 1, textured by the map beneath it (v = 1 - t:
// glTF's v runs down the picture from its top row, the map's north edge).
static int add_lid_positions(ModelBuilder &b, const ColumnGeometry &g, int &texcoord)
{
    float position[4][3], uv[4][2];
    for (int k = 0; k < 4; ++k) {
        position[k][0] = model_x(g.corner[k][0]);
        position[k][1] = 1.0f;
        position[k][2] = model_z(g.corner[k][1]);
        uv[k][0] = g.lidTexture[k][0];
        uv[k][1] = float(1.0 - double(g.lidTexture[k][1]));
    }
    texcoord = add_floats(b, DATA_TEXCOORD, &uv[0][0], 4, 2, false);
    return add_floats(b, DATA_POSITION, &position[0][0], 4, 3, true);
}

// The four side faces from local height 0 to 1; with bands, their band texture
// coordinates from 0 to T (the column's scaled height) as the view gives them.
static int add_side_positions(ModelBuilder &b, const ColumnGeometry &g, bool bands, int &texcoord)
{
    float position[16][3], uv[16][2];
    for (int face = 0; face < 4; ++face) {
        const float *a = g.corner[FACE_CORNERS[face][0]], *c = g.corner[FACE_CORNERS[face][1]];
        const float *ends[4] = {a, c, c, a};
        const float heights[4] = {0.0f, 0.0f, 1.0f, 1.0f};
        const float u[4] = {0.0f, 1.0f, 1.0f, 0.0f};
        for (int k = 0; k < 4; ++k) {
            float *p = position[face * 4 + k];
            p[0] = model_x(ends[k][0]);
            p[1] = heights[k];
            p[2] = model_z(ends[k][1]);
            uv[face * 4 + k][0] = u[k];
            uv[face * 4 + k][1] = heights[k] * g.bandTop;
        }
    }
    texcoord = bands ? add_floats(b, DATA_TEXCOORD, &uv[0][0], 16, 2, false) : -1;
    return add_floats(b, DATA_POSITION, &position[0][0], 16, 3, true);
}

// A column colour's red, green and blue: the vertex colours of each are made once.
using ColourKey = std::tuple<float, float, float>;

// The vertex colours of the four side faces of one column colour.
static int side_colours(ModelBuilder &b, std::map<ColourKey, int> &made, const ColumnColour &c)
{
    const ColourKey key{c.red, c.green, c.blue};
    if (auto found = made.find(key); found != made.end()) return found->second;
    float colour[16][3];
    for (int face = 0; face < 4; ++face)
        for (int k = 0; k < 4; ++k) {
            colour[face * 4 + k][0] = face_linear(c.red, FACE_DARKENING[face]);
            colour[face * 4 + k][1] = face_linear(c.green, FACE_DARKENING[face]);
            colour[face * 4 + k][2] = face_linear(c.blue, FACE_DARKENING[face]);
        }
    return made[key] = add_floats(b, DATA_COLOUR, &colour[0][0], 16, 3, false);
}

// The node's name: the ZIP code as five digits (more when it has more).
static void zip_name(uint32_t zip, char *name, int size) { std::snprintf(name, size_t(size), "%05u", zip); }

// ---------------------------------------------------------------------------------
// [SECTION] The animation
// ---------------------------------------------------------------------------------
// The keys in which a column keeps one colour.
struct ColourRun {
    int first, end;   // the run's first key and the key after its last
};

struct AnimationParts {
    int                                times;        // accessor of every key's time
    std::map<std::pair<int, int>, int> runSampler;   // a run's STEP sampler, by its first and end keys
};

static int add_sampler(ModelBuilder &b, int input, int output, const char *interpolation)
{
    JsonText s;
    s.open('{').key("input").integer(input).key("output").integer(output).key("interpolation").string(interpolation);
    return add_to(b.samplers, b.samplerCount, s.close('}'));
}

static void add_channel(ModelBuilder &b, int sampler, int node)
{
    JsonText c;
    c.open('{').key("sampler").integer(sampler).key("target").open('{').key("node").integer(node);
    c.key("path").string("scale").close('}').close('}');
    add_to(b.channels, b.channelCount, c);
}

// The sampler that shows a run's node from its first key to its end and hides it
// otherwise; one for every run of the same keys.
static int run_sampler(ModelBuilder &b, AnimationParts &parts, const ColourRun &run, int keys, int fps)
{
    const auto key = std::make_pair(run.first, run.end);
    if (auto found = parts.runSampler.find(key); found != parts.runSampler.end()) return found->second;
    float times[3], scales[3][3];
    int count = 0;
    auto put = [&](int k, float scale) {
        times[count] = float(double(k) / fps);
        scales[count][0] = scales[count][1] = scales[count][2] = scale;
        ++count;
    };
    if (run.first > 0) put(0, 0.0f);
    put(run.first, 1.0f);
    if (run.end < keys) put(run.end, 0.0f);
    const int input = add_floats(b, DATA_ANIMATION, times, size_t(count), 1, true);
    const int output = add_floats(b, DATA_ANIMATION, &scales[0][0], size_t(count), 3, false);
    return parts.runSampler[key] = add_sampler(b, input, output, "STEP");
}

// The heights of column i at every key as its node's scale (1, top, 1), linear between keys.
static void add_height_channel(ModelBuilder &b, const AnimationParts &parts, const ModelTimeline &t, uint32_t i,
                               int node)
{
    const size_t keys = t.dates.size();
    std::vector<float> scales(keys * 3, 1.0f);
    for (size_t k = 0; k < keys; ++k) scales[k * 3 + 1] = t.heights[k * t.columns + i];
    const int output = add_floats(b, DATA_ANIMATION, scales.data(), keys, 3, false);
    add_channel(b, add_sampler(b, parts.times, output, "LINEAR"), node);
}

// ---------------------------------------------------------------------------------
// [SECTION] The scene
// ---------------------------------------------------------------------------------
// The runs of column i: consecutive keys of one side colour.
static std::vector<ColourRun> colour_runs(const ModelTimeline &t, uint32_t i)
{
    std::vector<ColourRun> runs;
    const int keys = int(t.dates.size());
    for (int k = 0; k < keys; ++k) {
        const ColumnColour &c = t.colours[size_t(k) * t.columns + i];
        const ColumnColour *before = k > 0 ? &t.colours[size_t(k - 1) * t.columns + i] : nullptr;
        if (before && before->red == c.red && before->green == c.green && before->blue == c.blue) {
            runs.back().end = k + 1;
            continue;
        }
        runs.push_back({k, k + 1});
    }
    return runs;
}

// The plane of the base map over the map's extent at height 0.
static int add_basemap(ModelBuilder &b, const SharedAccessors &shared)
{
    const float position[4][3] = {{model_x(MAP_WEST), 0.0f, model_z(MAP_SOUTH)},
                                  {model_x(MAP_EAST), 0.0f, model_z(MAP_SOUTH)},
                                  {model_x(MAP_EAST), 0.0f, model_z(MAP_NORTH)},
                                  {model_x(MAP_WEST), 0.0f, model_z(MAP_NORTH)}};
    const float uv[4][2] = {{0.0f, 1.0f}, {1.0f, 1.0f}, {1.0f, 0.0f}, {0.0f, 0.0f}};   // the picture's top is north
    const int positions = add_floats(b, DATA_POSITION, &position[0][0], 4, 3, true);
    const int texcoords = add_floats(b, DATA_TEXCOORD, &uv[0][0], 4, 2, false);
    const float white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    const int material = add_material(b, "basemap", white, TEXTURE_MAP);
    const int mesh = add_mesh(b, "basemap", primitive(positions, texcoords, -1, shared.quadIndices, material), nullptr);
    JsonText node;
    node.open('{').key("name").string("basemap").key("mesh").integer(mesh).close('}');
    return add_to(b.nodes, b.nodeCount, node);
}

// The ZIP node of column i (its lid, scaled to the first key's height) and, in the
// still model, its sides; the animated model's sides are the nodes of its runs.
static void add_column(ModelBuilder &b, JsonText &scene, const ModelTimeline &t, const ModelSettings &s, uint32_t i,
                       const SharedAccessors &shared, ColumnMaterials &materials,
                       std::map<ColourKey, int> &colours, AnimationParts &parts)
{
    const ModelColumn &column = t.first[i];
    const ColumnGeometry &g = column.geometry;
    const bool bands = !s.animated;
    char name[64];
    zip_name(column.zip, name, sizeof name);
    int lidTexcoords = -1, sideTexcoords = -1;
    const int lidPositions = add_lid_positions(b, g, lidTexcoords);
    const int sidePositions = add_side_positions(b, g, bands, sideTexcoords);
    const JsonText lid = primitive(lidPositions, lidTexcoords, -1, shared.quadIndices,
                                   column_material(b, materials, true, g.lidAlpha, bands));
    const int sidesMaterial = column_material(b, materials, false, g.side.alpha, bands);
    auto sides = [&](const ColumnColour &c) {
        return primitive(sidePositions, sideTexcoords, side_colours(b, colours, c), shared.sideIndices, sidesMaterial);
    };
    const std::vector<ColourRun> runs = s.animated ? colour_runs(t, i) : std::vector<ColourRun>{};
    const JsonText stillSides = s.animated ? JsonText() : sides(t.colours[i]);
    const int mesh = add_mesh(b, name, lid, s.animated ? nullptr : &stillSides);

    const float scale[3] = {1.0f, t.heights[i], 1.0f};
    const int zipNode = b.nodeCount;
    JsonText node;
    node.open('{').key("name").string(name).key("mesh").integer(mesh).key("scale").numbers(scale, 3);
    if (!runs.empty()) {
        node.key("children").open('[');
        for (size_t r = 0; r < runs.size(); ++r) node.integer(zipNode + 1 + int(r));
        node.close(']');
    }
    node.key("extras").open('{').key("zip").integer(column.zip).key("longitude").number(column.longitude);
    node.key("latitude").number(column.latitude);
    if (!s.animated) node.key("value").integer(column.value);
    node.close('}').close('}');
    scene.integer(add_to(b.nodes, b.nodeCount, node));
    if (!s.animated) return;

    const int keys = int(t.dates.size());
    for (const ColourRun &run : runs) {
        char runName[96], date[DATE_KEY_SIZE];
        date_key(t.dates[size_t(run.first)], date);
        std::snprintf(runName, sizeof runName, "%s from %s", name, date);
        const int runMesh = add_mesh(b, runName, sides(t.colours[size_t(run.first) * t.columns + i]), nullptr);
        JsonText child;
        child.open('{').key("name").string(runName).key("mesh").integer(runMesh);
        if (run.first > 0) {
            const float hidden[3] = {0.0f, 0.0f, 0.0f};
            child.key("scale").numbers(hidden, 3);
        }
        const int childNode = add_to(b.nodes, b.nodeCount, child.close('}'));
        if (runs.size() > 1) add_channel(b, run_sampler(b, parts, run, keys, s.fps), childNode);
    }
    add_height_channel(b, parts, t, i, zipNode);
}

// The asset's extras: how a script turns positions back into degrees and values.
static void add_asset(JsonText &json, const ModelTimeline &t, const ModelSettings &s)
{
    static const double PIVOT[2] = {MODEL_PIVOT_LONGITUDE, MODEL_PIVOT_LATITUDE};
    char generator[64], date[DATE_KEY_SIZE];
    std::snprintf(generator, sizeof generator, "tallyrender %s", TALLYMAP_VERSION);
    date_key(t.dates.front(), date);
    json.key("asset").open('{').key("version").string("2.0").key("generator").string(generator);
    json.key("extras").open('{').key("pivot").open('[').number(PIVOT[0]).number(PIVOT[1]).close(']');
    json.key("worldScale").number(WORLD_SCALE).key("heightScale").integer(s.heightScaleN);
    json.key("field").string(s.fieldLabel).key("fieldLine").integer(s.fieldLine).key("campus").integer(s.campus);
    if (s.animated) {
        json.key("firstDate").string(date).key("step").string(s.stepName);
        json.key("count").integer(long(t.dates.size())).key("fps").integer(s.fps);
    } else {
        json.key("date").string(date);
    }
    json.close('}').close('}');
}

// ---------------------------------------------------------------------------------
// [SECTION] The GLB file
// ---------------------------------------------------------------------------------
constexpr uint32_t GLB_MAGIC      = 0x46546C67;   // "glTF"
constexpr uint32_t GLB_VERSION    = 2;
constexpr uint32_t GLB_CHUNK_JSON = 0x4E4F534A;   // "JSON"
constexpr uint32_t GLB_CHUNK_BIN  = 0x004E4942;   // "BIN\0"

static void put_u32(std::vector<unsigned char> &out, uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8) out.push_back(uint8_t(value >> shift));
}

// The binary chunk: each kind's data, then the images, each from a multiple of 4
// bytes; the buffer views into it and the accessors over them, as JSON.
static void lay_out_binary(const ModelBuilder &b, std::vector<unsigned char> &bin, JsonText &json)
{
    int viewOfKind[DATA_KINDS];
    JsonText views;
    int viewCount = 0;
    auto add_view = [&](const std::vector<unsigned char> &bytes, int target, int stride) {
        while (bin.size() % 4) bin.push_back(0);
        views.open('{').key("buffer").integer(0).key("byteOffset").integer(long(bin.size()));
        views.key("byteLength").integer(long(bytes.size()));
        if (stride) views.key("byteStride").integer(stride);
        if (target) views.key("target").integer(target);
        views.close('}');
        bin.insert(bin.end(), bytes.begin(), bytes.end());
        return viewCount++;
    };
    views.open('[');
    for (int kind = 0; kind < DATA_KINDS; ++kind)
        viewOfKind[kind] = b.data[kind].empty() ? -1 : add_view(b.data[kind], KIND_LAYOUTS[kind].target,
                                                                 KIND_LAYOUTS[kind].stride);
    JsonText images;
    images.open('[');
    static const char *const IMAGE_NAMES[2] = {"basemap", "band"};
    for (size_t i = 0; i < b.images.size(); ++i) {
        const int view = add_view(b.images[i], 0, 0);
        images.open('{').key("name").string(IMAGE_NAMES[i]).key("bufferView").integer(view);
        images.key("mimeType").string("image/png").close('}');
    }
    while (bin.size() % 4) bin.push_back(0);
    views.close(']');
    images.close(']');

    json.key("accessors").open('[');
    for (const Accessor &a : b.accessors) {
        json.open('{').key("bufferView").integer(viewOfKind[a.kind]).key("byteOffset").integer(long(a.offset));
        json.key("componentType").integer(a.componentType).key("count").integer(long(a.count));
        json.key("type").string(ACCESSOR_TYPES[a.components]);
        if (a.bounds) json.key("min").numbers(a.min, a.components).key("max").numbers(a.max, a.components);
        json.close('}');
    }
    json.close(']').key("bufferViews").json(views.text()).key("images").json(images.text());
    json.key("buffers").open('[').open('{').key("byteLength").integer(long(bin.size())).close('}').close(']');
}

int build_model(const ModelTimeline &t, const ModelSettings &s, const RgbImage &map, std::vector<unsigned char> &glb)
{
    glb.clear();
    if (t.dates.empty() || t.first.size() != t.columns) return 0;
    try {
        ModelBuilder b{};
        const bool bands = !s.animated && t.columns > 0;   // the band texture goes with the bands
        b.images.resize(bands ? 2 : 1);
        if (!encode_png(map, PNG_SMALL, b.images[0])) return 0;
        if (bands) {
            RgbImage band{};
            if (!alloc_image(STRIPE_SIZE, STRIPE_SIZE, 3, band)) return 0;
            unsigned char texels[STRIPE_TEXEL_BYTES];
            fill_stripe_texels(texels);
            // the PNG's top row is the texture's first (v = t = 0): rows go in from the last
            const size_t row = size_t(STRIPE_SIZE) * 3;
            for (int r = 0; r < STRIPE_SIZE; ++r)
                std::memcpy(band.pixels + size_t(STRIPE_SIZE - 1 - r) * row, texels + size_t(r) * row, row);
            const int encoded = encode_png(band, PNG_SMALL, b.images[1]);
            free_image(band);
            if (!encoded) return 0;
        }

        const SharedAccessors shared{add_indices(b, QUAD_INDICES, 6),
                                     t.columns > 0 ? add_indices(b, SIDE_INDICES, 24) : -1};
        ColumnMaterials materials{{-1, -1}, {-1, -1}};
        std::map<ColourKey, int> colours;
        AnimationParts parts{};
        if (s.animated) {
            std::vector<float> times(t.dates.size());
            for (size_t k = 0; k < times.size(); ++k) times[k] = float(double(k) / s.fps);
            parts.times = add_floats(b, DATA_ANIMATION, times.data(), times.size(), 1, true);
        }
        JsonText scene;
        scene.open('[').integer(add_basemap(b, shared));
        for (uint32_t i = 0; i < t.columns; ++i) add_column(b, scene, t, s, i, shared, materials, colours, parts);
        add_camera_node(b, scene, s);
        scene.close(']');

        JsonText json;
        json.open('{');
        add_asset(json, t, s);
        json.key("extensionsUsed").open('[').string("KHR_materials_unlit").close(']');
        json.key("scene").integer(0).key("scenes").open('[').open('{').key("name").string("Tallymap view");
        json.key("nodes").json(scene.text()).close('}').close(']');
        json.key("nodes").json("[" + b.nodes + "]").key("meshes").json("[" + b.meshes + "]");
        json.key("materials").json("[" + b.materials + "]");
        json.key("samplers").open('[').open('{').key("magFilter").integer(GLTF_LINEAR);
        json.key("minFilter").integer(GLTF_LINEAR).key("wrapS").integer(GLTF_REPEAT);
        json.key("wrapT").integer(GLTF_REPEAT).close('}').close(']');
        json.key("textures").open('[');
        for (size_t i = 0; i < b.images.size(); ++i)
            json.open('{').key("sampler").integer(0).key("source").integer(long(i)).close('}');
        json.close(']');
        json.key("cameras").open('[').open('{').key("type").string("perspective").key("perspective").open('{');
        json.key("aspectRatio").number(s.aspect).key("yfov").number(2.0 * std::atan(1.0 / FRUSTUM_NEAR));
        json.key("znear").number(FRUSTUM_NEAR).key("zfar").number(FRUSTUM_FAR).close('}').close('}').close(']');
        if (s.animated) {
            json.key("animations").open('[').open('{').key("name").string("timeline");
            json.key("channels").json("[" + b.channels + "]").key("samplers").json("[" + b.samplers + "]");
            json.key("extras").open('{').key("dates").open('[');
            for (PackedDate date : t.dates) {
                char text[DATE_KEY_SIZE];
                date_key(date, text);
                json.string(text);
            }
            json.close(']').close('}').close('}').close(']');
        }
        std::vector<unsigned char> bin;
        lay_out_binary(b, bin, json);
        json.close('}');

        std::string text = json.text();
        while (text.size() % 4) text += ' ';
        const size_t total = 12 + 8 + text.size() + 8 + bin.size();
        if (total > UINT32_MAX) return 0;   // the header's length is 32 bits
        glb.reserve(total);
        put_u32(glb, GLB_MAGIC);
        put_u32(glb, GLB_VERSION);
        put_u32(glb, uint32_t(total));
        put_u32(glb, uint32_t(text.size()));
        put_u32(glb, GLB_CHUNK_JSON);
        glb.insert(glb.end(), text.begin(), text.end());
        put_u32(glb, uint32_t(bin.size()));
        put_u32(glb, GLB_CHUNK_BIN);
        glb.insert(glb.end(), bin.begin(), bin.end());
    } catch (const std::bad_alloc &) {
        glb.clear();
        return 0;
    }
    return 1;
}
