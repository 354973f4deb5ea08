// make_sample_data.cpp -- writes Tallymap's bundled sample data set from a table of real
// ZIP-area facts. Deterministic: the same facts file always gives the same bytes. (The
// random numbers are our own; exp, log and erfc come from the C library, but every figure
// is rounded to a whole number, so a last-bit difference elsewhere would almost never show.)
//
// Usage:   make-sample-data <facts.csv> <output-root>
//          e.g. make-sample-data tools/make-sample-data/zcta_in_extent.csv .
//
// Reads    <facts.csv>: header "zip,latitude,longitude,land_area_m2,pop2010,hu2010,
//          in_study_area", then one line per ZIP area (321 of them for the bundled map).
// Writes   <output-root>/data/ui/fields.ui        307 lines "label,series code"
//          <output-root>/data/ui/campuses.ui      2 lines "campus name,longitude,latitude"
//          <output-root>/data/zips/<zip>.zc        1288 bytes per ZIP area
//          <output-root>/data/enroll/<zip>.enr     72 bytes per ZIP area
//          <output-root>/examples/study_area.csv   the areas with in_study_area = 1
//          <output-root>/examples/inner_core.csv   the 25 study areas nearest the centre
//          <output-root>/examples/tables/           the same figures as the four tables that
//              tallydata imports: zips.csv (the study areas, in study_area.csv's order),
//              census.csv, detail.csv and enrollment.csv (every ZIP area, in facts order);
//              and dec2000-p1.csv, dec2010-p1.csv, dec2020-p1.csv: every ZIP area's
//              population and housing units shaped as the census's downloads of its
//              decennial counts are (GEO_ID, NAME, the census's own column names, a row
//              of labels under the header, every cell quoted, rows in GEO_ID order)
//          The base map (data/maps/basemap.bmp) is not written: it is a picture, kept as is.
// Exits 0 on success; 1 with one line on stderr when a file cannot be read or written or
// a self-check of the generated figures fails.
//
// What is real and what is made up:
//   real       ZIP code, internal point (longitude, latitude), land area, 2010 population
//              and 2010 housing units: U.S. Census Bureau 2010 Gazetteer (public domain);
//              dec2010-p1.csv holds exactly these.
//   synthetic  everything else: the 1990, 2000, 2007 and 2012 counts (anchored so that
//              the growth path passes through the real 2010 population), households and
//              families, all 307 detail figures, enrollment and travel times, and the
//              2000 and 2020 counts of the downloads (2000 the series' own 2000 count,
//              2020 the area's growth after 2010 carried on for ten years). They are
//              drawn from a fixed-seed splitmix64 generator and simple rules (density and
//              distance from the centre choose a growth class; an income level per area
//              steers income, schooling, tenure and poverty). They look like census
//              figures and add up like them, but describe no real place.
//
// Sections:
//   [SECTION] Random numbers
//   [SECTION] Facts file
//   [SECTION] Area profile (growth class, series, mix)
//   [SECTION] Detail table (the 307 fields)
//   [SECTION] Enrollment and travel times
//   [SECTION] Output files
//   [SECTION] Main

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int FIELD_COUNT = 307;          // lines of fields.ui = detail values per .zc
constexpr int ZONE_FILE_BYTES = 1288;     // 3 series x 5 floats + 307 floats
constexpr int ENROLL_FILE_BYTES = 72;     // 2 campuses x 18 uint16
constexpr int ENROLL_YEARS = 17;          // 1990 .. 2006
constexpr int INNER_CORE_COUNT = 25;
constexpr uint64_t SEED = 0x7a11'3a90'2007'2012ull;

constexpr double CENTRE_LON = -95.37, CENTRE_LAT = 29.76;       // middle of the dense core
constexpr double CAMPUS1_LON = -95.40, CAMPUS1_LAT = 29.76;     // "Corvale - University Park"
// "Corvale - Victoria": 60 km south-west of the map's south-west corner (-96.62202, 28.76915).
constexpr double CAMPUS2_LON = -97.0561, CAMPUS2_LAT = 28.3854;
constexpr const char *CAMPUS_NAMES[2] = {"Corvale - University Park", "Corvale - Victoria"};

[[noreturn]] void fail(const std::string &what)
{
    std::fprintf(stderr, "make-sample-data: %s\n", what.c_str());
    std::exit(1);
}

// ============================================================================
// [SECTION] Random numbers
// ============================================================================

// splitmix64: tiny, fully specified, identical on every compiler and library.
struct Rng {
    uint64_t state;  // advanced by 0x9e3779b97f4a7c15 per draw
};

uint64_t next_u64(Rng &r)
{
    uint64_t z = (r.state += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

// One independent stream per ZIP area and purpose, so that a change in one part of the
// generator leaves the figures of every other part as they were.
Rng stream(uint32_t zip, uint32_t purpose)
{
    Rng r{SEED ^ (uint64_t(zip) << 20) ^ (uint64_t(purpose) << 52)};
    next_u64(r);
    return r;
}

double uniform(Rng &r) { return double(next_u64(r) >> 11) * 0x1.0p-53; }
double uniform(Rng &r, double lo, double hi) { return lo + (hi - lo) * uniform(r); }

// Approximately standard normal (Irwin-Hall of 6), bounded to +-4.2; no libm involved.
double normal(Rng &r)
{
    double s = 0;
    for (int i = 0; i < 6; ++i) s += uniform(r);
    return (s - 3.0) * 1.4142135623730951;
}

// A positive multiplier around 1: exp of a normal with the given spread.
double jitter(Rng &r, double spread) { return std::exp(spread * normal(r)); }

// ============================================================================
// [SECTION] Facts file
// ============================================================================

struct Facts {
    uint32_t zip;        // ZIP code (5 digits in the file, stored as a number)
    double latitude;     // internal point, degrees
    double longitude;    // internal point, degrees, west negative
    std::string latText; // the coordinates exactly as written in the facts file
    std::string lonText;
    double landKm2;      // land area in square kilometres
    int64_t pop2010;     // 2010 census population
    int64_t hu2010;      // 2010 census housing units
    bool inStudyArea;    // 1 in the facts file: part of the 10-county study area
};

std::vector<std::string> split_commas(const std::string &line)
{
    std::vector<std::string> out(1);
    for (char c : line) {
        if (c == ',') out.emplace_back();
        else if (c != '\r' && c != '\n') out.back() += c;
    }
    return out;
}

int64_t parse_int(const std::string &s, int line)
{
    char *end = nullptr;
    long long v = std::strtoll(s.c_str(), &end, 10);
    if (s.empty() || *end != '\0' || v < 0) fail("facts line " + std::to_string(line) + ": bad number '" + s + "'");
    return v;
}

double parse_real(const std::string &s, int line)
{
    char *end = nullptr;
    double v = std::strtod(s.c_str(), &end);
    if (s.empty() || *end != '\0') fail("facts line " + std::to_string(line) + ": bad number '" + s + "'");
    return v;
}

std::vector<Facts> read_facts(const char *path)
{
    FILE *f = std::fopen(path, "r");
    if (!f) fail(std::string("cannot open ") + path);
    std::vector<Facts> rows;
    char buf[512];
    int line = 0;
    while (std::fgets(buf, sizeof buf, f)) {
        ++line;
        std::vector<std::string> col = split_commas(buf);
        if (line == 1) {
            if (col.size() != 7 || col[0] != "zip" || col[4] != "pop2010") fail("facts file has an unexpected header");
            continue;
        }
        if (col.size() == 1 && col[0].empty()) continue;
        if (col.size() != 7) fail("facts line " + std::to_string(line) + ": expected 7 columns");
        Facts r;
        r.zip = uint32_t(parse_int(col[0], line));
        r.latitude = parse_real(col[1], line);
        r.longitude = parse_real(col[2], line);
        r.latText = col[1];
        r.lonText = col[2];
        r.landKm2 = double(parse_int(col[3], line)) / 1e6;
        r.pop2010 = parse_int(col[4], line);
        r.hu2010 = parse_int(col[5], line);
        r.inStudyArea = parse_int(col[6], line) == 1;
        rows.push_back(r);
    }
    std::fclose(f);
    if (rows.empty()) fail("facts file has no rows");
    return rows;
}

// Ground distance in km; an equirectangular approximation is plenty at this scale.
double distance_km(double lon1, double lat1, double lon2, double lat2)
{
    const double kmPerDegLat = 110.57;
    const double kmPerDegLon = 111.32 * std::cos((lat1 + lat2) * 0.5 * 3.14159265358979 / 180.0);
    double dx = (lon1 - lon2) * kmPerDegLon, dy = (lat1 - lat2) * kmPerDegLat;
    return std::sqrt(dx * dx + dy * dy);
}

// ============================================================================
// [SECTION] Area profile (growth class, series, mix)
// ============================================================================

enum GrowthClass { CORE, INNER_SUBURB, OUTER_SUBURB, RURAL };

// Everything the detail table needs to know about one area besides its three totals.
struct Profile {
    GrowthClass cls;     // chosen from density and distance from the centre
    double centreKm;     // distance from the centre of the core
    double income;       // income level, about standard normal: steers income, schooling, poverty
    double children;     // multiplier on the under-18 age brackets
    double youngAdults;  // multiplier on the 18-34 age brackets
    double elderly;      // multiplier on the 65+ age brackets
    double hispanic, black, asian, otherRace;  // population shares; white (not Hispanic) is the rest
    double growth[3];    // yearly growth 1990-2000, 2000-2010, 2010-2012
};

// The four census counts (1990, 2000, 2007, 2012) of the three series.
struct Series {
    double population[4];
    double households[4];
    double families[4];
};

// The viewer's interpolation (two quadratics blended between 2000 and 2007), used to make
// sure no series turns negative anywhere the timeline can reach (up to 2021).
double lagrange3(double y0, double y1, double y2, double f, double x)
{
    return y0 * (x - f) * (x - 1) / f + y1 * x * (x - 1) / (f * (f - 1)) + y2 * x * (x - f) / (1 - f);
}

bool stays_positive(const double c[4])
{
    for (int i = 0; i <= 1400; ++i) {
        double t = i / 1000.0, x = 22 * t;
        double first = lagrange3(c[0], c[1], c[2], 10.0 / 17, x / 17);
        double second = lagrange3(c[1], c[2], c[3], 7.0 / 12, (x - 10) / 12);
        double w = (x - 10) / 7;
        double v = x < 10 ? first : x > 17 ? second : (1 - w) * first + w * second;
        if (v < 0.5 * std::min({c[0], c[1], c[2], c[3]})) return false;
    }
    return true;
}

Profile make_profile(const Facts &a)
{
    Rng r = stream(a.zip, 1);
    Profile p{};
    p.centreKm = distance_km(a.longitude, a.latitude, CENTRE_LON, CENTRE_LAT);
    double density = a.landKm2 > 0 ? double(a.pop2010) / a.landKm2 : 0;
    if (p.centreKm < 12 || (p.centreKm < 18 && density > 2500)) p.cls = CORE;
    else if (p.centreKm < 25 || (p.centreKm < 35 && density > 800)) p.cls = INNER_SUBURB;
    else if (p.centreKm < 65 && density > 120) p.cls = OUTER_SUBURB;
    else p.cls = RURAL;

    // Dense core: flat or shrinking; inner suburbs: steady; outer suburbs: boom; rural: barely moves.
    static const double range[4][3][2] = {
        {{-0.012, 0.010}, {-0.008, 0.014}, {0.000, 0.015}},
        {{0.005, 0.030}, {0.000, 0.020}, {0.000, 0.015}},
        {{0.030, 0.080}, {0.030, 0.090}, {0.020, 0.050}},
        {{-0.004, 0.016}, {-0.004, 0.016}, {-0.004, 0.012}},
    };
    for (int k = 0; k < 3; ++k) p.growth[k] = uniform(r, range[p.cls][k][0], range[p.cls][k][1]);

    static const double incomeShift[4] = {-0.25, 0.05, 0.40, -0.30};
    p.income = std::clamp(incomeShift[p.cls] + 0.8 * normal(r), -2.5, 2.5);
    static const double kids[4] = {0.85, 1.0, 1.15, 0.98}, young[4] = {1.35, 1.1, 0.95, 0.85},
                        old[4] = {0.9, 1.0, 0.7, 1.4};
    p.children = kids[p.cls] * jitter(r, 0.12);
    p.youngAdults = young[p.cls] * jitter(r, 0.12);
    p.elderly = old[p.cls] * jitter(r, 0.2);

    // Population mix: base weights per class, each scaled by a wide random factor.
    static const double mix[4][5] = {  // white, Hispanic, Black, Asian, other
        {0.30, 0.40, 0.22, 0.06, 0.02},
        {0.38, 0.34, 0.17, 0.09, 0.02},
        {0.55, 0.25, 0.10, 0.08, 0.02},
        {0.66, 0.20, 0.11, 0.01, 0.02},
    };
    double w[5], sum = 0;
    for (int k = 0; k < 5; ++k) sum += (w[k] = mix[p.cls][k] * jitter(r, k == 0 ? 0.35 : 0.45));
    p.hispanic = w[1] / sum;
    p.black = w[2] / sum;
    p.asian = w[3] / sum;
    p.otherRace = w[4] / sum;
    return p;
}

// Geometric growth through the real 2010 figure; households follow the population with a
// slowly falling household size; families are a slowly falling share of households.
Series make_series(const Facts &a, Profile &p)
{
    Series s{};
    if (a.pop2010 == 0) return s;
    Rng r = stream(a.zip, 2);
    static const double occupancy[4][2] = {{0.84, 0.92}, {0.90, 0.95}, {0.92, 0.97}, {0.78, 0.90}};
    static const double familyShare[4][2] = {{0.45, 0.62}, {0.62, 0.74}, {0.74, 0.83}, {0.66, 0.76}};
    double occ = uniform(r, occupancy[p.cls][0], occupancy[p.cls][1]);
    double fam = uniform(r, familyShare[p.cls][0], familyShare[p.cls][1]);
    double pop = double(a.pop2010);
    // Some areas hold more holiday homes than residents: never fewer than 1.4 people a household.
    double hh2010 = std::max(1.0, std::min(std::round(double(a.hu2010) * occ), std::floor(pop / 1.4)));

    for (int attempt = 0; attempt < 2; ++attempt) {
        const double years[4] = {1990, 2000, 2007, 2012};
        for (int k = 0; k < 4; ++k) {
            double y = years[k], v;
            if (y <= 2000) v = pop / std::pow(1 + p.growth[1], 10) / std::pow(1 + p.growth[0], 2000 - y);
            else if (y <= 2010) v = pop / std::pow(1 + p.growth[1], 2010 - y);
            else v = pop * std::pow(1 + p.growth[2], y - 2010);
            s.population[k] = std::max(1.0, std::round(v));
            double h = hh2010 * (v / pop) * (1 - 0.004 * (2010 - y));
            s.households[k] = std::clamp(std::round(h), 1.0, s.population[k]);
            double f = h * std::min(0.9, fam + 0.002 * (2010 - y));
            s.families[k] = std::clamp(std::round(f), 0.0, s.households[k]);
        }
        if (stays_positive(s.population) && stays_positive(s.households) && stays_positive(s.families)) break;
        p.growth[2] = p.growth[1];  // a sharp turn after 2010 would send the 2021 projection below zero
    }
    return s;
}

// ============================================================================
// [SECTION] Detail table (the 307 fields)
// ============================================================================

enum SeriesCode { HEADING = -1, BY_POPULATION = 0, BY_HOUSEHOLDS = 1, BY_FAMILIES = 2 };

struct Field {
    std::string label;  // text of the field list; no comma
    int code;           // SeriesCode
    int64_t value;      // count at 2007; 0 for headings
};

using Table = std::vector<Field>;

void head(Table &t, const char *label) { t.push_back({label, HEADING, 0}); }
void add(Table &t, const std::string &label, int code, int64_t value) { t.push_back({label, code, value}); }

// Splits a whole number into whole parts proportional to the weights (largest remainder,
// ties to the earlier part): the parts always add up to the total exactly.
std::vector<int64_t> split(int64_t total, const std::vector<double> &weights)
{
    std::vector<int64_t> part(weights.size(), 0);
    double sum = 0;
    for (double w : weights) sum += w;
    if (total <= 0 || sum <= 0) return part;
    std::vector<double> frac(weights.size());
    int64_t given = 0;
    for (size_t i = 0; i < weights.size(); ++i) {
        double exact = double(total) * weights[i] / sum;
        part[i] = int64_t(std::floor(exact));
        frac[i] = exact - double(part[i]);
        given += part[i];
    }
    for (int64_t left = total - given; left > 0; --left) {
        size_t best = 0;
        for (size_t i = 1; i < frac.size(); ++i)
            if (frac[i] > frac[best]) best = i;
        ++part[best];
        frac[best] = -1;
    }
    return part;
}

// Rounds a share of a count, kept within 0 .. count.
int64_t share(int64_t count, double fraction)
{
    return std::clamp<int64_t>(std::llround(double(count) * fraction), 0, count);
}

// Weights with a random tilt each, so that no two areas share the same profile.
std::vector<double> tilt(Rng &r, std::vector<double> w, double spread)
{
    for (double &x : w) x *= jitter(r, spread);
    return w;
}

// Shares of a log-normal income distribution falling between the bracket edges.
std::vector<double> lognormal_brackets(const std::vector<double> &edges, double median, double sigma)
{
    std::vector<double> w;
    double below = 0;
    for (size_t i = 0; i <= edges.size(); ++i) {
        double cdf = i < edges.size() ? 0.5 * std::erfc(-std::log(edges[i] / median) / (sigma * 1.4142135623730951)) : 1.0;
        w.push_back(std::max(cdf - below, 1e-6));
        below = cdf;
    }
    return w;
}

void add_parts(Table &t, const std::vector<const char *> &labels, int code, const std::vector<int64_t> &parts)
{
    for (size_t i = 0; i < labels.size(); ++i) add(t, labels[i], code, parts[i]);
}

const std::vector<const char *> AGE_LABELS = {
    "Under 5 years", "5 to 9 years", "10 to 14 years", "15 to 17 years", "18 and 19 years", "20 years",
    "21 years", "22 to 24 years", "25 to 29 years", "30 to 34 years", "35 to 39 years", "40 to 44 years",
    "45 to 49 years", "50 to 54 years", "55 to 59 years", "60 and 61 years", "62 to 64 years",
    "65 and 66 years", "67 to 69 years", "70 to 74 years", "75 to 79 years", "80 to 84 years",
    "85 years and over"};
enum AgeIndex { A0, A5, A10, A15, A18, A20, A21, A22, A25, A30, A35, A40, A45, A50, A55, A60, A62, A65, A67, A70, A75, A80, A85, AGES };

const std::vector<const char *> INCOME_LABELS = {
    "Less than $10000", "$10000 to $14999", "$15000 to $19999", "$20000 to $24999", "$25000 to $29999",
    "$30000 to $34999", "$35000 to $39999", "$40000 to $44999", "$45000 to $49999", "$50000 to $59999",
    "$60000 to $74999", "$75000 to $99999", "$100000 to $124999", "$125000 to $149999",
    "$150000 to $199999", "$200000 or more"};
const std::vector<double> INCOME_EDGES = {10000, 15000, 20000, 25000, 30000, 35000, 40000, 45000,
                                          50000, 60000, 75000, 100000, 125000, 150000, 200000};

const std::vector<const char *> RACE_LABELS = {
    "White alone", "Black or African American alone", "American Indian and Alaska Native alone",
    "Asian alone", "Native Hawaiian and Other Pacific Islander alone", "Some other race alone",
    "Two or more races"};

const std::vector<const char *> SCHOOLING_LABELS = {
    "No schooling completed", "Nursery to 4th grade", "5th and 6th grade", "7th and 8th grade",
    "9th grade", "10th grade", "11th grade", "12th grade no diploma", "High school graduate or equivalency",
    "Some college less than 1 year", "Some college 1 or more years no degree", "Associate degree",
    "Bachelor's degree", "Master's degree", "Professional school degree", "Doctorate degree"};

int64_t sum_of(const std::vector<int64_t> &v, size_t from, size_t to)
{
    int64_t s = 0;
    for (size_t i = from; i < to; ++i) s += v[i];
    return s;
}

// Builds the 307 lines for one area. Totals are the series' 2007 counts; every split adds
// up to the line it splits. With zero totals every line is 0.
Table make_detail(const Facts &a, const Profile &p, int64_t pop, int64_t hh, int64_t fam)
{
    Rng r = stream(a.zip, 3);
    Table t;
    const double z = p.income;  // about -2.5 .. 2.5

    // --- Sex by age
    add(t, "Total population", BY_POPULATION, pop);
    head(t, "SEX BY AGE");
    static const double perYear[AGES] = {1.45, 1.45, 1.42, 1.40, 1.45, 1.45, 1.45, 1.42, 1.42, 1.40, 1.45, 1.50,
                                         1.48, 1.40, 1.25, 1.10, 1.02, 0.85, 0.78, 0.68, 0.55, 0.40, 0.0};
    static const double width[AGES] = {5, 5, 5, 3, 2, 1, 1, 3, 5, 5, 5, 5, 5, 5, 5, 2, 3, 2, 3, 5, 5, 5, 1};
    std::vector<double> ageWeight(AGES);
    for (int i = 0; i < AGES; ++i) {
        double w = i == A85 ? 1.6 : perYear[i] * width[i];
        if (i <= A15) w *= p.children;
        else if (i <= A30) w *= p.youngAdults;
        else if (i >= A65) w *= p.elderly;
        ageWeight[i] = w;
    }
    std::vector<int64_t> age = split(pop, tilt(r, ageWeight, 0.06));
    std::vector<int64_t> male(AGES), female(AGES);
    for (int i = 0; i < AGES; ++i) {
        double m = i < A65 ? 0.505 : i < A75 ? 0.46 : i < A85 ? 0.41 : 0.33;
        male[i] = share(age[i], m + 0.01 * normal(r));
        female[i] = age[i] - male[i];
    }
    add(t, "Male", BY_POPULATION, sum_of(male, 0, AGES));
    for (int i = 0; i < AGES; ++i) add(t, std::string("  ") + AGE_LABELS[i], BY_POPULATION, male[i]);
    add(t, "Female", BY_POPULATION, sum_of(female, 0, AGES));
    for (int i = 0; i < AGES; ++i) add(t, std::string("  ") + AGE_LABELS[i], BY_POPULATION, female[i]);
    const int64_t under18 = sum_of(age, 0, A18), over64 = sum_of(age, A65, AGES);
    const int64_t adults18to64 = pop - under18 - over64;

    // --- Race and Hispanic origin
    int64_t hispanic = share(pop, p.hispanic);
    int64_t notHispanic = pop - hispanic;
    double white = 1 - p.hispanic - p.black - p.asian - p.otherRace;
    double nonHisp = std::max(1e-6, 1 - p.hispanic);
    std::vector<int64_t> raceNH = split(notHispanic, tilt(r, {white / nonHisp, p.black / nonHisp, 0.003, p.asian / nonHisp,
                                                              0.0006, 0.002, p.otherRace / nonHisp}, 0.15));
    std::vector<int64_t> raceH = split(hispanic, tilt(r, {0.55, 0.012, 0.008, 0.002, 0.0005, 0.39, 0.035}, 0.15));
    std::vector<int64_t> race(RACE_LABELS.size());
    for (size_t i = 0; i < race.size(); ++i) race[i] = raceNH[i] + raceH[i];
    head(t, "RACE");
    add_parts(t, RACE_LABELS, BY_POPULATION, race);
    head(t, "HISPANIC OR LATINO ORIGIN BY RACE");
    add(t, "Not Hispanic or Latino", BY_POPULATION, notHispanic);
    for (size_t i = 0; i < race.size(); ++i) add(t, std::string("  ") + RACE_LABELS[i], BY_POPULATION, raceNH[i]);
    add(t, "Hispanic or Latino", BY_POPULATION, hispanic);
    for (size_t i = 0; i < race.size(); ++i) add(t, std::string("  ") + RACE_LABELS[i], BY_POPULATION, raceH[i]);

    // --- Household type and size
    const int64_t nonFamily = hh - fam;
    int64_t married = share(fam, std::clamp(0.72 + 0.06 * z + 0.04 * normal(r), 0.35, 0.92));
    int64_t otherFamily = fam - married;
    int64_t maleHead = share(otherFamily, uniform(r, 0.18, 0.30));
    int64_t femaleHead = otherFamily - maleHead;
    double kids = std::clamp(0.45 * p.children + 0.03 * normal(r), 0.2, 0.7);
    int64_t marriedKids = share(married, kids);
    int64_t maleKids = share(maleHead, kids * 0.9);
    int64_t femaleKids = share(femaleHead, kids * 1.15);
    int64_t alone = share(nonFamily, uniform(r, 0.76, 0.90));
    head(t, "HOUSEHOLD TYPE");
    add(t, "Total households", BY_HOUSEHOLDS, hh);
    add(t, "Family households", BY_HOUSEHOLDS, fam);
    add(t, "  Married-couple family", BY_HOUSEHOLDS, married);
    add(t, "    With own children under 18 years", BY_HOUSEHOLDS, marriedKids);
    add(t, "    No own children under 18 years", BY_HOUSEHOLDS, married - marriedKids);
    add(t, "  Other family", BY_HOUSEHOLDS, otherFamily);
    add(t, "    Male householder no wife present", BY_HOUSEHOLDS, maleHead);
    add(t, "      With own children under 18 years", BY_HOUSEHOLDS, maleKids);
    add(t, "      No own children under 18 years", BY_HOUSEHOLDS, maleHead - maleKids);
    add(t, "    Female householder no husband present", BY_HOUSEHOLDS, femaleHead);
    add(t, "      With own children under 18 years", BY_HOUSEHOLDS, femaleKids);
    add(t, "      No own children under 18 years", BY_HOUSEHOLDS, femaleHead - femaleKids);
    add(t, "Nonfamily households", BY_HOUSEHOLDS, nonFamily);
    add(t, "  Householder living alone", BY_HOUSEHOLDS, alone);
    add(t, "  Householder not living alone", BY_HOUSEHOLDS, nonFamily - alone);

    // Average size steers the split of the households of two or more people.
    double avgSize = hh > 0 ? double(pop) / double(hh) : 2.6;
    double big = std::clamp(avgSize - 2.0, 0.2, 1.4);  // group quarters can inflate the average
    std::vector<int64_t> size = split(hh - alone, tilt(r, {1.0, 0.55 * big, 0.45 * big * big, 0.2 * big * big, 0.08 * big * big * big,
                                                           0.04 * big * big * big}, 0.08));
    head(t, "HOUSEHOLD SIZE");
    add(t, "1-person household", BY_HOUSEHOLDS, alone);
    add_parts(t, {"2-person household", "3-person household", "4-person household", "5-person household",
                  "6-person household", "7-or-more-person household"}, BY_HOUSEHOLDS, size);

    int64_t withChildren = std::min(hh - alone, marriedKids + maleKids + femaleKids + share(hh, uniform(r, 0.02, 0.05)));
    head(t, "HOUSEHOLDS BY PRESENCE OF PEOPLE UNDER 18 YEARS");
    add(t, "Households with one or more people under 18 years", BY_HOUSEHOLDS, withChildren);
    add(t, "Households with no people under 18 years", BY_HOUSEHOLDS, hh - withChildren);

    // --- Families
    std::vector<int64_t> famSize = split(fam, tilt(r, {1.0, 0.62 * big, 0.55 * big * big, 0.25 * big * big, 0.1 * big * big * big,
                                                       0.05 * big * big * big}, 0.08));
    head(t, "FAMILY SIZE");
    add(t, "Total families", BY_FAMILIES, fam);
    add_parts(t, {"2-person family", "3-person family", "4-person family", "5-person family", "6-person family",
                  "7-or-more-person family"}, BY_FAMILIES, famSize);
    std::vector<int64_t> famWorkers = split(fam, tilt(r, {0.12 * p.elderly, 0.34, 0.42 + 0.05 * z, 0.12}, 0.1));
    head(t, "FAMILIES BY NUMBER OF WORKERS");
    add_parts(t, {"No workers", "1 worker", "2 workers", "3 or more workers"}, BY_FAMILIES, famWorkers);

    // --- Income (2007 dollars)
    double median = 47000 * std::exp(0.42 * z) * jitter(r, 0.05);
    head(t, "HOUSEHOLD INCOME");
    add_parts(t, INCOME_LABELS, BY_HOUSEHOLDS, split(hh, lognormal_brackets(INCOME_EDGES, median, 0.85)));
    head(t, "FAMILY INCOME");
    add_parts(t, INCOME_LABELS, BY_FAMILIES, split(fam, lognormal_brackets(INCOME_EDGES, median * 1.22, 0.8)));

    // --- Educational attainment, population 25 years and over, by sex
    std::vector<double> school = {1.2, 0.8, 1.8, 2.0, 2.2, 2.3, 2.5, 2.0, 26.0, 7.0, 14.0, 6.5, 17.0, 6.0, 1.8, 1.2};
    for (size_t i = 0; i < school.size(); ++i) {
        double slope = i < 8 ? -0.75 : i == 8 ? -0.15 : i < 12 ? 0.15 : 0.6;
        school[i] *= std::exp(slope * z);
    }
    int64_t male25 = sum_of(male, A25, AGES), female25 = sum_of(female, A25, AGES);
    head(t, "EDUCATIONAL ATTAINMENT");
    add(t, "Population 25 years and over", BY_POPULATION, male25 + female25);
    add(t, "  Male", BY_POPULATION, male25);
    for (size_t i = 0; i < school.size(); ++i) school[i] *= jitter(r, 0.05);
    std::vector<int64_t> maleSchool = split(male25, school);
    for (size_t i = 0; i < SCHOOLING_LABELS.size(); ++i) add(t, std::string("    ") + SCHOOLING_LABELS[i], BY_POPULATION, maleSchool[i]);
    add(t, "  Female", BY_POPULATION, female25);
    for (size_t i = 0; i < school.size(); ++i) school[i] *= jitter(r, 0.05) * (i == 14 || i == 15 ? 0.7 : 1.0);
    std::vector<int64_t> femaleSchool = split(female25, school);
    for (size_t i = 0; i < SCHOOLING_LABELS.size(); ++i) add(t, std::string("    ") + SCHOOLING_LABELS[i], BY_POPULATION, femaleSchool[i]);

    // --- School enrollment, population 3 years and over, from the age brackets
    int64_t age3and4 = share(age[A0], 0.4);
    int64_t pop3 = pop - (age[A0] - age3and4);
    double college = std::clamp(0.42 + 0.1 * z, 0.15, 0.75);
    int64_t left = pop3;
    auto take = [&left](int64_t want) { int64_t got = std::clamp<int64_t>(want, 0, left); left -= got; return got; };
    int64_t nursery = take(share(age3and4, std::clamp(0.45 + 0.08 * z, 0.2, 0.75)));
    int64_t kinder = take(share(age[A5], 0.19));
    int64_t grade1to4 = take(share(age[A5], 0.78));
    int64_t grade5to8 = take(share(age[A10], 0.79));
    int64_t grade9to12 = take(share(age[A10] / 5 + age[A15] + age[A18] / 3, 0.93));
    int64_t undergrad = take(std::llround(double(age[A18] * 2 / 3 + age[A20] + age[A21] + age[A22] / 2) * college +
                                          double(age[A25] + age[A30]) * 0.05));
    int64_t graduate = take(std::llround(double(age[A22] / 8 + age[A25] + age[A30] / 2) * college * 0.12));
    int64_t enrolled = pop3 - left;
    head(t, "SCHOOL ENROLLMENT");
    add(t, "Population 3 years and over", BY_POPULATION, pop3);
    add(t, "Enrolled in school", BY_POPULATION, enrolled);
    add(t, "  Nursery school or preschool", BY_POPULATION, nursery);
    add(t, "  Kindergarten", BY_POPULATION, kinder);
    add(t, "  Grade 1 to grade 4", BY_POPULATION, grade1to4);
    add(t, "  Grade 5 to grade 8", BY_POPULATION, grade5to8);
    add(t, "  Grade 9 to grade 12", BY_POPULATION, grade9to12);
    add(t, "  College undergraduate", BY_POPULATION, undergrad);
    add(t, "  Graduate or professional school", BY_POPULATION, graduate);
    add(t, "Not enrolled in school", BY_POPULATION, left);

    // --- Employment, occupation, industry, class of worker
    int64_t pop16 = pop - sum_of(age, A0, A15) - age[A15] / 3;
    int64_t workingAge = pop16 - over64;
    double participation = std::clamp(0.70 + 0.04 * z + 0.03 * normal(r), 0.45, 0.85);
    int64_t labourForce = std::min(pop16, share(workingAge, participation) + share(over64, 0.15));
    int64_t armed = share(labourForce, uniform(r) < 0.15 ? uniform(r, 0.002, 0.01) : 0.0);
    int64_t civilian = labourForce - armed;
    int64_t unemployed = share(civilian, std::clamp(0.055 - 0.018 * z + 0.01 * normal(r), 0.02, 0.16));
    int64_t employed = civilian - unemployed;
    head(t, "EMPLOYMENT STATUS");
    add(t, "Population 16 years and over", BY_POPULATION, pop16);
    add(t, "In labor force", BY_POPULATION, labourForce);
    add(t, "  Civilian labor force", BY_POPULATION, civilian);
    add(t, "    Employed", BY_POPULATION, employed);
    add(t, "    Unemployed", BY_POPULATION, unemployed);
    add(t, "  Armed Forces", BY_POPULATION, armed);
    add(t, "Not in labor force", BY_POPULATION, pop16 - labourForce);

    double e = std::exp(0.5 * z);
    bool farmland = p.cls == RURAL;
    head(t, "OCCUPATION");
    add(t, "Civilian employed population 16 years and over", BY_POPULATION, employed);
    add_parts(t, {"  Management professional and related occupations", "  Service occupations",
                  "  Sales and office occupations", "  Farming fishing and forestry occupations",
                  "  Construction extraction and maintenance occupations",
                  "  Production transportation and material moving occupations"},
              BY_POPULATION, split(employed, tilt(r, {0.33 * e, 0.16 / e, 0.26, farmland ? 0.012 : 0.002, 0.11 / e, 0.13 / e}, 0.1)));
    head(t, "INDUSTRY");
    add_parts(t, {"Agriculture forestry fishing and hunting and mining", "Construction", "Manufacturing",
                  "Wholesale trade", "Retail trade", "Transportation and warehousing and utilities", "Information",
                  "Finance and insurance and real estate", "Professional scientific and management services",
                  "Educational health and social services", "Arts entertainment recreation and food services",
                  "Other services", "Public administration"},
              BY_POPULATION, split(employed, tilt(r, {farmland ? 0.045 : 0.025, 0.09 / e, 0.10, 0.035, 0.11, 0.06, 0.02,
                                                      0.065 * e, 0.12 * e, 0.18, 0.08, 0.055, 0.035}, 0.15)));
    head(t, "CLASS OF WORKER");
    add_parts(t, {"Private wage and salary workers", "Government workers", "Self-employed workers"},
              BY_POPULATION, split(employed, tilt(r, {0.80, 0.12, 0.07}, 0.1)));

    // --- Commuting
    int64_t workers = employed + armed;
    double transit = p.cls == CORE ? 0.07 : p.cls == INNER_SUBURB ? 0.03 : 0.008;
    std::vector<int64_t> means = split(workers, tilt(r, {0.78, 0.11, transit, 0.004, p.cls == CORE ? 0.025 : 0.01, 0.012, 0.035}, 0.12));
    head(t, "MEANS OF TRANSPORTATION TO WORK");
    add(t, "Workers 16 years and over", BY_POPULATION, workers);
    add(t, "Car truck or van", BY_POPULATION, means[0] + means[1]);
    add(t, "  Drove alone", BY_POPULATION, means[0]);
    add(t, "  Carpooled", BY_POPULATION, means[1]);
    add_parts(t, {"Public transportation", "Bicycle", "Walked", "Taxicab motorcycle or other means", "Worked at home"},
              BY_POPULATION, {means[2], means[3], means[4], means[5], means[6]});
    int64_t commuters = workers - means[6];
    double typicalMinutes = std::clamp(17.0 + 0.35 * p.centreKm, 15.0, 45.0);
    head(t, "TRAVEL TIME TO WORK");
    add(t, "Workers who did not work at home", BY_POPULATION, commuters);
    add_parts(t, {"  Less than 5 minutes", "  5 to 9 minutes", "  10 to 14 minutes", "  15 to 19 minutes", "  20 to 24 minutes",
                  "  25 to 29 minutes", "  30 to 34 minutes", "  35 to 39 minutes", "  40 to 44 minutes", "  45 to 59 minutes",
                  "  60 to 89 minutes", "  90 or more minutes"},
              BY_POPULATION, split(commuters, lognormal_brackets({5, 10, 15, 20, 25, 30, 35, 40, 45, 60, 90}, typicalMinutes, 0.6)));

    // --- Housing: tenure, vehicles, units in structure
    static const double ownBase[4] = {0.42, 0.60, 0.78, 0.80};
    int64_t owners = share(hh, std::clamp(ownBase[p.cls] + 0.1 * z + 0.05 * normal(r), 0.1, 0.95));
    int64_t mortgaged = share(owners, std::clamp(0.66 + 0.08 * z - (p.cls == RURAL ? 0.15 : 0.0), 0.3, 0.9));
    head(t, "TENURE");
    add(t, "Occupied housing units", BY_HOUSEHOLDS, hh);
    add(t, "Owner occupied", BY_HOUSEHOLDS, owners);
    add(t, "  With a mortgage", BY_HOUSEHOLDS, mortgaged);
    add(t, "  Without a mortgage", BY_HOUSEHOLDS, owners - mortgaged);
    add(t, "Renter occupied", BY_HOUSEHOLDS, hh - owners);
    head(t, "VEHICLES AVAILABLE");
    add_parts(t, {"No vehicle available", "1 vehicle available", "2 vehicles available", "3 vehicles available",
                  "4 vehicles available", "5 or more vehicles available"},
              BY_HOUSEHOLDS, split(hh, tilt(r, {0.08 / e * (p.cls == CORE ? 2.0 : 1.0), 0.34, 0.38 * e, 0.13 * e, 0.04, 0.015}, 0.1)));
    double flats = p.cls == CORE ? 1.0 : p.cls == INNER_SUBURB ? 0.6 : p.cls == OUTER_SUBURB ? 0.25 : 0.05;
    head(t, "UNITS IN STRUCTURE");
    add_parts(t, {"1 unit detached", "1 unit attached", "2 units", "3 or 4 units", "5 to 9 units", "10 to 19 units",
                  "20 to 49 units", "50 or more units", "Mobile home", "Boat RV van or other"},
              BY_HOUSEHOLDS, split(hh, tilt(r, {0.62, 0.04, 0.02 * flats, 0.04 * flats, 0.06 * flats, 0.09 * flats,
                                                 0.05 * flats, 0.06 * flats, p.cls == RURAL ? 0.16 : 0.03, 0.001}, 0.15)));

    // --- Nativity and language
    double foreign = std::clamp(0.42 * p.hispanic + 0.65 * p.asian + 0.05 * p.black + 0.03, 0.01, 0.6);
    int64_t foreignBorn = share(pop, foreign);
    int64_t naturalised = share(foreignBorn, uniform(r, 0.28, 0.45));
    head(t, "NATIVITY AND CITIZENSHIP");
    add(t, "Native", BY_POPULATION, pop - foreignBorn);
    add(t, "Foreign born", BY_POPULATION, foreignBorn);
    add(t, "  Naturalized citizen", BY_POPULATION, naturalised);
    add(t, "  Not a citizen", BY_POPULATION, foreignBorn - naturalised);
    int64_t pop5 = pop - age[A0];
    int64_t spanish = share(pop5, std::clamp(0.78 * p.hispanic + 0.01, 0.0, 0.9));
    int64_t otherLanguage = std::min(pop5 - spanish, share(pop5, 0.7 * p.asian + 0.02));
    int64_t spanishFluent = share(spanish, std::clamp(0.52 + 0.08 * z, 0.3, 0.8));
    head(t, "LANGUAGE SPOKEN AT HOME");
    add(t, "Population 5 years and over", BY_POPULATION, pop5);
    add(t, "Speak only English", BY_POPULATION, pop5 - spanish - otherLanguage);
    add(t, "Speak Spanish", BY_POPULATION, spanish);
    add(t, "  Speak English very well", BY_POPULATION, spanishFluent);
    add(t, "  Speak English less than very well", BY_POPULATION, spanish - spanishFluent);
    add(t, "Speak other languages", BY_POPULATION, otherLanguage);

    // --- Poverty
    double poverty = std::clamp(0.14 - 0.065 * z + 0.025 * normal(r), 0.02, 0.45);
    int64_t institutional = std::min(adults18to64, share(pop, uniform(r, 0.005, 0.02)));
    int64_t universe[3] = {under18, adults18to64 - institutional, over64};
    double rate[3] = {std::min(0.9, poverty * 1.4), poverty * 0.9, std::min(0.9, poverty * 0.8)};
    int64_t below[3];
    for (int k = 0; k < 3; ++k) below[k] = share(universe[k], rate[k]);
    head(t, "POVERTY STATUS");
    add(t, "Population for whom poverty status is determined", BY_POPULATION, universe[0] + universe[1] + universe[2]);
    add(t, "Income below poverty level", BY_POPULATION, below[0] + below[1] + below[2]);
    add(t, "  Under 18 years", BY_POPULATION, below[0]);
    add(t, "  18 to 64 years", BY_POPULATION, below[1]);
    add(t, "  65 years and over", BY_POPULATION, below[2]);
    add(t, "Income at or above poverty level", BY_POPULATION, universe[0] + universe[1] + universe[2] - below[0] - below[1] - below[2]);
    add(t, "  Under 18 years", BY_POPULATION, universe[0] - below[0]);
    add(t, "  18 to 64 years", BY_POPULATION, universe[1] - below[1]);
    add(t, "  65 years and over", BY_POPULATION, universe[2] - below[2]);
    int64_t marriedPoor = share(married, poverty * 0.45), otherPoor = share(otherFamily, std::min(0.9, poverty * 2.0));
    head(t, "POVERTY STATUS OF FAMILIES");
    add(t, "Families below poverty level", BY_FAMILIES, marriedPoor + otherPoor);
    add(t, "  Married-couple families", BY_FAMILIES, marriedPoor);
    add(t, "  Other families", BY_FAMILIES, otherPoor);
    add(t, "Families at or above poverty level", BY_FAMILIES, fam - marriedPoor - otherPoor);
    add(t, "  Married-couple families", BY_FAMILIES, married - marriedPoor);
    add(t, "  Other families", BY_FAMILIES, otherFamily - otherPoor);
    return t;
}

// ============================================================================
// [SECTION] Enrollment and travel times
// ============================================================================

struct Enrollment {
    uint16_t campus[2][18];  // per campus: 1990 .. 2006, then the maximum of those years
};

// Population of year y on the area's growth path, relative to 2007.
double population_ratio(const Profile &p, int year)
{
    double lnRatio = 0;
    for (int y = 2007; y > year; --y) lnRatio -= std::log1p(p.growth[y > 2000 ? 1 : 0]);
    return std::exp(lnRatio);
}

Enrollment make_enrollment(const Facts &a, const Profile &p, int64_t pop2007)
{
    Enrollment en{};
    Rng r = stream(a.zip, 4);
    const double campusLon[2] = {CAMPUS1_LON, CAMPUS2_LON}, campusLat[2] = {CAMPUS1_LAT, CAMPUS2_LAT};
    const double rate[2] = {0.011, 0.008};        // students per resident next to the campus
    const double reachKm[2] = {13.0, 40.0};       // distance over which the draw falls by e
    const double farKm[2] = {95.0, 190.0};        // nobody enrolls from farther away
    const double startKm[2] = {0.0, 60.0};        // the second campus lies off the map
    const double campusGrowth[2] = {0.012, 0.05}; // yearly growth of each campus
    for (int c = 0; c < 2; ++c) {
        double km = distance_km(a.longitude, a.latitude, campusLon[c], campusLat[c]);
        double affinity = std::exp(0.25 * p.income) * jitter(r, 0.35);
        double drift = uniform(r, -0.025, 0.03);  // this area's own trend over the years
        if (km > farKm[c] || pop2007 == 0) continue;
        double base2006 = double(pop2007) * rate[c] * std::exp(-(km - startKm[c]) / reachKm[c]) * affinity;
        uint16_t best = 0;
        for (int y = 0; y < ENROLL_YEARS; ++y) {
            int year = 1990 + y;
            double v = base2006 * population_ratio(p, year) / population_ratio(p, 2006) *
                       std::pow(1 + campusGrowth[c] + drift, double(year - 2006)) * jitter(r, 0.07);
            uint16_t n = uint16_t(std::clamp<long>(std::lround(v), 0, 65535));
            en.campus[c][y] = n;
            best = std::max(best, n);
        }
        en.campus[c][ENROLL_YEARS] = best;
    }
    return en;
}

struct Travel {
    long minutes;         // free-flowing drive to campus 1
    long trafficMinutes;  // the same drive at rush hour
};

// Road distance about 1.3 x the straight line; slow streets for the first 15 km, then highway.
Travel make_travel(const Facts &a, const Profile &p)
{
    Rng r = stream(a.zip, 5);
    double road = 1.3 * distance_km(a.longitude, a.latitude, CAMPUS1_LON, CAMPUS1_LAT);
    double city = std::min(road, 15.0), highway = road - city;
    double minutes = 3 + city / 32 * 60 + highway / 85 * 60 + uniform(r, 0, 3);
    double congestion = p.cls == CORE ? uniform(r, 1.25, 1.5) : p.cls == RURAL ? uniform(r, 1.2, 1.35) : uniform(r, 1.45, 1.8);
    Travel tr;
    tr.minutes = std::lround(minutes);
    tr.trafficMinutes = std::max(tr.minutes + 1, std::lround(minutes * congestion));
    return tr;
}

// ============================================================================
// [SECTION] Output files
// ============================================================================

struct Writer {
    std::vector<unsigned char> bytes;  // the whole file, written at once by save()
};

void put_u16(Writer &w, uint16_t v)
{
    w.bytes.push_back(uint8_t(v & 0xff));
    w.bytes.push_back(uint8_t(v >> 8));
}

void put_f32(Writer &w, double v)
{
    float f = float(v);
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    for (int i = 0; i < 4; ++i) w.bytes.push_back(uint8_t(bits >> (8 * i)));
}

void put_text(Writer &w, const std::string &s) { w.bytes.insert(w.bytes.end(), s.begin(), s.end()); }

void save(const Writer &w, const std::filesystem::path &path)
{
    FILE *f = std::fopen(path.string().c_str(), "wb");
    if (!f) fail("cannot create " + path.string());
    bool ok = std::fwrite(w.bytes.data(), 1, w.bytes.size(), f) == w.bytes.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok) fail("cannot write " + path.string());
}

void write_fields(const Table &t, const std::filesystem::path &root)
{
    Writer w;
    for (const Field &f : t) {
        std::string line = f.label + "," + std::to_string(f.code) + "\n";
        if (f.label.find(',') != std::string::npos || line.size() > 255) fail("field label unusable: " + f.label);
        put_text(w, line);
    }
    save(w, root / "data" / "ui" / "fields.ui");
}

// The campus positions for the viewer's university overlay, in the campus combo's order.
void write_campuses(const std::filesystem::path &root)
{
    const double lon[2] = {CAMPUS1_LON, CAMPUS2_LON}, lat[2] = {CAMPUS1_LAT, CAMPUS2_LAT};
    Writer w;
    for (int c = 0; c < 2; ++c) {
        char line[128];
        std::snprintf(line, sizeof line, "%s,%.4f,%.4f\n", CAMPUS_NAMES[c], lon[c], lat[c]);
        put_text(w, line);
    }
    save(w, root / "data" / "ui" / "campuses.ui");
}

void write_zone(const Facts &a, const Series &s, const Table &t, const std::filesystem::path &root)
{
    Writer w;
    for (const double *c : {s.population, s.households, s.families}) {
        for (int k = 0; k < 4; ++k) put_f32(w, c[k]);
        put_f32(w, 0);  // reserved fifth value
    }
    for (const Field &f : t) put_f32(w, double(f.value));
    if (w.bytes.size() != size_t(ZONE_FILE_BYTES)) fail("census file size wrong for " + std::to_string(a.zip));
    save(w, root / "data" / "zips" / (std::to_string(a.zip) + ".zc"));
}

void write_enrollment(const Facts &a, const Enrollment &en, const std::filesystem::path &root)
{
    Writer w;
    for (const auto &row : en.campus)
        for (uint16_t v : row) put_u16(w, v);
    if (w.bytes.size() != size_t(ENROLL_FILE_BYTES)) fail("enrollment file size wrong for " + std::to_string(a.zip));
    save(w, root / "data" / "enroll" / (std::to_string(a.zip) + ".enr"));
}

// The shortest text that reads back to the same single-precision value: how the tables
// write every count ("1234", "16793").
std::string float_text(double v)
{
    char buf[32];
    std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, float(v));
    return std::string(buf, r.ptr);
}

// A position in the tables: the facts' text read in double precision, written as its
// shortest double text ("-95.3459" for -95.345900); an import rounds it to six decimals
// again, which gives the Load Data CSV's text back.
std::string position_text(const std::string &factsText)
{
    char buf[32];
    std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, std::strtod(factsText.c_str(), nullptr));
    return std::string(buf, r.ptr);
}

void write_load_csv(const std::vector<size_t> &pick, const std::vector<Facts> &facts,
                    const std::vector<Travel> &travel, const std::filesystem::path &path)
{
    Writer w;
    put_text(w, "ZIP,ID,LONGITUDE,LATITUDE,TRAVEL,TRAFFIC\n");
    int id = 1;
    for (size_t i : pick) {
        const Facts &a = facts[i];
        put_text(w, std::to_string(a.zip) + "," + std::to_string(id++) + "," + a.lonText + "," + a.latText + "," +
                        std::to_string(travel[i].minutes) + "," + std::to_string(travel[i].trafficMinutes) + "\n");
    }
    save(w, path);
}

// Everything of one area that goes into its two binary files, kept for the tables.
struct AreaFigures {
    Series series;
    std::vector<int64_t> detail;  // the 307 counts at 2007
    Enrollment enrollment;
};

std::string zip_text(uint32_t zip)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%05u", unsigned(zip));
    return buf;
}

// A label cell, quoted when it holds a comma, a quote or a line end, with "" for a quote.
std::string csv_cell(const std::string &text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

// The four tables of the sample: what `tallydata import` turns back into data/zips,
// data/enroll and examples/study_area.csv byte for byte.
void write_tables(const std::vector<size_t> &study, const std::vector<Facts> &facts, const std::vector<Travel> &travel,
                  const std::vector<AreaFigures> &figures, const Table &fieldList, const std::filesystem::path &dir)
{
    Writer zips;
    put_text(zips, "zip,longitude,latitude,travel_minutes,traffic_minutes\n");
    for (size_t i : study)
        put_text(zips, zip_text(facts[i].zip) + "," + position_text(facts[i].lonText) + "," +
                           position_text(facts[i].latText) + "," +
                           std::to_string(travel[i].minutes) + "," + std::to_string(travel[i].trafficMinutes) + "\n");
    save(zips, dir / "zips.csv");

    Writer census;
    put_text(census, "zip,year,population,households,families\n");
    const int years[4] = {1990, 2000, 2007, 2012};
    for (size_t i = 0; i < facts.size(); ++i) {
        const Series &s = figures[i].series;
        for (int k = 0; k < 4; ++k)
            put_text(census, zip_text(facts[i].zip) + "," + std::to_string(years[k]) + "," + float_text(s.population[k]) +
                                 "," + float_text(s.households[k]) + "," + float_text(s.families[k]) + "\n");
    }
    save(census, dir / "census.csv");

    Writer detail;
    put_text(detail, "zip");
    for (int f = 0; f < FIELD_COUNT; ++f) put_text(detail, ",f" + std::to_string(f));
    put_text(detail, "\nlabel");
    for (const Field &f : fieldList) put_text(detail, "," + csv_cell(f.label));
    put_text(detail, "\n");
    for (size_t i = 0; i < facts.size(); ++i) {
        put_text(detail, zip_text(facts[i].zip));
        for (int64_t v : figures[i].detail) put_text(detail, "," + float_text(double(v)));
        put_text(detail, "\n");
    }
    save(detail, dir / "detail.csv");

    Writer enrollment;
    put_text(enrollment, "zip,campus,year,students\n");
    for (size_t i = 0; i < facts.size(); ++i)
        for (int c = 0; c < 2; ++c)
            for (int y = 0; y <= ENROLL_YEARS; ++y)
                put_text(enrollment, zip_text(facts[i].zip) + "," + std::to_string(c + 1) + "," +
                                         (y < ENROLL_YEARS ? std::to_string(1990 + y) : std::string("max")) + "," +
                                         std::to_string(figures[i].enrollment.campus[c][y]) + "\n");
    save(enrollment, dir / "enrollment.csv");
}

// Refuses figures that do not add up where the viewer's report and columns rely on them.
void check_area(const Facts &a, const Series &s, const Table &t)
{
    auto bad = [&a](const char *what) { fail(std::to_string(a.zip) + ": " + what); };
    if (t.size() != size_t(FIELD_COUNT)) fail("detail table has " + std::to_string(t.size()) + " lines, not 307");
    for (const Field &f : t)
        if (f.value < 0 || (f.code == HEADING && f.value != 0)) bad("negative value or valued heading");
    if (t[0].value != int64_t(s.population[2])) bad("total population differs from the 2007 census");
    for (const Field &f : t) {
        if (f.label == "Total households" && f.value != int64_t(s.households[2])) bad("households differ");
        if ((f.label == "Total families" || f.label == "Family households") && f.value != int64_t(s.families[2])) bad("families differ");
    }
}

// The decennial counts of one area as the downloads give them.
struct DecennialCounts {
    int64_t population[3];   // 2000, 2010, 2020
    int64_t housingUnits[3];
};

// 2010 real; 2000 the series' own 2000 count; 2020 the growth after 2010 carried on
// for ten more years. Housing units follow the population, each with a little noise.
DecennialCounts make_decennial(const Facts &a, const Profile &p, const Series &s)
{
    DecennialCounts d{};
    if (a.pop2010 == 0) return d;
    Rng r = stream(a.zip, 6);
    const double pop = double(a.pop2010), hu = double(a.hu2010);
    const double pop2020 = std::round(pop * std::pow(1 + p.growth[2], 10) * jitter(r, 0.03));
    d.population[0] = int64_t(s.population[1]);
    d.population[1] = a.pop2010;
    d.population[2] = int64_t(std::max(1.0, pop2020));
    d.housingUnits[1] = a.hu2010;
    d.housingUnits[0] = int64_t(std::max(1.0, std::round(hu * double(d.population[0]) / pop * jitter(r, 0.02))));
    d.housingUnits[2] = int64_t(std::max(1.0, std::round(hu * double(d.population[2]) / pop * jitter(r, 0.02))));
    return d;
}

// The three downloads, "every ZCTA in the extent", as the census's site saves them.
void write_downloads(const std::vector<Facts> &facts, const std::vector<DecennialCounts> &counts,
                     const std::filesystem::path &dir)
{
    struct Download {
        const char *file, *geoPrefix, *population, *housing, *geographyLabel, *totalLabel;
    };
    const Download downloads[3] = {
        {"dec2000-p1.csv", "8600000US", "P001001", "H001001", "id", "Total"},
        {"dec2010-p1.csv", "8600000US", "P001001", "H001001", "id", "Total"},
        {"dec2020-p1.csv", "860Z200US", "P1_001N", "H1_001N", "Geography", " !!Total"},
    };
    std::vector<size_t> order(facts.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](size_t x, size_t y) { return facts[x].zip < facts[y].zip; });
    for (int k = 0; k < 3; ++k) {
        const Download &d = downloads[k];
        Writer w;
        put_text(w, std::string("\"GEO_ID\",\"NAME\",\"") + d.population + "\",\"" + d.housing + "\"\n");
        put_text(w, std::string("\"") + d.geographyLabel + "\",\"Geographic Area Name\",\"" + d.totalLabel + "\",\"" +
                        d.totalLabel + "\"\n");
        for (size_t i : order) {
            char row[96];
            std::snprintf(row, sizeof row, "\"%s%05u\",\"ZCTA5 %05u\",\"%lld\",\"%lld\"\n", d.geoPrefix,
                          unsigned(facts[i].zip), unsigned(facts[i].zip), static_cast<long long>(counts[i].population[k]),
                          static_cast<long long>(counts[i].housingUnits[k]));
            put_text(w, row);
        }
        save(w, dir / d.file);
    }
}

// ============================================================================
// [SECTION] Main
// ============================================================================

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: make-sample-data <facts.csv> <output-root>\n");
        return 1;
    }
    namespace fs = std::filesystem;
    const std::vector<Facts> facts = read_facts(argv[1]);
    const fs::path root = argv[2];
    std::error_code ec;
    for (const char *dir : {"data/ui", "data/zips", "data/enroll", "examples", "examples/tables"}) {
        fs::create_directories(root / dir, ec);
        if (ec) fail("cannot create " + (root / dir).string());
    }

    std::vector<Travel> travel;
    std::vector<double> centreKm;
    std::vector<AreaFigures> figures;
    std::vector<DecennialCounts> decennial;
    Table firstTable;
    for (const Facts &a : facts) {
        Profile p = make_profile(a);
        Series s = make_series(a, p);
        int64_t pop = int64_t(s.population[2]), hh = int64_t(s.households[2]), fam = int64_t(s.families[2]);
        Table t = make_detail(a, p, pop, hh, fam);
        check_area(a, s, t);
        if (firstTable.empty()) firstTable = t;
        for (size_t i = 0; i < t.size(); ++i)
            if (t[i].label != firstTable[i].label || t[i].code != firstTable[i].code) fail("field lists differ between areas");
        write_zone(a, s, t, root);
        Enrollment en = make_enrollment(a, p, pop);
        write_enrollment(a, en, root);
        AreaFigures fig{s, {}, en};
        for (const Field &f : t) fig.detail.push_back(f.value);
        figures.push_back(fig);
        travel.push_back(make_travel(a, p));
        decennial.push_back(make_decennial(a, p, s));
        centreKm.push_back(p.centreKm);
    }
    write_fields(firstTable, root);
    write_campuses(root);

    std::vector<size_t> study;
    for (size_t i = 0; i < facts.size(); ++i)
        if (facts[i].inStudyArea) study.push_back(i);
    if (study.size() > 300) fail("the viewer holds at most 300 ZIP codes");
    write_load_csv(study, facts, travel, root / "examples" / "study_area.csv");
    write_tables(study, facts, travel, figures, firstTable, root / "examples" / "tables");
    write_downloads(facts, decennial, root / "examples" / "tables");

    std::vector<size_t> core = study;
    std::stable_sort(core.begin(), core.end(), [&](size_t x, size_t y) { return centreKm[x] < centreKm[y]; });
    core.resize(std::min(core.size(), size_t(INNER_CORE_COUNT)));
    std::sort(core.begin(), core.end());
    write_load_csv(core, facts, travel, root / "examples" / "inner_core.csv");
    std::printf("make-sample-data: %zu ZIP areas, %d fields, %zu in the study area, written below %s\n",
                facts.size(), FIELD_COUNT, study.size(), root.string().c_str());
    return 0;
}
