// census_reference.h -- the viewer's census curve written out from its definition, for
// tests that check the census fit against figures worked out apart from it: the weight
// of each stored point (1990, 2000, 2007, 2012) at a year, a small linear solver, and
// the days where the viewer's time line reaches a year.
#pragma once
#include "dates.h"

#include <cmath>
#include <utility>
#include <vector>

// The weight of each stored point in the curve at a year, from the definition.
inline std::vector<double> reference_weights(int year)
{
    const double x = year - 1990;
    auto lagrange = [x](double a, double b, double c) { return (x - b) * (x - c) / ((a - b) * (a - c)); };
    const double first[3] = {lagrange(0, 10, 17), lagrange(10, 0, 17), lagrange(17, 0, 10)};
    const double second[3] = {lagrange(10, 17, 22), lagrange(17, 10, 22), lagrange(22, 10, 17)};
    if (x < 10) return {first[0], first[1], first[2], 0};
    if (x > 17) return {0, second[0], second[1], second[2]};
    const double s = (x - 10) / 7;
    return {(1 - s) * first[0], (1 - s) * first[1] + s * second[0], (1 - s) * first[2] + s * second[1], s * second[2]};
}

// Solves the square system m x = v by elimination with partial pivoting.
inline std::vector<double> solve(std::vector<std::vector<double>> m, std::vector<double> v)
{
    const size_t n = v.size();
    for (size_t col = 0; col < n; ++col) {
        size_t pivot = col;
        for (size_t r = col + 1; r < n; ++r)
            if (std::fabs(m[r][col]) > std::fabs(m[pivot][col])) pivot = r;
        std::swap(m[col], m[pivot]);
        std::swap(v[col], v[pivot]);
        for (size_t r = col + 1; r < n; ++r) {
            double f = m[r][col] / m[col][col];
            for (size_t c = col; c < n; ++c) m[r][c] -= f * m[col][c];
            v[r] -= f * v[col];
        }
    }
    std::vector<double> x(n);
    for (size_t r = n; r-- > 0;) {
        double s = v[r];
        for (size_t c = r + 1; c < n; ++c) s -= m[r][c] * x[c];
        x[r] = s / m[r][r];
    }
    return x;
}


// The least-squares points k = first..last (the others 0 in every weight used) for
// counts (year, count), by the normal equations.
inline std::vector<double> reference_least_squares(const std::vector<std::pair<int, double>> &counts, int first, int last)
{
    const size_t n = size_t(last - first + 1);
    std::vector<std::vector<double>> normal(n, std::vector<double>(n, 0.0));
    std::vector<double> right(n, 0.0);
    for (const auto &[year, count] : counts) {
        const std::vector<double> w = reference_weights(year);
        for (size_t i = 0; i < n; ++i) {
            for (size_t j = 0; j < n; ++j) normal[i][j] += w[size_t(first) + i] * w[size_t(first) + j];
            right[i] += w[size_t(first) + i] * count;
        }
    }
    return solve(normal, right);
}

// The two days whose packed dates lie either side of the viewer's t for a year,
// (year - 1990) / 22 of the way from 1 January 1990 (raw 132) to 31 December 2012
// (raw 46716): the days a count of that year is shown between.
inline std::pair<PackedDate, PackedDate> days_around(int year)
{
    const double target = 132 + 46584.0 * (year - 1990) / 22;
    PackedDate before = pack_date(1, 1, 1990), after = before;
    while (after <= target) before = after, step_date_forward(after, STEP_DAY);
    return {before, after};
}
