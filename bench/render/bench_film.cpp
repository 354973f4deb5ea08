// bench_film.cpp -- tallyrender's films against its numbered bitmaps: 100 frames of
// 1024 x 768 with 300 ZIP codes, stepped by month, written once as --frames and once
// as --film x.mp4 and x.webm at the default quality. Each measurement is a whole
// tallyrender run as a user starts it; the runs alternate, five of each, and the
// medians are compared: time and bytes on disk.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "study_area.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int RUNS = 5;
// The README film example's kind of picture: coloured sides, the legend with its date.
const std::string FRAMES =
    " --load bench/zips.csv --view 20,50,250 --campus 1 --legend --date 1995-01-01 --step month --count 100";

// ms of a whole tallyrender run with these arguments; -1 when it failed.
static double time_tallyrender(const std::string &arguments)
{
    std::string command = "env -u DISPLAY '" TALLYRENDER_PATH "' " + arguments + " 2>/dev/null";
    Clock::time_point start = Clock::now();
    int status = std::system(command.c_str());
    return status == 0 ? std::chrono::duration<double, std::milli>(Clock::now() - start).count() : -1;
}

static double bytes_of(const fs::path &path)
{
    std::error_code error;
    if (!fs::is_directory(path, error)) return double(fs::file_size(path, error));
    double total = 0;
    for (const auto &entry : fs::directory_iterator(path, error)) total += double(entry.file_size(error));
    return total;
}

static double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int main()
{
    std::string root = make_working_directory();
    if (chdir(root.c_str()) != 0) return 1;
    std::vector<double> framesMs, mp4Ms, webmMs, framesBytes, mp4Bytes, webmBytes;
    for (int run = 0; run < RUNS; ++run) {
        fs::remove_all("frames");
        framesMs.push_back(time_tallyrender("--frames frames" + FRAMES));
        framesBytes.push_back(bytes_of("frames"));
        fs::remove_all("frames");   // the next runs start with the same free page cache
        mp4Ms.push_back(time_tallyrender("--film x.mp4" + FRAMES));
        mp4Bytes.push_back(bytes_of("x.mp4"));
        webmMs.push_back(time_tallyrender("--film x.webm" + FRAMES));
        webmBytes.push_back(bytes_of("x.webm"));
        std::printf("run %d: frames %.0f ms %.0f bytes, mp4 %.0f ms %.0f bytes, webm %.0f ms %.0f bytes\n", run + 1,
                    framesMs.back(), framesBytes.back(), mp4Ms.back(), mp4Bytes.back(), webmMs.back(), webmBytes.back());
    }
    std::error_code ignored;
    fs::remove_all(root, ignored);   // the maps symlink goes, not its target

    const double frames = median(framesMs), bitmaps = median(framesBytes);
    for (const auto &[name, ms, bytes] : {std::tuple{"mp4", median(mp4Ms), median(mp4Bytes)},
                                          std::tuple{"webm", median(webmMs), median(webmBytes)}}) {
        std::printf("RATIO | tallyrender --film x.%s / --frames, 100 frames of 1024x768, 300 ZIPs, by month: time | "
                    "%.2f x | <= 2 x\n", name, frames > 0 && ms > 0 ? ms / frames : 0.0);
        std::printf("RATIO | tallyrender --film x.%s / --frames, the same frames: bytes | 1/%.0f | <= 1/100\n", name,
                    bytes > 0 ? bitmaps / bytes : 0.0);
    }
    return 0;
}
