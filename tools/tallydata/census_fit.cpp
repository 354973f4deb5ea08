// census_fit.cpp -- the least-squares fit of the four stored census points to counts
// of any years, in double precision with Eigen's complete orthogonal decomposition.
//
// The curve's value at t is linear in the four points: value(t) = sum_k w_k(t) c_k. The
// weights are read off the viewer's own interpolate_census (values.cpp) by evaluating it
// on the unit points, so the fit sees exactly the single-precision weights the viewer
// multiplies with, and no constant of the interpolation is written twice.
//
// With F the points left free (not a given stored year, not held at 0) and p the
// straight-line estimate, the fitted free points are p_F + d, d the minimum-norm
// least-squares solution of A_F d = g - A_fixed c_fixed - A_F p_F: of all the points
// that fit best, the ones nearest p. A rank-deficient A_F (years that reach only some of
// the points, or more years than one quadratic piece can take) is handled by the
// decomposition's rank, never by inverting a matrix.
#include "census_fit.h"
#include "zone_files.h"   // CENSUS_YEAR_LIST
#include "values.h"   // the viewer's interpolate_census

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>

namespace {

// Largest systems: every year a row, four free points. Fixed capacities keep the fit
// free of allocation.
using FitMatrix = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::ColMajor, FIT_YEARS, FIT_POINTS>;
using FitRows   = Eigen::Matrix<double, Eigen::Dynamic, 1, Eigen::ColMajor, FIT_YEARS, 1>;
using FitPoints = Eigen::Matrix<double, Eigen::Dynamic, 1, Eigen::ColMajor, FIT_POINTS, 1>;

struct CurveWeights {
    double w[FIT_YEARS][FIT_POINTS];   // weight of each point in the curve at each year
};

const CurveWeights &curve_weights()
{
    static const CurveWeights table = [] {
        CurveWeights c{};
        for (int y = 0; y < FIT_YEARS; ++y) {
            float t = census_year_parameter(FIT_FIRST_YEAR + y);
            for (int k = 0; k < FIT_POINTS; ++k) {
                float unit[FIT_POINTS] = {};
                unit[k] = 1.0f;
                c.w[y][k] = interpolate_census(unit[0], unit[1], unit[2], unit[3], t);
            }
        }
        return c;
    }();
    return table;
}

// The straight-line estimate at each stored year: the polyline through the counts in
// year order, level before the first and after the last.
void straight_line(const GivenCount *counts, int n, double (&prior)[FIT_POINTS])
{
    GivenCount sorted[FIT_YEARS];
    std::copy(counts, counts + n, sorted);
    std::sort(sorted, sorted + n, [](const GivenCount &a, const GivenCount &b) { return a.year < b.year; });
    for (int k = 0; k < FIT_POINTS; ++k) {
        const int year = CENSUS_YEAR_LIST[k];
        if (year <= sorted[0].year) { prior[k] = sorted[0].count; continue; }
        if (year >= sorted[n - 1].year) { prior[k] = sorted[n - 1].count; continue; }
        int j = 1;
        while (sorted[j].year < year) ++j;
        const GivenCount &a = sorted[j - 1], &b = sorted[j];
        prior[k] = a.count + (b.count - a.count) * double(year - a.year) / double(b.year - a.year);
    }
}

}  // namespace

float census_year_parameter(int year)
{
    return float(double(year - FIT_FIRST_YEAR) / 22.0);
}

float census_curve(const float (&points)[FIT_POINTS], int year)
{
    return interpolate_census(points[0], points[1], points[2], points[3], census_year_parameter(year));
}

int stored_point_index(int year)
{
    for (int k = 0; k < FIT_POINTS; ++k)
        if (CENSUS_YEAR_LIST[k] == year) return k;
    return -1;
}

FitOutcome fit_census_points(const GivenCount *counts, int n, CensusFit &fit)
{
    fit = CensusFit{};
    const CurveWeights &weights = curve_weights();
    double prior[FIT_POINTS];
    straight_line(counts, n, prior);

    double c[FIT_POINTS];
    bool fixed[FIT_POINTS] = {};
    for (int k = 0; k < FIT_POINTS; ++k) c[k] = prior[k];
    for (int j = 0; j < n; ++j) {
        int k = stored_point_index(counts[j].year);
        if (k < 0) continue;
        c[k] = counts[j].count;
        fixed[k] = fit.given[k] = true;
    }

    // Each pass fits the free points; any that come out negative are held at 0 and the
    // rest fitted again. Every pass but the last fixes one point more: at most four.
    for (int pass = 0; pass < FIT_POINTS; ++pass) {
        int freeIndex[FIT_POINTS], freeCount = 0;
        for (int k = 0; k < FIT_POINTS; ++k)
            if (!fixed[k]) freeIndex[freeCount++] = k;
        int rowYear[FIT_YEARS], rows = 0;
        for (int j = 0; j < n; ++j)
            if (stored_point_index(counts[j].year) < 0) rowYear[rows++] = j;
        if (freeCount == 0 || rows == 0) break;

        FitMatrix a(rows, freeCount);
        FitRows rhs(rows);
        for (int r = 0; r < rows; ++r) {
            const GivenCount &g = counts[rowYear[r]];
            const double *w = weights.w[g.year - FIT_FIRST_YEAR];
            double residual = g.count;
            for (int k = 0; k < FIT_POINTS; ++k) residual -= w[k] * (fixed[k] ? c[k] : prior[k]);
            rhs(r) = residual;
            for (int f = 0; f < freeCount; ++f) a(r, f) = w[freeIndex[f]];
        }
        Eigen::CompleteOrthogonalDecomposition<FitMatrix> cod;
        cod.setThreshold(FIT_RANK_TOLERANCE);
        cod.compute(a);
        const FitPoints d = cod.solve(rhs);
        fit.rank = int(cod.rank());

        bool negative = false;
        for (int f = 0; f < freeCount; ++f) {
            int k = freeIndex[f];
            c[k] = prior[k] + d(f);
            if (c[k] < 0) {
                c[k] = 0;
                fixed[k] = fit.heldAtZero[k] = true;
                negative = true;
            }
        }
        if (!negative) break;
    }

    for (int k = 0; k < FIT_POINTS; ++k) fit.points[k] = float(c[k]);
    for (int j = 0; j < n; ++j) {
        double miss = std::fabs(counts[j].count - double(census_curve(fit.points, counts[j].year)));
        if (j == 0 || miss > fit.largestMiss) {
            fit.largestMiss = miss;
            fit.largestMissYear = counts[j].year;
        }
    }
    for (float p : fit.points)
        if (!std::isfinite(p)) return FIT_TOO_LARGE;
    return fit.points[2] > 0 ? FIT_DONE : FIT_2007_NOT_ABOVE_0;
}
