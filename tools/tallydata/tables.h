// tables.h -- the four tables tallydata reads and writes (zips, census, detail,
// enrollment): CSV as RFC 4180 writes it (or as spreadsheets save it: UTF-16, semicolons
// with decimal commas, tabs; table_text.h), columns found by name or renamed by the
// table's options, read from memory into a TableSet that collects every file of an
// import. Parsing touches no file: a caller (the program, a test, the fuzz harness)
// hands over the bytes and a name to report.
#pragma once
#include "census_fit.h"
#include "zip_table.h"
#include "zone_files.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

enum TableKind { TABLE_ZIPS, TABLE_CENSUS, TABLE_DETAIL, TABLE_ENROLLMENT, TABLE_KIND_COUNT };

// What a kind of table is called on the command line and in the help; the columns and
// the reading of its rows live beside them in tables.cpp, one row per kind.
struct TableKindInfo {
    const char *option;      // import's option that names such a table, without "--"
    const char *help;        // its columns, for import --help
    bool        takesYear;   // --year may precede it: every row is of that year
};

const TableKindInfo &table_kind_info(TableKind kind);

// The year of detail counts when --year does not name one.
constexpr int DETAIL_YEAR = 2007;

// What the options placed before a table on import's command line say of that table.
struct TableOptions {
    int year = 0;   // --year Y: every row is of year Y; 0: the census table's own year column
    std::vector<std::pair<std::string, std::string>> columns;   // --column NAME=HEADER, in order
};

// Whether NAME can be given to a column of a kind of table (--column NAME=HEADER);
// "" when it can, else the names it takes, for the message.
std::string column_name_refusal(TableKind kind, const std::string &name);

// Messages as the program prints them: "tallydata: FILE:LINE:FIELD: error: TEXT".
// Collected in order; printed to echo as they come when echo is set.
struct Diagnostics {
    std::vector<std::string> lines;   // every message, without the line end
    int   errors = 0;
    int   warnings = 0;
    int   notes = 0;
    FILE *echo = nullptr;             // where to print each message too; null = collect only
};

// file may be null (a message about the command as a whole); line and field 0 are left out.
void report(Diagnostics &diag, bool error, const char *file, long line, int field, const char *format, ...)
    __attribute__((format(printf, 6, 7)));
// A note ("tallydata: FILE: note: TEXT"): something to know that is neither an error nor
// a warning.
void report_note(Diagnostics &diag, const char *file, const char *format, ...) __attribute__((format(printf, 3, 4)));

// Where a cell was read, for messages given after reading (a maximum below its years).
struct CellPlace {
    std::string file;
    long line = 0;
    int  field = 0;
};

// One row of the zips table.
struct ZipRow {
    uint32_t zip;
    double   longitude, latitude;      // as read, double precision (the study CSV's text)
    uint32_t travelMinutes, trafficMinutes;
    CellPlace place;                   // the row's zip cell
};

// Census and detail values given for one ZIP code; the cells not given keep the stored value.
struct CensusUpdate {
    float    series[SERIES_COUNT][FIT_YEARS] = {};        // population, households, families by year - 1990
    bool     seriesGiven[SERIES_COUNT][FIT_YEARS] = {};
    bool     yearSeen[FIT_YEARS] = {};                     // a census row for the year was read
    float    detail[FIELD_COUNT] = {};
    bool     detailGiven[FIELD_COUNT] = {};
    uint16_t detailYear[FIELD_COUNT] = {};                 // the year of each detail count given
    bool     detailSeen = false;                           // a detail row was read (of any table)
};

struct EnrollmentUpdate {
    uint16_t  students[2][ENROLL_YEARS] = {};   // per campus 1990..2006, then the max row
    bool      given[2][ENROLL_YEARS] = {};
    bool      rowSeen[2][ENROLL_YEARS] = {};
    CellPlace maxPlace[2];                      // the students cell of each max row
};

// Everything read from the tables of one command line, merged in reading order.
struct TableSet {
    std::vector<ZipRow>                        zips;        // in table order
    std::map<uint32_t, CellPlace>              zipSeen;     // zips-table ZIP codes, for duplicates
    std::map<uint32_t, CensusUpdate>           census;      // census and detail, by ZIP code
    std::map<uint32_t, EnrollmentUpdate>       enrollment;  // by ZIP code
    std::set<uint32_t>                         only;        // set by the caller: when not empty, rows of other
                                                            // ZIP codes (but the zips table's) are skipped
    std::set<uint32_t>                         outside;     // the ZIP codes skipped for it
    long                                       otherLevel = 0;   // rows of a GEO_ID of another summary level
    std::string                                otherLevelFirst;  // than ZCTA (860), skipped; the first of them
    std::vector<std::string>                   readAs;      // "FILE: how it was read" for tables that are
                                                            // not comma-separated UTF-8
};

// Parses one table file's bytes as a table of kind and adds its rows to set. name is
// what messages call the file. Every problem is reported to diag; the rows of a file
// with errors may be partly added, so a caller writes nothing when diag.errors grew.
// Returns 1 when the file gave no error, 0 otherwise.
int read_table(const char *name, const char *bytes, size_t size, TableKind kind, TableSet &set,
               Diagnostics &diag, const TableOptions &options = TableOptions());

// Cell parsers, shared with the tests: each returns 1 and the value, or 0 and a reason.
// A ZIP cell: after trimming blanks and one census prefix (ZCTA5 77002, 860Z200US77002,
// 8600000US77002), 1 to 5 digits and nothing else, not 0; a GEO_ID of another summary
// level than 860 is refused. Returns -1 when the cell holds no digit at all (a label).
int parse_zip_cell(const char *cell, uint32_t &zip, const char *&why);
// A count: a decimal number in single precision, finite; no locale.
int parse_float_cell(const char *cell, float &value, const char *&why);
// A whole number from 0 to limit.
int parse_whole_cell(const char *cell, uint64_t limit, uint64_t &value, const char *&why);

// Shortest text that reads back to the same value (std::to_chars).
std::string float_text(float value);
std::string double_text(double value);
