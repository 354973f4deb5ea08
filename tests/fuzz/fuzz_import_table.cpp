// fuzz_import_table.cpp -- libFuzzer harness: any bytes as one of tallydata's four
// tables, in any of the shapes spreadsheets save (UTF-8, UTF-16 in either order,
// commas, semicolons with decimal commas, tabs). The first byte chooses the kind (its
// value mod 4: zips, census, detail, enrollment; the seeds start with '0' to '3') and
// the table's options: with bit 2 set, --year 1990 + (byte / 8) mod 31 for a kind that
// takes one; with bit 7 set, --column renaming a census header of the kind's own
// (population=p1_001n, students=headcount, zip=zcta). The rest is the file. It is read
// twice into one set, as when an option is repeated. Whatever it holds, the reader must
// not crash, must return 0 exactly when it reported an error, must keep only ZIP codes
// 1 to 99999, census years 1990 to 2020 and finite figures that its writer writes back
// to the same value, and must refuse the second copy of a row that gave a figure.
#include "fuzz_support.h"
#include "tables.h"

#include <cmath>
#include <cstring>

namespace {

void check_messages(const Diagnostics &diag)
{
    for (const std::string &line : diag.lines) {
        FUZZ_CHECK(line.rfind("tallydata: ", 0) == 0);
        FUZZ_CHECK(line.find('\n') == std::string::npos);
    }
}

// The writer's text of a figure reads back to exactly that figure.
void check_round_trip(float value)
{
    FUZZ_CHECK(std::isfinite(value));
    float back = 0;
    const char *why = nullptr;
    FUZZ_CHECK(parse_float_cell(float_text(value).c_str(), back, why) == 1);
    FUZZ_CHECK(std::memcmp(&back, &value, sizeof value) == 0 || (back == 0 && value == 0));
}

void check_set(const TableSet &set)
{
    for (const ZipRow &row : set.zips) {
        FUZZ_CHECK(row.zip >= 1 && row.zip <= 99999);
        FUZZ_CHECK(std::isfinite(row.longitude) && std::isfinite(row.latitude));
    }
    for (const auto &[zip, update] : set.census) {
        FUZZ_CHECK(zip >= 1 && zip <= 99999);
        for (int s = 0; s < SERIES_COUNT; ++s)
            for (int y = 0; y < FIT_YEARS; ++y)
                if (update.seriesGiven[s][y]) check_round_trip(update.series[s][y]);
        for (int i = 0; i < FIELD_COUNT; ++i)
            if (update.detailGiven[i]) {
                check_round_trip(update.detail[i]);
                FUZZ_CHECK(update.detailYear[i] >= FIT_FIRST_YEAR && update.detailYear[i] <= FIT_LAST_YEAR);
            }
    }
    for (const auto &[zip, update] : set.enrollment) FUZZ_CHECK(zip >= 1 && zip <= 99999);
}

// A row of this kind that the first reading accepted.
bool accepted_a_row(const TableSet &set, TableKind kind)
{
    if (kind == TABLE_ZIPS) return !set.zips.empty();
    if (kind == TABLE_CENSUS) {
        for (const auto &entry : set.census)
            for (const auto &series : entry.second.seriesGiven)
                for (bool given : series)
                    if (given) return true;
    }
    if (kind == TABLE_ENROLLMENT) {
        for (const auto &entry : set.enrollment)
            for (const auto &campus : entry.second.rowSeen)
                for (bool seen : campus)
                    if (seen) return true;
    }
    return false;   // a detail row given twice simply gives its cells again
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0) return 0;
    const TableKind kind = TableKind(data[0] % 4);
    TableOptions options;
    if ((data[0] & 4) && table_kind_info(kind).takesYear) options.year = FIT_FIRST_YEAR + (data[0] / 8) % FIT_YEARS;
    const char *const renames[TABLE_KIND_COUNT][2] = {
        {"zip", "zcta"}, {"population", "p1_001n"}, {"zip", "zcta"}, {"students", "headcount"}};
    if (data[0] & 128) options.columns.push_back({renames[kind][0], renames[kind][1]});
    const char *bytes = reinterpret_cast<const char *>(data + 1);
    TableSet set;
    Diagnostics diag;
    int first = read_table("first.csv", bytes, size - 1, kind, set, diag, options);
    FUZZ_CHECK(first == (diag.errors == 0));
    check_set(set);
    const bool clean = first == 1 && accepted_a_row(set, kind);
    const int errorsBefore = diag.errors;
    int second = read_table("second.csv", bytes, size - 1, kind, set, diag, options);
    FUZZ_CHECK(second == (diag.errors == errorsBefore));
    FUZZ_CHECK(!clean || second == 0);
    check_set(set);
    check_messages(diag);
    return 0;
}
