// tallydata.cpp -- the commands of the tallydata program:
//   import  tables (zips, census, detail, enrollment) into a data directory's per-ZIP
//           census (.zc) and enrollment (.enr) files and a Load Data CSV, all or nothing;
//   export  the files of a Load Data CSV's ZIP codes back into the four tables;
//   check   a data directory against a Load Data CSV, by the viewer's own loading rules.
// Messages: "tallydata: FILE:LINE:FIELD: error: TEXT" (or warning) on the error stream;
// on success one summary line on the output stream.
// Exit status: 0 done (check: nothing found); 1 an error in the data, a file that
// could not be read or written, or (check) a problem found; 2 a wrong command line,
// refused before anything is read.
//
// Sections:
//   [SECTION] Help texts
//   [SECTION] Command line
//   [SECTION] The installed data and the data directory
//   [SECTION] import
//   [SECTION] export
//   [SECTION] check
//   [SECTION] Entry
#include "tallydata.h"
#include "file_set.h"
#include "tables.h"

#include "data_paths.h"
#include "field_list.h"
#include "platform.h"
#include "scene.h"        // the base map's extent (constants only)
#include "zip_table.h"
#include "zone_files.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

// ============================================================================
// [SECTION] Help texts
// ============================================================================
static const char USAGE[] =
    "usage: tallydata import [--data DIR] [--zips T.csv]... [--census T.csv]... [--detail T.csv]...\n"
    "                        [--enrollment T.csv]... [--study OUT.csv] [--replace] [--dry-run]\n"
    "       tallydata export [--data DIR] --load STUDY.csv --into DIR\n"
    "       tallydata check  [--data DIR] --load STUDY.csv\n"
    "       tallydata --help | tallydata COMMAND --help\n";

static const char HELP[] =
    "tallydata -- your own census and enrollment figures in and out of a Tallymap data folder.\n"
    "\n"
    "  import   turn tables (CSV) into the per-ZIP census and enrollment files of a data\n"
    "           folder, and a zips table into a Load Data CSV\n"
    "  export   write the figures of a Load Data CSV's ZIP codes as the four tables\n"
    "  check    report what the viewer would misread or show as 0 for a Load Data CSV\n"
    "\n"
    "--data DIR names the data folder (default ./data). 'tallydata COMMAND --help' says more.\n"
    "Exit status: 0 done, 1 an error in the data or a file, 2 a wrong command line.\n";

static const char IMPORT_HELP[] =
    "usage: tallydata import [--data DIR] [--zips T.csv]... [--census T.csv]... [--detail T.csv]...\n"
    "                        [--enrollment T.csv]... [--study OUT.csv] [--replace] [--dry-run]\n"
    "\n"
    "Reads every table, checks everything, and only then writes: one census file\n"
    "DIR/zips/ZIP.zc per ZIP code of --census or --detail, one enrollment file\n"
    "DIR/enroll/ZIP.enr per ZIP code of --enrollment, and with --zips the Load Data CSV\n"
    "--study (default study.csv). A file that exists is updated cell by cell; --replace\n"
    "starts the files it writes from zeros. A folder without ui/ or maps/ gets a copy of\n"
    "the installed ones. Any error leaves every file as it was.\n"
    "\n"
    "Tables: CSV with a header row; columns found by name, in any order:\n"
    "  zips        zip, longitude, latitude, travel_minutes (or travel), traffic_minutes (or traffic)\n"
    "  census      zip, year (1990, 2000, 2007, 2012), population, households, families\n"
    "  detail      zip, f0 ... f306 (the 2007 count of each line of ui/fields.ui)\n"
    "  enrollment  zip, campus (1 or 2), year (1990..2006 or max), students\n"
    "A ZIP cell may carry a prefix (ZCTA5 77002, 860Z200US77002). Each option may be\n"
    "given more than once (one census download per year).\n"
    "\n"
    "  --data DIR      the data folder to write (default ./data); not the installed data\n"
    "  --study OUT     where the Load Data CSV from --zips goes (default study.csv)\n"
    "  --replace       start from zeros instead of the stored values\n"
    "  --dry-run       read and check everything, write nothing\n";

static const char EXPORT_HELP[] =
    "usage: tallydata export [--data DIR] --load STUDY.csv --into DIR\n"
    "\n"
    "Writes zips.csv, census.csv, detail.csv and enrollment.csv into the --into folder\n"
    "for the ZIP codes of the Load Data CSV, in its order, from the files of the data\n"
    "folder (default ./data). Importing them gives the same files back.\n";

static const char CHECK_HELP[] =
    "usage: tallydata check [--data DIR] --load STUDY.csv\n"
    "\n"
    "Reads the Load Data CSV as the viewer does and reports, one line each with the\n"
    "CSV's line number and the ZIP code, what the viewer would misread or refuse and\n"
    "every ZIP code whose census or enrollment file is missing, short or too long, holds\n"
    "a non-finite or negative count or a maximum enrollment below one of its years, or\n"
    "stands off the base map. Writes nothing. Exit status 0 when nothing was found.\n";

// ============================================================================
// [SECTION] Command line
// ============================================================================
namespace {

enum Command { CMD_NONE, CMD_IMPORT, CMD_EXPORT, CMD_CHECK };

struct Options {
    Command command = CMD_NONE;
    bool    help = false;
    std::string data = "./data";
    std::vector<std::string> tables[4];   // by TableKind, in command-line order
    std::string study = "study.csv";
    bool studyGiven = false;
    bool replace = false;
    bool dryRun = false;
    std::string load, into;
};

struct KnownOption {
    const char *name;
    Command     command;   // CMD_NONE: every command
    bool        takesValue;
};

const KnownOption OPTIONS[] = {
    {"--data", CMD_NONE, true},         {"--zips", CMD_IMPORT, true},      {"--census", CMD_IMPORT, true},
    {"--detail", CMD_IMPORT, true},     {"--enrollment", CMD_IMPORT, true}, {"--study", CMD_IMPORT, true},
    {"--replace", CMD_IMPORT, false},   {"--dry-run", CMD_IMPORT, false},   {"--load", CMD_EXPORT, true},
    {"--load", CMD_CHECK, true},        {"--into", CMD_EXPORT, true},       {"--help", CMD_NONE, false},
};

// Fills options from argv; returns "" or the one-line reason the command line is wrong.
std::string parse_command_line(int argc, char **argv, Options &o)
{
    if (argc < 2) return "no command (import, export or check)";
    std::string first = argv[1];
    if (first == "--help" || first == "-h") {
        o.help = true;
        return argc == 2 ? "" : "--help takes nothing after it";
    }
    if (first == "import") o.command = CMD_IMPORT;
    else if (first == "export") o.command = CMD_EXPORT;
    else if (first == "check") o.command = CMD_CHECK;
    else return "unknown command '" + first + "' (import, export or check)";

    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i], value;
        bool inlineValue = false;
        size_t equals = arg.find('=');
        if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = arg.substr(equals + 1);
            arg = arg.substr(0, equals);
            inlineValue = true;
        }
        if (arg == "-h") arg = "--help";
        const KnownOption *known = nullptr;
        for (const KnownOption &s : OPTIONS)
            if (arg == s.name && (s.command == CMD_NONE || s.command == o.command)) known = &s;
        if (!known) {
            if (arg.rfind("-", 0) == 0) return "unknown option '" + arg + "' for " + first;
            return "unexpected argument '" + arg + "'";
        }
        if (known->takesValue && !inlineValue) {
            if (i + 1 >= argc) return arg + " needs a value";
            value = argv[++i];
        } else if (!known->takesValue && inlineValue) {
            return arg + " takes no value";
        }
        if (known->takesValue && value.empty()) return arg + " needs a value";
        if (arg == "--help") o.help = true;
        else if (arg == "--data") o.data = value;
        else if (arg == "--zips") o.tables[TABLE_ZIPS].push_back(value);
        else if (arg == "--census") o.tables[TABLE_CENSUS].push_back(value);
        else if (arg == "--detail") o.tables[TABLE_DETAIL].push_back(value);
        else if (arg == "--enrollment") o.tables[TABLE_ENROLLMENT].push_back(value);
        else if (arg == "--study") { o.study = value; o.studyGiven = true; }
        else if (arg == "--replace") o.replace = true;
        else if (arg == "--dry-run") o.dryRun = true;
        else if (arg == "--load") o.load = value;
        else if (arg == "--into") o.into = value;
    }
    if (o.help) return "";
    if (o.command == CMD_IMPORT) {
        bool any = false;
        for (const auto &t : o.tables) any = any || !t.empty();
        if (!any) return "import needs at least one table (--zips, --census, --detail or --enrollment)";
        if (o.studyGiven && o.tables[TABLE_ZIPS].empty()) return "--study needs --zips";
    }
    if ((o.command == CMD_EXPORT || o.command == CMD_CHECK) && o.load.empty()) return first + " needs --load STUDY.csv";
    if (o.command == CMD_EXPORT && o.into.empty()) return "export needs --into DIR";
    return "";
}

// ============================================================================
// [SECTION] The installed data and the data directory
// ============================================================================
// The data folder the program was installed with: beside the program as installed
// (bin/../share/tallymap/data), else the source tree's data/ of this build.
fs::path installed_data()
{
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        fs::path beside = self.parent_path() / TALLYDATA_SHARE_FROM_BINDIR / "data";
        if (fs::exists(beside / "ui", ec)) return fs::weakly_canonical(beside, ec);
    }
    return fs::path(TALLYDATA_BUILD_DATA);
}

// 1 when path, resolved through every link, is folder or lies inside it.
bool resolves_into(const fs::path &path, const fs::path &folder)
{
    std::error_code ec1, ec2;
    fs::path p = fs::weakly_canonical(fs::absolute(path), ec1);
    fs::path f = fs::weakly_canonical(folder, ec2);
    if (ec1 || ec2 || f.empty()) return false;
    return std::mismatch(f.begin(), f.end(), p.begin(), p.end()).first == f.end();
}

// Where a message the loader would show in a box goes instead, while load_study runs.
Diagnostics *loaderDiag;
const char  *loaderFile;

void loader_message(const char *text, const char *, WindowHandle)
{
    report(*loaderDiag, true, loaderFile, loadReport.tooManyLine, 0, "%s", text);
}

// Loads the Load Data CSV --load as the viewer does, with the data directory --data.
int load_study(const Options &o, Diagnostics &diag)
{
    if (!set_data_directory(o.data.c_str())) {
        report(diag, true, o.data.c_str(), 0, 0, "the path of the data folder is too long");
        return 0;
    }
    if (o.load.size() >= size_t(PATH_SIZE)) {
        report(diag, true, o.load.c_str(), 0, 0, "the path is longer than %d characters", PATH_SIZE - 1);
        return 0;
    }
    if (const char *reason = open_failure(o.load.c_str())) {
        report(diag, true, o.load.c_str(), 0, 0, "cannot be read (%s)", reason);
        return 0;
    }
    loaderDiag = &diag;
    loaderFile = o.load.c_str();
    const ModalHandler console = {loader_message, nullptr, nullptr};
    ModalHandler previous = set_modal_handler(&console);
    int loaded = read_records(o.load.c_str());
    set_modal_handler(previous.messageBox ? &previous : nullptr);
    return loaded;
}

std::string zip_name(uint32_t zip, const char *suffix) { return std::to_string(zip) + suffix; }

bool on_map(float longitude, float latitude)
{
    return longitude >= MAP_WEST && longitude <= MAP_EAST && latitude >= MAP_SOUTH && latitude <= MAP_NORTH;
}

const char *const SERIES_NAMES[3] = {"population", "households", "families"};

// ============================================================================
// [SECTION] import
// ============================================================================
std::string fixed6(double v)
{
    char text[64];
    auto [end, error] = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, 6);
    return error == std::errc() ? std::string(text, end) : std::string();
}

int import_command(const Options &o, FILE *out, Diagnostics &diag)
{
    const fs::path dataDir = o.data;
    const fs::path installed = installed_data();
    if (resolves_into(dataDir, installed)) {
        report(diag, true, o.data.c_str(), 0, 0,
               "this is the installed sample data (%s); import into a folder of your own, "
               "such as --data ~/mydata/data", installed.c_str());
        return EXIT_FAILED;
    }

    // The study file must not overwrite the installed Load Data CSVs either.
    const fs::path installedExamples = installed.parent_path() / "examples";
    if (!o.tables[TABLE_ZIPS].empty() &&
        (resolves_into(o.study, installed) || resolves_into(o.study, installedExamples))) {
        report(diag, true, o.study.c_str(), 0, 0,
               "this is part of the installed sample data; write the study file into a folder of your own");
        return EXIT_FAILED;
    }

    TableSet set;
    for (int kind = 0; kind < 4; ++kind)
        for (const std::string &name : o.tables[kind]) {
            std::string bytes;
            if (read_whole_file(name, bytes) != 1) {
                report(diag, true, name.c_str(), 0, 0, "cannot be read (%s)", errno ? std::strerror(errno) : "empty");
                continue;
            }
            read_table(name.c_str(), bytes.data(), bytes.size(), TableKind(kind), set, diag);
        }

    if (set.zips.size() > size_t(MAX_ZIPS)) {
        const ZipRow &first = set.zips[MAX_ZIPS];
        report(diag, true, first.place.file.c_str(), first.place.line, first.place.field,
               "more than %d ZIP codes in the zips table (the viewer holds %d): split the table", MAX_ZIPS,
               MAX_ZIPS);
    }
    for (const ZipRow &row : set.zips)
        if (!on_map(float(row.longitude), float(row.latitude)))
            report(diag, false, row.place.file.c_str(), row.place.line, 0,
                   "ZIP code %u at %s, %s is off the base map (longitude %s to %s, latitude %s to %s): "
                   "its column would stand off the map", row.zip, double_text(row.longitude).c_str(),
                   double_text(row.latitude).c_str(), float_text(MAP_WEST).c_str(), float_text(MAP_EAST).c_str(),
                   float_text(MAP_SOUTH).c_str(), float_text(MAP_NORTH).c_str());

    FileSet files;
    if (diag.errors == 0) {
        // Census files: the stored values, then every cell given.
        long withoutDetail = 0;
        uint32_t firstWithoutDetail = 0;
        for (const auto &[zip, u] : set.census) {
            ZipRecord record{};
            fs::path path = dataDir / "zips" / zip_name(zip, ".zc");
            std::string stored;
            int got = 0;
            if (!o.replace) {
                got = read_whole_file(path, stored);
                if (got < 0) { report(diag, true, path.c_str(), 0, 0, "cannot be read (%s)", std::strerror(errno)); continue; }
                if (got > 0) decode_zone_file(reinterpret_cast<const unsigned char *>(stored.data()), stored.size(), record);
            }
            // The columns' heights are the detail counts; the series only carry them
            // through time. A file that starts from zeros and gets none shows 0.
            if (got == 0 && !u.detailSeen && withoutDetail++ == 0) firstWithoutDetail = zip;
            CensusSeries *series[3] = {&record.population, &record.households, &record.families};
            for (int s = 0; s < 3; ++s)
                for (int y = 0; y < CENSUS_YEARS; ++y)
                    if (u.seriesGiven[s][y]) series[s]->census[y] = u.series[s][y];
            for (int f = 0; f < FIELD_COUNT; ++f)
                if (u.detailGiven[f]) record.detail[f] = u.detail[f];
            unsigned char image[ZONE_FILE_SIZE];
            encode_zone_file(record, image);
            files.files.push_back({path, std::string(reinterpret_cast<char *>(image), sizeof image)});
        }
        if (withoutDetail)
            report(diag, false, nullptr, 0, 0,
                   "%ld new census file%s (the first for ZIP code %u) get%s no detail counts: the viewer "
                   "shows 0 for %s in every field; give them with --detail", withoutDetail,
                   withoutDetail == 1 ? "" : "s", firstWithoutDetail, withoutDetail == 1 ? "s" : "",
                   withoutDetail == 1 ? "it" : "them");
        // Enrollment files: the stored values, the years given, then the maximum.
        for (const auto &[zip, u] : set.enrollment) {
            ZipRecord record{};
            fs::path path = dataDir / "enroll" / zip_name(zip, ".enr");
            std::string stored;
            if (!o.replace) {
                int got = read_whole_file(path, stored);
                if (got < 0) { report(diag, true, path.c_str(), 0, 0, "cannot be read (%s)", std::strerror(errno)); continue; }
                if (got > 0) decode_enrollment_file(reinterpret_cast<const unsigned char *>(stored.data()), stored.size(), record);
            }
            for (int c = 0; c < 2; ++c) {
                uint16_t largest = 0;
                for (int y = 0; y < ENROLL_YEARS; ++y)
                    if (u.given[c][y]) record.enrollment[c][y] = u.students[c][y];
                for (int y = 0; y < ENROLL_MAX; ++y) largest = std::max(largest, record.enrollment[c][y]);
                if (!u.given[c][ENROLL_MAX]) record.enrollment[c][ENROLL_MAX] = largest;
                else if (u.students[c][ENROLL_MAX] < largest)
                    report(diag, false, u.maxPlace[c].file.c_str(), u.maxPlace[c].line, u.maxPlace[c].field,
                           "ZIP code %u, campus %d: the maximum %u is below the %u of one of its years", zip, c + 1,
                           unsigned(u.students[c][ENROLL_MAX]), unsigned(largest));
            }
            unsigned char image[ENROLLMENT_FILE_SIZE];
            encode_enrollment_file(record, image);
            files.files.push_back({path, std::string(reinterpret_cast<char *>(image), sizeof image)});
        }
        if (!o.tables[TABLE_ZIPS].empty()) {
            // A study ZIP code with no census file at all would show 0 in the viewer.
            long bare = 0;
            const ZipRow *firstBare = nullptr;
            for (const ZipRow &row : set.zips) {
                std::error_code ec;
                if (set.census.count(row.zip) || fs::exists(dataDir / "zips" / zip_name(row.zip, ".zc"), ec)) continue;
                if (bare++ == 0) firstBare = &row;
            }
            if (bare)
                report(diag, false, firstBare->place.file.c_str(), firstBare->place.line, firstBare->place.field,
                       "%ld ZIP code%s of the zips table (the first %u) ha%s no census file: the viewer shows 0 "
                       "for %s", bare, bare == 1 ? "" : "s", firstBare->zip, bare == 1 ? "s" : "ve",
                       bare == 1 ? "it" : "them");
            std::string text = "ZIP,ID,LONGITUDE,LATITUDE,TRAVEL,TRAFFIC\n";
            int id = 1;
            for (const ZipRow &row : set.zips)
                text += std::to_string(row.zip) + "," + std::to_string(id++) + "," + fixed6(row.longitude) + "," +
                        fixed6(row.latitude) + "," + std::to_string(row.travelMinutes) + "," +
                        std::to_string(row.trafficMinutes) + "\n";
            files.files.push_back({fs::path(o.study), text});
        }
    }
    if (diag.errors) return EXIT_FAILED;

    // The folders the files need, and a viewer's ui/ and maps/ where they are missing.
    files.folders.push_back(dataDir);
    if (!set.census.empty()) files.folders.push_back(dataDir / "zips");
    if (!set.enrollment.empty()) files.folders.push_back(dataDir / "enroll");
    std::string copied;
    for (const char *sub : {"ui", "maps"}) {
        std::error_code ec;
        if (fs::exists(dataDir / sub, ec)) continue;
        if (!fs::is_directory(installed / sub, ec)) {
            report(diag, true, (installed / sub).c_str(), 0, 0, "the installed data has no such folder to copy");
            return EXIT_FAILED;
        }
        files.copies.push_back({installed / sub, dataDir / sub});
        copied += copied.empty() ? std::string(sub) + "/" : std::string(" and ") + sub + "/";
    }

    std::set<uint32_t> zips;
    for (const ZipRow &row : set.zips) zips.insert(row.zip);
    for (const auto &entry : set.census) zips.insert(entry.first);
    for (const auto &entry : set.enrollment) zips.insert(entry.first);

    if (!o.dryRun && !commit_file_set(files, diag)) return EXIT_FAILED;
    std::fprintf(out, "tallydata: %zu ZIP code%s, %zu file%s %s%s%s, %d warning%s\n", zips.size(),
                 zips.size() == 1 ? "" : "s", files.files.size(), files.files.size() == 1 ? "" : "s",
                 o.dryRun ? "would be written (dry run)" : "written",
                 copied.empty() ? "" : o.dryRun ? ", would copy " : ", copied ", copied.c_str(), diag.warnings,
                 diag.warnings == 1 ? "" : "s");
    return EXIT_DONE;
}

// ============================================================================
// [SECTION] export
// ============================================================================
// A CSV cell of a label: quoted when it holds a comma, a quote or a line end.
std::string label_cell(const char *label)
{
    std::string text(label);
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::string zip_cell(uint32_t zip)
{
    char text[16];
    std::snprintf(text, sizeof text, "%05u", zip);
    return text;
}

int export_command(const Options &o, FILE *out, Diagnostics &diag)
{
    if (!load_study(o, diag)) return EXIT_FAILED;
    const fs::path dataDir = o.data;
    std::string fieldsPath = (dataDir / "ui" / "fields.ui").string();
    if (!read_field_list(fieldsPath.c_str()))
        report(diag, false, fieldsPath.c_str(), 0, 0, "cannot be read: the detail table's label row is empty");

    bool nonFinite = false;
    uint32_t count = loaded_zip_count();
    std::string zips = "zip,longitude,latitude,travel_minutes,traffic_minutes\n";
    std::string census = "zip,year,population,households,families\n";
    std::string detail = "zip";
    for (int f = 0; f < FIELD_COUNT; ++f) detail += ",f" + std::to_string(f);
    detail += "\nlabel";
    for (int f = 0; f < FIELD_COUNT; ++f) detail += "," + label_cell(f < fieldList.count ? fieldList.label[f] : "");
    detail += "\n";
    std::string enrollment = "zip,campus,year,students\n";

    // A value's cell: empty, with a warning naming it, when it is not finite.
    auto value = [&](uint32_t i, double v, const std::string &what) {
        if (std::isfinite(v)) return what == "position" ? double_text(v) : float_text(float(v));
        report(diag, true, o.load.c_str(), loadReport.lines[i].line, 0,
               "ZIP code %u: %s is not a finite number: written as an empty cell", zipTable.records[i].zip,
               what.c_str());
        nonFinite = true;
        return std::string();
    };

    std::set<uint32_t> done;
    for (uint32_t i = 0; i < count; ++i) {
        const ZipRecord &r = zipTable.records[i];
        const long line = loadReport.lines[i].line;
        if (!done.insert(r.zip).second) {
            report(diag, false, o.load.c_str(), line, 0, "ZIP code %u is in the file twice: exported once", r.zip);
            continue;
        }
        for (const char *kind : {".zc", ".enr"}) {
            fs::path path = dataDir / (kind[1] == 'z' ? "zips" : "enroll") / zip_name(r.zip, kind);
            std::error_code ec;
            uintmax_t size = fs::file_size(path, ec);
            uintmax_t expected = kind[1] == 'z' ? ZONE_FILE_SIZE : ENROLLMENT_FILE_SIZE;
            if (ec) report(diag, false, o.load.c_str(), line, 0, "ZIP code %u has no %s: exported as zeros", r.zip,
                           path.c_str());
            else if (size < expected)
                report(diag, false, o.load.c_str(), line, 0, "ZIP code %u: %s is short: the rest exported as zeros",
                       r.zip, path.c_str());
        }
        const std::string z = zip_cell(r.zip);
        zips += z + "," + value(i, loadReport.lines[i].longitude, "position") + "," +
                value(i, loadReport.lines[i].latitude, "position") + "," + std::to_string(r.travelMinutes) + "," +
                std::to_string(r.trafficMinutes) + "\n";
        const CensusSeries *series[3] = {&r.population, &r.households, &r.families};
        for (int y = 0; y < CENSUS_YEARS; ++y) {
            census += z + "," + std::to_string(CENSUS_YEAR_LIST[y]);
            for (int s = 0; s < 3; ++s)
                census += "," + value(i, series[s]->census[y],
                                      std::string(SERIES_NAMES[s]) + " " + std::to_string(CENSUS_YEAR_LIST[y]));
            census += "\n";
        }
        detail += z;
        for (int f = 0; f < FIELD_COUNT; ++f) detail += "," + value(i, r.detail[f], "detail f" + std::to_string(f));
        detail += "\n";
        for (int c = 0; c < 2; ++c)
            for (int y = 0; y < ENROLL_YEARS; ++y)
                enrollment += z + "," + std::to_string(c + 1) + "," +
                              (y == ENROLL_MAX ? std::string("max") : std::to_string(ENROLL_FIRST_YEAR + y)) + "," +
                              std::to_string(r.enrollment[c][y]) + "\n";
    }

    const fs::path into = o.into;
    FileSet files;
    files.folders.push_back(into);
    files.files = {{into / "zips.csv", zips}, {into / "census.csv", census}, {into / "detail.csv", detail},
                   {into / "enrollment.csv", enrollment}};
    if (!commit_file_set(files, diag)) return EXIT_FAILED;
    std::fprintf(out, "tallydata: %zu ZIP codes, 4 tables written into %s, %d warning%s%s\n", done.size(),
                 o.into.c_str(), diag.warnings, diag.warnings == 1 ? "" : "s",
                 nonFinite ? ", non-finite values left empty" : "");
    return nonFinite ? EXIT_FAILED : EXIT_DONE;
}

// ============================================================================
// [SECTION] check
// ============================================================================
int check_command(const Options &o, FILE *out, Diagnostics &diag)
{
    const char *csv = o.load.c_str();
    if (!load_study(o, diag)) {
        std::fprintf(out, "tallydata: %s cannot be loaded by the viewer\n", csv);
        return EXIT_FAILED;
    }
    int problems = 0;
    auto problem = [&](uint32_t i, const char *format, const auto &...args) {
        char text[512];
        std::snprintf(text, sizeof text, format, args...);
        report(diag, true, csv, loadReport.lines[i].line, 0, "ZIP code %u: %s", zipTable.records[i].zip, text);
        ++problems;
    };

    std::map<uint32_t, uint32_t> firstLine;   // ZIP code -> line of its first record
    uint32_t count = loaded_zip_count();
    for (uint32_t i = 0; i < count; ++i) {
        const ZipRecord &r = zipTable.records[i];
        const LoadLine &line = loadReport.lines[i];
        if (line.fields < 6)
            problem(i, "the scan stops after %d of the 6 fields: the viewer reads 0 for the rest", int(line.fields));
        else if (line.misread)
            problem(i, "a field ends inside its text, or the line is longer than %d characters: "
                       "the viewer misreads the line", PATH_SIZE - 1);
        auto [seen, added] = firstLine.emplace(r.zip, line.line);
        if (!added) problem(i, "is also on line %u: the viewer shows it twice", seen->second);
        if (!on_map(r.longitude, r.latitude))
            problem(i, "its position %s, %s is off the base map", float_text(r.longitude).c_str(),
                    float_text(r.latitude).c_str());

        bool censusRead = false, enrollRead = false;
        for (bool isZone : {true, false}) {
            std::string name = std::string(isZone ? "zips/" : "enroll/") + zip_name(r.zip, isZone ? ".zc" : ".enr");
            long expected = long(isZone ? ZONE_FILE_SIZE : ENROLLMENT_FILE_SIZE);
            long held = isZone ? line.zoneBytes : line.enrollBytes;   // as the viewer's load found it
            if (held == LOAD_FILE_MISSING) {
                problem(i, "has no %s file %s: the viewer shows 0 for it", isZone ? "census" : "enrollment",
                        name.c_str());
                continue;
            }
            if (held == LOAD_FILE_UNREADABLE) {
                problem(i, "%s cannot be read: the viewer shows 0 for it", name.c_str());
                continue;
            }
            if (held < expected)
                problem(i, "%s is short (%ld of %ld bytes): the viewer shows 0 for the rest", name.c_str(), held,
                        expected);
            else if (held > expected)
                problem(i, "%s is longer than %ld bytes: the viewer ignores the rest", name.c_str(), expected);
            (isZone ? censusRead : enrollRead) = true;
        }
        if (censusRead) {
            // Every count of the file: the series (not the reserved values), then the
            // details. Counted by position; only the first of each kind is named.
            int nonFinite = 0, negative = 0, firstBad = 0, firstNegative = 0;
            const CensusSeries *series[3] = {&r.population, &r.households, &r.families};
            auto look = [&](float v, int at) {
                if (!std::isfinite(v)) { if (nonFinite++ == 0) firstBad = at; }
                else if (v < 0 && negative++ == 0) firstNegative = at;
            };
            for (int s = 0; s < 3; ++s)
                for (int y = 0; y < CENSUS_YEARS; ++y) look(series[s]->census[y], s * CENSUS_YEARS + y);
            for (int f = 0; f < FIELD_COUNT; ++f) look(r.detail[f], 3 * CENSUS_YEARS + f);
            auto count_name = [](int at) {
                if (at >= 3 * CENSUS_YEARS) return "detail f" + std::to_string(at - 3 * CENSUS_YEARS);
                return std::string(SERIES_NAMES[at / CENSUS_YEARS]) + " " +
                       std::to_string(CENSUS_YEAR_LIST[at % CENSUS_YEARS]);
            };
            if (nonFinite) problem(i, "%d non-finite count%s in its census file, the first %s", nonFinite,
                                   nonFinite == 1 ? "" : "s", count_name(firstBad).c_str());
            if (negative) problem(i, "%d negative count%s in its census file, the first %s", negative,
                                  negative == 1 ? "" : "s", count_name(firstNegative).c_str());
        }
        if (enrollRead)
            for (int c = 0; c < 2; ++c) {
                uint16_t largest = *std::max_element(r.enrollment[c], r.enrollment[c] + ENROLL_MAX);
                if (r.enrollment[c][ENROLL_MAX] < largest)
                    problem(i, "campus %d: the maximum enrollment %u is below the %u of one of its years", c + 1,
                            unsigned(r.enrollment[c][ENROLL_MAX]), unsigned(largest));
            }
    }
    std::fprintf(out, "tallydata: %u ZIP code%s checked, %d problem%s found\n", count, count == 1 ? "" : "s",
                 problems, problems == 1 ? "" : "s");
    return problems ? EXIT_FAILED : EXIT_DONE;
}

}  // namespace

// ============================================================================
// [SECTION] Entry
// ============================================================================
int tallydata_main(int argc, char **argv, FILE *out, FILE *err)
{
    Options options;
    std::string wrong = parse_command_line(argc, argv, options);
    if (!wrong.empty()) {
        std::fprintf(err, "tallydata: %s (tallydata --help for the usage)\n", wrong.c_str());
        return EXIT_USAGE;
    }
    if (options.help) {
        const char *text = options.command == CMD_IMPORT ? IMPORT_HELP
                         : options.command == CMD_EXPORT ? EXPORT_HELP
                         : options.command == CMD_CHECK  ? CHECK_HELP : nullptr;
        if (text) std::fputs(text, out);
        else { std::fputs(HELP, out); std::fputs("\n", out); std::fputs(USAGE, out); }
        return EXIT_DONE;
    }
    Diagnostics diag;
    diag.echo = err;
    switch (options.command) {
    case CMD_IMPORT: return import_command(options, out, diag);
    case CMD_EXPORT: return export_command(options, out, diag);
    case CMD_CHECK:  return check_command(options, out, diag);
    case CMD_NONE:   break;
    }
    return EXIT_USAGE;
}
