// bench_tallydata.cpp -- tallydata timed as whole processes, as a user runs it, against
// two floor programs, in alternating runs; prints the medians as RATIO lines.
//   import: `tallydata import` of examples/tables (all four tables, with --study) into
//           a fresh data folder each run, against floor_import (libcsv parse of the same
//           tables, the same files written under temporary names, flushed, renamed).
//   check:  `tallydata check --load examples/study_area.csv` against floor_check
//           (read_records of the same CSV and its 516 files).
// The fresh folder is made before the clock starts and already holds ui/ and maps/, so
// that neither side copies the installed data; it is removed after the clock stops.
// Before timing, each import's result is compared with the bundled files, so both sides
// are known to write the same bytes.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
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

constexpr int RUNS = 15;
const fs::path SOURCE = TALLYMAP_SOURCE_DIR;
fs::path scratch;

// Runs the program with its arguments in the source folder, output to a log; returns the
// wall-clock milliseconds from spawn to exit, or -1 when it failed to run or exited non-zero.
double run_ms(const std::vector<std::string> &command)
{
    std::vector<char *> argv;
    for (const std::string &a : command) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    std::string log = (scratch / "run.log").string();
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
        std::fprintf(stderr, "bench_tallydata: %s failed (exit %d):\n", command[0].c_str(), WEXITSTATUS(status));
        std::system(("cat " + log + " >&2").c_str());
        return -1;
    }
    return ms;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

std::string read_file(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A fresh data folder with the program's ui/ and maps/ in it.
fs::path fresh_data_folder()
{
    fs::path target = scratch / "target";
    fs::remove_all(target);
    fs::create_directories(target / "data");
    fs::copy(SOURCE / "data/ui", target / "data/ui", fs::copy_options::recursive);
    fs::copy(SOURCE / "data/maps", target / "data/maps", fs::copy_options::recursive);
    return target;
}

std::vector<std::string> tallydata_import(const fs::path &target)
{
    const std::string t = (SOURCE / "examples/tables").string();
    return {TALLYDATA_PATH, "import", "--data", (target / "data").string(), "--zips", t + "/zips.csv",
            "--census", t + "/census.csv", "--detail", t + "/detail.csv", "--enrollment", t + "/enrollment.csv",
            "--study", (target / "study.csv").string()};
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

    for (auto make : {tallydata_import, floor_import}) {
        fs::path target = fresh_data_folder();
        if (run_ms(make(target)) < 0) return 1;
        if (int bad = differences(target)) {
            std::fprintf(stderr, "bench_tallydata: %s wrote %d files unlike the bundled ones\n", make(target)[0].c_str(), bad);
            return 1;
        }
    }

    std::vector<double> importMs, floorImportMs, checkMs, floorCheckMs;
    const std::vector<std::string> check = {TALLYDATA_PATH, "check", "--load", "examples/study_area.csv"};
    const std::vector<std::string> floorCheck = {FLOOR_CHECK_PATH, "examples/study_area.csv"};
    run_ms(check), run_ms(floorCheck);   // warm the page cache
    for (int i = 0; i < RUNS; ++i) {
        // alternate which side goes first, so neither always follows the other
        for (int side = 0; side < 2; ++side) {
            bool ours = (side == 0) == (i % 2 == 0);
            fs::path target = fresh_data_folder();
            double ms = run_ms(ours ? tallydata_import(target) : floor_import(target));
            if (ms < 0) return 1;
            (ours ? importMs : floorImportMs).push_back(ms);
            ms = run_ms(ours ? check : floorCheck);
            if (ms < 0) return 1;
            (ours ? checkMs : floorCheckMs).push_back(ms);
        }
    }
    fs::current_path(SOURCE);
    fs::remove_all(scratch);

    std::printf("medians of %d: import %.1f ms, floor %.1f ms; check %.1f ms, floor %.1f ms\n", RUNS,
                median(importMs), median(floorImportMs), median(checkMs), median(floorCheckMs));
    std::printf("RATIO | tallydata import of examples/tables (321 ZIPs, 4 tables) / libcsv floor writing the same files | %.2f x | <= 1.5 x\n",
                median(importMs) / median(floorImportMs));
    std::printf("RATIO | tallydata check of examples/study_area.csv (258 ZIPs) / read_records floor | %.2f x | <= 1.5 x\n",
                median(checkMs) / median(floorCheckMs));
    return 0;
}
