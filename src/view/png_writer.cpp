// png_writer.cpp -- RGB images as PNG files or bytes, through libpng (see png_writer.h).
//
// libpng reports a failure by calling its error function, which must not return: ours
// records nothing and jumps back to the setjmp of encode_rows. No object with a
// destructor lives in encode_rows's frame, so the jump skips none. The output goes
// through a write function of ours, which keeps the system's reason of a failed write
// and turns it into a libpng error.
//
// PNG_FAST was measured on 1024 x 768 frames (the sample's and the benchmarks' columns
// over the base map, with the legend) and on a frame over a photograph-like map, in
// CPU time: the Up filter with zlib's run-length strategy encodes them in 6 to 7 ms and
// 19 ms, three to four and thirteen times faster than libpng's defaults (22 to 25 ms,
// 250 ms), for 10 to 25 % more bytes on ours (a thirteenth of the bitmap's) and 15 %
// more on the photograph (a third). Level 1 with its usual matching and the Sub or Up
// filter takes 5 to 20 % longer for 5 to 10 % fewer bytes on ours and 10 % more on the
// photograph; no filter is 10 % faster on ours but doubles the photograph's bytes; a
// smaller window or more zlib memory only cost time. Frames are encoded while the next
// one is drawn, so their CPU time is what a run of frames spends beyond the drawing.
#include "png_writer.h"

#include <png.h>
#include <zlib.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <new>

// Where encode_rows sends the bytes: a file, or a vector in memory.
struct PngSink {
    FILE                       *file;     // the open file, or nullptr
    std::vector<unsigned char> *memory;   // the vector the bytes go to, or nullptr
    int                         error;    // errno of a write that failed; ENOMEM without memory
};

static void write_bytes(png_structp png, png_bytep data, png_size_t length)
{
    auto *sink = static_cast<PngSink *>(png_get_io_ptr(png));
    if (sink->file) {
        if (std::fwrite(data, 1, length, sink->file) != length) {
            sink->error = errno ? errno : EIO;
            png_error(png, "write");
        }
        return;
    }
    try {
        sink->memory->insert(sink->memory->end(), data, data + length);
    } catch (const std::bad_alloc &) {
        sink->error = ENOMEM;
        png_error(png, "memory");
    }
}

static void flush_nothing(png_structp) {}   // the file is flushed once, at the end

[[noreturn]] static void jump_back(png_structp png, png_const_charp) { png_longjmp(png, 1); }
static void ignore_warning(png_structp, png_const_charp) {}

// The rows of image into sink as one PNG. 1 done, 0 failed.
static int encode_rows(const RgbImage &image, PngEffort effort, PngSink &sink)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, jump_back, ignore_warning);
    if (!png) return 0;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return 0;
    }
    png_set_write_fn(png, &sink, write_bytes, flush_nothing);
    png_set_IHDR(png, info, png_uint_32(image.width), png_uint_32(image.height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (effort == PNG_FAST) {
        png_set_compression_level(png, 1);
        png_set_compression_strategy(png, Z_RLE);
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    }
    png_write_info(png, info);
    const size_t stride = size_t(image.width) * 3;
    for (int32_t row = image.height - 1; row >= 0; --row)   // the top row first
        png_write_row(png, image.pixels + size_t(row) * stride);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return 1;
}

// Only 3-byte pixels: the rows are handed to libpng as they lie in the buffer.
static bool writable(const RgbImage &image)
{
    return image.pixels && image.channels == 3 && image_size_fits(image.width, image.height, 3);
}

int write_png(const char *path, const RgbImage &image, PngEffort effort)
{
    if (!writable(image)) {
        errno = EINVAL;
        return 0;
    }
    PngSink sink{std::fopen(path, "wb"), nullptr, 0};
    if (!sink.file) return 0;
    // A large stream buffer: libpng hands over its compressed output in pieces of 8 kB.
    static constexpr size_t STREAM_BUFFER_BYTES = 256 * 1024;
    char *buffer = static_cast<char *>(std::malloc(STREAM_BUFFER_BYTES));
    if (buffer && std::setvbuf(sink.file, buffer, _IOFBF, STREAM_BUFFER_BYTES) != 0) {
        std::free(buffer);
        buffer = nullptr;
    }
    bool ok = encode_rows(image, effort, sink) != 0;
    if (!ok && sink.error == 0) sink.error = ENOMEM;   // libpng failed inside: its memory
    if (std::fflush(sink.file) != 0 && ok) {
        ok = false;
        sink.error = errno;
    }
    if (std::fclose(sink.file) != 0 && ok) {
        ok = false;
        sink.error = errno;
    }
    std::free(buffer);
    if (!ok) errno = sink.error ? sink.error : EIO;
    return ok ? 1 : 0;
}

int encode_png(const RgbImage &image, PngEffort effort, std::vector<unsigned char> &bytes)
{
    bytes.clear();
    if (!writable(image)) return 0;
    PngSink sink{nullptr, &bytes, 0};
    try {
        bytes.reserve(size_t(image.width) * size_t(image.height) / 4);   // most pictures need less
    } catch (const std::bad_alloc &) {
        return 0;
    }
    return encode_rows(image, effort, sink);
}
