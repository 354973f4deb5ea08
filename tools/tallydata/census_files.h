// census_files.h -- the census files (.zc) of an import, and the table of every count
// ever given to the data folder that they are fitted from.
//
// The given counts are kept in DIR/census-given.csv, beside zips/, written in the same
// set as the census files and read again by the next import, so that counts given
// over several imports give the same files as given at once. One line per count:
//     zip,what,year,count
//     77002,population,2010,16793      a census count of any year 1990..2020
//     77002,f12,2010,345.5             a detail count of another year than 2007
//     77002,f0,2007,filled             a detail line filled from its series' 2007 point
// (detail counts of 2007 are the census file's own values and are not repeated here).
//
// For each series of a ZIP code: given only the stored years (1990, 2000, 2007, 2012),
// the points are merged cell by cell into the stored file, as they always were; given
// any other year, the four points are fitted to all its counts (census_fit.h), counts
// below 0 (the census's codes for missing figures) left out. A detail count of year D
// is stored as count x c2007 / curve(D) of its line's series, so that the viewer shows
// the count at D. A ZIP code given census counts and no detail counts gets the first
// field line of each series filled with that series' 2007 point.
#pragma once
#include "file_set.h"
#include "tables.h"

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

constexpr const char GIVEN_TABLE_NAME[] = "census-given.csv";   // below the data folder

// Everything given for one ZIP code, from every import.
struct GivenCounts {
    std::map<int, float> series[SERIES_COUNT];   // year -> count, by series code
    std::map<int, std::pair<int, float>> detail; // field line -> (year, count), years other than 2007
    std::set<int> filled;                        // field lines filled from their series' 2007 point
};

using GivenTable = std::map<uint32_t, GivenCounts>;

// Reads the given-counts table at path into table. A missing file is an empty table.
// Returns 0 (reported) when the file cannot be read or a line is not as written here.
int read_given_table(const std::filesystem::path &path, GivenTable &table, Diagnostics &diag);
std::string given_table_text(const GivenTable &table);

// What planning the census files of an import gives.
struct CensusPlan {
    std::vector<PendingFile> files;   // the census files, then the given-counts table
    std::vector<std::string> notes;   // summary lines: points fitted and from which years, misses
};

// Plans the census file of every ZIP code in set.census below dataDir (merged with the
// stored file and the kept counts unless replace). fieldSeries is the series code of
// each field line (what scales it). Problems go to diag.
void plan_census(const std::filesystem::path &dataDir, bool replace, const TableSet &set,
                 const int8_t (&fieldSeries)[FIELD_COUNT], CensusPlan &plan, Diagnostics &diag);
