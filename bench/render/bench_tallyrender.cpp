// bench_tallyrender.cpp -- tallyrender timed as whole runs, as a user starts it,
// without a window system, in the benchmarks' study area of 300 ZIP codes. Runs
// alternate; medians are compared.
//   films:  100 frames of 1024 x 768 stepped by month, written once as --frames and
//           once as --film x.mp4 and x.webm at the default quality: time and bytes on
//           disk, five runs of each.
//   frames: its start to the first picture written (the base map, 1024 x 768), and
//           100 frames of 1024 x 768 stepped by day against write_bmp writing the same
//           frames' bytes in this process (the floor: a frame can be written no
//           faster), seven runs of each.
#include "image.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "study_area.h"
#include "tallyrender_runs.h"

namespace fs = std::filesystem;

constexpr int FILM_RUNS  = 5;
constexpr int FRAME_RUNS = 7;
constexpr int FRAMES     = TIMELINE_FRAMES;

// ms of a tallyrender run that writes `output` (--frames DIR or --film FILE), its bytes
// into `bytes`.
static double film_ms(const char *option, const char *output, std::vector<double> &bytes)
{
    return timeline_ms(option, output, output, bytes);
}

// ms for write_bmp to write FRAMES copies of the first frame tallyrender wrote, as new
// files, as tallyrender writes them.
static double write_bmp_ms()
{
    RgbImage image{};
    if (!read_bmp("frames/frame_00001.bmp", image)) return NAN;
    std::error_code ignored;
    fs::remove_all("copies", ignored);
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

static void time_films()
{
    std::vector<double> framesBytes, mp4Bytes, webmBytes;
    const auto runs = alternate(FILM_RUNS, {[&] { return film_ms("--frames", "frames", framesBytes); },
                                            [&] { return film_ms("--film", "x.mp4", mp4Bytes); },
                                            [&] { return film_ms("--film", "x.webm", webmBytes); }});
    for (int run = 0; run < FILM_RUNS; ++run)
        std::printf("run %d: frames %.0f ms %.0f bytes, mp4 %.0f ms %.0f bytes, webm %.0f ms %.0f bytes\n", run + 1,
                    runs[0][run], framesBytes[run], runs[1][run], mp4Bytes[run], runs[2][run], webmBytes[run]);
    const double frames = median(runs[0]), bitmaps = median(framesBytes);
    print_row("tallyrender --film x.mp4 / --frames, 100 frames of 1024x768, 300 ZIPs, by month: time",
              ratio(median(runs[1]), frames), "x", "<= 2");
    print_row("tallyrender --frames / --film x.mp4, the same frames: bytes", ratio(bitmaps, median(mp4Bytes)), "x", ">= 100");
    print_row("tallyrender --film x.webm / --frames, the same frames: time", ratio(median(runs[2]), frames), "x", "<= 2");
    print_row("tallyrender --frames / --film x.webm, the same frames: bytes", ratio(bitmaps, median(webmBytes)), "x",
              ">= 100");
}

static void time_frames()
{
    const auto runs = alternate(FRAME_RUNS, {
        [] { return tallyrender_ms({"--snapshot", "first.bmp"}); },
        [] {
            std::error_code ignored;
            fs::remove_all("frames", ignored);
            return tallyrender_ms({"--load", "bench/zips.csv", "--view", "20,50,250", "--frames", "frames",
                                   "--step", "day", "--count", std::to_string(FRAMES)});
        },
        write_bmp_ms,
    });
    const double frames = median(runs[1]);
    print_row("tallyrender start to first picture written (base map, 1024x768)", median(runs[0]), "ms");
    print_row("tallyrender, 100 frames of 1024x768, 300 ZIPs: frames per second", ratio(1000.0 * FRAMES, frames), "fps");
    print_row("tallyrender 100 frames / write_bmp of the same 100 frames", ratio(frames, median(runs[2])), "x", "<= 2");
}

int main()
{
    // tallyrender needs no window system: its runs are timed without one
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    const std::string root = make_working_directory();
    if (chdir(root.c_str()) != 0) return 1;
    time_films();
    time_frames();
    std::error_code ignored;
    fs::remove_all(root, ignored);   // the maps and ui links go, not their targets
    return 0;
}
