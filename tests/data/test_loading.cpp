// test_loading.cpp -- read_records: the CSV rules (header, separators, leading zeros,
// long lines, blank lines, line ends, reloads), the refusal of files that cannot be
// read or that the tables cannot hold, and short, long and missing census and
// enrollment files.
#include "data_fixture.h"

namespace {

const char *HEADER = "ZIP,COUNTY,LON,LAT,TRAVEL,TRAFFIC\n";

std::string data_lines(int n, uint32_t firstZip = 77001)
{
    std::string csv;
    for (int i = 0; i < n; ++i)
        csv += std::to_string(firstZip + i) + ",1,-95.5,29.5," + std::to_string(i) + ",40\n";
    return csv;
}

// Census file floats 1, 2, 3, ... so that any shift or swap shows.
std::vector<float> zone_pattern(size_t count = 322)
{
    std::vector<float> v(count);
    for (size_t i = 0; i < count; ++i) v[i] = static_cast<float>(i + 1) + 0.25f;
    return v;
}

const float *census_part(const ZipRecord &r) { return &r.population.census[0]; }

using CsvRules = DataTest;

TEST_F(CsvRules, ScansSixFieldsAndSkipsHeader)
{
    ASSERT_EQ(load(std::string(HEADER) + "77001,3,-95.36,29.75,12,20\n"), 1);
    ASSERT_EQ(zipTable.count, 1u);
    const ZipRecord &r = zipTable.records[0];
    EXPECT_EQ(r.zip, 77001u);
    EXPECT_FLOAT_EQ(r.longitude, -95.36f);
    EXPECT_FLOAT_EQ(r.latitude, 29.75f);
    EXPECT_EQ(r.travelMinutes, 12u);
    EXPECT_EQ(r.trafficMinutes, 20u);
    EXPECT_TRUE(shownMessages.empty());

    // Without a header the first ZIP code is lost.
    ASSERT_EQ(load("77001,3,-95.36,29.75,12,20\n77002,3,-95.1,29.1,1,2\n"), 1);
    ASSERT_EQ(zipTable.count, 1u);
    EXPECT_EQ(zipTable.records[0].zip, 77002u);
}

TEST_F(CsvRules, SeparatorsLineEndsAndLeadingZeros)
{
    ASSERT_EQ(load(std::string(HEADER) + "77001 3 -95.36 29.75 12 20\r\n"
                                         "77002, 3 ,-95.36,29.75 ,12,20,extra,fields\r\n"
                                         "07001,0,-74.2,40.6,5,7"),   // no final line end
              1);
    ASSERT_EQ(zipTable.count, 3u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(zipTable.records[i].zip, 77001u + i);
        EXPECT_FLOAT_EQ(zipTable.records[i].latitude, 29.75f);
        EXPECT_EQ(zipTable.records[i].trafficMinutes, 20u);
    }
    EXPECT_EQ(zipTable.records[2].zip, 7001u);
    EXPECT_EQ(zipTable.records[2].trafficMinutes, 7u);

    // The census file of 07001 is looked up as 7001.zc.
    write_zone(7001, le_floats({100, 200, 300, 400}));
    ASSERT_EQ(load(std::string(HEADER) + "07001,0,-74.2,40.6,5,7\n"), 1);
    EXPECT_EQ(zipTable.records[0].population.census[3], 400.0f);
}

TEST_F(CsvRules, LongLinesComeInPiecesAndBlankLinesAreSkipped)
{
    std::string longLine = "77003,3,-95.36,29.75,12,20";
    longLine += std::string(300 - longLine.size(), ' ') + "78000,1,2,3,4,5";   // 315 characters
    ASSERT_EQ(load(std::string(HEADER) + "77001,1,-95,29,1,2\n\n \t\r\n" + longLine + "\n\n\n"), 1);
    // header, 77001, two blank lines, then the long line in two pieces of 255 and 60
    // characters, then blank lines such as editors leave at the end
    ASSERT_EQ(zipTable.count, 3u);
    EXPECT_EQ(zipTable.records[0].zip, 77001u);
    EXPECT_EQ(zipTable.records[1].zip, 77003u);
    EXPECT_EQ(zipTable.records[1].trafficMinutes, 20u);
    EXPECT_EQ(zipTable.records[2].zip, 78000u);
    EXPECT_EQ(zipTable.records[2].trafficMinutes, 5u);

    // A line of anything else is a record, even one that scans nothing.
    ASSERT_EQ(load(std::string(HEADER) + ",\n77001,1,-95,29,1,2\n"), 1);
    ASSERT_EQ(zipTable.count, 2u);
    EXPECT_EQ(zipTable.records[0].zip, 0u);
}

// A CR LF pair is one line end wherever it falls, also where the CR fills the 256-byte
// line buffer (a line of 254 characters) and the LF would be left over.
TEST_F(CsvRules, CrLfEndsALineWhereverItFalls)
{
    auto padded = [](std::string line, size_t length) { return line + std::string(length - line.size(), ' '); };
    const std::string header = padded("ZIP,COUNTY,LON,LAT,TRAVEL,TRAFFIC", 254) + "\r\n";
    const std::string line254 = padded("77002,1,-95,29,7,8", 254) + "\r\n";
    const std::string line255 = padded("77003,1,-95,29,7,8", 255) + "\r\n";
    ASSERT_EQ(load(header + "77001,1,-95,29,1,2\r\n" + line254 + line255 + "77004,1,-95,29,3,4\r\n"), 1);
    ASSERT_EQ(zipTable.count, 4u);
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(zipTable.records[i].zip, 77001u + i);
    EXPECT_EQ(zipTable.records[1].trafficMinutes, 8u);
    EXPECT_EQ(zipTable.records[3].trafficMinutes, 4u);
}

TEST_F(CsvRules, ReloadReplacesAndShortLinesStartZeroed)
{
    ASSERT_EQ(load(std::string(HEADER) + data_lines(10)), 1);
    ASSERT_EQ(zipTable.count, 10u);
    ASSERT_EQ(load(std::string(HEADER) + "88001,1,-96.25,30.5\n88002\n88003,2,-96,30,9,9\n"), 1);
    ASSERT_EQ(zipTable.count, 3u);
    EXPECT_EQ(zipTable.records[0].zip, 88001u);
    EXPECT_FLOAT_EQ(zipTable.records[0].latitude, 30.5f);
    // The earlier load had travel times and latitudes here; a short line inherits none.
    EXPECT_EQ(zipTable.records[0].travelMinutes, 0u);
    EXPECT_EQ(zipTable.records[0].trafficMinutes, 0u);
    EXPECT_EQ(zipTable.records[1].zip, 88002u);
    EXPECT_EQ(zipTable.records[1].longitude, 0.0f);
    EXPECT_EQ(zipTable.records[1].latitude, 0.0f);
    EXPECT_EQ(zipTable.records[2].travelMinutes, 9u);
}

TEST_F(CsvRules, EmptyOrHeaderOnlyFileEmptiesTable)
{
    ASSERT_EQ(load(std::string(HEADER) + data_lines(5)), 1);
    EXPECT_EQ(load(""), 1);
    EXPECT_EQ(zipTable.count, 0u);
    ASSERT_EQ(load(std::string(HEADER) + data_lines(5)), 1);
    EXPECT_EQ(load(HEADER), 1);
    EXPECT_EQ(zipTable.count, 0u);
    EXPECT_TRUE(shownMessages.empty());
}

using LoadRefusal = DataTest;

TEST_F(LoadRefusal, MissingCsvOrAFolderShowsFopenErrorAndKeepsTable)
{
    ASSERT_EQ(load(std::string(HEADER) + data_lines(4)), 1);
    EXPECT_EQ(read_records("no-such-file.csv"), 0);
    ASSERT_EQ(shownMessages.size(), 1u);
    EXPECT_EQ(shownMessages[0].text, "read_records(): fopen error");
    EXPECT_EQ(shownMessages[0].caption, "ERROR");
    EXPECT_FALSE(shownMessages[0].owned);
    EXPECT_EQ(zipTable.count, 4u);

    // A folder opens on this system, but it is no file to read.
    fs::create_directory(scratch / "folder.csv");
    shownMessages.clear();
    EXPECT_EQ(read_records("folder.csv"), 0);
    ASSERT_EQ(shownMessages.size(), 1u);
    EXPECT_EQ(shownMessages[0].text, "read_records(): fopen error");
    EXPECT_EQ(shownMessages[0].caption, "ERROR");
    EXPECT_EQ(zipTable.count, 4u);
}

TEST_F(LoadRefusal, MoreThan300ZipCodesLeavesTableAndValuesUntouched)
{
    ASSERT_EQ(load(std::string(HEADER) + data_lines(300)), 1);
    EXPECT_EQ(zipTable.count, 300u);
    ASSERT_EQ(load(std::string(HEADER) + data_lines(10, 11001)), 1);
    for (int i = 0; i < 10; ++i) zipTable.records[i].detail[0] = 7.0f;
    timeline.currentDate = pack_date(3, 4, 1999);
    compute_values();
    static ZipTable before;   // about 500 KB: not on the stack
    before = zipTable;
    const ValueTable valuesBefore = valueTable;
    const PackedDate dateBefore = timeline.currentDate;
    shownMessages.clear();

    EXPECT_EQ(load(std::string(HEADER) + data_lines(301, 20001)), 0);
    ASSERT_EQ(shownMessages.size(), 1u);
    EXPECT_EQ(shownMessages[0].caption, "ERROR");
    EXPECT_NE(shownMessages[0].text.find("300"), std::string::npos) << shownMessages[0].text;
    EXPECT_FALSE(shownMessages[0].owned);
    EXPECT_EQ(std::memcmp(&before, &zipTable, sizeof zipTable), 0);
    EXPECT_EQ(std::memcmp(&valuesBefore, &valueTable, sizeof valueTable), 0);
    EXPECT_EQ(timeline.currentDate, dateBefore);

    // Far beyond the table's own storage is refused the same way.
    EXPECT_EQ(load(std::string(HEADER) + data_lines(1000, 30001)), 0);
    EXPECT_EQ(zipTable.count, 10u);
    EXPECT_EQ(zipTable.records[0].zip, 11001u);
}

using PerZipFiles = DataTest;

TEST_F(PerZipFiles, FullLongShortAndMissingCensusFiles)
{
    const std::vector<float> pattern = zone_pattern();
    write_zone(77001, le_floats(pattern));
    write_zone(77002, le_floats(pattern) + "trailing bytes are ignored");
    write_zone(77003, le_floats({1, 2, 3, 4, 5, 6, 7}) + "\x01\x02");   // 7 floats and a partial one
    ASSERT_EQ(load(std::string(HEADER) + data_lines(4)), 1);   // 77004 has no file

    for (uint32_t z = 0; z < 2; ++z)
        for (size_t i = 0; i < pattern.size(); ++i)
            ASSERT_EQ(census_part(zipTable.records[z])[i], pattern[i]) << "zip " << z << " float " << i;
    const ZipRecord &shortOne = zipTable.records[2];
    EXPECT_EQ(shortOne.population.census[0], 1.0f);
    EXPECT_EQ(shortOne.population.growthRatio, 5.0f);   // the reserved fifth value
    EXPECT_EQ(shortOne.households.census[1], 7.0f);
    EXPECT_EQ(shortOne.households.census[2], 0.0f);      // the partial float is not taken
    for (size_t i = 8; i < pattern.size(); ++i) ASSERT_EQ(census_part(shortOne)[i], 0.0f) << i;
    for (size_t i = 0; i < pattern.size(); ++i) ASSERT_EQ(census_part(zipTable.records[3])[i], 0.0f) << i;
    EXPECT_EQ(zipTable.records[0].detail[306], 322.25f);
}

// Every prefix length of a census file: the floats present arrive in order, the rest
// (including an incomplete last float) stay zero, whatever an earlier load put there.
TEST_F(PerZipFiles, EveryTruncatedCensusFileLeavesZerosBehind)
{
    const std::string full = le_floats(zone_pattern());
    ASSERT_EQ(full.size(), 1288u);
    for (size_t length : {0, 1, 3, 4, 5, 19, 20, 21, 39, 40, 59, 60, 61, 64, 700, 1284, 1287}) {
        write_zone(77001, full);
        ASSERT_EQ(load(std::string(HEADER) + data_lines(1)), 1);
        write_zone(77001, full.substr(0, length));
        ASSERT_EQ(load(std::string(HEADER) + data_lines(1)), 1);
        const float *got = census_part(zipTable.records[0]);
        for (size_t i = 0; i < 322; ++i)
            ASSERT_EQ(got[i], i < length / 4 ? zone_pattern()[i] : 0.0f) << "length " << length << " float " << i;
    }
}

TEST_F(PerZipFiles, EnrollmentRowsKeepTheirCampusAndShortFilesLeaveZeros)
{
    std::vector<uint16_t> rows(36);
    for (int i = 0; i < 36; ++i) rows[i] = static_cast<uint16_t>(i < 18 ? 100 + i : 0x1200 + i);
    write_enrollment(77001, le_u16(rows));
    write_enrollment(77002, le_u16(rows).substr(0, 41));   // row 0 and two values of row 1, then half a value
    write_zone(77003, le_floats({1000, 1500, 2000, 2200}));   // census file but no enrollment file
    ASSERT_EQ(load(std::string(HEADER) + data_lines(3)), 1);

    const ZipRecord &full = zipTable.records[0];
    EXPECT_EQ(full.enrollment[0][0], 100);
    EXPECT_EQ(full.enrollment[0][ENROLL_MAX], 117);
    EXPECT_EQ(full.enrollment[1][0], 0x1200 + 18);   // high bytes show the byte order
    EXPECT_EQ(full.enrollment[1][ENROLL_MAX], 0x1200 + 35);
    const ZipRecord &part = zipTable.records[1];
    EXPECT_EQ(part.enrollment[0][17], 117);
    EXPECT_EQ(part.enrollment[1][1], 0x1200 + 19);
    EXPECT_EQ(part.enrollment[1][2], 0);
    EXPECT_EQ(part.enrollment[1][17], 0);
    const ZipRecord &none = zipTable.records[2];
    EXPECT_EQ(none.population.census[2], 2000.0f);
    for (int c = 0; c < 2; ++c)
        for (int y = 0; y < ENROLL_YEARS; ++y) ASSERT_EQ(none.enrollment[c][y], 0);
}

TEST_F(PerZipFiles, ReloadClearsFilesThatDisappeared)
{
    write_zone(77001, le_floats(zone_pattern()));
    write_enrollment(77001, le_u16(std::vector<uint16_t>(36, 9)));
    ASSERT_EQ(load(std::string(HEADER) + data_lines(1)), 1);
    fs::remove(scratch / "data" / "zips" / "77001.zc");
    fs::remove(scratch / "data" / "enroll" / "77001.enr");
    ASSERT_EQ(load(std::string(HEADER) + data_lines(1)), 1);
    EXPECT_EQ(zipTable.records[0].population.census[0], 0.0f);
    EXPECT_EQ(zipTable.records[0].detail[0], 0.0f);
    EXPECT_EQ(zipTable.records[0].enrollment[0][0], 0);
}

}   // namespace
