// bare_tallydata.cpp -- tallydata without its lock, its journal and its flushes to the
// disk: the baseline against which bench_tallydata measures what they cost. Built with
// the benchmarks only, never installed.
#include "file_set.h"
#include "tallydata.h"

#include <cstdio>

int main(int argc, char **argv)
{
    fileSetSafety = {false, false, false};
    return tallydata_main(argc, argv, stdout, stderr);
}
