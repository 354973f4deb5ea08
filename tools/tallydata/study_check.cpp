// study_check.cpp -- the problems of a Load Data CSV and its data folder by kind: the
// CSV's own text (another table's header, line ends of a carriage return alone), each
// record's line and files as the viewer's load found them, and the text of each kind.
//
// Sections:
//   [SECTION] Kinds of problem
//   [SECTION] The Load Data CSV's text
//   [SECTION] Each record
//   [SECTION] The text of a kind
#include "study_check.h"
#include "census_files.h"
#include "file_set.h"

#include "scene.h"       // the base map's extent (constants only)
#include "selection.h"   // seriesCode: the series of each field line
#include "zip_table.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>

namespace {

// ============================================================================
// [SECTION] Kinds of problem
// ============================================================================
// What one kind says: the ZIP codes' fault, what the viewer shows, what to do. In
// the last two, {it} and {its} become "them" and "their" for more than one.
struct KindText {
    bool        note;    // told, not counted as a problem
    const char *one;     // after "1 ZIP code "
    const char *many;    // after "N ZIP codes "
    const char *shows;   // what the viewer will show
    const char *todo;    // what to do, or ""
};

const KindText KIND_TEXTS[SP_KIND_COUNT] = {
    {false, "stops the viewer's scan before its sixth field", "stop the viewer's scan before the sixth field",
     "the viewer reads 0 for the fields after", "give each line ZIP,ID,LONGITUDE,LATITUDE,TRAVEL,TRAFFIC"},
    {false, "has a field that ends inside its text, or a line longer than 255 characters",
     "have a field that ends inside its text, or a line longer than 255 characters",
     "the viewer misreads the line", "write ZIP, ID, TRAVEL and TRAFFIC as whole numbers, one ZIP code a line"},
    {false, "is listed twice", "are listed twice", "the viewer shows {it} twice", "remove the later line"},
    {false, "stands off the base map", "stand off the base map", "the viewer draws {it} beside the map",
     "check the longitude and latitude"},
    {false, "has no census file", "have no census file", "the viewer shows 0 for {it} in every field",
     "import census counts for {it} (tallydata import --census)"},
    {false, "has a census file that cannot be read", "have census files that cannot be read",
     "the viewer shows 0 for {it} in every field", "make {it} readable"},
    {false, "has a short census file", "have short census files", "the viewer shows 0 for the counts missing",
     "import {its} census and detail counts again"},
    {false, "has a census file longer than 1288 bytes", "have census files longer than 1288 bytes",
     "the viewer ignores the rest", "import {its} census and detail counts again"},
    {false, "has counts that are not finite numbers in its census file",
     "have counts that are not finite numbers in their census files", "the viewer shows 0 where they count",
     "import those counts again"},
    {false, "has negative counts in its census file", "have negative counts in their census files",
     "the viewer shows 0 where they count", "import those counts again"},
    {false, "has census counts and no detail counts", "have census counts and no detail counts",
     "every field stands at 0 for {it}",
     "import a detail table (--detail), or {its} census counts again, which fills the totals"},
    {false, "has a 2007 count of 0 in a series whose fields have detail counts",
     "have a 2007 count of 0 in a series whose fields have detail counts", "those fields stand at 0",
     "import census counts of that series"},
    {true, "has a census file of zeros", "have census files of zeros",
     "every field stands at 0 for {it}, as for an area where nobody lives", ""},
    {true, "has census points fitted to counts of other years than 1990, 2000, 2007 and 2012",
     "have census points fitted to counts of other years than 1990, 2000, 2007 and 2012",
     "the viewer's curve passes through those counts; between them it is the viewer's quadratic and may dip", ""},
    {true, "has no enrollment file", "have no enrollment file", "the campus colouring shows none for {it}",
     "import the registrar's table (--enrollment) if there is one"},
    {false, "has an enrollment file that cannot be read", "have enrollment files that cannot be read",
     "the campus colouring shows none for {it}", "make {it} readable"},
    {false, "has a short enrollment file", "have short enrollment files", "the viewer reads 0 for the years missing",
     "import the registrar's table again"},
    {false, "has an enrollment file longer than 72 bytes", "have enrollment files longer than 72 bytes",
     "the viewer ignores the rest", "import the registrar's table again"},
    {false, "has a maximum enrollment below one of its years", "have a maximum enrollment below one of their years",
     "the enrollment colours are scaled to the wrong maximum", "import the registrar's table again"},
};

// text with {it} and {its} for one ZIP code or for several.
std::string with_pronouns(std::string text, bool plural)
{
    const char *const forms[2][3] = {{"{it}", "it", "them"}, {"{its}", "its", "their"}};
    for (const auto &form : forms)
        for (size_t at; (at = text.find(form[0])) != std::string::npos;) text.replace(at, std::strlen(form[0]), form[plural ? 2 : 1]);
    return text;
}

void add(StudyFindings &findings, StudyProblem kind, uint32_t i, std::string detail = "")
{
    findings.found[kind].push_back({zipTable.records[i].zip, loadReport.lines[i].line, std::move(detail)});
}

// ============================================================================
// [SECTION] The Load Data CSV's text
// ============================================================================
// The header's cells, lower case, blanks around them dropped.
std::vector<std::string> header_cells(const std::string &bytes)
{
    const size_t end = bytes.find_first_of("\r\n");
    std::vector<std::string> cells(1);
    for (char c : bytes.substr(0, end)) {
        if (c == ',') cells.emplace_back();
        else cells.back() += char(std::tolower(static_cast<unsigned char>(c)));
    }
    for (std::string &cell : cells) {
        cell.erase(0, cell.find_first_not_of(" \t\""));
        cell.erase(cell.find_last_not_of(" \t\"") + 1);
    }
    return cells;
}

// Another of tallydata's tables, named by its header: what it is and how to use it, or
// null for anything the viewer may take (it skips the header whatever it holds).
const char *other_table(const std::vector<std::string> &cells, const char *&advice)
{
    auto has = [&](const char *name) { return std::find(cells.begin(), cells.end(), name) != cells.end(); };
    if (has("f0")) return advice = "import it with --detail", "a detail table";
    if (has("campus") && has("students")) return advice = "import it with --enrollment", "an enrollment table";
    if (has("geo_id")) return advice = "import it with --census", "a census download";
    if (has("year") && (has("population") || has("households") || has("families")))
        return advice = "import it with --census", "a census table";
    const bool loadLayout = cells.size() >= 4 && cells[2] == "longitude" && cells[3] == "latitude";
    if ((has("longitude") || has("latitude")) && !loadLayout)
        return advice = "make a Load Data CSV of it with: tallydata import --zips FILE --study study.csv",
               "a zips table";
    return nullptr;
}

}  // namespace

int check_study_text(const char *csv, bool linesAreErrors, Diagnostics &diag)
{
    std::string bytes;
    if (read_whole_file(csv, bytes) != 1) return 1;   // the viewer's load says why
    const char *advice = "";
    if (const char *kind = other_table(header_cells(bytes), advice)) {
        std::string how = advice;
        const size_t file = how.find("FILE");
        if (file != std::string::npos) how.replace(file, 4, csv);
        report(diag, true, csv, 1, 0,
               "this is %s, not a Load Data CSV (ZIP,ID,LONGITUDE,LATITUDE,TRAVEL,TRAFFIC): the viewer would "
               "read its columns in the wrong places; %s", kind, how.c_str());
        return 0;
    }
    long alone = 0, firstLine = 0, line = 1;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n') ++line;
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] != '\n' && alone++ == 0) firstLine = line;
    }
    if (alone)
        report(diag, linesAreErrors, csv, firstLine, 0,
               "%ld line end%s of a carriage return alone: the viewer takes none for a line end and reads what "
               "follows each as part of the line before, so it misreads or drops those ZIP codes; save the file "
               "with LF or CR LF line ends", alone, alone == 1 ? "" : "s");
    return 1;
}

int read_fitted_series(const std::string &dataDir, FittedSeries &fitted, Diagnostics &diag)
{
    GivenTable table;
    if (!read_given_table(std::filesystem::path(dataDir) / GIVEN_TABLE_NAME, table, diag)) return 0;
    for (const auto &[zip, given] : table) {
        std::string text;
        for (int s = 0; s < SERIES_COUNT; ++s) {
            const auto &counts = given.series[s];
            if (std::all_of(counts.begin(), counts.end(), [](const auto &c) { return stored_point_index(c.first) >= 0; }))
                continue;
            text += (text.empty() ? "" : "; ") + std::string(SERIES_NAMES[s]) + " from ";
            bool first = true;
            for (const auto &entry : counts) text += (first ? "" : ", ") + std::to_string(entry.first), first = false;
        }
        if (!text.empty()) fitted.byZip[zip] = text;
    }
    return 1;
}

// ============================================================================
// [SECTION] Each record
// ============================================================================
bool on_base_map(float longitude, float latitude)
{
    return longitude >= MAP_WEST && longitude <= MAP_EAST && latitude >= MAP_SOUTH && latitude <= MAP_NORTH;
}

void find_line_problems(uint32_t i, StudyFindings &findings)
{
    const ZipRecord &r = zipTable.records[i];
    const LoadLine &line = loadReport.lines[i];
    if (line.fields < 6) add(findings, SP_SCAN_SHORT, i, "after " + std::to_string(line.fields) + " of 6");
    else if (line.misread) add(findings, SP_MISREAD, i);
    for (uint32_t j = 0; j < i; ++j)
        if (zipTable.records[j].zip == r.zip) {
            add(findings, SP_TWICE, i, "also on line " + std::to_string(loadReport.lines[j].line));
            break;
        }
    if (!on_base_map(r.longitude, r.latitude))
        add(findings, SP_OFF_MAP, i, float_text(r.longitude) + ", " + float_text(r.latitude));
}

namespace {

// The file of kind as the load found it: true when it was read whole or in part.
bool find_file(uint32_t i, ZoneFileKind kind, StudyFindings &findings)
{
    const bool census = kind == ZONE_CENSUS;
    const long expected = long(ZONE_FILE_LAYOUTS[kind].size);
    const long held = census ? loadReport.lines[i].zoneBytes : loadReport.lines[i].enrollBytes;
    if (held == LOAD_FILE_MISSING) {
        add(findings, census ? SP_NO_CENSUS : SP_NO_ENROLLMENT, i);
        return false;
    }
    if (held == LOAD_FILE_UNREADABLE) {
        add(findings, census ? SP_CENSUS_UNREADABLE : SP_ENROLLMENT_UNREADABLE, i);
        return false;
    }
    if (held < expected)
        add(findings, census ? SP_CENSUS_SHORT : SP_ENROLLMENT_SHORT, i,
            std::to_string(held) + " of " + std::to_string(expected) + " bytes");
    else if (held > expected)
        add(findings, census ? SP_CENSUS_LONG : SP_ENROLLMENT_LONG, i);
    return true;
}

// Every count of the census file: the series (not the reserved values), then the
// details; what would make the viewer show 0 for some or all of its fields.
void find_census_counts(uint32_t i, const FittedSeries &fitted, StudyFindings &findings)
{
    const ZipRecord &r = zipTable.records[i];
    // Counted by position (the 12 series points, then the details); only the first of
    // each kind is named.
    constexpr int SERIES_VALUES = SERIES_COUNT * CENSUS_YEARS;
    int nonFinite = 0, negative = 0, firstBad = 0, firstNegative = 0;
    auto look = [&](float v, int at) {
        if (!std::isfinite(v)) { if (nonFinite++ == 0) firstBad = at; }
        else if (v < 0 && negative++ == 0) firstNegative = at;
    };
    auto count_name = [](int at) {
        if (at >= SERIES_VALUES) return "detail f" + std::to_string(at - SERIES_VALUES);
        return std::string(SERIES_NAMES[at / CENSUS_YEARS]) + " " + std::to_string(CENSUS_YEAR_LIST[at % CENSUS_YEARS]);
    };
    bool anySeries = false, anyDetail = false;
    for (int s = 0; s < SERIES_COUNT; ++s)
        for (int y = 0; y < CENSUS_YEARS; ++y) {
            const float v = census_series(r, s).census[y];
            look(v, s * CENSUS_YEARS + y);
            anySeries = anySeries || v != 0;
        }
    bool detailOf[SERIES_COUNT] = {};
    for (int f = 0; f < FIELD_COUNT; ++f) {
        look(r.detail[f], SERIES_VALUES + f);
        if (r.detail[f] == 0) continue;
        anyDetail = true;
        if (seriesCode[f] >= 0 && seriesCode[f] < SERIES_COUNT) detailOf[seriesCode[f]] = true;
    }
    if (nonFinite) add(findings, SP_NON_FINITE, i, std::to_string(nonFinite) + ", the first " + count_name(firstBad));
    if (negative) add(findings, SP_NEGATIVE, i, std::to_string(negative) + ", the first " + count_name(firstNegative));
    if (anySeries && !anyDetail) add(findings, SP_NO_DETAIL, i);
    if (!anySeries && !anyDetail) add(findings, SP_ALL_ZERO, i);
    std::string zeroSeries;
    for (int s = 0; s < SERIES_COUNT; ++s)
        if (detailOf[s] && census_series(r, s).census[2] == 0)
            zeroSeries += (zeroSeries.empty() ? "" : ", ") + std::string(SERIES_NAMES[s]);
    if (!zeroSeries.empty()) add(findings, SP_ZERO_2007, i, zeroSeries);
    const auto fit = fitted.byZip.find(r.zip);
    if (fit != fitted.byZip.end()) add(findings, SP_FITTED, i, fit->second);
}

void find_enrollment_maximum(uint32_t i, StudyFindings &findings)
{
    const ZipRecord &r = zipTable.records[i];
    for (int c = 0; c < 2; ++c) {
        const uint16_t largest = *std::max_element(r.enrollment[c], r.enrollment[c] + ENROLL_MAX);
        if (r.enrollment[c][ENROLL_MAX] < largest)
            add(findings, SP_MAXIMUM, i,
                "campus " + std::to_string(c + 1) + ": " + std::to_string(r.enrollment[c][ENROLL_MAX]) + " below " +
                    std::to_string(largest));
    }
}

}  // namespace

void find_file_problems(uint32_t i, const FittedSeries &fitted, StudyFindings &findings)
{
    if (find_file(i, ZONE_CENSUS, findings)) find_census_counts(i, fitted, findings);
    if (find_file(i, ZONE_ENROLLMENT, findings)) find_enrollment_maximum(i, findings);
}

// ============================================================================
// [SECTION] The text of a kind
// ============================================================================
bool study_problem_is_note(StudyProblem kind) { return KIND_TEXTS[kind].note; }

std::string study_problem_text(StudyProblem kind, const std::vector<StudyFinding> &found, bool all)
{
    constexpr size_t SHOWN = 5;
    const KindText &k = KIND_TEXTS[kind];
    const size_t n = found.size();
    std::string text = std::to_string(n) + " ZIP code" + (n == 1 ? " " : "s ") + (n == 1 ? k.one : k.many) + " (";
    const size_t listed = all ? n : std::min(n, SHOWN);
    for (size_t j = 0; j < listed; ++j) {
        const StudyFinding &f = found[j];
        text += (j ? "; " : "") + std::to_string(f.zip) + " on line " + std::to_string(f.line);
        if (!f.detail.empty()) text += ", " + f.detail;
    }
    if (listed < n) text += "; and " + std::to_string(n - listed) + " more: --all lists every one";
    text += "): " + with_pronouns(k.shows, n > 1);
    if (*k.todo) text += "; " + with_pronouns(k.todo, n > 1);
    return text;
}
