// values.h -- census interpolation to the current date, the per-ZIP values and
// their totals, and the value CSV.
#pragma once
#include <cstdint>
#include "zip_table.h"

struct ValueTable {
    uint32_t values[MAX_ZIPS];   // value of each ZIP code by ZIP index; 0 beyond the count
    uint32_t areaTotal;          // sum of all values, at most 4294967295 (saturates)
    uint32_t enrollmentTotal;    // chosen campus's enrollment in the current year; 0 from 2007
};

extern ValueTable valueTable;

void  compute_values();
void  clear_values();
float timeline_parameter();
float interpolate_census(float c0, float c1, float c2, float c3, float t);
float lagrange3(float y0, float y1, float y2, float f, float x);
int   write_values(const char *path);   // 1 written, 0 the file could not be written
