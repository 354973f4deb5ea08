// tables.cpp -- reading the zips, census, detail and enrollment tables from memory.
// The bytes become UTF-8 text with a separator (table_text.cpp); the CSV syntax is
// libcsv's (strict RFC 4180 quoting); this file finds the columns by name (or by the
// table's --column options), parses every cell without the locale (std::from_chars)
// and adds the rows to the TableSet, reporting each problem with its file, line and
// field.
//
// Sections:
//   [SECTION] Messages
//   [SECTION] Cells
//   [SECTION] Records from libcsv, with the line each starts on
//   [SECTION] Columns and rows of the four kinds
#include "tables.h"
#include "table_text.h"

#include <csv.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <limits>
#include <span>

// ============================================================================
// [SECTION] Messages
// ============================================================================
// Appends text with its control characters written as escapes (a cell may hold a line
// end inside quotes), so that every message stays one line.
static void append_one_line(std::string &out, const char *text)
{
    for (const char *c = text; *c; ++c) {
        unsigned char u = static_cast<unsigned char>(*c);
        if (u == '\n') out += "\\n";
        else if (u == '\r') out += "\\r";
        else if ((u < 0x20 && u != '\t') || u == 0x7f) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", u);
            out += escape;
        } else out += *c;
    }
}

// One message: "tallydata: FILE:LINE:FIELD: LEVEL: TEXT", echoed and kept.
static void add_message(Diagnostics &diag, const char *level, const char *file, long line, int field, const char *text)
{
    std::string message = "tallydata: ";
    if (file) {
        append_one_line(message, file);
        if (line > 0) message += ":" + std::to_string(line);
        if (field > 0) message += ":" + std::to_string(field);
        message += ": ";
    }
    message += level;
    append_one_line(message, text);
    if (diag.echo) std::fprintf(diag.echo, "%s\n", message.c_str());
    diag.lines.push_back(std::move(message));
}

// The text of a format and its arguments, however long (a check may list every ZIP code).
static std::string formatted(const char *format, va_list args)
{
    va_list again;
    va_copy(again, args);
    const int size = std::vsnprintf(nullptr, 0, format, args);
    std::string text(size > 0 ? size_t(size) : 0, '\0');
    if (size > 0) std::vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    return text;
}

void report(Diagnostics &diag, bool error, const char *file, long line, int field, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    const std::string text = formatted(format, args);
    va_end(args);
    (error ? diag.errors : diag.warnings)++;
    add_message(diag, error ? "error: " : "warning: ", file, line, field, text.c_str());
}

void report_note(Diagnostics &diag, const char *file, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    const std::string text = formatted(format, args);
    va_end(args);
    ++diag.notes;
    add_message(diag, "note: ", file, 0, 0, text.c_str());
}

// ============================================================================
// [SECTION] Cells
// ============================================================================
static bool is_blank_char(char c) { return c == ' ' || c == '\t'; }
static bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The cell without the blanks around it.
static std::string_view trimmed(const char *cell)
{
    std::string_view s(cell);
    while (!s.empty() && is_blank_char(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_blank_char(s.back())) s.remove_suffix(1);
    return s;
}

// A GEO_ID's prefix: a summary level, four characters of components and "US"
// ("860Z200US77002" in the 2020 downloads, "8600000US77002" before, "0400000US48" a state).
constexpr size_t GEO_ID_PREFIX = 9;
constexpr std::string_view ZIP_AREA_LEVEL = "860";   // the summary level of ZIP code areas

// The length of the census's own prefix of a ZIP cell, or 0: the name of a ZIP code
// area ("ZCTA5 77002", any letter case) or a GEO_ID.
static size_t census_prefix(std::string_view s)
{
    constexpr std::string_view NAME = "ZCTA5 ";
    if (s.size() > NAME.size() && std::equal(NAME.begin(), NAME.end(), s.begin(),
                                             [](char a, char b) { return a == std::toupper(static_cast<unsigned char>(b)); }))
        return NAME.size();
    if (s.size() > GEO_ID_PREFIX && is_digit(s[0]) && is_digit(s[1]) && is_digit(s[2]) && s.substr(7, 2) == "US" &&
        std::all_of(s.begin() + 3, s.begin() + 7, [](char c) { return std::isalnum(static_cast<unsigned char>(c)); }))
        return GEO_ID_PREFIX;
    return 0;
}

int parse_zip_cell(const char *cell, uint32_t &zip, const char *&why)
{
    std::string_view s = trimmed(cell);
    if (s.empty()) { why = "the ZIP code is empty"; return 0; }
    if (std::none_of(s.begin(), s.end(), is_digit)) { why = "no ZIP code in the cell"; return -1; }
    const size_t prefix = census_prefix(s);
    if (prefix == GEO_ID_PREFIX && s.substr(0, ZIP_AREA_LEVEL.size()) != ZIP_AREA_LEVEL) {
        why = "a GEO_ID of another summary level than ZIP code areas (860)";
        return 0;
    }
    s.remove_prefix(prefix);
    const size_t digits = size_t(std::find_if_not(s.begin(), s.end(), is_digit) - s.begin());
    if (digits == 5 && s.size() == 10 && s[5] == '-' && std::all_of(s.begin() + 6, s.end(), is_digit)) {
        why = "a ZIP+4 code; give the five-digit ZIP code";
        return 0;
    }
    // Nothing but the digits: a fraction, an exponent, a sign or a blank inside would
    // leave a number that is not the ZIP code written.
    if (digits == 0 || digits < s.size()) { why = "not a ZIP code (1 to 5 digits)"; return 0; }
    if (digits > 5) { why = "a ZIP code has at most 5 digits"; return 0; }
    uint32_t value = 0;
    for (char c : s) value = value * 10 + uint32_t(c - '0');
    if (value == 0) { why = "ZIP code 0"; return 0; }
    zip = value;
    return 1;
}

// The number text without one leading '+', which from_chars does not take.
static std::string_view number_text(const char *cell)
{
    std::string_view s = trimmed(cell);
    if (s.size() > 1 && s[0] == '+' && s[1] != '-') s.remove_prefix(1);
    return s;
}

int parse_float_cell(const char *cell, float &value, const char *&why)
{
    std::string_view s = number_text(cell);
    float v = 0;
    auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
    if (error == std::errc::result_out_of_range) { why = "beyond single precision"; return 0; }
    if (error != std::errc() || end != s.data() + s.size()) { why = "not a number"; return 0; }
    if (!std::isfinite(v)) { why = "not a finite number"; return 0; }
    value = v;
    return 1;
}

static int parse_double_cell(const char *cell, double &value, const char *&why)
{
    std::string_view s = number_text(cell);
    double v = 0;
    auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
    if (error != std::errc() || end != s.data() + s.size()) { why = "not a number"; return 0; }
    if (!std::isfinite(v)) { why = "not a finite number"; return 0; }
    float narrow = float(v);
    if (!std::isfinite(narrow)) { why = "beyond single precision"; return 0; }
    value = v;
    return 1;
}

int parse_whole_cell(const char *cell, uint64_t limit, uint64_t &value, const char *&why)
{
    double v = 0;
    if (!parse_double_cell(cell, v, why)) return 0;
    if (v < 0) { why = "negative"; return 0; }
    if (v != std::floor(v)) { why = "not a whole number"; return 0; }
    if (v > double(limit)) { why = "too large"; return 0; }
    value = uint64_t(v);
    return 1;
}

std::string float_text(float value)
{
    char text[32];
    auto [end, error] = std::to_chars(text, text + sizeof text, value);
    return error == std::errc() ? std::string(text, end) : std::string();
}

std::string double_text(double value)
{
    char text[40];
    auto [end, error] = std::to_chars(text, text + sizeof text, value);
    return error == std::errc() ? std::string(text, end) : std::string();
}

// ============================================================================
// [SECTION] Records from libcsv, with the line each starts on
// ============================================================================
namespace {

constexpr int MAX_ERRORS_SHOWN = 20;   // per file; a wrong file can make thousands
constexpr size_t MAX_CELL_BYTES = size_t(1) << 20;   // no census table needs a longer cell
// The tables are fed to libcsv at most this much at a time, so that a cell beyond
// MAX_CELL_BYTES is seen soon after it passes the bound; the parser's buffer grows by
// the same step (its own 128 bytes would copy a long cell over and over).
constexpr size_t FEED_BYTES = size_t(1) << 16;

struct Record {
    std::vector<std::string> cells;
    long line = 0;   // where the record starts
};

struct Splitter {
    Record current;
    std::vector<Record> records;
    long line = 1;            // the line being fed
    long recordStart = 0;     // where the record being read started; 0 = none yet
    long nulLine = 0;         // the record of the first cell holding a NUL byte; 0 = none
    int  nulField = 0;        // and its field
    long longCellLine = 0;    // the record of a cell beyond MAX_CELL_BYTES that ended in the bytes fed last
};

void on_field(void *text, size_t length, void *data)
{
    Splitter &s = *static_cast<Splitter *>(data);
    if (s.current.cells.empty()) s.current.line = s.recordStart ? s.recordStart : s.line;
    s.current.cells.emplace_back(text ? static_cast<const char *>(text) : "", text ? length : 0);
    if (length > MAX_CELL_BYTES && s.longCellLine == 0) s.longCellLine = s.current.line;
    if (s.nulLine == 0 && s.current.cells.back().find('\0') != std::string::npos) {
        s.nulLine = s.current.line;
        s.nulField = int(s.current.cells.size());
    }
}

void on_record(int, void *data)
{
    Splitter &s = *static_cast<Splitter *>(data);
    bool blank = std::all_of(s.current.cells.begin(), s.current.cells.end(),
                             [](const std::string &c) { return trimmed(c.c_str()).empty(); });
    if (!blank) s.records.push_back(std::move(s.current));
    s.current = Record();
    s.recordStart = 0;
}

// Splits text into records at separator. libcsv reports fields and record ends but no
// positions, so the text goes in one line at a time, and a record starts on the line fed
// while the parser had not begun a row (its pstate 0). Returns 0 with the line where the
// failing record starts and why: a quoting error, or a cell beyond MAX_CELL_BYTES.
int split_records(const char *bytes, size_t size, char separator, Splitter &s, long &badLine, const char *&why)
{
    csv_parser parser;
    if (csv_init(&parser, CSV_STRICT | CSV_STRICT_FINI | CSV_APPEND_NULL) != 0) {
        why = "no memory to read the table";
        return badLine = 0, 0;
    }
    csv_set_delim(&parser, static_cast<unsigned char>(separator));
    csv_set_blk_size(&parser, FEED_BYTES);
    size_t at = 0;
    why = nullptr;
    while (at < size && !why) {
        const char *newline = static_cast<const char *>(std::memchr(bytes + at, '\n', size - at));
        const size_t lineEnd = newline ? size_t(newline - bytes) + 1 : size;
        if (parser.pstate == 0) s.recordStart = s.line;
        while (at < lineEnd && !why) {
            const size_t piece = std::min(lineEnd - at, FEED_BYTES);
            if (csv_parse(&parser, bytes + at, piece, on_field, on_record, &s) != piece)
                why = "a quoted field is not closed or a quote stands inside a field";
            else if (parser.entry_pos > MAX_CELL_BYTES || s.longCellLine)
                why = "a cell longer than 1 MB starts on this line: no census table has one";
            at += piece;
        }
        if (newline && !why) ++s.line;
    }
    if (!why && csv_fini(&parser, on_field, on_record, &s) != 0)
        why = "a quoted field is not closed or a quote stands inside a field";
    if (why) badLine = s.longCellLine ? s.longCellLine : s.recordStart ? s.recordStart : s.line;
    csv_free(&parser);
    return why ? 0 : 1;
}

// ============================================================================
// [SECTION] Columns and rows of the four kinds
// ============================================================================
// Column slots of every kind. Detail uses DETAIL_FIRST + line number.
enum Column {
    COL_ZIP, COL_LONGITUDE, COL_LATITUDE, COL_TRAVEL, COL_TRAFFIC,    // zips
    COL_YEAR, COL_POPULATION, COL_HOUSEHOLDS, COL_FAMILIES,           // census
    COL_CAMPUS, COL_STUDENTS,                                         // enrollment
    DETAIL_FIRST,
    COLUMN_SLOTS = DETAIL_FIRST + FIELD_COUNT
};

struct FileReader;

// A column a kind of table reads, by the name its header gives it (any letter case,
// blanks around it ignored). The ZIP column of every kind is taken from a GEO_ID column
// when the header has no zip column.
struct ColumnName {
    const char *name;
    int         slot;
    bool        required;   // a table without it is refused (the year: unless --year gives it)
    const char *alias;      // a second name it goes by, or null
    bool        counts;     // a column of figures: a table needs one of these to give anything
};

// One kind of table: everything that differs between kinds, in one row.
struct TableKindRow {
    TableKindInfo                info;
    std::span<const ColumnName>  columns;
    bool                         fieldColumns;    // f0 ... f306 besides (the detail counts)
    const char                  *absentWarning;   // names the absent optional columns (%s), or null
    const char                  *negativeFate;    // what becomes of negative counts, for their warning
    void (FileReader::*readRow)(const Record &r, uint32_t zip);
};

constexpr ColumnName ZIPS_COLUMNS[] = {
    {"zip", COL_ZIP, true, nullptr, false},
    {"longitude", COL_LONGITUDE, true, nullptr, false},
    {"latitude", COL_LATITUDE, true, nullptr, false},
    {"travel_minutes", COL_TRAVEL, false, "travel", false},
    {"traffic_minutes", COL_TRAFFIC, false, "traffic", false},
};
constexpr ColumnName CENSUS_COLUMNS[] = {
    {"zip", COL_ZIP, true, nullptr, false},
    {"year", COL_YEAR, true, nullptr, false},
    {"population", COL_POPULATION, false, nullptr, true},
    {"households", COL_HOUSEHOLDS, false, nullptr, true},
    {"families", COL_FAMILIES, false, nullptr, true},
};
constexpr ColumnName DETAIL_COLUMNS[] = {
    {"zip", COL_ZIP, true, nullptr, false},
};
constexpr ColumnName ENROLLMENT_COLUMNS[] = {
    {"zip", COL_ZIP, true, nullptr, false},
    {"campus", COL_CAMPUS, true, nullptr, false},
    {"year", COL_YEAR, true, nullptr, false},
    {"students", COL_STUDENTS, true, nullptr, true},
};

// The census's own column for a figure, by the name a header gives it, where a user's
// table may hold it under another name: what "did you mean" offers. Housing units
// (H001001, H1_001N) are not households (they count vacant homes): never offered.
struct KnownHeader {
    const char *header;   // as compared: letters and digits only, lower case
    const char *name;     // the column it stands for
};
constexpr KnownHeader KNOWN_HEADERS[] = {
    {"p001001", "population"}, {"p1001n", "population"}, {"totalpopulation", "population"}, {"pop", "population"},
    {"zcta", "zip"}, {"zcta5", "zip"}, {"zipcode", "zip"}, {"postcode", "zip"}, {"geoid", "zip"},
    {"hh", "households"}, {"headcount", "students"}, {"enrolled", "students"}, {"enrollment", "students"},
    {"lon", "longitude"}, {"lng", "longitude"}, {"long", "longitude"}, {"lat", "latitude"},
};

// The name of a slot's column in messages.
std::string slot_name(int slot, std::span<const ColumnName> columns)
{
    if (slot >= DETAIL_FIRST) return "f" + std::to_string(slot - DETAIL_FIRST);
    for (const ColumnName &c : columns)
        if (c.slot == slot) return c.name;
    return "?";
}

std::string lower_name(const std::string &cell)
{
    std::string name(trimmed(cell.c_str()));
    for (char &c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

// A header as "did you mean" compares it: letters and digits only, in lower case.
std::string compact_name(const std::string &header)
{
    std::string out;
    for (char c : header)
        if (std::isalnum(static_cast<unsigned char>(c))) out += char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Letters to change, add or drop to turn a into b.
size_t edit_distance(const std::string &a, const std::string &b)
{
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// Whether a header may be meant as the column name: the census's own name for it, the
// same letters, a start of at least three letters of it, or a slip of at most two.
bool close_to(const std::string &header, const char *name)
{
    const std::string h = compact_name(header), n = compact_name(name);
    if (h.empty()) return false;
    for (const KnownHeader &k : KNOWN_HEADERS)
        if (h == k.header) return n == k.name;
    if (h == n) return true;
    if (h.size() >= 3 && n.rfind(h, 0) == 0) return true;
    return n.size() >= 5 && edit_distance(h, n) <= 2;
}

// The detail line a header cell names ("f0" to "f306", not "f01"), or -1.
int field_line_of(const std::string &name)
{
    if (name.size() < 2 || name.size() > 4 || name[0] != 'f') return -1;
    if (name.size() > 2 && name[1] == '0') return -1;
    int line = 0;
    for (size_t i = 1; i < name.size(); ++i) {
        if (!is_digit(name[i])) return -1;
        line = line * 10 + (name[i] - '0');
    }
    return line < FIELD_COUNT ? line : -1;
}

// True for a header "fN" whose N is past the field list's last line (f307, f1000): a
// count the viewer has no line for.
bool past_field_list(const std::string &name)
{
    if (name.size() < 2 || name[0] != 'f' || name[1] == '0') return false;
    if (!std::all_of(name.begin() + 1, name.end(), is_digit)) return false;
    return name.size() > 4 || std::stoi(name.substr(1)) >= FIELD_COUNT;
}

extern const TableKindRow TABLE_KINDS[TABLE_KIND_COUNT];

// Reads the rows of one file; the file's own state (columns, counts of empty and
// negative cells for the warnings) lives here.
struct FileReader {
    const char *name;
    const TableKindRow &kindRow;
    const TableOptions &options;
    DecimalMark decimal;          // the mark number cells use (from the separator)
    TableSet   &set;
    Diagnostics &diag;
    int  column[COLUMN_SLOTS];    // the cell index of each slot, -1 when absent
    int  errorsHere = 0;
    long emptyCount = 0, negativeCount = 0;
    long emptyLine = 0, negativeLine = 0;
    int  emptyField = 0, negativeField = 0;
    std::set<uint32_t> detailZips;   // the ZIP codes of this detail table so far (of several, the last wins)
    std::set<std::pair<uint32_t, int>> censusRows;   // (ZIP code, year - 1990) of this census table so far

    void error(long line, int field, const char *format, ...) __attribute__((format(printf, 4, 5)))
    {
        if (++errorsHere > MAX_ERRORS_SHOWN) { ++diag.errors; return; }
        char text[640];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        report(diag, true, name, line, field, "%s", text);
    }

    // The cell of slot in record, or null when the column is absent or the row short.
    const char *cell(const Record &r, int slot) const
    {
        int i = column[slot];
        if (i < 0) return nullptr;
        return size_t(i) < r.cells.size() ? r.cells[size_t(i)].c_str() : "";
    }

    bool empty(const Record &r, int slot)
    {
        const char *c = cell(r, slot);
        if (c && !trimmed(c).empty()) return false;
        if (c) {   // an absent column was reported once at the header
            if (emptyCount++ == 0) { emptyLine = r.line; emptyField = column[slot] + 1; }
        }
        return true;
    }

    // The text of a number cell with its decimal mark made a point; null (why set)
    // when its marks do not fit the table's.
    const char *number(const Record &r, int slot, std::string &text, const char *&why) const
    {
        return decimal_point_text(cell(r, slot), decimal, text, why) ? text.c_str() : nullptr;
    }

    // A count of census or detail: negative ones are kept and counted.
    bool count_cell(const Record &r, int slot, float &value, bool &given)
    {
        given = false;
        if (empty(r, slot)) return true;
        const char *why = "";
        std::string text;
        const char *digits = number(r, slot, text, why);
        if (!digits || !parse_float_cell(digits, value, why)) {
            error(r.line, column[slot] + 1, "%s: %s", why, cell(r, slot));
            return false;
        }
        if (value < 0 && negativeCount++ == 0) { negativeLine = r.line; negativeField = column[slot] + 1; }
        given = true;
        return true;
    }

    bool whole_cell(const Record &r, int slot, uint64_t limit, uint64_t &value, const char *what)
    {
        const char *why = "";
        std::string text;
        const char *digits = number(r, slot, text, why);
        if (digits && parse_whole_cell(digits, limit, value, why)) return true;
        error(r.line, column[slot] + 1, "%s: %s", what, why);
        return false;
    }

    int  slot_of(const std::string &header) const;
    bool header(const Record &r);
    bool rename_columns(const Record &r);
    void refuse_missing(const Record &r, const std::vector<const char *> &names, const char *what,
                        const char *advice);
    void row(const Record &r);
    void zips_row(const Record &r, uint32_t zip);
    void census_row(const Record &r, uint32_t zip);
    void detail_row(const Record &r, uint32_t zip);
    void enrollment_row(const Record &r, uint32_t zip);
    void warnings();
};

// The slot a header cell names, or -1 for a column of another name.
int FileReader::slot_of(const std::string &header) const
{
    for (const ColumnName &c : kindRow.columns)
        if (header == c.name || (c.alias && header == c.alias)) return c.slot;
    if (kindRow.fieldColumns) {
        int line = field_line_of(header);
        if (line >= 0) return DETAIL_FIRST + line;
    }
    return -1;
}

// The header's cells as a message lists them: "GEO_ID, NAME, P1_001N".
std::string header_list(const Record &r)
{
    constexpr size_t SHOWN = 12;
    std::string list;
    for (size_t i = 0; i < r.cells.size() && i < SHOWN; ++i)
        list += (i ? ", " : "") + std::string(trimmed(r.cells[i].c_str()));
    if (r.cells.size() > SHOWN) list += ", ... (" + std::to_string(r.cells.size()) + " columns)";
    return list;
}

// --column NAME=HEADER as a user would type it, quoted for the shell when it must be.
std::string column_option(const char *name, const std::string &header)
{
    const std::string value = std::string(name) + "=" + header;
    bool plain = std::all_of(value.begin(), value.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '=' || c == '.' || c == '-';
    });
    return plain ? "--column " + value : "--column '" + value + "'";
}

// --column NAME=HEADER: the column headed HEADER is read as NAME, before any column
// called NAME itself. Marks the cells so taken; false when a HEADER is not there.
bool FileReader::rename_columns(const Record &r)
{
    bool ok = true;
    for (const auto &[columnName, headerText] : options.columns) {
        const int slot = slot_of(lower_name(columnName));
        size_t i = 0;
        while (i < r.cells.size() && lower_name(r.cells[i]) != lower_name(headerText)) ++i;
        if (i == r.cells.size()) {
            error(r.line, 0, "no column \"%s\" for --column %s=%s: the header has %s", headerText.c_str(),
                  columnName.c_str(), headerText.c_str(), header_list(r).c_str());
            ok = false;
        } else if (slot >= 0) {
            column[slot] = int(i);
        }
    }
    return ok;
}

// The refusal of a header without any of names: what it has, and the column the user
// may have meant.
void FileReader::refuse_missing(const Record &r, const std::vector<const char *> &names, const char *what,
                                const char *advice)
{
    std::string list;
    for (size_t i = 0; i < names.size(); ++i)
        list += std::string(i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + "\"" + names[i] + "\"";
    std::string suggestion;
    for (const char *n : names) {
        for (size_t i = 0; i < r.cells.size() && suggestion.empty(); ++i)
            if (std::find(std::begin(column), std::end(column), int(i)) == std::end(column) && close_to(r.cells[i], n))
                suggestion = "; did you mean " + column_option(n, std::string(trimmed(r.cells[i].c_str()))) + "?";
        if (!suggestion.empty()) break;
    }
    error(r.line, 0, "%sthe header has no column %s (it has %s)%s%s", what, list.c_str(), header_list(r).c_str(),
          suggestion.c_str(), advice);
}

bool FileReader::header(const Record &r)
{
    std::fill(std::begin(column), std::end(column), -1);
    bool ok = rename_columns(r);
    bool renamedSlot[COLUMN_SLOTS] = {};
    for (int slot = 0; slot < COLUMN_SLOTS; ++slot) renamedSlot[slot] = column[slot] >= 0;
    int geoId = -1;   // a GEO_ID column, the ZIP column when there is no zip column
    for (size_t i = 0; i < r.cells.size(); ++i) {
        if (std::find(std::begin(column), std::end(column), int(i)) != std::end(column)) continue;   // renamed
        const std::string header = lower_name(r.cells[i]);
        int slot = slot_of(header);
        if (slot < 0) {
            if (header == "geo_id" && geoId < 0) geoId = int(i);
            else if (kindRow.fieldColumns && past_field_list(header))
                report(diag, false, name, r.line, int(i) + 1, "column %s is past the last line of the field list "
                       "(f0 to f%d): ignored", header.c_str(), FIELD_COUNT - 1);
            continue;
        }
        if (renamedSlot[slot]) continue;   // --column chose another column for it
        if (column[slot] >= 0) {
            error(r.line, int(i) + 1, "a second column \"%s\"", header.c_str());
            continue;
        }
        column[slot] = int(i);
    }
    if (column[COL_ZIP] < 0 && geoId >= 0) column[COL_ZIP] = geoId;

    const bool yearGiven = kindRow.info.takesYear && options.year != 0;
    if (yearGiven && column[COL_YEAR] >= 0) {
        error(r.line, column[COL_YEAR] + 1, "a column \"year\" beside --year %d: every row is of year %d; drop one",
              options.year, options.year);
        ok = false;
    }
    std::vector<const char *> missing, countNames;
    bool anyCounts = false;
    std::string absent;   // the optional columns not there: they keep what is stored
    for (const ColumnName &c : kindRow.columns) {
        if (c.counts) countNames.push_back(c.name), anyCounts = anyCounts || column[c.slot] >= 0;
        if (column[c.slot] >= 0 || (c.slot == COL_YEAR && yearGiven)) continue;
        if (c.required) missing.push_back(c.name);
        else absent += (absent.empty() ? "" : ", ") + std::string(c.name);
    }
    if (!missing.empty()) {
        const bool year = std::find(missing.begin(), missing.end(), std::string_view("year")) != missing.end();
        refuse_missing(r, missing, "", year && kindRow.info.takesYear ? "; or give its year with --year before the table" : "");
        ok = false;
    }
    if (kindRow.fieldColumns) {
        int without = 0;
        for (int f = 0; f < FIELD_COUNT; ++f) without += column[DETAIL_FIRST + f] < 0;
        anyCounts = without < FIELD_COUNT;
        countNames.push_back("f0 ... f306");
        if (without && anyCounts) absent += (absent.empty() ? "" : ", ") + std::to_string(without) + " of the columns f0 to f306";
    }
    // A table must give figures: one without any count column reads nothing.
    const bool countMissing = std::any_of(countNames.begin(), countNames.end(), [&](const char *n) {
        return std::find(missing.begin(), missing.end(), n) != missing.end();
    });
    if (!countNames.empty() && !anyCounts && !countMissing) {
        refuse_missing(r, countNames, "the table gives nothing: ", "");
        ok = false;
    }
    if (ok && kindRow.absentWarning && !absent.empty()) report(diag, false, name, r.line, 0, kindRow.absentWarning, absent.c_str());
    return ok;
}

// A census GEO_ID of another summary level than ZCTA (860), such as the state total
// 0400000US48: three digits of level, four of component, "US", then the area's code.
static bool other_summary_level(const char *cell)
{
    std::string_view s = trimmed(cell);
    return census_prefix(s) == GEO_ID_PREFIX && s.substr(0, ZIP_AREA_LEVEL.size()) != ZIP_AREA_LEVEL;
}

void FileReader::row(const Record &r)
{
    if (other_summary_level(cell(r, COL_ZIP))) {
        if (set.otherLevel++ == 0) set.otherLevelFirst = trimmed(cell(r, COL_ZIP));
        return;
    }
    uint32_t zip = 0;
    const char *why = "";
    int parsed = parse_zip_cell(cell(r, COL_ZIP), zip, why);
    if (parsed != 1) {
        error(r.line, column[COL_ZIP] + 1, "%s: %s", why, cell(r, COL_ZIP));
        return;
    }
    if (&kindRow != &TABLE_KINDS[TABLE_ZIPS] && !set.only.empty() && !set.only.count(zip)) {
        set.outside.insert(zip);
        return;
    }
    (this->*kindRow.readRow)(r, zip);
}

void FileReader::zips_row(const Record &r, uint32_t zip)
{
    ZipRow row = {zip, 0, 0, 0, 0, {name, r.line, column[COL_ZIP] + 1}};
    bool ok = true;
    for (int slot : {COL_LONGITUDE, COL_LATITUDE}) {
        const char *why = "";
        double &v = slot == COL_LONGITUDE ? row.longitude : row.latitude;
        std::string text;
        const char *digits = number(r, slot, text, why);
        if (!digits || !parse_double_cell(digits, v, why)) {
            error(r.line, column[slot] + 1, "%s: %s", slot_name(slot, kindRow.columns).c_str(), why);
            ok = false;
        }
    }
    for (int slot : {COL_TRAVEL, COL_TRAFFIC}) {
        uint64_t v = 0;
        if (empty(r, slot)) continue;
        if (!whole_cell(r, slot, UINT32_MAX, v, slot == COL_TRAVEL ? "travel minutes" : "traffic minutes")) ok = false;
        (slot == COL_TRAVEL ? row.travelMinutes : row.trafficMinutes) = uint32_t(v);
    }
    auto [seen, added] = set.zipSeen.emplace(zip, row.place);
    if (!added) {
        std::string first = seen->second.file + ":" + std::to_string(seen->second.line);
        error(r.line, column[COL_ZIP] + 1, "ZIP code %u is in the table twice (first at %s)", zip,
              first.c_str());
        return;
    }
    if (ok) set.zips.push_back(row);
}

void FileReader::census_row(const Record &r, uint32_t zip)
{
    const char *why = "";
    uint64_t year = uint64_t(options.year);
    if (year == 0 && (!parse_whole_cell(cell(r, COL_YEAR), 9999, year, why) || year < uint64_t(FIT_FIRST_YEAR) ||
                      year > uint64_t(FIT_LAST_YEAR))) {
        error(r.line, column[COL_YEAR] + 1, "the census year must be %d to %d (the viewer's time line ends in 2021): %s",
              FIT_FIRST_YEAR, FIT_LAST_YEAR, cell(r, COL_YEAR));
        return;
    }
    const int y = int(year) - FIT_FIRST_YEAR;
    CensusUpdate &u = set.census[zip];
    if (!censusRows.insert({zip, y}).second) {
        error(r.line, column[COL_ZIP] + 1, "ZIP code %u and year %d are in the table twice", zip,
              int(year));
        return;
    }
    u.yearSeen[y] = true;
    const int slots[3] = {COL_POPULATION, COL_HOUSEHOLDS, COL_FAMILIES};
    for (int s = 0; s < 3; ++s) {
        if (column[slots[s]] < 0) continue;
        float v = 0;
        bool given = false;
        if (!count_cell(r, slots[s], v, given) || !given) continue;
        // One table a year and series is the census's way; the same count twice is a slip.
        if (u.seriesGiven[s][y]) {
            error(r.line, column[slots[s]] + 1, "ZIP code %u: a %s count of %d is in another table too", zip,
                  SERIES_NAMES[s], int(year));
            continue;
        }
        u.series[s][y] = v;
        u.seriesGiven[s][y] = true;
    }
}

void FileReader::detail_row(const Record &r, uint32_t zip)
{
    CensusUpdate &u = set.census[zip];
    if (!detailZips.insert(zip).second) {
        error(r.line, column[COL_ZIP] + 1, "ZIP code %u is in the detail table twice", zip);
        return;
    }
    u.detailSeen = true;
    for (int f = 0; f < FIELD_COUNT; ++f) {
        if (column[DETAIL_FIRST + f] < 0) continue;
        float v = 0;
        bool given = false;
        if (count_cell(r, DETAIL_FIRST + f, v, given) && given) {
            u.detail[f] = v;
            u.detailGiven[f] = true;
            u.detailYear[f] = uint16_t(options.year ? options.year : DETAIL_YEAR);
        }
    }
}

void FileReader::enrollment_row(const Record &r, uint32_t zip)
{
    uint64_t campus = 0, year = 0, students = 0;
    const char *why = "";
    if (!parse_whole_cell(cell(r, COL_CAMPUS), 9, campus, why) || campus < 1 || campus > 2) {
        error(r.line, column[COL_CAMPUS] + 1, "the campus must be 1 or 2: %s", cell(r, COL_CAMPUS));
        return;
    }
    int entry = -1;
    std::string yearText = lower_name(cell(r, COL_YEAR));
    if (yearText == "max") entry = ENROLL_MAX;
    else if (parse_whole_cell(yearText.c_str(), 9999, year, why) && year >= uint64_t(ENROLL_FIRST_YEAR) &&
             year <= uint64_t(ENROLL_LAST_YEAR))
        entry = int(year) - ENROLL_FIRST_YEAR;
    if (entry < 0) {
        error(r.line, column[COL_YEAR] + 1, "the year must be 1990 to 2006 or max: %s", cell(r, COL_YEAR));
        return;
    }
    EnrollmentUpdate &u = set.enrollment[zip];
    int c = int(campus) - 1;
    if (u.rowSeen[c][entry]) {
        error(r.line, column[COL_ZIP] + 1, "ZIP code %u, campus %d and year %s are in the table twice", zip,
              int(campus), yearText.c_str());
        return;
    }
    u.rowSeen[c][entry] = true;
    if (empty(r, COL_STUDENTS)) return;
    if (!whole_cell(r, COL_STUDENTS, 65535, students, "students (a whole number 0 to 65535)")) return;
    u.students[c][entry] = uint16_t(students);
    u.given[c][entry] = true;
    if (entry == ENROLL_MAX) u.maxPlace[c] = {name, r.line, column[COL_STUDENTS] + 1};
}

const TableKindRow TABLE_KINDS[TABLE_KIND_COUNT] = {
    {{"zips", "zip, longitude, latitude, travel_minutes (or travel), traffic_minutes (or traffic)", false},
     ZIPS_COLUMNS, false, "no column %s: those minutes are 0", "", &FileReader::zips_row},
    {{"census", "zip (or GEO_ID), year (1990 to 2020, or --year), population, households, families", true},
     CENSUS_COLUMNS, false, nullptr,   // a download of one series is the census's way
     "kept as the counts of 1990, 2000, 2007 and 2012, left out where the points are fitted", &FileReader::census_row},
    {{"detail", "zip (or GEO_ID), f0 ... f306 (the counts of each line of ui/fields.ui, of 2007 or --year)", true},
     DETAIL_COLUMNS, true, "no column for %s: the stored values are kept (0 in a new file)", "kept",
     &FileReader::detail_row},
    {{"enrollment", "zip, campus (1 or 2), year (1990..2006 or max), students", false},
     ENROLLMENT_COLUMNS, false, nullptr, "", &FileReader::enrollment_row},
};

void FileReader::warnings()
{
    if (emptyCount)
        report(diag, false, name, emptyLine, emptyField,
               "%ld empty cell%s keep%s the stored value (0 in a new file)", emptyCount,
               emptyCount == 1 ? "" : "s", emptyCount == 1 ? "s" : "");
    if (negativeCount)
        report(diag, false, name, negativeLine, negativeField,
               "%ld negative count%s (census files mark missing figures so) %s", negativeCount,
               negativeCount == 1 ? "" : "s", kindRow.negativeFate);
}

}  // namespace

const TableKindInfo &table_kind_info(TableKind kind) { return TABLE_KINDS[kind].info; }

std::string column_name_refusal(TableKind kind, const std::string &name)
{
    const TableKindRow &row = TABLE_KINDS[kind];
    const std::string lower = lower_name(name);
    std::string names;
    for (const ColumnName &c : row.columns) {
        if (lower == c.name) return "";
        names += (names.empty() ? "" : ", ") + std::string(c.name);
    }
    if (row.fieldColumns) {
        if (field_line_of(lower) >= 0) return "";
        names += ", f0 ... f306";
    }
    return names;
}

int read_table(const char *name, const char *bytes, size_t size, TableKind kind, TableSet &set, Diagnostics &diag,
               const TableOptions &options)
{
    int errorsBefore = diag.errors;
    TableText text;
    std::string undecoded;
    long badLine = 0;
    if (!decode_table_text(bytes, size, text, undecoded, badLine)) {
        report(diag, true, name, badLine, 0, "%s", undecoded.c_str());
        return 0;
    }
    const std::string note = table_text_note(text);
    if (!note.empty()) set.readAs.push_back(std::string(name) + ": " + note);
    Splitter splitter;
    const char *why = nullptr;
    if (!split_records(text.text.data(), text.text.size(), text.separator, splitter, badLine, why)) {
        report(diag, true, name, badLine, 0, "%s", why);
        return 0;
    }
    // A NUL ends a cell for every reader of C strings: refused, not read as a shorter cell.
    if (splitter.nulLine) {
        report(diag, true, name, splitter.nulLine, splitter.nulField,
               "a NUL byte in the cell: a table is text (save it as CSV UTF-8)");
        return 0;
    }
    if (splitter.records.empty()) {
        report(diag, true, name, 0, 0, "the table is empty: it needs a header row");
        return 0;
    }
    FileReader reader{name, TABLE_KINDS[kind], options, text.decimal, set, diag, {}, 0, 0, 0, 0, 0, 0, 0, {}, {}};
    const Record &head = splitter.records.front();
    if (!reader.header(head)) return 0;
    for (size_t i = 1; i < splitter.records.size(); ++i) {
        const Record &r = splitter.records[i];
        uint32_t zip = 0;
        const char *notZip = "";
        // Census downloads put a row of labels under the header: no digit in its zip cell.
        if (i == 1 && parse_zip_cell(reader.cell(r, COL_ZIP), zip, notZip) == -1) continue;
        reader.row(r);
    }
    if (reader.errorsHere > MAX_ERRORS_SHOWN)
        report(diag, true, name, 0, 0, "%d more errors not shown", reader.errorsHere - MAX_ERRORS_SHOWN),
            --diag.errors;
    reader.warnings();
    return diag.errors == errorsBefore;
}
