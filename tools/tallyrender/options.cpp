// options.cpp -- parsing and checking tallyrender's command line with getopt_long, the
// way Debian's tools take options: "--opt value" or "--opt=value", any unambiguous
// abbreviation, -h/--help and --version. Numbers are read with the C conventions
// whatever the locale; a value that does not parse whole, or lies outside what the
// viewer itself could show, is refused with the reason.
#include "options.h"
#include "film.h"
#include "model.h"
#include "version.h"
#include "zip_table.h"

#include <getopt.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static const char USAGE[] =
    "usage: tallyrender [options]\n"
    "Draws the Tallymap view of a study area without a window and writes pictures,\n"
    "films of the timeline as numbered frames or video files, the view as a 3-D\n"
    "model, the value CSV or ZIP reports. An option takes its value as --size 800x600\n"
    "or --size=800x600 and may be shortened to any prefix that names it alone.\n"
    "\n"
    "What to load and show:\n"
    "  --data DIR                 data directory (default ./data)\n"
    "  --load FILE.csv            Load Data CSV, relative to the current folder\n"
    "  --date YYYY-MM-DD          date, 1990-01-01 to 2021-12-31 (default 1990-01-01)\n"
    "  --field N                  line N of the field file (default 0); headings are refused\n"
    "  --campus 0|1|2             enrollment colouring: 0 off, 1 University Park, 2 Victoria\n"
    "  --height-scale 10000|1000|100|10    column height scale N:1 (default 10000)\n"
    "  --colour-range normalized|10|100|1000   enrollment colour range (default normalized)\n"
    "  --view ROTATION,TILT,DISTANCE   camera: rotation -180..180, tilt -90..90 degrees,\n"
    "                             distance at least 10 (default 0,0,500)\n"
    "  --centre LON,LAT           the point the view turns about (default the map's middle)\n"
    "  --select ZIP               select a loaded ZIP code (the others turn translucent)\n"
    "  --size WxH                 picture size in pixels (default 1024x768)\n"
    "  --legend                   add a legend to every picture\n"
    "\n"
    "What to write (at least one):\n"
    "  --snapshot FILE.bmp|FILE.png   one picture, as the viewer's snapshot shows it\n"
    "  --frames DIR|PATTERN --step day|month|year --count N\n"
    "                             N pictures, the date stepped between them as the\n"
    "                             timeline steps it: DIR/frame_00001.bmp ..., or the\n"
    "                             names of a PATTERN with one number field, %d or %0Nd,\n"
    "                             such as out/f_%05d.png (.bmp or .png)\n"
    "  --film FILE.mp4|FILE.webm --step day|month|year --count N\n"
    "                             the same N pictures as a film: H.264 in MP4 (even\n"
    "                             sizes only) or VP9 in WebM; with --frames, both\n"
    "  --fps N                    film frames or model keys a second, 1 to 60 (default 10)\n"
    "  --quality high|normal|small   the film's fidelity against its size (default normal)\n"
    "  --model FILE.glb [--step day|month|year --count N]\n"
    "                             the view as a binary glTF model (no legend) that a\n"
    "                             browser, Blender or a slide program turns: at --date,\n"
    "                             or animated over the same N dates as the frames\n"
    "  --export FILE.csv          the value CSV of the date, field and campus\n"
    "  --report ZIP               the ZIP report, on standard output\n"
    "  -h, --help                 this text\n"
    "  --version                  the version of Tallymap\n"
    "\n"
    "Exit status: 0 written; 1 something could not be read, drawn or written (a line on\n"
    "standard error says what); 2 the command line is wrong.\n";

const char *usage_text() { return USAGE; }

// ---------------------------------------------------------------------------------
// The options
// ---------------------------------------------------------------------------------
enum OptionId {
    OPT_HELP = 'h',
    OPT_DATA = 256, OPT_LOAD, OPT_DATE, OPT_FIELD, OPT_CAMPUS, OPT_HEIGHT_SCALE, OPT_COLOUR_RANGE, OPT_VIEW,
    OPT_CENTRE, OPT_SELECT, OPT_SIZE, OPT_LEGEND, OPT_SNAPSHOT, OPT_FRAMES, OPT_STEP, OPT_COUNT, OPT_FILM, OPT_FPS,
    OPT_QUALITY, OPT_MODEL, OPT_EXPORT, OPT_REPORT, OPT_VERSION,
};

static const struct option OPTIONS[] = {
    {"data", required_argument, nullptr, OPT_DATA},
    {"load", required_argument, nullptr, OPT_LOAD},
    {"date", required_argument, nullptr, OPT_DATE},
    {"field", required_argument, nullptr, OPT_FIELD},
    {"campus", required_argument, nullptr, OPT_CAMPUS},
    {"height-scale", required_argument, nullptr, OPT_HEIGHT_SCALE},
    {"colour-range", required_argument, nullptr, OPT_COLOUR_RANGE},
    {"view", required_argument, nullptr, OPT_VIEW},
    {"centre", required_argument, nullptr, OPT_CENTRE},
    {"select", required_argument, nullptr, OPT_SELECT},
    {"size", required_argument, nullptr, OPT_SIZE},
    {"legend", no_argument, nullptr, OPT_LEGEND},
    {"snapshot", required_argument, nullptr, OPT_SNAPSHOT},
    {"frames", required_argument, nullptr, OPT_FRAMES},
    {"step", required_argument, nullptr, OPT_STEP},
    {"count", required_argument, nullptr, OPT_COUNT},
    {"film", required_argument, nullptr, OPT_FILM},
    {"fps", required_argument, nullptr, OPT_FPS},
    {"quality", required_argument, nullptr, OPT_QUALITY},
    {"model", required_argument, nullptr, OPT_MODEL},
    {"export", required_argument, nullptr, OPT_EXPORT},
    {"report", required_argument, nullptr, OPT_REPORT},
    {"help", no_argument, nullptr, OPT_HELP},
    {"version", no_argument, nullptr, OPT_VERSION},
    {nullptr, 0, nullptr, 0},
};

static const char *option_name(int id)
{
    for (const struct option *o = OPTIONS; o->name; ++o)
        if (o->val == id) return o->name;
    return "?";
}

// Whole numbers in a range, each stored by its row.
struct IntegerRange {
    int         option;
    long long   low, high;
    const char *what;                                  // "'x' is not WHAT from LOW to HIGH"
    void      (*store)(RenderOptions &, long long);
};

static const IntegerRange RANGES[] = {
    {OPT_FIELD, 0, FIELD_COUNT - 1, "a field line", [](RenderOptions &o, long long n) { o.field = int(n); }},
    {OPT_SELECT, 0, UINT32_MAX, "a ZIP code", [](RenderOptions &o, long long n) { o.selectZip = n; }},
    {OPT_REPORT, 0, UINT32_MAX, "a ZIP code", [](RenderOptions &o, long long n) { o.reportZip = n; }},
    {OPT_COUNT, 1, MAX_FRAMES, "a number of frames", [](RenderOptions &o, long long n) { o.frameCount = int(n); }},
    {OPT_FPS, 1, MAX_FPS, "a number of frames per second", [](RenderOptions &o, long long n) { o.fps = int(n); }},
};

// Words from a list, stored as their index.
struct Choice {
    int                option;
    const char *const *names;
    int                count;
    int RenderOptions::*index;
};

static const char *const CAMPUSES[] = {"0", "1", "2"};
static const char *const HEIGHTS[] = {"10000", "1000", "100", "10"};          // HEIGHT_SCALES order
static const char *const COLOURS[] = {"normalized", "10", "100", "1000"};     // COLOUR_SCALES order
const char *const STEP_UNIT_NAMES[3] = {"day", "month", "year"};             // DateStepUnit order
static const char *const QUALITIES[] = {"high", "normal", "small"};           // FilmQuality order

static const Choice CHOICES[] = {
    {OPT_CAMPUS, CAMPUSES, 3, &RenderOptions::campus},
    {OPT_HEIGHT_SCALE, HEIGHTS, 4, &RenderOptions::heightIndex},
    {OPT_COLOUR_RANGE, COLOURS, 4, &RenderOptions::colourIndex},
    {OPT_STEP, STEP_UNIT_NAMES, 3, &RenderOptions::stepUnit},
    {OPT_QUALITY, QUALITIES, 3, &RenderOptions::filmQuality},
};

// Paths, kept as given.
struct PathOption {
    int         option;
    char (RenderOptions::*target)[RENDER_PATH_SIZE];
    const char *what;   // "--x: no usable WHAT name"
};

static const PathOption PATHS[] = {
    {OPT_DATA, &RenderOptions::dataDirectory, "folder"},
    {OPT_LOAD, &RenderOptions::loadPath, "file"},
    {OPT_SNAPSHOT, &RenderOptions::snapshotPath, "file"},
    {OPT_FRAMES, &RenderOptions::framesValue, "folder or pattern"},
    {OPT_FILM, &RenderOptions::filmPath, "file"},
    {OPT_MODEL, &RenderOptions::modelPath, "file"},
    {OPT_EXPORT, &RenderOptions::exportPath, "file"},
};

// ---------------------------------------------------------------------------------
// Values
// ---------------------------------------------------------------------------------
// Whole-string numbers only: "12x" and "" are no numbers.
static bool read_long(const char *text, long long &value)
{
    if (!*text) return false;
    char *end = nullptr;
    errno = 0;
    value = std::strtoll(text, &end, 10);
    return errno == 0 && *end == '\0';
}

static bool read_float_list(const char *text, float *values, int count)
{
    const char *at = text;
    for (int i = 0; i < count; ++i) {
        char *end = nullptr;
        errno = 0;
        double value = std::strtod(at, &end);
        if (end == at || errno != 0 || !std::isfinite(value)) return false;
        values[i] = static_cast<float>(value);
        at = end;
        if (i + 1 < count) {
            if (*at != ',') return false;
            ++at;
        }
    }
    return *at == '\0';
}

// YYYY-MM-DD, a real calendar day the timeline can hold.
static bool read_date(const char *text, PackedDate &date)
{
    static const char SHAPE[] = "dddd-dd-dd";
    if (std::strlen(text) != 10) return false;
    for (int i = 0; i < 10; ++i)
        if (SHAPE[i] == 'd' ? (text[i] < '0' || text[i] > '9') : text[i] != SHAPE[i]) return false;
    const unsigned year = unsigned(std::atoi(text)), month = unsigned(std::atoi(text + 5)),
                   day = unsigned(std::atoi(text + 8));
    if (year < 1990 || year > 2021 || month < 1 || month > 12 || day < 1) return false;
    date = pack_date(1, month, year);
    if (day > unsigned(month_length(date))) return false;
    date = pack_date(day, month, year);
    return true;
}

// "a, b or c" of a choice's words.
static void list_words(const Choice &choice, char *text, int size)
{
    text[0] = '\0';
    for (int i = 0; i < choice.count; ++i) {
        const char *joint = i == 0 ? "" : i + 1 == choice.count ? " or " : ", ";
        const size_t used = std::strlen(text);
        std::snprintf(text + used, size_t(size) - used, "%s%s", joint, choice.names[i]);
    }
}

// One option with its value, by the tables or its own rule. 1 taken; 0 refused.
static int take_option(int id, const char *value, RenderOptions &o, char *error, int size)
{
    const char *name = option_name(id);
    for (const IntegerRange &range : RANGES) {
        if (range.option != id) continue;
        long long number = 0;
        if (!read_long(value, number) || number < range.low || number > range.high)
            return refuse(error, size, "--%s: '%s' is not %s from %lld to %lld", name, value, range.what, range.low,
                          range.high);
        range.store(o, number);
        return 1;
    }
    for (const Choice &choice : CHOICES) {
        if (choice.option != id) continue;
        for (int i = 0; i < choice.count; ++i)
            if (std::strcmp(value, choice.names[i]) == 0) {
                o.*choice.index = i;
                return 1;
            }
        char words[128];
        list_words(choice, words, sizeof words);
        return refuse(error, size, "--%s: '%s' is not %s", name, value, words);
    }
    for (const PathOption &path : PATHS) {
        if (path.option != id) continue;
        if (!*value || std::strlen(value) >= size_t(RENDER_PATH_SIZE))
            return refuse(error, size, "--%s: no usable %s name", name, path.what);
        std::strcpy(o.*path.target, value);
        return 1;
    }
    float v[3];
    switch (id) {
    case OPT_DATE:
        if (!read_date(value, o.date))
            return refuse(error, size, "--date: '%s' is not a day from 1990-01-01 to 2021-12-31 (YYYY-MM-DD)", value);
        o.hasDate = true;
        return 1;
    case OPT_VIEW:
        if (!read_float_list(value, v, 3) || v[0] < -180 || v[0] > 180 || v[1] < -90 || v[1] > 90 || v[2] < 10)
            return refuse(error, size, "--view: '%s' is not ROTATION (-180..180),TILT (-90..90),DISTANCE (10 or more)",
                          value);
        o.hasView = true;
        o.rotation = v[0];
        o.tilt = v[1];
        o.distance = v[2];
        return 1;
    case OPT_CENTRE:
        if (!read_float_list(value, v, 2) || v[0] < -180 || v[0] > 180 || v[1] < -90 || v[1] > 90)
            return refuse(error, size, "--centre: '%s' is not LONGITUDE,LATITUDE in degrees", value);
        o.hasCentre = true;
        o.centreLongitude = v[0];
        o.centreLatitude = v[1];
        return 1;
    case OPT_SIZE: {
        int width = 0, height = 0, consumed = 0;
        if (std::sscanf(value, "%dx%d%n", &width, &height, &consumed) != 2 || value[consumed] != '\0' || width < 1 ||
            height < 1 || width > MAX_RENDER_SIDE || height > MAX_RENDER_SIDE)
            return refuse(error, size, "--size: '%s' is not WIDTHxHEIGHT, each 1 to %d", value, MAX_RENDER_SIDE);
        o.width = width;
        o.height = height;
        return 1;
    }
    default:   // every option of the table has its row or its case above
        return refuse(error, size, "--%s: no rule for this option", name);
    }
}

// Why getopt_long refused the long option arg ("--name" or "--name=value"): unknown,
// ambiguous, or given a value it does not take.
static int refuse_long_option(const char *arg, char *error, int size)
{
    const char *name = arg + 2;
    const size_t length = std::strcspn(name, "=");
    const struct option *match = nullptr;
    int matches = 0;
    char candidates[256] = "";
    for (const struct option *o = OPTIONS; o->name; ++o) {
        if (std::strncmp(o->name, name, length) != 0) continue;
        if (std::strlen(o->name) == length) {   // an exact name wins over its abbreviations
            match = o;
            matches = 1;
            break;
        }
        match = o;
        ++matches;
        const size_t used = std::strlen(candidates);
        std::snprintf(candidates + used, sizeof candidates - used, "%s--%s", used ? ", " : "", o->name);
    }
    if (matches > 1)
        return refuse(error, size, "ambiguous option '--%.*s' (%s)", int(length), name, candidates);
    if (matches == 1 && match->has_arg == no_argument && name[length] == '=')
        return refuse(error, size, "--%s takes no value", match->name);
    return refuse(error, size, "unknown option '%.*s' (see --help)", int(length + 2), arg);
}

// ---------------------------------------------------------------------------------
// The command line as a whole
// ---------------------------------------------------------------------------------
static void set_defaults(RenderOptions &o)
{
    o = RenderOptions{};
    std::strcpy(o.dataDirectory, "./data");
    o.date = pack_date(1, 1, 1990);
    o.field = -1;
    o.selectZip = -1;
    o.reportZip = -1;
    o.width = 1024;
    o.height = 768;
    o.stepUnit = -1;
    o.frameCount = -1;
    o.fps = -1;
    o.filmQuality = -1;
}

// The output files' names against the formats they ask for.
static int check_output_names(RenderOptions &o, char *error, int size)
{
    char known[64];
    if (o.snapshotPath[0] && !(o.snapshotFormat = output_format(o.snapshotPath, OUTPUT_PICTURE))) {
        known_extensions(OUTPUT_PICTURE, known, sizeof known);
        return refuse(error, size, "--snapshot: '%s' is not a %s file", o.snapshotPath, known);
    }
    if (o.filmPath[0] && !(o.filmFormat = output_format(o.filmPath, OUTPUT_FILM))) {
        known_extensions(OUTPUT_FILM, known, sizeof known);
        return refuse(error, size, "--film: '%s' is not a %s file", o.filmPath, known);
    }
    if (o.modelPath[0] && !output_format(o.modelPath, OUTPUT_MODEL)) {
        known_extensions(OUTPUT_MODEL, known, sizeof known);
        return refuse(error, size, "--model: '%s' is not a %s file (binary glTF)", o.modelPath, known);
    }
    if (o.framesValue[0] && !parse_frame_names(o.framesValue, o.frames, error, size)) return 0;
    return 1;
}

int parse_options(int argc, char **argv, RenderOptions &o, char *error, int size)
{
    set_defaults(o);
    opterr = 0;   // every refusal is one line of ours
    optind = 0;   // glibc: start afresh
    int id;
    while ((id = getopt_long(argc, argv, ":h", OPTIONS, nullptr)) != -1) {
        if (id == ':') return refuse(error, size, "--%s needs a value", option_name(optopt));
        if (id == '?') {
            const char *arg = argv[optind - 1];
            if (std::strncmp(arg, "--", 2) == 0) return refuse_long_option(arg, error, size);
            return refuse(error, size, "unknown option '-%c' (see --help)", optopt);
        }
        if (id == OPT_HELP) o.help = true;
        else if (id == OPT_VERSION) o.version = true;
        else if (id == OPT_LEGEND) o.legend = true;
        else if (!take_option(id, optarg, o, error, size)) return 0;
    }
    if (optind < argc) return refuse(error, size, "unexpected argument '%s'", argv[optind]);
    if (o.help || o.version) return 1;
    if (!check_output_names(o, error, size)) return 0;

    const bool film = o.filmPath[0] != '\0', frames = o.framesValue[0] != '\0', model = o.modelPath[0] != '\0';
    const bool stepping = o.stepUnit >= 0 || o.frameCount > 0;
    if (stepping && (o.stepUnit < 0 || o.frameCount < 0)) return refuse(error, size, "--step and --count go together");
    if ((frames || film) && !stepping) return refuse(error, size, "--frames and --film need --step and --count");
    if (stepping && !frames && !film && !model)
        return refuse(error, size, "--step and --count go with --frames, --film or --model");
    if (o.filmQuality >= 0 && !film) return refuse(error, size, "--quality goes with --film");
    if (o.fps > 0 && !film && !(model && stepping))
        return refuse(error, size, "--fps goes with --film or an animated --model (--step and --count)");
    if (model && stepping && o.frameCount > MAX_MODEL_KEYS)
        return refuse(error, size, "--model: an animated model holds at most %d keys, one a day from 1990 to 2021",
                      MAX_MODEL_KEYS);
    if (o.fps < 0) o.fps = 10;
    if (o.filmQuality < 0) o.filmQuality = FILM_NORMAL;
    if (o.filmFormat && o.filmFormat->film == FILM_MP4 && (o.width % 2 || o.height % 2))
        return refuse(error, size, "--film: H.264 needs even sizes, and %dx%d has an odd side (use .webm, or an even --size)",
                      o.width, o.height);
    if (!o.snapshotPath[0] && !frames && !film && !model && !o.exportPath[0] && o.reportZip < 0)
        return refuse(error, size, "nothing to write: give --snapshot, --frames, --film, --model, --export or --report");
    return 1;
}
