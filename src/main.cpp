// main.cpp -- the viewer's entry point.
#include "shell.h"

int main(int argc, char **argv)
{
    return run_application(argc, argv);
}
