// outputs.cpp -- the table of output formats and the names of the timeline's frames.
#include "outputs.h"
#include "film.h"
#include "png_writer.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <strings.h>
#include <system_error>

static int write_bmp_picture(const char *path, const RgbImage &image, bool) { return write_bmp(path, image); }

static int write_png_picture(const char *path, const RgbImage &image, bool frame)
{
    return write_png(path, image, frame ? PNG_FAST : PNG_SMALL);
}

// One row per extension. Pictures are written from a path by their writer; films go
// through the film encoder with the container given; models are built in memory and
// written whole. The first row is the frames' format in a folder.
static const OutputFormat FORMATS[] = {
    {".bmp", OUTPUT_PICTURE, FILM_NONE, write_bmp_picture},
    {".png", OUTPUT_PICTURE, FILM_NONE, write_png_picture},
    {".mp4", OUTPUT_FILM, FILM_MP4, nullptr},
    {".webm", OUTPUT_FILM, FILM_WEBM, nullptr},
    {".glb", OUTPUT_MODEL, FILM_NONE, nullptr},
};

// The file name of a path: what follows its last '/'.
static const char *file_name_of(const char *path)
{
    const char *slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

// The extension of a path's file name, from its last dot; null when the name has none
// (a name that is only an extension, ".png", has none either).
static const char *extension_of(const char *path)
{
    const char *name = file_name_of(path);
    const char *dot = std::strrchr(name, '.');
    return dot && dot != name ? dot : nullptr;
}

static const OutputFormat *format_of_extension(const char *extension)
{
    if (!extension) return nullptr;
    for (const OutputFormat &format : FORMATS)
        if (strcasecmp(extension, format.extension) == 0) return &format;
    return nullptr;
}

const OutputFormat *output_format(const char *path, OutputKind kind)
{
    const OutputFormat *format = format_of_extension(extension_of(path));
    return format && format->kind == kind ? format : nullptr;
}

void known_extensions(OutputKind kind, char *text, int size)
{
    int total = 0, written = 0;
    for (const OutputFormat &format : FORMATS) total += format.kind == kind;
    text[0] = '\0';
    for (const OutputFormat &format : FORMATS) {
        if (format.kind != kind) continue;
        const char *joint = written == 0 ? "" : written + 1 == total ? " or " : ", ";
        const size_t used = std::strlen(text);
        std::snprintf(text + used, size_t(size) - used, "%s%s", joint, format.extension);
        ++written;
    }
}

int refuse(char *error, int size, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(error, size_t(size), format, args);
    va_end(args);
    return 0;
}

// ---------------------------------------------------------------------------------
// Frame names
// ---------------------------------------------------------------------------------
constexpr int FOLDER_DIGITS = 5;   // DIR/frame_00001.bmp

// Copies text[from, to) into out, each "%%" as one '%'.
static void copy_literal(char *out, const char *from, const char *to)
{
    while (from < to) {
        *out++ = *from;
        from += (from[0] == '%' && from + 1 < to && from[1] == '%') ? 2 : 1;
    }
    *out = '\0';
}

int parse_frame_names(const char *value, FrameNames &names, char *error, int size)
{
    names = FrameNames{};
    const char *name = file_name_of(value);
    const char *field = nullptr, *fieldEnd = nullptr;
    for (const char *c = name; *c; ++c) {
        if (*c != '%') continue;
        const char *start = c;
        int digits = 1;
        if (c[1] == '%') {
            ++c;
            continue;
        }
        if (c[1] == '0' && c[2] >= '1' && c[2] <= '9' && c[3] == 'd') {
            digits = c[2] - '0';
            c += 3;
        } else if (c[1] == 'd') {
            c += 1;
        } else {
            return refuse(error, size,
                          "--frames: '%s' holds '%.3s', which is no number field (%%d or %%0Nd; %%%% for a percent sign)",
                          value, start);
        }
        if (field) return refuse(error, size, "--frames: '%s' holds two number fields; a pattern takes one", value);
        field = start;
        fieldEnd = c + 1;
        names.digits = digits;
    }
    const size_t folderLength = size_t(name - value);
    if (!field) {   // a folder of frame_NNNNN.bmp files
        if (std::strchr(name, '%') || format_of_extension(extension_of(value)))
            return refuse(error, size, "--frames: '%s' is a file name, not a folder or a frame pattern (such as %s)", value,
                          "frames/f_%05d.png");
        std::snprintf(names.folder, sizeof names.folder, "%s", value);
        std::snprintf(names.prefix, sizeof names.prefix, "frame_");
        std::snprintf(names.suffix, sizeof names.suffix, "%s", FORMATS[0].extension);
        names.digits = FOLDER_DIGITS;
        names.format = &FORMATS[0];
        return 1;
    }
    names.format = output_format(value, OUTPUT_PICTURE);
    if (!names.format) {
        char known[64];
        known_extensions(OUTPUT_PICTURE, known, sizeof known);
        return refuse(error, size, "--frames: the pattern '%s' does not end in a picture's extension (%s)", value, known);
    }
    // the folder part is taken as it stands, without its last '/' (but "/" stays)
    const size_t keep = folderLength > 1 ? folderLength - 1 : folderLength;
    std::memcpy(names.folder, value, keep);
    names.folder[keep] = '\0';
    copy_literal(names.prefix, name, field);
    copy_literal(names.suffix, fieldEnd, fieldEnd + std::strlen(fieldEnd));
    return 1;
}

int frame_file_name(const FrameNames &names, int number, char *path, int size)
{
    const char *joint = !names.folder[0] || names.folder[std::strlen(names.folder) - 1] == '/' ? "" : "/";
    const int length = std::snprintf(path, size_t(size), "%s%s%s%0*d%s", names.folder, joint, names.prefix,
                                     names.digits, number, names.suffix);
    return length > 0 && length < size;
}

int make_frames_folder(const FrameNames &names, char *error, int size)
{
    if (!names.folder[0]) return 1;
    namespace fs = std::filesystem;
    std::error_code failure;
    const fs::file_status status = fs::status(names.folder, failure);
    if (fs::is_directory(status)) return 1;
    if (fs::exists(status))
        return refuse(error, size, "--frames: %s is no folder", names.folder);
    if (failure && failure != std::errc::no_such_file_or_directory)
        return refuse(error, size, "--frames: cannot reach %s: %s", names.folder, failure.message().c_str());
    if (!fs::create_directory(names.folder, failure) && failure)
        return refuse(error, size, "--frames: cannot make the folder %s: %s", names.folder, failure.message().c_str());
    return 1;
}
