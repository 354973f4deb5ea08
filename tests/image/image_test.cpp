// image_test.cpp -- image buffers, BMP reading and writing, resampling.
// Fixtures are asymmetric on purpose: odd widths force row padding, red on blue
// exposes a channel swap, distinct rows expose a flipped picture.
#include "image.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

namespace {

std::string temp_path(const std::string &name)
{
    // one folder per test process, removed when the process ends
    struct TempDir {
        fs::path path = fs::temp_directory_path() / ("tallymap-image-" + std::to_string(getpid()));
        TempDir() { fs::create_directories(path); }
        ~TempDir() { std::error_code ec; fs::remove_all(path, ec); }
    };
    static const TempDir dir;
    return (dir.path / name).string();
}

Bytes read_file(const std::string &path)
{
    Bytes data;
    if (FILE *f = std::fopen(path.c_str(), "rb")) {
        unsigned char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
        std::fclose(f);
    }
    return data;
}

void write_file(const std::string &path, const Bytes &data)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    if (!data.empty()) {
        ASSERT_EQ(std::fwrite(data.data(), 1, data.size(), f), data.size());
    }
    ASSERT_EQ(std::fclose(f), 0);
}

void put16(Bytes &b, size_t at, uint32_t v)
{
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}

void put32(Bytes &b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

// A 24-bit bitmap file built by hand: header with the given sizes, then the rows as given.
Bytes bmp_file(int32_t width, int32_t height, const Bytes &rows)
{
    Bytes b(54 + rows.size(), 0);
    std::copy(rows.begin(), rows.end(), b.begin() + 54);
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 2, uint32_t(54 + rows.size()));
    put32(b, 10, 54);
    put32(b, 14, 40);
    put32(b, 18, uint32_t(width));
    put32(b, 22, uint32_t(height));
    put16(b, 26, 1);
    put16(b, 28, 24);
    return b;
}

// Blue picture with a red "F" that is neither symmetric left-right nor top-bottom.
void paint_red_f(RgbImage &img)
{
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) {
            unsigned char *p = img.pixels + (size_t(y) * img.width + x) * 3;
            const bool red = x == 1 || (y == img.height - 1 && x < img.width - 1) ||
                             (y == img.height / 2 && x < img.width / 2 + 1);
            p[0] = red ? 255 : 0;
            p[1] = uint8_t(x * 7 + y);   // a distinct green per pixel
            p[2] = red ? 0 : 255;
        }
}

bool is_zeroed(const RgbImage &img)
{
    return img.width == 0 && img.height == 0 && img.channels == 0 && img.pixels == nullptr;
}

}  // namespace

TEST(ImageBuffer, AllocZeroFillsAndFreeZeroesFields)
{
    RgbImage img{7, 7, 7, nullptr};
    free_image(img);   // never allocated: nothing to release, fields still zeroed
    EXPECT_TRUE(is_zeroed(img));

    ASSERT_NE(alloc_image(5, 3, 3, img), nullptr);
    EXPECT_EQ(img.width, 5);
    EXPECT_EQ(img.height, 3);
    EXPECT_EQ(img.channels, 3);
    for (int i = 0; i < 45; ++i) EXPECT_EQ(img.pixels[i], 0);
    free_image(img);
    EXPECT_TRUE(is_zeroed(img));

    // sizes that are not positive or whose byte count overflows give nothing
    EXPECT_EQ(alloc_image(0, 3, 3, img), nullptr);
    EXPECT_EQ(alloc_image(4, -1, 3, img), nullptr);
    EXPECT_EQ(alloc_image(65536, 65536, 3, img), nullptr);
    EXPECT_TRUE(is_zeroed(img));
}

TEST(BmpRoundTrip, EveryPaddingAmountKeepsPixels)
{
    // widths 1..8 cover 0, 1, 2 and 3 pad bytes twice; 6144 is the widest row
    for (int32_t width : {1, 2, 3, 4, 5, 6, 7, 8, 6144}) {
        SCOPED_TRACE(width);
        RgbImage img{};
        ASSERT_NE(alloc_image(width, 5, 3, img), nullptr);
        paint_red_f(img);
        const std::string path = temp_path("round.bmp");
        ASSERT_EQ(write_bmp(path.c_str(), img), 1);
        EXPECT_EQ(fs::file_size(path), uintmax_t(54 + ((width * 3 + 3) / 4 * 4) * 5));

        RgbImage back{};
        ASSERT_EQ(read_bmp(path.c_str(), back), 1);
        EXPECT_EQ(back.width, width);
        EXPECT_EQ(back.height, 5);
        EXPECT_EQ(back.channels, 3);
        EXPECT_EQ(std::memcmp(back.pixels, img.pixels, size_t(width) * 5 * 3), 0);
        free_image(back);
        free_image(img);
    }
}

TEST(BmpWrite, ThreeWideFileHasExactBytes)
{
    RgbImage img{};
    ASSERT_NE(alloc_image(3, 2, 3, img), nullptr);
    const unsigned char rgb[18] = {255, 0, 0,  0, 255, 0,  0, 0, 255,      // bottom row
                                   1, 2, 3,    4, 5, 6,    7, 8, 9};       // top row
    std::memcpy(img.pixels, rgb, sizeof rgb);
    const std::string path = temp_path("three.bmp");
    ASSERT_EQ(write_bmp(path.c_str(), img), 1);
    free_image(img);

    const Bytes expected = {
        'B', 'M', 78, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,            // file header: size 12 * 2 + 54
        40, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0,           // info size, width, height, planes, bits
        0, 0, 0, 0, 0, 0, 0, 0, 0x13, 0x0B, 0, 0, 0x13, 0x0B, 0, 0, // compression, image size, 2835 twice
        0, 0, 0, 0, 0, 0, 0, 0,                                     // colour counts
        0, 0, 255, 0, 255, 0, 255, 0, 0, 0, 0, 0,                   // bottom row in BGR, 3 pad bytes
        3, 2, 1, 6, 5, 4, 9, 8, 7, 0, 0, 0};
    EXPECT_EQ(read_file(path), expected);
}

TEST(BmpRead, FourByTwoSwapsChannelsAndKeepsRowOrder)
{
    Bytes rows;
    for (int r = 0; r < 2; ++r)
        for (int x = 0; x < 4; ++x) rows.insert(rows.end(), {uint8_t(10 * x), uint8_t(100 + r), uint8_t(200 + x)});
    const std::string path = temp_path("four.bmp");
    write_file(path, bmp_file(4, 2, rows));

    RgbImage img{};
    ASSERT_EQ(read_bmp(path.c_str(), img), 1);
    EXPECT_EQ(img.width, 4);
    EXPECT_EQ(img.height, 2);
    EXPECT_EQ(img.channels, 3);
    for (int r = 0; r < 2; ++r)
        for (int x = 0; x < 4; ++x) {
            const unsigned char *p = img.pixels + (r * 4 + x) * 3;
            EXPECT_EQ(p[0], 200 + x);   // red from the file's third byte
            EXPECT_EQ(p[1], 100 + r);   // the file's first row is image row 0
            EXPECT_EQ(p[2], 10 * x);
        }
    free_image(img);
}

TEST(BmpRead, NegativeHeightIsReadTopDown)
{
    // two rows of one pixel each, top row first in the file; 1 pad byte per row
    const Bytes rows = {1, 2, 3, 0, 4, 5, 6, 0};
    const std::string path = temp_path("topdown.bmp");
    write_file(path, bmp_file(1, -2, rows));

    RgbImage img{};
    ASSERT_EQ(read_bmp(path.c_str(), img), 1);
    EXPECT_EQ(img.height, 2);
    const Bytes got(img.pixels, img.pixels + 6);
    EXPECT_EQ(got, (Bytes{6, 5, 4, 3, 2, 1}));   // bottom row (the file's last) first
    free_image(img);
}

TEST(BmpRead, RefusesHeadersItCannotRead)
{
    struct Case {
        const char *what;
        size_t at;       // field offset
        int size;        // field bytes
        uint32_t value;
        int32_t width;   // width of the otherwise valid file
    };
    const Case cases[] = {
        {"signature", 0, 2, 0x4E42, 4},   // "BN"
        {"32-bit", 28, 2, 32, 4},
        {"8-bit with palette", 28, 2, 8, 4},
        {"compressed", 30, 4, 1, 4},
        {"width 0", 18, 4, 0, 4},
        {"width 6145", 18, 4, 6145, 4},
        {"negative width", 18, 4, uint32_t(-4), 4},
        {"height 0", 22, 4, 0, 4},
        {"height INT32_MIN", 22, 4, 0x80000000u, 4},
        {"byte count overflows", 22, 4, 200000, 6144},   // 6144 * 3 * 200000 bytes
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Bytes file = bmp_file(c.width, 2, Bytes(2 * 12, 0x55));
        if (c.size == 2) put16(file, c.at, c.value);
        else put32(file, c.at, c.value);
        const std::string path = temp_path("refused.bmp");
        write_file(path, file);
        RgbImage img{9, 9, 9, nullptr};
        EXPECT_EQ(read_bmp(path.c_str(), img), 0);
        EXPECT_TRUE(is_zeroed(img));
    }
    RgbImage img{};
    EXPECT_EQ(read_bmp(temp_path("no-such-file.bmp").c_str(), img), 0);
    EXPECT_TRUE(is_zeroed(img));
}

TEST(BmpRead, EveryPrefixOfAFileIsHandled)
{
    RgbImage img{};
    ASSERT_NE(alloc_image(3, 4, 3, img), nullptr);
    paint_red_f(img);
    const std::string full = temp_path("full.bmp");
    ASSERT_EQ(write_bmp(full.c_str(), img), 1);
    const Bytes data = read_file(full);
    ASSERT_EQ(data.size(), 54u + 12 * 4);

    const std::string path = temp_path("prefix.bmp");
    for (size_t len = 0; len <= data.size(); ++len) {
        SCOPED_TRACE(len);
        write_file(path, Bytes(data.begin(), data.begin() + long(len)));
        RgbImage back{};
        const int result = read_bmp(path.c_str(), back);
        if (result == 0) {
            EXPECT_LT(len, 54u);   // a complete header is always accepted
            EXPECT_TRUE(is_zeroed(back));
            continue;
        }
        ASSERT_EQ(back.width, 3);
        ASSERT_EQ(back.height, 4);
        // each image byte comes from the file if its file byte arrived, else stays zero
        for (int r = 0; r < 4; ++r)
            for (int x = 0; x < 3; ++x)
                for (int c = 0; c < 3; ++c) {
                    const size_t fileAt = 54 + size_t(r) * 12 + size_t(x) * 3 + size_t(2 - c);
                    const unsigned char want = fileAt < len ? img.pixels[(r * 3 + x) * 3 + c] : 0;
                    EXPECT_EQ(back.pixels[(r * 3 + x) * 3 + c], want) << r << "," << x << "," << c;
                }
        free_image(back);
    }
    free_image(img);
}

TEST(BmpWrite, FailuresReturnZero)
{
    RgbImage img{};
    ASSERT_NE(alloc_image(5, 3, 3, img), nullptr);

    EXPECT_EQ(write_bmp("/dev/full", img), 0);   // the flush fails
    EXPECT_EQ(write_bmp(temp_path("missing-folder/x.bmp").c_str(), img), 0);

    // images that cannot be written leave no file
    const std::string path = temp_path("refused-write.bmp");
    const RgbImage bad[] = {
        {0, 3, 3, img.pixels},
        {-5, 3, 3, img.pixels},
        {6145, 1, 3, img.pixels},
        {5, 0, 3, img.pixels},
        {5, 3, 3, nullptr},
        {5, 3, 1, img.pixels},   // 3 bytes per pixel would be read from a 1-byte-per-pixel buffer
    };
    for (const RgbImage &b : bad) {
        SCOPED_TRACE(testing::Message() << b.width << "x" << b.height << "x" << b.channels);
        EXPECT_EQ(write_bmp(path.c_str(), b), 0);
        EXPECT_FALSE(fs::exists(path));
    }
    free_image(img);
}

TEST(Resample, SidesArePowersOfTwoUpTo1024)
{
    struct Case {
        int32_t w, h, W, H;
    };
    const Case cases[] = {{1024, 768, 1024, 1024}, {300, 200, 512, 256}, {2000, 1500, 1024, 1024},
                          {64, 64, 64, 64},        {1, 5, 1, 8},         {5, 1, 8, 1},
                          {1, 1, 1, 1},            {2, 3, 2, 4}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
        RgbImage src{}, dst{};
        ASSERT_NE(alloc_image(c.w, c.h, 3, src), nullptr);
        ASSERT_EQ(resample_image(src, dst), 1);
        EXPECT_EQ(dst.width, c.W);
        EXPECT_EQ(dst.height, c.H);
        EXPECT_EQ(dst.channels, 3);
        free_image(src);
        free_image(dst);
    }
    RgbImage none{}, dst{5, 5, 5, nullptr};
    EXPECT_EQ(resample_image(none, dst), 0);
    EXPECT_TRUE(is_zeroed(dst));
}

TEST(Resample, UniformColourStaysExact)
{
    for (auto [w, h] : {std::pair{300, 200}, {1, 7}, {9, 1}, {2000, 3}}) {
        SCOPED_TRACE(testing::Message() << w << "x" << h);
        RgbImage src{}, dst{};
        ASSERT_NE(alloc_image(w, h, 3, src), nullptr);
        for (int i = 0; i < w * h; ++i) {
            src.pixels[3 * i] = 255;
            src.pixels[3 * i + 1] = 17;
            src.pixels[3 * i + 2] = 201;
        }
        ASSERT_EQ(resample_image(src, dst), 1);
        for (int i = 0; i < dst.width * dst.height; ++i) {
            ASSERT_EQ(dst.pixels[3 * i], 255) << i;
            ASSERT_EQ(dst.pixels[3 * i + 1], 17) << i;
            ASSERT_EQ(dst.pixels[3 * i + 2], 201) << i;
        }
        free_image(src);
        free_image(dst);
    }
}

TEST(Resample, SamplesSpanFirstToSecondLastPixel)
{
    // red = column, green = row: the corners land on source (0, 0) and (62, 62),
    // and the bright last column and row never show
    RgbImage src{}, dst{};
    ASSERT_NE(alloc_image(64, 64, 3, src), nullptr);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            unsigned char *p = src.pixels + (y * 64 + x) * 3;
            p[0] = uint8_t(x);
            p[1] = uint8_t(y);
            p[2] = (x == 63 || y == 63) ? 255 : 0;
        }
    ASSERT_EQ(resample_image(src, dst), 1);
    const auto at = [&](int x, int y, int c) { return dst.pixels[(y * 64 + x) * 3 + c]; };
    EXPECT_EQ(at(0, 0, 0), 0);
    EXPECT_EQ(at(63, 63, 0), 62);
    EXPECT_EQ(at(63, 63, 1), 62);
    EXPECT_EQ(at(21, 0, 0), 20);   // 62 * 21 / 63 = 20.67, truncated
    for (int i = 0; i < 64 * 64; ++i) ASSERT_EQ(dst.pixels[3 * i + 2], 0) << i;
    free_image(src);
    free_image(dst);
}

TEST(Resample, OnePixelSideUsesItsOnlyColumnOrRow)
{
    // a 1 x 3 column of rows 10, 20, 30 becomes 1 x 4 sampled at rows 0, 1/3, 2/3, 1
    RgbImage src{}, dst{};
    ASSERT_NE(alloc_image(1, 3, 3, src), nullptr);
    for (int y = 0; y < 3; ++y) src.pixels[3 * y] = uint8_t(10 * (y + 1));
    ASSERT_EQ(resample_image(src, dst), 1);
    ASSERT_EQ(dst.width, 1);
    ASSERT_EQ(dst.height, 4);
    EXPECT_EQ(dst.pixels[0], 10);
    EXPECT_EQ(dst.pixels[3], 13);
    EXPECT_EQ(dst.pixels[6], 16);
    EXPECT_EQ(dst.pixels[9], 20);
    free_image(src);
    free_image(dst);

    // the same along a row
    ASSERT_NE(alloc_image(3, 1, 3, src), nullptr);
    for (int x = 0; x < 3; ++x) src.pixels[3 * x + 1] = uint8_t(10 * (x + 1));
    ASSERT_EQ(resample_image(src, dst), 1);
    ASSERT_EQ(dst.width, 4);
    EXPECT_EQ(dst.pixels[1], 10);
    EXPECT_EQ(dst.pixels[3 * 3 + 1], 20);
    free_image(src);
    free_image(dst);
}
