// census_fit.h -- the four stored census points of a series (1990, 2000, 2007, 2012)
// from counts of any years 1990 to 2020, so that the viewer's own curve passes through
// the counts given. A count of year Y sits where the viewer puts its census years, at
// t = (Y - 1990) / 22, and the curve there is linear in the four points; the points are,
// among those that fit the counts best (least squares, exact wherever the counts allow,
// a given stored year met exactly), the ones closest to the straight-line estimate
// (the line through the given years, held level before the first and after the last).
// A point that comes out negative is held at 0 and the rest refitted.
#pragma once

constexpr int FIT_FIRST_YEAR = 1990;   // t = 0
constexpr int FIT_LAST_YEAR  = 2020;   // t = 30/22, inside the timeline's end at 2021
constexpr int FIT_YEARS      = FIT_LAST_YEAR - FIT_FIRST_YEAR + 1;
constexpr int FIT_POINTS     = 4;      // the stored points: 1990, 2000, 2007, 2012

// A pivot of the least-squares system counts towards its rank when it is larger than
// this share of the largest pivot. Some systems are rank deficient in exact arithmetic
// although no weight is 0 (between 2000 and 2007 the weights of the 1990 and 2000 points
// are proportional: both carry the factor x - 17), and the viewer's single-precision
// weights leave them pivots up to 2e-8 of the largest; the weakest real dependence
// measured over 390 000 random sets of whole years and free points is 5e-6 (the 1990
// point seen only through 2006). The tolerance lies between, a factor 15 from each.
constexpr double FIT_RANK_TOLERANCE = 3e-7;

struct GivenCount {
    int    year;    // FIT_FIRST_YEAR..FIT_LAST_YEAR, each year at most once
    double count;   // 0 or more (the caller leaves out the census's negative codes)
};

struct CensusFit {
    float  points[FIT_POINTS];       // the stored points, as the census file holds them
    bool   given[FIT_POINTS];        // the point is a given count of its own year
    bool   heldAtZero[FIT_POINTS];   // the fit sent it below 0; held at 0, the rest refitted
    int    rank;                     // rank of the last least-squares system (0: nothing to fit)
    double largestMiss;              // largest |count - curve(year)| over the counts given
    int    largestMissYear;          // the year of that count; 0 when no count was given
};

enum FitOutcome {
    FIT_DONE,               // the points are in fit
    FIT_2007_NOT_ABOVE_0,   // the 2007 point came out 0 or less: every growth ratio divides by it
    FIT_TOO_LARGE,          // a point lies beyond single precision
};

// Fits the points to n counts (1 <= n <= FIT_YEARS, distinct years in range, counts 0
// or more). Whatever the outcome, fit holds the points reached, for a message.
FitOutcome fit_census_points(const GivenCount *counts, int n, CensusFit &fit);

// The viewer's timeline parameter of a census year: t = (year - 1990) / 22.
float census_year_parameter(int year);

// The viewer's curve through points (1990, 2000, 2007, 2012) at a year.
float census_curve(const float (&points)[FIT_POINTS], int year);

// The index of a stored year in the points (0..3), or -1 for any other year.
int stored_point_index(int year);
