// tallyrender_test.cpp -- runs the built tallyrender on the sample data with no X server
// and checks what it writes, prints and returns: refusals before anything is written,
// the value CSV against figures worked out from the census files, frames that step
// the date as the timeline does, and what a failure keeps.
#include <gtest/gtest.h>

#include "scratch_folder.h"
#include "version.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class Tallyrender : public ScratchFolderTest {
protected:
    // Runs from the repository's root (./data, examples/) with no display at all.
    ProgramRun run(const std::string &args)
    {
        return shell("env -u DISPLAY -u WAYLAND_DISPLAY '" TALLYRENDER_PATH "' " + args);
    }
    std::vector<std::string> written() const
    {
        std::vector<std::string> names;
        for (const auto &entry : fs::recursive_directory_iterator(dir)) names.push_back(entry.path().filename());
        return names;
    }
};

const std::string LOAD = " --load examples/inner_core.csv ";

TEST_F(Tallyrender, RefusesBadCommandLinesBeforeWritingAnything)
{
    const std::string snapshot = " --snapshot " + at("x.bmp");
    const char *bad[] = {
        "--colour Red", "--date 2021-02-29", "--date 1989-12-31", "--date 2022-01-01", "--date 2000-6-15",
        "--field 307", "--field -1", "--field 1",   // line 1 of the sample field file is a heading
        "--campus 3", "--height-scale 5", "--colour-range 50", "--view 181,0,500", "--view 0,-91,500",
        "--view 0,0,9", "--view 0,0", "--centre west,north", "--size 0x10", "--size 7000x10", "--size 10",
        "--select 99999", "--report 12345", "--count 0", "--step week", "stray", "--legend=yes", "--s 1", "-x",
    };
    for (const char *args : bad) {
        ProgramRun r = run(std::string(args) + LOAD + snapshot);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << args << ": " << r.err;
        EXPECT_EQ(r.err.rfind("tallyrender: ", 0), 0u) << args;
    }
    EXPECT_EQ(run(LOAD).status, 2);                                              // nothing to write
    EXPECT_EQ(run(LOAD + "--frames " + at("f") + " --count 2").status, 2);        // no --step
    // an unknown option is unknown wherever it stands; a known one given last lacks its value
    ProgramRun unknown = run(LOAD + snapshot + " --bogus");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("unknown option '--bogus'"), std::string::npos) << unknown.err;
    ProgramRun last = run(LOAD + snapshot + " --date");
    EXPECT_NE(last.err.find("--date needs a value"), std::string::npos) << last.err;
    ProgramRun ambiguous = run(LOAD + snapshot + " --s 1");
    EXPECT_NE(ambiguous.err.find("ambiguous option '--s': --select, --size, --snapshot, --step"), std::string::npos)
        << ambiguous.err;
    EXPECT_TRUE(written().empty());

    ProgramRun version = run("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string("tallyrender (Tallymap) ") + TALLYMAP_VERSION + "\n");
    ProgramRun help = run("-h");
    EXPECT_EQ(help.status, 0);
    for (const char *option : {"--data", "--load", "--date", "--field", "--campus", "--height-scale",
                               "--colour-range", "--view", "--centre", "--select", "--size", "--snapshot",
                               "--export", "--report", "--frames", "--step", "--count", "--legend"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
}

// Failures to read name the file and the system's reason; for the data directory they
// say how to point at one.
TEST_F(Tallyrender, ReadFailuresSayWhichFileWhyAndWhatToDo)
{
    const std::string snapshot = " --snapshot " + at("x.bmp");
    ProgramRun missing = run("--load examples/no-such.csv" + snapshot);
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "tallyrender: cannot load examples/no-such.csv: No such file or directory\n");

    const std::string nodata = at("nodata");
    ProgramRun noMap = run("--data " + nodata + LOAD + snapshot);
    EXPECT_EQ(noMap.status, 1);
    EXPECT_EQ(noMap.err.rfind("tallyrender: cannot read the base map " + nodata +
                                  "/maps/basemap.bmp: No such file or directory", 0), 0u) << noMap.err;
    EXPECT_NE(noMap.err.find("--data DIR"), std::string::npos) << noMap.err;
    EXPECT_NE(noMap.err.find("data/"), std::string::npos) << noMap.err;
    ProgramRun noFields = run("--data " + nodata + LOAD + "--field 2" + snapshot);
    EXPECT_EQ(noFields.status, 1);
    EXPECT_EQ(noFields.err.rfind("tallyrender: cannot read the field file " + nodata +
                                     "/ui/fields.ui: No such file or directory", 0), 0u) << noFields.err;
    EXPECT_NE(noFields.err.find("--data DIR"), std::string::npos) << noFields.err;

    fs::create_directories(dir / "empty/ui");
    std::ofstream(dir / "empty/ui/fields.ui").close();
    ProgramRun empty = run("--data " + at("empty") + LOAD + "--field 0" + snapshot);
    EXPECT_EQ(empty.status, 1);
    EXPECT_EQ(empty.err, "tallyrender: --field: the field file " + at("empty") + "/ui/fields.ui has no lines\n");
    std::vector<std::string> names = written();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"empty", "fields.ui", "ui"}));   // nothing written
}

// 31 December 2012 is the last node of the interpolation: each value is the 2007
// detail count carried by the population ratio 2012/2007, worked out here from the
// census files themselves.
TEST_F(Tallyrender, ExportAtTheLastCensusCarriesEachDetailByItsOwnRatio)
{
    ProgramRun r = run(LOAD + "--date 2012-12-31 --export " + at("values.csv"));
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream csv(slurp(at("values.csv")));
    std::string line;
    std::getline(csv, line);
    EXPECT_EQ(line, "ZIP,VALUE\r");
    int rows = 0;
    while (std::getline(csv, line)) {
        unsigned zip = 0, value = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "%u,%u", &zip, &value), 2) << line;
        std::ifstream zc("data/zips/" + std::to_string(zip) + ".zc", std::ios::binary);
        float counts[16] = {};
        zc.read(reinterpret_cast<char *>(counts), sizeof counts);
        const float ratio = float(double(counts[3]) / counts[2]);   // 2012 over 2007
        EXPECT_EQ(value, unsigned(std::floor(double(ratio) * counts[15] + 0.5))) << zip;
        ++rows;
    }
    EXPECT_EQ(rows, 25);
    EXPECT_EQ(written(), std::vector<std::string>{"values.csv"});   // no temporary left behind
}

// Frames step the date as the timeline does: the third frame by days from 27 February
// 2000, and by months from 31 December 1999, is 29 February 2000, whose snapshot the
// legend marks with its date.
TEST_F(Tallyrender, FramesStepTheDateAsTheTimelineDoes)
{
    const std::string picture = LOAD + "--legend --size 200x150 --field 0 --campus 1 --view 0,40,300 ";
    ASSERT_EQ(run(picture + "--date 2000-02-29 --snapshot " + at("leap.bmp")).status, 0);
    ASSERT_EQ(run(picture + "--date 2000-02-28 --snapshot " + at("before.bmp")).status, 0);
    ASSERT_NE(slurp(at("leap.bmp")), slurp(at("before.bmp")));

    ProgramRun days = run(picture + "--date 2000-02-27 --frames " + at("days") + " --step day --count 3");
    ASSERT_EQ(days.status, 0) << days.err;
    EXPECT_NE(days.err.find("frame 3 of 3, February,29,2000"), std::string::npos) << days.err;
    EXPECT_EQ(slurp(at("days/frame_00003.bmp")), slurp(at("leap.bmp")));
    EXPECT_EQ(slurp(at("days/frame_00002.bmp")), slurp(at("before.bmp")));
    EXPECT_FALSE(fs::exists(at("days/frame_00004.bmp")));

    ProgramRun months = run(picture + "--date 1999-12-31 --frames " + at("months") + " --step month --count 3");
    ASSERT_EQ(months.status, 0) << months.err;
    EXPECT_EQ(slurp(at("months/frame_00003.bmp")), slurp(at("leap.bmp")));
}

// The legend is drawn over the picture's lower left corner only: a black frame at
// (6, 6), white inside, the ramp starting red; the rest of the picture is untouched.
TEST_F(Tallyrender, LegendSitsInTheLowerLeftCorner)
{
    const std::string picture = LOAD + "--size 200x150 --campus 1 --view 0,40,300 --snapshot ";
    ASSERT_EQ(run(picture + at("plain.bmp")).status, 0);
    ASSERT_EQ(run(picture + at("legend.bmp") + " --legend").status, 0);
    const std::string plain = slurp(at("plain.bmp")), legend = slurp(at("legend.bmp"));
    ASSERT_EQ(plain.size(), legend.size());
    auto bgr = [](const std::string &bmp, int x, int y) {   // rows bottom first, 600 bytes each
        size_t at = 54 + size_t(y) * 600 + size_t(x) * 3;
        return std::vector<int>{uint8_t(bmp[at]), uint8_t(bmp[at + 1]), uint8_t(bmp[at + 2])};
    };
    EXPECT_EQ(bgr(legend, 6, 6), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(bgr(legend, 8, 8), (std::vector<int>{255, 255, 255}));
    const std::vector<int> rampStart = bgr(legend, 13, 40);   // red, hardly any green yet
    EXPECT_EQ(rampStart[2], 255);
    EXPECT_LT(rampStart[1], 10);
    EXPECT_EQ(rampStart[0], 0);
    for (int y = 120; y < 150; ++y)
        for (int x = 0; x < 200; x += 7) ASSERT_EQ(bgr(legend, x, y), bgr(plain, x, y)) << x << "," << y;
}

TEST_F(Tallyrender, FailuresSayWhereAndKeepWhatWasWritten)
{
    ProgramRun unwritable = run(LOAD + "--snapshot " + at("missing/x.bmp"));
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_NE(unwritable.err.find("cannot write"), std::string::npos);
    EXPECT_FALSE(fs::exists(at("missing")));

    // the second frame's name is taken by a folder: the set stops there
    fs::create_directories(at("frames/frame_00002.bmp"));
    ProgramRun frames = run(LOAD + "--size 64x48 --frames " + at("frames") + " --step year --count 5");
    EXPECT_EQ(frames.status, 1);
    EXPECT_NE(frames.err.find("frame 2 (January,1,1991)"), std::string::npos) << frames.err;
    EXPECT_TRUE(fs::is_regular_file(at("frames/frame_00001.bmp")));
    EXPECT_FALSE(fs::exists(at("frames/frame_00003.bmp")));
    // a folder that cannot be made below a file, or a file in the folder's place
    ProgramRun belowFile = run(LOAD + "--frames " + at("frames/frame_00001.bmp/sub") + " --step year --count 1");
    EXPECT_EQ(belowFile.status, 1);
    EXPECT_NE(belowFile.err.find("Not a directory"), std::string::npos) << belowFile.err;
    std::ofstream(at("plain")).close();
    ProgramRun onFile = run(LOAD + "--frames " + at("plain") + " --step year --count 1");
    EXPECT_EQ(onFile.status, 1);
    EXPECT_NE(onFile.err.find("is no folder"), std::string::npos) << onFile.err;

    // a snapshot's header says what it holds: the size asked for, 24 bits (the values
    // given after '=', the option abbreviated)
    ASSERT_EQ(run(LOAD + "--size=33x21 --snap=" + at("small.bmp")).status, 0);
    const std::string bmp = slurp(at("small.bmp"));
    ASSERT_EQ(bmp.size(), 54u + 21u * 100u);   // rows of 99 bytes padded to 100
    EXPECT_EQ(bmp[18], 33);
    EXPECT_EQ(bmp[22], 21);
    EXPECT_EQ(bmp[28], 24);
}

}   // namespace
