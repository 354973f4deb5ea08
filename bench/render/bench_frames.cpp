// bench_frames.cpp -- tallyrender as a user starts it, with the benchmarks' 300 ZIP
// codes: its start to the first picture written (the base map, 1024 x 768), and 100
// frames of 1024 x 768 stepped by day against write_bmp writing the same frames'
// bytes in this process (the floor: a frame can be written no faster). The runs
// alternate, seven of each; the medians are compared.
#include "image.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "study_area.h"

namespace fs = std::filesystem;

constexpr int RUNS   = 7;
constexpr int FRAMES = 100;

static double tallyrender_ms(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), TALLYRENDER_PATH);
    return process_ms(arguments, "tallyrender.log");
}

// ms for write_bmp to write FRAMES copies of the first frame tallyrender wrote.
static double write_bmp_ms()
{
    RgbImage image{};
    if (!read_bmp("frames/frame_00001.bmp", image)) return NAN;
    fs::create_directories("copies");
    const BenchClock::time_point start = BenchClock::now();
    char path[64];
    for (int i = 1; i <= FRAMES; ++i) {
        std::snprintf(path, sizeof path, "copies/frame_%05d.bmp", i);
        if (!write_bmp(path, image)) {
            free_image(image);
            return NAN;
        }
    }
    const double ms = elapsed_ms(start);
    free_image(image);
    return ms;
}

int main()
{
    // tallyrender needs no window system: its runs are timed without one
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    const std::string root = make_working_directory();
    if (chdir(root.c_str()) != 0) return 1;
    const auto runs = alternate(RUNS, {
        [] { return tallyrender_ms({"--snapshot", "first.bmp"}); },
        [] {
            std::error_code ignored;
            fs::remove_all("frames", ignored);
            return tallyrender_ms({"--load", "bench/zips.csv", "--view", "20,50,250", "--frames", "frames",
                                   "--step", "day", "--count", std::to_string(FRAMES)});
        },
        write_bmp_ms,
    });
    std::error_code ignored;
    fs::remove_all(root, ignored);   // the maps and ui links go, not their targets

    const double frames = median(runs[1]);
    print_row("tallyrender start to first picture written (base map, 1024x768)", median(runs[0]), "ms");
    print_row("tallyrender, 100 frames of 1024x768, 300 ZIPs: frames per second", ratio(1000.0 * FRAMES, frames), "fps");
    print_row("tallyrender 100 frames / write_bmp of the same 100 frames", ratio(frames, median(runs[2])), "x", "<= 2");
    return 0;
}
