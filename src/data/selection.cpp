// selection.cpp -- the query selection and the series code of every field line. Both
// start empty: field 0, no campus, no ZIP code, and every series code 0 until the
// Query panel reads the field file.
#include "selection.h"

QuerySelection querySelection = {0, 0, -1};
int8_t seriesCode[FIELD_COUNT];
