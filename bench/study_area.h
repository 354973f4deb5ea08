// study_area.h -- the benchmarks' study area: a working directory under /tmp with the
// sample base map and field file (linked) and BENCH_ZIPS ZIP codes of made-up census and
// enrollment files, loaded from bench/zips.csv. The caller removes it.
#pragma once
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>

#include "zone_files.h"

constexpr int      BENCH_ZIPS      = 300;
constexpr unsigned BENCH_FIRST_ZIP = 77000;   // the ZIP codes run on from here

inline void write_file(const std::string &path, const void *bytes, size_t size)
{
    FILE *file = std::fopen(path.c_str(), "wb");
    if (!file || std::fwrite(bytes, 1, size, file) != size || std::fclose(file) != 0) {
        std::perror(path.c_str());
        std::exit(1);
    }
}

inline std::string make_working_directory()
{
    char pattern[] = "/tmp/tallymap-bench-XXXXXX";
    if (!mkdtemp(pattern)) std::exit(1);
    std::string root = pattern;
    for (const char *folder : {"/data", "/data/zips", "/data/enroll", "/bench"})
        mkdir((root + folder).c_str(), 0755);
    if (symlink(TALLYMAP_SOURCE_DIR "/data/maps", (root + "/data/maps").c_str()) != 0) std::exit(1);
    if (symlink(TALLYMAP_SOURCE_DIR "/data/ui", (root + "/data/ui").c_str()) != 0) std::exit(1);
    std::string csv = "ZIP,ID,LON,LAT,TRAVEL,TRAFFIC\n";
    for (int i = 0; i < BENCH_ZIPS; ++i) {
        unsigned zip = BENCH_FIRST_ZIP + unsigned(i);
        char line[128];
        std::snprintf(line, sizeof line, "%u,%d,%.4f,%.4f,%d,%d\n", zip, i,
                      -96.5 + 2.0 * (i % 20) / 20.0, 28.9 + 1.9 * (i / 20) / 15.0, 10 + i % 50, 20 + i % 60);
        csv += line;
        char name[ZONE_FILE_NAME_SIZE];
        float zone[ZONE_FILE_SIZE / sizeof(float)];   // the benchmark host is little-endian
        for (size_t k = 0; k < std::size(zone); ++k) zone[k] = float(1000 + 7 * i + 3 * int(k));
        zone_file_name(ZONE_CENSUS, zip, name);
        write_file(root + "/data/" + name, zone, sizeof zone);
        uint16_t enrollment[ENROLLMENT_FILE_SIZE / sizeof(uint16_t)];
        for (size_t k = 0; k < std::size(enrollment); ++k) enrollment[k] = uint16_t(i + int(k));
        zone_file_name(ZONE_ENROLLMENT, zip, name);
        write_file(root + "/data/" + name, enrollment, sizeof enrollment);
    }
    write_file(root + "/bench/zips.csv", csv.data(), csv.size());
    return root;
}
