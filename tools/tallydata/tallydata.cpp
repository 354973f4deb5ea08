// tallydata.cpp -- the commands of the tallydata program:
//   import  tables (zips, census, detail, enrollment) into a data directory's per-ZIP
//           census (.zc) and enrollment (.enr) files and a Load Data CSV, all or nothing;
//           census counts of any year fitted to the stored points (census_files.cpp);
//   export  the files of a Load Data CSV's ZIP codes back into the four tables (and the
//           counts given, as given);
//   check   a data directory against a Load Data CSV, by the viewer's own loading rules,
//           one line per kind of problem (study_check.cpp).
// Messages: "tallydata: FILE:LINE:FIELD: error: TEXT" (or warning, or for check note) on
// the error stream; on success a summary line on the output stream, and after it one
// line for each thing an import did that its user should know (how a table was read,
// rows skipped, points fitted).
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
#include "census_files.h"
#include "file_set.h"
#include "study_check.h"
#include "tables.h"

#include "data_paths.h"
#include "field_list.h"
#include "platform.h"
#include "selection.h"    // seriesCode: what scales each field line
#include "version.h"
#include "scene.h"        // the base map's extent (constants only)
#include "zip_table.h"
#include "zone_files.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <csignal>
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
    "usage: tallydata import [--data DIR] [[--year Y] [--column NAME=HEADER]... --census T.csv]...\n"
    "                        [[--year Y] [--column NAME=HEADER]... --detail T.csv]...\n"
    "                        [[--column NAME=HEADER]... --zips T.csv | --enrollment T.csv]...\n"
    "                        [--only-study STUDY.csv] [--study OUT.csv] [--replace] [--dry-run]\n"
    "                        [--no-wait]\n"
    "       tallydata export [--data DIR] --load STUDY.csv --into DIR [--no-wait]\n"
    "       tallydata check  [--data DIR] --load STUDY.csv [--all] [--no-wait]\n"
    "       tallydata --help | tallydata --version | tallydata COMMAND --help\n";

static const char HELP[] =
    "tallydata -- your own census and enrollment figures in and out of a Tallymap data folder.\n"
    "\n"
    "  import   turn tables (CSV) into the per-ZIP census and enrollment files of a data\n"
    "           folder, and a zips table into a Load Data CSV\n"
    "  export   write the figures of a Load Data CSV's ZIP codes as the four tables\n"
    "  check    report what the viewer would misread or show as 0 for a Load Data CSV\n"
    "\n"
    "--data DIR names the data folder (default ./data). A command waits while another\n"
    "tallydata works on the same folder; --no-wait refuses instead (exit 1).\n"
    "'tallydata COMMAND --help' says more.\n"
    "Exit status: 0 done, 1 an error in the data or a file, 2 a wrong command line.\n";

// Import's help: the tables' lines come from their rows (table_kind_info).
static const char IMPORT_HELP_HEAD[] =
    "usage: tallydata import [--data DIR] [[--year Y] [--column NAME=HEADER]... --census T.csv]...\n"
    "                        [[--year Y] [--column NAME=HEADER]... --detail T.csv]...\n"
    "                        [[--column NAME=HEADER]... --zips T.csv | --enrollment T.csv]...\n"
    "                        [--only-study STUDY.csv] [--study OUT.csv] [--replace] [--dry-run]\n"
    "                        [--no-wait]\n"
    "\n"
    "Reads every table, checks everything, and only then writes: one census file\n"
    "DIR/zips/ZIP.zc per ZIP code of --census or --detail, one enrollment file\n"
    "DIR/enroll/ZIP.enr per ZIP code of --enrollment, and with --zips the Load Data CSV\n"
    "--study (default study.csv). A file that exists is updated cell by cell; --replace\n"
    "starts the files it writes from zeros. A folder without ui/ or maps/ gets a copy of\n"
    "the installed ones. The files change all together or not at all, whatever happens: any\n"
    "error leaves every file as it was, and an import that was killed is finished or undone\n"
    "by the next tallydata command on the folder. They are on the disk when it says done.\n"
    "\n"
    "Census counts may be of any year from 1990 to 2020. The viewer stores four points\n"
    "of each series (1990, 2000, 2007, 2012); a series given other years gets the four\n"
    "points that make the viewer's curve pass through every count given (as near as the\n"
    "counts allow), fitted again from every count ever given (DIR/census-given.csv).\n"
    "Between the years given the curve may dip. Detail counts of another year than 2007\n"
    "are scaled so that the viewer shows them in their year. Census counts without any\n"
    "detail count fill the first field line of their series.\n"
    "\n"
    "Tables: CSV with a header row (also semicolons with decimal commas, tabs, UTF-16);\n"
    "columns found by name, in any order:\n";

static const char IMPORT_HELP_TAIL[] =
    "A ZIP cell is 1 to 5 digits, after a census prefix (ZCTA5 77002, 860Z200US77002); rows\n"
    "of another summary level (0400000US48) are skipped. Without a max row, a campus's\n"
    "maximum rises to its largest year and is never lowered. Each table option may be given\n"
    "more than once (one census download per year). These apply to the next table option alone:\n"
    "  --year Y              every row is of year Y (census: no year column; detail: the\n"
    "                        counts' year, 2007 when not given)\n"
    "  --column NAME=HEADER  read the column headed HEADER as NAME (population=P1_001N)\n"
    "\n"
    "  --data DIR            the data folder to write (default ./data); not the installed data\n"
    "  --only-study STUDY    skip, and count, the ZIP codes that this Load Data CSV lacks\n"
    "  --study OUT           where the Load Data CSV from --zips goes (default study.csv)\n"
    "  --replace             start from zeros instead of the stored values and counts\n"
    "  --dry-run             read and check everything, write nothing\n"
    "  --no-wait             refuse (exit 1) instead of waiting for another tallydata on DIR\n";

static const char EXPORT_HELP[] =
    "usage: tallydata export [--data DIR] --load STUDY.csv --into DIR [--no-wait]\n"
    "\n"
    "Writes zips.csv, census.csv, detail.csv and enrollment.csv into the --into folder\n"
    "for the ZIP codes of the Load Data CSV, in its order, from the files of the data\n"
    "folder (default ./data). A series fitted to counts of other years is written as those\n"
    "counts; detail counts of another year as detail-YEAR.csv, to import with --year YEAR.\n"
    "Importing them gives the same files back. Rows the viewer misreads are warned of.\n";

static const char CHECK_HELP[] =
    "usage: tallydata check [--data DIR] --load STUDY.csv [--all] [--no-wait]\n"
    "\n"
    "Reads the Load Data CSV as the viewer does and reports, one line per kind of problem\n"
    "with the count and the first few ZIP codes (every one with --all), what the viewer\n"
    "would misread or show as 0 and what to do: lines it misreads, ZIP codes listed twice\n"
    "or off the base map, census or enrollment files missing, short or too long, counts\n"
    "that are not finite or negative, census counts without detail counts, a maximum\n"
    "enrollment below one of its years. Notes (not problems): enrollment files missing,\n"
    "census points fitted to counts of other years, census files of zeros. Writes\n"
    "nothing. Exit status 0 when no problem was found.\n";

// ============================================================================
// [SECTION] Command line
// ============================================================================
namespace {

enum Command { CMD_NONE, CMD_IMPORT, CMD_EXPORT, CMD_CHECK };

// A table named on import's command line, in command-line order.
struct TableArgument {
    TableKind    kind;
    std::string  path;
    TableOptions options;   // the options placed before it
};

struct Options {
    Command command = CMD_NONE;
    bool    help = false;
    bool    version = false;
    std::string data = "./data";
    std::vector<TableArgument> tables;
    TableOptions pending;          // --year and --column given since the last table option
    bool pendingGiven = false;
    std::string onlyStudy;         // --only-study: the Load Data CSV whose ZIP codes alone are read
    std::string study = "study.csv";
    bool studyGiven = false;
    bool replace = false;
    bool dryRun = false;
    bool all = false;              // check --all: every ZIP code of a kind of problem, not the first few
    bool noWait = false;           // refuse instead of waiting for another tallydata on the data folder
    std::string load, into;
};

// getopt_long's values of the options: a table kind's option is OPT_TABLE + its kind.
enum OptionId { OPT_HELP = 'h', OPT_DATA = 256, OPT_STUDY, OPT_REPLACE, OPT_DRY_RUN, OPT_LOAD, OPT_INTO, OPT_VERSION,
                OPT_YEAR, OPT_COLUMN, OPT_ONLY_STUDY, OPT_ALL, OPT_NO_WAIT, OPT_TABLE };

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
    {"year", required_argument, OPT_YEAR, true, false, false, false},
    {"column", required_argument, OPT_COLUMN, true, false, false, false},
    {"only-study", required_argument, OPT_ONLY_STUDY, true, false, false, false},
    {"all", no_argument, OPT_ALL, false, false, true, false},
    {"no-wait", no_argument, OPT_NO_WAIT, true, true, true, false},
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

// --year and --column apply to the table option after them: "" when they fit it.
std::string attach_table_options(Options &o, TableKind kind, const std::string &path)
{
    const TableKindInfo &info = table_kind_info(kind);
    if (o.pending.year && !info.takesYear)
        return "--year applies to a census or detail table, not to --" + std::string(info.option);
    std::set<std::string> named;
    for (const auto &[name, header] : o.pending.columns) {
        const std::string refusal = column_name_refusal(kind, name);
        if (!refusal.empty())
            return "--column " + name + "=" + header + ": a " + info.option + " table has no column " + name +
                   " (it has " + refusal + ")";
        if (!named.insert(name).second) return "--column " + name + " is given twice for " + path;
    }
    o.tables.push_back({kind, path, o.pending});
    o.pending = TableOptions();
    o.pendingGiven = false;
    return "";
}

// A --year value: a year of the census fit's range.
std::string parse_year(const std::string &value, int &year)
{
    int parsed = 0;
    auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), parsed);
    if (error != std::errc() || end != value.data() + value.size() || parsed < FIT_FIRST_YEAR || parsed > FIT_LAST_YEAR)
        return "--year takes a year from " + std::to_string(FIT_FIRST_YEAR) + " to " + std::to_string(FIT_LAST_YEAR) +
               ": " + value;
    year = parsed;
    return "";
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
        case OPT_ONLY_STUDY: o.onlyStudy = value; break;
        case OPT_ALL:     o.all = true; break;
        case OPT_NO_WAIT: o.noWait = true; break;
        case OPT_YEAR: {
            const std::string wrong = parse_year(value, o.pending.year);
            if (!wrong.empty()) return wrong;
            o.pendingGiven = true;
            break;
        }
        case OPT_COLUMN: {
            const size_t equals = value.find('=');
            if (equals == 0 || equals == std::string::npos || equals + 1 == value.size())
                return "--column takes NAME=HEADER (population=P1_001N): " + value;
            o.pending.columns.push_back({value.substr(0, equals), value.substr(equals + 1)});
            o.pendingGiven = true;
            break;
        }
        default: {
            const std::string wrong = attach_table_options(o, TableKind(id - OPT_TABLE), value);
            if (!wrong.empty()) return wrong;
            break;
        }
        }
    }
    if (optind < int(args.size()) - 1) return "unexpected argument '" + std::string(args[size_t(optind)]) + "'";
    if (o.pendingGiven) return "--year and --column go before the table they apply to; none follows them";
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
    fs::path p = fs::absolute(path, ec1);
    if (!ec1) p = fs::weakly_canonical(p, ec1);
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

// Loads the Load Data CSV at path as the viewer does, with the data directory --data.
int load_study(const Options &o, const std::string &path, Diagnostics &diag)
{
    if (!set_data_directory(o.data.c_str())) {
        report(diag, true, o.data.c_str(), 0, 0, "the path of the data folder is too long");
        return 0;
    }
    if (path.size() >= size_t(PATH_SIZE)) {
        report(diag, true, path.c_str(), 0, 0, "the path is longer than %d characters", PATH_SIZE - 1);
        return 0;
    }
    if (const char *reason = open_failure(path.c_str())) {
        report(diag, true, path.c_str(), 0, 0, "cannot be read (%s)", reason);
        return 0;
    }
    loaderDiag = &diag;
    loaderFile = path.c_str();
    const ModalHandler console = {loader_message, nullptr, nullptr};
    ModalHandler previous = set_modal_handler(&console);
    int loaded = read_records(path.c_str());
    set_modal_handler(previous.messageBox ? &previous : nullptr);
    return loaded;
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
    std::vector<std::string> notes;   // summary lines after the first: how tables were read, what was fitted
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
// installed Load Data CSVs. The folders written into are followed through their links
// at every level: a zips/ that links into the installed data is the installed data.
bool refuse_installed_targets(const Options &o, const ImportPlan &plan, Diagnostics &diag)
{
    std::vector<fs::path> written = {plan.dataDir};
    if (has_tables(o, TABLE_CENSUS) || has_tables(o, TABLE_DETAIL))
        written.push_back(plan.dataDir / ZONE_FILE_LAYOUTS[ZONE_CENSUS].folder);
    if (has_tables(o, TABLE_ENROLLMENT)) written.push_back(plan.dataDir / ZONE_FILE_LAYOUTS[ZONE_ENROLLMENT].folder);
    for (const fs::path &folder : written) {
        if (!resolves_into(folder, plan.installed)) continue;
        report(diag, true, folder.c_str(), 0, 0,
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

// --only-study: the ZIP codes of the Load Data CSV, as the viewer reads them, into set.only.
bool read_only_study(const Options &o, TableSet &set, Diagnostics &diag)
{
    if (o.onlyStudy.empty()) return true;
    if (!load_study(o, o.onlyStudy, diag)) return false;
    for (uint32_t i = 0; i < loaded_zip_count(); ++i)
        if (zipTable.records[i].zip) set.only.insert(zipTable.records[i].zip);
    if (set.only.empty()) {
        report(diag, true, o.onlyStudy.c_str(), 0, 0, "lists no ZIP code: --only-study would skip every row");
        return false;
    }
    return true;
}

// The study CSV must not overwrite what the import reads or writes: a table of the same
// command, a file of the data folder, a folder.
bool refuse_study_collisions(const Options &o, const ImportPlan &plan, Diagnostics &diag)
{
    if (!has_tables(o, TABLE_ZIPS)) return false;
    const char *study = o.study.c_str();
    std::error_code ec;
    if (fs::is_directory(o.study, ec) || o.study.back() == '/') {
        report(diag, true, study, 0, 0, "is a folder: --study names the Load Data CSV to write");
        return true;
    }
    for (const TableArgument &table : o.tables) {
        if (!fs::equivalent(o.study, table.path, ec) || ec) continue;
        report(diag, true, study, 0, 0, "is the table --%s %s of this import: the study file would overwrite it",
               table_kind_info(table.kind).option, table.path.c_str());
        return true;
    }
    if (resolves_into(o.study, plan.dataDir)) {
        report(diag, true, study, 0, 0, "lies inside the data folder %s: write the study file beside it",
               o.data.c_str());
        return true;
    }
    return false;
}

void read_tables(const Options &o, TableSet &set, Diagnostics &diag)
{
    if (!read_only_study(o, set, diag)) return;
    for (const TableArgument &table : o.tables) {
        std::string bytes;
        if (read_whole_file(table.path, bytes) != 1) {
            report(diag, true, table.path.c_str(), 0, 0, "cannot be read (%s)", errno ? std::strerror(errno) : "empty");
            continue;
        }
        read_table(table.path.c_str(), bytes.data(), bytes.size(), table.kind, set, diag, table.options);
    }
    if (set.zips.size() > size_t(MAX_ZIPS)) {
        const ZipRow &first = set.zips[MAX_ZIPS];
        report(diag, true, first.place.file.c_str(), first.place.line, first.place.field,
               "more than %d ZIP codes in the zips table (the viewer holds %d): split the table", MAX_ZIPS, MAX_ZIPS);
    }
    for (const ZipRow &row : set.zips)
        if (!on_base_map(float(row.longitude), float(row.latitude)))
            report(diag, false, row.place.file.c_str(), row.place.line, 0,
                   "ZIP code %u at %s, %s is off the base map (longitude %s to %s, latitude %s to %s): "
                   "its column would stand off the map", row.zip, double_text(row.longitude).c_str(),
                   double_text(row.latitude).c_str(), float_text(MAP_WEST).c_str(), float_text(MAP_EAST).c_str(),
                   float_text(MAP_SOUTH).c_str(), float_text(MAP_NORTH).c_str());
}

// Summary lines on how the tables were read: the ones not plain comma-separated UTF-8,
// and the rows skipped.
void note_reading(const Options &o, ImportPlan &plan)
{
    for (const std::string &table : plan.set.readAs) plan.notes.push_back("read " + table);
    const long other = plan.set.otherLevel;
    if (other)
        plan.notes.push_back("skipped " + std::to_string(other) + " row" + (other == 1 ? "" : "s") +
                             " of another summary level than ZIP code (ZCTA), the first " + plan.set.otherLevelFirst);
    const size_t outside = plan.set.outside.size();
    if (outside)
        plan.notes.push_back("skipped " + std::to_string(outside) + " ZIP code" + (outside == 1 ? "" : "s") +
                             " not in " + o.onlyStudy + " (the first " + std::to_string(*plan.set.outside.begin()) + ")");
}

// The series code of each field line, from the data folder's field list, or the
// installed one that the import will copy there.
bool read_field_series(const ImportPlan &plan, int8_t (&codes)[FIELD_COUNT], Diagnostics &diag)
{
    std::error_code ec;
    fs::path path = plan.dataDir / "ui" / "fields.ui";
    if (!fs::exists(path, ec)) path = plan.installed / "ui" / "fields.ui";
    if (!read_field_list(path.c_str())) {
        report(diag, true, path.c_str(), 0, 0, "cannot be read: the census files need the field list's series");
        return false;
    }
    std::copy(std::begin(seriesCode), std::end(seriesCode), codes);
    return true;
}

// Census files: the stored values, then every count given, fitted where it must be.
void plan_census_files(const Options &o, ImportPlan &plan, Diagnostics &diag)
{
    if (plan.set.census.empty()) return;
    int8_t codes[FIELD_COUNT];
    if (!read_field_series(plan, codes, diag)) return;
    CensusPlan census;
    plan_census(plan.dataDir, o.replace, plan.set, codes, census, diag);
    plan.files.files.insert(plan.files.files.end(), census.files.begin(), census.files.end());
    plan.notes.insert(plan.notes.end(), census.notes.begin(), census.notes.end());
}

// Enrollment files: the stored values, the years given, then the maximum.
void plan_enrollment_files(const Options &o, ImportPlan &plan, Diagnostics &diag)
{
    for (const auto &[zip, u] : plan.set.enrollment) {
        ZipRecord record{};
        const fs::path path = zone_path(plan.dataDir, ZONE_ENROLLMENT, zip);
        if (read_stored_zone_file(path, ZONE_ENROLLMENT, o.replace, record, diag) < 0) continue;
        for (int c = 0; c < 2; ++c) {
            uint16_t largest = 0;
            bool yearGiven = false;
            for (int y = 0; y < ENROLL_YEARS; ++y)
                if (u.given[c][y]) record.enrollment[c][y] = u.students[c][y], yearGiven |= y < ENROLL_MAX;
            for (int y = 0; y < ENROLL_MAX; ++y) largest = std::max(largest, record.enrollment[c][y]);
            // Without a max row the maximum reaches the largest year given; a stored one
            // is never lowered, and a campus the tables do not name keeps its own.
            if (u.given[c][ENROLL_MAX]) {
                if (u.students[c][ENROLL_MAX] < largest)
                    report(diag, false, u.maxPlace[c].file.c_str(), u.maxPlace[c].line, u.maxPlace[c].field,
                           "ZIP code %u, campus %d: the maximum %u is below the %u of one of its years", zip, c + 1,
                           unsigned(u.students[c][ENROLL_MAX]), unsigned(largest));
            } else if (yearGiven) {
                record.enrollment[c][ENROLL_MAX] = std::max(record.enrollment[c][ENROLL_MAX], largest);
            }
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
    plan.files.journal = plan.dataDir;   // locked by tallydata_main
    if (refuse_installed_targets(o, plan, diag) || refuse_study_collisions(o, plan, diag)) return EXIT_FAILED;
    read_tables(o, plan.set, diag);
    if (diag.errors) return EXIT_FAILED;
    note_reading(o, plan);
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
    for (const std::string &note : plan.notes) std::fprintf(out, "tallydata: %s\n", note.c_str());
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

// The header rows of a detail table: the line names, then their labels.
std::string detail_header()
{
    std::string text = "zip";
    for (int f = 0; f < FIELD_COUNT; ++f) text.append(",f").append(std::to_string(f));
    text += "\nlabel";
    for (int f = 0; f < FIELD_COUNT; ++f) text.append(",").append(label_cell(f < fieldList.count ? fieldList.label[f] : ""));
    return text + "\n";
}

// The census years a series is exported with: its four stored points, or when it was
// fitted to counts of other years, those counts (an import fits the same points again).
bool series_fitted(const GivenCounts *given, int s)
{
    if (!given) return false;
    return std::any_of(given->series[s].begin(), given->series[s].end(),
                       [](const auto &c) { return stored_point_index(c.first) < 0; });
}

// Each row the viewer misreads, as check finds it, is exported as the viewer reads it.
void warn_misread_line(const Options &o, uint32_t i, Diagnostics &diag)
{
    StudyFindings findings;
    find_line_problems(i, findings);
    const uint32_t zip = zipTable.records[i].zip;
    const long line = loadReport.lines[i].line;
    for (const StudyFinding &f : findings.found[SP_SCAN_SHORT])
        report(diag, false, o.load.c_str(), line, 0,
               "ZIP code %u: the viewer's scan stops %s fields: exported as the viewer reads it, 0 for the rest", zip,
               f.detail.c_str());
    if (!findings.found[SP_MISREAD].empty())
        report(diag, false, o.load.c_str(), line, 0,
               "ZIP code %u: a field ends inside its text, or the line is longer than %d characters: exported as "
               "the viewer misreads it", zip, PATH_SIZE - 1);
}

int export_command(const Options &o, FILE *out, Diagnostics &diag)
{
    if (!check_study_text(o.load.c_str(), false, diag) || !load_study(o, o.load, diag)) return EXIT_FAILED;
    const fs::path dataDir = o.data;
    std::string fieldsPath = (dataDir / "ui" / "fields.ui").string();
    if (!read_field_list(fieldsPath.c_str()))
        report(diag, false, fieldsPath.c_str(), 0, 0, "cannot be read: the detail table's label row is empty");
    GivenTable given;
    if (!read_given_table(dataDir / GIVEN_TABLE_NAME, given, diag)) return EXIT_FAILED;

    bool nonFinite = false;
    uint32_t count = loaded_zip_count();
    std::string zips = "zip,longitude,latitude,travel_minutes,traffic_minutes\n";
    std::string census = "zip,year,population,households,families\n";
    std::string detail = detail_header();
    std::map<int, std::string> otherDetail;   // the detail tables of other years than 2007, by year
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
        warn_misread_line(o, i, diag);
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

        const auto kept = given.find(r.zip);
        const GivenCounts *g = kept == given.end() ? nullptr : &kept->second;
        std::set<int> years;
        for (int s = 0; s < SERIES_COUNT; ++s) {
            if (series_fitted(g, s)) for (const auto &entry : g->series[s]) years.insert(entry.first);
            else years.insert(std::begin(CENSUS_YEAR_LIST), std::end(CENSUS_YEAR_LIST));
        }
        for (int year : years) {
            census += z + "," + std::to_string(year);
            for (int s = 0; s < SERIES_COUNT; ++s) {
                const int k = stored_point_index(year);
                census += ",";
                if (series_fitted(g, s)) {
                    const auto found = g->series[s].find(year);
                    if (found != g->series[s].end()) census += float_text(found->second);
                } else if (k >= 0) {
                    census += value(i, census_series(r, s).census[k], std::string(SERIES_NAMES[s]) + " " +
                                                                          std::to_string(year));
                }
            }
            census += "\n";
        }
        // Lines given in another year go into that year's table as given; lines filled
        // from the census counts stay empty, so that an import fills them again.
        detail += z;
        for (int f = 0; f < FIELD_COUNT; ++f) {
            const bool own = g && (g->detail.count(f) || g->filled.count(f));
            detail += ',';
            if (!own) detail += value(i, r.detail[f], "detail f" + std::to_string(f));
        }
        detail += "\n";
        std::set<int> detailYears;
        if (g) for (const auto &entry : g->detail) detailYears.insert(entry.second.first);
        for (int year : detailYears) {
            std::string &table = otherDetail[year];
            if (table.empty()) table = detail_header();
            table += z;
            for (int f = 0; f < FIELD_COUNT; ++f) {
                const auto found = g->detail.find(f);
                table += ',';
                if (found != g->detail.end() && found->second.first == year) table += float_text(found->second.second);
            }
            table += "\n";
        }
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
    std::string others;
    for (const auto &[year, table] : otherDetail) {
        const std::string name = "detail-" + std::to_string(year) + ".csv";
        files.files.push_back({into / name, table});
        others += " --year " + std::to_string(year) + " --detail " + name;
    }
    if (!commit_file_set(files, diag)) return EXIT_FAILED;
    std::fprintf(out, "tallydata: %zu ZIP codes, %zu tables written into %s, %d warning%s%s\n", done.size(),
                 files.files.size(), o.into.c_str(), diag.warnings, diag.warnings == 1 ? "" : "s",
                 nonFinite ? ", non-finite values left empty" : "");
    if (!others.empty())
        std::fprintf(out, "tallydata: detail counts of other years than 2007 are in their own tables: import them "
                          "with%s\n", others.c_str());
    return nonFinite ? EXIT_FAILED : EXIT_DONE;
}

// ============================================================================
// [SECTION] check
// ============================================================================
// The data folder as the viewer needs it: there, and with its field list. Either fault
// is one error, not one per ZIP code.
bool check_data_folder(const Options &o, Diagnostics &diag)
{
    std::error_code ec;
    if (!fs::is_directory(o.data, ec)) {
        report(diag, true, o.data.c_str(), 0, 0,
               "no such data folder: name the folder that holds zips/ and ui/ with --data (default ./data)");
        return false;
    }
    const fs::path fields = fs::path(o.data) / "ui" / "fields.ui";
    if (!read_field_list(fields.c_str())) {
        report(diag, true, o.data.c_str(), 0, 0,
               "not a data folder of the viewer: it has no ui/fields.ui, without which the viewer shows no field; "
               "an import into it copies ui/ and maps/");
        return false;
    }
    return true;
}

int check_command(const Options &o, FILE *out, Diagnostics &diag)
{
    const char *csv = o.load.c_str();
    if (!check_data_folder(o, diag) || !check_study_text(csv, true, diag) || !load_study(o, o.load, diag)) {
        std::fprintf(out, "tallydata: %s cannot be checked\n", csv);
        return EXIT_FAILED;
    }
    FittedSeries fitted;
    read_fitted_series(o.data, fitted, diag);
    StudyFindings findings;
    const uint32_t count = loaded_zip_count();
    for (uint32_t i = 0; i < count; ++i) {
        find_line_problems(i, findings);
        find_file_problems(i, fitted, findings);
    }
    long problems = diag.errors;   // the CSV's line ends, the given-counts table
    for (int kind = 0; kind < SP_KIND_COUNT; ++kind) {
        const std::vector<StudyFinding> &found = findings.found[kind];
        if (found.empty()) continue;
        const std::string text = study_problem_text(StudyProblem(kind), found, o.all);
        if (study_problem_is_note(StudyProblem(kind))) {
            report_note(diag, csv, "%s", text.c_str());
        } else {
            report(diag, true, csv, 0, 0, "%s", text.c_str());
            problems += long(found.size());
        }
    }
    std::fprintf(out, "tallydata: %u ZIP code%s checked, %ld problem%s found", count, count == 1 ? "" : "s",
                 problems, problems == 1 ? "" : "s");
    if (diag.notes) std::fprintf(out, ", %d note%s", diag.notes, diag.notes == 1 ? "" : "s");
    std::fprintf(out, "\n");
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
    // Every command holds the data folder's lock, and first finishes what an interrupted
    // import left there. The installed data is never written, so it needs none.
    FolderLock lock;
    const LockMode mode = options.command == CMD_IMPORT && !options.dryRun ? LOCK_TO_WRITE : LOCK_TO_READ;
    if (!resolves_into(options.data, installed_data()) &&
        !take_data_folder(options.data, mode, options.noWait, lock, diag))
        return EXIT_FAILED;
    int status = EXIT_USAGE;
    switch (options.command) {
    case CMD_IMPORT: status = import_command(options, out, diag); break;
    case CMD_EXPORT: status = export_command(options, out, diag); break;
    case CMD_CHECK:  status = check_command(options, out, diag); break;
    case CMD_NONE:   break;
    }
    release_data_folder(lock, status != EXIT_DONE);
    if (const int signal = interrupting_signal()) {   // the set was given up: die of it, as the shell expects
        std::fflush(out);
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }
    return status;
}
