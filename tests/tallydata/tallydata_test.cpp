// tallydata_test.cpp -- the tallydata program as a user runs it: the round trip of the
// bundled data, census-download forms, merging, every refusal leaving the data folder
// as it was (also on a full disk and a read-only folder), the command line, check, and
// the viewer's value export of imported data.
#include "scratch_folder.h"
#include "tables.h"

#include "data_paths.h"
#include "dates.h"
#include "selection.h"
#include "values.h"
#include "zip_table.h"
#include "zone_files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path SOURCE = TALLYMAP_SOURCE_DIR;

void write_text(const fs::path &path, const std::string &text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// The built tallydata, run by the shell in the test's own folder (or in folder).
class Tallydata : public ScratchFolderTest {
protected:
    fs::path operator/(const std::string &name) const { return dir / name; }
    ProgramRun tallydata(const std::string &arguments, const fs::path &folder = {})
    {
        return shell(in_folder(folder.empty() ? dir : folder, quoted(TALLYDATA_PATH) + " " + arguments));
    }
};
using TallydataRoundTrip = Tallydata;
using TallydataImport = Tallydata;
using TallydataCommandLine = Tallydata;
using TallydataExport = Tallydata;
using TallydataCheck = Tallydata;

// Every name below dir with a hash of its contents, one line each, for "nothing changed".
std::string snapshot(const fs::path &dir)
{
    std::map<std::string, size_t> files;
    for (const auto &entry : fs::recursive_directory_iterator(dir))
        files[fs::relative(entry.path(), dir).string()] =
            entry.is_regular_file() ? std::hash<std::string>()(slurp(entry.path())) : 0;
    std::string text;
    for (const auto &[name, hash] : files) text += name + " " + std::to_string(hash) + "\n";
    return text;
}

// The four tables of the bundled study area, exported once per test binary.
const fs::path &bundled_tables()
{
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("tallydata-tables-" + std::to_string(getpid()));
        fs::remove_all(d);
        std::string command = in_folder(SOURCE, quoted(TALLYDATA_PATH) + " export --load examples/study_area.csv --into " +
                                                    quoted(d.string()) + " >/dev/null");
        if (std::system(command.c_str()) != 0) ADD_FAILURE() << "export of the bundled data failed";
        std::atexit([] { fs::remove_all(fs::temp_directory_path() / ("tallydata-tables-" + std::to_string(getpid()))); });
        return d;
    }();
    return dir;
}

std::string all_tables()
{
    const fs::path &t = bundled_tables();
    return "--zips '" + (t / "zips.csv").string() + "' --census '" + (t / "census.csv").string() + "' --detail '" +
           (t / "detail.csv").string() + "' --enrollment '" + (t / "enrollment.csv").string() + "'";
}

std::vector<float> zone_values(const fs::path &path)
{
    std::string bytes = slurp(path);
    ZipRecord r{};
    decode_zone_file(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size(), r);
    return {r.population.census[0], r.population.census[1], r.population.census[2], r.population.census[3],
            r.households.census[2], r.families.census[2], r.detail[0], r.detail[306]};
}

std::vector<int> enrollment_values(const fs::path &path)
{
    std::string bytes = slurp(path);
    ZipRecord r{};
    decode_enrollment_file(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size(), r);
    return {r.enrollment[0][0], r.enrollment[0][16], r.enrollment[0][17], r.enrollment[1][0], r.enrollment[1][17]};
}

}  // namespace

// ---------------------------------------------------------------------------------
// The round trip and the viewer's own view of imported data
// ---------------------------------------------------------------------------------
TEST_F(TallydataRoundTrip, ExportThenImportGivesTheBundledFilesAndAViewerFolder)
{
    ProgramRun run = tallydata("import --data '" + (dir / "mine/data").string() + "' " + all_tables() +
                                      " --study '" + (dir / "study.csv").string() + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "tallydata: 258 ZIP codes, 518 files written, copied ui/ and maps/, 0 warnings\n");
    EXPECT_EQ(slurp(dir / "study.csv"), slurp(SOURCE / "examples/study_area.csv"));
    int compared = 0;
    for (const char *sub : {"zips", "enroll"})
        for (const auto &entry : fs::directory_iterator(dir / "mine/data" / sub)) {
            // The bundled reserved values are 0, as import writes them: whole files compare.
            EXPECT_EQ(slurp(entry.path()), slurp(SOURCE / "data" / sub / entry.path().filename())) << entry.path();
            ++compared;
        }
    EXPECT_EQ(compared, 2 * 258);
    EXPECT_EQ(snapshot(dir / "mine/data/ui"), snapshot(SOURCE / "data/ui"));
    EXPECT_EQ(snapshot(dir / "mine/data/maps"), snapshot(SOURCE / "data/maps"));
    // A Load Data CSV read as a zips table (ID ignored, TRAVEL and TRAFFIC by their short names).
    run = tallydata("import --data '" + (dir / "mine/data").string() + "' --zips '" +
                           (SOURCE / "examples/study_area.csv").string() + "' --study '" + (dir / "again.csv").string() + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(slurp(dir / "again.csv"), slurp(SOURCE / "examples/study_area.csv"));
    // Nor may the study file land among the installed Load Data CSVs.
    run = tallydata("import --data '" + (dir / "mine/data").string() + "' --zips '" +
                           (SOURCE / "examples/study_area.csv").string() + "' --study '" +
                           (SOURCE / "examples/new.csv").string() + "'");
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(fs::exists(SOURCE / "examples/new.csv"));

    // The viewer's value export, for census series and a detail field, with a campus,
    // at dates before, between and after the censuses: the same from either folder.
    auto values = [&](const fs::path &data, const fs::path &out) {
        std::string text;
        set_data_directory(data.c_str());
        EXPECT_EQ(read_records((SOURCE / "examples/study_area.csv").c_str()), 1);
        for (uint16_t field : {0, 3, 120, 306})
            for (PackedDate date : {pack_date(1, 1, 0), pack_date(15, 6, 14), pack_date(31, 12, 22)}) {
                querySelection.field = field;
                querySelection.campus = uint8_t(field % 3);
                timeline.currentDate = date;
                compute_values();
                EXPECT_EQ(write_values(out.c_str()), 1);
                text += slurp(out);
            }
        set_data_directory("./data");
        return text;
    };
    const std::string original = values(SOURCE / "data", dir / "v1.csv");
    EXPECT_GT(original.size(), 12u * 258u * 7u);
    EXPECT_EQ(values(dir / "mine/data", dir / "v2.csv"), original);
}

// ---------------------------------------------------------------------------------
// Tables as census downloads and spreadsheets write them
// ---------------------------------------------------------------------------------
TEST_F(TallydataImport, CensusDownloadFormsStackedOneFilePerYear)
{
    const int years[4] = {1990, 2000, 2007, 2012};
    std::string options;
    for (int y = 0; y < 4; ++y) {
        // A byte-order mark, CR LF, a label row, quoted cells with commas and quotes,
        // both prefixed ZIP forms, a leading zero, an ignored column, blank lines.
        std::string year = std::to_string(years[y]);
        std::string text = "\xEF\xBB\xBF" " Zip , NAME,Year,Population,Households,Families\r\n"
                           "\"Geography\",\"Area, \"\"Name\"\"\",\"Year\",\"Total\",\"Total\",\"Total\"\r\n"
                           "\r\n"
                           "860Z200US77002,\"ZCTA5 77002, Texas\"," + year + ",\"1,000\"x,1,1\r\n";
        text = text.substr(0, text.rfind("860Z"));   // the row above is the error case below
        text += "860Z200US77002,\"ZCTA5 77002, \"\"TX\"\"\"," + year + "," + std::to_string(1000 + y) + "," +
                std::to_string(500 + y) + ",250.5\r\n"
                "\"ZCTA5 07001\",x," + year + ",7,8,9\r\n\r\n";
        write_text(dir / ("census" + year + ".csv"), text);
        options += " --census '" + (dir / ("census" + year + ".csv")).string() + "'";
    }
    ProgramRun run = tallydata("import --data '" + (dir / "data").string() + "'" + options);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "tallydata: 2 ZIP codes, 3 files written, copied ui/ and maps/, 1 warning\n");
    EXPECT_EQ(run.err, "tallydata: warning: 2 ZIP codes (the first 7001) have census counts and no detail counts: the "
                       "first field line of each series counted holds its 2007 point, so that field shows the census "
                       "count through time; give --detail for the other fields\n");
    // The stored years merge as given; line 0 ("Total population") carries the 2007 count.
    EXPECT_EQ(zone_values(dir / "data/zips/77002.zc"), (std::vector<float>{1000, 1001, 1002, 1003, 502, 250.5f, 1002, 0}));
    EXPECT_EQ(zone_values(dir / "data/zips/7001.zc"), (std::vector<float>{7, 7, 7, 7, 8, 9, 7, 0}));
    EXPECT_EQ(fs::file_size(dir / "data/zips/7001.zc"), 1288u);
}

TEST_F(TallydataImport, MergesCellByCellAndReplaceStartsFromZeros)
{
    const std::string data = "--data '" + (dir / "data").string() + "' ";
    write_text(dir / "c1.csv", "zip,year,population,households,families\n77002,1990,10,20,30\n77002,2000,11,21,31\n");
    write_text(dir / "d1.csv", "zip,f0,f306\n77002,5,6\n");
    write_text(dir / "e1.csv", "zip,campus,year,students\n77002,1,1990,4\n77002,1,2006,9\n77002,2,1990,3\n");
    ASSERT_EQ(tallydata("import " + data + "--census c1.csv --detail d1.csv --enrollment e1.csv").status, 0);
    EXPECT_EQ(enrollment_values(dir / "data/enroll/77002.enr"), (std::vector<int>{4, 9, 9, 3, 3}));

    // Households absent, one empty population cell, a max row below a year.
    write_text(dir / "c2.csv", "zip,year,population,families\n77002,1990,,33\n");
    write_text(dir / "e2.csv", "zip,campus,year,students\n77002,1,1990,12\n77002,2,max,2\n");
    ProgramRun run = tallydata("import " + data + "--census c2.csv --enrollment e2.csv");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err.find("c2.csv:1: warning"), std::string::npos) << run.err;   // one series a table is usual
    EXPECT_NE(run.err.find("c2.csv:2:3: warning: 1 empty cell keeps"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("e2.csv:3:4: warning: ZIP code 77002, campus 2: the maximum 2 is below the 3"), std::string::npos) << run.err;
    ZipRecord r{};
    std::string bytes = slurp(dir / "data/zips/77002.zc");
    decode_zone_file(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size(), r);
    EXPECT_EQ(r.population.census[0], 10);   // empty cell: kept
    EXPECT_EQ(r.households.census[0], 20);   // absent column: kept
    EXPECT_EQ(r.families.census[0], 33);     // given: replaced
    EXPECT_EQ(r.population.census[1], 11);   // row not given: kept
    EXPECT_EQ(r.detail[306], 6);
    EXPECT_EQ(enrollment_values(dir / "data/enroll/77002.enr"), (std::vector<int>{12, 9, 12, 3, 2}));

    ASSERT_EQ(tallydata("import " + data + "--replace --census c2.csv").status, 0);
    bytes = slurp(dir / "data/zips/77002.zc");
    r = ZipRecord{};
    decode_zone_file(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size(), r);
    EXPECT_EQ(r.households.census[0], 0);
    EXPECT_EQ(r.families.census[0], 33);
    EXPECT_EQ(r.detail[306], 0);
    EXPECT_EQ(enrollment_values(dir / "data/enroll/77002.enr"), (std::vector<int>{12, 9, 12, 3, 2}));   // not rewritten

    // A maximum given once stays when a later table gives a year and no max row.
    write_text(dir / "e3.csv", "zip,campus,year,students\n77002,1,max,40\n");
    write_text(dir / "e4.csv", "zip,campus,year,students\n77002,1,1991,7\n");
    ASSERT_EQ(tallydata("import " + data + "--enrollment e3.csv").status, 0);
    ASSERT_EQ(tallydata("import " + data + "--enrollment e4.csv").status, 0);
    EXPECT_EQ(enrollment_values(dir / "data/enroll/77002.enr"), (std::vector<int>{12, 9, 40, 3, 2}));

    // A census file longer than its layout is named with its size, merged and cut to 1288 bytes.
    write_text(dir / "data/zips/77002.zc", slurp(dir / "data/zips/77002.zc") + std::string(712, '\x7f'));
    write_text(dir / "c3.csv", "zip,year,households\n77002,1990,21\n");
    run = tallydata("import " + data + "--census c3.csv");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("data/zips/77002.zc: warning: holds 2000 bytes, not the 1288 of a census file: replaced "
                           "by one of 1288, with the values it holds"), std::string::npos) << run.err;
    bytes = slurp(dir / "data/zips/77002.zc");
    EXPECT_EQ(bytes.size(), 1288u);
    r = ZipRecord{};
    decode_zone_file(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size(), r);
    EXPECT_EQ(r.households.census[0], 21);
    EXPECT_EQ(r.families.census[0], 33);   // kept from the file
}

// ---------------------------------------------------------------------------------
// Refusals: each leaves the data folder and the study file exactly as they were
// ---------------------------------------------------------------------------------
TEST_F(TallydataImport, EveryErrorLeavesTheDataFolderAsItWas)
{
    const std::string data = "--data '" + (dir / "data").string() + "' ";
    write_text(dir / "c.csv", "zip,year,population,households,families\n77002,1990,1,2,3\n");
    write_text(dir / "e.csv", "zip,campus,year,students\n77002,1,1990,4\n");
    write_text(dir / "z.csv", "zip,longitude,latitude,travel,traffic\n77002,-95.36,29.75,1,2\n");
    ASSERT_EQ(tallydata("import " + data + "--census c.csv --enrollment e.csv --zips z.csv --study study.csv").status, 0);
    write_text(dir / "good.csv", "zip,year,population,households,families\n77100,1990,1,2,3\n");
    const auto before = snapshot(dir / "data");
    const std::string studyBefore = slurp(dir / "study.csv");

    std::string tooMany = "zip,longitude,latitude,travel,traffic\n";
    for (int i = 1; i <= 301; ++i) tooMany += std::to_string(77000 + i) + ",-95.3,29.7,1,1\n";
    const std::string shown = "(301 rows)";
    struct Case { const char *option; std::string table; const char *message; };
    const std::vector<Case> cases = {
        {"--census", "zip,year,population\n77002,1990,many\n", "t.csv:2:3: error: not a number"},
        {"--census", "zip,year,population\n77002,1990,nan\n", "t.csv:2:3: error: not a finite number"},
        {"--census", "zip,year,population\n77002,1990,-inf\n", "t.csv:2:3: error: not a finite number"},
        {"--census", "zip,year,population\n77002,1990,1e39\n", "t.csv:2:3: error: beyond single precision"},
        {"--census", "zip,year,population\n77002,2021,1\n", "t.csv:2:2: error: the census year must be 1990 to 2020"},
        {"--census", "zip,year,population\n77002,1990,1\n77002,1990,2\n", "t.csv:3:1: error: ZIP code 77002 and year 1990 are in the table twice"},
        {"--census", "zip,population\n77002,1\n", "t.csv:1: error: the header has no column \"year\""},
        {"--census", "zip,year,population\n77002-1234,1990,1\n", "t.csv:2:1: error: a ZIP+4 code"},
        {"--census", "zip,year,population\n770021,1990,1\n", "t.csv:2:1: error: a ZIP code has at most 5 digits"},
        {"--census", "zip,year,population\n0,1990,1\n", "t.csv:2:1: error: ZIP code 0"},
        {"--census", "zip,year,population\n,1990,1\n", "t.csv:2:1: error: the ZIP code is empty"},
        {"--census", "zip,year,population\n77002.5,1990,1\n", "t.csv:2:1: error: not a ZIP code (1 to 5 digits): 77002.5"},
        {"--census", "zip,year,population\n-77002,1990,1\n", "t.csv:2:1: error: not a ZIP code (1 to 5 digits): -77002"},
        {"--census", std::string("zip,year,population\n77002,1990,1\0002\n", 34), "t.csv:2:3: error: a NUL byte in the cell"},
        {"--census", "zip,year,population\n77002,1990,1\nTotal,1990,1\n", "t.csv:3:1: error: no ZIP code in the cell"},
        {"--census", "zip,year,population\n77002,1990,\"1\n", "t.csv:2: error: a quoted field is not closed"},
        {"--detail", "zip,f0\n77002,1\n77002,2\n", "t.csv:3:1: error: ZIP code 77002 is in the detail table twice"},
        {"--enrollment", "zip,campus,year,students\n77002,3,1990,1\n", "t.csv:2:2: error: the campus must be 1 or 2"},
        {"--enrollment", "zip,campus,year,students\n77002,1,2007,1\n", "t.csv:2:3: error: the year must be 1990 to 2006 or max"},
        {"--enrollment", "zip,campus,year,students\n77002,1,1990,2.5\n", "t.csv:2:4: error: students (a whole number 0 to 65535): not a whole number"},
        {"--enrollment", "zip,campus,year,students\n77002,1,1990,-1\n", "t.csv:2:4: error: students (a whole number 0 to 65535): negative"},
        {"--enrollment", "zip,campus,year,students\n77002,1,1990,65536\n", "t.csv:2:4: error: students (a whole number 0 to 65535): too large"},
        {"--enrollment", "zip,campus,year,students\n77002,1,max,1\n77002,1,MAX,1\n", "t.csv:3:1: error: ZIP code 77002, campus 1 and year max are in the table twice"},
        {"--zips", "zip,longitude,latitude,travel,traffic\n77002,-95.3,29.7,-1,1\n", "t.csv:2:4: error: travel minutes: negative"},
        {"--zips", "zip,longitude,latitude,travel,traffic\n77002,-95.3,29.7,1,1\n77002,-95.3,29.7,1,1\n", "t.csv:3:1: error: ZIP code 77002 is in the table twice (first at t.csv:2)"},
        {"--zips", "zip,longitude,latitude\n77002,-95,3,29.7\n", ""},   // an extra cell is ignored: no error
        {"--zips", tooMany, "t.csv:302:1: error: more than 300 ZIP codes in the zips table (the viewer holds 300): split the table"},
    };
    for (const Case &c : cases) {
        write_text(dir / "t.csv", c.table);
        // Every case with a good census table first: the error in t.csv must stop it too.
        ProgramRun run = tallydata("import " + data + "--census good.csv " + c.option + " t.csv" +
                                          (std::strcmp(c.option, "--zips") == 0 ? " --study study.csv" : "") +
                                          (*c.message ? "" : " --dry-run"));
        if (!*c.message) {
            EXPECT_EQ(run.status, 0) << c.table << run.err;
            continue;
        }
        const std::string what = c.table.size() < 200 ? c.table : shown;
        EXPECT_EQ(run.status, 1) << what;
        EXPECT_NE(run.err.find(std::string("tallydata: ") + c.message), std::string::npos) << what << run.err.substr(0, 2000);
        EXPECT_EQ(run.out, "") << what;
        EXPECT_EQ(snapshot(dir / "data"), before) << what;
        EXPECT_EQ(slurp(dir / "study.csv"), studyBefore) << what;
    }

    // The study CSV may not overwrite a table of the import, a file of the data folder or a folder.
    for (const auto &[study, message] : {std::pair{"z.csv", "z.csv: error: is the table --zips z.csv of this import"},
                                         std::pair{"c.csv", "c.csv: error: is the table --census c.csv of this import"},
                                         std::pair{"data/zips/77002.zc", "lies inside the data folder"},
                                         std::pair{"data", "data: error: is a folder"}}) {
        ProgramRun run = tallydata("import " + data + "--census c.csv --zips z.csv --study " + study);
        EXPECT_EQ(run.status, 1) << study;
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
        EXPECT_EQ(snapshot(dir / "data"), before) << study;
        EXPECT_EQ(slurp(dir / "study.csv"), studyBefore) << study;
    }
    EXPECT_EQ(slurp(dir / "z.csv"), "zip,longitude,latitude,travel,traffic\n77002,-95.36,29.75,1,2\n");

    // A table that cannot be read, and the installed data itself (through a link).
    ProgramRun run = tallydata("import " + data + "--census missing.csv");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("missing.csv: error: cannot be read"), std::string::npos) << run.err;
    // A data folder behind a link loop: neither there nor missing.
    fs::create_symlink("loop", dir / "loop");
    run = tallydata("import --replace --data loop/data --census c.csv");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("loop/data: error: cannot be written (Too many levels of symbolic links)"), std::string::npos)
        << run.err;
    // Run in a folder that was removed: nothing can be written, nothing aborts.
    run = shell(in_folder(dir, "mkdir gone && cd gone && rmdir ../gone && " + quoted(TALLYDATA_PATH) +
                                   " import --data data --census " + quoted((dir / "c.csv").string())));
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(run.err.find("terminate"), std::string::npos) << run.err;
    fs::create_directory_symlink(SOURCE / "data", dir / "link");
    const auto bundled = snapshot(SOURCE / "data");
    run = tallydata("import --data link/. --census c.csv");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("import into a folder of your own"), std::string::npos) << run.err;
    // A folder of one's own whose zips/ or enroll/ links into the installed data. The
    // tables hold the bundled figures, so that a wrong import would change no byte there:
    // it is seen by the installed files' new inodes.
    struct stat zc, enr;
    ASSERT_EQ(stat((SOURCE / "data/zips/77002.zc").c_str(), &zc), 0);
    ASSERT_EQ(stat((SOURCE / "data/enroll/77002.enr").c_str(), &enr), 0);
    for (const char *sub : {"zips", "enroll"}) {
        fs::create_directories(dir / "own/data");
        fs::create_directory_symlink(SOURCE / "data" / sub, dir / "own/data" / sub);
        run = tallydata("import --data own/data " + all_tables());
        EXPECT_EQ(run.status, 1) << sub;
        EXPECT_NE(run.err.find("own/data/" + std::string(sub) + ": error: this is the installed sample data"),
                  std::string::npos) << run.err;
        fs::remove_all(dir / "own");
    }
    struct stat after;
    EXPECT_TRUE(stat((SOURCE / "data/zips/77002.zc").c_str(), &after) == 0 && after.st_ino == zc.st_ino);
    EXPECT_TRUE(stat((SOURCE / "data/enroll/77002.enr").c_str(), &after) == 0 && after.st_ino == enr.st_ino);
    EXPECT_EQ(snapshot(SOURCE / "data"), bundled);
    EXPECT_EQ(snapshot(dir / "data"), before);
}

TEST_F(TallydataImport, WarningsDoNotStopTheImport)
{
    write_text(dir / "c.csv", "zip,year,population,households,families\n77002,1990,-1,-2,3\n");
    write_text(dir / "z.csv", "zip,longitude,latitude\n77002,-97.5,29.75\n77003,-95.3,29.7\n77004,-95.3,29.7\n");
    ProgramRun run = tallydata("import --data d --census c.csv --zips z.csv --dry-run");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("c.csv:2:3: warning: 2 negative counts (census files mark missing figures so) kept as the counts of 1990"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("z.csv:1: warning: no column travel_minutes, traffic_minutes"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("z.csv:2: warning: ZIP code 77002 at -97.5, 29.75 is off the base map"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("z.csv:3:1: warning: 2 ZIP codes of the zips table (the first 77003) have no census file"),
              std::string::npos) << run.err;
    EXPECT_EQ(run.out, "tallydata: 3 ZIP codes, 3 files would be written (dry run), would copy ui/ and maps/, 5 warnings\n");
    EXPECT_FALSE(fs::exists(dir / "d"));
    EXPECT_FALSE(fs::exists(dir / "study.csv"));
}

TEST_F(TallydataCommandLine, WrongCommandLinesExit2BeforeReadingAnything)
{
    const char *lines[] = {
        "",        "frobnicate",        "import",   "import --data d",    "import --census",
        "import --census missing.csv --bogus", "import --study s.csv --census missing.csv",
        "export --load missing.csv",  "check",    "check --load missing.csv --into x",  "import --replace=1 --census c",
        "import --d x",  "import --census=",  "import -x --census c",  "import --census c stray",  "--bogus",
    };
    for (const char *line : lines) {
        ProgramRun run = tallydata(line);
        EXPECT_EQ(run.status, 2) << line;
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << line << ": " << run.err;   // one line
        EXPECT_EQ(run.err.rfind("tallydata: ", 0), 0u) << line;
    }
    for (const char *line : {"--help", "import --help", "export --help", "check --help"}) {
        ProgramRun run = tallydata(line);
        EXPECT_EQ(run.status, 0) << line;
        EXPECT_NE(run.out.find("usage: tallydata"), std::string::npos) << line;
    }
    EXPECT_EQ(tallydata("import --d x").err.find("ambiguous option '--d' (--data, --dry-run, --detail)"), 11u);

    // Values after '=' and unambiguous shortenings, as getopt_long takes them.
    write_text(dir / "c.csv", "zip,year,population\n77002,1990,5\n");
    ProgramRun run = tallydata("import --data=d --cen=c.csv --dry");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("2 files would be written (dry run)"), std::string::npos) << run.out;
    run = tallydata("--version");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("tallydata " TALLYMAP_VERSION_TEXT "\n", 0), 0u) << run.out;
}

// ---------------------------------------------------------------------------------
// A full disk and a read-only folder, in a mount namespace of their own
// ---------------------------------------------------------------------------------
TEST_F(TallydataImport, FullDiskAndReadOnlyFolderChangeNothing)
{
    if (std::system("unshare -m true 2>/dev/null") != 0 && std::system("unshare -rm true 2>/dev/null") != 0)
        GTEST_SKIP() << "unshare cannot make a mount namespace here";
    const char *unshare = std::system("unshare -m true 2>/dev/null") == 0 ? "unshare -m" : "unshare -rm";
    fs::create_directories(dir / "mnt");
    // In the namespace: a 160 KB tmpfs holding a small data folder (its own ui/ with the
    // field list and an empty maps/, so nothing is copied); importing the whole
    // study area (about 350 KB) runs out of room. Then the same folder read-only.
    write_text(dir / "c.csv", "zip,year,population,households,families\n77002,1990,1,2,3\n");
    write_text(dir / "ro.csv", "ZIP,ID,LONGITUDE,LATITUDE,TRAVEL,TRAFFIC\n77002,1,-95.36,29.75,1,2\n");
    const std::string t = "'" TALLYDATA_PATH "'";
    const std::string script =
        "set -u; cd '" + dir.string() + "' && mount -t tmpfs -o size=160k tmpfs mnt && "
        "mkdir -p mnt/data/ui mnt/data/maps && cp '" + (SOURCE / "data/ui/fields.ui").string() + "' mnt/data/ui && "
        + t + " import --data mnt/data --census c.csv >/dev/null 2>&1 && "
        "(cd mnt && find . -type f ! -name .tallydata.lock | sort | xargs md5sum) > before.txt && "
        + t + " import --data mnt/data " + all_tables() + " --study mnt/study.csv > full.out 2> full.err; echo $? > full.status; "
        "(cd mnt && find . -type f ! -name .tallydata.lock | sort | xargs md5sum) > after-full.txt; ls -a mnt/data/zips | wc -l > full.names; "
        "rm mnt/data/.tallydata.lock && mount --bind mnt mnt && mount -o remount,ro,bind mnt && "
        + t + " import --data mnt/data --census c.csv --replace > ro.out 2> ro.err; echo $? > ro.status; "
        + t + " check --data mnt/data --load ro.csv > ro-check.out 2>&1; "
        + t + " export --data mnt/data --load ro.csv --into ro-tables > ro-export.out 2>&1; echo $? > ro-export.status; "
        "(cd mnt && find . -type f ! -name .tallydata.lock | sort | xargs md5sum) > after-ro.txt";
    write_text(dir / "script.sh", script);
    ASSERT_EQ(std::system((std::string(unshare) + " sh '" + (dir / "script.sh").string() + "'").c_str()), 0) << slurp(dir / "full.err");
    ASSERT_FALSE(slurp(dir / "before.txt").empty());
    EXPECT_EQ(slurp(dir / "full.status"), "1\n");
    EXPECT_NE(slurp(dir / "full.err").find("No space left on device"), std::string::npos) << slurp(dir / "full.err");
    EXPECT_EQ(slurp(dir / "after-full.txt"), slurp(dir / "before.txt"));
    EXPECT_EQ(slurp(dir / "full.names"), "3\n");   // ".", ".." and 77002.zc: no temporary left behind
    EXPECT_EQ(slurp(dir / "ro.status"), "1\n");
    EXPECT_NE(slurp(dir / "ro.err").find("Read-only file system"), std::string::npos) << slurp(dir / "ro.err");
    // What cannot be written needs no lock: check and export read the read-only folder.
    EXPECT_NE(slurp(dir / "ro-check.out").find("tallydata: 1 ZIP code checked, 1 problem found"), std::string::npos)
        << slurp(dir / "ro-check.out");   // census counts without detail counts
    EXPECT_EQ(slurp(dir / "ro-export.status"), "0\n") << slurp(dir / "ro-export.out");
    EXPECT_EQ(slurp(dir / "after-ro.txt"), slurp(dir / "before.txt"));
}

// ---------------------------------------------------------------------------------
// export of odd data, and check
// ---------------------------------------------------------------------------------
TEST_F(TallydataExport, NonFiniteValuesAndMissingFiles)
{
    ZipRecord r{};
    r.population.census[1] = std::numeric_limits<float>::quiet_NaN();
    r.detail[2] = 0.1f;
    unsigned char image[ZONE_FILE_SIZE];
    encode_zone_file(r, image);
    write_text(dir / "data/zips/77002.zc", std::string(reinterpret_cast<char *>(image), sizeof image));
    // Rows the viewer misreads (a NUL ends its scan, a fraction where a whole number
    // belongs) are exported as it reads them, each with the warning check gives.
    write_text(dir / "study.csv", std::string("ZIP,ID,LONGITUDE,LATITUDE,TRAVEL,TRAFFIC\n77002,1,-95.36,29.75,1,2\n"
                                              "7001,2,-95.1,29.1,3,4\n77003\0,3,-95.1,29.1,3,4\n", 112) +
                                  "77004,4,-95.1,29.1,3,4.5\n77002,5,-95.36,29.75,1,2\n");
    ProgramRun run = tallydata("export --data data --load study.csv --into out");
    EXPECT_NE(run.err.find("study.csv:4: warning: ZIP code 77003: the viewer's scan stops after 1 of 6 fields: "
                           "exported as the viewer reads it, 0 for the rest"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("study.csv:5: warning: ZIP code 77004: a field ends inside its text"), std::string::npos);
    EXPECT_NE(slurp(dir / "out/zips.csv").find("\n77003,0,0,0,0\n"), std::string::npos);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("study.csv:2: error: ZIP code 77002: population 2000 is not a finite number"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("study.csv:3: warning: ZIP code 7001 has no data/zips/7001.zc: exported as zeros"), std::string::npos) << run.err;
    const std::string census = slurp(dir / "out/census.csv");
    EXPECT_NE(census.find("\n77002,2000,,0,0\n"), std::string::npos) << census;
    EXPECT_NE(census.find("\n07001,2012,0,0,0\n"), std::string::npos) << census;
    EXPECT_NE(slurp(dir / "out/detail.csv").find("\n77002,0,0,0.1,0,"), std::string::npos);
    EXPECT_NE(slurp(dir / "out/enrollment.csv").find("\n07001,2,max,0\n"), std::string::npos);
    // A ZIP code the study lists twice is exported once, so the tables import again.
    EXPECT_NE(run.err.find("study.csv:6: warning: ZIP code 77002 is in the file twice: exported once"), std::string::npos);
    run = tallydata("import --data back --zips out/zips.csv --census out/census.csv --detail out/detail.csv "
                    "--enrollment out/enrollment.csv --study back.csv");
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string back = slurp(dir / "back.csv");
    EXPECT_EQ(back.find("\n77002,"), back.rfind("\n77002,")) << back;
}

// A census file image of a record, for a folder built to hold a problem.
std::string zone_image(const ZipRecord &r)
{
    unsigned char image[ZONE_FILE_SIZE];
    encode_zone_file(r, image);
    return std::string(reinterpret_cast<char *>(image), sizeof image);
}

TEST_F(TallydataCheck, GroupsEachKindWithItsZipCodesAndNoProblemOnTheBundledData)
{
    ProgramRun run = tallydata("check --load examples/study_area.csv", SOURCE);
    EXPECT_EQ(run.status, 0) << run.err;
    // The two areas where nobody lives are told of, not counted.
    EXPECT_EQ(run.out, "tallydata: 258 ZIP codes checked, 0 problems found, 1 note\n");
    EXPECT_EQ(run.err, "tallydata: examples/study_area.csv: note: 2 ZIP codes have census files of zeros (77201 on "
                       "line 98; 77507 on line 201): every field stands at 0 for them, as for an area where nobody "
                       "lives\n");

    // Each kind on ZIP codes of its own, beside good files of the bundled data.
    fs::create_directories(dir / "data");
    for (const char *sub : {"zips", "enroll", "ui"}) fs::copy(SOURCE / "data" / sub, dir / "data" / sub, fs::copy_options::recursive);
    fs::remove(dir / "data/zips/77003.zc");                                          // line 3: missing
    write_text(dir / "data/zips/77004.zc", std::string(100, '\1'));                    // line 4: short
    write_text(dir / "data/enroll/77005.enr", std::string(73, '\0'));                  // line 5: too long
    ZipRecord r{};
    r.population.census[2] = 10;
    r.detail[9] = std::numeric_limits<float>::infinity();
    r.households.census[3] = -5;
    write_text(dir / "data/zips/77006.zc", zone_image(r));                             // line 6
    ZipRecord e{};
    e.enrollment[1][4] = 9;
    e.enrollment[1][ENROLL_MAX] = 8;
    unsigned char enr[ENROLLMENT_FILE_SIZE];
    encode_enrollment_file(e, enr);
    write_text(dir / "data/enroll/77007.enr", std::string(reinterpret_cast<char *>(enr), sizeof enr));    // line 7
    fs::remove(dir / "data/enroll/77008.enr");
    fs::create_directory(dir / "data/enroll/77008.enr");                              // line 9: opens, cannot be read
    ZipRecord counts{};
    counts.population.census[2] = 500;
    write_text(dir / "data/zips/77011.zc", zone_image(counts));                        // line 13: no detail counts
    write_text(dir / "data/zips/77012.zc", zone_image(ZipRecord{}));                   // line 14: zeros
    ZipRecord zero2007{};
    zero2007.population.census[2] = 500;
    zero2007.detail[0] = 500;
    zero2007.detail[76] = 7;   // "Total households" (series code 1), whose 2007 count is 0
    write_text(dir / "data/zips/77013.zc", zone_image(zero2007));                      // line 15
    for (const char *zip : {"77014", "77015", "77016", "77017", "77018", "77019"})
        fs::remove(dir / "data/enroll" / (std::string(zip) + ".enr"));                 // lines 16 to 21: no enrollment
    write_text(dir / "data/census-given.csv", "zip,what,year,count\n77002,population,2010,16793\n"
                                              "77002,population,2000,15000\n77014,households,2012,400\n");
    std::string study = "ZIP,ID,LONGITUDE,LATITUDE,TRAVEL,TRAFFIC\n"
                        "77002,1,-95.36,29.75,1,2\n77003,2,-95.36,29.75,1,2\n77004,3,-95.36,29.75,1,2\n"
                        "77005,4,-95.36,29.75,1,2\n77006,5,-95.36,29.75,1,2\n77007,6,-95.36,29.75,1,2\n"
                        "\n"
                        "77008,7,-97.5,29.75,1,2\n"        // line 9: off the map
                        "77002,8,-95.36,29.75,1,2\n"       // line 10: twice
                        "77009,9,-95.36,29.75\n"           // line 11: stops short
                        "77010,1,-95.36,29.75,12,20.5\n";  // line 12: misread
    for (int zip = 77011; zip <= 77019; ++zip) study += std::to_string(zip) + ",1,-95.36,29.75,1,2\n";
    write_text(dir / "study.csv", study);
    ASSERT_EQ(fs::file_size(dir / "data/zips/77006.zc"), ZONE_FILE_SIZE);
    run = tallydata("check --load study.csv");
    EXPECT_EQ(run.status, 1);
    const char *expected[] = {
        "study.csv: error: 1 ZIP code stops the viewer's scan before its sixth field (77009 on line 11, after 4 of 6): "
        "the viewer reads 0 for the fields after; give each line ZIP,ID,LONGITUDE,LATITUDE,TRAVEL,TRAFFIC\n",
        "study.csv: error: 1 ZIP code has a field that ends inside its text, or a line longer than 255 characters "
        "(77010 on line 12): the viewer misreads the line",
        "study.csv: error: 1 ZIP code is listed twice (77002 on line 10, also on line 2): the viewer shows it twice",
        "study.csv: error: 1 ZIP code stands off the base map (77008 on line 9, -97.5, 29.75)",
        "study.csv: error: 1 ZIP code has no census file (77003 on line 3): the viewer shows 0 for it in every field; "
        "import census counts for it",
        "study.csv: error: 1 ZIP code has a short census file (77004 on line 4, 100 of 1288 bytes)",
        "study.csv: error: 1 ZIP code has an enrollment file longer than 72 bytes (77005 on line 5)",
        "study.csv: error: 1 ZIP code has counts that are not finite numbers in its census file (77006 on line 6, 1, "
        "the first detail f9)",
        "study.csv: error: 1 ZIP code has negative counts in its census file (77006 on line 6, 1, the first "
        "households 2012)",
        "study.csv: error: 1 ZIP code has a maximum enrollment below one of its years (77007 on line 7, campus 2: 8 "
        "below 9)",
        "study.csv: error: 1 ZIP code has an enrollment file that cannot be read (77008 on line 9)",
        "study.csv: error: 1 ZIP code has census counts and no detail counts (77011 on line 13): every field stands "
        "at 0 for it; import a detail table (--detail), or its census counts again, which fills the totals\n",
        "study.csv: error: 1 ZIP code has a 2007 count of 0 in a series whose fields have detail counts (77013 on line "
        "15, households)",
        "study.csv: note: 1 ZIP code has a census file of zeros (77012 on line 14)",
        "study.csv: note: 2 ZIP codes have census points fitted to counts of other years than 1990, 2000, 2007 and "
        "2012 (77002 on line 2, population from 2000, 2010; 77002 on line 10, population from 2000, 2010): the viewer's "
        "curve passes through those counts; between them it is the viewer's quadratic and may dip\n",
        "study.csv: note: 6 ZIP codes have no enrollment file (77014 on line 16; 77015 on line 17; 77016 on line 18; "
        "77017 on line 19; 77018 on line 20; and 1 more: --all lists every one): the campus colouring shows none for "
        "them",
    };
    for (const char *text : expected) EXPECT_NE(run.err.find(text), std::string::npos) << text << "\n" << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 16) << run.err;
    EXPECT_EQ(run.out, "tallydata: 19 ZIP codes checked, 13 problems found, 3 notes\n");
    EXPECT_NE(tallydata("check --load study.csv --all").err.find("77018 on line 20; 77019 on line 21): the campus"),
              std::string::npos);

    // Notes alone are no problem: missing enrollment files only.
    write_text(dir / "quiet.csv", "ZIP,ID,LONGITUDE,LATITUDE,TRAVEL,TRAFFIC\n77014,1,-95.36,29.75,1,2\n");
    run = tallydata("check --load quiet.csv");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "tallydata: 1 ZIP code checked, 0 problems found, 1 note\n");
}

// What cannot be checked at all is one line: no folder, a folder the viewer cannot use,
// a study file that cannot be read, another table given as the Load Data CSV; and lines
// that end in a carriage return alone, which the viewer does not take for line ends.
TEST_F(TallydataCheck, WhatCannotBeCheckedIsOneLine)
{
    write_text(dir / "study.csv", "ZIP,ID,LONGITUDE,LATITUDE,TRAVEL,TRAFFIC\n77002,1,-95.36,29.75,1,2\n");
    fs::create_directories(dir / "empty/zips");
    struct Case { std::string arguments, message; };
    const std::vector<Case> cases = {
        {"--data nowhere --load study.csv", "tallydata: nowhere: error: no such data folder"},
        {"--data empty --load study.csv", "tallydata: empty: error: not a data folder of the viewer: it has no ui/fields.ui"},
        {"--data " + quoted((SOURCE / "data").string()) + " --load " + quoted((SOURCE / "data").string()),
         "error: cannot be read (Is a directory)"},
        {"--data " + quoted((SOURCE / "data").string()) + " --load none.csv",
         "none.csv: error: cannot be read (No such file or directory)"},
        {"--data " + quoted((SOURCE / "data").string()) + " --load " + quoted((SOURCE / "examples/tables/zips.csv").string()),
         "zips.csv:1: error: this is a zips table, not a Load Data CSV (ZIP,ID,LONGITUDE,LATITUDE,TRAVEL,TRAFFIC): "
         "the viewer would read its columns in the wrong places; make a Load Data CSV of it with: tallydata import "
         "--zips "},
        {"--data " + quoted((SOURCE / "data").string()) + " --load " + quoted((SOURCE / "examples/tables/census.csv").string()),
         "census.csv:1: error: this is a census table, not a Load Data CSV"},
        {"--data " + quoted((SOURCE / "data").string()) + " --load " + quoted((SOURCE / "examples/tables/dec2020-p1.csv").string()),
         "dec2020-p1.csv:1: error: this is a census download, not a Load Data CSV"},
    };
    for (const Case &c : cases) {
        ProgramRun run = tallydata("check " + c.arguments);
        EXPECT_EQ(run.status, 1) << c.arguments;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.message << "\n" << run.err;
        EXPECT_NE(run.out.find("cannot be checked"), std::string::npos) << run.out;
    }
    ProgramRun run = tallydata("export --data " + quoted((SOURCE / "data").string()) + " --load " +
                               quoted((SOURCE / "examples/tables/zips.csv").string()) + " --into out");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("this is a zips table, not a Load Data CSV"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(dir / "out"));

    // Line ends of a CR alone: the viewer reads one line, so no ZIP code at all.
    write_text(dir / "mac.csv", "ZIP,ID,LONGITUDE,LATITUDE,TRAVEL,TRAFFIC\r77002,1,-95.36,29.75,1,2\r77003,2,-95.3,29.7,1,2\r");
    const std::string bundled = "--data " + quoted((SOURCE / "data").string()) + " --load mac.csv";
    run = tallydata("check " + bundled);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "tallydata: mac.csv:1: error: 2 line ends of a carriage return alone: the viewer takes none "
                       "for a line end and reads what follows each as part of the line before, so it misreads or drops "
                       "those ZIP codes; save the file with LF or CR LF line ends\n");
    EXPECT_EQ(run.out, "tallydata: 0 ZIP codes checked, 1 problem found\n");
    run = tallydata("export " + bundled + " --into out");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.err.find("mac.csv:1: warning: 2 line ends of a carriage return alone"), std::string::npos) << run.err;
}
