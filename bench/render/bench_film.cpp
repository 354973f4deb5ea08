// bench_film.cpp -- tallyrender's films against its numbered bitmaps: 100 frames of
// 1024 x 768 with 300 ZIP codes, stepped by month, written once as --frames and once
// as --film x.mp4 and x.webm at the default quality. Each measurement is a whole
// tallyrender run as a user starts it; the runs alternate, five of each, and the
// medians are compared: time and bytes on disk.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "study_area.h"

namespace fs = std::filesystem;

constexpr int RUNS = 5;

// ms of a whole tallyrender run that writes `output` (--frames DIR or --film FILE), in
// bytes on disk into `bytes`; the output is removed again, so that every run starts
// with the same free page cache. The README film example's kind of picture: coloured
// sides, the legend with its date.
static double render_ms(const char *option, const char *output, std::vector<double> &bytes)
{
    const double ms = process_ms({TALLYRENDER_PATH, option, output, "--load", "bench/zips.csv", "--view", "20,50,250",
                                  "--campus", "1", "--legend", "--date", "1995-01-01", "--step", "month", "--count", "100"},
                                 "tallyrender.log");
    std::error_code error;
    double total = 0;
    if (!fs::is_directory(output, error)) total = double(fs::file_size(output, error));
    else for (const auto &entry : fs::directory_iterator(output, error)) total += double(entry.file_size(error));
    bytes.push_back(error ? NAN : total);
    fs::remove_all(output, error);
    return ms;
}

int main()
{
    // tallyrender needs no window system: its runs are timed without one
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    const std::string root = make_working_directory();
    if (chdir(root.c_str()) != 0) return 1;
    std::vector<double> framesBytes, mp4Bytes, webmBytes;
    const auto runs = alternate(RUNS, {[&] { return render_ms("--frames", "frames", framesBytes); },
                                       [&] { return render_ms("--film", "x.mp4", mp4Bytes); },
                                       [&] { return render_ms("--film", "x.webm", webmBytes); }});
    for (int run = 0; run < RUNS; ++run)
        std::printf("run %d: frames %.0f ms %.0f bytes, mp4 %.0f ms %.0f bytes, webm %.0f ms %.0f bytes\n", run + 1,
                    runs[0][run], framesBytes[run], runs[1][run], mp4Bytes[run], runs[2][run], webmBytes[run]);
    std::error_code ignored;
    fs::remove_all(root, ignored);   // the maps and ui links go, not their targets

    const double frames = median(runs[0]), bitmaps = median(framesBytes);
    print_row("tallyrender --film x.mp4 / --frames, 100 frames of 1024x768, 300 ZIPs, by month: time",
              ratio(median(runs[1]), frames), "x", "<= 2");
    print_row("tallyrender --frames / --film x.mp4, the same frames: bytes", ratio(bitmaps, median(mp4Bytes)), "x", ">= 100");
    print_row("tallyrender --film x.webm / --frames, the same frames: time", ratio(median(runs[2]), frames), "x", "<= 2");
    print_row("tallyrender --frames / --film x.webm, the same frames: bytes", ratio(bitmaps, median(webmBytes)), "x",
              ">= 100");
    return 0;
}
