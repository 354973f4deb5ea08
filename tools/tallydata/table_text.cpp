// table_text.cpp -- decoding a table file's bytes: byte-order marks, UTF-16 to UTF-8,
// the UTF-8 check, the separator from the header row, and the decimal mark of a
// number cell.
#include "table_text.h"

#include <cstdint>
#include <cstring>

namespace {

const char SAVE_AS_UTF8[] = "save the table as \"CSV UTF-8\" (Excel: Save As, CSV UTF-8)";

void append_utf8(std::string &out, uint32_t code)
{
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | code >> 6);
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | code >> 12);
        out += char(0x80 | (code >> 6 & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | code >> 18);
        out += char(0x80 | (code >> 12 & 0x3F));
        out += char(0x80 | (code >> 6 & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

// UTF-16 code units from the byte after the mark; a surrogate pair makes one character.
int utf16_to_utf8(const unsigned char *bytes, size_t size, bool bigEndian, std::string &out, std::string &why,
                  long &line)
{
    line = 1;
    if (size % 2 != 0) {
        why = "UTF-16 text with an odd number of bytes: the file is cut short; " + std::string(SAVE_AS_UTF8);
        line = 0;
        return 0;
    }
    out.reserve(size / 2);
    auto unit = [&](size_t at) {
        return bigEndian ? uint32_t(bytes[at] << 8 | bytes[at + 1]) : uint32_t(bytes[at + 1] << 8 | bytes[at]);
    };
    for (size_t at = 0; at < size; at += 2) {
        uint32_t code = unit(at);
        if (code >= 0xD800 && code <= 0xDBFF && at + 2 < size) {
            uint32_t low = unit(at + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                at += 2;
            }
        }
        if (code >= 0xD800 && code <= 0xDFFF) {
            why = "a broken UTF-16 character (a lone surrogate); " + std::string(SAVE_AS_UTF8);
            return 0;
        }
        append_utf8(out, code);
        if (code == '\n') ++line;
    }
    return 1;
}

// The length of the UTF-8 sequence at s (at most left bytes), or 0 when it is not one:
// no overlong forms, no surrogates, nothing beyond U+10FFFF.
size_t utf8_length(const unsigned char *s, size_t left)
{
    unsigned char c = s[0];
    if (c < 0x80) return 1;
    size_t n = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (n == 0 || n > left) return 0;
    for (size_t i = 1; i < n; ++i)
        if ((s[i] & 0xC0) != 0x80) return 0;
    if (c == 0xE0 && s[1] < 0xA0) return 0;   // overlong
    if (c == 0xED && s[1] > 0x9F) return 0;   // a surrogate
    if (c == 0xF0 && s[1] < 0x90) return 0;   // overlong
    if (c == 0xF4 && s[1] > 0x8F) return 0;   // beyond U+10FFFF
    return n;
}

int check_utf8(const std::string &text, std::string &why, long &line)
{
    const unsigned char *s = reinterpret_cast<const unsigned char *>(text.data());
    line = 1;
    for (size_t at = 0; at < text.size();) {
        size_t n = utf8_length(s + at, text.size() - at);
        if (n == 0) {
            char byte[8];
            std::snprintf(byte, sizeof byte, "0x%02X", unsigned(s[at]));
            why = std::string("not UTF-8 text (the byte ") + byte + "): " + SAVE_AS_UTF8;
            return 0;
        }
        if (s[at] == '\n') ++line;
        at += n;
    }
    return 1;
}

// The separator named by the header row: the first line that is not blank (the reader
// skips blank lines before it as well).
char header_separator(const std::string &text)
{
    std::string_view header;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        header = std::string_view(text).substr(start, end - start);
        if (header.find_first_not_of(" \t") != std::string_view::npos) break;
        start = end + 1;
    }
    bool comma = header.find(',') != std::string_view::npos;
    if (!comma && header.find(';') != std::string_view::npos) return ';';
    if (!comma && header.find('\t') != std::string_view::npos) return '\t';
    return ',';
}

}  // namespace

int decode_table_text(const char *bytes, size_t size, TableText &out, std::string &why, long &line)
{
    const unsigned char *b = reinterpret_cast<const unsigned char *>(bytes);
    out = TableText{std::string(), TEXT_UTF8, ',', DECIMAL_POINT};
    line = 0;
    if (size >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF))) {
        out.encoding = b[0] == 0xFF ? TEXT_UTF16_LE : TEXT_UTF16_BE;
        if (!utf16_to_utf8(b + 2, size - 2, out.encoding == TEXT_UTF16_BE, out.text, why, line)) return 0;
    } else {
        size_t skip = size >= 3 && std::memcmp(bytes, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
        out.text.assign(bytes + skip, size - skip);
        if (!check_utf8(out.text, why, line)) return 0;
    }
    out.separator = header_separator(out.text);
    out.decimal = out.separator == ';' ? DECIMAL_COMMA : out.separator == '\t' ? DECIMAL_EITHER : DECIMAL_POINT;
    line = 0;
    return 1;
}

std::string table_text_note(const TableText &text)
{
    std::string note = text.encoding == TEXT_UTF16_LE ? "UTF-16 text (little-endian)"
                     : text.encoding == TEXT_UTF16_BE ? "UTF-16 text (big-endian)" : "";
    const char *layout = text.separator == ';' ? "semicolon-separated with decimal commas"
                       : text.separator == '\t' ? "tab-separated" : nullptr;
    if (layout) note += (note.empty() ? "" : ", ") + std::string(layout);
    return note;
}

int decimal_point_text(const char *cell, DecimalMark decimal, std::string &out, const char *&why)
{
    out = cell;
    if (decimal == DECIMAL_POINT) return 1;
    size_t points = 0, commas = 0;
    for (char c : out) points += c == '.', commas += c == ',';
    if (decimal == DECIMAL_COMMA && points > 0) {
        why = "a point in a number of a table with decimal commas (digit grouping?): save the numbers without "
              "thousands separators";
        return 0;
    }
    if (points + commas > 1) {
        why = "more than one decimal mark (digit grouping?): save the numbers without thousands separators";
        return 0;
    }
    for (char &c : out)
        if (c == ',') c = '.';
    return 1;
}
