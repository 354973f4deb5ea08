// test_scene_geometry.cpp -- the scene's column geometry and colours, computed without
// GL: corners, lid heights and texture coordinates, band heights, enrollment colours
// and the translucency of unselected columns; and the campus file of the overlay.
#include "scene.h"
#include "dates.h"
#include "overlay.h"
#include "platform.h"
#include "selection.h"
#include "values.h"

#include <gtest/gtest.h>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

constexpr PackedDate JAN_1_1995 = pack_date(1, 1, 1995);   // year index 5
constexpr PackedDate JAN_1_2007 = pack_date(1, 1, 2007);
constexpr PackedDate DEC_31_2006 = pack_date(31, 12, 2006);

class SceneTables : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::memset(&zipTable, 0, sizeof zipTable);
        std::memset(&valueTable, 0, sizeof valueTable);
        displaySettings = {0, 0, 0.0001f, 1.0f};
        querySelection = {0, 0, -1};
        timeline.currentDate = JAN_1_1995;
    }
    static void add_zip(float lon, float lat, uint32_t value)
    {
        uint32_t i = zipTable.count++;
        zipTable.records[i].longitude = lon;
        zipTable.records[i].latitude = lat;
        if (i < static_cast<uint32_t>(MAX_ZIPS)) valueTable.values[i] = value;
    }
    // Enrollment of ZIP i for a campus (1 or 2) in year index 5, and the stored maximum.
    static void set_enrollment(uint32_t i, int campus, uint16_t enrollment, uint16_t maximum)
    {
        zipTable.records[i].enrollment[campus - 1][5] = enrollment;
        zipTable.records[i].enrollment[campus - 1][ENROLL_MAX] = maximum;
    }
};

void expect_colour(const ColumnColour &c, float red, float green, float blue, float alpha)
{
    EXPECT_NEAR(c.red, red, 1e-6f);
    EXPECT_NEAR(c.green, green, 1e-6f);
    EXPECT_NEAR(c.blue, blue, 1e-6f);
    EXPECT_NEAR(c.alpha, alpha, 1e-6f);
}

TEST_F(SceneTables, NoZipCodesLeaveOnlyThePlane)
{
    compute_scene_geometry();
    EXPECT_EQ(scene_scratch().count, 0u);
}

TEST_F(SceneTables, MoreZipCodesThanTheSceneHoldsAreCutAtItsCapacity)
{
    for (int i = 0; i < ZIP_TABLE_SIZE; ++i) add_zip(-95.5f, 29.8f, 7);
    compute_scene_geometry();
    EXPECT_EQ(scene_scratch().count, static_cast<uint32_t>(MAX_ZIPS));
}

TEST_F(SceneTables, CornersSquareAroundThePositionInCornerOrder)
{
    add_zip(-95.4f, 29.9f, 0);
    add_zip(-96.1f, 30.2f, 12345);
    compute_scene_geometry();
    const SceneScratch &s = scene_scratch();
    ASSERT_EQ(s.count, 2u);
    for (uint32_t i = 0; i < 2; ++i) {
        const ZipRecord &zip = zipTable.records[i];
        const ColumnGeometry &c = s.columns[i];
        // SW, SE, NE, NW
        const float dx[4] = {-0.0025f, 0.0025f, 0.0025f, -0.0025f};
        const float dy[4] = {-0.0025f, -0.0025f, 0.0025f, 0.0025f};
        for (int k = 0; k < 4; ++k) {
            EXPECT_NEAR(c.corner[k][0], zip.longitude + dx[k], 1e-5f) << "zip " << i << " corner " << k;
            EXPECT_NEAR(c.corner[k][1], zip.latitude + dy[k], 1e-5f) << "zip " << i << " corner " << k;
            EXPECT_EQ(c.corner[k][2], c.top);
        }
    }
}

TEST_F(SceneTables, TopIsValuePlusOneHundredthOfAScaledUnit)
{
    add_zip(-95.4f, 29.9f, 0);
    add_zip(-95.3f, 29.9f, 12345);
    add_zip(-95.2f, 29.9f, 4000000000u);   // taken as unsigned, not as a negative number
    compute_scene_geometry();
    const SceneScratch &s = scene_scratch();
    EXPECT_FLOAT_EQ(s.columns[0].top, 100.0f);
    EXPECT_FLOAT_EQ(s.columns[1].top, 12445.0f);
    EXPECT_FLOAT_EQ(s.columns[2].top, 4000000100.0f);
    EXPECT_NEAR(s.columns[0].bandTop, 0.01f, 1e-7f);   // the value-0 lid sits 0.01 above the plane
    EXPECT_NEAR(s.columns[1].bandTop, 1.2445f, 1e-6f);

    displaySettings.heightScale = 0.1f;   // lift 0.1 value units
    compute_scene_geometry();
    EXPECT_NEAR(s.columns[0].top, 0.1f, 1e-6f);
    EXPECT_NEAR(s.columns[1].top, 12345.1f, 1e-3f);
    EXPECT_NEAR(s.columns[0].bandTop, 0.01f, 1e-7f);
    EXPECT_NEAR(s.columns[1].bandTop, 1234.51f, 1e-3f);
}

TEST_F(SceneTables, LidShowsTheMapBeneathIt)
{
    add_zip(-95.4877f, 29.837934f, 0);               // the middle of the map
    add_zip(-96.62202f + 0.0025f, 28.76915f + 0.0025f, 0);   // its south-west corner
    add_zip(-97.0f, 31.5f, 0);                       // outside: repeats the map
    compute_scene_geometry();
    const SceneScratch &s = scene_scratch();
    const float halfS = 0.0025f / 2.2686386f, halfT = 0.0025f / 2.1375694f;
    const ColumnGeometry &middle = s.columns[0];
    EXPECT_NEAR(middle.lidTexture[CORNER_SW][0], 0.5f - halfS, 1e-5f);
    EXPECT_NEAR(middle.lidTexture[CORNER_SW][1], 0.5f - halfT, 1e-5f);
    EXPECT_NEAR(middle.lidTexture[CORNER_NE][0], 0.5f + halfS, 1e-5f);
    EXPECT_NEAR(middle.lidTexture[CORNER_NE][1], 0.5f + halfT, 1e-5f);
    EXPECT_NEAR(middle.lidTexture[CORNER_SE][0], 0.5f + halfS, 1e-5f);
    EXPECT_NEAR(middle.lidTexture[CORNER_NW][1], 0.5f + halfT, 1e-5f);
    EXPECT_NEAR(s.columns[1].lidTexture[CORNER_SW][0], 0.0f, 1e-5f);
    EXPECT_NEAR(s.columns[1].lidTexture[CORNER_SW][1], 0.0f, 1e-5f);
    EXPECT_LT(s.columns[2].lidTexture[CORNER_SW][0], 0.0f);
    EXPECT_GT(s.columns[2].lidTexture[CORNER_NE][1], 1.0f);
}

TEST_F(SceneTables, WhiteSidesWithoutCampusDateOrEnrollment)
{
    add_zip(-95.4f, 29.9f, 10);
    set_enrollment(0, 1, 40, 80);
    expect_colour(column_colour(0), 1, 1, 1, 1);   // campus 0

    querySelection.campus = 1;
    timeline.currentDate = JAN_1_2007;               // no enrollment from 2007 on
    zipTable.records[0].enrollment[0][17] = 80;
    expect_colour(column_colour(0), 1, 1, 1, 1);
    timeline.currentDate = DEC_31_2006;
    zipTable.records[0].enrollment[0][16] = 40;
    expect_colour(column_colour(0), 1, 1, 0, 1);

    timeline.currentDate = JAN_1_1995;
    querySelection.campus = 2;                       // campus 2 has no enrollment here
    expect_colour(column_colour(0), 1, 1, 1, 1);
}

TEST_F(SceneTables, NormalizedRunsFromRedThroughYellowToGreen)
{
    for (int i = 0; i < 5; ++i) add_zip(-95.4f, 29.9f, 10);
    querySelection.campus = 2;                       // row 1 of the enrollment
    set_enrollment(0, 2, 250, 250);                  // at the maximum
    set_enrollment(1, 2, 125, 250);                  // half
    set_enrollment(2, 2, 50, 200);                   // a quarter
    set_enrollment(3, 2, 30, 0);                     // maximum 0: saturated
    set_enrollment(4, 2, 3, 4);                      // three quarters
    expect_colour(column_colour(0), 0, 1, 0, 1);
    expect_colour(column_colour(1), 1, 1, 0, 1);
    expect_colour(column_colour(2), 1, 0.5f, 0, 1);
    expect_colour(column_colour(3), 0, 1, 0, 1);
    expect_colour(column_colour(4), 0.5f, 1, 0, 1);
}

TEST_F(SceneTables, FixedRangesScaleTheEnrollmentAndSaturate)
{
    add_zip(-95.4f, 29.9f, 10);
    querySelection.campus = 1;
    displaySettings.colourScale = 0.1f;   // "1-10"
    set_enrollment(0, 1, 5, 1000);
    expect_colour(column_colour(0), 1, 1, 0, 1);
    set_enrollment(0, 1, 2, 1000);
    expect_colour(column_colour(0), 1, 0.4f, 0, 1);
    set_enrollment(0, 1, 10, 1000);
    expect_colour(column_colour(0), 0, 1, 0, 1);
    set_enrollment(0, 1, 600, 1000);
    expect_colour(column_colour(0), 0, 1, 0, 1);

    displaySettings.colourScale = 0.001f;   // "1-1000": the maximum plays no part
    set_enrollment(0, 1, 250, 250);
    expect_colour(column_colour(0), 1, 0.5f, 0, 1);
}

TEST_F(SceneTables, SelectionMakesEveryOtherColumnTranslucent)
{
    for (int i = 0; i < 3; ++i) add_zip(-95.4f + 0.1f * i, 29.9f, 10);
    compute_scene_geometry();
    for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(scene_scratch().columns[i].lidAlpha, 1.0f);
        EXPECT_EQ(scene_scratch().columns[i].side.alpha, 1.0f);
    }

    querySelection.selectedZip = 1;
    querySelection.campus = 1;
    set_enrollment(0, 1, 5, 10);
    compute_scene_geometry();
    const float expected[3] = {0.15f, 1.0f, 0.15f};
    for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(scene_scratch().columns[i].lidAlpha, expected[i]) << "zip " << i;
        EXPECT_EQ(scene_scratch().columns[i].side.alpha, expected[i]) << "zip " << i;
    }
    expect_colour(scene_scratch().columns[0].side, 1, 1, 0, 0.15f);   // colour kept, alpha lowered
}

}  // namespace

namespace {

namespace fs = std::filesystem;

// Reads text as a campus file: read_campuses' result, the table left in table.
int read_text(const std::string &text, CampusTable &table)
{
    char path[] = "/tmp/tallymap-campuses-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0 || write(fd, text.data(), text.size()) != ssize_t(text.size()) || close(fd) != 0) return -1;
    table.count = 7;
    int result = read_campuses(path, table);
    fs::remove(path);
    return result;
}

TEST(CampusFile, ReadsTheComboCampusesInOrderAndToleratesBlankLinesAndLineEnds)
{
    CampusTable table;
    ASSERT_EQ(read_campuses("./data/ui/campuses.ui", table), 1);
    EXPECT_STREQ(table.campuses[0].name, "Corvale - University Park");
    EXPECT_STREQ(table.campuses[1].name, "Corvale - Victoria");
    EXPECT_EQ(table.campuses[0].longitude, -95.40f);
    EXPECT_EQ(table.campuses[0].latitude, 29.76f);
    EXPECT_TRUE(table.campuses[1].longitude < MAP_WEST && table.campuses[1].latitude < MAP_SOUTH) << "off the map";

    ASSERT_EQ(read_text("\nA,-95.5,29.5 \r\n\r\nB b,-97.25,-28.125", table), 1);
    EXPECT_EQ(table.count, 2u);
    EXPECT_STREQ(table.campuses[1].name, "B b");
    EXPECT_EQ(table.campuses[1].latitude, -28.125f);
}

TEST(CampusFile, RefusesEveryMalformedFileAndLeavesTheTableEmpty)
{
    const std::string b = "B,-97,28\n";
    const std::string refused[] = {"", b, "A,-95,29\n" + b + "C,-96,30\n", "A -95 29\n" + b, ",-95,29\n" + b,
                                   std::string(64, 'n') + ",-95,29\n" + b, "A,-95\n" + b, "A,,29\n" + b,
                                   "A,-95,29x\n" + b, "A,-95,29,7\n" + b, "A,-195,29\n" + b, "A,-95,91\n" + b,
                                   "A,nan,29\n" + b, "A," + std::string(300, '1') + ",2\n" + b};
    CampusTable table;
    for (const std::string &text : refused) {
        EXPECT_EQ(read_text(text, table), 0) << text;
        EXPECT_EQ(table.count, 0u) << text;
    }
    EXPECT_EQ(read_campuses("/nonexistent/campuses.ui", table), 0);
}

}  // namespace
