// table_text_test.cpp -- a table's bytes as spreadsheets save them: UTF-16 in both byte
// orders (with characters beyond the basic plane), the UTF-8 check and its refusals,
// the separator read off the header row, and the decimal marks of number cells.
#include "table_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The UTF-16 bytes of ASCII text with one "ü" (U+00FC) and one "𝄞" (U+1D11E, a
// surrogate pair) after it, with the byte-order mark of the order asked for.
std::string utf16(const std::string &ascii, bool bigEndian)
{
    std::u16string units = u"";
    for (char c : ascii) units += char16_t(c);
    units += u"\u00FC\U0001D11E\n";
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t u : units) {
        char hi = char(u >> 8), lo = char(u & 0xFF);
        bytes += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
    }
    return bytes;
}

struct Decoded {
    int ok;
    TableText text;
    std::string why;
    long line;
};

Decoded decode(const std::string &bytes)
{
    Decoded d{0, {}, "", -1};
    d.ok = decode_table_text(bytes.data(), bytes.size(), d.text, d.why, d.line);
    return d;
}

}  // namespace

TEST(TableText, Utf16InEitherOrderBecomesUtf8)
{
    const std::string ascii = "GEO_ID\tNAME\tP1_001N\r\n8600000US77002\tZCTA5 77002\t16793\r\nM";
    for (bool big : {false, true}) {
        Decoded d = decode(utf16(ascii, big));
        ASSERT_EQ(d.ok, 1) << d.why;
        EXPECT_EQ(d.text.text, ascii + "\xC3\xBC\xF0\x9D\x84\x9E\n");
        EXPECT_EQ(d.text.encoding, big ? TEXT_UTF16_BE : TEXT_UTF16_LE);
        EXPECT_EQ(d.text.separator, '\t');
        EXPECT_EQ(table_text_note(d.text), big ? "UTF-16 text (big-endian), tab-separated"
                                                : "UTF-16 text (little-endian), tab-separated");
    }
    Decoded utf8 = decode("\xEF\xBB\xBFzip,population\n77002,16793\n");
    ASSERT_EQ(utf8.ok, 1);
    EXPECT_EQ(utf8.text.text, "zip,population\n77002,16793\n");
    EXPECT_EQ(table_text_note(utf8.text), "");
}

TEST(TableText, AnythingButUtf8OrMarkedUtf16IsRefusedWithTheAdvice)
{
    struct Case { std::string bytes; long line; };
    const Case cases[] = {
        {"zip,name\n77002,M\xFCnchen\n", 2},        // Latin-1 / Windows-1252
        {"zip,name\n\n77002,\xC0\xAF\n", 3},        // an overlong slash
        {"zip,name\n77002,\xE0\x80\xAF\n", 2},     // the same in three bytes
        {"zip,name\n77002,\xED\xA0\x80\n", 2},      // a surrogate written as UTF-8
        {"zip,name\n77002,\xF4\x90\x80\x80\n", 2},  // beyond U+10FFFF
        {"zip,name\n77002,\xE2\x82", 2},            // cut inside a character
    };
    for (const Case &c : cases) {
        Decoded d = decode(c.bytes);
        EXPECT_EQ(d.ok, 0) << c.bytes;
        EXPECT_EQ(d.line, c.line) << c.bytes;
        EXPECT_NE(d.why.find("save the table as \"CSV UTF-8\""), std::string::npos) << d.why;
    }
    Decoded lone = decode(std::string("\xFF\xFE" "a\0\n\0\x00\xD8" "b\0", 10));   // a high surrogate, then 'b'
    EXPECT_EQ(lone.ok, 0);
    EXPECT_EQ(lone.line, 2);
    Decoded odd = decode(std::string("\xFF\xFE" "a\0b", 5));
    EXPECT_EQ(odd.ok, 0);
    EXPECT_NE(odd.why.find("odd number of bytes"), std::string::npos);
    EXPECT_EQ(decode("zip,name\n77002,M\xC3\xBCnchen \xE2\x82\xAC \xF0\x9D\x84\x9E\n").ok, 1);
}

TEST(TableText, TheHeaderRowChoosesTheSeparatorAndTheDecimalMark)
{
    struct Case { const char *text; char separator; DecimalMark decimal; };
    const Case cases[] = {
        {"GEO_ID;NAME;P001001\n8600000US77002;ZCTA5 77002;16793,5\n", ';', DECIMAL_COMMA},
        {"zip\tpopulation\r\n77002\t1,5\r\n", '\t', DECIMAL_EITHER},
        {"zip,population;households\n", ',', DECIMAL_POINT},   // a comma wins
        {"zip;population\tx\n", ';', DECIMAL_COMMA},
        {"zip\rpopulation;x\n", ',', DECIMAL_POINT},           // the header ends at its CR
        {"\r\n \t\n\nzip;year;population\n", ';', DECIMAL_COMMA},   // blank lines before the header
        {"zip", ',', DECIMAL_POINT},
        {"", ',', DECIMAL_POINT},
    };
    for (const Case &c : cases) {
        Decoded d = decode(c.text);
        ASSERT_EQ(d.ok, 1) << c.text;
        EXPECT_EQ(d.text.separator, c.separator) << c.text;
        EXPECT_EQ(d.text.decimal, c.decimal) << c.text;
    }
    EXPECT_EQ(table_text_note(decode("a;b\n").text), "semicolon-separated with decimal commas");
}

TEST(TableText, NumberCellsTakeTheirTablesDecimalMark)
{
    struct Case { const char *cell; DecimalMark decimal; int ok; const char *text; };
    const Case cases[] = {
        {"1234,5", DECIMAL_COMMA, 1, "1234.5"},    {"-95,365652", DECIMAL_COMMA, 1, "-95.365652"},
        {"16793", DECIMAL_COMMA, 1, "16793"},      {"16.793", DECIMAL_COMMA, 0, ""},
        {"1.234,5", DECIMAL_COMMA, 0, ""},         {"1,234,5", DECIMAL_COMMA, 0, ""},
        {"29.75", DECIMAL_EITHER, 1, "29.75"},     {"29,75", DECIMAL_EITHER, 1, "29.75"},
        {"1,234.5", DECIMAL_EITHER, 0, ""},        {"1.234.567", DECIMAL_EITHER, 0, ""},
        {"1,5", DECIMAL_POINT, 1, "1,5"},          // left for the number parser to refuse
    };
    for (const Case &c : cases) {
        std::string out;
        const char *why = "";
        EXPECT_EQ(decimal_point_text(c.cell, c.decimal, out, why), c.ok) << c.cell;
        if (c.ok) EXPECT_EQ(out, c.text) << c.cell;
        else EXPECT_NE(std::string(why).find("without thousands separators"), std::string::npos) << why;
    }
}
