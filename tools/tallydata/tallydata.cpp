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
#include "version.h"
#include "scene.h"        // the base map's extent (constants only)
#include "zip_table.h"
#include "zone_files.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <getopt.h>
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
    "       tallydata --help | tallydata --version | tallydata COMMAND --help\n";

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

// Import's help: the tables' lines come from their rows (table_kind_info).
static const char IMPORT_HELP_HEAD[] =
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
    "Tables: CSV with a header row; columns found by name, in any order:\n";

static const char IMPORT_HELP_TAIL[] =
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

// A table named on import's command line, in command-line order.
struct TableArgument {
    TableKind   kind;
    std::string path;
};

struct Options {
    Command command = CMD_NONE;
    bool    help = false;
    bool    version = false;
    std::string data = "./data";
    std::vector<TableArgument> tables;
    std::string study = "study.csv";
    bool studyGiven = false;
    bool replace = false;
    bool dryRun = false;
    std::string load, into;
};

// getopt_long's values of the options: a table kind's option is OPT_TABLE + its kind.
enum OptionId { OPT_HELP = 'h', OPT_DATA = 256, OPT_STUDY, OPT_REPLACE, OPT_DRY_RUN, OPT_LOAD, OPT_INTO, OPT_VERSION,
                OPT_TABLE };

// Every option, with the commands that take it.
struct OptionRow {
    const char *name;
    int         hasArg;      // no_argument or required_argument
    int         id;
    bool        import, exportData, check, none;   // allowed after each command, or with none
};

const OptionRow OPTION_ROWS[] = {
    {"help", no_argument, OPT_HELP, true, true, true, true},
    {"version", no_argument, OPT_VERSION, false, false, false, true},
    {"data", required_argument, OPT_DATA, true, true, true, false},
    {"study", required_argument, OPT_STUDY, true, false, false, false},
    {"replace", no_argument, OPT_REPLACE, true, false, false, false},
    {"dry-run", no_argument, OPT_DRY_RUN, true, false, false, false},
    {"load", required_argument, OPT_LOAD, false, true, true, false},
    {"into", required_argument, OPT_INTO, false, true, false, false},
};

const char *const COMMAND_NAMES[] = {"", "import", "export", "check"};

// The struct option table of one command: its rows, and for import one option per table kind.
std::vector<option> option_table(Command command)
{
    std::vector<option> table;
    for (const OptionRow &row : OPTION_ROWS) {
        bool allowed = command == CMD_IMPORT ? row.import : command == CMD_EXPORT ? row.exportData
                     : command == CMD_CHECK  ? row.check  : row.none;
        if (allowed) table.push_back({row.name, row.hasArg, nullptr, row.id});
    }
    if (command == CMD_IMPORT)
        for (int kind = 0; kind < TABLE_KIND_COUNT; ++kind)
            table.push_back({table_kind_info(TableKind(kind)).option, required_argument, nullptr, OPT_TABLE + kind});
    table.push_back({nullptr, 0, nullptr, 0});
    return table;
}

// Why getopt_long refused the long option text: unknown, ambiguous, or a value given
// to an option that takes none.
std::string refusal(const std::string &text, const std::vector<option> &table, const std::string &command)
{
    const std::string name = text.substr(2, text.find('=') - 2);
    std::vector<std::string> matches;
    for (const option &o : table) {
        if (!o.name) continue;
        if (name == o.name && o.has_arg == no_argument) return "--" + name + " takes no value";
        if (std::string(o.name).rfind(name, 0) == 0) matches.push_back(std::string("--") + o.name);
    }
    if (matches.size() < 2) return "unknown option '--" + name + "'" + command;
    std::string list;
    for (const std::string &m : matches) list += (list.empty() ? "" : ", ") + m;
    return "ambiguous option '--" + name + "' (" + list + ")";
}

// Fills options from argv; returns "" or the one-line reason the command line is wrong.
// Options take their value as the next argument or after '=', and may be shortened
// while the shortening is unambiguous, as getopt_long takes them.
std::string parse_command_line(int argc, char **argv, Options &o)
{
    if (argc < 2) return "no command (import, export or check)";
    const std::string first = argv[1];
    int start = 1;   // argv index of the first option
    if (first == "import") o.command = CMD_IMPORT;
    else if (first == "export") o.command = CMD_EXPORT;
    else if (first == "check") o.command = CMD_CHECK;
    else if (first.rfind("-", 0) == 0) start = 0;   // tallydata --help, --version
    else return "unknown command '" + first + "' (import, export or check)";
    const std::string forCommand = o.command == CMD_NONE ? "" : std::string(" for ") + COMMAND_NAMES[o.command];

    const std::vector<option> table = option_table(o.command);
    std::vector<char *> args(argv + start, argv + argc);   // getopt_long reorders nothing with '+'
    args.push_back(nullptr);
    optind = 0;    // a fresh scan: the tests run several command lines in one process
    opterr = 0;    // its messages are ours
    for (;;) {
        // The argument getopt_long looks at next (optind 0 starts at 1).
        const char *current = args[size_t(std::max(optind, 1))];
        const std::string text = current ? current : "";
        int index = -1;
        const int id = getopt_long(int(args.size()) - 1, args.data(), "+:h", table.data(), &index);
        if (id == -1) break;
        if (id == '?' && text.rfind("--", 0) != 0)
            return "unknown option '-" + std::string(1, char(optopt)) + "'" + forCommand;
        if (id == '?') return refusal(text, table, forCommand);
        if (id == ':') return (text.rfind("--", 0) == 0 ? text.substr(0, text.find('=')) : text) + " needs a value";
        const std::string value = optarg ? optarg : "";
        if (optarg && value.empty()) return std::string("--") + table[size_t(index)].name + " needs a value";
        switch (id) {
        case OPT_HELP:    o.help = true; break;
        case OPT_VERSION: o.version = true; break;
        case OPT_DATA:    o.data = value; break;
        case OPT_STUDY:   o.study = value; o.studyGiven = true; break;
        case OPT_REPLACE: o.replace = true; break;
        case OPT_DRY_RUN: o.dryRun = true; break;
        case OPT_LOAD:    o.load = value; break;
        case OPT_INTO:    o.into = value; break;
        default:          o.tables.push_back({TableKind(id - OPT_TABLE), value}); break;
        }
    }
    if (optind < int(args.size()) - 1) return "unexpected argument '" + std::string(args[size_t(optind)]) + "'";
    if (o.help || o.version) return "";
    if (o.command == CMD_NONE) return "no command (import, export or check)";
    if (o.command == CMD_IMPORT) {
        if (o.tables.empty()) return "import needs at least one table (--zips, --census, --detail or --enrollment)";
        const bool zips = std::any_of(o.tables.begin(), o.tables.end(),
                                      [](const TableArgument &t) { return t.kind == TABLE_ZIPS; });
        if (o.studyGiven && !zips) return "--study needs --zips";
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

bool on_map(float longitude, float latitude)
{
    return longitude >= MAP_WEST && longitude <= MAP_EAST && latitude >= MAP_SOUTH && latitude <= MAP_NORTH;
}

// ============================================================================
// [SECTION] import
// ============================================================================
// One import, from its tables to the set of files it writes.
struct ImportPlan {
    fs::path    dataDir;     // --data
    fs::path    installed;   // the installed sample data: never written
    TableSet    set;         // everything the tables gave
    FileSet     files;       // what the commit writes
    std::string copied;      // "ui/ and maps/" when the viewer's folders are copied, for the summary
};

std::string fixed6(double v)
{
    char text[64];
    auto [end, error] = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, 6);
    return error == std::errc() ? std::string(text, end) : std::string();
}

bool has_tables(const Options &o, TableKind kind)
{
    return std::any_of(o.tables.begin(), o.tables.end(), [kind](const TableArgument &t) { return t.kind == kind; });
}

// The path of zip's file of kind in the data folder.
fs::path zone_path(const fs::path &dataDir, ZoneFileKind kind, uint32_t zip)
{
    char name[ZONE_FILE_NAME_SIZE];
    zone_file_name(kind, zip, name);
    return dataDir / name;
}

// The import must not write into the installed data, nor the study file among the
// installed Load Data CSVs.
bool refuse_installed_targets(const Options &o, const ImportPlan &plan, Diagnostics &diag)
{
    if (resolves_into(plan.dataDir, plan.installed)) {
        report(diag, true, o.data.c_str(), 0, 0,
               "this is the installed sample data (%s); import into a folder of your own, "
               "such as --data ~/mydata/data", plan.installed.c_str());
        return true;
    }
    const fs::path installedExamples = plan.installed.parent_path() / "examples";
    if (has_tables(o, TABLE_ZIPS) && (resolves_into(o.study, plan.installed) || resolves_into(o.study, installedExamples))) {
        report(diag, true, o.study.c_str(), 0, 0,
               "this is part of the installed sample data; write the study file into a folder of your own");
        return true;
    }
    return false;
}

void read_tables(const Options &o, TableSet &set, Diagnostics &diag)
{
    for (const TableArgument &table : o.tables) {
        std::string bytes;
        if (read_whole_file(table.path, bytes) != 1) {
            report(diag, true, table.path.c_str(), 0, 0, "cannot be read (%s)", errno ? std::strerror(errno) : "empty");
            continue;
        }
        read_table(table.path.c_str(), bytes.data(), bytes.size(), table.kind, set, diag);
    }
    if (set.zips.size() > size_t(MAX_ZIPS)) {
        const ZipRow &first = set.zips[MAX_ZIPS];
        report(diag, true, first.place.file.c_str(), first.place.line, first.place.field,
               "more than %d ZIP codes in the zips table (the viewer holds %d): split the table", MAX_ZIPS, MAX_ZIPS);
    }
    for (const ZipRow &row : set.zips)
        if (!on_map(float(row.longitude), float(row.latitude)))
            report(diag, false, row.place.file.c_str(), row.place.line, 0,
                   "ZIP code %u at %s, %s is off the base map (longitude %s to %s, latitude %s to %s): "
                   "its column would stand off the map", row.zip, double_text(row.longitude).c_str(),
                   double_text(row.latitude).c_str(), float_text(MAP_WEST).c_str(), float_text(MAP_EAST).c_str(),
                   float_text(MAP_SOUTH).c_str(), float_text(MAP_NORTH).c_str());
}

// The stored file of kind for zip decoded into record (unless --replace): 1 read, 0
// none there, -1 unreadable (reported).
int read_stored(const Options &o, const fs::path &path, ZoneFileKind kind, ZipRecord &record, Diagnostics &diag)
{
    if (o.replace) return 0;
    std::string stored;
    int got = read_whole_file(path, stored);
    if (got < 0) {
        report(diag, true, path.c_str(), 0, 0, "cannot be read (%s)", std::strerror(errno));
        return -1;
    }
    const auto *image = reinterpret_cast<const unsigned char *>(stored.data());
    if (got > 0 && kind == ZONE_CENSUS) decode_zone_file(image, stored.size(), record);
    if (got > 0 && kind == ZONE_ENROLLMENT) decode_enrollment_file(image, stored.size(), record);
    return got;
}

// Census files: the stored values, then every cell given.
void plan_census_files(const Options &o, ImportPlan &plan, Diagnostics &diag)
{
    long withoutDetail = 0;
    uint32_t firstWithoutDetail = 0;
    for (const auto &[zip, u] : plan.set.census) {
        ZipRecord record{};
        const fs::path path = zone_path(plan.dataDir, ZONE_CENSUS, zip);
        const int got = read_stored(o, path, ZONE_CENSUS, record, diag);
        if (got < 0) continue;
        // The columns' heights are the detail counts; the series only carry them
        // through time. A file that starts from zeros and gets none shows 0.
        if (got == 0 && !u.detailSeen && withoutDetail++ == 0) firstWithoutDetail = zip;
        for (int s = 0; s < SERIES_COUNT; ++s)
            for (int y = 0; y < CENSUS_YEARS; ++y)
                if (u.seriesGiven[s][y]) census_series(record, s).census[y] = u.series[s][y];
        for (int f = 0; f < FIELD_COUNT; ++f)
            if (u.detailGiven[f]) record.detail[f] = u.detail[f];
        unsigned char image[ZONE_FILE_SIZE];
        encode_zone_file(record, image);
        plan.files.files.push_back({path, std::string(reinterpret_cast<char *>(image), sizeof image)});
    }
    if (withoutDetail)
        report(diag, false, nullptr, 0, 0,
               "%ld new census file%s (the first for ZIP code %u) get%s no detail counts: the viewer "
               "shows 0 for %s in every field; give them with --detail", withoutDetail,
               withoutDetail == 1 ? "" : "s", firstWithoutDetail, withoutDetail == 1 ? "s" : "",
               withoutDetail == 1 ? "it" : "them");
}

// Enrollment files: the stored values, the years given, then the maximum.
void plan_enrollment_files(const Options &o, ImportPlan &plan, Diagnostics &diag)
{
    for (const auto &[zip, u] : plan.set.enrollment) {
        ZipRecord record{};
        const fs::path path = zone_path(plan.dataDir, ZONE_ENROLLMENT, zip);
        if (read_stored(o, path, ZONE_ENROLLMENT, record, diag) < 0) continue;
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
        plan.files.files.push_back({path, std::string(reinterpret_cast<char *>(image), sizeof image)});
    }
}

// The Load Data CSV of the zips table, and a warning for its ZIP codes that would show
// 0 for want of a census file.
void plan_study_csv(const Options &o, ImportPlan &plan, Diagnostics &diag)
{
    if (!has_tables(o, TABLE_ZIPS)) return;
    long bare = 0;
    const ZipRow *firstBare = nullptr;
    for (const ZipRow &row : plan.set.zips) {
        std::error_code ec;
        if (plan.set.census.count(row.zip) || fs::exists(zone_path(plan.dataDir, ZONE_CENSUS, row.zip), ec)) continue;
        if (bare++ == 0) firstBare = &row;
    }
    if (bare)
        report(diag, false, firstBare->place.file.c_str(), firstBare->place.line, firstBare->place.field,
               "%ld ZIP code%s of the zips table (the first %u) ha%s no census file: the viewer shows 0 "
               "for %s", bare, bare == 1 ? "" : "s", firstBare->zip, bare == 1 ? "s" : "ve",
               bare == 1 ? "it" : "them");
    std::string text = "ZIP,ID,LONGITUDE,LATITUDE,TRAVEL,TRAFFIC\n";
    int id = 1;
    for (const ZipRow &row : plan.set.zips)
        text += std::to_string(row.zip) + "," + std::to_string(id++) + "," + fixed6(row.longitude) + "," +
                fixed6(row.latitude) + "," + std::to_string(row.travelMinutes) + "," +
                std::to_string(row.trafficMinutes) + "\n";
    plan.files.files.push_back({fs::path(o.study), text});
}

// The folders the files need, and a viewer's ui/ and maps/ where they are missing.
bool plan_viewer_folders(ImportPlan &plan, Diagnostics &diag)
{
    plan.files.folders.push_back(plan.dataDir);
    if (!plan.set.census.empty()) plan.files.folders.push_back(plan.dataDir / ZONE_FILE_LAYOUTS[ZONE_CENSUS].folder);
    if (!plan.set.enrollment.empty())
        plan.files.folders.push_back(plan.dataDir / ZONE_FILE_LAYOUTS[ZONE_ENROLLMENT].folder);
    for (const char *sub : {"ui", "maps"}) {
        std::error_code ec;
        if (fs::exists(plan.dataDir / sub, ec)) continue;
        if (!fs::is_directory(plan.installed / sub, ec)) {
            report(diag, true, (plan.installed / sub).c_str(), 0, 0, "the installed data has no such folder to copy");
            return false;
        }
        plan.files.copies.push_back({plan.installed / sub, plan.dataDir / sub});
        plan.copied += plan.copied.empty() ? std::string(sub) + "/" : std::string(" and ") + sub + "/";
    }
    return true;
}

int import_command(const Options &o, FILE *out, Diagnostics &diag)
{
    ImportPlan plan;
    plan.dataDir = o.data;
    plan.installed = installed_data();
    if (refuse_installed_targets(o, plan, diag)) return EXIT_FAILED;
    read_tables(o, plan.set, diag);
    if (diag.errors) return EXIT_FAILED;
    plan_census_files(o, plan, diag);
    plan_enrollment_files(o, plan, diag);
    plan_study_csv(o, plan, diag);
    if (diag.errors || !plan_viewer_folders(plan, diag)) return EXIT_FAILED;

    if (!o.dryRun && !commit_file_set(plan.files, diag)) return EXIT_FAILED;
    std::set<uint32_t> zips;
    for (const ZipRow &row : plan.set.zips) zips.insert(row.zip);
    for (const auto &entry : plan.set.census) zips.insert(entry.first);
    for (const auto &entry : plan.set.enrollment) zips.insert(entry.first);
    const size_t written = plan.files.files.size();
    std::fprintf(out, "tallydata: %zu ZIP code%s, %zu file%s %s%s%s, %d warning%s\n", zips.size(),
                 zips.size() == 1 ? "" : "s", written, written == 1 ? "" : "s",
                 o.dryRun ? "would be written (dry run)" : "written",
                 plan.copied.empty() ? "" : o.dryRun ? ", would copy " : ", copied ", plan.copied.c_str(),
                 diag.warnings, diag.warnings == 1 ? "" : "s");
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
        for (ZoneFileKind kind : {ZONE_CENSUS, ZONE_ENROLLMENT}) {
            const fs::path path = zone_path(dataDir, kind, r.zip);
            const long held = kind == ZONE_CENSUS ? loadReport.lines[i].zoneBytes : loadReport.lines[i].enrollBytes;
            if (held < 0) report(diag, false, o.load.c_str(), line, 0, "ZIP code %u has no %s: exported as zeros", r.zip,
                                 path.c_str());
            else if (size_t(held) < ZONE_FILE_LAYOUTS[kind].size)
                report(diag, false, o.load.c_str(), line, 0, "ZIP code %u: %s is short: the rest exported as zeros",
                       r.zip, path.c_str());
        }
        const std::string z = zip_cell(r.zip);
        zips += z + "," + value(i, loadReport.lines[i].longitude, "position") + "," +
                value(i, loadReport.lines[i].latitude, "position") + "," + std::to_string(r.travelMinutes) + "," +
                std::to_string(r.trafficMinutes) + "\n";
        for (int y = 0; y < CENSUS_YEARS; ++y) {
            census += z + "," + std::to_string(CENSUS_YEAR_LIST[y]);
            for (int s = 0; s < SERIES_COUNT; ++s)
                census += "," + value(i, census_series(r, s).census[y],
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
// One check: what it found so far, and where its messages go.
struct CheckRun {
    const char  *csv;                         // the Load Data CSV, as messages name it
    Diagnostics &diag;
    int          problems = 0;
    std::map<uint32_t, uint32_t> firstLine;   // ZIP code -> line of its first record

    // One problem of the record i, as "ZIP code Z: TEXT" on its line.
    template <class... Args> void problem(uint32_t i, const char *format, const Args &...args)
    {
        char text[512];
        std::snprintf(text, sizeof text, format, args...);
        report(diag, true, csv, loadReport.lines[i].line, 0, "ZIP code %u: %s", zipTable.records[i].zip, text);
        ++problems;
    }
};

// How the viewer scans the record's line, whether the ZIP code came before, where it stands.
void check_line(CheckRun &run, uint32_t i)
{
    const ZipRecord &r = zipTable.records[i];
    const LoadLine &line = loadReport.lines[i];
    if (line.fields < 6)
        run.problem(i, "the scan stops after %d of the 6 fields: the viewer reads 0 for the rest", int(line.fields));
    else if (line.misread)
        run.problem(i, "a field ends inside its text, or the line is longer than %d characters: "
                       "the viewer misreads the line", PATH_SIZE - 1);
    auto [seen, added] = run.firstLine.emplace(r.zip, line.line);
    if (!added) run.problem(i, "is also on line %u: the viewer shows it twice", seen->second);
    if (!on_map(r.longitude, r.latitude))
        run.problem(i, "its position %s, %s is off the base map", float_text(r.longitude).c_str(),
                    float_text(r.latitude).c_str());
}

// The record's file of kind as the viewer's load found it: true when it was read.
bool check_file(CheckRun &run, uint32_t i, ZoneFileKind kind)
{
    const ZoneFileLayout &layout = ZONE_FILE_LAYOUTS[kind];
    char name[ZONE_FILE_NAME_SIZE];
    zone_file_name(kind, zipTable.records[i].zip, name);
    const long expected = long(layout.size);
    const long held = kind == ZONE_CENSUS ? loadReport.lines[i].zoneBytes : loadReport.lines[i].enrollBytes;
    if (held == LOAD_FILE_MISSING) {
        run.problem(i, "has no %s file %s: the viewer shows 0 for it", layout.what, name);
        return false;
    }
    if (held == LOAD_FILE_UNREADABLE) {
        run.problem(i, "%s cannot be read: the viewer shows 0 for it", name);
        return false;
    }
    if (held < expected)
        run.problem(i, "%s is short (%ld of %ld bytes): the viewer shows 0 for the rest", name, held, expected);
    else if (held > expected)
        run.problem(i, "%s is longer than %ld bytes: the viewer ignores the rest", name, expected);
    return true;
}

// Every count of the census file: the series (not the reserved values), then the
// details. Counted by position; only the first of each kind is named.
void check_census_counts(CheckRun &run, uint32_t i)
{
    const ZipRecord &r = zipTable.records[i];
    int nonFinite = 0, negative = 0, firstBad = 0, firstNegative = 0;
    auto look = [&](float v, int at) {
        if (!std::isfinite(v)) { if (nonFinite++ == 0) firstBad = at; }
        else if (v < 0 && negative++ == 0) firstNegative = at;
    };
    constexpr int SERIES_VALUES = SERIES_COUNT * CENSUS_YEARS;
    for (int s = 0; s < SERIES_COUNT; ++s)
        for (int y = 0; y < CENSUS_YEARS; ++y) look(census_series(r, s).census[y], s * CENSUS_YEARS + y);
    for (int f = 0; f < FIELD_COUNT; ++f) look(r.detail[f], SERIES_VALUES + f);
    auto count_name = [](int at) {
        if (at >= SERIES_VALUES) return "detail f" + std::to_string(at - SERIES_VALUES);
        return std::string(SERIES_NAMES[at / CENSUS_YEARS]) + " " + std::to_string(CENSUS_YEAR_LIST[at % CENSUS_YEARS]);
    };
    if (nonFinite) run.problem(i, "%d non-finite count%s in its census file, the first %s", nonFinite,
                               nonFinite == 1 ? "" : "s", count_name(firstBad).c_str());
    if (negative) run.problem(i, "%d negative count%s in its census file, the first %s", negative,
                              negative == 1 ? "" : "s", count_name(firstNegative).c_str());
}

void check_enrollment_maximum(CheckRun &run, uint32_t i)
{
    const ZipRecord &r = zipTable.records[i];
    for (int c = 0; c < 2; ++c) {
        uint16_t largest = *std::max_element(r.enrollment[c], r.enrollment[c] + ENROLL_MAX);
        if (r.enrollment[c][ENROLL_MAX] < largest)
            run.problem(i, "campus %d: the maximum enrollment %u is below the %u of one of its years", c + 1,
                        unsigned(r.enrollment[c][ENROLL_MAX]), unsigned(largest));
    }
}

int check_command(const Options &o, FILE *out, Diagnostics &diag)
{
    if (!load_study(o, diag)) {
        std::fprintf(out, "tallydata: %s cannot be loaded by the viewer\n", o.load.c_str());
        return EXIT_FAILED;
    }
    CheckRun run{o.load.c_str(), diag, 0, {}};
    const uint32_t count = loaded_zip_count();
    for (uint32_t i = 0; i < count; ++i) {
        check_line(run, i);
        if (check_file(run, i, ZONE_CENSUS)) check_census_counts(run, i);
        if (check_file(run, i, ZONE_ENROLLMENT)) check_enrollment_maximum(run, i);
    }
    std::fprintf(out, "tallydata: %u ZIP code%s checked, %d problem%s found\n", count, count == 1 ? "" : "s",
                 run.problems, run.problems == 1 ? "" : "s");
    return run.problems ? EXIT_FAILED : EXIT_DONE;
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
    if (options.version) {
        std::fprintf(out, "tallydata %s\n", TALLYMAP_VERSION);
        return EXIT_DONE;
    }
    if (options.help) {
        if (options.command == CMD_IMPORT) {
            std::fputs(IMPORT_HELP_HEAD, out);
            for (int kind = 0; kind < TABLE_KIND_COUNT; ++kind) {
                const TableKindInfo &info = table_kind_info(TableKind(kind));
                std::fprintf(out, "  %-10s  %s\n", info.option, info.help);
            }
            std::fputs(IMPORT_HELP_TAIL, out);
        } else if (options.command == CMD_EXPORT) {
            std::fputs(EXPORT_HELP, out);
        } else if (options.command == CMD_CHECK) {
            std::fputs(CHECK_HELP, out);
        } else {
            std::fputs(HELP, out);
            std::fputs("\n", out);
            std::fputs(USAGE, out);
        }
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
