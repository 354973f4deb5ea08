// readme_test.cpp -- the README's "Your own data" run from its text with the built
// programs (readme_own_data.sh), in the C locale and a decimal-comma one: every command
// succeeds, the picture is written, and the viewer's own loading and values of the
// result show the census's 2010 population of every ZIP code of the sample area on the
// days around the viewer's 2010.
#include "scratch_folder.h"
#include "viewer_values.h"

#include "data_paths.h"
#include "field_list.h"
#include "selection.h"
#include "values.h"
#include "zip_table.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path SOURCE = TALLYMAP_SOURCE_DIR;

// The 2010 populations of the download, by ZIP code: its GEO_ID and P001001 cells.
std::map<uint32_t, uint32_t> populations_2010()
{
    std::map<uint32_t, uint32_t> counts;
    std::istringstream in(slurp(SOURCE / "examples/tables/dec2010-p1.csv"));
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("\"8600000US", 0) != 0) continue;
        std::vector<std::string> cells(1);   // the quotes around each cell dropped
        for (char c : line) {
            if (c == ',') cells.emplace_back();
            else if (c != '"') cells.back() += c;
        }
        counts[uint32_t(std::stoul(cells[0].substr(9)))] = uint32_t(std::stoul(cells[2]));
    }
    return counts;
}

using ReadmeOwnData = ScratchFolderTest;

}  // namespace

TEST_F(ReadmeOwnData, TheCommandsRunAsWrittenAndShowThe2010Populations)
{
    const std::map<uint32_t, uint32_t> counts = populations_2010();
    ASSERT_EQ(counts.size(), 321u);
    for (const char *environment : {"", "LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8 "}) {
        SCOPED_TRACE(environment);
        fs::remove_all(dir / "home");
        fs::create_directories(dir / "home");
        ProgramRun run = shell(std::string(environment) + quoted(README_SCRIPT) + " " + quoted((SOURCE / "README.md").string()) +
                               " " + quoted("build:" + std::string(TALLYMAP_BINARY_DIR) + "/tools") + " " +
                               quoted(SOURCE.string()) + " " + quoted((dir / "home").string()));
        ASSERT_EQ(run.status, 0) << run.out << run.err;
        const fs::path mine = dir / "home/mydata";
        EXPECT_EQ(slurp(mine / "population-2010.png").substr(0, 8), "\x89PNG\r\n\x1a\n");
        EXPECT_EQ(expect_counts_shown(mine / "data", mine / "study.csv", 2010, counts), 258u);
    }
}
