// image.cpp -- RGB image buffers, 24-bit BMP files and resampling to power-of-two
// texture sides. Operations return 1 on success and 0 on failure or refusal.
//
// Index
//   [SECTION] Size predicates
//   [SECTION] Image buffers
//   [SECTION] Little-endian fields
//   [SECTION] Pixel rows and file streams
//   [SECTION] Reading bitmaps
//   [SECTION] Writing bitmaps
//   [SECTION] Resampling
//
// File layout read and written here: a 14-byte file header and a 40-byte info header,
// all numbers little-endian, then the pixel rows from the pixel offset (byte 54 in the
// files written here): blue, green, red per pixel, each row padded with zeros to a
// multiple of 4 bytes, bottom row first.
#include "image.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <tmmintrin.h>
#define TM_SWAP_SSSE3 1
#endif

//-----------------------------------------------------------------------------
// [SECTION] Size predicates
//-----------------------------------------------------------------------------

bool image_size_fits(int32_t width, int32_t height, int32_t channels)
{
    if (width <= 0 || height <= 0 || channels <= 0) return false;
    return int64_t(width) * height * channels <= INT32_MAX;
}

// Bytes of one file row: 3 per pixel, raised to the next multiple of 4.
static int32_t bmp_row_bytes(int32_t width)
{
    return (width * 3 + 3) & ~3;
}

// The row buffer holds 18432 bytes, so rows of at most 6144 pixels.
static bool bmp_width_fits(int32_t width)
{
    return width > 0 && width <= MAX_BMP_WIDTH;
}

// The file size field is 32 bits: row bytes * height + 54 must fit in it.
static bool bmp_file_size_fits(int32_t width, int32_t height)
{
    if (!bmp_width_fits(width) || height <= 0) return false;
    return int64_t(bmp_row_bytes(width)) * height + BMP_HEADER_BYTES <= int64_t(UINT32_MAX);
}

static_assert(MAX_BMP_WIDTH * 3 <= BMP_ROW_BUFFER_BYTES, "a widest row must fit the row buffer");

//-----------------------------------------------------------------------------
// [SECTION] Image buffers
//-----------------------------------------------------------------------------

unsigned char *alloc_image(int32_t width, int32_t height, int32_t channels, RgbImage &image)
{
    image = RgbImage{};
    if (!image_size_fits(width, height, channels)) return nullptr;
    auto *pixels = static_cast<unsigned char *>(
        std::calloc(size_t(width) * size_t(height) * size_t(channels), 1));
    if (!pixels) return nullptr;
    image.width = width;
    image.height = height;
    image.channels = channels;
    image.pixels = pixels;
    return pixels;
}

void free_image(RgbImage &image)
{
    std::free(image.pixels);   // free(nullptr) releases nothing
    image = RgbImage{};
}

//-----------------------------------------------------------------------------
// [SECTION] Little-endian fields
//-----------------------------------------------------------------------------

static uint16_t get_u16(const unsigned char *p)
{
    return uint16_t(p[0] | (p[1] << 8));
}

static uint32_t get_u32(const unsigned char *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Each writer puts one header field into the file; false when the write fails.
static bool put_u16(FILE *f, uint16_t v)
{
    const unsigned char b[2] = {uint8_t(v), uint8_t(v >> 8)};
    return std::fwrite(b, 1, 2, f) == 2;
}

static bool put_u32(FILE *f, uint32_t v)
{
    const unsigned char b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    return std::fwrite(b, 1, 4, f) == 4;
}

constexpr uint16_t BMP_SIGNATURE = 19778;   // bytes 'B', 'M'

//-----------------------------------------------------------------------------
// [SECTION] Pixel rows and file streams
//-----------------------------------------------------------------------------

// Swaps the outer bytes of every 3-byte pixel: file rows hold blue, green, red and
// image rows red, green, blue, so the same swap serves reading and writing.
static void swap_red_blue_bytes(unsigned char *__restrict dst, const unsigned char *__restrict src,
                                int32_t from, int32_t width)
{
    for (int32_t x = from; x < width; ++x) {
        dst[3 * x + 0] = src[3 * x + 2];
        dst[3 * x + 1] = src[3 * x + 1];
        dst[3 * x + 2] = src[3 * x + 0];
    }
}

#ifdef TM_SWAP_SSSE3
// One byte shuffle swaps 5 pixels: load 16 bytes, store 16 bytes, step 15. The 16th
// byte stored is the next pixel's first byte unchanged; the next step overwrites it,
// and the loop stops while a later pixel remains for the byte loop to finish.
__attribute__((target("ssse3")))
static void swap_red_blue_ssse3(unsigned char *__restrict dst, const unsigned char *__restrict src,
                                int32_t width)
{
    const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
    int32_t x = 0;
    for (; 3 * x + 16 <= 3 * width; x += 5) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + 3 * x));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + 3 * x), _mm_shuffle_epi8(v, order));
    }
    swap_red_blue_bytes(dst, src, x, width);
}
#endif

static void swap_red_blue(unsigned char *__restrict dst, const unsigned char *__restrict src,
                          int32_t width)
{
#ifdef TM_SWAP_SSSE3
    static const bool hasSsse3 = __builtin_cpu_supports("ssse3");
    if (hasSsse3) return swap_red_blue_ssse3(dst, src, width);
#endif
    swap_red_blue_bytes(dst, src, 0, width);
}

// The C library's own buffer is only a few kilobytes, which costs one system call per
// row or so; a larger one keeps calls few. Rows still pass one by one through the row
// buffer. Without the memory the stream keeps its default buffer.
constexpr size_t BMP_STREAM_BUFFER_BYTES = 256 * 1024;

struct BmpStream {
    FILE *file;             // the open file, or nullptr
    char *streamBuffer;     // BMP_STREAM_BUFFER_BYTES given to the stream, or nullptr
};

static BmpStream open_stream(const char *path, const char *mode)
{
    BmpStream s{std::fopen(path, mode), nullptr};
    if (!s.file) return s;
    s.streamBuffer = static_cast<char *>(std::malloc(BMP_STREAM_BUFFER_BYTES));
    if (s.streamBuffer &&
        std::setvbuf(s.file, s.streamBuffer, _IOFBF, BMP_STREAM_BUFFER_BYTES) != 0) {
        std::free(s.streamBuffer);
        s.streamBuffer = nullptr;
    }
    return s;
}

// Closes the file (which flushes it) before its buffer goes; false when that fails.
static bool close_stream(BmpStream &s)
{
    const bool ok = std::fclose(s.file) == 0;
    std::free(s.streamBuffer);
    s = BmpStream{};
    return ok;
}

//-----------------------------------------------------------------------------
// [SECTION] Reading bitmaps
//-----------------------------------------------------------------------------

// Why a header is refused; each reason its own line. The caller shows the message.
static bool bmp_header_readable(uint16_t signature, int16_t bitsPerPixel, uint32_t compression,
                                int32_t width, int32_t height)
{
    if (signature != BMP_SIGNATURE) return false;   // not a bitmap file
    if (bitsPerPixel != 24) return false;           // palettes, 16 or 32 bits: other pixel layouts
    if (compression != 0) return false;             // run-length or bit-field pixels
    if (!bmp_width_fits(width)) return false;       // no pixels, or rows wider than the row buffer
    if (height == 0) return false;                  // no rows
    // no taller than the widest: a file of a few bytes must not claim gigabytes of image
    if (height < -MAX_BMP_HEIGHT || height > MAX_BMP_HEIGHT) return false;
    return true;
}

int read_bmp(const char *path, RgbImage &image)
{
    image = RgbImage{};
    BmpStream stream = open_stream(path, "rb");
    FILE *f = stream.file;
    if (!f) return 0;

    // A short header leaves zeros in the fields it does not reach.
    unsigned char header[BMP_HEADER_BYTES];
    const size_t headerRead = std::fread(header, 1, sizeof header, f);
    std::memset(header + headerRead, 0, sizeof header - headerRead);

    const uint16_t signature = get_u16(header + 0);
    // discard file size (2) and the two reserved fields (6, 8)
    const uint32_t rowOffset = get_u32(header + 10);
    // discard the info header size (14): the row offset says where the rows are
    const int32_t width = int32_t(get_u32(header + 18));
    const int32_t height = int32_t(get_u32(header + 22));
    // discard planes (26)
    const int16_t bitsPerPixel = int16_t(get_u16(header + 28));
    const uint32_t compression = get_u32(header + 30);
    // discard image size (34), both resolutions (38, 42), both colour counts (46, 50)

    if (!bmp_header_readable(signature, bitsPerPixel, compression, width, height)) {
        close_stream(stream);
        return 0;
    }
    // A negative height is a top-down file (its size is checked above).
    const bool topDown = height < 0;
    const int32_t rows = topDown ? -height : height;
    if (!alloc_image(width, rows, 3, image)) {
        close_stream(stream);
        return 0;
    }
    // Rows follow a larger info header or a colour table where the offset says; an
    // offset inside the 54 header bytes cannot be right, and the rows follow them. An
    // offset past the end leaves every row zero, as a short file does.
    if (rowOffset > uint32_t(BMP_HEADER_BYTES) && std::fseek(f, long(rowOffset), SEEK_SET) != 0) {
        free_image(image);   // a stream that cannot reach its rows
        close_stream(stream);
        return 0;
    }

    unsigned char row[BMP_ROW_BUFFER_BYTES];
    const int32_t rowBytes = bmp_row_bytes(width);
    const size_t stride = size_t(width) * 3;
    for (int32_t k = 0; k < rows; ++k) {
        const size_t got = std::fread(row, 1, size_t(rowBytes), f);
        if (got == 0) break;   // the rows a short file lacks stay zero
        if (got < size_t(rowBytes)) std::memset(row + got, 0, size_t(rowBytes) - got);
        const int32_t r = topDown ? rows - 1 - k : k;
        swap_red_blue(image.pixels + size_t(r) * stride, row, width);
        if (got < size_t(rowBytes)) break;
    }
    close_stream(stream);
    return 1;
}

//-----------------------------------------------------------------------------
// [SECTION] Writing bitmaps
//-----------------------------------------------------------------------------

// The 54 header bytes, field by field in file order.
static bool put_bmp_header(FILE *f, int32_t width, int32_t height, uint32_t fileSize)
{
    return put_u16(f, BMP_SIGNATURE) &&
           put_u32(f, fileSize) &&
           put_u16(f, 0) && put_u16(f, 0) &&          // reserved
           put_u32(f, BMP_HEADER_BYTES) &&            // offset of the pixel rows
           put_u32(f, 40) &&                          // info header size
           put_u32(f, uint32_t(width)) &&
           put_u32(f, uint32_t(height)) &&
           put_u16(f, 1) &&                           // planes
           put_u16(f, 24) &&                          // bits per pixel
           put_u32(f, 0) &&                           // no compression
           put_u32(f, 0) &&                           // image size (may be 0 when uncompressed)
           put_u32(f, 2835) && put_u32(f, 2835) &&    // 72 dpi in pixels per metre
           put_u32(f, 0) && put_u32(f, 0);            // colours used, important colours
}

int write_bmp(const char *path, const RgbImage &image)
{
    // The writer reads 3 bytes per pixel whatever channels says; fewer would overrun.
    if (!image.pixels || image.channels < 3) return 0;
    if (!bmp_width_fits(image.width) || image.height <= 0) return 0;
    if (!image_size_fits(image.width, image.height, 3)) return 0;
    if (!bmp_file_size_fits(image.width, image.height)) return 0;

    const int32_t rowBytes = bmp_row_bytes(image.width);
    const uint32_t fileSize = uint32_t(int64_t(rowBytes) * image.height + BMP_HEADER_BYTES);

    BmpStream stream = open_stream(path, "wb");
    FILE *f = stream.file;
    if (!f) return 0;

    bool ok = put_bmp_header(f, image.width, image.height, fileSize);

    unsigned char row[BMP_ROW_BUFFER_BYTES];
    const size_t stride = size_t(image.width) * 3;
    std::memset(row + stride, 0, size_t(rowBytes) - stride);   // pad bytes stay zero
    for (int32_t r = 0; ok && r < image.height; ++r) {
        swap_red_blue(row, image.pixels + size_t(r) * stride, image.width);
        ok = std::fwrite(row, 1, size_t(rowBytes), f) == size_t(rowBytes);
    }
    if (std::fflush(f) != 0) ok = false;
    if (!close_stream(stream)) ok = false;
    return ok ? 1 : 0;
}

//-----------------------------------------------------------------------------
// [SECTION] Resampling
//-----------------------------------------------------------------------------

// Smallest power of two at least side, but never more than MAX_TEXTURE_SIDE.
static int32_t texture_side(int32_t side)
{
    int32_t n = 1;
    while (n < side && n < MAX_TEXTURE_SIDE) n *= 2;
    return n;
}

// Sample position along one side: target index i of n maps onto source 0 .. side - 2,
// so the 2-pixel neighbourhood stays inside. A 1-pixel side samples its one pixel.
struct SamplePoint {
    int32_t lo;   // first source pixel
    int32_t hi;   // next pixel (one further, or lo itself on a 1-pixel side)
    float   d;    // weight of hi
};

static SamplePoint sample_point(int32_t side, int32_t i, int32_t n)
{
    if (side < 2 || n < 2) return {0, side < 2 ? 0 : 1, 0.0f};
    const float f = float(double(int64_t(side - 2) * i) / double(n - 1));
    int32_t lo = int32_t(f);
    if (lo > side - 2) lo = side - 2;   // float rounding on very wide sources
    const float d = float(double(f) - lo);
    return {lo, lo + 1, d};
}

int resample_image(const RgbImage &source, RgbImage &target)
{
    target = RgbImage{};
    if (!source.pixels || source.channels < 3) return 0;
    if (!image_size_fits(source.width, source.height, source.channels)) return 0;

    const int32_t W = texture_side(source.width);
    const int32_t H = texture_side(source.height);
    if (!alloc_image(W, H, 3, target)) return 0;

    const size_t ch = size_t(source.channels);
    const size_t stride = size_t(source.width) * ch;
    SamplePoint columns[MAX_TEXTURE_SIDE];
    for (int32_t j = 0; j < W; ++j) columns[j] = sample_point(source.width, j, W);

    unsigned char *out = target.pixels;
    for (int32_t i = 0; i < H; ++i) {
        const SamplePoint y = sample_point(source.height, i, H);
        const unsigned char *below = source.pixels + size_t(y.lo) * stride;
        const unsigned char *above = source.pixels + size_t(y.hi) * stride;
        const double dy = y.d;
        for (int32_t j = 0; j < W; ++j) {
            const SamplePoint x = columns[j];
            const double dx = x.d;
            const unsigned char *p00 = below + size_t(x.lo) * ch;
            const unsigned char *p10 = below + size_t(x.hi) * ch;
            const unsigned char *p01 = above + size_t(x.lo) * ch;
            const unsigned char *p11 = above + size_t(x.hi) * ch;
            for (int c = 0; c < 3; ++c) {
                const float top = float((1.0 - dx) * p00[c] + dx * p10[c]);
                const float bottom = float((1.0 - dx) * p01[c] + dx * p11[c]);
                const float value = float((1.0 - dy) * top + dy * bottom);
                *out++ = static_cast<unsigned char>(value);
            }
        }
    }
    return 1;
}
