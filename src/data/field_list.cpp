// field_list.cpp -- reads the field file: per line a label up to the first comma and
// a series code after it. Lines are read whole whatever their length, so every line
// stays aligned with its detail value; a label longer than 255 bytes is cut before
// the character that does not fit whole.
#include "field_list.h"
#include "platform.h"
#include "selection.h"

#include <cstdio>
#include <cstring>
#include <sys/stat.h>

FieldList fieldList;

static const char *const TOO_MANY_FIELDS =
    "init_query() - the field file has more than 307 lines; only the first 307 are used";

int8_t parse_series_code(const char *text)
{
    while (*text == ' ' || *text == '\t') ++text;
    bool negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    // Only the low 8 bits are kept, so the number is accumulated modulo 256: a long
    // run of digits cannot overflow, and the kept bits are those of the full number.
    uint8_t low = 0;
    for (; *text >= '0' && *text <= '9'; ++text) low = uint8_t(low * 10u + unsigned(*text - '0'));
    if (negative) low = uint8_t(-low);
    return static_cast<int8_t>(low);
}

// One line of the file, read to its end: the label (at most 255 characters, up to the
// first comma, or the whole line without one) and the series-code text after the
// comma (its first 255 characters are all a code can use). A CR before the line end
// belongs to neither. Returns 0 at the end of the file, when no line was there.
struct FieldLine {
    char label[FIELD_LABEL_SIZE];
    char code[FIELD_LABEL_SIZE];
    bool hasComma;
};

static bool is_continuation_byte(int c) { return (c & 0xC0) == 0x80; }

static int read_line(FILE *file, FieldLine &line)
{
    size_t labelLength = 0, codeLength = 0;
    int firstCut = -1;   // the first label byte that did not fit
    line.hasComma = false;
    int c = std::getc(file);
    if (c == EOF) return 0;
    for (; c != EOF && c != '\n'; c = std::getc(file)) {
        if (c == '\r') {
            int next = std::getc(file);
            if (next == '\n' || next == EOF) break;
            std::ungetc(next, file);   // a CR inside the line is an ordinary character
        }
        if (!line.hasComma && c == ',') {
            line.hasComma = true;
        } else if (!line.hasComma) {
            if (labelLength < FIELD_LABEL_SIZE - 1) line.label[labelLength++] = char(c);
            else if (firstCut < 0) firstCut = c;
        } else if (codeLength < FIELD_LABEL_SIZE - 1) {
            line.code[codeLength++] = char(c);
        }
    }
    // a label cut inside a UTF-8 character loses that character whole: a split one
    // would make the list show the whole label as Latin-1
    for (int next = firstCut; labelLength > 0 && next >= 0 && is_continuation_byte(next);)
        next = uint8_t(line.label[--labelLength]);
    line.label[labelLength] = '\0';
    line.code[codeLength] = '\0';
    return 1;
}

// A folder opens on this system but holds no lines: it is no field file.
static FILE *open_text_file(const char *path)
{
    FILE *file = std::fopen(path, "r");
    struct stat info;
    if (file && (fstat(fileno(file), &info) != 0 || S_ISDIR(info.st_mode))) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}

int read_field_list(const char *path)
{
    FILE *file = open_text_file(path);
    if (!file) return 0;
    static FieldLine line;
    fieldList.count = 0;
    bool tooMany = false;
    while (read_line(file, line)) {
        if (fieldList.count == FIELD_COUNT) {
            tooMany = true;
            break;
        }
        std::memcpy(fieldList.label[fieldList.count], line.label, FIELD_LABEL_SIZE);
        seriesCode[fieldList.count] = line.hasComma ? parse_series_code(line.code) : int8_t(SERIES_HEADING);
        ++fieldList.count;
    }
    std::fclose(file);
    if (tooMany) message_box(TOO_MANY_FIELDS, "ERROR!", nullptr);
    return 1;
}
