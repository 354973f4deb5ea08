// selection.h -- what the columns show: the chosen field line, campus and ZIP code,
// and the series code of every field line. Written by the Query panel and the menus,
// read by the value computation, the scene and the report.
#pragma once
#include <cstdint>
#include "zip_table.h"

struct QuerySelection {
    uint16_t field;         // chosen field line, 0..306; initially 0
    uint8_t  campus;        // 0 none, 1 or 2 the campus whose enrollment row 0 or 1 is used
    int32_t  selectedZip;   // ZIP index of the selection, -1 none
};

extern QuerySelection querySelection;
extern int8_t seriesCode[FIELD_COUNT];   // -1 heading, 0 population, 1 households, 2 families
