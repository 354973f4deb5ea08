// bench_census.cpp -- census counts of any year, timed two ways; prints the rows.
//   fit:    the census fit in-process, 300 ZIP codes x 3 series x 5 given years (2000,
//           2010, 2014, 2016, 2020: a stored year, a decennial count, yearly
//           estimates), all fitted once a run; the median against 1 ms in all, so that
//           it vanishes beside the writing of the files.
//   import: `tallydata import` of the three census downloads of examples/tables (321
//           ZIP codes, population of 2000, 2010 and 2020, fitted) against an import of
//           the same ZIP codes' population at the four stored years (merged, no fit),
//           as whole processes in alternating runs, each into a fresh data folder that
//           already holds ui/ and maps/ (made before the clock starts).
#include "census_fit.h"

#include "bench_support.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int ZIPS = 300, SERIES = 3, YEARS = 5, FIT_RUNS = 101, IMPORT_RUNS = 15;
const int GIVEN_YEARS[YEARS] = {2000, 2010, 2014, 2016, 2020};
const fs::path SOURCE = TALLYMAP_SOURCE_DIR;
fs::path scratch;

// Milliseconds of the fit of 900 series, every run.
std::vector<double> fit_runs()
{
    // Counts that grow, shrink or turn, different for every series, never negative.
    std::vector<GivenCount> counts;
    for (int i = 0; i < ZIPS * SERIES; ++i)
        for (int y = 0; y < YEARS; ++y)
            counts.push_back({GIVEN_YEARS[y], 1000.0 + 37.0 * (i % 97) + (i % 5 - 2) * 40.0 * y + 9.0 * ((i * 7 + y) % 11)});
    std::vector<double> runs;
    for (int r = 0; r < FIT_RUNS; ++r) {
        const BenchClock::time_point start = BenchClock::now();
        int refused = 0;
        for (int i = 0; i < ZIPS * SERIES; ++i) {
            CensusFit fit;
            refused += fit_census_points(&counts[size_t(i) * YEARS], YEARS, fit) != FIT_DONE;
        }
        runs.push_back(refused ? NAN : elapsed_ms(start));   // every series must fit
    }
    return runs;
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
    const std::string log = (scratch / "run.log").string();
    const auto downloads = [&] {
        return process_ms({TALLYDATA_PATH, "import", "--data", fresh_data_folder().string(),
                           "--year", "2000", "--column", "population=P001001", "--census", tables + "/dec2000-p1.csv",
                           "--year", "2010", "--column", "population=P001001", "--census", tables + "/dec2010-p1.csv",
                           "--year", "2020", "--column", "population=P1_001N", "--census", tables + "/dec2020-p1.csv"},
                          log);
    };
    const auto storedYears = [&] {
        return process_ms({TALLYDATA_PATH, "import", "--data", fresh_data_folder().string(), "--census", stored}, log);
    };
    downloads(), storedYears();   // warm the page cache
    const auto runs = alternate(IMPORT_RUNS, {downloads, storedYears});
    fs::remove_all(scratch);

    std::printf("medians: fit %.3f ms; import of the downloads %.1f ms, of the stored years %.1f ms (%d runs)\n", fitMs,
                median(runs[0]), median(runs[1]), IMPORT_RUNS);
    print_row("census fit in-process, 300 ZIP codes x 3 series x 5 years, in all", fitMs, "ms", "<= 1");
    print_row("tallydata import of the 3 census downloads (321 ZIPs, fitted) / of the 4 stored years",
              ratio(median(runs[0]), median(runs[1])), "x", "<= 1.3");
    return 0;
}
