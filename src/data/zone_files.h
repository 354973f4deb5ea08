// zone_files.h -- the per-ZIP census (.zc) and enrollment (.enr) file images: the one
// place that knows their byte layout, for the loader and for the tools that write them.
//
// .zc, 1288 bytes, little-endian IEEE-754 single precision, no header:
//   offset 0    population  1990, 2000, 2007, 2012, reserved
//   offset 20   households  same arrangement
//   offset 40   families    same arrangement
//   offset 60   307 detail values in field-file order (2007 counts)
// .enr, 72 bytes, little-endian unsigned 16-bit:
//   offset 0    first campus: 1990..2006 (17 values), then the maximum
//   offset 36   second campus: same arrangement
//
// Both live below the data directory, one file per ZIP code: zips/ZIP.zc and
// enroll/ZIP.enr (the ZIP code in decimal, no leading zeros). This is the one place
// that spells those names.
#pragma once
#include <cstddef>
#include <cstdint>
#include "zip_table.h"

constexpr size_t ZONE_FILE_SIZE       = 1288;
constexpr size_t ENROLLMENT_FILE_SIZE = 72;

// The two kinds of per-ZIP file, by where they live and what they hold.
enum ZoneFileKind { ZONE_CENSUS = 0, ZONE_ENROLLMENT = 1 };

struct ZoneFileLayout {
    const char *folder;   // below the data directory
    const char *suffix;   // after the ZIP code
    size_t      size;     // bytes of a complete file
    const char *what;     // for messages: "census", "enrollment"
};

constexpr ZoneFileLayout ZONE_FILE_LAYOUTS[2] = {
    {"zips", ".zc", ZONE_FILE_SIZE, "census"},
    {"enroll", ".enr", ENROLLMENT_FILE_SIZE, "enrollment"},
};

constexpr int ZONE_FILE_NAME_SIZE = 24;   // "enroll/4294967295.enr" and its end

// The file of zip below the data directory ("zips/77002.zc") into name.
void zone_file_name(ZoneFileKind kind, uint32_t zip, char (&name)[ZONE_FILE_NAME_SIZE]);

// The census years of a series, in file order.
constexpr int CENSUS_YEARS = 4;
constexpr int CENSUS_YEAR_LIST[CENSUS_YEARS] = {1990, 2000, 2007, 2012};
// The series of a census file, by series code: population 0, households 1, families 2.
constexpr int SERIES_COUNT = 3;
constexpr const char *SERIES_NAMES[SERIES_COUNT] = {"population", "households", "families"};
// The enrollment years of a campus row, before its maximum.
constexpr int ENROLL_FIRST_YEAR = 1990;   // entry 0
constexpr int ENROLL_LAST_YEAR  = 2006;   // entry 16

// The series of record with series code s (0 to 2).
CensusSeries &census_series(ZipRecord &record, int s);
const CensusSeries &census_series(const ZipRecord &record, int s);

// The census part of record (population through detail) as a .zc image. The reserved
// fifth value of each series is written as 0, whatever growthRatio holds.
void encode_zone_file(const ZipRecord &record, unsigned char (&image)[ZONE_FILE_SIZE]);
// The enrollment of record as an .enr image.
void encode_enrollment_file(const ZipRecord &record, unsigned char (&image)[ENROLLMENT_FILE_SIZE]);

// Read size bytes of a file image into the record's census part or enrollment: whole
// values only, in file order; values the image does not reach (a short file) and the
// bytes beyond the layout (a long file) leave the record as it was.
void decode_zone_file(const unsigned char *image, size_t size, ZipRecord &record);
void decode_enrollment_file(const unsigned char *image, size_t size, ZipRecord &record);
