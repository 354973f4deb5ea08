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
#pragma once
#include <cstddef>
#include <cstdint>
#include "zip_table.h"

constexpr size_t ZONE_FILE_SIZE       = 1288;
constexpr size_t ENROLLMENT_FILE_SIZE = 72;

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
