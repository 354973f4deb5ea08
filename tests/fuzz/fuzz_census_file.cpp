// fuzz_census_file.cpp -- libFuzzer harness: any bytes as the census file (.zc) of a
// loaded ZIP code, carried to dates on each piece of the interpolation and beyond it,
// with fields of each series code. Infinities, NaNs and huge counts must give sound
// values.
#include "fuzz_tables.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    enter_scratch_directory();
    const char csv[] = "ZIP,COUNTY,LON,LAT,TRAVEL,TRAFFIC\n77001,3,-95.36,29.75,12,20\n";
    write_bytes("load.csv", csv, sizeof csv - 1);
    for (int i = 0; i < 4; ++i) seriesCode[i] = int8_t(i == 3 ? -1 : i);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const PackedDate dates[] = {
        pack_date(1, 1, 1990), pack_date(1, 1, 2000), pack_date(1, 10, 2000),   // first quadratic, blend
        pack_date(1, 7, 2007), pack_date(1, 1, 2010), pack_date(31, 12, 2021),  // blend, second, beyond
    };
    write_bytes("data/zips/77001.zc", data, size);
    FUZZ_CHECK(read_records("load.csv") == 1);
    FUZZ_CHECK(zipTable.count == 1);
    // the fields take turns: detail values 0 to 3 under each series code and a heading
    for (uint16_t i = 0; i < 6; ++i) {
        timeline.currentDate = dates[i];
        querySelection = {uint16_t((i + size) % 4), 0, -1};
        rebuild_and_check();
    }
    return 0;
}
