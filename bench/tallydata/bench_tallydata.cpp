// bench_tallydata.cpp -- tallydata timed as whole processes, as a user runs it, against
// three baseline programs, in alternating runs; prints the medians as rows.
//   import: `tallydata import` of examples/tables (all four tables, with --study) into
//           a fresh data folder each run, against floor_import (libcsv parse of the same
//           tables, the same files written under temporary names, flushed, renamed),
//           and against bare_tallydata (tallydata without its lock, journal and
//           flushes to the disk: what they cost);
//   again:  the same import into the folder it made before, every file replaced (the
//           backups' case), against bare_tallydata doing the same;
//   check:  `tallydata check --load examples/study_area.csv` against floor_check
//           (read_records of the same CSV and its 516 files).
// The fresh folder is made before the clock starts and already holds ui/ and maps/, so
// that neither side copies the installed data; it is removed after the clock stops, and
// what that left unwritten is flushed before the next run starts.
// Before timing, each import's result is compared with the bundled files, so both sides
// are known to write the same bytes.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench_support.h"

namespace fs = std::filesystem;

namespace {

constexpr int RUNS = 15;
const fs::path SOURCE = TALLYMAP_SOURCE_DIR;
fs::path scratch;

// Wall-clock ms of the program with its arguments, run in the source folder; NaN when it failed.
double run_ms(const std::vector<std::string> &command)
{
    return process_ms(command, (scratch / "run.log").string());
}

std::string read_file(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The file system of the scratch folder flushed, so that a timed run that flushes its
// files waits for its own and not for the removal and copies made before it.
void settle()
{
    const int fd = open(scratch.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) syncfs(fd), close(fd);
}

// A fresh data folder with the program's ui/ and maps/ in it, settled.
fs::path fresh_data_folder()
{
    fs::path target = scratch / "target";
    fs::remove_all(target);
    fs::create_directories(target / "data");
    fs::copy(SOURCE / "data/ui", target / "data/ui", fs::copy_options::recursive);
    fs::copy(SOURCE / "data/maps", target / "data/maps", fs::copy_options::recursive);
    settle();
    return target;
}

std::vector<std::string> tallydata_import(const fs::path &target)
{
    const std::string t = (SOURCE / "examples/tables").string();
    return {TALLYDATA_PATH, "import", "--data", (target / "data").string(), "--zips", t + "/zips.csv",
            "--census", t + "/census.csv", "--detail", t + "/detail.csv", "--enrollment", t + "/enrollment.csv",
            "--study", (target / "study.csv").string()};
}

// The same import by the baseline without the lock, the journal and the flushes.
std::vector<std::string> bare_import(const fs::path &target)
{
    std::vector<std::string> command = tallydata_import(target);
    command[0] = BARE_TALLYDATA_PATH;
    return command;
}

std::vector<std::string> floor_import(const fs::path &target)
{
    return {FLOOR_IMPORT_PATH, (SOURCE / "examples/tables").string(), (target / "data").string(),
            (target / "study.csv").string()};
}

// 0 when the folder holds exactly the bundled census and enrollment files and study area.
int differences(const fs::path &target)
{
    int bad = read_file(target / "study.csv") != read_file(SOURCE / "examples/study_area.csv");
    for (const char *folder : {"zips", "enroll"}) {
        size_t count = 0;
        for (const auto &e : fs::directory_iterator(SOURCE / "data" / folder)) {
            ++count;
            bad += read_file(e.path()) != read_file(target / "data" / folder / e.path().filename());
        }
        bad += count != size_t(std::distance(fs::directory_iterator(target / "data" / folder), fs::directory_iterator()));
    }
    return bad;
}

}  // namespace

int main()
{
    scratch = fs::temp_directory_path() / ("tallymap-bench-tallydata-" + std::to_string(::getpid()));
    fs::create_directories(scratch);
    fs::current_path(SOURCE);

    for (auto make : {tallydata_import, floor_import, bare_import}) {
        fs::path target = fresh_data_folder();
        if (std::isnan(run_ms(make(target)))) return 1;
        if (int bad = differences(target)) {
            std::fprintf(stderr, "bench_tallydata: %s wrote %d files unlike the bundled ones\n", make(target)[0].c_str(), bad);
            return 1;
        }
    }

    const std::vector<std::string> check = {TALLYDATA_PATH, "check", "--load", "examples/study_area.csv"};
    const std::vector<std::string> floorCheck = {FLOOR_CHECK_PATH, "examples/study_area.csv"};
    run_ms(check), run_ms(floorCheck);   // warm the page cache
    // each import into a data folder made fresh before its clock starts
    const auto import_ms = [](auto command) { return [command] { return run_ms(command(fresh_data_folder())); }; };
    // each again into a folder of its own that the first import made
    const fs::path again = scratch / "again", bareAgain = scratch / "bare-again";
    for (const fs::path &folder : {again, bareAgain}) {
        fs::copy(fresh_data_folder(), folder, fs::copy_options::recursive);
        if (std::isnan(run_ms(tallydata_import(folder)))) return 1;
    }
    const auto runs = alternate(RUNS, {import_ms(tallydata_import), import_ms(floor_import),
                                       [&] { return run_ms(check); }, [&] { return run_ms(floorCheck); },
                                       import_ms(bare_import), [&] { return settle(), run_ms(tallydata_import(again)); },
                                       [&] { return settle(), run_ms(bare_import(bareAgain)); }});
    fs::current_path(SOURCE);
    fs::remove_all(scratch);

    const double importMs = median(runs[0]), floorImportMs = median(runs[1]);
    const double checkMs = median(runs[2]), floorCheckMs = median(runs[3]);
    const double bareMs = median(runs[4]), againMs = median(runs[5]), bareAgainMs = median(runs[6]);
    std::printf("medians of %d: import %.1f ms, bare %.1f ms, floor %.1f ms; again %.1f ms, bare %.1f ms; "
                "check %.1f ms, floor %.1f ms\n", RUNS, importMs, bareMs, floorImportMs, againMs, bareAgainMs,
                checkMs, floorCheckMs);
    print_row("tallydata import of examples/tables (643 files) / the same without lock, journal and flushes",
              ratio(importMs, bareMs), "x", "<= 1.3");
    print_row("the same import again, every file replaced / the same without lock, journal and flushes",
              ratio(againMs, bareAgainMs), "x");
    print_row("tallydata import of examples/tables (321 ZIPs, 4 tables) / libcsv floor writing the same files",
              ratio(importMs, floorImportMs), "x", "<= 1.5");
    print_row("tallydata check of examples/study_area.csv (258 ZIPs) / read_records floor",
              ratio(checkMs, floorCheckMs), "x", "<= 1.5");
    return 0;
}
