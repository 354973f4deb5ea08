// census_files.cpp -- planning the census files of an import: the stored file, the
// kept counts and the counts of this import merged; each series' points merged or
// fitted; detail counts of other years scaled; the totals filled where no detail count
// was ever given; and the given-counts table written back beside them.
//
// Sections:
//   [SECTION] The given-counts table
//   [SECTION] One series
//   [SECTION] Detail counts
//   [SECTION] The plan
#include "census_files.h"
#include "census_fit.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// ============================================================================
// [SECTION] The given-counts table
// ============================================================================
const char GIVEN_HEADER[] = "zip,what,year,count";
const char FILLED[] = "filled";

std::vector<std::string> split_commas(const std::string &line)
{
    std::vector<std::string> cells(1);
    for (char c : line) {
        if (c == ',') cells.emplace_back();
        else cells.back() += c;
    }
    return cells;
}

bool whole_number(const std::string &text, long low, long high, long &value)
{
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && value >= low && value <= high;
}

// What a "what" cell names: a series code 0..2, or a field line as FIELD_COUNT + line.
int what_of(const std::string &what)
{
    for (int s = 0; s < SERIES_COUNT; ++s)
        if (what == SERIES_NAMES[s]) return s;
    long line = 0;
    if (what.size() >= 2 && what[0] == 'f' && !(what.size() > 2 && what[1] == '0') &&
        whole_number(what.substr(1), 0, FIELD_COUNT - 1, line))
        return FIELD_COUNT + int(line);
    return -1;
}

// One line of the table into table; false when it is not a line this file writes.
bool read_given_line(const std::string &line, GivenTable &table)
{
    const std::vector<std::string> cells = split_commas(line);
    long zip = 0, year = 0;
    if (cells.size() != 4 || !whole_number(cells[0], 1, 99999, zip)) return false;
    if (!whole_number(cells[2], FIT_FIRST_YEAR, FIT_LAST_YEAR, year)) return false;
    const int what = what_of(cells[1]);
    if (what < 0) return false;
    GivenCounts &given = table[uint32_t(zip)];
    if (what >= FIELD_COUNT && cells[3] == FILLED) {
        given.filled.insert(what - FIELD_COUNT);
        return year == DETAIL_YEAR;
    }
    float count = 0;
    const char *why = "";
    if (!parse_float_cell(cells[3].c_str(), count, why)) return false;
    if (what < SERIES_COUNT) given.series[what][int(year)] = count;
    else if (year != DETAIL_YEAR) given.detail[what - FIELD_COUNT] = {int(year), count};
    else return false;
    return true;
}

}  // namespace

int read_given_table(const fs::path &path, GivenTable &table, Diagnostics &diag)
{
    std::string bytes;
    const int got = read_whole_file(path, bytes);
    if (got < 0) {
        report(diag, true, path.c_str(), 0, 0, "cannot be read (%s)", std::strerror(errno));
        return 0;
    }
    if (got == 0) return 1;
    std::istringstream in(bytes);
    std::string line;
    long number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || (number == 1 && line == GIVEN_HEADER)) continue;
        if (number == 1 || !read_given_line(line, table)) {
            report(diag, true, path.c_str(), number, 0,
                   "not a line of the census counts that tallydata keeps (%s; the count a number, or \"%s\" "
                   "for a field line of %d): mend or remove the line",
                   GIVEN_HEADER, FILLED, DETAIL_YEAR);
            return 0;
        }
    }
    return 1;
}

std::string given_table_text(const GivenTable &table)
{
    std::string text = std::string(GIVEN_HEADER) + "\n";
    for (const auto &[zip, given] : table) {
        const std::string z = std::to_string(zip) + ",";
        for (int s = 0; s < SERIES_COUNT; ++s)
            for (const auto &[year, count] : given.series[s])
                text += z + SERIES_NAMES[s] + "," + std::to_string(year) + "," + float_text(count) + "\n";
        std::set<int> lines(given.filled);
        for (const auto &entry : given.detail) lines.insert(entry.first);
        for (int f : lines) {
            const auto found = given.detail.find(f);
            text += z + "f" + std::to_string(f) + ",";
            if (found == given.detail.end()) text += std::to_string(DETAIL_YEAR) + "," + FILLED + "\n";
            else text += std::to_string(found->second.first) + "," + float_text(found->second.second) + "\n";
        }
    }
    return text;
}

namespace {

// ============================================================================
// [SECTION] One series
// ============================================================================
// What the plan tells in its summary, gathered over the ZIP codes.
struct PlanSummary {
    std::map<std::string, std::pair<long, uint32_t>> fits;   // what was fitted -> ZIP codes, the first
    double   largestMiss = 0;                                // over every series fitted
    std::string missText;                                    // where it is, for the note
    long     missing = 0;                                    // series whose curve misses a count by > 0.5
    long     leftOut = 0;                                    // negative counts left out of a fit
    std::string leftOutFirst;
    long     filled = 0;                                     // ZIP codes whose totals were filled
    uint32_t filledFirst = 0;
    long     unscaled = 0;                                   // detail counts left as given (curve(D) <= 0)
    std::string unscaledFirst;
    long     withoutDetail = 0;                              // new files with counts, all fields at 0
    uint32_t withoutDetailFirst = 0;
};

std::string year_list(const GivenCount *counts, int n)
{
    std::string list;
    for (int j = 0; j < n; ++j) list += (j ? ", " : "") + std::to_string(counts[j].year);
    return list;
}

std::string count_list(const GivenCount *counts, int n)
{
    std::string list;
    for (int j = 0; j < n; ++j)
        list += (j ? ", " : "") + float_text(float(counts[j].count)) + " (" + std::to_string(counts[j].year) + ")";
    return list;
}

// The points of series s of zip: merged cell by cell when only stored years were ever
// given, else fitted to every count given. False when the fit is refused (reported).
bool plan_series(uint32_t zip, int s, const CensusUpdate &u, const GivenCounts &given, CensusSeries &series,
                 PlanSummary &summary, Diagnostics &diag)
{
    const std::map<int, float> &counts = given.series[s];
    const bool onlyStored = std::all_of(counts.begin(), counts.end(),
                                        [](const auto &c) { return stored_point_index(c.first) >= 0; });
    if (onlyStored) {
        for (int k = 0; k < CENSUS_YEARS; ++k) {
            const int y = CENSUS_YEAR_LIST[k] - FIT_FIRST_YEAR;
            if (u.seriesGiven[s][y]) series.census[k] = u.series[s][y];
        }
        return true;
    }
    GivenCount list[FIT_YEARS];
    int n = 0;
    for (const auto &[year, count] : counts) {
        if (count >= 0) {
            list[n++] = {year, double(count)};
        } else if (summary.leftOut++ == 0) {
            summary.leftOutFirst = "ZIP code " + std::to_string(zip) + ", " + SERIES_NAMES[s] + " " + std::to_string(year);
        }
    }
    if (n == 0) return true;   // every count a missing figure: the stored points stay
    if (std::all_of(list, list + n, [](const GivenCount &g) { return g.count == 0; })) {
        // Nobody lives there: 0 at every point, and the viewer shows 0, as the counts say.
        std::fill(std::begin(series.census), std::end(series.census), 0.0f);
        return true;
    }
    CensusFit fit;
    const FitOutcome outcome = fit_census_points(list, n, fit);
    if (outcome != FIT_DONE) {
        report(diag, true, nullptr, 0, 0,
               "ZIP code %u: the %s counts %s %s: check the counts, or give a 2007 count", zip, SERIES_NAMES[s],
               count_list(list, n).c_str(),
               outcome == FIT_TOO_LARGE ? "give census points beyond single precision"
                                        : "need a 2007 point of 0 or less, which every ratio of the viewer divides by");
        return false;
    }
    std::string key = SERIES_NAMES[s];
    std::string estimated, held;
    for (int k = 0; k < CENSUS_YEARS; ++k) {
        series.census[k] = fit.points[k];
        if (!fit.given[k]) estimated += (estimated.empty() ? " " : ", ") + std::to_string(CENSUS_YEAR_LIST[k]);
        if (fit.heldAtZero[k]) held += (held.empty() ? "" : ", ") + std::to_string(CENSUS_YEAR_LIST[k]);
    }
    key += estimated + " estimated from " + year_list(list, n);
    if (!held.empty()) key += " (" + held + " held at 0)";
    auto &group = summary.fits[key];
    if (group.first++ == 0) group.second = zip;
    if (fit.largestMiss > 0.5) {
        ++summary.missing;
        if (fit.largestMiss > summary.largestMiss) {
            summary.largestMiss = fit.largestMiss;
            summary.missText = "ZIP code " + std::to_string(zip) + ", " + SERIES_NAMES[s] + " " +
                               std::to_string(fit.largestMissYear);
        }
    }
    return true;
}

// ============================================================================
// [SECTION] Detail counts
// ============================================================================
// A detail count of another year stored so that the viewer shows it at that year:
// times c2007 / curve(year) of the series its line is scaled by.
void scale_detail(uint32_t zip, ZipRecord &record, const GivenCounts &given, const int8_t (&fieldSeries)[FIELD_COUNT],
                  PlanSummary &summary)
{
    for (const auto &[f, yearCount] : given.detail) {
        const auto [year, count] = yearCount;
        record.detail[f] = count;
        const int code = fieldSeries[f];
        if (code < 0 || code >= SERIES_COUNT) continue;   // a heading: the viewer shows 0 for it anyway
        const CensusSeries &series = census_series(record, code);
        const float points[FIT_POINTS] = {series.census[0], series.census[1], series.census[2], series.census[3]};
        const double curve = census_curve(points, year);
        if (curve > 0 && series.census[2] > 0) {
            record.detail[f] = float(double(count) * series.census[2] / curve);
        } else if (summary.unscaled++ == 0) {
            summary.unscaledFirst = "ZIP code " + std::to_string(zip) + ", f" + std::to_string(f) + " of " +
                                    std::to_string(year) + " (" + SERIES_NAMES[code] + ")";
        }
    }
}

// With census counts and no detail count ever given, the first line of each series in
// the field list carries that series' 2007 point: the first field then shows the census
// count through time. Lines filled before are filled again from the new points.
void fill_totals(bool countsGiven, ZipRecord &record, GivenCounts &given, const int8_t (&fieldSeries)[FIELD_COUNT])
{
    bool anyDetail = !given.detail.empty();
    for (int f = 0; f < FIELD_COUNT && !anyDetail; ++f) anyDetail = record.detail[f] != 0 && !given.filled.count(f);
    if (countsGiven && !anyDetail)
        for (int s = 0; s < SERIES_COUNT; ++s) {
            if (!(census_series(record, s).census[2] > 0)) continue;
            const int8_t *first = std::find(fieldSeries, fieldSeries + FIELD_COUNT, int8_t(s));
            if (first != fieldSeries + FIELD_COUNT) given.filled.insert(int(first - fieldSeries));
        }
    for (int f : given.filled) {
        const int code = fieldSeries[f];
        record.detail[f] = code >= 0 && code < SERIES_COUNT ? census_series(record, code).census[2] : 0.0f;
    }
}

// ============================================================================
// [SECTION] The plan
// ============================================================================
void summary_notes(const PlanSummary &summary, CensusPlan &plan, Diagnostics &diag)
{
    constexpr size_t FITS_SHOWN = 6;
    size_t shown = 0;
    for (const auto &[what, group] : summary.fits) {
        if (shown++ == FITS_SHOWN) {
            plan.notes.push_back("census points fitted in " + std::to_string(summary.fits.size() - FITS_SHOWN) +
                                 " more ways");
            break;
        }
        plan.notes.push_back("census points fitted for " + std::to_string(group.first) + " ZIP code" +
                             (group.first == 1 ? "" : "s") + " (the first " + std::to_string(group.second) +
                             "): " + what);
    }
    if (summary.missing) {
        char miss[32];
        std::snprintf(miss, sizeof miss, "%.1f", summary.largestMiss);
        plan.notes.push_back("the viewer's curve misses a given count by more than 0.5 in " +
                             std::to_string(summary.missing) + " series, by up to " + miss + " (" + summary.missText +
                             "): no curve of the viewer meets all their counts");
    }
    if (summary.leftOut)
        report(diag, false, nullptr, 0, 0,
               "%ld negative census count%s (the census's code for a missing figure) left out of the fit, the "
               "first %s", summary.leftOut, summary.leftOut == 1 ? "" : "s", summary.leftOutFirst.c_str());
    if (summary.unscaled)
        report(diag, false, nullptr, 0, 0,
               "%ld detail count%s stored as given, the first %s: the series' curve is 0 or less in that year, so "
               "the viewer shows another count there", summary.unscaled, summary.unscaled == 1 ? "" : "s",
               summary.unscaledFirst.c_str());
    if (summary.withoutDetail)
        report(diag, false, nullptr, 0, 0,
               "%ld new census file%s (the first for ZIP code %u) get%s no detail counts and no 2007 count to fill "
               "the totals with: the viewer shows 0 for %s in every field; give them with --detail",
               summary.withoutDetail, summary.withoutDetail == 1 ? "" : "s", summary.withoutDetailFirst,
               summary.withoutDetail == 1 ? "s" : "", summary.withoutDetail == 1 ? "it" : "them");
    if (summary.filled)
        report(diag, false, nullptr, 0, 0,
               "%ld ZIP code%s (the first %u) ha%s census counts and no detail counts: the first field line of "
               "each series counted holds its 2007 point, so that field shows the census count through time; "
               "give --detail for the other fields", summary.filled, summary.filled == 1 ? "" : "s",
               summary.filledFirst, summary.filled == 1 ? "s" : "ve");
}

}  // namespace

void plan_census(const fs::path &dataDir, bool replace, const TableSet &set, const int8_t (&fieldSeries)[FIELD_COUNT],
                 CensusPlan &plan, Diagnostics &diag)
{
    if (set.census.empty()) return;
    const fs::path tablePath = dataDir / GIVEN_TABLE_NAME;
    GivenTable table;
    std::error_code ec;   // a data folder that is not there yet has no counts kept
    if (fs::is_directory(dataDir, ec) && !read_given_table(tablePath, table, diag)) return;
    PlanSummary summary;
    for (const auto &[zip, u] : set.census) {
        ZipRecord record{};
        char name[ZONE_FILE_NAME_SIZE];
        zone_file_name(ZONE_CENSUS, zip, name);
        const fs::path path = dataDir / name;
        const int got = read_stored_zone_file(path, ZONE_CENSUS, replace, record, diag);
        if (got < 0) continue;
        GivenCounts given = replace ? GivenCounts() : table[zip];   // --replace forgets what this ZIP code had
        bool countsGiven = false;
        for (int s = 0; s < SERIES_COUNT; ++s)
            for (int y = 0; y < FIT_YEARS; ++y)
                if (u.seriesGiven[s][y]) {
                    given.series[s][FIT_FIRST_YEAR + y] = u.series[s][y];
                    countsGiven = true;
                }
        for (int f = 0; f < FIELD_COUNT; ++f) {
            if (!u.detailGiven[f]) continue;
            given.filled.erase(f);
            given.detail.erase(f);
            if (u.detailYear[f] == DETAIL_YEAR) record.detail[f] = u.detail[f];
            else given.detail[f] = {u.detailYear[f], u.detail[f]};
        }
        bool fitted = true;
        for (int s = 0; s < SERIES_COUNT; ++s)
            fitted = plan_series(zip, s, u, given, census_series(record, s), summary, diag) && fitted;
        if (!fitted) continue;
        scale_detail(zip, record, given, fieldSeries, summary);
        const size_t filledBefore = given.filled.size();
        fill_totals(countsGiven, record, given, fieldSeries);
        if (countsGiven && given.filled.size() > filledBefore && summary.filled++ == 0) summary.filledFirst = zip;
        auto zero = [](float v) { return v == 0; };
        bool anyCount = false;
        for (int s = 0; s < SERIES_COUNT; ++s)
            anyCount = anyCount || !std::all_of(std::begin(census_series(record, s).census),
                                                std::end(census_series(record, s).census), zero);
        if (got == 0 && anyCount && std::all_of(std::begin(record.detail), std::end(record.detail), zero) &&
            summary.withoutDetail++ == 0)
            summary.withoutDetailFirst = zip;

        unsigned char image[ZONE_FILE_SIZE];
        encode_zone_file(record, image);
        plan.files.push_back({path, std::string(reinterpret_cast<char *>(image), sizeof image)});
        const bool empty = given.filled.empty() && given.detail.empty() &&
                           std::all_of(std::begin(given.series), std::end(given.series),
                                       [](const auto &m) { return m.empty(); });
        if (empty) table.erase(zip);
        else table[zip] = given;
    }
    plan.files.push_back({tablePath, given_table_text(table)});
    summary_notes(summary, plan, diag);
}
