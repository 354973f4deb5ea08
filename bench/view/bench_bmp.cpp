// bench_bmp.cpp -- speed of write_bmp and read_bmp for a 1024 x 1024 and a 6144 x 4096
// image, measured side by side with a raw fwrite/fread of the same byte count and with
// the stb image writer's BMP output. Prints one row per comparison.
#include "image.h"

#include <benchmark/benchmark.h>
#include "bench_support.h"
#include "recording_reporter.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

namespace fs = std::filesystem;

namespace {

struct Size {
    int32_t width, height;
};
constexpr Size SIZES[] = {{1024, 1024}, {6144, 4096}};

// Files live in one folder per run, removed at the end. It is in memory (/dev/shm) where
// there is one, so that disk writeback of earlier runs does not blur the comparison.
const fs::path &bench_dir()
{
    static const fs::path dir = [] {
        std::error_code ec;
        const fs::path base = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
        fs::path d = base / ("tallymap-bench-bmp-" + std::to_string(getpid()));
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

std::string bench_file(const char *kind, const Size &s)
{
    return (bench_dir() / (std::string(kind) + "-" + std::to_string(s.width) + ".bmp")).string();
}

size_t file_bytes(const Size &s)
{
    return size_t((s.width * 3 + 3) & ~3) * size_t(s.height) + BMP_HEADER_BYTES;
}

// A picture with varied bytes, so no side benefits from runs of zeros.
RgbImage test_image(const Size &s)
{
    RgbImage img{};
    if (!alloc_image(s.width, s.height, 3, img)) std::abort();
    const size_t n = size_t(s.width) * size_t(s.height) * 3;
    for (size_t i = 0; i < n; ++i) img.pixels[i] = static_cast<unsigned char>(i * 2654435761u >> 13);
    return img;
}

void BM_write_bmp(benchmark::State &state)
{
    const Size s = SIZES[state.range(0)];
    RgbImage img = test_image(s);
    const std::string path = bench_file("ours", s);
    for (auto _ : state)
        if (!write_bmp(path.c_str(), img)) state.SkipWithError("write_bmp failed");
    free_image(img);
}

void BM_write_raw(benchmark::State &state)
{
    const Size s = SIZES[state.range(0)];
    const size_t bytes = file_bytes(s);
    // touched bytes, like the image's: untouched pages would fault during the write
    auto *data = static_cast<unsigned char *>(std::malloc(bytes));
    for (size_t i = 0; i < bytes; ++i) data[i] = static_cast<unsigned char>(i * 2654435761u >> 13);
    const std::string path = bench_file("raw", s);
    for (auto _ : state) {
        FILE *f = std::fopen(path.c_str(), "wb");
        if (!f || std::fwrite(data, 1, bytes, f) != bytes || std::fclose(f) != 0)
            state.SkipWithError("raw write failed");
    }
    std::free(data);
}

void BM_write_stb(benchmark::State &state)
{
    const Size s = SIZES[state.range(0)];
    RgbImage img = test_image(s);
    const std::string path = bench_file("stb", s);
    for (auto _ : state)
        if (!stbi_write_bmp(path.c_str(), s.width, s.height, 3, img.pixels))
            state.SkipWithError("stbi_write_bmp failed");
    free_image(img);
}

// Reads the file that BM_write_bmp left (written once more here in case it runs alone).
void BM_read_bmp(benchmark::State &state)
{
    const Size s = SIZES[state.range(0)];
    RgbImage img = test_image(s);
    const std::string path = bench_file("ours", s);
    if (!write_bmp(path.c_str(), img)) state.SkipWithError("write_bmp failed");
    free_image(img);
    for (auto _ : state) {
        RgbImage back{};
        if (!read_bmp(path.c_str(), back)) state.SkipWithError("read_bmp failed");
        benchmark::DoNotOptimize(back.pixels);
        free_image(back);
    }
}

// The same file read whole into a fresh buffer, as a loader that only copies would.
void BM_read_raw(benchmark::State &state)
{
    const Size s = SIZES[state.range(0)];
    RgbImage img = test_image(s);
    const std::string path = bench_file("ours", s);
    if (!write_bmp(path.c_str(), img)) state.SkipWithError("write_bmp failed");
    free_image(img);
    const size_t bytes = file_bytes(s);
    for (auto _ : state) {
        auto *data = static_cast<unsigned char *>(std::malloc(bytes));
        FILE *f = std::fopen(path.c_str(), "rb");
        if (!f || std::fread(data, 1, bytes, f) != bytes) state.SkipWithError("raw read failed");
        if (f) std::fclose(f);
        benchmark::DoNotOptimize(data);
        std::free(data);
    }
}

#define BMP_BENCH(fn) BENCHMARK(fn)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()
BMP_BENCH(BM_write_bmp);
BMP_BENCH(BM_write_raw);
BMP_BENCH(BM_write_stb);
BMP_BENCH(BM_read_bmp);
BMP_BENCH(BM_read_raw);

}  // namespace

int main(int argc, char **argv)
{
    RecordingReporter reporter;
    run_recorded(argc, argv, reporter);

    for (int i = 0; i < 2; ++i) {
        char size[32], arg[32], what[128];
        std::snprintf(size, sizeof size, "%d x %d", SIZES[i].width, SIZES[i].height);
        std::snprintf(arg, sizeof arg, "/%d", i);
        // how many times faster the second is than the first
        const auto speed = [&](const char *theirs, const char *ours) {
            return ratio(reporter.real_time(theirs + std::string(arg)), reporter.real_time(ours + std::string(arg)));
        };
        std::snprintf(what, sizeof what, "write_bmp %s: speed vs raw fwrite (raw time / bmp time)", size);
        print_row(what, speed("BM_write_raw", "BM_write_bmp"), "x", ">= 0.8");
        std::snprintf(what, sizeof what, "read_bmp %s: speed vs raw fread (raw time / bmp time)", size);
        print_row(what, speed("BM_read_raw", "BM_read_bmp"), "x", ">= 0.8");
        std::snprintf(what, sizeof what, "write_bmp %s vs stbi_write_bmp (stb time / our time)", size);
        print_row(what, speed("BM_write_stb", "BM_write_bmp"), "x", "> 1");
    }
    std::error_code ec;
    fs::remove_all(bench_dir(), ec);
    return 0;
}
