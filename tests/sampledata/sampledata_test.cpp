// sampledata_test.cpp -- the bundled sample data set: the generator still reproduces the
// committed files byte for byte, and the committed figures have the shape and sums the
// viewer relies on (field list, census and enrollment file sizes, totals, Load Data CSVs).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const fs::path SOURCE = TALLYMAP_SOURCE_DIR;

std::string read_file(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> lines_of(const std::string &text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// The ZIP codes of the facts file the generator reads, in file order.
std::vector<uint32_t> fact_zips()
{
    std::vector<uint32_t> zips;
    std::vector<std::string> rows = lines_of(read_file(SOURCE / "tools/make-sample-data/zcta_in_extent.csv"));
    for (size_t i = 1; i < rows.size(); ++i) zips.push_back(uint32_t(std::stoul(rows[i])));
    return zips;
}

struct Field {
    std::string label;
    int code;
};

std::vector<Field> read_fields()
{
    std::vector<Field> fields;
    for (const std::string &line : lines_of(read_file(SOURCE / "data/ui/fields.ui"))) {
        size_t comma = line.find(',');
        fields.push_back({line.substr(0, comma), comma == std::string::npos ? 99 : std::atoi(line.c_str() + comma + 1)});
    }
    return fields;
}

struct Zone {
    float series[3][5];  // population, households, families: 1990, 2000, 2007, 2012, reserved
    float detail[307];
};
static_assert(sizeof(Zone) == 1288);

Zone read_zone(uint32_t zip)
{
    Zone z{};
    std::string bytes = read_file(SOURCE / "data/zips" / (std::to_string(zip) + ".zc"));
    std::memcpy(&z, bytes.data(), std::min(bytes.size(), sizeof z));  // little-endian host
    return z;
}

// Index of the n-th line (0-based) with this exact label.
size_t line_of(const std::vector<Field> &fields, const std::string &label, int n = 0)
{
    for (size_t i = 0; i < fields.size(); ++i)
        if (fields[i].label == label && n-- == 0) return i;
    ADD_FAILURE() << "no line " << label;
    return 0;
}

double sum(const Zone &z, size_t from, size_t count)
{
    double s = 0;
    for (size_t i = from; i < from + count; ++i) s += z.detail[i];
    return s;
}

std::set<fs::path> files_below(const fs::path &root, const std::vector<std::string> &dirs)
{
    std::set<fs::path> out;
    for (const std::string &d : dirs)
        for (const auto &e : fs::directory_iterator(root / d))
            if (e.is_regular_file() && !(d == "examples" && e.path().extension() != ".csv"))
                out.insert(fs::path(d) / e.path().filename());
    return out;
}

}  // namespace

TEST(SampleGenerator, ReproducesCommittedFilesByteForByte)
{
    fs::path out = fs::temp_directory_path() / ("tallymap-sample-" + std::to_string(::getpid()));
    fs::remove_all(out);
    std::string cmd = std::string("\"") + MAKE_SAMPLE_DATA + "\" \"" +
                      (SOURCE / "tools/make-sample-data/zcta_in_extent.csv").string() + "\" \"" + out.string() + "\"";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;

    const std::vector<std::string> dirs = {"data/ui", "data/zips", "data/enroll", "examples", "examples/tables"};
    std::set<fs::path> made = files_below(out, dirs), committed = files_below(SOURCE, dirs);
    EXPECT_EQ(made, committed) << "generated and committed file sets differ";
    size_t differing = 0;
    for (const fs::path &f : made)
        if (committed.count(f) && read_file(out / f) != read_file(SOURCE / f)) {
            if (++differing <= 5) ADD_FAILURE() << f << " differs from the committed file";
        }
    EXPECT_EQ(differing, 0u);
    EXPECT_FALSE(fs::exists(out / "data/maps")) << "the base map is never regenerated";
    fs::remove_all(out);
}

TEST(SampleFieldList, Has307LabelledLinesStartingWithPopulation)
{
    std::string text = read_file(SOURCE / "data/ui/fields.ui");
    EXPECT_EQ(text.find('\r'), std::string::npos);
    std::vector<std::string> lines = lines_of(text);
    ASSERT_EQ(lines.size(), 307u);
    EXPECT_EQ(lines[0], "Total population,0");
    for (const std::string &line : lines) {
        EXPECT_LT(line.size() + 1, 256u) << line;
        EXPECT_EQ(std::count(line.begin(), line.end(), ','), 1) << line;
    }
    for (const Field &f : read_fields()) EXPECT_TRUE(f.code >= -1 && f.code <= 2) << f.label;
}

TEST(SampleZoneFiles, EveryAreaHasBothFilesOfExactSize)
{
    for (uint32_t zip : fact_zips()) {
        EXPECT_EQ(fs::file_size(SOURCE / "data/zips" / (std::to_string(zip) + ".zc")), 1288u) << zip;
        EXPECT_EQ(fs::file_size(SOURCE / "data/enroll" / (std::to_string(zip) + ".enr")), 72u) << zip;
    }
}

TEST(SampleZoneFiles, TotalsMatchTheSeriesAndPartsAddUp)
{
    const std::vector<Field> fields = read_fields();
    const size_t male = line_of(fields, "Male"), female = line_of(fields, "Female");
    const size_t households = line_of(fields, "Total households"), families = line_of(fields, "Total families");
    const size_t hhIncome = line_of(fields, "HOUSEHOLD INCOME") + 1, famIncome = line_of(fields, "FAMILY INCOME") + 1;
    const size_t race = line_of(fields, "RACE") + 1;
    for (uint32_t zip : fact_zips()) {
        SCOPED_TRACE(zip);
        Zone z = read_zone(zip);
        const float pop = z.series[0][2], hh = z.series[1][2], fam = z.series[2][2];
        EXPECT_EQ(z.detail[0], pop);
        EXPECT_EQ(z.detail[households], hh);
        EXPECT_EQ(z.detail[families], fam);
        EXPECT_EQ(z.detail[male] + z.detail[female], pop);
        EXPECT_EQ(sum(z, male + 1, 23), z.detail[male]);
        EXPECT_EQ(sum(z, female + 1, 23), z.detail[female]);
        EXPECT_EQ(sum(z, race, 7), pop);
        EXPECT_EQ(sum(z, hhIncome, 16), hh);
        EXPECT_EQ(sum(z, famIncome, 16), fam);
        EXPECT_TRUE(fam <= hh && hh <= pop);
        for (size_t i = 0; i < 307; ++i) {
            EXPECT_TRUE(z.detail[i] >= 0 && z.detail[i] == float(int64_t(z.detail[i]))) << "line " << i;
            if (fields[i].code == -1) {
                EXPECT_EQ(z.detail[i], 0.0f) << "heading " << i;
            }
        }
        if (pop == 0) {
            EXPECT_EQ(sum(z, 0, 307) + z.series[0][0] + z.series[1][3], 0.0);
        } else {
            EXPECT_GT(z.series[0][0], 0.0f);
        }
    }
}

TEST(SampleEnrollment, LastEntryIsTheMaximumOfTheYears)
{
    size_t withStudents[2] = {0, 0};
    for (uint32_t zip : fact_zips()) {
        std::string bytes = read_file(SOURCE / "data/enroll" / (std::to_string(zip) + ".enr"));
        uint16_t e[2][18] = {};
        std::memcpy(e, bytes.data(), std::min(bytes.size(), sizeof e));
        for (int c = 0; c < 2; ++c) {
            EXPECT_EQ(e[c][17], *std::max_element(e[c], e[c] + 17)) << zip << " campus " << c + 1;
            withStudents[c] += e[c][17] > 0;
        }
    }
    // Both campuses draw students, and many distant areas send none.
    for (size_t n : withStudents) EXPECT_TRUE(n > 10 && n < fact_zips().size()) << n;
}

TEST(SampleLoadCsv, StudyAreaAndInnerCoreAreLoadableLists)
{
    std::set<std::string> study;
    for (const char *name : {"examples/study_area.csv", "examples/inner_core.csv"}) {
        SCOPED_TRACE(name);
        std::vector<std::string> lines = lines_of(read_file(SOURCE / name));
        ASSERT_GE(lines.size(), 2u);
        for (size_t i = 1; i < lines.size(); ++i) {
            unsigned zip = 0, travel = 0, traffic = 0;
            int id = 0, used = 0;
            float lon = 0, lat = 0;
            // The viewer's own scan: column 2 must be whole or the rest shifts.
            std::string row = lines[i];
            std::replace(row.begin(), row.end(), ',', ' ');
            ASSERT_EQ(std::sscanf(row.c_str(), "%u%d%f%f%u%u%n", &zip, &id, &lon, &lat, &travel, &traffic, &used), 6) << lines[i];
            EXPECT_EQ(row.find_first_not_of(" \r", size_t(used)), std::string::npos) << lines[i];
            EXPECT_TRUE(lon > -96.63 && lon < -94.35 && lat > 28.76 && lat < 30.91) << lines[i];
            EXPECT_TRUE(travel > 0 && traffic > travel) << lines[i];
            EXPECT_TRUE(fs::exists(SOURCE / "data/zips" / (std::to_string(zip) + ".zc"))) << zip;
            if (std::string(name) == "examples/study_area.csv") {
                study.insert(std::to_string(zip));
            } else {
                EXPECT_TRUE(study.count(std::to_string(zip))) << zip << " is not in the study area";
            }
        }
        if (std::string(name) == "examples/study_area.csv") {
            EXPECT_EQ(lines.size() - 1, 258u);
        } else {
            EXPECT_TRUE(lines.size() - 1 >= 20 && lines.size() - 1 <= 30);
        }
    }
}
