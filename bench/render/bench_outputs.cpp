// bench_outputs.cpp -- tallyrender's PNG pictures and glTF models against what they
// replace or build on, in the benchmarks' study area of 300 ZIP codes. Runs alternate;
// medians are compared.
//   PNG frames: 100 frames of 1024 x 768 stepped by month as --frames 'DIR/f_%05d.png'
//               against the same run writing bitmaps: time and bytes; a PNG snapshot's
//               bytes against the bitmap's. Whole runs, seven of each.
//   still model: the model of the 300 ZIP codes built in this process from the loaded
//               table and the decoded 1024 x 1024 base map, against libpng encoding
//               that map with the same settings: the model's own work should vanish
//               beside the picture. Fifteen runs of each.
//   animated model: --model of 400 months against --film x.mp4 of the same dates, and
//               the model's bytes. Whole runs, three of each.
#include "image.h"
#include "model.h"
#include "png_writer.h"
#include "selection.h"
#include "values.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "study_area.h"
#include "tallyrender_runs.h"

namespace fs = std::filesystem;

constexpr int FRAME_RUNS = 7;
constexpr int MODEL_RUNS = 15;
constexpr int FILM_RUNS  = 3;

static void time_png()
{
    std::vector<double> bmpBytes, pngBytes;
    const auto runs = alternate(FRAME_RUNS, {[&] { return timeline_ms("--frames", "bmp", "bmp", bmpBytes); },
                                             [&] { return timeline_ms("--frames", "png/f_%05d.png", "png", pngBytes); }});
    print_row("tallyrender --frames DIR/f_%05d.png / bitmap frames, 100 of 1024x768, 300 ZIPs, by month: time",
              ratio(median(runs[1]), median(runs[0])), "x", "<= 1.5");
    print_row("tallyrender PNG frames / bitmap frames: bytes", ratio(median(pngBytes), median(bmpBytes)), "x", "<= 0.333");
    const std::vector<std::string> snapshot = {"--load", "bench/zips.csv", "--view", "20,50,250", "--campus", "1",
                                               "--legend", "--date", "1995-01-01", "--snapshot"};
    std::vector<std::string> png = snapshot, bmp = snapshot;
    png.push_back("x.png");
    bmp.push_back("x.bmp");
    tallyrender_ms(png);
    tallyrender_ms(bmp);
    print_row("tallyrender --snapshot x.png / x.bmp, 1024x768: bytes", ratio(bytes_of("x.png"), bytes_of("x.bmp")), "x",
              "<= 0.25");
}

// The still model of the study area at 1995-01-01 against the base map's PNG alone.
static void time_still_model()
{
    RgbImage map{};
    if (!read_records("bench/zips.csv") || !read_bmp("data/maps/basemap.bmp", map)) {
        print_row("still model of 300 ZIPs / libpng encoding its 1024x1024 map: time", NAN, "x", "<= 1.2");
        return;
    }
    timeline.currentDate = pack_date(1, 1, 1995);
    querySelection.campus = 1;
    compute_values();
    compute_scene_geometry();
    ModelTimeline model;
    start_model_timeline(model, loaded_zip_count(), 1);
    record_model_key(model);
    ModelSettings settings{};
    settings.heightScaleN = 10000;
    settings.fieldLabel = "";
    settings.aspect = 1024.0f / 768.0f;
    settings.view = viewState;
    std::vector<unsigned char> bytes;
    const auto runs = alternate(MODEL_RUNS, {
        [&] {
            const BenchClock::time_point start = BenchClock::now();
            return build_model(model, settings, map, bytes) ? elapsed_ms(start) : NAN;
        },
        [&] {
            const BenchClock::time_point start = BenchClock::now();
            return encode_png(map, PNG_SMALL, bytes) ? elapsed_ms(start) : NAN;
        },
    });
    print_row("still model of 300 ZIPs, in this process / libpng encoding its 1024x1024 map alike: time",
              ratio(median(runs[0]), median(runs[1])), "x", "<= 1.2");
    free_image(map);
}

static void time_animated_model()
{
    std::vector<double> modelBytes;
    const std::vector<std::string> dates = {"--load", "bench/zips.csv", "--view", "20,50,250", "--campus", "1",
                                            "--date", "1990-01-01", "--step", "month", "--count", "400"};
    std::vector<std::string> model = dates, film = dates;
    model.insert(model.end(), {"--model", "x.glb"});
    film.insert(film.end(), {"--film", "x.mp4"});
    const auto runs = alternate(FILM_RUNS, {
        [&] {
            const double ms = tallyrender_ms(model);
            modelBytes.push_back(bytes_of("x.glb"));
            return ms;
        },
        [&] { return tallyrender_ms(film); },
    });
    print_row("tallyrender --model of 400 months / --film x.mp4 of them, 300 ZIPs: time",
              ratio(median(runs[0]), median(runs[1])), "x", "<= 0.1");
    print_row("tallyrender --model of 400 months, 300 ZIPs: bytes", median(modelBytes) / 1e6, "MB", "<= 8");
}

int main()
{
    // tallyrender needs no window system: its runs are timed without one
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    const std::string root = make_working_directory();
    if (chdir(root.c_str()) != 0) return 1;
    time_png();
    time_still_model();
    time_animated_model();
    std::error_code ignored;
    fs::remove_all(root, ignored);   // the maps and ui links go, not their targets
    return 0;
}
