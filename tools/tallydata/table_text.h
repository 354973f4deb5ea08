// table_text.h -- a table file's bytes as spreadsheets and the census save them, made
// into the UTF-8 text and the separator that the table reader parses:
//   - a byte-order mark of UTF-16 (either order) makes the file UTF-16 text ("Unicode
//     text" of Excel), turned into UTF-8; a UTF-8 mark is dropped;
//   - any other text must be UTF-8: anything else is refused with the advice to save
//     the table as "CSV UTF-8";
//   - a header row with semicolons and no comma makes a semicolon-separated table with
//     decimal commas (Excel's CSV in German or French); a header row with tabs and
//     neither makes a tab-separated one, whose numbers may take either mark.
// Touches no file: the bytes come from the caller.
#pragma once
#include <cstddef>
#include <string>

enum TextEncoding { TEXT_UTF8, TEXT_UTF16_LE, TEXT_UTF16_BE };

// Which character a number cell may use as its decimal mark.
enum DecimalMark {
    DECIMAL_POINT,    // comma-separated tables: 1234.5
    DECIMAL_COMMA,    // semicolon-separated: 1234,5; a point is refused (16.793 is digit grouping)
    DECIMAL_EITHER,   // tab-separated: one point or one comma
};

struct TableText {
    std::string  text;        // the table as UTF-8, without a byte-order mark
    TextEncoding encoding;    // what the file was
    char         separator;   // ',', ';' or '\t', chosen from the header row
    DecimalMark  decimal;     // follows from the separator
};

// Decodes a file's bytes. Returns 1, or 0 with a one-line reason and the line it
// concerns (0 for the file as a whole).
int decode_table_text(const char *bytes, size_t size, TableText &out, std::string &why, long &line);

// What a summary says of a table that is not plain comma-separated UTF-8, as
// "UTF-16 text, semicolon-separated with decimal commas"; "" for plain CSV.
std::string table_text_note(const TableText &text);

// A number cell's text with its decimal mark made a point, as the parsers take it.
// Returns 0 with a reason when the cell's marks do not fit the table's: a point in a
// table with decimal commas, or more than one mark (digit grouping such as 1.234,5).
int decimal_point_text(const char *cell, DecimalMark decimal, std::string &out, const char *&why);
