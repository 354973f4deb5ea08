// test_fields_report.cpp -- the field file's reading rules and the ZIP report's text:
// labels and series codes line by line, headings, long and surplus lines, line ends;
// the report's lines, conditions and shares; a households field exported as such.
#include "data_fixture.h"
#include "report.h"

#include <cstdio>

namespace {

using FieldFile = DataTest;

int read_fields(const std::string &text)
{
    write_file("fields.ui", text);
    return read_field_list("fields.ui");
}

TEST_F(FieldFile, LabelsUpToTheFirstCommaAndCodesAsSignedBytes)
{
    ASSERT_EQ(read_fields("Total population,0\n"
                          " Padded title ,2\n"
                          "Blank before,  1\n"
                          "No digits,abc\n"
                          "Wrapped byte,255\n"
                          "Heading,-1\n"
                          "Second comma,2,7\n"
                          "Signed,+1\n"
                          "Huge,1000000000000000000002\n"   // low 8 bits of the whole number: 2
                          "CR LF line,1\r\n"
                          "A title without a comma\n"
                          "\n"
                          "Last line without end,2"),
              1);
    const char *labels[] = {"Total population", " Padded title ", "Blank before", "No digits",
                            "Wrapped byte", "Heading", "Second comma", "Signed", "Huge",
                            "CR LF line", "A title without a comma", "", "Last line without end"};
    const int codes[] = {0, 2, 1, 0, -1, -1, 2, 1, 2, 1, -1, -1, 2};
    ASSERT_EQ(fieldList.count, 13);
    for (int i = 0; i < 13; ++i) {
        EXPECT_STREQ(fieldList.label[i], labels[i]) << "line " << i;
        EXPECT_EQ(seriesCode[i], codes[i]) << "line " << i;
    }
    EXPECT_EQ(seriesCode[13], 0);   // lines the file does not have keep their code
    EXPECT_TRUE(shownMessages.empty());
}

TEST_F(FieldFile, LongLinesStayAlignedAndSurplusLinesAreDroppedOnce)
{
    std::string text = std::string(300, 'x') + ",1\n" + std::string(400, 'y') + "\n";
    for (int i = 2; i < FIELD_COUNT + 1; ++i) text += "Field " + std::to_string(i) + "," + std::to_string(i % 3) + "\n";
    ASSERT_EQ(read_fields(text), 1);
    ASSERT_EQ(fieldList.count, FIELD_COUNT);
    EXPECT_EQ(std::string(fieldList.label[0]), std::string(255, 'x'));
    EXPECT_EQ(seriesCode[0], 1);
    EXPECT_EQ(std::string(fieldList.label[1]), std::string(255, 'y'));
    EXPECT_EQ(seriesCode[1], -1);
    EXPECT_STREQ(fieldList.label[2], "Field 2");
    EXPECT_STREQ(fieldList.label[306], "Field 306");
    EXPECT_EQ(seriesCode[306], 0);
    ASSERT_EQ(shownMessages.size(), 1u);
    EXPECT_EQ(shownMessages[0].caption, "ERROR!");
}

// A label cut at 255 bytes never ends inside a character: the split one goes whole.
TEST_F(FieldFile, LongLabelsAreCutBetweenCharacters)
{
    const std::string e = "\xC3\xA9", euro = "\xE2\x82\xAC", clef = "\xF0\x9D\x84\x9E";
    const std::string labels[] = {
        std::string(254, 'a') + e + "tail",          // é would end at byte 256
        std::string(253, 'b') + euro + "tail",       // € at 254..256
        std::string(254, 'c') + euro,                // € at 255..257: its lead byte is the 255th
        std::string(252, 'd') + clef + "tail",       // 𝄞 at 253..256
        std::string(253, 'f') + e + "tail",          // é ends at byte 255: kept
    };
    const std::string kept[] = {std::string(254, 'a'), std::string(253, 'b'), std::string(254, 'c'),
                                std::string(252, 'd'), std::string(253, 'f') + e};
    std::string text;
    for (const std::string &label : labels) text += label + ",1\n";
    ASSERT_EQ(read_fields(text), 1);
    ASSERT_EQ(fieldList.count, 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(std::string(fieldList.label[i]), kept[i]) << "line " << i;
        EXPECT_EQ(seriesCode[i], 1) << "line " << i;
    }
}

TEST_F(FieldFile, MissingFileOrFolderIsNoFieldFile)
{
    seriesCode[0] = 2;
    EXPECT_EQ(read_field_list("no-such-file.ui"), 0);
    EXPECT_EQ(read_field_list("data"), 0);
    EXPECT_EQ(fieldList.count, 0);
    EXPECT_EQ(seriesCode[0], 2);
}

TEST_F(FieldFile, HouseholdsFieldIsExportedWithTheHouseholdsRatio)
{
    // 1 January 1990: the households ratio is 400/600, the population ratio 1000/2000.
    write_zone(77001, le_floats({1000, 1500, 2000, 2200, 0, 400, 500, 600, 700, 0, 0, 0, 0, 0, 0, 90}));
    ASSERT_EQ(load("header\n77001,0,-95.4,29.8,1,2\n"), 1);
    ASSERT_EQ(read_fields("Households,1\n"), 1);
    compute_values();
    ASSERT_EQ(write_values("values.csv"), 1);
    EXPECT_EQ(read_file("values.csv"), "ZIP,VALUE\r\n77001,60\r\n");   // not 45 = 90 x 1000/2000
}

TEST_F(FieldFile, DataDirectoryIsOnePlaceForEveryDataFile)
{
    fs::create_directories("elsewhere/zips");
    write_file("elsewhere/zips/77001.zc", le_floats({1000, 1500, 2000, 2200, 0}));
    ASSERT_EQ(set_data_directory("elsewhere//"), 1);
    EXPECT_STREQ(dataDirectory, "elsewhere");
    ASSERT_EQ(load("header\n77001,0,-95.4,29.8,1,2\n"), 1);
    EXPECT_EQ(zipTable.records[0].population.census[3], 2200.0f);

    char path[PATH_SIZE];
    ASSERT_EQ(data_path(path, "enroll/%u.enr", 4294967295u), 1);
    EXPECT_STREQ(path, "elsewhere/enroll/4294967295.enr");
    // a directory that leaves no room for the files below it is refused
    EXPECT_EQ(set_data_directory(std::string(240, 'd').c_str()), 0);
    EXPECT_EQ(set_data_directory(""), 0);
    EXPECT_STREQ(dataDirectory, "elsewhere");
}

// -------------------------------------------------------------------------------
// The ZIP report
// -------------------------------------------------------------------------------

class ZipReport : public DataTest {
protected:
    void SetUp() override
    {
        DataTest::SetUp();
        zipTable.count = 2;
        ZipRecord &r = zipTable.records[1];
        r.zip = 77002;
        r.travelMinutes = 15;
        r.trafficMinutes = 25;
        for (int year = 0; year < 17; ++year) {
            r.enrollment[0][year] = uint16_t(100 + year);   // campus 1
            r.enrollment[1][year] = uint16_t(900 + year);   // campus 2
        }
        r.enrollment[0][17] = 140;
        r.enrollment[1][17] = 950;
        valueTable.values[1] = 123;
        valueTable.areaTotal = 1000;
        valueTable.enrollmentTotal = 232;
    }
    std::string report(int32_t index)
    {
        char text[REPORT_TEXT_SIZE];
        int length = format_zip_report(index, text);
        EXPECT_EQ(length, int(std::strlen(text)));
        return text;
    }
};

TEST_F(ZipReport, NoCampusGivesFiveLines)
{
    timeline.currentDate = pack_date(15, 6, 2000);
    EXPECT_EQ(report(1), "Date: June,15,2000\r\n"
                         "Total for 10-county area: 1000\r\n"
                         "Total for zip code 77002: 123, 12.30%\r\n"
                         "Travel time from zip code 77002: 15 mins.\r\n"
                         "Travel time from zip code 77002 in traffic: 25 mins.\r\n");
}

TEST_F(ZipReport, CampusBefore2007AddsItsEnrollmentOfTheYear)
{
    timeline.currentDate = pack_date(31, 12, 2006);
    querySelection.campus = 1;
    EXPECT_EQ(report(1), "Date: December,31,2006\r\n"
                         "Total for 10-county area: 1000\r\n"
                         "Total for zip code 77002: 123, 12.30%\r\n"
                         "Enrollment for 10-county area: 232\r\n"
                         "Enrollment for zip code 77002: 116, 50.00%\r\n"
                         "Maximum enrollment for zip code 77002: 140\r\n"
                         "Travel time from zip code 77002: 15 mins.\r\n"
                         "Travel time from zip code 77002 in traffic: 25 mins.\r\n");
    querySelection.campus = 2;   // the second row
    EXPECT_NE(report(1).find("Enrollment for zip code 77002: 916, 394.83%\r\n"), std::string::npos);
    EXPECT_NE(report(1).find("Maximum enrollment for zip code 77002: 950\r\n"), std::string::npos);

    timeline.currentDate = pack_date(1, 1, 2007);
    EXPECT_EQ(report(1).find("nrollment"), std::string::npos);
}

TEST_F(ZipReport, ZeroTotalsGiveZeroSharesAndOutsideIndicesNothing)
{
    valueTable.areaTotal = 0;
    valueTable.enrollmentTotal = 0;
    querySelection.campus = 1;
    timeline.currentDate = pack_date(1, 1, 1990);
    std::string text = report(1);
    EXPECT_NE(text.find("Total for zip code 77002: 123, 0.00%\r\n"), std::string::npos);
    EXPECT_NE(text.find("Enrollment for zip code 77002: 100, 0.00%\r\n"), std::string::npos);
    EXPECT_EQ(report(2), "");
    EXPECT_EQ(report(-1), "");
    EXPECT_FLOAT_EQ(report_share(1, 3), 33.333332f);
}

}   // namespace
