// cellprint.cpp -- prints the 322 values of one per-ZIP census file, one "%f" per line:
// the population, households and families series (5 floats each: counts of 1990,
// 2000, 2007, 2012, then the reserved value) and the 307 detail values.
// Standard library only; shares no code with the viewer.
//
// File layout: 1288 bytes of little-endian IEEE-754 single-precision floats, no header.
// A short file prints zeros for what it lacks; a longer one has its tail ignored.
// Exit status 0 also when the file cannot be opened or read, a folder included (then
// nothing is printed); 1 with a message on standard error when the output cannot be
// written; 2 with a usage line on standard error when no file is named.
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr int SERIES_FLOATS = 5;     // four census counts and the reserved value
constexpr int DETAIL_FLOATS = 307;   // one per field-list line

// The four parts of the census file, as raw little-endian bytes, zero until read.
unsigned char populationBytes[SERIES_FLOATS * 4];
unsigned char householdsBytes[SERIES_FLOATS * 4];
unsigned char familiesBytes[SERIES_FLOATS * 4];
unsigned char detailBytes[DETAIL_FLOATS * 4];

// Reads bytes rather than whole floats, so a float cut short by the end of the file
// keeps the bytes that arrived and zeros above them; what the file lacks is zero.
void read_part(FILE *f, unsigned char *part, size_t bytes)
{
    const size_t got = std::fread(part, 1, bytes, f);
    std::memset(part + got, 0, bytes - got);
}

float float_at(const unsigned char *p)
{
    const uint32_t bits = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                          uint32_t(p[3]) << 24;
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void print_part(const unsigned char *part, int floats)
{
    for (int i = 0; i < floats; ++i) std::printf("%f\n", double(float_at(part + 4 * i)));
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fputs("usage: cellprint <census file>\n", stderr);
        return 2;
    }
    FILE *f = std::fopen(argv[1], "rb");
    if (!f) return 0;

    read_part(f, populationBytes, sizeof populationBytes);
    read_part(f, householdsBytes, sizeof householdsBytes);
    read_part(f, familiesBytes, sizeof familiesBytes);
    read_part(f, detailBytes, sizeof detailBytes);
    // A folder opens on this system and fails only when read: no file to print.
    const bool unreadable = std::ferror(f);
    std::fclose(f);
    if (unreadable) return 0;

    print_part(populationBytes, SERIES_FLOATS);
    print_part(householdsBytes, SERIES_FLOATS);
    print_part(familiesBytes, SERIES_FLOATS);
    print_part(detailBytes, DETAIL_FLOATS);

    // Output that never arrived (a full disk, a closed pipe) is no success.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fputs("cellprint: cannot write the output\n", stderr);
        return 1;
    }
    return 0;
}
