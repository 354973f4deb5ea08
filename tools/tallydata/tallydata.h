// tallydata.h -- the tallydata program as a function, so the tests and benchmarks can
// run its commands in-process: import, export, check and the help texts.
#pragma once
#include <cstdio>

constexpr int EXIT_DONE    = 0;   // everything done; check: nothing found
constexpr int EXIT_FAILED  = 1;   // an error in the data, or a file that could not be read or written
constexpr int EXIT_USAGE   = 2;   // the command line is wrong; nothing was read

// Runs the command line argv[1..]; messages go to err, the summary and help to out.
int tallydata_main(int argc, char **argv, FILE *out, FILE *err);
