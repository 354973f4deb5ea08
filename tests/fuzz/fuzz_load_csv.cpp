// fuzz_load_csv.cpp -- libFuzzer harness: any bytes as a Load Data CSV, loaded with
// the census and enrollment files it names from a data folder that holds assorted
// ones (whole, short, and holding infinities and NaNs) for the ZIP codes 0 to 9 and
// 77001 to 77009. A load either leaves the table as it was or replaces it with at
// most 300 ZIP codes, and the values, totals and scene that follow stay sound.
#include "fuzz_tables.h"

#include <cstring>
#include <limits>

namespace {

void write_zip_files(uint32_t zip, int kind)
{
    float zone[322] = {};
    const float odd[] = {std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN(),
                         -3e38f, 3e38f, 0.0f, -0.0f, 1e-40f};
    for (int i = 0; i < 322; ++i) zone[i] = kind == 0 ? float(100 * (i + 1)) : odd[(i + kind) % 7];
    size_t zoneBytes = kind == 2 ? 17 : sizeof zone;   // a short file now and then
    write_bytes("data/zips/" + std::to_string(zip) + ".zc", zone, zoneBytes);
    uint16_t enrollment[36];
    for (int i = 0; i < 36; ++i) enrollment[i] = uint16_t(kind == 0 ? 10 * i : 65535 - 7 * i * kind);
    write_bytes("data/enroll/" + std::to_string(zip) + ".enr", enrollment, kind == 3 ? 5 : sizeof enrollment);
}

}   // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    enter_scratch_directory();
    for (uint32_t zip = 0; zip < 10; ++zip) write_zip_files(zip, int(zip % 4));
    for (uint32_t zip = 77001; zip < 77010; ++zip) write_zip_files(zip, int(zip % 4));
    for (int i = 0; i < 4; ++i) seriesCode[i] = int8_t(i == 3 ? -1 : i);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    write_bytes("load.csv", data, size);
    const uint32_t countBefore = zipTable.count;
    const uint32_t firstBefore = countBefore ? zipTable.records[0].zip : 0;
    if (!read_records("load.csv")) {
        FUZZ_CHECK(zipTable.count == countBefore);   // a refused file changes nothing
        FUZZ_CHECK(!countBefore || zipTable.records[0].zip == firstBefore);
    }
    timeline.currentDate = size % 2 ? pack_date(1, 1, 2004) : pack_date(1, 6, 1995);
    querySelection = {uint16_t(size % 4), uint8_t(size % 3), zipTable.count ? 0 : -1};
    rebuild_and_check();
    FUZZ_CHECK(write_values("/dev/null") == 1);
    return 0;
}
