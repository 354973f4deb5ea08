// test_values.cpp -- the interpolation figures, the timeline parameter and the blend
// range, values and their clamps, the area and enrollment totals, and the value CSV
// with its write failures.
#include "data_fixture.h"

#include <cmath>

namespace {

// One ZIP code with the population series 1000, 1500, 2000, 2200 and detail 50 in field 0.
void load_example(uint32_t zip = 77001)
{
    ZipRecord &r = zipTable.records[zipTable.count++];
    std::memset(&r, 0, sizeof r);
    r.zip = zip;
    r.population = {{1000, 1500, 2000, 2200}, 0};
    r.households = {{400, 500, 600, 700}, 0};
    r.families = {{300, 300, 300, 300}, 0};
    r.detail[0] = 50;
}

uint32_t value_on(PackedDate date)
{
    timeline.currentDate = date;
    compute_values();
    return valueTable.values[0];
}

float count_on(PackedDate date, const float (&c)[4] = {1000, 1500, 2000, 2200})
{
    timeline.currentDate = date;
    return interpolate_census(c[0], c[1], c[2], c[3], timeline_parameter());
}

using Interpolation = DataTest;

TEST_F(Interpolation, ExampleRecordGivesTheKnownValues)
{
    load_example();
    EXPECT_EQ(value_on(pack_date(1, 1, 1990)), 25u);
    EXPECT_EQ(zipTable.records[0].population.growthRatio, 0.5f);
    EXPECT_EQ(value_on(pack_date(1, 1, 2000)), 37u);
    EXPECT_EQ(value_on(pack_date(1, 1, 2010)), 53u);
    EXPECT_EQ(value_on(pack_date(31, 12, 2012)), 55u);
    EXPECT_NEAR(zipTable.records[0].population.growthRatio, 1.1f, 1e-6f);
    EXPECT_EQ(value_on(pack_date(31, 12, 2021)), 56u);

    EXPECT_EQ(count_on(pack_date(1, 1, 1990)), 1000.0f);
    EXPECT_NEAR(count_on(pack_date(1, 1, 2000)), 1479.6f, 0.05f);
    EXPECT_NEAR(count_on(pack_date(1, 1, 2010)), 2110.06f, 0.05f);
    EXPECT_NEAR(count_on(pack_date(31, 12, 2012)), 2200.0f, 0.01f);
    EXPECT_NEAR(count_on(pack_date(31, 12, 2021)), 2235.75f, 0.05f);
}

TEST_F(Interpolation, TimelineParameterRunsOnRawValues)
{
    timeline.currentDate = pack_date(1, 1, 1990);
    EXPECT_EQ(timeline_parameter(), 0.0f);
    timeline.currentDate = pack_date(31, 12, 2012);
    EXPECT_EQ(timeline_parameter(), 1.0f);
    timeline.currentDate = pack_date(1, 1, 2000);
    EXPECT_EQ(timeline_parameter(), static_cast<float>((20612.0 - 132) / 46584));
    timeline.currentDate = pack_date(31, 12, 2021);
    EXPECT_NEAR(timeline_parameter(), 1.3957f, 1e-4f);
}

// The blend applies from 15 June 2000 to 8 October 2007; outside it one quadratic
// alone decides. Each piece is checked against its own quadratic, and the curve must
// pass the 2000 and 2007 counts at the nodes.
TEST_F(Interpolation, BlendRangeAndNodes)
{
    auto t_of = [](PackedDate d) { timeline.currentDate = d; return timeline_parameter(); };
    auto first = [](float t) { return lagrange3(1000, 1500, 2000, 0.5882353f, float(22.0 * t / 17.0)); };
    auto second = [](float t) { return lagrange3(1500, 2000, 2200, 0.5833333f, float((22.0 * t - 10.0) / 12.0)); };

    float below = t_of(pack_date(14, 6, 2000)), start = t_of(pack_date(15, 6, 2000));
    float end = t_of(pack_date(8, 10, 2007)), above = t_of(pack_date(9, 10, 2007));
    EXPECT_LT(below, 0.45454547f);
    EXPECT_GE(start, 0.45454547f);
    EXPECT_LE(end, 0.77272725f);
    EXPECT_GT(above, 0.77272725f);

    EXPECT_EQ(interpolate_census(1000, 1500, 2000, 2200, below), first(below));
    EXPECT_EQ(interpolate_census(1000, 1500, 2000, 2200, above), second(above));
    // Inside the range both pieces contribute (they differ there, so neither alone matches).
    float mid = t_of(pack_date(1, 1, 2004));
    float blended = interpolate_census(1000, 1500, 2000, 2200, mid);
    EXPECT_NE(blended, first(mid));
    EXPECT_NE(blended, second(mid));
    EXPECT_GT(blended, std::min(first(mid), second(mid)));
    EXPECT_LT(blended, std::max(first(mid), second(mid)));

    EXPECT_NEAR(interpolate_census(1000, 1500, 2000, 2200, start), 1500.0f, 0.5f);
    EXPECT_NEAR(interpolate_census(1000, 1500, 2000, 2200, below), 1500.0f, 0.5f);
    EXPECT_NEAR(interpolate_census(1000, 1500, 2000, 2200, end), 2000.0f, 0.5f);
    EXPECT_NEAR(interpolate_census(1000, 1500, 2000, 2200, above), 2000.0f, 0.5f);
}

// A population that peaks in 2000 and surges by 2012: the two quadratics part ways
// inside the blend window, so any fault in the blend shows. The counts were worked out
// apart from this code, in exact arithmetic from the dates' raw values: the quadratic
// through 1990, 2000 and 2007 before the window, the one through 2000, 2007 and 2012
// after it, and between them their mix by the weight (22 t - 10) / 7 of the second.
TEST_F(Interpolation, BlendFollowsBothQuadraticsAcrossItsWindow)
{
    const float bumpy[4] = {1000, 3000, 2000, 6000};
    const struct { PackedDate date; float count; } pins[] = {
        {pack_date(14, 6, 2000), 3000.0020f},   // the first quadratic alone, last day
        {pack_date(15, 6, 2000), 2999.9988f},   // first day of the blend
        {pack_date(1, 10, 2000), 2994.2293f},
        {pack_date(1, 1, 2002), 2748.9327f},
        {pack_date(1, 1, 2006), 1741.4326f},
        {pack_date(1, 7, 2007), 1927.2731f},
        {pack_date(8, 10, 2007), 1999.8602f},   // last day of the blend
        {pack_date(9, 10, 2007), 2000.6295f},   // the second quadratic alone, first day
    };
    for (const auto &pin : pins) {
        char date[DATE_TEXT_SIZE];
        format_date(pin.date, date);
        EXPECT_NEAR(count_on(pin.date, bumpy), pin.count, 0.01f) << date;
    }
}

TEST_F(Interpolation, QuadraticPassesItsThreeNodes)
{
    for (float f : {0.5882353f, 0.5833333f, 0.25f}) {
        EXPECT_FLOAT_EQ(lagrange3(3, 7, 11, f, 0), 3);
        EXPECT_FLOAT_EQ(lagrange3(3, 7, 11, f, f), 7);
        EXPECT_FLOAT_EQ(lagrange3(3, 7, 11, f, 1), 11);
        // a straight line stays straight
        EXPECT_NEAR(lagrange3(0, f * 10, 10, f, 1.5f), 15.0f, 1e-4f);
    }
}

using ValueRules = DataTest;

TEST_F(ValueRules, SeriesCodeChoosesTheRatio)
{
    load_example();
    timeline.currentDate = pack_date(31, 12, 2012);
    seriesCode[0] = 1;   // households: 700 / 600 of 50
    compute_values();
    EXPECT_EQ(valueTable.values[0], 58u);
    seriesCode[0] = 2;   // families: flat
    compute_values();
    EXPECT_EQ(valueTable.values[0], 50u);
    for (int8_t code : {int8_t(-1), int8_t(3)}) {
        seriesCode[0] = code;
        compute_values();
        EXPECT_EQ(valueTable.values[0], 0u);
        EXPECT_EQ(valueTable.areaTotal, 0u);
        // all three series are still carried to the date
        EXPECT_NEAR(zipTable.records[0].households.growthRatio, 700.0f / 600.0f, 1e-5f);
    }
}

TEST_F(ValueRules, RoundingIsHalfUpOnSinglePrecisionRatios)
{
    load_example();
    zipTable.records[0].detail[0] = 53;
    EXPECT_EQ(value_on(pack_date(1, 1, 1990)), 27u);   // 0.5 x 53 = 26.5: halves go up
    // Worked out apart from this code, storing every named intermediate in single
    // precision: the ratio on 10 January 1990 is 0.50031811 (0.50031805 when the weights
    // of the quadratic stay in double), which times 1572 lands either side of 786.5.
    zipTable.records[0].detail[0] = 1572;
    EXPECT_EQ(value_on(pack_date(10, 1, 1990)), 787u);
}

TEST_F(ValueRules, UnrepresentableProductsAndTotalsAreClamped)
{
    load_example(1);
    load_example(2);
    load_example(3);
    load_example(4);
    zipTable.records[1].detail[0] = -50;         // negative product
    zipTable.records[2].detail[0] = 5e9f;        // beyond 32 bits
    zipTable.records[3].population.census[2] = 0; // no 2007 count: infinite ratio
    timeline.currentDate = pack_date(31, 12, 2012);
    compute_values();
    EXPECT_EQ(valueTable.values[0], 55u);
    EXPECT_EQ(valueTable.values[1], 0u);
    EXPECT_EQ(valueTable.values[2], 4294967295u);
    EXPECT_EQ(valueTable.values[3], 0u);
    EXPECT_TRUE(std::isinf(zipTable.records[3].population.growthRatio));
    // 55 + 4294967295 would wrap to 54, a total smaller than one of its parts.
    EXPECT_EQ(valueTable.areaTotal, 4294967295u);

    // All census counts zero, as for a ZIP code without a census file: 0/0.
    std::memset(&zipTable.records[0].population, 0, sizeof(CensusSeries));
    compute_values();
    EXPECT_EQ(valueTable.values[0], 0u);
}

TEST_F(ValueRules, TotalsAndUnusedEntries)
{
    load_example(1);
    load_example(2);
    for (uint32_t i = 0; i < 2; ++i) {
        zipTable.records[i].population = {{100, 100, 100, 100}, 0};
        zipTable.records[i].detail[0] = 10.0f * (i + 1);
    }
    std::fill(std::begin(valueTable.values), std::end(valueTable.values), 99u);
    timeline.currentDate = pack_date(17, 8, 2003);
    compute_values();
    EXPECT_EQ(valueTable.values[0], 10u);
    EXPECT_EQ(valueTable.values[1], 20u);
    EXPECT_EQ(valueTable.areaTotal, 30u);
    for (int i = 2; i < MAX_ZIPS; ++i) ASSERT_EQ(valueTable.values[i], 0u) << i;
}

TEST_F(ValueRules, NeverMoreThan300Entries)
{
    for (int i = 0; i < ZIP_TABLE_SIZE; ++i) load_example(10000 + i);
    compute_values();   // 1990: every value 25
    EXPECT_EQ(valueTable.areaTotal, 25u * MAX_ZIPS);
    EXPECT_EQ(valueTable.values[MAX_ZIPS - 1], 25u);
}

TEST_F(ValueRules, EnrollmentTotalFollowsCampusAndYear)
{
    for (uint16_t z = 0; z < 3; ++z) {
        load_example(z);
        for (int y = 0; y < ENROLL_YEARS; ++y) {
            zipTable.records[z].enrollment[0][y] = static_cast<uint16_t>(y + 1);
            zipTable.records[z].enrollment[1][y] = static_cast<uint16_t>(1000 * (y + 1));
        }
    }
    timeline.currentDate = pack_date(31, 12, 2006);
    compute_values();
    EXPECT_EQ(valueTable.enrollmentTotal, 0u);   // no campus
    uint32_t values[3] = {valueTable.values[0], valueTable.values[1], valueTable.values[2]};

    querySelection.campus = 1;
    compute_values();
    EXPECT_EQ(valueTable.enrollmentTotal, 3u * 17);
    querySelection.campus = 2;
    compute_values();
    EXPECT_EQ(valueTable.enrollmentTotal, 3u * 17000);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(valueTable.values[i], values[i]) << "campus changes no value";

    timeline.currentDate = pack_date(1, 1, 1990);
    compute_values();
    EXPECT_EQ(valueTable.enrollmentTotal, 3u * 1000);
    timeline.currentDate = pack_date(1, 1, 2007);
    compute_values();
    EXPECT_EQ(valueTable.enrollmentTotal, 0u);
}

using ValueExport = DataTest;

TEST_F(ValueExport, WritesHeaderAndOneCrLfLinePerZip)
{
    ASSERT_EQ(write_values("empty.csv"), 1);
    EXPECT_EQ(read_file(scratch / "empty.csv"), "ZIP,VALUE\r\n");

    load_example(77001);
    load_example(7001);
    load_example(4000000000u);
    zipTable.records[1].detail[0] = 0;
    compute_values();
    valueTable.values[2] = 4294967295u;
    ASSERT_EQ(write_values("values.csv"), 1);
    EXPECT_EQ(read_file(scratch / "values.csv"),
              "ZIP,VALUE\r\n77001,25\r\n7001,0\r\n4000000000,4294967295\r\n");
    // An existing file is replaced, not appended to.
    zipTable.count = 1;
    ASSERT_EQ(write_values("values.csv"), 1);
    EXPECT_EQ(read_file(scratch / "values.csv"), "ZIP,VALUE\r\n77001,25\r\n");
}

TEST_F(ValueExport, FailuresReturnZero)
{
    for (int i = 0; i < MAX_ZIPS; ++i) load_example(10000 + i);
    compute_values();
    EXPECT_EQ(write_values("no-such-folder/values.csv"), 0);
    EXPECT_FALSE(fs::exists(scratch / "no-such-folder"));
    if (fs::exists("/dev/full")) {
        EXPECT_EQ(write_values("/dev/full"), 0);   // every write fails
    }
    EXPECT_EQ(write_values(""), 0);
    if (::geteuid() != 0) {   // root writes into read-only folders anyway
        fs::create_directory(scratch / "locked");
        fs::permissions(scratch / "locked", fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_EQ(write_values("locked/values.csv"), 0);
        fs::permissions(scratch / "locked", fs::perms::owner_all);
    }
    EXPECT_TRUE(shownMessages.empty()) << "the caller reports the failure";
}

}   // namespace
