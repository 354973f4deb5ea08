// test_dates.cpp -- packed dates: layout and ordering, month lengths, stepping by day,
// month and year with every carry and wrap-around, and the text form.
#include "data_fixture.h"

namespace {

struct Step {
    PackedDate from;
    unsigned unit;
    PackedDate to;
};

void expect_forward(const std::vector<Step> &steps)
{
    for (const Step &s : steps) {
        PackedDate d = s.from;
        step_date_forward(d, s.unit);
        char a[DATE_TEXT_SIZE], b[DATE_TEXT_SIZE];
        format_date(s.from, a);
        format_date(s.to, b);
        EXPECT_EQ(d, s.to) << a << " forward by unit " << s.unit << " should give " << b;
    }
}

void expect_back(const std::vector<Step> &steps)
{
    for (const Step &s : steps) {
        PackedDate d = s.from;
        step_date_back(d, s.unit);
        char a[DATE_TEXT_SIZE], b[DATE_TEXT_SIZE];
        format_date(s.from, a);
        format_date(s.to, b);
        EXPECT_EQ(d, s.to) << a << " back by unit " << s.unit << " should give " << b;
    }
}

TEST(PackedDate, LayoutAndOrdering)
{
    EXPECT_EQ(pack_date(1, 1, 1990), 0x0084);
    EXPECT_EQ(pack_date(31, 12, 2012), 0xB67C);
    EXPECT_EQ(pack_date(15, 6, 2000), 21308);
    EXPECT_EQ(pack_date(8, 10, 2007), 36128);
    EXPECT_LT(pack_date(31, 12, 2006), FIRST_RAW_2007);
    EXPECT_EQ(pack_date(1, 1, 2007), FIRST_RAW_2007 + 0x84);
    EXPECT_GE(pack_date(1, 1, 2007), FIRST_RAW_2007);
    EXPECT_LT(pack_date(31, 1, 1995), pack_date(1, 2, 1995));
    EXPECT_LT(pack_date(31, 12, 1995), pack_date(1, 1, 1996));
    EXPECT_EQ(timeline.minDate, 0x0084);
    EXPECT_EQ(timeline.maxDate, 0xB67C);
    EXPECT_EQ(timeline.currentDate, 0x0084);
    EXPECT_EQ(timeline.playMode, 2);
    EXPECT_EQ(timeline.stepUnit, 0);
}

TEST(PackedDate, MonthLengthAndLeapYears)
{
    for (unsigned year = 1990; year <= 2021; ++year) {
        bool leap = year % 4 == 0;
        EXPECT_EQ(month_length(pack_date(1, 2, year)), leap ? 29 : 28) << year;
    }
    const int lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    for (unsigned month = 1; month <= 12; ++month)
        EXPECT_EQ(month_length(pack_date(1, month, 1991)), lengths[month - 1]) << month;
}

TEST(DateStepping, ByDayCarriesIntoMonthAndYear)
{
    expect_forward({
        {pack_date(28, 2, 1992), STEP_DAY, pack_date(29, 2, 1992)},
        {pack_date(29, 2, 1992), STEP_DAY, pack_date(1, 3, 1992)},
        {pack_date(28, 2, 1993), STEP_DAY, pack_date(1, 3, 1993)},
        {pack_date(28, 2, 2000), STEP_DAY, pack_date(29, 2, 2000)},
        {pack_date(30, 4, 1994), STEP_DAY, pack_date(1, 5, 1994)},
        {pack_date(31, 12, 1999), STEP_DAY, pack_date(1, 1, 2000)},
        {pack_date(14, 6, 2000), STEP_DAY, pack_date(15, 6, 2000)},
    });
    expect_back({
        {pack_date(1, 3, 1992), STEP_DAY, pack_date(29, 2, 1992)},
        {pack_date(1, 3, 1993), STEP_DAY, pack_date(28, 2, 1993)},
        {pack_date(1, 1, 1995), STEP_DAY, pack_date(31, 12, 1994)},
        {pack_date(1, 5, 1994), STEP_DAY, pack_date(30, 4, 1994)},
        {pack_date(9, 10, 2007), STEP_DAY, pack_date(8, 10, 2007)},
    });
}

TEST(DateStepping, ByMonthKeepsOrClampsDay)
{
    expect_forward({
        {pack_date(31, 1, 1993), STEP_MONTH, pack_date(28, 2, 1993)},
        {pack_date(31, 10, 1995), STEP_MONTH, pack_date(30, 11, 1995)},
        {pack_date(15, 12, 1999), STEP_MONTH, pack_date(15, 1, 2000)},
        {pack_date(31, 1, 1992), STEP_MONTH, pack_date(29, 2, 1992)},
        // the clamped day is not restored later
        {pack_date(29, 2, 1992), STEP_MONTH, pack_date(29, 3, 1992)},
    });
    expect_back({
        {pack_date(31, 3, 1996), STEP_MONTH, pack_date(29, 2, 1996)},
        {pack_date(10, 1, 2001), STEP_MONTH, pack_date(10, 12, 2000)},
        {pack_date(31, 12, 1995), STEP_MONTH, pack_date(30, 11, 1995)},
    });
}

TEST(DateStepping, ByYearClampsLeapDay)
{
    expect_forward({
        {pack_date(29, 2, 1992), STEP_YEAR, pack_date(28, 2, 1993)},
        {pack_date(1, 6, 2012), STEP_YEAR, pack_date(1, 6, 2013)},   // beyond maxDate: not stopped
        {pack_date(28, 2, 1995), STEP_YEAR, pack_date(28, 2, 1996)},
    });
    expect_back({
        {pack_date(29, 2, 1992), STEP_YEAR, pack_date(28, 2, 1991)},
        {pack_date(5, 5, 1990), STEP_YEAR, pack_date(5, 5, 2021)},
    });
}

TEST(DateStepping, WrapsAroundTheFiveBitYear)
{
    expect_back({{pack_date(1, 1, 1990), STEP_DAY, pack_date(31, 12, 2021)},
                 {pack_date(15, 1, 1990), STEP_MONTH, pack_date(15, 12, 2021)}});
    expect_forward({{pack_date(31, 12, 2021), STEP_DAY, pack_date(1, 1, 1990)},
                    {pack_date(15, 12, 2021), STEP_MONTH, pack_date(15, 1, 1990)},
                    {pack_date(7, 7, 2021), STEP_YEAR, pack_date(7, 7, 1990)}});
}

TEST(DateStepping, UnknownUnitLeavesDateAlone)
{
    PackedDate d = pack_date(31, 12, 2012);
    step_date_forward(d, 3);
    step_date_back(d, 200);
    EXPECT_EQ(d, pack_date(31, 12, 2012));
}

// A whole walk forward day by day and back again must retrace every date, keep the
// reserved bits, and visit 365 or 366 days per year.
TEST(DateStepping, DayWalkRoundTripsAndKeepsReservedBits)
{
    for (PackedDate reserved : {PackedDate(0), PackedDate(1), PackedDate(2), PackedDate(3)}) {
        PackedDate d = static_cast<PackedDate>(pack_date(1, 1, 1990) | reserved);
        std::vector<PackedDate> seen;
        unsigned days1992 = 0;
        for (int i = 0; i < 32 * 366; ++i) {
            seen.push_back(d);
            if (date_year(d) == 2) ++days1992;
            step_date_forward(d, STEP_DAY);
            ASSERT_EQ(d & 3u, reserved);
            if (d == (pack_date(1, 1, 1990) | reserved)) break;
            ASSERT_GT(d, seen.back()) << "dates must rise within the cycle";
        }
        EXPECT_EQ(d, pack_date(1, 1, 1990) | reserved) << "the walk wraps after 2021";
        EXPECT_EQ(days1992, 366u);
        EXPECT_EQ(seen.size(), 32u * 365 + 8);   // eight leap years in 1990..2021
        for (size_t i = seen.size(); i-- > 0;) {
            step_date_back(d, STEP_DAY);
            ASSERT_EQ(d, seen[i]);
        }
    }
    for (unsigned unit : {STEP_MONTH, STEP_YEAR}) {
        PackedDate d = static_cast<PackedDate>(pack_date(31, 1, 1992) | 3u);
        for (int i = 0; i < 400; ++i) {
            step_date_forward(d, unit);
            step_date_back(d, unit);
            ASSERT_EQ(d & 3u, 3u);
        }
    }
}

TEST(DateText, FormatsMonthDayYear)
{
    char text[DATE_TEXT_SIZE];
    format_date(pack_date(1, 1, 1990), text);
    EXPECT_STREQ(text, "January,1,1990");
    format_date(pack_date(30, 9, 2021), text);
    EXPECT_STREQ(text, "September,30,2021");
    EXPECT_EQ(std::strlen(text), size_t(DATE_TEXT_SIZE - 1));
    format_date(pack_date(29, 2, 2000) | 3u, text);
    EXPECT_STREQ(text, "February,29,2000");
    format_date(pack_date(31, 12, 2012), text);
    EXPECT_STREQ(text, "December,31,2012");
}

}   // namespace
