// census_import_test.cpp -- census counts as users download them, imported by the built
// tallydata and looked at through the viewer's own loading and value computation: each
// count given is the value shown at the dates around its year's t = (Y - 1990) / 22;
// least-squares points stored for yearly estimates; detail counts of 2010 shown at
// 2010; counts given over several imports give the files of one import; the negative
// rules; every download shape and every refusal, under a decimal-comma locale too; and
// export giving back what was given.
#include "scratch_folder.h"
#include "viewer_values.h"

#include "data_paths.h"
#include "dates.h"
#include "field_list.h"
#include "selection.h"
#include "values.h"
#include "zip_table.h"
#include "zone_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path SOURCE = TALLYMAP_SOURCE_DIR;
const char GERMAN[] = "LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8 ";

using Counts = std::map<uint32_t, double>;   // ZIP code -> count

class CensusImport : public ScratchFolderTest {
protected:
    void SetUp() override
    {
        ScratchFolderTest::SetUp();
        write("study.csv", "ZIP,ID,LONGITUDE,LATITUDE,TRAVEL,TRAFFIC\n77001,1,-95.36,29.75,1,1\n"
                           "77002,2,-95.37,29.76,1,1\n77003,3,-95.38,29.77,1,1\n77004,4,-95.39,29.78,1,1\n");
    }
    void write(const std::string &name, const std::string &text)
    {
        std::ofstream(dir / name, std::ios::binary) << text;
    }
    ProgramRun tallydata(const std::string &arguments, const char *environment = "")
    {
        return shell(in_folder(dir, environment + quoted(TALLYDATA_PATH) + " " + arguments));
    }
    // A decennial download of the census for one year: its name on the command line.
    std::string download(int year, const Counts &counts)
    {
        std::string text = "\"GEO_ID\",\"NAME\",\"P1_001N\"\n\"Geography\",\"Geographic Area Name\",\" !!Total\"\n";
        for (const auto &[zip, count] : counts) {
            char row[96];
            std::snprintf(row, sizeof row, "\"860Z200US%05u\",\"ZCTA5 %05u\",\"%.17g\"\n", zip, zip, count);
            text += row;
        }
        const std::string name = "dec" + std::to_string(year) + ".csv";
        write(name, text);
        return " --year " + std::to_string(year) + " --column population=P1_001N --census " + name;
    }
    // Each count of year is what the viewer shows of field with the data folder data.
    void expect_shown(const std::string &data, int year, const Counts &counts, uint16_t field = 0)
    {
        EXPECT_EQ(expect_counts_shown(dir / data, dir / "study.csv", year, counts, field), counts.size());
    }
    std::vector<float> points(const std::string &data, uint32_t zip, int series = 0)
    {
        const std::string bytes = slurp(dir / data / "zips" / (std::to_string(zip) + ".zc"));
        ZipRecord r{};
        decode_zone_file(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size(), r);
        const CensusSeries &s = census_series(r, series);
        return {s.census[0], s.census[1], s.census[2], s.census[3]};
    }
    // Every file below data/zips and the given counts, for "the same files".
    std::map<std::string, std::string> census_files(const std::string &data)
    {
        std::map<std::string, std::string> files;
        for (const auto &e : fs::directory_iterator(dir / data / "zips")) files[e.path().filename()] = slurp(e.path());
        files["census-given.csv"] = slurp(dir / data / "census-given.csv");
        return files;
    }
};

const Counts GROWING = {{77001, 12000}, {77002, 5000}, {77003, 800}, {77004, 0}};
const Counts IN_2010 = {{77001, 16793}, {77002, 4200}, {77003, 800}, {77004, 0}};
const Counts IN_2020 = {{77001, 21000}, {77002, 3900}, {77003, 800}, {77004, 0}};

}  // namespace

// Growing, shrinking, level and empty areas, given one, two or three decennial years.
TEST_F(CensusImport, TheViewerShowsEveryCountGivenInItsYear)
{
    const std::vector<std::vector<std::pair<int, Counts>>> cases = {
        {{2010, IN_2010}},
        {{2010, IN_2010}, {2020, IN_2020}},
        {{2000, GROWING}, {2010, IN_2010}, {2020, IN_2020}},
    };
    for (size_t c = 0; c < cases.size(); ++c) {
        const std::string data = "data" + std::to_string(c);
        std::string options;
        for (const auto &[year, counts] : cases[c]) options += download(year, counts);
        ProgramRun run = tallydata("import --data " + data + options);
        ASSERT_EQ(run.status, 0) << run.err;
        for (const auto &[year, counts] : cases[c]) expect_shown(data, year, counts);
        EXPECT_EQ(points(data, 77004), (std::vector<float>{0, 0, 0, 0}));   // nobody lives there: 0, no error
    }
    const std::vector<float> level = points("data0", 77001);
    for (float p : level) EXPECT_NEAR(p, 16793, 0.01);
}

// Yearly estimates after 2012 reach the 2000, 2007 and 2012 points only: no curve meets
// five of them, so the stored points are the least-squares ones, worked out here.
TEST_F(CensusImport, FiveYearlyEstimatesStoreTheLeastSquaresPoints)
{
    const std::vector<std::pair<int, double>> estimates = {{2014, 5210}, {2015, 5302}, {2016, 5460}, {2017, 5480},
                                                           {2018, 5655}};
    std::string options;
    for (const auto &[year, count] : estimates) options += download(year, {{77001, count}});
    ProgramRun run = tallydata("import --data data" + options);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("census points fitted for 1 ZIP code (the first 77001): population 1990, 2000, 2007, 2012 "
                           "estimated from 2014, 2015, 2016, 2017, 2018\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("the viewer's curve misses a given count by more than 0.5 in 1 series"), std::string::npos);
    const std::vector<double> reference = reference_least_squares(estimates, 1, 3);
    const std::vector<float> stored = points("data", 77001);
    EXPECT_EQ(stored[0], 5210.0f);   // level before the first year
    for (int k = 1; k < 4; ++k) EXPECT_NEAR(stored[size_t(k)], reference[size_t(k - 1)], 1e-4 * reference[size_t(k - 1)]);
}

// Detail counts of 2010 are shown at 2010, through the population and households
// curves; given over two imports, the counts and details give the files of one.
TEST_F(CensusImport, DetailOf2010IsShownIn2010AndLaterCountsGiveTheFilesOfOneImport)
{
    write("households.csv", "zip,year,households\n77001,2000,5000\n77001,2010,6100\n77001,2020,6500\n");
    write("detail.csv", "zip,f0,f76\n77001,16000,6000\n");
    const std::string first = download(2000, GROWING) + download(2010, IN_2010) +
                              " --census households.csv --year 2010 --detail detail.csv";
    const std::string later = download(2020, IN_2020);
    ProgramRun run = tallydata("import --data apart" + first);
    ASSERT_EQ(run.status, 0) << run.err;
    run = tallydata("import --data apart" + later);
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(tallydata("import --data together" + first + later).status, 0);
    EXPECT_EQ(census_files("apart"), census_files("together"));
    expect_shown("apart", 2010, {{77001, 16000}}, 0);    // "Total population"
    expect_shown("apart", 2010, {{77001, 6000}}, 76);    // "Total households"
    // In 2020 the 2010 detail count grows as the population does; 77002, without detail
    // counts, shows its census count itself.
    expect_shown("apart", 2020, {{77001, 16000.0 * 21000 / 16793}, {77002, 3900}}, 0);
    EXPECT_NE(slurp(dir / "apart/census-given.csv").find("\n77001,f76,2010,6000\n"), std::string::npos);

    // --replace forgets the counts of the ZIP codes it writes, and only theirs.
    ASSERT_EQ(tallydata("import --data apart --replace" + download(2020, {{77001, 20000}})).status, 0);
    const std::string kept = slurp(dir / "apart/census-given.csv");
    EXPECT_EQ(kept.find("\n77001,population,2010,"), std::string::npos) << kept;
    EXPECT_NE(kept.find("\n77001,population,2020,20000\n"), std::string::npos) << kept;
    EXPECT_NE(kept.find("\n77002,population,2010,4200\n"), std::string::npos) << kept;
}

// A new suburb needs a 2007 point below 0: refused, naming the ZIP code and its counts.
// A shrinking one sends 2012 below 0: held at 0, the rest fitted, the miss told.
TEST_F(CensusImport, NegativePointsAreRefusedAt2007AndHeldAtZeroElsewhere)
{
    ProgramRun run = tallydata("import --data data" + download(2000, {{77001, 100}}) + download(2010, {{77001, 100}}) +
                               download(2020, {{77001, 5000}}));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("tallydata: error: ZIP code 77001: the population counts 100 (2000), 100 (2010), 5000 "
                           "(2020) need a 2007 point of 0 or less"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(dir / "data"));

    run = tallydata("import --data data" + download(2000, {{77001, 5000}, {77002, 900}}) +
                    download(2010, {{77001, 100}, {77002, -666666666}}) + download(2020, {{77001, 100}, {77002, 950}}));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("population 1990, 2007, 2012 estimated from 2000, 2010, 2020 (2012 held at 0)"),
              std::string::npos) << run.out;
    EXPECT_NE(run.out.find("misses a given count by more than 0.5 in 1 series"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("warning: 1 negative census count (the census's code for a missing figure) left out of "
                           "the fit, the first ZIP code 77002, population 2010"), std::string::npos) << run.err;
    EXPECT_EQ(points("data", 77001)[3], 0.0f);
    expect_shown("data", 2020, {{77002, 950}});
}

// The same counts as the census, German Excel, Excel's "Unicode text" and a tab-separated
// export give them, with a state total among the rows: the same files, whatever the
// locale; what was read how, and what was skipped, said once.
TEST_F(CensusImport, EveryDownloadShapeGivesTheSameFiles)
{
    const std::string plain = "GEO_ID,NAME,P001001\nid,Geographic Area Name,Total\n0400000US48,Texas,25145561\n"
                              "8600000US77001,ZCTA5 77001,16793.5\n8600000US77002,ZCTA5 77002,4200\n";
    auto utf16 = [](const std::string &text, bool big) {
        std::string bytes = big ? "\xFE\xFF" : "\xFF\xFE";
        for (char c : text) bytes += big ? std::string{'\0', c} : std::string{c, '\0'};
        return bytes;
    };
    auto retab = [](std::string text, char to) {
        for (char &c : text) if (c == ',') c = to;
        return text;
    };
    std::string german = retab(plain, ';');
    german.replace(german.find("16793.5"), 7, "16793,5");
    for (size_t at; (at = german.find('\n')) != std::string::npos && german[at - 1] != '\r';) german.insert(at, "\r");
    struct Shape { const char *name; std::string bytes; const char *readAs; };
    const std::vector<Shape> shapes = {
        {"german.csv", german, "read german.csv: semicolon-separated with decimal commas\n"},
        {"unicode.txt", utf16(retab(plain, '\t'), false), "read unicode.txt: UTF-16 text (little-endian), tab-separated\n"},
        {"big.csv", utf16(plain, true), "read big.csv: UTF-16 text (big-endian)\n"},
        {"tabs.tsv", retab(plain, '\t'), "read tabs.tsv: tab-separated\n"},
        {"geo.csv", "GEO_ID,P001001\n8600000US77001,16793.5\n8600000US77002,4200\n0400000US48,25145561\n", ""},
    };
    write("plain.csv", plain);
    for (const char *environment : {"", GERMAN}) {
        ProgramRun run = tallydata("import --data plain --year 2010 --column population=P001001 --census plain.csv", environment);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find("skipped 1 row of another summary level than ZIP code (ZCTA), the first 0400000US48\n"),
                  std::string::npos) << run.out;
        for (const Shape &shape : shapes) {
            SCOPED_TRACE(std::string(shape.name) + environment);
            write(shape.name, shape.bytes);
            const std::string data = std::string("shape-") + shape.name;
            run = tallydata("import --data " + data + " --year 2010 --column population=P001001 --census " + shape.name,
                            environment);
            ASSERT_EQ(run.status, 0) << run.err;
            EXPECT_EQ(census_files(data), census_files("plain"));
            if (*shape.readAs) EXPECT_NE(run.out.find(shape.readAs), std::string::npos) << run.out;
            else EXPECT_EQ(run.out.find("tallydata: read "), std::string::npos) << run.out;
        }
        fs::remove_all(dir / "plain");
    }
    // Rows of ZIP codes outside the study are skipped and counted with --only-study.
    write("wide.csv", "zip,year,population\n77001,2010,5\n77099,2010,7\n77098,2010,8\n");
    ProgramRun run = tallydata("import --data wide --only-study study.csv --census wide.csv");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("skipped 2 ZIP codes not in study.csv (the first 77098)\n"), std::string::npos) << run.out;
    EXPECT_TRUE(fs::exists(dir / "wide/zips/77001.zc"));
    EXPECT_FALSE(fs::exists(dir / "wide/zips/77099.zc"));
}

// Each refusal, with its exit status and the words that say what to do, in either locale.
TEST_F(CensusImport, RefusalsSayWhatToDo)
{
    write("c.csv", "GEO_ID,NAME,P1_001N\n860Z200US77001,ZCTA5 77001,5\n");
    write("z.csv", "zip,longitude,latitude\n77001,-95.3,29.7\n");
    write("withyear.csv", "zip,year,population\n77001,2010,5\n");
    write("pop.csv", "ZCTA,year,pop\n77001,2010,5\n");
    write("latin1.csv", "zip,year,population,name\n77001,2010,5,M\xFCnchen\n");
    write("grouped.csv", "zip;year;population\n77001;2010;16.793\n");
    write("nodetail.csv", "zip,P1_001N\n77001,5\n");
    write("registrar.csv", "zip,campus,year,HEADCOUNT\n77001,1,2000,5\n");
    struct Case { std::string arguments; int status; std::string message; };
    const std::vector<Case> cases = {
        {"--year 2010 --zips z.csv", 2, "--year applies to a census or detail table, not to --zips"},
        {"--census c.csv --year 2010", 2, "--year and --column go before the table they apply to; none follows them"},
        {"--year 1989 --census c.csv", 2, "--year takes a year from 1990 to 2020: 1989"},
        {"--column pop=P1_001N --census c.csv", 2,
         "--column pop=P1_001N: a census table has no column pop (it has zip, year, population, households, families)"},
        {"--column population=P1 --column population=P1_001N --census c.csv", 2, "--column population is given twice"},
        {"--column =P1 --census c.csv", 2, "--column takes NAME=HEADER"},
        {"--year 2010 --column population=P9 --census c.csv", 1,
         "c.csv:1: error: no column \"P9\" for --column population=P9: the header has GEO_ID, NAME, P1_001N"},
        {"--year 2010 --census withyear.csv", 1,
         "withyear.csv:1:2: error: a column \"year\" beside --year 2010: every row is of year 2010; drop one"},
        {"--census c.csv", 1, "c.csv:1: error: the header has no column \"year\" (it has GEO_ID, NAME, P1_001N); or "
                              "give its year with --year before the table"},
        {"--year 2010 --census c.csv", 1, "c.csv:1: error: the table gives nothing: the header has no column "
                                          "\"population\", \"households\" or \"families\" (it has GEO_ID, NAME, "
                                          "P1_001N); did you mean --column population=P1_001N?"},
        {"--census pop.csv", 1, "pop.csv:1: error: the header has no column \"zip\" (it has ZCTA, year, pop); did you "
                                "mean --column zip=ZCTA?"},
        {"--column zip=ZCTA --census pop.csv", 1, "did you mean --column population=pop?"},
        {"--detail nodetail.csv", 1, "nodetail.csv:1: error: the table gives nothing: the header has no column "
                                     "\"f0 ... f306\" (it has zip, P1_001N)"},
        {"--enrollment registrar.csv", 1, "registrar.csv:1: error: the header has no column \"students\" (it has zip, "
                                          "campus, year, HEADCOUNT); did you mean --column students=HEADCOUNT?"},
        {"--census latin1.csv", 1, "latin1.csv:2: error: not UTF-8 text (the byte 0xFC): save the table as \"CSV UTF-8\""},
        {"--census grouped.csv", 1, "grouped.csv:2:3: error: a point in a number of a table with decimal commas "
                                    "(digit grouping?): save the numbers without thousands separators: 16.793"},
    };
    for (const char *environment : {"", GERMAN})
        for (const Case &c : cases) {
            ProgramRun run = tallydata("import --data data " + c.arguments, environment);
            EXPECT_EQ(run.status, c.status) << c.arguments << environment;
            EXPECT_NE(run.err.find(c.message), std::string::npos) << c.message << "\n" << run.err;
            EXPECT_FALSE(fs::exists(dir / "data")) << c.arguments;
        }
    ASSERT_EQ(tallydata("import --data data --column students=HEADCOUNT --enrollment registrar.csv").status, 0);
}

// Export writes the counts given, not the points fitted, and each year's detail counts
// in a table of their own: importing them as the summary says gives the same files.
TEST_F(CensusImport, ExportGivesBackWhatWasGiven)
{
    write("detail.csv", "zip,f0,f5\n77001,16000,300\n");
    ASSERT_EQ(tallydata("import --data data" + download(2000, GROWING) + download(2010, IN_2010) +
                        download(2020, IN_2020) + " --year 2010 --detail detail.csv").status, 0);
    ProgramRun run = tallydata("export --data data --load study.csv --into tables");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("import them with --year 2010 --detail detail-2010.csv\n"), std::string::npos) << run.out;
    const std::string census = slurp(dir / "tables/census.csv");
    EXPECT_NE(census.find("\n77001,1990,,0,0\n77001,2000,12000,0,0\n77001,2007,,0,0\n77001,2010,16793,,\n"
                          "77001,2012,,0,0\n77001,2020,21000,,\n"), std::string::npos) << census;
    run = tallydata("import --data again --census tables/census.csv --detail tables/detail.csv"
                    " --year 2010 --detail tables/detail-2010.csv");
    ASSERT_EQ(run.status, 0) << run.err;
    std::map<std::string, std::string> before = census_files("data"), after = census_files("again");
    before.erase("census-given.csv");
    after.erase("census-given.csv");
    EXPECT_EQ(after, before);
}
