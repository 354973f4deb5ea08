// census_fit_test.cpp -- the census fit against figures worked out apart from it: the
// viewer's curve (its own interpolate_census) through every count where an exact fit
// exists, and least-squares and nearest-point references built here from the curve's
// definition (two quadratics in years since 1990 through 0, 10, 17 and 10, 17, 22,
// blended linearly between 10 and 17) by normal equations solved by elimination.
#include "census_fit.h"
#include "census_reference.h"

#include "values.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

CensusFit fitted(const std::vector<GivenCount> &counts, FitOutcome expected = FIT_DONE)
{
    CensusFit fit;
    EXPECT_EQ(fit_census_points(counts.data(), int(counts.size()), fit), expected);
    return fit;
}

// Within the rounding of a single-precision count.
void expect_near_count(double value, double expected, const char *what)
{
    EXPECT_NEAR(value, expected, 1e-2 + 4e-7 * std::fabs(expected)) << what;
}

}  // namespace

TEST(CensusFit, TheViewersCurvePassesThroughEveryCountWhereTheCountsAllowIt)
{
    const std::vector<std::vector<GivenCount>> cases = {
        {{2010, 16793}},
        {{2010, 16793}, {2020, 18211}},
        {{2000, 15002}, {2010, 16793}, {2020, 18211}},
        {{1995, 800}, {2005, 2400}},
        {{1993, 3100}, {2003, 4000}, {2009, 5200}, {2019, 6100}},   // four years, one in each reach
        {{1990, 1000}, {2000, 1500}, {2007, 2000}, {2012, 2200}},
    };
    for (const auto &counts : cases) {
        CensusFit fit = fitted(counts);
        for (const GivenCount &g : counts) {
            expect_near_count(census_curve(fit.points, g.year), g.count, ("year " + std::to_string(g.year)).c_str());
            // the curve as the viewer computes it at the year's parameter
            float t = float((g.year - 1990) / 22.0);
            expect_near_count(interpolate_census(fit.points[0], fit.points[1], fit.points[2], fit.points[3], t),
                              g.count, "viewer");
            int k = g.year == 1990 ? 0 : g.year == 2000 ? 1 : g.year == 2007 ? 2 : g.year == 2012 ? 3 : -1;
            if (k >= 0) {   // a given stored year is the point itself, to the bit
                EXPECT_EQ(fit.points[k], float(g.count));
                EXPECT_TRUE(fit.given[k]);
            }
        }
        EXPECT_LT(fit.largestMiss, 0.5);
    }
}

// One year: the level line, every point the count. Two years: of all exact fits, the
// one nearest the straight-line estimate (a, a, a, a + 0.2 (b - a)): the 1990 point,
// which neither year reaches, stays on it, and the correction of the other three is
// the minimum-norm solution d = W^T (W W^T)^-1 r, worked out here.
TEST(CensusFit, FreePointsAreTheExactFitNearestTheStraightLine)
{
    CensusFit one = fitted({{2010, 16793}});
    for (float p : one.points) EXPECT_NEAR(p, 16793, 0.01);

    const double a = 3000, b = 4200;
    CensusFit two = fitted({{2010, a}, {2020, b}});
    const double prior[4] = {a, a, a, a + 0.2 * (b - a)};
    const std::vector<double> w10 = reference_weights(2010), w20 = reference_weights(2020);
    double r[2] = {a, b};
    for (int k = 0; k < 4; ++k) r[0] -= w10[k] * prior[k], r[1] -= w20[k] * prior[k];
    double g[2][2] = {};   // W W^T over the points 2000, 2007, 2012
    for (int k = 1; k < 4; ++k) {
        g[0][0] += w10[k] * w10[k];
        g[0][1] += w10[k] * w20[k];
        g[1][1] += w20[k] * w20[k];
    }
    g[1][0] = g[0][1];
    std::vector<double> y = solve({{g[0][0], g[0][1]}, {g[1][0], g[1][1]}}, {r[0], r[1]});
    EXPECT_EQ(two.points[0], float(a));
    for (int k = 1; k < 4; ++k)
        EXPECT_NEAR(two.points[k], prior[k] + w10[k] * y[0] + w20[k] * y[1], 0.05) << "point " << k;
    EXPECT_FALSE(two.given[0] || two.given[1] || two.given[2] || two.given[3]);
}

// Five yearly estimates after 2012 reach only the 2000, 2007 and 2012 points (one
// quadratic): no exact fit, so the least-squares points from the normal equations.
// The 1990 point is the level before the first year.
TEST(CensusFit, FiveYearlyEstimatesGiveTheLeastSquaresPoints)
{
    const std::vector<GivenCount> counts = {{2014, 5210}, {2015, 5302}, {2016, 5460}, {2017, 5480}, {2018, 5655}};
    CensusFit fit = fitted(counts);
    std::vector<std::pair<int, double>> pairs;
    for (const GivenCount &g : counts) {
        EXPECT_EQ(reference_weights(g.year)[0], 0.0);
        pairs.push_back({g.year, g.count});
    }
    const std::vector<double> reference = reference_least_squares(pairs, 1, 3);
    EXPECT_EQ(fit.points[0], 5210.0f);
    for (int k = 1; k < 4; ++k) EXPECT_NEAR(fit.points[k], reference[k - 1], 1e-4 * reference[k - 1]) << k;
    EXPECT_EQ(fit.rank, 3);
    double largest = 0;
    for (const GivenCount &g : counts) {
        std::vector<double> w = reference_weights(g.year);
        largest = std::max(largest, std::fabs(g.count - (w[1] * reference[0] + w[2] * reference[1] + w[3] * reference[2])));
    }
    EXPECT_NEAR(fit.largestMiss, largest, 0.05);
    EXPECT_GT(fit.largestMiss, 0.5);
}

// Four years on one quadratic piece: rank 3 (the decomposition's rank, not a singular
// inverse), met exactly when they lie on a quadratic, the unreached 2012 point level.
TEST(CensusFit, YearsInOnePieceAreRankDeficientAndStillExact)
{
    // counts of 100 + 3 x + 0.5 x^2, x years since 1990: on the first quadratic
    auto q = [](int year) { double x = year - 1990; return 100 + 3 * x + 0.5 * x * x; };
    CensusFit fit = fitted({{1991, q(1991)}, {1993, q(1993)}, {1996, q(1996)}, {1998, q(1998)}});
    EXPECT_EQ(fit.rank, 3);
    for (int year : {1991, 1993, 1996, 1998}) expect_near_count(census_curve(fit.points, year), q(year), "on the piece");
    expect_near_count(fit.points[1], q(2000), "2000 on the same quadratic");
    expect_near_count(fit.points[2], q(2007), "2007 on the same quadratic");
    EXPECT_EQ(fit.points[3], float(q(1998)));
}

// A new suburb (100, 100, 5000 in 2000, 2010, 2020) needs a 2007 point below 0: held at
// 0, and every ratio would divide by it, so the series is refused. A shrinking one
// (5000, 100, 100) sends 2012 below 0: held at 0, and 2007 the least-squares point of
// the two remaining rows, c2007 = sum w2 (g - w1 5000) / sum w2^2, worked out here.
TEST(CensusFit, NegativePointsAreHeldAtZeroAndTheRestRefitted)
{
    CensusFit suburb = fitted({{2000, 100}, {2010, 100}, {2020, 5000}}, FIT_2007_NOT_ABOVE_0);
    EXPECT_TRUE(suburb.heldAtZero[2]);
    EXPECT_EQ(suburb.points[2], 0.0f);

    CensusFit shrinking = fitted({{2000, 5000}, {2010, 100}, {2020, 100}});
    EXPECT_TRUE(shrinking.heldAtZero[3]);
    EXPECT_FALSE(shrinking.heldAtZero[2]);
    EXPECT_EQ(shrinking.points[3], 0.0f);
    EXPECT_EQ(shrinking.points[1], 5000.0f);
    EXPECT_EQ(shrinking.points[0], 5000.0f);   // level before the first year
    double top = 0, bottom = 0;
    for (int year : {2010, 2020}) {
        std::vector<double> w = reference_weights(year);
        top += w[2] * (100 - w[1] * 5000);
        bottom += w[2] * w[2];
    }
    EXPECT_NEAR(shrinking.points[2], top / bottom, 0.05);
    EXPECT_GT(shrinking.largestMiss, 0.5);
    for (float p : shrinking.points) EXPECT_GE(p, 0.0f);
}

// Between 2000 and 2007 the 1990 and 2000 points weigh in a fixed proportion, so with
// 2007 and 2012 given, counts of 2002 and 2006 reach one direction of the two free
// points only: the least-squares correction lies along that direction (rank 1), the
// rest stays on the straight line. A rank read off single-precision noise would meet
// both counts with wild points instead.
TEST(CensusFit, ProportionalWeightsBetween2000And2007AreOneDirection)
{
    const std::vector<GivenCount> counts = {{2002, 4100}, {2006, 4700}, {2007, 4800}, {2012, 5200}};
    CensusFit fit = fitted(counts);
    EXPECT_EQ(fit.rank, 1);
    // straight line: 1990 and 2000 level at the 2002 count
    const double prior[2] = {4100, 4100};
    std::vector<double> w02 = reference_weights(2002), w06 = reference_weights(2006);
    ASSERT_NEAR(w02[0] / w06[0], w02[1] / w06[1], 1e-12);
    const double alpha[2] = {1.0, w06[0] / w02[0]};   // each row = alpha_i (w02[0], w02[1])
    double r[2] = {4100, 4700};
    for (int i = 0; i < 2; ++i) {
        const std::vector<double> &w = i == 0 ? w02 : w06;
        r[i] -= w[0] * prior[0] + w[1] * prior[1] + w[2] * 4800 + w[3] * 5200;
    }
    const double scale = (alpha[0] * r[0] + alpha[1] * r[1]) /
                         ((alpha[0] * alpha[0] + alpha[1] * alpha[1]) * (w02[0] * w02[0] + w02[1] * w02[1]));
    EXPECT_NEAR(fit.points[0], prior[0] + scale * w02[0], 0.05);
    EXPECT_NEAR(fit.points[1], prior[1] + scale * w02[1], 0.05);
}
