// bench_data.cpp -- the data core's speed: read_records of 300 ZIP codes (a CSV and
// 600 census and enrollment files) against a plain fopen/fread/fclose of the same 601
// files, and compute_values for 300 ZIP codes. Prints its rows for the final table.
#include "dates.h"
#include "platform.h"
#include "selection.h"
#include "values.h"
#include "zip_table.h"
#include "zone_files.h"

#include <benchmark/benchmark.h>
#include "bench_support.h"
#include "recording_reporter.h"
#include "study_area.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char *const STUDY_CSV = "bench/zips.csv";
std::vector<std::string> allFiles;   // the CSV, then every .zc and .enr
std::vector<size_t> fileSizes;       // and the size of each, so both sides read the same bytes

void quiet_message(const char *, const char *, WindowHandle) {}

void list_files()
{
    allFiles.push_back(STUDY_CSV);
    for (ZoneFileKind kind : {ZONE_CENSUS, ZONE_ENROLLMENT})
        for (int i = 0; i < BENCH_ZIPS; ++i) {
            char name[ZONE_FILE_NAME_SIZE];
            zone_file_name(kind, BENCH_FIRST_ZIP + unsigned(i), name);
            allFiles.push_back(std::string("./data/") + name);
        }
    for (const std::string &path : allFiles) fileSizes.push_back(static_cast<size_t>(fs::file_size(path)));
}

void BM_ReadRecords(benchmark::State &state)
{
    for (auto _ : state) {
        int ok = read_records(STUDY_CSV);
        benchmark::DoNotOptimize(ok);
        if (!ok || zipTable.count != BENCH_ZIPS) state.SkipWithError("load failed");
    }
}

void BM_PlainRead(benchmark::State &state)
{
    static unsigned char buffer[1 << 16];
    for (auto _ : state) {
        size_t total = 0;
        for (size_t i = 0; i < allFiles.size(); ++i) {
            FILE *f = std::fopen(allFiles[i].c_str(), "rb");
            if (!f || fileSizes[i] > sizeof buffer) { state.SkipWithError("missing file"); break; }
            total += std::fread(buffer, 1, fileSizes[i], f);
            std::fclose(f);
        }
        benchmark::DoNotOptimize(total);
    }
}

void BM_ComputeValues(benchmark::State &state)
{
    read_records(STUDY_CSV);
    querySelection.campus = 1;
    seriesCode[querySelection.field = 20] = 1;
    PackedDate date = timeline.minDate;
    for (auto _ : state) {
        step_date_forward(date, STEP_MONTH);   // a playback tick: a new date every call
        timeline.currentDate = date;
        compute_values();
        benchmark::DoNotOptimize(valueTable.areaTotal);
    }
}

// Repeated so that the best of five stands against the best of five: the machine is shared.
BENCHMARK(BM_ReadRecords)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(BM_ComputeValues)->Unit(benchmark::kMicrosecond)->Repetitions(5);

}   // namespace

int main(int argc, char **argv)
{
    ModalHandler quiet{quiet_message, nullptr, nullptr};
    set_modal_handler(&quiet);
    const fs::path previous = fs::current_path();
    const std::string root = make_working_directory();
    fs::current_path(root);
    list_files();

    RecordingReporter reporter;
    run_recorded(argc, argv, reporter);

    fs::current_path(previous);
    std::error_code ignored;
    fs::remove_all(root, ignored);   // the maps and ui links go, not their targets

    print_row("read_records 300 ZIPs / plain read of their 601 files, best CPU time of 5",
              ratio(reporter.best_cpu_seconds("BM_ReadRecords"), reporter.best_cpu_seconds("BM_PlainRead")), "x", "<= 1.5");
    print_row("compute_values, 300 ZIPs, per call", reporter.best_cpu_seconds("BM_ComputeValues") * 1e6, "us");
    return 0;
}
