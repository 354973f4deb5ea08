// options.cpp -- parsing and checking tallyrender's command line. Numbers are read with
// the C conventions whatever the locale; a value that does not parse whole, or lies
// outside what the viewer itself could show, is refused with the reason.
#include "options.h"
#include "film.h"
#include "zip_table.h"

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static const char USAGE[] =
    "usage: tallyrender [options]\n"
    "Draws the Tallymap view of a study area without a window and writes pictures,\n"
    "films of the timeline as numbered frames or video files, the value CSV or ZIP\n"
    "reports.\n"
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
    "  --snapshot FILE.bmp        one picture, as the viewer's snapshot shows it\n"
    "  --frames DIR --step day|month|year --count N\n"
    "                             N pictures DIR/frame_00001.bmp ..., the date stepped\n"
    "                             between them as the timeline steps it\n"
    "  --film FILE.mp4|FILE.webm --step day|month|year --count N\n"
    "                             the same N pictures as a film: H.264 in MP4 (even\n"
    "                             sizes only) or VP9 in WebM; with --frames, both\n"
    "  --fps N                    film frames per second, 1 to 60 (default 10)\n"
    "  --quality high|normal|small   the film's fidelity against its size (default normal)\n"
    "  --export FILE.csv          the value CSV of the date, field and campus\n"
    "  --report ZIP               the ZIP report, on standard output\n"
    "  --help                     this text\n"
    "\n"
    "Exit status: 0 written; 1 something could not be read, drawn or written (a line on\n"
    "standard error says what); 2 the command line is wrong.\n";

const char *usage_text() { return USAGE; }

static int refuse(char *error, int size, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(error, size_t(size), format, args);
    va_end(args);
    return 0;
}

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

static bool copy_path(char *target, const char *value)
{
    if (!*value || std::strlen(value) >= size_t(RENDER_PATH_SIZE)) return false;
    std::strcpy(target, value);
    return true;
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

// The options that take a value: one given last lacks its value, any other name given
// last is unknown. (Elsewhere the chain below decides; a name it lacks is unknown.)
static const char *const VALUE_OPTIONS[] = {
    "--data", "--load", "--date", "--field", "--campus", "--height-scale", "--colour-range", "--view",
    "--centre", "--select", "--report", "--size", "--snapshot", "--export", "--frames", "--step", "--count",
    "--film", "--fps", "--quality",
};

static bool takes_value(const char *name)
{
    for (const char *option : VALUE_OPTIONS)
        if (std::strcmp(name, option) == 0) return true;
    return false;
}

static int index_of(const char *value, const char *const *names, int count)
{
    for (int i = 0; i < count; ++i)
        if (std::strcmp(value, names[i]) == 0) return i;
    return -1;
}

int parse_options(int argc, char **argv, RenderOptions &o, char *error, int size)
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
    o.filmContainer = FILM_NONE;
    o.fps = -1;
    o.filmQuality = -1;
    static const char *const HEIGHTS[4] = {"10000", "1000", "100", "10"};
    static const char *const COLOURS[4] = {"normalized", "10", "100", "1000"};
    static const char *const UNITS[3] = {"day", "month", "year"};
    static const char *const QUALITIES[3] = {"high", "normal", "small"};   // FilmQuality order

    for (int i = 1; i < argc; ++i) {
        const char *name = argv[i];
        if (std::strcmp(name, "--help") == 0) { o.help = true; continue; }
        if (std::strcmp(name, "--legend") == 0) { o.legend = true; continue; }
        if (std::strncmp(name, "--", 2) != 0) return refuse(error, size, "unexpected argument '%s'", name);
        if (i + 1 >= argc)
            return takes_value(name) ? refuse(error, size, "%s needs a value", name)
                                     : refuse(error, size, "unknown option '%s' (see --help)", name);
        const char *value = argv[++i];
        long long number = 0;
        if (std::strcmp(name, "--data") == 0) {
            if (!copy_path(o.dataDirectory, value)) return refuse(error, size, "--data: no usable folder name");
        } else if (std::strcmp(name, "--load") == 0) {
            if (!copy_path(o.loadPath, value)) return refuse(error, size, "--load: no usable file name");
        } else if (std::strcmp(name, "--date") == 0) {
            if (!read_date(value, o.date))
                return refuse(error, size, "--date: '%s' is not a day from 1990-01-01 to 2021-12-31 (YYYY-MM-DD)", value);
            o.hasDate = true;
        } else if (std::strcmp(name, "--field") == 0) {
            if (!read_long(value, number) || number < 0 || number >= FIELD_COUNT)
                return refuse(error, size, "--field: '%s' is not a field line from 0 to %d", value, FIELD_COUNT - 1);
            o.field = int(number);
        } else if (std::strcmp(name, "--campus") == 0) {
            if (!read_long(value, number) || number < 0 || number > 2)
                return refuse(error, size, "--campus: '%s' is not 0, 1 or 2", value);
            o.campus = int(number);
        } else if (std::strcmp(name, "--height-scale") == 0) {
            if ((o.heightIndex = index_of(value, HEIGHTS, 4)) < 0)
                return refuse(error, size, "--height-scale: '%s' is not 10000, 1000, 100 or 10", value);
        } else if (std::strcmp(name, "--colour-range") == 0) {
            if ((o.colourIndex = index_of(value, COLOURS, 4)) < 0)
                return refuse(error, size, "--colour-range: '%s' is not normalized, 10, 100 or 1000", value);
        } else if (std::strcmp(name, "--view") == 0) {
            float v[3];
            if (!read_float_list(value, v, 3) || v[0] < -180 || v[0] > 180 || v[1] < -90 || v[1] > 90 || v[2] < 10)
                return refuse(error, size,
                              "--view: '%s' is not ROTATION (-180..180),TILT (-90..90),DISTANCE (10 or more)", value);
            o.hasView = true;
            o.rotation = v[0];
            o.tilt = v[1];
            o.distance = v[2];
        } else if (std::strcmp(name, "--centre") == 0) {
            float v[2];
            if (!read_float_list(value, v, 2) || v[0] < -180 || v[0] > 180 || v[1] < -90 || v[1] > 90)
                return refuse(error, size, "--centre: '%s' is not LONGITUDE,LATITUDE in degrees", value);
            o.hasCentre = true;
            o.centreLongitude = v[0];
            o.centreLatitude = v[1];
        } else if (std::strcmp(name, "--select") == 0 || std::strcmp(name, "--report") == 0) {
            if (!read_long(value, number) || number < 0 || number > 4294967295LL)
                return refuse(error, size, "%s: '%s' is not a ZIP code", name, value);
            (name[2] == 's' ? o.selectZip : o.reportZip) = number;
        } else if (std::strcmp(name, "--size") == 0) {
            int width = 0, height = 0, consumed = 0;
            if (std::sscanf(value, "%dx%d%n", &width, &height, &consumed) != 2 || value[consumed] != '\0' ||
                width < 1 || height < 1 || width > MAX_RENDER_SIDE || height > MAX_RENDER_SIDE)
                return refuse(error, size, "--size: '%s' is not WIDTHxHEIGHT, each 1 to %d", value, MAX_RENDER_SIDE);
            o.width = width;
            o.height = height;
        } else if (std::strcmp(name, "--snapshot") == 0) {
            if (!copy_path(o.snapshotPath, value)) return refuse(error, size, "--snapshot: no usable file name");
        } else if (std::strcmp(name, "--export") == 0) {
            if (!copy_path(o.exportPath, value)) return refuse(error, size, "--export: no usable file name");
        } else if (std::strcmp(name, "--frames") == 0) {
            if (!copy_path(o.framesDirectory, value)) return refuse(error, size, "--frames: no usable folder name");
        } else if (std::strcmp(name, "--step") == 0) {
            if ((o.stepUnit = index_of(value, UNITS, 3)) < 0)
                return refuse(error, size, "--step: '%s' is not day, month or year", value);
        } else if (std::strcmp(name, "--count") == 0) {
            if (!read_long(value, number) || number < 1 || number > MAX_FRAMES)
                return refuse(error, size, "--count: '%s' is not a number of frames from 1 to %d", value, MAX_FRAMES);
            o.frameCount = int(number);
        } else if (std::strcmp(name, "--film") == 0) {
            if (!copy_path(o.filmPath, value)) return refuse(error, size, "--film: no usable file name");
            if ((o.filmContainer = film_container(value)) == FILM_NONE)
                return refuse(error, size, "--film: '%s' is neither a .mp4 nor a .webm file", value);
        } else if (std::strcmp(name, "--fps") == 0) {
            if (!read_long(value, number) || number < 1 || number > MAX_FPS)
                return refuse(error, size, "--fps: '%s' is not a number of frames per second from 1 to %d", value, MAX_FPS);
            o.fps = int(number);
        } else if (std::strcmp(name, "--quality") == 0) {
            if ((o.filmQuality = index_of(value, QUALITIES, 3)) < 0)
                return refuse(error, size, "--quality: '%s' is not high, normal or small", value);
        } else {
            return refuse(error, size, "unknown option '%s' (see --help)", name);
        }
    }
    if (o.help) return 1;
    const bool film = o.filmPath[0] != '\0';
    const bool frames = o.framesDirectory[0] != '\0' || film;
    if (frames != (o.stepUnit >= 0) || frames != (o.frameCount > 0))
        return refuse(error, size, "--frames or --film, --step and --count go together");
    if (!film && (o.fps > 0 || o.filmQuality >= 0)) return refuse(error, size, "--fps and --quality go with --film");
    if (o.fps < 0) o.fps = 10;
    if (o.filmQuality < 0) o.filmQuality = FILM_NORMAL;
    if (o.filmContainer == FILM_MP4 && (o.width % 2 || o.height % 2))
        return refuse(error, size, "--film: H.264 needs even sizes, and %dx%d has an odd side (use .webm, or an even --size)",
                      o.width, o.height);
    if (!o.snapshotPath[0] && !frames && !o.exportPath[0] && o.reportZip < 0)
        return refuse(error, size, "nothing to write: give --snapshot, --frames, --film, --export or --report");
    return 1;
}
