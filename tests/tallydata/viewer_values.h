// viewer_values.h -- what the viewer shows of imported data: a data folder and a Load
// Data CSV loaded as the viewer loads them, and each ZIP code's value of a field on the
// two days around a year's place on the time line, where a count of that year shows.
#pragma once
#include "census_reference.h"

#include "data_paths.h"
#include "field_list.h"
#include "selection.h"
#include "values.h"
#include "zip_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

// ZIP code -> the value of field at date, with data as the data folder.
inline std::map<uint32_t, uint32_t> viewer_values(const std::filesystem::path &data, const std::filesystem::path &study,
                                                  PackedDate date, uint16_t field)
{
    set_data_directory(data.c_str());
    EXPECT_EQ(read_field_list((data / "ui/fields.ui").c_str()), 1);
    EXPECT_EQ(read_records(study.c_str()), 1);
    querySelection.field = field;
    querySelection.campus = 0;
    timeline.currentDate = date;
    compute_values();
    set_data_directory("./data");
    std::map<uint32_t, uint32_t> values;
    for (uint32_t i = 0; i < loaded_zip_count(); ++i) values[zipTable.records[i].zip] = valueTable.values[i];
    return values;
}

// Each count (ZIP code -> count) of year is what the viewer shows of field on the days
// around the year's t: between the two days' values, give or take the rounding. Returns
// how many ZIP codes the viewer shows.
template <class Counts>
size_t expect_counts_shown(const std::filesystem::path &data, const std::filesystem::path &study, int year,
                           const Counts &counts, uint16_t field = 0)
{
    const auto [before, after] = days_around(year);
    std::map<uint32_t, uint32_t> a = viewer_values(data, study, before, field),
                                 b = viewer_values(data, study, after, field);
    size_t compared = 0;
    for (const auto &[zip, count] : counts) {
        if (!a.count(zip)) continue;
        ++compared;
        SCOPED_TRACE("ZIP code " + std::to_string(zip) + ", year " + std::to_string(year));
        EXPECT_GE(double(count), double(std::min(a[zip], b[zip])) - 1);
        EXPECT_LE(double(count), double(std::max(a[zip], b[zip])) + 1);
    }
    return compared;
}
