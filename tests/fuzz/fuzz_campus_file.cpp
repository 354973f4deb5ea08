// fuzz_campus_file.cpp -- libFuzzer harness: any bytes as the campus file of the
// overlay. It is taken whole (both campuses, names that fit, positions on the globe)
// or not at all, and the name tags are drawn for whatever was taken.
#include "fuzz_support.h"

#include "overlay.h"

#include <cmath>
#include <cstring>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    enter_scratch_directory();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    write_bytes("data/ui/campuses.ui", data, size);
    if (!read_campuses("data/ui/campuses.ui", campusTable)) {
        FUZZ_CHECK(campusTable.count == 0);
        return 0;
    }
    FUZZ_CHECK(campusTable.count == uint32_t(MAX_CAMPUSES));
    for (const Campus &campus : campusTable.campuses) {
        FUZZ_CHECK(std::memchr(campus.name, 0, CAMPUS_NAME_SIZE) && campus.name[0]);
        FUZZ_CHECK(std::fabs(campus.longitude) <= 180.0f && std::fabs(campus.latitude) <= 90.0f);
    }
    make_label_texture();   // the tags' texels; no GL without a view
    return 0;
}
