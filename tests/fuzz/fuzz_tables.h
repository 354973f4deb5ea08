// fuzz_tables.h -- for the harnesses of the loader's files: the checks that whatever
// was loaded leaves the value table and the scene sound. There is no GL view (the
// harnesses link the no-op GL-view calls): the scene computes its geometry and makes
// no GL call.
#pragma once
#include "fuzz_support.h"

#include "dates.h"
#include "scene.h"
#include "selection.h"
#include "values.h"
#include "zip_table.h"

#include <cmath>

inline bool unit_interval(float x) { return x >= 0.0f && x <= 1.0f; }

// Rebuilds the scene for the current state (values, totals, geometry, colours) and
// checks what a caller relies on.
inline void rebuild_and_check()
{
    rebuild_scene();
    const uint32_t count = zipTable.count;
    FUZZ_CHECK(count <= uint32_t(MAX_ZIPS));
    for (uint32_t i = 0; i < count; ++i)
        FUZZ_CHECK(valueTable.areaTotal >= valueTable.values[i]);   // totals never wrap
    if (count < uint32_t(MAX_ZIPS)) FUZZ_CHECK(valueTable.values[count] == 0);
    const SceneScratch &scene = scene_scratch();
    FUZZ_CHECK(scene.count == count);
    for (uint32_t i = 0; i < scene.count; ++i) {
        const ColumnColour &c = scene.columns[i].side;
        FUZZ_CHECK(unit_interval(c.red) && unit_interval(c.green) && unit_interval(c.blue));
        FUZZ_CHECK(c.alpha == 1.0f || c.alpha == UNSELECTED_ALPHA);
        FUZZ_CHECK(!std::isnan(scene.columns[i].top));
    }
}

// The first line of every CSV the harnesses write, skipped by the loader.
constexpr char CSV_HEADER[] = "ZIP,COUNTY,LON,LAT,TRAVEL,TRAFFIC\n";
