// main.cpp -- tallydata: tables in and out of a Tallymap data directory, and a check of
// a data directory against a Load Data CSV. See tallydata.cpp.
#include "tallydata.h"

int main(int argc, char **argv)
{
    return tallydata_main(argc, argv, stdout, stderr);
}
