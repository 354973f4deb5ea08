// image.h -- RGB image buffers, 24-bit BMP files and resampling to power-of-two
// texture sides. Operations return 1 on success and 0 on failure or refusal.
// No GL, no Qt: the scene, the snapshot and the printer build on this.
#pragma once
#include <cstdint>

// Widest image a BMP row can hold: a file row (width * 3 bytes, padded to a multiple
// of 4) must fit in the 18432-byte row buffer of one read_bmp or write_bmp call.
constexpr int32_t BMP_ROW_BUFFER_BYTES = 18432;
constexpr int32_t MAX_BMP_WIDTH        = 6144;
constexpr int32_t MAX_BMP_HEIGHT       = 6144;   // as wide: a small file cannot claim more
constexpr int32_t BMP_HEADER_BYTES     = 54;     // 14-byte file header + 40-byte info header
constexpr int32_t MAX_TEXTURE_SIDE     = 1024;   // largest side resample_image makes

// One picture, owned by the operation that declares it and released with free_image
// before that operation returns. A released image has all four fields zero.
struct RgbImage {
    int32_t        width;      // pixels per row
    int32_t        height;     // number of rows; row 0 is the bottom row of the picture
    int32_t        channels;   // bytes per pixel; 3 (red, green, blue) for every image we make
    unsigned char *pixels;     // width * height * channels bytes, rows without gaps; zero-filled when made
};

// True when width * height * channels is positive and fits in an int32 byte count,
// so every offset into the buffer can be computed without overflow.
bool image_size_fits(int32_t width, int32_t height, int32_t channels);

// Stores the sizes and gives the image a zero-filled buffer. Returns the buffer, or
// nullptr (image left with zero fields) when a size is not positive, the byte count
// does not fit or the memory is not there.
unsigned char *alloc_image(int32_t width, int32_t height, int32_t channels, RgbImage &image);

// Releases the buffer if there is one and zeroes the four fields.
void free_image(RgbImage &image);

// Reads a 24-bit uncompressed bitmap into image (RGB, bottom row first), its rows from
// the header's pixel offset (from byte 54 when the offset is smaller). Returns 0, with
// nothing allocated and the image zeroed, for a file that cannot be opened, a wrong
// signature, bits per pixel other than 24, compression, a width outside
// 1..MAX_BMP_WIDTH or a height outside 1..MAX_BMP_HEIGHT. A top-down file (negative
// height) is flipped on reading. Rows a short file does not supply stay zero.
int read_bmp(const char *path, RgbImage &image);

// Writes image as a 24-bit bitmap, replacing any file of that name. Returns 0 when the
// image cannot be written (no pixels, fewer than 3 channels, width outside
// 1..MAX_BMP_WIDTH, height < 1; no file is made then) or when creating, writing,
// flushing or closing the file fails.
int write_bmp(const char *path, const RgbImage &image);

// Allocates target at power-of-two sides (at most MAX_TEXTURE_SIDE) and fills it by
// bilinear sampling of source. Returns 0 (target zeroed) for a source without pixels
// or with fewer than 3 channels, and when the target cannot be allocated.
int resample_image(const RgbImage &source, RgbImage &target);
