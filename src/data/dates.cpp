// dates.cpp -- the timeline record, month lengths, stepping a packed date by one day,
// month or year with every carry, and the text form of a date.
//
// PackedDate: bits 0-1 reserved (0), 2-6 day, 7-10 month, 11-15 years since 1990.
// Fields are changed in place with masks, so the reserved bits survive every step.
// Stepping knows nothing of the timeline's bounds: it wraps at the ends of the 5-bit
// year (2021 -> 1990 forward, 1990 -> 2021 back).
#include "dates.h"

#include <cstdio>

TimelineState timeline = {
    0x0084,   // minDate: 1 January 1990
    0xB67C,   // maxDate: 31 December 2012
    0x0084,   // currentDate: 1 January 1990
    2,        // playMode: paused
    STEP_DAY, // stepUnit
};

static constexpr unsigned DAY_SHIFT = 2, MONTH_SHIFT = 7, YEAR_SHIFT = 11;
static constexpr unsigned DAY_MASK = 31u << DAY_SHIFT;
static constexpr unsigned MONTH_MASK = 15u << MONTH_SHIFT;
static constexpr unsigned YEAR_MASK = 31u << YEAR_SHIFT;
static constexpr unsigned LAST_YEAR_OFFSET = 31;   // 2021

// Index 0 is a placeholder; February is corrected for leap years by month_length.
static const uint8_t daysInMonth[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

static const char *const monthNames[12] = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December",
};

// Each setter masks its value into its own bits, so an out-of-range field written by a
// step can never spill into the neighbouring field.
static void set_day(PackedDate &d, unsigned day)
{
    d = static_cast<PackedDate>((d & ~DAY_MASK) | ((day << DAY_SHIFT) & DAY_MASK));
}
static void set_month(PackedDate &d, unsigned month)
{
    d = static_cast<PackedDate>((d & ~MONTH_MASK) | ((month << MONTH_SHIFT) & MONTH_MASK));
}
static void set_year(PackedDate &d, unsigned year)
{
    d = static_cast<PackedDate>((d & ~YEAR_MASK) | ((year << YEAR_SHIFT) & YEAR_MASK));
}

int month_length(PackedDate date)
{
    unsigned month = date_month(date);
    if (month < 1 || month > 12) return 31;   // not a calendar month: never read past the table
    // Every fourth year from 1992 is a leap year; over 1990..2021 that is the Gregorian rule.
    if (month == 2 && (1990 + date_year(date)) % 4 == 0) return 29;
    return daysInMonth[month];
}

static void clamp_day(PackedDate &date)
{
    unsigned length = static_cast<unsigned>(month_length(date));
    if (date_day(date) > length) set_day(date, length);
}

void step_date_back(PackedDate &date, unsigned unit)
{
    if (unit > STEP_YEAR) return;
    if (unit == STEP_DAY) {
        if (date_day(date) > 1) { set_day(date, date_day(date) - 1); return; }
        set_day(date, 31);   // the month step below clamps it to the previous month's last day
    }
    if (unit <= STEP_MONTH) {
        unsigned month = date_month(date);
        set_month(date, month == 1 ? 12 : month - 1);
        clamp_day(date);
        if (date_month(date) != 12) return;
    }
    unsigned year = date_year(date);
    set_year(date, year == 0 ? LAST_YEAR_OFFSET : year - 1);
    clamp_day(date);
}

void step_date_forward(PackedDate &date, unsigned unit)
{
    if (unit > STEP_YEAR) return;
    if (unit == STEP_DAY) {
        // A day beyond the month's end (never made by these steps) also carries.
        if (date_day(date) < static_cast<unsigned>(month_length(date))) {
            set_day(date, date_day(date) + 1);
            return;
        }
        set_day(date, 1);
    }
    if (unit <= STEP_MONTH) {
        unsigned month = date_month(date);
        set_month(date, month == 12 ? 1 : month + 1);
        clamp_day(date);
        if (date_month(date) != 1) return;
    }
    unsigned year = date_year(date);
    set_year(date, year == LAST_YEAR_OFFSET ? 0 : year + 1);
    clamp_day(date);
}

void format_date(PackedDate date, char *text)
{
    unsigned month = date_month(date);
    const char *name = (month >= 1 && month <= 12) ? monthNames[month - 1] : "";
    std::snprintf(text, DATE_TEXT_SIZE, "%s,%hu,%hu", name,
                  static_cast<unsigned short>(date_day(date)),
                  static_cast<unsigned short>(1990 + date_year(date)));
}
