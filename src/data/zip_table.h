// zip_table.h -- the ZIP table and its loading from the Load Data CSV and the per-ZIP
// census (.zc) and enrollment (.enr) files.
#pragma once
#include <cstdint>

constexpr int MAX_ZIPS       = 300;   // capacity of the value table and the scene
constexpr int ZIP_TABLE_SIZE = 360;   // storage of the table itself
constexpr int FIELD_COUNT    = 307;   // census detail values per ZIP code, one per field line
constexpr int ENROLL_YEARS   = 18;    // 1990..2006, then the maximum
constexpr int ENROLL_MAX     = 17;    // index of the maximum in an enrollment row
constexpr int PATH_SIZE      = 256;   // paths and file lines

struct CensusSeries {
    float census[4];     // counts of 1990, 2000, 2007, 2012
    float growthRatio;   // interpolated count / census[2]; written by compute_values
};

struct ZipRecord {
    uint32_t     zip;              // the ZIP code as a decimal number
    float        longitude;        // degrees, negative west
    float        latitude;         // degrees
    uint32_t     travelMinutes;    // travel time to campus, minutes
    uint32_t     trafficMinutes;   // travel time in traffic, minutes
    CensusSeries population;       // series code 0  -- from here to detail: the .zc file
    CensusSeries households;       // series code 1
    CensusSeries families;         // series code 2
    float        detail[FIELD_COUNT];                 // 2007 count of each field line
    uint16_t     enrollment[2][ENROLL_YEARS];         // per campus; the .enr file
};

struct ZipTable {
    ZipRecord records[ZIP_TABLE_SIZE];   // in the order of the CSV's data lines
    uint32_t  count;                     // valid records; 0 = no data
};

extern ZipTable zipTable;

// The ZIP codes the values, the scene and the panels work on: never more than MAX_ZIPS.
inline uint32_t loaded_zip_count()
{
    return zipTable.count < uint32_t(MAX_ZIPS) ? zipTable.count : uint32_t(MAX_ZIPS);
}

// What the last read_records learnt of each data line it turned into a record, for a
// tool that reports where a Load Data CSV is misread; the viewer never looks at it.
struct LoadLine {
    uint32_t line;        // line number in the file where the record's text starts (header = 1)
    uint8_t  fields;      // fields the scan filled, 0..6; fewer than 6 leave zeros
    uint8_t  misread;     // 1 when a field ended inside its text (as "1.5" in column 2), or the
                          // line came in pieces (longer than PATH_SIZE - 1 characters)
    double   longitude;   // columns 3 and 4 scanned in double precision
    double   latitude;
    int32_t  zoneBytes;   // what the .zc file held: its size up to 1289 (= longer), or
    int32_t  enrollBytes; // LOAD_FILE_MISSING / LOAD_FILE_UNREADABLE; likewise the .enr file (up to 73)
};

constexpr int32_t LOAD_FILE_MISSING    = -1;   // no such file
constexpr int32_t LOAD_FILE_UNREADABLE = -2;   // it exists but could not be opened or read

struct LoadReport {
    LoadLine lines[ZIP_TABLE_SIZE];   // one per record of the last read, in record order
    uint32_t count;                   // records described
    uint32_t tooManyLine;             // line of the first record beyond MAX_ZIPS; 0 = none
};

extern LoadReport loadReport;

// Loads the CSV at path and the census and enrollment files of every ZIP code in it.
// Returns 1 when the table was replaced, 0 (after a message box) when it was left as it was.
int read_records(const char *path);
