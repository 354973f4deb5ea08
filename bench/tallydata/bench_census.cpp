// bench_census.cpp -- census counts of any year, timed two ways; prints RATIO lines.
//   fit:    the census fit in-process, 300 ZIP codes x 3 series x 5 given years (2000,
//           2010, 2014, 2016, 2020: a stored year, a decennial count, yearly
//           estimates), all fitted once a run; the median against 1 ms in all, so that
//           it vanishes beside the writing of the files.
//   import: `tallydata import` of the three census downloads of examples/tables (321
//           ZIP codes, population of 2000, 2010 and 2020, fitted) against an import of
//           the same ZIP codes' population at the four stored years (merged, no fit),
//           as whole processes in alternating runs, each into a fresh data folder that
//           already holds ui/ and maps/ (made before the clock starts, removed after).
#include "census_fit.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int ZIPS = 300, SERIES = 3, YEARS = 5, FIT_RUNS = 101, IMPORT_RUNS = 15;
const int GIVEN_YEARS[YEARS] = {2000, 2010, 2014, 2016, 2020};
const fs::path SOURCE = TALLYMAP_SOURCE_DIR;
fs::path scratch;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Milliseconds of the fit of 900 series, every run.
std::vector<double> fit_runs()
{
    // Counts that grow, shrink or turn, different for every series, never negative.
    std::vector<GivenCount> counts;
    for (int i = 0; i < ZIPS * SERIES; ++i)
        for (int y = 0; y < YEARS; ++y)
            counts.push_back({GIVEN_YEARS[y], 1000.0 + 37.0 * (i % 97) + (i % 5 - 2) * 40.0 * y + 9.0 * ((i * 7 + y) % 11)});
    std::vector<double> runs;
    int refused = 0;
    for (int r = 0; r < FIT_RUNS; ++r) {
        Clock::time_point start = Clock::now();
        for (int i = 0; i < ZIPS * SERIES; ++i) {
            CensusFit fit;
            if (fit_census_points(&counts[size_t(i) * YEARS], YEARS, fit) != FIT_DONE) ++refused;
        }
        runs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    if (refused) std::fprintf(stderr, "bench_census: %d fits refused\n", refused / FIT_RUNS);
    return runs;
}

// Runs a program in the scratch folder, its output to a log; the wall-clock
// milliseconds from spawn to exit, or -1 when it failed.
double run_ms(const std::vector<std::string> &command)
{
    std::vector<char *> argv;
    for (const std::string &a : command) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    const std::string log = (scratch / "run.log").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid;
    Clock::time_point start = Clock::now();
    int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (spawned != 0 || waitpid(pid, &status, 0) != pid) return -1;
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "bench_census: %s failed\n", command[0].c_str());
        return -1;
    }
    return ms;
}

fs::path fresh_data_folder()
{
    fs::path target = scratch / "target";
    fs::remove_all(target);
    fs::create_directories(target);
    fs::copy(SOURCE / "data/ui", target / "ui", fs::copy_options::recursive);
    fs::copy(SOURCE / "data/maps", target / "maps", fs::copy_options::recursive);
    return target;
}

// The population of the sample's census table at its four stored years, as a table.
fs::path stored_years_table()
{
    std::ifstream in(SOURCE / "examples/tables/census.csv");
    std::string line, text = "zip,year,population\n";
    std::getline(in, line);
    while (std::getline(in, line)) text += line.substr(0, line.find(',', line.find(',', line.find(',') + 1) + 1)) + "\n";
    const fs::path path = scratch / "stored.csv";
    std::ofstream(path) << text;
    return path;
}

}  // namespace

int main()
{
    const double fitMs = median(fit_runs());

    scratch = fs::temp_directory_path() / ("tallymap-bench-census-" + std::to_string(::getpid()));
    fs::create_directories(scratch);
    const std::string tables = (SOURCE / "examples/tables").string(), stored = stored_years_table().string();
    auto downloads = [&](const fs::path &data) {
        return std::vector<std::string>{TALLYDATA_PATH, "import", "--data", data.string(),
                                        "--year", "2000", "--column", "population=P001001", "--census", tables + "/dec2000-p1.csv",
                                        "--year", "2010", "--column", "population=P001001", "--census", tables + "/dec2010-p1.csv",
                                        "--year", "2020", "--column", "population=P1_001N", "--census", tables + "/dec2020-p1.csv"};
    };
    auto storedYears = [&](const fs::path &data) {
        return std::vector<std::string>{TALLYDATA_PATH, "import", "--data", data.string(), "--census", stored};
    };
    std::vector<double> fitted, merged;
    run_ms(downloads(fresh_data_folder())), run_ms(storedYears(fresh_data_folder()));   // warm the page cache
    for (int i = 0; i < IMPORT_RUNS; ++i)
        for (int side = 0; side < 2; ++side) {
            const bool fit = (side == 0) == (i % 2 == 0);   // neither side always first
            const double ms = run_ms(fit ? downloads(fresh_data_folder()) : storedYears(fresh_data_folder()));
            if (ms < 0) return 1;
            (fit ? fitted : merged).push_back(ms);
        }
    fs::remove_all(scratch);

    std::printf("medians: fit %.3f ms; import of the downloads %.1f ms, of the stored years %.1f ms (%d runs)\n", fitMs,
                median(fitted), median(merged), IMPORT_RUNS);
    std::printf("RATIO | census fit in-process, 300 ZIP codes x 3 series x 5 years, in all | %.3f ms | <= 1 ms\n", fitMs);
    std::printf("RATIO | tallydata import of the 3 census downloads (321 ZIPs, fitted) / of the 4 stored years | %.2f x | "
                "<= 1.3 x\n", median(fitted) / median(merged));
    return 0;
}
