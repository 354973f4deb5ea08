// float_cast_probe.cpp -- converts the number given on the command line from a float to
// an int, as the program turns every value into a count. Built with the sanitizers,
// a number beyond the int range must be reported; the test that runs it checks that the
// sanitizer build catches such a conversion at all.
#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    const float value = argc > 1 ? std::strtof(argv[1], nullptr) : 0.0f;
    const int count = static_cast<int>(value + 0.5f);
    std::printf("%d\n", count);
    return 0;
}
