// zone_files.cpp -- encoding and decoding of the .zc and .enr file images, byte by
// byte, so the result is little-endian on any machine.
#include "zone_files.h"

#include <bit>
#include <cstdio>

namespace {

constexpr size_t SERIES_VALUES = 5;   // four census counts and the reserved value

// The census part in file order: 15 series values, then the detail values.
template <class Record> auto zone_value(Record &record, size_t index) -> decltype(&record.detail[0])
{
    if (index < SERIES_COUNT * SERIES_VALUES) {
        auto &s = census_series(record, int(index / SERIES_VALUES));
        size_t k = index % SERIES_VALUES;
        return k < CENSUS_YEARS ? &s.census[k] : &s.growthRatio;
    }
    return &record.detail[index - SERIES_COUNT * SERIES_VALUES];
}

void put_u32(unsigned char *out, uint32_t v)
{
    out[0] = uint8_t(v);
    out[1] = uint8_t(v >> 8);
    out[2] = uint8_t(v >> 16);
    out[3] = uint8_t(v >> 24);
}

uint32_t get_u32(const unsigned char *in)
{
    return uint32_t(in[0]) | uint32_t(in[1]) << 8 | uint32_t(in[2]) << 16 | uint32_t(in[3]) << 24;
}

}  // namespace

void zone_file_name(ZoneFileKind kind, uint32_t zip, char (&name)[ZONE_FILE_NAME_SIZE])
{
    const ZoneFileLayout &layout = ZONE_FILE_LAYOUTS[kind];
    std::snprintf(name, sizeof name, "%s/%u%s", layout.folder, unsigned(zip), layout.suffix);
}

CensusSeries &census_series(ZipRecord &record, int s)
{
    return s == 0 ? record.population : s == 1 ? record.households : record.families;
}

const CensusSeries &census_series(const ZipRecord &record, int s)
{
    return census_series(const_cast<ZipRecord &>(record), s);
}

static_assert(ZONE_FILE_SIZE == (3 * 5 + FIELD_COUNT) * 4);
static_assert(ENROLLMENT_FILE_SIZE == 2 * ENROLL_YEARS * 2);

void encode_zone_file(const ZipRecord &record, unsigned char (&image)[ZONE_FILE_SIZE])
{
    for (size_t i = 0; i < ZONE_FILE_SIZE / 4; ++i) {
        bool reserved = i < 3 * SERIES_VALUES && i % SERIES_VALUES == 4;
        put_u32(image + 4 * i, reserved ? 0u : std::bit_cast<uint32_t>(*zone_value(record, i)));
    }
}

void encode_enrollment_file(const ZipRecord &record, unsigned char (&image)[ENROLLMENT_FILE_SIZE])
{
    for (int c = 0; c < 2; ++c)
        for (int y = 0; y < ENROLL_YEARS; ++y) {
            uint16_t v = record.enrollment[c][y];
            image[2 * (c * ENROLL_YEARS + y)] = uint8_t(v);
            image[2 * (c * ENROLL_YEARS + y) + 1] = uint8_t(v >> 8);
        }
}

void decode_zone_file(const unsigned char *image, size_t size, ZipRecord &record)
{
    size_t values = (size < ZONE_FILE_SIZE ? size : ZONE_FILE_SIZE) / 4;
    for (size_t i = 0; i < values; ++i) *zone_value(record, i) = std::bit_cast<float>(get_u32(image + 4 * i));
}

void decode_enrollment_file(const unsigned char *image, size_t size, ZipRecord &record)
{
    size_t values = (size < ENROLLMENT_FILE_SIZE ? size : ENROLLMENT_FILE_SIZE) / 2;
    for (size_t i = 0; i < values; ++i)
        record.enrollment[i / ENROLL_YEARS][i % ENROLL_YEARS] = uint16_t(image[2 * i] | image[2 * i + 1] << 8);
}
