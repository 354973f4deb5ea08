// sample_tables_test.cpp -- the bundled sample as tables: `tallydata import` of
// examples/tables into an empty folder gives the bundled census and enrollment files
// and study area byte for byte, and `tallydata export` of the bundled data writes the
// tables in exactly the bytes the sample generator wrote them.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "scratch_folder.h"

namespace fs = std::filesystem;

namespace {

const fs::path SOURCE = TALLYMAP_SOURCE_DIR;
const fs::path TABLES = SOURCE / "examples/tables";

class SampleTables : public ScratchFolderTest {
protected:
    ProgramRun tallydata(const std::string &arguments) { return shell(quoted(TALLYDATA_PATH) + " " + arguments); }
    std::string quoted(const fs::path &path) const { return ::quoted(path.string()); }
};

std::set<std::string> names_in(const fs::path &folder)
{
    std::set<std::string> names;
    for (const auto &e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
    return names;
}

std::vector<std::string> lines_of(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace

TEST_F(SampleTables, ImportIntoAnEmptyFolderGivesTheBundledFilesByteForByte)
{
    const fs::path data = dir / "data";
    ProgramRun r = tallydata("import --data " + quoted(data) + " --zips " + quoted(TABLES / "zips.csv") +
                                    " --census " + quoted(TABLES / "census.csv") + " --detail " +
                                    quoted(TABLES / "detail.csv") + " --enrollment " + quoted(TABLES / "enrollment.csv") +
                                    " --study " + quoted(dir / "study.csv"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(dir / "study.csv"), slurp(SOURCE / "examples/study_area.csv"));
    for (const char *folder : {"zips", "enroll"}) {
        SCOPED_TRACE(folder);
        ASSERT_EQ(names_in(data / folder), names_in(SOURCE / "data" / folder));
        int differing = 0;
        for (const std::string &name : names_in(data / folder))
            if (slurp(data / folder / name) != slurp(SOURCE / "data" / folder / name) && ++differing <= 3)
                ADD_FAILURE() << name << " differs from the bundled file";
        EXPECT_EQ(differing, 0);
    }
}

// Export covers the study area only, in its order: the sample's zips table whole, and of
// the other three the header rows and the rows of the study area's ZIP codes.
TEST_F(SampleTables, ExportOfTheBundledDataWritesTheSampleTablesRows)
{
    const fs::path into = dir / "tables";
    ProgramRun r = tallydata("export --data " + quoted(SOURCE / "data") + " --load " +
                                    quoted(SOURCE / "examples/study_area.csv") + " --into " + quoted(into));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(into / "zips.csv"), slurp(TABLES / "zips.csv"));
    // the header's zip cell "zip" is in the set too, so every table keeps its header row
    std::set<std::string> study;
    for (const std::string &line : lines_of(slurp(TABLES / "zips.csv"))) study.insert(line.substr(0, line.find(',')));
    for (const char *table : {"census.csv", "detail.csv", "enrollment.csv"}) {
        std::string expected;
        for (const std::string &line : lines_of(slurp(TABLES / table)))
            if (study.count(line.substr(0, line.find(','))) || line.rfind("label,", 0) == 0) expected += line + "\n";
        EXPECT_EQ(slurp(into / table), expected) << table;
    }
}
