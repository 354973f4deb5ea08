// floor_import.cpp -- the floor that `tallydata import` is measured against: the four
// tables of examples/tables parsed with the same CSV library (libcsv) in the plainest
// way (columns at their known places, no checks beyond the parser's), and the same
// files written the same way: each under a temporary name, flushed, then all renamed
// into place.
//
//   floor_import TABLES_DIR DATA_DIR STUDY_CSV
//
// Exit 0 when every file was written, 1 otherwise.
#include <csv.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int FIELDS = 307;

struct Area {
    float zone[322];            // the .zc image: 3 series x 5 floats, then 307 details
    uint16_t enroll[2][18];     // the .enr image
    bool hasZone, hasEnroll;
};

struct Place {
    uint32_t zip;
    double longitude, latitude;
    unsigned long travel, traffic;
};

std::vector<int> slot(100000, -1);   // by ZIP code: index into areas, -1 none yet
std::vector<Area> areas;
std::vector<uint32_t> zoneOrder, enrollOrder;

Area &area_of(uint32_t zip)
{
    int &s = slot[zip % 100000];
    if (s < 0) s = int(areas.size()), areas.push_back(Area{});
    return areas[size_t(s)];
}
std::vector<Place> places;

enum Kind { ZIPS, CENSUS, DETAIL, ENROLLMENT };

struct Reader {
    Kind kind;
    long row = 0;        // 0 = header
    int column = 0;
    char cells[FIELDS + 1][32];
};

void on_field(void *text, size_t size, void *data)
{
    Reader *r = static_cast<Reader *>(data);
    if (r->row > 0 && r->column <= FIELDS) {
        size_t n = size < 31 ? size : 31;
        std::memcpy(r->cells[r->column], text, n);
        r->cells[r->column][n] = '\0';
    }
    ++r->column;
}

void on_row(int, void *data)
{
    Reader *r = static_cast<Reader *>(data);
    long row = r->row++;
    r->column = 0;
    if (row == 0 || (r->kind == DETAIL && row == 1)) return;   // header, label row
    char (*c)[32] = r->cells;
    uint32_t zip = uint32_t(std::strtoul(c[0], nullptr, 10));
    switch (r->kind) {
    case ZIPS:
        places.push_back(Place{zip, std::strtod(c[1], nullptr), std::strtod(c[2], nullptr),
                          std::strtoul(c[3], nullptr, 10), std::strtoul(c[4], nullptr, 10)});
        break;
    case CENSUS: {
        Area &a = area_of(zip);
        long year = std::strtol(c[1], nullptr, 10);
        int k = year == 1990 ? 0 : year == 2000 ? 1 : year == 2007 ? 2 : 3;
        for (int s = 0; s < 3; ++s) a.zone[s * 5 + k] = std::strtof(c[2 + s], nullptr);
        if (!a.hasZone) zoneOrder.push_back(zip), a.hasZone = true;
        break;
    }
    case DETAIL: {
        Area &a = area_of(zip);
        for (int i = 0; i < FIELDS; ++i) a.zone[15 + i] = std::strtof(c[1 + i], nullptr);
        if (!a.hasZone) zoneOrder.push_back(zip), a.hasZone = true;
        break;
    }
    case ENROLLMENT: {
        Area &a = area_of(zip);
        int campus = int(std::strtol(c[1], nullptr, 10)) - 1;
        int year = std::strcmp(c[2], "max") == 0 ? 17 : int(std::strtol(c[2], nullptr, 10)) - 1990;
        a.enroll[campus][year] = uint16_t(std::strtoul(c[3], nullptr, 10));
        if (!a.hasEnroll) enrollOrder.push_back(zip), a.hasEnroll = true;
        break;
    }
    }
}

bool parse(const std::string &path, Kind kind)
{
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    csv_parser parser;
    csv_init(&parser, CSV_APPEND_NULL);
    static Reader reader;
    reader.kind = kind;
    reader.row = 0;
    reader.column = 0;
    char buffer[65536];
    size_t got;
    bool ok = true;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        if (csv_parse(&parser, buffer, got, on_field, on_row, &reader) != got) ok = false;
    csv_fini(&parser, on_field, on_row, &reader);
    csv_free(&parser);
    std::fclose(f);
    return ok;
}

std::vector<std::string> written;   // final names; the temporary is the name + ".tmp"

bool write_file(const std::string &path, const void *bytes, size_t size)
{
    std::string temporary = path + ".tmp";
    FILE *f = std::fopen(temporary.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes, 1, size, f) == size;
    ok = std::fflush(f) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    written.push_back(path);
    return ok;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: floor_import TABLES_DIR DATA_DIR STUDY_CSV\n");
        return 1;
    }
    std::string tables = argv[1], data = argv[2];
    if (!parse(tables + "/zips.csv", ZIPS) || !parse(tables + "/census.csv", CENSUS) ||
        !parse(tables + "/detail.csv", DETAIL) || !parse(tables + "/enrollment.csv", ENROLLMENT))
        return 1;

    mkdir(data.c_str(), 0755);
    mkdir((data + "/zips").c_str(), 0755);
    mkdir((data + "/enroll").c_str(), 0755);
    bool ok = true;
    for (uint32_t zip : zoneOrder)   // the host is little-endian: the images are the files
        ok = write_file(data + "/zips/" + std::to_string(zip) + ".zc", area_of(zip).zone, sizeof(Area::zone)) && ok;
    for (uint32_t zip : enrollOrder)
        ok = write_file(data + "/enroll/" + std::to_string(zip) + ".enr", area_of(zip).enroll, sizeof(Area::enroll)) && ok;
    std::string study = "ZIP,ID,LONGITUDE,LATITUDE,TRAVEL,TRAFFIC\n";
    for (size_t i = 0; i < places.size(); ++i) {
        char line[128];
        std::snprintf(line, sizeof line, "%u,%zu,%.6f,%.6f,%lu,%lu\n", places[i].zip, i + 1, places[i].longitude,
                      places[i].latitude, places[i].travel, places[i].traffic);
        study += line;
    }
    ok = write_file(argv[3], study.data(), study.size()) && ok;
    for (const std::string &path : written)
        ok = std::rename((path + ".tmp").c_str(), path.c_str()) == 0 && ok;
    std::printf("floor_import: %zu census files, %zu enrollment files, %zu ZIP codes\n", zoneOrder.size(),
                enrollOrder.size(), places.size());
    return ok ? 0 : 1;
}
