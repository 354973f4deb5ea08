// fuzz_field_file.cpp -- libFuzzer harness: any bytes as the field file. At most 307
// lines are taken, every label ends within its buffer, and a loaded ZIP code's values
// stay sound for the first, a middle and the last field line whatever their series
// codes say.
#include "fuzz_tables.h"

#include "field_list.h"

#include <cstring>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    enter_scratch_directory();
    float zone[322];
    for (int i = 0; i < 322; ++i) zone[i] = float(1000 + 37 * i);
    write_bytes("data/zips/77001.zc", zone, sizeof zone);
    const char csv[] = "ZIP,COUNTY,LON,LAT,TRAVEL,TRAFFIC\n77001,3,-95.36,29.75,12,20\n";
    write_bytes("load.csv", csv, sizeof csv - 1);
    FUZZ_CHECK(read_records("load.csv") == 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    write_bytes("fields.ui", data, size);
    FUZZ_CHECK(read_field_list("fields.ui") == 1);
    const int count = fieldList.count;
    FUZZ_CHECK(count >= 0 && count <= FIELD_COUNT);
    for (int i = 0; i < count; ++i) FUZZ_CHECK(std::memchr(fieldList.label[i], 0, FIELD_LABEL_SIZE));
    timeline.currentDate = pack_date(1, 1, 2004);
    for (int field : {0, count / 2, count - 1}) {
        querySelection = {uint16_t(field < 0 ? 0 : field), 0, -1};
        rebuild_and_check();
    }
    return 0;
}
