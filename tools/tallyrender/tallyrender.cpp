// tallyrender.cpp -- the Tallymap view without a window: loads a study area as the
// viewer does, sets the date, field, campus, scales and camera from the command line,
// and writes a picture, numbered frames or a film of the timeline, the view as a glTF
// model (at one date or animated over the timeline), the value CSV or ZIP reports. It
// draws with the viewer's own scene and camera code into an offscreen OpenGL
// framebuffer (EGL; no X server), of the viewer's format, so a picture equals the
// viewer's snapshot of the same state and size byte for byte. A model, the values and
// the reports need no OpenGL, and none is opened for them. Each date is computed once
// for everything written of it.
//
// Exit status: 0 everything written; 1 something could not be read, drawn or written;
// 2 the command line is wrong. Every failure is one line on standard error; nothing
// is written after a refusal of the command line or of the data it names.
#include "options.h"
#include "legend.h"
#include "model.h"
#include "film.h"

#include "camera.h"
#include "data_paths.h"
#include "dates.h"
#include "field_list.h"
#include "image.h"
#include "offscreen_gl.h"
#include "platform.h"
#include "report.h"
#include "version.h"
#include "scene.h"
#include "selection.h"
#include "values.h"
#include "zip_table.h"

#include "file_write.h"

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <future>
#include <system_error>
#include <unistd.h>

constexpr int EXIT_FAILED = 1;   // something could not be read, drawn or written
constexpr int EXIT_USAGE  = 2;   // the command line is wrong

static char lastMessage[512];   // the text of the last message the shared code showed
static const bool terminal = isatty(fileno(stderr)) != 0;   // progress rewritten in place

// The shared code's messages begin with the name of the step that failed
// ("make_map() - ", "read_records(): "): a user learns nothing from it.
static void remember_message(const char *text, const char *, WindowHandle)
{
    const char *name = std::strstr(text, "()");
    if (name && name[2] == ':') text = name + 3;
    else if (name && std::strncmp(name + 2, " -", 2) == 0) text = name + 4;
    while (*text == ' ') ++text;
    std::snprintf(lastMessage, sizeof lastMessage, "%s", text);
}

// What a user can do about a data directory without the file asked for.
static const char DATA_HINT[] = "; pass --data DIR or run tallyrender where data/ is";

static int fail_with(int status, const char *format, va_list args)
{
    std::fputs("tallyrender: ", stderr);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
    return status;
}

static int fail(int status, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    fail_with(status, format, args);
    va_end(args);
    return status;
}

static int32_t find_zip(int64_t zip)
{
    for (uint32_t i = 0; i < loaded_zip_count(); ++i)
        if (zipTable.records[i].zip == uint64_t(zip)) return int32_t(i);
    return -1;
}

// ---------------------------------------------------------------------------------
// Writing: every file whole or not at all, through the one file writer
// ---------------------------------------------------------------------------------
// write makes the file at the temporary name it is given; true when it did. error:
// the system's error number of the failure.
template <typename Writer>
static bool write_whole(const char *path, int &error, Writer write)
{
    FileWrite file;
    begin_file_write(file, path);
    error = 0;
    return finish_file_write(file, write(file.temporary.c_str()), error) != 0;
}

static bool write_picture(const OutputFormat &format, const RgbImage &image, const char *path, bool frame, int &error)
{
    return write_whole(path, error,
                       [&](const char *temporary) { return format.writePicture(temporary, image, frame) != 0; });
}

// A frame written on a second thread while the next one is drawn, as a numbered
// picture, into the film, or both: encoding a PNG or a film's frame takes about as long
// as drawing, so one after the other would cost half as much again. One frame at a
// time: the film takes its frames in order.
struct FrameWrite {
    std::future<void> done;                          // the frame in flight
    char              path[RENDER_PATH_SIZE + 32];   // its picture's file
    char              date[DATE_TEXT_SIZE];          // its date, for a failure's message
    int               frame;                         // its number, from 1
    bool              inFlight;                      // started and not yet ended
    int               pictureError;                  // errno of its picture's write; 0 written
    char              filmError[512];                // why the film did not take it; "" taken
};

// Starts writing the frame of w (number, date and path set) from image as a picture
// of format (null: none) and into the open film when film is true; image must stay as
// it is until the write ends. false (error set) when no thread could be started.
static bool start_frame_write(FrameWrite &w, const OutputFormat *format, bool film, const RgbImage &image,
                              int &error)
{
    w.inFlight = true;
    w.pictureError = 0;
    w.filmError[0] = '\0';
    try {
        w.done = std::async(std::launch::async, [&w, format, film, &image] {
            if (format && !write_picture(*format, image, w.path, true, w.pictureError)) return;
            if (film && !film_add_frame(image.pixels, w.filmError, sizeof w.filmError) && !w.filmError[0])
                std::snprintf(w.filmError, sizeof w.filmError, "the encoder failed");
        });
    } catch (const std::system_error &failure) {
        w.inFlight = false;
        error = failure.code().value();
        return false;
    }
    return true;
}

// Waits for the frame in flight; false when it failed (the reason is in w).
static bool end_frame_write(FrameWrite &w)
{
    if (!w.inFlight) return true;
    w.inFlight = false;
    w.done.get();
    return w.pictureError == 0 && !w.filmError[0];
}

// ---------------------------------------------------------------------------------
// The timeline: each date computed once, drawn once, written everywhere it goes
// ---------------------------------------------------------------------------------
// The current state drawn and read back, with the legend when asked for; rebuild
// false when the scene already shows that state.
static void render_picture(RgbImage &image, bool legend, bool rebuild)
{
    if (rebuild) rebuild_scene();
    draw_frame();
    present_frame();
    read_offscreen_frame(image.pixels);
    if (legend) draw_legend(image);
}

// The progress line: rewritten in place on a terminal; elsewhere (a log) a line every
// tenth of the way and at the last frame.
static void show_progress(int frame, int count, const char *date)
{
    const int every = count < 10 ? 1 : count / 10;
    if (terminal) std::fprintf(stderr, "\rtallyrender: frame %d of %d, %s   ", frame, count, date);
    else if (frame % every == 0 || frame == count)
        std::fprintf(stderr, "tallyrender: frame %d of %d, %s\n", frame, count, date);
    if (terminal && frame == count) std::fputc('\n', stderr);
}

// What one run writes along the timeline, open while it runs.
struct TimelineOutputs {
    RgbImage      images[2];   // a frame drawn into one while the other is written
    FrameWrite    frameWrite;  // the frame being written
    FileWrite     film;        // the film's temporary name and its own
    bool          filmOpen;    // the film encoder holds the film
    ModelTimeline model;       // the columns of every key, for --model
};

// A failure in the middle of the timeline: the progress line ended, the film dropped.
static int stop_timeline(TimelineOutputs &out, int frame, const char *format, ...)
{
    if (terminal && frame > 1) std::fputc('\n', stderr);
    end_frame_write(out.frameWrite);
    if (out.filmOpen) {
        film_abort();
        abandon_file_write(out.film);
        out.filmOpen = false;
    }
    va_list args;
    va_start(args, format);
    fail_with(EXIT_FAILED, format, args);
    va_end(args);
    return EXIT_FAILED;
}

// The failure of the frame write that just ended.
static int frame_write_failed(TimelineOutputs &out, const RenderOptions &o)
{
    const FrameWrite &w = out.frameWrite;
    const bool film = o.filmPath[0] != '\0';
    if (w.pictureError)
        return stop_timeline(out, w.frame, "frame %d (%s) could not be written to %s: %s; %d frame%s kept%s", w.frame,
                             w.date, w.path, std::strerror(w.pictureError), w.frame - 1, w.frame == 2 ? "" : "s",
                             film ? ", no film" : "");
    return stop_timeline(out, w.frame, "frame %d (%s) could not be added to the film %s: %s; the film is not written",
                         w.frame, w.date, o.filmPath, w.filmError);
}

// The pictures of key k: the snapshot at key 0, the numbered frame and the film's frame
// at every key.
static int write_key_pictures(TimelineOutputs &out, const RenderOptions &o, int k)
{
    char date[DATE_TEXT_SIZE];
    format_date(timeline.currentDate, date);
    RgbImage &image = out.images[k % 2];
    render_picture(image, o.legend, k > 0);   // key 0's scene is the view's first
    int error = 0;
    if (k == 0 && o.snapshotPath[0] && !write_picture(*o.snapshotFormat, image, o.snapshotPath, false, error))
        return stop_timeline(out, 0, "cannot write %s: %s", o.snapshotPath, std::strerror(error));
    if (!o.frames.format && !out.filmOpen) return 0;   // the snapshot alone
    const int frame = k + 1;
    if (!end_frame_write(out.frameWrite)) return frame_write_failed(out, o);
    FrameWrite &w = out.frameWrite;
    w.frame = frame;
    std::snprintf(w.date, sizeof w.date, "%s", date);
    if (o.frames.format && !frame_file_name(o.frames, frame, w.path, sizeof w.path))
        return stop_timeline(out, frame, "frame %d (%s): the file name from %s is too long", frame, date, o.framesValue);
    if (!start_frame_write(w, o.frames.format, out.filmOpen, image, error))
        return stop_timeline(out, frame, "frame %d (%s) could not be written: no thread: %s", frame, date,
                             std::strerror(error));
    show_progress(frame, o.frameCount, date);
    return 0;
}

// Key k of the timeline (the date stepped k times from --date), computed once and
// handed to every output: the pictures drawn from it, the model's record of it.
static int write_key(TimelineOutputs &out, const RenderOptions &o, bool pictures, int k)
{
    if (pictures) {
        if (int status = write_key_pictures(out, o, k)) return status;
    } else if (k > 0) {   // key 0 was computed before the report and the export
        compute_values();
        compute_scene_geometry();
    }
    if (o.modelPath[0]) record_model_key(out.model);
    return 0;
}

// The model of the keys recorded, written whole.
static int write_model(const TimelineOutputs &out, const RenderOptions &o, const RgbImage &map)
{
    ModelSettings settings{};
    settings.animated = o.stepUnit >= 0;
    settings.heightScaleN = int(std::lround(1.0 / displaySettings.heightScale));   // N of N:1
    settings.fieldLine = querySelection.field;
    settings.fieldLabel = querySelection.field < fieldList.count ? fieldList.label[querySelection.field] : "";
    settings.campus = o.campus;
    settings.stepName = settings.animated ? STEP_UNIT_NAMES[o.stepUnit] : "";
    settings.fps = o.fps;
    settings.aspect = float(double(o.width) / o.height);
    settings.view = viewState;
    std::vector<unsigned char> glb;
    if (!build_model(out.model, settings, map, glb))
        return fail(EXIT_FAILED, "cannot write %s: no memory for the model", o.modelPath);
    int error = 0;
    if (!write_file_bytes(o.modelPath, glb.data(), glb.size(), error))
        return fail(EXIT_FAILED, "cannot write %s: %s", o.modelPath, std::strerror(error));
    return 0;
}

// Everything along the timeline from --date: the snapshot, then with --step and --count
// every key, as numbered pictures, a film, a model or all of them; without, the model
// of --date. The film and the model take their names only when complete; any failure
// stops at its key.
static int write_timeline(const RenderOptions &o, bool pictures, const RgbImage &map)
{
    static TimelineOutputs out;
    const int keys = o.stepUnit < 0 ? 1 : o.frameCount;
    for (RgbImage &image : out.images)
        if (pictures && !alloc_image(o.width, o.height, 3, image))
            return fail(EXIT_FAILED, "no memory for a %dx%d picture", o.width, o.height);
    if (o.modelPath[0] && !start_model_timeline(out.model, loaded_zip_count(), keys))
        return fail(EXIT_FAILED, "no memory for a model of %d keys", keys);
    char reason[512];
    if (o.filmPath[0]) {
        begin_file_write(out.film, o.filmPath);
        if (!film_open(out.film.temporary.c_str(), o.filmFormat->film, o.width, o.height, o.fps, o.filmQuality, reason,
                       sizeof reason)) {
            abandon_file_write(out.film);
            return fail(EXIT_FAILED, "cannot write %s: %s", o.filmPath, reason);
        }
        out.filmOpen = true;
    }
    for (int k = 0; k < keys; ++k) {
        if (k > 0) step_date_forward(timeline.currentDate, unsigned(o.stepUnit));
        if (int status = write_key(out, o, pictures, k)) return status;
    }
    if (!end_frame_write(out.frameWrite)) return frame_write_failed(out, o);
    if (out.filmOpen) {
        char date[DATE_TEXT_SIZE];
        format_date(timeline.currentDate, date);
        out.filmOpen = false;
        if (!film_close(reason, sizeof reason)) {
            abandon_file_write(out.film);
            return fail(EXIT_FAILED, "the film %s could not be finished after frame %d (%s): %s; it is not written",
                        o.filmPath, o.frameCount, date, reason);
        }
        int error = 0;
        if (!finish_file_write(out.film, true, error))
            return fail(EXIT_FAILED, "cannot write %s: %s", o.filmPath, std::strerror(error));
    }
    for (RgbImage &image : out.images) free_image(image);
    return o.modelPath[0] ? write_model(out, o, map) : 0;
}

// ---------------------------------------------------------------------------------
// The state of the command line, checked against the data before anything is written
// ---------------------------------------------------------------------------------
static int set_up_state(const RenderOptions &o)
{
    if (!set_data_directory(o.dataDirectory)) return fail(EXIT_USAGE, "--data: the folder name is too long");
    char path[PATH_SIZE];
    const bool fieldsRead = data_path(path, "ui/fields.ui") && read_field_list(path);
    if (o.field >= 0) {
        if (!fieldsRead) {
            const char *reason = open_failure(path);
            return fail(EXIT_FAILED, "cannot read the field file %s: %s%s", path,
                        reason ? reason : "not readable", DATA_HINT);
        }
        if (fieldList.count == 0) return fail(EXIT_FAILED, "--field: the field file %s has no lines", path);
        if (o.field >= fieldList.count)
            return fail(EXIT_USAGE, "--field: the field file has %d lines, 0 to %d", fieldList.count, fieldList.count - 1);
        if (seriesCode[o.field] == SERIES_HEADING)
            return fail(EXIT_USAGE, "--field: line %d (\"%s\") is a heading, not a field", o.field, fieldList.label[o.field]);
        querySelection.field = uint16_t(o.field);
    }
    if (o.loadPath[0]) {
        if (const char *reason = open_failure(o.loadPath)) return fail(EXIT_FAILED, "cannot load %s: %s", o.loadPath, reason);
        if (!read_records(o.loadPath)) return fail(EXIT_FAILED, "cannot load %s: %s", o.loadPath, lastMessage);
    }

    timeline.currentDate = o.date;
    querySelection.campus = uint8_t(o.campus);
    set_height_index(unsigned(o.heightIndex));
    set_colour_index(unsigned(o.colourIndex));
    if (o.hasView) {
        viewState.rotation = o.rotation;
        viewState.tilt = o.tilt;
        viewState.distance = o.distance;
    }
    if (o.hasCentre) centre_view_on(o.centreLongitude, o.centreLatitude);
    if (o.selectZip >= 0 && (querySelection.selectedZip = find_zip(o.selectZip)) < 0)
        return fail(EXIT_USAGE, "--select: ZIP code %lld is not loaded", (long long)o.selectZip);
    if (o.reportZip >= 0 && find_zip(o.reportZip) < 0)
        return fail(EXIT_USAGE, "--report: ZIP code %lld is not loaded", (long long)o.reportZip);
    char reason[RENDER_PATH_SIZE + 128];
    if (o.frames.format && !make_frames_folder(o.frames, reason, sizeof reason)) return fail(EXIT_FAILED, "%s", reason);
    return 0;
}

// The base map as it is on disk, for the model; a model without it says nothing.
static int read_map(RgbImage &map)
{
    char path[PATH_SIZE];
    if (!data_path(path, "maps/basemap.bmp")) return fail(EXIT_USAGE, "--data: the folder name is too long");
    if (const char *reason = open_failure(path))
        return fail(EXIT_FAILED, "cannot read the base map %s: %s%s", path, reason, DATA_HINT);
    if (!read_bmp(path, map))
        return fail(EXIT_FAILED, "cannot read the base map %s: not a bitmap tallyrender can read%s", path, DATA_HINT);
    return 0;
}

// The offscreen view at the picture's size with the viewer's fixed state, textures and
// first scene. The base map must be there: a picture without it says nothing.
static int open_view(const RenderOptions &o)
{
    char map[PATH_SIZE];
    if (data_path(map, "maps/basemap.bmp"))
        if (const char *reason = open_failure(map))
            return fail(EXIT_FAILED, "cannot read the base map %s: %s%s", map, reason, DATA_HINT);
    if (o.legend) text_platform_init();
    if (!open_offscreen_gl(o.width, o.height))
        return fail(EXIT_FAILED, "no OpenGL: an offscreen context of %dx%d could not be made", o.width, o.height);
    create_gl_context();
    lastMessage[0] = '\0';
    init_gl_state();
    if (lastMessage[0])   // it opens, but holds no picture the view can use
        return fail(EXIT_FAILED, "cannot read the base map %s: not a bitmap tallyrender can read%s", map, DATA_HINT);
    set_projection(intptr_t(uint32_t(o.height) << 16 | uint32_t(o.width)));
    return 0;
}

int main(int argc, char **argv)
{
    static RenderOptions o;
    char reason[RENDER_PATH_SIZE + 512];
    if (!parse_options(argc, argv, o, reason, sizeof reason)) return fail(EXIT_USAGE, "%s", reason);
    if (o.help || o.version) {
        if (o.help) std::fputs(usage_text(), stdout);
        else std::printf("tallyrender %s\n", TALLYMAP_VERSION);
        return std::fflush(stdout) == 0 ? 0 : fail(EXIT_FAILED, "standard output could not be written");
    }
    const ModalHandler console = {remember_message, nullptr, nullptr};
    set_modal_handler(&console);
    remove_temporaries_on_signals();   // Ctrl-C during a film leaves no hidden partial file
    if (int status = set_up_state(o)) return status;

    static RgbImage map;   // the base map as the model's texture
    if (o.modelPath[0])
        if (int status = read_map(map)) return status;
    const bool pictures = o.snapshotPath[0] || o.frames.format || o.filmPath[0];
    if (pictures) {
        if (int status = open_view(o)) return status;   // its first scene computes the values
    } else {
        compute_values();
        compute_scene_geometry();
    }

    if (o.reportZip >= 0) {
        char text[REPORT_TEXT_SIZE];
        format_zip_report(find_zip(o.reportZip), text);
        for (const char *c = text; *c; ++c)   // lines end in LF on standard output
            if (*c != '\r') std::fputc(*c, stdout);
        if (std::fflush(stdout) != 0) return fail(EXIT_FAILED, "the report could not be written");
    }
    int error = 0;
    auto write_value_csv = [](const char *temporary) { return write_values(temporary) != 0; };
    if (o.exportPath[0] && !write_whole(o.exportPath, error, write_value_csv))
        return fail(EXIT_FAILED, "cannot write %s: %s", o.exportPath, std::strerror(error));

    const int status = pictures || o.modelPath[0] ? write_timeline(o, pictures, map) : 0;
    if (pictures) {
        release_scene();
        close_offscreen_gl();
    }
    free_image(map);
    return status;
}
