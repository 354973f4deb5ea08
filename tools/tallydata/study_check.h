// study_check.h -- what the viewer would misread, refuse or show as 0 for a Load Data
// CSV and the data folder it is loaded with, found after the viewer's own load
// (read_records: zipTable and loadReport) and told grouped by kind: one line per kind
// with the count, the first few ZIP codes (every one when asked), what the viewer will
// show and what to do. check reports them all; export warns of the rows it misreads.
#pragma once
#include "tables.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

enum StudyProblem {
    // the Load Data CSV's lines
    SP_SCAN_SHORT, SP_MISREAD, SP_TWICE, SP_OFF_MAP,
    // the census file
    SP_NO_CENSUS, SP_CENSUS_UNREADABLE, SP_CENSUS_SHORT, SP_CENSUS_LONG, SP_NON_FINITE, SP_NEGATIVE,
    SP_NO_DETAIL, SP_ZERO_2007, SP_ALL_ZERO, SP_FITTED,
    // the enrollment file
    SP_NO_ENROLLMENT, SP_ENROLLMENT_UNREADABLE, SP_ENROLLMENT_SHORT, SP_ENROLLMENT_LONG, SP_MAXIMUM,
    SP_KIND_COUNT
};

// One ZIP code with a problem of some kind.
struct StudyFinding {
    uint32_t    zip;
    uint32_t    line;     // its line in the Load Data CSV
    std::string detail;   // what is wrong with it in particular ("100 of 1288 bytes"), or ""
};

struct StudyFindings {
    std::vector<StudyFinding> found[SP_KIND_COUNT];   // by kind, in the CSV's order
};

// The Load Data CSV's own text, before the viewer loads it: refused (an error, 0
// returned) when its header names another of tallydata's tables; its line ends of a
// carriage return alone, which the viewer does not take for line ends, reported as an
// error (check) or a warning (export). Returns 1 unless refused.
int check_study_text(const char *csv, bool linesAreErrors, Diagnostics &diag);

// The series of each ZIP code whose points were fitted, and from which years, as the
// data folder's given-counts table says ("population from 2000, 2010, 2020").
struct FittedSeries {
    std::map<uint32_t, std::string> byZip;
};
// Returns 0 (reported) when the table is there and cannot be read.
int read_fitted_series(const std::string &dataDir, FittedSeries &fitted, Diagnostics &diag);

// Whether a position lies on the viewer's base map.
bool on_base_map(float longitude, float latitude);

// What the record i of the last load would be misread or shown as, by the viewer's
// load report: its line; its census and enrollment files (with the series codes of
// the field list read last, and the series fitted).
void find_line_problems(uint32_t i, StudyFindings &findings);
void find_file_problems(uint32_t i, const FittedSeries &fitted, StudyFindings &findings);

// The text of one kind of problem as a message's text: "2 ZIP codes have ... (77003
// on line 3, ...): the viewer ...: do ...". all lists every ZIP code.
std::string study_problem_text(StudyProblem kind, const std::vector<StudyFinding> &found, bool all);
// Whether a kind is a note (reported, not counted as a problem).
bool study_problem_is_note(StudyProblem kind);
