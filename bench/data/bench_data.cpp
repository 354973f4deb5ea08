// bench_data.cpp -- the data core's speed: read_records of 300 ZIP codes (a CSV and
// 600 census and enrollment files) against a plain fopen/fread/fclose of the same 601
// files, and compute_values for 300 ZIP codes. Prints one RATIO line per target.
#include "dates.h"
#include "platform.h"
#include "selection.h"
#include "values.h"
#include "zip_table.h"

#include <benchmark/benchmark.h>
#include "recording_reporter.h"
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int ZIPS = 300;
std::vector<std::string> allFiles;   // the CSV, then every .zc and .enr
std::vector<size_t> fileSizes;       // and the size of each, so both sides read the same bytes

void quiet_message(const char *, const char *, WindowHandle) {}

void write_bytes(const std::string &path, const void *data, size_t size)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(data, 1, size, f) != size || std::fclose(f) != 0) {
        std::perror(path.c_str());
        std::exit(1);
    }
}

// A study area of 300 ZIP codes in a fresh folder, which becomes the working directory.
fs::path make_study_area()
{
    fs::path dir = fs::temp_directory_path() / ("tallymap-bench-data-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "data" / "zips");
    fs::create_directories(dir / "data" / "enroll");
    fs::current_path(dir);

    std::string csv = "ZIP,COUNTY,LON,LAT,TRAVEL,TRAFFIC\n";
    for (int i = 0; i < ZIPS; ++i) {
        unsigned zip = 77001 + i;
        char line[96];
        std::snprintf(line, sizeof line, "%u,%d,%.6f,%.6f,%d,%d\n", zip, i % 10, -95.9 + i * 0.003,
                      29.4 + i * 0.002, 10 + i % 50, 15 + i % 70);
        csv += line;
        float zone[322];
        for (int k = 0; k < 322; ++k) zone[k] = 100.0f + float((i * 7 + k * 13) % 900);
        for (int s = 0; s < 3; ++s) {
            zone[s * 5 + 0] = 1000.0f + float(i);
            zone[s * 5 + 1] = 1300.0f + float(i);
            zone[s * 5 + 2] = 1600.0f + float(i);
            zone[s * 5 + 3] = 1800.0f + float(i);
        }
        uint16_t enroll[36];
        for (int k = 0; k < 36; ++k) enroll[k] = static_cast<uint16_t>((i + k) % 40);
        std::string zc = "data/zips/" + std::to_string(zip) + ".zc";
        std::string enr = "data/enroll/" + std::to_string(zip) + ".enr";
        write_bytes(zc, zone, sizeof zone);     // the benchmark host is little-endian
        write_bytes(enr, enroll, sizeof enroll);
    }
    write_bytes("zips.csv", csv.data(), csv.size());
    allFiles.push_back("zips.csv");
    for (int i = 0; i < ZIPS; ++i) allFiles.push_back("./data/zips/" + std::to_string(77001 + i) + ".zc");
    for (int i = 0; i < ZIPS; ++i) allFiles.push_back("./data/enroll/" + std::to_string(77001 + i) + ".enr");
    for (const std::string &path : allFiles) fileSizes.push_back(static_cast<size_t>(fs::file_size(path)));
    return dir;
}

void BM_ReadRecords(benchmark::State &state)
{
    for (auto _ : state) {
        int ok = read_records("zips.csv");
        benchmark::DoNotOptimize(ok);
        if (!ok || zipTable.count != ZIPS) state.SkipWithError("load failed");
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
    read_records("zips.csv");
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
    fs::path previous = fs::current_path();
    fs::path dir = make_study_area();

    RecordingReporter reporter;
    run_recorded(argc, argv, reporter);

    fs::current_path(previous);
    fs::remove_all(dir);

    // Best CPU time of five against best of five: the machine is shared.
    auto &s = reporter.bestCpuSeconds;
    if (s.count("BM_ReadRecords") && s.count("BM_PlainRead"))
        std::printf("RATIO | read_records 300 ZIPs vs plain read of 601 files | %.2f x | <= 1.5 x\n",
                    s["BM_ReadRecords"] / s["BM_PlainRead"]);
    if (s.count("BM_ComputeValues"))
        std::printf("RATIO | compute_values, 300 ZIPs, per call | %.1f us | (report)\n",
                    s["BM_ComputeValues"] * 1e6);
    return 0;
}
