// values.cpp -- carries each ZIP code's census detail value to the current date by the
// interpolated growth ratio of its series, sums the values and the chosen campus's
// enrollment, and writes the value CSV.
//
// Numbers: every named intermediate (t, s, u, w, the numerators and weights of
// lagrange3, each quadratic, the blend, the growth ratio) is stored as a float; the
// arithmetic between stored values is done in double and rounded on storing. The
// figures of the interpolation depend on this, so keep the casts where they are.
#include "values.h"
#include "dates.h"
#include "selection.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

ValueTable valueTable;

static_assert(std::numeric_limits<double>::is_iec559, "a zero 2007 count must give inf or NaN");

// The census nodes in units of 22 t: 1990 at 0, 2000 at 10, 2007 at 17, 2012 at 22.
static constexpr float NODE_2000 = 0.45454547f;   // 10/22
static constexpr float NODE_2007 = 0.77272725f;   // 17/22
static constexpr float FIRST_F = 0.5882353f;      // 10/17: 2000 between 1990 and 2007
static constexpr float SECOND_F = 0.5833333f;     // 7/12: 2007 between 2000 and 2012

static constexpr double TWO_TO_32 = 4294967296.0;

static float store(double x) { return static_cast<float>(x); }

void clear_values()
{
    std::memset(&valueTable, 0, sizeof valueTable);
}

float timeline_parameter()
{
    // Raw packed values, not days: t jumps at the turn of every month and year.
    int span = static_cast<int>(timeline.maxDate) - static_cast<int>(timeline.minDate);
    int elapsed = static_cast<int>(timeline.currentDate) - static_cast<int>(timeline.minDate);
    if (span == 0) return 0.0f;   // a degenerate timeline has nowhere to go
    return store(static_cast<double>(elapsed) / span);
}

float lagrange3(float y0, float y1, float y2, float f, float x)
{
    const double X = x, F = f;
    float numerator0 = store((1.0 - F * F) * X - X * X * (1.0 - F));
    float weight0 = store(1.0 + numerator0 / ((F - 1.0) * F));
    float numerator1 = store(X * X - X);
    float weight1 = store(numerator1 / ((F - 1.0) * F));
    float numerator2 = store(X * F - X * X);
    float weight2 = store(numerator2 / (F - 1.0));
    return store(double(y0) * weight0 + double(y1) * weight1 + double(y2) * weight2);
}

float interpolate_census(float c0, float c1, float c2, float c3, float t)
{
    const double T = t;
    float s = store(22.0 * T / 17.0);
    float u = store((22.0 * T - 10.0) / 12.0);
    float w = store((22.0 * T - 10.0) / 7.0);
    if (t < NODE_2000) return lagrange3(c0, c1, c2, FIRST_F, s);
    if (t > NODE_2007) return lagrange3(c1, c2, c3, SECOND_F, u);
    float first = lagrange3(c0, c1, c2, FIRST_F, s);
    float second = lagrange3(c1, c2, c3, SECOND_F, u);
    return store((1.0 - w) * first + double(w) * second);
}

// Interpolated count over the 2007 count. A zero 2007 count (no census file) gives an
// infinite or NaN ratio, which to_value turns into 0.
static float growth_ratio(CensusSeries &series, float t)
{
    float count = interpolate_census(series.census[0], series.census[1], series.census[2],
                                     series.census[3], t);
    series.growthRatio = store(double(count) / series.census[2]);
    return series.growthRatio;
}

// Rounds ratio x detail half up into the unsigned table. A product the table cannot
// hold is clamped: below zero (a quadratic dipping under the axis) gives 0, 2^32 or
// more gives the largest value; a non-finite product gives 0.
static uint32_t to_value(float ratio, float detail)
{
    double product = double(ratio) * detail;
    double rounded = product + 0.5;
    if (!std::isfinite(rounded) || product < 0.0) return 0;
    if (rounded >= TWO_TO_32) return 0xFFFFFFFFu;
    return static_cast<uint32_t>(rounded);
}

void compute_values()
{
    clear_values();
    float t = timeline_parameter();
    uint16_t field = querySelection.field;
    int code = field < FIELD_COUNT ? seriesCode[field] : -1;
    unsigned year = date_year(timeline.currentDate);
    unsigned campus = querySelection.campus;
    bool countEnrollment = (campus == 1 || campus == 2) && timeline.currentDate < FIRST_RAW_2007;
    uint32_t count = loaded_zip_count();

    for (uint32_t i = 0; i < count; ++i) {
        ZipRecord &record = zipTable.records[i];
        // All three series are carried to the date, whichever the field uses.
        float ratios[3] = {growth_ratio(record.population, t), growth_ratio(record.households, t),
                           growth_ratio(record.families, t)};
        uint32_t value = 0;
        if (code >= 0 && code <= 2) value = to_value(ratios[code], record.detail[field]);
        valueTable.values[i] = value;
        valueTable.areaTotal += value;   // wraps modulo 2^32
        if (countEnrollment) valueTable.enrollmentTotal += record.enrollment[campus - 1][year];
    }
}

int write_values(const char *path)
{
    // Binary mode and explicit CR LF: the file reads the same on every system.
    FILE *file = std::fopen(path, "wb");
    if (!file) return 0;
    bool ok = std::fputs("ZIP,VALUE\r\n", file) >= 0;
    uint32_t count = loaded_zip_count();
    for (uint32_t i = 0; ok && i < count; ++i)
        ok = std::fprintf(file, "%u,%u\r\n", zipTable.records[i].zip, valueTable.values[i]) > 0;
    if (std::fflush(file) != 0 || std::ferror(file)) ok = false;
    if (std::fclose(file) != 0) ok = false;
    return ok ? 1 : 0;
}
