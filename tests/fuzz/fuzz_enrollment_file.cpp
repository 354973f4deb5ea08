// fuzz_enrollment_file.cpp -- libFuzzer harness: any bytes as the enrollment file
// (.enr) of a loaded ZIP code, summed and coloured for both campuses in every year,
// normalised by the stored maximum and on a fixed scale.
#include "fuzz_tables.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    enter_scratch_directory();
    const char csv[] = "ZIP,COUNTY,LON,LAT,TRAVEL,TRAFFIC\n77001,3,-95.36,29.75,12,20\n";
    write_bytes("load.csv", csv, sizeof csv - 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    write_bytes("data/enroll/77001.enr", data, size);
    FUZZ_CHECK(read_records("load.csv") == 1);
    const ZipRecord &record = zipTable.records[0];
    for (uint8_t campus = 1; campus <= 2; ++campus) {
        for (unsigned year = 1990; year <= 2007; ++year) {
            timeline.currentDate = pack_date(1, 1, year);
            querySelection = {0, campus, -1};
            displaySettings.colourScale = year % 2 ? 1.0f : 0.01f;
            rebuild_and_check();
            const uint32_t expected = year < 2007 ? record.enrollment[campus - 1][year - 1990] : 0;
            FUZZ_CHECK(valueTable.enrollmentTotal == expected);
        }
    }
    return 0;
}
