// tallyrender_runs.h -- what the render benchmarks share: tallyrender run as a whole
// process, as a user starts it, in the benchmarks' study area (the current folder),
// and the bytes it wrote.
#pragma once
#include <cmath>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "bench_support.h"

constexpr int TIMELINE_FRAMES = 100;   // the frames of a timeline run

// ms of a tallyrender run with these arguments; NaN when it failed.
inline double tallyrender_ms(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), TALLYRENDER_PATH);
    return process_ms(arguments, "tallyrender.log");
}

// Bytes on disk of a file, or of the files in a folder; NaN when there are none.
inline double bytes_of(const std::filesystem::path &output)
{
    std::error_code error;
    double total = 0;
    if (!std::filesystem::is_directory(output, error)) total = double(std::filesystem::file_size(output, error));
    else
        for (const auto &entry : std::filesystem::directory_iterator(output, error)) total += double(entry.file_size(error));
    return error ? NAN : total;
}

// ms of a run that writes TIMELINE_FRAMES frames by month from 1995 with `option value`
// (--frames DIR, --film FILE ...), the README film example's kind of picture (coloured
// sides, the legend with its date); the bytes of `written`, the file or folder it made,
// into bytes. `written` is removed again, so that every run starts with the same free
// page cache.
inline double timeline_ms(const char *option, const char *value, const char *written, std::vector<double> &bytes)
{
    const double ms = tallyrender_ms({option, value, "--load", "bench/zips.csv", "--view", "20,50,250", "--campus", "1",
                                      "--legend", "--date", "1995-01-01", "--step", "month", "--count",
                                      std::to_string(TIMELINE_FRAMES)});
    bytes.push_back(bytes_of(written));
    std::error_code ignored;
    std::filesystem::remove_all(written, ignored);
    return ms;
}
