// report.cpp -- the ZIP report's lines, in their fixed order:
//   Date, area total, the ZIP code's value and share, [enrollment total, the ZIP
//   code's enrollment and share, its maximum enrollment,] travel time, in traffic.
// The bracketed lines appear only with a campus chosen and a date before 2007.
#include "report.h"
#include "dates.h"
#include "selection.h"
#include "values.h"
#include "zip_table.h"

#include <cstdarg>
#include <cstdio>

float report_share(uint32_t part, uint32_t total)
{
    if (total == 0) return 0.0f;
    return static_cast<float>(double(part) * 100.0 / double(total));
}

// Appends one formatted line; the buffer is far larger than any report.
static void add_line(char *text, int &length, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    int written = std::vsnprintf(text + length, size_t(REPORT_TEXT_SIZE - length), format, args);
    va_end(args);
    if (written > 0) length = written < REPORT_TEXT_SIZE - length ? length + written : REPORT_TEXT_SIZE - 1;
}

int format_zip_report(int32_t index, char *text)
{
    text[0] = '\0';
    uint32_t count = loaded_zip_count();
    if (index < 0 || uint32_t(index) >= count) return 0;
    const ZipRecord &record = zipTable.records[index];
    const uint32_t value = valueTable.values[index];
    const unsigned campus = querySelection.campus;
    const unsigned year = date_year(timeline.currentDate);

    char date[DATE_TEXT_SIZE];
    format_date(timeline.currentDate, date);
    int length = 0;
    add_line(text, length, "Date: %s\r\n", date);
    add_line(text, length, "Total for 10-county area: %u\r\n", valueTable.areaTotal);
    add_line(text, length, "Total for zip code %u: %u, %.2f%%\r\n", record.zip, value,
             double(report_share(value, valueTable.areaTotal)));
    if ((campus == 1 || campus == 2) && timeline.currentDate < FIRST_RAW_2007) {
        const uint16_t *enrollment = record.enrollment[campus - 1];
        add_line(text, length, "Enrollment for 10-county area: %u\r\n", valueTable.enrollmentTotal);
        add_line(text, length, "Enrollment for zip code %u: %u, %.2f%%\r\n", record.zip,
                 unsigned(enrollment[year]), double(report_share(enrollment[year], valueTable.enrollmentTotal)));
        add_line(text, length, "Maximum enrollment for zip code %u: %u\r\n", record.zip,
                 unsigned(enrollment[ENROLL_MAX]));
    }
    add_line(text, length, "Travel time from zip code %u: %u mins.\r\n", record.zip, record.travelMinutes);
    add_line(text, length, "Travel time from zip code %u in traffic: %u mins.\r\n", record.zip,
             record.trafficMinutes);
    return length;
}
