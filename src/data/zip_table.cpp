// zip_table.cpp -- the ZIP table and its loading from the Load Data CSV and the
// per-ZIP census (.zc) and enrollment (.enr) files. Returns 1 on success, 0 on failure.
//
// The load runs into a staging table and is published into zipTable only when the
// whole load succeeded, so a refused CSV leaves the table exactly as it was.
#include "zip_table.h"
#include "data_paths.h"
#include "zone_files.h"
#include "platform.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

ZipTable zipTable;
LoadReport loadReport;

// The .zc and .enr images are decoded value by value into the record (zone_files.cpp,
// the one place that knows their layout), little-endian on any machine.

// Loaded aside; only the first count records are copied out. Static because a record
// is about 1.3 KB and the table about 380 KB.
static ZipTable staging;
static LoadLine stagingLines[ZIP_TABLE_SIZE];   // what the report learns of each staged record

static const char *const TOO_MANY_ZIPS =
    "read_records(): the file has more than 300 ZIP codes; the limit is 300";

// Reads up to size bytes of the file at path into image (size + 1 bytes: one more tells
// a longer file). Returns what the file held for the load report: its size up to
// size + 1, LOAD_FILE_MISSING or LOAD_FILE_UNREADABLE; only a size says the image holds
// that many bytes.
static int32_t read_image(const char *path, unsigned char *image, size_t size)
{
    FILE *file = std::fopen(path, "rb");
    if (!file) return errno == ENOENT ? LOAD_FILE_MISSING : LOAD_FILE_UNREADABLE;
    size_t held = std::fread(image, 1, size + 1, file);
    bool failed = std::ferror(file);   // a folder opens, and fails when read
    std::fclose(file);                 // read-only: nothing to lose on close
    return failed ? LOAD_FILE_UNREADABLE : int32_t(held);
}

// Scans one data line (commas already blanks) into a zeroed record; fields the line
// does not supply stay zero. "%f" takes the C library's decimal point, which the
// platform keeps at '.' whatever the user's locale.
static void scan_line(char *line, ZipRecord &record, LoadLine &info)
{
    int ignored = 0;
    int filled = std::sscanf(line, "%u%d%f%f%u%u", &record.zip, &ignored, &record.longitude,
                             &record.latitude, &record.travelMinutes, &record.trafficMinutes);
    info.fields = uint8_t(filled < 0 ? 0 : filled);
    // The same scan again for the report: where each field ended, and the positions in
    // double precision. A field that ends on anything but a blank or the line's end was
    // cut short, and the next field starts inside it.
    unsigned u = 0;
    int end[6] = {};
    std::sscanf(line, "%u%n%d%n%lf%n%lf%n%u%n%u%n", &u, &end[0], &ignored, &end[1], &info.longitude,
                &end[2], &info.latitude, &end[3], &u, &end[4], &u, &end[5]);
    for (int f = 0; f < info.fields; ++f) {
        char after = line[end[f]];
        if (after != ' ' && after != '\t' && after != '\0') info.misread = 1;
    }
}

// One character of lookahead beyond what the C library can push back: a CR that
// turned out not to end its line, read just as the line buffer filled.
struct LineReader {
    FILE    *file;
    int      held;   // the next character to deliver, or EOF for none
    uint32_t line;   // number of the line the next character belongs to
    bool     cut;    // the last piece filled the buffer without reaching its line end
};

static int next_char(LineReader &reader)
{
    int c = reader.held;
    reader.held = EOF;
    return c != EOF ? c : std::getc(reader.file);
}

// Reads one line into line without its line end and returns its length, or -1 at the
// end of the file. A line longer than PATH_SIZE - 1 characters comes in pieces, one per
// call. A line end (LF, or CR LF) right after the characters read belongs to them
// wherever it falls, so a piece that fills the buffer never leaves half a line end
// behind to make a line of its own.
static int read_line(LineReader &reader, char (&line)[PATH_SIZE])
{
    int length = 0;
    int c = next_char(reader);
    if (c == EOF) return -1;
    reader.cut = false;
    for (; c != EOF && c != '\n'; c = next_char(reader)) {
        if (c == '\r') {
            int after = std::getc(reader.file);
            if (after == '\n' || after == EOF) break;
            std::ungetc(after, reader.file);
        }
        if (length == PATH_SIZE - 1) {   // full: c starts the next piece
            reader.held = c;
            reader.cut = true;
            break;
        }
        line[length++] = static_cast<char>(c);
    }
    if (!reader.cut) ++reader.line;
    line[length] = '\0';
    return length;
}

// Editors often leave lines of nothing but blanks and tabs, mostly at the end; they
// name no ZIP code and are skipped.
static bool is_blank(const char *line, int length)
{
    for (int i = 0; i < length; ++i)
        if (line[i] != ' ' && line[i] != '\t') return false;
    return true;
}

// Reads the data lines of an open CSV (header already skipped) into staging.
// Returns 0 when the file holds more ZIP codes than the value table can take.
static int read_lines(LineReader &reader)
{
    char line[PATH_SIZE];
    staging.count = 0;
    bool pieceOfLine = false;   // this piece continues the line of the last one
    for (;;) {
        uint32_t at = reader.line;
        int length = read_line(reader, line);
        if (length < 0) break;
        bool cut = reader.cut || pieceOfLine;
        pieceOfLine = reader.cut;
        if (is_blank(line, length)) continue;
        if (staging.count >= static_cast<uint32_t>(MAX_ZIPS)) {
            loadReport.tooManyLine = at;
            return 0;
        }
        for (int i = 0; i < length; ++i)
            if (line[i] == ',') line[i] = ' ';
        ZipRecord &record = staging.records[staging.count];
        std::memset(&record, 0, sizeof record);
        LoadLine info = {at, 0, uint8_t(cut), 0.0, 0.0, 0, 0};
        scan_line(line, record, info);
        stagingLines[staging.count] = info;
        ++staging.count;
    }
    return 1;
}

// The census series and detail values (.zc), then in a second pass the enrollment
// (.enr) of every staged record. Missing or short files leave zeros.
static void read_zip_files()
{
    char path[PATH_SIZE], name[ZONE_FILE_NAME_SIZE];
    unsigned char image[ZONE_FILE_SIZE + 1];   // the larger file, and the byte that tells a longer one
    static_assert(ENROLLMENT_FILE_SIZE < ZONE_FILE_SIZE);
    for (uint32_t i = 0; i < staging.count; ++i) {
        ZipRecord &record = staging.records[i];
        zone_file_name(ZONE_CENSUS, record.zip, name);
        int32_t held = data_path(path, "%s", name) ? read_image(path, image, ZONE_FILE_SIZE) : LOAD_FILE_UNREADABLE;
        if (held > 0) decode_zone_file(image, size_t(held), record);
        stagingLines[i].zoneBytes = held;
    }
    for (uint32_t i = 0; i < staging.count; ++i) {
        ZipRecord &record = staging.records[i];
        zone_file_name(ZONE_ENROLLMENT, record.zip, name);
        int32_t held = data_path(path, "%s", name) ? read_image(path, image, ENROLLMENT_FILE_SIZE)
                                                   : LOAD_FILE_UNREADABLE;
        if (held > 0) decode_enrollment_file(image, size_t(held), record);
        stagingLines[i].enrollBytes = held;
    }
}

int read_records(const char *path)
{
    // On this system a folder opens like a file and fails only when read: either way
    // the CSV cannot be read, and the table stays as it was.
    FILE *csv = std::fopen(path, "r");
    LineReader reader = {csv, EOF, 1, false};
    loadReport.tooManyLine = 0;
    char header[PATH_SIZE];
    int fits = 1;
    if (csv && read_line(reader, header) >= 0)   // the first line is skipped whatever it holds
        fits = read_lines(reader);
    else
        staging.count = 0;                         // empty file: empty table
    bool unreadable = !csv || std::ferror(csv);
    if (csv) std::fclose(csv);
    if (unreadable) {
        message_box("read_records(): fopen error", "ERROR", nullptr);
        return 0;
    }
    if (!fits) {
        message_box(TOO_MANY_ZIPS, "ERROR", nullptr);
        return 0;
    }
    read_zip_files();

    // Publish. Slots beyond the new count keep what an earlier load left; nothing reads them.
    std::memcpy(zipTable.records, staging.records, staging.count * sizeof(ZipRecord));
    zipTable.count = staging.count;
    std::memcpy(loadReport.lines, stagingLines, staging.count * sizeof(LoadLine));
    loadReport.count = staging.count;
    return 1;
}
