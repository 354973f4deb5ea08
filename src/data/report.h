// report.h -- the text of a ZIP code's report: the date, the area total, the ZIP
// code's value and share, its enrollment for the chosen campus before 2007, and its
// travel times. Built from the tables of the last value computation.
#pragma once
#include <cstdint>

constexpr int REPORT_TEXT_SIZE = 1024;   // the longest report, eight lines, fits many times over

// Writes the report of ZIP index `index` into text (REPORT_TEXT_SIZE bytes), every line
// ending in CR LF. Returns the length, or 0 (and an empty text) for an index outside
// the loaded table.
int format_zip_report(int32_t index, char *text);

// part x 100 / total, stored as a float; 0 for a zero total.
float report_share(uint32_t part, uint32_t total);
