// dates.h -- packed calendar dates, the timeline record, and stepping a date by one
// day, month or year with every carry.
#pragma once
#include <cstdint>

// PackedDate: bits 0-1 reserved (0), 2-6 day, 7-10 month, 11-15 years since 1990.
// Raw values compare like dates; 0x8800 is the first raw value of 2007.
using PackedDate = uint16_t;

constexpr PackedDate FIRST_RAW_2007 = 0x8800;
constexpr int DATE_TEXT_SIZE = 18;   // "September,30,2021" and its terminator

enum DateStepUnit : uint8_t { STEP_DAY = 0, STEP_MONTH = 1, STEP_YEAR = 2 };

struct TimelineState {
    PackedDate minDate;      // 1 January 1990 (0x0084); never changes
    PackedDate maxDate;      // 31 December 2012 (0xB67C); never changes
    PackedDate currentDate;  // the date shown and computed; stepped by the timer, panel and mouse
    uint8_t    playMode;     // 1 backward, 2 paused, 3 forward; written by the Timeline panel
    uint8_t    stepUnit;     // DateStepUnit of playback and mouse drags; written by the Timeline panel
};

extern TimelineState timeline;

inline unsigned date_day(PackedDate d)   { return (d >> 2) & 31u; }
inline unsigned date_month(PackedDate d) { return (d >> 7) & 15u; }
inline unsigned date_year(PackedDate d)  { return (d >> 11) & 31u; }   // years since 1990

// The packed form of a calendar date (year 1990..2021), reserved bits 0.
constexpr PackedDate pack_date(unsigned day, unsigned month, unsigned year)
{
    return static_cast<PackedDate>(((year - 1990u) & 31u) << 11 | (month & 15u) << 7 | (day & 31u) << 2);
}

int  month_length(PackedDate date);
void step_date_back(PackedDate &date, unsigned unit);
void step_date_forward(PackedDate &date, unsigned unit);
void format_date(PackedDate date, char *text);   // text: at least DATE_TEXT_SIZE bytes
