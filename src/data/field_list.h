// field_list.h -- the census fields offered for the columns: one label and one series
// code per line of the field file, line i belonging to detail value i of every ZIP
// code. Read once at start-up by the Query panel; the series codes go into seriesCode.
#pragma once
#include <cstdint>
#include "zip_table.h"

constexpr int FIELD_LABEL_SIZE = 256;   // a label keeps at most 255 characters
constexpr int SERIES_HEADING   = -1;    // a heading line: shown, never chosen

struct FieldList {
    char label[FIELD_COUNT][FIELD_LABEL_SIZE];   // what the field list shows, in file order
    int  count;                                  // lines read, 0..FIELD_COUNT
};

extern FieldList fieldList;

// Reads the field file at path into fieldList and seriesCode. Each line is a label, a
// comma and a decimal series code (low 8 bits kept as a signed byte, so 255 is -1); a
// line without a comma is a heading whose label is the whole line. Returns 0 when the
// file cannot be opened (nothing changed); otherwise 1. A file with more lines than
// there are detail values shows one message and keeps the first FIELD_COUNT lines.
int read_field_list(const char *path);

// The series code of the text after a line's first comma: blanks, an optional sign,
// digits up to the first non-digit (none give 0); the low 8 bits as a signed byte.
int8_t parse_series_code(const char *text);
