// image_test.cpp -- image buffers, BMP reading and writing, resampling.
// Fixtures are asymmetric on purpose: odd widths force row padding, red on blue
// exposes a channel swap, distinct rows expose a flipped picture.
#include "image.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

namespace {

// A file in one folder per test process, removed when the process ends.
std::string temp_path(const std::string &name)
{
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
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void write_file(const std::string &path, const Bytes &data)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(data.data()), long(data.size()));
}

void put_le(Bytes &b, size_t at, int bytes, uint32_t v)
{
    for (int i = 0; i < bytes; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

// A 24-bit bitmap file built by hand: the header with the given sizes, then the rows.
Bytes bmp_file(int32_t width, int32_t height, const Bytes &rows)
{
    Bytes b(54, 0);
    b[0] = 'B';
    b[1] = 'M';
    put_le(b, 2, 4, uint32_t(54 + rows.size()));
    put_le(b, 10, 4, 54);
    put_le(b, 14, 4, 40);
    put_le(b, 18, 4, uint32_t(width));
    put_le(b, 22, 4, uint32_t(height));
    put_le(b, 26, 2, 1);
    put_le(b, 28, 2, 24);
    for (unsigned char c : rows) b.push_back(c);
    return b;
}

// Blue picture with a red "F", symmetric neither left-right nor top-bottom, and a
// distinct green in every pixel.
RgbImage red_f_image(int32_t width, int32_t height)
{
    RgbImage img{};
    alloc_image(width, height, 3, img);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            unsigned char *p = img.pixels + (size_t(y) * width + x) * 3;
            const bool red = x == 1 || (y == height - 1 && x < width - 1) || (y == height / 2 && x <= width / 2);
            p[0] = red ? 255 : 0;
            p[1] = uint8_t(x * 7 + y);
            p[2] = red ? 0 : 255;
        }
    return img;
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
    EXPECT_EQ(Bytes(img.pixels, img.pixels + 45), Bytes(45, 0));
    free_image(img);
    EXPECT_TRUE(is_zeroed(img));

    EXPECT_EQ(alloc_image(0, 3, 3, img), nullptr);
    EXPECT_EQ(alloc_image(65536, 65536, 3, img), nullptr);   // byte count overflows
    EXPECT_TRUE(is_zeroed(img));
}

TEST(BmpRoundTrip, EveryPaddingAmountKeepsPixels)
{
    // widths 1..8 give each of 0..3 pad bytes twice; 6144 is the widest row
    for (int32_t width : {1, 2, 3, 4, 5, 6, 7, 8, 6144}) {
        SCOPED_TRACE(width);
        RgbImage img = red_f_image(width, 5), back{};
        const std::string path = temp_path("round.bmp");
        ASSERT_EQ(write_bmp(path.c_str(), img), 1);
        EXPECT_EQ(fs::file_size(path), uintmax_t(54 + (width * 3 + 3) / 4 * 4 * 5));
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
    const unsigned char rgb[18] = {255, 0, 0, 0, 255, 0, 0, 0, 255,   // bottom row
                                   1, 2, 3, 4, 5, 6, 7, 8, 9};        // top row
    std::memcpy(img.pixels, rgb, sizeof rgb);
    const std::string path = temp_path("three.bmp");
    ASSERT_EQ(write_bmp(path.c_str(), img), 1);
    free_image(img);

    const Bytes expected = {
        'B', 'M', 78, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,              // size 12 * 2 + 54, row offset
        40, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0,             // info size, width, height, planes, bits
        0, 0, 0, 0, 0, 0, 0, 0, 0x13, 0x0B, 0, 0, 0x13, 0x0B, 0, 0,   // no compression, size 0, 2835 twice
        0, 0, 0, 0, 0, 0, 0, 0,                                       // colour counts
        0, 0, 255, 0, 255, 0, 255, 0, 0, 0, 0, 0,                     // bottom row, BGR, 3 pad bytes
        3, 2, 1, 6, 5, 4, 9, 8, 7, 0, 0, 0};
    EXPECT_EQ(read_file(path), expected);
}

TEST(BmpRead, FourByTwoAndTopDownFiles)
{
    // file row r, pixel x holds blue 10x, green 100 + r, red 200 + x; no pad bytes
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
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(Bytes(img.pixels + (r * 4 + x) * 3, img.pixels + (r * 4 + x) * 3 + 3),
                      (Bytes{uint8_t(200 + x), uint8_t(100 + r), uint8_t(10 * x)}));
    free_image(img);

    // a negative height stores the top row first: rows come out flipped, height positive
    write_file(path, bmp_file(1, -2, {1, 2, 3, 0, 4, 5, 6, 0}));
    ASSERT_EQ(read_bmp(path.c_str(), img), 1);
    EXPECT_EQ(img.height, 2);
    EXPECT_EQ(Bytes(img.pixels, img.pixels + 6), (Bytes{6, 5, 4, 3, 2, 1}));
    free_image(img);
}

TEST(BmpRead, RefusesHeadersItCannotRead)
{
    struct Case {
        const char *what;
        size_t at;        // field offset
        int bytes;        // field size
        uint32_t value;
        int32_t width;    // of the otherwise valid file
    };
    const Case cases[] = {
        {"signature BN", 0, 2, 0x4E42, 4},
        {"32-bit", 28, 2, 32, 4},
        {"8-bit with palette", 28, 2, 8, 4},
        {"compressed", 30, 4, 1, 4},
        {"width 0", 18, 4, 0, 4},
        {"width 6145", 18, 4, 6145, 4},
        {"negative width", 18, 4, uint32_t(-4), 4},
        {"height 0", 22, 4, 0, 4},
        {"height INT32_MIN", 22, 4, 0x80000000u, 4},
        {"25-bit", 28, 2, 25, 4},
        {"31-bit", 28, 2, 31, 4},
        {"height 6145", 22, 4, 6145, 4},   // a few bytes must not claim a huge image
        {"height -6145", 22, 4, uint32_t(-6145), 4},
        {"byte count overflows", 22, 4, 200000, 6144},   // 6144 * 3 * 200000 bytes
    };
    const std::string path = temp_path("refused.bmp");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Bytes file = bmp_file(c.width, 2, Bytes(24, 0x55));
        put_le(file, c.at, c.bytes, c.value);
        write_file(path, file);
        RgbImage img{9, 9, 9, nullptr};
        EXPECT_EQ(read_bmp(path.c_str(), img), 0);
        EXPECT_TRUE(is_zeroed(img));
    }
    RgbImage img{};
    EXPECT_EQ(read_bmp(temp_path("no-such-file.bmp").c_str(), img), 0);
    EXPECT_TRUE(is_zeroed(img));
}

// Image tools often write a larger information header (124 bytes, with colour-space
// fields): the rows start where the pixel offset says, not at byte 54.
TEST(BmpRead, RowsStartAtThePixelOffset)
{
    const Bytes rows = {1, 2, 3, 0, 4, 5, 6, 0};   // 1 x 2, blue-green-red and a pad each
    Bytes v5 = bmp_file(1, 2, {});
    put_le(v5, 10, 4, 138);
    put_le(v5, 14, 4, 124);
    v5.resize(138, 0x77);   // the rest of the larger header
    v5.insert(v5.end(), rows.begin(), rows.end());
    const std::string path = temp_path("v5.bmp");
    write_file(path, v5);
    RgbImage img{};
    ASSERT_EQ(read_bmp(path.c_str(), img), 1);
    EXPECT_EQ(Bytes(img.pixels, img.pixels + 6), (Bytes{3, 2, 1, 6, 5, 4}));
    free_image(img);

    // An offset inside the headers cannot be right: rows are taken from byte 54.
    Bytes low = bmp_file(1, 2, rows);
    put_le(low, 10, 4, 14);
    write_file(path, low);
    ASSERT_EQ(read_bmp(path.c_str(), img), 1);
    EXPECT_EQ(Bytes(img.pixels, img.pixels + 6), (Bytes{3, 2, 1, 6, 5, 4}));
    free_image(img);

    // An offset past the end leaves the rows the file lacks zero, like a short file.
    put_le(low, 10, 4, 4000);
    write_file(path, low);
    ASSERT_EQ(read_bmp(path.c_str(), img), 1);
    EXPECT_EQ(Bytes(img.pixels, img.pixels + 6), Bytes(6, 0));
    free_image(img);

    // The tallest image there is, from a file of one row.
    Bytes tall = bmp_file(1, -6144, {9, 8, 7, 0});
    write_file(path, tall);
    ASSERT_EQ(read_bmp(path.c_str(), img), 1);
    EXPECT_EQ(img.height, 6144);
    EXPECT_EQ(Bytes(img.pixels + 6143 * 3, img.pixels + 6144 * 3), (Bytes{7, 8, 9}));
    free_image(img);
}

TEST(BmpRead, EveryPrefixOfAFileIsHandled)
{
    RgbImage img = red_f_image(3, 4);
    const std::string full = temp_path("full.bmp"), path = temp_path("prefix.bmp");
    ASSERT_EQ(write_bmp(full.c_str(), img), 1);
    const Bytes data = read_file(full);
    ASSERT_EQ(data.size(), 54u + 12 * 4);

    for (size_t len = 0; len <= data.size(); ++len) {
        SCOPED_TRACE(len);
        write_file(path, Bytes(data.begin(), data.begin() + long(len)));
        RgbImage back{};
        if (read_bmp(path.c_str(), back) == 0) {
            EXPECT_LT(len, 54u);   // a complete header is always accepted
            EXPECT_TRUE(is_zeroed(back));
            continue;
        }
        ASSERT_EQ(back.width, 3);
        ASSERT_EQ(back.height, 4);
        // an image byte comes from the file if its file byte arrived, else it stays zero
        for (int i = 0; i < 36; ++i) {
            const size_t fileAt = 54 + size_t(i / 9) * 12 + size_t(i % 9 / 3 * 3 + 2 - i % 3);
            EXPECT_EQ(back.pixels[i], fileAt < len ? img.pixels[i] : 0) << i;
        }
        free_image(back);
    }
    free_image(img);
}

TEST(BmpWrite, FailuresReturnZero)
{
    RgbImage img = red_f_image(5, 3);
    EXPECT_EQ(write_bmp("/dev/full", img), 0);   // the flush fails
    EXPECT_EQ(write_bmp(temp_path("missing-folder/x.bmp").c_str(), img), 0);

    // images that cannot be written leave no file
    const std::string path = temp_path("refused-write.bmp");
    const RgbImage bad[] = {
        {0, 3, 3, img.pixels}, {6145, 1, 3, img.pixels}, {5, 0, 3, img.pixels},
        {5, 3, 3, nullptr},
        {5, 3, 1, img.pixels},   // 3 bytes per pixel would be read from a 1-byte-per-pixel buffer
    };
    for (const RgbImage &b : bad) {
        EXPECT_EQ(write_bmp(path.c_str(), b), 0) << b.width << "x" << b.height << "x" << b.channels;
        EXPECT_FALSE(fs::exists(path));
    }
    free_image(img);
}

TEST(Resample, PowerOfTwoSidesAndExactUniformColour)
{
    const int32_t cases[][4] = {{1024, 768, 1024, 1024}, {300, 200, 512, 256}, {2000, 1500, 1024, 1024},
                                {64, 64, 64, 64},        {1, 5, 1, 8},         {5, 1, 8, 1},
                                {1, 1, 1, 1}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c[0] << "x" << c[1]);
        RgbImage src{}, dst{};
        ASSERT_NE(alloc_image(c[0], c[1], 3, src), nullptr);
        for (int i = 0; i < c[0] * c[1]; ++i) std::memcpy(src.pixels + 3 * i, "\xff\x11\xc9", 3);
        ASSERT_EQ(resample_image(src, dst), 1);
        EXPECT_EQ(dst.width, c[2]);
        EXPECT_EQ(dst.height, c[3]);
        EXPECT_EQ(dst.channels, 3);
        // (1 - d) * v + d * v is exactly v in double precision: no 254.99 truncated to 254
        for (int i = 0; i < dst.width * dst.height; ++i)
            ASSERT_EQ(std::memcmp(dst.pixels + 3 * i, "\xff\x11\xc9", 3), 0) << i;
        free_image(src);
        free_image(dst);
    }
    RgbImage none{}, dst{5, 5, 5, nullptr};
    EXPECT_EQ(resample_image(none, dst), 0);
    EXPECT_TRUE(is_zeroed(dst));
}

TEST(Resample, SamplePositionsStayInsideTheSource)
{
    // 64 x 64 with red = column, green = row: target j samples source j * 62 / 63, so
    // the bright last column and row never show
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
    EXPECT_EQ(at(21, 0, 0), 20);   // 62 * 21 / 63 = 20.67, truncated
    EXPECT_EQ(at(63, 63, 0), 62);
    EXPECT_EQ(at(63, 63, 1), 62);
    for (int i = 0; i < 64 * 64; ++i) ASSERT_EQ(dst.pixels[3 * i + 2], 0) << i;
    free_image(src);
    free_image(dst);

    // a 1-pixel-wide column of rows 10, 20, 30 is sampled at rows 0, 1/3, 2/3 and 1
    ASSERT_NE(alloc_image(1, 3, 3, src), nullptr);
    for (int y = 0; y < 3; ++y) src.pixels[3 * y] = uint8_t(10 * (y + 1));
    ASSERT_EQ(resample_image(src, dst), 1);
    ASSERT_EQ(dst.height, 4);
    EXPECT_EQ((Bytes{dst.pixels[0], dst.pixels[3], dst.pixels[6], dst.pixels[9]}), (Bytes{10, 13, 16, 20}));
    free_image(src);
    free_image(dst);
}
